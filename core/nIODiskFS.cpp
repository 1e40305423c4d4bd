#include "core/nIODiskFS.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fnmatch.h>
#include <mutex>
#include <new>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

#include "core/nLog.h"

// Names resolved ignoring case, by the requested name (after separator mapping). An entry is
// checked against the disk each time it is used and dropped when it no longer exists.
struct nIODiskCaseCache
{
    std::mutex lock;
    std::unordered_map<std::string, std::string> names;
};

namespace {
std::string NativePath(const char* path)
{
    std::string native(path);
    std::replace(native.begin(), native.end(), '\\', '/');
    return native;
}

bool PathExists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

bool IsRegularFile(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The entry of directory dir ("" for the current one) whose name equals name ignoring ASCII
// case; when several do, the first in byte order, so that the choice does not depend on the
// order the directory lists its entries in.
bool FindEntryIgnoringCase(const std::string& dir, const std::string& name, std::string& found)
{
    DIR* d = opendir(dir.empty() ? "." : dir.c_str());
    if (!d)
        return false;
    bool any = false;
    while (struct dirent* entry = readdir(d)) {
        if (strcasecmp(entry->d_name, name.c_str()) != 0)
            continue;
        if (!any || strcmp(entry->d_name, found.c_str()) < 0)
            found = entry->d_name;
        any = true;
    }
    closedir(d);
    return any;
}

// The longest leading part of path (ending before a '/', or the whole path) that the cache
// knows and that still exists; its length in path and its name on disk. 0 when none.
size_t CachedPrefix(nIODiskCaseCache* cache, const std::string& path, std::string& resolved)
{
    if (!cache)
        return 0;
    std::lock_guard<std::mutex> guard(cache->lock);
    size_t end = path.size();
    while (end > 0) {
        auto it = cache->names.find(path.substr(0, end));
        if (it != cache->names.end()) {
            if (PathExists(it->second)) {
                resolved = it->second;
                return end;
            }
            cache->names.erase(it);
        }
        const size_t slash = path.rfind('/', end - 1);
        if (slash == std::string::npos)
            break;
        end = slash;
    }
    return 0;
}

void Remember(nIODiskCaseCache* cache, const std::string& requested, const std::string& resolved)
{
    if (!cache || requested.empty() || requested == resolved)
        return;
    std::lock_guard<std::mutex> guard(cache->lock);
    cache->names[requested] = resolved;
}

// Rewrites path with the case every component has on disk. True when every component
// exists (the last one as any kind of entry, the others as directories).
bool ResolveCase(nIODiskCaseCache* cache, const std::string& path, std::string& resolved)
{
    size_t pos = CachedPrefix(cache, path, resolved);
    if (pos == path.size() && pos > 0)
        return true;
    if (pos == 0) {
        resolved.clear();
        if (!path.empty() && path[0] == '/') {
            resolved = "/";
            pos = 1;
        }
    } else {
        resolved += '/';
        pos += 1;  // past the '/' that ended the prefix
    }
    while (pos <= path.size()) {
        size_t slash = path.find('/', pos);
        if (slash == std::string::npos)
            slash = path.size();
        const std::string component = path.substr(pos, slash - pos);
        if (!component.empty() && component != "." && component != "..") {
            const std::string exact = resolved + component;
            std::string found;
            if (PathExists(exact))
                resolved = exact;
            else if (FindEntryIgnoringCase(resolved, component, found))
                resolved += found;
            else
                return false;
            Remember(cache, path.substr(0, slash), resolved);
        } else {
            resolved += component;
        }
        if (slash >= path.size())
            break;
        resolved += '/';
        pos = slash + 1;
    }
    return true;
}

// The name to create or write path under: an existing entry of any case, else the path's
// own last component inside its directory found ignoring case.
std::string WriteTarget(nIODiskCaseCache* cache, const std::string& path)
{
    if (PathExists(path))
        return path;
    std::string resolved;
    if (ResolveCase(cache, path, resolved))
        return resolved;
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0)
        return path;
    const std::string dir = path.substr(0, slash);
    if (PathExists(dir) || !ResolveCase(cache, dir, resolved))
        return path;
    return resolved + path.substr(slash);
}

// The name path exists under: exactly, else ignoring case. Empty when it does not exist.
std::string ExistingName(nIODiskCaseCache* cache, const std::string& path)
{
    if (PathExists(path))
        return path;
    std::string resolved;
    if (ResolveCase(cache, path, resolved))
        return resolved;
    return std::string();
}

// Windows wildcards over one name: '*' and '?' ignoring case, every other character literal;
// a pattern ending in ".*" also matches the name without an extension ("*.*" matches all).
bool MatchesPattern(const std::string& pattern, const char* name)
{
    std::string glob;
    for (char c : pattern) {
        if (c == '[')
            glob += "[[]";
        else
            glob += c;
    }
    if (fnmatch(glob.c_str(), name, FNM_NOESCAPE | FNM_CASEFOLD) == 0)
        return true;
    if (glob.size() >= 2 && glob.compare(glob.size() - 2, 2, ".*") == 0) {
        const std::string bare = glob.substr(0, glob.size() - 2);
        if (strchr(name, '.') == 0 && fnmatch(bare.c_str(), name, FNM_NOESCAPE | FNM_CASEFOLD) == 0)
            return true;
    }
    return false;
}

int32_t ClampPosition(long value)
{
    if (value < 0)
        return 0;
    return value > INT32_MAX ? INT32_MAX : static_cast<int32_t>(value);
}

FILE* StreamOf(nIOHandle* handle)
{
    return static_cast<nIODiskHandle*>(handle)->m_stream;
}
}

