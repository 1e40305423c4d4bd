// The vector form (SSE2) of the JPEG decoder's block and row steps. The inverse DCT keeps the
// plain form's integer sums: each of its eight outputs is written as a sum of products of input
// pairs, which a multiply-add gives exactly in 32 bits, so the bytes are the same. The colour
// conversion computes the plain form's table entries the same way, eight samples at a time.
#include "resources/nJPEGSteps.h"

#if defined(__SSE2__)

#include <emmintrin.h>

namespace {

// a * ka + b * kb in eight lanes, as two halves of four 32-bit sums.
struct Sums
{
    __m128i lo, hi;
};

inline Sums operator+(const Sums& x, const Sums& y) { return {_mm_add_epi32(x.lo, y.lo), _mm_add_epi32(x.hi, y.hi)}; }
inline Sums operator-(const Sums& x, const Sums& y) { return {_mm_sub_epi32(x.lo, y.lo), _mm_sub_epi32(x.hi, y.hi)}; }

inline __m128i Pair(int16_t ka, int16_t kb)
{
    return _mm_setr_epi16(ka, kb, ka, kb, ka, kb, ka, kb);
}

struct Interleaved
{
    __m128i lo, hi;
    Interleaved(__m128i a, __m128i b) : lo(_mm_unpacklo_epi16(a, b)), hi(_mm_unpackhi_epi16(a, b)) {}
    Sums Times(__m128i pair) const { return {_mm_madd_epi16(lo, pair), _mm_madd_epi16(hi, pair)}; }
};

// One 8-point pass over eight lanes at once: s[0..7] are the inputs; emit(k, sums) takes the
// eight sums before descaling, `round` already added, as soon as each is known. The products are
// the plain pass's, expanded: odd output k is s7 a + s5 b + s3 c + s1 d with the constants below.
template<class Emit>
__attribute__((always_inline)) inline void Idct8(const __m128i s[8], int32_t round, Emit emit)
{
    const Interleaved s04(s[0], s[4]), s26(s[2], s[6]), s75(s[7], s[5]), s31(s[3], s[1]);
    const Sums r = {_mm_set1_epi32(round), _mm_set1_epi32(round)};
    const Sums t0 = s04.Times(Pair(8192, 8192)) + r, t1 = s04.Times(Pair(8192, -8192)) + r;
    const Sums t2 = s26.Times(Pair(4433, -10704)), t3 = s26.Times(Pair(10703, 4433));
    const Sums e10 = t0 + t3, e13 = t0 - t3, e11 = t1 + t2, e12 = t1 - t2;
    const Sums o3 = s75.Times(Pair(2260, 6437)) + s31.Times(Pair(9633, 11363));
    emit(0, e10 + o3);
    emit(7, e10 - o3);
    const Sums o2 = s75.Times(Pair(-6436, -11362)) + s31.Times(Pair(-2259, 9633));
    emit(1, e11 + o2);
    emit(6, e11 - o2);
    const Sums o1 = s75.Times(Pair(9633, 2261)) + s31.Times(Pair(-11362, 6437));
    emit(2, e12 + o1);
    emit(5, e12 - o1);
    const Sums o0 = s75.Times(Pair(-11363, 9633)) + s31.Times(Pair(-6436, 2260));
    emit(3, e13 + o0);
    emit(4, e13 - o0);
}

// Rows of eight 16-bit values become columns.
__attribute__((always_inline)) inline void Transpose(__m128i m[8])
{
    const __m128i a0 = _mm_unpacklo_epi16(m[0], m[1]), a1 = _mm_unpackhi_epi16(m[0], m[1]);
    const __m128i a2 = _mm_unpacklo_epi16(m[2], m[3]), a3 = _mm_unpackhi_epi16(m[2], m[3]);
    const __m128i a4 = _mm_unpacklo_epi16(m[4], m[5]), a5 = _mm_unpackhi_epi16(m[4], m[5]);
    const __m128i a6 = _mm_unpacklo_epi16(m[6], m[7]), a7 = _mm_unpackhi_epi16(m[6], m[7]);
    const __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
    const __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
    const __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
    const __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
    m[0] = _mm_unpacklo_epi64(b0, b4);
    m[1] = _mm_unpackhi_epi64(b0, b4);
    m[2] = _mm_unpacklo_epi64(b1, b5);
    m[3] = _mm_unpackhi_epi64(b1, b5);
    m[4] = _mm_unpacklo_epi64(b2, b6);
    m[5] = _mm_unpackhi_epi64(b2, b6);
    m[6] = _mm_unpacklo_epi64(b3, b7);
    m[7] = _mm_unpackhi_epi64(b3, b7);
}

// The row pass runs over the columns of the transposed block (each lane one row), the column
// pass over the rows of the block transposed back (each lane one column).
void InverseDCT(const int16_t* in, uint8_t* out, int stride)
{
    __m128i m[8], w[8];
    for (int r = 0; r < 8; ++r) m[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 8 * r));
    Transpose(m);
    const __m128i most = _mm_set1_epi16(30000), least = _mm_set1_epi16(-30000);
    Idct8(m, 1024, [&](int k, const Sums& sums) {
        const __m128i v = _mm_packs_epi32(_mm_srai_epi32(sums.lo, 11), _mm_srai_epi32(sums.hi, 11));
        w[k] = _mm_max_epi16(_mm_min_epi16(v, most), least);
    });
    Transpose(w);
    const __m128i half = _mm_set1_epi16(128);
    Idct8(w, 131072, [&](int r, const Sums& sums) {
        const __m128i v = _mm_packs_epi32(_mm_srai_epi32(sums.lo, 18), _mm_srai_epi32(sums.hi, 18));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + r * stride), _mm_packus_epi16(_mm_add_epi16(v, half), v));
    });
}

