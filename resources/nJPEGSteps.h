#ifndef N_JPEGSTEPS_H
#define N_JPEGSTEPS_H

#include <cstdint>

// The JPEG decoder's steps over whole blocks and rows, in two forms that give the same bytes: the
// plain one, which reads like the description of each step, and a vector one (SSE2), which the
// decoder takes unless told otherwise. Tests hold the two to each other.
struct nJPEGSteps
{
    // Dequantised coefficients of one block in natural order, each within +-16383, to 8 rows of 8
    // samples `stride` bytes apart: row pass (1024 added, shifted right by 11, held to +-30000),
    // column pass (131072 added, shifted right by 18, 128 added, clamped to 0..255).
    void (*inverseDCT)(const int16_t* coefficients, uint8_t* out, int stride);
    // Quantised coefficients of one block times their quantisation values, held to +-16383.
    void (*dequantise)(const int16_t* coefficients, const uint16_t* quant, int16_t* out);
    // One output row of `width` pixels from luma and chroma samples: red, green, blue, 255 each.
    // With halfChroma each chroma sample serves two neighbouring pixels.
    void (*colourRow)(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr, bool halfChroma,
                      uint8_t* out, int width);
};

// Coefficients far beyond any an 8-bit picture has (about +-2200 after scaling) are held to
// +-16383, so that the sums of the inverse DCT stay inside 32 bits.
const int32_t kJpegMaxCoefficient = 16383;

inline int16_t JpegClampCoefficient(int32_t v)
{
    return (int16_t)(v > kJpegMaxCoefficient ? kJpegMaxCoefficient : (v < -kJpegMaxCoefficient ? -kJpegMaxCoefficient : v));
}

const nJPEGSteps& JpegPlainSteps();
const nJPEGSteps& JpegFastSteps();  // the plain steps where the processor has no SSE2

#endif
