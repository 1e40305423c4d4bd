#ifndef N_GL3RENDERER_H
#define N_GL3RENDERER_H

#include <cstdint>

#include "core/nSharedObject.h"
#include "core/nString.h"
#include "render/nRenderData.h"
#include "render/nRenderer.h"
#include "render/nShaderLibrary.h"

class nGLWindow;
class nOrvex;
class nTexture;
class nGL3Shader;
struct nGL3MaterialPrograms;
struct GL3_CompiledRenderMap;
struct GL3_ShaderUniform;
struct nGLEntryPoints;
struct nTangentFrame;
struct nGeometryColor;
struct nMaterialStage;
class nLight;
class nCamera;
class nGeometry;
class nEmitter;
class nTerrain;
struct nTerrainNode;
class nMaterial;

// An output window record: the system window and its drawing surface. The OpenGL renderer
// draws only into its own window, whose surface is the window itself.
struct nRenderOutput
{
    void* window;
    void* deviceContext;
};

// Looks an OpenGL entry point up by name: NULL when the driver does not offer it.
typedef void* (*nGLEntryPointLookup)(const char* name, void* context);

// The OpenGL renderer (id "gl2"): one window with one compatibility-profile context, a small
// state cache, vertex and index buffers of geometries, textures, matrices, clearing and the
// immediate line and triangle drawing.
//
// Programs: the shader library of core programs (loaded at start-up), and materials compiled
// from their render maps per draw pass through a shared program cache.
//
// The frame: RenderQueue sorts the queued primitives and draws them through the deferred
// frame (nGL3RendererFrame.cpp): attribute targets, lighting through light volumes, fog and
// ambient occlusion (nGL3RendererLighting.cpp), geometry drawn pass by pass
// (nGL3RendererDrawers.cpp), the camera's post-processing and the presentation at the render
// scale (nGL3RendererPost.cpp).
//
// Lights with shadow mode "Map" draw their shadow maps first (nGL3RendererShadows.cpp);
// volumetric lights add their shaft after their pass (nGL3RendererVolumetric.cpp).
//
// Emitters draw as billboards (nGL3RendererEmitter.cpp), terrain patches through shared buffers
// in the deferred passes (nGL3RendererTerrain.cpp). With DisableShader the renderer draws the
// fixed-function frame, without terrain.
class nGL3Renderer : public nRenderer
{
public:
    // Texture-unit flag bits: what a drawer changed on a unit, undone by ResetTextureUnits.
    enum TextureUnitFlag
    {
        UnitTexture2D = 0x1,   // a 2D texture bound and GL_TEXTURE_2D enabled
        UnitTexMatrix = 0x2,   // the unit's texture matrix changed
        UnitTexGen = 0x4,      // texture-coordinate generation for S and T on
        UnitTexEnv = 0x8,      // the texture environment changed
        UnitCoordArray = 0x10  // the texture-coordinate client array enabled
    };
    // Units 0..7 serve fixed-function drawing and programs alike; units 8..15 only programs
    // (the point-light shadow maps reach unit 8). The cache tracks all sixteen.
    static constexpr int32_t kFixedTextureUnits = 8;
    static constexpr int32_t kTextureUnits = 16;
    static constexpr int32_t kLineCapacity = 32768;       // lines kept between two flushes
    static constexpr int32_t kMaxBatchTriangles = 16384;  // a batch holds fewer triangles than this
    static constexpr int32_t kMaxBatchVertices = 16384;
    static constexpr int32_t kMaxBatchBones = 32;  // a list takes no further polygon at 28 (the skinning palette's size)

    // Device copy of a texture.
    struct GL_TextureData : nRenderData
    {
        uint32_t name;      // GL texture name, 0 none
        uint32_t byteSize;  // what was added to the texture bytes
        GL_TextureData() : name(0), byteSize(0) {}
    };

    // One batch of a geometry on the device: a static vertex buffer holding every attribute
    // as one block after the other, and a 16-bit index buffer. Offsets in bytes, -1 absent.
    struct GL_Batch
    {
        int32_t indexCount;
        uint32_t indexBuffer;
        uint32_t vertexBuffer;
        int32_t normalOffset;
        int32_t tangentOffset;
        int32_t bitangentOffset;
        int32_t boneIndexOffset;
        int32_t boneWeightOffset;  // weights stored as weight x 255
        int32_t colourOffset;
        int32_t uvOffset[3];
        int32_t vertexBytes;
        int32_t boneCount;
        uint16_t* bonePalette;   // owned, NULL without bones
        nMatrix4* boneMatrices;  // owned, filled when drawing skinned geometry
        int32_t materialIndex;   // every triangle of the batch uses this material

