#include "core/nArchive.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <new>

#include <zlib.h>

#include "core/nIOBaseFS.h"
#include "core/nLog.h"

namespace {

const uint32_t kMagicCRAN = 0x4E415243;  // "CRAN" read as a little-endian u32
const uint32_t kMagicDRAN = 0x4E415244;  // "DRAN"
const uint32_t kEndMarker = 0xFFFFFFFFu;
// The format's fields are unsigned 32-bit, but streams count bytes in signed 32 bits: an archive,
// and so every offset and length in it, stays below 2 GB.
const uint64_t kMaxArchiveSize = 0x7FFFFFFF;
// Deflate cannot expand one stored byte into more than 1032 bytes, so a zlib entry claiming a
// larger length is damaged; checking it up front keeps a few bad bytes from asking for gigabytes.
const uint64_t kMaxInflateRatio = 1032;
// Reads and writes through the stream go in pieces of at most this size.
const uint64_t kMaxTransfer = 1u << 30;

// An entry's length must be one a stream can report, and a zlib entry's one its stored bytes can
// inflate to.
bool IsLengthPlausible(uint8_t method, uint32_t length, uint32_t storedLength)
{
    if (length > kMaxArchiveSize)
        return false;
    return method != ArchiveMethodZlib || length <= uint64_t(storedLength) * kMaxInflateRatio;
}

uint64_t AlignUp(uint64_t position, uint32_t alignment)
{
    if (alignment == 0)
        return position;
    return (position + alignment - 1) / alignment * alignment;
}

uint32_t GetU32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void PutU32(uint8_t* p, uint32_t value)
{
    p[0] = uint8_t(value);
    p[1] = uint8_t(value >> 8);
    p[2] = uint8_t(value >> 16);
    p[3] = uint8_t(value >> 24);
}

// Decimal text of an unsigned number, for log lines (the log's integers are signed 32-bit).
struct nNumberText
{
    char text[24];
    explicit nNumberText(uint64_t value) { snprintf(text, sizeof(text), "%" PRIu64, value); }
};

}  // namespace

nArchive::nArchive()
    : m_defaultStream(1), m_stream(&m_defaultStream), m_size(0), m_position(0), m_dran(0),
      m_alignment(0), m_endBlock(0), m_writeMode(false), m_verbose(false)
{
}

nArchive::~nArchive()
{
    Close();
}

const char* nArchive::GetPathText() const
{
    return m_path.GetCStr() ? m_path.GetCStr() : "";
}

uint64_t nArchive::ReadAt(uint64_t position, void* buffer, uint64_t length)
{
    nMutexScope lock(m_lock);
    if (position > kMaxArchiveSize || length > kMaxArchiveSize ||
        !m_stream->Seek(int32_t(position), nIOSeekStart))
        return 0;
    uint64_t done = 0;
    while (done < length) {
        uint64_t piece = length - done < kMaxTransfer ? length - done : kMaxTransfer;
        const int32_t got = m_stream->Read(static_cast<uint8_t*>(buffer) + done, int32_t(piece));
        if (got <= 0)
            break;
        done += uint64_t(got);
        if (uint64_t(got) != piece)
            break;
    }
    return done;
}

bool nArchive::WriteBytes(const void* data, uint64_t length)
{
    uint64_t done = 0;
    while (done < length) {
        uint64_t piece = length - done < kMaxTransfer ? length - done : kMaxTransfer;
        const int32_t put = m_stream->Write(static_cast<const uint8_t*>(data) + done, int32_t(piece));
        if (put <= 0)
            return false;
        done += uint64_t(put);
        m_position += uint64_t(put);
        if (uint64_t(put) != piece)
            return false;
    }
    return true;
}

bool nArchive::WriteFill(uint8_t value, uint64_t count)
{
    uint8_t block[256];
    memset(block, value, sizeof(block));
    while (count > 0) {
        uint64_t piece = count < sizeof(block) ? count : sizeof(block);
        if (!WriteBytes(block, piece))
            return false;
        count -= piece;
    }
    return true;
}

bool nArchive::OpenStream(const char* path, nIOFile* userStream, bool write)
{
    if (userStream) {
        if (!userStream->IsOpen()) {
            *g_log << (write ? "[!] Cannot open archive for writing, user stream is not open.\n"
                             : "[!] Cannot open archive for reading, user stream is not open.\n");
            return false;
        }
        m_stream = userStream;
        m_stream->Rewind();
        return true;
    }
    if (write) {
        if (!path || !m_defaultStream.Open(path, false, true, false)) {
            *g_log << "[!] Failed to open '" << path << "' as output archive.\n";
            return false;
        }
    } else {
        if (!path) {
            *g_log << "[!] No archive to open.\n";
            return false;
        }
        if (!m_defaultStream.Open(path, true, false, false)) {
            *g_log << "[!] Failed to open archive '" << path << "'.\n";
            return false;
        }
    }
    m_stream = &m_defaultStream;
    return true;
}

