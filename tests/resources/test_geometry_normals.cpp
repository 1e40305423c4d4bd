// Polygon and vertex normals and tangent frames against worked values.
#include "tests/resources/nGeometryTestKit.h"
#include "tests/support/nLogCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <tuple>

namespace {

class NormalsTest : public ::testing::Test
{
protected:
    nOrvex engine;
};

void ExpectVector(const nVector& got, float x, float y, float z, const std::string& what)
{
    EXPECT_NEAR(got.x, x, 1e-5f) << what;
    EXPECT_NEAR(got.y, y, 1e-5f) << what;
    EXPECT_NEAR(got.z, z, 1e-5f) << what;
    EXPECT_EQ(got.w, 1.0f) << what;
}

size_t DistinctNormals(const nGeometry& g)
{
    std::set<std::tuple<int, int, int>> seen;
    for (uint32_t i = 0; i < g.bindingCount; ++i)
        seen.insert(std::make_tuple((int)std::lround(g.vertexNormals[i].x * 1000), (int)std::lround(g.vertexNormals[i].y * 1000),
                                    (int)std::lround(g.vertexNormals[i].z * 1000)));
    return seen.size();
}

// Gives every material a Normal stage on UV set uvIndex with a texture.
void AddNormalStage(nGeometry& g, nOrvex* engine, int uvIndex, bool active)
{
    for (uint32_t i = 0; i < g.materialCount; ++i) {
        nMaterialStage* stage = g.materials[i]->AddStage(MaterialChannelNormal, new nTexture(engine, 0, 0), MaterialUVMap, 0);
        ASSERT_NE(stage, nullptr);
        stage->uvIndex = (uint8_t)uvIndex;
        g.materials[i]->ValidateStages();
        stage->active = active;
    }
}

TEST_F(NormalsTest, CubeFacesAndCorners)
{
    const float k = 1.0f / std::sqrt(3.0f);
    struct Case
    {
        float smoothing;
        size_t distinct;
    };
    for (const Case& c : {Case{0.0f, 6}, Case{-1.0f, 8}, Case{1.0f, 8}, Case{0.5f, 6}}) {
        nGeometry g(&engine);
        BuildCube(g);
        g.materials[0]->maxSmoothingAngle = c.smoothing;
        nLogCapture cap;
        g.ComputeVertexNormal(false);
        ASSERT_NE(g.vertexNormals, nullptr);
        EXPECT_EQ(DistinctNormals(g), c.distinct) << c.smoothing;
        // Corner 0 of the top face (+z) is vertex 4 at (-1, -1, 1).
        const nVector& n = g.vertexNormals[4];
        if (c.distinct == 8u) ExpectVector(n, -k, -k, k, "smoothed corner");
        else ExpectVector(n, 0, 0, 1, "face corner");
        ExpectVector(g.polygonNormals[0], 0, 0, -1, "bottom face");
        ExpectVector(g.polygonNormals[4], 1, 0, 0, "right face");
    }
}

TEST_F(NormalsTest, SmoothingThresholdAsACosine)
{
    // Two triangles sharing the edge on the x axis: the first in the z = 0 plane facing +z, the
    // second turned about that edge so that the normals are `angle` degrees apart.
    struct Case
    {
        float angle;
        float smoothing;
        bool joined;
    };
    const Case cases[] = {
        {90, 0, false},
        {89, 0, true},
        {89, 0.5f, false},
        {45, 0.5f, true},
        {90, 1, true},
        {90, 2, true},
        {90, -5, true},
        {180, 1, false},
        {180, -5, false},
        {180, 2, false},
        {179, -1, true},
    };
    for (const Case& c : cases) {
        const double a = (180.0 - c.angle) * 3.14159265358979 / 180.0;
        nVector n1((float)0.0, (float)-std::sin(a), (float)std::cos(a));
        // Third corner of the second triangle: along the direction perpendicular to the edge
        // inside the turned plane, so that its normal is n1.
        nVector d((float)0.0, (float)std::cos(a), (float)std::sin(a));
        nGeometry g(&engine);
        BuildMesh(g, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, d}, {{0, 1, 2}, {1, 0, 3}}, {0, 0}, 1);
        g.materials[0]->maxSmoothingAngle = c.smoothing;
        nLogCapture cap;
        g.ComputeVertexNormal(false);
        std::string what = std::to_string(c.angle) + " deg, smoothing " + std::to_string(c.smoothing);
        ExpectVector(g.polygonNormals[1], n1.x, -n1.y, -n1.z, what + " second face");
        // Binding 0 is vertex 0 in the first face.
        nVector expect = c.joined ? (nVector(0, 0, 1) + g.polygonNormals[1]).Normalize() : nVector(0, 0, 1);
        ExpectVector(g.vertexNormals[0], expect.x, expect.y, expect.z, what);
    }
}