        GL_Batch();
        ~GL_Batch();  // frees palette and matrices, never the GL buffers
        GL_Batch(const GL_Batch&) = delete;
        GL_Batch& operator=(const GL_Batch&) = delete;
    };

    // Device copy of a geometry.
    struct GL_GeometryData : nRenderData
    {
        int32_t batchCount;
        GL_Batch* batches;  // owned
        GL_GeometryData() : batchCount(0), batches(0) {}
        ~GL_GeometryData() override { delete[] batches; }
    };

    // Skin record of one batch vertex.
    struct GL_SkinRecord
    {
        float weight[4];
        uint8_t bone[4];
    };

    // One batch in the triangle-list form of a geometry: what SetupBatch uploads. Every
    // attribute array but positions and indices may be NULL.
    struct GL_BatchSource
    {
        int32_t vertexCount;  // at most kMaxBatchVertices
        const nVector* positions;
        int32_t triangleCount;
        const int32_t* indices;  // 3 per triangle, each below vertexCount
        int32_t boneCount;
        const uint16_t* bonePalette;
        const GL_SkinRecord* skin;
        const nVector* normals;
        const nTangentFrame* tangentFrames;
        const nGeometryColor* colours;
        const nVector2* uvSets[3];
        int32_t materialIndex;

        GL_BatchSource();  // empty: no vertices, every array NULL
    };

    // Builds the base part closed and current when asked, without window or context, and
    // clears AmbientOcclusion in the control word.
    nGL3Renderer(nOrvex* engine, bool makeCurrent);
    ~nGL3Renderer() override;  // closes when open

    nVector2& GetOutputSize(nVector2& out) override;  // the render target's picture size when one is set
    // With a bound camera: view := its inverse world matrix, projection := its projection,
    // frustum := its recomputed view volume. A bound item that is no camera sets the view only.
    void ApplyCamera() override;
    const char* GetName() override { return "OpenGL"; }
    const char* GetDescription() override;  // "OpenGL Deferred", "OpenGL Fixed-function" with DisableShader
    const char* GetVersion() override { return "0.97"; }

    // Output: window, context and presentation.
    // Refused with a warning when already open. Modes: 0 windowed, 1 full screen, 2 hidden,
    // anything else windowed with a warning. False, with the renderer fully closed and one
    // error line, when the window, the context or the entry points cannot be had.
    bool Open(int32_t width, int32_t height, int32_t bitsPerPixel, int32_t mode) override;
    void Close() override;                                                 // frees every device resource, destroys the window; reusable
    bool Resize(int32_t width, int32_t height) override;                   // false for a 0 edge or when not open
    void UpdateOutputSize() override;                                      // output size := the window's drawable size
    void* GetWindowHandle() override;                                      // the system window, NULL when none
    bool SetupOutputWindow(void* window, nRenderOutput* output) override;  // only the renderer's own window
    void MakeCurrent(nRenderOutput* output) override;                      // makes the context current on the window
    void ReleaseOutput(nRenderOutput* output) override;
    void Present() override;  // pumps messages, then swaps; nothing in tool mode 1
    // Windows of a host are not supported: logs and refuses.
    bool OpenOnWindow(void* window, int32_t width, int32_t height, bool createContext);

    void RenderQueue() override;
    // A GLSL program of this renderer (nGL3Shader); NULL with DisableShader or before the
    // entry points are fetched.
    nShader* NewShader() override;
    nShaderLibrary* GetShaderLibrary() const { return m_shaderLibrary.Get(); }

