#ifndef N_RENDERER_H
#define N_RENDERER_H

#include <cstdint>
#include <string>
#include <vector>

#include "core/nBounds.h"
#include "core/nFrustum.h"
#include "core/nLinkedList.h"
#include "core/nList.h"
#include "core/nMatrix.h"
#include "core/nTimer.h"
#include "core/nVector.h"
#include "render/nPropertyRequest.h"
#include "render/nRenderQueue.h"
#include "render/nRendererSlot.h"

class nItem;
class nTexture;
class nPicture;
class nGeometry;
class nMaterial;
class nLight;
class nShader;
class nRasterFont;
class nMetaTag;
class nMetaFile;
class nVariant;
struct nRenderOutput;  // an output window record of the renderer that draws into windows

// Effect switches (RendererControlWord).
enum nRendererControlFlag
{
    RendererControlMotionBlur = 0x1,
    RendererControlShadowMapping = 0x2,
    RendererControlBloom = 0x8,
    RendererControlExposure = 0x10,
    RendererControlDepthOfField = 0x20,
    RendererControlLinearShadow = 0x40,
    RendererControlAmbientOcclusion = 0x80,
    RendererControlFramebufferAsTexture = 0x100,
    RendererControlLowResolutionFx = 0x200
};

// Option switches (RendererSystemWord).
enum nRendererSystemFlag
{
    RendererSystemEnableDebug = 0x1,
    RendererSystemAntialiasing = 0x2,
    RendererSystemUseFloatTarget = 0x4,
    RendererSystemOptimizeVideoRam = 0x8,
    RendererSystemDisableShader = 0x10,
    RendererSystemDisableMultipleRenderTarget = 0x20,
    RendererSystemSquareTargets = 0x40,
    RendererSystemTextureNoDownscale = 0x80,
    RendererSystemTextureForceTrueColor = 0x100,
    RendererSystemTextureNoCompression = 0x200,
    RendererSystemTextureForceSquare = 0x400,
    RendererSystemVSync = 0x800
};

// Six per-frame counters, zeroed by ResetStatistics.
struct RendererStatistics
{
    uint32_t queuePasses;
    uint32_t lightsProcessed;
    uint32_t objectsSent;
    uint32_t objectsDrawn;
    uint32_t trianglesDrawn;
    uint32_t listsDrawn;

    RendererStatistics() : queuePasses(0), lightsProcessed(0), objectsSent(0), objectsDrawn(0),
                           trianglesDrawn(0), listsDrawn(0) {}
};

typedef nLinkedListId RendererRegistry;  // owned nMetaTag trees looked up by NML path

// One line of the statistics text: where it is written (output fractions from the top-left
// corner) and in which colour.
struct nStatisticsLine
{
    std::string text;
    float x, y;
    nVector colour;
};

// The one interface through which the engine, scenes, loaders, the 2D layer and scripts reach
// the display, with the part every renderer shares. Exactly one renderer is the engine's
// current renderer; a renderer is owned by one raw pointer and deleted through its virtual
// destructor. The virtual operations are declared in their fixed order.
class nRenderer
{
public:
    // Every field at its initial value (closed, output 1 x 1, aspect 1, no camera, no
    // callback); with makeCurrent the slot's current renderer becomes this one (slot may be
    // NULL: the engine hub, or no engine at all).
    nRenderer(nRendererSlot* slot, bool makeCurrent);

