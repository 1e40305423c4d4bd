#include "audio/mivox/mvx_Stream.h"

#include <new>

#include "audio/mivox/mvx_Demuxer.h"
#include "audio/mivox/mvx_MPADemuxer.h"
#include "audio/mivox/mvx_OVDemuxer.h"
#include "audio/mivox/mvx_PSDemuxer.h"
#include "audio/mivox/mvx_VideoOutput.h"
#include "core/nLog.h"

namespace {

bool IsMPEGVideo(int32_t id) { return id == 2 || id == 3; }
bool IsMPEGAudio(int32_t id) { return id == 2 || id == 3 || id == 4; }

}

mvx_Stream::mvx_Stream(mvx_VideoOutput* video, mvx_AudioOutput* audio)
    : m_ended(0), m_state(StreamClosed), m_videoTime(0), m_videoDemuxer(0), m_audioDemuxer(0),
      m_videoOutput(video), m_audioOutput(audio), m_audioDecoderId(0), m_videoDecoderId(0),
      m_audioFormat{0, 0, 0}, m_framePeriod(kStreamFramePeriod), m_duration(0.0f),
      m_audioWarned(false), m_videoWarned(false), m_videoUndecodable(false)
{
}

mvx_Stream::~mvx_Stream()
{
    StreamClose();
}

// No decoder exists for any id, so nothing is ever remembered as selected: the MPEG ids are
// reported once per opening and give false.
bool mvx_Stream::SelectVideoDecoder(int32_t id)
{
    m_videoDecoderId = 0;
    if (IsMPEGVideo(id)) {
        m_videoUndecodable = true;
        if (!m_videoWarned)
            *g_log << "[*] (SelectVideoDecoder) Mivox built with no MPEG I/II video support.\n";
        m_videoWarned = true;
        return false;
    }
    m_videoDecoderId = id;
    return false;
}

bool mvx_Stream::SelectAudioDecoder(int32_t id)
{
    if (!m_audioOutput) return false;
    m_audioDecoderId = 0;
    if (IsMPEGAudio(id)) {
        if (!m_audioWarned)
            *g_log << "[!] (SelectAudioDecoder) Mivox built with no MPEG I/II/III audio support.\n";
        m_audioWarned = true;
        return false;
    }
    m_audioDecoderId = id;
    return false;
}

bool mvx_Stream::PushVideoPacket(int32_t id, const uint8_t*, const uint8_t*, int32_t)
{
    return SelectVideoDecoder(id);
}

bool mvx_Stream::PushAudioPacket(int32_t id, const uint8_t*, const uint8_t*, int32_t)
{
    return SelectAudioDecoder(id);
}

mvx_Demuxer* mvx_Stream::ProbeDemuxer(nIOFile* file)
{
    mvx_Demuxer* candidates[3] = {
        new (std::nothrow) mvx_PSDemuxer(file),
        new (std::nothrow) mvx_MPADemuxer(file),
        new (std::nothrow) mvx_OVDemuxer(file),
    };
    mvx_Demuxer* found = 0;
    for (mvx_Demuxer* candidate : candidates) {
        if (!found && candidate && candidate->Open(this)) {
            found = candidate;
            continue;
        }
        if (candidate && !found) file->Seek(0, 0);
        delete candidate;
    }
    if (!found) *g_log << "[!] No suitable demuxer for stream.\n";
    return found;
}

void mvx_Stream::ResetEnded()
{
    m_ended = 0;
    if (!m_audioOutput) m_ended |= StreamAudioEnded;
    if (!m_videoOutput) m_ended |= StreamVideoEnded;
}

