#include "scene/ace/nACEUnit.h"

#include "core/nLog.h"

nACEUnit::nACEUnit() : m_current(0), m_loopStart(0)
{
}

nACEUnit::~nACEUnit()
{
}

void nACEUnit::ResetCommandList()
{
    m_commands.Clear();
    m_current = 0;
    m_loopStart = 0;
}

bool nACEUnit::ExecuteCommand(nACECommand* record, float slice)
{
    if (!record || slice == 0.0f) return false;

    switch (record->code) {
    case ACECommandNext:
        record->remaining = 0.0f;
        m_current = m_loopStart;
        return true;
    case ACECommandLoop:
        record->remaining = 0.0f;
        m_loopStart = m_current;
        return true;
    case ACECommandGroupEnd:
        *g_log << "[*] " << "ACE unit is executing exec opcode (?!).\n";
        return true;
    default:
        return true;
    }
}
