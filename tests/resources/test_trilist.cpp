// Triangle lists against worked values: shared and split vertices, fans, batches by material,
// triangle, vertex and bone limits, carried attributes and skins, and refused input. Every
// conversion is also checked corner by corner against the geometry it came from.
#include "resources/nTrilist.h"
#include "tests/resources/nGeometryTestKit.h"
#include "tests/support/nLogCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

struct ListsDeleter
{
    void operator()(nLinkedList* lists) const { delete lists; }
};
typedef std::unique_ptr<nLinkedList, ListsDeleter> Lists;

std::vector<const nTrilist*> Entries(const Lists& lists)
{
    std::vector<const nTrilist*> out;
    nLinkedListIterator it;
    for (int32_t i = 0; lists && i < lists->GetCount(); ++i) out.push_back(static_cast<const nTrilist*>(lists->Iterate(it)));
    return out;
}

// The lines that are neither the conversion's opening line nor its closing timing line.
std::vector<std::string> Complaints(const nLogCapture& cap)
{
    std::vector<std::string> out;
    for (const std::string& line : cap.Lines())
        if (line.rfind("Converting geometry ", 0) != 0 && line.rfind("Done, in ", 0) != 0) out.push_back(line);
    return out;
}

bool SameVector(const nVector& a, const nVector& b) { return a.x == b.x && a.y == b.y && a.z == b.z && a.w == b.w; }

struct Limits
{
    uint32_t triangles = 16384;
    uint32_t vertices = kTrilistNoVertexLimit;
    uint32_t bones = kTrilistMaxBones;
};

// Rebuilds every drawn corner from the lists and compares it with the geometry: the lists must
// hold, material by material and polygon by polygon, each polygon's fan over its first 256
// corners with that corner's position and attributes. Also checks the limits, that every index
// is in range and every vertex is used, and that skin slots lead back to the original bones.
void ExpectListsRebuildGeometry(const nGeometry& g, const Lists& lists, const Limits& limits = Limits())
{
    ASSERT_TRUE(lists);
    std::vector<const nTrilist*> entries = Entries(lists);
    size_t next = 0;
    for (uint32_t t = 0; t < g.materialCount; ++t) {
        // The corners' bindings of material t's triangles, in drawing order.
        std::vector<int32_t> expected;
        int32_t offset = 0;
        for (uint32_t p = 0; p < g.polygonCount; offset += g.polygons[p].count, ++p) {
            const nPolygon& poly = g.polygons[p];
            uint32_t material = poly.material < g.materialCount ? poly.material : 0;
            if (material != t || poly.count < 3) continue;
            bool inside = true;
            for (uint32_t k = 0; k < poly.count; ++k) inside = inside && poly.bindings[k] >= 0 && (uint32_t)poly.bindings[k] < g.vertexCount;
            uint32_t used = poly.count < 256 ? poly.count : 256;
            if (!inside || used - 2 >= limits.triangles || used > limits.vertices) continue;
            for (uint32_t m = 1; m + 1 < used; ++m) {
                expected.push_back(offset);
                expected.push_back(offset + (int32_t)m);
                expected.push_back(offset + (int32_t)m + 1);
            }
        }
        std::vector<int32_t> got;  // bindings rebuilt through the lists
        for (; next < entries.size() && entries[next]->material == (int32_t)t; ++next) {
            const nTrilist& list = *entries[next];
            SCOPED_TRACE("list " + std::to_string(next) + " of material " + std::to_string(t));
            EXPECT_GT(list.triangleCount, 0u);
            EXPECT_LT(list.triangleCount, limits.triangles);
            EXPECT_LE(list.vertexCount, limits.vertices);
            EXPECT_LE(list.boneCount, limits.bones);
            std::vector<bool> used(list.vertexCount, false);
            for (uint32_t i = 0; i < 3 * list.triangleCount; ++i) {
                int32_t n = list.indices[i];
                ASSERT_GE(n, 0);
                ASSERT_LT((uint32_t)n, list.vertexCount);
                used[n] = true;
                size_t at = got.size();
                ASSERT_LT(at, expected.size()) << "more corners than the polygons have";
                int32_t b = expected[at];
                got.push_back(b);
                int32_t v = g.bindings[b];
                EXPECT_TRUE(SameVector(list.positions[n], g.vertices[v])) << "corner " << at;
                EXPECT_EQ(list.normals != nullptr, g.vertexNormals != nullptr);
                if (list.normals) {
                    EXPECT_TRUE(SameVector(list.normals[n], g.vertexNormals[b])) << "normal of corner " << at;
                }
                EXPECT_EQ(list.colours != nullptr, g.colors != nullptr);
                if (list.colours) {
                    EXPECT_EQ(list.colours[n].r, g.colors[b].r);
                    EXPECT_EQ(list.colours[n].g, g.colors[b].g);
                    EXPECT_EQ(list.colours[n].b, g.colors[b].b);
                    EXPECT_EQ(list.colours[n].a, g.colors[b].a);
                }
                for (int s = 0; s < kGeometryUVSetCount; ++s) {
                    bool has = (uint32_t)s < g.uvSetCount && g.uvSets[s];
                    EXPECT_EQ(list.uvSets[s] != nullptr, has) << "UV set " << s;
                    if (list.uvSets[s] && has) {
                        EXPECT_EQ(list.uvSets[s][n].x, g.uvSets[s][b].x) << "UV set " << s << " corner " << at;
                        EXPECT_EQ(list.uvSets[s][n].y, g.uvSets[s][b].y) << "UV set " << s << " corner " << at;
                    }
                }
                if (list.tangentFrames) {
                    EXPECT_TRUE(SameVector(list.tangentFrames[n].tangent, g.vertexTangents[b].tangent));
                    EXPECT_TRUE(SameVector(list.tangentFrames[n].bitangent, g.vertexTangents[b].bitangent));
                }
                EXPECT_EQ(list.skin != nullptr, g.skinWeights != nullptr);
                if (list.skin)
                    for (int k = 0; k < 4; ++k) {
                        const nTrilistSkin& s = list.skin[n];
                        if (s.weight[k] == 0.0f) continue;
                        ASSERT_LT(s.slot[k], list.boneCount);
                        if (s.weight[k] == g.skinWeights[v].weight[k]) {
                            EXPECT_EQ(list.bones[s.slot[k]], g.skinWeights[v].bone[k]) << "influence " << k << " of corner " << at;
                        }
                    }
            }
            for (uint32_t n = 0; n < list.vertexCount; ++n) EXPECT_TRUE(used[n]) << "vertex " << n << " unused";
        }
        EXPECT_EQ(got, expected) << "material " << t;
    }
    EXPECT_EQ(next, entries.size()) << "lists out of material order";
}

