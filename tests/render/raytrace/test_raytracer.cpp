// The CPU raytracer on small scenes: the clear colour of an empty view, a lit square against
// the lighting formula, opaque and transparent blockers of shadow rays, refraction and the
// Fresnel term entering and leaving glass, where supersampling happens and what it covers, the
// interlaced sequence, a skinned object in its pose, the settings limits, and the same picture
// from one thread and from many.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/nRandom.h"
#include "render/raytrace/nRaytracer.h"
#include "tests/render/raytrace/nRaytraceTestKit.h"
#include "tests/support/nLogCapture.h"

using namespace raytracekit;

namespace {

const int kSize = 64;

// Settings with the supersampling pass off, so that one pixel is one ray.
nRaytracerSettings OneRayAPixel()
{
    nRaytracerSettings settings;
    settings.antialias = 0;
    return settings;
}

TEST(Raytracer, AnEmptyViewIsTheClearColourAndNoCameraOrSceneTracesNothing)
{
    nLogCapture log;
    Stage s;
    s.k.scene->SetBackgroundColour(nVector(0.2f, 0.4f, 0.6f, 1.0f));
    nRaytracer tracer(&s.k.engine);
    nPicture picture;
    EXPECT_FALSE(tracer.Trace(picture, kSize, kSize));  // no scene
    ASSERT_TRUE(tracer.SetScene(s.k.scene));
    EXPECT_FALSE(tracer.Trace(picture, kSize, kSize));  // no camera
    EXPECT_TRUE(log.Lines().empty());

    s.AddCamera(nVector(0, 0, -5));
    ASSERT_TRUE(tracer.SetScene(s.k.scene));
    log.Clear();
    ASSERT_TRUE(tracer.Trace(picture, kSize, kSize / 2));
    ASSERT_EQ(picture.GetWidth(), (uint32_t)kSize);
    ASSERT_EQ(picture.GetHeight(), (uint32_t)kSize / 2);
    for (int y = 0; y < kSize / 2; ++y)
        for (int x = 0; x < kSize; ++x) ASSERT_TRUE(Near(PixelAt(picture, x, y), Pixel{51, 102, 153, 255})) << x << ", " << y;
    EXPECT_EQ(tracer.GetSupersampledCount(), 0u);
    const std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("Raytracing done. Took ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find(" ms. Ray/s = "), std::string::npos);
}

TEST(Raytracer, SizesOutsideTheLimitsAreRefused)
{
    nLogCapture log;
    Stage s;
    s.AddCamera(nVector(0, 0, -5));
    nRaytracer tracer(&s.k.engine);
    ASSERT_TRUE(tracer.SetScene(s.k.scene));
    nPicture picture;
    for (auto size : {std::make_pair(0, 10), std::make_pair(10, -1), std::make_pair(kRaytraceMaxSize + 1, 1)}) {
        log.Clear();
        EXPECT_FALSE(tracer.Trace(picture, size.first, size.second));
        EXPECT_EQ(log.Lines(), std::vector<std::string>{"[!] Raytrace size " + std::to_string(size.first) + " x " +
                                                        std::to_string(size.second) + " is outside 1 to 16384.\n"});
    }
    // Supersamples and spread tables of no size become one; huge ones are capped.
    nRaytracerSettings settings;
    settings.antialiasSamples = 0;
    settings.spreadSize = -3;
    tracer.SetSettings(settings);
    tracer.GetSettings(settings);
    EXPECT_EQ(settings.antialiasSamples, 1);
    EXPECT_EQ(settings.spreadSize, 1);
    EXPECT_EQ(tracer.GetSpreadTable(31).count, 1);
    settings.antialiasSamples = 1000;
    settings.spreadSize = 100000;
    tracer.SetSettings(settings);
    tracer.GetSettings(settings);
    EXPECT_EQ(settings.antialiasSamples, kRaytraceMaxSamples);
    EXPECT_EQ(settings.spreadSize, kRaytraceMaxSpreadSize);
}

TEST(Raytracer, ACameraWithoutAnAspectTracesAsASquareView)
{
    Stage s;
    nCamera& camera = s.AddCamera(nVector(0, 0, -5));
    nGeometry* g = MakeSquare(&s.k.engine, 1.0f);
    WithDefaultMap(g->GetMaterial(0));
    s.AddObject("square", g, nVector(0, 0, 0));
    s.k.scene->SetAmbientColour(nVector(1, 1, 1, 1));
    for (float aspect : {-1.0f, 0.0f, -7.0f}) {
        camera.SetAspectRatio(aspect);
        nRaytracer tracer(&s.k.engine);
        tracer.SetSettings(OneRayAPixel());
        ASSERT_TRUE(tracer.SetScene(s.k.scene));
        nPicture picture;
        ASSERT_TRUE(tracer.Trace(picture, kSize, kSize)) << aspect;
        // The square spans 1/5 of the half view either way: pixels 32 +- 6.4 lit.
        EXPECT_TRUE(Near(PixelAt(picture, 32, 32), Pixel{255, 255, 255, 255})) << aspect;
        EXPECT_TRUE(Near(PixelAt(picture, 38, 32), Pixel{255, 255, 255, 255})) << aspect;
        EXPECT_TRUE(Near(PixelAt(picture, 40, 32), Pixel{0, 0, 0, 255})) << aspect;
        EXPECT_TRUE(Near(PixelAt(picture, 32, 40), Pixel{0, 0, 0, 255})) << aspect;
    }
}

// A large white square at z = 0 facing the camera 5 units behind it, a point light 2 units in
// front of its centre: each pixel is the cosine between the surface normal and the light.
TEST(Raytracer, ASquareUnderAPointLightFollowsTheLambertCosine)
{
    Stage s;
    s.AddCamera(nVector(0, 0, -5));
    nGeometry* g = MakeSquare(&s.k.engine, 100.0f);
    WithDefaultMap(g->GetMaterial(0));
    s.AddObject("floor", g, nVector(0, 0, 0));
    s.AddPointLight("lamp", nVector(0, 0, -2));
    nRaytracer tracer(&s.k.engine);
    tracer.SetSettings(OneRayAPixel());
    ASSERT_TRUE(tracer.SetScene(s.k.scene));
    nPicture picture;
    ASSERT_TRUE(tracer.Trace(picture, kSize, kSize));
    for (int y : {0, 10, 32, 50}) {
        for (int x : {0, 7, 32, 63}) {
            // The pixel's corner on the view plane at distance 1, then on the square.
            const float px = 5.0f * (-1.0f + 2.0f * x / kSize), py = 5.0f * (1.0f - 2.0f * y / kSize);
            const float cosine = 2.0f / std::sqrt(px * px + py * py + 4.0f);
            const int expected = (int)(cosine * 255.0f);
            const Pixel p = PixelAt(picture, x, y);
            EXPECT_TRUE(Near(p, Pixel{expected, expected, expected, 255})) << x << ", " << y << ": " << Show(p) << " for " << expected;
        }
    }

    // Half the light's intensity gives half the light (the intensity counts once).
    nLight& lamp = static_cast<nMLight*>(s.k.scene->GetLights().GetHead()->value)->GetLight();
    lamp.SetDiffuseIntensity(0.5f);
    ASSERT_TRUE(tracer.Trace(picture, kSize, kSize));
    EXPECT_TRUE(Near(PixelAt(picture, 32, 32), Pixel{127, 127, 127, 255})) << Show(PixelAt(picture, 32, 32));
}

// The light at (0, 0, -4); a blocker at (1, 0, -2) throws its shadow on (2, 0, 0).
struct ShadowScene
{
    ShadowScene()
    {
        s.AddCamera(nVector(2, 0, -5));
        nGeometry* floor = MakeSquare(&s.k.engine, 100.0f, nullptr, "floor");
        WithDefaultMap(floor->GetMaterial(0));
        s.AddObject("floor", floor, nVector(0, 0, 0));
        s.AddPointLight("lamp", nVector(0, 0, -4)).SetShadow(LightShadowMap);
    }
    nMaterial* AddBlocker(const char* name, float opacity, const nVector& at)
    {
        nMaterial* material = nullptr;
        nGeometry* g = MakeSquare(&s.k.engine, 0.25f, &material, name);
        material->opacity = opacity;
        material->renderFlags |= MaterialRenderDoubleSided;  // shadow rays meet the side away from the light
        WithDefaultMap(material);
        s.AddObject(name, g, at);
        return material;
    }
    Stage s;
};

TEST(Raytracer, OpaqueAndTransparentBlockersDimTheLight)
{
    const nVector floorPoint(2.0f, 0.0f, -0.001f);
    const nVector toLight = (nVector(0, 0, -4) - floorPoint);
    const nVector direction = toLight.Normalize();
    const float distance = toLight.Length();
    const struct
    {
        const char* label;
        std::vector<float> blockers;  // opacities, at z = -2 and -3 along the shadow ray
        bool transparentShadows;
        int32_t depth;
        float transmission;
    } cases[] = {
        {"nothing between", {}, true, 32, 1.0f},
        {"opaque", {1.0f}, true, 32, 0.0f},
        {"half transparent", {0.5f}, true, 32, 0.5f},
        {"two of a quarter", {0.25f, 0.25f}, true, 32, 0.5625f},
        {"transparency off", {0.25f}, false, 32, 0.0f},
        {"one surface deep", {0.5f, 0.5f}, true, 1, 0.5f},
        {"no depth", {0.5f}, true, 0, 1.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ShadowScene scene;
        float z = -2.0f;
        for (float opacity : c.blockers) {
            // On the line from the floor point to the light.
            const float t = (z - floorPoint.z) / (-4.0f - floorPoint.z);
            scene.AddBlocker("blocker", opacity, nVector(2.0f * (1.0f - t), 0.0f, z));
            z -= 1.0f;
        }
        nRaytracer tracer(&scene.s.k.engine);
        nRaytracerSettings settings = OneRayAPixel();
        settings.transparentShadows = c.transparentShadows ? 1 : 0;
        settings.shadowDepth = c.depth;
        tracer.SetSettings(settings);
        ASSERT_TRUE(tracer.SetScene(scene.s.k.scene));
        EXPECT_NEAR(tracer.TraceShadow(floorPoint, direction, distance, c.depth), c.transmission, 1e-5f);

        // The floor seen through the centre pixel is lit by what passes: cosine 0.894.
        nPicture picture;
        ASSERT_TRUE(tracer.Trace(picture, kSize, kSize));
        const int expected = (int)(0.894427f * c.transmission * 255.0f);
        EXPECT_NEAR(PixelAt(picture, 32, 32).r, c.depth > 0 ? expected : 228, 1) << Show(PixelAt(picture, 32, 32));
    }
}

TEST(Raytracer, BlockersThatCastNoShadowLetTheLightThrough)
{
    const nVector floorPoint(2.0f, 0.0f, -0.001f);
    const nVector direction = (nVector(0, 0, -4) - floorPoint).Normalize();
    const float distance = (nVector(0, 0, -4) - floorPoint).Length();
    for (const char* label : {"no shadow flag", "invisible item", "beyond the light", "shadows off"}) {
        SCOPED_TRACE(label);
        ShadowScene scene;
        const std::string which = label;
        nVector at(1.0f, 0.0f, -2.0f);
        if (which == "beyond the light") at = nVector(-0.1f, 0.0f, -4.2f);
        scene.AddBlocker("blocker", 1.0f, at);
        nMObject* blocker = static_cast<nMObject*>(scene.s.k.scene->FindObject("blocker"));
        if (which == "no shadow flag") blocker->GetObject().GetGeometry()->proxyFlags |= GeometryShadowNull;
        if (which == "invisible item") blocker->GetObject().SetOpacity(0.0f);
        nRaytracer tracer(&scene.s.k.engine);
        nRaytracerSettings settings = OneRayAPixel();
        settings.shadows = which == "shadows off" ? 0 : 1;
        tracer.SetSettings(settings);
        ASSERT_TRUE(tracer.SetScene(scene.s.k.scene));
        if (which != "shadows off") {
            EXPECT_FLOAT_EQ(tracer.TraceShadow(floorPoint, direction, distance, 32), 1.0f);
        }
        nPicture picture;
        ASSERT_TRUE(tracer.Trace(picture, kSize, kSize));
        EXPECT_NEAR(PixelAt(picture, 32, 32).r, (int)(0.894427f * 255.0f), 1);
    }
}

TEST(Raytracer, RefractionAndTheFresnelTermEnteringAndLeavingGlass)
{
    const nVector normal(0.0f, 0.0f, -1.0f);
    const float s60 = std::sin(1.0471976f), c60 = std::cos(1.0471976f);
    const nVector oblique(s60, 0.0f, c60);
    const struct
    {
        const char* label;
        nVector direction;
        float eta;
        bool passes;
        float fresnel;
    } cases[] = {
        {"air to glass, straight", nVector(0, 0, 1), 1.0f / 1.5f, true, 0.04f},
        {"glass to air, straight", nVector(0, 0, 1), 1.5f, true, 0.04f},
        {"air to glass at 60 degrees", oblique, 1.0f / 1.5f, true, 0.04f + 0.96f * std::pow(1.0f - c60, 5.0f)},
        {"glass to air at 60 degrees", oblique, 1.5f, false, 0.04f + 0.96f * std::pow(1.0f - c60, 5.0f)},
        {"grazing", nVector(1, 0, 0), 1.0f / 1.5f, true, 1.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_NEAR(nRaytracer::FresnelTerm(c.direction, normal, c.eta), c.fresnel, 1e-4f);
        nVector out;
        ASSERT_EQ(nRaytracer::Refract(c.direction, normal, c.eta, out), c.passes);
        if (c.passes && c.direction.x < 1.0f) {
            // Snell: the sines scale by eta, and the ray goes on through the surface.
            const float sinIn = std::sqrt(1.0f - c.direction.z * c.direction.z);
            EXPECT_NEAR(std::sqrt(1.0f - out.z * out.z), c.eta * sinIn, 1e-4f);
            EXPECT_GT(out.z, 0.0f);
        }
    }
}

// A sheet of glass (opacity 0.2, index 1.5) before a red wall, both lit by the ambient light.
struct GlassScene
{
    explicit GlassScene(bool doubleSided)
    {
        s.k.scene->SetAmbientColour(nVector(1, 1, 1, 1));
        s.AddCamera(nVector(0, 0, -5));
        nGeometry* sheet = MakeSquare(&s.k.engine, 100.0f, &glass, "glass");
        glass->opacity = 0.2f;
        glass->ior = 1.5f;
        if (doubleSided) glass->renderFlags |= MaterialRenderDoubleSided;
        WithDefaultMap(glass);
        s.AddObject("glass", sheet, nVector(0, 0, 0));
        nMaterial* red = nullptr;
        nGeometry* wall = MakeSquare(&s.k.engine, 100.0f, &red, "wall");
        red->diffuse = nVector(1, 0, 0, 1);
        WithDefaultMap(red);
        s.AddObject("wall", wall, nVector(0, 0, 2));
    }
    Stage s;
    nMaterial* glass = nullptr;
};

TEST(Raytracer, GlassTransmitsWhatLiesBehindWithOrWithoutTheFresnelTerm)
{
    const struct
    {
        const char* label;
        bool fresnel;
        Pixel centre;
    } cases[] = {
        {"opacity", false, Pixel{214, 10, 10, 0}},  // 0.2 x glass (0.2) + 0.8 x red
        {"Fresnel", true, Pixel{246, 2, 2, 0}},     // 0.04 x glass + 0.96 x red
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        GlassScene scene(false);
        nRaytracer tracer(&scene.s.k.engine);
        nRaytracerSettings settings = OneRayAPixel();
        settings.fresnel = c.fresnel ? 1 : 0;
        tracer.SetSettings(settings);
        ASSERT_TRUE(tracer.SetScene(scene.s.k.scene));
        nPicture picture;
        ASSERT_TRUE(tracer.Trace(picture, kSize, kSize));
        Pixel p = PixelAt(picture, 32, 32);
        p.a = c.centre.a;  // the alpha channel mixes alike; not asserted
        EXPECT_TRUE(Near(p, c.centre)) << Show(p);
    }
}

TEST(Raytracer, AnObliqueRayLeavingGlassIsReflectedWholeWhereOneEnteringPasses)
{
    GlassScene scene(true);
    nRaytracer tracer(&scene.s.k.engine);
    tracer.SetSettings(OneRayAPixel());
    ASSERT_TRUE(tracer.SetScene(scene.s.k.scene));
    const float s60 = std::sin(1.0471976f), c60 = std::cos(1.0471976f);
    const nRaytraceBudget budget = {1, 2, 6};
    const struct
    {
        const char* label;
        float medium;
        float red;
    } cases[] = {
        {"from air: 0.2 glass + 0.8 wall", 1.0f, 0.84f},
        {"from inside the glass: total internal reflection, the glass alone", 1.5f, 0.2f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        nRaytraceRay ray;
        ray.origin = nVector(-s60, 0.0f, -c60);
        ray.direction = nVector(s60, 0.0f, c60);
        ray.mediumIndex = c.medium;
        nRaytraceColor colour;
        tracer.TraceRay(ray, colour, budget, nullptr);
        ASSERT_TRUE(ray.hit);
        EXPECT_EQ(ray.surface.material, scene.glass);
        EXPECT_NEAR(colour.r, c.red, 1e-3f);
        EXPECT_NEAR(colour.g, 0.2f * 0.2f + (c.medium == 1.0f ? 0.0f : 0.8f * 0.2f), 1e-3f);
    }
}

// White (ambient-lit) squares whose edges lie inside pixel 32 of a 64-pixel view: the
// vertical edge at column 32.375, the horizontal one at row 32.375.
struct EdgeScene
{
    explicit EdgeScene(float brightness)
    {
        s.k.scene->SetAmbientColour(nVector(1, 1, 1, 1));
        s.k.scene->SetAmbientIntensity(brightness);
        s.AddCamera(nVector(0, 0, -1));
        const float edge = -1.0f + 2.0f * 32.375f / kSize;
        nGeometry* right = MakeSquare(&s.k.engine, 5.0f, nullptr, "right");
        WithDefaultMap(right->GetMaterial(0));
        s.AddObject("right", right, nVector(edge + 5.0f, 5.0f - edge, 0));  // bottom edge at y = -edge
        nGeometry* below = MakeSquare(&s.k.engine, 5.0f, nullptr, "below");
        WithDefaultMap(below->GetMaterial(0));
        s.AddObject("below", below, nVector(0, -edge - 5.0f, 0));  // top edge at y = -edge: row 32.375
    }
    Stage s;
};

TEST(Raytracer, SupersamplingOnlyWhereNeighboursDifferEnoughAndOverTheWholePixel)
{
    // The primary picture: column 32 and row 32 miss (their corners lie outside the squares).
    EdgeScene scene(1.0f);
    nRaytracer tracer(&scene.s.k.engine);
    ASSERT_TRUE(tracer.SetScene(scene.s.k.scene));
    nPicture picture;
    ASSERT_TRUE(tracer.Trace(picture, kSize, kSize));

    // Pixels straddling an edge are averaged over their whole area: 8 of 16 samples inside.
    EXPECT_NEAR(PixelAt(picture, 32, 10).r, 127, 1);  // the vertical edge, upper half
    EXPECT_NEAR(PixelAt(picture, 10, 32).r, 127, 1);  // the horizontal edge, left half
    EXPECT_NEAR(PixelAt(picture, 31, 10).r, 0, 1);
    EXPECT_NEAR(PixelAt(picture, 33, 10).r, 255, 1);
    // Border pixels keep their one sample.
    EXPECT_NEAR(PixelAt(picture, 32, 0).r, 0, 1);
    EXPECT_NEAR(PixelAt(picture, 32, 1).r, 127, 1);
    EXPECT_NEAR(PixelAt(picture, 0, 32).r, 0, 1);
    EXPECT_NEAR(PixelAt(picture, 1, 32).r, 127, 1);

    // Which pixels: in rows 1 to 31 column 32 (its right neighbour differs) and column 33 (its
    // left one, supersampled, differs); in row 32 columns 1 to 33, in row 33 columns 1 to 32
    // (the row above, supersampled, differs). Nothing else, and no border pixel.
    EXPECT_EQ(tracer.GetSupersampledCount(), 2u * 31u + 33u + 32u);
    EXPECT_NEAR(PixelAt(picture, 32, 32).r, 191, 1);  // 12 of 16 samples inside

    // Differences below the threshold are left alone; the pass off traces one ray a pixel.
    const struct
    {
        const char* label;
        float brightness;
        bool antialias;
        bool any;
    } cases[] = {
        {"0.04: distance 0.0048", 0.04f, true, false},
        {"0.06: distance 0.0108", 0.06f, true, true},
        {"pass off", 1.0f, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EdgeScene dim(c.brightness);
        nRaytracer t(&dim.s.k.engine);
        nRaytracerSettings set;
        set.antialias = c.antialias ? 1 : 0;
        t.SetSettings(set);
        ASSERT_TRUE(t.SetScene(dim.s.k.scene));
        ASSERT_TRUE(t.Trace(picture, kSize, kSize));
        EXPECT_EQ(t.GetSupersampledCount() > 0, c.any);
        if (!c.any) {
            EXPECT_EQ(t.GetStatistics().rays, (uint64_t)kSize * kSize);
        }
    }
}

TEST(Raytracer, InterlacedFieldsMergeIntoTheFullFrameEverySecondTrace)
{
    nLogCapture log;
    EdgeScene scene(1.0f);
    nRaytracer full(&scene.s.k.engine), fields(&scene.s.k.engine);
    full.SetSettings(OneRayAPixel());
    nRaytracerSettings settings = OneRayAPixel();
    settings.interlaced = 1;
    fields.SetSettings(settings);
    ASSERT_TRUE(full.SetScene(scene.s.k.scene));
    ASSERT_TRUE(fields.SetScene(scene.s.k.scene));
    nPicture expected, picture;
    ASSERT_TRUE(full.Trace(expected, 64, 48));

    // An odd height is refused.
    log.Clear();
    EXPECT_FALSE(fields.Trace(picture, 64, 47));
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"[!] Interlaced frame height must be a multiple of 2.\n"});

    for (int frame = 0; frame < 2; ++frame) {
        SCOPED_TRACE(frame);
        // The first field: true, no picture, 24 rows kept.
        ASSERT_TRUE(fields.Trace(picture, 64, 48));
        EXPECT_EQ(picture.GetPixels(), nullptr);
        EXPECT_EQ(fields.GetAccumulation().GetHeight(), 24u);
        EXPECT_EQ(fields.GetStatistics().rays, 64u * 24u);
        // The second: the whole frame, the same as tracing it at once.
        ASSERT_TRUE(fields.Trace(picture, 64, 48));
        ASSERT_EQ(picture.GetWidth(), 64u);
        ASSERT_EQ(picture.GetHeight(), 48u);
        EXPECT_EQ(std::memcmp(picture.GetPixels(), expected.GetPixels(), 64 * 48 * 4), 0);
        EXPECT_EQ(fields.GetAccumulation().GetPixels(), nullptr);
    }

    // Another size in the middle of a sequence restarts it.
    ASSERT_TRUE(fields.Trace(picture, 64, 48));
    log.Clear();
    ASSERT_TRUE(fields.Trace(picture, 32, 48));
    EXPECT_EQ(picture.GetPixels(), nullptr);
    const std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "[!] Unexpected frame dimension change during interlaced sequence rendering.\n");

    // A new sequence starts with the start field.
    fields.StartInterlacedSequence();
    EXPECT_EQ(fields.GetFieldToggle(), 1);
    ASSERT_TRUE(fields.Trace(picture, 64, 48));
    EXPECT_EQ(picture.GetPixels(), nullptr);
    ASSERT_TRUE(fields.Trace(picture, 64, 48));
    EXPECT_EQ(std::memcmp(picture.GetPixels(), expected.GetPixels(), 64 * 48 * 4), 0);
}

TEST(Raytracer, ASkinnedObjectIsTracedInItsPose)
{
    Stage s;
    s.k.scene->SetAmbientColour(nVector(1, 1, 1, 1));
    s.AddCamera(nVector(0, 0, -5));
    nGeometry* g = MakeSquare(&s.k.engine, 1.0f, nullptr, "skinned");
    WithDefaultMap(g->GetMaterial(0));
    g->skinWeights = nGeometry::AllocateArray<nSkinWeight>(4);
    for (uint16_t v = 0; v < 4; ++v) g->skinWeights[v] = nSkinWeight{{1, 0, 0, 0}, {uint16_t(v < 2 ? 0 : 1), 0, 0, 0}};
    g->AllocateSkin(2);
    nObject& o = s.AddObject("skinned", g, nVector(0, 0, 0))->GetObject();
    nMObject* bone0 = s.AddObject("bone0", nullptr, nVector(0, 0, 0));
    nMObject* bone1 = s.AddObject("bone1", nullptr, nVector(0, 0, 0));
    ASSERT_TRUE(o.SetBone(0, &bone0->GetObject()));
    ASSERT_TRUE(o.SetBone(1, &bone1->GetObject()));
    bone1->GetObject().SetPosition(nVector(2, 0, 0));  // right edge from x = 1 to x = 3
    o.UpdateSkinning();

    nRaytracer tracer(&s.k.engine);
    tracer.SetSettings(OneRayAPixel());
    ASSERT_TRUE(tracer.SetScene(s.k.scene));
    nPicture picture;
    ASSERT_TRUE(tracer.Trace(picture, kSize, kSize));
    // Pixel x sees world x = 5 (-1 + x / 32): x = 51 sees 2.97, inside only when posed.
    EXPECT_NEAR(PixelAt(picture, 51, 32).r, 255, 1);
    EXPECT_NEAR(PixelAt(picture, 54, 32).r, 0, 1);
    EXPECT_NEAR(PixelAt(picture, 32, 32).r, 255, 1);
}

// Global illumination, occlusion, jitter, reflections and supersampling all draw random
// numbers: each pixel draws its own, so any number of threads gives the one-thread picture.
TEST(Raytracer, ManyThreadsTraceTheSamePictureAsOne)
{
    Stage s;
    s.k.scene->SetAmbientColour(nVector(0.3f, 0.3f, 0.3f, 1));
    s.AddCamera(nVector(0, 1, -6));
    nMaterial* floorMaterial = nullptr;
    nGeometry* floor = MakeSquare(&s.k.engine, 10.0f, &floorMaterial, "floor");
    floorMaterial->reflection = 0.3f;
    WithDefaultMap(floorMaterial);
    s.AddObject("floor", floor, nVector(0, 0, 2));
    for (int i = 0; i < 5; ++i) {
        nMaterial* m = nullptr;
        nGeometry* g = MakeSquare(&s.k.engine, 0.6f, &m, "box");
        m->diffuse = nVector(0.2f * i, 1.0f - 0.2f * i, 0.5f, 1.0f);
        m->opacity = i == 2 ? 0.5f : 1.0f;
        WithDefaultMap(m);
        s.AddObject("box", g, nVector(-2.0f + i, 0.3f * i - 0.5f, 0.5f * i));
    }
    s.AddPointLight("lamp", nVector(1, 3, -3)).SetShadow(LightShadowMap);

    nRaytracerSettings settings;
    settings.globalIllumination = 1;
    settings.spreadSize = 3;
    settings.ambientOcclusion = 1;
    settings.jitter = 1;
    settings.antialiasSamples = 2;
    std::vector<uint8_t> pictures[2];
    const int32_t threads[2] = {1, 8};
    for (int run = 0; run < 2; ++run) {
        nRandSeed(5);
        nRaytracer tracer(&s.k.engine);
        tracer.SetSettings(settings);
        tracer.SetThreadCount(threads[run]);
        ASSERT_TRUE(tracer.SetScene(s.k.scene));
        nPicture picture;
        ASSERT_TRUE(tracer.Trace(picture, 48, 40));
        EXPECT_GT(tracer.GetSupersampledCount(), 0u);
        pictures[run].assign(picture.GetPixels(), picture.GetPixels() + 48 * 40 * 4);
    }
    EXPECT_TRUE(pictures[0] == pictures[1]);
}

}  // namespace

namespace {

// The copy follows the scene's deletions: an item deleted after binding is gone from the next
// trace (the copy is taken again), and a scene whose content goes lets the raytracer go.
TEST(Raytracer, DeletedItemsAndClearedScenesAreNotTracedFromAStaleCopy)
{
    Stage s;
    s.k.scene->SetAmbientColour(nVector(1, 1, 1, 1));
    s.AddCamera(nVector(0, 0, -5));
    nGeometry* g = MakeSquare(&s.k.engine, 1.0f);
    WithDefaultMap(g->GetMaterial(0));
    nMObject* square = s.AddObject("square", g, nVector(0, 0, 0));
    nMLight* lamp = static_cast<nMLight*>(s.k.scene->CreateLight("lamp", LightTypePoint, 1.0f));
    nRaytracer tracer(&s.k.engine);
    tracer.SetSettings(OneRayAPixel());
    ASSERT_TRUE(tracer.SetScene(s.k.scene));
    ASSERT_EQ(tracer.GetLightCount(), 1);
    nPicture picture;
    ASSERT_TRUE(tracer.Trace(picture, 16, 16));
    EXPECT_EQ(PixelAt(picture, 8, 8).r, 255);

    ASSERT_TRUE(s.k.scene->QueueDeletion(square));
    ASSERT_TRUE(s.k.scene->QueueDeletion(lamp));
    s.k.scene->FlushDeletionQueue();
    ASSERT_TRUE(tracer.Trace(picture, 16, 16));
    EXPECT_EQ(PixelAt(picture, 8, 8).r, 0);
    EXPECT_EQ(tracer.GetHierarchy(0).GetEntryCount(), 0);
    EXPECT_EQ(tracer.GetLightCount(), 0);

    s.k.scene->DeleteContent(false);
    EXPECT_EQ(tracer.GetScene(), nullptr);
    EXPECT_FALSE(tracer.Trace(picture, 16, 16));
}

}  // namespace
