// Window-system fonts: FreeType faces over whole font files, their glyph cache, and the module
// that opens FreeType, keeps the loaded fonts and the system font.
#include "ui/nWindowSystemFont.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <climits>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "core/nIO.h"
#include "core/nIOBaseFS.h"
#include "core/nIODiskFS.h"
#include "core/nLog.h"
#include "core/nString.h"

namespace {

const char* const kSystemFontFile = "default.ttf";

// Pixel sizes the face is set to; text layout clamps its sizes into this range too.
const int32_t kMinPixelSize = 1;
const int32_t kMaxPixelSize = 1024;

// Bound of the cached glyph entries of one font; past it the cache starts again empty.
const size_t kMaxCachedGlyphs = 8192;

int32_t ClampSize(int32_t size)
{
    return size < kMinPixelSize ? kMinPixelSize : (size > kMaxPixelSize ? kMaxPixelSize : size);
}

uint64_t GlyphKey(uint32_t glyph, int32_t size)
{
    return (uint64_t(uint32_t(size)) << 32) | glyph;
}

// Sizes stay below 2^11 and TrueType glyph indices below 2^16, so the pair key packs into 43 bits.
uint64_t PairKey(uint32_t left, uint32_t right, int32_t size)
{
    return (uint64_t(uint32_t(size)) << 40) | (uint64_t(left & 0xfffff) << 20) | (right & 0xfffff);
}

// The answer cached under key, loaded into the cache on a miss.
template<class Map, class Load>
const typename Map::mapped_type& FindOrLoad(Map& map, const typename Map::key_type& key, Load load)
{
    auto found = map.find(key);
    if (found != map.end()) return found->second;
    typename Map::mapped_type value{};
    load(value);
    return map.emplace(key, std::move(value)).first->second;
}

// A font file being checked, read through the IO layer for FreeType, which asks for small pieces
// here and there and for some of them again: the file is read in blocks, each once, and a block
// is placed only when it does not follow the last one read (a placing costs a system call).
const unsigned long kFontBlockBytes = 4096;

struct nFontFileReader
{
    nIOBaseFS* fs = 0;
    nIOHandle* handle = 0;
    unsigned long size = 0;
    unsigned long position = 0;  // of the file, after the last block read
    std::unordered_map<unsigned long, std::vector<uint8_t>> blocks;

    ~nFontFileReader()
    {
        if (handle) fs->Close(handle);
    }

