#pragma once
// Shared pieces of the fuzz targets: a log that writes nothing (inputs make every kind of line,
// some of the always-written class) and a way to put bytes into the memory file system.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/nIO.h"
#include "core/nIOMemoryFS.h"
#include "core/nLog.h"

class nQuietLog : public nLog
{
protected:
    void Write(const char*, size_t) override {}
};

// Creates or replaces the memory file name with the bytes; a refusal is a fault of the harness.
inline void nFuzzStore(const char* name, const void* data, size_t size)
{
    nIOMemoryFS* memory = nIO::GetMemoryFS();
    nIOHandle* h = memory->Open(name, false, true, false);
    if (!h)
        abort();
    if (size && memory->Write(h, data, int32_t(size)) != int32_t(size))
        abort();
    memory->Close(h);
}
