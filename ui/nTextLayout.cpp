// Text layout of the window system: inline commands, UTF-8, lines, measuring and drawing.
#include "ui/nTextLayout.h"

#include <cstring>

#include "core/nLog.h"
#include "core/nMLParser.h"
#include "core/nString.h"
#include "resources/nPicture.h"
#include "ui/nWindowSystemFont.h"

namespace {

const int32_t kMaxCommandSize = 1024;  // size commands are kept within 1..kMaxCommandSize pixels

int32_t Clamp(int32_t value, int32_t low, int32_t high)
{
    return value < low ? low : (value > high ? high : value);
}

int32_t Max(int32_t a, int32_t b) { return a > b ? a : b; }

bool StartsWith(const char* p, const char* end, const char* word)
{
    const size_t length = std::strlen(word);
    return size_t(end - p) >= length && std::memcmp(p, word, length) == 0;
}

// The decoded character at p and its glyph: an invalid byte is one character of one byte, drawn
// as the replacement character.
struct nTextChar
{
    uint32_t codePoint;
    int32_t bytes;
};

nTextChar ReadChar(const char* p, const char* end)
{
    nTextChar c;
    c.bytes = DecodeUTF8(p, end, &c.codePoint);
    if (c.bytes == 0) {
        c.codePoint = kTextInvalidCodePoint;
        c.bytes = 1;
    }
    return c;
}

// The height a line adds: its own height and the heading, in whole pixels (as drawing moves down).
int32_t LineAdvance(const nTextLine& line, const nTextParameters& parameters)
{
    return (parameters.heading * parameters.size + line.height) >> 6;
}

// Reads the comma-separated integers of a command between its '(' and ')'.
bool ReadCommandValues(const char* p, const char* close, int32_t* values, int32_t count)
{
    for (int32_t i = 0; i < count; ++i) {
        p = ScanSkipBlanks(p, close);
        values[i] = nStringToInt(p);
        if (p < close && *p == '-') ++p;
        while (p < close && *p >= '0' && *p <= '9') ++p;
        p = ScanSkipBlanks(p, close);
        if (i + 1 < count) {
            if (p >= close || *p != ',') return false;
            ++p;
        } else if (p != close) {
            return false;
        }
    }
    return true;
}

// Alpha-over of a colour on one 8-bit pixel channel set: out alpha = sa + da - sa x da / 256, each
// colour (sc x sa + dc x da - sa x (dc x da) / 256) / out alpha, both clamped to 0..255.
void BlendAlphaOver(const int32_t source[4], int32_t target[4])
{
    const int32_t sa = source[3];
    const int32_t da = target[3];
    const int32_t alpha = Clamp(sa + da - sa * da / 256, 0, 255);
    for (int32_t c = 0; c < 3; ++c) {
        const int32_t dc = target[c];
        target[c] = alpha ? Clamp((source[c] * sa + dc * da - sa * (dc * da) / 256) / alpha, 0, 255) : 0;
    }
    target[3] = alpha;
}

// Blends one glyph's coverage into a 32-bit picture, every pixel inside clip (already within
// the picture), the channels where the picture's format puts them.
void DrawGlyph(nPicture* picture, const nTextBox& clip, const nGlyphBitmap& bitmap, int32_t x, int32_t y,
               const nTextGlyphStep& step)
{
    const nPictureFormat& format = picture->GetFormat();
    const uint32_t masks[4] = {format.redMask, format.greenMask, format.blueMask, format.alphaMask};
    const uint8_t shifts[4] = {format.redShift, format.greenShift, format.blueShift, format.alphaShift};
    const int32_t x0 = Max(x, clip.x0), x1 = x + bitmap.width < clip.x1 ? x + bitmap.width : clip.x1;
    const int32_t y0 = Max(y, clip.y0), y1 = y + bitmap.rows < clip.y1 ? y + bitmap.rows : clip.y1;
    const size_t stride = size_t(picture->GetWidth()) * 4;
    for (int32_t py = y0; py < y1; ++py) {
        const uint8_t* coverage = &bitmap.coverage[size_t(py - y) * size_t(bitmap.width)];
        uint8_t* row = picture->GetPixels() + size_t(py) * stride;
        for (int32_t px = x0; px < x1; ++px) {
            const int32_t c = coverage[px - x];
            if (!c) continue;
            const int32_t source[4] = {step.red, step.green, step.blue, (c * step.alpha) >> 8};
            uint32_t word;
            std::memcpy(&word, row + size_t(px) * 4, 4);
            int32_t target[4];
            for (int32_t k = 0; k < 4; ++k)
                target[k] = masks[k] ? int32_t((word & masks[k]) >> shifts[k]) : 255;
            BlendAlphaOver(source, target);
            for (int32_t k = 0; k < 4; ++k)
                if (masks[k]) word = (word & ~masks[k]) | ((uint32_t(target[k]) << shifts[k]) & masks[k]);
            std::memcpy(row + size_t(px) * 4, &word, 4);
        }
    }
}

}