// A quantisation value of 16384 or more takes any non-zero coefficient past the limit, as 16384
// does: so the values are first held to 16384, which a signed 16-bit multiply can take.
void Dequantise(const int16_t* in, const uint16_t* quant, int16_t* out)
{
    const __m128i most = _mm_set1_epi16(kJpegMaxCoefficient), least = _mm_set1_epi16(-kJpegMaxCoefficient);
    const __m128i limit = _mm_set1_epi16(16384);
    for (int k = 0; k < 64; k += 8) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + k));
        __m128i q = _mm_loadu_si128(reinterpret_cast<const __m128i*>(quant + k));
        q = _mm_sub_epi16(q, _mm_subs_epu16(q, limit));
        const __m128i low = _mm_mullo_epi16(c, q), high = _mm_mulhi_epi16(c, q);
        const __m128i v = _mm_packs_epi32(_mm_unpacklo_epi16(low, high), _mm_unpackhi_epi16(low, high));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), _mm_max_epi16(_mm_min_epi16(v, most), least));
    }
}

// (a-pair sums + 32768) >> 16 for eight samples, packed to 16 bits.
inline __m128i Term(const Interleaved& pairs, __m128i constants)
{
    const Sums s = pairs.Times(constants);
    const __m128i round = _mm_set1_epi32(32768);
    return _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(s.lo, round), 16), _mm_srai_epi32(_mm_add_epi32(s.hi, round), 16));
}

// What eight chroma pairs add to red, green and blue: the plain tables' entries, with
// 91882 k = 2k (22970 + 22971), 116130 k = 2k (29032 + 29033) and 46802 k = 2k 23401.
struct ChromaTerms
{
    __m128i red, green, blue;
    ChromaTerms(const uint8_t* cb, const uint8_t* cr)
    {
        const __m128i zero = _mm_setzero_si128(), centre = _mm_set1_epi16(128);
        const __m128i kb = _mm_sub_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cb)), zero), centre);
        const __m128i kr = _mm_sub_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cr)), zero), centre);
        const __m128i kb2 = _mm_add_epi16(kb, kb), kr2 = _mm_add_epi16(kr, kr);
        red = Term(Interleaved(kr2, kr2), Pair(22970, 22971));
        blue = Term(Interleaved(kb2, kb2), Pair(29032, 29033));
        green = Term(Interleaved(kb, kr2), Pair(-22554, -23401));
    }
};