class TrilistTest : public ::testing::Test
{
protected:
    nLogCapture quiet;  // the conversion's progress lines stay out of the test output
    nOrvex engine;
};

// Attribute arrays of a geometry, allocated the way the geometry frees them.
void AddNormals(nGeometry& g, const std::vector<nVector>& perBinding)
{
    g.vertexNormals = nGeometry::AllocateArray<nVector>(g.bindingCount);
    for (uint32_t b = 0; b < g.bindingCount; ++b) g.vertexNormals[b] = perBinding[b];
}

void AddColours(nGeometry& g, const std::vector<nGeometryColor>& perBinding)
{
    g.colors = nGeometry::AllocateArray<nGeometryColor>(g.bindingCount);
    for (uint32_t b = 0; b < g.bindingCount; ++b) g.colors[b] = perBinding[b];
}

void AddUVSet(nGeometry& g, int set, const std::vector<nVector2>& perBinding)
{
    g.uvSets[set] = nGeometry::AllocateArray<nVector2>(g.bindingCount);
    for (uint32_t b = 0; b < g.bindingCount; ++b) g.uvSets[set][b] = perBinding[b];
    if (g.uvSetCount < (uint32_t)set + 1) g.uvSetCount = (uint32_t)set + 1;
}

void AddSkin(nGeometry& g, int32_t boneCount, const std::vector<nSkinWeight>& perVertex)
{
    g.AllocateSkin(boneCount);
    g.skinWeights = nGeometry::AllocateArray<nSkinWeight>(g.vertexCount);
    for (uint32_t v = 0; v < g.vertexCount; ++v) g.skinWeights[v] = perVertex[v];
}

TEST_F(TrilistTest, AQuadBecomesTwoTrianglesOverFourVertices)
{
    nGeometry g(&engine);
    g.SetName("quad");
    BuildMesh(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2, 3}}, {}, 1);
    nLogCapture cap;
    Lists lists(ConvertGeometryToTrilist(&g, 16384));
    ASSERT_TRUE(lists);
    std::vector<const nTrilist*> entries = Entries(lists);
    ASSERT_EQ(entries.size(), 1u);
    const nTrilist& list = *entries[0];
    EXPECT_EQ(list.vertexCount, 4u);
    EXPECT_EQ(list.triangleCount, 2u);
    EXPECT_EQ(std::vector<int32_t>(list.indices, list.indices + 6), (std::vector<int32_t>{0, 1, 2, 0, 2, 3}));
    EXPECT_TRUE(SameVector(list.positions[2], nVector(1, 1, 0, 1)));
    EXPECT_EQ(list.material, 0);
    EXPECT_EQ(list.normals, nullptr);
    EXPECT_EQ(list.colours, nullptr);
    EXPECT_EQ(list.skin, nullptr);
    EXPECT_EQ(list.bones, nullptr);
    EXPECT_EQ(list.boneCount, 0u);
    EXPECT_EQ(list.tangentFrames, nullptr);
    for (int s = 0; s < kGeometryUVSetCount; ++s) EXPECT_EQ(list.uvSets[s], nullptr);
    std::vector<std::string> lines = cap.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Converting geometry quad to triangle list...\n");
    EXPECT_EQ(lines[1].rfind("Done, in ", 0), 0u) << lines[1];
    EXPECT_NE(lines[1].find("ms. Average: 2.000 tri/list, 0.000 bone/list.\n"), std::string::npos) << lines[1];
    // The conversion leaves no homogeneous table behind.
    EXPECT_EQ(g.homogeneous, nullptr);
    ExpectListsRebuildGeometry(g, lists);
}

