#include "resources/nPictureOps.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "core/nLog.h"

nRect nRect::Intersect(const nRect& a, const nRect& b)
{
    nRect r;
    r.left = a.left > b.left ? a.left : b.left;
    r.top = a.top > b.top ? a.top : b.top;
    r.right = a.right < b.right ? a.right : b.right;
    r.bottom = a.bottom < b.bottom ? a.bottom : b.bottom;
    return r;
}

uint8_t BlendScreen(int32_t a, int32_t b)
{
    const int32_t v = a + b - a * b / 256;
    return (uint8_t)(v < 0 ? 0 : (v > 255 ? 255 : v));
}

uint8_t BlendAlphaOver(int32_t destination, int32_t source, int32_t destinationAlpha,
                       int32_t sourceAlpha, int32_t resultAlpha)
{
    if (resultAlpha == 0) return 0;
    const int32_t v = (source * sourceAlpha + destination * destinationAlpha -
                       ((sourceAlpha * destination * destinationAlpha) >> 8)) /
                      resultAlpha;
    return (uint8_t)(v < 0 ? 0 : (v > 255 ? 255 : v));
}

namespace {

// Byte positions of the channels of a 32-bit picture with 8-bit channels.
struct ByteLayout
{
    int red, green, blue, alpha;
};

bool LayoutOf(const nPictureFormat& f, ByteLayout& layout)
{
    if (f.bitsPerPixel != 32 || f.isFloat || f.redBits != 8 || f.greenBits != 8 || f.blueBits != 8 ||
        f.alphaBits != 8)
        return false;
    layout = ByteLayout{f.redShift / 8, f.greenShift / 8, f.blueShift / 8, f.alphaShift / 8};
    return true;
}

void BlendOver(uint8_t* pixel, const ByteLayout& at, uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha)
{
    const int32_t da = pixel[at.alpha];
    int32_t ra = alpha + da - ((alpha * da) >> 8);
    ra = ra < 0 ? 0 : (ra > 255 ? 255 : ra);
    pixel[at.red] = BlendAlphaOver(pixel[at.red], red, da, alpha, ra);
    pixel[at.green] = BlendAlphaOver(pixel[at.green], green, da, alpha, ra);
    pixel[at.blue] = BlendAlphaOver(pixel[at.blue], blue, da, alpha, ra);
    pixel[at.alpha] = (uint8_t)ra;
}

uint8_t ToByte(float value)
{
    if (!(value > 0.0f)) return 0;  // also NaN
    if (value >= 1.0f) return 255;
    return (uint8_t)(value * 255.0f);
}

bool Finite(float a, float b) { return std::isfinite(a) && std::isfinite(b); }

// The part of the segment between lo and hi along one axis (a), the other axis (b) following it.
// False when nothing of it is left.
bool ClipAxis(float& a0, float& b0, float& a1, float& b1, float lo, float hi)
{
    if (a1 == a0) return a0 >= lo && a0 <= hi;
    if (a1 < a0) {
        std::swap(a0, a1);
        std::swap(b0, b1);
    }
    if (a1 < lo || a0 > hi) return false;
    // In double: with ends near the float range the products would overflow to infinity.
    if (a1 > hi) {
        b1 = (float)(b0 + ((double)b1 - b0) * ((double)hi - a0) / ((double)a1 - a0));
        a1 = hi;
    }
    if (a0 < lo) {
        b0 = (float)(b0 + ((double)b1 - b0) * ((double)lo - a0) / ((double)a1 - a0));
        a0 = lo;
    }
    return std::isfinite(a0) && std::isfinite(a1) && std::isfinite(b0) && std::isfinite(b1);
}

}

void BlendPixelOver(uint8_t* pixel, uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha)
{
    BlendOver(pixel, ByteLayout{0, 1, 2, 3}, red, green, blue, alpha);
}

// ---------------------------------------------------------------------------------------------

