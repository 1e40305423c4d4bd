// Textures: set-up on the current renderer, the destruction sequence, flags and the stream
// interface a texture owns.
#include "resources/nTexture.h"
#include "resources/nTextureStreamInterface.h"
#include "tests/kit/nCallLog.h"
#include "tests/kit/nRecordingEvents.h"
#include "tests/kit/nRecordingRenderer.h"
#include "tests/support/nLogCapture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Calls = std::vector<std::string>;

class CountedStream : public nTextureStreamInterface
{
public:
    explicit CountedStream(int& deleted) : nTextureStreamInterface(nullptr), m_deleted(deleted) {}
    ~CountedStream() override { ++m_deleted; }

private:
    int& m_deleted;
};

// A w x h RGBA8 texture whose every pixel has the given alpha.
nTexture* NewFilledTexture(nOrvex* engine, const char* name, uint8_t alpha, uint32_t w = 2, uint32_t h = 2)
{
    nTexture* texture = new nTexture(engine, 0, 0);
    texture->SetName(name);
    EXPECT_TRUE(texture->Allocate(w, h, PixelFormatRGBA8));
    for (uint32_t i = 0; i < w * h; ++i) {
        uint8_t* p = texture->GetPixels() + 4 * i;
        p[0] = 10;
        p[1] = 20;
        p[2] = 30;
        p[3] = alpha;
    }
    return texture;
}

TEST(Texture, ConstructionGivesAnEmptyPictureWithItsParameters)
{
    nOrvex engine;
    nTexture texture(&engine, 1, 2);
    EXPECT_EQ(texture.GetEngine(), &engine);
    EXPECT_EQ(texture.GetUsage(), 1);
    EXPECT_EQ(texture.GetStorageKind(), 2);
    EXPECT_EQ(texture.GetFlags(), 0u);
    EXPECT_EQ(texture.GetStreamInterface(), nullptr);
    EXPECT_EQ(texture.GetRenderData(), nullptr);
    EXPECT_EQ(texture.GetPixels(), nullptr);
    EXPECT_EQ(texture.GetWidth(), 0u);
}

TEST(Texture, SetupSendsItsMessageThenAsksTheCurrentRendererAndReturnsItsAnswer)
{
    for (bool answer : {true, false}) {
        nOrvex engine;
        nCallLog calls;
        nRecordingRenderer renderer(&engine, &calls);
        renderer.recordResources = true;
        renderer.setupAnswer = answer;
        nRecordingEventInterface progress(&engine, &calls);

        nTexture* texture = NewFilledTexture(&engine, "wall.tga", 255);
        nSharedPtr<nTexture> hold(texture);
        EXPECT_EQ(texture->Setup(), answer);
        EXPECT_EQ(calls.Calls(), (Calls{"engine.Message(Texture Setup)", "render.SetupTexture(wall.tga)"}));
        EXPECT_EQ(texture->GetRenderData() != nullptr, answer);
        hold.Release();
        engine.SetEventInterface(nullptr);
    }
}

TEST(Texture, SetupWithoutAnyRendererFailsWithOneLine)
{
    nLogCapture log;
    nTexture detached(nullptr, 0, 0);
    detached.SetName("lost.tga");
    EXPECT_FALSE(detached.Setup());

    nOrvex engine;
    engine.SetRenderer(nullptr);
    nTexture orphan(&engine, 0, 0);
    orphan.SetName("orphan.tga");
    EXPECT_FALSE(orphan.Setup());
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"[!] No renderer to set up texture 'lost.tga'.\n",
                                                     "[!] No renderer to set up texture 'orphan.tga'.\n"}));
    engine.SetRenderer(engine.GetNullRenderer());
}

TEST(Texture, DestructionSendsDestroyingThenFreesThenSendsDestroyed)
{
    struct Case
    {
        const char* what;
        bool setUp;
    };
    for (const Case& c : {Case{"never set up", false}, Case{"set up", true}}) {
        SCOPED_TRACE(c.what);
        nOrvex engine;
        nCallLog calls;
        nRecordingRenderer renderer(&engine, &calls);
        renderer.recordResources = true;
        nRecordingCoreListener listener(&engine, &calls);
        nSharedPtr<nTexture> texture(NewFilledTexture(&engine, "stone.tga", 255));
        if (c.setUp)
            texture->Setup();
        calls.Clear();
        texture.Release();
        EXPECT_EQ(calls.Calls(), (Calls{"core.Event(5) texture stone.tga", "render.FreeTexture(stone.tga)", "core.Event(6) texture stone.tga"}));
    }
}

TEST(Texture, FreeGoesToTheRendererCurrentAtThatMoment)
{
    nOrvex engine;
    nCallLog first, second;
    nRecordingRenderer* setupRenderer = new nRecordingRenderer(&engine, &first);
    setupRenderer->recordResources = true;
    nTexture* texture = NewFilledTexture(&engine, "a.tga", 255);
    texture->Setup();
    delete setupRenderer;  // hands the engine back to its null renderer
    nRecordingRenderer later(&engine, &second);
    later.recordResources = true;
    delete texture;
    EXPECT_EQ(first.Calls(), (Calls{"render.SetupTexture(a.tga)"}));
    EXPECT_EQ(second.Calls(), (Calls{"render.FreeTexture(a.tga)"}));
}

TEST(Texture, DestructorDeletesTheStreamInterfaceItOwns)
{
    nOrvex engine;
    int deleted = 0;
    nTexture* texture = new nTexture(&engine, 0, 0);
    texture->SetStreamInterface(new CountedStream(deleted));
    texture->SetStreamInterface(new CountedStream(deleted));  // the first one goes now
    EXPECT_EQ(deleted, 1);
    delete texture;
    EXPECT_EQ(deleted, 2);
}

TEST(Texture, RenderTargetSwitchTouchesOnlyItsBit)
{
    nTexture texture(nullptr, 0, 0);
    texture.SetFlags(TextureKeepPixels | TextureNormalMap);
    texture.SetRenderTarget(true);
    EXPECT_EQ(texture.GetFlags(), uint32_t(TextureKeepPixels | TextureNormalMap | TextureRenderTarget));
    texture.SetRenderTarget(false);
    EXPECT_EQ(texture.GetFlags(), uint32_t(TextureKeepPixels | TextureNormalMap));
    texture.SetRenderTarget(false);
    EXPECT_EQ(texture.GetFlags(), uint32_t(TextureKeepPixels | TextureNormalMap));
}

TEST(Texture, TranslucencySurvivesARendererThatDropsThePixels)
{
    struct Case
    {
        uint8_t alpha;
        bool keepPixels;
        bool expected;
    };
    for (const Case& c : {Case{128, false, true}, Case{255, false, false}, Case{0, true, true}, Case{255, true, false}}) {
        nOrvex engine;
        nCallLog calls;
        nRecordingRenderer renderer(&engine, &calls);
        renderer.recordResources = true;
        renderer.dropPixels = true;
        nSharedPtr<nTexture> texture(NewFilledTexture(&engine, "t.tga", c.alpha));
        if (c.keepPixels)
            texture->SetFlag(TextureKeepPixels, true);
        EXPECT_EQ(texture->HasTranslucentContent(), c.expected);
        ASSERT_TRUE(texture->Setup());
        EXPECT_EQ(texture->GetPixels() != nullptr, c.keepPixels);
        EXPECT_EQ(texture->HasTranslucentContent(), c.expected) << int(c.alpha);
    }
}

}
