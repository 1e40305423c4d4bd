#ifndef N_RASTERFONT_H
#define N_RASTERFONT_H

#include <cstdint>
#include <vector>

#include "core/nLinkedList.h"
#include "core/nSharedObject.h"
#include "core/nString.h"

class nOrvex;
class nTexture;

// Alignments of written text.
enum nRasterAlign
{
    RasterAlignLeft = 0,
    RasterAlignMiddle = 1,  // each line centred on x
    RasterAlignRight = 2    // the block ends at 1 - x; its lines start together
};

// One glyph of a raster font: its rectangle on its page in page units (also its size on screen
// in clip-space units before the text size scales it), where it sits from the pen, its advance.
struct nRasterGlyph
{
    bool present;
    float u, v, w, h;
    float offsetU, offsetV;
    float step;
    int32_t page;

    nRasterGlyph() : present(false), u(0), v(0), w(0), h(0), offsetU(0), offsetV(0), step(0), page(0) {}
};

// A texture page of a raster font; deleting it drops its texture reference.
class nRasterFontPage : public nLinkedListEntry
{
public:
    nSharedPtr<nTexture> texture;  // NULL when the page picture did not load
};

// One quad of written text in clip space (y up), with its page rectangle.
struct nRasterQuad
{
    float left, top, width, height;
    float u, v, w, h;
    int32_t page;
};

// How a text is laid out: x and y run from 0 to 1 across the output from its top-left corner,
// y downwards; aspect is output height / width with keep aspect, else 1; globalAspect the
// renderer's global aspect ratio.
struct nRasterTextPlacement
{
    float x, y, size;
    float aspect;
    float globalAspect;
    int32_t alignment;
};

// A bitmap font of up to 256 glyphs addressed by byte value, its glyphs on texture pages
// ("%s_%02d.tga" of the page base name). One owner deletes it.
class nRasterFont
{
public:
    explicit nRasterFont(nOrvex* engine);  // no pages, every glyph absent, empty name
    ~nRasterFont();                        // Clear
    nRasterFont(const nRasterFont&) = delete;
    nRasterFont& operator=(const nRasterFont&) = delete;

    // A new font of the engine loaded from the description and its pages; NULL when the
    // load failed (the font is deleted) or the font could not be allocated (logged).
    static nRasterFont* New(nOrvex* engine, const char* path, const char* pageBase);

    // Reads the description NML, then one page texture per page; false (logged, the font
    // left cleared) when the file does not read or has no "Font:Common;".
    bool Load(const char* path, const char* pageBase);
    void Clear();  // no pages, every glyph absent; line height and base line kept

    const nRasterGlyph* GetGlyph(uint8_t byte) const;  // NULL when absent
    // The sum of the steps of the present glyphs up to the end or the first '\n'; next (when
    // given) receives the position after that '\n', or the end.
    float GetLineWidth(const char* text, const char** next) const;
    float GetTextWidth(const char* text) const;    // the widest line
    nTexture* GetPageTexture(int32_t page) const;  // NULL for an index beyond the pages
    int32_t GetPageCount() const { return m_pages.GetCount(); }
    float GetLineHeight() const { return m_lineHeight; }
    float GetBaseLine() const { return m_baseLine; }
    const nString& GetName() const { return m_name; }

    // The quads that writing text at placement draws, in order: '\n' moves down one line,
    // absent glyphs draw nothing and do not move the pen.
    void Layout(const char* text, const nRasterTextPlacement& placement, std::vector<nRasterQuad>& quads) const;

private:
    nOrvex* m_engine;
    nLinkedList m_pages;  // nRasterFontPage, in page order
    nRasterGlyph m_glyphs[256];
    float m_baseLine;
    float m_lineHeight;
    nString m_name;
};

#endif