bool nPicture::FillRect(float r, float g, float b, float a, const nRect* rect)
{
    if (m_format.bitsPerPixel != 32 || !m_pixels) return false;
    nRect area = {0, 0, (int32_t)m_width, (int32_t)m_height};
    if (rect) {
        if (rect->IsEmpty()) return false;
        area = nRect::Intersect(area, *rect);
    }
    const uint32_t word = m_format.PackColor(r, g, b, a);
    uint32_t* pixels = (uint32_t*)m_pixels;
    for (int32_t y = area.top; y < area.bottom; ++y)
        for (int32_t x = area.left; x < area.right; ++x) pixels[(size_t)y * m_width + x] = word;
    return true;
}

void nPicture::PlotPixel(float x, float y, float r, float g, float b, float a, const nRectF* clip)
{
    ByteLayout at;
    if (!m_pixels || !LayoutOf(m_format, at) || !Finite(x, y)) return;
    if (clip && (x < clip->left || x >= clip->right || y < clip->top || y >= clip->bottom)) return;
    if (x < 0 || y < 0 || x >= (float)m_width || y >= (float)m_height) return;
    uint8_t* pixel = m_pixels + ((size_t)y * m_width + (size_t)x) * 4;
    BlendOver(pixel, at, ToByte(r), ToByte(g), ToByte(b), ToByte(a));
}

void nPicture::PlotPixelSmooth(float x, float y, float r, float g, float b, float a, const nRectF* clip)
{
    ByteLayout at;
    if (!m_pixels || !LayoutOf(m_format, at) || !Finite(x, y)) return;
    if (clip && (x < clip->left || x >= clip->right - 1 || y < clip->top || y >= clip->bottom - 1)) return;
    if (x <= -1.0f || y <= -1.0f || x >= (float)m_width || y >= (float)m_height) return;
    const float fx = x - std::floor(x), fy = y - std::floor(y);
    const int32_t A = ToByte(a);
    const int32_t column = (int32_t)std::floor(x), row = (int32_t)std::floor(y);
    const struct
    {
        int32_t dx, dy;
        float weight;
    } corners[4] = {
        {0, 0, (1 - fx) * (1 - fy)},
        {1, 0, fx * (1 - fy)},
        {0, 1, (1 - fx) * fy},
        {1, 1, fx * fy},
    };
    const uint8_t red = ToByte(r), green = ToByte(g), blue = ToByte(b);
    for (const auto& c : corners) {
        const int32_t px = column + c.dx, py = row + c.dy;
        if (px < 0 || py < 0 || px >= (int32_t)m_width || py >= (int32_t)m_height) continue;
        BlendOver(m_pixels + ((size_t)py * m_width + px) * 4, at, red, green, blue, (uint8_t)(A * c.weight));
    }
}

void nPicture::DrawLine(bool antialiased, float x0, float y0, float x1, float y1,
                        float r, float g, float b, float a, const nRectF* clip)
{
    ByteLayout at;
    if (!m_pixels || !LayoutOf(m_format, at) || !Finite(x0, y0) || !Finite(x1, y1)) return;
    // 1. Snap the start to a whole step along the long axis.
    float dx = x1 - x0, dy = y1 - y0;
    const bool shallow = std::fabs(dy) <= std::fabs(dx);
    if (shallow) {
        const float snapped = std::floor(x0);
        if (dx != 0) y0 -= dy * (x0 - snapped) / dx;
        x0 = snapped;
    } else {
        const float snapped = std::floor(y0);
        if (dy != 0) x0 -= dx * (y0 - snapped) / dy;
        y0 = snapped;
    }
    // 2. Clip, to the clip rectangle and always to the picture (one pixel beyond it for the
    //    smooth points' neighbours), which also bounds the number of steps.
    nRectF box = {-1.0f, -1.0f, (float)m_width + 1.0f, (float)m_height + 1.0f};
    if (clip) {
        box.left = std::fmax(box.left, clip->left);
        box.top = std::fmax(box.top, clip->top);
        box.right = std::fmin(box.right, clip->right);
        box.bottom = std::fmin(box.bottom, clip->bottom);
    }
    if (!ClipAxis(x0, y0, x1, y1, box.left, box.right)) return;
    if (!ClipAxis(y0, x0, y1, x1, box.top, box.bottom)) return;
    // 3. Step along the long axis; the far end is not plotted.
    if (!shallow) {
        std::swap(x0, y0);
        std::swap(x1, y1);
    }
    if (x1 < x0) {
        std::swap(x0, x1);
        std::swap(y0, y1);
    }
    const float length = x1 - x0;
    if (!(length <= (float)(shallow ? m_width : m_height) + 2.0f)) return;  // clipped: never longer
    const float slope = length != 0 ? (y1 - y0) / length : 0.0f;
    const int64_t steps = (int64_t)std::ceil(length);
    float t = y0;
    for (int64_t i = 0; i < steps; ++i, t += slope) {
        const float s = x0 + (float)i;
        const float px = shallow ? s : t, py = shallow ? t : s;
        // 4. Each point alone.
        if (antialiased) PlotPixelSmooth(px, py, r, g, b, a);
        else PlotPixel(px, py, r, g, b, a);
    }
}

