#ifndef N_MIXER_H
#define N_MIXER_H

#include <cstdint>

#include "core/nMatrix.h"
#include "core/nVector.h"
#include "audio/mixer/nMixerSlot.h"

class nSound;
class nMixerStreamInterface;
struct mvx_AudioFormat;

const int32_t kMixerChannelCount = 64;  // channels 0 to 63; -1 means no channel

enum nMixerLoopMode
{
    MixerLoopNone = 0,
    MixerLoopRepeat = 1
};

// Result of nMixer::ChannelGetState.
enum nMixerChannelState
{
    MixerChannelInvalid = 0,
    MixerChannelStopped = 1,  // also a channel that never played
    MixerChannelPlaying = 2,
    MixerChannelPaused = 3
};

// One channel of a mixer: one sample or one stream, with its playback parameters.
struct nMixerChannel
{
    nSound* sound;                  // last sample given to ChannelStart; not owned
    bool lock;                      // reserved by a script; never handed out by FindFreeChannel
    int32_t loopMode;               // nMixerLoopMode
    int32_t loopPosition;           // milliseconds: where a looping stream restarts
    nMixerStreamInterface* stream;  // owned by the channel; released by the mixer's ChannelStop
    float pitch;                    // playback rate factor
    float gain;                     // channel volume factor
    float panning;                  // 0 full left, 1 full right
    nVector position;               // kept for positional sound; no mixer reads them
    nVector velocity;
    nMatrix3 orientation;

    nMixerChannel();  // no sound or stream, unlocked, pitch 1, gain 1, panning 0.5, loop 0
};

// The one interface through which the engine, the player and the scripts play sound: 64 channels,
// each playing one sample or one stream, over an output device that Open and Close bracket. A
// mixer that is not open refuses ChannelStart, UploadSample and FreeSample.
//
// Channel numbers outside 0..63 are ignored by every operation here: setters do nothing, queries
// answer as for a free, unlocked channel without a sound (false, NULL).
class nMixer
{
public:
    // Makes this mixer the slot's current mixer when makeCurrent is set (slot may be NULL: the
    // engine hub, or no engine at all).
    nMixer(nMixerSlot* slot, bool makeCurrent);
    nMixer(const nMixer&) = delete;
    nMixer& operator=(const nMixer&) = delete;

    // The virtual operations, in their fixed order.
    virtual bool Open() = 0;  // opens the output device
    virtual void Close() = 0;
    virtual void SetListener(const nVector* position, const nVector* velocity,
                             const nMatrix3* orientation) = 0;  // any may be NULL
    virtual bool ChannelStart(int32_t channel, nSound* sound) = 0;
    virtual bool ChannelStop(int32_t channel) = 0;
    virtual void ChannelPause(int32_t channel) = 0;
    virtual void ChannelResume(int32_t channel) = 0;
    virtual int32_t ChannelGetState(int32_t channel) = 0;  // nMixerChannelState
    // Attaches the mixer's data to the sound; false when not open, for NULL or a sound that
    // already has mixer data.
    virtual bool UploadSample(nSound* sound) = 0;
    // Deletes the sound's mixer data and clears its pointer; nothing when not open, for NULL or
    // a sound without mixer data.
    virtual void FreeSample(nSound* sound) = 0;
    virtual void SetGain(float gain) = 0;  // master gain
    virtual float GetGain() = 0;
    virtual bool ChannelOpenStream(int32_t channel, const mvx_AudioFormat& format) = 0;
    virtual void ChannelUpdateStream(int32_t channel) = 0;             // moves decoded sound to the output
    virtual void ChannelCloseStream(int32_t channel) = 0;              // frees the mixer's stream resources
    virtual void ChannelSetPitch(int32_t channel, float pitch);        // stores it
    virtual void ChannelSetGain(int32_t channel, float gain);          // stores it
    virtual void ChannelSetPanning(int32_t channel, float panning);    // stores it
    virtual void ChannelSetLoopMode(int32_t channel, int32_t mode);    // stores it
    virtual void ChannelSetLoopPosition(int32_t channel, int32_t ms);  // stores it
    // Once per frame, for each channel with a stream: ChannelUpdateStream, then under the stream
    // lock a finished stream is released once its channel stopped, and an ended one seeks to the
    // loop position (loop mode 1) or is marked finished.
    virtual void Update();
    virtual void Reserved() {}            // kept in the order; nothing calls it
    virtual void ResumeStreamChannels();  // ChannelResume on every channel with a stream
    // The engine's null mixer leaves the engine without a current mixer; any other current mixer
    // hands the engine back to the null mixer. Closing the device is each mixer's own business.
    virtual ~nMixer();

    int32_t FindFreeChannel();             // first stopped channel without stream or lock; -1 and "All channels in use." otherwise
    int32_t SoundStart(nSound* sound);     // ChannelStart on a free channel: the channel, or -1
    int32_t ChannelLock();                 // locks a free channel: the channel, or -1
    bool ChannelTryLock(int32_t channel);  // false when already locked
    void ChannelUnlock(int32_t channel);
    bool ChannelIsLocked(int32_t channel) const;
    void ChannelUnlockAll();
    void ChannelStopAll();  // ChannelStop on channels 0 to 63 in order
    nSound* ChannelGetSound(int32_t channel) const;
    // Streams by content name: the channel gets a stream interface whose decoder thread decodes
    // the content ahead. A content that does not open leaves the channel without a stream and
    // logs "Failed to open content stream.".
    int32_t StreamStart(const char* name);  // OpenStream on a free channel: the channel, or -1
    bool OpenStream(int32_t channel, const char* name);
    bool ChannelStartStream(int32_t channel, const char* name) { return OpenStream(channel, name); }
    void Mute();    // saves the gain (unless muted already) and sets 0
    void Unmute();  // restores the saved gain (1 when never muted)

    bool IsOpen() const { return m_open; }
    bool IsMuted() const { return m_muted; }
    float GetSavedGain() const { return m_savedGain; }
    nMixerSlot* GetSlot() const { return m_slot; }
    const nMixerChannel* GetChannel(int32_t channel) const;  // NULL outside 0..63

    static bool IsValidChannel(int32_t channel) { return channel >= 0 && channel < kMixerChannelCount; }

protected:
    nMixerChannel* EditChannel(int32_t channel);  // NULL outside 0..63
    void DeleteChannelStream(int32_t channel);    // the channel's stream interface (its thread joined) goes

    nMixerSlot* m_slot;  // where this mixer is made current; not owned
    bool m_open;
    nMixerChannel m_channels[kMixerChannelCount];
    bool m_muted;
    float m_savedGain;
};

#endif
