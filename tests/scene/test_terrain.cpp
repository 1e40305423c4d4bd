// Terrains: the quadtree and its detail levels, node bounds against every sample, height files
// of every size, heights, normals, smoothing, the viewer later passes refine for, the NML
// forms and terrains in scene files.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "hub/nOrvex.h"
#include "render/nRenderer.h"
#include "scene/nCamera.h"
#include "scene/nScene.h"
#include "scene/nTerrain.h"
#include "tests/scene/kit/nKitScene.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nMLTestSupport.h"
#include "tests/support/nTempDir.h"

namespace {

// The bytes of a height file: rows of little-endian int16 samples.
std::string HeightFile(int32_t width, int32_t height, int16_t (*sample)(int32_t column, int32_t row))
{
    std::string bytes;
    for (int32_t row = 0; row < height; ++row)
        for (int32_t column = 0; column < width; ++column) {
            const uint16_t v = (uint16_t)sample(column, row);
            bytes.push_back((char)(v & 0xff));
            bytes.push_back((char)(v >> 8));
        }
    return bytes;
}

int16_t Ramp(int32_t column, int32_t row)
{
    return (int16_t)(column * 3 - row * 5);
}

// A terrain whose samples are written directly through a loaded height file.
void Load(nTerrain& terrain, int32_t width, int32_t height, float ppm, int16_t (*sample)(int32_t, int32_t))
{
    ASSERT_TRUE(terrain.SetSize(width, height, ppm));
    ASSERT_TRUE(nMLPutMemoryFile("grid.u16", HeightFile(width, height, sample)));
    ASSERT_TRUE(terrain.LoadHeightFile("grid.u16"));
    terrain.BuildQuadtree();
}

// The lines the terrain writes, without the texture loader's own about missing pictures.
std::vector<std::string> TerrainLines(const nLogCapture& capture)
{
    std::vector<std::string> lines;
    for (const std::string& line : capture.Lines())
        if (line.rfind("[!] Failed to set texture content from ", 0) != 0) lines.push_back(line);
    return lines;
}

struct LevelCount
{
    std::vector<int32_t> steps;  // the step of each level, root first
    std::vector<int32_t> nodes;  // nodes on each level
};

void CountLevels(const nTerrainNode* node, int32_t depth, LevelCount& out)
{
    if (!node) return;
    if ((int32_t)out.steps.size() <= depth) {
        out.steps.push_back(node->step);
        out.nodes.push_back(0);
    }
    EXPECT_EQ(out.steps[depth], node->step) << "every node of a level has its step";
    ++out.nodes[depth];
    for (const nTerrainNode* child : node->children) CountLevels(child, depth + 1, out);
}

void ExpectPatchesSpan64Steps(const nTerrainNode* node)
{
    if (!node) return;
    EXPECT_EQ(node->width, 64 * node->step);
    EXPECT_EQ(node->height, 64 * node->step);
    for (const nTerrainNode* child : node->children) ExpectPatchesSpan64Steps(child);
}

}

TEST(TerrainQuadtree, LevelsAndStepsByGridSize)
{
    struct Case
    {
        int32_t width, height;
        std::vector<int32_t> steps;
        std::vector<int32_t> nodes;
    };
    const Case cases[] = {
        {1024, 1024, {16, 8, 4, 2, 1}, {1, 4, 16, 64, 256}},
        {2048, 2048, {32, 16, 8, 4, 2, 1}, {1, 4, 16, 64, 256, 1024}},
        {128, 128, {2, 1}, {1, 4}},
        {64, 64, {1}, {1}},
        {63, 63, {}, {}},
        {128, 64, {2, 1}, {1, 4}},
        {4096, 64, {64, 32, 16, 8, 4, 2, 1}, {1, 4, 16, 64, 256, 1024, 4096}},  // as many levels as the rows allow
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        nOrvex engine;
        nTerrain terrain(&engine);
        ASSERT_TRUE(terrain.SetSize(c.width, c.height, 1.0f));
        terrain.BuildQuadtree();
        LevelCount count;
        CountLevels(terrain.GetQuadtree(), 0, count);
        EXPECT_EQ(count.steps, c.steps);
        EXPECT_EQ(count.nodes, c.nodes);
        if (c.width == c.height) ExpectPatchesSpan64Steps(terrain.GetQuadtree());
    }
}

