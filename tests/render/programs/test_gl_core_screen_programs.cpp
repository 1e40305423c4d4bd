// The screen-pass programs of the shader library against what they promise: the ambient pass
// (ambient x diffuse + constant), the fog blend, ambient occlusion (open surfaces white, creases
// dark), the gaussian blurs with their weights in the quarter-size effect targets, the blur that
// keeps edges, and the velocity of a moved surface.
#include "tests/render/programs/nGLProgramHarness.h"

#include <cmath>

namespace {

float Clamp01(float v) { return std::min(1.0f, std::max(0.0f, v)); }

TEST_F(nGLProgramTest, TheAmbientPassGivesAmbientTimesDiffusePlusTheConstantColour)
{
    const float ambient[4] = {0.3f, 0.5f, 0.7f, 1.0f};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
    auto diffuse = [](int32_t x, int32_t y) { return nFloat4{x / 128.0f, y / 96.0f, 0.8f, (x + y) % 2 ? 1.0f : 0.25f}; };
    auto constant = [](int32_t x, int32_t y) { return nFloat4{x < 64 ? 0.0f : 0.2f, 0.1f, y < 48 ? 0.0f : 0.15f, 0.0f}; };
    ASSERT_TRUE(Use("core::ambient"));
    Sampler("gbuffer1", 0, MakeTexture(diffuse));
    Sampler("gbuffer3", 1, MakeTexture(constant));
    BufferSize();
    DrawScreenQuad();
    for (int32_t y = 2; y < kHeight; y += 7)
        for (int32_t x = 1; x < kWidth; x += 5) {
            const nFloat4 d = diffuse(x, y), c = constant(x, y);
            const nFloat4 want{ambient[0] * d.r + c.r, ambient[1] * d.g + c.g, ambient[2] * d.b + c.b, d.a};
            EXPECT_TRUE(Near(Read(x, y), want, 1e-4f, true)) << "(" << x << ", " << y << ")";
        }
}

// Fog is blended over the lit picture with (one minus source alpha, source alpha): the scene
// keeps 1 - fog of itself, fog growing linearly from near to far; empty pixels are all fog.
TEST_F(nGLProgramTest, FogBlendsTheSceneTowardsTheFogColourBetweenNearAndFar)
{
    const float nearFog = 10.0f, farFog = 50.0f;
    const nFloat4 scene{0.2f, 0.6f, 0.4f, 1.0f};
    const nVector fog(0.7f, 0.75f, 0.8f);
    auto depth = [](int32_t x, int32_t y) { return y >= 90 ? (y % 2 ? 65504.0f : 256000.0f) : x * 0.5f; };
    ClearTarget(scene);
    ASSERT_TRUE(Use("core::fog"));
    Sampler("gbuffer0", 0, MakeTexture([&](int32_t x, int32_t y) { return nFloat4{0, 0, -1, depth(x, y)}; }));
    Uniform("near", nearFog);
    Uniform("inverse_range", 1.0f / (farFog - nearFog));
    Uniform("color", fog);
    BufferSize();
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA);
    DrawScreenQuad();
    glDisable(GL_BLEND);
    int partly = 0;
    for (int32_t y = 3; y < kHeight; y += 6)
        for (int32_t x = 0; x < kWidth; x += 3) {
            const float f = Clamp01((depth(x, y) - nearFog) / (farFog - nearFog));
            if (f > 0.05f && f < 0.95f) ++partly;
            const nFloat4 want{fog.x * f + scene.r * (1 - f), fog.y * f + scene.g * (1 - f), fog.z * f + scene.b * (1 - f), 1};
            EXPECT_TRUE(Near(Read(x, y), want, 1e-4f)) << "(" << x << ", " << y << ") depth " << depth(x, y);
        }
    EXPECT_GT(partly, 100);
}

// Ambient occlusion over hand-made attribute targets: a floor meeting a wall seen from the
// front. Open parts of the floor and the wall stay white, the crease darkens, strength 0 and
// empty pixels give white.
class AmbientOcclusion : public nGLProgramTest
{
protected:
    static constexpr float kNear = 0.5f;