// A unit sphere of quads between rings of latitude and triangles at the poles (vertex 0 north,
// the last south); with uv, each corner gets (segment / segments, ring / rings).
void BuildSphere(nGeometry& g, int rings, int segments, bool uv)
{
    std::vector<nVector> positions;
    std::vector<std::vector<int>> polys;
    std::vector<std::vector<nVector2>> cornerUV;
    positions.push_back(nVector(0, 0, 1));
    for (int r = 1; r < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            double theta = 3.14159265358979 * r / rings, phi = 2 * 3.14159265358979 * s / segments;
            positions.push_back(nVector((float)(std::sin(theta) * std::cos(phi)), (float)(std::sin(theta) * std::sin(phi)),
                                        (float)std::cos(theta)));
        }
    positions.push_back(nVector(0, 0, -1));
    const int south = (int)positions.size() - 1;
    auto at = [&](int r, int s) { return 1 + (r - 1) * segments + (s % segments); };
    auto st = [&](int r, int s) { return nVector2((float)s / segments, (float)r / rings); };
    for (int s = 0; s < segments; ++s) {
        polys.push_back({0, at(1, s), at(1, s + 1)});
        cornerUV.push_back({st(0, s), st(1, s), st(1, s + 1)});
    }
    for (int r = 1; r < rings - 1; ++r)
        for (int s = 0; s < segments; ++s) {
            polys.push_back({at(r, s), at(r + 1, s), at(r + 1, s + 1), at(r, s + 1)});
            cornerUV.push_back({st(r, s), st(r + 1, s), st(r + 1, s + 1), st(r, s + 1)});
        }
    for (int s = 0; s < segments; ++s) {
        polys.push_back({at(rings - 1, s), south, at(rings - 1, s + 1)});
        cornerUV.push_back({st(rings - 1, s), st(rings, s), st(rings - 1, s + 1)});
    }
    BuildMesh(g, positions, polys, {}, 1);
    if (!uv) return;
    g.uvSetCount = 1;
    g.uvSets[0] = new nVector2[g.bindingCount];
    uint32_t b = 0;
    for (const std::vector<nVector2>& corners : cornerUV)
        for (const nVector2& c : corners) g.uvSets[0][b++] = c;
}

TEST_F(NormalsTest, SphereNormalsPointOutward)
{
    const int rings = 16, segments = 32;
    nGeometry g(&engine);
    BuildSphere(g, rings, segments, false);
    nLogCapture cap;
    g.ComputeVertexNormal(false);
    ASSERT_NE(g.vertexNormals, nullptr);
    float worst = 1.0f;
    for (uint32_t i = 0; i < g.bindingCount; ++i) {
        const nVector& p = g.vertices[g.bindings[i]];
        worst = std::min(worst, g.vertexNormals[i].Dot(p));
        EXPECT_NEAR(g.vertexNormals[i].Length(), 1.0f, 1e-5f);
    }
    EXPECT_GT(worst, 0.999f);
    ExpectVector(g.vertexNormals[0], 0, 0, 1, "north pole");
}

TEST_F(NormalsTest, SphereTangentFramesFollowTheLongitude)
{
    // Thousands of corners, not a multiple of four: every corner, wherever it falls among those
    // finished together, gets its own frame, with the tangent along its vertex's circle of latitude.
    const int rings = 16, segments = 31;
    nGeometry g(&engine);
    BuildSphere(g, rings, segments, true);
    AddNormalStage(g, &engine, 0, true);
    nLogCapture cap;
    g.ComputeVertexTangent(false);
    ASSERT_NE(g.vertexTangents, nullptr);
    ASSERT_NE(g.vertexNormals, nullptr);
    ASSERT_EQ(g.bindingCount % 4, 2u);
    const int south = (int)g.vertexCount - 1;
    int checked = 0;
    float side = 0.0f;
    for (uint32_t i = 0; i < g.bindingCount; ++i) {
        const int v = g.bindings[i];
        if (v == 0 || v == south) continue;  // the poles have no direction of latitude
        const nVector& p = g.vertices[v];
        const nVector east = nVector(-p.y, p.x, 0).Normalize();
        const nTangentFrame& f = g.vertexTangents[i];
        const nVector& n = g.vertexNormals[i];
        SCOPED_TRACE("binding " + std::to_string(i));
        EXPECT_GT(n.Dot(p), 0.99f);
        EXPECT_NEAR(f.tangent.Length(), 1.0f, 1e-5f);
        EXPECT_NEAR(f.tangent.Dot(n), 0.0f, 1e-5f);
        const float along = f.tangent.Dot(east);
        EXPECT_GT(std::fabs(along), 0.99f);
        if (side == 0.0f) side = along;
        EXPECT_GT(along * side, 0.0f);  // one hand for the whole sphere
        const nVector b = n.Cross(f.tangent);
        ExpectVector(f.bitangent, b.x, b.y, b.z, "bitangent");
        ++checked;
    }
    EXPECT_EQ(checked, (int)g.bindingCount - 2 * segments);  // one corner of each pole triangle skipped
}

