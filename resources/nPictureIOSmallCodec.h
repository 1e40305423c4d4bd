#ifndef N_PICTUREIOSMALLCODEC_H
#define N_PICTUREIOSMALLCODEC_H

#include "resources/nPictureIOCodec.h"

// "Small": the engine's own JPEG decoder (nJPEGDecoder.h) for colour (three-component) JPEGs,
// decoded to BGRA8. Grey JPEGs are refused with a line and left to the next codec.
class nPictureIOSmallCodec : public nPictureIOCodec
{
public:
    nPictureIOSmallCodec();

    bool Decode(nIOFile& file, uint32_t& width, uint32_t& height, uint8_t*& pixels) override;
    void FreePixels(uint8_t*& pixels) override;
};

// Decodes the file from its start. False without a line when it is not a JPEG or its headers are
// bad; false with one line when the decoder refuses it. A stream cut short, or corrupt after the
// first rows, gives the whole picture: rows never reached stay zero.
bool DecodeSmallJPEG(nIOFile& file, uint32_t& width, uint32_t& height, uint8_t*& pixels);

#endif
