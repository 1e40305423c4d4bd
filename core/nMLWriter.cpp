#include "core/nMLWriter.h"

#include "core/nIO.h"
#include "core/nIODiskFS.h"
#include "core/nIOFile.h"
#include "core/nLog.h"
#include "core/nMLParser.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "core/nMutex.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

// ---------------------------------------------------------------------------------------------
// Binary encoders
// ---------------------------------------------------------------------------------------------

namespace {

// Appends characters while there is room; counts them all, so a dry run (out NULL) gives the size.
struct CharSink
{
    char* out;
    int out_size;
    int count = 0;

    void Put(char c)
    {
        if (!out)
            ++count;
        else if (count < out_size)
            out[count++] = c;
    }
};

}  // namespace

int UUEncode(const uint8_t* data, int length, char* out, int out_size)
{
    if (!data || length <= 0)
        return 0;
    CharSink sink{out, out ? out_size : 0};
    const int groups_per_line = 15;
    int total_groups = (length + 2) / 3;
    for (int group = 0; group < total_groups; group += groups_per_line) {
        int line_groups = total_groups - group < groups_per_line ? total_groups - group : groups_per_line;
        sink.Put(static_cast<char>(32 + 3 * line_groups));
        for (int g = group; g < group + line_groups; ++g) {
            int at = g * 3;
            uint8_t b0 = data[at];
            uint8_t b1 = at + 1 < length ? data[at + 1] : 0;
            uint8_t b2 = at + 2 < length ? data[at + 2] : 0;
            sink.Put(static_cast<char>(32 + (b0 >> 2)));
            sink.Put(static_cast<char>(32 + (((b0 << 4) & 0x3F) | (b1 >> 4))));
            sink.Put(static_cast<char>(32 + (((b1 << 2) & 0x3F) | (b2 >> 6))));
            sink.Put(static_cast<char>(32 + (b2 & 0x3F)));
        }
        sink.Put('\n');
    }
    return sink.count;
}

int YEncode(const uint8_t* data, int length, char* out, int out_size, int line_length)
{
    if (line_length <= 0) {
        *g_log << "[!] invalid line-feed size for yEncoding.\n";
        return 0;
    }
    if (!data || length <= 0)
        return 0;
    CharSink sink{out, out ? out_size : 0};
    int room = line_length;
    for (int i = 0; i < length; ++i) {
        if (room <= 0) {
            sink.Put('\n');
            room = line_length;
        }
        uint8_t v = static_cast<uint8_t>(data[i] + 42);
        if (v == 0 || v == '\n' || v == '\r' || v == '=') {
            sink.Put('=');
            sink.Put(static_cast<char>(static_cast<uint8_t>(v + 64)));
            room -= 2;
        } else {
            sink.Put(static_cast<char>(v));
            room -= 1;
        }
    }
    return sink.count;
}

// ---------------------------------------------------------------------------------------------
// Document writer
// ---------------------------------------------------------------------------------------------

