#include "resources/nJPEGDecoder.h"

#include <cstdlib>
#include <cstring>

#include "core/nIOFile.h"
#include "resources/nJPEGSteps.h"

int jpeg_decoder_file_stream::Read(uint8_t* buffer, int size, bool* endOfStream)
{
    if (m_endOfStream) {
        *endOfStream = true;
        return 0;
    }
    int32_t got = m_file.Read(buffer, size);
    if (got < 0) return -1;
    if (got < size) {
        m_endOfStream = true;
        *endOfStream = true;
    }
    return got;
}

namespace {

// Natural (row-major) position of each zigzag position.
const uint8_t kZigzag[64] = {
    0,
    1,
    8,
    16,
    9,
    2,
    3,
    10,
    17,
    24,
    32,
    25,
    18,
    11,
    4,
    5,
    12,
    19,
    26,
    33,
    40,
    48,
    41,
    34,
    27,
    20,
    13,
    6,
    7,
    14,
    21,
    28,
    35,
    42,
    49,
    56,
    57,
    50,
    43,
    36,
    29,
    22,
    15,
    23,
    30,
    37,
    44,
    51,
    58,
    59,
    52,
    45,
    38,
    31,
    39,
    46,
    53,
    60,
    61,
    54,
    47,
    55,
    62,
    63,
};

enum Marker
{
    M_SOF0 = 0xC0,
    M_SOF1 = 0xC1,
    M_SOF2 = 0xC2,
    M_SOF3 = 0xC3,
    M_DHT = 0xC4,
    M_SOF5 = 0xC5,
    M_SOF6 = 0xC6,
    M_SOF7 = 0xC7,
    M_JPG = 0xC8,
    M_SOF9 = 0xC9,
    M_SOF10 = 0xCA,
    M_SOF11 = 0xCB,
    M_DAC = 0xCC,
    M_SOF13 = 0xCD,
    M_SOF14 = 0xCE,
    M_SOF15 = 0xCF,
    M_RST0 = 0xD0,
    M_RST7 = 0xD7,
    M_SOI = 0xD8,
    M_EOI = 0xD9,
    M_SOS = 0xDA,
    M_DQT = 0xDB,
    M_DRI = 0xDD,
    M_TEM = 0x01
};

const int kRestartSearch = 1536;
const int kFastBits = 11;  // the bits of a code and its value looked up at once
const uint16_t kUnscaled[64] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                                1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                                1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
const int kMaxPrediction = 1 << 16;  // far beyond any real DC value; keeps sums in range

inline uint8_t ClampByte(int32_t v)
{
    if ((uint32_t)v > 255u) return v < 0 ? 0 : 255;
    return (uint8_t)v;
}

// A block of one value: the inverse DCT of a DC coefficient alone.
void FlatBlock(int16_t dc, uint8_t* out, int stride)
{
    const uint8_t v = ClampByte(((dc * 4 + 16) >> 5) + 128);
    for (int row = 0; row < 8; ++row) std::memset(out + row * stride, v, 8);
}

}

// ---------------------------------------------------------------------------------------------
// Life

jpeg_decoder::jpeg_decoder(jpeg_decoder_stream* stream)
    : jpeg_decoder(stream, JpegFastSteps())
{
}

jpeg_decoder::jpeg_decoder(jpeg_decoder_stream* stream, const nJPEGSteps& steps)
    : m_steps(steps), m_stream(stream), m_status(0), m_ready(false), m_progressive(false), m_storedScans(false),
      m_released(false), m_inPos(0), m_inLeft(0), m_endOfStream(false), m_pastEnd(false), m_fakeToggle(false),
      m_pushCount(0), m_bitBuffer(0), m_bitCount(0), m_fakeBits(0), m_markerHit(false),
      m_width(0), m_height(0), m_frameCount(0), m_scanCount(0), m_spectralStart(0),
      m_spectralEnd(0), m_approxHigh(0), m_approxLow(0), m_restartInterval(0), m_restartsLeft(0),
      m_nextRestart(0), m_eobRun(0), m_dataEnded(false), m_maxH(1), m_maxV(1), m_mcuWide(8),
      m_mcuHigh(8), m_mcusPerRow(0), m_mcusPerColumn(0), m_bytesPerPixel(0), m_linesLeft(0),
      m_mcuLinesLeft(0), m_mcuRow(0), m_row(0), m_blockCount(0), m_storeBytes(0)
{
    std::memset(m_components, 0, sizeof(m_components));
    std::memset(m_quant, 0, sizeof(m_quant));
    std::memset(m_quantDefined, 0, sizeof(m_quantDefined));
    std::memset(m_huff, 0, sizeof(m_huff));
    std::memset(m_scanComponents, 0, sizeof(m_scanComponents));
    std::memset(m_blocks, 0, sizeof(m_blocks));
    if (!m_stream) {
        m_status = JPEG_STREAM_READ;
        m_released = true;
        return;
    }
    m_stream->Attach();

    int marker = 0;
    if (LocateStartOfImage() && ReadMarkers(&marker)) {
        if (marker == M_SOF0 || marker == M_SOF1 || marker == M_SOF2) ReadFrame(marker);
        else Fail(JPEG_UNEXPECTED_MARKER);
    }
    if (m_status) Release();
}

