#include "audio/mixer/nMixerStreamInterface.h"

#include <new>

#include "audio/mivox/mvx_Stream.h"
#include "audio/mixer/nMixer.h"
#include "core/nCategory.h"
#include "core/nLog.h"

nMixerStreamDecoderThread::~nMixerStreamDecoderThread()
{
    Stop();
    Wait();
}

bool nMixerStreamDecoderThread::Run()
{
    while (m_run.load()) {
        m_owner->DecodeStep();
        nSleep(kStreamDecodeSleepMs);
    }
    return true;
}

nMixerStreamInterface::nMixerStreamInterface(nMixer* mixer, int32_t channel)
    : m_mixer(mixer), m_stream(0), m_channel(channel), m_finished(false), m_released(false), m_thread(this)
{
    m_ring.Init(kStreamRingBlockBytes, kStreamRingBlocks, 0);
}

nMixerStreamInterface::~nMixerStreamInterface()
{
    m_thread.Stop();
    m_thread.Wait();
    *g_log << "Stream interface decoder thread joined.\n";
    if (m_stream) {
        m_stream->StreamClose();
        delete m_stream;
    }
    m_stream = 0;
}

bool nMixerStreamInterface::OpenContent(const char* name)
{
    nCategoryScope category(CategoryMixer);
    mvx_Stream* stream = new (std::nothrow) mvx_Stream(0, this);
    if (!stream) {
        *g_log << "[!] Failed to allocate stream.\n";
        return false;
    }
    bool opened;
    {
        nMutexScope lock(m_streamLock);
        m_stream = stream;
        opened = stream->Open(name, false);
        if (!opened) m_stream = 0;
    }
    if (!opened || !m_mixer->ChannelOpenStream(m_channel, stream->GetAudioFormat())) {
        nMutexScope lock(m_streamLock);
        m_stream = 0;
        delete stream;
        return false;
    }
    return true;
}

bool nMixerStreamInterface::StartThread()
{
    if (!m_thread.Start()) return false;
    m_thread.Resume();
    return true;
}

mvx_Stream* nMixerStreamInterface::LockStream()
{
    m_streamLock.Lock();
    return m_stream;
}

void nMixerStreamInterface::UnlockStream()
{
    m_streamLock.Unlock();
}

nRingBuffer* nMixerStreamInterface::LockRing(bool alreadyLocked)
{
    if (!alreadyLocked) m_ringLock.Lock();
    return &m_ring;
}

void nMixerStreamInterface::UnlockRing(bool alreadyLocked)
{
    if (!alreadyLocked) m_ringLock.Unlock();
}

void nMixerStreamInterface::FlushKept()
{
    if (m_kept.empty()) return;
    const int32_t left = m_ring.Write(m_kept.data(), (int32_t)m_kept.size());
    m_kept.erase(m_kept.begin(), m_kept.end() - left);
}

void nMixerStreamInterface::WritePCM(const uint8_t* data, int32_t bytes, int32_t)
{
    if (!data || bytes <= 0) return;
    nMutexScope lock(m_ringLock);
    FlushKept();
    int32_t left = bytes;
    if (m_kept.empty()) left = m_ring.Write(data, bytes);
    m_kept.insert(m_kept.end(), data + (bytes - left), data + bytes);
}

bool nMixerStreamInterface::IsBufferHalfFull()
{
    nMutexScope lock(m_ringLock);
    FlushKept();
    return !m_kept.empty() || m_ring.GetUsedPercent() > 50;
}

void nMixerStreamInterface::DecodeStep()
{
    nMutexScope lock(m_streamLock);
    if (!m_stream) return;
    {
        nMutexScope ring(m_ringLock);
        FlushKept();
    }
    m_stream->Decode(1);
}
