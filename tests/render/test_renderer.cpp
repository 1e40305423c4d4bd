#include <gtest/gtest.h>

#include <cmath>

#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "hub/nOrvex.h"
#include "render/nNull_Renderer.h"

namespace {

TEST(RendererCurrency, EngineStartsWithItsNullRendererCurrent)
{
    nOrvex engine;
    ASSERT_NE(engine.GetNullRenderer(), nullptr);
    EXPECT_EQ(engine.GetRenderer(), engine.GetNullRenderer());
    EXPECT_STREQ(engine.GetRenderer()->GetName(), "Null Renderer.");
    EXPECT_STREQ(engine.GetRenderer()->GetDescription(), "A null renderer that renders nothing.");
    EXPECT_STREQ(engine.GetRenderer()->GetVersion(), "0.0");
}

TEST(RendererCurrency, DestroyingTheCurrentRendererHandsTheEngineBackToTheNullRenderer)
{
    nOrvex engine;
    nRenderer* other = new nNull_Renderer(&engine, true);
    EXPECT_EQ(engine.GetRenderer(), other);
    delete other;
    EXPECT_EQ(engine.GetRenderer(), engine.GetNullRenderer());

    // A renderer that is not current leaves the current one alone.
    nRenderer* quiet = new nNull_Renderer(&engine, false);
    EXPECT_EQ(engine.GetRenderer(), engine.GetNullRenderer());
    nRenderer* current = new nNull_Renderer(&engine, true);
    delete quiet;
    EXPECT_EQ(engine.GetRenderer(), current);
    delete current;
}

TEST(NullRenderer, OpenCloseResizeAndSetUpWithoutAttachingAnything)
{
    nOrvex engine;
    nRenderer* r = engine.GetRenderer();
    EXPECT_FALSE(r->IsOpen());
    EXPECT_TRUE(r->IsClosed());
    nVector2 size;
    r->GetOutputSize(size);
    EXPECT_EQ(size.x, 1.0f);
    EXPECT_EQ(size.y, 1.0f);

    EXPECT_TRUE(r->Open(800, 600, 32, 0));
    EXPECT_TRUE(r->IsOpen());
    EXPECT_FALSE(r->IsClosed());
    r->GetOutputSize(size);
    EXPECT_EQ(size.x, 800.0f);
    EXPECT_EQ(size.y, 600.0f);
    EXPECT_TRUE(r->Resize(640, 480));
    r->GetOutputSize(size);
    EXPECT_EQ(size.x, 640.0f);
    r->Close();
    EXPECT_FALSE(r->IsOpen());
    EXPECT_TRUE(r->IsClosed());

    EXPECT_TRUE(r->SetupGeometry(nullptr));
    EXPECT_TRUE(r->SetupTexture(nullptr));
    EXPECT_TRUE(r->SetupMaterial(nullptr));
    EXPECT_TRUE(r->SetupLight(nullptr));
    EXPECT_FALSE(r->LoadTextureContent(nullptr, "a.tga"));
    EXPECT_FALSE(r->GrabToPicture(nullptr));
    EXPECT_EQ(r->GetConstant(), 8192);

    int32_t x = 7, y = 8, w = 9, h = 10;
    r->GetViewport(&x, &y, &w, &h);
    EXPECT_EQ(x + y + w + h, 34);
}

struct FogCase
{
    const char* what;
    bool enabled;
    bool withColour;
    float nearZ;
    float farZ;
    float wantNear;
    float wantFar;
    bool wantColourChanged;
};

TEST(RendererFog, NearBelowTheFloorKeepsThePreviousNearAndFarStaysBeyondIt)
{
    const FogCase cases[] = {
        {"plain values", true, true, 5.0f, 50.0f, 5.0f, 50.0f, true},
        {"tiny near kept, far raised", true, false, 0.0005f, 0.0001f, 10.0f, 10.001f, false},
        {"far below near raised", false, false, 20.0f, 3.0f, 20.0f, 20.001f, false},
        {"near exactly at the floor", true, true, 0.001f, 0.0f, 0.001f, 0.002f, true},
    };
    for (const FogCase& c : cases) {
        SCOPED_TRACE(c.what);
        nOrvex engine;
        nRenderer* r = engine.GetRenderer();
        nVector first(0.1f, 0.2f, 0.3f, 1.0f);
        r->SetFog(true, &first, 10.0f, 100.0f);
        nVector second(0.7f, 0.6f, 0.5f, 0.4f);
        r->SetFog(c.enabled, c.withColour ? &second : nullptr, c.nearZ, c.farZ);
        EXPECT_EQ(r->IsFogEnabled(), c.enabled);
        EXPECT_FLOAT_EQ(r->GetFogNear(), c.wantNear);
        EXPECT_FLOAT_EQ(r->GetFogFar(), c.wantFar);
        const nVector& want = c.wantColourChanged ? second : first;
        EXPECT_EQ(r->GetFogColour().x, want.x);
        EXPECT_EQ(r->GetFogColour().w, want.w);
    }
}

TEST(RendererWords, FlagsSetClearAndTestAnyBit)
{
    nOrvex engine;
    nRenderer* r = engine.GetRenderer();
    r->SetControlFlag(RendererControlShadowMapping, true);
    EXPECT_TRUE(r->TestControlFlag(0x3));
    EXPECT_FALSE(r->TestControlFlag(RendererControlMotionBlur));
    r->SetControlFlag(0x3, false);
    EXPECT_EQ(r->GetControlWord(), 0u);
    r->SetSystemFlag(RendererSystemDisableShader | RendererSystemEnableDebug, true);
    r->SetSystemFlag(RendererSystemEnableDebug, false);
    EXPECT_EQ(r->GetSystemWord(), (uint32_t)RendererSystemDisableShader);
}

TEST(RendererTextureSize, PowerOfTwoAndThreeHalvesRules)
{
    struct
    {
        int32_t edge;
        bool pow2;
        int32_t want;
    } cases[] = {
        {0, false, 1},
        {1, false, 1},
        {2, false, 2},
        {3, false, 2},
        {4, false, 4},
        {90, false, 64},
        {96, false, 64},
        {97, false, 128},
        {100, false, 128},
        {5000, false, 4096},
        {6000, false, 4096},
        {100000, false, 4096},
        {0, true, 1},
        {1, true, 1},
        {3, true, 4},
        {64, true, 64},
        {65, true, 128},
        {5000, true, 8192},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ComputeTextureSize(c.edge, c.pow2), c.want) << c.edge << (c.pow2 ? " pow2" : "");
}

int g_calls = 0;
void* g_seenContext = nullptr;
bool Callback(int32_t kind, nPropertyRequest* request)
{
    ++g_calls;
    g_seenContext = request->context;
    request->answered = kind == 3;
    return kind == 3;
}

TEST(RendererPropertyCallback, ContextIsCopiedIntoEveryRequest)
{
    nOrvex engine;
    nRenderer* r = engine.GetRenderer();
    nPropertyRequest request;
    EXPECT_FALSE(r->RequestProperty(3, &request));  // no callback installed
    int owner = 0;
    r->SetPropertyRequestCallback(Callback, &owner);
    request.context = nullptr;
    request.answered = true;
    g_calls = 0;
    EXPECT_TRUE(r->RequestProperty(3, &request));
    EXPECT_EQ(g_seenContext, &owner);
    EXPECT_TRUE(request.answered);
    EXPECT_FALSE(r->RequestProperty(5, &request));
    EXPECT_FALSE(request.answered);
    EXPECT_EQ(g_calls, 2);
}

TEST(RendererSettings, RegistryRoundTripsThroughTheSettingsTag)
{
    nOrvex engine;
    nRenderer* r = engine.GetRenderer();
    nMetaTag* key = new nMetaTag("ShadowMapping");
    key->AddChild(new nMetaTag("Size", (int32_t)2048));
    r->GetRegistry().Add(key, true, true);

    nMetaFile document;
    nMetaTag* saved = r->SaveSettings();
    ASSERT_NE(saved, nullptr);
    EXPECT_TRUE(saved->GetName() == "Null Renderer.");
    document.AddRoot(saved);

    nNull_Renderer other(&engine, false);
    ASSERT_TRUE(other.LoadSettings(&document));
    ASSERT_EQ(other.GetRegistry().GetCount(), 1);
    nMetaTag* size = FindMetaTagByPath(&other.GetRegistry(), "ShadowMapping:Size;", false);
    ASSERT_NE(size, nullptr);
    int32_t value = 0;
    EXPECT_TRUE(size->GetValue().GetInt(&value));
    EXPECT_EQ(value, 2048);

    saved->SetName("OpenGL");
    EXPECT_FALSE(other.LoadSettings(&document));
    EXPECT_EQ(other.GetRegistry().GetCount(), 1);  // a refused document changes nothing
}

}
