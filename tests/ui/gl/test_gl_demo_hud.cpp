// The demo's 2D overlay (demo/crates/hud.nml) on the OpenGL renderer: it fades in from black,
// its window slides in from above and carries its sprites, all by the command lists its file
// gives. Set QZ_SAVE_FRAME to a path to keep the last frame as a TGA picture.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "core/nMetaFile.h"
#include "hub/nOrvex.h"
#include "resources/nPictureTGA.h"
#include "tests/kit/nCallLog.h"
#include "tests/render/gl/nGLRendererFixture.h"
#include "tests/scene/kit/nKitClock.h"
#include "tests/scene/kit/nRecordingScriptVM.h"
#include "ui/nScene2D.h"

namespace {

const int kWidth = 640;
const int kHeight = 480;
const nRGBA kBackground{51, 102, 153, 255};

// An internal pixel of the overlay (1280 x 960) on the output, y down.
nRGBA Probe(float x, float y)
{
    return ReadPixel((int)(x * kWidth / 1280.0f), kHeight - 1 - (int)(y * kHeight / 960.0f));
}

bool Differs(const nRGBA& a, const nRGBA& b) { return !PixelNear(a, b, 12); }

TEST(DemoHudGL, FadesInAndSlidesItsWindowInWithItsSprites)
{
    QZ_REQUIRE_GL_DISPLAY();
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof(previous)), nullptr);
    ASSERT_EQ(chdir(QZ_SOURCE_DIR "/demo/crates"), 0);
    {
        nOrvex engine;
        engine.SetResourceAutoSetup(true);
        nGL3Renderer renderer(&engine, true);
        ASSERT_TRUE(renderer.Open(kWidth, kHeight, 32, 2));
        nGLErrorRecorder errors;
        errors.Install();
        nCallLog log;
        nRecordingScriptVM vm(&engine, &log);
        {
            nScene2D hud(&engine, &vm);
            nMetaFile document;
            ASSERT_TRUE(document.Load("hud.nml"));
            ASSERT_TRUE(hud.Deserialize(&document, document.FindPath("Scene2d;")));
            ASSERT_EQ(hud.GetSprites().GetCount(), 4);
            SetEngineFrameTime(&engine, 500);
            auto frame = [&] {
                renderer.Clear(0.2f, 0.4f, 0.6f, 1.0f, false);
                hud.Render(true);
            };

            frame();  // the fade starts black
            EXPECT_TRUE(PixelNear(Probe(640, 480), nRGBA{0, 0, 0, 255}, 3));
            EXPECT_TRUE(PixelNear(Probe(200, 130), nRGBA{0, 0, 0, 255}, 3));
            for (int i = 0; i < 40; ++i) frame();  // two seconds
            // Faded in: the yard's frame shows around the window.
            EXPECT_TRUE(PixelNear(Probe(640, 600), kBackground, 3));
            EXPECT_TRUE(PixelNear(Probe(420, 100), kBackground, 3));
            // The window came down to (40, 40): its inside, below its title bar, and the title
            // bar itself, a lighter blue.
            const nRGBA inside = Probe(300, 150), title = Probe(300, 50);
            EXPECT_TRUE(Differs(inside, kBackground));
            EXPECT_TRUE(Differs(title, kBackground));
            EXPECT_GT(title.b, inside.b);
            EXPECT_LT(inside.r, kBackground.r);
            // The star at the window's (48, 72), around its pivot: yellow.
            const nRGBA star = Probe(40 + 48, 40 + 72);
            EXPECT_GT(star.r, 200);
            EXPECT_LT(star.b, 120);

            if (const char* path = std::getenv("QZ_SAVE_FRAME")) {
                nPicture picture;
                if (renderer.GrabToPicture(&picture)) SavePictureTGA(path, picture);
            }
        }
        EXPECT_TRUE(errors.Errors().empty()) << errors.Errors().front();
    }
    ASSERT_EQ(chdir(previous), 0);
}

}
