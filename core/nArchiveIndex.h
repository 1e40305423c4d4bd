#ifndef N_ARCHIVEINDEX_H
#define N_ARCHIVEINDEX_H

#include <cstdint>

#include "core/nList.h"
#include "core/nString.h"

// Storage methods of an archive entry.
enum nArchiveMethod : uint8_t {
    ArchiveMethodRaw  = 0,      // data stored as is
    ArchiveMethodZlib = 1,      // data stored as one zlib stream (compress2)
};

// One entry of an archive: where its data lies in the archive file and how it is stored.
struct nArchiveEntry
{
    nString  name;              // exact, case-sensitive
    uint8_t  method = ArchiveMethodRaw;
    uint32_t offset = 0;        // file position of the entry's data
    uint32_t length = 0;        // uncompressed size L
    uint32_t compressedLength = 0; // zlib: stored size C; raw: L when scanned, 0 when written

    // Bytes the entry's data takes in the archive file.
    uint32_t GetStoredSize() const { return method == ArchiveMethodZlib ? compressedLength : length; }
};

// The entries of one archive in file order. Owns its entries.
class nArchiveIndex
{
public:
    nArchiveIndex() {}
    ~nArchiveIndex() { Clear(); }
    nArchiveIndex(const nArchiveIndex&) = delete;
    nArchiveIndex& operator=(const nArchiveIndex&) = delete;

    void           Clear();                          // deletes every entry
    bool           Add(nArchiveEntry* entry);        // appends and takes ownership; false (entry untouched) when out of memory
    bool           Remove(nArchiveEntry* entry);     // unlinks and deletes; false when not in the index
    nArchiveEntry* Find(const char* name) const;     // first entry with exactly that name, or NULL
    int32_t        GetCount() const { return m_entries.GetCount(); }
    nArchiveEntry* GetAt(int32_t index) const { return m_entries.GetAt(index); } // NULL outside 0..count-1
    nArchiveEntry* Iterate(nList<nArchiveEntry*>::Iterator& it) const { return m_entries.Iterate(it); }

    // The index as an NML file: a root "Index" with one "Entry" (ID, CompLen, Len, Offset, Method)
    // per entry. Load replaces the entries; entries that are incomplete or invalid are skipped
    // with one log line each. Save fails (logged) when a value does not fit the file's integers.
    bool           Load(const char* path);
    bool           Save(const char* path) const;

private:
    nList<nArchiveEntry*> m_entries;
};

#endif
