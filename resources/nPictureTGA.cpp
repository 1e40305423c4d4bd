#include "resources/nPictureTGA.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "core/nIOFile.h"
#include "core/nLog.h"
#include "resources/nPicture.h"

namespace {

const uint32_t kHeaderSize = 18;
const size_t kWriteBlock = (size_t)1 << 20;

enum TGAType
{
    TGAColorMapped = 1,
    TGATrueColor = 2,
    TGAGrey = 3,
    TGAColorMappedRLE = 9,
    TGATrueColorRLE = 10,
    TGAGreyRLE = 11
};

struct TGAHeader
{
    uint32_t idLength;
    uint32_t mapType;
    uint32_t type;
    uint32_t mapFirst;
    uint32_t mapLength;
    uint32_t mapEntryBits;
    uint32_t width;
    uint32_t height;
    uint32_t bits;
    uint32_t descriptor;
};

inline uint32_t U16(const uint8_t* p) { return (uint32_t)p[0] | (uint32_t)p[1] << 8; }

inline uint32_t Pack(uint32_t b, uint32_t g, uint32_t r, uint32_t a)
{
    return b | g << 8 | r << 16 | a << 24;
}

// A 16-bit TGA value: five bits each of red, green and blue from the top down; the top bit is not
// alpha here, every pixel is opaque.
inline uint32_t Expand16(const uint8_t* p)
{
    uint32_t w = U16(p);
    return Pack((p[0] << 3) & 0xf8u, (w >> 2) & 0xf8u, (w >> 7) & 0xf8u, 0xffu);
}

inline uint32_t Expand24(const uint8_t* p) { return Pack(p[0], p[1], p[2], 0xffu); }
inline uint32_t Expand32(const uint8_t* p) { return Pack(p[0], p[1], p[2], p[3]); }
inline uint32_t ExpandGrey(const uint8_t* p) { return (uint32_t)p[0] * 0x01010101u; }
inline uint32_t ExpandGreyAlpha(const uint8_t* p) { return (uint32_t)p[0] * 0x010101u | (uint32_t)p[1] << 24; }

// The bytes 2-3 (image type and the low byte of the first map index) must name one of the six
// decodable types, and the rest of the header must describe a picture this reader can produce.
bool ParseHeader(const uint8_t* d, uint32_t size, TGAHeader& h)
{
    if (size < kHeaderSize) return false;
    h.idLength = d[0];
    h.mapType = d[1];
    uint32_t type = U16(d + 2);
    h.type = d[2];
    h.mapFirst = U16(d + 3);
    h.mapLength = U16(d + 5);
    h.mapEntryBits = d[7];
    h.width = U16(d + 12);
    h.height = U16(d + 14);
    h.bits = d[16];
    h.descriptor = d[17];

    if (type != TGAColorMapped && type != TGATrueColor && type != TGAGrey &&
        type != TGAColorMappedRLE && type != TGATrueColorRLE && type != TGAGreyRLE)
        return false;
    if (h.mapType > 1 || h.width == 0 || h.height == 0) return false;
    switch (h.type) {
        case TGAColorMapped:
        case TGAColorMappedRLE:
            return h.mapType == 1 && h.mapLength > 0 && h.bits == 8;
        case TGATrueColor:
        case TGAGrey:
            return h.bits == 8 || h.bits == 16 || h.bits == 24 || h.bits == 32;
        case TGAGreyRLE:
            return h.bits == 8 || h.bits == 16;
        default:
            return h.bits == 16 || h.bits == 24 || h.bits == 32;
    }
}

// Buffered reading of the open file: small pieces are served from a buffer, large raw rows are
// read straight into the picture.
class TgaSource
{
public:
    explicit TgaSource(nIOFile& file) : m_file(file), m_pos(0), m_end(0) {}