bool nArchive::OpenRead(const char* path, const char* indexPath, nIOFile* userStream)
{
    Close();
    m_path.Set(path);
    if (!OpenStream(path, userStream, false))
        return false;

    const int32_t size = m_stream->GetSize();
    m_size = size > 0 ? uint64_t(size) : 0;
    uint8_t field[4];
    const uint32_t magic = ReadAt(0, field, 4) == 4 ? GetU32(field) : 0;
    uint64_t position = 4;
    if (magic == kMagicCRAN) {
        m_dran = 0;
        m_alignment = 0;
        m_endBlock = 0;
    } else if (magic == kMagicDRAN) {
        // A sits unaligned at offset 4, so a reader finds it before it knows the alignment.
        uint32_t alignment = 0;
        uint32_t endBlock = 0;
        bool complete = ReadAt(4, field, 4) == 4;
        if (complete) {
            alignment = GetU32(field);
            position = AlignUp(8, alignment);
            complete = alignment > MaxBlock || ReadAt(position, field, 4) == 4;
            endBlock = alignment > MaxBlock ? 0 : GetU32(field);
            position += 4;
        }
        if (!complete) {
            *g_log << "[!] Truncated archive header in '" << GetPathText() << "'.\n";
            Close();
            return false;
        }
        if (alignment > MaxBlock || endBlock > MaxBlock) {
            *g_log << "[!] Invalid alignment or end block in archive '" << GetPathText() << "'.\n";
            Close();
            return false;
        }
        m_dran = 1;
        m_alignment = alignment;
        m_endBlock = endBlock;
    } else {
        *g_log << "[!] Invalid archive type '" << GetPathText() << "'.\n";
        Close();
        return false;
    }

    if (indexPath) {
        m_index.Load(indexPath);
        ValidateIndex();
        if (m_verbose) {
            nList<nArchiveEntry*>::Iterator it;
            while (nArchiveEntry* entry = m_index.Iterate(it))
                PrintEntry(entry);
        }
        return true;
    }
    Scan(position);
    return true;
}

void nArchive::PrintEntry(const nArchiveEntry* entry) const
{
    *g_log << "New entry: '" << entry->name.GetCStr() << "'\n";
    *g_log << "[method = " << static_cast<unsigned char>(entry->method)
           << ", len = " << nNumberText(entry->length).text
           << ", clen = " << nNumberText(entry->compressedLength).text
           << ", offset = " << nNumberText(entry->offset).text << "].\n";
}

