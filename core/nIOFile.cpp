#include "core/nIOFile.h"

#include <cstring>

#include "core/nIO.h"
#include "core/nIOBaseFS.h"
#include "core/nLog.h"
#include "core/nMutex.h"

nIOFile::nIOFile(int32_t byteOrder)
    : m_byteOrder(byteOrder), m_open(false), m_fs(0), m_handle(0)
{
    // Builds the IO layer's globals now if they are not yet: a stream that is itself a global
    // is then destroyed before them and can still close through them.
    nIO::GetMutex();
}

nIOFile::~nIOFile()
{
    Close();
}

bool nIOFile::Open(const char* path, bool read, bool write, bool append)
{
    Close();
    m_handle = nIO::Open(path, &m_fs, read, write, append);
    m_open = m_handle != 0;
    return m_open;
}

bool nIOFile::Close()
{
    if (!m_handle)
        return true;
    nMutexScope lock(nIO::GetMutex());
    const bool closed = m_fs->Close(m_handle);
    if (!closed)
        *g_log << "[!] File system failed to close handle.\n";
    m_handle = 0;
    m_open = false;
    return closed;
}

int32_t nIOFile::Read(void* buffer, int32_t length)
{
    return m_handle ? m_fs->Read(m_handle, buffer, length) : 0;
}

int32_t nIOFile::Write(const void* buffer, int32_t length)
{
    return m_handle ? m_fs->Write(m_handle, buffer, length) : 0;
}

int32_t nIOFile::GetSize()
{
    return m_handle ? m_fs->GetSize(m_handle) : 0;
}

bool nIOFile::Seek(int32_t offset, int32_t whence)
{
    return m_handle ? m_fs->Seek(m_handle, offset, whence) : false;
}

void nIOFile::Rewind()
{
    if (m_handle)
        m_fs->Rewind(m_handle);
}

int32_t nIOFile::Tell()
{
    return m_handle ? m_fs->Tell(m_handle) : 0;
}

// Values are assembled byte by byte, so the file's byte order holds on any host.

uint8_t nIOFile::ReadU8()
{
    uint8_t b = 0;
    return Read(&b, 1) == 1 ? b : 0;
}

uint16_t nIOFile::ReadU16()
{
    uint8_t b[2];
    if (Read(b, 2) != 2)
        return 0;
    if (m_byteOrder == 1)
        return static_cast<uint16_t>(b[0] | (b[1] << 8));
    return static_cast<uint16_t>(b[1] | (b[0] << 8));
}

uint32_t nIOFile::ReadU32()
{
    uint8_t b[4];
    if (Read(b, 4) != 4)
        return 0;
    if (m_byteOrder == 1)
        return uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
    return uint32_t(b[3]) | (uint32_t(b[2]) << 8) | (uint32_t(b[1]) << 16) | (uint32_t(b[0]) << 24);
}

float nIOFile::ReadFloat()
{
    const uint32_t bits = ReadU32();
    float value;
    memcpy(&value, &bits, sizeof value);
    return value;
}

bool nIOFile::WriteU8(uint8_t value)
{
    return Write(&value, 1) == 1;
}

bool nIOFile::WriteU16(uint16_t value)
{
    uint8_t b[2];
    if (m_byteOrder == 1) {
        b[0] = uint8_t(value);
        b[1] = uint8_t(value >> 8);
    } else {
        b[0] = uint8_t(value >> 8);
        b[1] = uint8_t(value);
    }
    return Write(b, 2) == 2;
}

bool nIOFile::WriteU32(uint32_t value)
{
    uint8_t b[4];
    for (int i = 0; i < 4; ++i) {
        const int shift = m_byteOrder == 1 ? 8 * i : 8 * (3 - i);
        b[i] = uint8_t(value >> shift);
    }
    return Write(b, 4) == 4;
}

void SwapBytes(int32_t count, void* data)
{
    if (!data)
        return;
    uint8_t* b = static_cast<uint8_t*>(data);
    if (count == 2) {
        const uint8_t t = b[0];
        b[0] = b[1];
        b[1] = t;
    } else if (count == 4) {
        uint8_t t = b[0];
        b[0] = b[3];
        b[3] = t;
        t = b[1];
        b[1] = b[2];
        b[2] = t;
    }
}

int32_t CountBits(uint32_t value)
{
    return __builtin_popcount(value);
}

int32_t CountTrailingZeros(uint32_t value)
{
    return value ? __builtin_ctz(value) : 32;
}

bool MemoryDiffers(const void* a, const void* b, int32_t length)
{
    if (!a || !b)
        return true;
    if (length <= 0)
        return false;
    const uint8_t* pa = static_cast<const uint8_t*>(a);
    const uint8_t* pb = static_cast<const uint8_t*>(b);
    const int32_t head = length % 4;
    for (int32_t i = 0; i < head; ++i)
        if (pa[i] != pb[i])
            return true;
    for (int32_t i = head; i < length; i += 4) {
        uint32_t wa, wb;
        memcpy(&wa, pa + i, 4);
        memcpy(&wb, pb + i, 4);
        if (wa != wb)
            return true;
    }
    return false;
}

void nMemCopy(void* destination, const void* source, int32_t length)
{
    if (destination && source && length > 0)
        memmove(destination, source, static_cast<size_t>(length));
}

void nMemSet(void* destination, uint8_t fill, int32_t length)
{
    if (destination && length > 0)
        memset(destination, fill, static_cast<size_t>(length));
}
