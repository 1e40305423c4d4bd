#include "core/nMLParser.h"

#include "core/nIO.h"
#include "core/nLog.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "core/nString.h"

#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// ---------------------------------------------------------------------------------------------
// Character scanners
// ---------------------------------------------------------------------------------------------

namespace {

// What each character is to the scanners.
enum : uint8_t
{
    kStop = 1,            // ends an identifier
    kStopUnlessDash = 2,  // ends an identifier unless dashes are allowed
    kBlank = 4,           // skipped between tokens
    kSlash = 8,           // may start a comment
};

struct CharTable
{
    uint8_t kind[256];
    CharTable()
    {
        memset(kind, 0, sizeof(kind));
        const char* always = " \t\r\n\"()*+,/:;<=>";
        for (const char* c = always; *c; ++c)
            kind[static_cast<uint8_t>(*c)] = kStop;
        kind[static_cast<uint8_t>('-')] = kStopUnlessDash;
        for (const char* c = " \t\r\n"; *c; ++c)
            kind[static_cast<uint8_t>(*c)] |= kBlank;
        kind[static_cast<uint8_t>('/')] |= kSlash;
    }
};
const CharTable kChars;

// ScanSkipBlanks, with the usual case of nothing to skip decided inline.
inline const char* SkipBlanks(const char* p, const char* end)
{
    if (p < end && !(kChars.kind[static_cast<uint8_t>(*p)] & (kBlank | kSlash)))
        return p;
    return ScanSkipBlanks(p, end);
}

}  // namespace

const char* ScanQuotedEnd(const char* p, const char* end)
{
    while (p < end) {
#if defined(__SSE2__)
        // Sixteen characters at a time up to the next quote or backslash.
        const __m128i quote = _mm_set1_epi8('"');
        const __m128i backslash = _mm_set1_epi8('\\');
        while (end - p >= 16) {
            __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            int special = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(chunk, quote), _mm_cmpeq_epi8(chunk, backslash)));
            if (special) {
                p += __builtin_ctz(static_cast<unsigned>(special));
                break;
            }
            p += 16;
        }
        if (p >= end)
            break;
#endif
        if (*p == '"')
            return p;
        if (*p == '\\') {
            if (end - p < 2)
                return end;
            p += 2;
            continue;
        }
        ++p;
    }
    return end;
}

const char* ScanIdentifierEnd(const char* p, const char* end, bool allow_dash)
{
    const uint8_t mask = allow_dash ? kStop : kStop | kStopUnlessDash;
#if defined(__SSE2__)
    // Every character that can end an identifier is below 'A': sixteen characters at a time up
    // to such a character, which the table then judges.
    const __m128i highest = _mm_set1_epi8(0x40);
    while (end - p >= 16) {
        __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        unsigned low = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(chunk, highest), chunk)));
        for (; low; low &= low - 1) {
            const char* q = p + __builtin_ctz(low);
            if (kChars.kind[static_cast<uint8_t>(*q)] & mask)
                return q;
        }
        p += 16;
    }
#endif
    while (p < end && !(kChars.kind[static_cast<uint8_t>(*p)] & mask))
        ++p;
    return p;
}

const char* ScanLineEnd(const char* p, const char* end)
{
    while (p < end && *p != '\r' && *p != '\n')
        ++p;
    return p;
}

const char* ScanBlockCommentEnd(const char* p, const char* end)
{
    if (end - p < 2)
        return end;
    for (p += 2; end - p >= 2; ++p) {
        if (p[0] == '*' && p[1] == '/')
            return p + 2;
    }
    return end;
}