    // Matrices, viewport, clearing and immediate drawing.
    void Clear(float red, float green, float blue, float depth, bool depthOnly) override;
    bool GrabToPicture(nPicture* picture) override;  // RGBA of the read buffer as BGRA8, first row at the top
    void CopyToTexture(nTexture* texture) override;
    void BindTargetTexture(nTexture* texture) override;                                     // NULL: the window
    void DrawLine(const nVector& from, const nVector& to, const nVector* colour) override;  // kept until the next flush
    void DrawTriangle(const nVector& a, const nVector& b, const nVector& c, const nVector* colour,
                      const nVector2* uvs, nTexture* texture, uint32_t renderFlags) override;
    void Write(nRasterFont* font, const char* text, float x, float y, float size, bool keepAspect,
               int32_t alignment, const nVector* colour) override;  // over everything, blended; NULL colour: white
    void SetViewMatrix(const nMatrix4& m) override;                 // sent with the next model matrix
    void SetProjectionMatrix(const nMatrix4& m) override;
    void SetModelMatrix(const nMatrix4& m) override;                          // model-view := view x model
    void ClearClipPlane() override;                                           // normal (0, 0, 0): no plane; distance kept
    void SetClipPlane(const nVector& point, const nVector& normal) override;  // in view space; nothing without a camera
    void SetViewport(int32_t x, int32_t y, int32_t width, int32_t height) override;
    void GetViewport(int32_t* x, int32_t* y, int32_t* width, int32_t* height) override;
    void ApplyViewport(int32_t x, int32_t y, int32_t width, int32_t height);  // viewport, scissor and the derived ratios
    void FlushLines();                                                        // draws the line list through view and projection, then empties it
    bool CanWriteWith(nRasterFont* font) override;                            // a font whose first page has a texture

    // Debug overlay (nGL3RendererDebug.cpp), after the frame with EnableDebug.
    // A textured quad in clip space, (x, y) its lower-left corner, at depth -1; full: the whole
    // texture, else its part the viewport used. Nothing with DisableShader.
    void DrawScreenQuad(nTexture* texture, float x, float y, float width, float height, bool full);
    // The visible lights' volumes in wireframe (with the scene's callback) and, with
    // thumbnails, the four attribute targets at the upper left.
    void DrawDebugOverlay(bool thumbnails);
    void DrawShadowMapThumbnails();  // the six shadow maps along the bottom
    void DrawLightVolumesWireframe();
    static float DebugPointVolumeRadius(float range);                                     // range x (1 + (1 - cos 22.5) / cos 45)
    static float DebugSpotVolumeHalfSize(float range, float coneAngle, float edgeAngle);  // range x tan(cone + edge) / cos 45
    int32_t GetLineCount() const { return m_lineCount; }

    // Device copies of geometries and textures.
    // Converts the geometry into triangle-list batches and uploads them (SetupGeometryBatches).
    // False with one error line when closed, empty, without any triangle to draw, or on failure;
    // a refused geometry is left without device data.
    bool SetupGeometry(nGeometry* geometry) override;
    void FreeGeometry(nGeometry* geometry) override;
    void UpdateGeometry(nGeometry* geometry, int32_t first, int32_t count) override;  // updates nothing
    bool SetupTexture(nTexture* texture) override;                                    // false when not open or nothing could be made
    void FreeTexture(nTexture* texture) override;
    void UpdateTexture(nTexture* texture, const uint8_t* rgba, int32_t width, int32_t height,
                       int32_t x, int32_t y) override;
    // Fills one batch record from its source: buffers created and filled, layout offsets,
    // palette copied, vertex bytes added to the geometry bytes. False with a log line when a
    // buffer cannot be made; the record then holds whatever was made, for the caller to free.
    bool SetupBatch(GL_Batch& batch, const GL_BatchSource& source);
    void FreeBatch(GL_Batch& batch);  // deletes its buffers, subtracts its vertex bytes
    // Puts a geometry on the device from its triangle-list batches: one record per batch,
    // hung on the geometry, then the CPU copy cleaned as the clean flag says (never the
    // device copy just made). On any failure everything made is freed and the geometry is
    // left without device data.
    bool SetupGeometryBatches(nGeometry* geometry, const GL_BatchSource* batches, int32_t count);
    // A render-target texture of the size and kind in target: made (mipmaps off, render-target
    // flag) or its device copy freed and set up again. target is released when set-up fails.
    void CreateRenderTargetTexture(nSharedPtr<nTexture>& target, nOrvex* engine, const char* name,
                                   int32_t width, int32_t height, int32_t kind);
    uint32_t GetTextureBytes() const { return m_textureBytes; }
    uint32_t GetGeometryBytes() const { return m_geometryBytes; }

