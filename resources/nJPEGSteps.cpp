// The plain form of the JPEG decoder's block and row steps: the reference the vector form is
// held to byte for byte.
#include "resources/nJPEGSteps.h"

namespace {

inline uint8_t ClampByte(int32_t v)
{
    if ((uint32_t)v > 255u) return v < 0 ? 0 : 255;
    return (uint8_t)v;
}

// The values between the passes are held to +-30000, so the column pass's sums stay in 32 bits.
const int32_t kMaxBetweenPasses = 30000;

inline int32_t ClampBetweenPasses(int32_t v)
{
    return v > kMaxBetweenPasses ? kMaxBetweenPasses : (v < -kMaxBetweenPasses ? -kMaxBetweenPasses : v);
}

// One 8-point pass of the integer inverse DCT (Loeffler, Ligtenberg and Moschytz) with 13-bit
// constants: the eight sums before descaling, from inputs s[0], s[step], ... s[7 step].
inline void Idct8(const int32_t* s, int step, int32_t out[8])
{
    const int32_t z2 = s[2 * step], z3 = s[6 * step];
    const int32_t z1 = (z2 + z3) * 4433;
    const int32_t t2 = z1 + z3 * -15137, t3 = z1 + z2 * 6270;
    const int32_t t0 = (s[0] + s[4 * step]) * 8192, t1 = (s[0] - s[4 * step]) * 8192;
    const int32_t e10 = t0 + t3, e13 = t0 - t3, e11 = t1 + t2, e12 = t1 - t2;
    int32_t o0 = s[7 * step], o1 = s[5 * step], o2 = s[3 * step], o3 = s[step];
    int32_t q1 = o0 + o3, q2 = o1 + o2, q3 = o0 + o2, q4 = o1 + o3;
    const int32_t q5 = (q3 + q4) * 9633;
    o0 *= 2446;
    o1 *= 16819;
    o2 *= 25172;
    o3 *= 12299;
    q1 *= -7373;
    q2 *= -20995;
    q3 = q3 * -16069 + q5;
    q4 = q4 * -3196 + q5;
    o0 += q1 + q3;
    o1 += q2 + q4;
    o2 += q2 + q3;
    o3 += q1 + q4;
    out[0] = e10 + o3;
    out[7] = e10 - o3;
    out[1] = e11 + o2;
    out[6] = e11 - o2;
    out[2] = e12 + o1;
    out[5] = e12 - o1;
    out[3] = e13 + o0;
    out[4] = e13 - o0;
}

// Row pass (a row of zero AC values is its DC x 4), then column pass (a column of zero AC values
// is one value).
void InverseDCT(const int16_t* in, uint8_t* out, int stride)
{
    int32_t work[64], row[8], sums[8];
    for (int r = 0; r < 8; ++r) {
        const int16_t* s = in + r * 8;
        int32_t* w = work + r * 8;
        if (!(s[1] | s[2] | s[3] | s[4] | s[5] | s[6] | s[7])) {
            const int32_t dc = ClampBetweenPasses(s[0] * 4);
            for (int i = 0; i < 8; ++i) w[i] = dc;
            continue;
        }
        for (int i = 0; i < 8; ++i) row[i] = s[i];
        Idct8(row, 1, sums);
        for (int i = 0; i < 8; ++i) w[i] = ClampBetweenPasses((sums[i] + 1024) >> 11);
    }
    for (int col = 0; col < 8; ++col) {
        const int32_t* w = work + col;
        uint8_t* d = out + col;
        if (!(w[8] | w[16] | w[24] | w[32] | w[40] | w[48] | w[56])) {
            const uint8_t v = ClampByte(((w[0] + 16) >> 5) + 128);
            for (int i = 0; i < 8; ++i) d[i * stride] = v;
            continue;
        }
        Idct8(w, 8, sums);
        for (int i = 0; i < 8; ++i) d[i * stride] = ClampByte(((sums[i] + 131072) >> 18) + 128);
    }
}

void Dequantise(const int16_t* in, const uint16_t* quant, int16_t* out)
{
    for (int k = 0; k < 64; ++k) out[k] = JpegClampCoefficient(in[k] * (int32_t)quant[k]);
}

// The colour tables of the YCbCr to RGB conversion, built once.
struct ColourTables
{
    int32_t rcr[256], bcb[256], gcr[256], gcb[256];
    ColourTables()
    {
        for (int i = 0; i < 256; ++i) {
            const int32_t k = i - 128;
            rcr[i] = (91882 * k + 32768) >> 16;
            bcb[i] = (116130 * k + 32768) >> 16;
            gcr[i] = -46802 * k;
            gcb[i] = -22554 * k + 32768;
        }
    }
};

const ColourTables& Colours()
{
    static const ColourTables tables;
    return tables;
}

void ColourRow(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr, bool halfChroma, uint8_t* out, int width)
{
    const int shift = halfChroma ? 1 : 0;
    const ColourTables& t = Colours();
    for (int x = 0; x < width; ++x, out += 4) {
        const int32_t l = luma[x];
        const int b = cb[x >> shift], r = cr[x >> shift];
        out[0] = ClampByte(l + t.rcr[r]);
        out[1] = ClampByte(l + ((t.gcb[b] + t.gcr[r]) >> 16));
        out[2] = ClampByte(l + t.bcb[b]);
        out[3] = 255;
    }
}

}

const nJPEGSteps& JpegPlainSteps()
{
    static const nJPEGSteps steps = {InverseDCT, Dequantise, ColourRow};
    return steps;
}
