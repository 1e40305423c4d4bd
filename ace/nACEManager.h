#ifndef N_ACEMANAGER_H
#define N_ACEMANAGER_H

#include <cstdint>

#include "core/nLinkedList.h"
#include "core/nList.h"

class nACEUnit;
struct nACECommand;

// One vocabulary entry; its id is the command name.
class nACEDefine : public nLinkedListEntryId
{
public:
    nACEDefine(const char* name, int32_t code, int32_t parameterCount)
        : nLinkedListEntryId(name), m_code(code), m_parameterCount(parameterCount) {}

    int32_t GetCode() const { return m_code; }
    int32_t GetParameterCount() const { return m_parameterCount; }  // 0 to 3

private:
    int32_t m_code;
    int32_t m_parameterCount;
};

// The vocabulary of a family of command-list executors, the compiler from text to command
// records and the timed execution step.
//
// Text: commands "name duration[, p1[, p2[, p3]]]" each ended by '+' (the next command runs
// in the same group) or ';' (the group ends). Blanks and // or /* */ comments between tokens
// are skipped; numbers are read with ',' accepted as the decimal separator inside a word.
class nACEManager
{
public:
    static const int32_t kMaxParameters = 3;

    nACEManager();  // defines "nop" -1, "loop" -3, "next" -4, then locks the negative codes
    ~nACEManager();
    nACEManager(const nACEManager&) = delete;
    nACEManager& operator=(const nACEManager&) = delete;

    // Appends an entry; the first definition of a name wins at lookup. False (logged) for a
    // negative code once locked, a parameter count outside 0..3, or no memory.
    bool Define(const char* name, int32_t code, int32_t parameterCount);

    // Replaces the unit's list with the compiled text. Returns the number of records made
    // (group ends included), or -1 after one error line; a failed list leaves the unit done.
    int32_t CompileCommandList(const char* text, nACEUnit* unit);

    // Runs the unit's current group for dt seconds (a negative or non-finite dt counts as 0).
    // A group finishes when none of its commands had more time left than dt; the time left
    // over in that call is not carried into the next group.
    static void Advance(nACEUnit* unit, float dt);

    const nACEDefine* FindDefine(const char* name) const;  // first entry of that name, or NULL

private:
    int32_t Parse(const char* text, nList<nACECommand>& list) const;  // records appended; their count, or -1 (logged)

    bool m_locked;
    nLinkedListId m_defines;  // owned, in definition order
};

#endif