    virtual int32_t GetConstant();                   // 8192 on every renderer
    virtual nVector2& GetOutputSize(nVector2& out);  // the render target's size when set, else the output size
    virtual void SetRenderTarget(nTexture* target);  // NULL: the output window
    virtual void ApplyCamera();                      // view, projection and frustum from the bound camera
    virtual void BeginFrame() {}
    virtual void EndFrame() {}
    virtual const char* GetName() = 0;
    virtual const char* GetDescription() = 0;
    virtual const char* GetVersion() = 0;
    virtual bool Open(int32_t width, int32_t height, int32_t bitsPerPixel, int32_t mode) = 0;
    virtual void Close() = 0;
    virtual bool Resize(int32_t width, int32_t height) = 0;
    virtual void Reserved(void* pointer) {}  // never called
    virtual void UpdateOutputSize() = 0;
    virtual void* GetWindowHandle() = 0;
    virtual bool SetupOutputWindow(void* window, nRenderOutput* output) = 0;
    virtual void MakeCurrent(nRenderOutput* output) = 0;  // NULL: the renderer's own output
    virtual void ReleaseOutput(nRenderOutput* output) = 0;
    virtual void RenderQueue() = 0;  // draws the queue; drawing twice draws twice
    virtual void Present() = 0;
    virtual nShader* NewShader() = 0;
    virtual void Clear(float red, float green, float blue, float depth, bool depthOnly) = 0;
    virtual bool GrabToPicture(nPicture* picture) = 0;
    virtual void CopyToTexture(nTexture* texture) = 0;
    virtual void BindTargetTexture(nTexture* texture) = 0;
    virtual void DrawLine(const nVector& from, const nVector& to, const nVector* colour) = 0;  // NULL: default colour
    virtual void DrawTriangle(const nVector& a, const nVector& b, const nVector& c, const nVector* colour,
                              const nVector2* uvs, nTexture* texture, uint32_t renderFlags) = 0;  // uvs: three or NULL
    virtual void Write(nRasterFont* font, const char* text, float x, float y, float size, bool keepAspect,
                       int32_t alignment, const nVector* colour) = 0;
    virtual bool SetupGeometry(nGeometry* geometry) = 0;
    virtual void FreeGeometry(nGeometry* geometry) = 0;
    virtual void UpdateGeometry(nGeometry* geometry, int32_t first, int32_t count) = 0;
    virtual bool SetupTexture(nTexture* texture) = 0;                      // false when it could not be set up
    virtual bool LoadTextureContent(nTexture* texture, const char* path);  // false: no renderer reads texture files itself
    virtual void FreeTexture(nTexture* texture) = 0;
    virtual void UpdateTexture(nTexture* texture, const uint8_t* rgba, int32_t width, int32_t height,
                               int32_t x, int32_t y) = 0;
    virtual bool SetupMaterial(nMaterial* material) = 0;
    virtual void FreeMaterial(nMaterial* material) = 0;
    virtual void UpdateMaterial(nMaterial* material) = 0;
    virtual bool SetupLight(nLight* light) = 0;
    virtual void FreeLight(nLight* light) = 0;
    virtual void UpdateLight(nLight* light) = 0;
    virtual void SetViewMatrix(const nMatrix4& m) = 0;
    virtual void SetProjectionMatrix(const nMatrix4& m) = 0;
    virtual void SetModelMatrix(const nMatrix4& m) = 0;
    virtual void ClearClipPlane() = 0;
    virtual void SetClipPlane(const nVector& point, const nVector& normal) = 0;
    virtual void SetViewport(int32_t x, int32_t y, int32_t width, int32_t height) = 0;
    virtual void GetViewport(int32_t* x, int32_t* y, int32_t* width, int32_t* height) = 0;
    // The slot's null renderer leaves the slot without a current renderer; any other current
    // renderer hands the slot back to the null renderer. The queue's nodes are freed
    // (never the renderables) and the registry's tags deleted.
    virtual ~nRenderer();

    nRenderer(const nRenderer&) = delete;
    nRenderer& operator=(const nRenderer&) = delete;

    nRendererSlot* GetSlot() const { return m_slot; }
    bool IsOpen() const { return m_open; }
    bool IsClosed() const { return m_closed; }

    // Camera binding: the camera item (its managed item is a camera) used for view,
    // projection and culling.
    void SetCamera(nItem* camera);  // NULL unbinds
    nItem* GetCamera() const { return m_camera; }
    const nFrustum& GetFrustum() const { return m_frustum; }