bool nTextParameters::operator==(const nTextParameters& o) const
{
    return font == o.font && size == o.size && red == o.red && green == o.green && blue == o.blue &&
           alpha == o.alpha && format == o.format && alignment == o.alignment &&
           columnWidth == o.columnWidth && tracking == o.tracking && heading == o.heading;
}

// ---------------------------------------------------------------------------------------------
// Commands and characters

nTextCommand ParseTextCommand(const char* p, const char* end, const char** next, bool quiet)
{
    nTextCommand command;
    *next = p;
    if (end - p < 2 || p[0] != '~' || p[1] != '~') return command;
    const char* word = p + 2;
    int32_t count = 0;
    const char* open = 0;
    if (StartsWith(word, end, "Color(") || StartsWith(word, end, "COLOR(")) {
        command.kind = TextCommandColor;
        count = 4;
        open = word + 5;
    } else if (StartsWith(word, end, "Size(") || StartsWith(word, end, "SIZE(")) {
        command.kind = TextCommandSize;
        count = 1;
        open = word + 4;
    } else {
        return command;
    }
    const char* close = ScanFindChar(open + 1, end, ')');
    if (!close) {
        command.kind = TextCommandError;
        *next = 0;
        return command;
    }
    if (!ReadCommandValues(open + 1, close, command.values, count)) {
        if (!quiet) *g_log << "[!] Error parsing text command components.\n";
        command.kind = TextCommandError;
        *next = 0;
        return command;
    }
    // Out-of-range values would spill into neighbouring channels or ask FreeType for absurd sizes.
    if (command.kind == TextCommandColor) {
        for (int32_t i = 0; i < 4; ++i) command.values[i] = Clamp(command.values[i], 0, 255);
    } else {
        command.values[0] = Clamp(command.values[0], 1, kMaxCommandSize);
    }
    *next = close + 1;
    return command;
}