TEST_F(TrilistTest, CubeCornersAreSharedOnlyWhereTheirNormalsAgree)
{
    const struct
    {
        const char* label;
        bool faceNormals;
        uint32_t vertices;
    } cases[] = {
        {"a normal per face", true, 24},
        {"one normal per cube corner", false, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        nGeometry g(&engine);
        g.SetName("cube");
        BuildCube(g);
        std::vector<nVector> normals;
        const nVector faces[6] = {{0, 0, -1}, {0, 0, 1}, {0, -1, 0}, {0, 1, 0}, {1, 0, 0}, {-1, 0, 0}};
        for (uint32_t p = 0; p < 6; ++p)
            for (uint32_t k = 0; k < 4; ++k) {
                const nVector& corner = g.vertices[g.polygons[p].bindings[k]];
                normals.push_back(c.faceNormals ? faces[p] : nVector(corner.x, corner.y, corner.z, 1.0f));
            }
        AddNormals(g, normals);
        nLogCapture cap;
        Lists lists(ConvertGeometryToTrilist(&g, 16384));
        std::vector<const nTrilist*> entries = Entries(lists);
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0]->vertexCount, c.vertices);
        EXPECT_EQ(entries[0]->triangleCount, 12u);
        EXPECT_TRUE(Complaints(cap).empty());
        ExpectListsRebuildGeometry(g, lists);
    }
}

TEST_F(TrilistTest, PolygonsAreFannedFromTheirFirstCorner)
{
    const struct
    {
        uint32_t corners;
        uint32_t triangles;
        bool warned;
    } cases[] = {
        {3, 1, false},
        {5, 3, false},
        {8, 6, false},
        {256, 254, false},
        {257, 254, true},
        {300, 254, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.corners) + " corners");
        nGeometry g(&engine);
        g.SetName("fan");
        std::vector<nVector> ring;
        std::vector<int> corners;
        for (uint32_t k = 0; k < c.corners; ++k) {
            float a = 6.2831853f * (float)k / (float)c.corners;
            ring.push_back(nVector(std::cos(a), std::sin(a), 0.0f));
            corners.push_back((int)k);
        }
        BuildMesh(g, ring, {corners}, {}, 1);
        nLogCapture cap;
        Lists lists(ConvertGeometryToTrilist(&g, 16384));
        std::vector<const nTrilist*> entries = Entries(lists);
        ASSERT_EQ(entries.size(), 1u);
        const nTrilist& list = *entries[0];
        ASSERT_EQ(list.triangleCount, c.triangles);
        EXPECT_EQ(list.vertexCount, c.triangles + 2);  // corners past the 256th are not drawn
        for (uint32_t m = 0; m < c.triangles; ++m) {
            EXPECT_EQ(list.indices[3 * m], 0);
            EXPECT_EQ(list.indices[3 * m + 1], (int32_t)m + 1);
            EXPECT_EQ(list.indices[3 * m + 2], (int32_t)m + 2);
        }
        std::vector<std::string> expected;
        if (c.warned) expected.push_back("[*] One or more polygon(s) vertex count exceeded remapping capability (256).\n");
        EXPECT_EQ(Complaints(cap), expected);
        ExpectListsRebuildGeometry(g, lists);
    }
}

