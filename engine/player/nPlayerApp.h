#ifndef N_PLAYERAPP_H
#define N_PLAYERAPP_H

#include <cstdint>

#include "core/nClock.h"
#include "core/nIOArchiveFS.h"
#include "core/nList.h"
#include "core/nMetaFile.h"
#include "core/nString.h"
#include "core/nVariant.h"
#include "hub/nOrvex.h"
#include "engine/nProject.h"
#include "script/nSquirrelVM.h"
#include "engine/player/nPlayerUserInterface.h"
#include "ui/nWindowSystemFont.h"

class nRenderer;
class nMixer;
class nSMixMixer;
class nScene;
class nIOBaseFS;

// Where the game's files come from.
enum nPlayerDataSource
{
    PlayerDataSourceFileSystem = 0,  // the data root is a directory on the search-path list
    PlayerDataSourceArchive = 1      // the data root is an archive that becomes the current file system
};

// What the input file is.
enum nPlayerViewMode
{
    PlayerViewModeScene = 0,   // one 3D scene file
    PlayerViewModeProject = 1  // a project file
};

// The player application: command line or "bootstrap.txt", "engine.cfg", start-up of every
// subsystem in a fixed order, the frame loop and shutdown. main builds exactly one on its
// stack. Main thread only.
//
// Exit codes (decided by main): 1 the command line or the bootstrap failed, 2 start-up failed,
// 3 after the loop when the script machine was killed or a resource was missing (unless
// ignore-missing), else 0.
class nPlayerApp
{
public:
    typedef nClockTicks (*ClockFunc)();  // the clock of the time-to-live test

    nPlayerApp();           // defaults; the engine of the player's parts (nEngineWiring.h), then the project on it
    virtual ~nPlayerApp();  // Shutdown again (harmless), then everything owned

    bool Init();                                   // hooks 0, 1 and 3, banner, picture codecs; true
    bool ParseCommandLine(int argc, char** argv);  // false: one "[!] " line, or the usage without arguments and bootstrap
    void PrintUsage();                             // the usage text, then PrintExtraUsage
    bool ReadBootstrap();                          // "bootstrap.txt" from the disk, else from "resource.qza"
    bool ReadConfigFile(const char* path);         // "engine.cfg" into the configuration tree; false when it could not be loaded
    bool Setup();                                  // the start-up sequence; false ends the program with code 2
    bool Frame();                                  // one frame: the input snapshot, DrawFrame, then the end-of-frame steps; false ends the loop
    bool DrawFrame();                              // evaluates and draws one frame, up to the end of the draw bracket; true when a script ended the scene or project
    bool HasFailed();                              // the script machine was killed, or a resource was missing
    bool Shutdown();                               // scene, scripts, caches, devices; true; safe to repeat

    // Overridable steps, for derived players.
    virtual bool OpenRenderer();                                      // the current renderer opens (width, height, 32, full screen)
    virtual bool OpenMixer();                                         // the current mixer opens its device
    virtual bool PumpMessages();                                      // false when Escape is held (unless ignored)
    virtual bool ParseExtraOption(int argc, char** argv, int index);  // an unrecognised argument; false here
    virtual void PrintExtraUsage() {}                                 // appended to the usage text

