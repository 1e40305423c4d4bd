// The Geometry, Motion and AnimationSource functions through real Squirrel: their names and
// constants against the manifests, tables of calls on a geometry with materials and on an
// empty one (a material index past the end of an empty table gives NullMaterial), materials
// that outlive their geometry while a script holds them, motion positions repeating past
// the length, source lists of the motion-playing functions, and a sweep of every function
// with wrong kinds, null and deleted objects, boundary numbers and long strings.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "core/nBounds.h"
#include "resources/nGeometry.h"
#include "resources/nMaterial.h"
#include "resources/nOctreeNode.h"
#include "scene/nAnimationSource.h"
#include "scene/nMItem.h"
#include "scene/nMotion.h"
#include "scene/nScene.h"
#include "script/nCObject.h"
#include "scriptapi/nGeometryScriptAPI.h"
#include "scriptapi/nMotionScriptAPI.h"
#include "render/nRenderData.h"
#include "tests/kit/nCallLog.h"
#include "tests/kit/nRecordingRenderer.h"
#include "tests/scriptapi/nScriptAPITestKit.h"

namespace {

// A motion of one channel through the keys (time, value), in order.
nMotion* Keyed(const char* name, int32_t channel, const std::vector<std::pair<float, float>>& keys)
{
    nMotion* motion = new nMotion(name);
    nMotionChannel* c = motion->AddChannel(channel);
    c->SetKeyCount((int32_t)keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        c->GetKey((uint32_t)i)->time = keys[i].first;
        c->GetKey((uint32_t)i)->value = keys[i].second;
    }
    return motion;
}

class GeometryMotionAPI : public nScriptAPITest
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(nScriptAPITest::SetUp());
        Exec("class MinMax { min = null; max = null; constructor() { min = Vector(); max = Vector(); } }");
        crate = MakeGeometry("crate", {"wood", "metal", "paint"});
        empty = MakeGeometry("empty", {});
        Hold("crate", crate.Get(), objectTypeGeometry);
        Hold("empty", empty.Get(), objectTypeGeometry);
        Hold("nullGeometry", 0, objectTypeGeometry);

        CreateScene();
        // Two items play "spin" (four seconds about y); a third has "path", a fourth nothing.
        for (const char* name : {"left", "right"}) {
            nMItem* item = scene->CreateObject(name, 0);
            item->GetMotions().InsertAfter(Keyed("spin", ChannelYRot, {{0.0f, 0.0f}, {4.0f, 6.0f}}), 0);
            spinners.push_back(item);
        }
        mover = scene->CreateObject("mover", 0);
        nMotion* path = Keyed("path", ChannelXPos, {{0.0f, 0.0f}, {2.0f, 10.0f}});
        nMotionChannel* y = path->AddChannel(ChannelYPos);
        y->SetKeyCount(1);
        y->GetKey(0)->value = 3.0f;
        mover->GetMotions().InsertAfter(path, 0);
        mover->GetMotions().InsertAfter(Keyed("still", ChannelZPos, {{0.0f, 7.0f}}), 0);
        mover->GetMotions().InsertAfter(new nMotion("bare"), 0);
        scene->CreateObject("idle", 0);
        Hold("yard", scene, objectTypeScene);
        Hold("mover", mover, objectTypeItem);
        Hold("nullMotion", 0, objectTypeMotion);
        Hold("nullSources", 0, objectTypeAnimationSource);
        Exec("::path <- ItemGetMotion(mover, \"path\"); ::still <- ItemGetMotion(mover, \"still\");"
             "::bare <- ItemGetMotion(mover, \"bare\");");
        log.Clear();
    }

    void TearDown() override
    {
        nScriptAPITest::TearDown();
        crate.Release();
        empty.Release();
    }

    // A geometry with one named material per name, and a unit box of eight vertices.
    nSharedPtr<nGeometry> MakeGeometry(const char* name, const std::vector<const char*>& materials)
    {
        nSharedPtr<nGeometry> g(new nGeometry(&engine));
        g->SetName(name);
        if (!materials.empty()) {
            EXPECT_TRUE(g->AllocateMaterials((uint32_t)materials.size(), true));
            for (size_t i = 0; i < materials.size(); ++i) g->materials[i]->SetName(materials[i]);
        }
        return g;
    }

    // The source of each spinner in the list an AnimationSource object holds.
    nMotionAnimationSource* SourceOf(size_t spinner)
    {
        return dynamic_cast<nMotionAnimationSource*>(spinners[spinner]->GetSourceList().GetAt(0));
    }

    nSharedPtr<nGeometry> crate;
    nSharedPtr<nGeometry> empty;
    std::vector<nMItem*> spinners;
    nMItem* mover = 0;
};

