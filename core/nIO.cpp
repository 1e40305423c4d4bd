#include "core/nIO.h"

#include <cstring>
#include <new>

#include "core/nIOBaseFS.h"
#include "core/nIODiskFS.h"
#include "core/nIOMemoryFS.h"
#include "core/nLog.h"
#include "core/nMutex.h"
#include "core/nString.h"

namespace {
// Every process-wide object of the layer lives in this one record, built on first use, so
// that no global of another translation unit can see it half built. Members are built in
// declaration order and destroyed in reverse: the file systems close their handles after
// the lists that point at them are gone and before the mutex goes.
struct nIOState
{
    nIODiskFS disk;
    nMutex mutex;
    nIOMemoryFS memory;
    nList<nIOBaseFS*> fallbacks;
    nList<nString> searchPaths;
    nIOBaseFS* current;

    nIOState() : current(&disk) {}
};

nIOState& State()
{
    static nIOState state;
    return state;
}

void LogInvalidArgument()
{
    *g_log << "[!] Invalid argument.\n";
}

// True when searchPath (normalised) is a whole leading directory of path; cut receives the
// number of characters to remove, the separating '/' included.
bool MatchesSearchPath(const nString& path, const nString& searchPath, int32_t* cut)
{
    const int32_t length = searchPath.GetLength();
    if (length == 0 || length >= path.GetLength())
        return false;
    if (strncmp(path.GetCStr(), searchPath.GetCStr(), length) != 0)
        return false;
    if (searchPath.GetCStr()[length - 1] == '/') {
        *cut = length;
        return true;
    }
    if (path.GetCStr()[length] != '/' || path.GetCStr()[length + 1] == 0)
        return false;
    *cut = length + 1;
    return true;
}
}

nIODiskFS* nIO::GetDiskFS()
{
    return &State().disk;
}

nMutex& nIO::GetMutex()
{
    return State().mutex;
}

nIOMemoryFS* nIO::GetMemoryFS()
{
    return &State().memory;
}

nIOBaseFS* nIO::SetCurrentFS(nIOBaseFS* fs)
{
    nIOState& state = State();
    nMutexScope lock(state.mutex);
    nIOBaseFS* previous = state.current;
    state.current = fs ? fs : &state.disk;
    return previous;
}

nIOBaseFS* nIO::GetCurrentFS()
{
    nIOState& state = State();
    nMutexScope lock(state.mutex);
    return state.current;
}

bool nIO::SplitPath(const char* path, nIOBaseFS** fs, const char** rest)
{
    nIOState& state = State();
    nMutexScope lock(state.mutex);
    if (!path || !fs || !rest) {
        LogInvalidArgument();
        return false;
    }
    if (strncmp(path, "disc:", 5) == 0) {
        *fs = &state.disk;
        *rest = path + 5;
        return true;
    }
    *fs = state.current;
    *rest = path;
    return false;
}

nIOHandle* nIO::Open(const char* path, nIOBaseFS** fs, bool read, bool write, bool append)
{
    nIOState& state = State();
    nMutexScope lock(state.mutex);
    if (fs)
        *fs = 0;

    nIOBaseFS* chosen = 0;
    const char* rest = 0;
    if (!path) {
        SplitPath(path, &chosen, &rest);  // logs the refusal
        return 0;
    }

    if (read && state.memory.Exists(path)) {
        nIOHandle* handle = state.memory.Open(path, true, false, false);
        if (handle) {
            if (fs)
                *fs = &state.memory;
            return handle;
        }
    }

    const bool forced = SplitPath(path, &chosen, &rest);
    nIOHandle* handle = chosen->OpenSearch(rest, read, write, append);
    if (!handle && read && !forced) {
        nListIterator<nIOBaseFS*> it;
        while (nIOBaseFS* fallback = state.fallbacks.Iterate(it)) {
            if (fallback == chosen)
                continue;
            handle = fallback->OpenSearch(rest, read, write, append);
            if (handle) {
                chosen = fallback;
                break;
            }
        }
    }
    if (handle && fs)
        *fs = chosen;
    return handle;
}

bool nIO::Exists(const char* path)
{
    nIOState& state = State();
    nMutexScope lock(state.mutex);
    nIOBaseFS* chosen = 0;
    const char* rest = 0;
    if (!path) {
        SplitPath(path, &chosen, &rest);  // logs the refusal
        return false;
    }
    const bool forced = SplitPath(path, &chosen, &rest);
    if (chosen->Exists(rest))
        return true;
    if (forced)
        return false;
    nListIterator<nIOBaseFS*> it;
    while (nIOBaseFS* fallback = state.fallbacks.Iterate(it)) {
        if (fallback != chosen && fallback->Exists(rest))
            return true;
    }
    return false;
}

bool nIO::FindFile(nString& path)
{
    nIOState& state = State();
    nMutexScope lock(state.mutex);
    if (state.current->ResolveSearchPath(path))
        return true;
    nListIterator<nIOBaseFS*> it;
    while (nIOBaseFS* fallback = state.fallbacks.Iterate(it)) {
        if (fallback != state.current && fallback->ResolveSearchPath(path))
            return true;
    }
    return false;
}

bool nIOBaseFS::ResolveSearchPath(nString& path)
{
    nIOState& state = State();
    nMutexScope lock(state.mutex);
    path.NormalizePath();
    if (path.IsEmpty())
        return false;
    if (Exists(path.GetCStr()))
        return true;
    for (nListNode<nString>* node = state.searchPaths.GetHead(); node; node = node->next) {
        // An empty search path would turn the name into an absolute one; it names nothing.
        if (node->value.IsEmpty())
            continue;
        nString candidate(node->value);
        candidate += "/";
        candidate += path;
        candidate.NormalizePath();
        if (Exists(candidate.GetCStr())) {
            path = candidate;
            return true;
        }
    }
    return false;
}

