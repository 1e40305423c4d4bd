// Geometry storage, material table, derived tables, set-up, freeing and destruction.
#include "tests/kit/nCallLog.h"
#include "tests/kit/nRecordingEvents.h"
#include "tests/kit/nRecordingRenderer.h"
#include "tests/resources/nGeometryTestKit.h"
#include "tests/support/nLogCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

class GeometryTest : public ::testing::Test
{
protected:
    GeometryTest() { renderer.recordResources = true; }
    nOrvex engine;
    nCallLog log;
    nRecordingRenderer renderer{&engine, &log};
};

// Two triangles sharing the edge 1-2, each corner with a colour, a UV pair and a normal.
void BuildPair(nGeometry& g, int materialA, int materialB)
{
    BuildMesh(g, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {{0, 1, 2}, {2, 1, 3}}, {materialA, materialB}, 2);
    g.colors = new nGeometryColor[6];
    g.vertexNormals = new nVector[6];
    g.uvSets[0] = new nVector2[6];
    g.uvSetCount = 1;
    for (int i = 0; i < 6; ++i) {
        g.colors[i] = nGeometryColor{0.5f, 0.5f, 0.5f, 1.0f};
        g.vertexNormals[i] = nVector(0, 0, 1);
        g.uvSets[0][i] = nVector2(0.25f, 0.75f);
    }
}

TEST_F(GeometryTest, HomogeneousVertices)
{
    // Bindings of vertex 1: corner 1 of polygon 0 (binding 1) and corner 1 of polygon 1 (binding 4).
    struct Case
    {
        const char* what;
        int materialB;
        int key;
        void (*edit)(nGeometry&);
        bool vertex1Homogeneous;
    };
    const Case cases[] = {
        {"all agree", 0, -1, [](nGeometry&) {}, true},
        {"normals apart", 0, -1, [](nGeometry& g) { g.vertexNormals[4] = nVector(0, 1, 0); }, false},
        {"normals within 1e-5 squared", 0, -1, [](nGeometry& g) { g.vertexNormals[4] = nVector(0.002f, 0, 1); }, true},
        {"colour differs in alpha only", 0, -1, [](nGeometry& g) { g.colors[4].a = 0.0f; }, true},
        {"colour differs in red", 0, -1, [](nGeometry& g) { g.colors[4].r = 0.9f; }, false},
        {"colour within 1e-5 squared", 0, -1, [](nGeometry& g) { g.colors[4].g = 0.502f; }, true},
        {"colour just beyond 1e-5 squared", 0, -1, [](nGeometry& g) { g.colors[4].g = 0.504f; }, false},
        {"UV apart", 0, -1, [](nGeometry& g) { g.uvSets[0][4] = nVector2(0.5f, 0.75f); }, false},
        {"UV apart, other material keyed", 0, 1, [](nGeometry& g) { g.uvSets[0][4] = nVector2(0.5f, 0.75f); }, true},
        {"UV apart, its material keyed", 0, 0, [](nGeometry& g) { g.uvSets[0][4] = nVector2(0.5f, 0.75f); }, false},
        {"two materials, all", 1, -1, [](nGeometry&) {}, false},
        {"two materials, keyed", 1, 0, [](nGeometry&) {}, false},
        {"two materials, other key", 1, 1, [](nGeometry&) {}, false},
    };
    for (const Case& c : cases) {
        nGeometry g(&engine);
        BuildPair(g, 0, c.materialB);
        c.edit(g);
        g.BuildHomogeneousTable(c.key);
        ASSERT_NE(g.homogeneous, nullptr) << c.what;
        EXPECT_EQ(g.homogeneous[1] != 0, c.vertex1Homogeneous) << c.what;
        EXPECT_EQ(g.homogeneous[0], 1) << c.what;  // used by one polygon only
        EXPECT_EQ(g.homogeneous[3], 1) << c.what;
    }
}

// Vertex 0 at the centre of a fan of n triangles; the centre corner of triangle i gets normal
// centreNormal(i).
void BuildFan(nGeometry& g, int n, nVector (*centreNormal)(int))
{
    std::vector<nVector> positions = {{0, 0, 0}};
    std::vector<std::vector<int>> polys;
    for (int i = 0; i < n; ++i) {
        positions.push_back(nVector((float)std::cos(i * 6.2831853 / n), (float)std::sin(i * 6.2831853 / n), 0));
        polys.push_back({0, 1 + i, 1 + (i + 1) % n});
    }
    BuildMesh(g, positions, polys, {}, 1);
    g.vertexNormals = new nVector[g.bindingCount];
    for (uint32_t b = 0; b < g.bindingCount; ++b) g.vertexNormals[b] = nVector(0, 0, 1);
    for (int i = 0; i < n; ++i) g.vertexNormals[3 * i] = centreNormal(i);
}