    // State, for the start-up steps, derived players and tests.
    nOrvex& GetEngine() { return m_engine; }
    nProject& GetProject() { return m_project; }
    nSquirrelVM& GetScriptVM() { return m_project.GetScriptVM(); }  // the one script machine
    nMetaFile& GetConfigTree() { return m_config; }
    nWindowSystemFonts& GetWindowSystemFonts() { return m_userInterface.GetFonts(); }  // open from SetupScripts to Shutdown
    nScene* GetScene() const { return m_scene; }
    int32_t GetDataSource() const { return m_dataSource; }
    int32_t GetViewMode() const { return m_viewMode; }
    const nString& GetRendererId() const { return m_rendererId; }
    const nString& GetMixerId() const { return m_mixerId; }
    const nString& GetMixerOutputFile() const { return m_mixerOutputFile; }
    const nString& GetDataRoot() const { return m_dataRoot; }
    const nString& GetInputFile() const { return m_inputFile; }
    const nString& GetConfigPath() const { return m_configPath; }
    int32_t GetTimeToLive() const { return m_timeToLive; }
    bool GetIgnoreEscape() const { return m_ignoreEscape; }
    bool GetIgnoreBootstrap() const { return m_ignoreBootstrap; }
    bool GetIgnoreMissing() const { return m_ignoreMissing; }
    bool GetFallbackDiskFS() const { return m_fallbackDiskFS; }
    bool GetProfilerEnabled() const { return m_profilerEnabled; }
    bool GetSafeMode() const { return m_safeMode; }
    bool GetFullScreen() const { return m_fullScreen; }
    int32_t GetWidth() const { return m_width; }
    int32_t GetHeight() const { return m_height; }
    float GetAspectRatio() const { return m_aspectRatio; }
    const nList<nVariant*>& GetDefines() const { return m_defines; }  // owned, command-line order
    const nList<nString>& GetIncludes() const { return m_includes; }
    const nList<nString>& GetSearchPaths() const { return m_searchPaths; }
    void SetClock(ClockFunc clock) { m_clock = clock ? clock : nGetClock; }
    nClockTicks GetStartClock() const { return m_startClock; }

    static bool IsResourceMissing();            // the process-wide missing-resource flag
    static void OnMissingResource(void* name);  // the hook of missing files: sets the flag

protected:
    // The start-up steps, in their order.
    bool AddSearchPaths();
    bool OpenDataSource();
    bool CreateRenderer();
    bool CreateMixer();
    void ApplyRendererConfig();  // LoadConfig, then safe mode and the aspect ratio
    void OpenInputDevices();     // controllers and the mouse's window; never stops the start-up
    bool SetupScripts();
    bool CreateScene();

    void PrintBanner();

    struct CommandLineOption;
    static const CommandLineOption* CommandLineOptions();           // the parser's and the usage text's table; ends with a row without text
    int AddDefine(char kind, const char* name, const char* value);  // -Ds, -Di, -Df ('s', 'i', 'f'): 2, or -1 after logging

    nIOArchiveFS m_archive;        // the data source when it is an archive
    nMetaFile m_config;            // "engine.cfg"
    nList<nVariant*> m_defines;    // -Ds, -Di, -Df; owned
    nList<nString> m_includes;     // -I
    nList<nString> m_searchPaths;  // -S
    int32_t m_dataSource;
    int32_t m_viewMode;
    nString m_rendererId;
    nString m_mixerId;
    nString m_mixerOutputFile;
    nString m_dataRoot;
    nString m_inputFile;
    nString m_configPath;
    nClockTicks m_startClock;  // when start-up completed
    int32_t m_timeToLive;      // seconds, 0 = no limit
    bool m_ignoreEscape;
    bool m_ignoreBootstrap;  // set by -ignore_bootstrap; nothing reads it
    bool m_ignoreMissing;
    bool m_fallbackDiskFS;
    bool m_profilerEnabled;
    bool m_safeMode;
    bool m_fullScreen;
    int32_t m_width;
    int32_t m_height;
    float m_aspectRatio;
    nPlayerUserInterface m_userInterface;  // lent to the engine's 2D scenes: made before it, gone after it
    nOrvex m_engine;
    nRenderer* m_renderer;    // owned
    nMixer* m_mixer;          // owned
    nScene* m_scene;          // owned, scene mode only
    nSMixMixer* m_fileMixer;  // the owned mixer when it writes a file
    nProject m_project;       // owns the one script machine
    nIOBaseFS* m_previousFS;  // the file system current before the archive
    bool m_queuedFallback;    // the previous file system was queued as fallback
    ClockFunc m_clock;
};

#endif
