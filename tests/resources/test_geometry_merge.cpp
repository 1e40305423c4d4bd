// Two geometries baked into one: vertices, polygons and corners in order, attributes one side
// lacks filled in, normals carried correctly under non-uniform scale, and equal materials
// merged with their polygons remapped.
#include "tests/resources/nGeometryTestKit.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nMathExpect.h"

#include "resources/nGeometryMerge.h"
#include "resources/nTexture.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<std::string> MaterialNames(const nGeometry& g)
{
    std::vector<std::string> out;
    for (uint32_t i = 0; i < g.materialCount; ++i) out.push_back(g.materials[i]->GetName().GetCStr());
    return out;
}

std::vector<int> PolygonMaterials(const nGeometry& g)
{
    std::vector<int> out;
    for (uint32_t p = 0; p < g.polygonCount; ++p) out.push_back(g.polygons[p].material);
    return out;
}

// One triangle per named material, at x = its index.
void BuildNamedTriangles(nGeometry& g, const std::vector<std::string>& names, const std::vector<std::string>& textures)
{
    std::vector<nVector> positions;
    std::vector<std::vector<int>> polygons;
    std::vector<int> materials;
    for (size_t i = 0; i < names.size(); ++i) {
        const float x = (float)i;
        positions.insert(positions.end(), {{x, 0, 0}, {x + 1, 0, 0}, {x, 1, 0}});
        polygons.push_back({(int)(3 * i), (int)(3 * i + 1), (int)(3 * i + 2)});
        materials.push_back((int)i);
    }
    BuildMesh(g, positions, polygons, materials, (uint32_t)names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        g.materials[i]->SetName(names[i].c_str());
        if (textures.size() > i && !textures[i].empty()) {
            nSharedPtr<nTexture> texture(new nTexture(g.GetEngine(), 0, 0));
            texture->SetName(textures[i].c_str());
            g.materials[i]->AddStage(MaterialChannelDiffuse, texture.Get(), MaterialUVMap, 0);
            g.materials[i]->ValidateStages();
        }
    }
}

TEST(GeometryMerge, ACubeAndAQuadGiveOneMeshInOrderWithTheSecondRenumbered)
{
    nOrvex engine;
    nSharedPtr<nGeometry> cube(new nGeometry(&engine)), quad(new nGeometry(&engine));
    BuildCube(*cube);
    BuildMesh(*quad, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2, 3}}, {0}, 1);
    quad->materials[0]->SetName("quad");
    const nMatrix4 shift = nMatrix4::Translation(nVector(10, 0, 0));
    std::unique_ptr<nGeometry> merged(MergeGeometries(cube.Get(), quad.Get(), &shift, 0));
    ASSERT_NE(merged, nullptr);
    EXPECT_EQ(merged->vertexCount, 12u);
    EXPECT_EQ(merged->polygonCount, 7u);
    EXPECT_EQ(merged->bindingCount, 28u);
    EXPECT_TRUE(VectorNear(merged->vertices[0], nVector(9, -1, -1), 1e-6f));  // the cube moved by its matrix
    EXPECT_TRUE(VectorNear(merged->vertices[10], nVector(1, 1, 0), 1e-6f));   // the quad where it was
    const nPolygon& last = merged->polygons[6];
    EXPECT_EQ(std::vector<int>(last.bindings, last.bindings + last.count), (std::vector<int>{8, 9, 10, 11}));
    EXPECT_EQ(last.bindings, merged->bindings + 24);
    EXPECT_EQ(MaterialNames(*merged), (std::vector<std::string>{"m0", "quad"}));
    EXPECT_EQ(PolygonMaterials(*merged), (std::vector<int>{0, 0, 0, 0, 0, 0, 1}));
    EXPECT_NE(merged->materials[0].Get(), cube->materials[0].Get());  // copies, not the sources' own
    EXPECT_EQ(merged->GetName().GetCStr(), nullptr);
}