TEST_F(TrilistTest, EachMaterialGetsItsOwnListsInTableOrder)
{
    // Two quads side by side sharing an edge, a triangle on top, and a quad whose material index
    // is past the table (drawn with material 0). Material 2 has no polygon.
    nGeometry g(&engine);
    g.SetName("materials");
    BuildMesh(g, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 1, 0}, {1, 2, 0}, {5, 5, 0}, {6, 5, 0}, {6, 6, 0}},
              {{0, 1, 4, 3}, {1, 2, 5, 4}, {3, 4, 6}, {7, 8, 9}, {4, 5, 6}}, {1, 0, 0, 7, 3}, 4);
    nLogCapture cap;
    Lists lists(ConvertGeometryToTrilist(&g, 16384));
    std::vector<const nTrilist*> entries = Entries(lists);
    ASSERT_EQ(entries.size(), 3u);
    const struct
    {
        int32_t material;
        uint32_t vertices, triangles;
    } want[] = {
        // Material 0: every vertex but 2 also belongs to a polygon of another material, and
        // the out-of-range triangle never shares: no vertex is shared.
        {0, 4 + 3 + 3, 2 + 1 + 1},
        {1, 4, 2},
        {3, 3, 1},
    };
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE("list " + std::to_string(i));
        EXPECT_EQ(entries[i]->material, want[i].material);
        EXPECT_EQ(entries[i]->vertexCount, want[i].vertices);
        EXPECT_EQ(entries[i]->triangleCount, want[i].triangles);
    }
    EXPECT_TRUE(Complaints(cap).empty());
    ExpectListsRebuildGeometry(g, lists);
}

TEST_F(TrilistTest, VerticesOfOneMaterialAreSharedAcrossPolygons)
{
    // A 3 x 3 grid of quads, all material 0: 16 vertices when nothing differs; a UV seam down
    // the middle column splits the vertices on it.
    std::vector<nVector> points;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) points.push_back(nVector((float)x, (float)y, 0.0f));
    std::vector<std::vector<int>> quads;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) quads.push_back({y * 4 + x, y * 4 + x + 1, (y + 1) * 4 + x + 1, (y + 1) * 4 + x});
    for (bool seam : {false, true}) {
        SCOPED_TRACE(seam ? "seam" : "no seam");
        nGeometry g(&engine);
        BuildMesh(g, points, quads, {}, 1);
        std::vector<nVector2> uv;
        for (uint32_t p = 0; p < g.polygonCount; ++p)
            for (int k = 0; k < 4; ++k) {
                const nVector& at = g.vertices[g.polygons[p].bindings[k]];
                // Left of the seam x = 1 reads u = x, right of it u = x + 10.
                bool right = seam && (p % 3) >= 1;
                uv.push_back(nVector2(at.x + (right ? 10.0f : 0.0f), at.y));
            }
        AddUVSet(g, 0, uv);
        Lists lists(ConvertGeometryToTrilist(&g, 16384));
        std::vector<const nTrilist*> entries = Entries(lists);
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0]->triangleCount, 18u);
        // The 4 vertices of the seam column x = 1 have 12 corners, each a vertex of its own.
        EXPECT_EQ(entries[0]->vertexCount, seam ? 16u - 4u + 12u : 16u);
        ExpectListsRebuildGeometry(g, lists);
    }
}

TEST_F(TrilistTest, ListsCloseBeforeTheTriangleOrVertexLimit)
{
    // 20000 separate triangles of one material.
    const uint32_t kTriangles = 20000;
    nGeometry g(&engine);
    std::vector<nVector> points;
    std::vector<std::vector<int>> triangles;
    for (uint32_t i = 0; i < kTriangles; ++i) {
        points.push_back(nVector((float)i, 0, 0));
        points.push_back(nVector((float)i, 1, 0));
        points.push_back(nVector((float)i + 1, 0, 0));
        triangles.push_back({(int)(3 * i), (int)(3 * i + 1), (int)(3 * i + 2)});
    }
    BuildMesh(g, points, triangles, {}, 1);
    const struct
    {
        uint32_t triangles, vertices;
        std::vector<uint32_t> counts;
    } cases[] = {
        {16384, kTrilistNoVertexLimit, {16383, 3617}},
        {16384, 16384, {5461, 5461, 5461, 3617}},  // 16383 vertices each
        {2, 16384, std::vector<uint32_t>(kTriangles, 1)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.triangles) + " triangles, " + std::to_string(c.vertices) + " vertices");
        nLogCapture cap;
        Lists lists(ConvertGeometryToTrilist(&g, c.triangles, c.vertices));
        std::vector<uint32_t> counts;
        for (const nTrilist* list : Entries(lists)) counts.push_back(list->triangleCount);
        EXPECT_EQ(counts, c.counts);
        EXPECT_TRUE(Complaints(cap).empty());
        Limits limits;
        limits.triangles = c.triangles;
        limits.vertices = c.vertices;
        ExpectListsRebuildGeometry(g, lists, limits);
    }
}

