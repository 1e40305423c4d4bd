#ifndef N_IODISKFS_H
#define N_IODISKFS_H
// nIODiskFS: the disk file system ("Disc", type id 15) over stdio and the directory functions.
//
// Paths keep the Windows conventions that game data is written with: '\' separates components as
// '/' does, and a name that does not exist with its exact case is looked up ignoring ASCII case,
// component by component (the result is remembered). This holds for reading, writing, existence
// tests, directory changes and listings.
//
// Open modes: append (whatever else is asked) "a+"; read and write "r+b" (an existing file,
// not truncated); read "rb"; write "wb". Directories cannot be opened and do not exist as files.

#include <cstdio>

#include "core/nIOBaseFS.h"

class nIODiskHandle : public nIOHandle
{
public:
    nIODiskHandle(const char* name, FILE* stream, bool writes) : nIOHandle(name), m_stream(stream), m_writes(writes) {}

    FILE* m_stream;  // owned; closed by nIODiskFS::Close
    bool m_writes;   // opened for writing or appending: bytes may wait in the stream's buffer
};

struct nIODiskCaseCache;

class nIODiskFS : public nIOBaseFS
{
public:
    nIODiskFS();
    ~nIODiskFS() override;  // closes every open handle

    const char* GetName() const override { return "Disc"; }
    int32_t GetTypeId() const override { return 15; }
    bool ChangeDir(const char* path) override;  // the process's current directory
    // Empties names (deleting its strings), then appends a new string per entry of the pattern's
    // directory whose name matches the pattern's last component with Windows wildcards ('*', '?',
    // case-insensitive, "*.*" and "x.*" also match names without a dot), "." and ".." included,
    // in byte order. False when nothing matches.
    bool ListDir(const char* pattern, nList<nString*>* names) override;
    nIOHandle* Open(const char* path, bool read, bool write, bool append) override;
    int32_t Read(nIOHandle* handle, void* buffer, int32_t length) override;
    int32_t Write(nIOHandle* handle, const void* buffer, int32_t length) override;
    bool Exists(const char* path) override;  // a regular file
    int32_t GetSize(nIOHandle* handle) override;
    bool Seek(nIOHandle* handle, int32_t offset, int32_t whence) override;  // may move past the end (a write extends the file)
    int32_t Rewind(nIOHandle* handle) override;
    int32_t Tell(nIOHandle* handle) override;
    bool Close(nIOHandle* handle) override;  // true when the stream closed cleanly (buffered data written)

private:
    nIODiskCaseCache* m_cases;  // requested name -> name on disk
};

#endif
