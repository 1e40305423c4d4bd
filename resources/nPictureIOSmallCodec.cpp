#include "resources/nPictureIOSmallCodec.h"

#include <cstring>

#include "core/nIOFile.h"
#include "core/nLog.h"
#include "resources/nJPEGDecoder.h"
#include "resources/nPicture.h"
#include "resources/nPictureConvertKernels.h"

nPictureIOSmallCodec::nPictureIOSmallCodec()
    : nPictureIOCodec("Small", "JPEG Small read-only codec.", PictureCodecRead)
{
}

bool nPictureIOSmallCodec::Decode(nIOFile& file, uint32_t& width, uint32_t& height, uint8_t*& pixels)
{
    return DecodeSmallJPEG(file, width, height, pixels);
}

void nPictureIOSmallCodec::FreePixels(uint8_t*& pixels)
{
    nPictureFreePixels(pixels);
    pixels = 0;
}

bool DecodeSmallJPEG(nIOFile& file, uint32_t& width, uint32_t& height, uint8_t*& pixels)
{
    pixels = 0;
    file.Rewind();
    uint8_t magic[2] = {0, 0};
    if (file.Read(magic, 2) != 2 || magic[0] != 0xFF || magic[1] != 0xD8) return false;

    file.Rewind();
    jpeg_decoder_file_stream stream(file);
    jpeg_decoder decoder(&stream);
    if (decoder.GetStatus() != JPEG_OK) return false;
    if (decoder.GetComponentCount() != 3) {
        *g_log << "[!] Small JPEG interface only implements RGB (3 components) decoding!\n";
        return false;
    }
    if (decoder.begin() != 0) {
        *g_log << "[!] Small JPEG decoder failed (begin)! Error status: "
               << (int32_t)decoder.GetStatus() << ".\n";
        return false;
    }
    if (decoder.GetBytesPerPixel() < 3) {
        *g_log << "[!] Small JPEG interface only implements RGB24/BGR8 (3 or 4 bytes) decoding!\n";
        return false;
    }
    const uint32_t w = decoder.GetWidth(), h = decoder.GetHeight();
    const size_t rowBytesOut = (size_t)w * 4;
    uint8_t* block = (uint8_t*)nPictureAllocPixelsUncleared(rowBytesOut * h);
    if (!block) {
        *g_log << "[!] Small JPEG decoder failed to allocate output buffer!";
        return false;
    }
    // Each row's red and blue change places (the decoder's fourth byte is 255).
    uint8_t* out = block;
    const uint8_t* row = 0;
    uint32_t rowBytes = 0;
    while (decoder.decode(&row, &rowBytes) == 0) {
        if (!ConvertPixelsFast(row, PixelFormatRGBA8, out, PixelFormatBGRA8, w))
            ConvertPixelsPlain(row, PixelFormatRGBA8, out, PixelFormatBGRA8, w);
        out += rowBytesOut;
    }
    // Rows that decoding never reaches (a stream that stops early) stay black.
    std::memset(out, 0, (size_t)(block + rowBytesOut * h - out));
    width = w;
    height = h;
    pixels = block;
    return true;
}
