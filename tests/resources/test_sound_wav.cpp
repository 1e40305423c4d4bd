// Sample buffers and the WAV reader over files built here: chunk layouts, odd sizes and pad
// bytes, formats refused, damaged files.
#include "resources/nSound.h"
#include "tests/resources/nResourceTestSupport.h"
#include "tests/support/nLogCapture.h"

#include <gtest/gtest.h>

#include <random>

using Lines = std::vector<std::string>;

namespace {

// A RIFF/WAVE file built chunk by chunk; chunks of odd size get their pad byte unless told not to.
struct Wav
{
    Bytes body;

    Wav& Chunk(const char* id, const Bytes& data, bool pad = true)
    {
        PutText(body, id);
        PutU32(body, uint32_t(data.size()));
        PutBytes(body, data);
        if (pad && data.size() % 2) body.push_back(0);
        return *this;
    }
    // A chunk header that declares size bytes, followed by data (which may be shorter).
    Wav& Declared(const char* id, uint32_t size, const Bytes& data)
    {
        PutText(body, id);
        PutU32(body, size);
        PutBytes(body, data);
        return *this;
    }
    Bytes Build() const
    {
        Bytes b;
        PutText(b, "RIFF");
        PutU32(b, uint32_t(body.size() + 4));
        PutText(b, "WAVE");
        PutBytes(b, body);
        return b;
    }
};

Bytes Fmt(uint32_t channels, uint32_t rate, uint32_t bits, uint32_t tag = 1, const Bytes& extra = {})
{
    Bytes f;
    PutU16(f, tag);
    PutU16(f, channels);
    PutU32(f, rate);
    PutU32(f, rate * channels * bits / 8);
    PutU16(f, channels * bits / 8);
    PutU16(f, bits);
    PutBytes(f, extra);
    return f;
}

// The 24 bytes after a format block of tag 0xfffe: size 22, valid bits, channel mask, sub-format GUID.
Bytes Extensible(uint32_t bits, uint32_t subFormat)
{
    Bytes e;
    PutU16(e, 22);
    PutU16(e, bits);
    PutU32(e, 3);
    PutU16(e, subFormat);
    PutBytes(e, {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71});
    return e;
}

Bytes Ramp(size_t n)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t(i * 7 + 1);
    return b;
}

Bytes Prefix(const Bytes& b, size_t n) { return Bytes(b.begin(), b.begin() + n); }

class WavTest : public nMemoryFSTest
{};

}

// ---------------------------------------------------------------------------------------------
// Sample buffers

TEST(SampleBuffer, DefaultsAndAllocation)
{
    nSampleBuffer buffer;
    EXPECT_EQ(buffer.GetCount(), 0u);
    EXPECT_EQ(buffer.GetData(), nullptr);
    EXPECT_EQ(buffer.GetFormat().reserved, 0);
    EXPECT_EQ(buffer.GetFormat().channels, 2);
    EXPECT_EQ(buffer.GetFormat().rate, 48000);
    EXPECT_EQ(buffer.GetFormat().bits, 16);

    ASSERT_NE(buffer.Allocate(10, nSampleFormat(1, 8000, 8)), nullptr);
    EXPECT_EQ(buffer.GetCount(), 10u);
    EXPECT_EQ(buffer.GetByteSize(), 10u);
    EXPECT_EQ(buffer.GetFormat().rate, 8000);
    ASSERT_NE(buffer.Allocate(3, nSampleFormat(2, 44100, 24)), nullptr);
    EXPECT_EQ(buffer.GetByteSize(), 18u);
    EXPECT_EQ(Bytes(buffer.GetData(), buffer.GetData() + 18), Bytes(18, 0));
    ASSERT_NE(buffer.Allocate(0, nSampleFormat(2, 44100, 16)), nullptr);  // empty, but allocated
    EXPECT_EQ(buffer.GetByteSize(), 0u);

    buffer.Free();
    EXPECT_EQ(buffer.GetData(), nullptr);
    EXPECT_EQ(buffer.GetCount(), 0u);
}

TEST(SampleBuffer, RefusedAllocationsLeaveNoDataAndNoCount)
{
    struct Case
    {
        uint32_t count;
        nSampleFormat format;
    };
    const Case cases[] = {
        {0xffffffffu, nSampleFormat(65535, 48000, 32)},  // far beyond any sample
        {10, nSampleFormat(0, 48000, 16)},
        {10, nSampleFormat(1, 48000, 4)},
    };
    for (const Case& c : cases) {
        nSampleBuffer buffer;
        ASSERT_NE(buffer.Allocate(4, nSampleFormat(1, 8000, 8)), nullptr);
        nLogCapture log;
        EXPECT_EQ(buffer.Allocate(c.count, c.format), nullptr);
        EXPECT_EQ(log.Lines(), Lines{"[!] Failed to allocate raw PCM sample buffer.\n"});
        EXPECT_EQ(buffer.GetData(), nullptr);
        EXPECT_EQ(buffer.GetCount(), 0u);
    }
}

