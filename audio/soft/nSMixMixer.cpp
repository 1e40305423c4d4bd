#include "audio/soft/nSMixMixer.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/nLog.h"
#include "platform/nAudioQueue.h"
#include "resources/nSound.h"

namespace {

const int32_t kChunkFrames = 1024;   // frames mixed per pass over the channels
const int32_t kVolumeLimit = 65536;  // 128 x unity: products and 64-channel sums stay inside 32 bits

float Clamp01(float x)
{
    if (!(x > 0.0f)) return 0.0f;  // NaN too
    return x > 1.0f ? 1.0f : x;
}

int32_t Volume(float v)
{
    if (!(v > -kVolumeLimit)) return v != v ? 0 : -kVolumeLimit;
    return v > kVolumeLimit ? kVolumeLimit : (int32_t)v;
}

// 24.8 step of pitch x rate / 48000 frames; a pitch below 0 (or NaN) stands still.
uint64_t Step(float pitch, int32_t rate)
{
    if (!(pitch > 0.0f) || rate <= 0) return 0;
    const float scaled = pitch * 256.0f;
    const uint64_t p = scaled >= 2147483647.0f ? 2147483647u : (uint64_t)(int64_t)scaled;
    return p * (uint64_t)rate / (uint64_t)kSMixRate;
}

// The channel's contribution to count output frames of acc (left, right interleaved), from
// its sample of C channels (1 or 2) at position pos. Returns false when the sample ended
// without looping; pos then is past the end.
struct ChannelMix
{
    const int16_t* pcm;
    uint64_t frames;  // sample length
    uint64_t step;
    int64_t left, right;  // volumes
    bool loop;
};

template<int C>
int32_t MixSpan(const ChannelMix& m, uint64_t& pos, int32_t* acc, int32_t count)
{
    // Frames whose partner i + 1 lies inside the sample need no end test: the span runs while
    // the position stays below frames - 1 (whole frames).
    int32_t done = 0;
    const uint64_t safeEnd = (m.frames - 1) << 8;
    if (m.step == 256 && (pos & 0xFF) == 0) {
        // Whole-frame steps at pitch 1 and the output rate: the weights are (127, 0).
        const int16_t* s = m.pcm + (pos >> 8) * C;
        int32_t n = (int32_t)std::min<uint64_t>((uint64_t)count, pos < safeEnd ? (safeEnd - pos) >> 8 : 0);
        for (int32_t k = 0; k < n; ++k, s += C) {
            const int64_t l = (int64_t)s[0] * 127;
            const int64_t r = C == 2 ? (int64_t)s[1] * 127 : l;
            acc[2 * k] += (int32_t)((l * m.left) >> 15);
            acc[2 * k + 1] += (int32_t)((r * m.right) >> 15);
        }
        pos += (uint64_t)n << 8;
        done = n;
    } else {
        while (done < count && pos < safeEnd) {
            const uint64_t i = pos >> 8;
            const int32_t f = (int32_t)(pos & 0xFF) >> 1;
            const int16_t* s = m.pcm + i * C;
            const int64_t l = (int64_t)s[0] * (127 - f) + (int64_t)s[C] * f;
            const int64_t r = C == 2 ? (int64_t)s[1] * (127 - f) + (int64_t)s[3] * f : l;
            acc[2 * done] += (int32_t)((l * m.left) >> 15);
            acc[2 * done + 1] += (int32_t)((r * m.right) >> 15);
            pos += m.step;
            ++done;
        }
    }
    return done;
}

// One frame near the end: the partner of the last frame is the first one when looping, else
// the last frame itself.
template<int C>
void MixEdgeFrame(const ChannelMix& m, uint64_t pos, int32_t* acc)
{
    const uint64_t i = pos >> 8;
    const uint64_t next = i + 1 < m.frames ? i + 1 : (m.loop ? 0 : i);
    const int32_t f = (int32_t)(pos & 0xFF) >> 1;
    const int16_t* s = m.pcm + i * C;
    const int16_t* t = m.pcm + next * C;
    const int64_t l = (int64_t)s[0] * (127 - f) + (int64_t)t[0] * f;
    const int64_t r = C == 2 ? (int64_t)s[1] * (127 - f) + (int64_t)t[1] * f : l;
    acc[0] += (int32_t)((l * m.left) >> 15);
    acc[1] += (int32_t)((r * m.right) >> 15);
}

}

