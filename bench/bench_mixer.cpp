// The software mixer mixing 64 channels for one second of output (48000 stereo frames) beside
// SDL_MixAudioFormat doing the same mixes: 64 one-second 16-bit stereo sounds at the output rate,
// added into one buffer with saturation. A third case mixes the same channels at pitch 1.3, where
// every frame is interpolated (SDL has no such mix). Target: the software mixer at most 1.5x the
// time of SDL's mix.
#include <benchmark/benchmark.h>

#include <SDL.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "audio/soft/nSMixMixer.h"
#include "platform/nAudioQueue.h"
#include "resources/nSound.h"

namespace {

const int32_t kFrames = 48000;  // one second of output

class QuietDevice : public nAudioQueue
{
public:
    bool Open(int32_t) override
    {
        m_device = 1;
        return true;
    }
    void Close() override { m_device = 0; }
};

// 64 sounds of one second of stereo noise each.
struct Sounds
{
    Sounds()
    {
        uint32_t seed = 12345;
        for (int32_t c = 0; c < kMixerChannelCount; ++c) {
            std::unique_ptr<nSound> s(new nSound(0));
            int16_t* pcm = reinterpret_cast<int16_t*>(s->GetSamples().Allocate(kFrames, nSampleFormat(2, 48000, 16)));
            for (int32_t i = 0; i < 2 * kFrames; ++i) {
                seed = seed * 1664525u + 1013904223u;
                pcm[i] = (int16_t)((int32_t)(seed >> 16) - 32768) / 16;
            }
            sounds.push_back(std::move(s));
        }
    }
    std::vector<std::unique_ptr<nSound>> sounds;
};

Sounds& Shared()
{
    static Sounds s;
    return s;
}

void MixWithSoftwareMixer(benchmark::State& state, float pitch)
{
    Sounds& sounds = Shared();
    nSMixMixer mixer(0, false, new QuietDevice());
    mixer.Open();
    std::vector<int16_t> out(2 * kFrames);
    for (auto _ : state) {
        for (int32_t c = 0; c < kMixerChannelCount; ++c) {
            mixer.ChannelSetPitch(c, pitch);
            mixer.ChannelStart(c, sounds.sounds[c].get());
        }
        mixer.Mix(out.data(), kFrames * 4);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrames * kMixerChannelCount);
}

void BM_SoftwareMixer64Channels(benchmark::State& state) { MixWithSoftwareMixer(state, 1.0f); }
void BM_SoftwareMixer64ChannelsInterpolated(benchmark::State& state) { MixWithSoftwareMixer(state, 1.3f); }

void BM_SDLMixAudioFormat64Channels(benchmark::State& state)
{
    Sounds& sounds = Shared();
    std::vector<int16_t> out(2 * kFrames);
    for (auto _ : state) {
        std::fill(out.begin(), out.end(), 0);
        for (int32_t c = 0; c < kMixerChannelCount; ++c)
            SDL_MixAudioFormat(reinterpret_cast<Uint8*>(out.data()), sounds.sounds[c]->GetSamples().GetData(),
                               AUDIO_S16SYS, kFrames * 4, SDL_MIX_MAXVOLUME);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrames * kMixerChannelCount);
}

}

BENCHMARK(BM_SoftwareMixer64Channels)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SDLMixAudioFormat64Channels)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SoftwareMixer64ChannelsInterpolated)->Unit(benchmark::kMillisecond);
