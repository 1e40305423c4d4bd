#include "core/nString.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

const int kFormatBufferSize = 1024;  // Format keeps at most 1023 characters

}  // namespace

// ---------------------------------------------------------------------------------------------
// Block pools

#if defined(__SANITIZE_ADDRESS__)
#define N_BLOCK_POOL 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define N_BLOCK_POOL 0
#endif
#endif
#ifndef N_BLOCK_POOL
#define N_BLOCK_POOL 1
#endif

#if N_BLOCK_POOL
namespace {

// A free block. The first block of a batch also links the batches of a stack and counts its batch.
struct FreeBlock
{
    FreeBlock* next;
    FreeBlock* nextBatch;
    size_t count;
};

const size_t kBatchBlocks = 256;  // blocks a thread hands over at once
const size_t kKeptBatches = 64;   // full batches a thread keeps before handing one over
const size_t kChunkBytes = 64 * 1024;

struct SharedPool
{
    std::mutex mutex;
    FreeBlock* batches = nullptr;
    void* chunks = nullptr;  // every chunk, linked through its first word
};

SharedPool* SharedPools()
{
    // Never destroyed: blocks may be given back during static destruction.
    static SharedPool* pools = new SharedPool[nBlockPool::kPoolCount];
    return pools;
}

// The blocks given back last are taken first: a partial batch on top of a stack of full ones.
struct LocalPool
{
    FreeBlock* head;  // the partial batch
    size_t count;     // blocks in it
    FreeBlock* full;  // full batches
    size_t fullCount;
};

thread_local LocalPool t_pools[nBlockPool::kPoolCount] = {};

void HandOver(int index, FreeBlock* batch)
{
    SharedPool& shared = SharedPools()[index];
    std::lock_guard<std::mutex> lock(shared.mutex);
    batch->nextBatch = shared.batches;
    shared.batches = batch;
}

// Hands the thread's free blocks over when the thread ends.
struct LocalPoolsFlush
{
    ~LocalPoolsFlush()
    {
        for (int index = 0; index < nBlockPool::kPoolCount; ++index) {
            LocalPool& local = t_pools[index];
            if (local.head) {
                local.head->count = local.count;
                HandOver(index, local.head);
            }
            while (FreeBlock* batch = local.full) {
                local.full = batch->nextBatch;
                HandOver(index, batch);
            }
            local = LocalPool();
        }
    }
};

thread_local LocalPoolsFlush t_flush;

}  // namespace

bool nBlockPool::Refill()
{
    (void)&t_flush;  // registers the flush for this thread
    LocalPool& local = t_pools[m_index];
    if (FreeBlock* batch = local.full) {
        local.full = batch->nextBatch;
        --local.fullCount;
        local.head = batch;
        local.count = batch->count;
        return true;
    }
    SharedPool& shared = SharedPools()[m_index];
    {
        std::lock_guard<std::mutex> lock(shared.mutex);
        if (FreeBlock* batch = shared.batches) {
            shared.batches = batch->nextBatch;
            local.head = batch;
            local.count = batch->count;
            return true;
        }
    }
    // The first block's worth of a chunk records the chunk. Blocks of a whole number of cache
    // line pairs start on a pair, so that one is fetched in one go.
    size_t alignment = m_blockSize % 128 == 0 ? 128 : 16;
    size_t blocks = kChunkBytes / m_blockSize;
    if (blocks < 64)
        blocks = 64;
    char* chunk = static_cast<char*>(std::aligned_alloc(alignment, m_blockSize * (blocks + 1)));
    if (!chunk)
        return false;
    {
        std::lock_guard<std::mutex> lock(shared.mutex);
        *reinterpret_cast<void**>(chunk) = shared.chunks;
        shared.chunks = chunk;
    }
    FreeBlock* head = nullptr;
    for (size_t i = blocks; i >= 1; --i) {
        FreeBlock* block = reinterpret_cast<FreeBlock*>(chunk + m_blockSize * i);
        block->next = head;
        head = block;
    }
    local.head = head;
    local.count = blocks;
    return true;
}