bool nPicture::Flip(bool horizontal, bool vertical)
{
    if (m_format.bitsPerPixel != 32 || !m_pixels) return false;
    uint32_t* p = (uint32_t*)m_pixels;
    const size_t w = m_width, h = m_height;
    if (horizontal && vertical) {
        for (size_t i = 0, j = w * h; i + 1 < j; ++i, --j) std::swap(p[i], p[j - 1]);
    } else if (horizontal) {
        for (size_t y = 0; y < h; ++y)
            for (size_t i = 0, j = w; i + 1 < j; ++i, --j) std::swap(p[y * w + i], p[y * w + j - 1]);
    } else if (vertical) {
        for (size_t top = 0, bottom = h; top + 1 < bottom; ++top, --bottom)
            for (size_t x = 0; x < w; ++x) std::swap(p[top * w + x], p[(bottom - 1) * w + x]);
    }
    return true;
}

nVector nPicture::SampleBilinear(float u, float v) const
{
    const bool packed = m_format.bitsPerPixel == 32 && !m_format.isFloat;
    const bool floats = m_format.isFloat && m_format.bitsPerPixel == 96;
    if (!m_pixels || !m_width || !m_height || !(packed || floats)) return nVector(1, 0, 1, 1);
    float x = u * (float)m_width, y = v * (float)m_height;
    if (!(x > 0)) x = 0;  // also NaN
    if (!(y > 0)) y = 0;
    if (x >= (float)m_width) x = (float)(m_width - 1);
    if (y >= (float)m_height) y = (float)(m_height - 1);
    const uint32_t ix = (uint32_t)x, iy = (uint32_t)y;
    const float fx = x - (float)ix, fy = y - (float)iy;
    const uint32_t ix1 = ix + 1 < m_width ? ix + 1 : ix, iy1 = iy + 1 < m_height ? iy + 1 : iy;

    auto colour = [&](uint32_t cx, uint32_t cy) {
        const size_t index = (size_t)cy * m_width + cx;
        if (floats) {
            const float* f = (const float*)m_pixels + index * 3;
            return nVector(f[0], f[1], f[2], 1.0f);
        }
        const uint32_t word = ((const uint32_t*)m_pixels)[index];
        auto channel = [word](uint8_t shift) { return shift >= 32 ? 0.0f : (float)((word >> shift) & 0xFF) / 255.0f; };
        return nVector(channel(m_format.redShift), channel(m_format.greenShift), channel(m_format.blueShift),
                       channel(m_format.alphaShift));
    };
    const nVector c00 = colour(ix, iy), c10 = colour(ix1, iy), c01 = colour(ix, iy1), c11 = colour(ix1, iy1);
    const float w00 = (1 - fx) * (1 - fy), w10 = fx * (1 - fy), w01 = (1 - fx) * fy, w11 = fx * fy;
    return nVector(w00 * c00.x + w10 * c10.x + w01 * c01.x + w11 * c11.x,
                   w00 * c00.y + w10 * c10.y + w01 * c01.y + w11 * c11.y,
                   w00 * c00.z + w10 * c10.z + w01 * c01.z + w11 * c11.z,
                   w00 * c00.w + w10 * c10.w + w01 * c01.w + w11 * c11.w);
}

uint32_t nPicture::SamplePacked(float u, float v) const
{
    return SampleBilinear(u, v).PackColor();
}

