// Picture decoding and conversion at texture scale: the TGA reader beside stb_image on the same
// files (24 and 32 bits, raw and run-length), and pixel-format conversion of a 2048 x 2048
// picture beside a memcpy of the same bytes.
//
// Medians of three runs, at a load average of 3 to 5 on 8 cores (Dec 2026): fresh RGBA8 pictures
// 0.59x stb_image's time on raw 32-bit, 0.62x raw 24-bit, 0.16-0.25x run-length. Conversion
// against memcpy/4 (16 MB): BGRA8 to RGBA8 in place 0.63x, BGR8 to RGBA8 1.38x.
// RGB565 and float, medians of 5 and 9 runs at a load average of 20 to 23 on 8 cores (Dec 2026):
// RGBA8 to RGB565 0.88-1.0x memcpy/4 (two multiply-adds a word, sixteen pixels a step with AVX2);
// RGBFloat to RGBA8 1.1-1.3x memcpy/12 (the 48 MB it reads). Both write over the picture's own
// block, which keeps its size: giving back the tail cost as much again as the conversion.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/nIO.h"
#include "core/nIOFile.h"
#include "core/nIOMemoryFS.h"
#include "core/nLog.h"
#include "resources/nPicture.h"
#include "resources/nPictureTGA.h"

#include <stb/stb_image.h>

