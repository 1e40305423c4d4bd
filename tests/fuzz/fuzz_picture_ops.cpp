// Arbitrary bytes as a list of picture operations: a picture of up to 40 x 40 pixels in one of
// the formats, then fills, plots, lines, blits, flips, samples, convolutions and resizes with
// numbers from the input, including infinite, NaN, huge and negative ones. Nothing may be touched
// outside the pictures and every operation must end.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

#include "resources/nPicture.h"
#include "resources/nPictureOps.h"
#include "tests/fuzz/nFuzzSupport.h"

namespace {

class Reader
{
public:
    Reader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool More() const { return m_pos < m_size; }
    uint8_t Byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    int32_t Int()
    {
        switch (Byte() & 7) {
            case 0: return -2147483647 - 1;
            case 1: return 2147483647;
            case 2: return -int32_t(Byte());
            default: return int32_t(Byte() % 48) - 4;
        }
    }
    float Float()
    {
        switch (Byte() & 15) {
            case 0: return std::numeric_limits<float>::quiet_NaN();
            case 1: return std::numeric_limits<float>::infinity();
            case 2: return -1e30f;
            case 3: return 1e30f;
            default: return float(int8_t(Byte())) / 4.0f;
        }
    }
    nRect Rect() { return nRect{Int(), Int(), Int(), Int()}; }
    nRectF RectF() { return nRectF{Float(), Float(), Float(), Float()}; }

private:
    const uint8_t* m_data;
    size_t m_size, m_pos = 0;
};

const nPictureFormat* const kFormats[] = {&PixelFormatRGBA8, &PixelFormatBGRA8, &PixelFormatARGB8, &PixelFormatRGB24,
                                          &PixelFormatRGB565, &PixelFormatRGBFloat};

void MakePicture(Reader& in, nPicture& p)
{
    const uint32_t w = in.Byte() % 41, h = in.Byte() % 41;
    const nPictureFormat& format = *kFormats[in.Byte() % 6];
    if (!w || !h || !p.Allocate(w, h, format)) return;
    for (size_t i = 0; i < p.GetByteSize(); ++i) p.GetPixels()[i] = uint8_t(i * 37 + w);
    if (format.isFloat)
        for (size_t i = 0; i < p.GetByteSize() / 4; ++i) ((float*)p.GetPixels())[i] = float(i % 7) / 6.0f;
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static nQuietLog quiet;
    g_log = &quiet;
    if (size > 4096) return 0;
    Reader in(data, size);
    nPicture first, second;
    MakePicture(in, first);
    MakePicture(in, second);
    nPicture* a = &first;
    nPicture* b = &second;
    int32_t kernel[64 * 64];
    for (int32_t& k : kernel) k = 1;
    for (int step = 0; in.More() && step < 64; ++step) {
        const nRect rect = in.Rect();
        const nRectF clip = in.RectF();
        const bool withRect = in.Byte() & 1;
        switch (in.Byte() % 11) {
            case 0: a->FillRect(in.Float(), in.Float(), in.Float(), in.Float(), withRect ? &rect : nullptr); break;
            case 1: a->PlotPixel(in.Float(), in.Float(), 1, 0.5f, 0, in.Float(), withRect ? &clip : nullptr); break;
            case 2: a->PlotPixelSmooth(in.Float(), in.Float(), 0, 1, 0.5f, in.Float(), withRect ? &clip : nullptr); break;
            case 3: a->DrawLine(in.Byte() & 1, in.Float(), in.Float(), in.Float(), in.Float(), 1, 1, 1, 1,
                                withRect ? &clip : nullptr);
                break;
            case 4: {
                const nRect to = in.Rect();
                BlitPicture(*b, *a, withRect ? &rect : nullptr, (in.Byte() & 1) ? &to : nullptr, in.Int());
                break;
            }
            case 5: a->Flip(in.Byte() & 1, in.Byte() & 1); break;
            case 6: a->SamplePacked(in.Float(), in.Float()); break;
            case 7: {
                const int32_t kw = in.Int(), kh = in.Int();
                for (int i = 0; i < 9; ++i) kernel[i] = int32_t(int8_t(in.Byte()));
                a->ApplyConvolution(kw, kh, kernel, withRect ? &rect : nullptr);
                break;
            }
            case 8: {
                int32_t w = in.Int(), h = in.Int();
                if (w > 200 || h > 200) break;  // large pictures only cost time
                a->Resize(w, h);
                if (a->GetWidth() * uint64_t(a->GetHeight()) > 40000) return 0;
                break;
            }
            case 9: a->Convert(*kFormats[in.Byte() % 6]); break;
            default: std::swap(a, b); break;
        }
    }
    return 0;
}
