#include "engine/player/nPlayerApp.h"

#include <new>

#include "audio/mixer/nMixer.h"
#include "audio/openal/nALMixer.h"
#include "audio/soft/nSMixMixer.h"
#include "core/nIO.h"
#include "core/nLog.h"
#include "core/nScriptValue.h"
#include "core/nThread.h"
#include "engine/player/nEngineWiring.h"
#include "engine/player/nMemoryLayout.h"
#include "input/nInterfaceInstance.h"
#include "platform/nPlatformInput.h"
#include "render/gl/nGL3Renderer.h"
#include "render/nRenderer.h"
#include "resources/nPictureIOCodec.h"
#include "scene/nAnimationPlayer.h"
#include "scene/nCamera.h"
#include "scene/nLight.h"
#include "scene/nMotion.h"
#include "scene/nObject.h"
#include "scene/nScene.h"
#include "scriptiface/nScriptUnit.h"
#include "scriptapi/nScriptAPI.h"

namespace {

// Set by the missing-file hooks; the frame loop ends after the frame that set it.
bool g_missingResource = false;

const char* const kBootScript = "scriptlib/zib.nut";
const int32_t kOctreeThreshold = 1024;  // polygons above which a geometry gets an octree

}

nPlayerApp::nPlayerApp()
    : m_dataSource(PlayerDataSourceFileSystem),
      m_viewMode(PlayerViewModeScene),
      m_rendererId("gl2"),
      m_mixerId("al"),
      m_dataRoot("./"),
      m_inputFile("scene.nms"),
      m_startClock(0),
      m_timeToLive(0),
      m_ignoreEscape(false),
      m_ignoreBootstrap(false),
      m_ignoreMissing(false),
      m_fallbackDiskFS(false),
      m_profilerEnabled(false),
      m_safeMode(false),
      m_fullScreen(false),
      m_width(800),
      m_height(600),
      m_aspectRatio(1.0f),
      m_engine(PlayerEngineParts(m_userInterface.GetDevices())),
      m_renderer(0),
      m_mixer(0),
      m_scene(0),
      m_fileMixer(0),
      m_project(&m_engine),
      m_previousFS(0),
      m_queuedFallback(false),
      m_clock(nGetClock)
{
}

nPlayerApp::~nPlayerApp()
{
    Shutdown();
    // The IO layer must not keep pointing at the archive that dies with the application.
    if (nIO::GetCurrentFS() == &m_archive) nIO::SetCurrentFS(m_previousFS);
    if (m_queuedFallback) nIO::RemoveFallbackFS(m_previousFS);
    m_queuedFallback = false;
    nList<nVariant*>::Iterator it;
    while (nVariant* define = m_defines.Iterate(it)) delete define;
    m_defines.Clear();
}

bool nPlayerApp::IsResourceMissing()
{
    return g_missingResource;
}

void nPlayerApp::OnMissingResource(void* name)
{
    g_missingResource = true;
}

bool nPlayerApp::Init()
{
    g_missingResource = false;
    m_engine.SetHook(OrvexHookGeometryMissing, OnMissingResource);
    m_engine.SetHook(OrvexHookTextureMissing, OnMissingResource);
    m_engine.SetHook(OrvexHookSoundMissing, OnMissingResource);
    PrintBanner();
    RegisterPictureCodecs(false);
    return true;
}

void nPlayerApp::PrintBanner()
{
    struct TypeSize
    {
        const char* name;
        size_t size;
    };
    const TypeSize sceneTypes[] = {
        {"nScene", sizeof(nScene)},
        {"nMItem", sizeof(nMItem)},
        {"nMotionChannel", sizeof(nMotionChannel)},
        {"nMotion", sizeof(nMotion)},
        {"nAnimationPlayer", sizeof(nAnimationPlayer)},
        {"nMObject", sizeof(nMObject)},
        {"nMCamera", sizeof(nMCamera)},
        {"nMLight", sizeof(nMLight)},
        {"nManagerScriptUnit", sizeof(nManagerScriptUnit)},
    };
    *g_log << "Quazel stand-alone.\n";
    *g_log << "Games made with Quazel, played anywhere.\n";
    *g_log << "Version: " << nOrvex::GetVersion() << "\n";
    *g_log << "Built with Bullet Physics, Squirrel, FreeType, zlib, stb_image and stb_vorbis.\n";
    nPrintMemoryLayout(true);
    *g_log << "Scene memory layout:\n\n";
    for (const TypeSize& t : sceneTypes)
        *g_log << "    sizeof(" << t.name << ") = " << (int32_t)t.size << "\n";
    *g_log << "\n";
}

// Start-up.

bool nPlayerApp::Setup()
{
    if (!AddSearchPaths()) return false;
    if (!OpenDataSource()) return false;
    if (!CreateRenderer()) return false;
    if (!CreateMixer()) return false;
    ApplyRendererConfig();
    if (!OpenRenderer()) return false;
    if (!OpenMixer()) return false;
    OpenInputDevices();
    if (!SetupScripts()) return false;
    if (!CreateScene()) return false;
    m_startClock = m_clock();
    return true;
}