    // Materials (nGLMaterial.h): GL_MaterialData with one compiled render map per pass.
    bool SetupMaterial(nMaterial* material) override;  // false when it has render data already
    void FreeMaterial(nMaterial* material) override;
    void UpdateMaterial(nMaterial* material) override;  // rebuilds every compiled map
    // Makes the map's program current with its textures, UV arrays of batch (NULL: none) and
    // uniforms. False, binding nothing, for a map without a usable program: skip the draw.
    bool BindCompiledRenderMap(const GL3_CompiledRenderMap* map, const GL_Batch* batch, nItem* item);
    nGL3MaterialPrograms* GetMaterialPrograms() const { return m_materialPrograms; }
    // Lights: GL_LightData with the light program and the volumetric program chosen by
    // UpdateLight (nothing with DisableShader).
    // Shadow-map records of a light, made the first time its maps are drawn: the matrices its
    // maps were drawn with, for the light programs to find a surface in them.
    struct GL_PointShadow
    {
        nMatrix4 view[6];  // face camera i's inverse world matrix
        nMatrix4 projection[6];
    };
    struct GL_ShadowSplit
    {
        float distance;  // the split reaches this far along the main camera's view
        nMatrix4 view;
        nMatrix4 projection;
    };
    struct GL_SplitShadow
    {
        GL_ShadowSplit splits[4];
    };
    struct GL_LightData : nRenderData
    {
        nShader* lightShader;         // NULL: the light is not drawn
        nShader* unshadowedShader;    // drawn instead while the light's maps do not hold its shadow
        nShader* volumeShader;        // volumetric lights only
        bool usesShadowMaps;          // lightShader reads the shadow maps
        bool shadowReady;             // the shared maps hold this light's shadow (set while it is drawn)
        GL_PointShadow* pointShadow;  // owned, NULL until first needed
        GL_SplitShadow* splitShadow;  // owned, NULL until first needed
        GL_LightData() : lightShader(0), unshadowedShader(0), volumeShader(0), usesShadowMaps(false),
                         shadowReady(false), pointShadow(0), splitShadow(0) {}
        ~GL_LightData() override;
        GL_LightData(const GL_LightData&) = delete;
        GL_LightData& operator=(const GL_LightData&) = delete;
    };
    bool SetupLight(nLight* light) override;  // false when it has data already
    void FreeLight(nLight* light) override;
    void UpdateLight(nLight* light) override;
    // The core program a light is drawn with, by its type, shadow mode, the control word's
    // ShadowMapping and LinearShadow, its specular intensity and projection texture: the name,
    // or NULL for a type that is not drawn. A light naming its own shader is not asked here.
    static const char* ChooseLightProgram(int32_t type, int32_t shadow, uint32_t controlWord,
                                          float specularIntensity, bool projectionTexture);
    static const char* ChooseVolumeProgram(int32_t type, int32_t shadow, uint32_t controlWord);  // NULL: none

    // Core programs: looked up in the shader library at start-up. False, with one log line,
    // when a program the frame cannot do without is missing.
    bool LoadCoreShaders();
    void ReleaseCoreShaders();
    // A picture the core programs sample, from beside the program; NULL (logged) when absent.
    nSharedPtr<nTexture> LoadCorePicture(const char* file);
    nShader* GetCoreShader(const char* name) const;  // NULL when the library has none

    // Render targets.
    enum RenderTarget
    {
        TargetDepth = 0,
        TargetAttr0,
        TargetAttr1,
        TargetAttr2,
        TargetAttr3,
        TargetCompose,
        TargetVelocity,
        TargetFx0,
        TargetFx1,
        TargetFx2,
        TargetHdr,
        TargetCount
    };
    // The target set for an output of width x height (render scale, square targets), made or
    // resized; the G-buffer frame buffer gets its depth and first attribute target. False when
    // a target cannot be made.
    bool CreateRenderTargets(int32_t width, int32_t height);
    void FreeRenderTargets();
    nTexture* GetRenderTargetTexture(int32_t which) const;  // NULL outside the set or when not made
    float GetBufferWidth() const { return m_bufferSize[0]; }
    float GetBufferHeight() const { return m_bufferSize[1]; }
    float GetRenderScale() const { return m_renderScale; }
    uint32_t GetGBufferFramebuffer() const { return m_gbufferFramebuffer; }

