#ifndef N_IO_H
#define N_IO_H
// nIO: the process-wide IO layer over the file systems.
//
// State: the current file system (the disk file system unless the application selects another),
// one disk file system, one memory file system used as a cache of whole files, a queue of
// fallback file systems and a list of search paths. nIO never owns the file systems it is given.
//
// Reading a path (Open for read) tries, in order:
//   1. the memory cache, by the exact name as passed (read-only handle);
//   2. the chosen file system ("disc:" prefix: the disk file system, which also makes the path
//      forced; otherwise the current one) with the path, then under each search path;
//   3. unless forced, each fallback file system in queue order, the same way.
// Writing goes to the chosen file system only, with the path as given.
//
// One re-entrant mutex (GetMutex) serialises opening, closing, existence tests, whole-file loads
// and saves and the layer's state. Reads, writes and seeks through an open handle take no lock;
// a handle belongs to one thread at a time.
//
// Buffers handed out by LoadFile are allocated with new[]; the caller frees them with delete[].

#include <cstdint>

#include "core/nList.h"

class nIOBaseFS;
class nIOHandle;
class nIODiskFS;
class nIOMemoryFS;
class nMutex;
class nString;

namespace nIO {
nIOBaseFS* SetCurrentFS(nIOBaseFS* fs);  // returns the previous one; NULL selects the disk file system
nIOBaseFS* GetCurrentFS();

// Chooses the file system for path: "disc:" prefix (case-sensitive) gives the disk file system
// and the text after the prefix, and returns true (forced); otherwise the current file system
// and the whole path, false. A NULL argument logs "Invalid argument." and returns false.
bool SplitPath(const char* path, nIOBaseFS** fs, const char** rest);

// The resolution order above. fs (may be NULL) receives the file system of the handle, NULL
// on failure. A missing file gives NULL without a message of its own.
nIOHandle* Open(const char* path, nIOBaseFS** fs, bool read, bool write, bool append);

bool Exists(const char* path);        // chosen file system, then (unless forced) the fallbacks; no cache, no search paths
bool FindFile(nString& path);         // ResolveSearchPath on the current file system, then each fallback; path keeps the normalised or found name
bool StripSearchPath(nString& path);  // normalises path, then cuts the first search path that is a whole leading directory of it

// Whole file into a new buffer of size + 1 bytes ending in a 0 byte (the terminator is not
// counted). Returns the bytes actually read; *buffer is NULL when the file cannot be opened
// or memory runs out, and a valid buffer (to delete[]) otherwise, also for an empty file.
int32_t LoadFile(const char* path, char** buffer);
int32_t SaveFile(const char* path, const void* data, int32_t length);  // creates or truncates; bytes written, 0 when it cannot be opened or finished
int32_t GetFileSize(const char* path);                                 // size of the file opened for reading; 0 when it cannot be opened
int32_t CopyFile(const char* source, const char* destination);         // LoadFile then SaveFile; a missing source leaves the destination alone
bool CacheFile(const char* path);                                      // copies a file into the memory cache and logs the cache's size

bool QueueFallbackFS(nIOBaseFS* fs);  // appends; already queued: a warning, true
void RemoveFallbackFS(nIOBaseFS* fs);
void AddSearchPath(const char* path);                 // appends a copy
int32_t SetSearchPaths(const nList<nString>& paths);  // replaces the list; returns its count

// The process-wide objects, built on first use, in this order, and destroyed at exit in reverse.
nIODiskFS* GetDiskFS();
nMutex& GetMutex();
nIOMemoryFS* GetMemoryFS();
}

#endif
