// The camera's post-processing chain and the presentation at the render scale, drawn on the
// driver: a grey band on black, each effect asked for through the camera's registry, read back
// where the effect must change the picture and where it must leave it alone.
#include "nGLFrameKit.h"

#include <string>

#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "render/nShader.h"
#include "tests/support/nLogCapture.h"

namespace {

const float kBandZ = 20.0f;
const float kGrey = 0.6f;
// The band covers these output columns (all rows); the middle row is kMidRow.
const int kBandLeft = 40, kBandRight = 88, kMidRow = 48;

struct nKey
{
    const char* path;
    float value;
};

}

class GLPost : public nGLFrameTest
{
protected:
    void SetUp() override
    {
        nGLFrameTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        scene.ambient[0] = scene.ambient[1] = scene.ambient[2] = 1.0f;
        const nVector low = PointAt(kBandLeft, -20, kBandZ), high = PointAt(kBandRight - 1, kHeight + 20, kBandZ);
        const float x0 = low.x - 0.5f * (high.x - low.x) / (kBandRight - 1 - kBandLeft);
        const float x1 = high.x + 0.5f * (high.x - low.x) / (kBandRight - 1 - kBandLeft);
        band = Show(MakeQuads({Rect(x0, low.y, x1, high.y)}, kBandZ, ConstantMaterial(kGrey, kGrey, kGrey)), kBandZ);
    }

    // A camera key under "PostProcess" (the group and the effect's own tag made on the way).
    void CameraKey(const char* path, float value)
    {
        const nVariant v(value);
        ASSERT_NE(camera->GetRegistry().CreatePath(path, &v), nullptr) << path;
    }

    void AskFor(const char* effect, const std::vector<nKey>& keys)
    {
        ASSERT_NE(camera->GetRegistry().CreatePath((std::string("PostProcess:") + effect + ";").c_str(), nullptr), nullptr);
        for (const nKey& key : keys) CameraKey(key.path, key.value);
    }

    void ClearCamera() { camera->GetRegistry().DeletePath("PostProcess;"); }

    // "PostProcess:Exclusion:<effect>" in the renderer registry, as a script sets it.
    void Exclude(const char* effect, bool value)
    {
        nLinkedListId& registry = renderer->GetRegistry();
        nMetaTag* group = FindMetaTagByPath(&registry, "PostProcess:Exclusion;", false);
        if (!group) {
            nMetaTag* root = new nMetaTag("PostProcess");
            group = root->AddChild(new nMetaTag("Exclusion"));
            registry.Add(root, true, true);
        }
        nMetaTag* tag = group->FindPath((std::string(effect) + ";").c_str());
        if (tag) tag->GetValue().SetBool(value);
        else group->AddChild(new nMetaTag(effect, value));
    }

    void SetRenderScale(float scale)
    {
        nMetaTag* root = new nMetaTag("Antialising");
        root->AddChild(new nMetaTag("Enable", scale != 1.0f));
        root->AddChild(new nMetaTag("Sample", scale));
        nLinkedListId& registry = renderer->GetRegistry();
        if (nMetaTag* old = FindMetaTagByPath(&registry, "Antialising;", false)) {
            registry.Remove(old);
            delete old;
        }
        registry.Add(root, true, true);
        ASSERT_TRUE(renderer->CreateRenderTargets(kWidth, kHeight));
        ASSERT_EQ(renderer->GetRenderScale(), scale);
    }

    static int Difference(const nRGBA& a, const nRGBA& b)
    {
        int most = 0;
        for (int d : {a.r - b.r, a.g - b.g, a.b - b.b}) most = std::max(most, std::abs(d));
        return most;
    }

    nObject* band = 0;
};

// ---------------------------------------------------------------------------------------------
// Each effect, against the frame without it and with it excluded.

struct nPixel
{
    const char* label;
    int x, y;
};

const nPixel kCentre = {"band centre", (kBandLeft + kBandRight) / 2, kMidRow};
const nPixel kInsideLeft = {"inside the left edge", kBandLeft + 1, kMidRow};
const nPixel kLeftEdge = {"the band's first column", kBandLeft, kMidRow};
const nPixel kInsideRight = {"inside the right edge", kBandRight - 2, kMidRow};
const nPixel kOutsideLeft = {"outside the left edge", kBandLeft - 2, kMidRow};
const nPixel kFar = {"far on the black", 3, kMidRow};

