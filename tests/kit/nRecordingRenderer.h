#ifndef N_RECORDINGRENDERER_H
#define N_RECORDINGRENDERER_H

#include <string>
#include <vector>

#include "render/nNull_Renderer.h"
#include "render/nShader.h"

class nCallLog;

// A shader that keeps the texts it was given and fails to compile when its vertex text is
// "broken"; alive counts the recording shaders in existence.
class nRecordingShader : public nShader
{
public:
    nRecordingShader(nRenderer* renderer, int* alive);
    ~nRecordingShader() override;
    bool Compile(const char* name, const char* vertex, const char* pixel) override;

    std::string vertex, pixel;

private:
    int* m_alive;
};

// A null renderer that writes every frame, drawing, matrix, clearing and device set-up call into
// a call log ("render.Clear(0.1,0.2,0.3,1,0)", "render.Present"), with a settable viewport; the
// lines it is asked to draw are also kept as values. Made current on construction unless told
// otherwise.
//
// Beyond the frame it fakes a device renderer where a test asks for it: with recordResources
// the set-up and free calls of textures, materials and geometries are logged by name
// ("render.SetupTexture(wall.tga)") and textures and materials get renderer data while set up;
// with makeShaders NewShader gives nRecordingShaders. Off, they answer as the null renderer.
class nRecordingRenderer : public nNull_Renderer
{
public:
    nRecordingRenderer(nRendererSlot* slot, nCallLog* log, bool makeCurrent = true);

    void BeginFrame() override;
    void EndFrame() override;
    void Present() override;
    void ApplyCamera() override;
    void RenderQueue() override;
    void Clear(float red, float green, float blue, float depth, bool depthOnly) override;
    void DrawLine(const nVector& from, const nVector& to, const nVector* colour) override;
    void DrawTriangle(const nVector& a, const nVector& b, const nVector& c, const nVector* colour,
                      const nVector2* uvs, nTexture* texture, uint32_t renderFlags) override;
    void UpdateTexture(nTexture* texture, const uint8_t* rgba, int32_t width, int32_t height, int32_t x,
                       int32_t y) override;
    void Write(nRasterFont* font, const char* text, float x, float y, float size, bool keepAspect,
               int32_t alignment, const nVector* colour) override;
    bool SetupLight(nLight* light) override;
    void FreeLight(nLight* light) override;
    void UpdateLight(nLight* light) override;
    void SetViewMatrix(const nMatrix4& m) override;
    void SetProjectionMatrix(const nMatrix4& m) override;
    void GetViewport(int32_t* x, int32_t* y, int32_t* width, int32_t* height) override;
    void SetViewport(int32_t x, int32_t y, int32_t width, int32_t height) override;  // logged; the answer stays
    bool SetupTexture(nTexture* texture) override;
    void FreeTexture(nTexture* texture) override;
    bool SetupMaterial(nMaterial* material) override;
    void UpdateMaterial(nMaterial* material) override;
    void FreeMaterial(nMaterial* material) override;
    bool SetupGeometry(nGeometry* geometry) override;
    void FreeGeometry(nGeometry* geometry) override;
    bool LoadTextureContent(nTexture* texture, const char* path) override;  // logged; false as the base
    nShader* NewShader() override;

    // Every Write with where and how it wrote (the log holds its text only).
    struct Written
    {
        std::string text;
        float x, y, size;
        bool keepAspect;
        int32_t alignment;
        bool coloured;
        nVector colour;
    };
    std::vector<Written> writes;
    void SetOutput(float width, float height) { SetOutputSize(width, height); }

    bool recordResources = false;  // log and answer resource calls as a device renderer would
    bool setupAnswer = true;       // what SetupTexture answers (recordResources)
    bool dropPixels = false;       // set-up textures keep only their size unless TextureKeepPixels (recordResources)
    bool makeShaders = false;      // NewShader gives nRecordingShaders
    int liveShaders = 0;           // nRecordingShaders in existence

    void SetViewportAnswer(int32_t x, int32_t y, int32_t width, int32_t height);
    bool viewportUnknown = false;  // GetViewport writes nothing, as the null renderer does
    const nMatrix4& GetLastProjection() const { return m_lastProjection; }
    const nMatrix4& GetLastView() const { return m_lastView; }
    struct Line
    {
        nVector from, to, colour;
    };  // colour (-1,-1,-1,-1) when none was given
    const std::vector<Line>& GetLines() const { return m_lines; }
    // Every triangle it was asked to draw, with its texture coordinates (hasUVs false: none
    // given), texture and flags; the log line also names the coordinates when there are some.
    struct Triangle
    {
        nVector corners[3];
        nVector colour;
        bool hasUVs;
        nVector2 uvs[3];
        nTexture* texture;
        uint32_t flags;
    };
    const std::vector<Triangle>& GetTriangles() const { return m_triangles; }
    void ClearTriangles() { m_triangles.clear(); }

private:
    nCallLog* m_log;
    int32_t m_viewport[4];
    nMatrix4 m_lastProjection;
    nMatrix4 m_lastView;
    std::vector<Line> m_lines;
    std::vector<Triangle> m_triangles;
};

#endif