    // Makes up to n (<= kBufferSize) bytes readable at Data(); fewer only at the end of the file.
    size_t Fill(size_t n)
    {
        if (m_end - m_pos >= n) return n;
        std::memmove(m_buffer, m_buffer + m_pos, m_end - m_pos);
        m_end -= m_pos;
        m_pos = 0;
        while (m_end < n) {
            int32_t got = m_file.Read(m_buffer + m_end, (int32_t)(kBufferSize - m_end));
            if (got <= 0) break;
            m_end += (size_t)got;
        }
        return m_end < n ? m_end : n;
    }
    const uint8_t* Data() const { return m_buffer + m_pos; }
    void Consume(size_t n) { m_pos += n; }

    // Copies up to n bytes to out, the buffered ones first; the count copied.
    size_t ReadInto(uint8_t* out, size_t n)
    {
        size_t buffered = m_end - m_pos;
        size_t first = buffered < n ? buffered : n;
        std::memcpy(out, m_buffer + m_pos, first);
        m_pos += first;
        size_t done = first;
        while (done < n) {
            size_t step = n - done > (size_t)kMaxRead ? (size_t)kMaxRead : n - done;
            int32_t got = m_file.Read(out + done, (int32_t)step);
            if (got <= 0) break;
            done += (size_t)got;
        }
        return done;
    }

    void Skip(size_t n)
    {
        while (n > 0) {
            size_t step = n < kBufferSize ? n : kBufferSize;
            size_t got = Fill(step);
            Consume(got);
            if (got < step) return;
            n -= got;
        }
    }

    static const size_t kBufferSize = 1 << 16;
    static const int32_t kMaxRead = 1 << 30;

private:
    nIOFile& m_file;
    size_t m_pos;
    size_t m_end;
    uint8_t m_buffer[kBufferSize];
};

// Builds the 256-entry colour table from the map entries that follow the image ID. Entry k of the
// file is colour number first + k; colours the map does not give stay 0.
bool ReadPalette(const TGAHeader& h, TgaSource& src, uint32_t* palette)
{
    uint32_t entryBytes = h.mapEntryBits / 8;
    if (h.mapEntryBits != 16 && h.mapEntryBits != 24 && h.mapEntryBits != 32) {
        *g_log << "[!] Palette is in unsupported pixel format (neither RGB16, RGB24 or BGR8).\n";
        return false;
    }
    std::memset(palette, 0, 256 * sizeof(uint32_t));
    for (uint32_t k = 0; k < h.mapLength; ++k) {
        if (src.Fill(entryBytes) < entryBytes) {
            *g_log << "[!] Could not read TGA palette.\n";
            return false;
        }
        const uint8_t* p = src.Data();
        uint32_t index = h.mapFirst + k;
        if (index < 256) {
            if (entryBytes == 2) {
                palette[index] = Expand16(p);
            } else if (entryBytes == 3) {
                // Magenta is the transparent key of 24-bit maps.
                palette[index] = Pack(p[0], p[1], p[2], (p[0] == 255 && p[1] == 0 && p[2] == 255) ? 0u : 255u);
            } else {
                palette[index] = Expand32(p);
            }
        }
        src.Consume(entryBytes);
    }
    return true;
}

// Writes decoded pixels in file order into the picture, turning rows around for bottom-left
// files, and never past the last pixel.
class PixelSink
{
public:
    PixelSink(nPicture& picture, bool topLeft)
        : m_base(picture.GetPixels()), m_width(picture.GetWidth()), m_height(picture.GetHeight()),
          m_topLeft(topLeft), m_row(0), m_column(0), m_out(0)
    {
        SeekRow();
    }

    bool Done() const { return m_row >= m_height; }
    size_t RowRoom() const { return m_width - m_column; }  // pixels left in the current row

    // Next n pixels of the row (n <= RowRoom()).
    uint8_t* Take(size_t n)
    {
        uint8_t* at = m_out;
        m_out += n * 4;
        m_column += (uint32_t)n;
        if (m_column == m_width) {
            m_column = 0;
            ++m_row;
            SeekRow();
        }
        return at;
    }

