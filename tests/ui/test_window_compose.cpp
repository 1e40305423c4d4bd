// Windows composed on the CPU: a synthetic eight-piece skin checked at the corners, the tiled
// edges, the fill and the alpha gradient; windows smaller than their corners; shading; the
// background picture and colour; the title written once per compose; uploads only on change.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "hub/nOrvex.h"
#include "resources/nPictureTGA.h"
#include "resources/nTexture.h"
#include "tests/kit/nCallLog.h"
#include "tests/kit/nRecordingRenderer.h"
#include "tests/scene/kit/nRecordingScriptVM.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nTempDir.h"
#include "ui/nScene2D.h"
#include "ui/nWindow.h"

namespace {

typedef std::vector<std::string> Lines;

struct RGBA
{
    int r, g, b, a;
    bool operator==(const RGBA& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
};

std::ostream& operator<<(std::ostream& out, const RGBA& p)
{
    return out << "(" << p.r << "," << p.g << "," << p.b << "," << p.a << ")";
}

RGBA PixelAt(const nPicture& picture, int x, int y)
{
    const uint8_t* p = picture.GetPixels() + ((size_t)y * picture.GetWidth() + (size_t)x) * 4;
    return RGBA{p[0], p[1], p[2], p[3]};
}

// Each skin piece has its own colours; the edges change colour along the direction they are
// tiled in (rows of the side edges, columns of the top and bottom), so that the restart shows.
struct Piece
{
    const char* file;
    int width, height;
    int red;  // the red of the piece; green is the row, blue the column
};

// Slot order: top, left, right, bottom, top left, top right, bottom left, bottom right.
std::vector<Piece> SkinPieces(int titleBar)
{
    return {{"top.tga", 2, titleBar, 10}, {"left.tga", 3, 2, 20}, {"right.tga", 2, 3, 30}, {"bottom.tga", 3, 3, 40}, {"tl.tga", 4, titleBar, 50}, {"tr.tga", 5, titleBar, 60}, {"bl.tga", 4, 3, 70}, {"br.tga", 5, 3, 80}};
}

RGBA PieceColour(const Piece& piece, int x, int y) { return RGBA{piece.red, 100 + y, 150 + x, 255}; }

const uint32_t kFill = 0xFF0C0B0Au;  // (10, 11, 12, 255)

// A 2D scene whose skin is written as TGA files into a temporary folder.
struct SkinnedLayer
{
    nTempDir dir;
    nTempDir::ChangeInto into{dir};
    nOrvex engine;
    nCallLog log;
    nRecordingRenderer renderer{&engine, &log};
    nRecordingScriptVM vm{&engine, &log};
    nScene2D ui{&engine, &vm};
    std::vector<Piece> pieces;

    explicit SkinnedLayer(int titleBar = 6, bool loadSkin = true) : pieces(SkinPieces(titleBar))
    {
        renderer.Open(1280, 960, 32, 0);
        const char* names[SkinSlotCount];
        for (int slot = 0; slot < SkinSlotCount; ++slot) {
            const Piece& piece = pieces[slot];
            nPicture picture;
            picture.Allocate(piece.width, piece.height, PixelFormatRGBA8);
            for (int y = 0; y < piece.height; ++y)
                for (int x = 0; x < piece.width; ++x) {
                    RGBA c = PieceColour(piece, x, y);
                    uint8_t* p = picture.GetPixels() + ((size_t)y * piece.width + x) * 4;
                    p[0] = (uint8_t)c.r;
                    p[1] = (uint8_t)c.g;
                    p[2] = (uint8_t)c.b;
                    p[3] = (uint8_t)c.a;
                }
            SavePictureTGA(piece.file, picture);
            names[slot] = piece.file;
        }
        if (loadSkin) ui.SetSkin(names, kFill, 0xFFFFFFFFu, 1, 5, 16, "Default");
    }

