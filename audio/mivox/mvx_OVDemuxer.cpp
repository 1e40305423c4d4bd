#include "audio/mivox/mvx_OVDemuxer.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#define STB_VORBIS_HEADER_ONLY
#include <stb/stb_vorbis.h>

#include "audio/mivox/mvx_Stream.h"
#include "core/nIOFile.h"
#include "core/nLog.h"

namespace {

// stb_vorbis's own conversion of a float sample to 16 bits: rounded to nearest, saturated.
int16_t ToShort(float x)
{
    const float magic = 1.5f * (1 << (23 - 15)) + 0.5f / (1 << 15);
    const uint32_t addend = ((150 - 15) << 23) + (1 << 22);
    float f = x + magic;
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof(bits));
    // In unsigned arithmetic: a sample far out of range (damaged data) wraps like the decoder's own.
    const int32_t v = (int32_t)(bits - addend);
    if ((uint32_t)v + 32768u > 65535u) return v < 0 ? -32768 : 32767;
    return (int16_t)v;
}

uint32_t ReadU32(const uint8_t* p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

// The comment header's lengths all lie inside the packet.
bool CommentLengthsFit(const std::vector<uint8_t>& p)
{
    const int64_t size = (int64_t)p.size();
    if (size < 7 || p[0] != 3 || std::memcmp(p.data() + 1, "vorbis", 6) != 0) return true;  // the decoder judges it
    int64_t at = 7;
    if (at + 4 > size) return false;
    at += 4 + (int64_t)ReadU32(p.data() + at);
    if (at + 4 > size) return false;
    const int64_t count = ReadU32(p.data() + at);
    at += 4;
    if (count > (size - at) / 4) return false;
    for (int64_t i = 0; i < count; ++i) {
        if (at + 4 > size) return false;
        at += 4 + (int64_t)ReadU32(p.data() + at);
        if (at > size) return false;
    }
    return true;
}

// Whether the comment header (the second packet) at the start of the data is whole and its
// lengths fit: the decoder takes them for allocation sizes before checking them against the
// packet, so a damaged one must never reach it. -1: not all there yet.
int32_t CheckCommentHeader(const uint8_t* data, int32_t size)
{
    std::vector<uint8_t> packet;
    int32_t index = 0;
    int32_t at = 0;
    while (at + 27 <= size) {
        if (std::memcmp(data + at, "OggS", 4) != 0) return 0;
        const int32_t segments = data[at + 26];
        if (at + 27 + segments > size) return -1;
        const uint8_t* lacing = data + at + 27;
        int32_t body = at + 27 + segments;
        for (int32_t i = 0; i < segments; ++i) {
            const int32_t length = lacing[i];
            if (body + length > size) return -1;
            if (index == 1) packet.insert(packet.end(), data + body, data + body + length);
            body += length;
            if (length < 255 && index++ == 1) return CommentLengthsFit(packet) ? 1 : 0;
        }
        at = body;
    }
    return size >= 4 && std::memcmp(data, "OggS", 4) != 0 ? 0 : -1;
}

}

mvx_OVDemuxer::mvx_OVDemuxer(nIOFile* file)
    : mvx_Demuxer(file), m_input(0), m_capacity(0), m_held(0), m_eof(false), m_output(0),
      m_maxFrameSize(0), m_skip(0), m_pendingSamples(0), m_pendingOffset(0), m_sampleRate(0),
      m_channels(0), m_setupMemory(0), m_setupTempMemory(0), m_tempMemory(0), m_arena(0), m_arenaBytes(0),
      m_vorbis(0)
{
}

mvx_OVDemuxer::~mvx_OVDemuxer()
{
    Close();
}

void mvx_OVDemuxer::Close()
{
    if (m_vorbis) stb_vorbis_close(m_vorbis);
    m_vorbis = 0;
    std::free(m_arena);
    m_arena = 0;
    m_arenaBytes = 0;
    std::free(m_input);
    std::free(m_output);
    m_input = 0;
    m_output = 0;
    m_capacity = m_held = 0;
}

void mvx_OVDemuxer::Fill()
{
    if (m_eof || m_held >= m_capacity) return;
    const int32_t wanted = m_capacity - m_held;
    const int32_t got = m_file->Read(m_input + m_held, wanted);
    if (got > 0) m_held += got;
    if (got < wanted) m_eof = true;
}