bool nPicture::ApplyConvolution(int32_t kernelWidth, int32_t kernelHeight, const int32_t* values, const nRect* rect)
{
    if (m_format.bitsPerPixel != 32 || !m_pixels) {
        *g_log << "[!] Cannot apply convolution filter to a non RGB32 picture.\n";
        return false;
    }
    if (kernelWidth < 1 || kernelHeight < 1 || kernelWidth > kMaxKernelSide || kernelHeight > kMaxKernelSide || !values) {
        *g_log << "[!] Invalid kernel size (" << kernelWidth << "x" << kernelHeight << ").\n";
        return false;
    }
    nRect area = {0, 0, (int32_t)m_width, (int32_t)m_height};
    if (rect) area = nRect::Intersect(area, *rect);
    if (area.IsEmpty()) return true;

    int64_t divisor = 0;
    for (int32_t i = 0; i < kernelWidth * kernelHeight; ++i) divisor += values[i];
    if (divisor == 0) divisor = 1;  // edge-detecting kernels: the plain weighted sum

    nPicture copy(*this);
    if (!copy.GetPixels()) return false;
    const uint8_t* source = copy.GetPixels();
    const int32_t w = (int32_t)m_width, h = (int32_t)m_height;
    for (int32_t py = area.top; py < area.bottom; ++py)
        for (int32_t px = area.left; px < area.right; ++px) {
            int64_t sums[4] = {0, 0, 0, 0};
            for (int32_t j = 0; j < kernelHeight; ++j) {
                int32_t sy = py + j - kernelHeight / 2;
                if (sy < 0 || sy >= h) sy = py;
                for (int32_t i = 0; i < kernelWidth; ++i) {
                    int32_t sx = px + i - kernelWidth / 2;
                    if (sx < 0 || sx >= w) sx = px;
                    const int64_t weight = values[j * kernelWidth + i];
                    const uint8_t* s = source + ((size_t)sy * m_width + sx) * 4;
                    for (int k = 0; k < 4; ++k) sums[k] += weight * s[k];
                }
            }
            uint8_t* d = m_pixels + ((size_t)py * m_width + px) * 4;
            for (int k = 0; k < 4; ++k) {
                const int64_t v = sums[k] / divisor;
                d[k] = (uint8_t)(v < 0 ? 0 : (v > 255 ? 255 : v));
            }
        }
    return true;
}

bool nPicture::Resize(int32_t width, int32_t height)
{
    if (!m_pixels || !m_width || !m_height) return false;
    int64_t w = width, h = height;
    if (w < 0) {
        if (h < 0) return false;
        w = h * m_width / m_height;
    }
    if (h < 0) h = w * m_height / m_width;
    if (w <= 0 || h <= 0 || w > 0x7FFFFFFF || h > 0x7FFFFFFF) return false;
    if ((uint32_t)w == m_width && (uint32_t)h == m_height) return true;

    const bool floats = m_format.isFloat && m_format.bitsPerPixel == 96;
    const bool packed = m_format.bitsPerPixel == 32 && !m_format.isFloat;
    if (!floats && !packed) return false;
    const nPictureFormat& format = floats ? PixelFormatRGBFloat : PixelFormatRGBA8;
    const size_t bytes = nPictureByteSize((uint32_t)w, (uint32_t)h, format);
    if (bytes / (size_t)w / (size_t)h != format.BytesPerPixel()) return false;
    uint8_t* block = (uint8_t*)nPictureAllocPixelsUncleared(bytes);
    if (!block) return false;

    const float du = 1.0f / (float)w, dv = 1.0f / (float)h;
    float v = 0;
    for (int64_t row = 0; row < h; ++row, v += dv) {
        float u = 0;
        for (int64_t column = 0; column < w; ++column, u += du) {
            const size_t index = (size_t)row * (size_t)w + (size_t)column;
            if (floats) {
                const nVector c = SampleBilinear(u, v);
                float* f = (float*)block + index * 3;
                f[0] = c.x;
                f[1] = c.y;
                f[2] = c.z;
            } else {
                ((uint32_t*)block)[index] = SamplePacked(u, v);
            }
        }
    }
    if (Allocate((uint32_t)w, (uint32_t)h, format, block)) return true;
    nPictureFreePixels(block);
    return false;
}