jpeg_decoder::~jpeg_decoder()
{
    Release();
}

void jpeg_decoder::Fail(int status)
{
    if (!m_status) m_status = status;
}

void* jpeg_decoder::Alloc(size_t bytes)
{
    if (m_status) return 0;
    if (m_blockCount >= kMaxAllocations) {
        Fail(JPEG_TOO_MANY_BLOCKS);
        return 0;
    }
    void* block = bytes ? std::calloc(1, bytes) : 0;
    if (!block) {
        Fail(JPEG_NOTENOUGHMEM);
        return 0;
    }
    m_blocks[m_blockCount++] = block;
    return block;
}

void jpeg_decoder::Release()
{
    if (m_released) return;
    m_released = true;
    m_ready = false;
    m_stream->Detach();
    for (int i = 0; i < m_blockCount; ++i) std::free(m_blocks[i]);
    m_blockCount = 0;
    for (Component& c : m_components) {
        c.store = 0;
        c.plane = 0;
    }
    m_row = 0;
}

// ---------------------------------------------------------------------------------------------
// Input

void jpeg_decoder::FillInput()
{
    m_inPos = 0;
    m_inLeft = 0;
    while (!m_endOfStream && m_inLeft < (int)sizeof(m_inBuffer)) {
        bool end = false;
        int got = m_stream->Read(m_inBuffer + m_inLeft, (int)sizeof(m_inBuffer) - m_inLeft, &end);
        if (got < 0 || got > (int)sizeof(m_inBuffer) - m_inLeft) {
            Fail(JPEG_STREAM_READ);
            m_endOfStream = true;
            m_inLeft = 0;
            return;
        }
        m_inLeft += got;
        if (end || got == 0) m_endOfStream = true;
    }
}

inline uint32_t jpeg_decoder::GetByte()
{
    if (m_pushCount) return m_pushBack[--m_pushCount];
    if (!m_inLeft) {
        FillInput();
        if (!m_inLeft) {  // past the end: end-of-image markers for ever
            m_pastEnd = true;
            m_fakeToggle = !m_fakeToggle;
            return m_fakeToggle ? 0xFF : M_EOI;
        }
    }
    --m_inLeft;
    return m_inBuffer[m_inPos++];
}

void jpeg_decoder::PushBack(uint8_t byte)
{
    if (m_pushCount < (int)sizeof(m_pushBack)) m_pushBack[m_pushCount++] = byte;
}

uint32_t jpeg_decoder::GetWord()
{
    uint32_t high = GetByte();
    return (high << 8) | GetByte();
}

void jpeg_decoder::ResetBits()
{
    m_bitBuffer = 0;
    m_bitCount = 0;
    m_fakeBits = 0;
    m_markerHit = false;
}

// Fills the bit buffer with entropy-coded bytes, undoing byte stuffing. A marker stops the data:
// its two bytes go back to the input and 1-bits are fed in their place.
void jpeg_decoder::RefillBits()
{
    if (m_fakeBits > m_bitCount) m_fakeBits = m_bitCount;
    // Eight buffered bytes with no FF among them go in whole, as many as fit, at once.
    if (!m_markerHit && !m_pushCount && m_inLeft >= 8) {
        uint64_t word;
        std::memcpy(&word, m_inBuffer + m_inPos, 8);
        const uint64_t ones = 0x0101010101010101ull, tops = 0x8080808080808080ull;
        if (!((~word - ones) & word & tops)) {  // no byte of ~word is zero
            const int bytes = (64 - m_bitCount) >> 3;
            const int count = m_bitCount + 8 * bytes;
            const uint64_t keep = ~(uint64_t)0 << (64 - count);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
            word = __builtin_bswap64(word);  // the first byte on top
#endif
            m_bitBuffer |= (word >> m_bitCount) & keep;
            m_bitCount = count;
            m_inPos += bytes;
            m_inLeft -= bytes;
            return;
        }
    }
    while (m_bitCount <= 56) {
        if (!m_markerHit && !m_pushCount && m_inLeft > 0 && m_inBuffer[m_inPos] != 0xFF) {
            --m_inLeft;
            m_bitBuffer |= (uint64_t)m_inBuffer[m_inPos++] << (56 - m_bitCount);
            m_bitCount += 8;
            continue;
        }
        uint32_t byte = 0xFF;
        if (m_markerHit) {
            m_fakeBits += 8;
        } else {
            byte = GetByte();
            if (byte == 0xFF) {
                uint32_t next = GetByte();
                if (next != 0) {
                    PushBack((uint8_t)next);
                    PushBack(0xFF);
                    m_markerHit = true;
                    m_fakeBits += 8;
                }
            }
        }
        m_bitBuffer |= (uint64_t)byte << (56 - m_bitCount);
        m_bitCount += 8;
    }
}