void mvx_OVDemuxer::Consume(int32_t bytes)
{
    if (bytes <= 0) return;
    if (bytes > m_held) bytes = m_held;
    std::memmove(m_input, m_input + bytes, m_held - bytes);
    m_held -= bytes;
}

bool mvx_OVDemuxer::Grow()
{
    if (m_capacity >= kOVMaxInputBytes) return false;
    uint8_t* grown = static_cast<uint8_t*>(std::realloc(m_input, m_capacity * 2));
    if (!grown) return false;
    m_input = grown;
    m_capacity *= 2;
    return true;
}

// The decoder allocates only from the arena it is given: whatever a damaged header asks for, it
// can neither take more memory than the arena nor leave any behind.
bool mvx_OVDemuxer::StartDecoder()
{
    if (m_vorbis) stb_vorbis_close(m_vorbis);
    m_vorbis = 0;
    for (;;) {
        Fill();
        const int32_t comments = CheckCommentHeader(m_input, m_held);
        if (comments == 0) return false;
        if (comments < 0) {
            if (m_eof || !Grow()) return false;
            continue;
        }
        if (!m_arena && !GrowArena()) return false;
        int used = 0, error = 0;
        stb_vorbis_alloc arena = {m_arena, m_arenaBytes};
        m_vorbis = stb_vorbis_open_pushdata(m_input, m_held, &used, &error, &arena);
        if (m_vorbis) {
            Consume(used);
            return true;
        }
        if (error == VORBIS_outofmem) {
            if (!GrowArena()) return false;
            continue;
        }
        if (error != VORBIS_need_more_data || m_eof || !Grow()) return false;
    }
}

bool mvx_OVDemuxer::GrowArena()
{
    const int32_t bytes = m_arenaBytes ? m_arenaBytes * 2 : kOVArenaBytes;
    if (bytes > kOVMaxArenaBytes) return false;
    char* arena = static_cast<char*>(std::malloc(bytes));
    if (!arena) return false;
    std::free(m_arena);
    m_arena = arena;
    m_arenaBytes = bytes;
    return true;
}

bool mvx_OVDemuxer::Restart()
{
    m_file->Seek(0, 0);
    m_held = 0;
    m_eof = false;
    m_pendingSamples = 0;
    return StartDecoder();
}

bool mvx_OVDemuxer::Open(mvx_Stream* stream)
{
    m_capacity = kOVInputBytes;
    m_input = static_cast<uint8_t*>(std::malloc(m_capacity));
    if (!m_input) return false;
    if (!StartDecoder()) return false;
    stb_vorbis_info info = stb_vorbis_get_info(m_vorbis);
    m_sampleRate = (int32_t)info.sample_rate;
    m_channels = info.channels;
    m_setupMemory = (int32_t)info.setup_memory_required;
    m_setupTempMemory = (int32_t)info.setup_temp_memory_required;
    m_tempMemory = (int32_t)info.temp_memory_required;
    m_maxFrameSize = info.max_frame_size;
    stream->SetAudioFormat({m_sampleRate, 16, (uint8_t)(m_channels == 2)});
    m_skip = 0;
    return true;
}

bool mvx_OVDemuxer::Setup(mvx_Stream*, bool)
{
    *g_log << "[H] OGG Vorbis audio stream " << m_sampleRate << "hz 16bit " << m_channels << " channel(s).\n";
    *g_log << "[H]     Max frame size = " << m_maxFrameSize << "\n";
    std::free(m_output);
    m_blockSize = m_maxFrameSize * m_channels * 4;
    // Stereo output needs room for two channels whatever the source has.
    const int32_t bytes = m_maxFrameSize * (m_channels < 2 ? 2 : m_channels) * 4;
    m_output = bytes > 0 ? static_cast<int16_t*>(std::malloc(bytes)) : 0;
    if (!m_output) {
        *g_log << "[!] Failed to allocate output frame buffer.\n";
        return false;
    }
    return true;
}

mvx_OVDemuxer::FrameResult mvx_OVDemuxer::DecodeFrame(float*** pcm, int32_t* samples)
{
    for (;;) {
        Fill();
        if (m_held == 0) return FrameEnd;
        int channels = 0, count = 0;
        const int used = stb_vorbis_decode_frame_pushdata(m_vorbis, m_input, m_held, &channels, pcm, &count);
        const int error = stb_vorbis_get_error(m_vorbis);
        Consume(used);
        *samples = count;
        if (count > 0) return FrameSamples;
        if (used > 0) return FrameNoSamples;
        if (error != VORBIS_need_more_data) return FrameEnd;
        // A packet straddles the end of the buffer: more of the file, or the end.
        if (m_eof) return FrameEnd;
        if (m_held >= m_capacity && !Grow()) return FrameEnd;
    }
}

