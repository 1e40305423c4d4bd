#include "resources/nSound.h"

#include <cstdint>
#include <cstdlib>

#include "audio/mixer/nMixer.h"
#include "audio/mixer/nMixerData.h"
#include "core/nIO.h"
#include "core/nLog.h"
#include "hub/nCoreListener.h"
#include "hub/nOrvex.h"

nSampleBuffer::nSampleBuffer()
    : m_count(0), m_data(0)
{
}

nSampleBuffer::~nSampleBuffer()
{
    Free();
}

void nSampleBuffer::Free()
{
    std::free(m_data);
    m_data = 0;
    m_count = 0;
}

uint32_t nSampleBuffer::GetFrameBytes() const
{
    if (m_format.channels <= 0) return 0;
    return (uint32_t)m_format.channels * m_format.bits / 8u;
}

size_t nSampleBuffer::GetByteSize() const
{
    return m_data ? (size_t)m_count * GetFrameBytes() : 0;
}

uint8_t* nSampleBuffer::Allocate(uint32_t count, const nSampleFormat& format)
{
    Free();
    m_format = format;
    uint64_t frameBytes = format.channels > 0 ? (uint64_t)format.channels * format.bits / 8u : 0;
    // An empty sample still gets a block, so that "has data" and "allocation failed" stay apart.
    if (frameBytes != 0 && (uint64_t)count <= kMaxSampleBytes / frameBytes) {
        size_t bytes = (size_t)(count * frameBytes);
        m_data = (uint8_t*)std::calloc(1, bytes ? bytes : 1);
    }
    if (!m_data) {
        *g_log << "[!] Failed to allocate raw PCM sample buffer.\n";
        return 0;
    }
    m_count = count;
    return m_data;
}

nSound::nSound(nOrvex* engine)
    : m_engine(engine), m_mixerData(0)
{
}

nSound::~nSound()
{
    if (m_engine) {
        nCoreEventRecord record;
        record.sound = this;
        m_engine->NotifyCoreListeners(CoreEventResourceDestroying, &record);
        if (nMixer* mixer = m_engine->GetMixer()) mixer->FreeSample(this);
        m_engine->NotifyCoreListeners(CoreEventResourceDestroyed, &record);
    }
    // Data a closed mixer could not take back is still the sound's own.
    delete m_mixerData;
    m_mixerData = 0;
}

bool nSound::LoadSample(nSound* sound, const char* path)
{
    if (!sound || !path || !nIO::Exists(path)) return false;
    if (DecodeWAV(path, sound)) return true;
    *g_log << "[!] No sample decoder for '" << path << "'!\n";
    return false;
}

bool nSound::Setup()
{
    if (!m_engine) return false;
    if (nOrvex::EventInterface* events = m_engine->GetEventInterface()) events->OnMessage("Sound Setup");
    nMixer* mixer = m_engine->GetMixer();
    return mixer ? mixer->UploadSample(this) : false;
}