TEST(GeometryMerge, EqualMaterialsMergeAndTheirPolygonsFollow)
{
    struct Case
    {
        const char* what;
        std::vector<std::string> first, firstTextures, second, secondTextures;
        std::vector<std::string> names;  // after the merge
        std::vector<int> polygons;       // material of each polygon after the merge
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"A B A + C B", {"A", "B", "A"}, {}, {"C", "B"}, {}, {"A", "B", "C"}, {0, 1, 0, 2, 1}, {"[H] Merging materials in geometry ''...\n", "Done, merged 2 material(s).\n"}},
        {"one name, one texture", {"A"}, {"wall.tga"}, {"A"}, {"wall.tga"}, {"A"}, {0, 0}, {"[H] Merging materials in geometry ''...\n", "Done, merged 1 material(s).\n"}},
        {"one name, other textures", {"A"}, {"wall.tga"}, {"A"}, {"floor.tga"}, {"A", "A"}, {0, 1}, {"[H] Merging materials in geometry ''...\n", "Done, merged 0 material(s).\n"}},
        {"one name, a texture on one side only", {"A"}, {"wall.tga"}, {"A"}, {}, {"A", "A"}, {0, 1}, {"[H] Merging materials in geometry ''...\n", "Done, merged 0 material(s).\n"}},
        {"other names, same settings", {"A"}, {}, {"B"}, {}, {"A", "B"}, {0, 1}, {"[H] Merging materials in geometry ''...\n", "Done, merged 0 material(s).\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        nOrvex engine;
        nSharedPtr<nGeometry> a(new nGeometry(&engine)), b(new nGeometry(&engine));
        BuildNamedTriangles(*a, c.first, c.firstTextures);
        BuildNamedTriangles(*b, c.second, c.secondTextures);
        nLogCapture cap;
        std::unique_ptr<nGeometry> merged(MergeGeometries(a.Get(), b.Get(), 0, 0));
        ASSERT_NE(merged, nullptr);
        EXPECT_EQ(MaterialNames(*merged), c.names);
        EXPECT_EQ(PolygonMaterials(*merged), c.polygons);
        std::vector<std::string> merges;
        for (const std::string& line : cap.Lines())
            if (line.find("erg") != std::string::npos) merges.push_back(line);
        EXPECT_EQ(merges, c.lines);
    }

    // A single material says nothing.
    nOrvex engine;
    nSharedPtr<nGeometry> a(new nGeometry(&engine)), b(new nGeometry(&engine));
    BuildNamedTriangles(*a, {"A"}, {});
    BuildMesh(*b, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, {0}, 0);
    nLogCapture cap;
    std::unique_ptr<nGeometry> merged(MergeGeometries(a.Get(), b.Get(), 0, 0));
    ASSERT_NE(merged, nullptr);
    EXPECT_EQ(merged->materialCount, 1u);
    EXPECT_EQ(cap.Lines(), Calls{});
}

TEST(GeometryMerge, AttributesOneSideLacksAreFilledIn)
{
    nOrvex engine;
    nSharedPtr<nGeometry> a(new nGeometry(&engine)), b(new nGeometry(&engine));
    BuildMesh(*a, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, {0}, 1);
    BuildMesh(*b, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2, 3}}, {0}, 1);
    a->uvSets[0] = nGeometry::AllocateArray<nVector2>(3);
    for (int i = 0; i < 3; ++i) a->uvSets[0][i] = nVector2(0.1f * i, 0.2f);
    a->uvSetCount = 1;
    b->colors = nGeometry::AllocateArray<nGeometryColor>(4);
    for (int i = 0; i < 4; ++i) b->colors[i] = nGeometryColor{0.25f, 0.5f, 0.75f, 0.5f};
    std::unique_ptr<nGeometry> merged(MergeGeometries(a.Get(), b.Get(), 0, 0));
    ASSERT_NE(merged, nullptr);
    ASSERT_EQ(merged->uvSetCount, 1u);
    ASSERT_NE(merged->uvSets[0], nullptr);
    EXPECT_EQ(merged->uvSets[1], nullptr);
    ASSERT_NE(merged->colors, nullptr);
    for (uint32_t i = 0; i < 7; ++i) {
        SCOPED_TRACE(i);
        const nVector2 uv = merged->uvSets[0][i];
        const nGeometryColor& colour = merged->colors[i];
        if (i < 3) {
            EXPECT_FLOAT_EQ(uv.x, 0.1f * i);
            EXPECT_FLOAT_EQ(colour.r + colour.g + colour.b + colour.a, 4.0f);  // white
        } else {
            EXPECT_FLOAT_EQ(uv.x, 0.5f);
            EXPECT_FLOAT_EQ(uv.y, 0.5f);
            EXPECT_FLOAT_EQ(colour.b, 0.75f);
        }
    }
}

// Under a non-uniform scale, normals rotated by the matrix itself lean off their surface; the
// merged ones must be the normals of the merged surface.
TEST(GeometryMerge, NormalsStayPerpendicularToTheirSurfaceUnderNonUniformScale)
{
    nOrvex engine;
    nSharedPtr<nGeometry> a(new nGeometry(&engine)), b(new nGeometry(&engine));
    BuildMesh(*a, {{0, 0, 0}, {1, 1, 0}, {0, 0, 1}}, {{0, 1, 2}}, {0}, 1);  // a 45-degree slope
    BuildMesh(*b, {{0, 0, 0}, {2, 0, 1}, {0, 3, 1}}, {{0, 1, 2}}, {0}, 1);
    a->ComputePolygonNormal(true);
    a->ComputeVertexNormal(true);
    const nMatrix4 stretch = nMatrix4::Scaling(nVector(1, 4, 1)) * nMatrix4::FromMatrix3(nMatrix3::RotationZ(0.3f));
    const nMatrix4 squash = nMatrix4::Translation(nVector(5, 0, 0)) * nMatrix4::Scaling(nVector(0.2f, 1, 3));
    std::unique_ptr<nGeometry> merged(MergeGeometries(a.Get(), b.Get(), &stretch, &squash));
    ASSERT_NE(merged, nullptr);
    ASSERT_NE(merged->polygonNormals, nullptr);
    ASSERT_NE(merged->vertexNormals, nullptr);
    std::vector<nVector> polygonNormals(merged->polygonNormals, merged->polygonNormals + 2);
    std::vector<nVector> cornerNormals(merged->vertexNormals, merged->vertexNormals + 6);
    merged->ComputePolygonNormal(true);  // from the merged positions
    for (uint32_t p = 0; p < 2; ++p) {
        SCOPED_TRACE(p);
        EXPECT_TRUE(VectorNear(polygonNormals[p], merged->polygonNormals[p], 1e-5f));
        EXPECT_FLOAT_EQ(polygonNormals[p].w, 1.0f);
        for (int c = 0; c < 3; ++c) EXPECT_TRUE(VectorNear(cornerNormals[3 * p + c], merged->polygonNormals[p], 1e-5f));
    }
}

TEST(GeometryMerge, ANullGeometryIsRefused)
{
    nOrvex engine;
    nSharedPtr<nGeometry> a(new nGeometry(&engine));
    BuildCube(*a);
    nLogCapture cap;
    EXPECT_EQ(MergeGeometries(a.Get(), 0, 0, 0), nullptr);
    EXPECT_EQ(MergeGeometries(0, a.Get(), 0, 0), nullptr);
    EXPECT_EQ(cap.Lines(), (Calls{"[!] Cannot merge NULL geometry.\n", "[!] Cannot merge NULL geometry.\n"}));
}

}