int32_t DecodeUTF8(const char* p, const char* end, uint32_t* codePoint)
{
    *codePoint = 0;
    if (!p || p >= end) return 0;
    const uint8_t lead = uint8_t(*p);
    int32_t count;
    uint32_t value, minimum;
    if (lead < 0x80) {
        *codePoint = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        count = 2;
        value = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        count = 3;
        value = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        count = 4;
        value = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (end - p < count) return 0;
    for (int32_t i = 1; i < count; ++i) {
        const uint8_t next = uint8_t(p[i]);
        if ((next & 0xC0) != 0x80) return 0;
        value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    *codePoint = value;
    return count;
}

// ---------------------------------------------------------------------------------------------
// Lines

const char* LayoutTextLine(const char* base, const char* text, const char* end, nTextLine* line,
                           nTextParameters& parameters, int32_t maxWidth, int32_t maxCharacters)
{
    nWindowSystemFont* font = parameters.font;
    while (text < end && *text == ' ') ++text;
    *line = nTextLine();
    line->start = line->end = int32_t(text - base);

    // The line as it stood before the first space of the last run of spaces: a full line goes
    // back there, so it neither ends nor starts with the spaces it broke at.
    struct
    {
        bool set;
        nTextLine line;
        int32_t size;
        const char* at;
    } breakPoint = {false, nTextLine(), 0, 0};
    uint32_t previous = 0;
    bool afterSpace = false;
    const char* p = text;
    const char* rest = 0;
    for (;;) {
        const char* next = p;
        nTextCommand command = ParseTextCommand(p, end, &next);
        if (command.kind == TextCommandError) {
            rest = 0;
            break;
        }
        if (command.kind != TextCommandNone) {
            if (command.kind == TextCommandSize) parameters.size = command.values[0];
            p = next;
            continue;
        }
        if (p >= end) {
            rest = 0;
            break;
        }
        if (*p == '\n') {
            rest = p + 1;
            break;
        }
        if (*p == '\\' && end - p >= 2 && p[1] == 'n') {
            rest = p + 2;
            break;
        }
        if (maxCharacters > 0 && line->characters >= maxCharacters) {
            rest = p;
            break;
        }

        const nTextChar c = ReadChar(p, end);
        const uint32_t glyph = font->GetGlyphIndex(c.codePoint);
        const nGlyphMetrics metrics = font->GetMetrics(glyph, parameters.size);
        const int32_t step = (previous ? font->GetKerning(previous, glyph, parameters.size) : 0) +
                             parameters.tracking * parameters.size + (metrics.loaded ? metrics.advance : 0);
        if (maxWidth > 0 && line->characters > 0 && line->width + step >= maxWidth * 64) {
            if (breakPoint.set) {
                const int32_t start = line->start;
                *line = breakPoint.line;
                line->start = start;
                line->end = int32_t(breakPoint.at - base);
                parameters.size = breakPoint.size;
                return breakPoint.at;
            }
            rest = p;
            break;
        }
        const bool space = c.codePoint == ' ';
        if (space && !afterSpace && line->characters > 0) {
            breakPoint.set = true;
            breakPoint.line = *line;
            breakPoint.size = parameters.size;
            breakPoint.at = p;
        }
        afterSpace = space;
        line->width += step;
        line->height = Max(line->height, font->GetLineHeight(parameters.size));
        line->characters += 1;
        line->spaces += space ? 1 : 0;
        previous = glyph;
        p += c.bytes;
    }
    line->end = int32_t(p - base);
    // A line without characters (between two line breaks) keeps the height of a line.
    if (line->characters == 0) line->height = font->GetLineHeight(parameters.size);
    return rest && rest < end ? rest : 0;
}

nTextBox MeasureText(nTextLayout& layout, const char* text, const nTextParameters& parameters, const nTextBox& box)
{
    layout.m_text.assign(text ? text : "");
    layout.m_parameters = parameters;
    layout.m_lines.clear();
    nTextBox size;
    if (!parameters.font || layout.m_text.empty()) return size;

    const bool wraps = parameters.format == TextFormatParagraph || parameters.format == TextFormatColumn;
    const int32_t maxWidth = wraps ? box.Width() : 0;
    const int32_t maxCharacters = parameters.format == TextFormatColumn ? parameters.columnWidth : 0;
    const char* base = layout.m_text.c_str();
    const char* end = base + layout.m_text.size();
    nTextParameters state = parameters;
    int32_t width = 0;
    for (const char* p = base; p;) {
        nTextLine line;
        p = LayoutTextLine(base, p, end, &line, state, maxWidth, maxCharacters);
        layout.m_lines.push_back(line);
        width = Max(width, line.width);
        size.y1 += LineAdvance(line, state);
    }
    size.x1 = width / 64;
    return size;
}

// ---------------------------------------------------------------------------------------------
// Drawing

void WalkTextLine(const nTextLayout& layout, size_t index, int32_t boxWidth, nTextParameters& state,
                  std::vector<nTextGlyphStep>& steps)
{
    steps.clear();
    const std::vector<nTextLine>& lines = layout.GetLines();
    nWindowSystemFont* font = state.font;
    if (index >= lines.size() || !font) return;
    const nTextLine& line = lines[index];
    const char* base = layout.GetText().c_str();
    const char* end = base + layout.GetText().size();

    const int32_t room = boxWidth - (line.width >> 6);
    int32_t pen = 0;
    int32_t spaceExtra = 0;
    switch (state.alignment) {
        case TextAlignRight: pen = room * 64; break;
        case TextAlignCenter: pen = (room / 2) * 64; break;
        case TextAlignJustify:
            if (index + 1 < lines.size() && line.spaces > 0) spaceExtra = (room * 64) / line.spaces;
            break;
        default: break;
    }

    uint32_t previous = 0;
    int32_t count = 0;
    const char* p = base + line.start;
    for (;;) {
        // Commands before every character, and those the line took after its last one; a broken
        // one was reported when the text was measured.
        const char* next = p;
        nTextCommand command = ParseTextCommand(p, end, &next, true);
        if (command.kind == TextCommandError) return;
        if (command.kind != TextCommandNone) {
            if (command.kind == TextCommandColor) {
                state.red = command.values[0];
                state.green = command.values[1];
                state.blue = command.values[2];
                state.alpha = command.values[3];
            } else {
                state.size = command.values[0];
            }
            p = next;
            continue;
        }
        if (count >= line.characters || p >= end) return;
        const nTextChar c = ReadChar(p, end);
        nTextGlyphStep step;
        step.glyph = font->GetGlyphIndex(c.codePoint);
        step.size = state.size;
        step.red = state.red;
        step.green = state.green;
        step.blue = state.blue;
        step.alpha = state.alpha;
        const nGlyphMetrics metrics = font->GetMetrics(step.glyph, state.size);
        pen += previous ? font->GetKerning(previous, step.glyph, state.size) : 0;
        step.pen = pen;
        step.advance = state.tracking * state.size + (metrics.loaded ? metrics.advance : 0) +
                       (c.codePoint == ' ' ? spaceExtra : 0);
        pen += step.advance;
        steps.push_back(step);
        previous = step.glyph;
        ++count;
        p += c.bytes;
    }
}

// Rows this far from the picture's top are outside any picture (at most 2^28 rows fit in its block).
const int64_t kTextFarAway = (int64_t)1 << 30;

nTextBox RenderText(nPicture* picture, const nTextLayout& layout, const nTextBox& box, const nTextBox& clip)
{
    const nTextParameters& parameters = layout.GetParameters();
    if (!parameters.font || !picture || !picture->GetPixels() || picture->GetFormat().bitsPerPixel != 32)
        return nTextBox();
    nTextBox area = clip;
    area.x0 = Max(area.x0, 0);
    area.y0 = Max(area.y0, 0);
    area.x1 = area.x1 < int32_t(picture->GetWidth()) ? area.x1 : int32_t(picture->GetWidth());
    area.y1 = area.y1 < int32_t(picture->GetHeight()) ? area.y1 : int32_t(picture->GetHeight());

    nTextParameters state = parameters;
    std::vector<nTextGlyphStep> steps;
    // Positions in 64 bits: a box far outside the picture (a script's rectangle) must not wrap
    // round into it.
    int64_t top = box.y0;
    for (size_t i = 0; i < layout.GetLines().size(); ++i) {
        const nTextLine& line = layout.GetLines()[i];
        WalkTextLine(layout, i, box.Width(), state, steps);
        // A quarter of the line's height above its bottom.
        const int64_t baseline = ((top * 64 + line.height) >> 6) - ((line.height >> 6) / 4);
        for (const nTextGlyphStep& step : steps) {
            const int64_t pen = (int64_t)box.x0 * 64 + step.pen;
            if (((pen + step.advance) >> 6) < area.x0 || (pen >> 6) >= area.x1) continue;
            const nGlyphBitmap& bitmap = parameters.font->GetBitmap(step.glyph, step.size);
            const int64_t y = baseline - bitmap.top;
            if (bitmap.loaded && bitmap.width > 0 && y > -kTextFarAway && y < kTextFarAway)
                DrawGlyph(picture, area, bitmap, (int32_t)((pen >> 6) + bitmap.left), (int32_t)y, step);
        }
        top += LineAdvance(line, state);
    }
    return box;
}

nTextBox MeasureFontText(const char* text, nWindowSystemFont* font, int32_t size)
{
    nTextBox box;
    if (!text || !font) return box;
    const char* end = text + std::strlen(text);
    uint32_t previous = 0;
    int32_t width = 0, height = 0;
    for (const char* p = text; p < end;) {
        const nTextChar c = ReadChar(p, end);
        p += c.bytes;
        if (c.codePoint == '\n') continue;
        const uint32_t glyph = font->GetGlyphIndex(c.codePoint);
        if (previous) width += font->GetKerning(previous, glyph, size);
        previous = glyph;
        const nGlyphMetrics metrics = font->GetMetrics(glyph, size);
        if (!metrics.loaded) continue;
        width += metrics.advance;
        height = Max(height, metrics.height);
    }
    box.x1 = width >> 6;
    box.y1 = height >> 6;
    return box;
}
