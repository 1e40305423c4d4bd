// The RIFF/WAVE reader. Chunks are walked in file order: "fmt " gives the layout, "data" the
// samples, anything else is skipped; every chunk of odd size is followed by one pad byte.
#include <cstring>

#include "core/nIOBaseFS.h"
#include "core/nIOFile.h"
#include "core/nLog.h"
#include "resources/nSound.h"

namespace {

const uint32_t kFormatBytes = 16;      // the PCM format block
const uint32_t kExtensibleBytes = 40;  // with the extensible block and its sub-format
const uint32_t kTagPCM = 1;
const uint32_t kTagExtensible = 0xfffe;
const int32_t kReadStep = 1 << 30;  // largest single read

inline uint32_t U16(const uint8_t* p) { return (uint32_t)p[0] | (uint32_t)p[1] << 8; }
inline uint32_t U32(const uint8_t* p) { return U16(p) | U16(p + 2) << 16; }

int64_t BytesLeft(nIOFile& file)
{
    return (int64_t)file.GetSize() - file.Tell();
}

// Moves over count bytes and the pad byte of a chunk of odd size; past the end means at the end.
void SkipChunkRest(nIOFile& file, uint32_t count, uint32_t chunkSize)
{
    int64_t skip = (int64_t)count + (chunkSize & 1u);
    if (skip >= BytesLeft(file)) file.Seek(0, nIOSeekEnd);
    else if (skip > 0) file.Seek((int32_t)skip, nIOSeekCurrent);
}

bool ReadAll(nIOFile& file, uint8_t* out, size_t bytes)
{
    while (bytes > 0) {
        int32_t step = bytes > (size_t)kReadStep ? kReadStep : (int32_t)bytes;
        if (file.Read(out, step) != step) return false;
        out += step;
        bytes -= (size_t)step;
    }
    return true;
}

void LogMangledFormat(const char* path)
{
    *g_log << "[!] Mangled WAV 'format' chunk in '" << path << "'.\n";
}

// The layout of the "fmt " chunk: integer PCM (plain or extensible) with at least one channel, a
// rate and whole bytes per sample. Other encodings would play as noise and are refused.
bool ReadFormat(nIOFile& file, uint32_t size, const char* path, nSampleFormat& format)
{
    if (size > kFormatBytes)
        *g_log << "[*] Unexpected WAV 'format' chunk size. Found "
               << nString::Format("%u", size).GetCStr() << ", expected " << (int32_t)kFormatBytes << ".\n";
    uint8_t block[kExtensibleBytes] = {0};
    uint32_t want = size < kExtensibleBytes ? size : kExtensibleBytes;
    uint32_t got = (uint32_t)file.Read(block, (int32_t)want);
    if (size < kFormatBytes || got < kFormatBytes) {
        LogMangledFormat(path);
        return false;
    }
    SkipChunkRest(file, size - got, size);

    uint32_t tag = U16(block);
    if (tag == kTagExtensible) {
        if (got < 26) {
            LogMangledFormat(path);
            return false;
        }
        tag = U16(block + 24);  // the sub-format's leading code
    }
    if (tag != kTagPCM) {
        *g_log << "[!] Unsupported WAV sample encoding (format " << (int32_t)tag << ") in '"
               << path << "'.\n";
        return false;
    }
    uint32_t channels = U16(block + 2);
    uint32_t rate = U32(block + 4);
    uint32_t bits = U16(block + 14);
    if (channels == 0 || rate == 0 || rate > 0x7fffffffu || bits == 0 || bits % 8 != 0 || bits > 255) {
        LogMangledFormat(path);
        return false;
    }
    format = nSampleFormat((int32_t)channels, (int32_t)rate, (uint8_t)bits);
    return true;
}

// Whole frames of the "data" chunk; a trailing partial frame is skipped.
bool ReadData(nIOFile& file, uint32_t size, const char* path, const nSampleFormat& format,
              nSampleBuffer& samples)
{
    if ((int64_t)size > BytesLeft(file)) {
        *g_log << "[!] mangled WAV 'data' chunk in '" << path << "'.\n";
        return false;
    }
    uint32_t frameBytes = (uint32_t)format.channels * format.bits / 8u;
    uint32_t frames = size / frameBytes;
    uint8_t* data = samples.Allocate(frames, format);
    if (!data) {
        *g_log << "[!] failed to allocate WAV data chunk for '" << path << "'.\n";
        return false;
    }
    size_t bytes = (size_t)frames * frameBytes;
    if (!ReadAll(file, data, bytes)) {
        samples.Free();
        *g_log << "[!] mangled WAV 'data' chunk in '" << path << "'.\n";
        return false;
    }
    SkipChunkRest(file, size - (uint32_t)bytes, size);
    return true;
}

// Walks the chunks after the RIFF/WAVE header; false after logging a damaged or unusable chunk.
bool DecodeChunks(nIOFile& file, const char* path, nSampleBuffer& samples, nSampleFormat& format,
                  bool& haveFormat, bool& haveData)
{
    uint8_t chunk[8];
    while (file.Read(chunk, 8) == 8) {
        uint32_t size = U32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (!ReadFormat(file, size, path, format)) return false;
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat) {
                *g_log << "[!] WAV 'data' chunk before 'format' chunk in '" << path << "'.\n";
                return false;
            }
            if (!ReadData(file, size, path, format, samples)) return false;
            haveData = true;
        } else {
            SkipChunkRest(file, size, size);
        }
    }
    return true;
}

}

bool DecodeWAV(const char* path, nSound* sound)
{
    if (!sound || !path) return false;
    nSampleBuffer& samples = sound->GetSamples();
    samples.Free();

    nIOFile file;
    if (!file.Open(path, true, false, false)) return false;
    uint8_t riff[12];
    if (file.Read(riff, 12) != 12 || std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0)
        return false;

    nSampleFormat format;
    bool haveFormat = false, haveData = false;
    if (!DecodeChunks(file, path, samples, format, haveFormat, haveData)) {
        samples.Free();
        return false;
    }
    if (haveFormat)
        *g_log << "Sample format: " << format.rate / 1000 << "KHz@" << (int32_t)format.bits << "bit, "
               << format.channels << " channel(s).\n";
    if (!haveData) samples.Free();
    return haveFormat && haveData;
}