    const std::vector<uint8_t>* Block(unsigned long index)
    {
        auto found = blocks.find(index);
        if (found != blocks.end()) return &found->second;
        const unsigned long start = index * kFontBlockBytes;
        if (start >= size || start > (unsigned long)INT32_MAX) return 0;
        std::vector<uint8_t> bytes(std::min(kFontBlockBytes, size - start));
        if (start != position && !fs->Seek(handle, int32_t(start), nIOSeekStart)) return 0;
        const int32_t got = fs->Read(handle, bytes.data(), int32_t(bytes.size()));
        position = got > 0 ? start + (unsigned long)got : ULONG_MAX;
        if (got != int32_t(bytes.size())) return 0;
        return &blocks.emplace(index, std::move(bytes)).first->second;
    }
};

// A count of 0 is a seek, which answers 0 when the offset is inside the file.
unsigned long ReadFontFile(FT_Stream stream, unsigned long offset, unsigned char* buffer, unsigned long count)
{
    nFontFileReader* reader = static_cast<nFontFileReader*>(stream->descriptor.pointer);
    if (count == 0) return offset <= reader->size ? 0 : 1;
    unsigned long copied = 0;
    while (copied < count) {
        const unsigned long at = offset + copied;
        const std::vector<uint8_t>* block = reader->Block(at / kFontBlockBytes);
        if (!block) break;
        const unsigned long inside = at % kFontBlockBytes;
        if (inside >= block->size()) break;
        const unsigned long n = std::min(count - copied, (unsigned long)block->size() - inside);
        std::memcpy(buffer + copied, block->data() + inside, n);
        copied += n;
    }
    return copied;
}

// Where the file opened as path is found again later, whatever the current directory is then:
// a file of the disk by its absolute path, one of another file system by the path as given.
nString FontFileLocation(const char* path, nIOBaseFS* fs, nIOHandle* handle)
{
    if (fs != static_cast<nIOBaseFS*>(nIO::GetDiskFS())) return nString(path);
    std::string name = handle->GetName().GetCStr();
    if (name.empty() || name[0] != '/') {
        std::error_code error;
        const std::filesystem::path folder = std::filesystem::current_path(error);
        if (error) return nString(path);
        name = folder.string() + "/" + name;
    }
    return nString(("disc:" + name).c_str());
}

// Whether FreeType opens path as a font (face 0), reading only what opening a face reads; then
// location receives where to read it whole later.
bool IsFontFile(FT_Library library, const char* path, nString& location)
{
    nFontFileReader reader;
    reader.handle = nIO::Open(path, &reader.fs, true, false, false);
    if (!reader.handle) return false;
    const int32_t size = reader.fs->GetSize(reader.handle);
    if (size <= 0) return false;
    reader.size = (unsigned long)size;
    FT_StreamRec stream;
    std::memset(&stream, 0, sizeof(stream));
    stream.size = (unsigned long)size;
    stream.descriptor.pointer = &reader;
    stream.read = ReadFontFile;
    FT_Open_Args args;
    std::memset(&args, 0, sizeof(args));
    args.flags = FT_OPEN_STREAM;
    args.stream = &stream;
    FT_Face face = 0;
    if (FT_Open_Face(library, &args, 0, &face) != 0) return false;
    FT_Done_Face(face);
    location = FontFileLocation(path, reader.fs, reader.handle);
    return true;
}

// The system font installed beside the running program, on the disk even when the game runs from
// an archive; empty when the program's folder cannot be had.
nString InstalledSystemFontPath()
{
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || !program.has_parent_path()) return nString();
    const std::string path = "disc:" + (program.parent_path() / kSystemFontFile).string();
    return nString(path.c_str());
}

}

// ---------------------------------------------------------------------------------------------
// nWindowSystemFont

nWindowSystemFont::nWindowSystemFont()
    : m_library(0), m_face(0), m_bytes(0), m_kerning(false), m_faceSize(0), m_cacheEnabled(true),
      m_scratchBitmap{false, 0, 0, 0, 0, 0, {}}
{
}

nWindowSystemFont::~nWindowSystemFont()
{
    if (m_face) FT_Done_Face(m_face);
    delete[] m_bytes;
}

bool nWindowSystemFont::Open(FT_LibraryRec_* library, const char* path)
{
    if (!library || !path || !IsFontFile(library, path, m_location)) return false;
    m_library = library;
    m_path.Set(path);
    m_kerning = true;
    return true;
}

bool nWindowSystemFont::IsLoaded()
{
    return Face() != 0;
}

FT_Face nWindowSystemFont::Face()
{
    if (m_face || !m_library) return m_face;
    FT_Library library = m_library;
    m_library = 0;  // one try: a font that fails to load logs once
    char* bytes = 0;
    const int32_t size = nIO::LoadFile(m_location.GetCStr(), &bytes);
    FT_Face face = 0;
    if (!bytes || size <= 0 || FT_New_Memory_Face(library, reinterpret_cast<const FT_Byte*>(bytes), size, 0, &face) != 0) {
        delete[] bytes;
        *g_log << "[!] Failed to open font file '" << m_path.GetCStr() << "'.\n";
        return 0;
    }
    m_bytes = reinterpret_cast<uint8_t*>(bytes);
    m_face = face;
    return m_face;
}

bool nWindowSystemFont::SetFaceSize(int32_t size)
{
    if (m_faceSize == size) return true;
    if (FT_Set_Pixel_Sizes(m_face, 0, FT_UInt(size)) != 0) {
        m_faceSize = 0;
        return false;
    }
    m_faceSize = size;
    return true;
}

void nWindowSystemFont::SetGlyphCacheEnabled(bool enabled)
{
    m_cacheEnabled = enabled;
    m_glyphIndices.clear();
    m_metrics.clear();
    m_bitmaps.clear();
    m_kernings.clear();
    m_lineHeights.clear();
}