void* nBlockPool::Take()
{
    LocalPool& local = t_pools[m_index];
    if (!local.head && !Refill())
        return nullptr;
    FreeBlock* block = local.head;
    local.head = block->next;
    --local.count;
    // The next block is asked for soon: it starts loading now.
    __builtin_prefetch(local.head, 1);
    return block;
}

void nBlockPool::Give(void* given)
{
    LocalPool& local = t_pools[m_index];
    FreeBlock* block = static_cast<FreeBlock*>(given);
    if (local.count >= kBatchBlocks) {
        // A full batch goes under the partial one, which starts again with this block. Batches
        // move only when one is full and another block comes, so a thread that gives and takes
        // in turn does not move a batch back and forth at every block.
        FreeBlock* batch = local.head;
        batch->count = local.count;
        batch->nextBatch = local.full;
        local.full = batch;
        local.head = nullptr;
        local.count = 0;
        if (++local.fullCount > kKeptBatches) {
            FreeBlock* spare = local.full;
            local.full = spare->nextBatch;
            --local.fullCount;
            HandOver(m_index, spare);
        }
    }
    block->next = local.head;
    local.head = block;
    ++local.count;
}

#else

void* nBlockPool::Take()
{
    return std::malloc(m_blockSize);
}

void nBlockPool::Give(void* block)
{
    std::free(block);
}

bool nBlockPool::Refill()
{
    return true;
}

#endif

// ---------------------------------------------------------------------------------------------
// Construction and assignment

nString::nString(const char* text) { Set(text); }

nString::nString(const char* begin, const char* end) { Set(begin, end); }

nString::nString(const nString& other)
{
    if (!other.IsLocal() && !other.m_heap)
        return;
    Assign(other.GetCStr(), other.GetLength());
}

nString::nString(nString&& other) noexcept { TakeFrom(other); }

nString::~nString() { FreeText(); }

// Heap texts of up to 63 characters come from the block pools, longer ones from malloc. While the
// text is on the heap, the last byte of m_local, unused beside the pointer, tells which.
namespace {

enum : char
{
    kMallocText = 0,
    kShortPoolText = 1,
    kPoolText = 2
};

nBlockPool g_shortTexts(32, nBlockPool::kShortTextPool);
nBlockPool g_texts(64, nBlockPool::kTextPool);

char* NewHeapText(size_t bytes, char* kind)
{
    if (bytes <= g_shortTexts.GetBlockSize()) {
        *kind = kShortPoolText;
        return static_cast<char*>(g_shortTexts.Take());
    }
    if (bytes <= g_texts.GetBlockSize()) {
        *kind = kPoolText;
        return static_cast<char*>(g_texts.Take());
    }
    *kind = kMallocText;
    return static_cast<char*>(std::malloc(bytes));
}

void DeleteHeapText(char* text, char kind)
{
    if (!text)
        return;
    switch (kind) {
        case kShortPoolText: g_shortTexts.Give(text); break;
        case kPoolText: g_texts.Give(text); break;
        default: std::free(text); break;
    }
}

}  // namespace

namespace {

// Copies size (at most 16) bytes; every byte is read before any is written, so the ranges may
// overlap. Fixed-size pieces, where a call to memcpy would cost more than the copy.
inline void CopyShort(char* to, const char* from, size_t size)
{
    if (size >= 8) {
        uint64_t head, tail;
        std::memcpy(&head, from, 8);
        std::memcpy(&tail, from + size - 8, 8);
        std::memcpy(to, &head, 8);
        std::memcpy(to + size - 8, &tail, 8);
    } else if (size >= 4) {
        uint32_t head, tail;
        std::memcpy(&head, from, 4);
        std::memcpy(&tail, from + size - 4, 4);
        std::memcpy(to, &head, 4);
        std::memcpy(to + size - 4, &tail, 4);
    } else if (size > 0) {
        char first = from[0], middle = from[size / 2], last = from[size - 1];
        to[0] = first;
        to[size / 2] = middle;
        to[size - 1] = last;
    }
}

}  // namespace

