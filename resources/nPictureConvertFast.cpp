// The vector forms of pixel-format conversion: a byte shuffle among 8-bit channels of 24 and 32
// bits, masks and shifts eight pixels at a time down to 16 bits, and three floats clamped four
// pixels at a time into 8-bit channels. The last few pixels, and every other pair, go through the
// plain form, which the tests hold these to byte for byte.
#include "resources/nPictureConvertKernels.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QZ_PIXEL_VECTORS 1
#endif

#if QZ_PIXEL_VECTORS

namespace {

// The byte each channel (alpha, red, green, blue) sits in, -1 when the format lacks it; false when
// a channel is not a whole byte. A three-float format gives each channel's float index.
bool BytePlaces(const nPictureFormat& f, int place[4])
{
    if (f.isFloat) {
        place[0] = -1;
        place[1] = f.redMask < 3 ? int(f.redMask) : 0;
        place[2] = f.greenMask < 3 ? int(f.greenMask) : 1;
        place[3] = f.blueMask < 3 ? int(f.blueMask) : 2;
        return f.bitsPerPixel == 96;
    }
    const uint32_t masks[4] = {f.alphaMask, f.redMask, f.greenMask, f.blueMask};
    const uint8_t shifts[4] = {f.alphaShift, f.redShift, f.greenShift, f.blueShift};
    const uint8_t bits[4] = {f.alphaBits, f.redBits, f.greenBits, f.blueBits};
    for (int k = 0; k < 4; ++k) {
        place[k] = -1;
        if (masks[k] == 0) continue;
        if (bits[k] != 8 || shifts[k] % 8 != 0) return false;
        place[k] = shifts[k] / 8;
    }
    return true;
}

// The shuffle that moves four pixels of sb bytes to four of tb bytes (source byte, or 0x80 for 0).
void MakeShuffle(const int from[4], int sb, const int to[4], int tb, uint8_t mask[16])
{
    std::memset(mask, 0x80, 16);
    for (int p = 0; p < 4; ++p)
        for (int k = 0; k < 4; ++k)
            if (from[k] >= 0 && to[k] >= 0) mask[p * tb + to[k]] = uint8_t(p * sb + from[k]);
}

template<int TB>
inline void StorePixels(uint8_t* dst, __m128i v)
{
    if (TB == 4) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), v);
    } else {
        alignas(16) uint8_t bytes[16];
        _mm_store_si128(reinterpret_cast<__m128i*>(bytes), v);
        std::memcpy(dst, bytes, 4 * TB);
    }
}

bool HasByteShuffle()
{
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
}

// Four pixels a step; a 3-byte source is read 16 bytes at a time, so the step stops while 16 remain.
template<int SB, int TB>
__attribute__((target("ssse3")))
size_t ShuffleRun(const uint8_t* src, uint8_t* dst, size_t count, const uint8_t* mask)
{
    const __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask));
    size_t i = 0;
    for (; i + 4 <= count && i * SB + 16 <= count * SB; i += 4)
        StorePixels<TB>(dst + i * TB, _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * SB)), m));
    return i;
}

size_t ShuffleBytes(const uint8_t* src, int sb, uint8_t* dst, int tb, size_t count, const uint8_t* mask)
{
    if (sb == 4) return tb == 4 ? ShuffleRun<4, 4>(src, dst, count, mask) : ShuffleRun<4, 3>(src, dst, count, mask);
    return tb == 4 ? ShuffleRun<3, 4>(src, dst, count, mask) : ShuffleRun<3, 3>(src, dst, count, mask);
}

bool ChannelsOfAtMost8Bits(const nPictureFormat& f)
{
    return f.alphaBits <= 8 && f.redBits <= 8 && f.greenBits <= 8 && f.blueBits <= 8;
}

