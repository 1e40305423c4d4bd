#include "resources/nPictureIOCodec.h"

#include "core/nIOFile.h"
#include "core/nLog.h"
#include "resources/nPicture.h"
#include "resources/nPictureIOSTBCodec.h"
#include "resources/nPictureIOSmallCodec.h"
#include "resources/nPictureTGA.h"

nPictureIOCodec::nPictureIOCodec(const char* name, const char* description, uint32_t flags)
    : nLinkedListEntryId(name), m_flags(flags)
{
    m_description.Set(description);
}

nLinkedListId& GetPictureCodecs()
{
    static nLinkedListId registry;  // built on first use, destroyed (with its codecs) at exit
    return registry;
}

nPictureIOCodec* FindPictureCodec(const char* name)
{
    return static_cast<nPictureIOCodec*>(GetPictureCodecs().FindById(name, false));
}

bool RegisterPictureCodec(nPictureIOCodec* codec, bool verbose)
{
    if (!codec) return true;
    if (FindPictureCodec(codec->GetName().GetCStr())) {
        delete codec;
        return true;
    }
    GetPictureCodecs().Add(codec, true, true);
    if (verbose)
        *g_log << "Codec ('" << codec->GetName().GetCStr() << "') registered successfully.\n";
    return true;
}

void RegisterPictureCodecs(bool verbose)
{
    if (verbose) *g_log << "Beginning picture I/O codec registration sequence...\n";
    RegisterPictureCodec(new nPictureIOSmallCodec(), verbose);
    RegisterPictureCodec(new nPictureIOSTBCodec(), verbose);
    if (verbose) *g_log << "All codec registered.\n\n";
}

bool nPicture::LoadContent(nPicture* picture, const char* path)
{
    if (!picture || !path) return false;
    nIOFile file;
    if (!file.Open(path, true, false, false)) return false;
    picture->SetName(path);

    if (LoadPictureTGA(file, *picture)) return true;

    nLinkedListIterator it;
    while (nLinkedListEntry* entry = GetPictureCodecs().Iterate(it)) {
        nPictureIOCodec* codec = static_cast<nPictureIOCodec*>(entry);
        uint32_t width = 0, height = 0;
        uint8_t* pixels = 0;
        if (!codec->Decode(file, width, height, pixels)) continue;
        const nPictureFormat& format =
            (codec->GetFlags() & PictureCodecFloat) ? PixelFormatRGBFloat : PixelFormatBGRA8;
        if (picture->Allocate(width, height, format, pixels)) return true;
        nPictureFreePixels(pixels);  // not taken: a picture adopts a block only when it fits
    }
    *g_log << "[!] No picture decoder for '" << path << "'.\n";
    return false;
}
