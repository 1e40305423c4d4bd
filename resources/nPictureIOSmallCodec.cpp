#include "resources/nPictureIOSmallCodec.h"

#include "core/nIOFile.h"
#include "core/nLog.h"
#include "resources/nJPEGDecoder.h"
#include "resources/nPicture.h"

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
        *g_log << "[!] " << "Small JPEG interface only implements RGB (3 components) decoding!\n";
        return false;
    }
    if (decoder.begin() != 0) {
        *g_log << "[!] " << "Small JPEG decoder failed (begin)! Error status: "
               << (int32_t)decoder.GetStatus() << ".\n";
        return false;
    }
    if (decoder.GetBytesPerPixel() < 3) {
        *g_log << "[!] " << "Small JPEG interface only implements RGB24/BGR8 (3 or 4 bytes) decoding!\n";
        return false;
    }
    const uint32_t w = decoder.GetWidth(), h = decoder.GetHeight();
    // Zero-filled: rows that decoding never reaches (a stream that stops early) stay black.
    uint8_t* block = (uint8_t*)nPictureAllocPixels((size_t)w * h * 4);
    if (!block) {
        *g_log << "[!] " << "Small JPEG decoder failed to allocate output buffer!";
        return false;
    }
    uint8_t* out = block;
    const uint8_t* row = 0;
    uint32_t rowBytes = 0;
    while (decoder.decode(&row, &rowBytes) == 0) {
        for (uint32_t x = 0; x < w; ++x, out += 4, row += 4) {
            out[0] = row[2];
            out[1] = row[1];
            out[2] = row[0];
            out[3] = 255;
        }
    }
    width = w;
    height = h;
    pixels = block;
    return true;
}