std::vector<std::string> Sorted(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(GeometryMotionAPI, CensusOfNamesAndConstantsAgainstTheManifests)
{
    const struct
    {
        void (*registrar)(HSQUIRRELVM);
        const char* functions;
        const char* constants;
        const char* nullObject;
    } families[] = {
        {RegisterGeometryScriptAPI, "geometry_functions.tsv", 0, "nullGeometry"},
        {RegisterMotionScriptAPI, "motion_functions.tsv", "motion_constants.tsv", "nullMotion"},
        {RegisterAnimationSourceScriptAPI, "animationsource_functions.tsv", "animationsource_constants.tsv", "nullSources"},
    };
    for (const auto& family : families) {
        SCOPED_TRACE(family.functions);
        std::vector<std::string> expected;
        const std::vector<ManifestFunction> functions = ReadFunctionManifest(family.functions);
        for (const ManifestFunction& f : functions) expected.push_back(f.name);
        std::vector<ManifestConstant> constants;
        if (family.constants) constants = ReadConstantManifest(family.constants);
        for (const ManifestConstant& c : constants) {
            expected.push_back(c.name);
            EXPECT_EQ(Eval(c.name), std::to_string(c.value)) << c.name;
        }
        EXPECT_EQ(Sorted(NamesAddedBy(family.registrar)), Sorted(expected)) << "the family adds exactly its names";
        std::vector<Function> registered;
        for (const ManifestFunction& f : functions) registered.push_back({f.name.c_str(), MaskEntries(f.mask)});
        ExpectFunctions(registered.data(), registered.size());
        // A null object of the family's kind is refused by every function.
        for (const ManifestFunction& f : functions) {
            std::string call = f.name + "(" + family.nullObject;
            for (char letter : f.mask.substr(2)) call += letter == 'i' ? ", 1" : letter == 'b' ? ", true"
                                                                             : letter == 's'   ? ", \"x\""
                                                                                               : ", 0.5";
            call += ")";
            EXPECT_EQ(Run(call), "CObject is null") << call;
        }
    }
    EXPECT_EQ(NamesAddedBy(RegisterGeometryScriptAPI).size(), 9u);
    EXPECT_EQ(ReadConstantManifest("motion_constants.tsv").size(), 31u);
}

TEST_F(GeometryMotionAPI, MaterialsByNameByIndexAndAsAList)
{
    const Expected cases[] = {
        {"GeometryGetName(crate)", "crate"},
        {"GeometryGetMaterialCount(crate)", "3"},
        {"MaterialGetName(GeometryGetMaterial(crate, \"metal\"))", "metal"},
        {"MaterialGetName(GeometryGetMaterial(crate, \"paint\"))", "paint"},
        {"MaterialGetName(GeometryGetMaterial(crate, \"none\"))", "wood"},  // the first when none has the name
        {"MaterialGetName(GeometryGetMaterial(crate, \"\"))", "wood"},
        {"MaterialGetName(GeometryGetMaterialFromIndex(crate, 0))", "wood"},
        {"MaterialGetName(GeometryGetMaterialFromIndex(crate, 2))", "paint"},
        {"MaterialGetName(GeometryGetMaterialFromIndex(crate, 3))", "wood"},  // past the end: the first
        {"MaterialGetName(GeometryGetMaterialFromIndex(crate, -1))", "wood"},
        {"MaterialGetName(GeometryGetMaterialFromIndex(crate, 2147483648))", "wood"},
        {"MaterialGetName(GeometryGetMaterialFromIndex(crate, 4294967298))", "wood"},  // not index 2 in 32 bits
        {"GeometryGetMaterialFromIndex(crate, 1).type() == EngineTypeMaterial", "true"},
        {"(function() { local s = \"\"; foreach (m in GeometryGetMaterialList(crate)) s += MaterialGetName(m) + \";\"; return s; })()",
         "wood;metal;paint;"},
        // No material at all: NullMaterial, whatever the name or index, and an empty list.
        {"GeometryGetMaterialCount(empty)", "0"},
        {"GeometryGetMaterialList(empty).len()", "0"},
        {"ObjectIsValid(GeometryGetMaterial(empty, \"wood\"))", "false"},
        {"ObjectIsValid(GeometryGetMaterialFromIndex(empty, 0))", "false"},
        {"ObjectIsValid(GeometryGetMaterialFromIndex(empty, 1))", "false"},
        {"ObjectIsValid(GeometryGetMaterialFromIndex(empty, -1))", "false"},
        {"GeometryGetMaterialFromIndex(empty, 5).type() == EngineTypeMaterial", "true"},
        {"MaterialGetName(GeometryGetMaterialFromIndex(empty, 1))", "error: CObject is null"},
        {"GeometryGetMaterialFromIndex(crate, 0.5)", "error: parameter 2 has an invalid type 'float' ; expected: 'integer'"},
        {"GeometryGetName(GeometryGetMaterial(crate, \"wood\"))", "error: Expected 'Geometry' got 'Material'"},
    };
    ExpectEvals(cases);
    // A material changed through the object is the geometry's own.
    Exec("MaterialSetDiffuse(GeometryGetMaterial(crate, \"metal\"), Vector(0.25, 0.5, 0.75, 1.0))");
    EXPECT_FLOAT_EQ(crate->materials[1]->diffuse.z, 0.75f);
    EXPECT_TRUE(log.Lines().empty()) << log.Text();
}

TEST_F(GeometryMotionAPI, HiddenBitBoundsAndSetup)
{
    crate->proxyFlags = GeometryShadowNull;
    Exec("GeometrySetHidden(crate, true)");
    EXPECT_EQ(crate->proxyFlags, (uint32_t)(GeometryHidden | GeometryShadowNull));
    Exec("GeometrySetHidden(crate, false)");
    EXPECT_EQ(crate->proxyFlags, (uint32_t)GeometryShadowNull) << "only the hidden bit changes";

    // The stored bounds, then the vertices' box once set up.
    crate->bounds = nMinMax(nVector(-1.0f, -2.0f, -3.0f), nVector(1.0f, 2.0f, 3.0f));
    EXPECT_EQ(Eval("GeometryGetMinMax(crate).min"), "-1 -2 -3");
    EXPECT_EQ(Eval("GeometryGetMinMax(crate).max"), "1 2 3");
    ASSERT_TRUE(crate->AllocateVertices(3));
    ASSERT_TRUE(crate->AllocatePolygons(1));
    crate->polygons[0].count = 3;
    crate->polygons[0].material = 0;
    ASSERT_TRUE(crate->AllocateBindings());
    const nVector corners[3] = {nVector(0, 0, 0, 1), nVector(4, 0, 0, 1), nVector(0, 6, 2, 1)};
    for (int i = 0; i < 3; ++i) crate->vertices[i] = corners[i], crate->bindings[i] = i;
    Exec("GeometrySetup(crate)");
    EXPECT_EQ(Eval("GeometryGetMinMax(crate).min"), "0 0 0");
    EXPECT_EQ(Eval("GeometryGetMinMax(crate).max"), "4 6 2");
    EXPECT_FLOAT_EQ(crate->centre.y, 2.0f);
    // Setting up an empty geometry does nothing and says nothing.
    Exec("GeometrySetup(empty)");
    EXPECT_TRUE(log.Lines().empty()) << log.Text();
}

// A grid of triangles across x and z, rows of columns x 2 of them, every corner its own binding.
nSharedPtr<nGeometry> TriangleGrid(nOrvex* engine, const char* name, uint32_t columns, uint32_t rows)
{
    nSharedPtr<nGeometry> g(new nGeometry(engine));
    g->SetName(name);
    const uint32_t stride = columns + 1;
    EXPECT_TRUE(g->AllocateVertices(stride * (rows + 1)));
    for (uint32_t z = 0; z <= rows; ++z)
        for (uint32_t x = 0; x <= columns; ++x) g->vertices[z * stride + x] = nVector((float)x, 0.01f * (float)(x ^ z), (float)z, 1.0f);
    EXPECT_TRUE(g->AllocatePolygons(2 * columns * rows));
    for (uint32_t p = 0; p < g->polygonCount; ++p) g->polygons[p].count = 3, g->polygons[p].material = 0;
    EXPECT_TRUE(g->AllocateBindings());
    int32_t* b = g->bindings;
    for (uint32_t z = 0; z < rows; ++z)
        for (uint32_t x = 0; x < columns; ++x) {
            const int32_t v = (int32_t)(z * stride + x);
            const int32_t quad[6] = {v, v + (int32_t)stride, v + 1, v + 1, v + (int32_t)stride, v + (int32_t)stride + 1};
            for (int32_t corner : quad) *b++ = corner;
        }
    EXPECT_TRUE(g->AllocateMaterials(1, true));
    return g;
}

typedef std::array<float, 9> Triangle;

// Every triangle of the geometry as its corners' positions, in corner order, sorted.
void AddTriangles(const nGeometry* g, std::vector<Triangle>& out)
{
    for (uint32_t p = 0; p < g->polygonCount; ++p) {
        const nPolygon& poly = g->polygons[p];
        for (uint32_t m = 1; m + 1 < poly.count; ++m) {
            Triangle t;
            const int32_t corners[3] = {poly.bindings[0], poly.bindings[m], poly.bindings[m + 1]};
            for (int k = 0; k < 3; ++k) {
                const nVector& at = g->vertices[corners[k]];
                t[3 * k] = at.x, t[3 * k + 1] = at.y, t[3 * k + 2] = at.z;
            }
            out.push_back(t);
        }
    }
}

void AddLeafTriangles(const nOctreeNode* node, std::vector<Triangle>& out, uint32_t& leaves)
{
    if (!node) return;
    if (node->IsLeaf()) {
        AddTriangles(node->GetLeaf(), out);
        ++leaves;
    }
    AddLeafTriangles(node->GetLower(), out, leaves);
    AddLeafTriangles(node->GetUpper(), out, leaves);
}

// More than four times the renderer's 8192 polygons: the geometry is cut into leaves that draw
// exactly its triangles; fewer, or a skinned geometry: it stays whole.
TEST_F(GeometryMotionAPI, OptimizeSplitsLargeGeometriesIntoLeavesOfTheSameTriangles)
{
    nSharedPtr<nGeometry> large = TriangleGrid(&engine, "large", 200, 100);  // 40000 triangles
    nSharedPtr<nGeometry> small = TriangleGrid(&engine, "small", 150, 100);  // 30000
    nSharedPtr<nGeometry> skinned = TriangleGrid(&engine, "skinned", 200, 100);
    skinned->AllocateSkin(1);
    skinned->skinWeights = nGeometry::AllocateArray<nSkinWeight>(skinned->vertexCount);
    for (uint32_t v = 0; v < skinned->vertexCount; ++v) skinned->skinWeights[v] = nSkinWeight{{1, 0, 0, 0}, {0, 0, 0, 0}};
    Hold("large", large.Get(), objectTypeGeometry);
    Hold("small", small.Get(), objectTypeGeometry);
    Hold("skinned", skinned.Get(), objectTypeGeometry);
    std::vector<Triangle> before;
    AddTriangles(large.Get(), before);
    ASSERT_EQ(before.size(), 40000u);

    Exec("GeometryOptimize(small)");
    EXPECT_EQ(small->GetOctree(), nullptr);
    EXPECT_EQ(small->polygonCount, 30000u);
    EXPECT_TRUE(log.Lines().empty()) << log.Text();

    Exec("GeometryOptimize(skinned)");
    EXPECT_EQ(skinned->GetOctree(), nullptr);
    EXPECT_EQ(log.Lines(), Lines{"[*] Geometry 'skinned' is skinned: it is not split into an octree.\n"});

    log.Clear();
    Exec("GeometryOptimize(large)");
    ASSERT_NE(large->GetOctree(), nullptr);
    std::vector<Triangle> after;
    uint32_t leaves = 0;
    AddLeafTriangles(large->GetOctree(), after, leaves);
    EXPECT_GE(leaves, 2u);
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    EXPECT_TRUE(before == after) << "the leaves hold " << after.size() << " triangles, the geometry had " << before.size();
    // The build's standard lines, ending with its summary; no warning or error.
    ASSERT_FALSE(log.Lines().empty());
    EXPECT_EQ(log.Lines().back(), "Octree summary: " + std::to_string(leaves) + " leaves referencing 40000 polygon(s).\n");
    for (const std::string& line : log.Lines()) EXPECT_NE(line[0], '[') << line;
    // Once split, a second call finds the mesh in the leaves and leaves the tree alone.
    const nOctreeNode* tree = large->GetOctree();
    Exec("GeometryOptimize(large)");
    EXPECT_EQ(large->GetOctree(), tree);
}

// A geometry already set up on the renderer lets its whole copy go; its leaves are set up.
TEST_F(GeometryMotionAPI, OptimizeSetsTheLeavesOfAGeometrySetUpBefore)
{
    nCallLog calls;
    nRecordingRenderer renderer(&engine, &calls);
    renderer.recordResources = true;
    struct Drawn : nRenderData
    {
    } drawn;
    nSharedPtr<nGeometry> large = TriangleGrid(&engine, "large", 200, 100);
    large->SetRenderData(&drawn);
    large->SetKeepMask(large->GetKeepMask() | GeometryKeepRenderData);  // as its set-up leaves it
    Hold("large", large.Get(), objectTypeGeometry);
    Exec("GeometryOptimize(large)");
    ASSERT_NE(large->GetOctree(), nullptr);
    std::vector<Triangle> triangles;
    uint32_t leaves = 0;
    AddLeafTriangles(large->GetOctree(), triangles, leaves);
    EXPECT_EQ(calls.Count("render.FreeGeometry(large)"), 1u) << "the whole mesh's copy";
    EXPECT_EQ(calls.With("render.SetupGeometry(").size(), (size_t)leaves) << "one set-up a leaf";
    large->SetRenderData(0);
    Exec("large = null");
    sq_collectgarbage(v);
    large.Release();
}

// A Material object holds its material: the geometry that had it can go first.
TEST_F(GeometryMotionAPI, AMaterialOutlivesItsGeometryWhileAScriptHoldsIt)
{
    nSharedPtr<nGeometry> brief = MakeGeometry("brief", {"glass"});
    nMaterial* glass = brief->materials[0].Get();
    Hold("brief", brief.Get(), objectTypeGeometry);
    Exec("::glass <- GeometryGetMaterial(brief, \"glass\"); ::all <- GeometryGetMaterialList(brief);");
    EXPECT_EQ(glass->GetRefCount(), 3) << "the geometry's table and the two objects";
    brief.Release();
    Exec("brief = null; all = null;");
    sq_collectgarbage(v);
    ASSERT_EQ(glass->GetRefCount(), 1) << "only the script's object holds it now";
    EXPECT_EQ(Eval("MaterialGetName(glass)"), "glass");
    Exec("MaterialSetDiffuse(glass, Vector(1, 0, 0, 1)); MaterialUpdate(glass); glass = null;");
}

TEST_F(GeometryMotionAPI, MotionsTheirLengthAndPositionsRepeatingPastIt)
{
    const Expected cases[] = {
        {"MotionGetName(path)", "path"},
        {"MotionGetLength(path)", "2"},
        {"MotionGetLength(still)", "0"},
        {"MotionGetLength(bare)", "0"},
        {"MotionGetName(ItemGetMotion(mover, \"none\"))", "error: CObject is null"},
        {"MotionGetName(mover)", "error: Expected 'Motion' got 'Item'"},
        {"MotionEvaluatePosition(path, 1)", "5 3 0"},  // an integer time is a number too
        {"MotionEvaluatePosition(path, \"1\")", "error: parameter 2 has an invalid type 'string' ; expected: 'integer|float'"},
    };
    ExpectEvals(cases);
    const struct
    {
        const char* time;
        float x, y, z;
    } positions[] = {
        {"0.0", 0.0f, 3.0f, 0.0f},
        {"1.0", 5.0f, 3.0f, 0.0f},  // Z has no channel: 0
        {"2.5", 2.5f, 3.0f, 0.0f},  // past the length: from the start again
        {"4.5", 2.5f, 3.0f, 0.0f},
        {"-0.5", 7.5f, 3.0f, 0.0f},  // before the start: wrapped the other way
        {"(0.0 / 0.0)", 0.0f, 3.0f, 0.0f},
        {"(1e30 * 1e30)", 0.0f, 3.0f, 0.0f},
        {"1e30", -1.0f, 3.0f, 0.0f},  // x: anywhere on the curve, but a number
    };
    for (const auto& p : positions) {
        const std::string call = std::string("MotionEvaluatePosition(path, ") + p.time + ")";
        const nVector at = Vec(call);
        if (p.x >= 0.0f) {
            EXPECT_NEAR(at.x, p.x, 1e-4f) << call;
        }
        EXPECT_TRUE(at.x >= 0.0f && at.x <= 10.0f) << call << " gave x " << at.x;
        EXPECT_NEAR(at.y, p.y, 1e-6f) << call;
        EXPECT_NEAR(at.z, p.z, 1e-6f) << call;
        EXPECT_EQ(at.w, 1.0f) << call;
    }
    // A motion of length 0 (one key) repeats to its only value; one without channels is the origin.
    for (const char* time : {"0.0", "3.0", "-3.0", "(0.0 / 0.0)"}) {
        EXPECT_FLOAT_EQ(Vec(std::string("MotionEvaluatePosition(still, ") + time + ")").z, 7.0f) << time;
        const nVector origin = Vec(std::string("MotionEvaluatePosition(bare, ") + time + ")");
        EXPECT_TRUE(origin.x == 0.0f && origin.y == 0.0f && origin.z == 0.0f) << time;
    }
    // The motion goes with its item: the object is a deleted one then.
    Exec("SceneDeleteItem(yard, mover); SceneFlushDeletionQueue(yard);");
    EXPECT_EQ(Eval("MotionGetLength(path)"), "error: Expected 'Motion' got 'Deleted native'");
}

TEST_F(GeometryMotionAPI, SourceListsOfTheMotionPlayingFunctions)
{
    Exec("::spin <- SceneSetMotion(yard, \"spin\", 0.0)");
    ASSERT_NE(SourceOf(0), nullptr);
    ASSERT_NE(SourceOf(1), nullptr);
    EXPECT_EQ(Eval("AnimationSourceGetClock(spin)"), "0");

    Exec("AnimationSourceSetClock(spin, 1.5); AnimationSourceSetClockScale(spin, 2.0)");
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_FLOAT_EQ(SourceOf(i)->GetClock(), 1.5f) << i;
        EXPECT_FLOAT_EQ(SourceOf(i)->GetClockScale(), 2.0f) << i;
    }
    EXPECT_EQ(Eval("AnimationSourceGetClock(spin)"), "1.5");

    // Weights: at once without a fade time, never below 0, ramped over a fade time.
    Exec("AnimationSourceSetWeight(spin, 0.5, 0.0)");
    EXPECT_FLOAT_EQ(SourceOf(0)->GetWeight(), 0.5f);
    Exec("AnimationSourceSetWeight(spin, -2.0, -1.0)");
    EXPECT_FLOAT_EQ(SourceOf(1)->GetWeight(), 0.0f);
    Exec("AnimationSourceSetWeight(spin, 1.0, 2.0)");
    EXPECT_FLOAT_EQ(SourceOf(0)->GetWeight(), 0.0f);
    EXPECT_FLOAT_EQ(SourceOf(0)->GetTargetWeight(), 1.0f);
    EXPECT_FLOAT_EQ(SourceOf(0)->GetWeightSpeed(), 0.5f);

    // Loop mode and range change the sources that are not done; a finished one is left alone.
    SourceOf(1)->SetLoopMode(LoopConstant);
    SourceOf(1)->SetClockScale(1.0f);
    SourceOf(1)->SetClock(10.0f);
    ASSERT_TRUE(SourceOf(1)->IsDone());
    Exec("AnimationSourceSetLoopMode(spin, AnimationOscillate); AnimationSourceSetLoop(spin, 0.5, 3.5)");
    EXPECT_EQ(SourceOf(0)->GetLoopMode(), (int32_t)LoopOscillate);
    EXPECT_FLOAT_EQ(SourceOf(0)->GetLoopStart(), 0.5f);
    EXPECT_FLOAT_EQ(SourceOf(0)->GetLoopEnd(), 3.5f);
    EXPECT_EQ(SourceOf(1)->GetLoopMode(), (int32_t)LoopConstant);
    EXPECT_NE(SourceOf(1)->GetLoopStart(), 0.5f);

    // A motion nobody has: an empty list, whose clock reads 0 and whose setters do nothing.
    const Expected none[] = {
        {"ObjectIsValid(::nobody <- SceneSetMotion(yard, \"none\", 0.0))", "true"},
        {"AnimationSourceGetClock(nobody)", "0"},
        {"AnimationSourceSetClock(nobody, 4.0)", "null"},
        {"AnimationSourceSetLoopMode(nobody, AnimationRepeat)", "null"},
        {"AnimationSourceSetWeight(nobody, 1.0, 0.0)", "null"},
        {"AnimationSourceGetClock(nobody)", "0"},
        {"AnimationSourceGetClock(yard)", "error: Expected 'Animation Source' got 'Scene'"},
    };
    ExpectEvals(none);
    // The list dies with its object; the sources play on with the items.
    Exec("spin = null; nobody = null;");
    sq_collectgarbage(v);
    EXPECT_NE(SourceOf(0), nullptr);
}