nIODiskFS::nIODiskFS()
    : m_cases(new (std::nothrow) nIODiskCaseCache)
{
}

nIODiskFS::~nIODiskFS()
{
    CloseAll();
    delete m_cases;
}

bool nIODiskFS::ChangeDir(const char* path)
{
    if (!path) {
        *g_log << "[!] Invalid argument.\n";
        return false;
    }
    const std::string name = ExistingName(m_cases, NativePath(path));
    if (name.empty() || chdir(name.c_str()) != 0)
        return false;
    // Relative names now mean something else.
    if (m_cases) {
        std::lock_guard<std::mutex> guard(m_cases->lock);
        m_cases->names.clear();
    }
    return true;
}

bool nIODiskFS::ListDir(const char* pattern, nList<nString*>* names)
{
    if (!pattern || !names) {
        *g_log << "[!] Invalid argument.\n";
        return false;
    }
    for (nListNode<nString*>* node = names->GetHead(); node; node = node->next)
        delete node->value;
    names->Clear();

    const std::string native = NativePath(pattern);
    const size_t slash = native.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : native.substr(0, slash == 0 ? 1 : slash);
    const std::string leaf = slash == std::string::npos ? native : native.substr(slash + 1);
    if (leaf.empty())
        return false;
    if (!dir.empty()) {
        dir = ExistingName(m_cases, dir);
        if (dir.empty())
            return false;
    }

    DIR* d = opendir(dir.empty() ? "." : dir.c_str());
    if (!d)
        return false;
    std::vector<std::string> found;
    while (struct dirent* entry = readdir(d)) {
        if (MatchesPattern(leaf, entry->d_name))
            found.push_back(entry->d_name);
    }
    closedir(d);
    std::sort(found.begin(), found.end());

    for (const std::string& name : found) {
        nString* copy = new (std::nothrow) nString(name.c_str());
        if (!copy || !names->InsertAfter(copy, 0)) {
            delete copy;
            *g_log << "[!] Out of memory while listing '" << pattern << "'.\n";
            break;
        }
    }
    return names->GetCount() > 0;
}

