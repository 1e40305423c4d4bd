#ifndef N_PICTUREFORMAT_H
#define N_PICTUREFORMAT_H

#include <cstdint>

// The layout of one pixel: channel masks inside a little-endian pixel word, the bits per pixel
// and a float flag. A float format stores three 32-bit floats (red, green, blue) and its "masks"
// hold each channel's float index instead. Shifts and bit counts are derived from the masks by Set,
// the only way a format is filled; an empty mask has shift 32 and 0 bits.
struct nPictureFormat
{
    int32_t kind;  // 1 for every format built from masks; 0 in the empty format
    uint32_t alphaMask;
    uint32_t redMask;
    uint32_t greenMask;
    uint32_t blueMask;
    uint8_t bitsPerPixel;                                 // 8, 16, 24, 32 or 96
    uint8_t isFloat;                                      // 1: three floats per pixel
    uint8_t alphaShift, redShift, blueShift, greenShift;  // derived
    uint8_t alphaBits, redBits, blueBits, greenBits;      // derived

    // Constant expressions, so the static formats are ready before any other global runs.
    constexpr nPictureFormat()  // the empty format
        : nPictureFormat(0, 0, 0, 0, 0, 0, 0)
    {}
    constexpr nPictureFormat(int32_t k, uint32_t alpha, uint32_t red, uint32_t green, uint32_t blue,
                             uint8_t bits, uint8_t flt)  // as Set
        : kind(k), alphaMask(alpha), redMask(red), greenMask(green), blueMask(blue),
          bitsPerPixel(bits), isFloat(flt),
          alphaShift(MaskShift(alpha)), redShift(MaskShift(red)),
          blueShift(MaskShift(blue)), greenShift(MaskShift(green)),
          alphaBits(MaskBits(alpha)), redBits(MaskBits(red)),
          blueBits(MaskBits(blue)), greenBits(MaskBits(green))
    {}

    void Set(int32_t kind, uint32_t alpha, uint32_t red, uint32_t green, uint32_t blue,
             uint8_t bitsPerPixel, uint8_t isFloat);  // stores and derives shifts and bit counts

    // Kind, bits per pixel, the four masks and the float flag; derived bytes are not compared.
    bool operator==(const nPictureFormat& other) const;
    bool operator!=(const nPictureFormat& other) const { return !(*this == other); }

    uint32_t BytesPerPixel() const { return bitsPerPixel / 8u; }

    static constexpr uint8_t MaskShift(uint32_t mask)  // trailing zero bits; 32 for 0
    {
        if (mask == 0) return 32;
        uint8_t n = 0;
        while (!(mask & 1u)) {
            mask >>= 1;
            ++n;
        }
        return n;
    }
    static constexpr uint8_t MaskBits(uint32_t mask)  // set bits
    {
        uint8_t n = 0;
        for (; mask; mask &= mask - 1) ++n;
        return n;
    }

    // The pixel word of a colour in a 32-bit format; each value is clamped to 0..1 first so that
    // no channel spills into its neighbour. Other formats log a warning and give 0.
    uint32_t PackColor(float red, float green, float blue, float alpha) const;
};

// The nine static formats; byte order is the order in memory.
extern const nPictureFormat PixelFormatBGRA8;     // B, G, R, A: what the file decoders deliver
extern const nPictureFormat PixelFormatRGBA8;     // R, G, B, A: loaders, scripts, render targets
extern const nPictureFormat PixelFormatARGB8;     // A, R, G, B
extern const nPictureFormat PixelFormatBGR8;      // B, G, R
extern const nPictureFormat PixelFormatRGB24;     // R, G, B
extern const nPictureFormat PixelFormatRGB555;    // red bits 0-4, green 5-9, blue 10-14
extern const nPictureFormat PixelFormatRGB565;    // red bits 0-4, green 5-10, blue 11-15
extern const nPictureFormat PixelFormatARGB4444;  // red 0-3, green 4-7, blue 8-11, alpha 12-15
extern const nPictureFormat PixelFormatRGBFloat;  // three floats: red, green, blue

extern const nPictureFormat PixelFormatEmpty;  // what a new or reset picture carries

#endif