// Sixteen luma samples plus their chroma terms (each eight samples of 16 bits), clamped, as red,
// green, blue, 255.
inline void StorePixels(const uint8_t* luma, const __m128i red[2], const __m128i green[2], const __m128i blue[2], uint8_t* out)
{
    const __m128i zero = _mm_setzero_si128(), opaque = _mm_set1_epi8(-1);
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(luma));
    const __m128i y0 = _mm_unpacklo_epi8(y, zero), y1 = _mm_unpackhi_epi8(y, zero);
    const __m128i r = _mm_packus_epi16(_mm_add_epi16(y0, red[0]), _mm_add_epi16(y1, red[1]));
    const __m128i g = _mm_packus_epi16(_mm_add_epi16(y0, green[0]), _mm_add_epi16(y1, green[1]));
    const __m128i b = _mm_packus_epi16(_mm_add_epi16(y0, blue[0]), _mm_add_epi16(y1, blue[1]));
    const __m128i rg0 = _mm_unpacklo_epi8(r, g), rg1 = _mm_unpackhi_epi8(r, g);
    const __m128i ba0 = _mm_unpacklo_epi8(b, opaque), ba1 = _mm_unpackhi_epi8(b, opaque);
    __m128i* o = reinterpret_cast<__m128i*>(out);
    _mm_storeu_si128(o + 0, _mm_unpacklo_epi16(rg0, ba0));
    _mm_storeu_si128(o + 1, _mm_unpackhi_epi16(rg0, ba0));
    _mm_storeu_si128(o + 2, _mm_unpacklo_epi16(rg1, ba1));
    _mm_storeu_si128(o + 3, _mm_unpackhi_epi16(rg1, ba1));
}

// Sixteen pixels a step; with halfChroma each step's eight chroma terms are repeated to sixteen.
// The last few pixels go through the plain form.
void ColourRow(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr, bool halfChroma, uint8_t* out, int width)
{
    int x = 0;
    for (; x + 16 <= width; x += 16, out += 64) {
        __m128i red[2], green[2], blue[2];
        if (halfChroma) {
            const ChromaTerms t(cb + x / 2, cr + x / 2);
            red[0] = _mm_unpacklo_epi16(t.red, t.red);
            red[1] = _mm_unpackhi_epi16(t.red, t.red);
            green[0] = _mm_unpacklo_epi16(t.green, t.green);
            green[1] = _mm_unpackhi_epi16(t.green, t.green);
            blue[0] = _mm_unpacklo_epi16(t.blue, t.blue);
            blue[1] = _mm_unpackhi_epi16(t.blue, t.blue);
        } else {
            const ChromaTerms t0(cb + x, cr + x), t1(cb + x + 8, cr + x + 8);
            red[0] = t0.red;
            red[1] = t1.red;
            green[0] = t0.green;
            green[1] = t1.green;
            blue[0] = t0.blue;
            blue[1] = t1.blue;
        }
        StorePixels(luma + x, red, green, blue, out);
    }
    if (x < width) {
        const int c = halfChroma ? x / 2 : x;
        JpegPlainSteps().colourRow(luma + x, cb + c, cr + c, halfChroma, out, width - x);
    }
}

}

const nJPEGSteps& JpegFastSteps()
{
    static const nJPEGSteps steps = {InverseDCT, Dequantise, ColourRow};
    return steps;
}

#else

const nJPEGSteps& JpegFastSteps()
{
    return JpegPlainSteps();
}

#endif