    // The deferred frame and its passes.
    void RenderDeferredFrame(nRenderablePrimitiveList* list);
    void RenderVelocityPass(nRenderablePrimitiveList* list);
    void RenderDepthNormalPass(nRenderablePrimitiveList* list);
    void RenderGBufferPass(nRenderablePrimitiveList* list);
    bool VelocityPassWanted();  // the camera asks for motion blur, not excluded
    void BeginFixedFunctionFrame();
    void EndFixedFunctionFrame();
    void SetAmbientLight();  // light-model ambient from the scene
    void SetupFixedLights();
    void SetupFixedLight(int32_t index, nLight* light);
    static int32_t FixedSpotCutoff(float coneAngle, float edgeAngle);  // degrees, at most 90
    void DrawPrimitiveList(nRenderablePrimitiveList* list, int32_t pass);
    void DrawFullScreenQuad(bool textured, float uMax, float vMax, float extentX, float extentY);
    void DrawNearPlaneQuad(bool textured, float uMax, float vMax);
    void ClearTarget(float r, float g, float b, float a, float depth, uint32_t mask);
    const nRenderablePrimitive* GetCurrentPrimitive() const { return m_currentPrimitive; }

    // Lighting.
    void RenderAmbientPass();
    void RenderLights();
    void RenderLight(nLight* light);
    bool SetupLightUniforms(nLight* light);
    void DrawLightVolume(nLight* light);
    void DrawSphereVolume(float radius);
    void DrawPyramidVolume(float depth, float halfSize);
    void RenderFogPass();
    void RenderAmbientOcclusion();
    void CopyToTarget(nTexture* source, float scale, nShader* program, nTexture* target);
    void BindGBufferTextures();
    // 1 within clip + range - 50 of the camera, falling to 0 at clip + range; 1 for range 0.
    static float LightDistanceFade(float distance, float clipDistance, float range);
    // The drawn radius of a point light's sphere: its facets enclose volume range + 0.5.
    static float LightVolumeRadius(float volumeRange);

    // Shadow maps (nGL3RendererShadows.cpp): six S x S depth maps shared by every light, drawn
    // just before the light that reads them. Point lights use maps 0-5 (cube faces), parallel
    // lights 0-3 (nested splits of the view), spot lights 0.
    static constexpr int32_t kShadowMapCount = 6;
    static constexpr int32_t kShadowSplits = 4;
    bool CreateShadowMaps();  // at the size read at open; false when one cannot be made
    void FreeShadowMaps();
    nTexture* GetShadowMap(int32_t index) const;  // NULL outside 0..5 or when not made
    // Draws the light's maps; true when they now hold this light's shadow. GL state, matrices,
    // bound camera, viewport and frame buffer are as they were before.
    bool RenderShadowMaps(nLight* light);
    bool RenderPointShadowMaps(nLight* light);
    bool RenderSplitShadowMaps(nLight* light);
    void RenderShadowMapView(nCamera* camera, int32_t index);
    // The maps and matrices a shadowed program reads, the maps from texture unit first on.
    void BindSplitShadowUniforms(nShader* program, const GL_SplitShadow* record, int32_t first);
    void BindPointShadowUniforms(nShader* program, const GL_PointShadow* record, int32_t first, nLight* light);
    // Split k (0..3) of a parallel light: (1 - lambda) x uniform + lambda x logarithmic distance
    // between near and far at (k + 1) / 4.
    static float SplitDistance(float nearZ, float farZ, float lambda, int32_t split);
    // Places an orthographic camera looking along its own world Z around eight points: the
    // camera distance behind their centre, its box and far plane enclosing them all.
    static void FitSplitCamera(const nVector* corners, nCamera* camera, float distance);
    nItem* GetShadowCamera() const { return m_shadowCamera; }  // the main camera while maps are drawn
    float GetShadowMapInverseSize() const { return m_shadowMapInverse; }

    // Volumetric light (nGL3RendererVolumetric.cpp): the light's shaft gathered at a quarter of
    // the resolution, then blended over the composed picture.
    bool SetupVolumetricUniforms(nLight* light);
    void RenderVolumetricLight(nLight* light);