TEST_F(TrilistTest, SharedVerticesAreRepeatedInEachListTheyReach)
{
    // A strip of 4 quads sharing edges; with room for 2 triangles per list each quad is a list.
    nGeometry g(&engine);
    BuildMesh(g, {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 0}, {2, 0, 0}, {2, 1, 0}, {3, 0, 0}, {3, 1, 0}, {4, 0, 0}, {4, 1, 0}},
              {{0, 2, 3, 1}, {2, 4, 5, 3}, {4, 6, 7, 5}, {6, 8, 9, 7}}, {}, 1);
    Limits limits;
    limits.triangles = 3;
    Lists lists(ConvertGeometryToTrilist(&g, limits.triangles));
    std::vector<const nTrilist*> entries = Entries(lists);
    ASSERT_EQ(entries.size(), 4u);
    for (const nTrilist* list : entries) {
        EXPECT_EQ(list->vertexCount, 4u);
        EXPECT_EQ(list->triangleCount, 2u);
    }
    ExpectListsRebuildGeometry(g, lists, limits);
}

TEST_F(TrilistTest, UVSetsColoursNormalsAndTangentsAreCarriedPerCorner)
{
    // Two triangles sharing an edge, material 0 with tangent normal mapping, material 1 without.
    // UV sets 0 and 2 exist, set 1 does not; colours differ at the shared corners.
    nGeometry g(&engine);
    BuildMesh(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 2, 0}, {3, 2, 0}, {3, 3, 0}},
              {{0, 1, 2}, {0, 2, 3}, {4, 5, 6}}, {0, 0, 1}, 2);
    g.materials[0]->renderFlags |= MaterialRenderNormalMapTangent;
    AddUVSet(g, 0, {{0, 0}, {1, 0}, {1, 1}, {0, 0}, {1, 1}, {0, 1}, {0.5f, 0.5f}, {0.25f, 0.5f}, {0.5f, 0.25f}});
    AddUVSet(g, 2, {{9, 0}, {9, 1}, {9, 2}, {9, 0}, {9, 2}, {9, 3}, {8, 0}, {8, 1}, {8, 2}});
    AddColours(g, {{1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 1}, {1, 0, 0, 1}, {1, 1, 1, 0.5f}, {0, 0, 0, 1}, {0.25f, 0.5f, 0.75f, 1}, {0.5f, 0.5f, 0.5f, 0.5f}, {1, 1, 0, 1}});
    std::vector<nVector> normals(g.bindingCount, nVector(0, 0, 1));
    AddNormals(g, normals);
    g.vertexTangents = nGeometry::AllocateArray<nTangentFrame>(g.bindingCount);
    for (uint32_t b = 0; b < g.bindingCount; ++b) {
        // Tangents do not decide sharing: the same frame at every corner of a vertex.
        float v = (float)g.bindings[b];
        g.vertexTangents[b] = nTangentFrame{nVector(1, v, 0, 1), nVector(0, 1, v, 1)};
    }
    Lists lists(ConvertGeometryToTrilist(&g, 16384));
    std::vector<const nTrilist*> entries = Entries(lists);
    ASSERT_EQ(entries.size(), 2u);
    // Vertex 0 agrees at both its corners; vertex 2 differs in colour: 5 vertices.
    EXPECT_EQ(entries[0]->vertexCount, 5u);
    EXPECT_NE(entries[0]->tangentFrames, nullptr);
    EXPECT_EQ(entries[1]->tangentFrames, nullptr);
    EXPECT_EQ(entries[0]->uvSets[1], nullptr);
    ASSERT_NE(entries[1]->uvSets[2], nullptr);
    EXPECT_EQ(entries[1]->uvSets[2][2].y, 2.0f);
    EXPECT_EQ(entries[1]->colours[1].a, 0.5f);
    ExpectListsRebuildGeometry(g, lists);
}

// One triangle per entry of boneSets; each vertex of triangle i carries its own four bones.
void BuildSkinnedTriangles(nGeometry& g, const std::vector<std::vector<uint16_t>>& bonesPerVertex, int32_t boneCount)
{
    std::vector<nVector> points;
    std::vector<std::vector<int>> triangles;
    for (size_t i = 0; i < bonesPerVertex.size(); i += 3) {
        for (int k = 0; k < 3; ++k) points.push_back(nVector((float)i, (float)k, 0));
        triangles.push_back({(int)i, (int)i + 1, (int)i + 2});
    }
    BuildMesh(g, points, triangles, {}, 1);
    std::vector<nSkinWeight> weights;
    for (const std::vector<uint16_t>& bones : bonesPerVertex) {
        nSkinWeight w{{0.4f, 0.3f, 0.2f, 0.1f}, {bones[0], bones[1], bones[2], bones[3]}};
        weights.push_back(w);
    }
    AddSkin(g, boneCount, weights);
}

