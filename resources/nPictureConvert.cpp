// Pixel-format conversion of nPicture: an in-place byte shuffle among the 8-bit four-channel
// formats, a packed-integer path for every other integer format and a path from three floats.
// The common pairs take the vector forms (nPictureConvertFast.cpp); a target no wider than the
// source is written over the picture's own block, which keeps its size.
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "resources/nPicture.h"
#include "resources/nPictureConvertKernels.h"

namespace {

bool IsPackedDepth(uint8_t bits)
{
    return bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// One channel's way from a source word to a target word. A channel missing on either side
// contributes nothing, so no shift ever reaches the width of the word.
struct ChannelMap
{
    uint32_t mask;   // source mask, 0 when the channel is dropped
    uint8_t shift;   // source shift
    int8_t up;       // > 0: value << up gives 8 bits; < 0: value >> -up
    int8_t down;     // > 0: 8-bit value >> down gives the target bits; < 0: << -down
    uint8_t target;  // target shift

    uint32_t Apply(uint32_t word) const
    {
        uint32_t v = (word & mask) >> shift;
        v = (up >= 0 ? v << up : v >> -up) & 0xffu;
        v = down >= 0 ? v >> down : v << -down;
        return v << target;
    }
};

ChannelMap MakeChannel(uint32_t mask, uint8_t shift, uint8_t bits,
                       uint32_t targetMask, uint8_t targetShift, uint8_t targetBits)
{
    ChannelMap c = {0, 0, 0, 0, 0};
    if (mask == 0 || targetMask == 0) return c;
    c.mask = mask;
    c.shift = shift;
    c.up = (int8_t)(8 - (int)bits);
    c.down = (int8_t)(8 - (int)targetBits);
    c.target = targetShift;
    return c;
}

inline uint32_t LoadWord(const uint8_t* p, int bytes)
{
    switch (bytes) {
        case 1: return p[0];
        case 2: return (uint32_t)p[0] | (uint32_t)p[1] << 8;
        case 3: return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16;
        default: {
            uint32_t w;
            std::memcpy(&w, p, 4);
            return w;
        }
    }
}

inline void StoreWord(uint8_t* p, int bytes, uint32_t w)
{
    switch (bytes) {
        case 1: p[0] = (uint8_t)w; break;
        case 2:
            p[0] = (uint8_t)w;
            p[1] = (uint8_t)(w >> 8);
            break;
        case 3:
            p[0] = (uint8_t)w;
            p[1] = (uint8_t)(w >> 8);
            p[2] = (uint8_t)(w >> 16);
            break;
        default: std::memcpy(p, &w, 4); break;
    }
}

// The depths are template arguments so that each pair gets its own loop without branches.
template<int SB, int TB>
void ConvertRun(const uint8_t* src, uint8_t* dst, size_t count, const ChannelMap* ch)
{
    const ChannelMap a = ch[0], r = ch[1], g = ch[2], b = ch[3];
    for (size_t i = 0; i < count; ++i, src += SB, dst += TB) {
        uint32_t w = LoadWord(src, SB);
        StoreWord(dst, TB, a.Apply(w) + r.Apply(w) + g.Apply(w) + b.Apply(w));
    }
}

typedef void (*ConvertFunc)(const uint8_t*, uint8_t*, size_t, const ChannelMap*);

template<int SB>
ConvertFunc PickTarget(int tb)
{
    switch (tb) {
        case 1: return ConvertRun<SB, 1>;
        case 2: return ConvertRun<SB, 2>;
        case 3: return ConvertRun<SB, 3>;
        default: return ConvertRun<SB, 4>;
    }
}

ConvertFunc PickConverter(int sb, int tb)
{
    switch (sb) {
        case 1: return PickTarget<1>(tb);
        case 2: return PickTarget<2>(tb);
        case 3: return PickTarget<3>(tb);
        default: return PickTarget<4>(tb);
    }
}

inline uint32_t MapWord(uint32_t w, const ChannelMap* ch)
{
    return ch[0].Apply(w) + ch[1].Apply(w) + ch[2].Apply(w) + ch[3].Apply(w);
}

// When every source channel lies inside one byte, a target word is the sum of one table entry per
// source byte: table[256 k + v] is what byte k holding v contributes.
template<int SB, int TB>
void ConvertByByteTable(const uint8_t* src, uint8_t* dst, size_t count, const uint32_t* table)
{
    for (size_t i = 0; i < count; ++i, src += SB, dst += TB) {
        uint32_t w = table[src[0]];
        if (SB > 1) w += table[256 + src[1]];
        if (SB > 2) w += table[512 + src[2]];
        if (SB > 3) w += table[768 + src[3]];
        StoreWord(dst, TB, w);
    }
}

// Sixteen-bit sources: one table entry per source word.
template<int TB>
void ConvertByWordTable(const uint8_t* src, uint8_t* dst, size_t count, const uint32_t* table)
{
    for (size_t i = 0; i < count; ++i, src += 2, dst += TB) StoreWord(dst, TB, table[src[0] | src[1] << 8]);
}

typedef void (*TableFunc)(const uint8_t*, uint8_t*, size_t, const uint32_t*);

template<int SB>
TableFunc PickByteTable(int tb)
{
    switch (tb) {
        case 1: return ConvertByByteTable<SB, 1>;
        case 2: return ConvertByByteTable<SB, 2>;
        case 3: return ConvertByByteTable<SB, 3>;
        default: return ConvertByByteTable<SB, 4>;
    }
}

TableFunc PickTable(int sb, int tb)
{
    switch (sb) {
        case 1: return PickByteTable<1>(tb);
        case 3: return PickByteTable<3>(tb);
        case 4: return PickByteTable<4>(tb);
        default:
            switch (tb) {
                case 1: return ConvertByWordTable<1>;
                case 2: return ConvertByWordTable<2>;
                case 3: return ConvertByWordTable<3>;
                default: return ConvertByWordTable<4>;
            }
    }
}

bool ChannelInOneByte(uint32_t mask, uint8_t shift)
{
    return mask == 0 || (mask >> (shift & ~7u)) <= 0xffu;
}

const size_t kWordTablePixels = 1 << 16;  // below this a word table costs more than it saves

// A float channel: 0 for values below 0 or NaN, at most 255, reduced to the target's bits.
inline uint32_t FloatChannel(float value, const uint8_t bits, uint8_t shift)
{
    if (bits == 0 || shift >= 32) return 0;
    float scaled = value * 255.0f;
    uint32_t v = scaled > 0.0f ? (scaled < 255.0f ? (uint32_t)scaled : 255u) : 0u;
    v = bits <= 8 ? v >> (8 - bits) : v << (bits - 8);
    return v << shift;
}

}

void ConvertPixelsPlain(const uint8_t* src, const nPictureFormat& from, uint8_t* dst,
                        const nPictureFormat& to, size_t count)
{
    const int tbytes = to.BytesPerPixel();
    if (from.isFloat) {
        // The masks of a float format hold each channel's float index.
        const uint32_t ri = from.redMask < 3 ? from.redMask : 0;
        const uint32_t gi = from.greenMask < 3 ? from.greenMask : 1;
        const uint32_t bi = from.blueMask < 3 ? from.blueMask : 2;
        const uint32_t alpha = FloatChannel(1.0f, to.alphaBits, to.alphaShift);
        for (size_t i = 0; i < count; ++i, src += 12, dst += tbytes) {
            float v[3];
            std::memcpy(v, src, 12);
            uint32_t w = FloatChannel(v[ri], to.redBits, to.redShift) +
                         FloatChannel(v[gi], to.greenBits, to.greenShift) +
                         FloatChannel(v[bi], to.blueBits, to.blueShift) + alpha;
            StoreWord(dst, tbytes, w);
        }
        return;
    }
    const ChannelMap channels[4] = {
        MakeChannel(from.alphaMask, from.alphaShift, from.alphaBits, to.alphaMask, to.alphaShift, to.alphaBits),
        MakeChannel(from.redMask, from.redShift, from.redBits, to.redMask, to.redShift, to.redBits),
        MakeChannel(from.greenMask, from.greenShift, from.greenBits, to.greenMask, to.greenShift, to.greenBits),
        MakeChannel(from.blueMask, from.blueShift, from.blueBits, to.blueMask, to.blueShift, to.blueBits),
    };
    PickConverter(from.BytesPerPixel(), tbytes)(src, dst, count, channels);
}

bool nPicture::Convert(const nPictureFormat& target)
{
    if (target == m_format) return true;
    if (target.bitsPerPixel == 0) {
        FreePixels();
        Reset();
        return true;
    }
    if (!m_pixels) return false;
    if (target.isFloat || !IsPackedDepth(target.bitsPerPixel)) return false;
    if (m_format.isFloat) return m_format.bitsPerPixel == 96 && ConvertFloat(target);
    if (m_format.bitsPerPixel == 32 && target.bitsPerPixel == 32 &&
        m_format.alphaBits == 8 && m_format.redBits == 8 && m_format.greenBits == 8 && m_format.blueBits == 8 &&
        target.alphaBits == 8 && target.redBits == 8 && target.greenBits == 8 && target.blueBits == 8)
        return ShufflePixels(target);
    return ConvertPacked(target);
}

bool nPicture::ShufflePixels(const nPictureFormat& target)
{
    const nPictureFormat& s = m_format;
    const uint32_t sa = s.alphaShift, sr = s.redShift, sg = s.greenShift, sb = s.blueShift;
    const uint32_t ta = target.alphaShift, tr = target.redShift, tg = target.greenShift, tb = target.blueShift;
    const size_t count = (size_t)m_width * m_height;
    if (ConvertPixelsFast(m_pixels, s, m_pixels, target, count)) {
        m_format = target;
        return true;
    }
    uint8_t* p = m_pixels;
    size_t i = 0;
#if defined(__SSE2__)
    // Four pixels at a time: each channel byte is moved by a shift that is the same for all lanes.
    const __m128i byte = _mm_set1_epi32(0xff);
    const __m128i csa = _mm_cvtsi32_si128((int)sa), csr = _mm_cvtsi32_si128((int)sr);
    const __m128i csg = _mm_cvtsi32_si128((int)sg), csb = _mm_cvtsi32_si128((int)sb);
    const __m128i cta = _mm_cvtsi32_si128((int)ta), ctr = _mm_cvtsi32_si128((int)tr);
    const __m128i ctg = _mm_cvtsi32_si128((int)tg), ctb = _mm_cvtsi32_si128((int)tb);
    for (; i + 4 <= count; i += 4, p += 16) {
        __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        __m128i a = _mm_sll_epi32(_mm_and_si128(_mm_srl_epi32(w, csa), byte), cta);
        __m128i r = _mm_sll_epi32(_mm_and_si128(_mm_srl_epi32(w, csr), byte), ctr);
        __m128i g = _mm_sll_epi32(_mm_and_si128(_mm_srl_epi32(w, csg), byte), ctg);
        __m128i b = _mm_sll_epi32(_mm_and_si128(_mm_srl_epi32(w, csb), byte), ctb);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_or_si128(_mm_or_si128(a, r), _mm_or_si128(g, b)));
    }
#endif
    for (; i < count; ++i, p += 4) {
        uint32_t w;
        std::memcpy(&w, p, 4);
        w = ((w >> sa) & 0xffu) << ta | ((w >> sr) & 0xffu) << tr |
            ((w >> sg) & 0xffu) << tg | ((w >> sb) & 0xffu) << tb;
        std::memcpy(p, &w, 4);
    }
    m_format = target;
    return true;
}

