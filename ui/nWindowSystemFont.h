#ifndef N_WINDOWSYSTEMFONT_H
#define N_WINDOWSYSTEMFONT_H
// TrueType fonts of the window system, opened with FreeType: the fonts that window titles, text
// widgets, check-box labels and picture text are drawn with.
//
// Opening a font only checks it: FreeType opens the face over the file read through the IO layer,
// which reads the font's tables of contents and not its glyphs, and lets it go. The whole file is
// read and the face opened for good at the first glyph service, so a game that draws no text (or
// draws it late) does not pay for reading the font at start-up. From then on the font keeps its
// whole file in memory for the lifetime of its face. Glyph data (the glyph of a
// character, advances, heights, kerning, coverage bitmaps) comes through the font's glyph cache,
// keyed by pixel size and glyph: a cached answer is the very answer FreeType gave, so text looks
// the same with the cache on or off. The face's pixel size is shared state: the font sets it
// itself before every FreeType call that depends on it.
//
// Main thread only.

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "core/nLinkedList.h"
#include "core/nString.h"

struct FT_LibraryRec_;
struct FT_FaceRec_;

// What text layout needs of one glyph at one pixel size (26.6 fixed point where it says so).
struct nGlyphMetrics
{
    bool loaded;      // false: the glyph did not load (it then adds nothing)
    int32_t advance;  // horizontal advance, 26.6
    int32_t height;   // the glyph's metrics height, 26.6
};

// A glyph rendered to 8-bit coverage: rows top to bottom, width bytes each.
struct nGlyphBitmap
{
    bool loaded;
    int32_t advance;  // 26.6, as loaded for drawing
    int32_t left;     // bearing from the pen to the first column
    int32_t top;      // bearing from the baseline up to the first row
    int32_t width;
    int32_t rows;
    std::vector<uint8_t> coverage;  // width x rows bytes, 0 transparent to 255 opaque
};

class nWindowSystemFont : public nLinkedListEntryId
{
public:
    nWindowSystemFont();
    ~nWindowSystemFont() override;  // frees the face, then the file bytes

    // Checks that path (through the IO layer) is a font FreeType opens (face 0) and keeps where it
    // was found for the first glyph service: a file of the disk by its absolute path, so that a
    // change of the current directory in between does not lose it. False with nothing kept when
    // the file cannot be opened or is not a font; the caller logs. The library must outlive the font.
    bool Open(FT_LibraryRec_* library, const char* path);
    // Reads the whole file and opens it as a memory face, once: done by the first glyph service.
    // When the file can no longer be read as a font (gone or changed since Open), logs "Failed to
    // open font file '<path>'." once; the font then answers every service as having no glyphs.
    bool IsLoaded();

    const nString& GetName() const { return GetId(); }  // the path without folders and extension
    bool HasKerning() const { return m_kerning; }

    // Glyph services; size is in pixels, at least 1 (smaller sizes are taken as 1). The cache may
    // start again empty at any call: a bitmap is valid only until the font's next call.
    uint32_t GetGlyphIndex(uint32_t codePoint);                       // 0: no glyph for it
    nGlyphMetrics GetMetrics(uint32_t glyph, int32_t size);           // default loading
    const nGlyphBitmap& GetBitmap(uint32_t glyph, int32_t size);      // rendered to 8-bit coverage
    int32_t GetKerning(uint32_t left, uint32_t right, int32_t size);  // 26.6; 0 without kerning or glyphs
    int32_t GetLineHeight(int32_t size);                              // the face's size metrics height, 26.6

    // With the cache off every call above goes to FreeType again (the cache is emptied).
    void SetGlyphCacheEnabled(bool enabled);
    bool IsGlyphCacheEnabled() const { return m_cacheEnabled; }

private:
    FT_FaceRec_* Face();             // the face, loaded at the first call; NULL when it failed
    bool SetFaceSize(int32_t size);  // FT_Set_Pixel_Sizes(0, size) when it differs
    void LoadMetrics(uint32_t glyph, int32_t size, nGlyphMetrics& out);
    void LoadBitmap(uint32_t glyph, int32_t size, nGlyphBitmap& out);
    int32_t LoadKerning(uint32_t left, uint32_t right, int32_t size);
    void TrimCache();  // empties the cache when it grows past its bound

    FT_LibraryRec_* m_library;  // set by Open until the face is loaded or failed to load
    nString m_path;             // as given to Open
    nString m_location;         // where Open found the file (a disk file by its absolute path)
    FT_FaceRec_* m_face;
    uint8_t* m_bytes;  // the file, alive as long as the face
    bool m_kerning;
    int32_t m_faceSize;  // pixel size last set on the face, 0 none

    bool m_cacheEnabled;
    std::unordered_map<uint32_t, uint32_t> m_glyphIndices;  // code point -> glyph
    std::unordered_map<uint64_t, nGlyphMetrics> m_metrics;  // (size, glyph)
    std::unordered_map<uint64_t, nGlyphBitmap> m_bitmaps;   // (size, glyph)
    std::unordered_map<uint64_t, int32_t> m_kernings;       // (size, left, right)
    std::unordered_map<int32_t, int32_t> m_lineHeights;     // size -> height
    nGlyphBitmap m_scratchBitmap;                           // the answer of an uncached call
};

// The fonts of the window system: the FreeType library, the fonts scripts load and the system
// font ("default.ttf"), which is kept apart from the list. One per player, opened at start-up and
// closed at shutdown; fonts stay until it closes.
class nWindowSystemFonts
{
public:
    nWindowSystemFonts();
    ~nWindowSystemFonts();  // CloseWindowSystemFonts

    // True at once when open. Starts FreeType ("Failed to open font system." and false) and loads
    // the system font: "default.ttf" through the IO layer, else the copy installed beside the
    // program; without either, the fonts close again, "Failed to open default system font." and false.
    bool OpenWindowSystemFonts();

    // A font opened from path (checked now, read whole at its first glyph service); its name is the
    // path without folders and extension. NULL when closed, or when the file is not a font ("Failed
    // to open font file '<path>'."). A font of the same name already loaded is answered without
    // loading again.
    nWindowSystemFont* LoadWindowSystemFont(const char* path);

    nWindowSystemFont* FindWindowSystemFont(const char* name) const;  // the listed font of that name, else the system font
    nWindowSystemFont* GetSystemFont() const { return m_systemFont; }
    bool IsOpen() const { return m_open; }

    void CloseWindowSystemFonts();  // every font, the system font, then FreeType

private:
    nWindowSystemFonts(const nWindowSystemFonts&) = delete;
    nWindowSystemFonts& operator=(const nWindowSystemFonts&) = delete;

    FT_LibraryRec_* m_library;
    bool m_open;
    nLinkedListId m_fonts;
    nWindowSystemFont* m_systemFont;
};

#endif
