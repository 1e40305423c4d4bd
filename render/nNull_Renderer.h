#ifndef N_NULL_RENDERER_H
#define N_NULL_RENDERER_H

#include "render/nRenderer.h"

// The renderer that draws nothing: current until the player opens another one. Its set-up
// operations succeed and attach nothing, so resources set up under it stay without device
// data; free, update, draw and queue drawing do nothing.
class nNull_Renderer : public nRenderer
{
public:
    nNull_Renderer(nRendererSlot* slot, bool makeCurrent) : nRenderer(slot, makeCurrent) {}

    const char* GetName() override { return "Null Renderer."; }
    const char* GetDescription() override { return "A null renderer that renders nothing."; }
    const char* GetVersion() override { return "0.0"; }
    bool Open(int32_t width, int32_t height, int32_t bitsPerPixel, int32_t mode) override;  // output size := (width, height); open
    void Close() override { SetOpenState(false); }
    bool Resize(int32_t width, int32_t height) override;  // output size := (width, height); true
    void UpdateOutputSize() override {}
    void* GetWindowHandle() override { return 0; }
    bool SetupOutputWindow(void* window, nRenderOutput* output) override { return true; }
    void MakeCurrent(nRenderOutput* output) override {}
    void ReleaseOutput(nRenderOutput* output) override {}
    void RenderQueue() override {}
    void Present() override {}
    nShader* NewShader() override { return 0; }
    void Clear(float red, float green, float blue, float depth, bool depthOnly) override {}
    bool GrabToPicture(nPicture* picture) override { return false; }
    void CopyToTexture(nTexture* texture) override {}
    void BindTargetTexture(nTexture* texture) override {}
    void DrawLine(const nVector& from, const nVector& to, const nVector* colour) override {}
    void DrawTriangle(const nVector& a, const nVector& b, const nVector& c, const nVector* colour,
                      const nVector2* uvs, nTexture* texture, uint32_t renderFlags) override {}
    void Write(nRasterFont* font, const char* text, float x, float y, float size, bool keepAspect,
               int32_t alignment, const nVector* colour) override {}
    bool SetupGeometry(nGeometry* geometry) override { return true; }
    void FreeGeometry(nGeometry* geometry) override {}
    void UpdateGeometry(nGeometry* geometry, int32_t first, int32_t count) override {}
    bool SetupTexture(nTexture* texture) override { return true; }
    void FreeTexture(nTexture* texture) override {}
    void UpdateTexture(nTexture* texture, const uint8_t* rgba, int32_t width, int32_t height,
                       int32_t x, int32_t y) override {}
    bool SetupMaterial(nMaterial* material) override { return true; }
    void FreeMaterial(nMaterial* material) override {}
    void UpdateMaterial(nMaterial* material) override {}
    bool SetupLight(nLight* light) override { return true; }
    void FreeLight(nLight* light) override {}
    void UpdateLight(nLight* light) override {}
    void SetViewMatrix(const nMatrix4& m) override {}
    void SetProjectionMatrix(const nMatrix4& m) override {}
    void SetModelMatrix(const nMatrix4& m) override {}
    void ClearClipPlane() override {}
    void SetClipPlane(const nVector& point, const nVector& normal) override {}
    void SetViewport(int32_t x, int32_t y, int32_t width, int32_t height) override {}
    void GetViewport(int32_t* x, int32_t* y, int32_t* width, int32_t* height) override {}  // outputs untouched
    ~nNull_Renderer() override { SetOpenState(false); }
};

#endif