void nString::FreeText()
{
    if (!IsLocal())
        DeleteHeapText(m_heap, m_local[kLocalLength]);
}

void nString::TakeFrom(nString& other)
{
    // Both forms are plain bytes: the whole storage moves.
    std::memcpy(m_local, other.m_local, sizeof(m_local));
    m_hash = other.m_hash;
    m_size = other.m_size;
    other.m_heap = nullptr;
    other.m_hash = 0;
    other.m_size = 0;
}

void nString::Assign(const char* text, int32_t length)
{
    size_t size = static_cast<size_t>(length);
    if (length <= kLocalLength) {
        // text may lie in the own text: move it first, free a heap text after.
        char* old = IsLocal() ? nullptr : m_heap;
        char old_kind = m_local[kLocalLength];
        CopyShort(m_local, text, size);
        m_local[size] = '\0';
        DeleteHeapText(old, old_kind);
        m_size = static_cast<uint32_t>(length) | kLocalBit;
    } else {
        char kind;
        char* copy = NewHeapText(size + 1, &kind);
        if (copy) {
            std::memcpy(copy, text, size);
            copy[size] = '\0';
        }
        FreeText();
        m_heap = copy;
        m_local[kLocalLength] = kind;
        m_size = copy ? static_cast<uint32_t>(length) : 0;  // out of memory: unset
    }
    m_hash = 0;
}

void nString::Adopt(char* text)
{
    FreeText();
    m_heap = nullptr;
    m_hash = 0;
    m_size = 0;
    if (!text)
        return;
    size_t length = std::strlen(text);
    if (length <= static_cast<size_t>(kLocalLength)) {
        std::memcpy(m_local, text, length + 1);
        std::free(text);
        m_size = static_cast<uint32_t>(length) | kLocalBit;
    } else {
        m_heap = text;
        m_local[kLocalLength] = kMallocText;
        m_size = static_cast<uint32_t>(length);
    }
}

void nString::Clear()
{
    FreeText();
    m_heap = nullptr;
    m_hash = 0;
    m_size = 0;
}

void nString::Set(const char* text)
{
    if (text == GetCStr())
        return;
    if (!text) {
        Clear();
        return;
    }
    Assign(text, static_cast<int32_t>(std::strlen(text)));
}

void nString::SetNonEmpty(const char* text)
{
    if (!text || !text[0]) {
        Clear();
        return;
    }
    Set(text);
}

void nString::Set(const char* begin, const char* end)
{
    if (!begin) {
        Clear();
        return;
    }
    if (!end)
        end = begin + std::strlen(begin);
    if (end <= begin) {
        Clear();
        return;
    }
    // The text ends at the end of the range or at a NUL inside it.
    if (end - begin <= kLocalLength) {
        // Copied in place first (every byte is read before any is written, so the range may lie
        // in the own text), then measured up to the first NUL, a word at a time.
        size_t size = static_cast<size_t>(end - begin);
        char* old = IsLocal() ? nullptr : m_heap;
        char old_kind = m_local[kLocalLength];
        CopyShort(m_local, begin, size);
        m_local[size] = '\0';
        uint64_t words[2];
        std::memcpy(words, m_local, sizeof(words));
        size_t length = 0;
        for (uint64_t word : words) {
            uint64_t zero = (word - 0x0101010101010101ull) & ~word & 0x8080808080808080ull;
            if (zero) {
                length += static_cast<size_t>(__builtin_ctzll(zero)) >> 3;  // the lowest flagged byte is exact
                break;
            }
            length += 8;
        }
        DeleteHeapText(old, old_kind);
        m_size = static_cast<uint32_t>(length) | kLocalBit;
        m_hash = 0;
        return;
    }
    if (const void* nul = std::memchr(begin, '\0', static_cast<size_t>(end - begin))) {
        end = static_cast<const char*>(nul);
    }
    Assign(begin, static_cast<int32_t>(end - begin));
}