    // Post-processing (nGL3RendererPost.cpp): the bound camera's effects over the composed
    // picture, in a fixed order, each taking (source, destination) render targets and saying
    // whether it wrote the destination (the chain then swaps the two); then the presentation
    // of the source at the render scale. Effects skipped: excluded in the renderer registry,
    // a zero strength, or their program missing.
    struct PostEffect
    {
        const char* name;  // the child of "PostProcess" asking for it
        bool (nGL3Renderer::*run)(int32_t source, int32_t destination);
    };
    static constexpr int32_t kPostEffectCount = 8;
    static const PostEffect kPostEffects[kPostEffectCount];
    void RenderPostProcess();
    bool PostEffectExcluded(const char* effect);  // "PostProcess:Exclusion:<effect>" true in the renderer registry
    bool RenderMotionBlur(int32_t source, int32_t destination);
    bool RenderDepthOfField(int32_t source, int32_t destination);  // the result ends in the source: false
    bool RenderRadialBlur(int32_t source, int32_t destination);
    bool RenderBloom(int32_t source, int32_t destination);
    bool RenderChromaticDispersion(int32_t source, int32_t destination);
    bool RenderHueSaturation(int32_t source, int32_t destination);
    bool RenderSharpen(int32_t source, int32_t destination);
    bool RenderNoise(int32_t source, int32_t destination);
    uint32_t GetPostEffectsRun() const { return m_postEffectsRun; }  // bit i: effect i wrote its destination last frame

    // Geometry drawer.
    enum GeometryDrawer
    {
        DrawerNone = 0,
        DrawerFixedFunction,
        DrawerShader
    };
    // Which drawer draws a primitive of a material in a pass.
    static int32_t SelectGeometryDrawer(int32_t pass, uint32_t renderFlags, bool alpha, bool fixedFunctionRenderer);
    virtual void DrawGeometry(int32_t pass, nGeometry* geometry);
    // Emitter drawer: whether an emitter of a material draws in a pass (forward passes 0 and 1
    // for fixed-function materials or renderer; passes 2, 3 and 5 otherwise), and the drawing
    // of its live particles as camera-facing quads, far to near.
    static bool EmitterDrawsInPass(int32_t pass, uint32_t renderFlags, bool fixedFunctionRenderer);
    virtual void DrawEmitter(int32_t pass, nEmitter* emitter);
    // Terrain drawer: one quadtree node as a 64 x 64-quad patch in passes 2 (material program),
    // 3 (the layers blended by the blend map, else the material program) and 5 (depth only).
    virtual void DrawTerrainPatch(nTerrainNode* patch, int32_t pass);
    // A patch's staging block: kTerrainFloats floats, positions (patch steps), then normals and
    // texture coordinates unless positionsOnly. Vertices past the grid are drawn onto its edge
    // with the edge's samples, so no sample outside the grid is read.
    static const int32_t kTerrainNormalFloats = 65 * 65 * 3;
    static const int32_t kTerrainUVFloats = 65 * 65 * 6;
    static const int32_t kTerrainFloats = 65 * 65 * 8;
    static void FillTerrainPatch(const nTerrain& terrain, const nTerrainNode& node, bool positionsOnly, float* staging);

    // State cache.
    void ResetState();                                                    // the default GL state
    void BindTextureUnit(int32_t unit, uint32_t name);                    // active unit, texture bound and enabled, flag 0x1
    GL_TextureData* BindTextureData(int32_t unit, GL_TextureData* data);  // NULL: nothing
    void BindSampler(uint32_t program, int32_t unit, GL_TextureData* data, const char* uniform);
    void ResetTextureUnits(int32_t first);                  // undoes the flagged changes of units first..15
    int32_t FirstFreeTextureUnit() const;                   // first of units 0..7 without flags, 8 when none
    uint32_t GetTextureUnitFlags(int32_t unit) const;       // 0 outside 0..15
    void SetTextureUnitFlags(int32_t unit, uint32_t bits);  // ORs bits into a unit's flags
    void SetMatrixMode(uint32_t mode);
    uint32_t GetMatrixMode() const { return m_matrixMode; }
    void SetVertexArray(const float* xyz);  // 3 floats per element, tightly packed
    void SetNormalArray(const float* xyz);
    void SetColourArray(const float* rgb);
    void SetMaterialAmbient(const nVector& c);  // both faces
    void SetMaterialDiffuse(const nVector& c);
    void SetMaterialSpecular(const nVector& c);
    void SetMaterialEmission(const nVector& c);
    void SetMaterialShininess(float s);

