// The vector forms of pixel-format conversion: a byte shuffle among 8-bit channels of 24 and 32
// bits, masks and multiply-adds eight or sixteen pixels at a time down to 16 bits, and three floats clamped four
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
size_t
ShuffleRun(const uint8_t* src, uint8_t* dst, size_t count, const uint8_t* mask)
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

// How 8-bit channels of a 32-bit source reach a 16-bit target whose channels have fewer than 8
// bits, with two multiply-adds a word: the word is first shifted right by one, so that neither of
// its 16-bit halves has its sign bit set; each multiply-add takes at most one channel from each
// half, masked to the bits the target keeps and moved up by a power of two; the sum, moved by
// `down`, has every channel in its place. Three shifts, two masks, two multiply-adds and an add
// for four pixels, whatever the channels; false when the moves do not fit (then the plain form).
struct GatherPlan
{
    uint32_t mask[2];
    int16_t factor[2][2];  // [multiply-add][low half, high half]
    int down;              // the sum's right shift
};

bool PlanGather(const int from[4], const nPictureFormat& to, GatherPlan& plan)
{
    const uint8_t tshift[4] = {to.alphaShift, to.redShift, to.greenShift, to.blueShift};
    const uint8_t tbits[4] = {to.alphaBits, to.redBits, to.greenBits, to.blueBits};
    int low[4], move[4], half[4];
    bool used[4] = {false, false, false, false};
    int down = 0;
    for (int k = 0; k < 4; ++k) {
        if (from[k] < 0 || tbits[k] == 0) continue;
        if (tbits[k] >= 8) return false;
        used[k] = true;
        low[k] = 8 * from[k] + 7 - tbits[k];  // the lowest kept bit, after the shift by one
        half[k] = from[k] >= 2 ? 1 : 0;
        move[k] = tshift[k] - (low[k] - 16 * half[k]);
        if (-move[k] > down) down = -move[k];
    }
    if (down > 16) return false;
    plan = GatherPlan{{0, 0}, {{0, 0}, {0, 0}}, down};
    int taken[2] = {0, 0};  // multiply-adds holding a channel of each half
    for (int k = 0; k < 4; ++k) {
        if (!used[k]) continue;
        const int power = move[k] + down;
        if (power > 14) return false;
        const int j = taken[half[k]]++;
        plan.mask[j] |= ((1u << tbits[k]) - 1) << low[k];
        plan.factor[j][half[k]] = int16_t(1 << power);
    }
    return true;
}

inline __m128i GatherFour(__m128i w, const __m128i mask[2], const __m128i factor[2], __m128i up)
{
    const __m128i u = _mm_srli_epi32(w, 1);
    const __m128i sum = _mm_add_epi32(_mm_madd_epi16(_mm_and_si128(u, mask[0]), factor[0]),
                                      _mm_madd_epi16(_mm_and_si128(u, mask[1]), factor[1]));
    return _mm_srai_epi32(_mm_sll_epi32(sum, up), 16);  // signed, so that packing keeps the bits
}

size_t GatherTo16(const uint8_t* src, uint8_t* dst, size_t count, const GatherPlan& plan)
{
    __m128i mask[2], factor[2];
    for (int j = 0; j < 2; ++j) {
        mask[j] = _mm_set1_epi32(int(plan.mask[j]));
        factor[j] = _mm_set1_epi32(int(uint16_t(plan.factor[j][0]) | uint32_t(uint16_t(plan.factor[j][1])) << 16));
    }
    const __m128i up = _mm_cvtsi32_si128(16 - plan.down);
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * i + 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 2 * i),
                         _mm_packs_epi32(GatherFour(a, mask, factor, up), GatherFour(b, mask, factor, up)));
    }
    return i;
}

// The same, sixteen pixels a step, where the processor has AVX2.
__attribute__((target("avx2"))) inline __m256i GatherEight(__m256i w, const __m256i mask[2], const __m256i factor[2], __m128i up)
{
    const __m256i u = _mm256_srli_epi32(w, 1);
    const __m256i sum = _mm256_add_epi32(_mm256_madd_epi16(_mm256_and_si256(u, mask[0]), factor[0]),
                                         _mm256_madd_epi16(_mm256_and_si256(u, mask[1]), factor[1]));
    return _mm256_srai_epi32(_mm256_sll_epi32(sum, up), 16);
}

__attribute__((target("avx2")))
size_t
GatherTo16Wide(const uint8_t* src, uint8_t* dst, size_t count, const GatherPlan& plan)
{
    __m256i mask[2], factor[2];
    for (int j = 0; j < 2; ++j) {
        mask[j] = _mm256_set1_epi32(int(plan.mask[j]));
        factor[j] = _mm256_set1_epi32(int(uint16_t(plan.factor[j][0]) | uint32_t(uint16_t(plan.factor[j][1])) << 16));
    }
    const __m128i up = _mm_cvtsi32_si128(16 - plan.down);
    size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 4 * i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 4 * i + 32));
        // The pack works within each 128-bit lane: the quarters are put back in pixel order.
        const __m256i packed = _mm256_packs_epi32(GatherEight(a, mask, factor, up), GatherEight(b, mask, factor, up));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 2 * i), _mm256_permute4x64_epi64(packed, 0xD8));
    }
    return i;
}

bool HasWideVectors()
{
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

// Three floats to 8-bit channels: each value times 255, 0 below 0 and for NaN, at most 255,
// truncated; full alpha where the target has it. Four pixels a step.
template<int TB>
__attribute__((target("ssse3")))
size_t
FloatRun(const uint8_t* src, uint8_t* dst, size_t count, const uint8_t* mask, const uint8_t* fill)
{
    const __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask));
    const __m128i alpha = _mm_loadu_si128(reinterpret_cast<const __m128i*>(fill));
    const __m128 scale = _mm_set1_ps(255.0f), zero = _mm_setzero_ps();
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const float* f = reinterpret_cast<const float*>(src + 12 * i);
        __m128i v[3];
        for (int k = 0; k < 3; ++k)  // max gives its second operand for NaN
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
        GatherPlan plan;
        if (!PlanGather(sp, to, plan)) return false;
        if (HasWideVectors()) done = GatherTo16Wide(src, dst, count, plan);
        done += GatherTo16(src + 4 * done, dst + 2 * done, count - done, plan);
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
