#ifndef N_ARCHIVEINDEX_H
#define N_ARCHIVEINDEX_H

#include <cstdint>

#include "core/nList.h"
#include "core/nString.h"

// Storage methods of an archive entry.
enum nArchiveMethod : uint8_t
{
    ArchiveMethodRaw = 0,   // data stored as is
    ArchiveMethodZlib = 1,  // data stored as one zlib stream (compress2)
};

// One entry of an archive: where its data lies in the archive file and how it is stored.
struct nArchiveEntry
{
    nString name;  // exact, case-sensitive
    uint8_t method = ArchiveMethodRaw;
    uint32_t offset = 0;            // file position of the entry's data
    uint32_t length = 0;            // uncompressed size L
    uint32_t compressedLength = 0;  // zlib: stored size C; raw: L when scanned, 0 when written
    uint32_t nameHash = 0;          // nStringHash of the name, set by nArchiveIndex::Add

    // Bytes the entry's data takes in the archive file.
    uint32_t GetStoredSize() const { return method == ArchiveMethodZlib ? compressedLength : length; }
};

// The entries of one archive in file order. Owns its entries. Lookups by name go through a hash
// table beside the list (or walk the list when the table could not be allocated).
class nArchiveIndex
{
public:
    nArchiveIndex() : m_table(0), m_tableSize(0) {}
    ~nArchiveIndex() { Clear(); }
    nArchiveIndex(const nArchiveIndex&) = delete;
    nArchiveIndex& operator=(const nArchiveIndex&) = delete;

    void Clear();                                 // deletes every entry
    bool Add(nArchiveEntry* entry);               // appends and takes ownership (sets its name hash: the name is final); false when out of memory
    bool Remove(nArchiveEntry* entry);            // unlinks and deletes; false when not in the index
    nArchiveEntry* Find(const char* name) const;  // first entry with exactly that name, or NULL
    int32_t GetCount() const { return m_entries.GetCount(); }
    nArchiveEntry* GetAt(int32_t index) const { return m_entries.GetAt(index); }  // NULL outside 0..count-1
    nArchiveEntry* Iterate(nList<nArchiveEntry*>::Iterator& it) const { return m_entries.Iterate(it); }

    // The index as an NML file: a root "Index" with one "Entry" (ID, CompLen, Len, Offset, Method)
    // per entry. Load replaces the entries; entries that are incomplete or invalid are skipped
    // with one log line each.
    bool Load(const char* path);
    bool Save(const char* path) const;

private:
    void Rebuild(uint32_t size);        // a new table of size slots (a power of two) holding every entry
    void Insert(nArchiveEntry* entry);  // into the table, unless an entry of that name is there already

    nList<nArchiveEntry*> m_entries;
    nArchiveEntry** m_table;  // open addressing, NULL slots empty; NULL when there is no table
    uint32_t m_tableSize;     // slots; 0 without a table
};

#endif
