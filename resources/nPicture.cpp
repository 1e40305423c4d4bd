#include "resources/nPicture.h"

#include <cstdlib>
#include <cstring>

#include "core/nLog.h"

void* nPictureAllocPixels(size_t bytes)
{
    if (bytes == 0 || bytes > kMaxPictureBytes) return 0;
    return std::calloc(1, bytes);  // large blocks come zeroed from the system, untouched until used
}

void* nPictureAllocPixelsUncleared(size_t bytes)
{
    if (bytes == 0 || bytes > kMaxPictureBytes) return 0;
    return std::malloc(bytes);
}

void* nPictureReallocPixels(void* block, size_t bytes)
{
    if (bytes == 0 || bytes > kMaxPictureBytes) return 0;
    return std::realloc(block, bytes);
}

void nPictureFreePixels(void* block)
{
    std::free(block);
}

size_t nPictureByteSize(uint32_t width, uint32_t height, const nPictureFormat& format)
{
    return (size_t)width * (size_t)height * (size_t)format.BytesPerPixel();
}

namespace {

void LogAllocationFailure(uint32_t width, uint32_t height, uint32_t bits)
{
    *g_log << "[!] Failed to allocate picture buffer (" << (int32_t)width << "x"
           << (int32_t)height << "@" << (int32_t)bits << "bpp).\n";
}

}

nPicture::nPicture()
    : m_pixels(0), m_width(0), m_height(0), m_stateFlags(0), m_ownershipFlags(0)
{
}

nPicture::nPicture(const nPicture& other)
    : nSharedObject(), m_pixels(0), m_width(0), m_height(0), m_stateFlags(0), m_ownershipFlags(0)
{
    CopyFrom(other);
}

nPicture::~nPicture()
{
    FreePixels();
}

void nPicture::Reset()
{
    m_pixels = 0;
    m_width = 0;
    m_height = 0;
    m_format = PixelFormatEmpty;
    m_stateFlags = 0;
    m_ownershipFlags = 0;
}

void nPicture::FreePixels()
{
    if (m_pixels && !(m_ownershipFlags & PictureNotOwned)) nPictureFreePixels(m_pixels);
    m_pixels = 0;
    m_ownershipFlags &= ~(uint32_t)PictureNotOwned;
}

size_t nPicture::GetByteSize() const
{
    return m_pixels ? nPictureByteSize(m_width, m_height, m_format) : 0;
}

bool nPicture::Allocate(uint32_t width, uint32_t height, const nPictureFormat& format, void* memory)
{
    if (!memory && m_pixels && width == m_width && height == m_height &&
        format.bitsPerPixel == m_format.bitsPerPixel) {
        m_format = format;
        return true;
    }

    FreePixels();
    size_t bytes = nPictureByteSize(width, height, format);
    if (bytes != 0) {
        uint8_t* block = (uint8_t*)(memory ? memory : nPictureAllocPixels(bytes));
        if (block) {
            m_pixels = block;
            m_width = width;
            m_height = height;
            m_format = format;
        }
    }
    if (m_pixels) return true;
    LogAllocationFailure(width, height, format.bitsPerPixel);
    return false;
}

void nPicture::AttachPixels(void* memory, uint32_t width, uint32_t height, const nPictureFormat& format)
{
    if (!memory) return;
    FreePixels();
    m_pixels = (uint8_t*)memory;
    m_width = width;
    m_height = height;
    m_format = format;
    m_ownershipFlags |= PictureNotOwned;
}

void nPicture::SetSizeOnly(uint32_t width, uint32_t height)
{
    FreePixels();
    Reset();
    m_stateFlags |= PictureSizeOnly;
    m_width = width;
    m_height = height;
}

void nPicture::CopyFrom(const nPicture& other)
{
    if (&other == this) return;
    FreePixels();
    Reset();
    if (other.IsSizeOnly()) {
        m_stateFlags |= PictureSizeOnly;
        m_width = other.m_width;
        m_height = other.m_height;
        return;
    }

    size_t bytes = nPictureByteSize(other.m_width, other.m_height, other.m_format);
    uint8_t* block = (uint8_t*)nPictureAllocPixels(bytes);
    if (!block) {
        LogAllocationFailure(other.m_width, other.m_height, other.m_format.bitsPerPixel);
        return;
    }
    if (other.m_pixels) std::memcpy(block, other.m_pixels, bytes);
    m_pixels = block;
    m_width = other.m_width;
    m_height = other.m_height;
    m_format = other.m_format;
}

void nPicture::ReplacePixels(uint8_t* block, const nPictureFormat& format)
{
    FreePixels();
    m_pixels = block;
    m_format = format;
}

bool nPicture::HasTranslucentPixels() const
{
    const nPictureFormat& f = m_format;
    if (!m_pixels || m_width == 0 || m_height == 0) return false;
    if (f.isFloat || f.alphaMask == 0 || f.bitsPerPixel < 8 || f.bitsPerPixel > 32) return false;

    // The alpha value is compared where it stands, unscaled, with the channel's full value.
    const uint32_t full = f.alphaBits >= 32 ? 0xffffffffu : (1u << f.alphaBits) - 1u;
    const uint32_t step = f.BytesPerPixel();
    const size_t count = (size_t)m_width * m_height;
    const uint8_t* p = m_pixels;
    for (size_t i = 0; i < count; ++i, p += step) {
        uint32_t word = 0;
        for (uint32_t b = 0; b < step; ++b) word |= (uint32_t)p[b] << (8 * b);
        if (((word & f.alphaMask) >> f.alphaShift) < full) return true;
    }
    return false;
}
