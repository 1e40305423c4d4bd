#include "engine/player/nPlayerApp.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "core/nLog.h"

namespace {

bool Fail(const char* message)
{
    *g_log << "[!] " << message;
    return false;
}

// -1 after logging message: how a reader says that it failed.
int Failed(const char* message)
{
    Fail(message);
    return -1;
}

// A define (-Ds, -Di, -Df) of the kind given; NULL when out of memory.
nVariant* NewDefine(char kind, const char* name, const char* value)
{
    if (kind == 's') return new (std::nothrow) nVariant(name, value);
    if (kind == 'i') return new (std::nothrow) nVariant(name, (int32_t)atoi(value));
    return new (std::nothrow) nVariant(name, (float)atof(value));
}

}

// One row of the command line: the usage text it prints (the headings and blank lines before
// the option's own line included) and, for an option, its switch, how many values must follow
// (else the missing line is the error) and what reading it does. A reader gets the values that
// follow (left of them) and gives how many it used, or -1 after logging its error.
struct nPlayerApp::CommandLineOption
{
    const char* usage;
    const char* name;  // NULL: a row of text only
    int values;
    const char* missing;
    int (*read)(nPlayerApp& app, char** values, int left);
};

const nPlayerApp::CommandLineOption* nPlayerApp::CommandLineOptions()
{
    typedef nPlayerApp A;
    static const CommandLineOption kOptions[] = {
        {"Usage: qzframework input(.nms|.ngp) <-P> <-f|-A> <-S>\n\n"
         "Basic usage:\n\n",
         0, 0, 0, 0},
        {"-P                 : Execute a project (default: execute scene).\n", "-P", 0, 0,
         [](A& a, char**, int) { a.m_viewMode = PlayerViewModeProject; return 0; }},
        {"-C <config path>   : Configuration file path.\n", "-C", 1, "-C: Missing configuration file path.\n",
         [](A& a, char** v, int) { a.m_configPath.Set(v[0]); return 1; }},
        {"\n"
         "Data source (default: -f ./):\n\n"
         "-f <base path>     : Input data from the file system.\n",
         "-f", 1, "-f: Missing root path.\n",
         [](A& a, char** v, int) { a.m_dataRoot.Set(v[0]); return 1; }},
        {"-A <archive path>  : Input data from an archive.\n", "-A", 1, "-A: Missing archive path.\n",
         [](A& a, char** v, int) {
             a.m_dataRoot.Set(v[0]);
             a.m_dataSource = PlayerDataSourceArchive;
             return 1;
         }},
        {"\n"
         "Resource path:\n\n"
         "-S <search path>   : Additional search path.\n",
         "-S", 1, "-S: Missing search path.\n",
         [](A& a, char** v, int) {
             return a.m_searchPaths.Add(nString(v[0]), true, true) ? 1 : Failed("Failed to allocate search path structure.\n");
         }},
        {"\n"
         "Data output (default: -r gl2 -m al):\n\n"
         "-r <ID>            : Output 3d renderer ('norvex dummy -r list' for valid IDs).\n",
         "-r", 1, "-r: Missing renderer id.\n",
         [](A& a, char** v, int) { a.m_rendererId.Set(v[0]); return 1; }},
        {"-m <ID>            : Output audio mixer ('norvex dummy -m list' for valid IDs).\n", "-m", 1, "-m: Missing mixer id.\n",
         [](A& a, char** v, int left) {
             a.m_mixerId.Set(v[0]);
             if (!(a.m_mixerId == "file")) return 1;
             if (left < 2) return Failed("-m: Missing mixer output file.\n");
             a.m_mixerOutputFile.Set(v[1]);
             return 2;
         }},
        // Listed, not taken: the debugger options read as unknown parameters.
        {"\n"
         "Debug interface:\n\n"
         "-d <port>          : Listen for incoming debugger connection on this port.\n"
         "-dp <password>     : Password-protect the debugger interface.\n",
         0, 0, 0, 0},
        {"Script interface:\n\n"
         "-I <include>       : Include a script.\n",
         "-I", 1, "-I: Missing include path.\n",
         [](A& a, char** v, int) {
             return a.m_includes.Add(nString(v[0]), true, true) ? 1 : Failed("Failed to allocate include structure.\n");
         }},
        {"-Ds <var> <string> : Define and initialize a variable.\n", "-Ds", 2,
         "-Ds: Incomplete key-value pair. (eg. -Ds my_var \"String Value\")\n",
         [](A& a, char** v, int) { return a.AddDefine('s', v[0], v[1]); }},
        {"-Di <var> <int>    : Define and initialize a variable.\n", "-Di", 2,
         "-Di: Incomplete key-value pair. (eg. -Di my_var 5)\n",
         [](A& a, char** v, int) { return a.AddDefine('i', v[0], v[1]); }},
        {"-Df <var> <float>  : Define and initialize a variable.\n", "-Df", 2,
         "-Df: Incomplete key-value pair. (eg. -Df my_var 5.5)\n",
         [](A& a, char** v, int) { return a.AddDefine('f', v[0], v[1]); }},
        {"\n"
         "Program flags:\n\n"
         "-ignore_esc        : Do not exit on escape pressed.\n",
         "-ignore_esc", 0, 0,
         [](A& a, char**, int) { a.m_ignoreEscape = true; return 0; }},
        {"-ignore_missing    : Do not exit on missing resource.\n", "-ignore_missing", 0, 0,
         [](A& a, char**, int) { a.m_ignoreMissing = true; return 0; }},
        {"-ignore_bootstrap  : Ignore the bootstrap file.\n", "-ignore_bootstrap", 0, 0,
         [](A& a, char**, int) { a.m_ignoreBootstrap = true; return 0; }},
        {"\n"
         "-safe_mode         : Enable renderer/mixer safe-mode.\n",
         "-safe_mode", 0, 0,
         [](A& a, char**, int) { a.m_safeMode = true; return 0; }},
        {"-fallback_disk_fs  : Fall back to the disk file system.\n", "-fallback_disk_fs", 0, 0,
         [](A& a, char**, int) { a.m_fallbackDiskFS = true; return 0; }},
        {"\n"
         "-enable_profiler   : Enable on-screen profiler.\n",
         "-enable_profiler", 0, 0,
         [](A& a, char**, int) { a.m_profilerEnabled = true; return 0; }},
        {"\n"
         "-log_level <mask>  : Set the engine log level mask (eg. -log_level !S*).\n"
         "                     n: None\n"
         "                     s: Standard\n"
         "                     H: Header\n"
         "                     *: Warning\n"
         "                     !: Error\n"
         "                     S: Script\n"
         "                     a: All (default)\n",
         "-log_level", 1, "-log_level: Missing mask.\n",
         [](A&, char** v, int) { g_log->SetMask(nLogMaskFromLetters(v[0])); return 1; }},
        {"-time_live <sec>   : Set a run time in seconds.\n"
         "\n",
         "-time_live", 1, "-time_live: Missing mask.\n",
         [](A& a, char** v, int) { a.m_timeToLive = atoi(v[0]); return 1; }},
        {0, 0, 0, 0, 0},
    };
    return kOptions;
}