nString& nString::operator=(const nString& other)
{
    if (this == &other)
        return *this;
    // An empty-set source stays empty-set: readers rely on "" never turning into NULL.
    if (other.GetCStr())
        Assign(other.GetCStr(), other.GetLength());
    else
        Clear();
    return *this;
}

nString& nString::operator=(nString&& other) noexcept
{
    if (this == &other)
        return *this;
    FreeText();
    TakeFrom(other);
    return *this;
}

nString nString::Copy() const
{
    nString copy;
    copy.Set(GetCStr());
    return copy;
}

nString nString::Format(const char* format, ...)
{
    char buffer[kFormatBufferSize];
    buffer[0] = '\0';
    if (format) {
        va_list args;
        va_start(args, format);
        std::vsnprintf(buffer, sizeof(buffer), format, args);
        va_end(args);
    }
    nString result;
    result.Set(buffer);
    return result;
}

// ---------------------------------------------------------------------------------------------
// Access and appending

uint32_t nString::GetHash() const
{
    if (m_hash == 0)
        m_hash = nStringHash(GetCStr());
    return m_hash;
}

nString& nString::operator+=(const char* text)
{
    if (!text)
        return *this;
    if (!GetCStr()) {
        Set(text);
        return *this;
    }
    size_t added = std::strlen(text);
    size_t length = static_cast<size_t>(GetLength());
    if (IsLocal() && length + added <= static_cast<size_t>(kLocalLength)) {
        // text may lie in the own text; memmove reads it whole before the terminator is replaced.
        std::memmove(m_local + length, text, added);
        m_local[length + added] = '\0';
        SetLength(static_cast<int32_t>(length + added));
        m_hash = 0;
        return *this;
    }
    char* joined = static_cast<char*>(std::malloc(length + added + 1));
    if (!joined)
        return *this;
    // text may point into the current text, which stays valid until Adopt.
    std::memcpy(joined, GetCStr(), length);
    std::memcpy(joined + length, text, added);
    joined[length + added] = '\0';
    Adopt(joined);
    return *this;
}

nString& nString::operator+=(const nString& other)
{
    if (other.GetCStr() && other.GetLength() > 0)
        *this += other.GetCStr();
    return *this;
}

nString nString::operator+(const char* text) const
{
    nString result(*this);
    result += text;
    return result;
}

// ---------------------------------------------------------------------------------------------
// Comparison

bool nString::operator==(const char* text) const
{
    if (!text)
        return IsEmpty();
    const char* own = GetCStr();
    if (text == own)
        return true;
    if (!own)
        return false;
    return std::strcmp(own, text) == 0;
}

bool nString::operator==(const nString& other) const
{
    if (IsEmpty() || other.IsEmpty())
        return IsEmpty() && other.IsEmpty();
    if (GetHash() != other.GetHash())
        return false;
    return std::strcmp(GetCStr(), other.GetCStr()) == 0;
}

bool nString::Equals(const char* text) const
{
    if (IsEmpty())
        return text == nullptr;
    return text && std::strcmp(GetCStr(), text) == 0;
}

int nStringCompare(const nString& a, const nString& b)
{
    const char* ta = a.GetCStr();
    const char* tb = b.GetCStr();
    if (!ta && !tb)
        return 0;
    if (!ta || !tb)
        return 1;
    for (;; ++ta, ++tb) {
        signed char ca = static_cast<signed char>(*ta);
        signed char cb = static_cast<signed char>(*tb);
        if (ca != cb)
            return ca < cb ? 1 : -1;
        if (ca == 0)
            return 0;
    }
}

// ---------------------------------------------------------------------------------------------
// Paths and pieces

namespace {

bool IsPathCharacter(unsigned char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    switch (c) {
        case ' ':
        case '!':
        case '+':
        case '-':
        case '.':
        case '/':
        case '_':
            return true;
        default:
            return false;
    }
}

}  // namespace

