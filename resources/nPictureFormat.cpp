#include "resources/nPictureFormat.h"

#include "core/nLog.h"

const nPictureFormat PixelFormatBGRA8(1, 0xff000000u, 0xff0000u, 0xff00u, 0xffu, 32, 0);
const nPictureFormat PixelFormatRGBA8(1, 0xff000000u, 0xffu, 0xff00u, 0xff0000u, 32, 0);
const nPictureFormat PixelFormatARGB8(1, 0xffu, 0xff00u, 0xff0000u, 0xff000000u, 32, 0);
const nPictureFormat PixelFormatBGR8(1, 0, 0xff0000u, 0xff00u, 0xffu, 24, 0);
const nPictureFormat PixelFormatRGB24(1, 0, 0xffu, 0xff00u, 0xff0000u, 24, 0);
const nPictureFormat PixelFormatRGB555(1, 0, 0x1fu, 0x3e0u, 0x7c00u, 16, 0);
const nPictureFormat PixelFormatRGB565(1, 0, 0x1fu, 0x7e0u, 0xf800u, 16, 0);
const nPictureFormat PixelFormatARGB4444(1, 0xf000u, 0xfu, 0xf0u, 0xf00u, 16, 0);
const nPictureFormat PixelFormatRGBFloat(1, 0, 0, 1, 2, 96, 1);
const nPictureFormat PixelFormatEmpty;

void nPictureFormat::Set(int32_t k, uint32_t alpha, uint32_t red, uint32_t green, uint32_t blue,
                         uint8_t bits, uint8_t flt)
{
    *this = nPictureFormat(k, alpha, red, green, blue, bits, flt);
}

bool nPictureFormat::operator==(const nPictureFormat& other) const
{
    return kind == other.kind && bitsPerPixel == other.bitsPerPixel &&
           alphaMask == other.alphaMask && redMask == other.redMask &&
           greenMask == other.greenMask && blueMask == other.blueMask &&
           isFloat == other.isFloat;
}

namespace {

// One channel of a packed colour: value clamped to 0..1, scaled to 0..255 and truncated.
uint32_t PackChannel(float value, uint8_t shift)
{
    if (shift >= 32) return 0;
    if (!(value > 0.0f)) value = 0.0f;  // also NaN
    if (value > 1.0f) value = 1.0f;
    return (uint32_t)(value * 255.0f) << shift;
}

}

uint32_t nPictureFormat::PackColor(float red, float green, float blue, float alpha) const
{
    if (bitsPerPixel != 32 || isFloat) {
        *g_log << "[*] Unimplemented formatting.\n";
        return 0;
    }
    return PackChannel(red, redShift) + PackChannel(green, greenShift) +
           PackChannel(blue, blueShift) + PackChannel(alpha, alphaShift);
}