TEST_F(NormalsTest, QuadUsesItsFirstThreeCorners)
{
    nGeometry g(&engine);
    BuildMesh(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 5}}, {{0, 1, 2, 3}, {0, 1}}, {}, 1);
    nLogCapture cap;
    g.ComputePolygonNormal(false);
    ExpectVector(g.polygonNormals[0], 0, 0, 1, "quad");
    ExpectVector(g.polygonNormals[1], 0, 0, 0, "two corners");
    EXPECT_EQ(cap.Lines(), Calls{"Compute polygon normal for .\n"});
}

TEST_F(NormalsTest, NothingToComputeLogsNothing)
{
    nGeometry g(&engine);
    g.AllocateMaterials(1, true);
    nLogCapture cap;
    g.ComputePolygonNormal(false);
    g.ComputeVertexNormal(false);
    g.ComputeVertexTangent(false);
    g.ComputePolygonTangent();
    EXPECT_TRUE(cap.Lines().empty());
    EXPECT_EQ(g.polygonNormals, nullptr);
    EXPECT_EQ(g.vertexNormals, nullptr);
}

// A unit quad in the z = 0 plane with UVs given per corner.
void BuildQuad(nGeometry& g, const std::vector<nVector2>& uv)
{
    BuildMesh(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2, 3}}, {}, 1);
    g.uvSetCount = 1;
    g.uvSets[0] = new nVector2[4];
    for (int i = 0; i < 4; ++i) g.uvSets[0][i] = uv[i];
}

TEST_F(NormalsTest, QuadTangentFrames)
{
    struct Case
    {
        const char* what;
        std::vector<nVector2> uv;
        nVector t, b;
    };
    const Case cases[] = {
        {"plain", {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, nVector(1, 0, 0), nVector(0, 1, 0)},
        {"u mirrored", {{1, 0}, {0, 0}, {0, 1}, {1, 1}}, nVector(-1, 0, 0), nVector(0, 1, 0)},
        {"v mirrored", {{0, 1}, {1, 1}, {1, 0}, {0, 0}}, nVector(1, 0, 0), nVector(0, -1, 0)},
        {"turned a quarter", {{0, 0}, {0, 1}, {-1, 1}, {-1, 0}}, nVector(0, -1, 0), nVector(1, 0, 0)},
    };
    for (const Case& c : cases) {
        nGeometry g(&engine);
        BuildQuad(g, c.uv);
        AddNormalStage(g, &engine, 0, true);
        nLogCapture cap;
        g.ComputeVertexTangent(false);
        ASSERT_NE(g.polygonTangents, nullptr) << c.what;
        ASSERT_NE(g.vertexTangents, nullptr) << c.what;
        ExpectVector(g.polygonTangents[0].tangent, c.t.x, c.t.y, c.t.z, std::string(c.what) + " T");
        ExpectVector(g.polygonTangents[0].bitangent, c.b.x, c.b.y, c.b.z, std::string(c.what) + " B");
        for (int i = 0; i < 4; ++i) {
            ExpectVector(g.vertexTangents[i].tangent, c.t.x, c.t.y, c.t.z, std::string(c.what) + " vertex T");
            // The vertex bitangent is n x t with n = +z.
            nVector b = nVector(0, 0, 1).Cross(c.t);
            ExpectVector(g.vertexTangents[i].bitangent, b.x, b.y, b.z, std::string(c.what) + " vertex B");
        }
        // The vertex normals were missing: they are computed first.
        ASSERT_NE(g.vertexNormals, nullptr);
    }
}

TEST_F(NormalsTest, PolygonsWithoutAFrameOfTheirOwn)
{
    struct Case
    {
        const char* what;
        int uvIndex;
        bool active;
        Calls warnings;
    };
    const Case cases[] = {
        {"missing set", 1, true, {"[*] Missing UV sets to compute tangent frame in 'q'.\n"}},
        {"no such set", 3, true, {"[*] Missing UV sets to compute tangent frame in 'q'.\n"}},
        {"inactive stage", 0, false, {}},
    };
    for (const Case& c : cases) {
        nGeometry g(&engine);
        g.SetName("q");
        BuildQuad(g, {{0, 0}, {1, 0}, {1, 1}, {0, 1}});
        AddNormalStage(g, &engine, c.uvIndex, c.active);
        nLogCapture cap;
        cap.SetMask(LogLevelWarning | LogLevelError);
        g.ComputeVertexTangent(false);
        EXPECT_EQ(cap.Lines(), c.warnings) << c.what;
        ASSERT_NE(g.polygonTangents, nullptr) << c.what;
        ExpectVector(g.polygonTangents[0].tangent, 0, 0, 0, c.what);
        ExpectVector(g.polygonTangents[0].bitangent, 0, 0, 0, c.what);
        ExpectVector(g.vertexTangents[0].tangent, 0, 0, 0, c.what);
    }
}

// A strip of two quads folded 45 degrees about their shared edge x = 1, weighted to two bones.
void BuildStrip(nGeometry& g, nOrvex* engine)
{
    const float c = std::sqrt(0.5f);
    BuildMesh(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {1 + c, 0, c}, {1 + c, 1, c}}, {{0, 1, 2, 3}, {1, 4, 5, 2}}, {0, 0}, 1);
    g.uvSetCount = 1;
    g.uvSets[0] = new nVector2[8]{{0, 0}, {1, 0}, {1, 1}, {0, 1}, {1, 0}, {2, 0}, {2, 1}, {1, 1}};
    g.boneCount = 2;
    g.skinWeights = new nSkinWeight[6];
    for (int v = 0; v < 6; ++v)
        g.skinWeights[v] = nSkinWeight{{v < 4 ? 1.0f : 0.0f, v < 4 ? 0.0f : 1.0f, 0, 0}, {0, 1, 0, 0}};
    AddNormalStage(g, engine, 0, true);
}

