#ifndef N_PICTUREIOCODEC_H
#define N_PICTUREIOCODEC_H

#include <cstdint>

#include "core/nLinkedList.h"

class nIOFile;

// Codec flags.
enum nPictureIOCodecFlags
{
    PictureCodecRead = 0x1,   // decodes (set by every codec; informative)
    PictureCodecFloat = 0x40  // decodes to three floats per pixel (PixelFormatRGBFloat)
};

// A picture decoder plug-in, registered by name (the entry id) in the process-wide registry that
// nPicture::LoadContent walks after the TGA reader.
class nPictureIOCodec : public nLinkedListEntryId
{
public:
    nPictureIOCodec(const char* name, const char* description, uint32_t flags);
    virtual ~nPictureIOCodec() {}

    // Decodes the open file from its start into a new block of width x height pixels (BGRA8, or
    // three floats with PictureCodecFloat) allocated with nPictureAllocPixels, so that a picture
    // can own it. False leaves the outputs alone and allocates nothing.
    virtual bool Decode(nIOFile& file, uint32_t& width, uint32_t& height, uint8_t*& pixels) = 0;
    virtual bool Encode(nIOFile& file, uint32_t width, uint32_t height, const uint8_t* pixels) { return false; }
    virtual void FreePixels(uint8_t*& pixels) = 0;  // releases a block from Decode; pixels NULL

    const nString& GetName() const { return GetId(); }
    const nString& GetDescription() const { return m_description; }
    uint32_t GetFlags() const { return m_flags; }

private:
    nString m_description;
    uint32_t m_flags;
};

// Registers the codecs this build has, in decoding order. Verbose logs a line before and after.
void RegisterPictureCodecs(bool verbose);

// Appends the codec at the tail of the registry, which owns it from then on. A codec whose name is
// registered already is not added: it is deleted and the first one stays. Always true.
bool RegisterPictureCodec(nPictureIOCodec* codec, bool verbose);

nPictureIOCodec* FindPictureCodec(const char* name);  // NULL when none has that name
nLinkedListId& GetPictureCodecs();                    // the registry, in decoding order

#endif