void nArchive::Scan(uint64_t position)
{
    if (m_verbose)
        *g_log << "No index provided, please wait while scanning archive...\n";
    const uint32_t a = m_alignment;
    for (;;) {
        position = AlignUp(position, a);
        if (position >= m_size)
            break;
        const uint64_t entryStart = position;
        uint8_t field[4];
        uint64_t got = ReadAt(position, field, 4);
        if (got < 4) {
            // The end marker is written without aligning first, so an aligned reader may find
            // only its last bytes (and the 0xFF padding) before the end of the file.
            bool marker = got > 0;
            for (uint64_t i = 0; i < got; ++i)
                marker = marker && field[i] == 0xFF;
            if (!marker)
                *g_log << "[!] Truncated entry at offset " << nNumberText(entryStart).text
                       << " in archive '" << GetPathText() << "'.\n";
            break;
        }
        const uint32_t nameLength = GetU32(field);
        if (nameLength == kEndMarker)
            break;
        if (nameLength > MaxNameLength) {
            // No entry can carry such a name: the end marker and its padding are the only
            // lengths above the limit a writer puts here.
            *g_log << "[!] Entry name at offset " << nNumberText(entryStart).text << " in archive '"
                   << GetPathText() << "' is longer than " << int32_t(MaxNameLength)
                   << " bytes; the scan stops there.\n";
            break;
        }
        position += 4;
        if (nameLength > m_size - position) {
            *g_log << "[!] Truncated entry at offset " << nNumberText(entryStart).text
                   << " in archive '" << GetPathText() << "'.\n";
            break;
        }
        char* name = new (std::nothrow) char[size_t(nameLength) + 1];
        if (!name) {
            *g_log << "[!] Could not allocate new index entry.\n";
            break;
        }
        bool complete = ReadAt(position, name, nameLength) == nameLength;
        name[nameLength] = '\0';
        position = AlignUp(position + nameLength, a);
        uint8_t flags = 0;
        complete = complete && ReadAt(position, &flags, 1) == 1;
        position = AlignUp(position + 1, a);
        complete = complete && ReadAt(position, field, 4) == 4;
        const uint32_t length = GetU32(field);
        position += 4;
        const uint8_t method = (flags & 1) ? ArchiveMethodZlib : ArchiveMethodRaw;
        uint32_t storedLength = length;
        if (method == ArchiveMethodZlib) {
            position = AlignUp(position, a);
            complete = complete && ReadAt(position, field, 4) == 4;
            storedLength = GetU32(field);
            position += 4;
        }
        const uint64_t offset = AlignUp(position, a);
        if (!complete) {
            *g_log << "[!] Truncated entry at offset " << nNumberText(entryStart).text
                   << " in archive '" << GetPathText() << "'.\n";
            delete[] name;
            break;
        }
        if (offset > m_size || storedLength > m_size - offset || offset > kMaxArchiveSize) {
            *g_log << "[!] Entry '" << name << "' runs past the end of archive '" << GetPathText()
                   << "'.\n";
            delete[] name;
            break;
        }
        position = offset + storedLength;
        if (!IsLengthPlausible(method, length, storedLength)) {
            // The stored size is known, so the entries after this one are still found.
            *g_log << "[!] Entry '" << name << "' in archive '" << GetPathText()
                   << "' has an impossible length (len = " << nNumberText(length).text
                   << ", clen = " << nNumberText(storedLength).text << ").\n";
            delete[] name;
            continue;
        }
        nArchiveEntry* entry = new (std::nothrow) nArchiveEntry;
        if (entry) {
            entry->name.Set(name, name + nameLength);
            entry->method = method;
            entry->offset = uint32_t(offset);
            entry->length = length;
            entry->compressedLength = storedLength;
        }
        delete[] name;
        if (!entry || !m_index.Add(entry)) {
            delete entry;
            *g_log << "[!] Could not allocate new index entry.\n";
            continue;
        }
        if (m_verbose)
            PrintEntry(entry);
    }
    if (m_verbose)
        *g_log << "Done, index table built.\n"
               << "\n";
}

void nArchive::ValidateIndex()
{
    nList<nArchiveEntry*>::Iterator it;
    while (nArchiveEntry* entry = m_index.Iterate(it)) {
        const uint64_t end = uint64_t(entry->offset) + entry->GetStoredSize();
        bool inside = end <= m_size;
        if (!inside)
            *g_log << "[!] Index entry '" << entry->name.GetCStr() << "' lies outside archive '"
                   << GetPathText() << "'.\n";
        else if (!IsLengthPlausible(entry->method, entry->length, entry->compressedLength)) {
            *g_log << "[!] Index entry '" << entry->name.GetCStr()
                   << "' has an impossible length (len = " << nNumberText(entry->length).text
                   << ", clen = " << nNumberText(entry->compressedLength).text << ").\n";
            inside = false;
        }
        if (!inside)
            m_index.Remove(entry);
    }
}

bool nArchive::OpenWrite(const char* path, nIOFile* userStream)
{
    Close();
    m_path.Set(path);
    if (!OpenStream(path, userStream, true))
        return false;

    bool written;
    {
        nMutexScope lock(m_lock);
        m_position = 0;
        uint8_t field[4];
        PutU32(field, kMagicDRAN);
        written = WriteBytes(field, 4);
        PutU32(field, m_alignment);
        written = written && WriteBytes(field, 4);
        written = written && WriteFill(0, AlignUp(m_position, m_alignment) - m_position);
        PutU32(field, m_endBlock);
        written = written && WriteBytes(field, 4);
    }
    if (!written) {
        *g_log << "[!] Failed to write archive header to '" << GetPathText() << "'.\n";
        Close();
        return false;
    }
    m_writeMode = true;
    return true;
}