nSMixMixer::nSMixMixer(nMixerSlot* slot, bool makeCurrent, nAudioQueue* output)
    : nMixer(slot, makeCurrent),
      m_gain(1.0f),
      m_fixedStep(-1),
      m_riffSizePosition(0),
      m_dataSizePosition(0),
      m_wavDataBytes(0),
      m_output(output ? output : new (std::nothrow) nAudioQueue()),
      m_fill(0)
{
    for (nSMixPlayRecord& p : m_play) {
        p.position = 0;
        p.state = MixerChannelStopped;
    }
}

nSMixMixer::~nSMixMixer()
{
    if (m_open) Close();
    FinishWav();
    delete m_output;
}

bool nSMixMixer::Open()
{
    if (m_open) return true;
    // A capture never needs the audio device: it only writes the file.
    if (!m_wav.IsOpen()) {
        if (!m_output || !m_output->Open(kSMixRate)) {
            *g_log << "[!] Failed to open the audio output device ("
                   << (m_output ? m_output->GetError().c_str() : "out of memory") << ").\n";
            return false;
        }
    }
    m_fill = 0;
    m_open = true;
    return true;
}

void nSMixMixer::Close()
{
    ChannelStopAll();
    FinishWav();
    if (m_output) m_output->Close();
    m_fill = 0;
    m_open = false;
}

bool nSMixMixer::ChannelStart(int32_t channel, nSound* sound)
{
    if (!m_open || !sound || !IsValidChannel(channel)) return false;
    ChannelStop(channel);
    m_channels[channel].sound = sound;
    m_play[channel].position = 0;
    m_play[channel].state = MixerChannelPlaying;
    return true;
}

// Streams open and decode on this mixer's channels but are not mixed; stopping the channel ends
// the stream and its decoder thread.
bool nSMixMixer::ChannelStop(int32_t channel)
{
    if (!IsValidChannel(channel)) return true;
    ChannelCloseStream(channel);
    DeleteChannelStream(channel);
    StopPlayback(channel);
    return true;
}

void nSMixMixer::StopPlayback(int32_t channel)
{
    m_play[channel].state = MixerChannelStopped;
}

int32_t nSMixMixer::ChannelGetState(int32_t channel)
{
    return IsValidChannel(channel) ? m_play[channel].state : int32_t(MixerChannelInvalid);
}

bool nSMixMixer::UploadSample(nSound* sound)
{
    return m_open && sound && !sound->GetMixerData();
}

// A sound about to go must not stay on a channel: the next mix would read its freed PCM.
void nSMixMixer::FreeSample(nSound* sound)
{
    if (!sound) return;
    for (int32_t i = 0; i < kMixerChannelCount; ++i) {
        if (m_channels[i].sound != sound) continue;
        m_channels[i].sound = 0;
        StopPlayback(i);
    }
    if (!m_open || !sound->GetMixerData()) return;
    delete sound->GetMixerData();
    sound->SetMixerData(0);
}

void nSMixMixer::Update()
{
    if (!m_open) return;
    if (m_wav.IsOpen()) UpdateWav();
    else UpdateDevice();
}

void nSMixMixer::UpdateWav()
{
    int16_t piece[kSMixPieceBytes / 2];
    int32_t left = m_fixedStep >= 0 ? m_fixedStep : kSMixBufferBytes;
    while (left > 0) {
        const int32_t bytes = std::min(left, kSMixPieceBytes);
        Mix(piece, bytes);
        m_wavDataBytes += m_wav.Write(piece, bytes);
        left -= bytes;
    }
}

// The device holds at most 8 buffers: those still queued count against them, and so does the
// one being filled.
void nSMixMixer::UpdateDevice()
{
    if (!m_output) return;
    const uint32_t queued = (m_output->GetQueuedBytes() + kSMixBufferBytes - 1) / kSMixBufferBytes;
    int32_t free = kSMixBufferCount - (int32_t)std::min<uint32_t>(queued, kSMixBufferCount);
    int32_t amount = (m_fixedStep >= 1 && m_fixedStep <= kSMixBufferBytes) ? m_fixedStep : kSMixBufferBytes;
    while (free > 0) {
        const int32_t bytes = std::min(amount, kSMixBufferBytes - m_fill);
        Mix(reinterpret_cast<int16_t*>(m_buffer + m_fill), bytes);
        m_fill += bytes;
        if (m_fill == kSMixBufferBytes) {
            if (!m_output->Queue(m_buffer, kSMixBufferBytes))
                *g_log << "[*] Failed to queue audio buffer (" << m_output->GetError().c_str() << ").\n";
            m_fill = 0;
            --free;
        }
        if (m_fixedStep > 0) break;
        amount = kSMixBufferBytes;
    }
}