    void Draw(float strength, float radius, float distance)
    {
        const float ix = 1.0f / 1.2f, iy = 1.0f / 1.6f;  // inverse projection
        // Floor y = -1 up to the wall z = 6 (normal facing the camera); sky above y = 1.5.
        const GLuint normalDepth = MakeTexture([&](int32_t x, int32_t y) {
            const float ndcX = (x + 0.5f) / kWidth * 2 - 1, ndcY = (y + 0.5f) / kHeight * 2 - 1;
            const nVector ray(ndcX * ix, ndcY * iy, 1.0f);
            if (ray.y < 0.0f && -1.0f / ray.y < 6.0f) return nFloat4{0, 1, 0, -1.0f / ray.y - kNear};
            if (ray.y * 6.0f > 1.5f) return nFloat4{0, 0, 0, 256000.0f};
            return nFloat4{0, 0, -1, 6.0f - kNear};
        });
        const GLuint noise = MakeTexture([](int32_t x, int32_t y) {
            const nVector v = nVector(std::sin(x * 12.9898f + y * 78.233f), std::cos(x * 4.1414f + y * 3.7f), 0.6f).Normalize();
            return nFloat4{v.x * 0.5f + 0.5f, v.y * 0.5f + 0.5f, v.z * 0.5f + 0.5f, 1.0f};
        },
                                         64, 64, true);
        ASSERT_TRUE(Use("core::ssao"));
        Sampler("nrm_dpth", 1, normalDepth);
        Sampler("noise_texture", 2, noise);
        BufferSize();
        Uniform("framebuffer_fx_scaler", 1.0f);
        Uniform("display_buffer_ratio", 1.0f, 1.0f);
        Uniform("inverse_projection_2d", ix, iy);
        Uniform("view_depth_offset", kNear);
        Uniform("strength", strength);
        Uniform("ao_radius", radius);
        Uniform("distance", distance);
        DrawScreenQuad();
    }

    // The row of the crease (floor meets wall at z = 6) and a row of open floor.
    int32_t CreaseRow() const { return (int32_t)((-1.0f / 6.0f / (1.0f / 1.6f) + 1.0f) * 0.5f * kHeight); }
};

TEST_F(AmbientOcclusion, OpenSurfacesStayWhiteAndTheCreaseDarkens)
{
    Draw(1.0f, 100.0f, 100.0f);
    const int32_t crease = CreaseRow();
    float creaseSum = 0.0f;
    for (int32_t x = 20; x < 108; x += 8) {
        creaseSum += Read(x, crease + 1).r;
        EXPECT_NEAR(Read(x, crease + 14).r, 1.0f, 0.02f) << "open wall at x " << x;
        EXPECT_NEAR(Read(x, 4).r, 1.0f, 0.02f) << "open floor near the camera at x " << x;
        EXPECT_EQ(Read(x, 94).r, 1.0f) << "nothing drawn at x " << x;
    }
    EXPECT_LT(creaseSum / 11.0f, 0.85f) << "the crease should be occluded";
}

TEST_F(AmbientOcclusion, StrengthZeroGivesNoOcclusionAndStrengthScalesIt)
{
    const int32_t crease = CreaseRow();
    Draw(0.0f, 100.0f, 100.0f);
    for (int32_t x = 20; x < 108; x += 8) EXPECT_EQ(Read(x, crease + 1).r, 1.0f) << x;
    Draw(1.0f, 100.0f, 100.0f);
    const float full = Read(64, crease + 1).r;
    Draw(0.5f, 100.0f, 100.0f);
    EXPECT_NEAR(1.0f - Read(64, crease + 1).r, (1.0f - full) * 0.5f, 0.01f);
}

