#ifndef N_SOUND_H
#define N_SOUND_H

#include <cstddef>
#include <cstdint>

#include "core/nString.h"

class nOrvex;
class nMixerData;

// Layout of interleaved PCM samples.
struct nSampleFormat
{
    int32_t reserved;  // always 0
    int32_t channels;  // interleaved channels
    int32_t rate;      // frames per second
    uint8_t bits;      // bits per sample of one channel

    nSampleFormat() : reserved(0), channels(2), rate(48000), bits(16) {}
    nSampleFormat(int32_t c, int32_t r, uint8_t b) : reserved(0), channels(c), rate(r), bits(b) {}
};

// Largest sample block: beyond it an allocation is refused as out of memory.
const size_t kMaxSampleBytes = (size_t)1 << 31;

// count frames of interleaved little-endian PCM: count x channels x bits / 8 bytes, or no data.
class nSampleBuffer
{
public:
    nSampleBuffer();  // no data, 2 channels, 48000 Hz, 16 bits
    ~nSampleBuffer();
    nSampleBuffer(const nSampleBuffer&) = delete;
    nSampleBuffer& operator=(const nSampleBuffer&) = delete;

    // Frees the old data, takes the format and allocates count frames (zero-filled). On failure
    // (also for a format of no whole bytes per frame or more than kMaxSampleBytes) logs "Failed to
    // allocate raw PCM sample buffer." and returns NULL with no data and count 0.
    uint8_t* Allocate(uint32_t count, const nSampleFormat& format);
    void Free();  // no data, count 0; the format stays

    uint32_t GetCount() const { return m_count; }
    uint8_t* GetData() const { return m_data; }
    const nSampleFormat& GetFormat() const { return m_format; }
    size_t GetByteSize() const;      // bytes of the data; 0 without data
    uint32_t GetFrameBytes() const;  // channels x bits / 8

private:
    uint32_t m_count;
    uint8_t* m_data;
    nSampleFormat m_format;
};

// A sound sample in memory with the data the current mixer attaches when it is set up. Made by the
// engine's sound loader and owned by a resource cache's sound list.
class nSound
{
public:
    explicit nSound(nOrvex* engine);  // no samples, empty name and path, no mixer data
    // Tells the core listeners (destroying, then destroyed) around the current mixer's FreeSample.
    ~nSound();
    nSound(const nSound&) = delete;
    nSound& operator=(const nSound&) = delete;

    // Reads a WAV file into the sound. False without a log line when the file does not exist;
    // "No sample decoder for '<path>'!" when it cannot be decoded.
    static bool LoadSample(nSound* sound, const char* path);

    // "Sound Setup" to the engine's progress interface, then the current mixer's UploadSample;
    // its answer, or false without an engine or a current mixer.
    bool Setup();

    nSampleBuffer& GetSamples() { return m_samples; }
    const nSampleBuffer& GetSamples() const { return m_samples; }
    nOrvex* GetEngine() const { return m_engine; }
    const nString& GetName() const { return m_name; }
    void SetName(const char* name) { m_name.Set(name); }
    const nString& GetPath() const { return m_path; }
    void SetPath(const char* path) { m_path.Set(path); }
    nMixerData* GetMixerData() const { return m_mixerData; }
    void SetMixerData(nMixerData* data) { m_mixerData = data; }  // the sound owns it from then on

private:
    nSampleBuffer m_samples;
    nOrvex* m_engine;         // not owned
    nString m_name;           // cache key
    nString m_path;           // file the samples came from
    nMixerData* m_mixerData;  // owned; attached and removed by the mixer
};

// Reads a RIFF/WAVE file of integer PCM (whole bytes per sample) into the sound's samples and logs
// its format. False, with the sound left without samples, when the file is missing or not
// RIFF/WAVE (both silent), damaged, not PCM, or lacks a format or a data chunk (one error line).
bool DecodeWAV(const char* path, nSound* sound);

#endif