    // Fog: a near below 0.001 keeps the previous near; far becomes at least near + 0.001; a
    // NULL colour keeps the previous colour.
    void SetFog(bool enabled, const nVector* colour, float nearZ, float farZ);
    bool IsFogEnabled() const { return m_fogEnabled; }
    float GetFogNear() const { return m_fogNear; }
    float GetFogFar() const { return m_fogFar; }
    const nVector& GetFogColour() const { return m_fogColour; }

    float GetTargetExposure() const { return m_targetExposure; }
    void SetTargetExposure(float e) { m_targetExposure = e; }
    float GetGlobalAspectRatio() const { return m_globalAspectRatio; }
    void SetGlobalAspectRatio(float a) { m_globalAspectRatio = a; }

    void SetControlFlag(uint32_t bits, bool on);
    bool TestControlFlag(uint32_t bits) const { return (m_controlWord & bits) != 0; }  // any of the bits
    uint32_t GetControlWord() const { return m_controlWord; }
    void SetSystemFlag(uint32_t bits, bool on);
    bool TestSystemFlag(uint32_t bits) const { return (m_systemWord & bits) != 0; }  // any of the bits
    uint32_t GetSystemWord() const { return m_systemWord; }

    void ResetStatistics() { m_statistics = RendererStatistics(); }
    RendererStatistics& GetStatistics() { return m_statistics; }
    void SetCleanResourceOnSetup(bool on) { m_cleanResourceOnSetup = on; }
    bool GetCleanResourceOnSetup() const { return m_cleanResourceOnSetup; }
    nTexture* GetRenderTarget() const { return m_renderTarget; }
    RendererRegistry& GetRegistry() { return m_registry; }
    // The registry tag at an NML path ("Antialising:Sample;"), NULL when missing; and the
    // same path made (each ':' component found or created) with the value copied into its
    // last tag (NULL: the value left as it is). NULL when a tag cannot be made.
    nMetaTag* FindRegistryKey(const char* path);
    nMetaTag* CreateRegistryKey(const char* path, const nVariant* value);
    nTimer& GetRenderQueueTimer() { return m_renderQueueTimer; }

    // Property callback: installed by the scene that binds itself; the context is copied
    // into every request before the call.
    void SetPropertyRequestCallback(RendererPropertyRequest callback, void* context);
    RendererPropertyRequest GetPropertyRequestCallback() const { return m_propertyCallback; }
    void* GetPropertyRequestContext() const { return m_propertyContext; }
    bool RequestProperty(int32_t kind, nPropertyRequest* request);  // false without a callback

    // Render queue: plain pointers, neither referenced nor owned; new entries go to the head.
    nList<nRenderable*>::Node* QueueRenderable(nRenderable* renderable);  // NULL when out of memory
    void ResetRenderQueue();                                              // frees every node; forgets the view camera
    // The camera of the frame's main view: kept by a list build of pass 0 and forgotten by
    // ResetRenderQueue and SetCamera, so later passes of the same frame (shadow maps) can
    // refine as the viewer sees, and never with a camera of an earlier frame. NULL until then.
    nItem* GetViewCamera() const { return m_viewCamera; }
    const nList<nRenderable*>& GetRenderQueue() const { return m_renderQueue; }
    // Deletes the list's records; with a bound camera asks every queued renderable, most
    // recently queued first, to append its records with the pass, then sorts by depth.
    void BuildPrimitiveList(nRenderablePrimitiveList* list, int32_t pass);