TEST_F(GLPost, EachEffectChangesTheFrameWhereItShouldAndItsExclusionTurnsItOff)
{
    const struct
    {
        const char* effect;
        std::vector<nKey> keys;
        bool moves;                   // the band moved since the previous frame
        std::vector<nPixel> changed;  // at least one of these changes
        std::vector<nPixel> kept;     // every one of these stays
    } cases[] = {
        // The band came from the left: its left edge trails over the black, where nothing moved.
        {"MotionBlur", {{"PostProcess:MotionBlur:Strength;", 1.0f}}, true, {kInsideLeft}, {kFar, kOutsideLeft}},
        {"Dof", {{"PostProcess:Dof:FStop;", 4.0f}, {"PostProcess:Dof:FDist;", 200.0f}}, false, {kInsideLeft}, {kCentre, kFar}},
        {"RadialBlur", {{"PostProcess:RadialBlur:Strength;", 4.0f}}, false, {kOutsideLeft}, {kCentre}},
        {"Bloom", {{"PostProcess:Bloom:Threshold;", 0.5f}, {"PostProcess:Bloom:Exponent;", 1.0f}, {"PostProcess:Bloom:Radius;", 2.0f}}, false, {kOutsideLeft}, {kFar}},
        {"ChromDisp", {{"PostProcess:ChromDisp:Width;", 3.0f}}, false, {kOutsideLeft}, {kCentre, kFar}},
        {"HueSaturation", {{"PostProcess:HueSaturation:L;", 0.5f}}, false, {kCentre}, {kFar}},
        {"Sharpen", {{"PostProcess:Sharpen:Strength;", 1.0f}}, false, {kLeftEdge}, {kCentre, kFar}},
        {"Noise", {{"PostProcess:Noise:Strength;", 0.5f}, {"PostProcess:Noise:LumaBias;", 1.0f}}, false, {kCentre, kInsideLeft, kInsideRight, {"above the centre", kCentre.x, kMidRow + 7}}, {kFar}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.effect);
        const nMatrix4 moved = nMatrix4::Translation(nVector(c.moves ? -1.0f : 0.0f, 0.0f, 0.0f, 0.0f));
        auto draw = [&]() {
            band->SetPreviousWorldMatrix(moved);
            DrawFrame();
        };
        ClearCamera();
        draw();
        std::vector<nRGBA> before;
        for (const auto& list : {c.changed, c.kept})
            for (const nPixel& p : list) before.push_back(ReadPixel(p.x, p.y));
        const int32_t bit = [&]() {
            for (int32_t i = 0; i < nGL3Renderer::kPostEffectCount; ++i)
                if (std::string(nGL3Renderer::kPostEffects[i].name) == c.effect) return i;
            return -1;
        }();
        ASSERT_GE(bit, 0);

        for (bool excluded : {false, true}) {
            SCOPED_TRACE(excluded ? "excluded" : "exclusion set to false");
            AskFor(c.effect, c.keys);
            Exclude(c.effect, excluded);
            draw();
            size_t k = 0;
            int most = 0;
            for (const nPixel& p : c.changed) most = std::max(most, Difference(ReadPixel(p.x, p.y), before[k++]));
            if (excluded) EXPECT_LE(most, 1) << "an excluded effect changed the frame";
            else EXPECT_GE(most, 6) << "the effect did not change " << c.changed.front().label;
            for (const nPixel& p : c.kept)
                EXPECT_LE(Difference(ReadPixel(p.x, p.y), before[k++]), 2) << p.label;
            // Excluded effects run no pass at all (motion blur and depth of field write their
            // result elsewhere, so the bit is set only for those that wrote the destination).
            if (excluded) {
                EXPECT_EQ(renderer->GetPostEffectsRun(), 0u);
            } else if (std::string(c.effect) != "Dof") {
                EXPECT_EQ(renderer->GetPostEffectsRun(), 1u << bit);
            }
            Exclude(c.effect, false);
        }
    }
}