TEST_F(TrilistTest, SkinnedVerticesGetSlotsInTheListsBoneTable)
{
    nGeometry g(&engine);
    BuildSkinnedTriangles(g, {{7, 3, 7, 3}, {3, 9, 0, 7}, {2, 2, 2, 2}}, 10);
    Lists lists(ConvertGeometryToTrilist(&g, 16384));
    std::vector<const nTrilist*> entries = Entries(lists);
    ASSERT_EQ(entries.size(), 1u);
    const nTrilist& list = *entries[0];
    ASSERT_EQ(list.boneCount, 5u);
    EXPECT_EQ(std::vector<uint16_t>(list.bones, list.bones + 5), (std::vector<uint16_t>{7, 3, 9, 0, 2}));
    ASSERT_NE(list.skin, nullptr);
    const uint8_t slots[3][4] = {{0, 1, 0, 1}, {1, 2, 3, 0}, {4, 4, 4, 4}};
    for (int v = 0; v < 3; ++v)
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(list.skin[v].slot[k], slots[v][k]) << v << " " << k;
            EXPECT_EQ(list.skin[v].weight[k], g.skinWeights[v].weight[k]);
        }
    ExpectListsRebuildGeometry(g, lists);
}

TEST_F(TrilistTest, ListsCloseBeforeTheirBoneTableOverflows)
{
    // Ten triangles, triangle i using bones 4i to 4i + 3 (40 bones in all).
    std::vector<std::vector<uint16_t>> bones;
    for (uint16_t i = 0; i < 10; ++i)
        for (int k = 0; k < 3; ++k) bones.push_back({uint16_t(4 * i), uint16_t(4 * i + 1), uint16_t(4 * i + 2), uint16_t(4 * i + 3)});
    // A list takes no further triangle once its table holds all but 4 of its bones (28 of 32),
    // and none that would overflow it.
    const struct
    {
        uint32_t maxBones;
        std::vector<uint32_t> triangles;
    } cases[] = {
        {32, {7, 3}},
        {26, {6, 4}},
        {16, {3, 3, 3, 1}},
        {4, std::vector<uint32_t>(10, 1)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.maxBones) + " bones");
        nGeometry g(&engine);
        BuildSkinnedTriangles(g, bones, 40);
        nLogCapture cap;
        Lists lists(ConvertGeometryToTrilist(&g, 16384, kTrilistNoVertexLimit, c.maxBones));
        std::vector<uint32_t> triangles;
        for (const nTrilist* list : Entries(lists)) {
            triangles.push_back(list->triangleCount);
            EXPECT_EQ(list->boneCount, 4 * list->triangleCount);
            // Its last triangle started with fewer bones in the table than the headroom leaves.
            if (list->triangleCount > 1) {
                EXPECT_LT(list->boneCount - 4, c.maxBones - kTrilistBoneHeadroom);
            }
        }
        EXPECT_EQ(triangles, c.triangles);
        EXPECT_TRUE(Complaints(cap).empty());
        Limits limits;
        limits.bones = c.maxBones;
        ExpectListsRebuildGeometry(g, lists, limits);
    }
}

TEST_F(TrilistTest, APolygonThatWouldOverflowTheBoneTableStartsTheNextList)
{
    // Four triangles of 12 bones each (every vertex its own four): after two of them the table
    // holds 24 bones, below the headroom mark, yet a third would need 36: it opens a new list
    // rather than losing the influences of 4 bones.
    std::vector<std::vector<uint16_t>> bones;
    for (uint16_t v = 0; v < 12; ++v) bones.push_back({uint16_t(4 * v), uint16_t(4 * v + 1), uint16_t(4 * v + 2), uint16_t(4 * v + 3)});
    nGeometry g(&engine);
    BuildSkinnedTriangles(g, bones, 48);
    nLogCapture cap;
    Lists lists(ConvertGeometryToTrilist(&g, 16384));
    std::vector<uint32_t> triangles, tables;
    for (const nTrilist* list : Entries(lists)) {
        triangles.push_back(list->triangleCount);
        tables.push_back(list->boneCount);
        for (uint32_t n = 0; n < list->vertexCount; ++n)
            for (int k = 0; k < 4; ++k) EXPECT_GT(list->skin[n].weight[k], 0.0f) << "an influence was lost";
    }
    EXPECT_EQ(triangles, (std::vector<uint32_t>{2, 2}));
    EXPECT_EQ(tables, (std::vector<uint32_t>{24, 24}));
    EXPECT_TRUE(Complaints(cap).empty());
    ExpectListsRebuildGeometry(g, lists);
}

