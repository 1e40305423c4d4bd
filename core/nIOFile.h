#ifndef N_IOFILE_H
#define N_IOFILE_H
// nIOFile: a stream over one handle of one file system, opened through nIO, with typed reads and
// writes of 1-, 2- and 4-byte values; and the byte helpers of the file formats.
//
// Byte order 1 (every stream in the engine) stores multi-byte values least significant byte
// first; any other value stores them most significant byte first.
//
// Only Open and Close take the IO mutex; reads, writes and positioning do not, so a stream
// belongs to one thread at a time. On a closed stream every operation returns 0 or false.

#include <cstdint>

class nIOBaseFS;
class nIOHandle;

class nIOFile
{
public:
    explicit nIOFile(int32_t byteOrder = 1);  // closed
    ~nIOFile();                               // Close
    nIOFile(const nIOFile&) = delete;
    nIOFile& operator=(const nIOFile&) = delete;

    bool Open(const char* path, bool read, bool write, bool append);  // closes first; true when nIO::Open gave a handle
    bool Close();                                                     // true without a handle; else the file system's Close result (a refusal logs an error)
    bool IsOpen() const { return m_open; }

    int32_t Read(void* buffer, int32_t length);         // bytes read
    int32_t Write(const void* buffer, int32_t length);  // bytes written
    int32_t GetSize();
    bool Seek(int32_t offset, int32_t whence);  // whence is an nIOSeekOrigin (0 start, 1 current, 2 end)
    void Rewind();
    int32_t Tell();

    // Typed values. A read that cannot get all its bytes returns 0; a write returns true when all
    // its bytes were written.
    uint8_t ReadU8();
    uint16_t ReadU16();
    uint32_t ReadU32();
    float ReadFloat();  // 4-byte IEEE single
    bool WriteU8(uint8_t value);
    bool WriteU16(uint16_t value);
    bool WriteU32(uint32_t value);

private:
    int32_t m_byteOrder;
    bool m_open;
    nIOBaseFS* m_fs;      // not owned; kept after Close
    nIOHandle* m_handle;  // owned by m_fs while open
};

void SwapBytes(int32_t count, void* data);                             // reverses 2 or 4 bytes in place; other counts do nothing
int32_t CountBits(uint32_t value);                                     // number of set bits
int32_t CountTrailingZeros(uint32_t value);                            // zero bits below the lowest set bit; 32 for 0
bool MemoryDiffers(const void* a, const void* b, int32_t length);      // true when the blocks differ; a NULL block differs
void nMemCopy(void* destination, const void* source, int32_t length);  // nothing for NULL or length <= 0
void nMemSet(void* destination, uint8_t fill, int32_t length);         // nothing for NULL or length <= 0

#endif
