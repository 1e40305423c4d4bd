#include "audio/mivox/mvx_PSDemuxer.h"

#include <cstdio>
#include <cstring>

#include "audio/mivox/mvx_Stream.h"
#include "core/nIOFile.h"

namespace {

const uint8_t kProgramEnd = 0xB9;
const uint8_t kPackHeader = 0xBA;

uint32_t TimeStamp(const uint8_t* b)
{
    const uint64_t t = ((uint64_t)((b[0] >> 1) & 7) << 30) | ((uint64_t)b[1] << 22) |
                       ((uint64_t)(b[2] >> 1) << 15) | ((uint64_t)b[3] << 7) | (uint64_t)(b[4] >> 1);
    return (uint32_t)t;
}

}

mvx_PSDemuxer::mvx_PSDemuxer(nIOFile* file)
    : mvx_Demuxer(file), m_videoId(0xE0), m_audioId(0xC0), m_videoTime(0), m_audioTime(0),
      m_resume(PSResumeSkip), m_remaining(0), m_decoderId(0), m_carryBytes(0)
{
    m_blockSize = kPSBlockBytes;
}

bool mvx_PSDemuxer::Open(mvx_Stream*)
{
    uint8_t code[4];
    return m_file->Read(code, 4) == 4 && code[0] == 0 && code[1] == 0 && code[2] == 1 && code[3] == kPackHeader;
}

bool mvx_PSDemuxer::ReadBlock(int32_t* bytes)
{
    *bytes = m_file->Read(m_block, kPSBlockBytes);
    if (*bytes < 0) *bytes = 0;
    return *bytes == kPSBlockBytes;
}

bool mvx_PSDemuxer::Setup(mvx_Stream* stream, bool scan)
{
    m_end = false;
    m_resume = PSResumeSkip;
    m_remaining = 0;
    m_carryBytes = 0;
    m_videoId = 0xE0;
    m_audioId = 0xC0;
    m_videoTime = m_audioTime = 0;
    if (scan) {
        m_file->Seek(0, 0);
        for (;;) {
            int32_t bytes = 0;
            const bool full = ReadBlock(&bytes);
            if (Parse(stream, m_block, bytes, false) || !full) break;
        }
    }
    stream->SetDuration(scan ? m_videoTime / 90000.0f : 0.0f);
    m_resume = PSResumeSkip;
    m_remaining = 0;
    m_carryBytes = 0;
    m_file->Seek(0, 0);
    return true;
}

bool mvx_PSDemuxer::Demux(mvx_Stream* stream)
{
    int32_t bytes = 0;
    const bool full = ReadBlock(&bytes);
    if (Parse(stream, m_block, bytes, true) || !full) m_end = true;
    return m_end;
}

bool mvx_PSDemuxer::Seek(mvx_Stream* stream, int32_t ms)
{
    const int64_t target = (int64_t)ms * 90;
    for (;;) {
        int32_t bytes = 0;
        const bool full = ReadBlock(&bytes);
        Parse(stream, m_block, bytes, false);
        if ((FeedsAudio() && target < (int64_t)m_audioTime) || (FeedsVideo() && target < (int64_t)m_videoTime))
            return true;
        if (!full) return false;
    }
}

void mvx_PSDemuxer::Deliver(mvx_Stream* stream, int32_t side, const uint8_t* start, int32_t bytes, bool deliver)
{
    if (!deliver || bytes <= 0) return;
    if (side == PSResumeAudio && FeedsAudio())
        stream->PushAudioPacket(m_decoderId, start, start + bytes, (int32_t)(m_audioTime / 9));
    else if (side == PSResumeVideo && FeedsVideo())
        stream->PushVideoPacket(m_decoderId, start, start + bytes, (int32_t)(m_videoTime / 9));
}

void mvx_PSDemuxer::Carry(const uint8_t* p, int32_t bytes)
{
    if (bytes > kPSCarryBytes) {  // never needed: every step reads at most kPSCarryBytes
        p += bytes - kPSCarryBytes;
        bytes = kPSCarryBytes;
    }
    std::memmove(m_carry, p, bytes > 0 ? bytes : 0);
    m_carryBytes = bytes > 0 ? bytes : 0;
    m_resume = PSResumeHeader;
    m_remaining = m_carryBytes;
}

