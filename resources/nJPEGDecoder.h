#ifndef N_JPEGDECODER_H
#define N_JPEGDECODER_H

#include <cstddef>
#include <cstdint>

class nIOFile;
struct nJPEGSteps;

// The JPEG decoder's input: bytes in order from the start of the stream.
class jpeg_decoder_stream
{
public:
    virtual ~jpeg_decoder_stream() {}
    virtual int Read(uint8_t* buffer, int size, bool* endOfStream) = 0;  // bytes delivered, -1 on a read error
    virtual void Attach() {}                                             // decoding starts
    virtual void Detach() {}                                             // the decoder released its memory
};

// Reads an open file from its current position; a short read ends the stream.
class jpeg_decoder_file_stream : public jpeg_decoder_stream
{
public:
    explicit jpeg_decoder_file_stream(nIOFile& file) : m_file(file), m_endOfStream(false) {}
    int Read(uint8_t* buffer, int size, bool* endOfStream) override;

private:
    nIOFile& m_file;
    bool m_endOfStream;
};

// Decoder statuses: 0, or the first error met.
enum jpeg_status
{
    JPEG_OK = 0,
    JPEG_BAD_DHT_COUNTS = -200,  // counts above 255, or more codes than their lengths hold
    JPEG_BAD_DHT_INDEX = -201,
    JPEG_BAD_DHT_MARKER = -202,
    JPEG_BAD_DQT_MARKER = -203,
    JPEG_BAD_DQT_TABLE = -204,
    JPEG_BAD_PRECISION = -205,
    JPEG_BAD_HEIGHT = -206,
    JPEG_BAD_WIDTH = -207,
    JPEG_TOO_MANY_COMPONENTS = -208,
    JPEG_BAD_SOF_LENGTH = -209,
    JPEG_BAD_VARIABLE_MARKER = -210,
    JPEG_BAD_DRI_LENGTH = -211,
    JPEG_BAD_SOS_LENGTH = -212,
    JPEG_BAD_SOS_COMPONENT_ID = -213,
    JPEG_NO_ARITHMETIC_SUPPORT = -215,
    JPEG_UNEXPECTED_MARKER = -216,
    JPEG_NOT_JPEG = -217,
    JPEG_UNSUPPORTED_MARKER = -218,
    JPEG_BAD_DQT_LENGTH = -219,
    JPEG_TOO_MANY_BLOCKS = -221,
    JPEG_UNDEFINED_QUANT_TABLE = -222,
    JPEG_UNDEFINED_HUFF_TABLE = -223,
    JPEG_UNSUPPORTED_COLORSPACE = -225,
    JPEG_UNSUPPORTED_SAMP_FACTORS = -226,
    JPEG_DECODE_ERROR = -227,
    JPEG_BAD_RESTART_MARKER = -228,
    JPEG_ASSERTION_ERROR = -229,
    JPEG_BAD_SOS_SPECTRAL = -230,
    JPEG_BAD_SOS_SUCCESSIVE = -231,
    JPEG_STREAM_READ = -232,
    JPEG_NOTENOUGHMEM = -233
};

// Decodes one baseline or progressive Huffman-coded JPEG with 8-bit samples (grey, or YCbCr with
// 4:4:4, 4:2:2, 4:4:0 or 4:2:0 sampling) and hands out one row at a time. Every length, table
// index and count read from the stream is checked before it is used; the first error sets the
// status, releases the decoder's memory and makes every later call give -1. A stream that ends
// early is no error: the rows after its end decode from the coefficients read so far (zero).
class jpeg_decoder
{
public:
    static const int kMaxSide = 8192;
    static const int kMaxBlocksPerRow = 6144;
    static const int kMaxAllocations = 100;
    static const size_t kMaxCoefficientBytes = (size_t)256 << 20;  // progressive stores, all components

    explicit jpeg_decoder(jpeg_decoder_stream* stream);                  // reads up to and including the frame header
    jpeg_decoder(jpeg_decoder_stream* stream, const nJPEGSteps& steps);  // with these block and row steps
    ~jpeg_decoder();                                                     // releases memory (the stream is the caller's)
    jpeg_decoder(const jpeg_decoder&) = delete;
    jpeg_decoder& operator=(const jpeg_decoder&) = delete;

    int begin();  // 0, or -1 / the error status
    // 0 and the next row (width x 4 bytes red, green, blue, 255; or width grey bytes); 1 when every
    // row has been handed out; -1 after an error or before begin.
    int decode(const uint8_t** row, uint32_t* rowBytes);