void mvx_OVDemuxer::Convert(float** pcm, int32_t first, int32_t samples)
{
    const int32_t right = m_channels >= 2 ? 1 : 0;
    for (int32_t i = 0; i < samples; ++i) {
        m_output[i * 2] = ToShort(pcm[0][first + i]);
        m_output[i * 2 + 1] = ToShort(pcm[right][first + i]);
    }
}

void mvx_OVDemuxer::WritePending(mvx_Stream* stream)
{
    const int32_t count = m_pendingSamples - m_pendingOffset;
    m_pendingSamples = 0;
    if (count > 0 && stream->GetAudioOutput())
        stream->GetAudioOutput()->WritePCM(reinterpret_cast<const uint8_t*>(m_output + m_pendingOffset * 2), count * 4, 0);
}

bool mvx_OVDemuxer::Demux(mvx_Stream* stream)
{
    if (!m_vorbis || !m_output) return true;
    if (m_pendingSamples > 0) {
        WritePending(stream);
        return false;
    }
    float** pcm = 0;
    int32_t samples = 0;
    const FrameResult result = DecodeFrame(&pcm, &samples);
    if (result == FrameEnd) return true;
    if (result == FrameNoSamples) return false;
    int32_t first = 0;
    if (m_skip > 0) {
        first = m_skip < samples ? (int32_t)m_skip : samples;
        m_skip -= first;
    }
    if (first >= samples) return false;
    Convert(pcm, first, samples - first);
    m_pendingSamples = samples - first;
    m_pendingOffset = 0;
    WritePending(stream);
    return false;
}

bool mvx_OVDemuxer::PositionAt(int64_t offset, int64_t* end)
{
    m_file->Seek((int32_t)offset, 0);
    m_held = 0;
    m_eof = false;
    stb_vorbis_flush_pushdata(m_vorbis);
    for (;;) {
        float** pcm = 0;
        int32_t samples = 0;
        const FrameResult result = DecodeFrame(&pcm, &samples);
        if (result == FrameEnd) return false;
        if (result != FrameSamples) continue;
        const int32_t c = stb_vorbis_get_sample_offset(m_vorbis);
        if (c >= 0) {
            *end = c;
            return true;
        }
    }
}

bool mvx_OVDemuxer::Seek(mvx_Stream*, int32_t ms)
{
    if (!m_vorbis || !m_output) return false;
    int64_t target = (int64_t)m_sampleRate * ms / 1000;
    if (target < 0) target = 0;
    m_pendingSamples = 0;
    m_skip = 0;
    m_end = false;
    const int64_t size = m_file->GetSize();
    int64_t low = 0, high = size;
    int64_t end = -1;
    bool placed = false;
    if (target >= 1024) {
        // Bisection over the file, until a frame ends inside the window before the target or
        // the range is less than one buffer.
        while (high - low > kOVInputBytes) {
            const int64_t middle = (low + high) / 2;
            if (!PositionAt(middle, &end) || end > target) high = middle;
            else if (end <= target - kOVSeekWindow) low = middle;
            else {
                placed = true;
                break;
            }
        }
        if (!placed && low > 0) placed = PositionAt(low, &end) && end <= target;
    }
    if (!placed) {
        if (!Restart()) return false;
        m_skip = target;
        return true;
    }
    // Fine step: on to the frame that holds the target. The first frame after a resync has no
    // overlap to add and is never written, which the bisection ensures (it ends before the target).
    for (;;) {
        float** pcm = 0;
        int32_t samples = 0;
        const FrameResult result = DecodeFrame(&pcm, &samples);
        if (result == FrameEnd) return true;
        if (result != FrameSamples) continue;
        end = stb_vorbis_get_sample_offset(m_vorbis);
        if (end > target) {
            const int64_t start = end - samples;
            Convert(pcm, 0, samples);
            m_pendingSamples = samples;
            m_pendingOffset = start < target ? (int32_t)(target - start) : 0;
            return true;
        }
    }
}