// The gaussian blurs run in the quarter-size effect targets: with the effect divisor as
// framebuffer_fx_scaler, fragment (x, y) reads the effect picture's texel (x, y).
class Blurs : public nGLProgramTest
{
protected:
    static const int32_t kFxWidth = kWidth / 4, kFxHeight = kHeight / 4;

    static float Weight(int k) { return std::exp(-(float)(k * k) / 8.0f); }
    static float Total()
    {
        float t = 0.0f;
        for (int k = -4; k <= 4; ++k) t += Weight(k);
        return t;
    }
};

TEST_F(Blurs, GaussianBlursSpreadALineByTheirWeightsAlongTheirAxis)
{
    struct Case
    {
        const char* program;
        bool horizontal;
    };
    const Case cases[] = {{"core::h_gaussian_blur", true}, {"core::v_gaussian_blur", false}};
    const int32_t line = 12;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        ClearTarget(nFloat4{0, 0, 0, 0});
        const GLuint source = MakeTexture([&](int32_t x, int32_t y) {
            const bool on = (c.horizontal ? x : y) == line;
            return nFloat4{on ? 1.0f : 0.0f, on ? 0.5f : 0.0f, 0.25f, 1.0f};
        },
                                          kFxWidth, kFxHeight);
        ASSERT_TRUE(Use(c.program));
        Sampler("source", 0, source);
        BufferSize();
        Uniform("framebuffer_fx_scaler", 4.0f);
        Uniform("blur_size", 1.0f / (c.horizontal ? kFxWidth : kFxHeight));
        DrawScreenQuad();
        for (int k = -6; k <= 6; ++k) {
            const float w = std::abs(k) <= 4 ? Weight(k) / Total() : 0.0f;
            const int32_t at = line + k;
            const nFloat4 got = c.horizontal ? Read(at, 5) : Read(5, at);
            EXPECT_TRUE(Near(got, nFloat4{w, w * 0.5f, 0.25f, 1.0f}, 1e-4f, true)) << "offset " << k;
        }
        // Along the other axis nothing changes.
        EXPECT_TRUE(Near(c.horizontal ? Read(line, 17) : Read(17, line), nFloat4{Weight(0) / Total(), Weight(0) / Total() * 0.5f, 0.25f, 1}, 1e-4f));
    }
}

