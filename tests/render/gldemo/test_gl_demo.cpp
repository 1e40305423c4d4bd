// The demo game drawn through the deferred frame by the player: a frame grabbed after the
// bodies came to rest shows the sky, the floor and a crate where the camera sees them, and the
// ball's material has been recoloured by its script meanwhile.
#include <gtest/gtest.h>

#include <SDL.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>

#include "engine/player/nPlayerApp.h"
#include "render/gl/nGL3Renderer.h"
#include "render/nRenderer.h"
#include "resources/nGeometry.h"
#include "resources/nMaterial.h"
#include "resources/nPicture.h"
#include "resources/nPictureTGA.h"
#include "scene/nLight.h"
#include "scene/nMItem.h"
#include "scene/nObject.h"
#include "scene/nScene.h"

namespace {

struct Pixel
{
    int r, g, b;
};

// Top-left origin, as the grabbed picture is (BGRA).
Pixel At(const nPicture& picture, int x, int y)
{
    const uint8_t* p = picture.GetPixels() + ((size_t)y * picture.GetWidth() + x) * 4;
    return Pixel{p[2], p[1], p[0]};
}

TEST(GLDemo, TheYardIsDrawnLitWithItsSkyFloorAndCrates)
{
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) GTEST_SKIP() << "no display can be opened: " << SDL_GetError();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof(previous)), nullptr);
    ASSERT_EQ(chdir(QZ_DEMO_GAME), 0);

    nPlayerApp app;
    app.Init();
    const char* argv[] = {"quazel", "crates.nms", "-r", "gl2", "-m", "none"};
    ASSERT_TRUE(app.ParseCommandLine(6, const_cast<char**>(argv)));
    ASSERT_TRUE(app.Setup());
    nRenderer* renderer = app.GetEngine().GetRenderer();
    ASSERT_NE(renderer, nullptr);
    ASSERT_STREQ(renderer->GetDescription(), "OpenGL Deferred");
    // Three seconds of the game's time at 60 frames a second, whatever the machine's load:
    // the bodies have landed.
    app.GetEngine().SetFixedDeltaFrame(1.0f / 60.0f);
    for (int frame = 0; frame < 180; ++frame) ASSERT_FALSE(app.DrawFrame());
    // The camera asks for sharpening in its registry: the post-processing chain ran it.
    nGL3Renderer* gl = dynamic_cast<nGL3Renderer*>(renderer);
    ASSERT_NE(gl, nullptr);
    EXPECT_EQ(gl->GetPostEffectsRun(), 1u << 6) << "the camera's sharpening did not run";
    // The ball's script turns its material's colour round while the game runs: after three
    // seconds the white of the file is gone and the colour differs from a frame later.
    {
        // Held only here: a geometry kept past the shutdown would outlive its renderer.
        nMItem* ballItem = app.GetScene() ? app.GetScene()->FindObject("ball") : nullptr;
        ASSERT_NE(ballItem, nullptr);
        nSharedPtr<nGeometry> ball = static_cast<nObject*>(ballItem->GetItem())->GetGeometry();
        ASSERT_TRUE(ball.IsValid() && ball->materialCount == 1);
        const nVector paint = ball->materials[0]->diffuse;
        EXPECT_GT(std::max({paint.x, paint.y, paint.z}) - std::min({paint.x, paint.y, paint.z}), 0.3f)
            << "ball colour " << paint.x << " " << paint.y << " " << paint.z;
        ASSERT_FALSE(app.DrawFrame());
        EXPECT_NE(ball->materials[0]->diffuse.x, paint.x) << "the colour changes frame by frame";
    }

    nPicture grab;
    ASSERT_TRUE(renderer->GrabToPicture(&grab));
    if (const char* keep = std::getenv("QZ_DEMO_GRAB")) SavePictureTGA(keep, grab);
    // The same view once more with the sun dimmed to nothing: what the ambient light and the
    // lamp give alone.
    nMItem* sunItem = app.GetScene() ? app.GetScene()->FindLight("sun") : nullptr;
    ASSERT_NE(sunItem, nullptr);
    nLight& sun = static_cast<nMLight*>(sunItem)->GetLight();
    sun.SetDiffuseIntensity(0.0f);
    sun.SetSpecularIntensity(0.0f);
    ASSERT_FALSE(app.DrawFrame());
    nPicture withoutSun;
    ASSERT_TRUE(renderer->GrabToPicture(&withoutSun));
    if (const char* keep = std::getenv("QZ_DEMO_GRAB_NOSUN")) SavePictureTGA(keep, withoutSun);
    EXPECT_FALSE(app.HasFailed());
    app.Shutdown();
    ASSERT_EQ(chdir(previous), 0);

    // The camera at (0, 5, -14) looks down at the yard: sky above the horizon, the floor's
    // dark checks below, the crate that landed right of centre seen in the sun's light.
    ASSERT_EQ(grab.GetWidth(), 800u);
    ASSERT_EQ(grab.GetHeight(), 600u);
    const Pixel sky = At(grab, 400, 40), floor = At(grab, 400, 560), crate = At(grab, 525, 315);
    EXPECT_GT(sky.b, 200) << "sky " << sky.r << " " << sky.g << " " << sky.b;
    EXPECT_GT(sky.b, sky.r + 80);
    EXPECT_GT(floor.r + floor.g + floor.b, 30) << "floor " << floor.r << " " << floor.g << " " << floor.b;
    EXPECT_LT(floor.b, 120);
    EXPECT_LT(std::abs(floor.r - floor.b), 25);
    // Brick orange, brighter than the grey floor (the crate may have turned as it landed).
    EXPECT_GT(crate.r, 60) << "crate " << crate.r << " " << crate.g << " " << crate.b;
    EXPECT_GT(crate.r, crate.b + 40);
    EXPECT_GT(crate.g, crate.b);

    // The sun shines on the floor and on the crate's faces toward the camera: both are clearly
    // brighter than without it.
    for (const auto& probe : {std::make_pair("floor", std::make_pair(400, 560)),
                              std::make_pair("crate", std::make_pair(525, 315))}) {
        const Pixel lit = At(grab, probe.second.first, probe.second.second);
        const Pixel unlit = At(withoutSun, probe.second.first, probe.second.second);
        EXPECT_GT(lit.r + lit.g + lit.b, unlit.r + unlit.g + unlit.b + 60)
            << probe.first << " with the sun " << lit.r << " " << lit.g << " " << lit.b << ", without "
            << unlit.r << " " << unlit.g << " " << unlit.b;
    }
}

}
