#include "render/gl/nGL3Renderer.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "core/nLog.h"
#include "core/nMetaTag.h"
#include "hub/nOrvex.h"
#include "platform/nGLWindow.h"
#include "platform/nPlatformInput.h"
#include "render/gl/nGLEntryPoints.h"
#include "render/gl/nGLMaterial.h"
#include "resources/nTexture.h"
#include "scene/nCamera.h"

namespace {
const char* const kWindowTitle = "Quazel (www.quazel.com)";
}

nGL3Renderer::nGL3Renderer(nOrvex* engine, bool makeCurrent)
    : nRenderer(engine, makeCurrent),
      m_engine(engine),
      m_window(0),
      m_presentReady(false),
      m_externalWindow(false),
      m_windowMode(0),
      m_windowWidth(0),
      m_windowHeight(0),
      m_bitsPerPixel(0),
      m_noDepth32Target(false),
      m_gl(new (std::nothrow) nGLEntryPoints()),
      m_lookup(0),
      m_lookupContext(0),
      m_drawBufferCount(0),
      m_hasAnisotropy(false),
      m_postFramebuffer(0),
      m_gbufferFramebuffer(0),
      m_shadowFramebuffer(0),
      m_occlusionQuery(0),
      m_shadowMapSize(1024),
      m_shadowMapInverse(1.0f / 1024.0f),
      m_shadowCamera(0),
      m_shadowViewCamera(0),
      m_renderScale(1.0f),
      m_effectDivisor(4),
      m_exposureKey(0.18f),
      m_materialPrograms(0),
      m_matrixMode(GL_MODELVIEW),
      m_vertexArray(0),
      m_normalArray(0),
      m_colourArray(0),
      m_materialAmbient(0.0f, 0.0f, 0.0f, 1.0f),
      m_materialDiffuse(0.0f, 0.0f, 0.0f, 1.0f),
      m_materialSpecular(0.0f, 0.0f, 0.0f, 1.0f),
      m_materialEmission(0.0f, 0.0f, 0.0f, 1.0f),
      m_materialShininess(0.0f),
      m_unitFlags{},
      m_staging(0),
      m_stagingBytes(0),
      m_viewport{0, 0, 0, 0},
      m_inverseViewportSize{0.0f, 0.0f},
      m_bufferToViewport{1.0f, 1.0f},
      m_clipNormal(0.0f, 0.0f, 0.0f, 1.0f),
      m_clipDistance(0.0f),
      m_bufferSize{1.0f, 1.0f},
      m_inverseBufferSize{1.0f, 1.0f},
      m_coreShaders(0),
      m_currentPrimitive(0),
      m_fixedLightCount(0),
      m_fixedLights{},
      m_whiteTexture(0),
      m_lines(0),
      m_lineCount(0),
      m_lineListFull(false)
{
    SetControlFlag(RendererControlAmbientOcclusion, false);
}

nGL3Renderer::~nGL3Renderer()
{
    FreeStaging();
    if (m_open || m_window) Close();
    FreeRenderTargets();
    FreeShadowMaps();
    delete m_shadowViewCamera;
    delete[] m_terrainStaging;
    ReleaseCoreShaders();
    m_shaderLibrary.Release();
    delete m_materialPrograms;
    delete[] m_lines;
    delete m_gl;
}

nVector2& nGL3Renderer::GetOutputSize(nVector2& out)
{
    if (m_renderTarget) out = nVector2((float)m_renderTarget->GetWidth(), (float)m_renderTarget->GetHeight());
    else out = m_outputSize;
    return out;
}

const char* nGL3Renderer::GetDescription()
{
    return TestSystemFlag(RendererSystemDisableShader) ? "OpenGL Fixed-function" : "OpenGL Deferred";
}

bool nGL3Renderer::Open(int32_t width, int32_t height, int32_t bitsPerPixel, int32_t mode)
{
    if (m_open) {
        *g_log << "[*] Renderer is already open, will not reopen without closing first.\n";
        return false;
    }
    m_externalWindow = false;
    if (!CreateOutputWindow(width, height, bitsPerPixel, mode)) return false;
    return Startup(width, height, bitsPerPixel, mode);
}

bool nGL3Renderer::OpenOnWindow(void* window, int32_t width, int32_t height, bool createContext)
{
    if (m_open) {
        *g_log << "[*] Renderer is already open, will not reopen without closing first.\n";
        return true;
    }
    *g_log << "[!] Rendering into a window of the host is not supported.\n";
    return false;
}

