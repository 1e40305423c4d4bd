#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "core/nLog.h"
#include "core/nString.h"
#include "script/nCObject.h"
#include "script/nScriptBinding.h"
#include "script/nSquirrelVM.h"
#include "scriptapi/nScriptAPI.h"

namespace {

// (condition, text): a false condition kills the machine and dumps the call stack.
SQInteger Assert(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    bool condition;
    const char* text;
    if (!s.Args(condition, text)) return SQ_ERROR;
    if (condition)
        return s.Return();
    nSquirrelVM* vm = nSquirrelVM::FromHandle(v);
    if (vm)
        vm->Kill(ScriptKillAssertion, "Assertion failed", true);
    nString title = nString::Format("Assertion failed '%s'", text);
    ScriptDumpCallStack(v, title.GetCStr(), 0);
    return s.Return();
}

SQInteger Pow(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    float a, b;
    if (!s.Args(a, b)) return SQ_ERROR;
    return s.Return(std::pow(a, b));
}

// Remainder of truncated division; a divisor of 0 is the script's error, not the process's.
bool Remainder(ScriptStackHandler& s, SQInteger& r, SQInteger& b)
{
    SQInteger a;
    if (!s.GetInt64(1, a) || !s.GetInt64(2, b)) return false;
    if (b == 0) {
        s.Error("division by zero");
        return false;
    }
    r = (b == -1) ? 0 : a % b;  // LLONG_MIN % -1 traps
    return true;
}

SQInteger Mod(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    SQInteger r, b;
    if (!Remainder(s, r, b)) return SQ_ERROR;
    return s.Return(r);
}

SQInteger AbsMod(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    SQInteger r, b;
    if (!Remainder(s, r, b)) return SQ_ERROR;
    return s.Return(r < 0 ? r + b : r);
}

// Any kind, deleted natives included.
SQInteger ObjectIsValid(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    void* native;
    if (!s.GetObjectOrNull(1, objectTypeUndefined, &native)) return SQ_ERROR;
    return s.Return(native != 0);
}

SQInteger ObjectIsSame(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    void* a;
    void* b;
    if (!s.GetObjectOrNull(1, objectTypeUndefined, &a) || !s.GetObjectOrNull(2, objectTypeUndefined, &b)) return SQ_ERROR;
    return s.Return(a == b);
}

// Runs "command arguments" through the shell and logs its output; the exit status, -1 when
// it could not start. Blocks until the command ends.
SQInteger ShellExecute(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    const char* command;
    const char* arguments;
    if (!s.Args(command, arguments)) return SQ_ERROR;
    nString line = nString::Format("%s %s", command, arguments);
    *g_log << "[H] Execute command '" << line.GetCStr() << "'\n\n";
    FILE* pipe = popen(line.GetCStr(), "r");
    if (!pipe)
        return s.Return(-1);
    char buffer[256];
    while (std::fgets(buffer, sizeof(buffer), pipe))
        *g_log << buffer;
    if (std::feof(pipe) && buffer[0] && buffer[std::strlen(buffer) - 1] != '\n')
        *g_log << "\n";  // finish a last line without its own break
    int status = pclose(pipe);
    if (status == -1 || !WIFEXITED(status))
        return s.Return(-1);
    return s.Return((int32_t)WEXITSTATUS(status));
}

// Renames without replacing: an existing target is left alone and the result is false.
SQInteger FileRename(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    const char* from;
    const char* to;
    if (!s.Args(from, to)) return SQ_ERROR;
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return s.Return(true);
    if (errno != EINVAL && errno != ENOSYS)
        return s.Return(false);
    struct stat st;
    if (stat(to, &st) == 0)
        return s.Return(false);
    return s.Return(std::rename(from, to) == 0);
}

const ScriptFunctionDecl s_functions[] = {
    {"__Assert", Assert, ".bs"},
    {"Pow", Pow, ".ff"},
    {"Mod", Mod, ".ii"},
    {"AbsMod", AbsMod, ".ii"},
    {"ObjectIsValid", ObjectIsValid, ".x"},
    {"ObjectIsSame", ObjectIsSame, ".xx"},
    {"ShellExecute", ShellExecute, ".ss"},
    {"FileRename", FileRename, ".ss"},
    {"AIPathIsValid", ObjectIsValid, ".x"},
    {"GeometryIsValid", ObjectIsValid, ".x"},
    {"ItemIsValid", ObjectIsValid, ".x"},
    {"MetatagIsValid", ObjectIsValid, ".x"},
    {"TextureIsValid", ObjectIsValid, ".x"},
    {"WidgetIsValid", ObjectIsValid, ".x"},
    {"WindowIsValid", ObjectIsValid, ".x"},
    {0, 0, 0}};

}  // namespace

void RegisterBaseScriptAPI(HSQUIRRELVM v)
{
    ScriptRegisterFunctions(v, s_functions);
}