    // Zeroes every pixel not written yet.
    void ClearRest()
    {
        while (!Done()) {
            size_t n = RowRoom();
            std::memset(Take(n), 0, n * 4);
        }
    }

private:
    void SeekRow()
    {
        if (m_row >= m_height) {
            m_out = 0;
            return;
        }
        uint32_t r = m_topLeft ? m_row : m_height - 1 - m_row;
        m_out = m_base + (size_t)r * m_width * 4;
    }

    uint8_t* m_base;
    uint32_t m_width;
    uint32_t m_height;
    bool m_topLeft;
    uint32_t m_row;
    uint32_t m_column;
    uint8_t* m_out;
};

inline void Store(uint8_t* at, uint32_t c) { std::memcpy(at, &c, 4); }

// Raw pixels of Bytes each, as many whole pixels as the data holds. Fetch turns the bytes of one
// pixel into its BGRA word.
template<int Bytes, class Fetch>
void DecodeRaw(TgaSource& src, Fetch fetch, PixelSink& sink)
{
    const size_t most = TgaSource::kBufferSize / Bytes;
    while (!sink.Done()) {
        size_t n = sink.RowRoom() < most ? sink.RowRoom() : most;
        size_t avail = src.Fill(n * Bytes) / Bytes;
        if (avail < n) n = avail;
        if (n == 0) return;
        const uint8_t* p = src.Data();
        uint8_t* out = sink.Take(n);
        for (size_t i = 0; i < n; ++i, p += Bytes, out += 4) Store(out, fetch(p));
        src.Consume(n * Bytes);
    }
}

// 32-bit pixels are already blue, green, red, alpha: rows are read straight into the picture.
void DecodeRaw32(TgaSource& src, PixelSink& sink)
{
    while (!sink.Done()) {
        size_t n = sink.RowRoom();
        uint8_t* out = sink.Take(n);
        size_t got = src.ReadInto(out, n * 4);
        if (got < n * 4) {
            // A pixel cut by the end of the file is not kept.
            size_t keep = got / 4 * 4;
            std::memset(out + keep, 0, n * 4 - keep);
            return;
        }
    }
}

// Run-length packets: a header byte, then either one value repeated (header - 127) times or
// (header + 1) values. A packet is cut at the last pixel of the picture; decoding stops at the
// first packet the data does not hold whole (the pixels of a cut raw packet that are there are kept).
template<int Bytes, class Fetch>
void DecodeRLE(TgaSource& src, Fetch fetch, PixelSink& sink)
{
    const size_t packetMax = 1 + 128 * Bytes;
    while (!sink.Done()) {
        size_t avail = src.Fill(packetMax);
        if (avail == 0) return;
        const uint8_t* p = src.Data();
        const uint8_t* end = p + avail;
        uint32_t header = *p++;
        size_t count;
        if (header & 0x80) {
            count = header - 127;
            if ((size_t)(end - p) < (size_t)Bytes) return;
            uint32_t c = fetch(p);
            p += Bytes;
            while (count && !sink.Done()) {
                size_t n = sink.RowRoom() < count ? sink.RowRoom() : count;
                uint8_t* out = sink.Take(n);
                for (size_t i = 0; i < n; ++i, out += 4) Store(out, c);
                count -= n;
            }
        } else {
            count = header + 1;
            size_t whole = (size_t)(end - p) / Bytes;
            bool cut = whole < count;
            if (cut) count = whole;
            while (count && !sink.Done()) {
                size_t n = sink.RowRoom() < count ? sink.RowRoom() : count;
                uint8_t* out = sink.Take(n);
                for (size_t i = 0; i < n; ++i, p += Bytes, out += 4) Store(out, fetch(p));
                count -= n;
            }
            if (cut) return;
        }
        src.Consume((size_t)(p - src.Data()));
    }
}

bool DecodeTGA(TgaSource& src, nPicture& picture)
{
    TGAHeader h;
    if (src.Fill(kHeaderSize) < kHeaderSize || !ParseHeader(src.Data(), kHeaderSize, h)) return false;
    src.Consume(kHeaderSize);
    src.Skip(h.idLength);

    uint32_t palette[256];
    bool indexed = h.type == TGAColorMapped || h.type == TGAColorMappedRLE;
    if (indexed) {
        if (!ReadPalette(h, src, palette)) return false;
    } else if (h.mapType == 1) {
        // A map in a true-colour file precedes the pixels and is not used.
        src.Skip((size_t)h.mapLength * ((h.mapEntryBits + 7) / 8));
    }

    // Allocate keeps the contents of a block of the same size and depth: what decoding does not
    // reach is cleared afterwards. A new block comes zero-filled and is left untouched there.
    bool reused = picture.GetPixels() && picture.GetWidth() == h.width &&
                  picture.GetHeight() == h.height && picture.GetFormat().bitsPerPixel == 32;
    if (!picture.Allocate(h.width, h.height, PixelFormatBGRA8)) return false;

    PixelSink sink(picture, (h.descriptor & 0x20) != 0);
    auto lookup = [&palette](const uint8_t* q) { return palette[*q]; };
    switch (h.type) {
        case TGAColorMapped:
            DecodeRaw<1>(src, lookup, sink);
            break;
        case TGAGrey:
            if (h.bits == 16) {
                // Grey and alpha bytes.
                DecodeRaw<2>(
                    src, [](const uint8_t* q) { return ExpandGreyAlpha(q); }, sink);
                break;
            }
            [[fallthrough]];  // the other depths read as in true-colour files
        case TGATrueColor:
            switch (h.bits) {
                case 8: DecodeRaw<1>(
                    src, [](const uint8_t* q) { return ExpandGrey(q); }, sink);
                    break;
                case 16: DecodeRaw<2>(
                    src, [](const uint8_t* q) { return Expand16(q); }, sink);
                    break;
                case 24: DecodeRaw<3>(
                    src, [](const uint8_t* q) { return Expand24(q); }, sink);
                    break;
                default: DecodeRaw32(src, sink); break;
            }
            break;
        case TGAColorMappedRLE:
            DecodeRLE<1>(src, lookup, sink);
            break;
        case TGAGreyRLE:
            // The same pixels as the raw grey form.
            if (h.bits == 8)
                DecodeRLE<1>(
                    src, [](const uint8_t* q) { return ExpandGrey(q); }, sink);
            else
                DecodeRLE<2>(
                    src, [](const uint8_t* q) { return ExpandGreyAlpha(q); }, sink);
            break;
        default:
            switch (h.bits) {
                case 16: DecodeRLE<2>(
                    src, [](const uint8_t* q) { return Expand16(q); }, sink);
                    break;
                case 24: DecodeRLE<3>(
                    src, [](const uint8_t* q) { return Expand24(q); }, sink);
                    break;
                default: DecodeRLE<4>(
                    src, [](const uint8_t* q) { return Expand32(q); }, sink);
                    break;
            }
            break;
    }
    if (reused) sink.ClearRest();
    return true;
}

bool IsWritableFormat(const nPictureFormat& f)
{
    return f == PixelFormatBGRA8 || f == PixelFormatRGBA8 || f == PixelFormatBGR8 ||
           f == PixelFormatRGB24 || f == PixelFormatRGB555;
}

// One row in the file's order: blue, green, red (, alpha) bytes for 24 and 32 bits, and for 16
// bits the 5-5-5 word with blue in the low bits.
void EncodeRow(const nPictureFormat& f, const uint8_t* src, uint8_t* dst, uint32_t width)
{
    if (f.bitsPerPixel == 16) {
        for (uint32_t x = 0; x < width; ++x, src += 2, dst += 2) {
            uint32_t w = U16(src);
            uint32_t r = (w & f.redMask) >> f.redShift;
            uint32_t g = (w & f.greenMask) >> f.greenShift;
            uint32_t b = (w & f.blueMask) >> f.blueShift;
            uint32_t out = r << 10 | g << 5 | b;
            dst[0] = (uint8_t)out;
            dst[1] = (uint8_t)(out >> 8);
        }
        return;
    }
    const uint32_t n = f.BytesPerPixel();
    const uint32_t b = f.blueShift / 8, g = f.greenShift / 8, r = f.redShift / 8;
    if (n == 4) {
        const uint32_t a = f.alphaShift / 8;
        for (uint32_t x = 0; x < width; ++x, src += 4, dst += 4) {
            dst[0] = src[b];
            dst[1] = src[g];
            dst[2] = src[r];
            dst[3] = src[a];
        }
    } else {
        for (uint32_t x = 0; x < width; ++x, src += 3, dst += 3) {
            dst[0] = src[b];
            dst[1] = src[g];
            dst[2] = src[r];
        }
    }
}

}

