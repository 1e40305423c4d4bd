#include "ace/nACEUnit.h"

#include <new>

#include "core/nLog.h"

void nACECommandList::Clear()
{
    ::operator delete(m_records);
    m_records = 0;
    m_count = 0;
}

bool nACECommandList::Assign(const nList<nACECommand>& records)
{
    Clear();
    const int32_t count = records.GetCount();
    if (count == 0) return true;
    Record* block = static_cast<Record*>(::operator new(sizeof(Record) * (size_t)count, std::nothrow));
    if (!block) return false;
    int32_t i = 0;
    for (const nListNode<nACECommand>* n = records.GetHead(); n; n = n->next, ++i) {
        Record* r = new (block + i) Record(n->value);
        r->prev = i > 0 ? block + i - 1 : 0;
        r->next = i + 1 < count ? block + i + 1 : 0;
    }
    m_records = block;
    m_count = count;
    return true;
}

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
            *g_log << "[*] ACE unit is executing exec opcode (?!).\n";
            return true;
        default:
            return true;
    }
}
