// Window titles written with the window-system fonts: ink inside the title rectangle only, in
// the title colour, and nothing from an empty title.
#include <gtest/gtest.h>

#include <cstring>

#include "hub/nOrvex.h"
#include "resources/nPictureFormat.h"
#include "resources/nPictureTGA.h"
#include "tests/kit/nCallLog.h"
#include "tests/kit/nRecordingRenderer.h"
#include "tests/scene/kit/nRecordingScriptVM.h"
#include "tests/support/nTempDir.h"
#include "ui/nFontTitleWriter.h"
#include "ui/nScene2D.h"
#include "ui/nWindowSystemFont.h"

namespace {

TEST(WindowTitle, TheFontWriterInksOnlyTheTitleRectangle)
{
    nWindowSystemFonts fonts;
    ASSERT_TRUE(fonts.OpenWindowSystemFonts());
    nTempDir dir;
    nTempDir::ChangeInto into{dir};
    nOrvex engine;
    nCallLog log;
    nRecordingRenderer renderer{&engine, &log};
    nRecordingScriptVM vm{&engine, &log};
    nScene2D ui{&engine, &vm};
    renderer.Open(640, 480, 32, 0);
    const char* names[SkinSlotCount] = {"t.tga", "l.tga", "r.tga", "b.tga", "tl.tga", "tr.tga", "bl.tga", "br.tga"};
    for (const char* name : names) {
        nPicture piece;
        piece.Allocate(4, 24, PixelFormatRGBA8);
        std::memset(piece.GetPixels(), 0, piece.GetByteSize());
        for (size_t i = 3; i < piece.GetByteSize(); i += 4) piece.GetPixels()[i] = 255;  // opaque black
        SavePictureTGA(name, piece);
    }
    // Title rows 2 to 20, 16 pixels, pure green (red in the low byte).
    ASSERT_TRUE(ui.SetSkin(names, 0xFF000000u, 0xFF00FF00u, 2, 20, 16, "Default"));
    nFontTitleWriter writer(&fonts);
    ui.SetTitleWriter(&writer);
    const nVector2 size(200.0f, 60.0f);
    nWindow* titled = new nWindow(&ui, 0, "titled", "Hello", 0, &size);
    nWindow* untitled = new nWindow(&ui, 0, "untitled", "", 0, &size);
    ui.Render(true);
    const nPicture& a = *titled->GetCachePicture();
    const nPicture& b = *untitled->GetCachePicture();
    int32_t inkInside = 0, inkOutside = 0, notGreen = 0;
    for (int32_t y = 0; y < 60; ++y)
        for (int32_t x = 0; x < 200; ++x) {
            const uint8_t* p = a.GetPixels() + ((size_t)y * a.GetWidth() + x) * 4;
            const uint8_t* q = b.GetPixels() + ((size_t)y * b.GetWidth() + x) * 4;
            if (std::memcmp(p, q, 4) == 0) continue;
            const bool inside = x >= 4 && x < 196 && y >= 2 && y < 20;
            ++(inside ? inkInside : inkOutside);
            if (p[0] != 0 || p[2] != 0) ++notGreen;
        }
    EXPECT_GT(inkInside, 30) << "the five letters leave ink";
    EXPECT_EQ(inkOutside, 0);
    EXPECT_EQ(notGreen, 0) << "green over black stays green";
    ui.SetTitleWriter(0);
}

}  // namespace
