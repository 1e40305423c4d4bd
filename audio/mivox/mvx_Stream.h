#ifndef MVX_STREAM_H
#define MVX_STREAM_H

#include <cstdint>

#include "audio/mivox/mvx_AudioOutput.h"
#include "core/nIOFile.h"

class mvx_Demuxer;
class mvx_VideoOutput;

// Stream states.
enum mvx_StreamState
{
    StreamClosed = 0,
    StreamDecoding = 1,
    StreamEnded = 2
};

// Ended flags: a side without an output counts as ended.
enum mvx_StreamEnded
{
    StreamAudioEnded = 0x1,
    StreamVideoEnded = 0x2
};

const int32_t kStreamFramePeriod = 400;  // ticks (1/10000 s) per video frame: 25 frames a second
const int32_t kStreamMaxTicks = 1000;    // a Decode step covers at most this much time

// One media file pulled through the demuxer that recognises it into an audio output, a video
// output, or both. Times are engine ticks of 1/10000 s, except seek targets (milliseconds).
//
// No MPEG audio or video decoder is part of the system: packets of the MPEG demuxers are
// dropped after one line per side and opening. A video side whose packets no decoder takes
// counts as ended, so a video texture neither re-reads its file every frame nor rewinds it.
class mvx_Stream
{
public:
    mvx_Stream(mvx_VideoOutput* video, mvx_AudioOutput* audio);
    virtual bool SelectVideoDecoder(int32_t id);
    virtual bool SelectAudioDecoder(int32_t id);
    virtual ~mvx_Stream();  // StreamClose, then the demuxers and files go
    mvx_Stream(const mvx_Stream&) = delete;
    mvx_Stream& operator=(const mvx_Stream&) = delete;

    // Opens the file for each side with an output, probes its demuxer, sets them up (scan: the
    // program-stream demuxer reads the whole file for its duration) and prefills the outputs.
    bool Open(const char* name, bool scan);
    void StreamClose();
    bool Decode(int32_t ticks);  // false for ticks <= 0
    // Both demuxers seek; decoding resumes. False when the audio side could not reach the
    // target (a stream without an audio decoder to ask), so a looping channel ends instead.
    bool Seek(int32_t ms);
    void Rewind();
    // A packet for the decoder of that id (virtual: a decoder, or a test, takes them here).
    virtual bool PushVideoPacket(int32_t id, const uint8_t* start, const uint8_t* end, int32_t time);
    virtual bool PushAudioPacket(int32_t id, const uint8_t* start, const uint8_t* end, int32_t time);
    mvx_Demuxer* ProbeDemuxer(nIOFile* file);  // program stream, MPEG audio, Ogg Vorbis; NULL when none reads it

    int32_t GetState() const { return m_state; }
    uint32_t GetEnded() const { return m_ended; }
    const mvx_AudioFormat& GetAudioFormat() const { return m_audioFormat; }
    void SetAudioFormat(const mvx_AudioFormat& f) { m_audioFormat = f; }
    float GetDuration() const { return m_duration; }
    void SetDuration(float seconds) { m_duration = seconds; }
    int32_t GetVideoTime() const { return m_videoTime; }
    bool IsVideoUndecodable() const { return m_videoUndecodable; }
    mvx_AudioOutput* GetAudioOutput() const { return m_audioOutput; }
    mvx_VideoOutput* GetVideoOutput() const { return m_videoOutput; }
    mvx_Demuxer* GetAudioDemuxer() const { return m_audioDemuxer; }
    mvx_Demuxer* GetVideoDemuxer() const { return m_videoDemuxer; }

private:
    void ResetEnded();
    void Prefill();
    void DemuxAudio();  // until the output is half full or the audio ends
    void DemuxVideo();  // until a frame is pending or the video ends
    void CheckEnded();

    uint32_t m_ended;
    nIOFile m_videoFile;
    nIOFile m_audioFile;
    int32_t m_state;
    int32_t m_videoTime;
    mvx_Demuxer* m_videoDemuxer;
    mvx_Demuxer* m_audioDemuxer;
    mvx_VideoOutput* m_videoOutput;  // not owned
    mvx_AudioOutput* m_audioOutput;  // not owned
    int32_t m_audioDecoderId;
    int32_t m_videoDecoderId;
    mvx_AudioFormat m_audioFormat;
    int32_t m_framePeriod;
    float m_duration;
    bool m_audioWarned;  // the missing decoder was reported for this opening
    bool m_videoWarned;
    bool m_videoUndecodable;  // video packets arrived that no decoder takes
};

#endif