bool nArchive::AddFile(const char* name, const void* data, uint32_t length, int level)
{
    if (!m_writeMode) {
        *g_log << "[!] Cannot write '" << name << "' (r/w mode error).\n";
        return false;
    }
    if (!name || (!data && length > 0)) {
        *g_log << "[!] Invalid argument.\n";
        return false;
    }
    const size_t nameLength = strlen(name);
    if (nameLength > MaxNameLength) {
        // A reader could not tell a longer name from the end of the archive.
        *g_log << "[!] Entry name '" << name << "' is longer than " << int32_t(MaxNameLength)
               << " bytes.\n";
        return false;
    }
    if (m_index.Find(name)) {
        *g_log << "[!] An entry with alias '" << name << "' already exists.\n";
        return false;
    }
    nArchiveEntry* entry = new (std::nothrow) nArchiveEntry;
    if (!entry) {
        *g_log << "[!] Failed to allocate new index entry.\n";
        return false;
    }
    entry->name.Set(name);
    if (m_verbose)
        *g_log << "[H] Adding '" << name << "' to archive...\n";

    uint8_t* packed = 0;
    uLongf packedLength = 0;
    if (level >= 0) {
        const uint64_t capacity = uint64_t(length) + length / 1000 + 13;
        packed = new (std::nothrow) uint8_t[capacity];
        packedLength = uLongf(capacity);
        if (packed && compress2(packed, &packedLength, static_cast<const Bytef*>(data), length,
                                level) != Z_OK) {
            delete[] packed;
            packed = 0;
        }
        if (m_verbose) {
            if (packed) {
                const uint64_t percent = length ? uint64_t(packedLength) * 100 / length : 100;
                *g_log << "Was " << nNumberText(length / 1000).text << " KB, is now "
                       << nNumberText(packedLength / 1000).text << " KB ("
                       << nNumberText(percent).text << "%).\n";
            } else {
                *g_log << "No compression achieved for '" << name << "', adding uncompressed.\n";
            }
        }
    }
    const uint8_t method = packed ? ArchiveMethodZlib : ArchiveMethodRaw;
    const void* stored = packed ? static_cast<const void*>(packed) : data;
    const uint64_t storedLength = packed ? uint64_t(packedLength) : length;

    nMutexScope lock(m_lock);
    const uint32_t a = m_alignment;
    const uint64_t entryStart = m_position;
    uint64_t position = AlignUp(entryStart, a) + 4 + nameLength;
    position = AlignUp(AlignUp(position, a) + 1, a) + 4;
    if (method == ArchiveMethodZlib)
        position = AlignUp(position, a) + 4;
    const uint64_t offset = AlignUp(position, a);
    if (offset + storedLength > kMaxArchiveSize) {
        *g_log << "[!] Cannot add '" << name << "', the archive would exceed 2 GB.\n";
        delete[] packed;
        delete entry;
        return false;
    }
    entry->method = method;
    entry->offset = uint32_t(offset);
    entry->length = length;
    entry->compressedLength = method == ArchiveMethodZlib ? uint32_t(storedLength) : 0;
    if (!m_index.Add(entry)) {
        *g_log << "[!] Failed to allocate new index entry.\n";
        delete[] packed;
        delete entry;
        return false;
    }

    uint8_t field[4];
    bool written = WriteFill(0, AlignUp(m_position, a) - m_position);
    PutU32(field, uint32_t(nameLength));
    written = written && WriteBytes(field, 4) && WriteBytes(name, nameLength);
    written = written && WriteFill(0, AlignUp(m_position, a) - m_position);
    field[0] = method;
    written = written && WriteBytes(field, 1);
    written = written && WriteFill(0, AlignUp(m_position, a) - m_position);
    PutU32(field, length);
    written = written && WriteBytes(field, 4);
    if (method == ArchiveMethodZlib) {
        written = written && WriteFill(0, AlignUp(m_position, a) - m_position);
        PutU32(field, uint32_t(storedLength));
        written = written && WriteBytes(field, 4);
    }
    written = written && WriteFill(0, AlignUp(m_position, a) - m_position);
    written = written && WriteBytes(stored, storedLength);
    delete[] packed;
    if (!written) {
        // Step back so that the next entry or the end marker replaces the partial entry.
        *g_log << "[!] Failed to write '" << name << "' to archive '" << GetPathText() << "'.\n";
        m_index.Remove(entry);
        m_stream->Seek(int32_t(entryStart), nIOSeekStart);
        m_position = entryStart;
        return false;
    }
    return true;
}