// The occlusion's blur keeps edges: where depth or normal changes, the two sides do not mix.
TEST_F(Blurs, TheEdgeKeepingBlurMixesOnlyOneSurface)
{
    const int32_t edge = 16;  // effect texel where the source and the surfaces change
    const GLuint source = MakeTexture([&](int32_t x, int32_t) { return nFloat4{x < edge ? 0.0f : 1.0f, 0, 0, 1}; }, kFxWidth, kFxHeight);
    struct Case
    {
        const char* what;
        nFloat4 right;
        bool mixes;
    };
    const Case cases[] = {
        {"one surface", {0, 0, -1, 5.0f}, true},
        {"a step in depth", {0, 0, -1, 9.0f}, false},
        {"a turn of the normal", {0, 1, 0, 5.0f}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ClearTarget(nFloat4{0, 0, 0, 0});
        const GLuint normalDepth = MakeTexture([&](int32_t x, int32_t) { return x < edge * 4 ? nFloat4{0, 0, -1, 5.0f} : c.right; });
        ASSERT_TRUE(Use("core::normal_depth_blur"));
        Sampler("nrm_dpth", 0, normalDepth);
        Sampler("source", 1, source);
        BufferSize();
        Uniform("framebuffer_fx_scaler", 4.0f);
        Uniform("blur_size", 2.0f / kFxWidth);
        Uniform("ao_radius", 100.0f);
        DrawScreenQuad();
        const float left = Read(edge - 1, 10).r, right = Read(edge, 10).r;
        if (c.mixes) {
            EXPECT_GT(left, 0.05f);
            EXPECT_LT(right, 0.95f);
        } else {
            EXPECT_EQ(left, 0.0f);
            EXPECT_EQ(right, 1.0f);
        }
        EXPECT_NEAR(Read(edge - 6, 10).r, 0.0f, 1e-5f) << "far from the edge";
        EXPECT_NEAR(Read(edge + 6, 10).r, 1.0f, 1e-5f) << "far from the edge";
    }
}

// Velocity: a quad seen at depth 4 that moved, or whose camera moved, since the previous frame.
// Each pixel holds (this frame's position - the previous one) / 2 in normalised device units.
TEST_F(nGLProgramTest, TheVelocityOfASurfaceIsItsScreenMotionSinceThePreviousFrame)
{
    nMatrix4 projection;
    projection.m[0] = 1.2f;
    projection.m[5] = 1.6f;
    projection.m[10] = 1.0f;
    projection.m[11] = -0.5f;
    projection.m[14] = 1.0f;
    projection.m[15] = 0.0f;
    auto project = [&](const nVector& p, float* x, float* y) {
        *x = projection.m[0] * p.x / p.z;
        *y = projection.m[5] * p.y / p.z;
    };
    struct Case
    {
        const char* what;
        nVector modelMoved;
        nVector cameraMoved;
    };
    const Case cases[] = {
        {"the item moved", nVector(0.3f, -0.2f, 0.5f), nVector(0, 0, 0)},
        {"the camera moved", nVector(0, 0, 0), nVector(-0.4f, 0.1f, -0.3f)},
        {"nothing moved", nVector(0, 0, 0), nVector(0, 0, 0)},
    };
    const float z = 4.0f;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ClearTarget(nFloat4{0, 0, 0, 0});
        ASSERT_TRUE(Use("core::velocity"));
        // The previous world: the model matrix was a translation; the camera's world was a
        // translation, whose inverse is the previous view.
        Uniform("model_previous_matrix", nMatrix4::Translation(c.modelMoved));
        Uniform("view_previous_matrix", nMatrix4::Translation(-c.cameraMoved));
        Uniform("user_clip_n", 0.0f, 0.0f, 0.0f);
        Uniform("user_clip_d", 1.0f);
        DrawViewQuad(projection, z);
        for (int32_t y = 4; y < kHeight; y += 11)
            for (int32_t x = 4; x < kWidth; x += 13) {
                const float ndcX = (x + 0.5f) / kWidth * 2 - 1, ndcY = (y + 0.5f) / kHeight * 2 - 1;
                const nVector p(ndcX / projection.m[0] * z, ndcY / projection.m[5] * z, z);
                float px = 0, py = 0;
                project(p + c.modelMoved - c.cameraMoved, &px, &py);
                const nFloat4 want{(ndcX - px) * 0.5f, (ndcY - py) * 0.5f, 0.0f, 1.0f};
                EXPECT_TRUE(Near(Read(x, y), want, 2e-4f, true)) << "(" << x << ", " << y << ")";
            }
    }
}

// Past the user clip plane (dot(view position, n) + d > 0) nothing is written.
TEST_F(nGLProgramTest, TheVelocityProgramHonoursTheUserClipPlane)
{
    nMatrix4 projection;
    projection.m[10] = 1.0f;
    projection.m[11] = -0.5f;
    projection.m[14] = 1.0f;
    projection.m[15] = 0.0f;
    ASSERT_TRUE(Use("core::velocity"));
    Uniform("model_previous_matrix", nMatrix4::Translation(nVector(0.5f, 0, 0)));
    Uniform("view_previous_matrix", nMatrix4());
    Uniform("user_clip_n", 1.0f, 0.0f, 0.0f);  // clipped where view x > 1
    Uniform("user_clip_d", -1.0f);
    DrawViewQuad(projection, 2.0f);  // view x = ndc x * 2
    EXPECT_EQ(Read(10, 40).a, 1.0f) << "view x -1.7: kept";
    EXPECT_EQ(Read(70, 40).a, 1.0f) << "view x 0.2: kept";
    EXPECT_EQ(Read(110, 40).a, 0.0f) << "view x 1.4: clipped";
}

}