void nWindowSystemFont::TrimCache()
{
    if (m_metrics.size() + m_bitmaps.size() + m_kernings.size() + m_glyphIndices.size() < kMaxCachedGlyphs) return;
    SetGlyphCacheEnabled(m_cacheEnabled);
}

uint32_t nWindowSystemFont::GetGlyphIndex(uint32_t codePoint)
{
    if (!Face()) return 0;
    if (!m_cacheEnabled) return FT_Get_Char_Index(m_face, codePoint);
    return FindOrLoad(m_glyphIndices, codePoint, [&](uint32_t& glyph) {
        TrimCache();
        glyph = FT_Get_Char_Index(m_face, codePoint);
    });
}

void nWindowSystemFont::LoadMetrics(uint32_t glyph, int32_t size, nGlyphMetrics& out)
{
    out = nGlyphMetrics{false, 0, 0};
    if (!Face() || !SetFaceSize(size)) return;
    if (FT_Load_Glyph(m_face, glyph, FT_LOAD_DEFAULT) != 0) return;
    out.loaded = true;
    out.advance = int32_t(m_face->glyph->advance.x);
    out.height = int32_t(m_face->glyph->metrics.height);
}

nGlyphMetrics nWindowSystemFont::GetMetrics(uint32_t glyph, int32_t size)
{
    size = ClampSize(size);
    nGlyphMetrics metrics;
    if (!m_cacheEnabled) {
        LoadMetrics(glyph, size, metrics);
        return metrics;
    }
    return FindOrLoad(m_metrics, GlyphKey(glyph, size), [&](nGlyphMetrics& out) {
        TrimCache();
        LoadMetrics(glyph, size, out);
    });
}

// Copies FreeType's bitmap into 8-bit coverage, top row first: gray bitmaps as they are, one-bit
// bitmaps (fonts with embedded bitmap strikes) as 0 or 255; other pixel modes draw nothing.
void nWindowSystemFont::LoadBitmap(uint32_t glyph, int32_t size, nGlyphBitmap& out)
{
    out.loaded = false;
    out.advance = out.left = out.top = out.width = out.rows = 0;
    out.coverage.clear();
    if (!Face() || !SetFaceSize(size)) return;
    if (FT_Load_Glyph(m_face, glyph, FT_LOAD_RENDER) != 0) return;
    const FT_GlyphSlot slot = m_face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    out.loaded = true;
    out.advance = int32_t(slot->advance.x);
    out.left = slot->bitmap_left;
    out.top = slot->bitmap_top;
    const bool gray = bitmap.pixel_mode == FT_PIXEL_MODE_GRAY;
    const bool mono = bitmap.pixel_mode == FT_PIXEL_MODE_MONO;
    if ((!gray && !mono) || !bitmap.buffer || bitmap.width == 0 || bitmap.rows == 0) return;
    out.width = int32_t(bitmap.width);
    out.rows = int32_t(bitmap.rows);
    out.coverage.resize(size_t(out.width) * size_t(out.rows));
    const size_t pitch = size_t(bitmap.pitch < 0 ? -bitmap.pitch : bitmap.pitch);
    for (int32_t y = 0; y < out.rows; ++y) {
        // With a negative pitch the buffer holds the bottom row first.
        const int32_t stored = bitmap.pitch < 0 ? out.rows - 1 - y : y;
        const uint8_t* row = bitmap.buffer + size_t(stored) * pitch;
        uint8_t* target = &out.coverage[size_t(y) * size_t(out.width)];
        if (gray) {
            std::memcpy(target, row, size_t(out.width));
        } else {
            for (int32_t x = 0; x < out.width; ++x)
                target[x] = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
        }
    }
}

const nGlyphBitmap& nWindowSystemFont::GetBitmap(uint32_t glyph, int32_t size)
{
    size = ClampSize(size);
    if (!m_cacheEnabled) {
        LoadBitmap(glyph, size, m_scratchBitmap);
        return m_scratchBitmap;
    }
    return FindOrLoad(m_bitmaps, GlyphKey(glyph, size), [&](nGlyphBitmap& out) {
        TrimCache();
        LoadBitmap(glyph, size, out);
    });
}

