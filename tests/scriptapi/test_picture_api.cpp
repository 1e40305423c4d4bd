// The Picture functions through real Squirrel: names and constants against the manifests,
// drawing cut to the picture whatever the script gives, sizes refused with a line, the kernel
// filter and its size checks, the blend modes, text drawn into a picture, a picture saved and
// loaded back pixel for pixel, the lifetime of pictures made by scripts, and a sweep of every
// function with wrong kinds, null and deleted objects and boundary numbers.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "resources/nPicture.h"
#include "resources/nPictureFormat.h"
#include "script/nCObject.h"
#include "scriptapi/nPictureScriptAPI.h"
#include "tests/scriptapi/nScriptAPITestKit.h"
#include "tests/support/nTempDir.h"
#include "ui/nWindowSystemFont.h"

namespace {

class PictureAPI : public nScriptAPITest
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(nScriptAPITest::SetUp());
        ASSERT_TRUE(fonts.OpenWindowSystemFonts());
        uiDevices.fonts = &fonts;
        Exec("class Rect { sx = 0; sy = 0; ex = 0; ey = 0;"
             "  constructor(a = 0, b = 0, c = 0, d = 0) { sx = a; sy = b; ex = c; ey = d; } }");
        Hold("nullPicture", 0, objectTypePicture);
        Exec("::canvas <- PictureNew(); PictureAlloc(canvas, 8, 6);"
             "::red <- Vector(1, 0, 0, 1); ::blue <- Vector(0, 0, 1, 1); ::clear <- Vector(0, 0, 0, 0);");
        log.Clear();
    }

    nPicture* Pic(const std::string& expression)
    {
        SQInteger top = sq_gettop(v);
        void* native = 0;
        if (Push(expression)) ScriptGetNativeObject(v, -1, &native, 0);
        sq_settop(v, top);
        return static_cast<nPicture*>(native);
    }

    // The RGBA bytes of one pixel of an RGBA8 picture.
    static std::vector<int> Bytes(const nPicture* p, uint32_t x, uint32_t y)
    {
        const uint8_t* at = p->GetPixels() + ((size_t)y * p->GetWidth() + x) * 4;
        return {at[0], at[1], at[2], at[3]};
    }

    // Fills the picture with distinct pixels: red x * 16, green y * 16, blue 7, alpha 255.
    static void Gradient(nPicture* p)
    {
        for (uint32_t y = 0; y < p->GetHeight(); ++y)
            for (uint32_t x = 0; x < p->GetWidth(); ++x) {
                uint8_t* at = p->GetPixels() + ((size_t)y * p->GetWidth() + x) * 4;
                at[0] = (uint8_t)(x * 16), at[1] = (uint8_t)(y * 16), at[2] = 7, at[3] = 255;
            }
    }

    std::string RectText(const std::string& r)
    {
        return Eval("(function(r) { return r.sx + \",\" + r.sy + \",\" + r.ex + \",\" + r.ey; })(" + r + ")");
    }

    nTempDir dir;
    nTempDir::ChangeInto into{dir};
    nWindowSystemFonts fonts;
};