bool nIO::StripSearchPath(nString& path)
{
    nIOState& state = State();
    nMutexScope lock(state.mutex);
    if (path.IsEmpty())
        return false;
    path.NormalizePath();
    for (nListNode<nString>* node = state.searchPaths.GetHead(); node; node = node->next) {
        // Compared in the same normalised form the resolver builds its names in.
        nString searchPath = node->value.GetNormalizedPath();
        int32_t cut = 0;
        if (MatchesSearchPath(path, searchPath, &cut)) {
            nString rest(path.GetCStr() + cut);
            path = rest;
            return true;
        }
    }
    return false;
}

int32_t nIO::LoadFile(const char* path, char** buffer)
{
    if (!buffer || !path) {
        LogInvalidArgument();
        if (buffer)
            *buffer = 0;
        return 0;
    }
    *buffer = 0;

    nIOState& state = State();
    nMutexScope lock(state.mutex);
    nIOBaseFS* fs = 0;
    nIOHandle* handle = Open(path, &fs, true, false, false);
    if (!handle)
        return 0;

    int32_t size = fs->GetSize(handle);
    if (size < 0)
        size = 0;
    // One byte more than the contents: text readers may rely on the terminator.
    char* data = new (std::nothrow) char[static_cast<size_t>(size) + 1];
    if (!data) {
        fs->Close(handle);
        *g_log << "[!] Failed to allocate " << size << " bytes to load '" << path << "'.\n";
        return 0;
    }
    int32_t got = 0;
    while (got < size) {
        const int32_t n = fs->Read(handle, data + got, size - got);
        if (n <= 0)
            break;
        got += n;
    }
    data[got] = 0;
    fs->Close(handle);
    if (got < size)
        *g_log << "[!] Failed to read '" << path << "': " << got << " of " << size << " bytes.\n";
    *buffer = data;
    return got;
}

int32_t nIO::SaveFile(const char* path, const void* data, int32_t length)
{
    if (!path || length < 0 || (!data && length > 0)) {
        LogInvalidArgument();
        return 0;
    }
    nIOState& state = State();
    nMutexScope lock(state.mutex);
    nIOBaseFS* fs = 0;
    nIOHandle* handle = Open(path, &fs, false, true, false);
    if (!handle)
        return 0;
    // One write of the whole buffer, also when it is empty: a file system may create the file
    // on its first write.
    const int32_t written = fs->Write(handle, data ? data : "", length);
    if (!fs->Close(handle)) {
        *g_log << "[!] Failed to finish writing '" << path << "'.\n";
        return 0;
    }
    if (written < length)
        *g_log << "[!] Failed to write '" << path << "': " << written << " of " << length << " bytes.\n";
    return written;
}

int32_t nIO::GetFileSize(const char* path)
{
    if (!path) {
        LogInvalidArgument();
        return 0;
    }
    nIOState& state = State();
    nMutexScope lock(state.mutex);
    nIOBaseFS* fs = 0;
    nIOHandle* handle = Open(path, &fs, true, false, false);
    if (!handle)
        return 0;
    const int32_t size = fs->GetSize(handle);
    fs->Close(handle);
    return size > 0 ? size : 0;
}

int32_t nIO::CopyFile(const char* source, const char* destination)
{
    if (!source || !destination) {
        LogInvalidArgument();
        return 0;
    }
    char* data = 0;
    const int32_t size = LoadFile(source, &data);
    if (!data)
        return 0;  // nothing to copy: the destination stays as it was
    const int32_t written = SaveFile(destination, data, size);
    delete[] data;
    return written;
}

bool nIO::CacheFile(const char* path)
{
    if (!path) {
        LogInvalidArgument();
        return false;
    }
    nIOState& state = State();
    nMutexScope lock(state.mutex);
    const bool cached = state.memory.CacheFile(path);
    *g_log << "[|] Caching file " << path << ", memory consumption = "
           << state.memory.GetMemoryUsage() << "...\n";
    return cached;
}

bool nIO::QueueFallbackFS(nIOBaseFS* fs)
{
    if (!fs) {
        LogInvalidArgument();
        return false;
    }
    nIOState& state = State();
    nMutexScope lock(state.mutex);
    if (state.fallbacks.Contains(fs)) {
        *g_log << "[*] Fallback file system already queued.\n";
        return true;
    }
    return state.fallbacks.InsertAfter(fs, 0) != 0;
}

void nIO::RemoveFallbackFS(nIOBaseFS* fs)
{
    nIOState& state = State();
    nMutexScope lock(state.mutex);
    state.fallbacks.Remove(fs);
}

void nIO::AddSearchPath(const char* path)
{
    if (!path) {
        LogInvalidArgument();
        return;
    }
    nIOState& state = State();
    nMutexScope lock(state.mutex);
    state.searchPaths.InsertAfter(nString(path), 0);
}

int32_t nIO::SetSearchPaths(const nList<nString>& paths)
{
    nIOState& state = State();
    nMutexScope lock(state.mutex);
    state.searchPaths.Clear();
    for (nListNode<nString>* node = paths.GetHead(); node; node = node->next)
        state.searchPaths.InsertAfter(node->value, 0);
    return state.searchPaths.GetCount();
}