int32_t nWindowSystemFont::LoadKerning(uint32_t left, uint32_t right, int32_t size)
{
    FT_Vector delta = {0, 0};
    if (!SetFaceSize(size) || FT_Get_Kerning(m_face, left, right, FT_KERNING_DEFAULT, &delta) != 0) return 0;
    return int32_t(delta.x);
}

int32_t nWindowSystemFont::GetKerning(uint32_t left, uint32_t right, int32_t size)
{
    if (!m_kerning || !left || !right || !Face()) return 0;
    size = ClampSize(size);
    if (!m_cacheEnabled) return LoadKerning(left, right, size);
    return FindOrLoad(m_kernings, PairKey(left, right, size), [&](int32_t& kerning) {
        TrimCache();
        kerning = LoadKerning(left, right, size);
    });
}

int32_t nWindowSystemFont::GetLineHeight(int32_t size)
{
    if (!Face()) return 0;
    size = ClampSize(size);
    auto load = [&](int32_t& height) { height = SetFaceSize(size) ? int32_t(m_face->size->metrics.height) : 0; };
    if (m_cacheEnabled) return FindOrLoad(m_lineHeights, size, load);
    int32_t height;
    load(height);
    return height;
}

// ---------------------------------------------------------------------------------------------
// nWindowSystemFonts

nWindowSystemFonts::nWindowSystemFonts() : m_library(0), m_open(false), m_systemFont(0)
{
}

nWindowSystemFonts::~nWindowSystemFonts()
{
    CloseWindowSystemFonts();
}

bool nWindowSystemFonts::OpenWindowSystemFonts()
{
    if (m_open) return true;
    FT_Library library = 0;
    if (FT_Init_FreeType(&library) != 0) {
        *g_log << "[!] Failed to open font system.\n";
        return false;
    }
    m_library = library;
    m_open = true;
    nWindowSystemFont* font = nIO::GetFileSize(kSystemFontFile) > 0 ? LoadWindowSystemFont(kSystemFontFile) : 0;
    if (!font) {
        const nString installed = InstalledSystemFontPath();
        if (!installed.IsEmpty()) font = LoadWindowSystemFont(installed.GetCStr());
    }
    if (!font) {
        CloseWindowSystemFonts();
        *g_log << "[!] Failed to open default system font.\n";
        return false;
    }
    m_fonts.Remove(font);
    m_systemFont = font;
    return true;
}

nWindowSystemFont* nWindowSystemFonts::LoadWindowSystemFont(const char* path)
{
    if (!m_open || !path) return 0;
    nString name(path);
    name.StripPathAndExtension();
    // The names of loaded fonts carry no folders and no extension: the given path is compared
    // in that form, so loading the same font twice answers the font already there.
    if (nWindowSystemFont* loaded = static_cast<nWindowSystemFont*>(m_fonts.FindById(name, false)))
        return loaded;
    nWindowSystemFont* font = new (std::nothrow) nWindowSystemFont();
    if (!font) {
        *g_log << "[!] failed to allocate a new entry to hold font '" << path << "'.\n";
        return 0;
    }
    if (!font->Open(m_library, path)) {
        delete font;
        *g_log << "[!] Failed to open font file '" << path << "'.\n";
        return 0;
    }
    font->SetId(name);
    m_fonts.Add(font, true, true);
    *g_log << "Font '" << path << "' loaded as '" << name.GetCStr() << "'.\n";
    return font;
}

nWindowSystemFont* nWindowSystemFonts::FindWindowSystemFont(const char* name) const
{
    if (name) {
        if (nLinkedListEntryId* font = m_fonts.FindById(name, false))
            return static_cast<nWindowSystemFont*>(font);
    }
    return m_systemFont;
}

void nWindowSystemFonts::CloseWindowSystemFonts()
{
    if (!m_open) return;
    m_fonts.Clear(true);
    delete m_systemFont;
    m_systemFont = 0;
    FT_Done_FreeType(m_library);
    m_library = 0;
    m_open = false;
}
