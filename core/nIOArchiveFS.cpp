#include "core/nIOArchiveFS.h"

#include <cstring>
#include <new>

#include "core/nLog.h"

nIOArchiveFS::~nIOArchiveFS()
{
    CloseAll();
    m_archive.Close();
}

bool nIOArchiveFS::Connect(const char* path, const char* indexPath, bool writeMode,
                           nIOFile* userStream, bool verbose)
{
    CloseAll();
    m_archive.Close();
    *g_log << "[H] Filesystem connecting to archive '" << path << "'...\n";
    m_archive.SetVerbose(verbose);
    const bool opened = writeMode ? m_archive.OpenWrite(path, userStream)
                                  : m_archive.OpenRead(path, indexPath, userStream);
    if (opened)
        m_writeMode = writeMode;
    return opened;
}

bool nIOArchiveFS::Disconnect()
{
    CloseAll();
    m_archive.Close();
    return true;
}

bool nIOArchiveFS::SaveIndex(const char* path)
{
    return m_archive.SaveIndex(path);
}

nIOHandle* nIOArchiveFS::Open(const char* path, bool read, bool write, bool append)
{
    if (read && m_writeMode) {
        *g_log << "[!] Cannot create read handle (r/w mode error).\n";
        return 0;
    }
    if (write && !m_writeMode) {
        *g_log << "[!] Cannot create write handle (r/w mode error).\n";
        return 0;
    }
    if (append) {
        *g_log << "[!] Append mode is not supported.\n";
        return 0;
    }
    if (!path || (!read && !write))
        return 0;

    nArchiveEntry* entry = 0;
    if (read) {
        entry = m_archive.GetIndex().Find(path);
        if (!entry)
            return 0;
    }
    nIOArchiveHandle* handle = new (std::nothrow) nIOArchiveHandle(path, entry, write);
    if (!handle) {
        *g_log << "[!] Failed to create new archive handle.\n";
        return 0;
    }
    if (entry && entry->method == ArchiveMethodZlib) {
        if (entry->length > 0) {
            handle->m_buffer = new (std::nothrow) uint8_t[entry->length];
            if (!handle->m_buffer) {
                *g_log << "[!] Failed to allocate stream buffer (size = " << int32_t(entry->length)
                       << ").\n";
                delete handle;
                return 0;
            }
        }
        // An empty entry needs no buffer, but its data is still checked.
        if (!m_archive.LoadEntry(entry, handle->m_buffer)) {
            delete handle;
            return 0;
        }
    }
    if (!AddHandle(handle)) {
        *g_log << "[!] Failed to create new archive handle.\n";
        delete handle;
        return 0;
    }
    return handle;
}

int32_t nIOArchiveFS::Read(nIOHandle* handle, void* buffer, int32_t length)
{
    nIOArchiveHandle* h = static_cast<nIOArchiveHandle*>(handle);
    if (!h || h->m_writable || !h->m_entry || !buffer || length <= 0 || m_writeMode)
        return 0;
    const nArchiveEntry* entry = h->m_entry;
    if (entry->method == ArchiveMethodRaw) {
        const uint32_t got = m_archive.ReadRaw(entry, h->m_position, buffer, uint32_t(length));
        h->m_position += got;
        return int32_t(got);
    }
    if (entry->method != ArchiveMethodZlib || h->m_position >= entry->length)
        return 0;
    const uint32_t available = entry->length - h->m_position;
    const uint32_t count = uint32_t(length) < available ? uint32_t(length) : available;
    memcpy(buffer, h->m_buffer + h->m_position, count);
    h->m_position += count;
    return int32_t(count);
}

int32_t nIOArchiveFS::Write(nIOHandle* handle, const void* buffer, int32_t length)
{
    nIOArchiveHandle* h = static_cast<nIOArchiveHandle*>(handle);
    if (!h)
        return 0;
    if (!h->m_writable) {
        *g_log << "[!] Cannot write to '" << h->GetName().GetCStr()
               << "', it was opened for reading.\n";
        return 0;
    }
    if (h->m_entry) {
        *g_log << "[!] Cannot perform subsequent write to file, this file system does not support "
                  "streaming.\n";
        return 0;
    }
    if (length < 0 || !m_archive.AddFile(h->GetName().GetCStr(), buffer, uint32_t(length), 6)) {
        *g_log << "[!] Failed to compress data to archive.\n";
        return 0;
    }
    h->m_entry = m_archive.GetIndex().Find(h->GetName().GetCStr());
    return length;
}

bool nIOArchiveFS::Exists(const char* path)
{
    return path && m_archive.GetIndex().Find(path) != 0;
}

int32_t nIOArchiveFS::GetSize(nIOHandle* handle)
{
    const nIOArchiveHandle* h = static_cast<const nIOArchiveHandle*>(handle);
    return h && h->m_entry ? int32_t(h->m_entry->length) : 0;
}

bool nIOArchiveFS::Seek(nIOHandle* handle, int32_t offset, int32_t whence)
{
    nIOArchiveHandle* h = static_cast<nIOArchiveHandle*>(handle);
    if (!h)
        return false;
    const int64_t length = h->m_entry ? int64_t(h->m_entry->length) : 0;
    int64_t target;
    switch (whence) {
        case nIOSeekStart: target = offset; break;
        case nIOSeekCurrent: target = int64_t(h->m_position) + offset; break;
        case nIOSeekEnd: target = length + offset; break;
        default: return true;
    }
    if (target < 0 || target > length)
        return false;
    h->m_position = uint32_t(target);
    return true;
}

int32_t nIOArchiveFS::Rewind(nIOHandle* handle)
{
    nIOArchiveHandle* h = static_cast<nIOArchiveHandle*>(handle);
    if (!h)
        return 0;
    h->m_position = 0;
    return 0;
}

int32_t nIOArchiveFS::Tell(nIOHandle* handle)
{
    const nIOArchiveHandle* h = static_cast<const nIOArchiveHandle*>(handle);
    return h ? int32_t(h->m_position) : 0;
}

bool nIOArchiveFS::Close(nIOHandle* handle)
{
    if (!handle)
        return false;
    // A handle of another file system is left alone: it is not ours to free.
    if (!RemoveHandle(handle)) {
        *g_log << "[!] Trying to close a handle (" << handle->GetName().GetCStr()
               << ") that was not opened on this file system.\n";
        return false;
    }
    delete static_cast<nIOArchiveHandle*>(handle);
    return true;
}
