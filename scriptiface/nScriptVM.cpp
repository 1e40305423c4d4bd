#include "scriptiface/nScriptVM.h"

#include "core/nLog.h"

nScriptVM::nScriptVM(nOrvex* engine)
    : m_engine(engine), m_killed(false), m_killCode(0), m_errorLine(0)
{
}

nScriptVM::~nScriptVM()
{
}

void nScriptVM::SetErrorLocation(const char* source, int32_t line)
{
    m_errorSource.Set(source);
    m_errorLine = line;
}

void nScriptVM::Kill(int32_t code, const char* reason, bool with_location)
{
    if (m_killed)
        return;
    m_killed = true;
    m_killCode = code;
    m_killReason.Set(reason);
    *g_log << "[!] Killing VM with reason '" << (reason ? reason : "") << "'.\n";
}
