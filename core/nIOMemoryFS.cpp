#include "core/nIOMemoryFS.h"

#include <climits>
#include <cstring>
#include <new>

#include "core/nIO.h"
#include "core/nIODiskFS.h"
#include "core/nLog.h"

namespace {
const int32_t kInitialCapacity = 4096;  // buffer of a file opened for writing
const int32_t kGrowthSlack = 8192;      // extra room when a write does not fit

nIOMemoryHandle* AsMemory(nIOHandle* handle)
{
    return static_cast<nIOMemoryHandle*>(handle);
}
}

nIOMemoryFile::nIOMemoryFile(const char* name)
    : nLinkedListEntryId(name), m_data(0), m_size(0), m_capacity(0)
{
}

nIOMemoryFile::~nIOMemoryFile()
{
    delete[] m_data;
}

bool nIOMemoryFile::Reserve(int32_t capacity)
{
    delete[] m_data;
    m_data = 0;
    m_size = 0;
    m_capacity = 0;
    if (capacity <= 0)
        return capacity == 0;
    m_data = new (std::nothrow) char[capacity];
    if (!m_data)
        return false;
    m_capacity = capacity;
    return true;
}

void nIOMemoryFile::Adopt(int32_t length, char* buffer)
{
    delete[] m_data;
    m_data = buffer;
    m_size = buffer && length > 0 ? length : 0;
    m_capacity = m_size;
}

nIOMemoryFS::~nIOMemoryFS()
{
    Shutdown();
}

nIOHandle* nIOMemoryFS::Open(const char* path, bool read, bool write, bool append)
{
    if (!path) {
        *g_log << "[!] Invalid argument.\n";
        return 0;
    }
    nIOMemoryFile* file = static_cast<nIOMemoryFile*>(m_files.FindById(path, false));
    const bool writing = !read && (write || append);
    if (read && !file) {
        *g_log << "[!] File '" << path << "' does not exist.\n";
        return 0;
    }
    if (!read && !writing) {
        *g_log << "[!] No access mode asked to open '" << path << "'.\n";
        return 0;
    }
    if (writing && FindOpenHandle(path)) {
        *g_log << "[!] Cannot write to file '" << path << "', exclusive access required.\n";
        return 0;
    }

    nIOMemoryFile* created = 0;
    if (writing && !file) {
        created = new (std::nothrow) nIOMemoryFile(path);
        if (!created) {
            *g_log << "[!] Failed to create a new handle.\n";
            return 0;
        }
        file = created;
    }
    nIOMemoryHandle* handle = new (std::nothrow) nIOMemoryHandle(path, file, 0, writing);
    if (!handle || !AddHandle(handle)) {
        delete handle;
        delete created;
        *g_log << "[!] Failed to create a new handle.\n";
        return 0;
    }
    if (writing) {
        // A buffer that cannot be had here is allocated by the first write instead.
        if (created)
            m_files.Add(created, true, true);
        if (created || !append)
            file->Reserve(kInitialCapacity);
        handle->m_position = file->m_size;
    }
    return handle;
}

int32_t nIOMemoryFS::Read(nIOHandle* handle, void* buffer, int32_t length)
{
    if (!handle || length == 0)
        return 0;
    if (!buffer || length < 0) {
        *g_log << "[!] Invalid argument.\n";
        return 0;
    }
    nIOMemoryHandle* h = AsMemory(handle);
    const int32_t available = h->m_file->m_size - h->m_position;
    const int32_t count = length < available ? length : available;
    if (count <= 0)
        return 0;
    memcpy(buffer, h->m_file->m_data + h->m_position, static_cast<size_t>(count));
    h->m_position += count;
    return count;
}

int32_t nIOMemoryFS::Write(nIOHandle* handle, const void* buffer, int32_t length)
{
    if (!handle || length == 0)
        return 0;
    nIOMemoryHandle* h = AsMemory(handle);
    if (!h->m_writable) {
        *g_log << "[!] Cannot write to file '" << h->GetName().GetCStr()
               << "', it was opened for reading.\n";
        return 0;
    }
    if (!buffer || length < 0) {
        *g_log << "[!] Invalid argument.\n";
        return 0;
    }
    nIOMemoryFile* file = h->m_file;
    const int32_t position = h->m_position;
    if (position > file->m_capacity - length) {
        if (position > INT32_MAX - kGrowthSlack - length) {
            *g_log << "[!] Failed to grow memory file '" << h->GetName().GetCStr() << "'.\n";
            return 0;
        }
        const int32_t capacity = position + length + kGrowthSlack;
        char* data = new (std::nothrow) char[capacity];
        if (!data) {
            *g_log << "[!] Failed to grow memory file '" << h->GetName().GetCStr() << "'.\n";
            return 0;
        }
        if (position > 0)
            memcpy(data, file->m_data, static_cast<size_t>(position));
        delete[] file->m_data;
        file->m_data = data;
        file->m_capacity = capacity;
    }
    memcpy(file->m_data + position, buffer, static_cast<size_t>(length));
    h->m_position = position + length;
    if (h->m_position > file->m_size)
        file->m_size = h->m_position;
    return length;
}

