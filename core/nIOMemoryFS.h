#ifndef N_IOMEMORYFS_H
#define N_IOMEMORYFS_H
// nIOMemoryFS: the memory file system ("Memory", type id 15), whole files kept in memory under
// exact, case-sensitive names. nIO uses one as the cache of whole files that reads consult first.
//
// Handles opened for reading never modify a file. A file opened for writing starts empty with a
// 4096-byte buffer (append keeps its contents and starts at its end) and grows to
// position + length + 8192 bytes when a write does not fit. Files stay until Shutdown.

#include "core/nIOBaseFS.h"

// One memory file; its id is its name.
class nIOMemoryFile : public nLinkedListEntryId
{
public:
    explicit nIOMemoryFile(const char* name);
    ~nIOMemoryFile() override;  // frees the buffer

    bool Reserve(int32_t capacity);            // new empty buffer of capacity bytes, size 0; false (capacity 0) when out of memory
    void Adopt(int32_t length, char* buffer);  // takes ownership of a new[] buffer; size = capacity = length

    const char* GetData() const { return m_data; }      // NULL when there is no buffer
    int32_t GetSize() const { return m_size; }          // bytes of valid contents
    int32_t GetCapacity() const { return m_capacity; }  // allocated bytes; size <= capacity

private:
    friend class nIOMemoryFS;

    char* m_data;
    int32_t m_size;
    int32_t m_capacity;
};

class nIOMemoryHandle : public nIOHandle
{
public:
    nIOMemoryHandle(const char* name, nIOMemoryFile* file, int32_t position, bool writable)
        : nIOHandle(name), m_file(file), m_position(position), m_writable(writable) {}

    nIOMemoryFile* m_file;  // not owned
    int32_t m_position;     // 0..size
    bool m_writable;        // opened for writing
};

class nIOMemoryFS : public nIOBaseFS
{
public:
    nIOMemoryFS() {}
    ~nIOMemoryFS() override;  // Shutdown

    const char* GetName() const override { return "Memory"; }
    int32_t GetTypeId() const override { return 15; }
    // Read (read and write together give a read handle); write or append: a writer needs the
    // file to have no other open handle.
    nIOHandle* Open(const char* path, bool read, bool write, bool append) override;
    int32_t Read(nIOHandle* handle, void* buffer, int32_t length) override;
    int32_t Write(nIOHandle* handle, const void* buffer, int32_t length) override;  // refused (0) on a read handle
    bool Exists(const char* path) override;                                         // a file of exactly this name
    int32_t GetSize(nIOHandle* handle) override;
    bool Seek(nIOHandle* handle, int32_t offset, int32_t whence) override;  // only to 0..size
    int32_t Rewind(nIOHandle* handle) override;
    int32_t Tell(nIOHandle* handle) override;
    bool Close(nIOHandle* handle) override;

    bool CacheFile(const char* path);                              // copies a whole file found through nIO into a new memory file of the same name
    int32_t GetMemoryUsage() const;                                // sum of every file's capacity plus its record size
    nIOHandle* FindOpenHandle(const char* name) const;             // first open handle of that name, or NULL
    bool WriteFileToDisk(const char* name, const char* diskPath);  // whole contents through the disk file system; false when missing or not written
    void Shutdown();                                               // closes every handle, then deletes every file

private:
    nLinkedListId m_files;  // nIOMemoryFile entries, owned
};

#endif
