#ifndef N_MIXERSTREAMINTERFACE_H
#define N_MIXERSTREAMINTERFACE_H

#include <atomic>
#include <cstdint>
#include <vector>

#include "audio/mivox/mvx_AudioOutput.h"
#include "audio/mixer/nRingBuffer.h"
#include "core/nMutex.h"
#include "core/nThread.h"

class mvx_Stream;
class nMixer;
class nMixerStreamInterface;

const int32_t kStreamRingBlockBytes = 4096;
const int32_t kStreamRingBlocks = 8;
const int32_t kStreamDecodeSleepMs = 5;

// Decodes its interface's stream ahead: Decode(1) under the stream lock, then 5 ms of sleep,
// while the run flag is set.
class nMixerStreamDecoderThread : public nThread
{
public:
    explicit nMixerStreamDecoderThread(nMixerStreamInterface* owner) : m_run(true), m_owner(owner) {}
    ~nMixerStreamDecoderThread() override;  // stops and waits

    void Stop() { m_run.store(false); }
    bool IsRunFlagSet() const { return m_run.load(); }

protected:
    bool Run() override;

private:
    std::atomic<bool> m_run;
    nMixerStreamInterface* m_owner;
};

// A mixer channel's stream: owns the mvx_Stream and is its audio output. The decoder thread
// writes 16-bit stereo PCM into the ring (8 blocks of 4096 bytes) under the ring lock, inside a
// Decode step under the stream lock; the mixer drains the ring on the main thread, holding only
// the ring lock. Sound that does not fit the ring is kept and written first at the next step,
// and the stream demuxes no further until it is written, so nothing decoded is dropped.
class nMixerStreamInterface : public mvx_AudioOutput
{
public:
    nMixerStreamInterface(nMixer* mixer, int32_t channel);
    // Stops the thread and waits for it (one Decode step and 5 ms at most), logs "Stream
    // interface decoder thread joined.", then closes the stream.
    ~nMixerStreamInterface() override;
    nMixerStreamInterface(const nMixerStreamInterface&) = delete;
    nMixerStreamInterface& operator=(const nMixerStreamInterface&) = delete;

    // Makes the stream (no video output, this audio output), opens name on it and opens the
    // mixer's side of the channel with the stream's format. False (stream deleted) on failure.
    bool OpenContent(const char* name);
    bool StartThread();  // creates the decoder thread suspended, then resumes it

    mvx_Stream* LockStream();  // takes the stream lock; the stream (NULL before OpenContent)
    void UnlockStream();
    nRingBuffer* LockRing(bool alreadyLocked = false);
    void UnlockRing(bool alreadyLocked = false);

    // The audio output, on the decoder thread.
    void WritePCM(const uint8_t* data, int32_t bytes, int32_t time) override;
    bool IsBufferHalfFull() override;  // more than half the ring used, or sound still kept back
    bool SupportsGapless() override { return false; }

    // One step of the decoder thread: kept-back sound into the ring, then Decode(1). Under the stream lock.
    void DecodeStep();

    int32_t GetChannel() const { return m_channel; }
    bool IsFinished() const { return m_finished; }
    void SetFinished(bool on) { m_finished = on; }
    bool IsReleased() const { return m_released; }
    void SetReleased() { m_released = true; }
    int32_t GetKeptBytes() const { return (int32_t)m_kept.size(); }
    nMixerStreamDecoderThread& GetThread() { return m_thread; }

private:
    void FlushKept();  // under the ring lock

    nMixer* m_mixer;       // not owned
    mvx_Stream* m_stream;  // owned
    nMutex m_streamLock;
    nRingBuffer m_ring;
    nMutex m_ringLock;
    int32_t m_channel;
    bool m_finished;              // main thread: the stream ended and does not loop
    bool m_released;              // main thread: the mixer's side was closed once
    std::vector<uint8_t> m_kept;  // decoder thread, under the stream lock
    nMixerStreamDecoderThread m_thread;
};

#endif
