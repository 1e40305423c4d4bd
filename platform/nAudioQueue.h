#ifndef N_AUDIOQUEUE_H
#define N_AUDIOQUEUE_H

#include <cstdint>
#include <string>

// The sound output device of the software mixer: 16-bit signed stereo PCM at a fixed rate,
// played from a queue the owner appends finished buffers to (SDL2's audio queue, no callback
// thread). Main thread only. Every failure is returned, never logged: GetError tells why, and
// the owner writes its own log line. Virtual so that tests hand the mixer a device of their own.
class nAudioQueue
{
public:
    nAudioQueue();
    virtual ~nAudioQueue();  // Close
    nAudioQueue(const nAudioQueue&) = delete;
    nAudioQueue& operator=(const nAudioQueue&) = delete;

    // Opens the default output for rate frames per second of 16-bit stereo and starts it
    // playing; false (GetError says why) when the audio system or the device cannot start.
    virtual bool Open(int32_t rate);
    virtual void Close();                                  // drops what is queued; nothing when closed
    virtual bool Queue(const void* data, uint32_t bytes);  // appends a copy; false when closed or refused
    virtual uint32_t GetQueuedBytes() const;               // not yet played; 0 when closed
    bool IsOpen() const { return m_device != 0; }
    const std::string& GetError() const { return m_error; }

protected:
    uint32_t m_device;  // SDL audio device id, 0 closed
    std::string m_error;
};

#endif