std::vector<std::string> Sorted(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(PictureAPI, CensusOfNamesAndConstantsAgainstTheManifests)
{
    const std::vector<ManifestFunction> functions = ReadFunctionManifest("picture_functions.tsv");
    const std::vector<ManifestConstant> constants = ReadConstantManifest("picture_constants.tsv");
    std::vector<std::string> expected;
    for (const ManifestFunction& f : functions) expected.push_back(f.name);
    for (const ManifestConstant& c : constants) {
        expected.push_back(c.name);
        EXPECT_EQ(Eval(c.name), std::to_string(c.value)) << c.name;
    }
    EXPECT_EQ(Sorted(NamesAddedBy(RegisterPictureScriptAPI)), Sorted(expected));
    std::vector<Function> registered;
    for (const ManifestFunction& f : functions) registered.push_back({f.name.c_str(), MaskEntries(f.mask)});
    ExpectFunctions(registered.data(), registered.size());
    // A null picture in every object position: an error, or nothing where the manifest says so.
    for (const ManifestFunction& f : functions) {
        if (f.nullObject == "-") continue;
        std::vector<std::string> args;
        for (char letter : f.mask.substr(1))
            args.push_back(letter == 'i' || letter == 'n' ? "1" : letter == 's' ? "\"x\""
                                                              : letter == 'a'   ? "[1]"
                                                              : letter == 't'   ? "{}"
                                                              : args.empty()    ? "nullPicture"
                                                                                : "Rect(0, 0, 2, 2)");
        if (f.name.compare(0, 11, "PictureBlit") == 0) args[1] = "canvas";
        const std::string call = CallText(f.name, args);
        const std::string result = Eval(call);
        if (f.nullObject == "error") EXPECT_EQ(result, "error: CObject is null") << call;
        else EXPECT_EQ(result, f.result == "bool" ? "false" : "null") << call;
    }
    EXPECT_EQ(Eval("PictureBlit(canvas, nullPicture, BlendReplace)"), "error: CObject is null");
    EXPECT_TRUE(log.Lines().empty()) << log.Text();
}

TEST_F(PictureAPI, DrawingIsCutToThePicture)
{
    nPicture* canvas = Pic("canvas");
    ASSERT_NE(canvas, nullptr);
    ASSERT_EQ(canvas->GetFormat().bitsPerPixel, 32u);
    EXPECT_EQ(Bytes(canvas, 7, 5), (std::vector<int>{0, 0, 0, 0})) << "new pixels are zero";
    const Expected cases[] = {
        {"PictureFill(canvas, red)", "null"},
        {"PictureGetPixel(canvas, 0, 0)", "1 0 0"},
        {"PictureGetPixel(canvas, 0, 0).w", "1"},
        {"PictureFillRect(canvas, blue, Rect(6, 4, 100000, 100000))", "null"},  // cut to the picture
        {"PictureFillRect(canvas, blue, Rect(-2147483648, -5, 1, 1))", "null"},
        {"PictureFillRect(canvas, blue, Rect(5, 5, 2, 2))", "null"},  // empty: nothing
        {"PictureSetPixel(canvas, 3, 2, blue)", "null"},
        {"PictureSetPixel(canvas, -1, 2, blue)", "null"},  // outside: nothing
        {"PictureSetPixel(canvas, 8, 5, blue)", "null"},
        {"PictureSetPixel(canvas, 1e30, -1e30, blue)", "null"},
        {"PictureSetPixel(canvas, (0.0 / 0.0), 1, blue)", "null"},
        {"PictureGetPixel(canvas, -100, 1e30)", "1 0 0"},  // clamped to the edge
        {"PictureGetPixel(canvas, (0.0 / 0.0), 0)", "0 0 1"},
        {"PictureFill(canvas, Matrix4())", "error: Invalid instance type"},
        {"PictureFill(canvas, 1)", "error: parameter 2 has an invalid type 'integer' ; expected: 'instance'"},
    };
    ExpectEvals(cases);
    const std::vector<int> r{255, 0, 0, 255}, b{0, 0, 255, 255};
    EXPECT_EQ(Bytes(canvas, 6, 4), b);
    EXPECT_EQ(Bytes(canvas, 7, 5), b);
    EXPECT_EQ(Bytes(canvas, 5, 4), r);
    EXPECT_EQ(Bytes(canvas, 0, 0), b) << "the rectangle from far left and top";
    EXPECT_EQ(Bytes(canvas, 1, 1), r);
    EXPECT_EQ(Bytes(canvas, 3, 2), (std::vector<int>{1, 0, 255, 255})) << "blue composed over red keeps 1 of red";
    EXPECT_EQ(Bytes(canvas, 0, 2), r);
    EXPECT_EQ(RectText("PictureGetRect(canvas)"), "0,0,8,6");
    // A line along row 2 from 1 to 5 (the far end not drawn), anti-aliased on whole pixels.
    Exec("PictureFill(canvas, clear); PictureLine(canvas, 1, 2, 5, 2, red)");
    for (uint32_t x = 0; x < 8; ++x)
        EXPECT_EQ(Bytes(canvas, x, 2)[0], x >= 1 && x < 5 ? 255 : 0) << x;
    Exec("PictureLine(canvas, -1e30, -1e30, 1e30, 1e30, blue); PictureLine(canvas, 3, -1e30, 3, 1e30, blue)");
    // A 2 x 2 picture takes no line; one without pixels reads (0, 0, 0, 0) and takes no drawing.
    Exec("::tiny <- PictureNew(); PictureAlloc(tiny, 2, 2); PictureLine(tiny, 0, 0, 1, 1, red);"
         "::empty <- PictureNew(); PictureFill(empty, red); PictureSetPixel(empty, 0, 0, red);"
         "PictureLine(empty, 0, 0, 5, 5, red); PictureFillRect(empty, red, Rect(0, 0, 4, 4));");
    EXPECT_EQ(Bytes(Pic("tiny"), 0, 0), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(Bytes(Pic("tiny"), 1, 1), (std::vector<int>{0, 0, 0, 0}));
    const nVector none = Vec("PictureGetPixel(empty, 0, 0)");
    EXPECT_TRUE(none.x == 0 && none.y == 0 && none.z == 0 && none.w == 0);
    EXPECT_EQ(RectText("PictureGetRect(empty)"), "0,0,0,0");
    EXPECT_TRUE(log.Lines().empty()) << log.Text();
}

TEST_F(PictureAPI, SizesOutsideTheRangeAreRefusedWithALine)
{
    const struct
    {
        const char* call;
        const char* result;
        const char* line;
    } cases[] = {
        {"PictureAlloc(canvas, 0, 4)", "false", "[!] Invalid picture size (0x4)."},
        {"PictureAlloc(canvas, -1, 4)", "false", "[!] Invalid picture size (-1x4)."},
        {"PictureAlloc(canvas, 4, 32769)", "false", "[!] Invalid picture size (4x32769)."},
        {"PictureAlloc(canvas, 4294967297, 1)", "false", "[!] Invalid picture size (4294967297x1)."},  // not 1 in 32 bits
        {"PictureAlloc(canvas, 32768, 32768)", "false", "[!] Failed to allocate picture buffer (32768x32768@32bpp)."},
        {"PictureResize(canvas, 0, 4)", "null", "[!] Invalid picture size (0x4)."},
        {"PictureResize(canvas, -1, -1)", "null", "[!] Invalid picture size (-1x-1)."},
        {"PictureResize(canvas, -4294967295, 3)", "null", "[!] Invalid picture size (-4294967295x3)."},
        {"PictureResize(PictureNew(), 4, 4)", "null", "[!] Could not resize picture to 4x4."},
    };
    for (const auto& c : cases) {
        log.Clear();
        EXPECT_EQ(Eval(c.call), c.result) << c.call;
        EXPECT_EQ(log.Lines(), Lines{std::string(c.line) + "\n"}) << c.call;
        EXPECT_EQ(Pic("canvas")->GetWidth(), 8u) << c.call << " leaves the picture as it was";
        ASSERT_NE(Pic("canvas")->GetPixels(), nullptr) << c.call;
    }
    // Allocating again gives new zero pixels; a negative side follows the aspect ratio.
    Exec("PictureFill(canvas, red); PictureAlloc(canvas, 200, 100)");
    EXPECT_EQ(Bytes(Pic("canvas"), 0, 0), (std::vector<int>{0, 0, 0, 0}));
    Exec("PictureResize(canvas, -1, 50)");
    EXPECT_EQ(RectText("PictureGetRect(canvas)"), "0,0,100,50");
    Exec("PictureResize(canvas, 10, -1)");
    EXPECT_EQ(RectText("PictureGetRect(canvas)"), "0,0,10,5");
}

TEST_F(PictureAPI, KernelsFilterThePictureAndBadSizesAreRefused)
{
    nPicture* canvas = Pic("canvas");
    Exec("PictureAlloc(canvas, 3, 3)");
    // A single bright pixel in the middle: the box blur spreads it as a ninth to each neighbour.
    auto reset = [&] {
        std::memset(canvas->GetPixels(), 0, canvas->GetByteSize());
        std::memcpy(canvas->GetPixels() + 4 * 4, "\xff\xff\xff\xff", 4);
    };
    reset();
    EXPECT_EQ(Eval("PictureApplyConvolution(canvas, 3, 3, [1, 1, 1, 1, 1, 1, 1, 1, 1])"), "true");
    EXPECT_EQ(Bytes(canvas, 1, 1), (std::vector<int>{28, 28, 28, 28}));
    EXPECT_EQ(Bytes(canvas, 0, 0), (std::vector<int>{28, 28, 28, 28}));
    // An edge-detecting kernel adds up to 0: the plain weighted sum.
    reset();
    EXPECT_EQ(Eval("PictureApplyConvolution(canvas, 3, 3, [0, -1, 0, -1, 4, -1, 0, -1, 0])"), "true");
    EXPECT_EQ(Bytes(canvas, 1, 1)[0], 255);
    EXPECT_EQ(Bytes(canvas, 1, 0)[0], 0);
    // A short array: the missing values are 0 (here: only the top-left weight, 1).
    reset();
    EXPECT_EQ(Eval("PictureApplyConvolution(canvas, 3, 3, [1])"), "true");
    EXPECT_EQ(Bytes(canvas, 2, 2)[0], 255) << "the pixel above-left of (2, 2) is the bright one";
    EXPECT_EQ(Bytes(canvas, 1, 1)[0], 0);
    // Values of other types count as 0, floats are truncated, out-of-range ones held to 32 bits.
    reset();
    EXPECT_EQ(Eval("PictureApplyConvolution(canvas, 2, 2, [\"x\", null, 2.9, 1e30])"), "true");
    EXPECT_TRUE(log.Lines().empty()) << log.Text();

    const struct
    {
        const char* call;
        const char* result;
        const char* line;
    } refused[] = {
        {"PictureApplyConvolution(canvas, 33, 32, [])", "false", "[!] Convolution kernel too big (33x32), max 32x32."},
        {"PictureApplyConvolution(canvas, 65536, 65536, [])", "false", "[!] Convolution kernel too big (65536x65536), max 32x32."},
        {"PictureApplyConvolution(canvas, 4294967299, 3, [])", "false", "[!] Convolution kernel too big (4294967299x3), max 32x32."},
        {"PictureApplyConvolution(canvas, -3, -3, [])", "false", "[!] Invalid kernel size (-3x-3)."},
        {"PictureApplyConvolution(canvas, -2147483648, -1, [])", "false", "[!] Invalid kernel size (-2147483648x-1)."},
        {"PictureApplyConvolution(canvas, 0, 5, [])", "false", "[!] Invalid kernel size (0x5)."},
        {"PictureApplyConvolution(canvas, 1, 1024, [])", "false", "[!] Invalid kernel size (1x1024)."},  // a side past the filter's
        {"PictureApplyConvolution(PictureNew(), 3, 3, [])", "false", "[!] Cannot apply convolution filter to a non RGB32 picture."},
        {"PictureApplyConvolution(nullPicture, 3, 3, [1])", "false", 0},
    };
    for (const auto& c : refused) {
        log.Clear();
        reset();
        EXPECT_EQ(Eval(c.call), c.result) << c.call;
        EXPECT_EQ(log.Lines(), c.line ? Lines{std::string(c.line) + "\n"} : Lines{}) << c.call;
        EXPECT_EQ(Bytes(canvas, 1, 1)[0], 255) << c.call << " leaves the pixels";
    }
}

TEST_F(PictureAPI, BlitsBlendByModeWithinBothPictures)
{
    Exec("::source <- PictureNew(); PictureAlloc(source, 4, 4); ::target <- PictureNew(); PictureAlloc(target, 6, 6);");
    nPicture* source = Pic("source");
    nPicture* target = Pic("target");
    Gradient(source);
    auto blank = [&] { std::memset(target->GetPixels(), 0, target->GetByteSize()); };

    for (const char* mode : {"BlendAdd", "BlendMultiply", "BlendMultiply2x", "BlendAlphaAdd", "BlendAlphaMultiply",
                             "BlendAlphaMultiply2x", "99", "-1", "4294967296"}) {
        blank();
        Exec(std::string("PictureBlit(source, target, ") + mode + ")");
        EXPECT_EQ(Bytes(target, 0, 0), (std::vector<int>{0, 0, 0, 0})) << mode << " changes nothing";
    }
    blank();
    Exec("PictureBlit(source, target, BlendReplace)");
    EXPECT_EQ(Bytes(target, 3, 2), (std::vector<int>{48, 32, 7, 255}));
    EXPECT_EQ(Bytes(target, 4, 4), (std::vector<int>{0, 0, 0, 0}));
    // A source rectangle reaching before the source: its part inside lands offset by what was cut.
    blank();
    Exec("PictureBlitRect(source, target, Rect(-5, -5, 10, 10), Rect(0, 0, 0, 0), BlendReplace)");
    EXPECT_EQ(Bytes(target, 5, 5), (std::vector<int>{0, 0, 7, 255}));
    EXPECT_EQ(Bytes(target, 4, 4), (std::vector<int>{0, 0, 0, 0}));
    // Far outside, and with huge rectangles: nothing, or what overlaps.
    blank();
    Exec("PictureBlitRect(source, target, Rect(0, 0, 4, 4), Rect(2000000000, 0, 0, 0), BlendReplace);"
         "PictureBlitRect(source, target, Rect(-1000000000, -1000000000, 1000000000, 1000000000), Rect(-1000000000, -1000000000, 0, 0), BlendReplace)");
    EXPECT_EQ(Bytes(target, 2, 1), (std::vector<int>{32, 16, 7, 255}));
    // Composing over, and the mean of the source's colours into the destination's alpha.
    blank();
    Exec("PictureBlit(source, target, BlendCompose)");
    EXPECT_EQ(Bytes(target, 1, 1), (std::vector<int>{16, 16, 7, 255}));
    blank();
    Exec("PictureBlit(source, target, RgbToAlpha)");
    EXPECT_EQ(Bytes(target, 3, 3), (std::vector<int>{0, 0, 0, (48 + 48 + 7) / 3}));
    // A picture onto itself, overlapping: the source as it was before the copy.
    Exec("PictureBlitRect(source, source, Rect(0, 0, 3, 3), Rect(1, 1, 0, 0), BlendReplace)");
    EXPECT_EQ(Bytes(source, 3, 3), (std::vector<int>{32, 32, 7, 255}));
    EXPECT_EQ(Bytes(source, 1, 1), (std::vector<int>{0, 0, 7, 255}));
    EXPECT_TRUE(log.Lines().empty()) << log.Text();
}

TEST_F(PictureAPI, ASavedPictureLoadsBackPixelForPixel)
{
    Exec("::art <- PictureNew(); PictureAlloc(art, 17, 9); PictureFill(art, Vector(0.2, 0.4, 0.6, 1.0));"
         "PictureFillRect(art, Vector(1, 0.5, 0, 0.5), Rect(3, 2, 12, 7)); PictureLine(art, 0, 0, 16, 8, blue);"
         "PictureSetPixel(art, 16, 8, red);");
    EXPECT_EQ(Eval("PictureSaveTGA(art, \"art.tga\")"), "true");
    EXPECT_EQ(Eval("(function() { ::back <- PictureNew(); return PictureLoadContent(back, \"art.tga\"); })()"), "true");
    nPicture* art = Pic("art");
    nPicture copy(*Pic("back"));
    ASSERT_EQ(copy.GetWidth(), 17u);
    ASSERT_EQ(copy.GetHeight(), 9u);
    ASSERT_TRUE(copy.Convert(PixelFormatRGBA8));
    for (uint32_t y = 0; y < 9; ++y)
        for (uint32_t x = 0; x < 17; ++x) ASSERT_EQ(Bytes(&copy, x, y), Bytes(art, x, y)) << x << ", " << y;
    // A loaded picture is drawn into like any other; nothing loads from a missing or foreign file.
    EXPECT_EQ(Eval("PictureGetPixel(back, 16, 8)"), "1 0 0");
    dir.Write("notes.txt", "not a picture at all");
    const Expected failures[] = {
        {"PictureLoadContent(back, \"missing.tga\")", "false"},
        {"PictureLoadContent(back, \"notes.txt\")", "false"},
        {"PictureSaveTGA(PictureNew(), \"empty.tga\")", "false"},
        {"PictureSaveTGA(art, \"no/such/folder/art.tga\")", "false"},
    };
    ExpectEvals(failures);
    EXPECT_EQ(Pic("back")->GetWidth(), 17u) << "a failed load keeps the picture";
    EXPECT_FALSE(dir.Exists("empty.tga"));
}

// A picture made by a script lives while a script object holds it; a texture or cached picture
// outlives the object.
TEST_F(PictureAPI, PicturesMadeByScriptsLiveAsLongAsTheirObjects)
{
    nSharedPtr<nPicture> held(Pic("canvas"));
    EXPECT_EQ(held->GetRefCount(), 2);
    Exec("canvas = null;");
    sq_collectgarbage(v);
    EXPECT_EQ(held->GetRefCount(), 1);
    nSharedPtr<nPicture> outside(new nPicture());
    Hold("lent", outside.Get(), objectTypePicture);
    Exec("PictureAlloc(lent, 2, 2); lent = null;");
    sq_collectgarbage(v);
    EXPECT_EQ(outside->GetRefCount(), 1);
    EXPECT_EQ(outside->GetWidth(), 2u);
    // Temporaries used while the call runs.
    Exec("PictureFill(PictureNew(), red); PictureBlit(PictureNew(), PictureNew(), BlendReplace);"
         "PictureGetRect(PictureNew()); PictureApplyConvolution(PictureNew(), 1, 1, [1]);");
    // A deleted picture object is refused as such.
    Exec("::gone <- PictureNew(); PictureAlloc(gone, 2, 2);");
    nPicture* gone = Pic("gone");
    nCObject::Invalidate(gone);
    gone->Release();  // the reference the object took, which an invalidated object no longer lets go
    EXPECT_EQ(Eval("PictureFill(gone, red)"), "error: Expected 'Picture' got 'Deleted native'");
}

TEST_F(PictureAPI, TextIsDrawnIntoTheRectangleOnly)
{
    Exec("PictureAlloc(canvas, 120, 40)");
    nPicture* canvas = Pic("canvas");
    Exec("PictureTextRender(canvas, Rect(4, 4, 116, 36), \"Hello\", \"Default\", {size = 20, color = 0xFF0000FF})");
    uint32_t inside = 0, outside = 0;
    for (uint32_t y = 0; y < 40; ++y)
        for (uint32_t x = 0; x < 120; ++x) {
            const bool drawn = Bytes(canvas, x, y)[3] != 0;
            if (x >= 4 && y >= 4 && x < 116 && y < 36) inside += drawn;
            else outside += drawn;
        }
    EXPECT_GT(inside, 30u);
    EXPECT_EQ(outside, 0u);
    // A rectangle past the picture is cut to it; nothing happens without a picture or text.
    std::memset(canvas->GetPixels(), 0, canvas->GetByteSize());
    const Expected cases[] = {
        {"PictureTextRender(canvas, Rect(100, 30, 2000000000, 2000000000), \"Hello\", \"None\", {})", "null"},
        {"PictureTextRender(canvas, Rect(-1000000000, -1000000000, -999999000, -999999000), \"Hello\", \"Default\", {})", "null"},
        {"PictureTextRender(nullPicture, Rect(0, 0, 10, 10), \"Hello\", \"Default\", {})", "null"},
        {"PictureTextRender(PictureNew(), Rect(0, 0, 10, 10), \"Hello\", \"Default\", {})", "null"},
        {"PictureTextRender(canvas, Rect(0, 0, 10, 10), \"\", \"Default\", {})", "null"},
    };
    ExpectEvals(cases);
    EXPECT_TRUE(log.Lines().empty()) << log.Text();
}

// Every function with wrong kinds, null and deleted objects, boundary numbers and long strings
// in each position: a script error or a return, at most one line, never a crash.
TEST_F(PictureAPI, SweepOfEveryFunctionWithBadArguments)
{
    Exec("::g_long <- \"\"; for (local i = 0; i < 4096; i++) g_long += \"x\";"
         "::gone <- PictureNew(); ::empty <- PictureNew(); ::r <- Rect(1, 1, 3, 3);");
    nPicture* gone = Pic("gone");
    nCObject::Invalidate(gone);
    gone->Release();
    // A call that works, for each function; the sweep changes one argument of it at a time.
    const std::vector<std::vector<std::string>> calls = {
        {"PictureNew"},
        {"PictureAlloc", "canvas", "4", "4"},
        {"PictureLoadContent", "canvas", "\"x.tga\""},
        {"PictureSaveTGA", "canvas", "\"x.tga\""},
        {"PictureGetRect", "canvas"},
        {"PictureResize", "canvas", "4", "4"},
        {"PictureFill", "canvas", "red"},
        {"PictureFillRect", "canvas", "red", "r"},
        {"PictureSetPixel", "canvas", "1", "1", "red"},
        {"PictureGetPixel", "canvas", "1", "1"},
        {"PictureLine", "canvas", "0", "0", "5", "5", "red"},
        {"PictureBlit", "canvas", "empty", "BlendReplace"},
        {"PictureBlitRect", "canvas", "canvas", "r", "r", "BlendCompose"},
        {"PictureApplyConvolution", "canvas", "2", "2", "[1, 2, 3, 4]"},
        {"PictureTextRender", "canvas", "r", "\"Hi\"", "\"Default\"", "{}"},
    };
    const std::vector<std::string> numbers = {"0", "-1", "1", "2147483647", "2147483648", "-2147483649", "9223372036854775807",
                                              "-9223372036854775807", "0.5", "(0.0 / 0.0)", "(1e30 * 1e30)", "-1e30"};
    const std::vector<std::string> strings = {"\"\"", "g_long", "\"%s%n\"", "\"..\""};
    const std::vector<std::string> objects = {"canvas", "empty", "nullPicture", "gone", "r", "Rect(-5, -5, 1e30, -1e30)",
                                              "red", "Vector(2, -1, (0.0 / 0.0), 1e30)", "Rect()"};
    const std::vector<std::string> wrong = {"null", "true", "[]", "{}", "Matrix4()", "CObject()", "NullMaterial"};
    const std::vector<std::string> arrays = {"[]", "[\"x\", null, [], 1e30, -1e30, (0.0 / 0.0), 9223372036854775807]"};
    const std::vector<std::string> tables = {"{size = -5, color = \"x\", align = 3}", "{size = 1e30, tracking = -1e30}"};
    const std::vector<std::string> knownErrors = {"wrong number of parameters", "parameter ", "CObject is null",
                                                  "Expected '", "Invalid instance type", "invalid type tag"};
    std::vector<std::string> swept;
    size_t made = 0;
    for (const std::vector<std::string>& call : calls) {
        const std::string name = call[0];
        const std::vector<std::string> base(call.begin() + 1, call.end());
        swept.push_back(name);
        std::vector<std::vector<std::string>> argLists = {base};
        for (size_t p = 0; p < base.size(); ++p) {
            std::vector<std::string> values = wrong;
            for (const std::vector<std::string>* kind : {&numbers, &strings, &objects, &arrays, &tables})
                values.insert(values.end(), kind->begin(), kind->end());
            for (const std::string& value : values) {
                auto a = base;
                a[p] = value;
                argLists.push_back(a);
            }
        }
        if (!base.empty()) argLists.push_back(std::vector<std::string>(base.begin(), base.end() - 1));
        argLists.push_back(base);
        argLists.back().push_back("0");
        for (const std::vector<std::string>& args : argLists) {
            const std::string text = CallText(name, args);
            ++made;
            log.Clear();
            const std::string result = Eval(text);
            EXPECT_NE(result, "call failed") << text;
            if (result.compare(0, 7, "error: ") == 0) {
                EXPECT_TRUE(IsKnownError(result.substr(7), knownErrors)) << text << " gave " << result;
            }
            EXPECT_LE(log.Lines().size(), 1u) << text << ": " << log.Text();
            ASSERT_FALSE(vm.IsKilled()) << text;
            Exec("PictureAlloc(canvas, 8, 6)");  // every call starts from the same picture
        }
    }
    std::vector<std::string> listed;
    for (const ManifestFunction& f : ReadFunctionManifest("picture_functions.tsv")) listed.push_back(f.name);
    EXPECT_EQ(Sorted(swept), Sorted(listed)) << "every function is swept";
    EXPECT_GT(made, 1500u) << "every argument position takes every kind of value";
    EXPECT_EQ(RectText("PictureGetRect(canvas)"), "0,0,8,6");
}

}