TEST_F(GeometryTest, HomogeneousCentreOfAFan)
{
    struct Case
    {
        const char* what;
        int n;
        nVector (*normal)(int);
        bool homogeneous;
    };
    const Case cases[] = {
        {"ten thousand equal corners", 10000, [](int) { return nVector(0, 0, 1); }, true},
        {"one corner apart among ten thousand", 10000, [](int i) { return i == 9999 ? nVector(0, 1, 0) : nVector(0, 0, 1); }, false},
        // Pairwise 9e-6 apart, spread over a box whose diagonal is 1.6e-5 squared.
        {"spread wider than the threshold, pairs within it", 3,
         [](int i) { return i == 0 ? nVector(0, 0, 1) : i == 1 ? nVector(0.003f, 0, 1)
                                                               : nVector(0.0015f, 0.0026f, 1); }, true},
        {"pairs beyond the threshold", 3,
         [](int i) { return i == 0 ? nVector(0, 0, 1) : i == 1 ? nVector(0.003f, 0, 1)
                                                               : nVector(0, 0.003f, 1); }, false},
    };
    for (const Case& c : cases) {
        nGeometry g(&engine);
        BuildFan(g, c.n, c.normal);
        g.BuildHomogeneousTable(-1);
        EXPECT_EQ(g.homogeneous[0] != 0, c.homogeneous) << c.what;
        EXPECT_EQ(g.homogeneous[1], 1) << c.what;
    }
}

TEST_F(GeometryTest, VertexPolygonTableCountsEveryCorner)
{
    nGeometry g(&engine);
    BuildMesh(g, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {{0, 1, 2}, {2, 1, 3}, {1, 1, 3}}, {}, 1);
    g.BuildVertexPolygonTable();
    ASSERT_NE(g.vertexPolygons, nullptr);
    const std::vector<std::vector<int>> expected = {{0}, {0, 1, 2, 2}, {0, 1}, {1, 2}};
    for (uint32_t v = 0; v < 4; ++v) {
        std::vector<int> got(g.vertexPolygons[v].polygons, g.vertexPolygons[v].polygons + g.vertexPolygons[v].count);
        EXPECT_EQ(got, expected[v]) << "vertex " << v;
    }
}

TEST_F(GeometryTest, MaterialTable)
{
    nGeometry g(&engine);
    g.SetName("box");
    {
        nLogCapture cap;
        EXPECT_TRUE(g.AllocateMaterials(0, true));
        EXPECT_EQ(cap.Lines(), Calls{"[*] No materials allocated for geometry 'box'.\n"});
    }
    EXPECT_EQ(g.materialCount, 0u);
    EXPECT_EQ(g.GetMaterial(0), nullptr);
    EXPECT_EQ(g.FindMaterial("a"), nullptr);

    ASSERT_TRUE(g.AllocateMaterials(3, true));
    g.materials[0]->SetName("a");
    g.materials[1]->SetName("b");
    g.materials[2]->SetName("b");
    EXPECT_EQ(g.GetMaterial(3), g.materials[0].Get());
    EXPECT_EQ(g.GetMaterial(2), g.materials[2].Get());
    EXPECT_EQ(g.FindMaterialIndex("b"), 1u);
    EXPECT_EQ(g.FindMaterialIndex("missing"), 0u);
    EXPECT_EQ(g.FindMaterial("missing"), g.materials[0].Get());

    ASSERT_TRUE(g.AllocateMaterials(2, false));
    EXPECT_EQ(g.materialCount, 2u);
    EXPECT_EQ(g.GetMaterial(1), nullptr);
}