// ---------------------------------------------------------------------------------------------
// The reader

struct WavCase
{
    const char* name;
    Bytes file;
    bool ok;
    Lines log;  // the reader's own lines
    uint32_t frames;
    int32_t channels, rate, bits;
    Bytes samples;
};

std::vector<WavCase> WavCases()
{
    const Bytes pcm4000 = Ramp(4000);
    const Bytes pcm5 = Ramp(5);
    std::vector<WavCase> cases;
    cases.push_back({"16-bit stereo", Wav().Chunk("fmt ", Fmt(2, 44100, 16)).Chunk("data", pcm4000).Build(), true, {"Sample format: 44KHz@16bit, 2 channel(s).\n"}, 1000, 2, 44100, 16, pcm4000});
    cases.push_back({"8-bit mono, odd data with its pad byte, then a chunk",
                     Wav().Chunk("fmt ", Fmt(1, 22050, 8)).Chunk("data", pcm5).Chunk("LIST", Ramp(6)).Build(),
                     true,
                     {"Sample format: 22KHz@8bit, 1 channel(s).\n"},
                     5,
                     1,
                     22050,
                     8,
                     pcm5});
    cases.push_back({"18-byte format chunk", Wav().Chunk("fmt ", Fmt(2, 48000, 16, 1, {0, 0})).Chunk("data", Ramp(8)).Build(), true, {"[*] Unexpected WAV 'format' chunk size. Found 18, expected 16.\n", "Sample format: 48KHz@16bit, 2 channel(s).\n"}, 2, 2, 48000, 16, Ramp(8)});
    cases.push_back({"odd LIST chunks before and after the format",
                     Wav().Chunk("LIST", Ramp(7)).Chunk("fmt ", Fmt(1, 11025, 16)).Chunk("LIST", Ramp(3)).Chunk("data", Ramp(6)).Build(),
                     true,
                     {"Sample format: 11KHz@16bit, 1 channel(s).\n"},
                     3,
                     1,
                     11025,
                     16,
                     Ramp(6)});
    cases.push_back({"a data size of no whole frames keeps the whole ones",
                     Wav().Chunk("fmt ", Fmt(2, 44100, 16)).Chunk("data", Ramp(4003)).Chunk("LIST", Ramp(2)).Build(),
                     true,
                     {"Sample format: 44KHz@16bit, 2 channel(s).\n"},
                     1000,
                     2,
                     44100,
                     16,
                     Prefix(Ramp(4003), 4000)});
    cases.push_back({"extensible PCM", Wav().Chunk("fmt ", Fmt(2, 96000, 24, 0xfffe, Extensible(24, 1))).Chunk("data", Ramp(12)).Build(), true, {"[*] Unexpected WAV 'format' chunk size. Found 40, expected 16.\n", "Sample format: 96KHz@24bit, 2 channel(s).\n"}, 2, 2, 96000, 24, Ramp(12)});
    cases.push_back({"an empty data chunk", Wav().Chunk("fmt ", Fmt(1, 8000, 8)).Chunk("data", {}).Build(), true, {"Sample format: 8KHz@8bit, 1 channel(s).\n"}, 0, 1, 8000, 8, {}});
    cases.push_back({"a rate below 1000", Wav().Chunk("fmt ", Fmt(1, 999, 8)).Chunk("data", Ramp(2)).Build(), true, {"Sample format: 0KHz@8bit, 1 channel(s).\n"}, 2, 1, 999, 8, Ramp(2)});
    cases.push_back({"a missing pad byte at the very end", Wav().Chunk("fmt ", Fmt(1, 8000, 8)).Chunk("data", pcm5, false).Build(), true, {"Sample format: 8KHz@8bit, 1 channel(s).\n"}, 5, 1, 8000, 8, pcm5});

    // Refused.
    cases.push_back({"format without data", Wav().Chunk("fmt ", Fmt(2, 44100, 16)).Chunk("LIST", Ramp(4)).Build(), false, {"Sample format: 44KHz@16bit, 2 channel(s).\n"}, 0, 0, 0, 0, {}});
    cases.push_back({"data before format", Wav().Chunk("data", Ramp(8)).Chunk("fmt ", Fmt(2, 44100, 16)).Build(), false, {"[!] WAV 'data' chunk before 'format' chunk in 'x.wav'.\n"}, 0, 0, 0, 0, {}});
    cases.push_back({"no chunks at all", Wav().Build(), false, {}, 0, 0, 0, 0, {}});
    const char* mangled = "[!] Mangled WAV 'format' chunk in 'x.wav'.\n";
    cases.push_back({"0 channels", Wav().Chunk("fmt ", Fmt(0, 44100, 16)).Chunk("data", Ramp(8)).Build(), false, {mangled}, 0, 0, 0, 0, {}});
    cases.push_back({"4-bit samples", Wav().Chunk("fmt ", Fmt(1, 44100, 4)).Chunk("data", Ramp(8)).Build(), false, {mangled}, 0, 0, 0, 0, {}});
    cases.push_back({"12-bit samples", Wav().Chunk("fmt ", Fmt(1, 44100, 12)).Chunk("data", Ramp(8)).Build(), false, {mangled}, 0, 0, 0, 0, {}});
    cases.push_back({"rate 0", Wav().Chunk("fmt ", Fmt(1, 0, 16)).Chunk("data", Ramp(8)).Build(), false, {mangled}, 0, 0, 0, 0, {}});
    cases.push_back({"a 14-byte format chunk", Wav().Chunk("fmt ", Prefix(Fmt(1, 8000, 8), 14)).Chunk("data", Ramp(8)).Build(), false, {mangled}, 0, 0, 0, 0, {}});
    cases.push_back({"a format chunk cut by the end of the file", Wav().Declared("fmt ", 16, Prefix(Fmt(1, 8000, 8), 10)).Build(), false, {mangled}, 0, 0, 0, 0, {}});
    cases.push_back({"a data chunk cut by the end of the file",
                     Wav().Chunk("fmt ", Fmt(2, 44100, 16)).Declared("data", 4000, Ramp(100)).Build(),
                     false,
                     {"[!] mangled WAV 'data' chunk in 'x.wav'.\n"},
                     0,
                     0,
                     0,
                     0,
                     {}});
    cases.push_back({"a data chunk declaring 4 GB", Wav().Chunk("fmt ", Fmt(1, 8000, 8)).Declared("data", 0xffffffffu, Ramp(10)).Build(), false, {"[!] mangled WAV 'data' chunk in 'x.wav'.\n"}, 0, 0, 0, 0, {}});
    cases.push_back({"float samples", Wav().Chunk("fmt ", Fmt(1, 44100, 32, 3)).Chunk("data", Ramp(8)).Build(), false, {"[!] Unsupported WAV sample encoding (format 3) in 'x.wav'.\n"}, 0, 0, 0, 0, {}});
    cases.push_back({"ADPCM", Wav().Chunk("fmt ", Fmt(1, 44100, 4, 2, {2, 0, 0xf4, 0x01})).Chunk("data", Ramp(8)).Build(), false, {"[*] Unexpected WAV 'format' chunk size. Found 20, expected 16.\n", "[!] Unsupported WAV sample encoding (format 2) in 'x.wav'.\n"}, 0, 0, 0, 0, {}});
    cases.push_back({"extensible float", Wav().Chunk("fmt ", Fmt(2, 48000, 32, 0xfffe, Extensible(32, 3))).Chunk("data", Ramp(8)).Build(), false, {"[*] Unexpected WAV 'format' chunk size. Found 40, expected 16.\n", "[!] Unsupported WAV sample encoding (format 3) in 'x.wav'.\n"}, 0, 0, 0, 0, {}});
    cases.push_back({"extensible without its sub-format", Wav().Chunk("fmt ", Fmt(2, 48000, 16, 0xfffe, {0, 0})).Chunk("data", Ramp(8)).Build(), false, {"[*] Unexpected WAV 'format' chunk size. Found 18, expected 16.\n", mangled}, 0, 0, 0, 0, {}});
    // Not RIFF/WAVE at all: silent.
    Bytes notRiff = Wav().Chunk("fmt ", Fmt(1, 8000, 8)).Chunk("data", Ramp(4)).Build();
    notRiff[0] = 'X';
    cases.push_back({"not RIFF", notRiff, false, {}, 0, 0, 0, 0, {}});
    Bytes notWave = Wav().Chunk("fmt ", Fmt(1, 8000, 8)).Chunk("data", Ramp(4)).Build();
    notWave[11] = 'X';
    cases.push_back({"not WAVE", notWave, false, {}, 0, 0, 0, 0, {}});
    cases.push_back({"shorter than its header", Bytes{'R', 'I', 'F', 'F', 0, 0}, false, {}, 0, 0, 0, 0, {}});
    return cases;
}