namespace {

bool IsNameStop(char c) { return ScanIdentifierEnd(&c, &c + 1, false) == &c; }

// The parser reads a name up to the first character that ends an identifier.
bool NameReadsBack(const nString& name)
{
    for (const char* p = name.GetCStr(); p && *p; ++p) {
        if (IsNameStop(*p))
            return false;
    }
    return true;
}

// The parser takes a string up to the first '"' that no backslash steps over, and keeps every
// character literally: so a '"' must follow a backslash, and a final backslash would swallow the
// closing quote.
bool StringReadsBack(const char* text)
{
    for (const char* p = text; p && *p; ++p) {
        if (*p == '"')
            return false;
        if (*p == '\\') {
            if (!p[1])
                return false;
            ++p;
        }
    }
    return true;
}

// True when the parser reads text as a float of exactly value's bits.
bool FloatReadsBack(const char* text, float value)
{
    const char* end = text + strlen(text);
    for (const char* p = text; p < end; ++p) {
        bool sign_allowed = p == text || p[-1] == 'e';
        if (!((*p >= '0' && *p <= '9') || *p == '.' || *p == 'e' || (*p == '-' && sign_allowed)))
            return false;
    }
    if (!ScanIsFloatLiteral(text, end))
        return false;
    float read = nStringToFloat(text, end, true);
    return memcmp(&read, &value, sizeof(float)) == 0;
}

// "%.{digits}e" without the exponent's '+' and leading zeros: 1e-07 becomes 1.0e-7.
void FormatExponent(char* out, size_t size, float value, int digits)
{
    char raw[64];
    snprintf(raw, sizeof(raw), "%#.*e", digits, static_cast<double>(value));
    char* e = strchr(raw, 'e');
    if (!e) {
        snprintf(out, size, "%s", raw);
        return;
    }
    *e = '\0';
    // Drop the mantissa's trailing zeros but keep one digit after the point.
    size_t length = strlen(raw);
    while (length > 2 && raw[length - 1] == '0' && raw[length - 2] != '.')
        raw[--length] = '\0';
    if (raw[length - 1] == '.')
        raw[length++] = '0', raw[length] = '\0';
    const char* exponent = e + 1;
    bool negative = *exponent == '-';
    if (*exponent == '-' || *exponent == '+')
        ++exponent;
    while (exponent[0] == '0' && exponent[1])
        ++exponent;
    snprintf(out, size, "%se%s%s", raw, negative ? "-" : "", exponent);
}

void AppendFloat(std::string& out, float value, const nMetaTag* tag)
{
    char text[64];
    if (std::isnan(value)) {
        *g_log << "[*] Tag '" << tag->GetName().GetCStr() << "' holds a float that is not a number; written as 0.0.\n";
        out += "0.000000";
        return;
    }
    if (std::isinf(value)) {
        // Beyond the float range: the reader gives infinity back.
        out += value > 0.0f ? "1.0e39" : "-1.0e39";
        return;
    }
    snprintf(text, sizeof(text), "%f", static_cast<double>(value));
    if (!FloatReadsBack(text, value)) {
        // "%f" flattens small values and rounds others; the shortest exponent form that reads
        // back exactly replaces it (nine significant digits always identify a float).
        char shortest[64];
        bool found = false;
        for (int digits = 0; digits <= 16 && !found; ++digits) {
            FormatExponent(shortest, sizeof(shortest), value, digits);
            found = FloatReadsBack(shortest, value);
        }
        if (!found)
            FormatExponent(shortest, sizeof(shortest), value, 8);
        memcpy(text, shortest, sizeof(text));
    }
    out += text;
}

bool AppendBinary(std::string& out, const nMetaFile* document, const nMetaTag* tag)
{
    const nVariant& value = tag->GetValue();
    const uint8_t* data = value.GetBinaryData();
    int32_t length = value.GetBinaryLength();
    int32_t encoding = document->GetBinaryEncoding();
    int32_t size = 0;
    bool sized = (encoding == 1 || encoding == 0) && length <= kMaxBinaryLength;
    if (sized)
        size = encoding == 1 ? YEncode(data, length, nullptr, 0, kYEncLineLength) : UUEncode(data, length, nullptr, 0);
    char* encoded = sized ? new (std::nothrow) char[static_cast<size_t>(size)] : nullptr;
    if (!encoded) {
        *g_log << "[!] Tag '" << tag->GetName().GetCStr() << "' failed to allocate internal binary buffer.\n";
        return false;
    }
    int32_t produced = encoding == 1 ? YEncode(data, length, encoded, size, kYEncLineLength)
                                     : UUEncode(data, length, encoded, size);
    if (produced != size)
        *g_log << "[*] Internal ASCII encoding inconsistency detected while processing tag '"
               << tag->GetName().GetCStr() << "'.\n";
    char header[64];
    snprintf(header, sizeof(header), "=%d:%d%s\n", static_cast<int>(produced), static_cast<int>(length),
             encoding == 1 ? "@" : "");
    out += header;
    out.append(encoded, static_cast<size_t>(produced));
    delete[] encoded;
    return true;
}

bool AppendValue(std::string& out, const nMetaFile* document, const nMetaTag* tag)
{
    const nVariant& value = tag->GetValue();
    switch (value.GetType()) {
        case TagType_Real: {
            float real = 0.0f;
            value.GetFloat(&real);
            AppendFloat(out, real, tag);
            return true;
        }
        case TagType_Bool: {
            bool flag = false;
            value.GetBool(&flag);
            out += flag ? "True" : "False";
            return true;
        }
        case TagType_Integer: {
            int32_t integer = 0;
            value.GetInt(&integer);
            char text[16];
            snprintf(text, sizeof(text), "%d", static_cast<int>(integer));
            out += text;
            return true;
        }
        case TagType_String: {
            const char* text = value.GetText().GetCStr();
            if (!StringReadsBack(text)) {
                *g_log << "[!] Tag '" << tag->GetName().GetCStr()
                       << "' holds a string that NML cannot hold (a '\"' without a '\\' before it, or a final '\\').\n";
                return false;
            }
            out += '"';
            if (text)
                out += text;
            out += '"';
            return true;
        }
        case TagType_Binary:
            return AppendBinary(out, document, tag);
        default:
            *g_log << "[!] No method to output tag '" << tag->GetName().GetCStr() << "' type.\n";
            return false;
    }
}

// One tag and its subtree, at depth TABs. A tag holding both children and a value (which the
// parser accepts as children followed by the value) is written with both.
bool AppendTag(std::string& out, const nMetaFile* document, const nMetaTag* tag, int32_t depth)
{
    if (!tag)
        return false;
    if (!NameReadsBack(tag->GetName())) {
        *g_log << "[!] Tag name '" << tag->GetName().GetCStr() << "' cannot be written to NML.\n";
        return false;
    }
    out.append(static_cast<size_t>(depth), '\t');
    out += '<';
    if (tag->GetName().GetCStr())
        out += tag->GetName().GetCStr();
    bool children = tag->GetChildCount() > 0;
    // An empty binary value writes nothing: the tag reads back as a pure tag.
    bool valued = tag->GetType() != TagType_None &&
                  !(tag->GetType() == TagType_Binary && tag->GetValue().GetBinaryLength() <= 0);
    if (children || valued) {
        out += '=';
        if (children) {
            out += '\n';
            for (const nLinkedListEntry* e = const_cast<nMetaTag*>(tag)->GetChildren().GetHead(); e; e = e->GetNext()) {
                if (!AppendTag(out, document, static_cast<const nMetaTag*>(e), depth + 1))
                    return false;
            }
            out.append(static_cast<size_t>(depth), '\t');
        }
        if (valued && !AppendValue(out, document, tag))
            return false;
    }
    out += ">\n";
    return true;
}

// Writes text as path through nIO; no temporary file.
bool WriteDirect(const char* path, const std::string& text)
{
    nIOFile stream(1);
    if (!stream.Open(path, false, true, false)) {
        *g_log << "[!] Failed to open ML output '" << path << "'.\n";
        return false;
    }
    int32_t written = stream.Write(text.data(), static_cast<int32_t>(text.size()));
    bool closed = stream.Close();
    if (written != static_cast<int32_t>(text.size()) || !closed) {
        *g_log << "[!] Failed to write ML output '" << path << "'.\n";
        return false;
    }
    return true;
}

// The name on disk of an open disk handle (the disk file system may have matched another case).
bool DiskNameOf(nIOHandle* handle, std::string& name)
{
    FILE* stream = static_cast<nIODiskHandle*>(handle)->m_stream;
    if (!stream)
        return false;
    char link[64];
    char target[4096];
    snprintf(link, sizeof(link), "/proc/self/fd/%d", fileno(stream));
    ssize_t length = readlink(link, target, sizeof(target) - 1);
    if (length <= 0)
        return false;
    name.assign(target, static_cast<size_t>(length));
    return true;
}

std::string SlashedPath(const char* path)
{
    std::string slashed(path);
    for (char& c : slashed) {
        if (c == '\\')
            c = '/';
    }
    return slashed;
}

// Writes text to a temporary file beside the disk file rest and renames it over rest once it is
// completely written, so a failure leaves the previous file as it was.
bool WriteDiskReplacing(const char* path, const char* rest, const std::string& text)
{
    nIODiskFS* disk = nIO::GetDiskFS();
    std::string temp_path = std::string(rest) + kSaveTemporarySuffix;
    nIOHandle* handle = disk->Open(temp_path.c_str(), false, true, false);
    if (!handle) {
        *g_log << "[!] Failed to open ML output '" << path << "'.\n";
        return false;
    }
    int32_t written = disk->Write(handle, text.data(), static_cast<int32_t>(text.size()));
    std::string temp_name;
    if (!DiskNameOf(handle, temp_name))
        temp_name = SlashedPath(temp_path.c_str());
    bool closed = disk->Close(handle);
    if (written != static_cast<int32_t>(text.size()) || !closed) {
        remove(temp_name.c_str());
        *g_log << "[!] Failed to write ML output '" << path << "'.\n";
        return false;
    }

    // The file to replace: the one the disk file system finds for rest, or a new one of rest's
    // name in the directory where the temporary file went.
    std::string target_name;
    nIOHandle* existing = disk->Exists(rest) ? disk->Open(rest, true, false, false) : nullptr;
    if (existing) {
        if (!DiskNameOf(existing, target_name))
            target_name = SlashedPath(rest);
        disk->Close(existing);
        struct stat info;
        if (stat(target_name.c_str(), &info) == 0)
            chmod(temp_name.c_str(), info.st_mode & 07777);
    } else {
        std::string slashed = SlashedPath(rest);
        size_t leaf = slashed.rfind('/');
        size_t dir = temp_name.rfind('/');
        target_name = dir == std::string::npos ? std::string() : temp_name.substr(0, dir + 1);
        target_name += leaf == std::string::npos ? slashed : slashed.substr(leaf + 1);
    }
    if (rename(temp_name.c_str(), target_name.c_str()) != 0) {
        remove(temp_name.c_str());
        *g_log << "[!] Failed to replace ML output '" << path << "'.\n";
        return false;
    }
    return true;
}

}  // namespace