const char* ScanSkipBlanks(const char* p, const char* end)
{
    while (p < end) {
        uint8_t kind = kChars.kind[static_cast<uint8_t>(*p)];
        if (kind & kBlank) {
#if defined(__SSE2__)
            // A run of blanks, sixteen characters at a time.
            if (end - p >= 16) {
                __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
                __m128i blank = _mm_or_si128(
                    _mm_or_si128(_mm_cmpeq_epi8(chunk, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(chunk, _mm_set1_epi8('\t'))),
                    _mm_or_si128(_mm_cmpeq_epi8(chunk, _mm_set1_epi8('\r')), _mm_cmpeq_epi8(chunk, _mm_set1_epi8('\n'))));
                unsigned other = ~static_cast<unsigned>(_mm_movemask_epi8(blank)) & 0xFFFFu;
                p += other ? __builtin_ctz(other) : 16;
                continue;
            }
#endif
            ++p;
        } else if (!(kind & kSlash) || end - p < 2) {
            break;
        } else if (p[1] == '/') {
            p = ScanLineEnd(p + 2, end);
        } else if (p[1] == '*') {
            p = ScanBlockCommentEnd(p, end);
        } else {
            break;
        }
    }
    return p;
}

const char* ScanNextToken(const char* p, const char* end, bool allow_dash)
{
    return ScanSkipBlanks(ScanIdentifierEnd(p, end, allow_dash), end);
}

bool ScanIsFloatLiteral(const char* p, const char* end)
{
    if (p < end && *p == '-')
        ++p;
    const char* token_end = ScanIdentifierEnd(p, end, false);
    for (; p < token_end; ++p) {
        if (*p == '.' || *p == 'f')
            return true;
    }
    return false;
}

const char* ScanFindChar(const char* p, const char* end, char ch)
{
    for (;;) {
        p = ScanSkipBlanks(p, end);
        if (p >= end)
            return nullptr;
        if (*p == ch)
            return p;
        if (*p == '(') {
            int depth = 1;
            for (++p; p < end && depth > 0; ++p) {
                if (*p == '(')
                    ++depth;
                else if (*p == ')')
                    --depth;
            }
            if (depth > 0)
                return nullptr;
            continue;
        }
        ++p;
    }
}

// ---------------------------------------------------------------------------------------------
// Binary decoders
// ---------------------------------------------------------------------------------------------

int UUDecode(const char* text, int length, uint8_t* out, int out_size)
{
    if (!text || !out || length <= 0 || out_size <= 0)
        return 0;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(text);
    const uint8_t* end = p + length;
    int produced = 0;
    while (p < end && produced < out_size) {
        int count = *p++;
        if (p >= end)
            break;  // a count character that is the last character ends the block
        for (int groups = (count - 32) / 3; groups > 0 && produced < out_size; --groups) {
            if (end - p < 4) {
                *g_log << "[*] input buffer underflow.\n";
                return produced;
            }
            // Unsigned digits: characters below 32 wrap instead of shifting a negative value.
            uint32_t value = (static_cast<uint32_t>(p[0]) - 32u) << 18 | (static_cast<uint32_t>(p[1]) - 32u) << 12 |
                             (static_cast<uint32_t>(p[2]) - 32u) << 6 | (static_cast<uint32_t>(p[3]) - 32u);
            p += 4;
            const uint8_t bytes[3] = {static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 8),
                                      static_cast<uint8_t>(value)};
            for (int i = 0; i < 3 && produced < out_size; ++i)
                out[produced++] = bytes[i];
        }
        if (p < end)
            ++p;  // the line end
    }
    return produced;
}

namespace {

// Copies the run of plain characters (neither '=' nor LF) at p, each minus 42, into out, sixteen
// characters at a time while both sides have room for sixteen; returns how many it copied. It may
// store up to sixteen bytes past the run, which the caller overwrites next.
inline int YDecodeRun(const uint8_t* p, const uint8_t* end, uint8_t* out, int room)
{
    int done = 0;
#if defined(__SSE2__)
    const __m128i equals = _mm_set1_epi8('=');
    const __m128i line_feed = _mm_set1_epi8('\n');
    const __m128i shift = _mm_set1_epi8(42);
    while (end - (p + done) >= 16 && room - done >= 16) {
        __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + done));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + done), _mm_sub_epi8(chunk, shift));
        int special = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(chunk, equals), _mm_cmpeq_epi8(chunk, line_feed)));
        if (special)
            return done + __builtin_ctz(static_cast<unsigned>(special));
        done += 16;
    }
#else
    while (end - (p + done) >= 8 && room - done >= 8) {
        uint64_t word;
        memcpy(&word, p + done, sizeof(word));
        uint64_t a = word ^ 0x3D3D3D3D3D3D3D3Dull;  // '='
        uint64_t b = word ^ 0x0A0A0A0A0A0A0A0Aull;  // LF
        uint64_t special = ((a - 0x0101010101010101ull) & ~a) | ((b - 0x0101010101010101ull) & ~b);
        special &= 0x8080808080808080ull;
        int plain = special ? __builtin_ctzll(special) >> 3 : 8;  // the lowest flagged byte is exact
        for (int i = 0; i < plain; ++i)
            out[done + i] = static_cast<uint8_t>(p[done + i] - 42);
        done += plain;
        if (plain < 8)
            return done;
    }