TEST_F(WavTest, ChunkLayoutsAndFormats)
{
    for (const WavCase& c : WavCases()) {
        SCOPED_TRACE(c.name);
        Put("x.wav", c.file);
        nSound sound(nullptr);
        ASSERT_NE(sound.GetSamples().Allocate(3, nSampleFormat(1, 8000, 8)), nullptr);  // replaced or freed
        nLogCapture log;
        EXPECT_EQ(DecodeWAV("x.wav", &sound), c.ok);
        EXPECT_EQ(log.Lines(), c.log);
        const nSampleBuffer& s = sound.GetSamples();
        if (!c.ok) {
            EXPECT_EQ(s.GetData(), nullptr);
            EXPECT_EQ(s.GetCount(), 0u);
            continue;
        }
        EXPECT_EQ(s.GetCount(), c.frames);
        EXPECT_EQ(s.GetFormat().channels, c.channels);
        EXPECT_EQ(s.GetFormat().rate, c.rate);
        EXPECT_EQ(s.GetFormat().bits, c.bits);
        EXPECT_EQ(s.GetFormat().reserved, 0);
        ASSERT_NE(s.GetData(), nullptr);
        EXPECT_EQ(Bytes(s.GetData(), s.GetData() + s.GetByteSize()), c.samples);
    }
}

