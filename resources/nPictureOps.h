#ifndef N_PICTUREOPS_H
#define N_PICTUREOPS_H

#include <cstdint>

#include "resources/nPicture.h"

// Integer rectangle; right and bottom are exclusive.
struct nRect
{
    int32_t left, top, right, bottom;

    bool IsEmpty() const { return right <= left || bottom <= top; }
    static nRect Intersect(const nRect& a, const nRect& b);  // max of the lefts and tops, min of the rights and bottoms
};

// Clip rectangle of the plotting operations.
struct nRectF
{
    float left, top, right, bottom;
};

// Blend modes of BlitPicture (the script constants of the same names). Add to AlphaMultiply2x
// change no pixel.
enum nPictureBlendMode
{
    BlendReplace = 0,  // copy the source pixels
    BlendCompose = 1,  // alpha over
    BlendAdd = 2,
    BlendMultiply = 3,
    BlendMultiply2x = 4,
    BlendAlphaAdd = 5,
    BlendAlphaMultiply = 6,
    BlendAlphaMultiply2x = 7,
    RgbToAlpha = 8  // destination alpha := mean of the source's colour bytes
};

// Byte blending shared with the text and widget drawing.
uint8_t BlendScreen(int32_t a, int32_t b);  // a + b - a * b / 256, clamped to 0..255
// (source x source alpha + destination x destination alpha - (source alpha x destination x
// destination alpha) >> 8) / result alpha, clamped to 0..255; 0 for a result alpha of 0.
uint8_t BlendAlphaOver(int32_t destination, int32_t source, int32_t destinationAlpha,
                       int32_t sourceAlpha, int32_t resultAlpha);
// Alpha-over of one RGBA8 pixel (red in byte 0, alpha in byte 3).
void BlendPixelOver(uint8_t* pixel, uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha);

// Copies (or composes) the source rectangle (all of the source when NULL) to the destination at the
// destination rectangle's left and top (0, 0 when NULL), both cut to their pictures. The source
// part is converted to the destination's format first; the rest of the destination is untouched.
// False without pixels in either, when nothing overlaps, when the source cannot be converted, or
// for Compose and RgbToAlpha on a destination that is not 32 bits with an 8-bit alpha.
bool BlitPicture(const nPicture& source, nPicture& destination, const nRect* sourceRect,
                 const nRect* destinationRect, int32_t mode);

#endif