bool mvx_Stream::Open(const char* name, bool scan)
{
    StreamClose();
    if (!name) return false;
    *g_log << "[H] Opening stream '" << name << "'.\n";
    m_audioWarned = m_videoWarned = m_videoUndecodable = false;
    if (m_videoOutput) {
        if (!m_videoFile.Open(name, true, false, false)) return false;
        m_videoDemuxer = ProbeDemuxer(&m_videoFile);
        if (!m_videoDemuxer) return false;
        m_videoDemuxer->AddPath(DemuxerFeedsVideo);
        *g_log << "SelectVideoDemuxer(): Using '" << m_videoDemuxer->GetName() << "'.\n";
    }
    if (m_audioOutput) {
        if (!m_audioFile.Open(name, true, false, false)) return false;
        m_audioDemuxer = ProbeDemuxer(&m_audioFile);
        if (!m_audioDemuxer) return false;
        m_audioDemuxer->AddPath(DemuxerFeedsAudio);
        *g_log << "SelectAudioDemuxer(): Using '" << m_audioDemuxer->GetName() << "'.\n";
    }
    if ((m_videoDemuxer && !m_videoDemuxer->Setup(this, scan)) ||
        (m_audioDemuxer && !m_audioDemuxer->Setup(this, scan))) {
        *g_log << "[!] No demuxer found for this stream.\n";
        return false;
    }
    m_audioDecoderId = m_videoDecoderId = 0;
    m_videoTime = 0;
    m_state = StreamDecoding;
    ResetEnded();
    Prefill();
    return true;
}

void mvx_Stream::CheckEnded()
{
    if ((m_ended & (StreamAudioEnded | StreamVideoEnded)) == (StreamAudioEnded | StreamVideoEnded))
        m_state = StreamEnded;
}

void mvx_Stream::DemuxVideo()
{
    if (!m_videoDemuxer || !m_videoOutput) return;
    while (!(m_ended & StreamVideoEnded) && !m_videoOutput->FramePending()) {
        if (m_videoDemuxer->Demux(this) || m_videoUndecodable) m_ended |= StreamVideoEnded;
    }
    CheckEnded();
}

void mvx_Stream::DemuxAudio()
{
    if (!m_audioDemuxer || !m_audioOutput) return;
    while (!(m_ended & StreamAudioEnded) && !m_audioOutput->IsBufferHalfFull()) {
        if (m_audioDemuxer->Demux(this)) m_ended |= StreamAudioEnded;
    }
    CheckEnded();
}

void mvx_Stream::Prefill()
{
    DemuxVideo();
    DemuxAudio();
}

bool mvx_Stream::Decode(int32_t ticks)
{
    if (ticks <= 0) return false;
    if (ticks > kStreamMaxTicks) ticks = kStreamMaxTicks;
    if (m_audioOutput && m_audioDemuxer) {
        DemuxAudio();
        m_audioOutput->StepDone();
    }
    if (m_videoOutput && m_videoDemuxer) {
        m_videoTime -= ticks;
        while (m_videoTime < 0) {
            DemuxVideo();
            m_videoOutput->Present();
            m_videoTime += m_framePeriod;
        }
    }
    return true;
}

bool mvx_Stream::Seek(int32_t ms)
{
    if (m_videoDemuxer) m_videoDemuxer->Seek(this, ms);
    bool reached = m_audioDemuxer ? m_audioDemuxer->Seek(this, ms) : true;
    ResetEnded();
    m_state = StreamDecoding;
    return reached;
}

void mvx_Stream::Rewind()
{
    m_state = StreamDecoding;
    if (m_videoDemuxer) m_videoDemuxer->Reset();
    if (m_audioDemuxer) m_audioDemuxer->Reset();
    ResetEnded();
}

// A failed opening may leave demuxers and files behind in the closed state: they go too.
void mvx_Stream::StreamClose()
{
    const bool wasOpen = m_state != StreamClosed;
    if (wasOpen) *g_log << "StreamClose().\n"
                        << "\n";
    delete m_videoDemuxer;
    delete m_audioDemuxer;
    m_videoDemuxer = m_audioDemuxer = 0;
    m_audioDecoderId = m_videoDecoderId = 0;
    m_videoFile.Close();
    m_audioFile.Close();
    m_state = StreamClosed;
    if (!wasOpen) return;
    if (m_audioOutput) m_audioOutput->Reset();
    if (m_videoOutput) m_videoOutput->ClearPresentation();
}