bool nPlayerApp::AddSearchPaths()
{
    for (nListNode<nString>* node = m_searchPaths.GetHead(); node; node = node->next)
        nIO::AddSearchPath(node->value.GetCStr());
    return true;
}

bool nPlayerApp::OpenDataSource()
{
    switch (m_dataSource) {
        case PlayerDataSourceFileSystem:
            nIO::AddSearchPath(m_dataRoot.GetCStr());
            return true;
        case PlayerDataSourceArchive:
            if (!m_archive.Connect(m_dataRoot.GetCStr(), 0, false, 0, false)) return false;
            m_previousFS = nIO::SetCurrentFS(&m_archive);
            if (m_fallbackDiskFS) m_queuedFallback = nIO::QueueFallbackFS(m_previousFS);
            return true;
        default:
            return true;
    }
}

bool nPlayerApp::CreateRenderer()
{
    if (m_rendererId == "none") return true;
    if (m_rendererId == "list") {
        *g_log << "Available renderer ID:\n";
        *g_log << "\n";
        *g_log << "'none'\t\t\t\t: No video output.\n";
        *g_log << "'gl2'\t\t\t\t: OpenGL 2.0 based hardware renderer.\n";
        *g_log << "\n";
        return false;
    }
    if (m_rendererId != "gl2") return false;
    nGL3Renderer* renderer = new (std::nothrow) nGL3Renderer(&m_engine, true);
    if (!renderer) return false;
    m_renderer = renderer;
    renderer->SetCleanResourceOnSetup(true);
    // Defaults of a new renderer; the configuration read later decides every one of them.
    renderer->SetControlFlag(RendererControlAmbientOcclusion, false);
    renderer->SetControlFlag(RendererControlShadowMapping | RendererControlBloom | RendererControlDepthOfField |
                                 RendererControlLinearShadow | RendererControlFramebufferAsTexture,
                             true);
    renderer->SetSystemFlag(RendererSystemOptimizeVideoRam, false);
    renderer->SetSystemFlag(RendererSystemTextureForceTrueColor, true);
    if (m_safeMode) renderer->SetSystemFlag(RendererSystemDisableShader, true);
    return true;
}

bool nPlayerApp::CreateMixer()
{
    if (m_mixerId == "none") return true;
    if (m_mixerId == "list") {
        *g_log << "Available mixer ID:\n";
        *g_log << "\n";
        *g_log << "'none'\t\t\t\t: No sound output.\n";
        *g_log << "'al'\t\t\t\t: OpenAL based hardware mixer.\n";
        *g_log << "'soft'\t\t\t\t: Platform independent software mixer.\n";
        *g_log << "'file' <output.wav>\t: Software mixer with output to file.\n";
        *g_log << "\n";
        return false;
    }
    if (m_mixerId == "al") {
        m_mixer = new (std::nothrow) nALMixer(&m_engine, true);
        return m_mixer != 0;
    }
    if (m_mixerId == "soft") {
        m_mixer = new (std::nothrow) nSMixMixer(&m_engine, true);
        return m_mixer != 0;
    }
    if (m_mixerId != "file") return false;
    nSMixMixer* mixer = new (std::nothrow) nSMixMixer(&m_engine, true);
    if (!mixer) return false;
    m_mixer = m_fileMixer = mixer;
    // A capture that cannot write its file would run without output: start-up fails instead.
    return mixer->OpenWavFile(m_mixerOutputFile.GetCStr());
}

// "engine.cfg" decides every renderer switch; safe mode then forces the shader path off, and
// the configured aspect ratio reaches whichever renderer is current.
void nPlayerApp::ApplyRendererConfig()
{
    m_engine.LoadConfig(0, &m_config);
    nRenderer* renderer = m_engine.GetRenderer();
    if (!renderer) return;
    if (m_safeMode) renderer->SetSystemFlag(RendererSystemDisableShader, true);
    renderer->SetGlobalAspectRatio(m_aspectRatio);
}

bool nPlayerApp::OpenRenderer()
{
    nRenderer* renderer = m_engine.GetRenderer();
    return renderer && renderer->Open(m_width, m_height, 32, m_fullScreen ? 1 : 0);
}

bool nPlayerApp::OpenMixer()
{
    nMixer* mixer = m_engine.GetMixer();
    return mixer && mixer->Open();
}

// Controllers and the window the mouse is measured in; without them the game still runs.
void nPlayerApp::OpenInputDevices()
{
    nRenderer* renderer = m_engine.GetRenderer();
    InitDirectInput(renderer ? renderer->GetWindowHandle() : 0);
}

