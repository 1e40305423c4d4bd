#ifndef N_PICTURE_H
#define N_PICTURE_H

#include <cstddef>
#include <cstdint>

#include "core/nSharedObject.h"
#include "core/nString.h"
#include "core/nVector.h"
#include "resources/nPictureFormat.h"

struct nRect;
struct nRectF;

// Pixel memory. Every block a picture owns comes from these functions, so a decoder that
// allocates its result with them can hand the block to nPicture::Allocate. Blocks larger than
// kMaxPictureBytes are refused (NULL).
const size_t kMaxPictureBytes = (size_t)1 << 30;
void* nPictureAllocPixels(size_t bytes);                 // zero-filled; NULL for 0 bytes, above the cap or out of memory
void* nPictureAllocPixelsUncleared(size_t bytes);        // as nPictureAllocPixels, contents undefined: for blocks written whole
void* nPictureReallocPixels(void* block, size_t bytes);  // contents kept up to the smaller size; NULL as above (block untouched)
void nPictureFreePixels(void* block);                    // NULL: nothing

// Bytes of a width x height picture of the format, in 64 bits; 0 when any factor is 0.
size_t nPictureByteSize(uint32_t width, uint32_t height, const nPictureFormat& format);

// Picture state flags.
enum nPictureState
{
    PictureSizeOnly = 0x2  // a size but no CPU pixels: the renderer holds them
};

// Picture ownership flags.
enum nPictureOwnership
{
    PictureNotOwned = 0x2  // the pixel memory is the caller's and is never freed here
};

// CPU-side bitmap: rows top to bottom without padding, width x bytes-per-pixel bytes each.
// Pixels NULL means no pixel data; otherwise the block holds width x height pixels of the format.
// Owns its pixels unless PictureNotOwned is set.
class nPicture : public nSharedObject
{
public:
    nPicture();                       // no pixels, 0 x 0, empty format, flags 0, empty name
    nPicture(const nPicture& other);  // CopyFrom(other); the name is not copied
    virtual ~nPicture();              // frees owned pixels
    nPicture& operator=(const nPicture&) = delete;

    void Reset();       // forgets the pixels (nothing freed), 0 x 0, empty format, flags 0
    void FreePixels();  // frees owned pixels; pixels NULL; ownership bit cleared

    // Gives the picture a block of width x height pixels of the format: the given memory (which the
    // picture then owns, allocated with nPictureAllocPixels) or a new zero-filled block. Without
    // memory, a picture of the same size and depth only takes the new format and keeps its contents.
    // A zero size, a depth that is not a whole number of bytes or a failed allocation logs
    // "Failed to allocate picture buffer (WxH@Bbpp)." and leaves no pixels with the old size and format.
    bool Allocate(uint32_t width, uint32_t height, const nPictureFormat& format, void* memory = 0);
    void AttachPixels(void* memory, uint32_t width, uint32_t height, const nPictureFormat& format);  // caller keeps the memory; NULL: nothing
    void SetSizeOnly(uint32_t width, uint32_t height);                                               // frees and resets, then a size without pixels
    void CopyFrom(const nPicture& other);                                                            // size, format and pixels; a size-only source stays size only

    // Re-encodes every pixel in the target format. True when done (also when the format is already
    // the target, and for the empty target, which frees the pixels); false with the picture
    // unchanged when there are no pixels, the depths are not supported or memory runs out.
    bool Convert(const nPictureFormat& target);
    bool HasTranslucentPixels() const;  // any alpha below its full value; false without alpha or pixels

    // Drawing and filters (nPictureOps.cpp). Colours are floats 0..1 (a byte is trunc(value x 255));
    // coordinates and rectangles are cut to the picture, so nothing outside it is touched.
    // Filling and plotting work on 32-bit integer pictures, whose channel positions they follow.
    bool FillRect(float r, float g, float b, float a, const nRect* rect = 0);                            // false: not 32 bits, no pixels, or right <= left / bottom <= top
    void PlotPixel(float x, float y, float r, float g, float b, float a, const nRectF* clip = 0);        // alpha over pixel (trunc x, trunc y)
    void PlotPixelSmooth(float x, float y, float r, float g, float b, float a, const nRectF* clip = 0);  // spread over 2 x 2 pixels
    void DrawLine(bool antialiased, float x0, float y0, float x1, float y1,
                  float r, float g, float b, float a, const nRectF* clip = 0);  // the far end is not plotted
    void DrawLineAntialiased(float x0, float y0, float x1, float y1, float r, float g, float b, float a,
                             const nRectF* clip = 0) { DrawLine(true, x0, y0, x1, y1, r, g, b, a, clip); }
    bool Flip(bool horizontal, bool vertical);       // 32-bit pictures; both: a half turn
    nVector SampleBilinear(float u, float v) const;  // u, v 0..1; magenta for formats it cannot read and without pixels
    uint32_t SamplePacked(float u, float v) const;   // the sample, red in the low byte
    // Each byte of the rectangle becomes the kernel-weighted sum of its neighbours (rows and columns
    // outside the picture replaced by the pixel's own) over the sum of the kernel, or over 1 when the
    // kernel adds up to 0. Kernels are 1 to kMaxKernelSide a side; "Invalid kernel size (WxH)." else.
    static const int32_t kMaxKernelSide = 64;
    bool ApplyConvolution(int32_t kernelWidth, int32_t kernelHeight, const int32_t* values,
                          const nRect* rect = 0);
    // Resamples bilinearly to width x height (32-bit pictures become RGBA8). A negative side follows
    // the other by the aspect ratio. False for sizes that come to 0 or less, without pixels, for
    // other formats and when memory runs out; the picture is then unchanged.
    bool Resize(int32_t width, int32_t height);

    // Decodes a file: the TGA reader first, then every registered codec in order. False without a
    // log line when the file cannot be opened; "No picture decoder for '<path>'." when nothing decodes it.
    static bool LoadContent(nPicture* picture, const char* path);

    uint8_t* GetPixels() const { return m_pixels; }
    uint32_t GetWidth() const { return m_width; }
    uint32_t GetHeight() const { return m_height; }
    const nPictureFormat& GetFormat() const { return m_format; }
    size_t GetByteSize() const;  // bytes of the pixel block; 0 without pixels
    uint32_t GetStateFlags() const { return m_stateFlags; }
    uint32_t GetOwnershipFlags() const { return m_ownershipFlags; }
    bool IsSizeOnly() const { return (m_stateFlags & PictureSizeOnly) != 0; }
    const nString& GetName() const { return m_name; }
    void SetName(const char* name) { m_name.Set(name); }

private:
    bool ShufflePixels(const nPictureFormat& target);                  // in place among the 8-bit four-channel formats
    bool ConvertPacked(const nPictureFormat& target);                  // integer source of 8 to 32 bits
    bool ConvertFloat(const nPictureFormat& target);                   // three-float source
    void ReplacePixels(uint8_t* block, const nPictureFormat& format);  // frees the old block, owns the new one
    uint8_t* TargetBlock(const nPictureFormat& target);                // the own block for a target no wider, else a new one; NULL: out of memory
    void TakeConverted(uint8_t* block, const nPictureFormat& target);  // the converted block becomes the pixels

    uint8_t* m_pixels;
    uint32_t m_width;
    uint32_t m_height;
    nPictureFormat m_format;
    uint32_t m_stateFlags;
    uint32_t m_ownershipFlags;
    nString m_name;
};

#endif
