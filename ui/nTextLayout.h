#ifndef N_TEXTLAYOUT_H
#define N_TEXTLAYOUT_H
// Text layout and drawing of the window system: a text is cut into lines (explicit line breaks,
// word wrapping at a box width, or a fixed number of characters per line), carries inline colour
// and size commands, is decoded as UTF-8, and is blended glyph by glyph into a 32-bit picture with
// left, right, centred or justified alignment.
//
// Measuring makes an nTextLayout (the lines of one text); drawing takes that layout, so what is
// drawn is always what was measured. Widths and heights of lines are 26.6 fixed point; boxes,
// clips and measured sizes are whole pixels.
//
// Inline commands: two tildes, then Color(r, g, b, a) / COLOR(...) or Size(n) / SIZE(...), values
// being integers with blanks and comments allowed around them. A broken command ends the text
// where it stands. Main thread only (fonts share their face's pixel size).

#include <cstdint>
#include <string>
#include <vector>

class nPicture;
class nWindowSystemFont;

enum nTextFormat
{
    TextFormatStandard = 0,   // lines end only at line breaks
    TextFormatParagraph = 1,  // words wrap at the box width
    TextFormatColumn = 2      // words wrap at the box width and lines hold at most column width characters
};

enum nTextAlignment
{
    TextAlignLeft = 0,
    TextAlignRight = 1,
    TextAlignCenter = 2,
    TextAlignJustify = 3  // spaces stretch every line but the last to the box width
};

// The layout record shared by text widgets, window titles and picture text.
struct nTextParameters
{
    nWindowSystemFont* font = 0;
    int32_t size = 16;                                  // pixels
    int32_t red = 0, green = 0, blue = 0, alpha = 255;  // 0 to 255 each
    int32_t format = TextFormatStandard;
    int32_t alignment = TextAlignLeft;
    int32_t columnWidth = 80;  // characters, for TextFormatColumn
    int32_t tracking = 0;      // extra advance per character, in size units
    int32_t heading = 0;       // extra height per line, in size units

    bool operator==(const nTextParameters& other) const;
    bool operator!=(const nTextParameters& other) const { return !(*this == other); }
};

// A rectangle of whole pixels: x0, y0 inclusive, x1, y1 exclusive.
struct nTextBox
{
    int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;

    int32_t Width() const { return x1 - x0; }
    int32_t Height() const { return y1 - y0; }
    bool operator==(const nTextBox& o) const { return x0 == o.x0 && y0 == o.y0 && x1 == o.x1 && y1 == o.y1; }
};

// One laid-out line. Its bytes run from start to end; characters are counted as decoded (an
// invalid byte is one character), commands are not counted.
struct nTextLine
{
    int32_t start = 0;  // byte offset of the first character (leading spaces skipped)
    int32_t end = 0;    // byte offset where the line's content stops (before its break)
    int32_t characters = 0;
    int32_t spaces = 0;  // spaces among the characters
    int32_t width = 0;   // 26.6
    int32_t height = 0;  // 26.6
};

// Inline commands.
enum nTextCommandKind
{
    TextCommandNone = 0,  // not a command: the characters are ordinary text
    TextCommandColor = 1,
    TextCommandSize = 3,
    TextCommandError = 4  // a broken command: the text ends here
};

struct nTextCommand
{
    int32_t kind = TextCommandNone;
    int32_t values[4] = {0, 0, 0, 0};  // colour red, green, blue, alpha (clamped to 0..255); size in values[0] (at least 1)
};

// Reads the command at p (text ends at end). Kind none: next is p. Kind colour or size: next is
// just after the ')'. Kind error: next is NULL; a malformed value list logs
// "Error parsing text command components." (unless quiet), a missing ')' logs nothing.
nTextCommand ParseTextCommand(const char* p, const char* end, const char** next, bool quiet = false);

// One UTF-8 code point at p: the bytes it takes (1 to 4), or 0 for an invalid or truncated
// sequence, an overlong form, a surrogate or a value past U+10FFFF. Never reads at or past end.
int32_t DecodeUTF8(const char* p, const char* end, uint32_t* codePoint);

// What an invalid byte is drawn as (one character of one byte): the replacement character.
const uint32_t kTextInvalidCodePoint = 0xFFFD;

// One line from text: fills line (offsets from base) and returns where the next line starts, or
// NULL when the text is used up or a broken command ended it. parameters carries the size that
// size commands set from line to line. maxWidth in pixels and maxCharacters are limits when > 0.
// A line always takes at least one character when one is left, however narrow the box.
const char* LayoutTextLine(const char* base, const char* text, const char* end, nTextLine* line,
                           nTextParameters& parameters, int32_t maxWidth, int32_t maxCharacters);

// The lines of one text laid out with one set of parameters in one box.
class nTextLayout
{
public:
    const std::string& GetText() const { return m_text; }
    const nTextParameters& GetParameters() const { return m_parameters; }
    const std::vector<nTextLine>& GetLines() const { return m_lines; }

private:
    friend nTextBox MeasureText(nTextLayout& layout, const char* text, const nTextParameters& parameters, const nTextBox& box);

    std::string m_text;
    nTextParameters m_parameters;  // as given, before any command
    std::vector<nTextLine> m_lines;
};

// Lays text out into layout: the box width wraps the formats paragraph and column, the column
// width limits the format column. Returns (0, 0, width, height): the widest line and the sum of
// the line heights (with heading). No font: no lines, (0, 0, 0, 0).
nTextBox MeasureText(nTextLayout& layout, const char* text, const nTextParameters& parameters, const nTextBox& box);

// Draws a measured layout into a 32-bit picture, lines top down from box y0, aligned in the box
// width, every pixel inside clip and the picture. Returns the box, or (0, 0, 0, 0) without a font
// or for a picture that is not 32 bits per pixel.
nTextBox RenderText(nPicture* picture, const nTextLayout& layout, const nTextBox& box, const nTextBox& clip);

// The size of text as one line at a pixel size (line breaks skipped, commands not read, UTF-8
// decoded as in layout): (0, 0, advance width, tallest glyph), whole pixels.
nTextBox MeasureFontText(const char* text, nWindowSystemFont* font, int32_t size);

// One drawn glyph of a line: where its pen starts and its advance, both 26.6, and the colour it
// is drawn in. Drawing walks a line through this so that tests can see every step.
struct nTextGlyphStep
{
    uint32_t glyph;
    int32_t pen;      // 26.6, from box x0
    int32_t advance;  // 26.6 pen movement, kerning, tracking and justification included
    int32_t size;
    int32_t red, green, blue, alpha;
};

// Every glyph of line index of the layout as drawing places it in a box of boxWidth pixels.
// parameters is the drawing state at the line's start and carries to the next line.
void WalkTextLine(const nTextLayout& layout, size_t index, int32_t boxWidth, nTextParameters& parameters,
                  std::vector<nTextGlyphStep>& steps);

#endif
