#include "resources/nPictureIOSTBCodec.h"

#include <climits>
#include <cstdlib>

#include "core/nIOFile.h"
#include "resources/nPicture.h"

// The library is compiled here with the picture allocator, so its result block can become a
// picture's own pixels, and with only the formats the codec stands for.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_ONLY_PNG
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#define STBI_ONLY_PSD
#define STBI_ONLY_HDR
#define STBI_ONLY_JPEG
#define STBI_MALLOC(size)         nPictureAllocPixels(size)
#define STBI_REALLOC(block, size) nPictureReallocPixels(block, size)
#define STBI_FREE(block)          nPictureFreePixels(block)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

nPictureIOSTBCodec::nPictureIOSTBCodec()
    : nPictureIOCodec("STB", "PNG, BMP, TGA, PSD, HDR and JPEG reader on the stb_image library.",
                      PictureCodecRead)
{
}

bool nPictureIOSTBCodec::Decode(nIOFile& file, uint32_t& width, uint32_t& height, uint8_t*& pixels)
{
    file.Rewind();
    int32_t size = file.GetSize();
    if (size <= 0) return false;
    uint8_t* buffer = (uint8_t*)std::malloc((size_t)size);
    if (!buffer) return false;
    file.Rewind();
    bool complete = file.Read(buffer, size) == size;

    int w = 0, h = 0, components = 0;
    uint8_t* decoded = complete ? stbi_load_from_memory(buffer, size, &w, &h, &components, 4) : 0;
    std::free(buffer);
    if (!decoded) return false;

    // stb_image gives red, green, blue, alpha; pictures from files are blue, green, red, alpha.
    size_t count = (size_t)w * (size_t)h;
    for (uint8_t* p = decoded; count; --count, p += 4) {
        uint8_t red = p[0];
        p[0] = p[2];
        p[2] = red;
    }
    width = (uint32_t)w;
    height = (uint32_t)h;
    pixels = decoded;
    return true;
}

void nPictureIOSTBCodec::FreePixels(uint8_t*& pixels)
{
    nPictureFreePixels(pixels);
    pixels = 0;
}