// ---------------------------------------------------------------------------------------------

bool BlitPicture(const nPicture& source, nPicture& destination, const nRect* sourceRect,
                 const nRect* destinationRect, int32_t mode)
{
    // 1. Both pictures need pixels; the rectangles default to the whole pictures.
    if (!source.GetPixels() || !destination.GetPixels()) return false;
    const nRect sourceBounds = {0, 0, (int32_t)source.GetWidth(), (int32_t)source.GetHeight()};
    const nRect destinationBounds = {0, 0, (int32_t)destination.GetWidth(), (int32_t)destination.GetHeight()};
    const nRect rs = sourceRect ? *sourceRect : sourceBounds;
    const int32_t toLeft = destinationRect ? destinationRect->left : 0;
    const int32_t toTop = destinationRect ? destinationRect->top : 0;
    // 2. The source part inside the source, moved to its place and cut to the destination; the
    //    source part shrinks by what the destination cut off.
    nRect c = nRect::Intersect(rs, sourceBounds);
    const int64_t offsetX = (int64_t)toLeft - rs.left, offsetY = (int64_t)toTop - rs.top;
    const int64_t tl = c.left + offsetX, tt = c.top + offsetY, tr = c.right + offsetX, tb = c.bottom + offsetY;
    const int64_t al = tl > 0 ? tl : 0, at = tt > 0 ? tt : 0;
    const int64_t ar = tr < destinationBounds.right ? tr : destinationBounds.right;
    const int64_t ab = tb < destinationBounds.bottom ? tb : destinationBounds.bottom;
    // 3. Nothing overlaps.
    if (ar <= al || ab <= at) return false;
    c.left += (int32_t)(al - tl);
    c.top += (int32_t)(at - tt);
    const int32_t width = (int32_t)(ar - al), height = (int32_t)(ab - at);

    // 4. The source part in the destination's format.
    ByteLayout layout = {0, 1, 2, 3};
    const bool composes = mode == BlendCompose || mode == RgbToAlpha;
    if (composes && !LayoutOf(destination.GetFormat(), layout)) return false;
    if (mode != BlendReplace && !composes) return true;  // modes that change no pixel
    nPicture part;
    if (!part.Allocate((uint32_t)width, (uint32_t)height, source.GetFormat())) return false;
    const size_t sourcePixel = source.GetFormat().BytesPerPixel();
    for (int32_t y = 0; y < height; ++y)
        std::memcpy(part.GetPixels() + (size_t)y * width * sourcePixel,
                    source.GetPixels() + ((size_t)(c.top + y) * source.GetWidth() + c.left) * sourcePixel,
                    (size_t)width * sourcePixel);
    if (!part.Convert(destination.GetFormat())) return false;

    // 5. Row by row.
    const size_t pixel = destination.GetFormat().BytesPerPixel();
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* s = part.GetPixels() + (size_t)y * width * pixel;
        uint8_t* d = destination.GetPixels() + ((size_t)(at + y) * destination.GetWidth() + (size_t)al) * pixel;
        if (mode == BlendReplace) {
            std::memcpy(d, s, (size_t)width * pixel);
            continue;
        }
        for (int32_t x = 0; x < width; ++x, s += 4, d += 4) {
            if (mode == RgbToAlpha) {
                d[layout.alpha] = (uint8_t)((s[layout.red] + s[layout.green] + s[layout.blue]) / 3);
                continue;
            }
            const int32_t da = d[layout.alpha], sa = s[layout.alpha];
            const int32_t ra = BlendScreen(da, sa);
            d[layout.red] = BlendAlphaOver(d[layout.red], s[layout.red], da, sa, ra);
            d[layout.green] = BlendAlphaOver(d[layout.green], s[layout.green], da, sa, ra);
            d[layout.blue] = BlendAlphaOver(d[layout.blue], s[layout.blue], da, sa, ra);
            d[layout.alpha] = (uint8_t)ra;
        }
    }
    return true;
}