    // Entry points. The driver lookup offers a name only when the driver's extension string
    // (or its version, for core names) says it has it.
    bool FetchExtensions();
    void SetEntryPointLookup(nGLEntryPointLookup lookup, void* context);  // NULL: the driver's
    static void* LookupDriverEntryPoint(const char* name);
    const nGLEntryPoints* GetEntryPoints() const { return m_gl; }
    int32_t GetDrawBufferCount() const { return m_drawBufferCount; }
    void CheckGLError(const char* text, int32_t number);  // logs the pending GL error, if any

    // Edge of the shadow maps: the registry key "ShadowMapping:Size;" (default 1024) read at
    // start-up with shaders, held to [16, the driver's largest texture].
    int32_t GetShadowMapSize() const { return m_shadowMapSize; }
    nGLWindow* GetWindow() const { return m_window; }
    const nMatrix4& GetViewMatrix() const { return m_view; }
    // Fixed-function material path: what a material sets before a draw without a program.
    void RenderFixedFunctionFrame(nRenderablePrimitiveList* list);
    void ApplyMaterialBlending(nMaterial* material);
    void ApplyMaterialState(nMaterial* material);
    void ApplyMaterialColours(nMaterial* material);  // the colours a material's programs read as material parameters
    bool ApplyMaterialTextures(nMaterial* material, const GL_Batch* batch, float alphaFactor);
    void BindStageTexture(const nMaterialStage* stage, int32_t unit);
    void SetupStageTexCoords(const nMaterialStage* stage, int32_t unit, const GL_Batch* batch);
    uint32_t GetWhiteTexture();                     // 1x1 white, made on first use
    static float FixedShininess(float glossiness);  // glossiness x 256, at most 128
    const nMatrix4& GetModelViewMatrix() const { return m_modelView; }
    const nMatrix4& GetProjectionMatrix() const { return m_projection; }
    const nVector& GetClipPlaneNormal() const { return m_clipNormal; }
    float GetClipPlaneDistance() const { return m_clipDistance; }

protected:
    void DrawBatchFixedFunction(int32_t pass, GL_Batch& batch, nMaterial* material, nItem* item);
    void DrawBatchShader(int32_t pass, GL_Batch& batch, nMaterial* material, nItem* item);
    void BindBatchArrays(int32_t pass, const GL_Batch& batch, bool colours);
    void UnbindBatchArrays();
    void BindTargetSampler(nShader* program, int32_t unit, int32_t target, const char* uniform);
    void BindTextureSampler(nShader* program, int32_t unit, nTexture* texture, const char* uniform);
    void AttachColour(int32_t attachment, int32_t target);  // -1 target: detach
    int32_t UseProgram(nShader* program);                   // the program handle made current, 0 for none
    void SetUniform1f(int32_t program, const char* name, float x);
    void SetUniform2f(int32_t program, const char* name, float x, float y);
    void SetUniform3f(int32_t program, const char* name, float x, float y, float z);
    void SetUniform4f(int32_t program, const char* name, const float* xyzw);
    void SetUniformMatrix4(int32_t program, const char* name, const nMatrix4& m);
    float CameraNear();
    // Post-processing steps.
    int32_t BeginPostPass(nShader* program, int32_t target);  // post frame buffer, target, program, inverse_buffer_size
    void EndPostPass();
    void DrawBufferQuad();  // texture extent 1, vertex extents the display-buffer ratio
    void RenderFastDepthOfField(int32_t source, float fStop, float focalDistance);
    void RenderFullDepthOfField(int32_t source, int32_t destination, float fStop, float focalDistance);
    int32_t RenderBloomStreaks();  // the target holding the streaks
    void DrawStreak(nShader* streak, float x, float y, float attenuation, int32_t result);
    void PresentPostSource(int32_t source, int32_t destination);
    // One presentation blit: the source holding the viewport at fromScale drawn at toScale
    // into target (-1: the output texture or the window).
    void PresentStep(int32_t source, float fromScale, float toScale, nShader* program, int32_t target = -1);
    void SetTargetFiltering(int32_t target, bool linear);
    uint32_t m_postEffectsRun = 0;

private:
    bool CreateOutputWindow(int32_t width, int32_t height, int32_t bitsPerPixel, int32_t mode);
    bool CreateContext(int32_t width, int32_t height, int32_t bitsPerPixel, int32_t mode);
    bool Startup(int32_t width, int32_t height, int32_t bitsPerPixel, int32_t mode);
    void FreeResources();
    void ReadShadowMapSize();
    void UploadTexture(nTexture* texture, nTexture* source, GL_TextureData* data, bool compressed);
    bool MayCompress(const nTexture* texture) const;
    void* BeginBuffer(uint32_t* name, uint32_t bytes);  // staging block or NULL
    void EndBuffer();
    void FreeStaging();
    void* LookupEntryPoint(const char* name);
    bool LoadShaderLibrary();
    static nString BesideProgram(const char* file);                         // "disc:" path of a file beside the program                             // "default_shaders.nml" beside the program, profile "GLSL_Deferred;"
    GL3_CompiledRenderMap* CompilePass(nMaterial* material, int32_t pass);  // from the generator's current pass
    nGL3Shader* FindOrBuildProgram(int32_t pass);                           // the cached program of the signature, or a new one (failed ones kept)
    void UploadUniform(const GL3_CompiledRenderMap& map, const GL3_ShaderUniform& uniform, nItem* item);