void nSMixMixer::Mix(int16_t* destination, int32_t bytes)
{
    int32_t frames = bytes / kSMixFrameBytes;
    int32_t acc[2 * kChunkFrames];
    while (frames > 0) {
        const int32_t count = std::min(frames, kChunkFrames);
        std::memset(acc, 0, sizeof(int32_t) * 2 * count);
        for (int32_t c = 0; c < kMixerChannelCount; ++c) {
            nMixerChannel& channel = m_channels[c];
            nSMixPlayRecord& play = m_play[c];
            if (!channel.sound || play.state != MixerChannelPlaying) continue;
            const nSampleBuffer& samples = channel.sound->GetSamples();
            const nSampleFormat& format = samples.GetFormat();
            if (format.bits != 16 || (format.channels != 1 && format.channels != 2)) continue;
            if (!samples.GetData() || samples.GetCount() == 0) {
                channel.sound = 0;
                StopPlayback(c);
                continue;
            }
            const int32_t vol = Volume(m_gain * channel.gain * 255.0f * 2.0f);
            ChannelMix m;
            m.pcm = reinterpret_cast<const int16_t*>(samples.GetData());
            m.frames = samples.GetCount();
            m.step = Step(channel.pitch, format.rate);
            m.left = (int32_t)(vol * Clamp01(1.0f - channel.panning));
            m.right = (int32_t)(vol * Clamp01(channel.panning));
            m.loop = channel.loopMode == MixerLoopRepeat;
            const uint64_t length = m.frames << 8;

            // The end rule after every output frame: the spans stop where the position leaves
            // the sample, and the rule runs before the next frame and after the last.
            bool playing = true;
            auto endRule = [&]() {
                if (play.position < length) return true;
                if (channel.loopMode == MixerLoopRepeat) {
                    play.position %= length;
                    return true;
                }
                if (channel.loopMode != MixerLoopNone)
                    *g_log << "[*] Unimplemented SMix channel loop mode (" << channel.loopMode << ").\n";
                channel.sound = 0;
                StopPlayback(c);
                return false;
            };
            int32_t k = 0;
            while (k < count && (playing = endRule())) {
                k += format.channels == 2 ? MixSpan<2>(m, play.position, acc + 2 * k, count - k)
                                          : MixSpan<1>(m, play.position, acc + 2 * k, count - k);
                if (k >= count || play.position >= length) continue;
                // A frame of the last one: its partner needs the loop.
                if (format.channels == 2) MixEdgeFrame<2>(m, play.position, acc + 2 * k);
                else MixEdgeFrame<1>(m, play.position, acc + 2 * k);
                ++k;
                play.position += m.step;
            }
            if (playing) endRule();
        }
        for (int32_t i = 0; i < 2 * count; ++i)
            destination[i] = (int16_t)std::max(-32768, std::min(32767, acc[i]));
        destination += 2 * count;
        frames -= count;
    }
}

bool nSMixMixer::OpenWavFile(const char* path)
{
    if (!path || !m_wav.Open(path, false, true, false)) {
        *g_log << "[!] Failed to open WAV file '" << (path ? path : "") << "'.\n";
        return false;
    }
    m_wavDataBytes = 0;
    m_wav.Write("RIFF", 4);
    m_riffSizePosition = m_wav.Tell();
    m_wav.WriteU32(0);
    m_wav.Write("WAVEfmt ", 8);
    m_wav.WriteU32(16);
    m_wav.WriteU16(1);  // PCM
    m_wav.WriteU16(2);
    m_wav.WriteU32(kSMixRate);
    m_wav.WriteU32(kSMixRate * kSMixFrameBytes);
    m_wav.WriteU16(kSMixFrameBytes);
    m_wav.WriteU16(16);
    m_wav.Write("data", 4);
    m_dataSizePosition = m_wav.Tell();
    m_wav.WriteU32(0);
    return true;
}

void nSMixMixer::FinishWav()
{
    if (!m_wav.IsOpen()) return;
    m_wav.Seek(0, 2);
    const int32_t end = m_wav.Tell();
    m_wav.Seek(m_riffSizePosition, 0);
    m_wav.WriteU32((uint32_t)(end - 8));
    m_wav.Seek(m_dataSizePosition, 0);
    m_wav.WriteU32((uint32_t)m_wavDataBytes);
    m_wav.Close();
    m_riffSizePosition = 0;
    m_dataSizePosition = 0;
}

void nSMixMixer::SetFixedStep(int32_t ticks)
{
    const int64_t t = ticks > 0 ? ticks : 0;
    const int32_t step = (int32_t)std::min<int64_t>(t * kSMixRate / 10000 * kSMixFrameBytes, 1 << 30);
    if (step == m_fixedStep) return;
    m_fixedStep = step;
    *g_log << "Fixed mixer step: " << step << " bytes (step = " << ticks << ").\n";
}
