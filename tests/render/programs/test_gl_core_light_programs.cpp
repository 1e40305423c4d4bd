// The light programs of the shader library against the lighting they promise: hand-made
// attribute targets of a plane (view-space normal and depth, diffuse, specular, glossiness), the
// light's uniforms as the renderer sets them, a quad in view space as the light volume gives
// it, and every eighth pixel compared with the lighting worked out here: N.L, the range fade to
// nothing at the range, the spot cone and its edge, the parallel light's direction, highlights,
// the projected picture and the projected shadow. Empty pixels (both empty marks) stay unlit.
#include "tests/render/programs/nGLProgramHarness.h"

#include <algorithm>
#include <cmath>

namespace {

const float kNear = 0.5f;
const float kFar = 1000.0f;
const float kEmptyFull = 256000.0f;  // the mark the frame clears to
const float kEmptyHalf = 65504.0f;   // what a half-float target keeps of it

// The renderer's camera projection: view space looks along +z.
nMatrix4 CameraProjection()
{
    nMatrix4 p;
    const float a = kFar / (kFar - kNear);
    p.m[0] = 1.1f;
    p.m[5] = 1.4f;
    p.m[10] = a;
    p.m[11] = -a * kNear;
    p.m[14] = 1.0f;
    p.m[15] = 0.0f;
    return p;
}

// The view-space ray (z = 1) through the centre of pixel (x, y) of a viewport of w x h.
nVector PixelRay(const nMatrix4& projection, int32_t x, int32_t y, int32_t w, int32_t h)
{
    const float ndcX = (x + 0.5f) / w * 2.0f - 1.0f, ndcY = (y + 0.5f) / h * 2.0f - 1.0f;
    return nVector(ndcX / projection.m[0], ndcY / projection.m[5], 1.0f);
}

// A plane through point with a unit normal facing the camera, and its material.
struct Plane
{
    nVector point;
    nVector normal;
    nVector diffuse;
    nVector specular;
    float glossiness;
};

// A light in view space as the renderer hands it over.
struct Light
{
    enum Kind
    {
        Point,
        Parallel,
        Spot
    } kind;
    nVector position;
    nVector direction;  // where it shines (parallel, spot)
    float range;        // 0: unlimited
    float cone, edge;   // radians
    nVector diffuse;
    nVector specular;
};

float Clamp01(float v) { return std::min(1.0f, std::max(0.0f, v)); }

// What a light program should give at a surface point; drawn false where it should discard.
struct Lit
{
    nVector colour;
    float fade;  // range fade x cone fade
    bool drawn;
    nVector toLight;
};

Lit Lighting(const Light& light, const Plane& plane, const nVector& p, bool specular)
{
    Lit out{nVector(0, 0, 0), 1.0f, true, nVector(0, 0, 0)};
    nVector l;
    if (light.kind == Light::Parallel) {
        l = (-light.direction).Normalize();
    } else {
        const nVector d = light.position - p;
        const float distance = d.Length();
        if (light.range > 0.0f) out.fade = 1.0f - distance / light.range;
        out.drawn = out.fade > 0.0f;
        l = d / distance;
    }
    out.toLight = l;
    if (light.kind == Light::Spot) {
        const float c = (-l).Dot(light.direction.Normalize());
        const float inner = std::cos(light.cone), outer = std::cos(light.cone + light.edge);
        out.fade *= inner - outer <= 1e-5f ? (c >= inner ? 1.0f : 0.0f) : Clamp01((c - outer) / (inner - outer));
    }
    if (!out.drawn) return out;
    const float nl = plane.normal.Dot(l);
    nVector colour = light.diffuse * plane.diffuse * std::max(nl, 0.0f);
    if (specular && nl > 0.0f) {
        const nVector h = (l - p.Normalize()).Normalize();
        const float s = std::pow(std::max(plane.normal.Dot(h), 0.0f), std::max(plane.glossiness * 96.0f, 1.0f));
        colour = colour + light.specular * plane.specular * s;
    }
    out.colour = colour * out.fade;
    return out;
}

// The light's projection from view space (light projection x view-to-light), as the light's
// projection matrix: cot(cone + edge) on x and y, near 0.1, far 100.
nMatrix4 LightProjection(const Light& light)
{
    const nVector z = light.direction.Normalize();
    const nVector x = nVector(0, 1, 0).Cross(z).Normalize();
    const nVector y = z.Cross(x);
    nMatrix4 toLight;
    toLight.SetRow(0, nVector(x.x, x.y, x.z, -x.Dot(light.position)), false);
    toLight.SetRow(1, nVector(y.x, y.y, y.z, -y.Dot(light.position)), false);
    toLight.SetRow(2, nVector(z.x, z.y, z.z, -z.Dot(light.position)), false);
    nMatrix4 projection;
    const float c = 1.0f / std::tan(light.cone + light.edge), n = 0.1f, f = 100.0f, a = f / (f - n);
    projection.m[0] = c;
    projection.m[5] = c;
    projection.m[10] = a;
    projection.m[11] = -a * n;
    projection.m[14] = 1.0f;
    projection.m[15] = 0.0f;
    return projection * toLight;
}

// The projected picture: red and green follow its texture coordinates, blue is 0.5; filtered
// linearly, it gives back the coordinates where it is sampled.
const int32_t kPicture = 64;
nFloat4 PictureTexel(int32_t x, int32_t y)
{
    return nFloat4{(x + 0.5f) / kPicture, (y + 0.5f) / kPicture, 0.5f, 1.0f};
}

bool ProjectedUV(const nMatrix4& m, const nVector& p, float* u, float* v)
{
    const float cx = m.m[0] * p.x + m.m[1] * p.y + m.m[2] * p.z + m.m[3];
    const float cy = m.m[4] * p.x + m.m[5] * p.y + m.m[6] * p.z + m.m[7];
    const float cw = m.m[12] * p.x + m.m[13] * p.y + m.m[14] * p.z + m.m[15];
    if (cw <= 1e-6f) return false;
    *u = std::min(std::max(cx / cw * 0.5f + 0.5f, 0.5f / kPicture), 1.0f - 0.5f / kPicture);
    *v = std::min(std::max(cy / cw * 0.5f + 0.5f, 0.5f / kPicture), 1.0f - 0.5f / kPicture);
    return true;
}

class LightPrograms : public nGLProgramTest
{
protected:
    // The plane's attribute targets as the frame's passes leave them; rows from emptyFrom up
    // hold nothing (the upper half of them with the half-float mark).
    void BindPlane(const Plane& plane, int32_t emptyFrom, bool diffuse = true)
    {
        auto empty = [emptyFrom](int32_t y) { return y >= emptyFrom; };
        const GLuint normalDepth = MakeTexture([&](int32_t x, int32_t y) {
            if (empty(y)) return nFloat4{0, 0, 0, y >= (emptyFrom + kHeight) / 2 ? kEmptyHalf : kEmptyFull};
            const nVector p = Surface(plane, x, y);
            return nFloat4{plane.normal.x, plane.normal.y, plane.normal.z, p.z - kNear};
        });
        Sampler("gbuffer0", 0, normalDepth);
        if (diffuse) Sampler("gbuffer1", 1, MakeTexture(nFloat4{plane.diffuse.x, plane.diffuse.y, plane.diffuse.z, 1.0f}));
        m_specularTexture = MakeTexture(nFloat4{plane.specular.x, plane.specular.y, plane.specular.z, plane.glossiness});
        BufferSize();
        Uniform("view_depth_offset", kNear);
    }