TEST_F(TrilistTest, APolygonNeedingMoreBonesThanATableKeepsWhatFits)
{
    // One triangle with 12 bones and a table of 8: the third vertex loses all its bones and
    // follows slot 0 at full weight instead of weighing nothing.
    nGeometry g(&engine);
    g.SetName("greedy");
    BuildSkinnedTriangles(g, {{0, 1, 2, 3}, {4, 5, 6, 7}, {8, 9, 10, 11}}, 12);
    nLogCapture cap;
    Lists lists(ConvertGeometryToTrilist(&g, 16384, kTrilistNoVertexLimit, 8));
    std::vector<const nTrilist*> entries = Entries(lists);
    ASSERT_EQ(entries.size(), 1u);
    const nTrilist& list = *entries[0];
    ASSERT_EQ(list.boneCount, 8u);
    EXPECT_EQ(Complaints(cap), (std::vector<std::string>{"[!] Bone array safeguard exceeded!\n"}));
    const nTrilistSkin& lost = list.skin[2];
    EXPECT_EQ(lost.weight[0], 1.0f);
    EXPECT_EQ(lost.slot[0], 0);
    for (int k = 1; k < 4; ++k) EXPECT_EQ(lost.weight[k], 0.0f);
    EXPECT_EQ(list.skin[1].slot[3], 7);
    Limits limits;
    limits.bones = 8;
    ExpectListsRebuildGeometry(g, lists, limits);
}

TEST_F(TrilistTest, AVertexWithoutWeightFollowsItsFirstBone)
{
    nGeometry g(&engine);
    BuildSkinnedTriangles(g, {{0, 1, 2, 3}, {1, 2, 3, 4}, {5, 1, 1, 1}}, 6);
    for (int k = 0; k < 4; ++k) g.skinWeights[2].weight[k] = 0.0f;
    Lists lists(ConvertGeometryToTrilist(&g, 16384));
    std::vector<const nTrilist*> entries = Entries(lists);
    ASSERT_EQ(entries.size(), 1u);
    const nTrilistSkin& s = entries[0]->skin[2];
    EXPECT_EQ(entries[0]->bones[s.slot[0]], 5);
    EXPECT_EQ(s.weight[0], 1.0f);
}