nIOHandle* nIODiskFS::Open(const char* path, bool read, bool write, bool append)
{
    if (!path) {
        *g_log << "[!] Invalid argument.\n";
        return 0;
    }
    const char* mode = 0;
    if (append)
        mode = "a+";
    else if (read && write)
        mode = "r+b";
    else if (read)
        mode = "rb";
    else if (write)
        mode = "wb";
    else {
        *g_log << "[!] No access mode asked to open '" << path << "'.\n";
        return 0;
    }

    const std::string native = NativePath(path);
    FILE* stream = 0;
    if (write || append) {
        stream = fopen(WriteTarget(m_cases, native).c_str(), mode);
    } else {
        stream = fopen(native.c_str(), mode);
        if (!stream && (errno == ENOENT || errno == ENOTDIR)) {
            std::string resolved;
            if (ResolveCase(m_cases, native, resolved))
                stream = fopen(resolved.c_str(), mode);
        }
    }
    if (!stream)
        return 0;
    struct stat st;
    if (fstat(fileno(stream), &st) != 0 || S_ISDIR(st.st_mode)) {
        fclose(stream);
        return 0;
    }

    nIODiskHandle* handle = new (std::nothrow) nIODiskHandle(path, stream, write || append);
    if (!handle || !AddHandle(handle)) {
        delete handle;
        fclose(stream);
        *g_log << "[!] Failed to a create new handle.\n";
        return 0;
    }
    return handle;
}

int32_t nIODiskFS::Read(nIOHandle* handle, void* buffer, int32_t length)
{
    if (!handle || length == 0)
        return 0;
    if (!buffer || length < 0) {
        *g_log << "[!] Invalid argument.\n";
        return 0;
    }
    return static_cast<int32_t>(fread(buffer, 1, static_cast<size_t>(length), StreamOf(handle)));
}

int32_t nIODiskFS::Write(nIOHandle* handle, const void* buffer, int32_t length)
{
    if (!handle || length == 0)
        return 0;
    if (!buffer || length < 0) {
        *g_log << "[!] Invalid argument.\n";
        return 0;
    }
    return static_cast<int32_t>(fwrite(buffer, 1, static_cast<size_t>(length), StreamOf(handle)));
}

bool nIODiskFS::Exists(const char* path)
{
    if (!path)
        return false;
    const std::string native = NativePath(path);
    if (IsRegularFile(native))
        return true;
    std::string resolved;
    return ResolveCase(m_cases, native, resolved) && IsRegularFile(resolved);
}

// The file's size as the system has it, asked once; a handle that writes hands its buffered
// bytes to the system first, so that they count. The position stays.
int32_t nIODiskFS::GetSize(nIOHandle* handle)
{
    if (!handle)
        return 0;
    const nIODiskHandle* disk = static_cast<nIODiskHandle*>(handle);
    if (disk->m_writes && fflush(disk->m_stream) != 0)
        return 0;
    struct stat st;
    if (fstat(fileno(disk->m_stream), &st) != 0)
        return 0;
    return ClampPosition(static_cast<long>(st.st_size));
}

bool nIODiskFS::Seek(nIOHandle* handle, int32_t offset, int32_t whence)
{
    if (!handle)
        return false;
    int origin;
    switch (whence) {
        case nIOSeekStart: origin = SEEK_SET; break;
        case nIOSeekCurrent: origin = SEEK_CUR; break;
        case nIOSeekEnd: origin = SEEK_END; break;
        default:
            *g_log << "[!] Invalid seek origin " << whence << ".\n";
            return false;
    }
    return fseek(StreamOf(handle), offset, origin) == 0;
}

int32_t nIODiskFS::Rewind(nIOHandle* handle)
{
    if (!handle)
        return 0;
    fseek(StreamOf(handle), 0, SEEK_SET);
    return ClampPosition(ftell(StreamOf(handle)));
}

int32_t nIODiskFS::Tell(nIOHandle* handle)
{
    if (!handle)
        return 0;
    return ClampPosition(ftell(StreamOf(handle)));
}

bool nIODiskFS::Close(nIOHandle* handle)
{
    // Checked before the stream is touched: a foreign handle must not be closed here.
    if (!RemoveHandle(handle)) {
        char number[32];
        snprintf(number, sizeof number, "%" PRIuPTR, reinterpret_cast<uintptr_t>(handle));
        *g_log << "[!] Trying to close a disk handle (" << number
               << ") that was not opened on this file system.\n";
        return false;
    }
    const bool closed = fclose(StreamOf(handle)) == 0;
    delete handle;
    return closed;
}