namespace {

const uint32_t kSide = 2048;

// A picture with flat areas and edges, as textures have: 16-pixel runs of one colour with noise
// every few runs, so that run-length files hold both run and raw packets.
uint32_t Texel(uint32_t x, uint32_t y)
{
    uint32_t cell = (x / 16) * 2654435761u ^ (y / 8) * 40503u;
    if ((cell & 7) == 0) cell ^= x * 2246822519u;  // noisy cells
    return cell | 0x80000000u;
}

void Put8(std::vector<uint8_t>& b, uint32_t v) { b.push_back(uint8_t(v)); }
void Put16(std::vector<uint8_t>& b, uint32_t v)
{
    Put8(b, v);
    Put8(b, v >> 8);
}

std::vector<uint8_t> MakeTga(uint32_t bits, bool rle)
{
    const uint32_t bytes = bits / 8;
    std::vector<uint8_t> f;
    Put8(f, 0);
    Put8(f, 0);
    Put8(f, rle ? 10 : 2);
    Put16(f, 0);
    Put16(f, 0);
    Put8(f, 0);
    Put16(f, 0);
    Put16(f, 0);
    Put16(f, kSide);
    Put16(f, kSide);
    Put8(f, bits);
    Put8(f, bits == 32 ? 0x28 : 0x20);
    for (uint32_t y = 0; y < kSide; ++y) {
        uint32_t x = 0;
        while (x < kSide) {
            uint32_t c = Texel(x, y);
            if (!rle) {
                for (uint32_t i = 0; i < bytes; ++i) Put8(f, c >> (8 * i));
                ++x;
                continue;
            }
            uint32_t run = 1;
            while (x + run < kSide && run < 128 && Texel(x + run, y) == c) ++run;
            if (run > 1) {
                Put8(f, 0x80 | (run - 1));
                for (uint32_t i = 0; i < bytes; ++i) Put8(f, c >> (8 * i));
            } else {
                uint32_t raw = 1;
                while (x + raw < kSide && raw < 128 && Texel(x + raw, y) != Texel(x + raw - 1, y)) ++raw;
                Put8(f, raw - 1);
                for (uint32_t k = 0; k < raw; ++k)
                    for (uint32_t i = 0; i < bytes; ++i) Put8(f, Texel(x + k, y) >> (8 * i));
                run = raw;
            }
            x += run;
        }
    }
    return f;
}

struct TgaFile
{
    const char* name;
    uint32_t bits;
    bool rle;
    std::vector<uint8_t> bytes;
};

TgaFile& File(int index)
{
    static TgaFile files[4] = {
        {"raw24.tga", 24, false, MakeTga(24, false)},
        {"raw32.tga", 32, false, MakeTga(32, false)},
        {"rle24.tga", 24, true, MakeTga(24, true)},
        {"rle32.tga", 32, true, MakeTga(32, true)},
    };
    static bool stored = [] {
        g_log->SetMask(0);
        for (TgaFile& t : files) {
            nIOHandle* h = nIO::GetMemoryFS()->Open(t.name, false, true, false);
            nIO::GetMemoryFS()->Write(h, t.bytes.data(), int32_t(t.bytes.size()));
            nIO::GetMemoryFS()->Close(h);
        }
        return true;
    }();
    (void)stored;
    return files[index];
}

void Label(benchmark::State& state, const TgaFile& t)
{
    state.SetLabel(std::string(t.name) + ", " + std::to_string(t.bytes.size() / 1024) + " KB");
    state.SetBytesProcessed(int64_t(state.iterations()) * kSide * kSide * 4);
}

// The reader through the IO layer into a fresh picture each time, converted to RGBA8: the same
// work as stb_image below (a new block per picture, red first), which is what the renderer takes.
void BM_TgaOurs(benchmark::State& state)
{
    const TgaFile& t = File(int(state.range(0)));
    for (auto _ : state) {
        nPicture picture;
        nIOFile file;
        file.Open(t.name, true, false, false);
        if (!LoadPictureTGA(file, picture) || !picture.Convert(PixelFormatRGBA8)) state.SkipWithError("not decoded");
        benchmark::DoNotOptimize(picture.GetPixels());
    }
    Label(state, t);
}
BENCHMARK(BM_TgaOurs)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

// Decoding again into one picture whose block is reused, left in the reader's BGRA8: the cost of
// the decode alone, without allocation or the channel swap.
void BM_TgaOursReusedPictureBGRA(benchmark::State& state)
{
    const TgaFile& t = File(int(state.range(0)));
    nPicture picture;
    for (auto _ : state) {
        nIOFile file;
        file.Open(t.name, true, false, false);
        if (!LoadPictureTGA(file, picture)) state.SkipWithError("not decoded");
        benchmark::DoNotOptimize(picture.GetPixels());
    }
    Label(state, t);
}
BENCHMARK(BM_TgaOursReusedPictureBGRA)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

// stb_image on the same bytes, already in memory, to four channels.
void BM_TgaStb(benchmark::State& state)
{
    const TgaFile& t = File(int(state.range(0)));
    for (auto _ : state) {
        int w, h, n;
        stbi_uc* pixels = stbi_load_from_memory(t.bytes.data(), int(t.bytes.size()), &w, &h, &n, 4);
        if (!pixels) state.SkipWithError("not decoded");
        benchmark::DoNotOptimize(pixels);
        stbi_image_free(pixels);
    }
    Label(state, t);
}
BENCHMARK(BM_TgaStb)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------------------------
// Conversion of 2048 x 2048 pictures

const nPictureFormat* const kFrom[] = {&PixelFormatBGRA8, &PixelFormatBGR8, &PixelFormatRGBA8, &PixelFormatRGBFloat};
const nPictureFormat* const kTo[] = {&PixelFormatRGBA8, &PixelFormatRGBA8, &PixelFormatRGB565, &PixelFormatRGBA8};
const char* const kConversion[] = {"BGRA8 to RGBA8 (in place)", "BGR8 to RGBA8", "RGBA8 to RGB565", "RGBFloat to RGBA8"};

void BM_Convert(benchmark::State& state)
{
    const int c = int(state.range(0));
    nPicture source;
    source.Allocate(kSide, kSide, *kFrom[c]);
    for (size_t i = 0; i < source.GetByteSize(); ++i) source.GetPixels()[i] = uint8_t(i * 31 + 7);
    if (kFrom[c]->isFloat) {
        float* f = reinterpret_cast<float*>(source.GetPixels());
        for (size_t i = 0; i < source.GetByteSize() / 4; ++i) f[i] = float(i % 300) / 256.0f;
    }
    nPicture picture(source);
    bool back = false;
    for (auto _ : state) {
        if (c == 0) {
            // In place both ways: every iteration converts the whole picture once.
            picture.Convert(back ? PixelFormatBGRA8 : PixelFormatRGBA8);
            back = !back;
        } else {
            state.PauseTiming();
            picture.CopyFrom(source);
            state.ResumeTiming();
            picture.Convert(*kTo[c]);
        }
        benchmark::DoNotOptimize(picture.GetPixels());
    }
    state.SetLabel(kConversion[c]);
    state.SetBytesProcessed(int64_t(state.iterations()) * kSide * kSide * 4);
}
BENCHMARK(BM_Convert)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

// A memcpy of a 2048 x 2048 picture of 4 bytes a pixel (what the 8-bit conversions read or
// write), and of 12 (the three-float source, which the float conversion must read).
void BM_Memcpy(benchmark::State& state)
{
    std::vector<uint8_t> a(size_t(kSide) * kSide * size_t(state.range(0)), 1), b(a.size(), 2);
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), a.size());
        benchmark::DoNotOptimize(b.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(std::to_string(a.size() >> 20) + " MB");
    state.SetBytesProcessed(int64_t(state.iterations()) * a.size());
}
BENCHMARK(BM_Memcpy)->Arg(4)->Arg(12)->Unit(benchmark::kMillisecond);

}