bool nGL3Renderer::CreateOutputWindow(int32_t width, int32_t height, int32_t bitsPerPixel, int32_t mode)
{
    if (mode < GLWindowModeWindowed || mode > GLWindowModeHidden) {
        *g_log << "[*] Unsupported mode (" << mode << "), defaulting to windowed.\n";
        mode = GLWindowModeWindowed;
    }
    m_windowWidth = width;
    m_windowHeight = height;
    m_bitsPerPixel = (uint8_t)bitsPerPixel;
    m_windowMode = mode;

    if (!m_window) m_window = new (std::nothrow) nGLWindow();
    nGLWindowResult result = m_window
                                 ? m_window->CreateWindow(kWindowTitle, width, height, mode, TestSystemFlag(RendererSystemAntialiasing))
                                 : GLWindowFailed;
    if (result == GLWindowFullScreenFailed) {
        *g_log << "[!] failed to switch to fullscreen.\n";
        Close();
        return false;
    }
    if (result != GLWindowCreated) {
        *g_log << "[!] no compatible display mode found.\n";
        Close();
        return false;
    }
    m_fullScreen = mode == GLWindowModeFullScreen;
    return true;
}

bool nGL3Renderer::CreateContext(int32_t width, int32_t height, int32_t bitsPerPixel, int32_t mode)
{
    if (!m_window || !m_window->HasWindow()) {
        *g_log << "[!] Couldn't get a device context for rendering window.\n";
        Close();
        return false;
    }
    if (!m_window->CreateContext()) {
        *g_log << "[!] could not create rendering context.\n";
        Close();
        return false;
    }
    MakeCurrent(0);
    // The window was made with the multisample format when one was asked for and offered.
    if (m_window->IsMultisampled()) glEnable(GL_MULTISAMPLE);
    m_window->SetSwapInterval(0);
    int32_t w = width, h = height;
    m_window->GetDrawableSize(&w, &h);
    SetOutputSize((float)w, (float)h);
    return true;
}

bool nGL3Renderer::Startup(int32_t width, int32_t height, int32_t bitsPerPixel, int32_t mode)
{
    m_noDepth32Target = false;
    *g_log << "[H] "
           << "Starting OpenGL 3 renderer...\n";
    if (TestSystemFlag(RendererSystemAntialiasing)) *g_log << "Using 4x supersampling.\n";
    else *g_log << "No supersampling.\n";
    if (TestSystemFlag(RendererSystemUseFloatTarget)) {
        *g_log << "Full HDR support.\n";
    } else {
        *g_log << "No HDR support.\n";
        SetControlFlag(RendererControlExposure, false);
    }

    if (!CreateContext(width, height, bitsPerPixel, mode)) return false;  // closed already
    if (!FetchExtensions()) {
        Close();
        return false;
    }
    if (!TestSystemFlag(RendererSystemDisableShader) && !LoadShaderLibrary()) {
        Close();
        return false;
    }

    m_open = true;
    *g_log << "Vendor: " << (const char*)glGetString(GL_VENDOR) << "\n";
    *g_log << "Renderer: " << (const char*)glGetString(GL_RENDERER) << "\n";
    *g_log << "Version: " << (const char*)glGetString(GL_VERSION) << "\n";
    *g_log << "\n";

    ResetState();
    if (m_gl->GenQueriesARB) m_gl->GenQueriesARB(1, &m_occlusionQuery);

    // The drawable may differ from the size asked for (a full-screen size the display
    // cannot show): the output is what was made.
    int32_t w = width, h = height;
    m_window->GetDrawableSize(&w, &h);
    SetOutputSize((float)w, (float)h);
    SetViewport(0, 0, w, h);

    if (!TestSystemFlag(RendererSystemDisableShader)) {
        m_gl->GenFramebuffersEXT(1, &m_postFramebuffer);
        m_gl->GenFramebuffersEXT(1, &m_gbufferFramebuffer);
        m_gl->GenFramebuffersEXT(1, &m_shadowFramebuffer);
        // Without its core programs the renderer cannot draw a frame: it closes rather than
        // stay open half made.
        ReadShadowMapSize();
        if (!LoadCoreShaders() || !CreateRenderTargets(w, h) || !CreateShadowMaps()) {
            Close();
            return false;
        }
    }

    BindTargetTexture(0);
    glReadBuffer(GL_BACK);
    m_closed = false;

    if (TestSystemFlag(RendererSystemDisableMultipleRenderTarget))
        *g_log << "[*] MRT support is disabled.\n";
    return true;
}

const int32_t kLargestShadowMapSize = 4096;

void nGL3Renderer::ReadShadowMapSize()
{
    int32_t size = 1024;
    if (nMetaTag* tag = FindMetaTagByPath(&m_registry, "ShadowMapping:Size;", false)) tag->GetValue().GetInt(&size);
    // Six maps are made at once: past 4096 texels a side they would take gigabytes.
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    if (largest < 16 || largest > kLargestShadowMapSize) largest = kLargestShadowMapSize;
    int32_t held = size < 16 ? 16 : size;
    if (held > largest) held = largest;
    if (held != size)
        *g_log << "[*] Shadow map size " << size << " is out of range, using " << held << ".\n";
    m_shadowMapSize = held;
    m_shadowMapInverse = 1.0f / (float)held;
}

