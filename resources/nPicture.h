#ifndef N_PICTURE_H
#define N_PICTURE_H

#include <cstddef>
#include <cstdint>

#include "core/nSharedObject.h"
#include "core/nString.h"
#include "resources/nPictureFormat.h"

// Pixel memory. Every block a picture owns comes from these functions, so a decoder that
// allocates its result with them can hand the block to nPicture::Allocate. Blocks larger than
// kMaxPictureBytes are refused (NULL).
const size_t kMaxPictureBytes = (size_t)1 << 30;
void* nPictureAllocPixels(size_t bytes);                   // zero-filled; NULL for 0 bytes, above the cap or out of memory
void* nPictureAllocPixelsUncleared(size_t bytes);          // as nPictureAllocPixels, contents undefined: for blocks written whole
void* nPictureReallocPixels(void* block, size_t bytes);    // contents kept up to the smaller size; NULL as above (block untouched)
void  nPictureFreePixels(void* block);                     // NULL: nothing

// Bytes of a width x height picture of the format, in 64 bits; 0 when any factor is 0.
size_t nPictureByteSize(uint32_t width, uint32_t height, const nPictureFormat& format);

// Picture state flags.
enum nPictureState
{
    PictureSizeOnly = 0x2           // a size but no CPU pixels: the renderer holds them
};

// Picture ownership flags.
enum nPictureOwnership
{
    PictureNotOwned = 0x2           // the pixel memory is the caller's and is never freed here
};

// CPU-side bitmap: rows top to bottom without padding, width x bytes-per-pixel bytes each.
// Pixels NULL means no pixel data; otherwise the block holds width x height pixels of the format.
// Owns its pixels unless PictureNotOwned is set.
class nPicture : public nSharedObject
{
public:
    nPicture();                                             // no pixels, 0 x 0, empty format, flags 0, empty name
    nPicture(const nPicture& other);                        // CopyFrom(other); the name is not copied
    virtual ~nPicture();                                    // frees owned pixels
    nPicture& operator=(const nPicture&) = delete;

    void Reset();                                           // forgets the pixels (nothing freed), 0 x 0, empty format, flags 0
    void FreePixels();                                      // frees owned pixels; pixels NULL; ownership bit cleared

    // Gives the picture a block of width x height pixels of the format: the given memory (which the
    // picture then owns, allocated with nPictureAllocPixels) or a new zero-filled block. Without
    // memory, a picture of the same size and depth only takes the new format and keeps its contents.
    // A zero size, a depth that is not a whole number of bytes or a failed allocation logs
    // "Failed to allocate picture buffer (WxH@Bbpp)." and leaves no pixels with the old size and format.
    bool Allocate(uint32_t width, uint32_t height, const nPictureFormat& format, void* memory = 0);
    void AttachPixels(void* memory, uint32_t width, uint32_t height, const nPictureFormat& format); // caller keeps the memory; NULL: nothing
    void SetSizeOnly(uint32_t width, uint32_t height);      // frees and resets, then a size without pixels
    void CopyFrom(const nPicture& other);                   // size, format and pixels; a size-only source stays size only

    // Re-encodes every pixel in the target format. True when done (also when the format is already
    // the target, and for the empty target, which frees the pixels); false with the picture
    // unchanged when there are no pixels, the depths are not supported or memory runs out.
    bool Convert(const nPictureFormat& target);
    bool HasTranslucentPixels() const;                      // any alpha below its full value; false without alpha or pixels

    // Decodes a file: the TGA reader first, then every registered codec in order. False without a
    // log line when the file cannot be opened; "No picture decoder for '<path>'." when nothing decodes it.
    static bool LoadContent(nPicture* picture, const char* path);

    uint8_t*              GetPixels() const                 { return m_pixels; }
    uint32_t              GetWidth() const                  { return m_width; }
    uint32_t              GetHeight() const                 { return m_height; }
    const nPictureFormat& GetFormat() const                 { return m_format; }
    size_t                GetByteSize() const;              // bytes of the pixel block; 0 without pixels
    uint32_t              GetStateFlags() const             { return m_stateFlags; }
    uint32_t              GetOwnershipFlags() const         { return m_ownershipFlags; }
    bool                  IsSizeOnly() const                { return (m_stateFlags & PictureSizeOnly) != 0; }
    const nString&        GetName() const                   { return m_name; }
    void                  SetName(const char* name)         { m_name.Set(name); }

private:
    bool ShufflePixels(const nPictureFormat& target);       // in place among the 8-bit four-channel formats
    bool ConvertPacked(const nPictureFormat& target);       // integer source of 8 to 32 bits
    bool ConvertFloat(const nPictureFormat& target);        // three-float source
    void ReplacePixels(uint8_t* block, const nPictureFormat& format); // frees the old block, owns the new one

    uint8_t*       m_pixels;
    uint32_t       m_width;
    uint32_t       m_height;
    nPictureFormat m_format;
    uint32_t       m_stateFlags;
    uint32_t       m_ownershipFlags;
    nString        m_name;
};

#endif
