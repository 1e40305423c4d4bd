#ifndef N_IOARCHIVEFS_H
#define N_IOARCHIVEFS_H
// nIOArchiveFS: the archive file system ("Archive", type id 75), the entries of one nArchive read
// by name through the IO layer.
//
// Connected for reading, a path opens the entry of exactly that name. A zlib entry is inflated
// whole when it is opened; a raw entry is read from the archive file on each Read, under the
// archive's lock, so handles of one archive may be read on several threads at once (each handle
// by one thread at a time).
//
// Connected for writing, a handle opened for writing becomes one zlib entry (level 6) on its first
// Write; the file system does not stream, so a second Write on the same handle is refused.

#include <cstdint>

#include "core/nArchive.h"
#include "core/nIOBaseFS.h"

class nIOFile;

class nIOArchiveHandle : public nIOHandle
{
public:
    nIOArchiveHandle(const char* name, nArchiveEntry* entry, bool writable)
        : nIOHandle(name), m_entry(entry), m_position(0), m_buffer(0), m_writable(writable) {}
    ~nIOArchiveHandle() override { delete[] m_buffer; }

    nArchiveEntry* m_entry;  // NULL for a write handle before its first write
    uint32_t m_position;     // 0..length
    uint8_t* m_buffer;       // zlib entries: the inflated data (length bytes), owned
    bool m_writable;         // opened for writing
};

class nIOArchiveFS : public nIOBaseFS
{
public:
    nIOArchiveFS() : m_writeMode(false) {}
    ~nIOArchiveFS() override;  // closes every handle and the archive

    // Closes every handle and the archive, then opens the archive for writing or for reading
    // (with its index file when indexPath is not NULL). True when the archive opened.
    bool Connect(const char* path, const char* indexPath, bool writeMode, nIOFile* userStream,
                 bool verbose);
    bool Disconnect();                 // closes every handle and the archive; true
    bool SaveIndex(const char* path);  // the archive's index as an NML index file

    nArchive& GetArchive() { return m_archive; }
    bool IsWriteMode() const { return m_writeMode; }

    const char* GetName() const override { return "Archive"; }
    int32_t GetTypeId() const override { return 75; }
    // Reading needs a read connection and an entry of that name (NULL without a message when there
    // is none); writing needs a write connection. Append is not supported.
    nIOHandle* Open(const char* path, bool read, bool write, bool append) override;
    int32_t Read(nIOHandle* handle, void* buffer, int32_t length) override;
    int32_t Write(nIOHandle* handle, const void* buffer, int32_t length) override;  // first write only
    bool Exists(const char* path) override;                                         // the index holds the name
    int32_t GetSize(nIOHandle* handle) override;                                    // the entry's length; 0 before a write handle's first write
    bool Seek(nIOHandle* handle, int32_t offset, int32_t whence) override;          // only to 0..length; other whence values do not move
    int32_t Rewind(nIOHandle* handle) override;
    int32_t Tell(nIOHandle* handle) override;
    bool Close(nIOHandle* handle) override;

private:
    nArchive m_archive;
    bool m_writeMode;  // from the last successful Connect
};

#endif