void nGL3Renderer::FreeResources()
{
    if (m_postFramebuffer && m_gl && m_gl->DeleteFramebuffersEXT) m_gl->DeleteFramebuffersEXT(1, &m_postFramebuffer);
    m_postFramebuffer = 0;
    if (m_whiteTexture) glDeleteTextures(1, &m_whiteTexture);
    m_whiteTexture = 0;
    if (m_occlusionQuery && m_gl && m_gl->DeleteQueriesARB) m_gl->DeleteQueriesARB(1, &m_occlusionQuery);
    m_occlusionQuery = 0;
    if (!TestSystemFlag(RendererSystemDisableShader) && m_gl && m_gl->DeleteFramebuffersEXT) {
        if (m_gbufferFramebuffer) m_gl->DeleteFramebuffersEXT(1, &m_gbufferFramebuffer);
        if (m_shadowFramebuffer) m_gl->DeleteFramebuffersEXT(1, &m_shadowFramebuffer);
    }
    m_gbufferFramebuffer = 0;
    m_shadowFramebuffer = 0;
    FreeTerrainBuffers(true);
    FreeRenderTargets();
    FreeShadowMaps();
    ReleaseCoreShaders();
    m_shaderLibrary.Release();
    if (m_materialPrograms) m_materialPrograms->ReleaseDevice();
    SetSystemFlag(RendererSystemDisableMultipleRenderTarget, false);
}

void nGL3Renderer::Close()
{
    bool current = m_window && m_window->HasContext() && m_window->MakeCurrent();
    if (current) FreeResources();
    else {
        m_postFramebuffer = m_gbufferFramebuffer = m_shadowFramebuffer = m_occlusionQuery = 0;
        // No context to free them in: the targets' device copies went with it.
        for (nSharedPtr<nTexture>* set : {m_targets, m_shadowMaps})
            for (int32_t i = 0; i < (set == m_targets ? (int32_t)TargetCount : kShadowMapCount); ++i)
                if (set[i].IsValid()) {
                    delete set[i]->GetRenderData();
                    set[i]->SetRenderData(0);
                }
        FreeTerrainBuffers(false);
        FreeRenderTargets();
        FreeShadowMaps();
        ReleaseCoreShaders();
        m_shaderLibrary.Release();
        if (m_materialPrograms) m_materialPrograms->ReleaseDevice();
        SetSystemFlag(RendererSystemDisableMultipleRenderTarget, false);
    }
    FreeStaging();
    m_fullScreen = false;
    nPlatform::ShowCursor(true);
    SetOpenState(false);
    m_presentReady = false;
    if (m_window) {
        m_window->DestroyContext();
        if (!m_externalWindow) m_window->DestroyWindow();
        delete m_window;
        m_window = 0;
    }
    // Every entry point belonged to the context just destroyed.
    if (m_gl) std::memset(m_gl, 0, sizeof(*m_gl));
    m_drawBufferCount = 0;
    for (int32_t i = 0; i < kTextureUnits; ++i) m_unitFlags[i] = 0;
}

bool nGL3Renderer::Resize(int32_t width, int32_t height)
{
    if (width == 0 || height == 0 || !m_open) return false;
    if (!TestSystemFlag(RendererSystemDisableShader)) CreateRenderTargets(width, height);
    SetOutputSize((float)width, (float)height);
    SetViewport(0, 0, width, height);
    return true;
}

void nGL3Renderer::UpdateOutputSize()
{
    if (!m_open || m_closed || !m_window || !m_window->HasWindow()) return;
    int32_t w = 0, h = 0;
    m_window->GetDrawableSize(&w, &h);
    SetOutputSize((float)w, (float)h);
}

void* nGL3Renderer::GetWindowHandle()
{
    return m_window ? m_window->GetNativeHandle() : 0;
}

bool nGL3Renderer::SetupOutputWindow(void* window, nRenderOutput* output)
{
    if (!output || !window || window != GetWindowHandle()) {
        *g_log << "[!] Couldn't get a device context for rendering window.\n";
        return false;
    }
    output->window = window;
    output->deviceContext = window;
    return true;
}

void nGL3Renderer::MakeCurrent(nRenderOutput* output)
{
    bool done = m_window && (!output || output->window == m_window->GetNativeHandle()) && m_window->MakeCurrent();
    if (!done) *g_log << "[!] could not set output.\n";
    m_presentReady = m_window && m_window->HasContext();
}

void nGL3Renderer::ReleaseOutput(nRenderOutput* output)
{
    if (output) output->deviceContext = 0;
}

void nGL3Renderer::Present()
{
    if (m_engine && m_engine->GetToolMode() == ToolEdit) return;
    nPlatform::PumpMessages();
    if (m_presentReady && m_window) m_window->SwapBuffers();
}