bool nIOMemoryFS::Exists(const char* path)
{
    return path && m_files.FindById(path, false) != 0;
}

int32_t nIOMemoryFS::GetSize(nIOHandle* handle)
{
    return handle ? AsMemory(handle)->m_file->m_size : 0;
}

bool nIOMemoryFS::Seek(nIOHandle* handle, int32_t offset, int32_t whence)
{
    if (!handle)
        return false;
    nIOMemoryHandle* h = AsMemory(handle);
    int64_t target;
    switch (whence) {
        case nIOSeekStart: target = offset; break;
        case nIOSeekCurrent: target = int64_t(h->m_position) + offset; break;
        case nIOSeekEnd: target = int64_t(h->m_file->m_size) + offset; break;
        default:
            *g_log << "[!] Invalid seek origin " << whence << ".\n";
            return false;
    }
    if (target < 0 || target > h->m_file->m_size) {
        *g_log << "[!] Cannot seek outside of file boundaries.\n";
        return false;
    }
    h->m_position = static_cast<int32_t>(target);
    return true;
}

int32_t nIOMemoryFS::Rewind(nIOHandle* handle)
{
    if (!handle)
        return 0;
    AsMemory(handle)->m_position = 0;
    return 0;
}

int32_t nIOMemoryFS::Tell(nIOHandle* handle)
{
    return handle ? AsMemory(handle)->m_position : 0;
}

bool nIOMemoryFS::Close(nIOHandle* handle)
{
    if (!RemoveHandle(handle)) {
        *g_log << "[!] Trying to close a memory handle that was not opened on this file system.\n";
        return false;
    }
    delete handle;
    return true;
}

bool nIOMemoryFS::CacheFile(const char* path)
{
    if (!path) {
        *g_log << "[!] Invalid argument.\n";
        return false;
    }
    if (m_files.FindById(path, false)) {
        *g_log << "[!] File '" << path << "' already exists.\n";
        return false;
    }
    if (nIO::GetFileSize(path) == 0) {
        *g_log << "[!] File source '" << path << "' not found.\n";
        return false;
    }
    nIOMemoryFile* file = new (std::nothrow) nIOMemoryFile(path);
    if (!file) {
        *g_log << "[!] Failed to create a new toc entry.\n";
        return false;
    }
    char* data = 0;
    const int32_t size = nIO::LoadFile(path, &data);
    if (!data || size <= 0) {
        delete[] data;
        delete file;
        *g_log << "[!] Failed to load '" << path << "' from current file system.\n";
        return false;
    }
    file->Adopt(size, data);
    m_files.Add(file, true, true);
    return true;
}

int32_t nIOMemoryFS::GetMemoryUsage() const
{
    int64_t total = 0;
    for (nLinkedListEntry* e = m_files.GetHead(); e; e = e->GetNext())
        total += static_cast<nIOMemoryFile*>(e)->m_capacity + int64_t(sizeof(nIOMemoryFile));
    return total > INT32_MAX ? INT32_MAX : static_cast<int32_t>(total);
}

nIOHandle* nIOMemoryFS::FindOpenHandle(const char* name) const
{
    if (!name)
        return 0;
    for (nListNode<nIOHandle*>* node = m_handles.GetHead(); node; node = node->next) {
        if (node->value->GetName() == name)
            return node->value;
    }
    return 0;
}

bool nIOMemoryFS::WriteFileToDisk(const char* name, const char* diskPath)
{
    if (!name || !diskPath) {
        *g_log << "[!] Invalid argument.\n";
        return false;
    }
    nIOMemoryFile* file = static_cast<nIOMemoryFile*>(m_files.FindById(name, false));
    if (!file) {
        *g_log << "[!] File '" << name << "' does not exist.\n";
        return false;
    }
    nIODiskFS* disk = nIO::GetDiskFS();
    nIOHandle* handle = disk->Open(diskPath, false, true, false);
    bool written = false;
    if (handle) {
        written = disk->Write(handle, file->m_data, file->m_size) == file->m_size;
        written = disk->Close(handle) && written;
    }
    if (!written)
        *g_log << "[!] Failed to write '" << name << "' to '" << diskPath << "'.\n";
    return written;
}

void nIOMemoryFS::Shutdown()
{
    CloseAll();
    m_files.Clear(true);
}