// Random meshes: vertices shared by random polygons of random materials, attributes drawn from a
// few values so that corners either agree exactly or clearly differ, random limits. Every
// corner must come back from the lists.
TEST_F(TrilistTest, RandomMeshesRebuildCornerByCorner)
{
    const struct
    {
        unsigned seed;
        uint32_t triangles, vertices, bones;
        bool skin;
    } cases[] = {
        {1, 16384, kTrilistNoVertexLimit, 32, false},
        {2, 16384, 16384, 16, true},
        {3, 40, 30, 12, true},
        {4, 8, 12, 32, true},
        {5, 3, kTrilistNoVertexLimit, 4, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("seed " + std::to_string(c.seed));
        std::mt19937 random(c.seed);
        auto pick = [&random](int n) { return (int)(random() % (uint32_t)n); };
        const int kVertices = 60;
        std::vector<nVector> points;
        for (int v = 0; v < kVertices; ++v) points.push_back(nVector((float)pick(10), (float)pick(10), (float)pick(10)));
        std::vector<std::vector<int>> polys;
        std::vector<int> materials;
        for (int p = 0; p < 200; ++p) {
            int corners = 3 + pick(6);
            std::vector<int> poly;
            while ((int)poly.size() < corners) {
                int v = pick(kVertices);
                bool repeated = false;
                for (int u : poly) repeated = repeated || u == v;
                if (!repeated) poly.push_back(v);
            }
            polys.push_back(poly);
            materials.push_back(pick(4));  // 3 materials: index 3 reads as 0
        }
        nGeometry g(&engine);
        g.SetName("random");
        BuildMesh(g, points, polys, materials, 3);
        g.materials[1]->renderFlags |= MaterialRenderNormalMapTangent;
        const float values[3] = {0.0f, 0.5f, 1.0f};
        std::vector<nVector> normals;
        std::vector<nGeometryColor> colours;
        std::vector<nVector2> uv;
        for (uint32_t b = 0; b < g.bindingCount; ++b) {
            // Mostly one value per vertex, so that many vertices stay shared.
            bool odd = pick(4) == 0;
            float f = odd ? values[pick(3)] : values[g.bindings[b] % 3];
            normals.push_back(nVector(f, 1, 0));
            colours.push_back(nGeometryColor{f, 0.5f, 1 - f, 1});
            uv.push_back(nVector2(f, (float)(g.bindings[b] % 5)));
        }
        AddNormals(g, normals);
        AddColours(g, colours);
        AddUVSet(g, 1, uv);
        g.vertexTangents = nGeometry::AllocateArray<nTangentFrame>(g.bindingCount);
        for (uint32_t b = 0; b < g.bindingCount; ++b) {
            float v = (float)g.bindings[b];
            g.vertexTangents[b] = nTangentFrame{nVector(v, 0, 0, 1), nVector(0, v, 0, 1)};
        }
        if (c.skin) {
            std::vector<nSkinWeight> weights;
            for (int v = 0; v < kVertices; ++v)
                weights.push_back(nSkinWeight{{0.4f, 0.3f, 0.2f, 0.1f},
                                              {uint16_t(pick(24)), uint16_t(pick(24)), uint16_t(pick(24)), uint16_t(pick(24))}});
            AddSkin(g, 24, weights);
        }
        Lists lists(ConvertGeometryToTrilist(&g, c.triangles, c.vertices, c.bones));
        Limits limits;
        limits.triangles = c.triangles;
        limits.vertices = c.vertices;
        limits.bones = c.bones;
        ExpectListsRebuildGeometry(g, lists, limits);
        // Tangent frames only where the material asks for them.
        for (const nTrilist* list : Entries(lists)) EXPECT_EQ(list->tangentFrames != nullptr, list->material == 1);
    }
}

TEST_F(TrilistTest, BadInputGivesOneLogLine)
{
    nLogCapture cap;
    EXPECT_EQ(ConvertGeometryToTrilist(nullptr, 16384), nullptr);
    EXPECT_EQ(Complaints(cap), (std::vector<std::string>{"[!] Invalid geometry ().\n"}));

    cap.Clear();
    nGeometry empty(&engine);
    empty.SetName("empty");
    EXPECT_EQ(ConvertGeometryToTrilist(&empty, 16384), nullptr);
    EXPECT_EQ(Complaints(cap), (std::vector<std::string>{"[!] Invalid geometry (empty).\n"}));

    // Points and lines among triangles: skipped with one warning for all of them.
    cap.Clear();
    nGeometry thin(&engine);
    thin.SetName("thin");
    BuildMesh(thin, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1}, {0, 1, 2}, {2}, {1, 2}}, {}, 1);
    Lists lists(ConvertGeometryToTrilist(&thin, 16384));
    EXPECT_EQ(Complaints(cap), (std::vector<std::string>{"[*] Skipped 3 polygon(s) with fewer than 3 corners in geometry thin.\n"}));
    ASSERT_EQ(Entries(lists).size(), 1u);
    EXPECT_EQ(Entries(lists)[0]->triangleCount, 1u);
    ExpectListsRebuildGeometry(thin, lists);

    // Only lines: nothing to draw, an empty list of lists.
    cap.Clear();
    nGeometry lines(&engine);
    lines.SetName("lines");
    BuildMesh(lines, {{0, 0, 0}, {1, 0, 0}}, {{0, 1}}, {}, 1);
    Lists none(ConvertGeometryToTrilist(&lines, 16384));
    ASSERT_TRUE(none);
    EXPECT_EQ(none->GetCount(), 0);
    EXPECT_EQ(Complaints(cap), (std::vector<std::string>{"[*] Skipped 1 polygon(s) with fewer than 3 corners in geometry lines.\n"}));

    // A corner naming a vertex that does not exist.
    cap.Clear();
    nGeometry broken(&engine);
    broken.SetName("broken");
    BuildMesh(broken, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}}, {}, 1);
    Lists fixed(ConvertGeometryToTrilist(&broken, 16384));
    EXPECT_EQ(Complaints(cap), (std::vector<std::string>{"[!] Skipped 1 polygon(s) with corners outside geometry broken.\n"}));
    ExpectListsRebuildGeometry(broken, fixed);

    // A polygon with more triangles than any list may hold is skipped instead of stalling.
    cap.Clear();
    nGeometry big(&engine);
    big.SetName("big");
    BuildMesh(big, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {-1, 1, 0}, {-1, 0, 0}}, {{0, 1, 2, 3, 4, 5}, {0, 1, 2}}, {}, 1);
    Limits limits;
    limits.triangles = 4;
    Lists rest(ConvertGeometryToTrilist(&big, limits.triangles));
    EXPECT_EQ(Complaints(cap), (std::vector<std::string>{"[!] Skipped 1 polygon(s) too large for one triangle list in geometry big.\n"}));
    ASSERT_EQ(Entries(rest).size(), 1u);
    EXPECT_EQ(Entries(rest)[0]->triangleCount, 1u);
    ExpectListsRebuildGeometry(big, rest, limits);

    // Without materials nothing is drawn, and nothing is wrong.
    cap.Clear();
    nGeometry bare(&engine);
    BuildMesh(bare, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, {}, 0);
    Lists nothing(ConvertGeometryToTrilist(&bare, 16384));
    ASSERT_TRUE(nothing);
    EXPECT_EQ(nothing->GetCount(), 0);
    EXPECT_TRUE(Complaints(cap).empty());
}

}
