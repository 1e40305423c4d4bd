#include "audio/mixer/nRingBuffer.h"

#include <cstdlib>
#include <cstring>

#include "core/nLog.h"

nRingBuffer::nRingBuffer()
    : borrowed(false), writeBlock(0), readBlock(0), freeBlocks(0), memory(0), blockSize(0),
      blockCount(0), writeOffset(0), readOffset(0)
{
}

nRingBuffer::~nRingBuffer()
{
    Release();
}

void nRingBuffer::Release()
{
    if (!borrowed) std::free(memory);
    memory = 0;
    borrowed = false;
    blockSize = blockCount = freeBlocks = 0;
    writeBlock = readBlock = writeOffset = readOffset = 0;
}

bool nRingBuffer::Init(int32_t size, int32_t count, uint8_t* supplied)
{
    Release();
    if (size <= 0 || count <= 0) return false;
    borrowed = supplied != 0;
    memory = supplied ? supplied : static_cast<uint8_t*>(std::malloc((size_t)size * (size_t)count));
    if (!memory) {
        borrowed = false;
        *g_log << "[!] Failed to allocate ring buffer.\n";
        return false;
    }
    blockSize = size;
    blockCount = count;
    freeBlocks = count;
    *g_log << "Allocate " << (int32_t)((int64_t)size * count / 1024) << "kb ring buffer (" << count << "*" << size << " bytes)\n";
    return true;
}

int32_t nRingBuffer::Write(const uint8_t* data, int32_t length)
{
    while (length > 0 && freeBlocks > 0) {
        int32_t n = blockSize - writeOffset;
        if (n > length) n = length;
        if (data) {
            std::memcpy(memory + (size_t)writeBlock * blockSize + writeOffset, data, n);
            data += n;
        }
        writeOffset += n;
        length -= n;
        if (writeOffset == blockSize) {
            writeOffset = 0;
            --freeBlocks;
            writeBlock = (writeBlock + 1) % blockCount;
        }
    }
    return length > 0 ? length : 0;
}

int32_t nRingBuffer::Read(uint8_t* destination, int32_t length)
{
    int32_t done = 0;
    while (length > 0 && freeBlocks < blockCount) {
        int32_t n = blockSize - readOffset;
        if (n > length) n = length;
        if (destination) {
            std::memcpy(destination, memory + (size_t)readBlock * blockSize + readOffset, n);
            destination += n;
        }
        readOffset += n;
        length -= n;
        done += n;
        if (readOffset == blockSize) {
            readOffset = 0;
            ++freeBlocks;
            readBlock = (readBlock + 1) % blockCount;
        }
    }
    return done;
}

int32_t nRingBuffer::GetUsedPercent() const
{
    if (blockCount == 0) return 100;
    return 100 - freeBlocks * 100 / blockCount;
}