TEST_F(GeometryTest, MaterialFlags)
{
    struct Case
    {
        std::vector<uint32_t> flags;
        int32_t renderWord;
        int32_t staticFlag;
    };
    const Case cases[] = {
        {{0}, 0, 1},
        {{MaterialRenderSmooth}, GeometryRenderLit, 1},
        {{MaterialRenderSmooth | MaterialRenderShadeless}, 0, 1},
        {{MaterialRenderShadeless, MaterialRenderSmooth}, GeometryRenderLit, 1},
        {{MaterialRenderVertexNormal | MaterialRenderShadeless}, GeometryRenderLit, 1},
        {{MaterialRenderNormalMapTangent}, GeometryRenderTangents, 1},
        {{SoftBody, MaterialRenderNormalMapTangent | MaterialRenderSmooth}, GeometryRenderLit | GeometryRenderTangents, 0},
    };
    for (const Case& c : cases) {
        nGeometry g(&engine);
        g.AllocateMaterials((uint32_t)c.flags.size(), true);
        uint32_t all = 0;
        for (size_t i = 0; i < c.flags.size(); ++i) {
            g.materials[i]->renderFlags = c.flags[i];
            all |= c.flags[i];
        }
        g.UpdateMaterialFlags();
        EXPECT_EQ(g.renderWord, c.renderWord);
        EXPECT_EQ(g.staticFlag, c.staticFlag);
        EXPECT_EQ(g.materialFlags, all);
    }

    // The union keeps what replaced materials contributed; the render word does not.
    nGeometry g(&engine);
    g.AllocateMaterials(1, true);
    g.materials[0]->renderFlags = MaterialRenderVertexNormal;
    g.UpdateMaterialFlags();
    g.AllocateMaterials(1, true);
    g.UpdateMaterialFlags();
    EXPECT_EQ(g.materialFlags & MaterialRenderVertexNormal, (uint32_t)MaterialRenderVertexNormal);
    EXPECT_EQ(g.renderWord, GeometryRenderLit);
}

TEST_F(GeometryTest, SetupOrder)
{
    nRecordingEventInterface progress(&engine, &log);
    nGeometry g(&engine);
    g.SetName("strip");
    BuildMesh(g, {{0, 0, 0}, {2, 0, 0}, {2, 4, 0}, {0, 4, 6}}, {{0, 1, 2, 3}}, {}, 2);
    g.materials[0]->renderFlags = MaterialRenderSmooth;
    g.skinWeights = new nSkinWeight[4]();
    nLogCapture cap;
    g.Setup();
    engine.SetEventInterface(0);
    const Calls expected = {"engine.Message(Geometry Setup)", "render.SetupMaterial(m0)", "render.UpdateMaterial(m0)",
                            "render.SetupMaterial(m1)", "render.UpdateMaterial(m1)", "render.SetupGeometry(strip)"};
    EXPECT_EQ(log.Calls(), expected);
    EXPECT_NE(g.vertexNormals, nullptr);
    EXPECT_EQ(g.vertexTangents, nullptr);
    EXPECT_EQ(g.GetKeepMask(), 0x31u);
    EXPECT_FLOAT_EQ(g.centre.x, 1.0f);
    EXPECT_FLOAT_EQ(g.centre.y, 2.0f);
    EXPECT_FLOAT_EQ(g.centre.z, 1.5f);
    EXPECT_FLOAT_EQ(g.bounds.max.z, 6.0f);
    EXPECT_TRUE(g.materials[1]->renderFlags & MaterialRenderSkinned);
}

TEST_F(GeometryTest, SetupOfAnEmptyGeometryOnlyRefreshesFlags)
{
    nGeometry g(&engine);
    g.AllocateMaterials(1, true);
    g.materials[0]->renderFlags = MaterialRenderNormalMapTangent;
    g.Setup();
    EXPECT_EQ(g.renderWord, GeometryRenderTangents);
    EXPECT_TRUE(log.Calls().empty());
    EXPECT_EQ(g.GetKeepMask(), 0u);
}