// 8-bit channels of a 32-bit source to 16-bit channels of at most 8 bits: the top bits of each
// byte, eight pixels a step.
size_t NarrowTo16(const uint8_t* src, const int from[4], uint8_t* dst, const nPictureFormat& to, size_t count)
{
    // Every channel's top bits land where the target wants them after one shift of the whole
    // word (down, or up) and a mask: four shifts and masks for each four pixels, no per-channel
    // test in the loop (a channel either side lacks has an empty mask).
    const uint8_t tshift[4] = {to.alphaShift, to.redShift, to.greenShift, to.blueShift};
    const uint8_t tbits[4] = {to.alphaBits, to.redBits, to.greenBits, to.blueBits};
    __m128i right[4], left[4], keep[4];
    for (int k = 0; k < 4; ++k) {
        const bool both = from[k] >= 0 && tbits[k] > 0;
        const int top = 8 * (both ? from[k] : 0) + 8;                // the bit above the channel
        const int move = top - (tshift[k] + tbits[k]);              // > 0: right
        right[k] = _mm_cvtsi32_si128(move > 0 ? move : 0);
        left[k] = _mm_cvtsi32_si128(move < 0 ? -move : 0);
        keep[k] = _mm_set1_epi32(both ? int(((1u << tbits[k]) - 1) << tshift[k]) : 0);
    }
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        __m128i out[2];
        for (int h = 0; h < 2; ++h) {
            const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * i + 16 * h));
            __m128i sum = _mm_setzero_si128();
            for (int k = 0; k < 4; ++k)
                sum = _mm_or_si128(sum, _mm_and_si128(_mm_sll_epi32(_mm_srl_epi32(w, right[k]), left[k]), keep[k]));
            out[h] = _mm_srai_epi32(_mm_slli_epi32(sum, 16), 16);   // signed, so that packing keeps the bits
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 2 * i), _mm_packs_epi32(out[0], out[1]));
    }
    return i;
}

// Three floats to 8-bit channels: each value times 255, 0 below 0 and for NaN, at most 255,
// truncated; full alpha where the target has it. Four pixels a step.
template<int TB>
__attribute__((target("ssse3")))
size_t FloatRun(const uint8_t* src, uint8_t* dst, size_t count, const uint8_t* mask, const uint8_t* fill)
{
    const __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask));
    const __m128i alpha = _mm_loadu_si128(reinterpret_cast<const __m128i*>(fill));
    const __m128 scale = _mm_set1_ps(255.0f), zero = _mm_setzero_ps();
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const float* f = reinterpret_cast<const float*>(src + 12 * i);
        __m128i v[3];
        for (int k = 0; k < 3; ++k)   // max gives its second operand for NaN
            v[k] = _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(_mm_mul_ps(_mm_loadu_ps(f + 4 * k), scale), zero), scale));
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(v[0], v[1]), _mm_packs_epi32(v[2], v[2]));
        StorePixels<TB>(dst + TB * i, _mm_or_si128(_mm_shuffle_epi8(bytes, m), alpha));
    }
    return i;
}

}

bool ConvertPixelsFast(const uint8_t* src, const nPictureFormat& from, uint8_t* dst,
                       const nPictureFormat& to, size_t count)
{
    int sp[4], tp[4];
    if (to.isFloat || !BytePlaces(from, sp)) return false;
    const int sb = int(from.BytesPerPixel()), tb = int(to.BytesPerPixel());
    size_t done = 0;
    if (tb == 2 && sb == 4) {
        if (!ChannelsOfAtMost8Bits(to)) return false;
        done = NarrowTo16(src, sp, dst, to, count);
    } else {
        if (!BytePlaces(to, tp) || !HasByteShuffle() || (tb != 3 && tb != 4)) return false;
        uint8_t mask[16];
        if (from.isFloat) {
            MakeShuffle(sp, 3, tp, tb, mask);
            uint8_t fill[16] = {0};
            if (tp[0] >= 0)
                for (int p = 0; p < 4; ++p) fill[p * tb + tp[0]] = 0xff;
            done = tb == 4 ? FloatRun<4>(src, dst, count, mask, fill) : FloatRun<3>(src, dst, count, mask, fill);
        } else {
            if (sb != 3 && sb != 4) return false;
            MakeShuffle(sp, sb, tp, tb, mask);
            done = ShuffleBytes(src, sb, dst, tb, count, mask);
        }
    }
    if (done < count) ConvertPixelsPlain(src + done * sb, from, dst + done * tb, to, count - done);
    return true;
}

#else

bool ConvertPixelsFast(const uint8_t*, const nPictureFormat&, uint8_t*, const nPictureFormat&, size_t)
{
    return false;
}

#endif