// Depth of field at full quality (the renderer's "PostProcess:Dof:Fast" set to false): with
// the grey band in focus, a brighter band near the camera and another far behind are blurred
// (their edges spread over the black and darken inside), while the band in focus keeps every
// pixel, its edges included, and so does the black beside it.
TEST_F(GLPost, FullQualityDepthOfFieldBlursNearAndFarAndKeepsTheFocus)
{
    const float kNearZ = 5.0f, kFarZ = 400.0f, kBright = 0.9f;
    auto addBand = [&](int left, int right, float z) {
        const nVector low = PointAt(left, -20, z), high = PointAt(right - 1, kHeight + 20, z);
        const float half = 0.5f * (high.x - low.x) / (right - 1 - left);
        Show(MakeQuads({Rect(low.x - half, low.y, high.x + half, high.y)}, z, ConstantMaterial(kBright, kBright, kBright)), z);
    };
    // Both farther from the band in focus than the largest circle (15 pixels here).
    addBand(4, 20, kNearZ);
    addBand(108, 124, kFarZ);
    nMetaTag* root = new nMetaTag("PostProcess");
    nMetaTag* dof = root->AddChild(new nMetaTag("Dof"));
    dof->AddChild(new nMetaTag("Fast", false));
    renderer->GetRegistry().Add(root, true, true);

    const struct
    {
        const char* label;
        int x;
        bool blurred;
    } pixels[] = {
        {"near band, outside its left edge", 2, true},
        {"near band, inside its left edge", 4, true},
        {"near band, inside its right edge", 19, true},
        {"far band, outside its left edge", 106, true},
        {"far band, inside its left edge", 108, true},
        {"far band, inside its right edge", 123, true},
        {"focus band, its first column", kBandLeft, false},
        {"focus band, its last column", kBandRight - 1, false},
        {"focus band, centre", kCentre.x, false},
        {"black left of the focus band", kBandLeft - 1, false},
        {"black right of the focus band", kBandRight, false},
    };
    DrawFrame();
    std::vector<nRGBA> sharp;
    for (const auto& p : pixels) sharp.push_back(ReadPixel(p.x, kMidRow));
    ASSERT_TRUE(PixelNear(sharp[0], nRGBA{0, 0, 0, 255}, 2)) << "the frame without the effect";
    ASSERT_TRUE(PixelNear(sharp[1], nRGBA{Byte(kBright), Byte(kBright), Byte(kBright), 255}, 2));

    AskFor("Dof", {{"PostProcess:Dof:FStop;", 2.0f}, {"PostProcess:Dof:FDist;", kBandZ}});
    DrawFrame();
    EXPECT_EQ(renderer->GetPostEffectsRun(), 0u) << "the result ends in the source: no swap";
    for (size_t i = 0; i < sizeof(pixels) / sizeof(pixels[0]); ++i) {
        const int change = Difference(ReadPixel(pixels[i].x, kMidRow), sharp[i]);
        if (pixels[i].blurred) EXPECT_GE(change, 10) << pixels[i].label;
        else EXPECT_LE(change, 1) << pixels[i].label;
    }
    // Twice over, and with the focus moved onto the far band: now the grey band's edges blur.
    DrawFrame();
    EXPECT_LE(Difference(ReadPixel(kBandLeft, kMidRow), sharp[6]), 1);
    ClearCamera();
    AskFor("Dof", {{"PostProcess:Dof:FStop;", 2.0f}, {"PostProcess:Dof:FDist;", kFarZ}});
    DrawFrame();
    EXPECT_GE(Difference(ReadPixel(kBandLeft, kMidRow), sharp[6]), 10);
    EXPECT_LE(Difference(ReadPixel(108, kMidRow), sharp[4]), 1) << "the far band's edge, in focus now";
}