TEST_F(NormalsTest, FoldedSkinnedStrip)
{
    const float s = std::sin(3.14159265f / 8), co = std::cos(3.14159265f / 8);  // half of the 45 degree fold
    const float c = std::sqrt(0.5f);
    struct Case
    {
        float smoothing;
        bool joined;
    };
    for (const Case& k : {Case{0.0f, true}, Case{0.8f, false}}) {
        nGeometry g(&engine);
        BuildStrip(g, &engine);
        g.materials[0]->maxSmoothingAngle = k.smoothing;
        g.materials[0]->renderFlags = MaterialRenderSmooth | MaterialRenderNormalMapTangent;
        nLogCapture cap;
        g.Setup();
        ASSERT_NE(g.vertexTangents, nullptr);
        ExpectVector(g.polygonNormals[1], -c, 0, c, "second face");
        ExpectVector(g.polygonTangents[1].tangent, c, 0, c, "second face T");
        // Binding 1 is vertex 1 on the fold, in the first quad; binding 0 is off the fold.
        if (k.joined) {
            ExpectVector(g.vertexNormals[1], -s, 0, co, "fold normal");
            ExpectVector(g.vertexTangents[1].tangent, co, 0, s, "fold tangent");
        } else {
            ExpectVector(g.vertexNormals[1], 0, 0, 1, "fold normal");
            // The tangent still averages across the fold, then is made orthogonal to the normal.
            ExpectVector(g.vertexTangents[1].tangent, 1, 0, 0, "fold tangent");
        }
        ExpectVector(g.vertexTangents[1].bitangent, 0, 1, 0, "fold bitangent");
        ExpectVector(g.vertexNormals[0], 0, 0, 1, "flat corner");
        ExpectVector(g.vertexTangents[0].tangent, 1, 0, 0, "flat corner");
        EXPECT_TRUE(g.materials[0]->renderFlags & MaterialRenderSkinned);
    }
}

TEST_F(NormalsTest, ForcedRecomputeFollowsEditedVertices)
{
    nGeometry g(&engine);
    BuildQuad(g, {{0, 0}, {1, 0}, {1, 1}, {0, 1}});
    AddNormalStage(g, &engine, 0, true);
    nLogCapture cap;
    g.ComputeVertexTangent(false);
    ExpectVector(g.vertexTangents[0].tangent, 1, 0, 0, "before");
    // Turn the quad a quarter about z: x goes to y.
    for (uint32_t i = 0; i < g.vertexCount; ++i) g.vertices[i] = nVector(-g.vertices[i].y, g.vertices[i].x, 0);
    g.ComputeVertexNormal(true);
    g.ComputeVertexTangent(true);
    ExpectVector(g.polygonTangents[0].tangent, 0, 1, 0, "polygon after");
    ExpectVector(g.vertexTangents[0].tangent, 0, 1, 0, "vertex after");
    ExpectVector(g.vertexNormals[0], 0, 0, 1, "normal after");
}

TEST_F(NormalsTest, LogLinesNameTheGeometry)
{
    nGeometry g(&engine);
    g.SetName("cube");
    BuildCube(g);
    nLogCapture cap;
    g.ComputeVertexNormal(false);
    g.ComputeVertexNormal(false);
    EXPECT_EQ(cap.Lines(), (Calls{"Compute polygon normal for cube.\n", "Compute vertex normal for cube.\n"}));
}

}
