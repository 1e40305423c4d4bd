#ifndef N_SMIXMIXER_H
#define N_SMIXMIXER_H

#include <cstdint>

#include "audio/mixer/nMixer.h"
#include "audio/mixer/nMixerData.h"
#include "core/nIOFile.h"

class nAudioQueue;

// The software mixer's per-sound record. It carries nothing and the mixer attaches none: mixing
// reads the sound's PCM directly.
class nSMixMixerData : public nMixerData
{
};

// Output format of the software mixer, everywhere: interleaved left then right, 16-bit signed.
const int32_t kSMixRate = 48000;
const int32_t kSMixFrameBytes = 4;
const int32_t kSMixBufferBytes = 16384;  // one output buffer
const int32_t kSMixBufferCount = 8;      // buffers handed to the device at most at once
const int32_t kSMixPieceBytes = 1024;    // the WAV output is mixed and written in pieces of this size

// Per-channel playback of the software mixer.
struct nSMixPlayRecord
{
    uint64_t position;  // frames, 8 fractional bits
    int32_t state;      // MixerChannelStopped or MixerChannelPlaying
};

// The mixer that mixes every playing channel itself into 48000 Hz 16-bit stereo. Its output is
// the platform's audio queue (mixer id "soft"), fed 16 KB buffers as the device plays them, or,
// once OpenWavFile succeeded (mixer id "file"), a WAV file written in fixed steps on every
// Update, which never needs an audio device. It mixes samples only: 16-bit mono or stereo ones;
// other samples stay silent while their channel plays. Streams open and decode on their channels
// but are not mixed. Main thread only.
//
// Mixing: each channel adds its sample, linearly interpolated (7-bit weights) at a 24.8 step of
// pitch x rate / 48000 frames per output frame, scaled by master gain x channel gain x 510 and
// split by panning (0 left, 1 right), with products >> 15. The sum saturates at 16 bits. A
// one-shot sample that reaches its end clears the channel's sound and stops it; a looping one
// wraps by its length.
class nSMixMixer : public nMixer
{
public:
    // output: the device; NULL makes the platform's own (owned either way).
    nSMixMixer(nMixerSlot* slot, bool makeCurrent, nAudioQueue* output = 0);
    ~nSMixMixer() override;  // Close when open; a capture's header is finished either way

    bool Open() override;   // the device, unless a WAV file is open; logs why it failed
    void Close() override;  // stops every channel, finishes the WAV file, closes the device
    void SetListener(const nVector*, const nVector*, const nMatrix3*) override {}
    bool ChannelStart(int32_t channel, nSound* sound) override;
    bool ChannelStop(int32_t channel) override;
    void ChannelPause(int32_t channel) override {}
    void ChannelResume(int32_t channel) override {}
    int32_t ChannelGetState(int32_t channel) override;  // stopped or playing; invalid outside 0..63
    bool UploadSample(nSound* sound) override;          // attaches nothing; false when closed, NULL or data attached
    void FreeSample(nSound* sound) override;            // stops the channels playing it, deletes foreign data
    void SetGain(float gain) override { m_gain = gain; }
    float GetGain() override { return m_gain; }
    bool ChannelOpenStream(int32_t channel, const mvx_AudioFormat&) override { return true; }
    void ChannelUpdateStream(int32_t channel) override {}
    void ChannelCloseStream(int32_t channel) override {}
    void Update() override;  // mixes into the device's buffers or the WAV file

    // Creates the capture file and writes its header; from then on Update writes the mix there.
    // False with "Failed to open WAV file '<path>'." when it cannot be created.
    bool OpenWavFile(const char* path);
    // Bytes mixed per Update from a frame time: ticks x 48000 / 10000 x 4. Until it is set the
    // WAV file gets 16 KB per Update; a frame of no time (a paused game) then writes nothing.
    // The device is always fed at least 16 KB buffers without a step. Logs "Fixed mixer step: ..."
    // when the step changes.
    void SetFixedStep(int32_t ticks);
    int32_t GetFixedStep() const { return m_fixedStep; }  // -1 none
    bool IsWritingWav() const { return m_wav.IsOpen(); }
    int32_t GetWavDataBytes() const { return m_wavDataBytes; }

    // Mixes bytes / 4 output frames of every playing channel into destination (zeroed first),
    // advancing the channels. For Update, tests and the benchmark.
    void Mix(int16_t* destination, int32_t bytes);

    const nSMixPlayRecord& GetPlayRecord(int32_t channel) const { return m_play[IsValidChannel(channel) ? channel : 0]; }

private:
    void UpdateWav();
    void UpdateDevice();
    void FinishWav();
    void StopPlayback(int32_t channel);  // state stopped; the sound pointer stays

    float m_gain;
    int32_t m_fixedStep;  // bytes, -1 none
    nIOFile m_wav;
    int32_t m_riffSizePosition;
    int32_t m_dataSizePosition;
    int32_t m_wavDataBytes;
    nAudioQueue* m_output;  // owned
    int32_t m_fill;         // bytes mixed into the buffer being filled
    uint8_t m_buffer[kSMixBufferBytes];
    nSMixPlayRecord m_play[kMixerChannelCount];
};

#endif
