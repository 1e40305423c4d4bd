#include <cstdio>
#include <cstring>

#include "engine/player/nPlayerApp.h"

namespace {

// argv[0] up to and including its last '/', ':' or '\'; empty without a separator.
nString ExecutableDirectory(const char* argv0)
{
    const char* end = 0;
    for (const char* p = argv0; p && *p; ++p)
        if (*p == '/' || *p == ':' || *p == '\\') end = p + 1;
    return end ? nString(argv0, end) : nString("");
}

int Run(int argc, char** argv)
{
    nString directory = ExecutableDirectory(argc > 0 ? argv[0] : 0);
    nPlayerApp app;
    app.Init();
    if (!app.ParseCommandLine(argc, argv)) return 1;

    nString configPath = app.GetConfigPath();
    if (configPath.IsEmpty())
        configPath = directory.IsEmpty() ? nString("./engine.cfg") : nString::Format("%sengine.cfg", directory.GetCStr());
    app.ReadConfigFile(configPath.GetCStr());

    if (!app.Setup()) return 2;
    while (app.Frame()) {}
    if (app.HasFailed()) return 3;
    app.Shutdown();
    return 0;
}

}

int main(int argc, char** argv)
{
    return Run(argc, argv);
}