bool nPicture::ConvertPacked(const nPictureFormat& target)
{
    const nPictureFormat& s = m_format;
    if (!IsPackedDepth(s.bitsPerPixel)) return false;
    const size_t count = (size_t)m_width * m_height;
    uint8_t* block = TargetBlock(target);
    if (!block) return false;
    if (ConvertPixelsFast(m_pixels, s, block, target, count)) {
        TakeConverted(block, target);
        return true;
    }

    const ChannelMap channels[4] = {
        MakeChannel(s.alphaMask, s.alphaShift, s.alphaBits, target.alphaMask, target.alphaShift, target.alphaBits),
        MakeChannel(s.redMask, s.redShift, s.redBits, target.redMask, target.redShift, target.redBits),
        MakeChannel(s.greenMask, s.greenShift, s.greenBits, target.greenMask, target.greenShift, target.greenBits),
        MakeChannel(s.blueMask, s.blueShift, s.blueBits, target.blueMask, target.blueShift, target.blueBits),
    };
    const int sb = s.BytesPerPixel(), tb = target.BytesPerPixel();
    bool done = false;
    if (sb == 2 && count >= kWordTablePixels) {
        uint32_t* table = new (std::nothrow) uint32_t[65536];
        if (table) {
            for (uint32_t v = 0; v < 65536; ++v) table[v] = MapWord(v, channels);
            PickTable(sb, tb)(m_pixels, block, count, table);
            delete[] table;
            done = true;
        }
    } else if (sb != 2 && ChannelInOneByte(s.alphaMask, s.alphaShift) && ChannelInOneByte(s.redMask, s.redShift) &&
               ChannelInOneByte(s.greenMask, s.greenShift) && ChannelInOneByte(s.blueMask, s.blueShift)) {
        uint32_t table[4 * 256];
        for (int k = 0; k < sb; ++k)
            for (uint32_t v = 0; v < 256; ++v) table[256 * k + v] = MapWord(v << (8 * k), channels);
        PickTable(sb, tb)(m_pixels, block, count, table);
        done = true;
    }
    if (!done) PickConverter(sb, tb)(m_pixels, block, count, channels);
    TakeConverted(block, target);
    return true;
}