// A header that would run past its packet is malformed: it is given the length it claims, so the
// caller skips the packet by its own length without waiting for bytes that belong to others.
bool mvx_PSDemuxer::ReadPacketHeader(const uint8_t* p, int32_t available, Header* header) const
{
    header->timed = false;
    header->time = 0;
    if (available < 7) return false;
    const int32_t packet = p[4] * 256 + p[5] + 6;
    auto malformed = [&](int32_t length) {
        header->length = length;
        header->timed = false;
        return true;
    };
    if (p[6] >= 0x80 && p[6] <= 0xBF) {  // MPEG-2 PES
        if (available < 9) return packet < 9 ? malformed(9) : false;
        header->decoderId = 3;
        header->length = 9 + p[8];
        int32_t need = header->length;
        int32_t stamp = -1;
        if (p[7] & 0x80) stamp = (p[7] & 0x40) ? 14 : 9;
        if (stamp >= 0 && stamp + 5 > need) need = stamp + 5;
        if (need > packet) return malformed(need);
        if (available < need) return false;
        if (stamp >= 0) {
            header->timed = true;
            header->time = TimeStamp(p + stamp);
        }
        return true;
    }
    header->decoderId = 2;  // MPEG-1 packet
    int32_t i = 6;
    auto reach = [&](int32_t index) { return index < available && index < packet; };
    while (i < 23 && p[i] == 0xFF) {
        ++i;
        if (!reach(i)) return i >= packet ? malformed(i + 1) : false;
    }
    if ((p[i] & 0xC0) == 0x40) {
        i += 2;
        if (!reach(i)) return i >= packet ? malformed(i + 1) : false;
    }
    const uint8_t kind = p[i] >> 4;
    if (kind == 0x2 || kind == 0x3) {
        const int32_t group = kind == 0x2 ? i : i + 5;
        header->length = kind == 0x2 ? i + 5 : i + 10;
        if (header->length > packet) return malformed(header->length);
        if (available < header->length) return false;
        header->timed = true;
        header->time = TimeStamp(p + group);
    } else {
        header->length = i + 1;
    }
    return true;
}

bool mvx_PSDemuxer::Parse(mvx_Stream* stream, const uint8_t* block, int32_t bytes, bool deliver)
{
    const uint8_t* p = block;
    int32_t available = bytes > 0 ? bytes : 0;

    // Where the previous block left off: a header to complete, a payload to go on with, bytes to skip.
    if (m_resume == PSResumeHeader) {
        std::memcpy(m_scratch, m_carry, m_carryBytes);
        std::memcpy(m_scratch + m_carryBytes, block, available);
        p = m_scratch;
        available += m_carryBytes;
        m_carryBytes = 0;
        m_resume = PSResumeSkip;
        m_remaining = 0;
    } else if (m_remaining > 0) {
        const int32_t n = m_remaining < available ? m_remaining : available;
        if (m_resume != PSResumeSkip) Deliver(stream, m_resume, p, n, deliver);
        m_remaining -= n;
        p += n;
        available -= n;
        if (m_remaining > 0) return false;
        m_resume = PSResumeSkip;
    }

    // Skips n bytes; true when they run past the block (the rest is skipped from the next one).
    auto skip = [&](int32_t n) {
        if (n <= available) {
            p += n;
            available -= n;
            return false;
        }
        m_resume = PSResumeSkip;
        m_remaining = n - available;
        return true;
    };

    for (;;) {
        if (available < 4) {
            Carry(p, available);
            return false;
        }
        if (p[0] != 0 || p[1] != 0 || p[2] != 1) {
            ++p;
            --available;
            continue;
        }
        const uint8_t code = p[3];
        if (code == kProgramEnd) {
            m_resume = PSResumeSkip;
            m_remaining = 0;
            return true;
        }
        if (code == kPackHeader) {
            if (available < 5 || (p[4] >= 0x40 && p[4] <= 0x7F && available < 14)) {
                Carry(p, available);
                return false;
            }
            int32_t length = 5;
            if (p[4] >= 0x40 && p[4] <= 0x7F) length = 14 + (p[13] & 7);
            else if (p[4] >= 0x20 && p[4] <= 0x2F) length = 12;
            else std::fputs("PS demuxer: Weird packet header.\n", stderr);
            if (skip(length)) return false;
            continue;
        }
        if (code < kProgramEnd) {
            p += 4;
            available -= 4;
            continue;
        }
        if (available < 6) {
            Carry(p, available);
            return false;
        }
        const int32_t packet = p[4] * 256 + p[5] + 6;
        if (code != m_videoId && code != m_audioId) {
            if (skip(packet)) return false;
            continue;
        }
        Header header;
        if (!ReadPacketHeader(p, available, &header)) {
            Carry(p, available);
            return false;
        }
        const int32_t side = code == m_videoId ? PSResumeVideo : PSResumeAudio;
        if (header.timed) (side == PSResumeVideo ? m_videoTime : m_audioTime) = header.time;
        m_decoderId = header.decoderId;
        const int32_t payload = packet - header.length;
        if (payload < 0) {  // a header longer than its packet: malformed
            if (skip(packet)) return false;
            continue;
        }
        p += header.length;
        available -= header.length;
        const int32_t n = payload < available ? payload : available;
        Deliver(stream, side, p, n, deliver);
        p += n;
        available -= n;
        if (payload > n) {
            m_resume = side;
            m_remaining = payload - n;
            return false;
        }
    }
}