bool nString::NormalizePath()
{
    const char* text = GetCStr();
    int32_t length = GetLength();
    if (!text)
        return false;
    char* out = static_cast<char*>(std::malloc(static_cast<size_t>(length) + 1));
    if (!out)
        return false;

    // A drive letter is lowered only when something follows "X:".
    char first = text[0];
    if (length > 2 && text[1] == ':' && first >= 'A' && first <= 'Z')
        first = static_cast<char>(first - 'A' + 'a');

    size_t n = 0;
    for (int32_t i = 0; i < length; ++i) {
        char c = (i == 0) ? first : text[i];
        if (c == '\\')
            c = '/';
        if (c == '/' && n > 0 && out[n - 1] == '/')
            continue;
        if (!IsPathCharacter(static_cast<unsigned char>(c)) && !(c == ':' && n == 1))
            c = '_';
        out[n++] = c;
    }
    out[n] = '\0';
    Adopt(out);
    return true;
}

nString nString::GetNormalizedPath() const
{
    nString copy(*this);
    copy.NormalizePath();
    return copy;
}

int StripFileName(char* text)
{
    if (!text)
        return -1;
    int last = -1;
    for (int i = 0; text[i]; ++i) {
        if (text[i] == '/' || text[i] == ':' || text[i] == '\\')
            last = i;
    }
    text[last + 1] = '\0';
    return last;
}

void nString::StripFileName()
{
    if (!GetCStr())
        return;
    char* text = Text();
    ::StripFileName(text);
    SetLength(static_cast<int32_t>(std::strlen(text)));
    m_hash = 0;
}

void StripPath(char* text)
{
    if (!text)
        return;
    const char* last = nullptr;
    for (const char* p = text; *p; ++p) {
        if (*p == '/' || *p == '\\')
            last = p;
    }
    if (last)
        std::memmove(text, last + 1, std::strlen(last + 1) + 1);
}

void nString::StripPathAndExtension()
{
    if (!GetCStr())
        return;
    char* text = Text();
    ::StripPath(text);
    char* dot = std::strrchr(text, '.');
    if (dot)
        *dot = '\0';
    SetLength(static_cast<int32_t>(std::strlen(text)));
    m_hash = 0;
}

nString GetFileExtension(const char* text)
{
    nString extension;
    if (!text)
        return extension;
    const char* dot = std::strrchr(text, '.');
    if (dot)
        extension.Set(dot + 1, nullptr);
    return extension;
}

nString nString::RemoveChar(char character) const
{
    nString result;
    const char* text = GetCStr();
    if (!text)
        return result;
    char* kept = static_cast<char*>(std::malloc(static_cast<size_t>(GetLength()) + 1));
    if (!kept)
        return result;
    size_t n = 0;
    for (const char* p = text; *p; ++p) {
        if (*p != character)
            kept[n++] = *p;
    }
    kept[n] = '\0';
    result.Adopt(kept);
    return result;
}

void nString::ForEachPiece(const char* separator, PieceFunction piece, void* context) const
{
    const char* text = GetCStr();
    if (!text || GetLength() == 0 || !piece)
        return;
    size_t separator_length = separator ? std::strlen(separator) : 0;
    const char* start = text;
    for (;;) {
        const char* p = start;
        // An empty separator never matches: the whole text is one piece.
        while (*p && !(separator_length && std::strncmp(p, separator, separator_length) == 0))
            ++p;
        piece(context, start, p);
        if (!*p)
            return;
        p += separator_length;
        if (!*p)
            return;
        start = p;
    }
}

const char* nStringFindChar(const char* text, char character, const char* end)
{
    if (!text)
        return nullptr;
    const char* p = text;
    while (p != end && *p && *p != character)
        ++p;
    return p;
}

// ---------------------------------------------------------------------------------------------
// Numbers and hashing

