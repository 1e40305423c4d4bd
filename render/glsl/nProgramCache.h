#ifndef N_PROGRAMCACHE_H
#define N_PROGRAMCACHE_H

// The programs compiled from render maps, one table per draw pass, found by the signature the
// generator wrote: materials whose graphs differ only in values share one program per pass.
// The cache does not own the programs; Clear hands each to the caller's release function.
//
// Each table is open addressing over a power-of-two array of {hash, signature, program}, kept at
// most half full; a lookup hashes the signature once and compares texts only on equal hashes.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "render/glsl/GL3_ShaderGenerator.h"

template<class Program>
class nProgramCache
{
public:
    nProgramCache() {}
    nProgramCache(const nProgramCache&) = delete;
    nProgramCache& operator=(const nProgramCache&) = delete;

    // The program stored for signature in pass; NULL when none (or pass outside 0..5).
    Program* Find(int pass, std::string_view signature) const
    {
        if (!IsPass(pass) || m_tables[pass].slots.empty())
            return 0;
        const Table& table = m_tables[pass];
        const size_t hash = Hash(signature);
        for (size_t i = hash & table.mask;; i = (i + 1) & table.mask) {
            const Slot& slot = table.slots[i];
            if (!slot.program)
                return 0;
            if (slot.hash == hash && slot.signature == signature)
                return slot.program;
        }
    }

    // Stores program under signature in pass; false for NULL, a pass outside 0..5 or a
    // signature already stored (the first program stays).
    bool Add(int pass, std::string_view signature, Program* program)
    {
        if (!program || !IsPass(pass) || Find(pass, signature))
            return false;
        Table& table = m_tables[pass];
        if ((table.count + 1) * 2 > table.slots.size())
            Grow(table);
        Insert(table, Hash(signature), std::string(signature), program);
        ++table.count;
        return true;
    }

    size_t GetCount(int pass) const { return IsPass(pass) ? m_tables[pass].count : 0; }

    // Empties every table, handing each program to release (when given) once.
    void Clear(void (*release)(Program*))
    {
        for (Table& table : m_tables) {
            for (Slot& slot : table.slots)
                if (slot.program && release)
                    release(slot.program);
            table = Table();
        }
    }

private:
    struct Slot
    {
        size_t hash = 0;
        std::string signature;
        Program* program = 0;  // NULL: free slot
    };
    struct Table
    {
        std::vector<Slot> slots;
        size_t mask = 0;
        size_t count = 0;
    };

    static bool IsPass(int pass) { return pass >= 0 && pass < GL3PassCount; }
    static size_t Hash(std::string_view signature) { return std::hash<std::string_view>()(signature); }

    static void Insert(Table& table, size_t hash, std::string&& signature, Program* program)
    {
        size_t i = hash & table.mask;
        while (table.slots[i].program)
            i = (i + 1) & table.mask;
        table.slots[i].hash = hash;
        table.slots[i].signature = std::move(signature);
        table.slots[i].program = program;
    }

    static void Grow(Table& table)
    {
        std::vector<Slot> old;
        old.swap(table.slots);
        const size_t size = old.empty() ? 16 : old.size() * 2;
        table.slots.resize(size);
        table.mask = size - 1;
        for (Slot& slot : old)
            if (slot.program)
                Insert(table, slot.hash, std::move(slot.signature), slot.program);
    }

    Table m_tables[GL3PassCount];
};

#endif