TEST_F(WavTest, LoadSampleIsSilentForMissingFilesAndNamesTheUndecodable)
{
    nSound sound(nullptr);
    nLogCapture log;
    EXPECT_FALSE(nSound::LoadSample(&sound, "absent.wav"));
    EXPECT_TRUE(log.Lines().empty());

    Put("noise.wav", Ramp(64));
    EXPECT_FALSE(nSound::LoadSample(&sound, "noise.wav"));
    EXPECT_EQ(log.Lines(), Lines{"[!] No sample decoder for 'noise.wav'!\n"});

    log.Clear();
    Put("good.wav", Wav().Chunk("fmt ", Fmt(1, 16000, 16)).Chunk("data", Ramp(10)).Build());
    EXPECT_TRUE(nSound::LoadSample(&sound, "good.wav"));
    EXPECT_EQ(sound.GetSamples().GetCount(), 5u);
    EXPECT_EQ(log.Lines(), Lines{"Sample format: 16KHz@16bit, 1 channel(s).\n"});

    // A later failure leaves the sound without samples.
    log.Clear();
    EXPECT_FALSE(nSound::LoadSample(&sound, "noise.wav"));
    EXPECT_EQ(sound.GetSamples().GetData(), nullptr);
}

TEST_F(WavTest, ASecondDataChunkThatFailsLeavesNoSamples)
{
    Put("x.wav", Wav().Chunk("fmt ", Fmt(1, 8000, 8)).Chunk("data", Ramp(4)).Declared("data", 100, Ramp(3)).Build());
    nSound sound(nullptr);
    nLogCapture log;
    EXPECT_FALSE(DecodeWAV("x.wav", &sound));
    EXPECT_EQ(log.Lines(), Lines{"[!] mangled WAV 'data' chunk in 'x.wav'.\n"});
    EXPECT_EQ(sound.GetSamples().GetData(), nullptr);
}

// Every prefix and many mutations of valid files: any answer will do, as long as nothing is read or
// written out of bounds (checked by the sanitizer build), nothing divides by zero, and samples
// that load are whole frames of a sound format.
TEST_F(WavTest, DamagedFilesNeverReachOutsideTheirBuffers)
{
    const std::vector<Bytes> files = {
        Wav().Chunk("fmt ", Fmt(2, 44100, 16)).Chunk("data", Ramp(40)).Build(),
        Wav().Chunk("LIST", Ramp(5)).Chunk("fmt ", Fmt(1, 8000, 8, 1, {0, 0})).Chunk("data", Ramp(9)).Chunk("cue ", Ramp(3)).Build(),
        Wav().Chunk("fmt ", Fmt(2, 48000, 24, 0xfffe, Extensible(24, 1))).Chunk("data", Ramp(30)).Build(),
    };
    std::mt19937 random(99);
    nLogCapture quiet;
    for (const Bytes& file : files) {
        std::vector<Bytes> damaged;
        for (size_t n = 0; n < file.size(); ++n) damaged.push_back(Prefix(file, n));
        for (int i = 0; i < 400; ++i) {
            Bytes m = file;
            for (int k = random() % 4 + 1; k > 0; --k) m[random() % m.size()] = uint8_t(random());
            if (random() % 3 == 0) m.resize(random() % (m.size() + 1));
            damaged.push_back(m);
        }
        for (const Bytes& d : damaged) {
            Put("d.wav", d);
            nSound sound(nullptr);
            if (DecodeWAV("d.wav", &sound)) {
                const nSampleBuffer& s = sound.GetSamples();
                ASSERT_NE(s.GetData(), nullptr);
                EXPECT_GT(s.GetFormat().channels, 0);
                EXPECT_GT(s.GetFormat().rate, 0);
                EXPECT_EQ(s.GetFormat().bits % 8, 0);
                EXPECT_LE(s.GetByteSize(), d.size());
            } else {
                EXPECT_EQ(sound.GetSamples().GetData(), nullptr);
            }
        }
    }
}