    int GetStatus() const { return m_status; }
    uint32_t GetWidth() const { return (uint32_t)m_width; }
    uint32_t GetHeight() const { return (uint32_t)m_height; }
    int GetComponentCount() const { return m_frameCount; }
    int GetBytesPerPixel() const { return m_bytesPerPixel; }
    bool IsProgressive() const { return m_progressive; }

private:
    struct Component
    {
        int id, h, v, quant;   // from the frame header
        int dcTable, acTable;  // from the scan header
        int dcPrediction;
        int blocksWide, blocksHigh;  // blocks of the component's own samples
        int storeWide, storeHigh;    // blocks covering whole MCUs
        int16_t* store;              // coefficients, 64 a block (decoded before output)
        uint8_t* plane;              // samples of one MCU row
        int planeWide;               // bytes a plane row
    };
    struct HuffTable
    {
        bool defined;
        uint8_t counts[17];  // codes of each length 1..16
        uint8_t values[256];
        uint16_t look[512];       // first 9 bits: (length << 8) | symbol, 0 for a longer code
        int16_t fastAC[1 << 11];  // first 11 bits of a code and its value bits together:
                                  // (value << 8) | (run << 4) | bits, 0 when they do not fit
        int32_t maxCode[18];      // largest code of each length, -1 when none
        int32_t valueOffset[17];  // values index minus the first code of each length
    };

    // Input.
    void FillInput();
    uint32_t GetByte();  // raw bytes; past the end FF, D9 alternately
    void PushBack(uint8_t byte);
    uint32_t GetWord();
    // Entropy-coded bits.
    void ResetBits();
    void RefillBits();
    uint32_t GetBits(int count);
    int DecodeSymbol(const HuffTable& table);
    int Extend(int count);   // count bits as a signed coefficient value
    bool OutOfData() const;  // every bit before the end or a marker is used

    // Markers and segments.
    int NextMarker();
    bool LocateStartOfImage();
    bool ReadMarkers(int* marker);  // up to SOF, SOS, SOI or EOI
    bool ReadDHT();
    bool ReadDQT();
    bool ReadDRI();
    bool ReadFrame(int marker);
    bool ReadScan();
    bool SkipSegment();
    bool BuildHuffTable(HuffTable& table);

    // Set-up and decoding.
    bool SetupLayout();
    bool SetupScanTables();
    bool ProcessRestart();
    bool DecodeStoredScans();  // every scan of the image into the coefficient stores
    bool DecodeStoredScan();
    bool DecodeStoredBlock(Component& c, int16_t* block);
    bool DecodeBlock(Component& c, int16_t* coefficients, const uint16_t* quant, bool* hasAC);
    bool DecodeMCURow();  // the next MCU row into the planes
    void StoredMCURow();  // the next MCU row from the stores into the planes
    void ConvertRow(int rowInMCU, uint8_t* out);

    void* Alloc(size_t bytes);
    void Fail(int status);
    void Release();

    const nJPEGSteps& m_steps;  // inverse DCT, dequantisation, colour rows
    jpeg_decoder_stream* m_stream;
    int m_status;
    bool m_ready, m_progressive, m_storedScans, m_released;

    uint8_t m_inBuffer[4096];
    int m_inPos, m_inLeft;
    bool m_endOfStream;
    bool m_pastEnd;  // bytes were made up after the end
    bool m_fakeToggle;
    uint8_t m_pushBack[128];
    int m_pushCount;

    uint64_t m_bitBuffer;  // bits from the top
    int m_bitCount;
    int m_fakeBits;  // 1-bits fed after a marker, at the bottom of the buffer
    bool m_markerHit;

    int m_width, m_height, m_frameCount;
    Component m_components[4];
    uint16_t m_quant[4][64];  // natural order
    bool m_quantDefined[4];
    HuffTable m_huff[8];

    int m_scanCount, m_scanComponents[4];
    int m_spectralStart, m_spectralEnd, m_approxHigh, m_approxLow;
    int m_restartInterval, m_restartsLeft, m_nextRestart;
    int m_eobRun;
    bool m_dataEnded;  // an end of image met inside entropy data

    int m_maxH, m_maxV, m_mcuWide, m_mcuHigh, m_mcusPerRow, m_mcusPerColumn;
    int m_bytesPerPixel;
    int m_linesLeft, m_mcuLinesLeft, m_mcuRow;
    uint8_t* m_row;

    void* m_blocks[kMaxAllocations];
    int m_blockCount;
    size_t m_storeBytes;
};

#endif
