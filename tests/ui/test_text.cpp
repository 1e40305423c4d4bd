// Window-system fonts and text layout: fonts loading and naming, commands, UTF-8, lines as
// starts, counts and widths, measuring against drawing, and drawing into pictures.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/nIO.h"
#include "core/nIOMemoryFS.h"
#include "resources/nPicture.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nTempDir.h"
#include "ui/nTextLayout.h"
#include "ui/nWindowSystemFont.h"

namespace {

typedef std::vector<std::string> Lines;

const char* const kMonoFont = "disc:/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";

// The fonts opened once per test, the system font being DejaVu Sans.
struct Fonts : ::testing::Test
{
    nWindowSystemFonts fonts;
    nWindowSystemFont* font = 0;

    void SetUp() override
    {
        nLogCapture quiet;
        ASSERT_TRUE(fonts.OpenWindowSystemFonts());
        font = fonts.GetSystemFont();
        ASSERT_NE(font, nullptr);
    }

    nTextParameters Parameters(int32_t format = TextFormatStandard, int32_t size = 16) const
    {
        nTextParameters p;
        p.font = font;
        p.size = size;
        p.format = format;
        return p;
    }

    // The advance of code points in a row as the font gives them, kerning included: what a line
    // of exactly these characters must measure.
    int32_t Advance(const std::u32string& text, int32_t size = 16)
    {
        int32_t width = 0;
        uint32_t previous = 0;
        for (char32_t c : text) {
            const uint32_t glyph = font->GetGlyphIndex(c);
            if (previous) width += font->GetKerning(previous, glyph, size);
            width += font->GetMetrics(glyph, size).advance;
            previous = glyph;
        }
        return width;
    }
};

// ---------------------------------------------------------------------------------------------
// Fonts

TEST_F(Fonts, LoadNamesFontsByFileAndAnswersTheSameFontForTheSameName)
{
    EXPECT_STREQ(font->GetName().GetCStr(), "default");
    EXPECT_TRUE(font->HasKerning());
    EXPECT_EQ(fonts.FindWindowSystemFont("default"), font) << "the system font is kept apart but found as the fallback";

    nLogCapture log;
    nWindowSystemFont* mono = fonts.LoadWindowSystemFont(kMonoFont);
    ASSERT_NE(mono, nullptr);
    EXPECT_STREQ(mono->GetName().GetCStr(), "DejaVuSansMono");
    // The same font named by another path: the stripped names match, nothing is loaded again.
    EXPECT_EQ(fonts.LoadWindowSystemFont("disc:/usr/share/fonts/truetype/dejavu/../dejavu/DejaVuSansMono.ttf"), mono);
    EXPECT_EQ(log.Lines(), (Lines{std::string("Font '") + kMonoFont + "' loaded as 'DejaVuSansMono'.\n"}));

    EXPECT_EQ(fonts.FindWindowSystemFont("DejaVuSansMono"), mono);
    EXPECT_EQ(fonts.FindWindowSystemFont("Nothing"), font);
    EXPECT_EQ(fonts.FindWindowSystemFont(nullptr), font);
}

TEST_F(Fonts, FilesThatAreNotFontsFailWithOneLine)
{
    nTempDir dir;
    ASSERT_TRUE(dir.Write("junk.ttf", "this is not a TrueType font, only some text that looks nothing like one"));
    ASSERT_TRUE(dir.Write("empty.ttf", ""));
    const std::string junk = dir.Path("junk.ttf"), empty = dir.Path("empty.ttf");

    for (const std::string& path : {std::string("disc:") + junk, std::string("disc:") + empty, std::string("missing.ttf")}) {
        nLogCapture log;
        EXPECT_EQ(fonts.LoadWindowSystemFont(path.c_str()), nullptr) << path;
        EXPECT_EQ(log.Lines(), (Lines{"[!] Failed to open font file '" + path + "'.\n"}));
        EXPECT_EQ(fonts.FindWindowSystemFont("junk"), font);
    }
}

TEST_F(Fonts, ClosedFontsLoadNothingAndOpenAgain)
{
    fonts.CloseWindowSystemFonts();
    EXPECT_FALSE(fonts.IsOpen());
    EXPECT_EQ(fonts.GetSystemFont(), nullptr);
    {
        nLogCapture log;
        EXPECT_EQ(fonts.LoadWindowSystemFont(kMonoFont), nullptr);
        EXPECT_TRUE(log.Lines().empty());
    }
    nLogCapture log;
    EXPECT_TRUE(fonts.OpenWindowSystemFonts());
    EXPECT_TRUE(fonts.OpenWindowSystemFonts()) << "already open: true at once";
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(log.Lines()[0].substr(0, 6), "Font '");
    EXPECT_NE(log.Lines()[0].find("default.ttf' loaded as 'default'.\n"), std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// Commands and UTF-8

TEST(TextCommand, ParsesColourAndSizeAndEndsTheTextAtBrokenOnes)
{
    const std::string parseError = "[!] Error parsing text command components.\n";
    struct Case
    {
        const char* text;
        int32_t kind;
        std::vector<int32_t> values;
        int32_t consumed;
        Lines log;
    } cases[] = {
        {"~~Color(255,0,0,255)x", TextCommandColor, {255, 0, 0, 255}, 20, {}},
        {"~~COLOR( 1 , 2 ,3,4 )", TextCommandColor, {1, 2, 3, 4}, 21, {}},
        {"~~Color(/* red */ 9, 8, 7, -0)", TextCommandColor, {9, 8, 7, 0}, 30, {}},
        {"~~Color(300,-5,0,256)", TextCommandColor, {255, 0, 0, 255}, 21, {}},
        {"~~Size(24)abc", TextCommandSize, {24}, 10, {}},
        {"~~SIZE( 12 )", TextCommandSize, {12}, 12, {}},
        {"~~Size(0)", TextCommandSize, {1}, 9, {}},
        {"~~Size(-3)", TextCommandSize, {1}, 10, {}},
        {"~~Size(99999)", TextCommandSize, {1024}, 13, {}},
        {"~~Color(255,0,0)", TextCommandError, {}, -1, {parseError}},
        {"~~Color(1,2,3,4,5)", TextCommandError, {}, -1, {parseError}},
        {"~~Size(1 2)", TextCommandError, {}, -1, {parseError}},
        {"~~Size(12", TextCommandError, {}, -1, {}},
        {"~~Color(1,(2,3,4)", TextCommandError, {}, -1, {}},
        {"~~Bold(1)", TextCommandNone, {}, 0, {}},
        {"~~color(1,2,3,4)", TextCommandNone, {}, 0, {}},
        {"~Color(1,2,3,4)", TextCommandNone, {}, 0, {}},
        {"~~", TextCommandNone, {}, 0, {}},
        {"~~Size", TextCommandNone, {}, 0, {}},
    };
    for (const Case& c : cases) {
        nLogCapture log;
        const char* end = c.text + std::strlen(c.text);
        const char* next = 0;
        const nTextCommand command = ParseTextCommand(c.text, end, &next);
        EXPECT_EQ(command.kind, c.kind) << c.text;
        for (size_t i = 0; i < c.values.size(); ++i) EXPECT_EQ(command.values[i], c.values[i]) << c.text << " value " << i;
        if (c.consumed < 0)
            EXPECT_EQ(next, nullptr) << c.text;
        else
            EXPECT_EQ(next, c.text + c.consumed) << c.text;
        EXPECT_EQ(log.Lines(), c.log) << c.text;
    }
}

TEST(TextUTF8, DecodesTheStandardFormsAndRefusesTheRest)
{
    struct Case
    {
        std::string bytes;
        int32_t count;
        uint32_t codePoint;
    } cases[] = {
        {"A", 1, 'A'},
        {"\x7f", 1, 0x7f},
        {"\xc3\xa9", 2, 0xe9},
        {"\xe2\x82\xac", 3, 0x20ac},
        {"\xf0\x9f\x98\x80", 4, 0x1f600},
        {"\xf4\x8f\xbf\xbf", 4, 0x10ffff},
        {"\xc3", 0, 0},  // truncated at the end of the text
        {"\xe2\x82", 0, 0},
        {"\xf0\x9f\x98", 0, 0},
        {"\xc3"
         "A",
         0, 0},              // a lead byte without its continuation
        {"\x80", 0, 0},      // a lone continuation byte
        {"\xc0\x80", 0, 0},  // overlong forms
        {"\xe0\x80\x80", 0, 0},
        {"\xf0\x80\x80\x80", 0, 0},
        {"\xed\xa0\x80", 0, 0},      // a surrogate
        {"\xf4\x90\x80\x80", 0, 0},  // past U+10FFFF
        {"\xf8\x88\x80\x80\x80", 0, 0},
        {"\xff", 0, 0},
    };
    for (const Case& c : cases) {
        uint32_t codePoint = 12345;
        EXPECT_EQ(DecodeUTF8(c.bytes.data(), c.bytes.data() + c.bytes.size(), &codePoint), c.count) << c.bytes;
        EXPECT_EQ(codePoint, c.codePoint) << c.bytes;
    }
    // The end bounds the read even where the bytes go on.
    const char* euro = "\xe2\x82\xac";
    uint32_t codePoint = 0;
    EXPECT_EQ(DecodeUTF8(euro, euro + 2, &codePoint), 0);
    EXPECT_EQ(DecodeUTF8(euro, euro, &codePoint), 0);
}

// ---------------------------------------------------------------------------------------------
// Lines

struct WantLine
{
    int32_t start;
    int32_t characters;
    int32_t spaces;
    std::u32string drawn;  // the characters whose advance is the line's width
    int32_t size;          // their pixel size
};

struct LayoutCase
{
    const char* name;
    std::string text;
    int32_t format;
    int32_t columnWidth;
    std::u32string boxFrom;  // box width: the advance of these characters in whole pixels
    int32_t boxPixels;       // ... or this width when boxFrom is empty
    std::vector<WantLine> lines;
    Lines log;
};

TEST_F(Fonts, LayoutGivesLineStartsCountsAndWidths)
{
    std::string thousandLines;
    for (int i = 0; i < 3000; ++i) thousandLines += "x\n";
    const LayoutCase cases[] = {
        {"line feed", "one\ntwo", TextFormatStandard, 80, U"", 1000, {{0, 3, 0, U"one", 16}, {4, 3, 0, U"two", 16}}, {}},
        {"backslash n", "one\\ntwo", TextFormatStandard, 80, U"", 1000, {{0, 3, 0, U"one", 16}, {5, 3, 0, U"two", 16}}, {}},
        {"trailing line feed", "one\n", TextFormatStandard, 80, U"", 1000, {{0, 3, 0, U"one", 16}}, {}},
        {"blank line", "a\n\nb", TextFormatStandard, 80, U"", 1000, {{0, 1, 0, U"a", 16}, {2, 0, 0, U"", 16}, {3, 1, 0, U"b", 16}}, {}},
        {"standard never wraps", "aaa bbb ccc", TextFormatStandard, 80, U"", 5, {{0, 11, 2, U"aaa bbb ccc", 16}}, {}},
        {"leading spaces", "   lead", TextFormatStandard, 80, U"", 1000, {{3, 4, 0, U"lead", 16}}, {}},
        {"wraps at the last space", "aaa bbb ccc", TextFormatParagraph, 80, U"aaa bbb c", 0, {{0, 7, 1, U"aaa bbb", 16}, {8, 3, 0, U"ccc", 16}}, {}},
        {"breaks before a run of spaces", "aaa   bbb", TextFormatParagraph, 80, U"aaa   b", 0, {{0, 3, 0, U"aaa", 16}, {6, 3, 0, U"bbb", 16}}, {}},
        {"splits a long word", "mmmmmmmmmm", TextFormatParagraph, 80, U"mmmm", 0, {{0, 3, 0, U"mmm", 16}, {3, 3, 0, U"mmm", 16}, {6, 3, 0, U"mmm", 16}, {9, 1, 0, U"m", 16}}, {}},
        {"box narrower than a glyph", "abc", TextFormatParagraph, 80, U"", 1, {{0, 1, 0, U"a", 16}, {1, 1, 0, U"b", 16}, {2, 1, 0, U"c", 16}}, {}},
        {"no box width", "abc def", TextFormatParagraph, 80, U"", 0, {{0, 7, 1, U"abc def", 16}}, {}},
        {"column of five", "abcdefghij", TextFormatColumn, 5, U"", 1000, {{0, 5, 0, U"abcde", 16}, {5, 5, 0, U"fghij", 16}}, {}},
        {"column counts spaces", "ab cd ef gh", TextFormatColumn, 5, U"", 1000, {{0, 5, 1, U"ab cd", 16}, {6, 5, 1, U"ef gh", 16}}, {}},
        {"column also wraps at the box", "mmmmmmmmmm", TextFormatColumn, 8, U"mmmm", 0, {{0, 3, 0, U"mmm", 16}, {3, 3, 0, U"mmm", 16}, {6, 3, 0, U"mmm", 16}, {9, 1, 0, U"m", 16}}, {}},
        {"column limits before the box", "mmmmmmm", TextFormatColumn, 2, U"mmmm", 0, {{0, 2, 0, U"mm", 16}, {2, 2, 0, U"mm", 16}, {4, 2, 0, U"mm", 16}, {6, 1, 0, U"m", 16}}, {}},
        {"size carries to the next line", "~~Size(32)ab\ncd", TextFormatStandard, 80, U"", 1000, {{0, 2, 0, U"ab", 32}, {13, 2, 0, U"cd", 32}}, {}},
        {"size zero draws at one pixel", "~~Size(0)ab", TextFormatStandard, 80, U"", 1000, {{0, 2, 0, U"ab", 1}}, {}},
        {"colour is not counted", "a~~Color(1,2,3,4)b", TextFormatStandard, 80, U"", 1000, {{0, 2, 0, U"ab", 16}}, {}},
        {"broken command ends the text", "ab~~Color(1,2,3)cd\nef", TextFormatStandard, 80, U"", 1000, {{0, 2, 0, U"ab", 16}}, {"[!] Error parsing text command components.\n"}},
        {"unclosed command ends the text", "ab~~Size(3 cd", TextFormatStandard, 80, U"", 1000, {{0, 2, 0, U"ab", 16}}, {}},
        {"other words after tildes are text", "~~Bold", TextFormatStandard, 80, U"", 1000, {{0, 6, 0, U"~~Bold", 16}}, {}},
        {"utf-8", "\xc3\xa9\xe2\x82\xac"
                  "x",
         TextFormatStandard,
         80,
         U"",
         1000,
         {{0, 3, 0, U"\u00e9\u20acx", 16}},
         {}},
        {"truncated sequence at the end", "ab\xc3", TextFormatStandard, 80, U"", 1000, {{0, 3, 0, U"ab\ufffd", 16}}, {}},
        {"truncated three-byte sequence", "a\xe2\x82", TextFormatStandard, 80, U"", 1000, {{0, 3, 0, U"a\ufffd\ufffd", 16}}, {}},
        {"invalid byte inside", "a\xff"
                                "b",
         TextFormatStandard,
         80,
         U"",
         1000,
         {{0, 3, 0, U"a\ufffd"
                    "b",
           16}},
         {}},
    };
    for (const LayoutCase& c : cases) {
        nLogCapture log;
        nTextParameters p = Parameters(c.format);
        p.columnWidth = c.columnWidth;
        nTextBox box;
        box.x1 = c.boxFrom.empty() ? c.boxPixels : Advance(c.boxFrom) >> 6;
        nTextLayout layout;
        const nTextBox size = MeasureText(layout, c.text.c_str(), p, box);
        const std::vector<nTextLine>& lines = layout.GetLines();
        ASSERT_EQ(lines.size(), c.lines.size()) << c.name;
        int32_t widest = 0, height = 0;
        for (size_t i = 0; i < lines.size(); ++i) {
            const WantLine& want = c.lines[i];
            EXPECT_EQ(lines[i].start, want.start) << c.name << " line " << i;
            EXPECT_EQ(lines[i].characters, want.characters) << c.name << " line " << i;
            EXPECT_EQ(lines[i].spaces, want.spaces) << c.name << " line " << i;
            EXPECT_EQ(lines[i].width, Advance(want.drawn, want.size)) << c.name << " line " << i;
            EXPECT_EQ(lines[i].height, font->GetLineHeight(want.size)) << c.name << " line " << i;
            widest = std::max(widest, lines[i].width);
            height += lines[i].height >> 6;
        }
        EXPECT_EQ(size.x1, widest / 64) << c.name;
        EXPECT_EQ(size.y1, height) << c.name;
        EXPECT_EQ(log.Lines(), c.log) << c.name;
    }

    // Past any fixed table of lines: every line is kept and measured.
    nTextLayout layout;
    const nTextBox size = MeasureText(layout, thousandLines.c_str(), Parameters(), nTextBox());
    ASSERT_EQ(layout.GetLines().size(), 3000u);
    EXPECT_EQ(layout.GetLines()[2999].start, 2 * 2999);
    EXPECT_EQ(size.y1, 3000 * (font->GetLineHeight(16) >> 6));
}

TEST_F(Fonts, NothingToLayOutMeasuresNothing)
{
    nTextLayout layout;
    EXPECT_EQ(MeasureText(layout, "", Parameters(), nTextBox()), nTextBox());
    EXPECT_TRUE(layout.GetLines().empty());
    EXPECT_EQ(MeasureText(layout, nullptr, Parameters(), nTextBox()), nTextBox());
    nTextParameters noFont = Parameters();
    noFont.font = nullptr;
    EXPECT_EQ(MeasureText(layout, "abc", noFont, nTextBox()), nTextBox());
    EXPECT_TRUE(layout.GetLines().empty());
}

// Drawing walks every line of a layout through the same glyphs, kerning and commands that
// measuring used: a left-aligned line's pen ends exactly at its measured width, a justified one
// at the box edge, and one line of plain text measures as MeasureFontText does.
TEST_F(Fonts, DrawingPlacesGlyphsWhereMeasuringCountedThem)
{
    const char* texts[] = {
        "AVAWAToYo kerned pairs",
        "a ~~Size(30)bigger~~Size(10) smaller words that wrap around ~~Color(255,0,0,255)in colour",
        "\xc3\xa9t\xc3\xa9 \xe2\x82\xac uro \xc3 truncated \xff bytes and more words to wrap",
        "spaced   out    words    wrap   before    their   runs",
        "~~Size(40)W~~Size(8) tiny after a big first glyph in a narrow box",
    };
    for (const char* text : texts) {
        for (int32_t format : {TextFormatStandard, TextFormatParagraph, TextFormatColumn}) {
            nTextParameters p = Parameters(format);
            p.columnWidth = 9;
            p.alignment = TextAlignLeft;
            nTextBox box;
            box.x1 = 90;
            nTextLayout layout;
            MeasureText(layout, text, p, box);
            nTextParameters state = p;
            std::vector<nTextGlyphStep> steps;
            for (size_t i = 0; i < layout.GetLines().size(); ++i) {
                const nTextLine& line = layout.GetLines()[i];
                WalkTextLine(layout, i, box.Width(), state, steps);
                ASSERT_EQ(int32_t(steps.size()), line.characters) << text << " format " << format << " line " << i;
                const int32_t end = steps.empty() ? 0 : steps.back().pen + steps.back().advance;
                EXPECT_EQ(end, line.width) << text << " format " << format << " line " << i;
            }
        }
    }

    EXPECT_NE(font->GetKerning(font->GetGlyphIndex('A'), font->GetGlyphIndex('V'), 16), 0) << "kerned pairs are laid out above";
    const char* oneLine[] = {"AVAWAT", "plain words", "\xc3\xa9t\xc3\xa9 \xe2\x82\xac", "bad \xc3", "Yo\xff"};
    for (const char* text : oneLine) {
        for (int32_t size : {9, 16, 33}) {
            nTextLayout layout;
            const nTextBox measured = MeasureText(layout, text, Parameters(TextFormatStandard, size), nTextBox());
            EXPECT_EQ(MeasureFontText(text, font, size).x1, measured.x1) << text << " at " << size;
        }
    }
}

TEST_F(Fonts, JustifiedLinesButTheLastReachTheBoxEdge)
{
    nTextParameters p = Parameters(TextFormatParagraph);
    p.alignment = TextAlignJustify;
    nTextBox box;
    box.x1 = 120;
    nTextLayout layout;
    MeasureText(layout, "one two three four five six seven eight nine ten", p, box);
    ASSERT_GE(layout.GetLines().size(), 3u);
    nTextParameters state = p;
    std::vector<nTextGlyphStep> steps;
    for (size_t i = 0; i < layout.GetLines().size(); ++i) {
        const nTextLine& line = layout.GetLines()[i];
        WalkTextLine(layout, i, box.Width(), state, steps);
        ASSERT_FALSE(steps.empty());
        const int32_t end = steps.back().pen + steps.back().advance;
        if (i + 1 < layout.GetLines().size()) {
            EXPECT_LE(end, box.x1 * 64) << "line " << i;
            EXPECT_GT(end, box.x1 * 64 - line.spaces) << "line " << i << ": short of the edge by more than rounding";
        } else {
            EXPECT_EQ(end, line.width) << "the last line stays left-aligned";
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Drawing into pictures

struct Canvas
{
    nPicture picture;

    Canvas(uint32_t width, uint32_t height, const nPictureFormat& format = PixelFormatRGBA8, uint32_t fill = 0xff806040u)
    {
        picture.Allocate(width, height, format);
        uint32_t* p = reinterpret_cast<uint32_t*>(picture.GetPixels());
        for (uint32_t i = 0; i < width * height; ++i) p[i] = fill;
    }
    const uint8_t* At(int32_t x, int32_t y) const { return picture.GetPixels() + (size_t(y) * picture.GetWidth() + x) * 4; }
    uint32_t Word(int32_t x, int32_t y) const
    {
        uint32_t w;
        std::memcpy(&w, At(x, y), 4);
        return w;
    }
};

nTextBox Box(int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    nTextBox b;
    b.x0 = x0;
    b.y0 = y0;
    b.x1 = x1;
    b.y1 = y1;
    return b;
}

TEST_F(Fonts, DrawingChangesPixelsOnlyInsideTheClip)
{
    const uint32_t canary = 0xff806040u;
    Canvas canvas(96, 48, PixelFormatRGBA8, canary);
    nTextParameters p = Parameters(TextFormatParagraph, 24);
    p.red = 250;
    p.green = 250;
    p.blue = 250;
    nTextLayout layout;
    // The box spills over the clip on every side, the text over the box.
    const nTextBox box = Box(-6, -10, 100, 60);
    const nTextBox clip = Box(10, 6, 70, 30);
    MeasureText(layout, "WWWW MMMM WWWW MMMM WWWW", p, box);
    EXPECT_EQ(RenderText(&canvas.picture, layout, box, clip), box);
    int32_t inked = 0;
    for (int32_t y = 0; y < 48; ++y) {
        for (int32_t x = 0; x < 96; ++x) {
            const bool inside = x >= clip.x0 && x < clip.x1 && y >= clip.y0 && y < clip.y1;
            if (!inside) {
                ASSERT_EQ(canvas.Word(x, y), canary) << "outside the clip at " << x << "," << y;
            } else if (canvas.Word(x, y) != canary) {
                ++inked;
            }
        }
    }
    EXPECT_GT(inked, 100) << "the text is drawn inside the clip";
    // A clip larger than the picture is cut to the picture.
    Canvas small(20, 10, PixelFormatRGBA8, canary);
    MeasureText(layout, "WWWW MMMM", p, Box(-30, -30, 200, 200));
    EXPECT_EQ(RenderText(&small.picture, layout, Box(-5, -8, 200, 200), Box(-100, -100, 500, 500)), Box(-5, -8, 200, 200));
}

TEST_F(Fonts, ColourCommandsColourTheTextAfterThem)
{
    struct Case
    {
        const char* text;
        bool rightHalfInked;
        bool rightHalfRed;
        Lines log;
    } cases[] = {
        {"W~~Color(255,0,0,255)W", true, true, {}},
        {"W~~COLOR( 255 , 0 , 0 , 255 )W", true, true, {}},
        {"W~~Color(255,0,0)W", false, false, {"[!] Error parsing text command components.\n"}},
        {"WW", true, false, {}},
    };
    for (const Case& c : cases) {
        nLogCapture log;
        Canvas canvas(80, 40, PixelFormatRGBA8, 0xffffffffu);
        nTextLayout layout;
        nTextParameters p = Parameters(TextFormatStandard, 30);
        const nTextBox size = MeasureText(layout, c.text, p, nTextBox());
        const int32_t split = (Advance(U"W", 30) >> 6);
        RenderText(&canvas.picture, layout, Box(0, 0, 80, 40), Box(0, 0, 80, 40));
        bool leftInked = false, rightInked = false, rightRed = false, leftGray = true;
        for (int32_t y = 0; y < 40; ++y) {
            for (int32_t x = 0; x < 80; ++x) {
                const uint8_t* px = canvas.At(x, y);
                if (px[0] == 255 && px[1] == 255 && px[2] == 255) continue;
                if (x < split) {
                    leftInked = true;
                    leftGray = leftGray && px[0] == px[1] && px[1] == px[2];
                } else {
                    rightInked = true;
                    if (px[0] == 255 && px[1] < 128 && px[1] == px[2]) rightRed = true;
                }
            }
        }
        EXPECT_TRUE(leftInked) << c.text;
        EXPECT_TRUE(leftGray) << c.text << ": the text before the command is in the default black";
        EXPECT_EQ(rightInked, c.rightHalfInked) << c.text;
        EXPECT_EQ(rightRed, c.rightHalfRed) << c.text;
        EXPECT_EQ(log.Lines(), c.log) << c.text;
        EXPECT_GT(size.x1, 0);
    }
}

// The ink's columns when text is drawn in a box of each alignment.
TEST_F(Fonts, AlignmentsPlaceLinesInTheBox)
{
    struct Case
    {
        int32_t alignment;
    } cases[] = {{TextAlignLeft}, {TextAlignRight}, {TextAlignCenter}};
    for (const Case& c : cases) {
        Canvas canvas(200, 40, PixelFormatRGBA8, 0);
        nTextParameters p = Parameters(TextFormatStandard, 20);
        p.alignment = c.alignment;
        p.alpha = 255;
        nTextLayout layout;
        const nTextBox size = MeasureText(layout, "Hello", p, nTextBox());
        const nTextBox box = Box(20, 0, 180, 40);
        RenderText(&canvas.picture, layout, box, Box(0, 0, 200, 40));
        int32_t first = 200, last = -1;
        for (int32_t y = 0; y < 40; ++y)
            for (int32_t x = 0; x < 200; ++x)
                if (canvas.At(x, y)[3]) {
                    first = std::min(first, x);
                    last = std::max(last, x);
                }
        ASSERT_GE(last, 0) << c.alignment;
        const int32_t room = box.Width() - size.x1;
        const int32_t left = c.alignment == TextAlignLeft ? 20 : (c.alignment == TextAlignRight ? 20 + room : 20 + room / 2);
        EXPECT_NEAR(first, left, 2) << "alignment " << c.alignment;
        EXPECT_NEAR(last + 1, left + size.x1, 2) << "alignment " << c.alignment;
    }
}

TEST_F(Fonts, DrawingFindsTheChannelsByThePictureFormat)
{
    for (const nPictureFormat* format : {&PixelFormatRGBA8, &PixelFormatBGRA8, &PixelFormatARGB8}) {
        Canvas canvas(40, 30, *format, 0);
        nTextParameters p = Parameters(TextFormatStandard, 24);
        p.red = 255;
        nTextLayout layout;
        MeasureText(layout, "W", p, nTextBox());
        RenderText(&canvas.picture, layout, Box(0, 0, 40, 30), Box(0, 0, 40, 30));
        bool full = false;
        for (int32_t y = 0; y < 30; ++y) {
            for (int32_t x = 0; x < 40; ++x) {
                const uint32_t w = canvas.Word(x, y);
                const uint32_t red = (w & format->redMask) >> format->redShift;
                const uint32_t green = (w & format->greenMask) >> format->greenShift;
                const uint32_t alpha = (w & format->alphaMask) >> format->alphaShift;
                EXPECT_EQ(green, 0u);
                if (alpha) {
                    EXPECT_EQ(red, 255u) << "red lands in the red channel";
                }
                full = full || alpha >= 254;
            }
        }
        EXPECT_TRUE(full) << "fully covered pixels are opaque";
    }
}

TEST_F(Fonts, DrawingRefusesPicturesItCannotDrawInto)
{
    Canvas canvas(20, 20);
    nPicture rgb;
    ASSERT_TRUE(rgb.Allocate(20, 20, PixelFormatRGB24));
    nTextLayout layout;
    MeasureText(layout, "W", Parameters(), nTextBox());
    EXPECT_EQ(RenderText(&rgb, layout, Box(0, 0, 20, 20), Box(0, 0, 20, 20)), nTextBox());
    for (size_t i = 0; i < rgb.GetByteSize(); ++i) ASSERT_EQ(rgb.GetPixels()[i], 0) << i;
    EXPECT_EQ(RenderText(nullptr, layout, Box(0, 0, 20, 20), Box(0, 0, 20, 20)), nTextBox());
    nTextParameters noFont = Parameters();
    noFont.font = nullptr;
    MeasureText(layout, "W", noFont, nTextBox());
    EXPECT_EQ(RenderText(&canvas.picture, layout, Box(0, 0, 20, 20), Box(0, 0, 20, 20)), nTextBox());
}

// A layout keeps its lines: drawing it into a box as narrow as its measured width (as a widget
// places it) draws every glyph it measured, exactly as in the box it was measured in.
TEST_F(Fonts, DrawingAMeasuredLayoutInItsPlacedBoxKeepsItsLines)
{
    nTextParameters p = Parameters(TextFormatParagraph, 16);
    nTextLayout layout;
    const nTextBox size = MeasureText(layout, "words that wrap in a box of two hundred pixels and more", p, Box(0, 0, 200, 0));
    ASSERT_GT(layout.GetLines().size(), 1u);
    Canvas wide(220, 100, PixelFormatRGBA8, 0), placed(220, 100, PixelFormatRGBA8, 0);
    RenderText(&wide.picture, layout, Box(0, 0, 200, 100), Box(0, 0, 220, 100));
    RenderText(&placed.picture, layout, Box(0, 0, size.x1, size.y1), Box(0, 0, 220, 100));
    EXPECT_EQ(std::memcmp(wide.picture.GetPixels(), placed.picture.GetPixels(), wide.picture.GetByteSize()), 0);
}

TEST_F(Fonts, TheGlyphCacheKeepsTheOutputIdentical)
{
    std::string page;
    for (int i = 0; i < 12; ++i)
        page += "~~Size(" + std::to_string(10 + i) + ")Quick AVAWA \xc3\xa9t\xc3\xa9 \xe2\x82\xac glyphs ~~Color(200,30,30,200)jump over lazy dogs\n";
    nTextParameters p = Parameters(TextFormatParagraph, 16);
    p.alignment = TextAlignJustify;
    Canvas cached(300, 400, PixelFormatRGBA8, 0xff204060u), uncached(300, 400, PixelFormatRGBA8, 0xff204060u);
    nTextLayout layoutCached, layoutUncached;
    font->SetGlyphCacheEnabled(true);
    const nTextBox a = MeasureText(layoutCached, page.c_str(), p, Box(0, 0, 280, 0));
    RenderText(&cached.picture, layoutCached, Box(4, 4, 284, 400), Box(0, 0, 300, 400));
    RenderText(&cached.picture, layoutCached, Box(10, 30, 290, 400), Box(0, 0, 300, 400));  // again, from the cache
    font->SetGlyphCacheEnabled(false);
    const nTextBox b = MeasureText(layoutUncached, page.c_str(), p, Box(0, 0, 280, 0));
    RenderText(&uncached.picture, layoutUncached, Box(4, 4, 284, 400), Box(0, 0, 300, 400));
    RenderText(&uncached.picture, layoutUncached, Box(10, 30, 290, 400), Box(0, 0, 300, 400));
    font->SetGlyphCacheEnabled(true);
    EXPECT_EQ(a, b);
    ASSERT_EQ(layoutCached.GetLines().size(), layoutUncached.GetLines().size());
    EXPECT_EQ(std::memcmp(cached.picture.GetPixels(), uncached.picture.GetPixels(), cached.picture.GetByteSize()), 0);
}

// A text of many sizes fills the glyph cache past its bound several times while lines are laid
// out and drawn: the cache starts again empty under the layout's feet and nothing changes.
TEST_F(Fonts, AGlyphCacheStartingAgainMidTextChangesNothing)
{
    std::string text;
    for (int size = 1; size <= 700; ++size)
        text += "~~Size(" + std::to_string(size % 90 + 1) + ")AVAWAT" + std::to_string(size) + "\xc3\xa9 ";
    nTextParameters p = Parameters(TextFormatParagraph, 16);
    nTextLayout cachedLayout, uncachedLayout;
    Canvas cached(200, 200, PixelFormatRGBA8, 0), uncached(200, 200, PixelFormatRGBA8, 0);
    font->SetGlyphCacheEnabled(true);
    const nTextBox a = MeasureText(cachedLayout, text.c_str(), p, Box(0, 0, 200, 0));
    RenderText(&cached.picture, cachedLayout, Box(0, -3000, 200, 200), Box(0, 0, 200, 200));
    font->SetGlyphCacheEnabled(false);
    const nTextBox b = MeasureText(uncachedLayout, text.c_str(), p, Box(0, 0, 200, 0));
    RenderText(&uncached.picture, uncachedLayout, Box(0, -3000, 200, 200), Box(0, 0, 200, 200));
    font->SetGlyphCacheEnabled(true);
    EXPECT_EQ(a, b);
    ASSERT_EQ(cachedLayout.GetLines().size(), uncachedLayout.GetLines().size());
    for (size_t i = 0; i < cachedLayout.GetLines().size(); ++i)
        ASSERT_EQ(cachedLayout.GetLines()[i].width, uncachedLayout.GetLines()[i].width) << "line " << i;
    EXPECT_EQ(std::memcmp(cached.picture.GetPixels(), uncached.picture.GetPixels(), cached.picture.GetByteSize()), 0);
}

TEST_F(Fonts, MeasureFontTextIsOneLineAtTheGivenSize)
{
    const nTextBox at16 = MeasureFontText("Hello\nworld", font, 16);
    EXPECT_EQ(at16.x1, Advance(U"Helloworld", 16) >> 6) << "line breaks are skipped";
    EXPECT_GT(at16.y1, 0);
    const nTextBox at32 = MeasureFontText("Hello\nworld", font, 32);
    EXPECT_EQ(at32.x1, Advance(U"Helloworld", 32) >> 6) << "the size given, not the face's last one";
    EXPECT_GT(at32.y1, at16.y1);
    EXPECT_EQ(MeasureFontText("\xc3\xa9", font, 16).x1, Advance(U"\u00e9", 16) >> 6) << "decoded as UTF-8";
    EXPECT_EQ(MeasureFontText(nullptr, font, 16), nTextBox());
    EXPECT_EQ(MeasureFontText("abc", nullptr, 16), nTextBox());
}

// ---------------------------------------------------------------------------------------------
// Fonts read at their first use

// What a font answers for a few glyphs, all its services together: equal for two fonts made of
// the same file, all zero for a font with no face.
struct GlyphAnswers
{
    std::vector<int32_t> values;
    explicit GlyphAnswers(nWindowSystemFont* font)
    {
        const uint32_t a = font->GetGlyphIndex('A'), v = font->GetGlyphIndex('V');
        values = {int32_t(a), int32_t(v), font->GetKerning(a, v, 20), font->GetLineHeight(20)};
        for (int32_t size : {9, 20, 48}) {
            const nGlyphMetrics metrics = font->GetMetrics(a, size);
            values.insert(values.end(), {int32_t(metrics.loaded), metrics.advance, metrics.height});
            const nGlyphBitmap& bitmap = font->GetBitmap(v, size);
            values.insert(values.end(), {int32_t(bitmap.loaded), bitmap.width, bitmap.rows, int32_t(bitmap.coverage.size())});
        }
    }
    bool IsAllZero() const
    {
        for (int32_t value : values)
            if (value != 0) return false;
        return true;
    }
};

std::string ReadWholeFile(const char* path)
{
    std::string bytes;
    if (FILE* f = std::fopen(path, "rb")) {
        char buffer[65536];
        for (size_t n; (n = std::fread(buffer, 1, sizeof(buffer), f)) > 0;) bytes.append(buffer, n);
        std::fclose(f);
    }
    return bytes;
}

const char* const kMonoFile = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";

// A font is read at its first glyph service, however long after it was loaded: it then answers
// what a font used at once answers, and it is read only once.
TEST_F(Fonts, AFontUsedLongAfterLoadingAnswersAsOneUsedAtOnce)
{
    nTempDir dir;
    const std::string bytes = ReadWholeFile(kMonoFile);
    ASSERT_FALSE(bytes.empty());
    ASSERT_TRUE(dir.Write("early.ttf", bytes));
    ASSERT_TRUE(dir.Write("late.ttf", bytes));
    const std::string early = "disc:" + dir.Path("early.ttf"), late = "disc:" + dir.Path("late.ttf");
    nWindowSystemFont* used = fonts.LoadWindowSystemFont(early.c_str());
    nWindowSystemFont* later = fonts.LoadWindowSystemFont(late.c_str());
    ASSERT_NE(used, nullptr);
    ASSERT_NE(later, nullptr);
    const GlyphAnswers first(used);
    // Meanwhile the system font draws text and other fonts come and go.
    nTextLayout layout;
    MeasureText(layout, "~~Size(30)many words meanwhile", Parameters(TextFormatParagraph), Box(0, 0, 100, 0));
    EXPECT_EQ(fonts.LoadWindowSystemFont("missing.ttf"), nullptr);
    nLogCapture log;
    const GlyphAnswers second(later);
    EXPECT_FALSE(second.IsAllZero());
    EXPECT_EQ(second.values, first.values);
    EXPECT_TRUE(log.Lines().empty());
    // Read once: the file going now changes nothing.
    ASSERT_EQ(std::remove(dir.Path("late.ttf").c_str()), 0);
    later->SetGlyphCacheEnabled(false);
    EXPECT_EQ(GlyphAnswers(later).values, first.values);
    EXPECT_TRUE(log.Lines().empty());
}

// A font named relative to the current directory is read, at its first use, from where it was
// found, even once the current directory has changed.
TEST_F(Fonts, AFontFoundInTheCurrentDirectoryIsReadFromThereAfterTheDirectoryChanges)
{
    nTempDir dir;
    const std::string bytes = ReadWholeFile(kMonoFile);
    ASSERT_FALSE(bytes.empty());
    ASSERT_TRUE(dir.Write("fonts/relative.ttf", bytes));
    nWindowSystemFont* relative = 0;
    {
        nTempDir::ChangeInto into{dir};
        relative = fonts.LoadWindowSystemFont("fonts/relative.ttf");
    }
    ASSERT_NE(relative, nullptr);
    nWindowSystemFont* mono = fonts.LoadWindowSystemFont(kMonoFont);
    ASSERT_NE(mono, nullptr);
    nLogCapture log;
    EXPECT_EQ(GlyphAnswers(relative).values, GlyphAnswers(mono).values);
    EXPECT_TRUE(log.Lines().empty());
}

// A font file that goes, or stops being a font, between loading and the first glyph service:
// one line at that first service, then the font has no glyphs and text with it measures and
// draws nothing.
TEST_F(Fonts, AFontFileLostBeforeItsFirstUseGivesOneLineAndNoGlyphs)
{
    struct Case
    {
        const char* name;
        void (*lose)(const std::string& path);
    };
    const Case cases[] = {
        {"removed", [](const std::string& path) { std::remove(path.c_str()); }},
        {"emptied", [](const std::string& path) { std::fclose(std::fopen(path.c_str(), "wb")); }},
        {"cut short", [](const std::string& path) { ASSERT_EQ(truncate(path.c_str(), 2048), 0); }},
        {"replaced by text", [](const std::string& path) {
             FILE* f = std::fopen(path.c_str(), "wb");
             std::fputs("not a font any more", f);
             std::fclose(f);
         }},
    };
    const std::string bytes = ReadWholeFile(kMonoFile);
    ASSERT_FALSE(bytes.empty());
    for (const Case& c : cases) {
        nTempDir dir;
        ASSERT_TRUE(dir.Write("lost.ttf", bytes));
        const std::string path = "disc:" + dir.Path("lost.ttf");
        nWindowSystemFont* lost = fonts.LoadWindowSystemFont(path.c_str());
        ASSERT_NE(lost, nullptr) << c.name;
        c.lose(dir.Path("lost.ttf"));
        nLogCapture log;
        EXPECT_FALSE(lost->IsLoaded()) << c.name;
        EXPECT_TRUE(GlyphAnswers(lost).IsAllZero()) << c.name;
        nTextParameters p = Parameters(TextFormatParagraph);
        p.font = lost;
        nTextLayout layout;
        EXPECT_EQ(MeasureText(layout, "no glyphs here", p, Box(0, 0, 200, 0)).x1, 0) << c.name;
        EXPECT_EQ(MeasureFontText("nor here", lost, 16).x1, 0) << c.name;
        Canvas canvas(64, 32, PixelFormatRGBA8, 0x11223344u);
        const std::vector<uint8_t> before(canvas.picture.GetPixels(), canvas.picture.GetPixels() + canvas.picture.GetByteSize());
        RenderText(&canvas.picture, layout, Box(0, 0, 64, 32), Box(0, 0, 64, 32));
        EXPECT_EQ(std::memcmp(canvas.picture.GetPixels(), before.data(), before.size()), 0) << c.name;
        EXPECT_EQ(log.Lines(), (Lines{"[!] Failed to open font file '" + path + "'.\n"})) << c.name;
        // The font stays listed under its name, as it was when it loaded.
        EXPECT_EQ(fonts.FindWindowSystemFont("lost"), lost) << c.name;
        fonts.CloseWindowSystemFonts();
        ASSERT_TRUE(fonts.OpenWindowSystemFonts());
        font = fonts.GetSystemFont();
    }
}

// Fonts are read through the IO layer, checked and loaded alike: here from a memory file system
// made the current one, which seeks only inside its files.
TEST_F(Fonts, FontsAreReadThroughTheCurrentFileSystem)
{
    const std::string bytes = ReadWholeFile(kMonoFile);
    ASSERT_FALSE(bytes.empty());
    nIOMemoryFS memory;
    nIOBaseFS* previous = nIO::SetCurrentFS(&memory);
    const bool saved = nIO::SaveFile("memory/mono.ttf", bytes.data(), int32_t(bytes.size())) == int32_t(bytes.size());
    nWindowSystemFont* inMemory = saved ? fonts.LoadWindowSystemFont("memory/mono.ttf") : 0;
    const std::vector<int32_t> answers = inMemory ? GlyphAnswers(inMemory).values : std::vector<int32_t>();
    nIO::SetCurrentFS(previous);
    ASSERT_TRUE(saved);
    ASSERT_NE(inMemory, nullptr);
    nWindowSystemFont* onDisk = fonts.LoadWindowSystemFont(kMonoFont);
    ASSERT_NE(onDisk, nullptr);
    EXPECT_EQ(answers, GlyphAnswers(onDisk).values);
}

}