int32_t nStringToInt(const char* text)
{
    if (!text)
        return 0;
    bool negative = false;
    if (*text == '-' || *text == '+') {
        negative = (*text == '-');
        ++text;
    }
    // Unsigned arithmetic: an overflowing number wraps instead of being undefined.
    uint32_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        value = value * 10u + static_cast<uint32_t>(*text - '0');
    if (negative)
        value = 0u - value;
    return static_cast<int32_t>(value);
}

namespace {

const int kMaxMantissaDigits = 19;  // fits in uint64_t; further digits cannot change a float
const int kMaxExponent = 100000;    // beyond any float; bounds the exponent digits' value

double PowerOfTen(int n)
{
    static const double exact[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7,
                                   1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (n <= 22)
        return exact[n];
    return std::pow(10.0, n);
}

}  // namespace

// Reads [sign] digits [('.' | ',' with allow_comma) digits] ['e' [sign] digits] and stops at the
// first other character. The digits are gathered exactly and rounded to float once, so long
// fractions neither lose the value nor overflow, and the exponent is bounded.
float nStringToFloat(const char* begin, const char* end, bool allow_comma)
{
    if (!begin)
        return 0.0f;
    const char* p = begin;
    auto at_end = [&]() { return (end && p >= end) || *p == '\0'; };

    bool negative = false;
    if (!at_end() && (*p == '-' || *p == '+')) {
        negative = (*p == '-');
        ++p;
    }

    uint64_t mantissa = 0;
    int digits = 0;  // significant digits gathered in mantissa
    int scale = 0;   // decimal exponent of the mantissa's last digit
    bool fraction = false;
    while (!at_end()) {
        char c = *p;
        if (c >= '0' && c <= '9') {
            if (digits < kMaxMantissaDigits) {
                if (mantissa != 0 || c != '0')
                    ++digits;
                mantissa = mantissa * 10u + static_cast<uint64_t>(c - '0');
                if (fraction)
                    --scale;
            } else if (!fraction) {
                ++scale;  // an integer digit beyond the kept ones still counts
            }
            ++p;
        } else if (!fraction && (c == '.' || (allow_comma && c == ','))) {
            fraction = true;
            ++p;
        } else {
            break;
        }
    }

    if (!at_end() && *p == 'e') {
        ++p;
        bool negative_exponent = false;
        if (!at_end() && (*p == '-' || *p == '+')) {
            negative_exponent = (*p == '-');
            ++p;
        }
        int exponent = 0;
        for (; !at_end() && *p >= '0' && *p <= '9'; ++p) {
            if (exponent < kMaxExponent)
                exponent = exponent * 10 + (*p - '0');
        }
        scale += negative_exponent ? -exponent : exponent;
    }

    return nStringDecimalToFloat(negative, mantissa, digits, scale);
}

float nStringDecimalToFloat(bool negative, uint64_t mantissa, int digits, int scale)
{
    float sign = negative ? -1.0f : 1.0f;
    if (mantissa == 0)
        return sign * 0.0f;
    // Below 1e-46 every value rounds to 0 in float; above 1e39 it is beyond the float range.
    int magnitude = scale + digits;
    if (magnitude < -46)
        return sign * 0.0f;
    if (magnitude > 40)
        return sign * INFINITY;
    double value = static_cast<double>(mantissa);
    if (scale >= 0)
        value *= PowerOfTen(scale);
    else if (scale >= -22)
        value /= PowerOfTen(-scale);
    else
        value = value / PowerOfTen(22) / PowerOfTen(-scale - 22);
    // Values at or beyond half an ulp above the largest float round to infinity.
    if (value >= 3.4028235677973366e38)
        return sign * INFINITY;
    return sign * static_cast<float>(value);
}

uint32_t nStringHash(const char* text)
{
    if (!text)
        return 1u;
    // Each byte is added as a signed value (-128..127); unsigned arithmetic wraps like the
    // two's-complement sum it stands for.
    uint32_t h = 0;
    for (const char* p = text; *p; ++p)
        h = h * 37u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*p)));
    return h | 1u;
}