bool nArchive::AddFileFromPath(const char* path, const char* name, int level)
{
    nIOFile file(1);
    if (!path || !file.Open(path, true, false, false)) {
        *g_log << "[!] Failed to load '" << path << "'.\n";
        return false;
    }
    const int32_t size = file.GetSize();
    const uint64_t length = size > 0 ? uint64_t(size) : 0;
    uint8_t* data = new (std::nothrow) uint8_t[length ? length : 1];
    if (!data) {
        *g_log << "[!] Failed to allocate " << nNumberText(length).text << " bytes for '" << path
               << "'.\n";
        return false;
    }
    uint64_t done = 0;
    while (done < length) {
        uint64_t piece = length - done < kMaxTransfer ? length - done : kMaxTransfer;
        const int32_t got = file.Read(data + done, int32_t(piece));
        if (got <= 0)
            break;
        done += uint64_t(got);
        if (uint64_t(got) != piece)
            break;
    }
    file.Close();
    bool added = false;
    if (done != length)
        *g_log << "[!] Failed to load '" << path << "'.\n";
    else
        added = AddFile(name ? name : path, data, uint32_t(length), level);
    delete[] data;
    return added;
}

bool nArchive::LoadEntry(const char* name, void* destination)
{
    if (m_writeMode) {
        *g_log << "[!] Cannot load '" << name << "' (r/w mode error).\n";
        return false;
    }
    const nArchiveEntry* entry = name ? m_index.Find(name) : 0;
    if (!entry) {
        *g_log << "[!] Could not find '" << name << "'.\n";
        return false;
    }
    return LoadEntry(entry, destination);
}

bool nArchive::LoadEntry(const nArchiveEntry* entry, void* destination)
{
    if (m_writeMode || !entry) {
        *g_log << "[!] Cannot load '" << (entry ? entry->name.GetCStr() : 0)
               << "' (r/w mode error).\n";
        return false;
    }
    if (entry->method == ArchiveMethodRaw) {
        if (ReadAt(entry->offset, destination, entry->length) != entry->length) {
            *g_log << "[!] Failed to load raw source.\n";
            return false;
        }
        return true;
    }
    if (entry->method != ArchiveMethodZlib)
        return true;

    const uint64_t packedLength = entry->compressedLength;
    uint8_t* packed = new (std::nothrow) uint8_t[packedLength + 16];
    if (!packed) {
        *g_log << "[!] Failed to allocated compressed memory support.\n";
        return false;
    }
    if (ReadAt(entry->offset, packed, packedLength) != packedLength) {
        delete[] packed;
        *g_log << "[!] Failed to load compressed source.\n";
        return false;
    }
    // An empty entry inflates into a one-byte spare buffer, which also catches data that is not
    // empty after all.
    uint8_t spare = 0;
    Bytef* out = entry->length ? static_cast<Bytef*>(destination) : &spare;
    uLongf outLength = entry->length ? uLongf(entry->length) : 1;
    const int result = uncompress(out, &outLength, packed, uLong(packedLength));
    delete[] packed;
    if (result != Z_OK) {
        *g_log << "[!] Failed to inflate '" << entry->name.GetCStr() << "' (zlib error "
               << int32_t(result) << ").\n";
        return false;
    }
    if (outLength != entry->length) {
        *g_log << "[!] Inflated size of '" << entry->name.GetCStr() << "' is "
               << nNumberText(outLength).text << " bytes instead of "
               << nNumberText(entry->length).text << ".\n";
        return false;
    }
    return true;
}

uint32_t nArchive::ReadRaw(const nArchiveEntry* entry, uint32_t position, void* buffer,
                           uint32_t length)
{
    if (m_writeMode || !entry || entry->method != ArchiveMethodRaw || position >= entry->length)
        return 0;
    const uint32_t available = entry->length - position;
    const uint32_t wanted = length < available ? length : available;
    return uint32_t(ReadAt(uint64_t(entry->offset) + position, buffer, wanted));
}

void nArchive::Close()
{
    {
        nMutexScope lock(m_lock);
        if (m_writeMode) {
            uint8_t marker[4] = {0xFF, 0xFF, 0xFF, 0xFF};
            bool written = WriteBytes(marker, 4);
            if (m_endBlock)
                written = written && WriteFill(0xFF, m_endBlock - m_position % m_endBlock);
            if (!written)
                *g_log << "[!] Failed to write the end of archive '" << GetPathText() << "'.\n";
        }
    }
    // Outside the archive's lock: closing takes the IO layer's lock, which is taken before the
    // archive's when an entry is opened.
    if (m_stream == &m_defaultStream)
        m_defaultStream.Close();
    m_index.Clear();
    if (m_writeMode)
        *g_log << "Archive complete, closing.\n";
    m_stream = &m_defaultStream;
    m_writeMode = false;
    m_size = 0;
    m_position = 0;
}

bool nArchive::LoadIndex(const char* path)
{
    const bool loaded = m_index.Load(path);
    if (m_stream->IsOpen() && !m_writeMode)
        ValidateIndex();
    return loaded;
}

bool nArchive::SaveIndex(const char* path)
{
    return m_index.Save(path);
}
