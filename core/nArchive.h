#ifndef N_ARCHIVE_H
#define N_ARCHIVE_H

#include <cstdint>

#include "core/nArchiveIndex.h"
#include "core/nIOFile.h"
#include "core/nMutex.h"
#include "core/nString.h"

// An archive file: a flat sequence of named entries, each stored raw or as a zlib stream,
// optionally described by an NML index file beside it.
//
// File layout (all integers unsigned 32-bit little-endian; "align" moves to the next multiple of
// the alignment A and does nothing when A is 0):
//   header  "CRAN"                                   (A = P = 0, first entry at offset 4)
//           "DRAN", A at offset 4, align, end block P
//   entry   align, name length N, name bytes, align, flags (bit 0: zlib), align, length L,
//           zlib only: align, compressed length C, then align and the C or L data bytes
//   end     0xFFFFFFFF (not aligned), then when P is not 0, 0xFF bytes up to the next multiple
//           of P (a whole P when already on one)
//
// An archive is idle, reading (OpenRead) or writing (OpenWrite until Close). Each archive reads
// and writes through its own stream, or through a stream the caller owns and keeps open.
// Every read of the stream (scan, LoadEntry, ReadRaw) and every write holds the archive's lock,
// so threads may read entries of one archive at the same time.
class nArchive
{
public:
    nArchive();
    ~nArchive();  // Close
    nArchive(const nArchive&) = delete;
    nArchive& operator=(const nArchive&) = delete;

    // Closes, then opens the archive for reading and builds its index from the index file when
    // one is given, else by scanning the archive. False (logged, archive closed) when the archive
    // cannot be opened or is not an archive. Entries that are damaged or lie outside the file are
    // reported and left out; the entries before them stay readable.
    bool OpenRead(const char* path, const char* indexPath, nIOFile* userStream);
    // Closes, then starts a new "DRAN" archive with the alignment and end block of the last
    // "DRAN" archive this object read (0 and 0 for a new object).
    bool OpenWrite(const char* path, nIOFile* userStream);
    // Appends one entry, compressed at the zlib level (0..9) or raw for -1. Stored compressed
    // whenever compression succeeds, even when it does not shrink the data. False (logged, nothing
    // written) outside write mode, for a name already present or longer than MaxNameLength, or
    // when the archive would pass 2 GB (streams count in signed 32 bits) or the stream refuses
    // the bytes; a refused entry is overwritten by the next one.
    bool AddFile(const char* name, const void* data, uint32_t length, int level);
    // Adds the whole file found at path (through the IO layer) under name, or under path itself.
    bool AddFileFromPath(const char* path, const char* name, int level);
    // Copies or inflates the named entry into destination (at least its length in bytes). False
    // (logged) in write mode, for an unknown name, a short read or compressed data that does not
    // inflate to exactly the entry's length.
    bool LoadEntry(const char* name, void* destination);
    bool LoadEntry(const nArchiveEntry* entry, void* destination);  // entry of this archive's index
    // Reads up to length bytes of a raw entry from position; returns the bytes read.
    uint32_t ReadRaw(const nArchiveEntry* entry, uint32_t position, void* buffer, uint32_t length);
    // Writing: writes the end marker and padding. Then releases the archive's own stream (a user
    // stream stays open) and empties the index. Alignment and end block are kept.
    void Close();

    bool LoadIndex(const char* path);  // replaces the index from an NML index file
    bool SaveIndex(const char* path);  // writes the index as an NML index file

    nArchiveIndex& GetIndex() { return m_index; }
    const nArchiveIndex& GetIndex() const { return m_index; }
    void SetVerbose(bool verbose) { m_verbose = verbose; }
    bool IsVerbose() const { return m_verbose; }
    bool IsWriteMode() const { return m_writeMode; }
    bool IsDRAN() const { return m_dran != 0; }
    uint32_t GetAlignment() const { return m_alignment; }
    uint32_t GetEndBlock() const { return m_endBlock; }

    static const uint32_t MaxNameLength = 511;  // longest name the writer accepts
    static const uint32_t MaxBlock = 65536;     // largest alignment and end block accepted

private:
    bool OpenStream(const char* path, nIOFile* userStream, bool write);
    void Scan(uint64_t position);
    void ValidateIndex();
    void PrintEntry(const nArchiveEntry* entry) const;
    uint64_t ReadAt(uint64_t position, void* buffer, uint64_t length);
    bool WriteBytes(const void* data, uint64_t length);
    bool WriteFill(uint8_t value, uint64_t count);
    const char* GetPathText() const;

    nIOFile m_defaultStream;  // the archive's own stream
    nIOFile* m_stream;        // m_defaultStream or the caller's stream
    nMutex m_lock;            // serialises positioning and reading or writing of m_stream
    nArchiveIndex m_index;
    nString m_path;        // archive path, for messages
    uint64_t m_size;       // file size while reading
    uint64_t m_position;   // stream position while writing
    uint32_t m_dran;       // 1 when the last archive read began with "DRAN"
    uint32_t m_alignment;  // A
    uint32_t m_endBlock;   // P
    bool m_writeMode;
    bool m_verbose;
};

#endif