    // Debug shapes, in world space through the current view and projection, made of
    // DrawLine and DrawTriangle calls. A NULL colour gives the shape's default; "line
    // default" passes NULL on to DrawLine. Cross, Box, Square and Cube draw nothing while the
    // renderer is closed; the others always draw. A NULL orientation is the identity.
    void DrawCross(const nVector& position, float halfSize, const nVector* colour);           // 3 lines; white
    void DrawBox(const nMinMax& box, const nVector* colour);                                  // 12 edges; (0.5, 1, 0, 1)
    void DrawSquare(const nVector& centre, float halfSize);                                   // 4 edges in z = centre z; white
    void DrawCube(const nVector& centre, float halfSize, const nVector* colour);              // DrawBox of centre +- half size; (0, 0.5, 1, 1)
    void DrawSphere(const nVector& centre, float radius, const nVector* colour);              // 3 axis circles of 36 lines; (1, 1, 0, 1)
    void DrawTransformedSphere(const nMatrix4& matrix, float radius, const nVector* colour);  // 3 local circles of 24 lines; line default
    // One circle in the orientation's local XY plane: segments of 10 degrees added while the
    // float angle is below two pi, which makes 37 lines, the last over the first.
    void DrawCircle(const nVector& centre, float radius, const nMatrix3* orientation, const nVector* colour);
    void DrawCylinder(const nVector& centre, float radius, float height, const nMatrix3* orientation, const nVector* colour);  // 78 lines
    void DrawCapsule(const nVector& centre, float radius, float height, const nMatrix3* orientation, const nVector* colour);   // 218 lines
    void DrawCone(const nVector& centre, float radius, float height, const nMatrix3* orientation, const nVector* colour);      // 41 lines
    void DrawOrientedBox(const nOBB& box, const nVector* colour);                                                              // 12 edges; (1, 0.5, 0, 1)
    void DrawOBB(const nOBB& box, const nVector* colour) { DrawOrientedBox(box, colour); }                                     // the scene's name for it
    void DrawSolidOrientedBox(const nOBB& box, const nVector* colour, uint32_t renderFlags);                                   // 12 triangles; (1, 0.5, 0, 1)

    // Statistics text: the title and the eight counter lines with their places, each line
    // 0.0225 below the last; a line that would pass 0.955 starts a second column 0.5 to the
    // right at 0.05. Returns the y of the next line. queueMs is the render queue's average
    // per frame, cullingMs the engine's culling timer's.
    float LayoutStatistics(float x, float y, float queueMs, float cullingMs, std::vector<nStatisticsLine>& lines) const;
    // Writes the statistics text with the font at size 0.375, each line first in black one
    // pixel right and down, then in its colour; nothing (y returned) when the renderer cannot
    // write with the font (CanWriteWith).
    float DrawStatistics(float x, float y, nRasterFont* font);
    // Whether text can be written with the font: here, any font; renderers that know raster
    // fonts ask for its first page's texture.
    virtual bool CanWriteWith(nRasterFont* font) { return font != 0; }

    // Settings NML: a root named GetName() with "Version" and a "Registry" copy.
    nMetaTag* SaveSettings();                // NULL when out of memory
    bool LoadSettings(nMetaFile* document);  // false when the first root is not named GetName()

protected:
    void SetOpenState(bool open)
    {
        m_open = open;
        m_closed = !open;
    }
    void SetOutputSize(float width, float height) { m_outputSize = nVector2(width, height); }

    nRendererSlot* m_slot;  // where this renderer is made current; not owned
    RendererRegistry m_registry;
    bool m_cleanResourceOnSetup;
    nList<nRenderable*> m_renderQueue;
    RendererStatistics m_statistics;
    uint32_t m_textureBytes;
    uint32_t m_geometryBytes;
    bool m_open;
    bool m_closed;
    bool m_fullScreen;
    nVector2 m_outputSize;
    nItem* m_camera;
    nItem* m_viewCamera;
    void* m_cameraRecord;  // the camera part of the bound item
    nMatrix4 m_projection;
    nFrustum m_frustum;
    nTexture* m_renderTarget;
    uint32_t m_controlWord;
    uint32_t m_systemWord;
    bool m_fogEnabled;
    float m_fogNear;
    float m_fogFar;
    nVector m_fogColour;
    float m_targetExposure;
    float m_globalAspectRatio;
    RendererPropertyRequest m_propertyCallback;
    void* m_propertyContext;
    nTimer m_renderQueueTimer;
};

// Texture edge for a picture edge: with powerOfTwo the smallest power of two not below edge;
// otherwise 1 for 0 and 1, else the smallest power of two c >= 2 with c + c / 2 >= edge, at
// most 4096.
int32_t ComputeTextureSize(int32_t edge, bool powerOfTwo);

#endif