int nPlayerApp::AddDefine(char kind, const char* name, const char* value)
{
    nVariant* define = NewDefine(kind, name, value);
    if (define && m_defines.InsertAfter(define, 0)) return 2;
    delete define;
    return Failed("Failed to allocate define structure.\n");
}

void nPlayerApp::PrintUsage()
{
    for (const CommandLineOption* row = CommandLineOptions(); row->usage; ++row) *g_log << row->usage;
    PrintExtraUsage();
}

bool nPlayerApp::ParseExtraOption(int argc, char** argv, int index)
{
    return false;
}

bool nPlayerApp::ParseCommandLine(int argc, char** argv)
{
    if (argc < 2) {
        if (ReadBootstrap()) return true;
        PrintUsage();
        return false;
    }

    m_inputFile.Set(argv[1]);
    for (int i = 2; i < argc; ++i) {
        const char* arg = argv[i];
        const CommandLineOption* option = CommandLineOptions();
        while (option->usage && !(option->name && !strcmp(arg, option->name))) ++option;
        if (!option->usage) {
            if (ParseExtraOption(argc, argv, i)) continue;
            *g_log << "[!] Unknown command line parameter '" << arg << "'\n";
            return false;
        }
        const int left = argc - i - 1;
        if (left < option->values) return Fail(option->missing);
        const int used = option->read(*this, argv + i + 1, left);
        if (used < 0) return false;
        i += used;
    }
    return true;
}
