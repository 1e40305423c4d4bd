#ifndef N_PICTUREIOSTBCODEC_H
#define N_PICTUREIOSTBCODEC_H

#include "resources/nPictureIOCodec.h"

// "STB": PNG, BMP, TGA, PSD, HDR and JPEG through the stb_image library, decoded from memory to
// BGRA8 (HDR pictures are mapped to 8 bits per channel).
class nPictureIOSTBCodec : public nPictureIOCodec
{
public:
    nPictureIOSTBCodec();

    bool Decode(nIOFile& file, uint32_t& width, uint32_t& height, uint8_t*& pixels) override;
    void FreePixels(uint8_t*& pixels) override;
};

#endif