// Every function of the three families with wrong kinds, null and deleted objects, boundary
// numbers and long strings in each position: a script error or a return, never a crash.
TEST_F(GeometryMotionAPI, SweepOfEveryFunctionWithBadArguments)
{
    Exec("::g_long <- \"\"; for (local i = 0; i < 4096; i++) g_long += \"x\";"
         "::spin <- SceneSetMotion(yard, \"spin\", 0.0); ::gone <- ItemGetMotion(mover, \"path\");"
         "::glass <- GeometryGetMaterial(crate, \"wood\");");
    // A deleted Motion object: its item went first.
    nMItem* doomed = scene->CreateObject("doomed", 0);
    doomed->GetMotions().InsertAfter(Keyed("fall", ChannelYPos, {{0.0f, 0.0f}, {1.0f, -1.0f}}), 0);
    Hold("doomed", doomed, objectTypeItem);
    Exec("::deleted <- ItemGetMotion(doomed, \"fall\"); SceneDeleteItem(yard, doomed); SceneFlushDeletionQueue(yard);");

    const std::vector<std::string> numbers = {"0", "-1", "2147483647", "2147483648", "-2147483649", "9223372036854775807",
                                              "0.0", "-1.0", "(0.0 / 0.0)", "(1e30 * 1e30)", "-(1e30 * 1e30)", "1e30", "1e-30"};
    const std::vector<std::string> strings = {"\"\"", "\"wood\"", "g_long", "\"%s%n\""};
    const std::vector<std::string> objects = {"crate", "empty", "nullGeometry", "path", "still", "bare", "nullMotion",
                                              "deleted", "spin", "nullSources", "glass", "NullMaterial", "yard", "mover"};
    const std::vector<std::string> wrong = {"null", "true", "[]", "{}", "Vector(0, 0, 0)", "Matrix4()", "CObject()"};
    auto plausible = [&](char letter) -> std::vector<std::string> {
        switch (letter) {
            case 'i':
            case 'n': return numbers;
            case 's': return strings;
            case 'b': return {"true", "false"};
            default: return objects;
        }
    };
    const std::vector<std::string> knownErrors = {"wrong number of parameters", "parameter ", "CObject is null",
                                                  "Expected '", "Invalid instance type", "invalid type tag"};
    int calls = 0;
    for (const char* manifest : {"geometry_functions.tsv", "motion_functions.tsv", "animationsource_functions.tsv"}) {
        for (const ManifestFunction& f : ReadFunctionManifest(manifest)) {
            const std::string letters = f.mask.substr(1);
            // The family's own object first, then the first plausible value of each kind.
            const std::string own = f.name.compare(0, 8, "Geometry") == 0 ? "crate" : f.name.compare(0, 6, "Motion") == 0 ? "path"
                                                                                                                          : "spin";
            std::vector<std::string> base;
            for (size_t p = 0; p < letters.size(); ++p) base.push_back(p == 0 ? own : plausible(letters[p])[0]);
            std::vector<std::vector<std::string>> argLists = {base};
            for (size_t p = 0; p < letters.size(); ++p) {
                std::vector<std::string> values = plausible(letters[p]);
                values.insert(values.end(), wrong.begin(), wrong.end());
                if (letters[p] != 'x') values.insert(values.end(), objects.begin(), objects.end());
                for (const std::string& value : values) {
                    auto a = base;
                    a[p] = value;
                    argLists.push_back(a);
                }
            }
            argLists.push_back(std::vector<std::string>(base.begin(), base.end() - 1));
            argLists.push_back(base);
            argLists.back().push_back("0");
            for (const std::vector<std::string>& args : argLists) {
                const std::string call = CallText(f.name, args);
                log.Clear();
                const std::string result = Eval(call);
                ++calls;
                EXPECT_NE(result, "call failed") << call;
                if (result.compare(0, 7, "error: ") == 0) {
                    EXPECT_TRUE(IsKnownError(result.substr(7), knownErrors)) << call << " gave " << result;
                }
                EXPECT_LE(log.Lines().size(), 1u) << call << ": " << log.Text();
                ASSERT_FALSE(vm.IsKilled()) << call;
            }
        }
    }
    EXPECT_GT(calls, 400);
    // Whatever the sweep did, the objects still answer.
    EXPECT_EQ(Eval("MaterialGetName(glass)"), "wood");
    EXPECT_EQ(Eval("MotionGetName(path)"), "path");
    EXPECT_EQ(Eval("GeometryGetMaterialCount(crate)"), "3");
}

}  // namespace