    const Piece& Slot(int slot) const { return pieces[slot]; }
};

// The gradient's alpha factor k of row i of a band of count rows, as the window draws it:
// falling by 0.15 over the first 70 % of the rows, then rising back towards 1.
std::vector<int> GradientFactors(int count)
{
    std::vector<int> k;
    const int falling = count * 70 / 100;
    double factor = 1.0;
    double step = falling > 0 ? -0.15 / falling : 0.0;
    for (int i = 0; i < count; ++i) {
        if (i == falling) step = (1.0 - factor) / (count - falling);
        k.push_back((int)(factor * 255.0));
        factor += step;
    }
    return k;
}

void ExpectNear(const RGBA& got, const RGBA& want, const std::string& where)
{
    EXPECT_EQ(got.r, want.r) << where;
    EXPECT_EQ(got.g, want.g) << where;
    EXPECT_EQ(got.b, want.b) << where;
    EXPECT_NEAR(got.a, want.a, 1) << where;
}

TEST(WindowCompose, TheSkinGivesCornersTiledEdgesFillAndGradient)
{
    SkinnedLayer l;
    ASSERT_TRUE(l.ui.IsSkinLoaded());
    const int w = 40, h = 30;
    const nVector2 size((float)w, (float)h);
    nWindow* window = new nWindow(&l.ui, 0, "w", "Title", 0, &size);
    window->Compose();
    const nPicture& cache = *window->GetCachePicture();
    ASSERT_EQ(cache.GetWidth(), 64u);
    ASSERT_EQ(cache.GetHeight(), 32u);

    const Piece &top = l.Slot(SkinTop), &left = l.Slot(SkinLeft), &right = l.Slot(SkinRight),
                &bottom = l.Slot(SkinBottom), &tl = l.Slot(SkinTopLeft), &tr = l.Slot(SkinTopRight),
                &bl = l.Slot(SkinBottomLeft), &br = l.Slot(SkinBottomRight);
    // The gradient covers the rows between the top-left corner and the bottom-right one.
    const int first = tl.height, count = h - tl.height - br.height;
    const std::vector<int> k = GradientFactors(count);
    auto alphaOfRow = [&](int y) { return y >= first && y < first + count ? 255 * k[y - first] / 256 : 255; };
    auto want = [&](const Piece& piece, int px, int py, int y) {
        RGBA c = PieceColour(piece, px, py);
        c.a = alphaOfRow(y);
        return c;
    };

    struct Probe
    {
        const char* what;
        int x, y;
        RGBA colour;
    };
    const RGBA fill{10, 11, 12, 255};
    auto fillAt = [&](int y) { RGBA c = fill; c.a = alphaOfRow(y); return c; };
    const Probe probes[] = {
        {"top-left corner", 0, 0, want(tl, 0, 0, 0)},
        {"top-left corner, last pixel", tl.width - 1, tl.height - 1, want(tl, tl.width - 1, tl.height - 1, tl.height - 1)},
        {"top-right corner", w - tr.width, 0, want(tr, 0, 0, 0)},
        {"top-right corner, last pixel", w - 1, tr.height - 1, want(tr, tr.width - 1, tr.height - 1, tr.height - 1)},
        {"bottom-left corner", 0, h - bl.height, want(bl, 0, 0, h - bl.height)},
        {"bottom-right corner, last pixel", w - 1, h - 1, want(br, br.width - 1, br.height - 1, h - 1)},
        {"top edge, first column", tl.width, 0, want(top, 0, 0, 0)},
        {"top edge, second column", tl.width + 1, 3, want(top, 1, 3, 3)},
        {"top edge, restarting", tl.width + 2, 0, want(top, 0, 0, 0)},
        {"top edge, last column", w - tr.width - 1, 0, want(top, (w - tr.width - 1 - tl.width) % top.width, 0, 0)},
        {"left edge, first row", 0, tl.height, want(left, 0, 0, tl.height)},
        {"left edge, second row", 2, tl.height + 1, want(left, 2, 1, tl.height + 1)},
        {"left edge, restarting", 1, tl.height + 2, want(left, 1, 0, tl.height + 2)},
        {"left edge, last row", 0, h - bl.height - 1, want(left, 0, (h - bl.height - 1 - tl.height) % left.height, h - bl.height - 1)},
        {"right edge, first row", w - right.width, tr.height, want(right, 0, 0, tr.height)},
        {"right edge, restarting", w - 1, tr.height + 3, want(right, 1, 0, tr.height + 3)},
        {"bottom edge", bl.width, h - bottom.height, want(bottom, 0, 0, h - bottom.height)},
        {"bottom edge, restarting", bl.width + 3, h - 1, want(bottom, 0, 2, h - 1)},
        {"fill, first gradient row", 20, first, fillAt(first)},
        {"fill, middle", 20, 15, fillAt(15)},
        {"fill, last falling row", 20, first + count * 70 / 100 - 1, fillAt(first + count * 70 / 100 - 1)},
        {"fill, first rising row", 20, first + count * 70 / 100, fillAt(first + count * 70 / 100)},
        {"fill, last gradient row", 20, first + count - 1, fillAt(first + count - 1)},
        {"outside the window, right", w, 10, RGBA{0, 0, 0, 0}},
        {"outside the window, corner", 63, 31, RGBA{0, 0, 0, 0}},
    };
    for (const Probe& p : probes) ExpectNear(PixelAt(cache, p.x, p.y), p.colour, p.what);
    // The gradient fades: the middle is clearly more transparent than the ends.
    EXPECT_LT(PixelAt(cache, 20, first + count * 70 / 100).a, 220);
    EXPECT_GT(PixelAt(cache, 20, first).a, 250);
}

TEST(WindowCompose, WindowsSmallerThanTheirCornersStayInsideThePicture)
{
    SkinnedLayer l;
    const Piece& br = l.Slot(SkinBottomRight);
    struct Case
    {
        int w, h;
    };
    const Case cases[] = {{1, 1}, {2, 1}, {3, 2}, {8, 5}, {9, 9}, {1, 40}, {40, 1}};
    for (const Case& c : cases) {
        const nVector2 size((float)c.w, (float)c.h);
        nWindow* window = new nWindow(&l.ui, 0, "small", 0, 0, &size);
        window->Compose();
        const nPicture& cache = *window->GetCachePicture();
        // The bottom-right corner is copied last, clipped to the picture: its pixel that
        // lands on the window's last pixel is there.
        ExpectNear(PixelAt(cache, c.w - 1, c.h - 1), PieceColour(br, br.width - 1, br.height - 1),
                   std::to_string(c.w) + "x" + std::to_string(c.h));
        window->Shade(true);  // a title bar taller than the window
        EXPECT_TRUE(window->TestState(Sprite2DStateShaded));
        l.ui.Render(true);
    }
}

TEST(WindowCompose, ShadingFadesTheLastTenRowsOfTheTitleBar)
{
    for (int titleBar : {24, 6}) {
        SkinnedLayer l(titleBar);
        const nVector2 size(40, 60);
        nWindow* window = new nWindow(&l.ui, 0, "w", 0, 0, &size);
        l.ui.Render(true);
        const nPicture& cache = *window->GetCachePicture();
        std::vector<int> before;
        for (int y = 0; y < titleBar; ++y) before.push_back(PixelAt(cache, 20, y).a);
        l.log.Clear();
        window->Shade(true);
        EXPECT_EQ(l.log.Count("render.UpdateTexture(64x64 at 0,0)"), 1u) << "uploaded at once";
        for (int y = 0; y < titleBar; ++y) {
            const int i = y - (titleBar - 10);
            const int want = i < 0 ? before[y] : before[y] * (255 - 25 * i) / 255;
            EXPECT_EQ(PixelAt(cache, 20, y).a, want) << "title bar " << titleBar << ", row " << y;
        }
        EXPECT_EQ(window->GetRect().y1, titleBar);
        // Drawn at the title bar's height, at half alpha.
        l.renderer.ClearTriangles();
        l.ui.Render(true);
        ASSERT_EQ(l.renderer.GetTriangles().size(), 2u);
        EXPECT_FLOAT_EQ(l.renderer.GetTriangles()[0].colour.w, 0.5f);
        EXPECT_FLOAT_EQ(l.renderer.GetTriangles()[1].uvs[1].y, (float)titleBar / 64.0f);

        const int composed = window->GetComposeCount();
        window->Shade(false);
        l.ui.Render(true);
        EXPECT_EQ(window->GetComposeCount(), composed + 1) << "recomposed whole";
        EXPECT_EQ(PixelAt(cache, 20, titleBar - 1).a, before[titleBar - 1]);
        EXPECT_EQ(window->GetRect().y1, 60);
    }
}

TEST(WindowCompose, NoShadingWithoutASkinOrATitle)
{
    SkinnedLayer l(6, false);
    const nVector2 size(20, 20);
    nWindow* plain = new nWindow(&l.ui, 0, "plain", 0, 0, &size);
    plain->SetBackgroundColor(nVector(1.0f, 0.0f, 0.0f, 1.0f));
    l.ui.Render(true);
    plain->Shade(true);
    EXPECT_FALSE(plain->TestState(Sprite2DStateShaded));
    EXPECT_EQ(PixelAt(*plain->GetCachePicture(), 0, 0), (RGBA{255, 0, 0, 255}));

    SkinnedLayer skinned;
    nWindow* untitled = new nWindow(&skinned.ui, 0, "untitled", 0, 0, &size);
    untitled->SetStyle(Sprite2DStyleNoTitle, true);
    untitled->Shade(true);
    EXPECT_FALSE(untitled->TestState(Sprite2DStateShaded));
}

TEST(WindowCompose, ABackgroundPictureOrAColourReplacesTheSkin)
{
    SkinnedLayer l;
    nPicture red;
    red.Allocate(10, 6, PixelFormatRGBA8);
    for (size_t i = 0; i < 60; ++i) std::memcpy(red.GetPixels() + i * 4, "\xff\x00\x00\xff", 4);
    SavePictureTGA("red.tga", red);
    const nVector2 size(30, 20);
    nWindow* window = new nWindow(&l.ui, 0, "w", 0, 0, &size);
    EXPECT_TRUE(window->SetBackgroundPicture("red.tga"));
    EXPECT_TRUE(window->TestStyle(Sprite2DStyleNoDecoration));
    window->Compose();
    const nPicture& cache = *window->GetCachePicture();
    EXPECT_EQ(PixelAt(cache, 0, 0), (RGBA{255, 0, 0, 255}));
    EXPECT_EQ(PixelAt(cache, 9, 5), (RGBA{255, 0, 0, 255}));
    EXPECT_EQ(PixelAt(cache, 10, 5), (RGBA{0, 0, 0, 0}));
    EXPECT_EQ(PixelAt(cache, 9, 6), (RGBA{0, 0, 0, 0}));

    nLogCapture capture;
    EXPECT_FALSE(window->SetBackgroundPicture("missing.tga"));
    EXPECT_EQ(capture.Lines(), (Lines{"[!] Could not load the background picture 'missing.tga' of window 'w'.\n"}));
    EXPECT_FALSE(window->TestStyle(Sprite2DStyleNoDecoration));

    // NoDecoration without a picture: the plain colour over the whole cache.
    nWindow* coloured = new nWindow(&l.ui, 0, "c", 0, 0, &size);
    coloured->SetStyle(Sprite2DStyleNoDecoration, true);
    coloured->SetBackgroundColor(nVector(0.0f, 1.0f, 0.0f, 0.5f));
    coloured->Compose();
    EXPECT_EQ(PixelAt(*coloured->GetCachePicture(), 31, 31), (RGBA{0, 255, 0, 127}));
}

// Blends half-opaque white over its area: written twice, a pixel would come out brighter.
class BlendingTitle : public nWindowTitleWriter
{
public:
    int calls = 0;
    void WriteTitle(const nWindow& window, nPicture& target, const nRect2D& area) override
    {
        ++calls;
        for (int y = area.y0; y < area.y1; ++y)
            for (int x = area.x0; x < area.x1; ++x) {
                uint8_t* p = target.GetPixels() + ((size_t)y * target.GetWidth() + x) * 4;
                for (int c = 0; c < 3; ++c) p[c] = (uint8_t)((p[c] + 255) / 2);
            }
    }
};

TEST(WindowCompose, TheTitleIsWrittenOncePerComposeAndUploadsFollowChanges)
{
    SkinnedLayer l;
    BlendingTitle title;
    l.ui.SetTitleWriter(&title);
    const nVector2 size(40, 30);
    nWindow* window = new nWindow(&l.ui, 0, "w", "Title", 0, &size);
    for (int frame = 0; frame < 60; ++frame) l.ui.Render(true);
    EXPECT_EQ(title.calls, 1);
    EXPECT_EQ(l.log.Count("render.UpdateTexture(64x32 at 0,0)"), 1u);
    // The title's pixels are those of one compose with one title on it.
    const RGBA once = PixelAt(*window->GetCachePicture(), 10, 2);
    RGBA corner = PieceColour(l.Slot(SkinTop), (10 - l.Slot(SkinTopLeft).width) % 2, 2);
    EXPECT_EQ(once, (RGBA{(corner.r + 255) / 2, (corner.g + 255) / 2, (corner.b + 255) / 2, 255}));
    // The title's area: between the top corners, from the title top to the title bottom.
    EXPECT_EQ(PixelAt(*window->GetCachePicture(), 10, 5), PieceColour(l.Slot(SkinTop), 0, 5));

    window->SetTitle("Another");
    l.ui.Render(true);
    l.ui.Render(true);
    EXPECT_EQ(title.calls, 2);
    EXPECT_EQ(l.log.Count("render.UpdateTexture(64x32 at 0,0)"), 2u);
    EXPECT_EQ(PixelAt(*window->GetCachePicture(), 10, 2), once);
    l.ui.SetTitleWriter(0);
}

TEST(WindowCompose, SkinsThatDoNotLoadLeaveWindowsPlain)
{
    SkinnedLayer l(6, false);
    const char* names[SkinSlotCount] = {"top.tga", "left.tga", "right.tga", "bottom.tga",
                                        "tl.tga", "tr.tga", "bl.tga", "nowhere.tga"};
    nLogCapture capture;
    EXPECT_FALSE(l.ui.SetSkin(names, kFill, 0, 1, 5, 16, 0));
    EXPECT_EQ(capture.Lines(), (Lines{"[!] Could not load the skin picture 'nowhere.tga'.\n"}));
    EXPECT_FALSE(l.ui.IsSkinLoaded());
    EXPECT_EQ(l.ui.GetSkinPicture(SkinTop), nullptr);
    const char* missing[SkinSlotCount] = {"top.tga", 0, "right.tga", "bottom.tga", "tl.tga", "tr.tga", "bl.tga", "br.tga"};
    EXPECT_FALSE(l.ui.SetSkin(missing, kFill, 0, 1, 5, 16, 0));
    const nVector2 size(20, 20);
    nWindow* window = new nWindow(&l.ui, 0, "w", 0, 0, &size);
    window->SetBackgroundColor(nVector(0.0f, 0.0f, 1.0f, 1.0f));
    window->Compose();
    EXPECT_EQ(PixelAt(*window->GetCachePicture(), 5, 5), (RGBA{0, 0, 255, 255}));
}

}
