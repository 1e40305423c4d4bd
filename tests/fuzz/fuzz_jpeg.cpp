// Arbitrary bytes as a JPEG stream, read in chunks of a size the first byte chooses: the decoder
// must refuse or decode it without reading outside its buffers, and a decoded picture has every
// row it announced unless the decoder stopped with an error, and the same rows and status with the
// plain steps as with the vector ones. Then the same bytes through the codec.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/nIOFile.h"
#include "resources/nJPEGDecoder.h"
#include "resources/nJPEGSteps.h"
#include "resources/nPicture.h"
#include "resources/nPictureIOSmallCodec.h"
#include "tests/fuzz/nFuzzSupport.h"

namespace {

class BytesStream : public jpeg_decoder_stream
{
public:
    BytesStream(const uint8_t* data, size_t size, int chunk) : m_data(data), m_size(size), m_chunk(chunk) {}
    int Read(uint8_t* buffer, int size, bool* endOfStream) override
    {
        const size_t n = std::min({size_t(size), size_t(m_chunk), m_size - m_pos});
        std::copy_n(m_data + m_pos, n, buffer);
        m_pos += n;
        if (m_pos == m_size) *endOfStream = true;
        return int(n);
    }

private:
    const uint8_t* m_data;
    size_t m_size, m_pos = 0;
    int m_chunk;
};

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static nQuietLog quiet;
    g_log = &quiet;
    if (size < 1 || size > (1 << 20)) return 0;
    const int chunk = 1 + data[0] * 17;
    ++data;
    --size;

    struct Decoded
    {
        int status = 0;
        uint32_t width = 0, height = 0;
        std::vector<uint8_t> rows;
    };
    auto decode = [&](const nJPEGSteps& steps, Decoded& out) {
        BytesStream stream(data, size, chunk);
        jpeg_decoder decoder(&stream, steps);
        if (decoder.GetStatus() != 0) return false;
        // Declared sizes beyond 1M pixels only cost time: large pictures take the same paths.
        if (uint64_t(decoder.GetWidth()) * decoder.GetHeight() > (1u << 20)) return false;
        if (decoder.begin() != 0) return false;
        const uint8_t* row = nullptr;
        uint32_t bytes = 0, rows = 0;
        int result;
        while ((result = decoder.decode(&row, &bytes)) == 0) {
            if (bytes != decoder.GetWidth() * uint32_t(decoder.GetBytesPerPixel())) abort();
            out.rows.insert(out.rows.end(), row, row + bytes);  // every byte handed out is readable
            ++rows;
        }
        if (result == 1 && rows != decoder.GetHeight()) abort();
        if (rows > decoder.GetHeight()) abort();
        out.status = decoder.GetStatus();
        out.width = decoder.GetWidth();
        out.height = decoder.GetHeight();
        return true;
    };
    Decoded fast, plain;
    if (!decode(JpegFastSteps(), fast)) return 0;
    if (!decode(JpegPlainSteps(), plain) || plain.status != fast.status || plain.rows != fast.rows) abort();

    nFuzzStore("in.jpg", data, size);
    nIOFile file;
    if (!file.Open("in.jpg", true, false, false)) abort();
    uint32_t w = 0, h = 0;
    uint8_t* pixels = nullptr;
    if (DecodeSmallJPEG(file, w, h, pixels)) {
        if (!pixels || w != fast.width || h != fast.height) abort();
        nPictureFreePixels(pixels);
    }
    return 0;
}