bool LoadPictureTGA(nIOFile& file, nPicture& picture)
{
    file.Rewind();
    TgaSource* source = new (std::nothrow) TgaSource(file);
    if (!source) return false;
    bool ok = DecodeTGA(*source, picture);
    delete source;
    return ok;
}

bool SavePictureTGA(const char* path, const nPicture& picture)
{
    const nPictureFormat& f = picture.GetFormat();
    if (!IsWritableFormat(f)) {
        *g_log << "[!] Only supports BGRA8/BGR8/RGB24/RGB555.\n";
        return false;
    }
    const uint32_t width = picture.GetWidth(), height = picture.GetHeight();
    if (!picture.GetPixels() || width > 0xffff || height > 0xffff) {
        *g_log << "[!] Cannot write a picture of " << (int32_t)width << "x" << (int32_t)height
               << (picture.GetPixels() ? "" : " without pixels") << " as TGA to '" << path << "'.\n";
        return false;
    }

    nIOFile file;
    if (!file.Open(path, false, true, false)) {
        *g_log << "[!] Cannot write to '" << path << "'.\n";
        return false;
    }

    uint8_t header[kHeaderSize] = {0};
    header[2] = TGATrueColor;
    header[12] = (uint8_t)width;
    header[13] = (uint8_t)(width >> 8);
    header[14] = (uint8_t)height;
    header[15] = (uint8_t)(height >> 8);
    header[16] = f.bitsPerPixel;
    header[17] = (uint8_t)(f.alphaBits | 0x20);
    bool ok = file.Write(header, kHeaderSize) == (int32_t)kHeaderSize;

    // Rows go out in blocks of about a megabyte: few writes, whatever the file system.
    const size_t rowBytes = (size_t)width * f.BytesPerPixel();
    const bool asIs = f == PixelFormatBGRA8 || f == PixelFormatBGR8;
    const uint32_t rowsPerBlock = (rowBytes == 0 || rowBytes >= kWriteBlock) ? 1u : (uint32_t)(kWriteBlock / rowBytes);
    uint8_t* block = asIs ? 0 : (uint8_t*)std::malloc(rowBytes * rowsPerBlock);
    if (!asIs && !block) ok = false;
    const uint8_t* src = picture.GetPixels();
    for (uint32_t y = 0; ok && y < height; y += rowsPerBlock) {
        uint32_t rows = height - y < rowsPerBlock ? height - y : rowsPerBlock;
        size_t bytes = rows * rowBytes;
        const uint8_t* out = src;
        if (!asIs) {
            for (uint32_t r = 0; r < rows; ++r) EncodeRow(f, src + r * rowBytes, block + r * rowBytes, width);
            out = block;
        }
        ok = file.Write(out, (int32_t)bytes) == (int32_t)bytes;
        src += bytes;
    }
    std::free(block);
    if (!file.Close()) ok = false;
    if (!ok) {
        *g_log << "[!] Cannot write to '" << path << "'.\n";
        return false;
    }
    return true;
}
