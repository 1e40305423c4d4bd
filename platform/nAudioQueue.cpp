#include "platform/nAudioQueue.h"

#include <SDL.h>

nAudioQueue::nAudioQueue() : m_device(0)
{
}

nAudioQueue::~nAudioQueue()
{
    Close();
}

// The audio system starts with the first device and stays up for the process, like video.
bool nAudioQueue::Open(int32_t rate)
{
    Close();
    if (SDL_WasInit(SDL_INIT_AUDIO) == 0 && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        m_error = SDL_GetError();
        return false;
    }
    SDL_AudioSpec want;
    SDL_zero(want);
    want.freq = rate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = 0;  // queued, not pulled
    SDL_AudioSpec have;
    m_device = SDL_OpenAudioDevice(0, 0, &want, &have, 0);
    if (m_device == 0) {
        m_error = SDL_GetError();
        return false;
    }
    SDL_PauseAudioDevice(m_device, 0);
    m_error.clear();
    return true;
}

void nAudioQueue::Close()
{
    if (m_device == 0) return;
    SDL_ClearQueuedAudio(m_device);
    SDL_CloseAudioDevice(m_device);
    m_device = 0;
}

bool nAudioQueue::Queue(const void* data, uint32_t bytes)
{
    if (m_device == 0) return false;
    if (SDL_QueueAudio(m_device, data, bytes) != 0) {
        m_error = SDL_GetError();
        return false;
    }
    return true;
}

uint32_t nAudioQueue::GetQueuedBytes() const
{
    return m_device ? SDL_GetQueuedAudioSize(m_device) : 0;
}