    nVector Surface(const Plane& plane, int32_t x, int32_t y) const
    {
        const nVector ray = PixelRay(CameraProjection(), x, y, kWidth, kHeight);
        return ray * (plane.normal.Dot(plane.point) / plane.normal.Dot(ray));
    }

    void SetLight(const Light& light, bool specular)
    {
        Uniform("diffuse_color", light.diffuse);
        if (specular) {
            Sampler("gbuffer2", 2, m_specularTexture);
            Uniform("specular_color", light.specular);
        }
        if (light.kind != Light::Parallel) {
            Uniform("position_view_space", light.position);
            Uniform("range", light.range);
        }
        if (light.kind != Light::Point) Uniform("direction_view_space", light.direction);
        if (light.kind == Light::Spot) {
            Uniform("spot_cone_angle", std::cos(light.cone));
            Uniform("spot_edge_angle", std::cos(light.cone + light.edge));
        }
    }

    // Every eighth pixel against want(x, y, surface point), which says whether it is drawn.
    void Compare(const char* what, const std::function<bool(int32_t, int32_t, const nVector&, nFloat4*)>& want,
                 const Plane& plane, int32_t emptyFrom, int* drawn, int* lit)
    {
        const std::vector<nFloat4> got = ReadAll();
        int failures = 0;
        for (int32_t y = 3; y < kHeight; y += 8)
            for (int32_t x = 3; x < kWidth; x += 8) {
                const nFloat4 g = got[(size_t)y * kWidth + x];
                nFloat4 w{0, 0, 0, 0};
                const bool shouldDraw = y < emptyFrom && want(x, y, Surface(plane, x, y), &w);
                if (!shouldDraw) w = nFloat4{0, 0, 0, 0};
                const float tolerance = 3e-3f + 3e-3f * std::max(std::fabs(w.r), std::max(std::fabs(w.g), std::fabs(w.b)));
                const ::testing::AssertionResult near = Near(g, w, tolerance, true);
                if (!near && ++failures <= 5) ADD_FAILURE() << what << " at (" << x << ", " << y << "): " << near.message();
                if (shouldDraw) ++*drawn;
                if (shouldDraw && (w.r > 0.01f || w.g > 0.01f || w.b > 0.01f || w.a > 0.01f)) ++*lit;
            }
        EXPECT_EQ(failures, 0) << what;
    }

