#pragma once
// Helpers for resource tests: little-endian byte building, and a fixture whose current file
// system is a memory file system, so that files built in a test are read and written there.
//
//     class MyTest : public nMemoryFSTest {};
//     Put("a.tga", bytes);             // a file of the memory file system
//     Get("a.tga")                     // its bytes; empty when missing

#include "core/nIO.h"
#include "core/nIOMemoryFS.h"
#include "tests/support/nIOTestSupport.h"

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

inline void PutU8(Bytes& b, uint32_t v) { b.push_back(uint8_t(v)); }
inline void PutU16(Bytes& b, uint32_t v)
{
    PutU8(b, v);
    PutU8(b, v >> 8);
}
inline void PutU32(Bytes& b, uint32_t v)
{
    PutU16(b, v);
    PutU16(b, v >> 16);
}
inline void PutText(Bytes& b, const char* text)
{
    while (*text) b.push_back(uint8_t(*text++));
}
inline void PutBytes(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

class nMemoryFSTest : public nIOTest
{
protected:
    nMemoryFSTest() { nIO::SetCurrentFS(&m_mem); }
    ~nMemoryFSTest() override { nIO::SetCurrentFS(nullptr); }

    void Put(const char* name, const Bytes& bytes)
    {
        ASSERT_TRUE(PutFile(&m_mem, name, std::string(bytes.begin(), bytes.end()))) << name;
    }
    Bytes Get(const char* name)
    {
        nIOHandle* handle = m_mem.Open(name, true, false, false);
        if (!handle) return Bytes();
        std::string text = ReadAll(&m_mem, handle);
        m_mem.Close(handle);
        return Bytes(text.begin(), text.end());
    }

    nIOMemoryFS m_mem;
};