bool nMetaFile::WriteTag(nIOFile* stream, const nMetaTag* tag, int32_t depth)
{
    std::string text;
    if (!AppendTag(text, this, tag, depth))
        return false;
    if (!stream || stream->Write(text.data(), static_cast<int32_t>(text.size())) != static_cast<int32_t>(text.size())) {
        *g_log << "[!] Failed to write tag '" << tag->GetName().GetCStr() << "'.\n";
        return false;
    }
    return true;
}

bool nMetaFile::Save(const char* path)
{
    if (!path)
        return false;
    // The whole text is built first: a tag that cannot be written leaves the file untouched, and
    // the file system gets one write (the archive file system accepts no more per handle).
    std::string text = "<NML=1.0>\n";
    for (const nLinkedListEntry* e = m_roots.GetHead(); e; e = e->GetNext()) {
        if (!AppendTag(text, this, static_cast<const nMetaTag*>(e), 0))
            return false;
    }
    if (text.size() > 0x7fffffffu) {
        *g_log << "[!] Failed to write ML output '" << path << "'.\n";
        return false;
    }
    nMutexScope lock(nIO::GetMutex());
    nIOBaseFS* fs = nullptr;
    const char* rest = nullptr;
    nIO::SplitPath(path, &fs, &rest);
    if (fs && fs == static_cast<nIOBaseFS*>(nIO::GetDiskFS()))
        return WriteDiskReplacing(path, rest, text);
    return WriteDirect(path, text);
}
