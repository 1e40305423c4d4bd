#include "resources/nRasterFont.h"

#include <cstdio>
#include <new>
#include <string>

#include "core/nLog.h"
#include "core/nMLReader.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "resources/nResourceLoader.h"
#include "resources/nTexture.h"

namespace {

// Metrics are floats as stored: an integer-valued tag is not taken (it leaves the field).
void ReadMetric(const nMetaTag* tag, float& out)
{
    tag->GetValue().GetFloat(&out);
}

}

nRasterFont::nRasterFont(nOrvex* engine) : m_engine(engine), m_baseLine(0.0f), m_lineHeight(0.0f) {}

nRasterFont::~nRasterFont()
{
    Clear();
}

nRasterFont* nRasterFont::New(nOrvex* engine, const char* path, const char* pageBase)
{
    nRasterFont* font = new (std::nothrow) nRasterFont(engine);
    if (!font) {
        *g_log << "[!] Failed to allocate a new raster font object.\n";
        return 0;
    }
    if (!font->Load(path, pageBase)) {
        delete font;
        return 0;
    }
    return font;
}

void nRasterFont::Clear()
{
    m_pages.Clear(true);
    for (nRasterGlyph& glyph : m_glyphs) glyph = nRasterGlyph();
}

bool nRasterFont::Load(const char* path, const char* pageBase)
{
    Clear();
    const char* shownPath = path ? path : "";
    nMetaFile document;
    if (!path || !document.Load(path)) {
        *g_log << "[!] Failed to load raster font description file '" << shownPath << "'.\n";
        Clear();
        return false;
    }
    nMetaTag* common = document.FindPath("Font:Common;");
    if (!common) {
        *g_log << "[!] Missing base tag in font description ('" << shownPath << "').\n";
        Clear();
        return false;
    }

    int32_t pageCount = 1;
    nMetaTagIterator header;
    while (nMetaTag* tag = common->NextChild(header)) {
        if (IsTagNamed(tag, "Height")) ReadMetric(tag, m_lineHeight);
        else if (IsTagNamed(tag, "BaseLine")) ReadMetric(tag, m_baseLine);
        else if (IsTagNamed(tag, "PageCount")) ReadTagInt(tag, pageCount);
        else *g_log << "[*] Unexpected tag in font description header ('" << tag->GetName().GetCStr() << "').\n";
    }

    nMetaTag* root = document.FindPath("Font;");
    nMetaTagIterator chars;
    while (nMetaTag* entry = root ? root->NextChild(chars) : 0) {
        if (!IsTagNamed(entry, "Char")) continue;
        nMetaTag* idTag = FirstChildNamed(entry, "Id");
        int32_t id = 0;
        if (!idTag || !ReadTagInt(idTag, id)) {
            *g_log << "[*] Glyph with no or invalid ID in font '" << shownPath << "', skipping.\n";
            continue;
        }
        if (id < 0 || id > 255) continue;
        nRasterGlyph& glyph = m_glyphs[id];
        glyph = nRasterGlyph();
        glyph.present = true;
        nMetaTagIterator fields;
        while (nMetaTag* field = entry->NextChild(fields)) {
            if (IsTagNamed(field, "U")) ReadMetric(field, glyph.u);
            else if (IsTagNamed(field, "V")) ReadMetric(field, glyph.v);
            else if (IsTagNamed(field, "W")) ReadMetric(field, glyph.w);
            else if (IsTagNamed(field, "H")) ReadMetric(field, glyph.h);
            else if (IsTagNamed(field, "OffsetU")) ReadMetric(field, glyph.offsetU);
            else if (IsTagNamed(field, "OffsetV")) ReadMetric(field, glyph.offsetV);
            else if (IsTagNamed(field, "Step")) ReadMetric(field, glyph.step);
            else if (IsTagNamed(field, "Page")) {
                // A page is an index into the pages: below zero is as invalid as past the end.
                int32_t page = -1;
                if (!ReadTagInt(field, page) || page < 0 || page >= pageCount) {
                    *g_log << "[*] Invalid glyph page in font '" << shownPath << "' (Glyph #" << id << "), skipping.\n";
                    glyph.present = false;
                    break;
                }
                glyph.page = page;
            }
        }
    }
    if (!m_glyphs[32].present)
        *g_log << "[*] No space character in font '" << shownPath << "'.\n";

    for (int32_t index = 0; index < pageCount; ++index) {
        nRasterFontPage* page = new (std::nothrow) nRasterFontPage();
        if (!page) {
            *g_log << "[!] Failed to allocate raster font page.\n";
            Clear();
            return false;
        }
        m_pages.Add(page, true, true);
        // "%s_%02d.tga": the base name whole, however long it is.
        char suffix[32];
        std::snprintf(suffix, sizeof(suffix), "_%02d.tga", (int)index);
        const std::string name = std::string(pageBase ? pageBase : "") + suffix;
        // A picture that does not load leaves its page without texture (the loader still
        // gives an empty texture, which the page does not keep).
        nSharedPtr<nTexture> loaded(LoadTexture(m_engine, name.c_str(), false, false));
        if (loaded.IsValid() && loaded->GetWidth() > 0) page->texture = loaded;
    }
    m_name = nString(shownPath);
    return true;
}