inline uint32_t jpeg_decoder::GetBits(int count)
{
    if (count <= 0) return 0;
    if (m_bitCount < count) RefillBits();
    uint32_t bits = (uint32_t)(m_bitBuffer >> (64 - count));
    m_bitBuffer <<= count;
    m_bitCount -= count;
    if (m_fakeBits > m_bitCount) m_fakeBits = m_bitCount;
    return bits;
}

inline int jpeg_decoder::Extend(int count)
{
    if (count <= 0) return 0;
    int v = (int)GetBits(count);
    return v < (1 << (count - 1)) ? v + 1 - (1 << count) : v;
}

bool jpeg_decoder::OutOfData() const
{
    return m_dataEnded || (m_markerHit && m_bitCount <= m_fakeBits);
}

inline int jpeg_decoder::DecodeSymbol(const HuffTable& table)
{
    if (m_bitCount < 16) RefillBits();
    const uint16_t entry = table.look[m_bitBuffer >> 55];
    if (entry) {
        const int length = entry >> 8;
        m_bitBuffer <<= length;
        m_bitCount -= length;
        if (m_fakeBits > m_bitCount) m_fakeBits = m_bitCount;
        return entry & 0xFF;
    }
    const uint32_t code16 = (uint32_t)(m_bitBuffer >> 48);
    for (int length = 10; length <= 16; ++length) {
        const int32_t code = (int32_t)(code16 >> (16 - length));
        if (code <= table.maxCode[length]) {
            m_bitBuffer <<= length;
            m_bitCount -= length;
            if (m_fakeBits > m_bitCount) m_fakeBits = m_bitCount;
            return table.values[(code + table.valueOffset[length]) & 0xFF];
        }
    }
    // No code of the table: the data ended at a marker (the 1-bits fed after it), or is corrupt.
    if (m_markerHit) m_fakeBits = m_bitCount;
    else Fail(JPEG_DECODE_ERROR);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Markers

int jpeg_decoder::NextMarker()
{
    for (;;) {
        uint32_t c;
        do c = GetByte();
        while (c != 0xFF && !m_status);
        do c = GetByte();
        while (c == 0xFF && !m_status);
        if (m_status) return M_EOI;
        if (c != 0) return (int)c;
    }
}

bool jpeg_decoder::LocateStartOfImage()
{
    uint32_t last = GetByte();
    uint32_t c = GetByte();
    if (!(last == 0xFF && c == M_SOI)) {
        bool found = false;
        for (int i = 2; i < 512 && !found; ++i) {
            last = c;
            c = GetByte();
            found = last == 0xFF && c == M_SOI;
        }
        if (!found) {
            Fail(JPEG_NOT_JPEG);
            return false;
        }
    }
    c = GetByte();
    if (c != 0xFF) {
        Fail(JPEG_NOT_JPEG);
        return false;
    }
    PushBack(0xFF);
    return true;
}

// Reads tables and skips other segments up to a frame, scan, start or end marker, which it gives.
bool jpeg_decoder::ReadMarkers(int* marker)
{
    while (!m_status) {
        const int m = NextMarker();
        if (m_status) break;
        switch (m) {
            case M_SOF0:
            case M_SOF1:
            case M_SOF2:
            case M_SOI:
            case M_EOI:
            case M_SOS:
                *marker = m;
                return true;
            case M_SOF9:
            case M_DAC:
                Fail(JPEG_NO_ARITHMETIC_SUPPORT);
                break;
            case M_SOF3:
            case M_SOF5:
            case M_SOF6:
            case M_SOF7:
            case M_SOF10:
            case M_SOF11:
            case M_SOF13:
            case M_SOF14:
            case M_SOF15:
                Fail(JPEG_UNSUPPORTED_MARKER);
                break;
            case M_DHT: ReadDHT(); break;
            case M_DQT: ReadDQT(); break;
            case M_DRI: ReadDRI(); break;
            case M_JPG:
            case M_TEM:
                Fail(JPEG_UNEXPECTED_MARKER);
                break;
            default:
                if (m >= M_RST0 && m <= M_RST7) Fail(JPEG_UNEXPECTED_MARKER);
                else SkipSegment();  // APPn, COM, DNL and the rest
                break;
        }
    }
    return false;
}

bool jpeg_decoder::SkipSegment()
{
    uint32_t length = GetWord();
    if (length < 2) {
        Fail(JPEG_BAD_VARIABLE_MARKER);
        return false;
    }
    for (length -= 2; length && !m_status; --length) GetByte();
    return !m_status;
}

bool jpeg_decoder::ReadDHT()
{
    int32_t left = (int32_t)GetWord();
    if (left < 2) {
        Fail(JPEG_BAD_DHT_MARKER);
        return false;
    }
    left -= 2;
    while (left > 0 && !m_status) {
        if (left < 17) {
            Fail(JPEG_BAD_DHT_MARKER);
            return false;
        }
        const uint32_t kind = GetByte();
        const uint32_t index = kind & 15, tableClass = kind >> 4;
        if (index > 3 || index + 4 * tableClass > 7) {
            Fail(JPEG_BAD_DHT_INDEX);
            return false;
        }
        HuffTable& table = m_huff[index + 4 * tableClass];
        int total = 0;
        table.counts[0] = 0;
        for (int i = 1; i <= 16; ++i) total += table.counts[i] = (uint8_t)GetByte();
        if (total > 255) {
            Fail(JPEG_BAD_DHT_COUNTS);
            return false;
        }
        left -= 17;
        if (left < total) {
            Fail(JPEG_BAD_DHT_MARKER);
            return false;
        }
        std::memset(table.values, 0, sizeof(table.values));
        for (int i = 0; i < total; ++i) table.values[i] = (uint8_t)GetByte();
        left -= total;
        if (!BuildHuffTable(table)) return false;
    }
    return !m_status;
}

// Canonical codes from the counts, shortest first. A table with more codes than its lengths can
// hold would index past the look-up table: refused.
bool jpeg_decoder::BuildHuffTable(HuffTable& table)
{
    table.defined = false;
    std::memset(table.look, 0, sizeof(table.look));
    std::memset(table.fastAC, 0, sizeof(table.fastAC));
    uint32_t code = 0;
    int index = 0;
    for (int length = 1; length <= 16; ++length) {
        const int count = table.counts[length];
        table.valueOffset[length] = index - (int32_t)code;
        table.maxCode[length] = count ? (int32_t)(code + count - 1) : -1;
        for (int i = 0; i < count; ++i, ++code, ++index) {
            if (code >= (1u << length)) {
                Fail(JPEG_BAD_DHT_COUNTS);
                return false;
            }
            if (length <= 9) {
                const uint32_t first = code << (9 - length), n = 1u << (9 - length);
                for (uint32_t j = 0; j < n; ++j)
                    table.look[first + j] = (uint16_t)((length << 8) | table.values[index]);
            }
        }
        code <<= 1;
    }
    table.maxCode[17] = 0x7FFFFFFF;
    // Run, size and value at once for the codes whose value bits fit beside them in 11 bits.
    code = 0;
    index = 0;
    for (int length = 1; length <= kFastBits; ++length, code <<= 1)
        for (int i = 0; i < table.counts[length]; ++i, ++code, ++index) {
            const int symbol = table.values[index], run = symbol >> 4, size = symbol & 15;
            if (!size || length + size > kFastBits) continue;
            const uint32_t first = code << (kFastBits - length), n = 1u << (kFastBits - length);
            for (uint32_t j = 0; j < n; ++j) {
                int value = (int)(j >> (kFastBits - length - size));
                if (value < (1 << (size - 1))) value += 1 - (1 << size);
                if (value < -128 || value > 127) continue;
                table.fastAC[first + j] = (int16_t)(value * 256 + run * 16 + length + size);
            }
        }
    table.defined = true;
    return true;
}

bool jpeg_decoder::ReadDQT()
{
    int32_t left = (int32_t)GetWord();
    if (left < 2) {
        Fail(JPEG_BAD_DQT_MARKER);
        return false;
    }
    left -= 2;
    while (left > 0 && !m_status) {
        const uint32_t kind = GetByte();
        const bool wide = (kind >> 4) != 0;
        const uint32_t index = kind & 15;
        if (index > 3) {
            Fail(JPEG_BAD_DQT_TABLE);
            return false;
        }
        const int32_t need = 1 + 64 * (wide ? 2 : 1);
        if (left < need) {
            Fail(JPEG_BAD_DQT_LENGTH);
            return false;
        }
        for (int k = 0; k < 64; ++k)
            m_quant[index][kZigzag[k]] = (uint16_t)(wide ? GetWord() : GetByte());
        m_quantDefined[index] = true;
        left -= need;
    }
    return !m_status;
}

bool jpeg_decoder::ReadDRI()
{
    if (GetWord() != 4) {
        Fail(JPEG_BAD_DRI_LENGTH);
        return false;
    }
    m_restartInterval = (int)GetWord();
    return true;
}

bool jpeg_decoder::ReadFrame(int marker)
{
    m_progressive = marker == M_SOF2;
    const uint32_t length = GetWord();
    if (GetByte() != 8) {
        Fail(JPEG_BAD_PRECISION);
        return false;
    }
    m_height = (int)GetWord();
    if (m_height < 1 || m_height > kMaxSide) {
        Fail(JPEG_BAD_HEIGHT);
        return false;
    }
    m_width = (int)GetWord();
    if (m_width < 1 || m_width > kMaxSide) {
        Fail(JPEG_BAD_WIDTH);
        return false;
    }
    m_frameCount = (int)GetByte();
    if (m_frameCount > 4) {
        Fail(JPEG_TOO_MANY_COMPONENTS);
        return false;
    }
    if (length != 8 + 3 * (uint32_t)m_frameCount) {
        Fail(JPEG_BAD_SOF_LENGTH);
        return false;
    }
    for (int i = 0; i < m_frameCount; ++i) {
        Component& c = m_components[i];
        c.id = (int)GetByte();
        const uint32_t sampling = GetByte();
        c.h = (int)(sampling >> 4);
        c.v = (int)(sampling & 15);
        c.quant = (int)GetByte();
        if (c.quant > 3) {
            Fail(JPEG_BAD_DQT_TABLE);
            return false;
        }
    }
    return !m_status;
}

bool jpeg_decoder::ReadScan()
{
    const uint32_t length = GetWord();
    m_scanCount = (int)GetByte();
    if (m_scanCount < 1 || m_scanCount > 4 || length != 6 + 2 * (uint32_t)m_scanCount) {
        Fail(JPEG_BAD_SOS_LENGTH);
        return false;
    }
    for (int i = 0; i < m_scanCount; ++i) {
        const int id = (int)GetByte();
        const uint32_t tables = GetByte();
        int found = -1;
        for (int c = 0; c < m_frameCount && found < 0; ++c)
            if (m_components[c].id == id) found = c;
        if (found < 0) {
            Fail(JPEG_BAD_SOS_COMPONENT_ID);
            return false;
        }
        m_scanComponents[i] = found;
        m_components[found].dcTable = (int)(tables >> 4);
        m_components[found].acTable = (int)(tables & 15) + 4;
    }
    m_spectralStart = (int)GetByte();
    m_spectralEnd = (int)GetByte();
    const uint32_t approximation = GetByte();
    m_approxHigh = (int)(approximation >> 4);
    m_approxLow = (int)(approximation & 15);
    if (!m_progressive) {
        m_spectralStart = 0;
        m_spectralEnd = 63;
        m_approxHigh = m_approxLow = 0;
    }
    return !m_status;
}

// ---------------------------------------------------------------------------------------------
// Set-up

bool jpeg_decoder::SetupLayout()
{
    if (m_frameCount == 1) {
        m_components[0].h = m_components[0].v = 1;  // one component: its factors do not matter
        m_maxH = m_maxV = 1;
        m_bytesPerPixel = 1;
    } else if (m_frameCount == 3) {
        const Component& y = m_components[0];
        for (int i = 1; i < 3; ++i)
            if (m_components[i].h != 1 || m_components[i].v != 1) {
                Fail(JPEG_UNSUPPORTED_SAMP_FACTORS);
                return false;
            }
        if (y.h < 1 || y.h > 2 || y.v < 1 || y.v > 2) {
            Fail(JPEG_UNSUPPORTED_SAMP_FACTORS);
            return false;
        }
        m_maxH = y.h;
        m_maxV = y.v;
        m_bytesPerPixel = 4;
    } else {
        Fail(JPEG_UNSUPPORTED_COLORSPACE);
        return false;
    }
    m_mcuWide = 8 * m_maxH;
    m_mcuHigh = 8 * m_maxV;
    m_mcusPerRow = (m_width + m_mcuWide - 1) / m_mcuWide;
    m_mcusPerColumn = (m_height + m_mcuHigh - 1) / m_mcuHigh;
    int blocksPerMCU = 0;
    for (int i = 0; i < m_frameCount; ++i) blocksPerMCU += m_components[i].h * m_components[i].v;
    if (m_mcusPerRow * blocksPerMCU > kMaxBlocksPerRow) {
        Fail(JPEG_ASSERTION_ERROR);
        return false;
    }
    for (int i = 0; i < m_frameCount; ++i) {
        Component& c = m_components[i];
        const int samplesWide = (m_width * c.h + m_maxH - 1) / m_maxH;
        const int samplesHigh = (m_height * c.v + m_maxV - 1) / m_maxV;
        c.blocksWide = (samplesWide + 7) / 8;
        c.blocksHigh = (samplesHigh + 7) / 8;
        c.storeWide = m_mcusPerRow * c.h;
        c.storeHigh = m_mcusPerColumn * c.v;
        c.planeWide = c.storeWide * 8;
        c.plane = (uint8_t*)Alloc((size_t)c.planeWide * c.v * 8);
    }
    m_row = (uint8_t*)Alloc((size_t)m_mcusPerRow * m_mcuWide * m_bytesPerPixel);
    return !m_status;
}

// The tables the current scan needs must be defined.
bool jpeg_decoder::SetupScanTables()
{
    const bool dcScan = m_spectralStart == 0;
    for (int i = 0; i < m_scanCount; ++i) {
        Component& c = m_components[m_scanComponents[i]];
        if (!m_quantDefined[c.quant]) {
            Fail(JPEG_UNDEFINED_QUANT_TABLE);
            return false;
        }
        const bool needDC = dcScan && m_approxHigh == 0;
        const bool needAC = !m_progressive || !dcScan;
        if ((needDC && (c.dcTable > 3 || !m_huff[c.dcTable].defined)) ||
            (needAC && (c.acTable > 7 || !m_huff[c.acTable].defined))) {
            Fail(JPEG_UNDEFINED_HUFF_TABLE);
            return false;
        }
        c.dcPrediction = 0;
    }
    m_restartsLeft = m_restartInterval;
    m_nextRestart = 0;
    m_eobRun = 0;
    ResetBits();
    return true;
}

int jpeg_decoder::begin()
{
    if (m_status) return -1;
    int marker = 0;
    if (SetupLayout() && ReadMarkers(&marker)) {
        if (marker != M_SOS) Fail(JPEG_UNEXPECTED_MARKER);
        else if (ReadScan()) {
            bool interleavedWhole = m_scanCount == m_frameCount;
            for (int i = 0; i < m_scanCount; ++i)
                for (int j = 0; j < i; ++j)
                    if (m_scanComponents[i] == m_scanComponents[j]) interleavedWhole = false;
            m_storedScans = m_progressive || !interleavedWhole;
            if (m_storedScans) DecodeStoredScans();
            else SetupScanTables();
        }
    }
    if (m_status) {
        Release();
        return m_status;
    }
    m_linesLeft = m_height;
    m_mcuLinesLeft = 0;
    m_mcuRow = 0;
    m_ready = true;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Entropy-coded data

// Before an MCU whose interval is used up: the next restart marker, in sequence, resets the
// predictions. An end of image in its place ends the data (a file cut short).
bool jpeg_decoder::ProcessRestart()
{
    if (m_dataEnded) return true;
    ResetBits();
    int searched = 0;
    uint32_t c = GetByte();
    while (c != 0xFF) {
        if (++searched >= kRestartSearch) {
            Fail(JPEG_BAD_RESTART_MARKER);
            return false;
        }
        c = GetByte();
    }
    do c = GetByte();
    while (c == 0xFF && !m_status);
    if (c == M_EOI) {
        m_dataEnded = true;
        return true;
    }
    if (c != (uint32_t)(M_RST0 + m_nextRestart)) {
        Fail(JPEG_BAD_RESTART_MARKER);
        return false;
    }
    for (int i = 0; i < m_frameCount; ++i) m_components[i].dcPrediction = 0;
    m_eobRun = 0;
    m_restartsLeft = m_restartInterval;
    m_nextRestart = (m_nextRestart + 1) & 7;
    return true;
}

// One sequential block: DC difference and AC run/size symbols into coefficients in natural order,
// each multiplied by its quantisation value. False on corrupt data; hasAC tells whether any AC
// coefficient was coded.
bool jpeg_decoder::DecodeBlock(Component& c, int16_t* coefficients, const uint16_t* quant, bool* hasAC)
{
    *hasAC = false;
    const int s = DecodeSymbol(m_huff[c.dcTable]);
    if (s > 15) {
        if (!m_markerHit) Fail(JPEG_DECODE_ERROR);
        return false;
    }
    int prediction = c.dcPrediction + Extend(s);
    if (prediction > kMaxPrediction) prediction = kMaxPrediction;
    if (prediction < -kMaxPrediction) prediction = -kMaxPrediction;
    c.dcPrediction = prediction;
    coefficients[0] = JpegClampCoefficient(prediction * (int32_t)quant[0]);
    // The codes of the fast table leave the count of fed 1-bits alone: it is brought down to the
    // bits left before the next refill and when the block ends.
    const HuffTable& ac = m_huff[c.acTable];
    bool coded = false, whole = true;
    for (int k = 1; k < 64;) {
        if (m_bitCount < 16) RefillBits();
        const int fast = ac.fastAC[m_bitBuffer >> (64 - kFastBits)];
        int run, value;
        if (fast) {
            const int bits = fast & 15;
            m_bitBuffer <<= bits;
            m_bitCount -= bits;
            run = (fast >> 4) & 15;
            value = fast >> 8;
        } else {
            const int rs = DecodeSymbol(ac);
            const int size = rs & 15;
            run = rs >> 4;
            if (!size) {
                if (run != 15) break;
                k += 16;
                continue;
            }
            value = Extend(size);
        }
        k += run;
        if (k > 63) {
            if (!m_markerHit) Fail(JPEG_DECODE_ERROR);
            whole = false;
            break;
        }
        const int at = kZigzag[k++];
        coefficients[at] = JpegClampCoefficient(value * (int32_t)quant[at]);
        coded = true;
    }
    if (m_fakeBits > m_bitCount) m_fakeBits = m_bitCount;
    *hasAC = coded;
    return whole && !m_status;
}

bool jpeg_decoder::DecodeMCURow()
{
    int16_t block[64];
    for (int mx = 0; mx < m_mcusPerRow; ++mx) {
        if (m_restartInterval) {
            if (!m_restartsLeft && !ProcessRestart()) return false;
            --m_restartsLeft;
        }
        for (int i = 0; i < m_scanCount; ++i) {
            Component& c = m_components[m_scanComponents[i]];
            const uint16_t* quant = m_quant[c.quant];
            for (int by = 0; by < c.v; ++by)
                for (int bx = 0; bx < c.h; ++bx) {
                    uint8_t* out = c.plane + by * 8 * c.planeWide + (mx * c.h + bx) * 8;
                    std::memset(block, 0, sizeof(block));
                    bool hasAC = false;
                    if (!OutOfData() && !DecodeBlock(c, block, quant, &hasAC) && m_status) return false;
                    if (hasAC) m_steps.inverseDCT(block, out, c.planeWide);
                    else FlatBlock(block[0], out, c.planeWide);
                }
        }
    }
    return true;
}

// One block of a scan decoded into the coefficient store: a whole sequential block, or the part
// a progressive scan codes (DC first or refinement, AC first or refinement).
bool jpeg_decoder::DecodeStoredBlock(Component& c, int16_t* block)
{
    if (OutOfData()) return true;
    const int low = m_approxLow;
    if (!m_progressive) {  // quantised values: the stores are scaled when rows are made
        int16_t coefficients[64] = {0};
        bool hasAC = false;
        if (!DecodeBlock(c, coefficients, kUnscaled, &hasAC)) return !m_status;
        std::memcpy(block, coefficients, sizeof(coefficients));
        return true;
    }
    if (m_spectralStart == 0) {
        if (m_approxHigh == 0) {
            const int s = DecodeSymbol(m_huff[c.dcTable]);
            if (s > 15) {
                if (!m_markerHit) Fail(JPEG_DECODE_ERROR);
                return !m_status;
            }
            int prediction = c.dcPrediction + Extend(s);
            if (prediction > kMaxPrediction) prediction = kMaxPrediction;
            if (prediction < -kMaxPrediction) prediction = -kMaxPrediction;
            c.dcPrediction = prediction;
            block[0] = (int16_t)(prediction * (1 << low));
        } else if (GetBits(1)) {
            block[0] = (int16_t)(block[0] | (1 << low));
        }
        return !m_status;
    }

    const HuffTable& ac = m_huff[c.acTable];
    if (m_approxHigh == 0) {  // AC first
        if (m_eobRun) {
            --m_eobRun;
            return true;
        }
        for (int k = m_spectralStart; k <= m_spectralEnd;) {
            const int rs = DecodeSymbol(ac);
            const int run = rs >> 4, size = rs & 15;
            if (size) {
                k += run;
                if (k > 63) {
                    if (!m_markerHit) Fail(JPEG_DECODE_ERROR);
                    return !m_status;
                }
                block[kZigzag[k++]] = (int16_t)(Extend(size) * (1 << low));
            } else if (run < 15) {
                m_eobRun = (1 << run) - 1;
                if (run) m_eobRun += (int)GetBits(run);
                break;
            } else {
                k += 16;
            }
        }
        return !m_status;
    }

    // AC refinement: a correction bit for every coefficient already non-zero in the band; new
    // coefficients of +-2^low placed after their run of zeros.
    const int plus = 1 << low, minus = -(1 << low);
    int k = m_spectralStart;
    if (!m_eobRun) {
        for (; k <= m_spectralEnd; ++k) {
            const int rs = DecodeSymbol(ac);
            int run = rs >> 4;
            int size = rs & 15;
            int value = 0;
            if (size) {
                if (size != 1) {
                    if (!m_markerHit) Fail(JPEG_DECODE_ERROR);
                    return !m_status;
                }
                value = GetBits(1) ? plus : minus;
            } else if (run != 15) {
                m_eobRun = 1 << run;
                if (run) m_eobRun += (int)GetBits(run);
                break;
            }
            while (k <= m_spectralEnd) {
                int16_t& coefficient = block[kZigzag[k]];
                if (coefficient) {
                    if (GetBits(1) && (coefficient & plus) == 0)
                        coefficient = (int16_t)(coefficient + (coefficient >= 0 ? plus : minus));
                } else if (--run < 0) {
                    break;
                }
                ++k;
            }
            if (value) {
                if (k > 63) {
                    if (!m_markerHit) Fail(JPEG_DECODE_ERROR);
                    return !m_status;
                }
                block[kZigzag[k]] = (int16_t)value;
            }
        }
    }
    if (m_eobRun) {
        for (; k <= m_spectralEnd; ++k) {
            int16_t& coefficient = block[kZigzag[k]];
            if (coefficient && GetBits(1) && (coefficient & plus) == 0)
                coefficient = (int16_t)(coefficient + (coefficient >= 0 ? plus : minus));
        }
        --m_eobRun;
    }
    return !m_status;
}

bool jpeg_decoder::DecodeStoredScan()
{
    if (m_progressive) {
        const bool dcScan = m_spectralStart == 0;
        if (m_spectralEnd < m_spectralStart || m_spectralEnd > 63 || (!dcScan && m_scanCount != 1) ||
            (dcScan && m_spectralEnd != 0)) {
            Fail(JPEG_BAD_SOS_SPECTRAL);
            return false;
        }
        if ((m_approxHigh != 0 && m_approxHigh != m_approxLow + 1) || m_approxLow > 13) {
            Fail(JPEG_BAD_SOS_SUCCESSIVE);
            return false;
        }
    }
    if (!SetupScanTables()) return false;

    if (m_scanCount == 1) {  // one component: its own blocks in natural order
        Component& c = m_components[m_scanComponents[0]];
        for (int by = 0; by < c.blocksHigh; ++by)
            for (int bx = 0; bx < c.blocksWide; ++bx) {
                if (m_restartInterval) {
                    if (!m_restartsLeft && !ProcessRestart()) return false;
                    --m_restartsLeft;
                }
                if (!DecodeStoredBlock(c, c.store + ((size_t)by * c.storeWide + bx) * 64)) return false;
            }
        return true;
    }
    for (int my = 0; my < m_mcusPerColumn; ++my)
        for (int mx = 0; mx < m_mcusPerRow; ++mx) {
            if (m_restartInterval) {
                if (!m_restartsLeft && !ProcessRestart()) return false;
                --m_restartsLeft;
            }
            for (int i = 0; i < m_scanCount; ++i) {
                Component& c = m_components[m_scanComponents[i]];
                for (int v = 0; v < c.v; ++v)
                    for (int h = 0; h < c.h; ++h) {
                        const size_t index = (size_t)(my * c.v + v) * c.storeWide + (size_t)(mx * c.h + h);
                        if (!DecodeStoredBlock(c, c.store + index * 64)) return false;
                    }
            }
        }
    return true;
}

// Every scan up to the end of the image, into one coefficient store per component.
bool jpeg_decoder::DecodeStoredScans()
{
    m_storeBytes = 0;
    for (int i = 0; i < m_frameCount; ++i)
        m_storeBytes += (size_t)m_components[i].storeWide * m_components[i].storeHigh * 64 * sizeof(int16_t);
    if (m_storeBytes > kMaxCoefficientBytes) {
        Fail(JPEG_NOTENOUGHMEM);
        return false;
    }
    for (int i = 0; i < m_frameCount; ++i) {
        Component& c = m_components[i];
        c.store = (int16_t*)Alloc((size_t)c.storeWide * c.storeHigh * 64 * sizeof(int16_t));
    }
    while (!m_status) {
        if (!DecodeStoredScan()) return false;
        ResetBits();
        m_dataEnded = false;
        int marker = 0;
        if (ReadMarkers(&marker) && marker == M_EOI) return true;
        if (!m_status && marker != M_SOS) Fail(JPEG_UNEXPECTED_MARKER);
        if (!m_status) ReadScan();
        if (m_pastEnd) {         // a file cut inside the headers of a later scan: what came
            m_status = JPEG_OK;  // before them is the picture
            return true;
        }
    }
    return false;
}

void jpeg_decoder::StoredMCURow()
{
    int16_t scaled[64];
    for (int i = 0; i < m_frameCount; ++i) {
        Component& c = m_components[i];
        const uint16_t* quant = m_quant[c.quant];
        for (int by = 0; by < c.v; ++by)
            for (int bx = 0; bx < c.storeWide; ++bx) {
                const int16_t* block = c.store + ((size_t)(m_mcuRow * c.v + by) * c.storeWide + bx) * 64;
                m_steps.dequantise(block, quant, scaled);
                m_steps.inverseDCT(scaled, c.plane + by * 8 * c.planeWide + bx * 8, c.planeWide);
            }
    }
}

// ---------------------------------------------------------------------------------------------
// Rows

void jpeg_decoder::ConvertRow(int rowInMCU, uint8_t* out)
{
    const Component& y = m_components[0];
    const uint8_t* luma = y.plane + rowInMCU * y.planeWide;
    if (m_bytesPerPixel == 1) {
        std::memcpy(out, luma, (size_t)m_width);
        return;
    }
    const int chromaRow = rowInMCU / y.v;
    const uint8_t* cb = m_components[1].plane + chromaRow * m_components[1].planeWide;
    const uint8_t* cr = m_components[2].plane + chromaRow * m_components[2].planeWide;
    m_steps.colourRow(luma, cb, cr, y.h == 2, out, m_width);
}

int jpeg_decoder::decode(const uint8_t** row, uint32_t* rowBytes)
{
    if (m_status || !m_ready) return -1;
    if (!m_linesLeft) return 1;
    if (!m_mcuLinesLeft) {
        if (m_storedScans) {
            StoredMCURow();
        } else if (!DecodeMCURow()) {
            Release();
            return -1;
        }
        ++m_mcuRow;
        m_mcuLinesLeft = m_mcuHigh;
    }
    ConvertRow(m_mcuHigh - m_mcuLinesLeft, m_row);
    --m_mcuLinesLeft;
    --m_linesLeft;
    if (row) *row = m_row;
    if (rowBytes) *rowBytes = (uint32_t)(m_width * m_bytesPerPixel);
    return 0;
}
