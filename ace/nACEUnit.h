#ifndef N_ACEUNIT_H
#define N_ACEUNIT_H

#include <cstdint>

#include "core/nList.h"
#include "core/nPrefetch.h"

// Built-in command codes; every vocabulary defines its own codes from 0 upward.
enum nACEBuiltin
{
    ACECommandNop = -1,       // "nop": waits for its duration
    ACECommandGroupEnd = -2,  // produced by the compiler for every ';', never written by name
    ACECommandLoop = -3,      // "loop": marks the first record of its group as the loop start
    ACECommandNext = -4       // "next": jumps back to the loop start and restarts every command from there
};

// One compiled command of a command list.
struct nACECommand
{
    int32_t code;         // vocabulary code; negative codes are the built-ins
    float duration;       // seconds as written, at least 0.001
    float remaining;      // seconds still to run; the duration again when a loop restarts
    float parameters[3];  // as written; the ones the command does not take are 0

    nACECommand() : code(0), duration(0.0f), remaining(0.0f), parameters{0.0f, 0.0f, 0.0f} {}
};

// The records of one command list in one block, each linked to its neighbours like a list
// node, so that running a list reads neighbouring memory and freeing it is one step.
class nACECommandList
{
public:
    typedef nListNode<nACECommand> Record;

    nACECommandList() : m_records(0), m_count(0) {}
    ~nACECommandList() { Clear(); }
    nACECommandList(const nACECommandList&) = delete;
    nACECommandList& operator=(const nACECommandList&) = delete;

    int32_t GetCount() const { return m_count; }
    Record* GetHead() const { return m_count ? m_records : 0; }
    Record* GetTail() const { return m_count ? m_records + m_count - 1 : 0; }
    void Clear();                                    // frees the block
    bool Assign(const nList<nACECommand>& records);  // a copy in list order; false (left empty) when out of memory

private:
    Record* m_records;
    int32_t m_count;
};

// Executor of command lists: every object that runs them derives from it and performs its
// vocabulary in ExecuteCommand, passing the codes it does not know to this base.
//
// Records stand in text order; a group is the run of records up to a group-end record, its
// commands run side by side and the groups one after the other. The current record is the
// first record of the group that runs next; a unit without one is done.
class nACEUnit
{
public:
    typedef nACECommandList CommandList;
    typedef nACECommandList::Record Record;

    nACEUnit();
    virtual ~nACEUnit();
    nACEUnit(const nACEUnit&) = delete;
    nACEUnit& operator=(const nACEUnit&) = delete;

    // Performs one slice (seconds) of one record. The base handles the built-ins: "next"
    // moves the current record to the loop start (none ends the list), "loop" marks the
    // current record as the loop start, and every other code uses up its time without effect.
    // False only for no record or a slice of exactly 0.
    virtual bool ExecuteCommand(nACECommand* record, float slice);

    void ResetCommandList();  // frees every record; done, no loop start
    bool IsCommandListDone() const { return m_current == 0; }

    CommandList& GetCommandList() { return m_commands; }
    const CommandList& GetCommandList() const { return m_commands; }
    Record* GetCurrentRecord() const { return m_current; }
    Record* GetLoopStart() const { return m_loopStart; }

    // Ask the cache early for what Advance reads, for walks over many units: the unit's own
    // line, then (once that is in) the record that runs next.
    void PrefetchUnit() const { nPrefetch(&m_current); }
    void PrefetchCurrentRecord() const
    {
        if (m_current) nPrefetch(m_current);
    }

private:
    friend class nACEManager;

    CommandList m_commands;
    Record* m_current;    // first record of the group that runs next; NULL when done
    Record* m_loopStart;  // where "next" jumps back to; NULL until a "loop" ran
};

#endif