// Every node's bounds hold each sample its area reaches, the far row and column included, and
// no more; an extreme sample on a node's far edge is inside.
TEST(TerrainQuadtree, BoundsHoldEverySampleOfTheArea)
{
    nOrvex engine;
    nTerrain terrain(&engine);
    Load(terrain, 128, 128, 0.5f, [](int32_t c, int32_t r) { return (int16_t)(((c * 7919 + r * 104729) % 2001) - 1000); });
    // Peaks on the far row and far column of the first child (columns and rows 0..64).
    ASSERT_TRUE(nMLPutMemoryFile("peaks.u16", HeightFile(128, 128, [](int32_t c, int32_t r) {
                                     return (int16_t)(r == 64 && c == 10 ? 30000 : (c == 64 && r == 5 ? -30000 : 0));
                                 })));
    ASSERT_TRUE(terrain.LoadHeightFile("peaks.u16"));
    terrain.BuildQuadtree();
    const nTerrainNode* first = terrain.GetQuadtree()->children[0];
    ASSERT_NE(first, nullptr);
    EXPECT_FLOAT_EQ(first->bounds.max.y, 30000 / 20.0f);
    EXPECT_FLOAT_EQ(first->bounds.min.y, -30000 / 20.0f);
    EXPECT_FLOAT_EQ(first->bounds.min.x, 0.0f);
    EXPECT_FLOAT_EQ(first->bounds.max.x, 64 * 2.0f);
    EXPECT_FLOAT_EQ(first->bounds.min.z, -64 * 2.0f);
    EXPECT_FLOAT_EQ(first->bounds.max.z, 0.0f);

    Load(terrain, 128, 128, 0.5f, [](int32_t c, int32_t r) { return (int16_t)(((c * 7919 + r * 104729) % 2001) - 1000); });
    std::vector<const nTerrainNode*> pending = {terrain.GetQuadtree()};
    while (!pending.empty()) {
        const nTerrainNode* node = pending.back();
        pending.pop_back();
        int16_t lowest = SHRT_MAX, highest = SHRT_MIN;
        for (int32_t r = node->row; r <= node->row + node->height; ++r)
            for (int32_t c = node->column; c <= node->column + node->width; ++c) {
                lowest = std::min(lowest, terrain.GetSample(c, r));
                highest = std::max(highest, terrain.GetSample(c, r));
            }
        EXPECT_FLOAT_EQ(node->bounds.min.y, lowest / 20.0f) << node->column << ", " << node->row;
        EXPECT_FLOAT_EQ(node->bounds.max.y, highest / 20.0f) << node->column << ", " << node->row;
        for (const nTerrainNode* child : node->children)
            if (child) pending.push_back(child);
    }
}

