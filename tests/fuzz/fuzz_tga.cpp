// Arbitrary bytes as a TGA file: read, and for pictures that load, written back and read again,
// which must give the same pixels; then converted through the packed and shuffle paths.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/nIO.h"
#include "core/nIOFile.h"
#include "core/nIOMemoryFS.h"
#include "core/nLog.h"
#include "resources/nPicture.h"
#include "resources/nPictureTGA.h"

namespace {

nIOMemoryFS* Files()
{
    static nIOMemoryFS* files = [] {
        g_log->SetMask(0);
        nIOMemoryFS* fs = new nIOMemoryFS();
        nIO::SetCurrentFS(fs);
        return fs;
    }();
    return files;
}

void Store(const char* name, const uint8_t* data, size_t size)
{
    nIOHandle* h = Files()->Open(name, false, true, false);
    if (!h)
        abort();
    if (size && Files()->Write(h, data, int32_t(size)) != int32_t(size))
        abort();
    Files()->Close(h);
}

bool Load(const char* name, nPicture& picture)
{
    nIOFile file;
    if (!file.Open(name, true, false, false))
        abort();
    return LoadPictureTGA(file, picture);
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 1 << 20)
        return 0;
    // Declared sizes beyond 64K pixels only cost time: large pictures take the same paths, and
    // the unit tests cover the allocation of huge ones.
    if (size >= 16 && uint32_t(data[12] | data[13] << 8) * uint32_t(data[14] | data[15] << 8) > (1u << 16))
        return 0;
    Store("in.tga", data, size);
    nPicture picture;
    if (!Load("in.tga", picture))
        return 0;
    if (!picture.GetPixels() || picture.GetFormat() != PixelFormatBGRA8 ||
        picture.GetByteSize() != size_t(picture.GetWidth()) * picture.GetHeight() * 4)
        abort();
    if (!SavePictureTGA("out.tga", picture))
        abort();
    nPicture again;
    if (!Load("out.tga", again) || again.GetByteSize() != picture.GetByteSize() ||
        std::memcmp(again.GetPixels(), picture.GetPixels(), picture.GetByteSize()) != 0)
        abort();

    again.HasTranslucentPixels();
    if (!again.Convert(PixelFormatARGB8) || !again.Convert(PixelFormatRGB565) ||
        !again.Convert(PixelFormatARGB4444) || !again.Convert(PixelFormatRGBA8))
        abort();
    return 0;
}
