#include "ace/nACEManager.h"

#include <cmath>
#include <cstring>
#include <new>

#include "core/nLog.h"
#include "core/nMLParser.h"
#include "core/nString.h"
#include "ace/nACEUnit.h"

namespace {

// Below this a record counts as finished and is skipped.
const float kFinishedTime = 0.00001f;
// The shortest duration a command can have.
const float kMinDuration = 0.001f;

}

nACEManager::nACEManager() : m_locked(false)
{
    Define("nop", ACECommandNop, 0);
    Define("loop", ACECommandLoop, 0);
    Define("next", ACECommandNext, 0);
    m_locked = true;
}

nACEManager::~nACEManager()
{
}

bool nACEManager::Define(const char* name, int32_t code, int32_t parameterCount)
{
    if (m_locked && code < 0) {
        *g_log << "[!] Negative command codes are reserved.\n";
        return false;
    }
    if (!name || !*name) {
        *g_log << "[!] Cannot define an ACE command without a name.\n";
        return false;
    }
    if (parameterCount < 0 || parameterCount > kMaxParameters) {
        *g_log << "[!] ACE compiled with " << kMaxParameters << " command parameter(s) maximum.\n";
        return false;
    }
    nACEDefine* define = new (std::nothrow) nACEDefine(name, code, parameterCount);
    if (!define) {
        *g_log << "[!] Failed to allocate new container to define ACE command '" << name << "'.\n";
        return false;
    }
    m_defines.Add(define, true, true);
    return true;
}

const nACEDefine* nACEManager::FindDefine(const char* name) const
{
    return static_cast<const nACEDefine*>(m_defines.FindById(name, false));
}

int32_t nACEManager::CompileCommandList(const char* text, nACEUnit* unit)
{
    if (!text) {
        *g_log << "[!] Cannot load a null command list.\n";
        return -1;
    }
    if (!unit) {
        *g_log << "[!] Cannot compile a command list without a unit.\n";
        return -1;
    }

    unit->ResetCommandList();
    // The records are read into a list and then copied into the unit's one block; a failed
    // list keeps the records read before the error and stays done.
    nList<nACECommand> records;
    const int32_t result = Parse(text, records);
    if (!unit->m_commands.Assign(records)) {
        *g_log << "[!] Failed to allocate ACE command record.\n";
        return -1;
    }
    if (result < 0) return -1;
    unit->m_current = unit->m_commands.GetHead();
    return unit->m_commands.GetCount();
}

int32_t nACEManager::Parse(const char* text, nList<nACECommand>& list) const
{
    const char* end = text + std::strlen(text);
    const char* p = ScanSkipBlanks(text, end);

    while (p < end) {
        nACEUnit::Record* record = list.InsertAfter(nACECommand(), 0);
        if (!record) {
            *g_log << "[!] Failed to allocate ACE command record.\n";
            return -1;
        }
        nACECommand& command = record->value;

        nString name(p, ScanIdentifierEnd(p, end, false));
        const nACEDefine* define = static_cast<const nACEDefine*>(m_defines.FindById(name, false));
        if (!define) {
            *g_log << "[!] Undefined ACE command '" << name.GetCStr() << "'.\n";
            return -1;
        }
        command.code = define->GetCode();

        p = ScanNextToken(p, end, false);
        if (p >= end) {
            *g_log << "[!] No duration for ACE command '" << name.GetCStr() << "'.\n";
            return -1;
        }
        // A '-' ends the word, so a negative duration reads as 0 and its '-' fails below.
        float duration = nStringToFloat(p, ScanIdentifierEnd(p, end, false), true);
        if (!(duration >= kMinDuration)) duration = kMinDuration;
        command.duration = duration;
        command.remaining = duration;
        p = ScanNextToken(p, end, false);

        int32_t count = 0;
        while (p < end && *p != '+' && *p != ';') {
            if (count == kMaxParameters) {
                *g_log << "[!] ACE compiled with " << kMaxParameters << " command parameter(s) maximum.\n";
                return -1;
            }
            if (*p != ',') {
                *g_log << "[!] Expected ',' in ACE list declaration.\n";
                return -1;
            }
            p = ScanSkipBlanks(p + 1, end);
            if (p >= end) {
                *g_log << "[!] Expected ACE command parameter following ','.\n";
                return -1;
            }
            command.parameters[count++] = nStringToFloat(p, ScanIdentifierEnd(p, end, true), true);
            p = ScanNextToken(p, end, true);
        }

        if (p >= end) {
            *g_log << "[!] Mangled ACE command list.\n";
            return -1;
        }
        if (count != define->GetParameterCount()) {
            *g_log << "[!] ACE command '" << name.GetCStr() << "' takes " << define->GetParameterCount()
                   << " parameter(s), found " << count << ".\n";
            return -1;
        }
        if (*p == ';') {
            nACECommand groupEnd;
            groupEnd.code = ACECommandGroupEnd;
            if (!list.InsertAfter(groupEnd, 0)) {
                *g_log << "[!] Failed to allocate ACE command record.\n";
                return -1;
            }
        }
        p = ScanSkipBlanks(p + 1, end);
    }

    return list.GetCount();
}

void nACEManager::Advance(nACEUnit* unit, float dt)
{
    if (!unit || !unit->m_current) return;
    if (!(dt > 0.0f) || std::isinf(dt)) dt = 0.0f;

    bool finished = true;
    bool jumped = false;
    nACEUnit::Record* record = unit->m_current;
    while (record) {
        nACECommand& command = record->value;
        if (command.code == ACECommandGroupEnd) {
            record = record->next;
            break;
        }
        if (command.remaining > kFinishedTime) {
            float slice = command.remaining;
            if (command.remaining > dt) {
                slice = dt;
                finished = false;
            }
            unit->ExecuteCommand(&command, slice);
            command.remaining -= slice;
            if (command.code == ACECommandNext) jumped = true;
        }
        record = record->next;
    }
    nACEUnit::Record* afterGroup = record;

    if (jumped) {
        // The current record stays where "next" put it; the loop body runs again.
        for (nACEUnit::Record* r = unit->m_loopStart; r && r != afterGroup; r = r->next)
            r->value.remaining = r->value.duration;
    } else if (finished) {
        unit->m_current = afterGroup;
    }
}
