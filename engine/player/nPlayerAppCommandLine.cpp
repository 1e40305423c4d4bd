#include "engine/player/nPlayerApp.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "core/nLog.h"

namespace {

const char* const kUsage[] = {
    "Usage: qzframework input(.nms|.ngp) <-P> <-f|-A> <-S>\n\n",
    "Basic usage:\n\n",
    "-P                 : Execute a project (default: execute scene).\n",
    "-C <config path>   : Configuration file path.\n",
    "\n",
    "Data source (default: -f ./):\n\n",
    "-f <base path>     : Input data from the file system.\n",
    "-A <archive path>  : Input data from an archive.\n",
    "\n",
    "Resource path:\n\n",
    "-S <search path>   : Additional search path.\n",
    "\n",
    "Data output (default: -r gl2 -m al):\n\n",
    "-r <ID>            : Output 3d renderer ('norvex dummy -r list' for valid IDs).\n",
    "-m <ID>            : Output audio mixer ('norvex dummy -m list' for valid IDs).\n",
    "\n",
    "Debug interface:\n\n",
    "-d <port>          : Listen for incoming debugger connection on this port.\n",
    "-dp <password>     : Password-protect the debugger interface.\n",
    "Script interface:\n\n",
    "-I <include>       : Include a script.\n",
    "-Ds <var> <string> : Define and initialize a variable.\n",
    "-Di <var> <int>    : Define and initialize a variable.\n",
    "-Df <var> <float>  : Define and initialize a variable.\n",
    "\n",
    "Program flags:\n\n",
    "-ignore_esc        : Do not exit on escape pressed.\n",
    "-ignore_missing    : Do not exit on missing resource.\n",
    "-ignore_bootstrap  : Ignore the bootstrap file.\n",
    "\n",
    "-safe_mode         : Enable renderer/mixer safe-mode.\n",
    "-fallback_disk_fs  : Fall back to the disk file system.\n",
    "\n",
    "-enable_profiler   : Enable on-screen profiler.\n",
    "\n",
    "-log_level <mask>  : Set the engine log level mask (eg. -log_level !S*).\n",
    "                     n: None\n",
    "                     s: Standard\n",
    "                     H: Header\n",
    "                     *: Warning\n",
    "                     !: Error\n",
    "                     S: Script\n",
    "                     a: All (default)\n",
    "-time_live <sec>   : Set a run time in seconds.\n",
    "\n",
};


bool Fail(const char* message)
{
    *g_log << "[!] " << message;
    return false;
}

}

void nPlayerApp::PrintUsage()
{
    for (const char* line : kUsage) *g_log << line;
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
        const bool hasNext = i + 1 < argc;
        if (!strcmp(arg, "-P")) {
            m_viewMode = PlayerViewModeProject;
        } else if (!strcmp(arg, "-time_live")) {
            if (!hasNext) return Fail("-time_live: Missing mask.\n");
            m_timeToLive = atoi(argv[++i]);
        } else if (!strcmp(arg, "-log_level")) {
            if (!hasNext) return Fail("-log_level: Missing mask.\n");
            g_log->SetMask(nLogMaskFromLetters(argv[++i]));
        } else if (!strcmp(arg, "-ignore_bootstrap")) {
            m_ignoreBootstrap = true;
        } else if (!strcmp(arg, "-ignore_esc")) {
            m_ignoreEscape = true;
        } else if (!strcmp(arg, "-ignore_missing")) {
            m_ignoreMissing = true;
        } else if (!strcmp(arg, "-fallback_disk_fs")) {
            m_fallbackDiskFS = true;
        } else if (!strcmp(arg, "-safe_mode")) {
            m_safeMode = true;
        } else if (!strcmp(arg, "-enable_profiler")) {
            m_profilerEnabled = true;
        } else if (!strcmp(arg, "-C")) {
            if (!hasNext) return Fail("-C: Missing configuration file path.\n");
            m_configPath.Set(argv[++i]);
        } else if (!strcmp(arg, "-f")) {
            if (!hasNext) return Fail("-f: Missing root path.\n");
            m_dataRoot.Set(argv[++i]);
        } else if (!strcmp(arg, "-A")) {
            if (!hasNext) return Fail("-A: Missing archive path.\n");
            m_dataRoot.Set(argv[++i]);
            m_dataSource = PlayerDataSourceArchive;
        } else if (!strcmp(arg, "-r")) {
            if (!hasNext) return Fail("-r: Missing renderer id.\n");
            m_rendererId.Set(argv[++i]);
        } else if (!strcmp(arg, "-m")) {
            if (!hasNext) return Fail("-m: Missing mixer id.\n");
            m_mixerId.Set(argv[++i]);
            if (m_mixerId == "file") {
                if (i + 1 >= argc) return Fail("-m: Missing mixer output file.\n");
                m_mixerOutputFile.Set(argv[++i]);
            }
        } else if (!strcmp(arg, "-S")) {
            if (!hasNext) return Fail("-S: Missing search path.\n");
            if (!m_searchPaths.Add(nString(argv[++i]), true, true))
                return Fail("Failed to allocate search path structure.\n");
        } else if (!strcmp(arg, "-I")) {
            if (!hasNext) return Fail("-I: Missing include path.\n");
            if (!m_includes.Add(nString(argv[++i]), true, true))
                return Fail("Failed to allocate include structure.\n");
        } else if (!strcmp(arg, "-Ds") || !strcmp(arg, "-Di") || !strcmp(arg, "-Df")) {
            const char kind = arg[2];
            if (i + 2 >= argc) {
                if (kind == 's') return Fail("-Ds: Incomplete key-value pair. (eg. -Ds my_var \"String Value\")\n");
                if (kind == 'i') return Fail("-Di: Incomplete key-value pair. (eg. -Di my_var 5)\n");
                return Fail("-Df: Incomplete key-value pair. (eg. -Df my_var 5.5)\n");
            }
            const char* name = argv[i + 1];
            const char* value = argv[i + 2];
            i += 2;
            nVariant* define;
            if (kind == 's') define = new (std::nothrow) nVariant(name, value);
            else if (kind == 'i') define = new (std::nothrow) nVariant(name, (int32_t)atoi(value));
            else define = new (std::nothrow) nVariant(name, (float)atof(value));
            if (!define || !m_defines.InsertAfter(define, 0)) {
                delete define;
                return Fail("Failed to allocate define structure.\n");
            }
        } else if (!ParseExtraOption(argc, argv, i)) {
            *g_log << "[!] " << "Unknown command line parameter '" << arg << "'\n";
            return false;
        }
    }
    return true;
}