bool nPlayerApp::SetupScripts()
{
    GetWindowSystemFonts().OpenWindowSystemFonts();  // without fonts text draws nothing; start-up goes on
    const bool project = m_viewMode == PlayerViewModeProject;
    if (project && !m_project.Load(m_inputFile.GetCStr())) return false;
    if (!m_project.Open(project)) return false;
    nSquirrelVM& vm = m_project.GetScriptVM();
    vm.RunFile(kBootScript, 0);
    for (nListNode<nString>* node = m_includes.GetHead(); node; node = node->next)
        vm.RunFile(node->value.GetCStr(), 0);
    nList<nVariant*>::Iterator it;
    while (nVariant* define = m_defines.Iterate(it)) {
        nScriptValue value(*define);
        vm.SetValue(define->GetName().GetCStr(), value, 0);
    }
    return true;
}

bool nPlayerApp::CreateScene()
{
    if (m_viewMode == PlayerViewModeProject) {
        m_project.Setup();
        if (m_profilerEnabled) m_project.LoadFont("fonts/arial.nml", "fonts/arial");
        return true;
    }
    if (m_viewMode != PlayerViewModeScene) return true;
    m_scene = new (std::nothrow) nScene(&m_engine, &m_project.GetScriptVM());
    if (!m_scene) {
        *g_log << "[!] Failed to create scene object.\n";
        return false;
    }
    if (!m_scene->CreatePhysicWorld()) return false;
    if (!m_scene->LoadFile(m_inputFile.GetCStr(), 0, FlagLoadAll, 0)) return false;
    m_scene->RegisterAsPropertyCallback(m_engine.GetRenderer());
    m_scene->SetScriptGlobals(0);
    m_scene->Setup(true, kOctreeThreshold);
    m_scene->Reset();
    if (m_profilerEnabled) m_scene->LoadProfilerFont("fonts/arial.nml", "fonts/arial");
    return true;
}

// The frame loop.

bool nPlayerApp::Frame()
{
    nPlatform::TakeInputSnapshot();
    const bool stop = DrawFrame();
    nRenderer* renderer = m_engine.GetRenderer();
    if (renderer) renderer->ResetStatistics();
    nSleep(1);

    if (m_project.GetScriptVM().IsKilled()) return false;
    if (g_missingResource && !m_ignoreMissing) {
        *g_log << "[!] Exiting due to missing resources.\n";
        return false;
    }
    // 64-bit ticks: neither a long limit nor a long run can overflow the comparison.
    if (m_timeToLive != 0 && (int64_t)(m_clock() - m_startClock) > (int64_t)m_timeToLive * nClockFrequency)
        return false;
    if (stop) return false;
    return PumpMessages();
}

bool nPlayerApp::DrawFrame()
{
    // The capture advances by the game's own frame time, whatever the real time is.
    if (m_fileMixer) m_fileMixer->SetFixedStep(m_engine.GetFrameTime());
    m_engine.BeginDraw(true, true);

    bool stop = false;
    nRenderer* renderer = m_engine.GetRenderer();
    if (m_viewMode == PlayerViewModeScene && m_scene) {
        m_project.UpdateScriptClock();
        m_scene->Evaluate(SceneEvaluateAll);
        m_scene->RenderSetup(SceneRenderFlagClearViewport);
        m_scene->RenderToQueue(SceneRenderFlagClearViewport);
        if (renderer) renderer->RenderQueue();
        m_scene->RenderUI(SceneRenderFlagNone);
        if (m_profilerEnabled) m_scene->DrawProfiler(0.025f, 0.05f, true, 0);
        stop = (m_scene->GetFlags() & SceneFlagQuit) != 0;
    } else if (m_viewMode == PlayerViewModeProject) {
        m_project.Evaluate(SceneEvaluateAll);
        m_project.Render(0);
        if (m_profilerEnabled) m_project.DrawProfiler();
        stop = (m_project.GetQuit() & 1) != 0;
    }

    m_engine.EndDraw(false, false, true);
    return stop;
}

bool nPlayerApp::PumpMessages()
{
    // Without a window the platform layer sees no key, so Escape reads as not held. A close
    // request is deliberately not looked at: closing the window does not end the run.
    if (!m_ignoreEscape && nPlatform::IsKeyDown(PlatformKeyEscape)) return false;
    nPlatform::PumpMessages();
    return true;
}

bool nPlayerApp::HasFailed()
{
    if (m_project.GetScriptVM().IsKilled()) return true;
    if (g_missingResource && !m_ignoreMissing) {
        *g_log << "[!] Exiting due to missing resources.\n";
        return true;
    }
    return false;
}

bool nPlayerApp::Shutdown()
{
    delete m_scene;
    m_scene = 0;
    m_project.Close(true);
    nInterfaceInstance::DeleteAll();
    m_engine.FreeResourceCaches();
    GetWindowSystemFonts().CloseWindowSystemFonts();
    if (nRenderer* renderer = m_engine.GetRenderer()) renderer->Close();
    if (nMixer* mixer = m_engine.GetMixer()) mixer->Close();
    delete m_renderer;
    m_renderer = 0;
    delete m_mixer;
    m_mixer = 0;
    m_fileMixer = 0;
    return true;
}