const nRasterGlyph* nRasterFont::GetGlyph(uint8_t byte) const
{
    return m_glyphs[byte].present ? &m_glyphs[byte] : 0;
}

float nRasterFont::GetLineWidth(const char* text, const char** next) const
{
    float width = 0.0f;
    const char* c = text ? text : "";
    for (; *c && *c != '\n'; ++c)
        if (const nRasterGlyph* glyph = GetGlyph((uint8_t)*c)) width += glyph->step;
    if (next) *next = *c == '\n' ? c + 1 : c;
    return width;
}

float nRasterFont::GetTextWidth(const char* text) const
{
    float widest = 0.0f;
    const char* line = text ? text : "";
    for (;;) {
        const char* next = 0;
        const float width = GetLineWidth(line, &next);
        if (width > widest) widest = width;
        if (next == line || !*next) {
            // The end: a text that ends in '\n' has an empty last line, which is no wider.
            break;
        }
        line = next;
    }
    return widest;
}

nTexture* nRasterFont::GetPageTexture(int32_t page) const
{
    if (page < 0 || page >= m_pages.GetCount()) return 0;
    return static_cast<nRasterFontPage*>(m_pages.GetAt(page))->texture.Get();
}

void nRasterFont::Layout(const char* text, const nRasterTextPlacement& at, std::vector<nRasterQuad>& quads) const
{
    quads.clear();
    if (!text) return;
    const float g = at.globalAspect;
    float startX = at.x;
    if (at.alignment == RasterAlignRight) startX = (1.0f - at.x) - GetTextWidth(text) * at.size * 0.5f * at.aspect;

    float penX = startX;
    float penY = at.y;
    bool lineStarted = false;
    for (const char* c = text; *c; ++c) {
        if (*c == '\n') {
            penY += m_lineHeight * at.size * 0.5f;
            lineStarted = false;
            continue;
        }
        if (!lineStarted) {
            penX = at.alignment == RasterAlignMiddle ? startX - GetLineWidth(c, 0) * at.size * 0.25f * at.aspect : startX;
            lineStarted = true;
        }
        const nRasterGlyph* glyph = GetGlyph((uint8_t)*c);
        if (!glyph) continue;
        nRasterQuad quad;
        quad.left = (2.0f * penX - 1.0f + glyph->offsetU * at.size) * g;
        quad.top = 2.0f * (1.0f - penY) - 1.0f - glyph->offsetV * at.size;
        quad.width = glyph->w * at.size * at.aspect * g;
        quad.height = glyph->h * at.size;
        quad.u = glyph->u;
        quad.v = glyph->v;
        quad.w = glyph->w;
        quad.h = glyph->h;
        quad.page = glyph->page;
        quads.push_back(quad);
        penX += glyph->step * 0.5f * at.size * at.aspect;
    }
}
