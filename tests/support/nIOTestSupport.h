#pragma once
// Helpers for tests of the IO layer and of code that reads files through it.
//
//     class MyTest : public nIOTest { ... };      // fresh IO state, cwd = a temporary directory
//     PutFile(memoryFS, "a/b.nml", "<x>");         // a file in any file system, through its Write
//     ReadAll(fs, handle)                          // the rest of an open handle as a string

#include "core/nIO.h"
#include "core/nIOBaseFS.h"
#include "core/nIOMemoryFS.h"
#include "tests/support/nTempDir.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

// Writes contents as the whole file name of fs. True when every byte went in and it closed.
inline bool PutFile(nIOBaseFS* fs, const char* name, const std::string& contents)
{
    nIOHandle* handle = fs->Open(name, false, true, false);
    if (!handle)
        return false;
    const int32_t written = fs->Write(handle, contents.data(), int32_t(contents.size()));
    return fs->Close(handle) && written == int32_t(contents.size());
}

// Reads handle from its position to its end, in small pieces.
inline std::string ReadAll(nIOBaseFS* fs, nIOHandle* handle)
{
    std::string text;
    char piece[7];
    for (int32_t n; (n = fs->Read(handle, piece, sizeof piece)) > 0;)
        text.append(piece, size_t(n));
    return text;
}

// The contents of path as read through nIO::Open; "<none>" when it does not open. servedBy
// (may be NULL) receives the file system that served it.
inline std::string ReadThroughIO(const char* path, nIOBaseFS** servedBy = nullptr)
{
    nIOBaseFS* fs = nullptr;
    nIOHandle* handle = nIO::Open(path, &fs, true, false, false);
    if (servedBy)
        *servedBy = fs;
    if (!handle)
        return "<none>";
    std::string text = ReadAll(fs, handle);
    fs->Close(handle);
    return text;
}

// Fixture: a temporary directory as the current directory, and the IO layer as at start-up
// (disk current, no fallbacks, no search paths, empty memory cache), restored that way after.
class nIOTest : public ::testing::Test
{
protected:
    nIOTest() : m_cwd(m_dir) { Reset(); }
    ~nIOTest() override
    {
        for (nIOBaseFS* fs : m_queued)
            nIO::RemoveFallbackFS(fs);
        Reset();
    }

    void Queue(nIOBaseFS* fs)
    {
        nIO::QueueFallbackFS(fs);
        m_queued.push_back(fs);
    }

    void SearchPaths(std::initializer_list<const char*> paths)
    {
        nList<nString> list;
        for (const char* p : paths)
            list.InsertAfter(nString(p), nullptr);
        nIO::SetSearchPaths(list);
    }

    static void Reset()
    {
        nIO::SetCurrentFS(nullptr);
        nList<nString> none;
        nIO::SetSearchPaths(none);
        nIO::GetMemoryFS()->Shutdown();
    }

    nTempDir m_dir;
    nTempDir::ChangeInto m_cwd;
    std::vector<nIOBaseFS*> m_queued;
};
