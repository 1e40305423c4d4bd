#ifndef N_RINGBUFFER_H
#define N_RINGBUFFER_H

#include <cstdint>

// Fixed blocks in a ring. A block becomes readable only once written completely and writable
// again only once read completely, so a reader never sees a block half written. Not locked:
// the owner guards it.
struct nRingBuffer
{
    bool borrowed;  // the memory was supplied by the caller and is not freed
    int32_t writeBlock;
    int32_t readBlock;
    int32_t freeBlocks;  // blocks without unread data
    uint8_t* memory;
    int32_t blockSize;
    int32_t blockCount;
    int32_t writeOffset;  // bytes written into the write block
    int32_t readOffset;   // bytes read from the read block

    nRingBuffer();
    ~nRingBuffer();
    nRingBuffer(const nRingBuffer&) = delete;
    nRingBuffer& operator=(const nRingBuffer&) = delete;

    // Frees owned memory of a previous use, takes memory or allocates blockSize x blockCount
    // bytes ("Failed to allocate ring buffer." and false when it cannot), empties the ring and
    // logs "Allocate <n>kb ring buffer (<count>*<size> bytes)".
    bool Init(int32_t size, int32_t count, uint8_t* memory);
    int32_t Write(const uint8_t* data, int32_t length);  // bytes left over; a NULL source only advances
    int32_t Read(uint8_t* destination, int32_t length);  // bytes read; a NULL destination discards
    int32_t GetUsedBytes() const { return (blockCount - freeBlocks) * blockSize; }
    int32_t GetUsedPercent() const;  // 100 with no blocks
    void Release();                  // frees owned memory; size and count 0
};

#endif
