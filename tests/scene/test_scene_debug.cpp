// Scene debug drawing on the recording renderer: what each kind of item draws, in which
// colour, what a selection and a hidden group change, bones, debug shapes, and labels.

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "hub/nOrvex.h"
#include "resources/nGeometry.h"
#include "scene/nCamera.h"
#include "scene/nGroup.h"
#include "scene/nItem.h"
#include "scene/nLight.h"
#include "scene/nObject.h"
#include "scene/nScene.h"
#include "tests/scene/kit/nKitScene.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nMLTestSupport.h"

namespace {

typedef std::tuple<float, float, float, float> Colour;

Colour C(const nVector& v) { return Colour(v.x, v.y, v.z, v.w); }

const Colour kSelection(1.0f, 0.65f, 0.16f, 1.0f);
const Colour kPlain(0.72f, 0.72f, 0.72f, 1.0f);
const Colour kMarker(0.75f, 0.75f, 0.75f, 1.0f);
const Colour kBounds(1.0f, 0.5f, 0.0f, 1.0f);
const Colour kRed(1.0f, 0.0f, 0.0f, 1.0f);
const Colour kGreen(0.0f, 1.0f, 0.0f, 1.0f);
const Colour kCorner(0.8f, 0.8f, 0.8f, 0.75f);

// Lines drawn, counted by colour.
std::map<Colour, int> ByColour(const nRecordingRenderer& r)
{
    std::map<Colour, int> out;
    for (const auto& l : r.GetLines()) ++out[C(l.colour)];
    return out;
}

bool AllFinite(const nRecordingRenderer& r)
{
    for (const auto& l : r.GetLines())
        for (float f : {l.from.x, l.from.y, l.from.z, l.to.x, l.to.y, l.to.z})
            if (!std::isfinite(f)) return false;
    return true;
}

// A unit square in the XY plane: one polygon of four corners.
nGeometry* Square(nOrvex* engine, const char* name)
{
    nGeometry* g = new nGeometry(engine);
    g->SetName(name);
    g->AllocateVertices(4);
    g->vertices[0] = nVector(-0.5f, -0.5f, 0), g->vertices[1] = nVector(0.5f, -0.5f, 0);
    g->vertices[2] = nVector(0.5f, 0.5f, 0), g->vertices[3] = nVector(-0.5f, 0.5f, 0);
    g->AllocatePolygons(1);
    g->polygons[0].count = 4;
    g->polygons[0].material = 0;
    g->CountBindings();
    g->AllocateBindings();
    for (int i = 0; i < 4; ++i) g->bindings[i] = i;
    g->BuildPolygonOffsets();
    g->ComputeBounds(g->bounds, 0);
    return g;
}

struct DebugScene
{
    nKitScene k;
    nSharedPtr<nGeometry> square{Square(&k.engine, "square")};