    GLuint m_specularTexture = 0;
};

const Plane kFacing{nVector(0, 0, 6), nVector(0, 0, -1), nVector(0.8f, 0.6f, 0.4f), nVector(0.5f, 0.7f, 0.9f), 0.3f};
const Plane kFloor{nVector(0, -1.5f, 0), nVector(0, 1, 0), nVector(0.9f, 0.9f, 0.7f), nVector(1.0f, 1.0f, 1.0f), 0.2f};
const Plane kTilted{nVector(0, 0, 7), nVector(0.3f, 0.2f, -0.9f).Normalize(), nVector(0.7f, 0.8f, 0.5f),
                    nVector(0.6f, 0.6f, 0.6f), 0.5f};

struct LightCase
{
    const char* what;
    const char* program;
    bool specular;
    Light light;
    Plane plane;
    float quadDepth;  // where the volume's surface is drawn (the camera inside or outside)
};

const LightCase kLightCases[] = {
    {"point light before a wall, inside its range", "core::pointlight", false, {Light::Point, nVector(0.5f, 0.3f, 4.5f), nVector(), 5.0f, 0, 0, nVector(1.0f, 0.9f, 0.8f), nVector()}, kFacing, 2.0f},
    {"point light over a floor, seen from inside its volume", "core::pointlight", false, {Light::Point, nVector(-0.5f, 0.5f, 5.0f), nVector(), 4.0f, 0, 0, nVector(0.9f, 1.0f, 0.7f), nVector()}, kFloor, 0.6f},
    {"point light of unlimited range", "core::pointlight", false, {Light::Point, nVector(1.0f, -0.5f, 3.0f), nVector(), 0.0f, 0, 0, nVector(0.6f, 0.6f, 0.6f), nVector()}, kTilted, 0.51f},
    {"point light with a highlight", "core::pointlight_specular", true, {Light::Point, nVector(0.0f, 0.2f, 4.0f), nVector(), 6.0f, 0, 0, nVector(0.7f, 0.7f, 0.7f), nVector(0.8f, 0.9f, 1.0f)}, kFacing, 2.0f},
    {"parallel light on a floor", "core::linearlight", true, {Light::Parallel, nVector(), nVector(0.4f, -0.8f, 0.3f), 0.0f, 0, 0, nVector(0.9f, 0.8f, 0.7f), nVector(0.5f, 0.5f, 0.5f)}, kFloor, 0.6f},
    {"parallel light grazing a tilted wall", "core::linearlight", true, {Light::Parallel, nVector(), nVector(-0.2f, 0.1f, 1.0f), 0.0f, 0, 0, nVector(1.0f, 1.0f, 1.0f), nVector(0.3f, 0.3f, 0.3f)}, kTilted, 1.0f},
    {"spot light on a wall: cone, edge and outside", "core::spotlight", false, {Light::Spot, nVector(0.2f, 0.0f, 1.0f), nVector(0.0f, 0.1f, 1.0f), 12.0f, 0.15f, 0.12f, nVector(1.0f, 0.8f, 0.6f), nVector()}, kFacing, 0.8f},
    {"spot light on a floor with a highlight", "core::spotlight_specular", true, {Light::Spot, nVector(0.0f, 1.5f, 4.0f), nVector(0.2f, -1.0f, 0.3f), 8.0f, 0.35f, 0.2f, nVector(0.8f, 0.8f, 0.8f), nVector(1.0f, 0.9f, 0.8f)}, kFloor, 0.6f},
    {"spot light without an edge", "core::spotlight", false, {Light::Spot, nVector(0.0f, 0.0f, 2.0f), nVector(0.0f, 0.0f, 1.0f), 0.0f, 0.25f, 0.0f, nVector(1.0f, 1.0f, 1.0f), nVector()}, kFacing, 1.0f},
};

TEST_F(LightPrograms, EachLightGivesTheLightingWorkedOutForItsSurface)
{
    const int32_t emptyFrom = 80;
    for (const LightCase& c : kLightCases) {
        SCOPED_TRACE(c.what);
        ClearTarget(nFloat4{0, 0, 0, 0});
        ASSERT_TRUE(Use(c.program));
        BindPlane(c.plane, emptyFrom);
        SetLight(c.light, c.specular);
        if (c.light.kind == Light::Parallel) {
            const nMatrix4 p = CameraProjection();
            Uniform("inverse_projection_2d", 1.0f / p.m[0], 1.0f / p.m[5]);
            Uniform("display_buffer_ratio", 1.0f, 1.0f);
        }
        DrawViewQuad(CameraProjection(), c.quadDepth);
        int drawn = 0, lit = 0;
        Compare(
            c.what, [&](int32_t, int32_t, const nVector& p, nFloat4* w) {
                const Lit l = Lighting(c.light, c.plane, p, c.specular);
                *w = nFloat4{l.colour.x, l.colour.y, l.colour.z, 1.0f};
                return l.drawn;
            },
            c.plane, emptyFrom, &drawn, &lit);
        EXPECT_GT(lit, 10) << "the case should light part of the picture";
    }
}

// The range and the cone are borders: nothing at or beyond them, full strength well inside.
TEST_F(LightPrograms, NothingReachesBeyondTheRangeOrOutsideTheCone)
{
    const Plane plane = kFacing;
    struct Case
    {
        const char* program;
        Light light;
    };
    const Case cases[] = {
        {"core::pointlight", {Light::Point, nVector(0, 0, 5), nVector(), 2.0f, 0, 0, nVector(1, 1, 1), nVector()}},
        {"core::spotlight", {Light::Spot, nVector(0, 0, 1), nVector(0, 0, 1), 20.0f, 0.1f, 0.1f, nVector(1, 1, 1), nVector()}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        ClearTarget(nFloat4{0, 0, 0, 0});
        ASSERT_TRUE(Use(c.program));
        BindPlane(plane, kHeight);
        SetLight(c.light, false);
        DrawViewQuad(CameraProjection(), 2.0f);
        const std::vector<nFloat4> got = ReadAll();
        int outside = 0, inside = 0;
        for (int32_t y = 0; y < kHeight; ++y)
            for (int32_t x = 0; x < kWidth; ++x) {
                const nVector p = Surface(plane, x, y);
                const nVector d = p - c.light.position;
                const bool beyond = c.light.kind == Light::Point
                                        ? d.Length() >= c.light.range
                                        : std::acos(d.Normalize().Dot(c.light.direction)) >= c.light.cone + c.light.edge;
                const nFloat4 g = got[(size_t)y * kWidth + x];
                if (beyond) {
                    ++outside;
                    EXPECT_LE(g.r, 1e-4f) << "(" << x << ", " << y << ") lies beyond the light";
                } else if (c.light.kind == Light::Spot && std::acos(d.Normalize().Dot(c.light.direction)) < c.light.cone) {
                    ++inside;  // fully inside the cone: N.L x (1 - distance / range)
                    const float want = (-d.Normalize()).Dot(plane.normal) * (1.0f - d.Length() / c.light.range) * plane.diffuse.x;
                    EXPECT_NEAR(g.r, want, 3e-3f) << "(" << x << ", " << y << ")";
                }
            }
        EXPECT_GT(outside, 100);
        if (c.light.kind == Light::Spot) {
            EXPECT_GT(inside, 20);
        }
    }
}

// The parallel light reads the view ray from the projection and the buffer-to-viewport ratio:
// drawn into the lower-left quarter of a buffer twice the viewport's size, it still lights
// each pixel as that pixel of the viewport.
TEST_F(LightPrograms, AParallelLightFollowsTheDisplayBufferRatio)
{
    const Plane plane = kTilted;
    const Light light{Light::Parallel, nVector(), nVector(0.3f, -0.3f, 1.0f), 0.0f, 0, 0, nVector(1, 1, 1), nVector(1, 1, 1)};
    const int32_t w = kWidth / 2, h = kHeight / 2;
    const nMatrix4 projection = CameraProjection();
    ASSERT_TRUE(Use("core::linearlight"));
    const GLuint normalDepth = MakeTexture([&](int32_t x, int32_t y) {
        const nVector ray = PixelRay(projection, x, y, w, h);
        const nVector p = ray * (plane.normal.Dot(plane.point) / plane.normal.Dot(ray));
        return nFloat4{plane.normal.x, plane.normal.y, plane.normal.z, p.z - kNear};
    });
    Sampler("gbuffer0", 0, normalDepth);
    Sampler("gbuffer1", 1, MakeTexture(nFloat4{plane.diffuse.x, plane.diffuse.y, plane.diffuse.z, 1}));
    Sampler("gbuffer2", 2, MakeTexture(nFloat4{plane.specular.x, plane.specular.y, plane.specular.z, plane.glossiness}));
    BufferSize();
    Uniform("view_depth_offset", kNear);
    Uniform("diffuse_color", light.diffuse);
    Uniform("specular_color", light.specular);
    Uniform("direction_view_space", light.direction);
    Uniform("inverse_projection_2d", 1.0f / projection.m[0], 1.0f / projection.m[5]);
    Uniform("display_buffer_ratio", (float)kWidth / w, (float)kHeight / h);
    glViewport(0, 0, w, h);
    DrawViewQuad(projection, 1.0f);
    glViewport(0, 0, kWidth, kHeight);
    // The highlight moves with the view ray: a wrong ray gives it somewhere else.
    float lowest = 1e9f, highest = -1e9f;
    for (int32_t y = 1; y < h; y += 6)
        for (int32_t x = 1; x < w; x += 6) {
            const nVector ray = PixelRay(projection, x, y, w, h);
            const nVector p = ray * (plane.normal.Dot(plane.point) / plane.normal.Dot(ray));
            const float want = Lighting(light, plane, p, true).colour.x;
            lowest = std::min(lowest, want);
            highest = std::max(highest, want);
            EXPECT_NEAR(Read(x, y).r, want, 3e-3f + 3e-3f * want) << "(" << x << ", " << y << ")";
        }
    EXPECT_GT(highest - lowest, 0.05f) << "the highlight should vary over the picture";
    EXPECT_EQ(Read(w + 3, h + 3).a, 0.0f) << "nothing is drawn outside the viewport";
}

class ProjectedLights : public LightPrograms
{
protected:
    // Binds the picture and the light's projection, draws the light over the view and gives back
    // the projection used.
    nMatrix4 DrawProjected(const Light& light)
    {
        const GLuint picture = MakeTexture(PictureTexel, kPicture, kPicture, false, true);
        Sampler("projection_texture", 3, picture);
        const nMatrix4 projection = LightProjection(light);
        Uniform("light_projection_matrix", projection);
        DrawViewQuad(CameraProjection(), 1.0f);
        return projection;
    }
};

const Light kProjector{Light::Spot, nVector(-0.3f, 0.2f, 1.5f), nVector(0.1f, -0.05f, 1.0f), 15.0f, 0.3f, 0.15f,
                       nVector(1.0f, 0.9f, 0.9f), nVector(0.6f, 0.6f, 0.6f)};

TEST_F(ProjectedLights, AProjectiveSpotLightTintsItsLightWithThePictureWhereItFalls)
{
    const Plane plane = kTilted;
    ASSERT_TRUE(Use("core::projective_spotlight"));
    BindPlane(plane, kHeight - 8);
    SetLight(kProjector, true);
    const nMatrix4 m = DrawProjected(kProjector);
    int drawn = 0, lit = 0;
    Compare(
        "projective spot light", [&](int32_t, int32_t, const nVector& p, nFloat4* w) {
            const Lit l = Lighting(kProjector, plane, p, true);
            float u = 0, v = 0;
            if (!l.drawn || !ProjectedUV(m, p, &u, &v)) return false;
            *w = nFloat4{l.colour.x * u, l.colour.y * v, l.colour.z * 0.5f, 1.0f};
            return true;
        },
        plane, kHeight - 8, &drawn, &lit);
    EXPECT_GT(lit, 20);
}

TEST_F(ProjectedLights, AProjectedShadowDarkensTowardsTheShadowColourByThePicturesDarkness)
{
    const Plane plane = kTilted;
    const nVector shadow(0.1f, 0.2f, 0.3f);
    ASSERT_TRUE(Use("core::projective_spotlight_shadow"));
    BindPlane(plane, kHeight - 8, false);
    Uniform("position_view_space", kProjector.position);
    Uniform("range", kProjector.range);
    Uniform("direction_view_space", kProjector.direction);
    Uniform("spot_cone_angle", std::cos(kProjector.cone));
    Uniform("spot_edge_angle", std::cos(kProjector.cone + kProjector.edge));
    Uniform("shadow_color", shadow);
    const nMatrix4 m = DrawProjected(kProjector);
    int drawn = 0, lit = 0;
    Compare(
        "projected shadow", [&](int32_t, int32_t, const nVector& p, nFloat4* w) {
            const Lit l = Lighting(kProjector, plane, p, false);
            float u = 0, v = 0;
            if (!l.drawn || plane.normal.Dot(l.toLight) <= 0.0f || !ProjectedUV(m, p, &u, &v)) return false;
            const float light = 0.299f * u + 0.587f * v + 0.114f * 0.5f;
            *w = nFloat4{shadow.x, shadow.y, shadow.z, Clamp01((1.0f - light) * l.fade)};
            return true;
        },
        plane, kHeight - 8, &drawn, &lit);
    EXPECT_GT(drawn, 20);
}

}