TEST_F(GeometryTest, FreeHonoursTheKeepMask)
{
    struct Case
    {
        uint32_t mask;
        bool rendererFree, mesh, attributes, adjacency, materials, proxies;
    };
    const Case cases[] = {
        {0x00, true, false, false, false, false, false},
        {0x31, false, false, false, false, true, true},
        {0x33, false, true, false, false, true, true},
        {0x40, true, false, true, false, false, false},
        {0x06, true, true, false, true, false, false},
    };
    for (const Case& c : cases) {
        log.Clear();
        nGeometry g(&engine);
        g.SetName("g");
        BuildPair(g, 0, 1);
        g.BuildHomogeneousTable(-1);
        g.zFar = 50.0f;
        g.lodDistance = 20.0f;
        g.proxyFlags = GeometryLodNull | GeometryShadowNull;
        g.lodProxy = new nGeometry(&engine);
        g.SetKeepMask(c.mask);
        g.Free();
        SCOPED_TRACE(c.mask);
        EXPECT_EQ(!log.Calls().empty() && log.Calls()[0] == "render.FreeGeometry(g)", c.rendererFree);
        EXPECT_EQ(g.vertices != nullptr, c.mesh);
        EXPECT_EQ(g.vertexCount != 0, c.mesh);
        EXPECT_EQ(g.polygonCount != 0, c.mesh);
        EXPECT_EQ(g.bindingCount != 0, c.mesh);
        EXPECT_EQ(g.vertexNormals != nullptr, c.mesh);
        EXPECT_EQ(g.colors != nullptr, c.attributes);
        EXPECT_EQ(g.uvSets[0] != nullptr, c.attributes);
        EXPECT_EQ(g.uvSetCount != 0, c.attributes);
        EXPECT_EQ(g.vertexPolygons != nullptr, c.adjacency);
        EXPECT_EQ(g.homogeneous != nullptr, c.adjacency);
        EXPECT_EQ(g.materialCount != 0, c.materials);
        EXPECT_EQ(g.zFar, c.materials ? 50.0f : -1.0f);
        EXPECT_EQ(g.lodProxy.IsValid(), c.proxies);
        EXPECT_EQ(g.lodDistance, c.proxies ? 20.0f : 100.0f);
        EXPECT_EQ(g.proxyFlags != 0, c.proxies);
    }
}

TEST_F(GeometryTest, FreedMeshLeavesNothingToWalk)
{
    nGeometry g(&engine);
    BuildCube(g);
    g.SetKeepMask(0x31);
    g.Free();
    // Everything that walks the mesh now finds it empty.
    g.Setup();
    g.ComputeVertexNormal(true);
    g.ComputeVertexTangent(true);
    g.BuildHomogeneousTable(-1);
    EXPECT_EQ(g.vertexNormals, nullptr);
    EXPECT_EQ(g.vertexCount, 0u);
}

TEST_F(GeometryTest, Bounds)
{
    nGeometry g(&engine);
    nMinMax box;
    g.ComputeBounds(box, nullptr);
    EXPECT_EQ(box.min.x, 0.0f);
    EXPECT_EQ(box.max.w, 1.0f);

    g.bounds = nMinMax(nVector(-1, -2, -3), nVector(1, 2, 3));
    nMatrix4 shift = nMatrix4::Translation(nVector(10, 0, 0));
    g.ComputeBounds(box, &shift);
    EXPECT_FLOAT_EQ(box.min.x, 9.0f);
    EXPECT_FLOAT_EQ(box.max.x, 11.0f);
    EXPECT_FLOAT_EQ(box.max.z, 3.0f);

    BuildCube(g);
    g.ComputeBounds(box, &shift);
    EXPECT_FLOAT_EQ(box.min.x, 9.0f);
    EXPECT_FLOAT_EQ(box.max.x, 11.0f);
    EXPECT_FLOAT_EQ(box.min.y, -1.0f);
    EXPECT_EQ(box.min.w, 1.0f);
}

TEST_F(GeometryTest, DestructionSendsTwoEventsAroundTheFree)
{
    nRecordingCoreListener listener(&engine, &log);
    nGeometry* g = new nGeometry(&engine);
    g->SetName("gone");
    nSharedPtr<nGeometry> holder(g);
    holder.Release();
    EXPECT_EQ(log.Calls(), (Calls{"core.Event(5) geometry gone", "render.FreeGeometry(gone)", "core.Event(6) geometry gone"}));
    ASSERT_EQ(listener.records.size(), 2u);
    EXPECT_EQ(listener.records[0].geometry, g);
    EXPECT_EQ(listener.records[1].geometry, g);
}

TEST(GeometryCompare, Differs)
{
    EXPECT_FALSE(VectorDiffers(nVector(1, 2, 3, 0), nVector(1, 2, 3, 1)));
    EXPECT_FALSE(VectorDiffers(nVector(1, 2, 3), nVector(1, 2, 3.0000005f)));
    EXPECT_TRUE(VectorDiffers(nVector(1, 2, 3), nVector(1, 2.00001f, 3)));
    nMatrix4 a, b;
    EXPECT_FALSE(MatrixDiffers(a, b));
    b.m[15] = 1.00001f;
    EXPECT_TRUE(MatrixDiffers(a, b));
}

}