    DebugScene() { EXPECT_TRUE(k.renderer.Open(640, 480, 32, 0)); }
    void Draw(nGroup* selected, nGroup* hidden, uint32_t flags = DebugDrawAll)
    {
        k.scene->DrawDebug(&k.renderer, selected, hidden, flags);
    }
};

TEST(SceneDebug, WithoutDebugShapesEachKindDrawsItsMarkersAndBoxes)
{
    DebugScene d;
    d.k.scene->CreateLight("lamp", LightTypePoint, 0.0f);
    d.k.scene->CreateObject("empty", nullptr);
    d.k.scene->CreateObject("crate", d.square.Get());
    d.k.scene->CreateCamera("eye");
    nMItem* on = d.k.scene->CreateTrigger("zone");
    nMItem* off = d.k.scene->CreateTrigger("off");
    on->SetActive(true, false);
    off->SetActive(false, false);
    d.Draw(0, 0);
    // Lamp and camera: a marker-coloured cross each; objects: a selection-coloured cross and
    // their bounds; triggers: a box, green when active, red otherwise.
    EXPECT_EQ(ByColour(d.k.renderer), (std::map<Colour, int>{{kMarker, 6}, {kSelection, 6}, {kBounds, 24}, {kGreen, 12}, {kRed, 12}}));
    EXPECT_TRUE(AllFinite(d.k.renderer));

    // Without the bounds bit the objects keep only their crosses.
    d.k.renderer.Close();
    d.k.renderer.Open(640, 480, 32, 0);
    const size_t before = d.k.renderer.GetLines().size();
    d.Draw(0, 0, 0);
    EXPECT_EQ(d.k.renderer.GetLines().size() - before, 6u + 6u + 24u);
}

TEST(SceneDebug, CrossesScaleWithTheVisualisationScaleAndSitAtTheOrigin)
{
    DebugScene d;
    nMItem* lamp = d.k.scene->CreateLight("lamp", LightTypePoint, 0.0f);
    lamp->GetItem()->SetPosition(nVector(1, 2, 3));
    d.k.scene->SetVisualisationScale(4.0f);
    d.Draw(0, 0);
    ASSERT_EQ(d.k.renderer.GetLines().size(), 3u);
    const auto& x = d.k.renderer.GetLines()[0];
    EXPECT_NEAR((x.to - x.from).Length(), 2 * 0.05f * 4.0f, 1e-6f);
    EXPECT_NEAR(((x.to + x.from) * 0.5f - nVector(1, 2, 3)).Length(), 0.0f, 1e-6f);
}

TEST(SceneDebug, DebugShapesOfLightsCamerasAndTriggersFollowTheirWorldMatrices)
{
    DebugScene d;
    for (int32_t slot = 0; slot < nScene::kDebugShapeCount; ++slot) d.k.scene->SetDebugShape(slot, d.square.Get());
    nMItem* spot = d.k.scene->CreateLight("spot", LightTypeSpot, 0.0f);
    nMItem* area = d.k.scene->CreateLight("area", LightTypeArea, 0.0f);
    nMItem* eye = d.k.scene->CreateCamera("eye");
    nMItem* zone = d.k.scene->CreateTrigger("zone");
    spot->GetItem()->SetPosition(nVector(0, 5, 0));
    eye->GetItem()->SetPosition(nVector(0, 0, -5));
    // The trigger hangs under a scaled, moved node: its box and its shape go with it.
    nItem holder(&d.k.engine);
    holder.SetPosition(nVector(10, 0, 0));
    holder.SetScale(nVector(2, 2, 2));
    zone->GetItem()->SetParent(&holder);
    zone->GetItem()->SetPosition(nVector(0, 0, 1));
    zone->SetActive(false, false);
    d.Draw(0, 0);
    // Crosses: spot, area, eye (3 each); wireframes: spot's, eye's, zone's (4 lines each; the
    // area light has no shape); the zone's box, 12 lines.
    EXPECT_EQ(d.k.renderer.GetLines().size(), 9u + 12u + 12u);
    std::vector<nRecordingRenderer::Line> zoneLines;
    for (const auto& l : d.k.renderer.GetLines())
        if (C(l.colour) == kRed || C(l.colour) == kSelection) zoneLines.push_back(l);
    // The spot light's shape is plain (a light), the camera's and the trigger's selection-coloured.
    const nMatrix4& world = zone->GetItem()->GetWorldMatrix();
    const nVector centre = nVector(0, 0, 0).Transform(world);
    EXPECT_NEAR((centre - nVector(10, 0, 2)).Length(), 0.0f, 1e-5f);
    int nearZone = 0;
    for (const auto& l : zoneLines) {
        const nVector local = l.from.Transform(zone->GetItem()->GetInverseWorldMatrix());
        if (C(l.colour) == kRed) {
            // Box corners are the unit box's under the world matrix: +-0.5 in trigger space.
            EXPECT_NEAR(std::fabs(local.x), 0.5f, 1e-5f);
            EXPECT_NEAR(std::fabs(local.z), 0.5f, 1e-5f);
        }
        if ((l.from - centre).Length() < 3.0f) ++nearZone;
    }
    EXPECT_EQ(nearZone, 12 + 4);  // box and shape at the trigger, not at the world origin
    std::map<Colour, int> colours = ByColour(d.k.renderer);
    EXPECT_EQ(colours[kPlain], 4);
    EXPECT_EQ(colours[kSelection], 8);
    (void)area;
}

TEST(SceneDebug, DebugShapeOutlinesEveryPolygonUnderMatrixAndScale)
{
    DebugScene d;
    d.k.scene->SetVisualisationScale(2.0f);
    const nVector blue(0, 0, 1, 1);
    d.k.scene->DrawDebugShape(&d.k.renderer, d.square.Get(), nMatrix4::Translation(nVector(5, 0, 0)), blue);
    d.k.scene->DrawDebugShape(&d.k.renderer, nullptr, nMatrix4(), blue);
    const auto& lines = d.k.renderer.GetLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NEAR((lines[0].from - nVector(4, -1, 0)).Length(), 0.0f, 1e-6f);
    EXPECT_NEAR((lines[3].to - nVector(4, -1, 0)).Length(), 0.0f, 1e-6f);  // the last corner back to the first
    EXPECT_EQ(C(lines[0].colour), C(blue));
}

TEST(SceneDebug, BonesArePyramidsWithTheBonesBitCrossesOtherwise)
{
    struct Case
    {
        const char* name;
        bool parent;
        nVector position;
        uint32_t flags;
        size_t lines;
    };
    const Case cases[] = {
        {"bone drawn", true, nVector(0, 0, 2), DebugDrawBones, 12},
        {"bones bit off", true, nVector(0, 0, 2), 0, 0},
        {"no parent: a cross", false, nVector(0, 0, 2), DebugDrawBones, 3},
        {"zero length: a cross", true, nVector(0, 0, 0), DebugDrawBones, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DebugScene d;
        nMItem* root = d.k.scene->CreateCamera("root");
        nMItem* bone = d.k.scene->CreateCamera("bone");
        if (c.parent) bone->GetItem()->SetParent(root->GetItem());
        bone->GetItem()->SetFlag(ItemFlagBone, true);
        bone->GetItem()->SetPosition(c.position);
        d.k.scene->DrawItemMarker(&d.k.renderer, bone, c.flags, 0);
        EXPECT_EQ(d.k.renderer.GetLines().size(), c.lines);
        EXPECT_TRUE(AllFinite(d.k.renderer));
        if (c.lines == 12) {
            for (const auto& l : d.k.renderer.GetLines()) EXPECT_EQ(C(l.colour), Colour(0.75f, 0.75f, 0.75f, 0.5f));
            // Base at the parent, tip at the bone.
            EXPECT_NEAR(d.k.renderer.GetLines()[0].from.Length(), 0.0f, 1e-6f);
            EXPECT_NEAR((d.k.renderer.GetLines()[4].to - nVector(0, 0, 2)).Length(), 0.0f, 1e-5f);
        }
    }
}

TEST(SceneDebug, TheMarkerLeavesThePivotAndTheMatricesAlone)
{
    DebugScene d;
    nMItem* eye = d.k.scene->CreateCamera("eye");
    nItem* node = eye->GetItem();
    node->SetPosition(nVector(1, 0, 0));
    node->SetPivot(nMatrix4::Translation(nVector(0, 3, 0)));
    const nMatrix4 world = node->GetWorldMatrix();
    const uint32_t flags = node->GetFlags();
    ASSERT_EQ(flags & (ItemFlagLocalDirty | ItemFlagWorldDirty), 0u);
    d.k.scene->DrawItemMarker(&d.k.renderer, eye, 0, 0);
    EXPECT_EQ(node->GetFlags(), flags);
    EXPECT_EQ(node->GetPivot().m[7], 3.0f);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(node->GetWorldMatrix().m[i], world.m[i]);
    // The cross stands where the origin is without the pivot.
    const auto& x = d.k.renderer.GetLines()[0];
    EXPECT_NEAR(((x.from + x.to) * 0.5f - nVector(1, 0, 0)).Length(), 0.0f, 1e-6f);
}

TEST(SceneDebug, SelectionAndHiddenGroupsChooseWhatIsDrawn)
{
    DebugScene d;
    nMItem* picked = d.k.scene->CreateObject("picked", d.square.Get());
    nMItem* other = d.k.scene->CreateObject("other", d.square.Get());
    nMItem* bare = d.k.scene->CreateObject("bare", nullptr);
    nMItem* both = d.k.scene->CreateObject("both", d.square.Get());
    nMItem* lamp = d.k.scene->CreateLight("lamp", LightTypePoint, 0.0f);
    nGroup* selected = d.k.scene->CreateGroup("selected");
    nGroup* hidden = d.k.scene->CreateGroup("hidden");
    selected->AddItem(picked, true);
    selected->AddItem(both, true);
    hidden->AddItem(both, true);
    d.Draw(selected, hidden, 0);
    // picked: a selection cross and its corners (24 lines); other: nothing (a non-member with a
    // geometry); bare: a plain cross; both: hidden wins; lamp: its marker cross.
    EXPECT_EQ(ByColour(d.k.renderer), (std::map<Colour, int>{{kSelection, 3}, {kPlain, 3}, {kMarker, 3}, {kCorner, 24}}));
    (void)other, (void)bare, (void)lamp;
}

TEST(SceneDebug, BoxCornersAreAFifthOfEachEdgeAtBothEnds)
{
    DebugScene d;
    nOBB box;
    box.scale = nVector(10, 10, 10);
    nScene::DrawBoxCorners(box, &d.k.renderer, nMatrix4());
    const auto& lines = d.k.renderer.GetLines();
    ASSERT_EQ(lines.size(), 24u);
    for (const auto& l : lines) EXPECT_NEAR((l.to - l.from).Length(), 2.0f, 1e-5f);
}

const char* const kFont =
    "<NML=1.0>\n<Font= <Common= <Height=0.1> <BaseLine=0.08> >\n"
    "<Char= <Id=32> <W=0.01> <H=0.01> <Step=0.05> >\n<Char= <Id=65> <W=0.02> <H=0.02> <Step=0.1> > >\n";

TEST(SceneDebug, LabelsNeedACameraAFontAndAViewportHeight)
{
    DebugScene d;
    ASSERT_TRUE(nMLPutMemoryFile("debugfont.nml", kFont));
    nLogCapture capture;
    nMItem* eye = d.k.scene->CreateCamera("eye");
    nMItem* thing = d.k.scene->CreateObject("A", nullptr);
    thing->GetItem()->SetPosition(nVector(0, 0, 10));
    d.k.renderer.SetCamera(eye->GetItem());

    d.k.scene->DrawItemLabel(&d.k.renderer, thing);  // no font yet
    ASSERT_TRUE(d.k.scene->LoadProfilerFont("debugfont.nml", "debugfont"));
    d.k.renderer.viewportUnknown = true;
    d.k.scene->DrawItemLabel(&d.k.renderer, thing);  // a renderer that does not say its viewport
    EXPECT_TRUE(d.k.renderer.GetTriangles().empty());
    EXPECT_TRUE(d.k.renderer.writes.empty());

    d.k.renderer.viewportUnknown = false;
    d.k.renderer.SetViewportAnswer(0, 0, 640, 290);
    d.k.scene->DrawItemLabel(&d.k.renderer, thing);
    EXPECT_EQ(d.k.renderer.GetTriangles().size(), 34u);
    for (const auto& t : d.k.renderer.GetTriangles()) {
        EXPECT_EQ(t.flags, 0x6000u);
        EXPECT_EQ(C(t.colour), Colour(0.5f, 0.5f, 0.5f, 0.7f));
    }
    ASSERT_EQ(d.k.renderer.writes.size(), 1u);
    const auto& w = d.k.renderer.writes[0];
    EXPECT_EQ(w.text, "Object: A");
    EXPECT_FLOAT_EQ(w.size, 1.0f);   // 290 / viewport height
    EXPECT_NEAR(w.x, 0.5f, 1e-5f);   // straight ahead of the camera
    EXPECT_NEAR(w.y, 0.55f, 1e-5f);  // moved down by 0.05
    EXPECT_EQ(w.alignment, 1);
    EXPECT_TRUE(w.keepAspect);

    // Behind the camera: nothing.
    thing->GetItem()->SetPosition(nVector(0, 0, -10));
    d.k.renderer.ClearTriangles();
    d.k.scene->DrawItemLabel(&d.k.renderer, thing);
    EXPECT_TRUE(d.k.renderer.GetTriangles().empty());
    EXPECT_EQ(nScene::GetLabelPrefix(ManagedItemEmitter), nullptr);
    d.k.renderer.SetCamera(0);
}

}
