#ifndef N_PICTURECONVERTKERNELS_H
#define N_PICTURECONVERTKERNELS_H

#include <cstddef>
#include <cstdint>

#include "resources/nPictureFormat.h"

// The loops under nPicture::Convert: count pixels from src in one format to dst in another, both
// formats ones Convert accepts (integer of 8 to 32 bits, or three floats as the source). dst may
// be src when the target is no wider: each pixel is read before its bytes are written.

// One pixel at a time, each channel through its masks and shifts: the reference for the others.
void ConvertPixelsPlain(const uint8_t* src, const nPictureFormat& from, uint8_t* dst,
                        const nPictureFormat& to, size_t count);

// Four or eight pixels at a time for the pairs textures take: among 8-bit channels of 24 and 32
// bits (a byte shuffle), 8-bit channels down to 16 bits, and three floats to 8-bit channels. False
// with nothing written for another pair, or on a processor without the byte shuffle.
bool ConvertPixelsFast(const uint8_t* src, const nPictureFormat& from, uint8_t* dst,
                       const nPictureFormat& to, size_t count);

#endif