bool nPicture::ConvertFloat(const nPictureFormat& target)
{
    const size_t count = (size_t)m_width * m_height;
    uint8_t* block = TargetBlock(target);
    if (!block) return false;
    if (!ConvertPixelsFast(m_pixels, m_format, block, target, count))
        ConvertPixelsPlain(m_pixels, m_format, block, target, count);
    TakeConverted(block, target);
    return true;
}

uint8_t* nPicture::TargetBlock(const nPictureFormat& target)
{
    // Each pixel is read before its bytes are written, so a block the picture owns can take a
    // target no wider than the source.
    const bool owned = !(m_ownershipFlags & PictureNotOwned);
    if (owned && target.BytesPerPixel() <= m_format.BytesPerPixel()) return m_pixels;
    return (uint8_t*)nPictureAllocPixelsUncleared((size_t)m_width * m_height * target.BytesPerPixel());
}

void nPicture::TakeConverted(uint8_t* block, const nPictureFormat& target)
{
    if (block != m_pixels) {
        ReplacePixels(block, target);
        return;
    }
    // Written over the old pixels: the block keeps its size until the picture frees it. Giving
    // the tail back at once would cost the system as much as the conversion itself, and a
    // picture converted for a texture is freed whole right after the upload.
    m_format = target;
}