#endif
    return done;
}

}  // namespace

int YDecode(const char* text, int length, uint8_t* out, int out_size)
{
    if (!text || !out || length <= 0 || out_size <= 0)
        return 0;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(text);
    const uint8_t* end = p + length;
    int produced = 0;
    while (p < end && produced < out_size) {
        int run = YDecodeRun(p, end, out + produced, out_size - produced);
        p += run;
        produced += run;
        if (p >= end || produced >= out_size)
            break;
        uint8_t c = *p++;
        if (c == '\n') {
            if (p >= end) {
                *g_log << "[*] input buffer underflow.\n";
                break;
            }
            c = *p++;
        }
        if (c == '=') {
            if (p >= end) {
                *g_log << "[*] input buffer underflow.\n";
                break;
            }
            c = static_cast<uint8_t>(*p++ - 64);
        }
        out[produced++] = static_cast<uint8_t>(c - 42);
    }
    return produced;
}

// ---------------------------------------------------------------------------------------------
// Document parser
// ---------------------------------------------------------------------------------------------

namespace {

// One file being loaded; the chain of them detects #include cycles.
struct LoadFrame
{
    nString path;  // normalised
    const LoadFrame* parent;
};

// Per-thread parser state: the file named in messages, the files being loaded (innermost first)
// and the tag depth at which the top-level tags of the current file start. Loads nest through
// #include, so each of these is saved and restored around the inner parse.
thread_local const char* t_file = nullptr;
thread_local const LoadFrame* t_loads = nullptr;
thread_local int32_t t_base_depth = 0;
thread_local int32_t t_includes = 0;  // includes loaded under the outermost load

// Text from the parsed content, for a log line: a line end inside it would end the line there and
// start another one of whatever class its next characters name, so line ends show as blanks.
class LogText
{
public:
    explicit LogText(const char* text) : m_text(text ? text : "")
    {
        if (!strpbrk(m_text, "\r\n"))
            return;
        m_copy.Set(m_text);
        if (!m_copy.GetCStr())
            return;
        for (char* c = const_cast<char*>(m_copy.GetCStr()); *c; ++c) {
            if (*c == '\r' || *c == '\n')
                *c = ' ';
        }
        m_text = m_copy.GetCStr();
    }
    LogText(const LogText&) = delete;
    operator const char*() const { return m_text; }

private:
    const char* m_text;
    nString m_copy;
};

LogText FileName() { return LogText(t_file); }

void ErrorLine(const char* text) { *g_log << "[!] In file '" << FileName() << "': " << text << "\n"; }

// "In file '<file>': <before><name><after>"
void TagError(const char* before, const nMetaTag* tag, const char* after)
{
    *g_log << "[!] In file '" << FileName() << "': " << before << tag->GetName().GetCStr() << after << "\n";
}

void MetaTagError(const char* text, const nMetaTag* tag) { TagError(text, tag, "'."); }

// A scratch copy of [begin, end) with a terminator, on the stack when it is short.
class TerminatedText
{
public:
    TerminatedText(const char* begin, const char* end)
    {
        size_t length = static_cast<size_t>(end - begin);
        if (length < sizeof(m_local)) {
            memcpy(m_local, begin, length);
            m_local[length] = '\0';
            m_text = m_local;
        } else {
            m_heap.Set(begin, end);
            m_text = m_heap.GetCStr();
        }
    }
    const char* Get() const { return m_text; }  // NULL when out of memory

private:
    char m_local[256];
    nString m_heap;
    const char* m_text;
};

// Name and text go straight from the document text into the tag; the model stops at a NUL
// inside the range, as a terminated copy would.
bool SetTagName(nMetaTag* tag, const char* begin, const char* end)
{
    tag->SetName(begin, end);  // an empty name stays unset
    if (end > begin && tag->GetName().IsEmpty() && !tag->GetName().GetCStr()) {
        *g_log << "[!] Failed to allocate tag name.\n";
        return false;
    }
    return true;
}

bool SetStringValue(nMetaTag* tag, const char* begin, const char* end)
{
    if (!tag->GetValue().SetString(begin, end)) {
        MetaTagError("Failed to allocate string, metatag '", tag);
        return false;
    }
    return true;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A number token runs like an identifier, and on over a '-' that follows an 'e', so that
// exponent forms such as 1.5e-7 are one token.
// first_end is ScanIdentifierEnd(p, end, false), already known to the caller.
const char* NumberTokenEnd(const char* p, const char* first_end, const char* end)
{
    const char* q = first_end;
    while (q < end && *q == '-' && q > p && q[-1] == 'e') {
        p = q + 1;
        q = ScanIdentifierEnd(p, end, false);
    }
    return q;
}

int32_t ReadInteger(const char* p, const char* end)
{
    bool negative = false;
    if (p < end && *p == '-') {
        negative = true;
        ++p;
    }
    uint32_t value = 0;  // wraps on overflow instead of being undefined
    for (; p < end && IsDigit(*p); ++p)
        value = value * 10u + static_cast<uint32_t>(*p - '0');
    return static_cast<int32_t>(negative ? 0u - value : value);
}

// Gathers the run of decimal digits at q into mantissa (mantissa * 10 + digit for each; wraps past
// nineteen digits) and returns its end: eight characters at a time while eight are left.
inline const char* ReadDigitRun(const char* q, const char* end, uint64_t& mantissa)
{
    static const uint64_t kPowers[9] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
    while (end - q >= 8) {
        uint64_t word;
        memcpy(&word, q, sizeof(word));
        // Each byte less '0'; a byte that is no digit gets its top bit set, here or in the sum,
        // and the lowest such byte is exact (the digits below it borrow and carry nothing).
        uint64_t x = word - 0x3030303030303030ull;
        uint64_t other = (x | (x + 0x7676767676767676ull)) & 0x8080808080808080ull;
        int digits = other ? __builtin_ctzll(other) >> 3 : 8;
        if (digits == 0)
            return q;
        // The digits moved to the top bytes, zeros before them, then combined in pairs, fours and
        // eights; the first character is the most significant digit.
        x <<= 8 * (8 - digits);
        x = ((x & 0x0F0F0F0F0F0F0F0Full) * 2561) >> 8;
        x = ((x & 0x00FF00FF00FF00FFull) * 6553601) >> 16;
        x = ((x & 0x0000FFFF0000FFFFull) * 42949672960001ull) >> 32;
        mantissa = mantissa * kPowers[digits] + x;
        q += digits;
        if (digits < 8)
            return q;
    }
    for (; q < end && IsDigit(*q); ++q)
        mantissa = mantissa * 10u + static_cast<uint64_t>(*q - '0');
    return q;
}

// The plain forms "-12" and "-3.25" (sign and point optional, one to eighteen digits) ending at a
// '>', read in one pass: true with the value set and p after the '>'. Anything else is left to the
// general reading below, which gives these forms the same values.
bool ReadPlainNumber(nMetaTag* tag, const char*& p, const char* end)
{
    const char* q = p;
    bool negative = *q == '-';
    if (negative)
        ++q;
    uint64_t mantissa = 0;
    const char* whole = q;
    q = ReadDigitRun(q, end, mantissa);
    const char* whole_end = q;
    const char* fraction = q;
    bool point = q < end && *q == '.';
    if (point) {
        fraction = ++q;
        q = ReadDigitRun(q, end, mantissa);
    }
    const char* fraction_end = q;
    int count = static_cast<int>((whole_end - whole) + (fraction_end - fraction));
    if (count == 0 || count > 18 || q >= end || *q != '>')
        return false;
    int leading_zeros = 0;  // nStringToFloat counts the digits from the first non-zero one
    for (const char* d = whole; d < fraction_end && (*d == '0' || *d == '.'); ++d)
        leading_zeros += *d == '0';
    if (point) {
        int scale = -static_cast<int>(fraction_end - fraction);
        tag->GetValue().SetFloat(nStringDecimalToFloat(negative, mantissa, count - leading_zeros, scale));
    } else {
        uint32_t value = static_cast<uint32_t>(mantissa);  // wraps as ReadInteger does
        tag->GetValue().SetInt(static_cast<int32_t>(negative ? 0u - value : value));
    }
    p = q + 1;
    return true;
}

// Decimal digits at p (at most nine, so the value fits); -1 when there are none or too many.
int64_t ReadSize(const char*& p, const char* end)
{
    const char* start = p;
    int64_t value = 0;
    while (p < end && IsDigit(*p)) {
        if (p - start >= 9)
            return -2;
        value = value * 10 + (*p - '0');
        ++p;
    }
    return p == start ? -1 : value;
}

bool StartsWith(const char* p, const char* end, const char* word, size_t length)
{
    return static_cast<size_t>(end - p) >= length && memcmp(p, word, length) == 0;
}

// The body of a binary tag after "==": sizes, the line end and the encoded block, decoded into the
// tag's value. p ends after the closing '>'.
bool ParseBinary(nMetaTag* tag, const char*& p, const char* end)
{
    int64_t encoded = ReadSize(p, end);
    if (encoded == -1) {
        TagError("Expected encoded size in binary tag '", tag, "' declaration.");
        return false;
    }
    if (encoded >= 0) {
        if (p >= end || *p != ':') {
            TagError("Expected size delimiter in binary tag '", tag, "' declaration.");
            return false;
        }
        ++p;
    }
    int64_t raw = encoded >= 0 ? ReadSize(p, end) : -2;
    if (raw == -1) {
        TagError("Expected binary size in binary tag '", tag, "' declaration.");
        return false;
    }
    bool yenc = false;
    if (p < end && *p == '@') {
        yenc = true;
        ++p;
    }
    // A block cannot decode to more bytes than its characters hold: one per character in yEnc,
    // three per four characters in uuencode style. A larger raw size is refused, not trusted.
    if (encoded < 0 || raw < 0 || raw > (yenc ? encoded : encoded / 4 * 3)) {
        TagError("Invalid binary size in binary tag '", tag, "' declaration.");
        return false;
    }
    if (p >= end || *p != '\n') {
        TagError("Expected EOL following binary size in binary tag '", tag, "' declaration.");
        return false;
    }
    ++p;
    if (encoded >= end - p || p[encoded] != '>') {
        TagError("Expected closing tag in tag '", tag, "'.");
        return false;
    }
    uint8_t* data = nullptr;
    if (raw > 0) {
        data = new (std::nothrow) uint8_t[static_cast<size_t>(raw)];
        if (!data) {
            TagError("Failed to allocate binary buffer in binary tag '", tag, "'.");
            return false;
        }
        int32_t length = static_cast<int32_t>(encoded);
        int32_t decoded = yenc ? YDecode(p, length, data, static_cast<int32_t>(raw))
                               : UUDecode(p, length, data, static_cast<int32_t>(raw));
        // A block that decodes short leaves zeros, not stale memory, in the rest of the value.
        memset(data + decoded, 0, static_cast<size_t>(raw - decoded));
    }
    tag->GetValue().AttachBinary(data, static_cast<int32_t>(raw));
    p += encoded + 1;
    return true;
}

// "#append(item, ...)" after the '#append': literals and string values of tags found by path
// among the document's tags parsed so far, concatenated into the tag's string value.
bool ParseAppend(nMetaFile* document, nMetaTag* tag, const char*& p, const char* end)
{
    p = ScanSkipBlanks(p, end);
    if (p >= end || *p != '(') {
        MetaTagError("Mangled preprocessor directive, metatag '", tag);
        return false;
    }
    nString text;
    for (;;) {
        if (p >= end) {
            MetaTagError("Mangled definition, metatag '", tag);
            return false;
        }
        if (*p == ')')
            break;
        p = ScanSkipBlanks(p + 1, end);
        if (p < end && *p == ',')
            p = ScanSkipBlanks(p + 1, end);
        if (p < end && *p == '<') {
            const char* close = ScanFindChar(p + 1, end, '>');
            if (!close) {
                MetaTagError("Mangled tag declaration in preprocessor directive, metatag '", tag);
                return false;
            }
            TerminatedText path(p + 1, close);
            nMetaTag* found = path.Get() ? document->FindPath(path.Get(), false) : nullptr;
            if (!found) {
                *g_log << "[!] In file '" << FileName() << "': Preprocessor argument tag '" << LogText(path.Get())
                       << "' not found, metatag '" << tag->GetName().GetCStr() << "'.\n";
                return false;
            }
            const char* value = nullptr;
            if (!found->GetValue().GetString(&value)) {
                MetaTagError("Preprocessor directive #append only support string, metatag '", found);
                return false;
            }
            text += value;
            p = close + 1;
        } else if (p < end && *p == '"') {
            const char* close = ScanQuotedEnd(p + 1, end);
            if (close >= end) {
                MetaTagError("Mangled shortcut declaration, metatag '", tag);
                return false;
            }
            TerminatedText literal(p + 1, close);
            text += literal.Get();
            p = close + 1;
        } else {
            MetaTagError("Unexpected character in preprocessor directive, metatag '", tag);
            return false;
        }
    }
    p = ScanSkipBlanks(p + 1, end);
    if (p >= end || *p != '>') {
        MetaTagError("Unexpected trailing expression following string object, metatag '", tag);
        return false;
    }
    ++p;
    tag->GetValue().SetString(text.GetCStr() ? text.GetCStr() : "");
    return true;
}

// Loads path into a temporary document and moves its roots, in order, to the end of tag's
// children. A failed include is reported and skipped; it does not fail the tag.
void IncludeFile(nMetaTag* tag, const nString& path, int32_t depth)
{
    nString normalized = path.GetNormalizedPath();
    int32_t loads = 0;
    for (const LoadFrame* frame = t_loads; frame; frame = frame->parent) {
        ++loads;
        if (frame->path == normalized) {
            *g_log << "[!] Recursive #include of '" << LogText(path.GetCStr()) << "' from file '" << FileName()
                   << "' skipped.\n";
            return;
        }
    }
    if (loads >= kMLMaxIncludeDepth) {
        *g_log << "[!] #include of '" << LogText(path.GetCStr()) << "' from file '" << FileName() << "' nested deeper than "
               << kMLMaxIncludeDepth << " files, skipped.\n";
        return;
    }
    // Several spellings of one file including each other escape the cycle test but not this.
    if (++t_includes > kMLMaxIncludes) {
        if (t_includes == kMLMaxIncludes + 1)
            *g_log << "[!] #include of '" << LogText(path.GetCStr()) << "' from file '" << FileName() << "' exceeds "
                   << kMLMaxIncludes << " included files; this and further includes skipped.\n";
        return;
    }
    nMetaFile* included = new (std::nothrow) nMetaFile();
    if (!included) {
        *g_log << "[!] Failed to allocate file.\n";
        return;
    }
    int32_t saved_base = t_base_depth;
    t_base_depth = depth + 1;
    bool loaded = included->Load(path.GetCStr() ? path.GetCStr() : "");
    t_base_depth = saved_base;
    if (!loaded) {
        *g_log << "[!] Failed to include external NML file '" << LogText(path.GetCStr()) << "' from file '" << FileName()
               << "'.\n";
        delete included;
        return;
    }
    nMetaTagIterator it;
    while (nMetaTag* root = included->NextRoot(it)) {
        if (!included->UnlinkRoot(root)) {
            *g_log << "[!] Could not relink root tag from included metafile in file '" << FileName() << "'.\n";
            continue;
        }
        tag->GetChildren().Add(root, true, true);
    }
    delete included;
}

// "#include(...)" after the '#include': quoted arguments, the last one is the path.
bool ParseInclude(nMetaTag* tag, const char*& p, const char* end, int32_t depth)
{
    p = ScanSkipBlanks(p, end);
    if (p >= end || *p != '(') {
        *g_log << "[!] Mangled #include directive in file '" << FileName() << "'.\n";
        return false;
    }
    ++p;
    nString path;
    for (;;) {
        p = ScanSkipBlanks(p, end);
        if (p < end && *p == ')') {
            ++p;
            break;
        }
        const char* close = p < end && *p == '"' ? ScanQuotedEnd(p + 1, end) : end;
        if (close >= end) {
            ErrorLine("Unexpected character in #include directive.");
            return false;
        }
        path.Set(p + 1, close);
        p = close + 1;
        if (p < end && *p != ')')
            ++p;  // one separating character
    }
    IncludeFile(tag, path, depth);
    return true;
}

}  // namespace

bool nMetaFile::ParseTag(nMetaTag* tag, const char* cursor, const char* end, const char** out_cursor, int32_t depth)
{
    const char* p = SkipBlanks(cursor, end);
    bool ok = false;
    if (out_cursor)
        *out_cursor = p;
    if (!tag || p >= end || *p != '<')
        return false;
    const char* name_end = ScanIdentifierEnd(p + 1, end, false);
    if (!SetTagName(tag, p + 1, name_end))
        return false;
    p = SkipBlanks(name_end, end);
    if (p >= end) {
        MetaTagError("Mangled definition, metatag '", tag);
    } else if (*p == '>') {
        ++p;
        ok = true;
    } else if (*p != '=') {
        ok = true;  // ends here, unconsumed; the enclosing body decides
    } else {
        ++p;
        for (;;) {
            p = SkipBlanks(p, end);
            if (p >= end) {
                MetaTagError("Mangled definition, metatag '", tag);
                break;
            }
            char c = *p;
            if (c == '>') {
                ++p;
                ok = true;
                break;
            }
            if (c == '<') {
                if (depth + 1 >= kMLMaxTagDepth) {
                    *g_log << "[!] In file '" << FileName() << "': Tags nested deeper than " << kMLMaxTagDepth
                           << " levels, metatag '" << tag->GetName().GetCStr() << "'.\n";
                    break;
                }
                // Appended without the duplicate scan of AddChild: the child is new, and the tag
                // has no value yet while its body is parsed.
                nMetaTag* child = NewTag();
                if (!child) {
                    *g_log << "[!] Failed to allocate tag.\n";
                    break;
                }
                tag->GetChildren().Add(child, true, true);
                if (!ParseTag(child, p, end, &p, depth + 1))
                    break;
                continue;
            }
            if (c == '#') {
                ++p;
                if (StartsWith(p, end, "include", 7)) {
                    p += 7;
                    if (!ParseInclude(tag, p, end, depth))
                        break;
                    continue;
                }
                if (StartsWith(p, end, "append", 6)) {
                    p += 6;
                    ok = ParseAppend(this, tag, p, end);
                    break;
                }
                MetaTagError("Unknown preprocessor directive, metatag '", tag);
                break;
            }
            if (c == '=') {
                ++p;
                ok = ParseBinary(tag, p, end);
                break;
            }
            if (IsDigit(c) || c == '-' || c == '.') {
                if (ReadPlainNumber(tag, p, end)) {
                    ok = true;
                    break;
                }
                // One scan serves both: the token up to its first stop (a '-' included) holds the
                // '.' or 'f' of a float literal, and the number runs on from there over "e-".
                const char* token = c == '-' ? p + 1 : p;
                const char* first_end = ScanIdentifierEnd(token, end, false);
                bool is_float = false;
                for (const char* q = token; q < first_end; ++q) {
                    if (*q == '.' || *q == 'f') {
                        is_float = true;
                        break;
                    }
                }
                const char* token_end = NumberTokenEnd(token, first_end, end);
                if (is_float)
                    tag->GetValue().SetFloat(nStringToFloat(p, token_end, true));
                else
                    tag->GetValue().SetInt(ReadInteger(p, token_end));
                if (token_end >= end || *token_end != '>') {
                    MetaTagError("Unexpected trailing expression following value, metatag '", tag);
                    p = token_end;
                    break;
                }
                p = token_end + 1;
                ok = true;
                break;
            }
            if (c == '"') {
                const char* close = ScanQuotedEnd(p + 1, end);
                if (close >= end) {
                    MetaTagError("Mangled string declaration, metatag '", tag);
                    break;
                }
                if (!SetStringValue(tag, p + 1, close))
                    break;
                p = SkipBlanks(close + 1, end);
                if (p >= end) {
                    MetaTagError("Unexpected EOF after string declaration, metatag '", tag);
                } else if (*p != '>') {
                    MetaTagError("Unexpected trailing expression following string object, metatag '", tag);
                } else {
                    ++p;
                    ok = true;
                }
                break;
            }
            bool is_true = StartsWith(p, end, "True", 4);
            if (is_true || StartsWith(p, end, "False", 5)) {
                tag->GetValue().SetBool(is_true);
                p = SkipBlanks(p + (is_true ? 4 : 5), end);
                if (p >= end || *p != '>') {
                    MetaTagError("Unexpected trailing expression following value, metatag '", tag);
                } else {
                    ++p;
                    ok = true;
                }
                break;
            }
            *g_log << "[!] In file '" << FileName() << "': Unexpected '" << static_cast<int32_t>(static_cast<uint8_t>(c))
                   << "' in assignation, metatag '" << tag->GetName().GetCStr() << "'.\n";
            break;
        }
    }
    if (out_cursor)
        *out_cursor = p;
    return ok;
}

bool nMetaFile::Parse(const char* text, int32_t length)
{
    // Messages name the file being loaded, or else the name this document had.
    nString name = m_fileName;
    const char* saved_file = t_file;
    if (!t_file)
        t_file = name.GetCStr();
    // The old tree goes as the new one is built, each old tag just before its slot is reused.
    nMetaTagRecycler old_tree(m_roots);
    m_fileName.Clear();
    m_recycler = &old_tree;

    bool ok = false;
    const char* end = text ? text + (length > 0 ? length : 0) : text;
    const char* p = text;
    nMetaTag header;
    if (!text || !ParseTag(&header, p, end, &p, t_base_depth)) {
        *g_log << "[!] Invalid metafile.\n";
    } else if (header.GetName() != "NML") {
        *g_log << "[!] Unknown metafile variant.\n";
    } else {
        const nVariant& version = header.GetValue();
        float real = 0.0f;
        int32_t integer = 0;
        if (version.GetFloat(&real)) {
            if (real > 1.0f)
                *g_log << "[*] Newer version NML header found (" << real << ">" << 1 << ").\n";
        } else if (version.GetInt(&integer)) {
            if (integer > 1)
                *g_log << "[*] Newer version NML header found (" << integer << ">" << 1 << ").\n";
        } else {
            *g_log << "[*] Unknown NML header version identification method.\n";
        }
        ok = true;
        for (p = SkipBlanks(p, end); p < end; p = SkipBlanks(p, end)) {
            if (*p != '<') {
                // Nothing else reports a stray character between top-level tags.
                *g_log << "[!] In file '" << FileName() << "': Unexpected '"
                       << static_cast<int32_t>(static_cast<uint8_t>(*p)) << "' outside of any tag.\n";
                ok = false;
                break;
            }
            nMetaTag* root = NewTag();
            if (!root) {
                *g_log << "[!] Failed to allocate tag.\n";
                ok = false;
                break;
            }
            m_roots.Add(root, true, true);
            if (!ParseTag(root, p, end, &p, t_base_depth)) {
                ok = false;
                break;
            }
        }
    }
    m_recycler = nullptr;
    t_file = saved_file;
    return ok;
}

nMetaTag* nMetaFile::NewTag()
{
    return m_recycler ? m_recycler->New() : new (std::nothrow) nMetaTag();
}

bool nMetaFile::Load(const char* path)
{
    if (!path) {
        *g_log << "[!] No filename specified.\n";
        return false;
    }
    char* buffer = nullptr;
    int32_t size = nIO::LoadFile(path, &buffer);
    if (size <= 0) {
        delete[] buffer;
        *g_log << "[*] Could not access file '" << LogText(path) << "'.\n";
        return false;
    }
    if (!t_loads)
        t_includes = 0;
    LoadFrame frame{nString(path).GetNormalizedPath(), t_loads};
    const char* saved_file = t_file;
    const LoadFrame* saved_loads = t_loads;
    t_file = path;
    t_loads = &frame;
    bool ok = Parse(buffer, size);
    t_file = saved_file;
    t_loads = saved_loads;
    delete[] buffer;
    if (!ok) {
        m_fileName.Clear();
        *g_log << "[*] Failed to load metafile '" << LogText(path) << "'.\n";
        return false;
    }
    m_fileName.Set(path);
    return true;
}

nMetaFile* nMetaFile::CreateFromFile(const char* path)
{
    nMetaFile* document = new (std::nothrow) nMetaFile();
    if (!document) {
        *g_log << "[!] Failed to allocate file.\n";
        return nullptr;
    }
    if (!document->Load(path)) {
        delete document;
        return nullptr;
    }
    return document;
}
