#ifndef N_IOBASEFS_H
#define N_IOBASEFS_H
// nIOBaseFS: the interface every file system implements (disk, memory, archive), and nIOHandle,
// one open file of one file system.
//
// A handle is valid only with the file system that created it: callers keep the pair
// (file system, handle), which nIO::Open hands out together. Every successful Open appends the
// handle to the file system's open list; Close removes it and frees it.
//
// Sizes, lengths and positions are 32-bit signed byte counts.

#include <cstdint>

#include "core/nLinkedList.h"
#include "core/nList.h"
#include "core/nString.h"

// Seek origins, the same for every file system.
enum nIOSeekOrigin : int32_t
{
    nIOSeekStart = 0,    // position = offset
    nIOSeekCurrent = 1,  // position = position + offset
    nIOSeekEnd = 2,      // position = size + offset (offset <= 0 to stay inside the file)
};

// One open file. File systems derive their own handle records from it.
class nIOHandle
{
public:
    explicit nIOHandle(const char* name) { m_name.Set(name); }
    virtual ~nIOHandle() {}
    nIOHandle(const nIOHandle&) = delete;
    nIOHandle& operator=(const nIOHandle&) = delete;

    const nString& GetName() const { return m_name; }  // the path passed to Open

private:
    nString m_name;
};

// The file-system interface. The operations marked "slot" are the virtual interface, in order.
// A NULL handle makes Read, Write, GetSize, Tell and Rewind return 0 and Seek return false in
// every implementation; Close of a handle not in the open list logs an error and returns false.
class nIOBaseFS : public nLinkedListEntry
{
public:
    nIOBaseFS() {}
    virtual ~nIOBaseFS();  // slot 0; frees only the open-list nodes (implementations close their handles first)
    nIOBaseFS(const nIOBaseFS&) = delete;
    nIOBaseFS& operator=(const nIOBaseFS&) = delete;

    virtual const char* GetName() const = 0;                                            // slot 1: "Disc", "Memory" or "Archive"
    virtual int32_t GetTypeId() const = 0;                                              // slot 2: 15 disk and memory, 75 archive
    virtual nString GetCurrentDir() { return nString(); }                               // slot 3: always an empty string
    virtual bool ChangeDir(const char* path);                                           // slot 4: false unless overridden
    virtual bool ListDir(const char* pattern, nList<nString*>* names);                  // slot 5: false unless overridden; the names are new strings the caller deletes
    virtual nIOHandle* Open(const char* path, bool read, bool write, bool append) = 0;  // slot 6: NULL on failure
    virtual int32_t Read(nIOHandle* handle, void* buffer, int32_t length) = 0;          // slot 7: bytes read
    virtual int32_t Write(nIOHandle* handle, const void* buffer, int32_t length) = 0;   // slot 8: bytes written
    virtual bool Exists(const char* path) = 0;                                          // slot 9: a file (not a directory) of this name exists
    virtual int32_t GetSize(nIOHandle* handle) = 0;                                     // slot 10: size in bytes
    virtual bool Seek(nIOHandle* handle, int32_t offset, int32_t whence) = 0;           // slot 11: whence is an nIOSeekOrigin
    virtual int32_t Rewind(nIOHandle* handle) = 0;                                      // slot 12: position 0; returns the new position
    virtual int32_t Tell(nIOHandle* handle) = 0;                                        // slot 13: the position
    virtual bool Close(nIOHandle* handle) = 0;                                          // slot 14: removes the handle from the open list and frees it
    virtual bool CloseAll();                                                            // slot 15: Close on every open handle; true

    // Normalises path in place (nString::NormalizePath; kept whatever the outcome). True when Exists
    // accepts it as is or joined under one of nIO's search paths, tried in list order; the first
    // hit replaces path.
    bool ResolveSearchPath(nString& path);
    // Open with the path as given; when that fails and read access is asked, Open again under the
    // name ResolveSearchPath finds. Writing never consults the search paths.
    nIOHandle* OpenSearch(const char* path, bool read, bool write, bool append);

    int32_t GetOpenHandleCount() const { return m_handles.GetCount(); }

protected:
    bool AddHandle(nIOHandle* handle);              // appends to the open list; false when out of memory
    bool RemoveHandle(nIOHandle* handle);           // unlinks from the open list; false when not in it
    bool HasHandle(const nIOHandle* handle) const;  // the handle is in the open list

    nList<nIOHandle*> m_handles;  // open handles, oldest first
};

#endif