    nOrvex* m_engine;     // the hub it was made for; not owned, may be NULL
    nGLWindow* m_window;  // owned, NULL when none
    bool m_presentReady;  // the context was made current on the window
    bool m_externalWindow;
    int32_t m_windowMode;
    int32_t m_windowWidth;
    int32_t m_windowHeight;
    uint8_t m_bitsPerPixel;
    bool m_noDepth32Target;
    nGLEntryPoints* m_gl;  // owned
    nGLEntryPointLookup m_lookup;
    void* m_lookupContext;
    int32_t m_drawBufferCount;
    bool m_hasAnisotropy;
    uint32_t m_postFramebuffer;
    uint32_t m_gbufferFramebuffer;
    uint32_t m_shadowFramebuffer;
    uint32_t m_occlusionQuery;
    int32_t m_shadowMapSize;
    float m_shadowMapInverse;
    nSharedPtr<nTexture> m_shadowMaps[kShadowMapCount];
    nItem* m_shadowCamera;        // the main camera while shadow maps are drawn
    nCamera* m_shadowViewCamera;  // owned, made on first use: the view each map is drawn from
    // Terrain patches: shared quad indices and vertex buffer with its staging block, made on
    // first use and kept until the renderer closes.
    uint32_t m_terrainIndexBuffer = 0;
    uint32_t m_terrainVertexBuffer = 0;
    float* m_terrainStaging = 0;
    bool CreateTerrainBuffers();  // false (logged) without memory or buffer objects
    void FreeTerrainBuffers(bool withContext);
    bool BindTerrainLayers(nTerrain& terrain, const nTerrainNode& patch);  // false without the layers program
    float m_renderScale;
    int32_t m_effectDivisor;
    float m_exposureKey;
    nSharedPtr<nShaderLibrary> m_shaderLibrary;  // the core programs; NULL when closed or without shaders
    nGL3MaterialPrograms* m_materialPrograms;    // owned; made on the first material update

    // State cache.
    uint32_t m_matrixMode;
    const float* m_vertexArray;
    const float* m_normalArray;
    const float* m_colourArray;
    nVector m_materialAmbient;
    nVector m_materialDiffuse;
    nVector m_materialSpecular;
    nVector m_materialEmission;
    float m_materialShininess;
    uint32_t m_unitFlags[kTextureUnits];

    // Staging block of the buffer being filled.
    void* m_staging;
    uint32_t m_stagingBytes;

    // Matrices, viewport, clip plane.
    nMatrix4 m_view;
    nMatrix4 m_modelView;
    int32_t m_viewport[4];
    float m_inverseViewportSize[2];
    float m_bufferToViewport[2];
    nVector m_clipNormal;
    float m_clipDistance;

    // The deferred frame.
    nSharedPtr<nTexture> m_targets[TargetCount];
    float m_bufferSize[2];
    float m_inverseBufferSize[2];
    nShader** m_coreShaders;  // one per name of the core table; owned array
    nSharedPtr<nTexture> m_noiseTexture;
    nSharedPtr<nTexture> m_ditherTexture;
    const nRenderablePrimitive* m_currentPrimitive;
    int32_t m_fixedLightCount;
    nLight* m_fixedLights[8];
    uint32_t m_whiteTexture;  // fixed-function path: untextured materials

    // Debug lines.
    struct Line
    {
        nVector from, to, colour;
    };
    Line* m_lines;  // kLineCapacity entries, made on first use
    int32_t m_lineCount;
    bool m_lineListFull;  // the overflow warning was given
};

#endif