TEST_F(GLPost, EffectsRunByTheirKeysAndDefaults)
{
    const struct
    {
        const char* label;
        const char* effect;
        std::vector<nKey> keys;
        bool runs;
    } cases[] = {
        {"a bloom tag alone runs with its defaults", "Bloom", {}, true},
        {"a zero bloom strength", "Bloom", {{"PostProcess:Bloom:Strength;", 0.0f}}, false},
        {"hue a hair above 1 is no change", "HueSaturation", {{"PostProcess:HueSaturation:H;", 1.0000005f}}, false},
        {"hue turned", "HueSaturation", {{"PostProcess:HueSaturation:H;", 1.25f}}, true},
        {"sharpen at its default strength", "Sharpen", {}, true},
        {"noise of zero strength", "Noise", {{"PostProcess:Noise:Strength;", 0.0f}}, false},
        {"chromatic dispersion of zero width", "ChromDisp", {{"PostProcess:ChromDisp:Width;", 0.0f}}, false},
        {"radial blur of zero strength", "RadialBlur", {{"PostProcess:RadialBlur:Strength;", 0.0f}}, false},
        {"motion blur of zero strength", "MotionBlur", {{"PostProcess:MotionBlur:Strength;", 0.0f}}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ClearCamera();
        AskFor(c.effect, c.keys);
        DrawFrame();
        EXPECT_EQ(renderer->GetPostEffectsRun() != 0, c.runs);
    }
    // Depth of field with a focal distance of 0 leaves the frame as it is, whatever the f-stop.
    ClearCamera();
    DrawFrame();
    const nRGBA edge = ReadPixel(kInsideLeft.x, kInsideLeft.y);
    AskFor("Dof", {{"PostProcess:Dof:FStop;", 8.0f}, {"PostProcess:Dof:FDist;", 0.0f}});
    DrawFrame();
    EXPECT_LE(Difference(ReadPixel(kInsideLeft.x, kInsideLeft.y), edge), 1);
    // Several effects run in order, each on the last one's result.
    ClearCamera();
    AskFor("Sharpen", {});
    AskFor("HueSaturation", {{"PostProcess:HueSaturation:L;", 0.5f}});
    DrawFrame();
    EXPECT_EQ(renderer->GetPostEffectsRun(), (1u << 5) | (1u << 6));
    EXPECT_TRUE(PixelNear(ReadPixel(kCentre.x, kCentre.y), nRGBA{Byte(kGrey * 0.5f), Byte(kGrey * 0.5f), Byte(kGrey * 0.5f), 255}, 3));
}

TEST_F(GLPost, AFrameWithoutPostProcessingIsPresentedAsComposed)
{
    DrawFrame();
    EXPECT_EQ(renderer->GetPostEffectsRun(), 0u);
    const int grey = Byte(kGrey);
    EXPECT_TRUE(PixelNear(ReadPixel(kCentre.x, kCentre.y), nRGBA{grey, grey, grey, 255}, 2));
    EXPECT_TRUE(PixelNear(ReadPixel(kFar.x, kFar.y), nRGBA{0, 0, 0, 255}, 2));
}

// ---------------------------------------------------------------------------------------------
// Presentation: whatever the render scale, the band lands on the same output pixels. A scale
// of 3 is neither below 2 nor a power of two: it is presented too, not left black.

TEST_F(GLPost, TheFrameIsPresentedAtEveryRenderScale)
{
    const int grey = Byte(kGrey);
    for (float scale : {1.0f, 1.3f, 2.0f, 4.0f, 3.0f}) {
        SCOPED_TRACE("render scale " + std::to_string(scale));
        SetRenderScale(scale);
        for (bool post : {false, true}) {
            SCOPED_TRACE(post ? "after an effect" : "no effect");
            ClearCamera();
            if (post) AskFor("HueSaturation", {{"PostProcess:HueSaturation:S;", 0.5f}});
            DrawFrame();
            for (const nPixel& p : {kCentre, nPixel{"inside, top", kBandLeft + 3, kHeight - 3},
                                    nPixel{"inside, bottom", kBandRight - 4, 2}})
                EXPECT_TRUE(PixelNear(ReadPixel(p.x, p.y), nRGBA{grey, grey, grey, 255}, 3)) << p.label;
            for (const nPixel& p : {kFar, nPixel{"right of the band", kBandRight + 2, kMidRow},
                                    nPixel{"left of the band, top", kBandLeft - 3, kHeight - 2},
                                    nPixel{"far right corner", kWidth - 1, kHeight - 1}})
                EXPECT_TRUE(PixelNear(ReadPixel(p.x, p.y), nRGBA{0, 0, 0, 255}, 3)) << p.label;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// An optional program the library could not build: its effect is skipped and the pair is not
// swapped, so the effects after it still read the picture.

TEST_F(GLPost, AnEffectWhoseProgramIsMissingIsSkippedWithoutSwappingThePair)
{
    nLogCapture log;
    for (const char* name : {"core::sharpen", "core::radial_blur"}) {
        nShader* program = renderer->GetShaderLibrary()->Find(name);
        ASSERT_NE(program, nullptr) << name;
        EXPECT_FALSE(program->Compile(name, 0, 0));  // refused: the program is there but unusable
    }
    AskFor("Sharpen", {});
    AskFor("RadialBlur", {});
    AskFor("HueSaturation", {{"PostProcess:HueSaturation:L;", 0.5f}});
    DrawFrame();
    EXPECT_EQ(renderer->GetPostEffectsRun(), 1u << 5);
    const int half = Byte(kGrey * 0.5f);
    EXPECT_TRUE(PixelNear(ReadPixel(kCentre.x, kCentre.y), nRGBA{half, half, half, 255}, 3));
    EXPECT_TRUE(PixelNear(ReadPixel(kFar.x, kFar.y), nRGBA{0, 0, 0, 255}, 2));
    // With nothing left that runs, the composed picture itself goes out.
    ClearCamera();
    AskFor("Sharpen", {});
    DrawFrame();
    EXPECT_EQ(renderer->GetPostEffectsRun(), 0u);
    const int grey = Byte(kGrey);
    EXPECT_TRUE(PixelNear(ReadPixel(kCentre.x, kCentre.y), nRGBA{grey, grey, grey, 255}, 2));
}