// A node is drawn whole when the viewer is farther from its centre than twice its diagonal;
// at exactly twice the diagonal its children are drawn instead.
TEST(TerrainQuadtree, DetailByDistance)
{
    nOrvex engine;
    nTerrain terrain(&engine);
    Load(terrain, 256, 256, 1.0f, [](int32_t, int32_t) { return (int16_t)0; });
    const nTerrainNode* root = terrain.GetQuadtree();
    ASSERT_NE(root, nullptr);
    const nVector centre = (root->bounds.min + root->bounds.max) * 0.5f;
    const float s = (root->bounds.max - root->bounds.min).Length();
    struct Case
    {
        const char* what;
        nVector eye;
        size_t records;  // 0: more than the four children
        int32_t step;    // of the first record
    };
    const Case cases[] = {
        {"just beyond twice the diagonal", nVector(centre.x, 2.0f * s * 1.001f, centre.z), 1, 4},
        {"at twice the diagonal", nVector(centre.x, 2.0f * s, centre.z), 4, 2},
        {"on the surface by the first corner", nVector(1.0f, 0.0f, -1.0f), 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        nRenderablePrimitiveList list;
        terrain.CollectNodes(nVector(c.eye.x, c.eye.y, c.eye.z, 1.0f), &list);
        ASSERT_GT(list.GetCount(), 0u);
        if (c.records) EXPECT_EQ((size_t)list.GetCount(), c.records);
        else EXPECT_GT((size_t)list.GetCount(), 4u);
        const nRenderablePrimitive* first = list.GetHead()->value;
        EXPECT_EQ(first->kind, RenderablePrimitiveTerrain);
        EXPECT_EQ(first->owner, &terrain);
        EXPECT_EQ(first->depth, 0.0f);
        EXPECT_EQ(static_cast<nTerrainNode*>(first->payload)->step, c.step);
        DeletePrimitiveList(&list);
    }
}

// Later passes of a frame refine as the frame's main view does, and never with the camera of
// an earlier frame: once the queue is reset, a pass refines for its own camera.
TEST(TerrainQuadtree, LaterPassesRefineForTheFramesViewOnly)
{
    nOrvex engine;
    nTerrain terrain(&engine);
    Load(terrain, 256, 256, 1.0f, Ramp);
    nCamera nearCamera(&engine), farCamera(&engine);
    nearCamera.SetPosition(nVector(10.0f, 5.0f, -10.0f));
    farCamera.SetPosition(nVector(128.0f, 50.0f, -800.0f));
    for (nCamera* camera : {&nearCamera, &farCamera}) {
        camera->UpdateWorldMatrix();
        camera->ComputeFrustum(0, -1.0f, -1.0f);
    }
    nRenderer* renderer = engine.GetRenderer();
    ASSERT_NE(renderer, nullptr);
    auto count = [&](nItem* camera, int32_t pass) {
        nRenderablePrimitiveList list;
        terrain.Enqueue(camera, &list, pass);
        const uint32_t n = list.GetCount();
        DeletePrimitiveList(&list);
        return n;
    };
    const uint32_t seenNear = count(&nearCamera, 0), seenFar = count(&farCamera, 0);
    ASSERT_NE(seenNear, seenFar);

    renderer->SetCamera(&nearCamera);
    renderer->QueueRenderable(&terrain);
    nRenderablePrimitiveList list;
    renderer->BuildPrimitiveList(&list, 0);
    EXPECT_EQ(list.GetCount(), seenNear);
    DeletePrimitiveList(&list);
    EXPECT_EQ(count(&farCamera, 1), seenNear) << "the shadow pass refines as the view does";
    renderer->ResetRenderQueue();
    EXPECT_EQ(renderer->GetViewCamera(), nullptr);
    EXPECT_EQ(count(&farCamera, 1), seenFar) << "no view camera is kept past the frame";
    renderer->SetCamera(0);
}

TEST(TerrainHeightFile, RightSizeLoadsWithEdgeCopies)
{
    nOrvex engine;
    nTerrain terrain(&engine);
    ASSERT_TRUE(terrain.SetSize(5, 3, 2.0f));
    std::string bytes = HeightFile(5, 3, Ramp);
    bytes[0] = (char)0x34, bytes[1] = (char)0x82;  // little-endian: 0x8234 = -32204
    ASSERT_TRUE(nMLPutMemoryFile("right.u16", bytes));
    nLogCapture capture;
    EXPECT_TRUE(terrain.LoadHeightFile("right.u16"));
    EXPECT_TRUE(capture.Lines().empty());
    EXPECT_EQ(terrain.GetSample(0, 0), -32204);
    for (int32_t row = 0; row < 3; ++row) {
        for (int32_t column = (row == 0 ? 1 : 0); column < 5; ++column) EXPECT_EQ(terrain.GetSample(column, row), Ramp(column, row));
        EXPECT_EQ(terrain.GetSamples()[row * 6 + 5], terrain.GetSamples()[row * 6 + 4]) << "extra column, row " << row;
    }
    for (int32_t column = 0; column <= 5; ++column)
        EXPECT_EQ(terrain.GetSamples()[3 * 6 + column], terrain.GetSamples()[2 * 6 + column]) << "extra row";
    EXPECT_FLOAT_EQ(terrain.GetWorldWidth(), 2.5f);
    EXPECT_FLOAT_EQ(terrain.GetWorldDepth(), 1.5f);
    EXPECT_FLOAT_EQ(terrain.GetSpacing(), 0.5f);

    nTempDir dir;
    ASSERT_TRUE(terrain.SaveHeightFile(dir.Path("saved.u16").c_str()));
    EXPECT_EQ(dir.Read("saved.u16"), bytes) << "saved without the edge copies";
}

// Files of another size, empty or missing files leave the grid as it was (zero from the start)
// and say so; the load is not reported as done.
TEST(TerrainHeightFile, WrongSizesAndMissingFilesAreRefused)
{
    struct Case
    {
        const char* what;
        const char* name;
        std::string bytes;
        std::string line;
    };
    const Case cases[] = {
        {"two bytes too many", "long.u16", HeightFile(8, 4, Ramp) + "xy",
         "[*] Corrupt heightmap data in long.u16, incorrect data size.\n"},
        {"two bytes short", "short.u16", HeightFile(8, 4, Ramp).substr(2),
         "[*] Corrupt heightmap data in short.u16, incorrect data size.\n"},
        {"one odd byte", "odd.u16", "x", "[*] Corrupt heightmap data in odd.u16, incorrect data size.\n"},
        {"empty", "empty.u16", "", "[!] Failed to allocate heightmap load buffer.\n"},
        {"missing", "missing.u16", "-", "[!] Failed to allocate heightmap load buffer.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        nOrvex engine;
        nTerrain terrain(&engine);
        ASSERT_TRUE(terrain.SetSize(8, 4, 1.0f));
        if (c.bytes != "-") {
            ASSERT_TRUE(nMLPutMemoryFile(c.name, c.bytes));
        }
        nLogCapture capture;
        EXPECT_FALSE(terrain.LoadHeightFile(c.name));
        EXPECT_EQ(capture.Lines(), std::vector<std::string>{c.line});
        for (int32_t i = 0; i < 9 * 5; ++i) EXPECT_EQ(terrain.GetSamples()[i], 0) << i;
    }
}

// Sizes that cannot be held, or would overflow the sizes computed from them, are refused with
// one line and leave no grid; the same through the scene file's Heightmap tag.
TEST(TerrainHeightFile, AbsurdSizesAreRefused)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case
    {
        int32_t width, height;
        float ppm;
        std::string line;
    };
    const Case cases[] = {
        {0, 16, 1.0f, "[!] Terrain size 0 x 16 at 1.000 points per unit is out of range (1 to 4096 samples a side, a positive number of points).\n"},
        {16, -3, 1.0f, "[!] Terrain size 16 x -3 at 1.000 points per unit is out of range (1 to 4096 samples a side, a positive number of points).\n"},
        {65535, 65535, 1.0f, "[!] Terrain size 65535 x 65535 at 1.000 points per unit is out of range (1 to 4096 samples a side, a positive number of points).\n"},
        {INT_MAX, INT_MAX, 1.0f, "[!] Terrain size 2147483647 x 2147483647 at 1.000 points per unit is out of range (1 to 4096 samples a side, a positive number of points).\n"},
        {16, 16, 0.0f, "[!] Terrain size 16 x 16 at 0.000 points per unit is out of range (1 to 4096 samples a side, a positive number of points).\n"},
        {16, 16, -2.0f, "[!] Terrain size 16 x 16 at -2.000 points per unit is out of range (1 to 4096 samples a side, a positive number of points).\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        nOrvex engine;
        nTerrain terrain(&engine);
        ASSERT_TRUE(terrain.SetSize(4, 4, 1.0f));
        nLogCapture capture;
        EXPECT_FALSE(terrain.SetSize(c.width, c.height, c.ppm));
        EXPECT_EQ(capture.Lines(), std::vector<std::string>{c.line});
        EXPECT_EQ(terrain.GetSamples(), nullptr);
        EXPECT_EQ(terrain.GetGridWidth(), 0);
        EXPECT_EQ(terrain.GetHeight(nVector(0.5f, 0.0f, -0.5f)), 0.0f);
        terrain.BuildQuadtree();
        EXPECT_EQ(terrain.GetQuadtree(), nullptr);
    }
    nOrvex engine;
    nTerrain terrain(&engine);
    nLogCapture capture;
    for (float ppm : {nan, std::numeric_limits<float>::infinity(), 1e-38f, std::numeric_limits<float>::denorm_min()}) {
        capture.Clear();
        EXPECT_FALSE(terrain.SetSize(16, 16, ppm)) << ppm;
        EXPECT_EQ(capture.Lines().size(), 1u);
    }

    nMetaFile document;
    nMetaTag* tag = nMLParseRoot(document, "<Terrain= <BasePath=\"t\"> <Heightmap= <Width=1000000> <Height=1000000> <Ppm=1.0> <Data=\"t/height.u16\"> > >");
    ASSERT_NE(tag, nullptr);
    capture.Clear();
    EXPECT_TRUE(terrain.Deserialize(&document, tag));
    ASSERT_EQ(capture.Lines().size(), 3u) << capture.Text();
    EXPECT_EQ(capture.Lines()[0].rfind("[!] Terrain size 1000000 x 1000000", 0), 0u);
    EXPECT_EQ(capture.Lines()[1], "[!] Failed to set texture content from 't/blend.tga'.\n");  // the loader's own line
    EXPECT_EQ(capture.Lines()[2], "[!] Terrain blendmap corrupted.\n");
    EXPECT_EQ(terrain.GetSamples(), nullptr);
}

TEST(Terrain, HeightsBelowPoints)
{
    nOrvex engine;
    nTerrain terrain(&engine);
    Load(terrain, 8, 4, 2.0f, Ramp);  // 4 x 2 units, samples half a unit apart
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    struct Case
    {
        float x, z, height;
    };
    const Case cases[] = {
        {0.0f, 0.0f, Ramp(0, 0) / 20.0f},
        {0.74f, -0.26f, Ramp(1, 0) / 20.0f},
        {3.9f, -1.9f, Ramp(7, 3) / 20.0f},
        {1.5f, -1.0f, Ramp(3, 2) / 20.0f},
        {-0.2f, -1.0f, Ramp(0, 2) / 20.0f},  // truncation towards zero
        {-0.6f, -1.0f, 0.0f},
        {4.0f, -1.0f, 0.0f},
        {1.0f, -2.0f, 0.0f},
        {1.0f, 0.6f, 0.0f},
        {nan, -1.0f, 0.0f},
        {inf, -1.0f, 0.0f},
        {1.0f, -inf, 0.0f},
        {1e30f, 1e30f, 0.0f},
    };
    for (const Case& c : cases) EXPECT_FLOAT_EQ(terrain.GetHeight(nVector(c.x, 0.0f, c.z)), c.height) << c.x << ", " << c.z;
    nTerrain empty(&engine);
    EXPECT_EQ(empty.GetHeight(nVector(0.0f, 0.0f, 0.0f)), 0.0f);
}

TEST(Terrain, NormalsOfAPlaneAndARamp)
{
    nOrvex engine;
    nTerrain terrain(&engine);
    Load(terrain, 4, 4, 1.0f, [](int32_t, int32_t) { return (int16_t)300; });
    terrain.ComputeNormals(0, 0, 0, 0);
    EXPECT_EQ(terrain.GetNormals()[0], 0);
    EXPECT_EQ(terrain.GetNormals()[1], 127);
    EXPECT_EQ(terrain.GetNormals()[2], 0);
    // One unit up per sample along x: normal (-1, 1, 0) / sqrt 2; the extra column stays 0.
    Load(terrain, 4, 4, 1.0f, [](int32_t c, int32_t) { return (int16_t)(c * 20); });
    terrain.ComputeNormals(0, 0, 0, 0);
    const nVector n = terrain.GetNormal(1, 1);
    EXPECT_NEAR(n.x, -89 / 127.0f, 1e-6f);
    EXPECT_NEAR(n.y, 89 / 127.0f, 1e-6f);
    EXPECT_EQ(n.z, 0.0f);
    EXPECT_EQ(terrain.GetNormal(4, 1).y, 0.0f);
    EXPECT_EQ(terrain.GetNormal(5, 1).w, 1.0f);  // outside: (0, 0, 0, 1)
    // A region past the grid is cut to it.
    terrain.ComputeNormals(3, 3, 100, 100);
}

TEST(Terrain, SmoothWorksInPlaceOnInnerSamples)
{
    nOrvex engine;
    nTerrain terrain(&engine);
    Load(terrain, 4, 4, 1.0f, [](int32_t c, int32_t r) { return (int16_t)(c == 1 && r == 1 ? 100 : 0); });
    terrain.Smooth(1);
    // (1,1): (0 + 0 + 0 + 0 + 100) / 5 = 20; (2,1) then sees the smoothed left value 20: 4;
    // (1,2) sees 20 above: 4; (2,2) sees 4 and 4: 1.
    EXPECT_EQ(terrain.GetSample(1, 1), 20);
    EXPECT_EQ(terrain.GetSample(2, 1), 4);
    EXPECT_EQ(terrain.GetSample(1, 2), 4);
    EXPECT_EQ(terrain.GetSample(2, 2), 1);
    EXPECT_EQ(terrain.GetSample(0, 1), 0);
    terrain.Smooth(0);
    terrain.Smooth(-3);
    EXPECT_EQ(terrain.GetSample(1, 1), 20);
}

// Heights from a picture's red channel (red x 256 x 20 per sample, the edge copies sampled
// too); without a grid or a readable picture nothing is written.
TEST(Terrain, HeightsFromAPicture)
{
    nOrvex engine;
    nTerrain terrain(&engine);
    // A 1 x 1 uncompressed 32-bit TGA whose red is 128.
    const unsigned char tga[] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 32, 8, 10, 20, 128, 255};
    ASSERT_TRUE(nMLPutMemoryFile("red.tga", std::string(reinterpret_cast<const char*>(tga), sizeof(tga))));
    nLogCapture capture;
    EXPECT_FALSE(terrain.LoadFromPicture("red.tga", 0));
    EXPECT_EQ(capture.Lines(), std::vector<std::string>{"[*] Terrain has no grid to load the picture red.tga into.\n"});
    ASSERT_TRUE(terrain.SetSize(4, 3, 1.0f));
    capture.Clear();
    EXPECT_FALSE(terrain.LoadFromPicture("none.tga", 0));
    EXPECT_EQ(capture.Lines(), std::vector<std::string>{"[*] Terrain could not read the picture none.tga.\n"});
    ASSERT_TRUE(terrain.LoadFromPicture("red.tga", 2));
    const int16_t expected = (int16_t)(128.0f / 255.0f * 256.0f * 20.0f);
    for (int32_t row = 0; row <= 3; ++row)
        for (int32_t column = 0; column <= 4; ++column) EXPECT_NEAR(terrain.GetSample(column, row), expected, 1) << column << ", " << row;
}

TEST(TerrainNML, LayersHeightmapAndRoundTrip)
{
    nOrvex engine;
    ASSERT_TRUE(nMLPutMemoryFile("land/height.u16", HeightFile(64, 64, Ramp)));
    nMetaFile document;
    nMetaTag* tag = nMLParseRoot(document,
                                 "<Terrain= <BasePath=\"land\"> <Heightmap= <Width=64> <Height=64> <Ppm=0.5> <Data=\"land/height.u16\"> >"
                                 " <Width=300.0> <Height=200.0>"
                                 " <Layers= <Layer= <Index=2> <Diffuse=\"rock.tga\"> <UVTiling=8.0> <UVAngle=0.5> <UVAxis=\"XY\"> >"
                                 "          <Layer= <Diffuse=\"grass.tga\"> <UVAxis=\"YZ\"> > <Layer= <Index=4> <Normal=\"bump.tga\"> > <Other=1> >"
                                 " <Gadget=1> >");
    ASSERT_NE(tag, nullptr);
    nTerrain terrain(&engine);
    nLogCapture capture;
    ASSERT_TRUE(terrain.Deserialize(&document, tag));
    EXPECT_EQ(TerrainLines(capture), (std::vector<std::string>{"[*] Unknown tag 'Gadget' in <Terrain>.\n",
                                                               "[!] Terrain blendmap corrupted.\n"}));
    EXPECT_EQ(terrain.GetGridWidth(), 64);
    EXPECT_FLOAT_EQ(terrain.GetSpacing(), 2.0f);
    EXPECT_FLOAT_EQ(terrain.GetWorldWidth(), 300.0f) << "a Width after the Heightmap stays";
    EXPECT_FLOAT_EQ(terrain.GetWorldDepth(), 200.0f);
    EXPECT_EQ(terrain.GetSample(63, 63), Ramp(63, 63));
    ASSERT_NE(terrain.GetQuadtree(), nullptr);
    nTerrainLayer& rock = terrain.GetLayer(2);
    ASSERT_TRUE(rock.diffuse.IsValid());
    EXPECT_EQ(std::string(rock.diffuse->GetName().GetCStr()), "rock.tga");
    EXPECT_FLOAT_EQ(rock.uvTiling, 8.0f);
    EXPECT_EQ(rock.uvAxis, TerrainUVAxisXY);
    nTerrainLayer& first = terrain.GetLayer(0);
    ASSERT_TRUE(first.diffuse.IsValid());
    EXPECT_EQ(first.uvAxis, TerrainUVAxisXZ) << "\"YZ\" leaves the axis";
    EXPECT_TRUE(first.normal.IsValid()) << "Index 4 is layer 0";
    EXPECT_FALSE(terrain.GetLayer(1).diffuse.IsValid());
    EXPECT_EQ(&terrain.GetLayer(-1), &terrain.GetLayer(0));

    nMetaFile out;
    nMetaTag* written = terrain.Serialize(&out);
    ASSERT_NE(written, nullptr);
    EXPECT_EQ(nMLChildNames(written), (std::vector<std::string>{"Item", "BasePath", "Width", "Height", "Material", "Layers", "Heightmap"}));
    const std::string dump = nMLDumpTag(written);
    EXPECT_NE(dump.find("Layers{Layer{Index=i0,Diffuse=s\"grass.tga\",Normal=s\"bump.tga\",UVAngle=f0,UVTiling=f1,UVAxis=s\"XZ\"},"
                        "Layer{Index=i2,Diffuse=s\"rock.tga\",UVAngle=f0.5,UVTiling=f8,UVAxis=s\"XY\"}}"),
              std::string::npos)
        << dump;
    EXPECT_NE(dump.find("Heightmap{Width=i64,Height=i64,Ppm=f0.5,Data=s\"land/height.u16\"}"), std::string::npos) << dump;

    nTerrain again(&engine);
    capture.Clear();
    ASSERT_TRUE(again.Deserialize(&out, written));
    EXPECT_EQ(again.GetSample(10, 20), Ramp(10, 20));
    nMetaFile twice;
    nMetaTag* rewritten = again.Serialize(&twice);
    // The world size is written before the Heightmap, which sizes the world from the grid again.
    std::string expected = dump;
    expected.replace(expected.find("Width=f300,Height=f200"), 22, "Width=f128,Height=f128");
    EXPECT_EQ(nMLDumpTag(rewritten), expected);
    delete written;
    delete rewritten;
}

TEST(TerrainNML, WrongRootsAndIncompleteHeightmaps)
{
    nOrvex engine;
    nMetaFile document;
    nTerrain terrain(&engine);
    nLogCapture capture;
    EXPECT_FALSE(terrain.Deserialize(&document, nMLParseRoot(document, "<Ground= >")));
    EXPECT_EQ(capture.Lines(), std::vector<std::string>{"[!] Could not parse terrain. Root tag id is incorrect (Ground).\n"});
    // A missing or mistyped child makes the Heightmap do nothing.
    for (const char* heightmap : {"<Heightmap= <Width=64> <Height=64> <Data=\"x\"> >",
                                  "<Heightmap= <Width=64.0> <Height=64> <Ppm=1.0> <Data=\"x\"> >",
                                  "<Heightmap= <Width=64> <Height=64> <Ppm=1.0> <Data=3> >"}) {
        capture.Clear();
        nMetaFile d;
        EXPECT_TRUE(terrain.Deserialize(&d, nMLParseRoot(d, std::string("<Terrain= ") + heightmap + " >")));
        EXPECT_EQ(terrain.GetSamples(), nullptr) << heightmap;
        EXPECT_EQ(TerrainLines(capture), std::vector<std::string>{"[!] Terrain blendmap corrupted.\n"});
    }
}

// A height file of the wrong size leaves a flat grid, which the set-up still builds a tree over.
TEST(TerrainScene, AWrongSizeFileLeavesFlatGroundThatStillDraws)
{
    nKitScene kit;
    ASSERT_TRUE(nMLPutMemoryFile("flat/height.u16", HeightFile(64, 63, Ramp)));
    ASSERT_TRUE(nMLPutMemoryFile("flat.nms",
                                 "<NML=1.0>\n<Scene= <Items= <MTerrain= <MItem= <Id=\"flat\"> <UId=0> <Active> >"
                                 " <Terrain= <BasePath=\"flat\"> <Heightmap= <Width=64> <Height=64> <Ppm=1.0> <Data=\"flat/height.u16\"> > > > > >"));
    nLogCapture capture;
    ASSERT_TRUE(kit.scene->LoadFile("flat.nms", nullptr, FlagLoadAll, 0));
    nMTerrain* item = static_cast<nMTerrain*>(kit.scene->GetTerrains().GetHead()->value);
    EXPECT_EQ(item->GetTerrain().GetQuadtree(), nullptr);
    bool warned = false;
    for (const std::string& line : capture.Lines()) warned |= line == "[*] Corrupt heightmap data in flat/height.u16, incorrect data size.\n";
    EXPECT_TRUE(warned);
    kit.scene->Setup(true, 1024);
    ASSERT_NE(item->GetTerrain().GetQuadtree(), nullptr);
    EXPECT_EQ(item->GetTerrain().GetQuadtree()->bounds.max.y, 0.0f);
    EXPECT_EQ(item->GetTerrain().GetHeight(nVector(10.0f, 0.0f, -10.0f)), 0.0f);
}

TEST(TerrainScene, ManagedTerrainsLoadAndSaveInSceneFiles)
{
    nKitScene kit;
    ASSERT_TRUE(nMLPutMemoryFile("field/height.u16", HeightFile(64, 64, Ramp)));
    ASSERT_TRUE(nMLPutMemoryFile("field.nms",
                                 "<NML=1.0>\n<Scene= <Items= <MTerrain= <MItem= <Id=\"field\"> <UId=0> <Active> >"
                                 " <Terrain= <BasePath=\"field\"> <Heightmap= <Width=64> <Height=64> <Ppm=1.0> <Data=\"field/height.u16\"> > > > > >"));
    ASSERT_TRUE(kit.scene->LoadFile("field.nms", nullptr, FlagLoadAll, 0));
    ASSERT_EQ(kit.scene->GetTerrains().GetCount(), 1u);
    nMTerrain* item = static_cast<nMTerrain*>(kit.scene->GetTerrains().GetHead()->value);
    EXPECT_EQ(item->GetKind(), ManagedItemTerrain);
    EXPECT_EQ(std::string(item->GetName().GetCStr()), "field");
    EXPECT_EQ(item->GetTerrain().GetSample(5, 7), Ramp(5, 7));
    EXPECT_EQ(item->GetTerrain().GetManagedItem(), item);

    nMetaFile document;
    nMetaTag* written = kit.scene->Serialize(&document, nullptr, FlagLoadAll);
    ASSERT_NE(written, nullptr);
    EXPECT_NE(nMLDumpTag(written).find("MTerrain{MItem{"), std::string::npos);
    delete written;

    // Set up, the terrain is queued for drawing like the objects and emitters.
    kit.scene->Setup(true, 1024);
    kit.scene->Reset();
    kit.engine.GetRenderer()->ResetRenderQueue();
    kit.scene->RenderToQueue(0);
    bool queued = false;
    for (const nList<nRenderable*>::Node* n = kit.engine.GetRenderer()->GetRenderQueue().GetHead(); n; n = n->next)
        queued |= n->value == static_cast<nRenderable*>(&item->GetTerrain());
    EXPECT_TRUE(queued);
    kit.engine.GetRenderer()->ResetRenderQueue();

    nLogCapture capture;
    nMetaFile bad;
    EXPECT_FALSE(item->Deserialize(&bad, nMLParseRoot(bad, "<Terrain= >")));
    EXPECT_EQ(capture.Lines(), std::vector<std::string>{"[!] could not parse managed terrain. Root tag id is incorrect (Terrain).\n"});
}
