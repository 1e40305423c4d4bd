// Sprites of a 2D scene: the draw order frame after frame, the transforms and texture
// coordinates of the drawn quads, and the 2D commands under uneven frame times.

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "hub/nOrvex.h"
#include "resources/nMaterial.h"
#include "resources/nTexture.h"
#include "tests/kit/nCallLog.h"
#include "tests/kit/nRecordingRenderer.h"
#include "tests/scene/kit/nKitClock.h"
#include "tests/scene/kit/nRecordingScriptVM.h"
#include "resources/nPictureTGA.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nTempDir.h"
#include "ui/nScene2D.h"
#include "ui/nSprite2D.h"
#include "ui/nWindow.h"

namespace {

typedef std::vector<std::string> Names;
const float kPi = 3.14159265358979f;

struct Layer
{
    nOrvex engine;
    nCallLog log;
    nRecordingRenderer renderer{&engine, &log};
    nRecordingScriptVM vm{&engine, &log};
    nScene2D ui{&engine, &vm};

    Layer() { renderer.Open(1280, 960, 32, 0); }
};

// A texture of its own for each sprite, so that the drawn triangles tell the sprites apart.
nTexture* NewTexture(nOrvex* engine, uint32_t width, uint32_t height)
{
    nTexture* texture = new nTexture(engine, 0, 0);
    texture->Allocate(width, height, PixelFormatRGBA8);
    return texture;
}

// Our own clock: each frame moves it by exactly the ticks given.
uint32_t g_ticks = 1000;
uint32_t TestClock() { return g_ticks; }

void NextFrame(nOrvex& engine, int32_t ticks)
{
    g_ticks += (uint32_t)ticks;
    engine.TickClock();
}

// ---- Draw order

struct SpriteSpec
{
    const char* name;
    float z;
    uint32_t style;
};

struct OrderCase
{
    const char* what;
    std::vector<SpriteSpec> sprites;  // in creation order
    Names drawn;                      // the draw order expected in every frame
};

TEST(Scene2DDrawOrder, LargestZFirstThenTheStyleBlocksStableOverThreeFrames)
{
    const uint32_t top = Sprite2DStyleAlwaysOnTop, behind = Sprite2DStyleAlwaysBehind;
    const OrderCase cases[] = {
        {"equal z keep the list order", {{"A", 0.5f, 0}, {"B", 0.5f, 0}, {"C", 0.5f, 0}}, {"A", "B", "C"}},
        {"larger z is drawn first (beneath)", {{"A", 0.1f, 0}, {"B", 0.9f, 0}, {"C", 0.5f, 0}}, {"B", "C", "A"}},
        {"negative and equal z", {{"A", -1.0f, 0}, {"B", 0.0f, 0}, {"C", -1.0f, 0}, {"D", 0.0f, 0}}, {"B", "D", "A", "C"}},
        {"two AlwaysOnTop of equal z never swap", {{"A", 0.5f, 0}, {"T1", 0.5f, top}, {"B", 0.5f, 0}, {"T2", 0.5f, top}}, {"T1", "T2", "A", "B"}},
        {"adjacent AlwaysBehind sprites", {{"A", 0.5f, 0}, {"K1", 0.5f, behind}, {"K2", 0.5f, behind}, {"B", 0.5f, 0}}, {"A", "B", "K1", "K2"}},
        {"blocks keep the z order inside",
         {{"T", 0.1f, top}, {"A", 0.9f, 0}, {"K", 0.9f, behind}, {"B", 0.2f, 0}, {"T2", 0.7f, top}, {"K2", 0.95f, behind}},
         {"T2", "T", "A", "B", "K2", "K"}},
        {"AlwaysOnTop wins over AlwaysBehind", {{"A", 0.5f, 0}, {"X", 0.5f, top | behind}}, {"X", "A"}},
    };
    for (const OrderCase& c : cases) {
        Layer l;
        std::map<const nTexture*, std::string> names;
        for (const SpriteSpec& s : c.sprites) {
            nTexture* texture = NewTexture(&l.engine, 4, 4);
            names[texture] = s.name;
            nSprite2D* sprite = new nSprite2D(&l.ui, texture, 0, s.name, 0, 0);
            sprite->SetZOrder(s.z);
            sprite->SetStyle(s.style, true);
        }
        for (int frame = 0; frame < 3; ++frame) {
            l.renderer.ClearTriangles();
            l.ui.Render(true);
            Names drawn;
            const auto& triangles = l.renderer.GetTriangles();
            for (size_t i = 0; i < triangles.size(); i += 2) drawn.push_back(names[triangles[i].texture]);
            EXPECT_EQ(drawn, c.drawn) << c.what << ", frame " << frame;
            Names listed;
            for (const nListNode<nSprite2D*>* n = l.ui.GetSprites().GetHead(); n; n = n->next)
                listed.push_back(n->value->GetId().GetCStr());
            EXPECT_EQ(listed, c.drawn) << c.what << ", frame " << frame;
        }
    }
}

TEST(Scene2DDrawOrder, MovesToTheFrontAndBackAroundAReference)
{
    Layer l;
    nSprite2D* a = new nSprite2D(&l.ui, 0, 0, "A", 0, 0);
    nSprite2D* b = new nSprite2D(&l.ui, 0, 0, "B", 0, 0);
    nSprite2D* c = new nSprite2D(&l.ui, 0, 0, "C", 0, 0);
    auto order = [&] {
        Names names;
        for (const nListNode<nSprite2D*>* n = l.ui.GetSprites().GetHead(); n; n = n->next)
            names.push_back(n->value->GetId().GetCStr());
        return names;
    };
    l.ui.MoveToFront(c, 0);
    EXPECT_EQ(order(), (Names{"C", "A", "B"}));  // the head: drawn first, beneath the others
    l.ui.MoveToBack(c, 0);
    EXPECT_EQ(order(), (Names{"A", "B", "C"}));
    l.ui.MoveToFront(c, b);
    EXPECT_EQ(order(), (Names{"A", "C", "B"}));
    l.ui.MoveToBack(a, c);
    EXPECT_EQ(order(), (Names{"C", "A", "B"}));
    nSprite2D stranger(0, 0, 0, "stranger", 0, 0);  // of no scene
    l.ui.MoveToFront(b, &stranger);                 // a reference not listed: the head
    EXPECT_EQ(order(), (Names{"B", "C", "A"}));
    l.ui.MoveToBack(&stranger, 0);  // not listed: nothing moves
    EXPECT_EQ(order(), (Names{"B", "C", "A"}));
}

TEST(Scene2DDrawOrder, DeletingASpriteDetachesItsChildrenAndTheCursorIsDrawnLast)
{
    Layer l;
    nSprite2D* parent = new nSprite2D(&l.ui, NewTexture(&l.engine, 4, 4), 0, "parent", 0, 0);
    nSprite2D* child = new nSprite2D(&l.ui, NewTexture(&l.engine, 4, 4), parent, "child", 0, 0);
    EXPECT_EQ(child->GetParent(), parent);
    EXPECT_EQ(parent->GetChildren().GetCount(), 1);
    const int32_t parentUid = parent->GetUid();
    l.ui.DeleteWindow(parent);
    EXPECT_EQ(child->GetParent(), nullptr);
    EXPECT_EQ(l.ui.GetSprites().GetCount(), 1);
    EXPECT_EQ(l.ui.FindSpriteByUid(child->GetUid()), child);
    EXPECT_EQ(l.ui.FindSpriteByUid(parentUid), nullptr);

    // The cursor: a window of its picture, drawn once more after everything else.
    nTempDir dir;
    nTempDir::ChangeInto into(dir);
    nPicture arrow;
    arrow.Allocate(12, 20, PixelFormatRGBA8);
    ASSERT_TRUE(SavePictureTGA("arrow.tga", arrow));
    ASSERT_TRUE(l.ui.SetCursor("arrow.tga"));
    nWindow* cursor = l.ui.GetCursor();
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(cursor->GetSize().x, 12.0f);
    EXPECT_EQ(cursor->GetSize().y, 20.0f);
    new nSprite2D(&l.ui, NewTexture(&l.engine, 4, 4), 0, "last", 0, 0);
    l.renderer.ClearTriangles();
    l.ui.Render(true);
    const auto& t = l.renderer.GetTriangles();
    ASSERT_EQ(t.size(), 8u);  // cursor (AlwaysOnTop: the head), child, last, cursor again
    EXPECT_EQ(t[0].texture, cursor->GetTexture());
    EXPECT_EQ(t[6].texture, cursor->GetTexture());
    EXPECT_FALSE(l.ui.SetCursor(0));
    EXPECT_EQ(l.ui.GetCursor(), nullptr);
    EXPECT_EQ(l.ui.GetSprites().GetCount(), 2);

    // A parent chain never loops.
    nSprite2D* a = new nSprite2D(&l.ui, 0, 0, "a", 0, 0);
    nSprite2D* b = new nSprite2D(&l.ui, 0, a, "b", 0, 0);
    nLogCapture capture;
    EXPECT_FALSE(a->SetParent(b));
    EXPECT_FALSE(a->SetParent(a));
    EXPECT_EQ(a->GetParent(), nullptr);
    EXPECT_EQ(capture.Lines().size(), 2u);
}

TEST(Scene2DDrawOrder, LockToWindowLocksEverythingOutsideTheWindowsTree)
{
    Layer l;
    nWindow* window = new nWindow(&l.ui, 0, "w", 0, 0, 0);
    nSprite2D* inside = new nSprite2D(&l.ui, 0, window, "inside", 0, 0);
    nSprite2D* deeper = new nSprite2D(&l.ui, 0, inside, "deeper", 0, 0);
    nSprite2D* outside = new nSprite2D(&l.ui, 0, 0, "outside", 0, 0);
    l.ui.LockToWindow(window);
    EXPECT_FALSE(window->TestStyle(Sprite2DStyleLocked));
    EXPECT_FALSE(inside->TestStyle(Sprite2DStyleLocked));
    EXPECT_FALSE(deeper->TestStyle(Sprite2DStyleLocked));
    EXPECT_TRUE(outside->TestStyle(Sprite2DStyleLocked));
    nLogCapture capture;
    l.ui.LockToWindow(0);  // only the warning: the lock stays
    EXPECT_EQ(capture.Lines(), (Names{"[*] Cannot lock UI to NULL window.\n"}));
    EXPECT_TRUE(outside->TestStyle(Sprite2DStyleLocked));
    l.ui.Unlock();
    EXPECT_FALSE(outside->TestStyle(Sprite2DStyleLocked));
}

// ---- Transforms and texture coordinates

struct Point
{
    float x, y;
};

// Internal pixels (1280 x 960) to the normalised plane.
Point Ndc(float x, float y) { return Point{2.0f * x / 1280.0f - 1.0f, 1.0f - 2.0f * y / 960.0f}; }

void ExpectCorners(const nRecordingRenderer::Triangle& first, const nRecordingRenderer::Triangle& second,
                   Point tl, Point tr, Point br, Point bl, const char* what)
{
    const Point want1[3] = {tl, tr, bl}, want2[3] = {tr, br, bl};
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(first.corners[i].x, want1[i].x, 1e-4f) << what << " first triangle, corner " << i;
        EXPECT_NEAR(first.corners[i].y, want1[i].y, 1e-4f) << what << " first triangle, corner " << i;
        EXPECT_NEAR(second.corners[i].x, want2[i].x, 1e-4f) << what << " second triangle, corner " << i;
        EXPECT_NEAR(second.corners[i].y, want2[i].y, 1e-4f) << what << " second triangle, corner " << i;
        EXPECT_EQ(first.corners[i].z, 0.75f) << what;
        EXPECT_EQ(second.corners[i].z, 0.75f) << what;
    }
}

struct TransformCase
{
    const char* what;
    nVector2 position, pivot, scale, size;
    float angle;
    Point tl, tr, br, bl;  // internal pixels
};

TEST(SpriteTransforms, PivotScaleAngleAndPositionPlaceTheQuad)
{
    const TransformCase cases[] = {
        {"plain", {100, 50}, {0, 0}, {1, 1}, {200, 100}, 0.0f, {100, 50}, {300, 50}, {300, 150}, {100, 150}},
        {"pivot at the centre", {100, 50}, {100, 50}, {1, 1}, {200, 100}, 0.0f, {0, 0}, {200, 0}, {200, 100}, {0, 100}},
        {"scaled about the pivot", {640, 480}, {10, 20}, {2, 0.5f}, {40, 40}, 0.0f, {620, 470}, {700, 470}, {700, 490}, {620, 490}},
        // A quarter turn takes x to y: (w, 0) goes to (0, w), (0, h) to (-h, 0).
        {"quarter turn", {100, 50}, {0, 0}, {1, 1}, {200, 100}, kPi / 2, {100, 50}, {100, 250}, {0, 250}, {0, 50}},
        {"half turn about the pivot", {640, 480}, {20, 10}, {1, 1}, {40, 20}, kPi, {660, 490}, {620, 490}, {620, 470}, {660, 470}},
    };
    for (const TransformCase& c : cases) {
        Layer l;
        nSprite2D* sprite = new nSprite2D(&l.ui, NewTexture(&l.engine, 256, 256), 0, "s", &c.position, &c.size);
        sprite->SetPivot(c.pivot.x, c.pivot.y);
        sprite->SetScale(c.scale.x, c.scale.y);
        sprite->SetRotation(c.angle);
        l.ui.Render(true);
        const auto& t = l.renderer.GetTriangles();
        ASSERT_EQ(t.size(), 2u) << c.what;
        ExpectCorners(t[0], t[1], Ndc(c.tl.x, c.tl.y), Ndc(c.tr.x, c.tr.y), Ndc(c.br.x, c.br.y), Ndc(c.bl.x, c.bl.y),
                      c.what);
        EXPECT_EQ(t[0].flags, (uint32_t)MaterialRenderNoDepthTest) << c.what;
    }
}

TEST(SpriteTransforms, ParentsApplyAfterTheChildAndTheSceneTransformLast)
{
    Layer l;
    const nVector2 at(100, 100), size(10, 10);
    nSprite2D* grandparent = new nSprite2D(&l.ui, 0, 0, "grandparent", &at, 0);
    grandparent->SetRotation(kPi / 2);  // (x, y) -> (-y, x)
    const nVector2 parentAt(10, 0);
    nSprite2D* parent = new nSprite2D(&l.ui, 0, grandparent, "parent", &parentAt, 0);
    parent->SetScale(2, 2);
    const nVector2 childAt(5, 5);
    nSprite2D* child = new nSprite2D(&l.ui, NewTexture(&l.engine, 16, 16), parent, "child", &childAt, &size);
    l.ui.Render(true);
    // Child (0, 0) -> parent (5, 5) -> scaled (10, 10) + (10, 0) = (20, 10) -> turned (-10, 20) + (100, 100).
    // Child (10, 0) -> (15, 5) -> (30, 10) + (10, 0) = (40, 10) -> (-10, 40) + (100, 100).
    const auto& t = l.renderer.GetTriangles();
    ASSERT_EQ(t.size(), 2u);
    ExpectCorners(t[0], t[1], Ndc(90, 120), Ndc(90, 140), Ndc(70, 140), Ndc(70, 120), "two ancestors");
    // The world transform is kept for the hit tests, with its inverse.
    const nRect2D screen = child->GetScreenRect();
    EXPECT_EQ(screen.x0, 70);
    EXPECT_EQ(screen.y0, 120);
    EXPECT_EQ(screen.x1, 90);
    EXPECT_EQ(screen.y1, 140);
    const nMatrix3 identity = child->GetWorldTransform() * child->GetInverseWorldTransform();
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(identity.m[i], (i % 4 == 0) ? 1.0f : 0.0f, 1e-5f);

    // The scene transform moves the normalised result.
    nMatrix3 shift;
    shift.m[2] = 0.5f;
    l.ui.SetTransform(shift);
    l.renderer.ClearTriangles();
    l.ui.Render(true);
    Point tl = Ndc(90, 120);
    EXPECT_NEAR(l.renderer.GetTriangles()[0].corners[0].x, tl.x + 0.5f, 1e-4f);
    EXPECT_NEAR(l.renderer.GetTriangles()[0].corners[0].y, tl.y, 1e-4f);
}

TEST(SpriteTransforms, ResolutionInvariantSpritesArePlacedInOutputPixels)
{
    Layer l;
    l.renderer.Open(800, 450, 32, 0);  // wider than the internal 4:3
    const nVector2 at(400, 225), size(400, 225);
    nSprite2D* sprite = new nSprite2D(&l.ui, NewTexture(&l.engine, 512, 256), 0, "s", &at, &size);
    sprite->SetStyle(Sprite2DStyleResolutionInvariant, true);
    l.ui.Render(true);
    // The projection scales x by the internal aspect over the output's; after it the quad
    // covers the lower right quarter of the output whatever the shapes.
    const float projection = (1280.0f / 960.0f) * (450.0f / 800.0f);
    EXPECT_FLOAT_EQ(l.renderer.GetLastProjection().m[0], 1.0f);  // the plain identity after the sprites
    const auto& t = l.renderer.GetTriangles();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_NEAR(t[0].corners[0].x * projection, 0.0f, 1e-5f);  // top left: the centre
    EXPECT_NEAR(t[0].corners[0].y, 0.0f, 1e-5f);
    EXPECT_NEAR(t[1].corners[1].x * projection, 1.0f, 1e-5f);  // bottom right: the output's corner
    EXPECT_NEAR(t[1].corners[1].y, -1.0f, 1e-5f);
    EXPECT_TRUE(l.log.Count("render.SetProjectionMatrix(" + FormatFloat(projection) + ")") == 1);
}

struct UVCase
{
    const char* what;
    bool flipU, flipV;
    nVector2 uvs[3];
};

TEST(SpriteTransforms, TheQuadShowsTheTextureUnstretchedAndFlipped)
{
    // A 64 x 32 sprite on a 128 x 128 texture samples u to 0.5 and v to 0.25.
    const UVCase cases[] = {
        {"plain", false, false, {{0, 0}, {0.5f, 0}, {0, 0.25f}}},
        {"FlipU", true, false, {{0.5f, 0}, {0, 0}, {0.5f, 0.25f}}},
        {"FlipV", false, true, {{0, 0.25f}, {0.5f, 0.25f}, {0, 0}}},
        {"both", true, true, {{0.5f, 0.25f}, {0, 0.25f}, {0.5f, 0}}},
    };
    for (const UVCase& c : cases) {
        Layer l;
        const nVector2 size(64, 32);
        nTexture* texture = NewTexture(&l.engine, 128, 128);
        nSprite2D* sprite = new nSprite2D(&l.ui, texture, 0, "s", 0, &size);
        sprite->SetFlip(c.flipU, c.flipV);
        l.ui.Render(true);
        const auto& t = l.renderer.GetTriangles();
        ASSERT_EQ(t.size(), 2u) << c.what;
        EXPECT_TRUE(t[0].hasUVs);
        EXPECT_EQ(t[0].texture, texture);
        for (int i = 0; i < 3; ++i) {
            EXPECT_FLOAT_EQ(t[0].uvs[i].x, c.uvs[i].x) << c.what << " corner " << i;
            EXPECT_FLOAT_EQ(t[0].uvs[i].y, c.uvs[i].y) << c.what << " corner " << i;
        }
        // The second triangle: top right, bottom right, bottom left.
        EXPECT_FLOAT_EQ(t[1].uvs[0].x, c.uvs[1].x) << c.what;
        EXPECT_FLOAT_EQ(t[1].uvs[1].x, c.uvs[1].x) << c.what;
        EXPECT_FLOAT_EQ(t[1].uvs[1].y, c.uvs[2].y) << c.what;
        EXPECT_FLOAT_EQ(t[1].uvs[2].y, c.uvs[2].y) << c.what;
    }
}

TEST(SpriteTransforms, AWindowSamplesOnlyItsPartOfThePowerOfTwoCache)
{
    Layer l;
    const nVector2 size(300, 100);
    nWindow* window = new nWindow(&l.ui, 0, "w", 0, 0, &size);
    ASSERT_NE(window->GetCachePicture(), nullptr);
    EXPECT_EQ(window->GetCachePicture()->GetWidth(), 512u);
    EXPECT_EQ(window->GetCachePicture()->GetHeight(), 128u);
    l.ui.Render(true);
    const auto& t = l.renderer.GetTriangles();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].texture, window->GetTexture());
    EXPECT_FLOAT_EQ(t[1].uvs[1].x, 300.0f / 512.0f);
    EXPECT_FLOAT_EQ(t[1].uvs[1].y, 100.0f / 128.0f);
    EXPECT_EQ(l.log.Count("render.UpdateTexture(512x128 at 0,0)"), 1u);
    l.ui.Render(true);  // nothing changed: no second upload
    EXPECT_EQ(l.log.Count("render.UpdateTexture(512x128 at 0,0)"), 1u);

    window->SetSize(0, 0);  // the smallest sprite is 1 x 1
    EXPECT_EQ(window->GetSize().x, 1.0f);
    EXPECT_EQ(window->GetSize().y, 1.0f);
}

TEST(SpriteTransforms, OpacityVisibilityAndBlendingAlongTheChain)
{
    Layer l;
    nSprite2D* parent = new nSprite2D(&l.ui, NewTexture(&l.engine, 8, 8), 0, "parent", 0, 0);
    nSprite2D* child = new nSprite2D(&l.ui, NewTexture(&l.engine, 8, 8), parent, "child", 0, 0);
    parent->SetOpacity(0.5f);
    child->SetOpacity(0.5f);
    child->SetStyle(Sprite2DStyleAdditive, true);
    l.ui.Render(true);
    auto t = l.renderer.GetTriangles();
    ASSERT_EQ(t.size(), 4u);
    EXPECT_FLOAT_EQ(t[0].colour.w, 0.5f);
    EXPECT_FLOAT_EQ(t[2].colour.w, 0.25f);
    EXPECT_EQ(t[2].flags, (uint32_t)(MaterialRenderNoDepthTest | MaterialRenderAdd));

    parent->SetState(Sprite2DStateVisible, false);  // a hidden parent hides its child
    EXPECT_FALSE(child->IsShown());
    l.renderer.ClearTriangles();
    l.ui.Render(true);
    EXPECT_TRUE(l.renderer.GetTriangles().empty());

    parent->SetState(Sprite2DStateVisible, true);
    child->SetOpacity(0.0f);  // transparent: not drawn
    parent->SetTexture(0);    // without texture: not drawn
    l.renderer.ClearTriangles();
    l.ui.Render(true);
    EXPECT_TRUE(l.renderer.GetTriangles().empty());
    child->SetOpacity(7.0f);
    EXPECT_EQ(child->GetOpacity(), 1.0f);
}

// ---- Commands

TEST(SpriteCommands, LandOnTheirTargetsUnderUnevenFrameTimes)
{
    Layer l;
    l.engine.SetClockSource(TestClock);
    NextFrame(l.engine, 0);  // the first reading starts the clock
    nSprite2D* sprite = new nSprite2D(&l.ui, 0, 0, "s", 0, 0);
    sprite->SetPosition(0, 0);
    ASSERT_GT(sprite->SetCommandText("toposition 1, 100, 200 + toalpha 1, 0; toangle 0.5, 90; toscale 0.25, 3, 4; hide 0.1;"),
              0);
    // Frames of 0.13, 0.31, 0.07, 0.62 s and so on: 0.44 s into the first group of one second.
    const int32_t frames[] = {1300, 3100, 700, 6200, 900, 4100, 2000, 3000, 2000, 2000};
    NextFrame(l.engine, frames[0]);
    l.ui.Render(true);
    NextFrame(l.engine, frames[1]);
    l.ui.Render(true);
    EXPECT_NEAR(sprite->GetPosition().x, 44.0f, 1e-3f);
    EXPECT_NEAR(sprite->GetPosition().y, 88.0f, 1e-3f);
    EXPECT_NEAR(sprite->GetOpacity(), 0.56f, 1e-5f);
    for (size_t i = 2; i < 5; ++i) {
        NextFrame(l.engine, frames[i]);
        l.ui.Render(true);
    }
    // 1.13 s: the first group ended at 1 s exactly on its targets (the rest of that frame is
    // not carried over); the second group ran 0.09 s.
    EXPECT_FLOAT_EQ(sprite->GetPosition().x, 100.0f);
    EXPECT_FLOAT_EQ(sprite->GetPosition().y, 200.0f);
    EXPECT_NEAR(sprite->GetOpacity(), 0.0f, 1e-6f);
    EXPECT_NEAR(sprite->GetRotation(), kPi / 2 * 0.09f / 0.5f, 1e-5f);
    for (size_t i = 5; i < 10; ++i) {
        NextFrame(l.engine, frames[i]);
        l.ui.Render(true);
    }
    EXPECT_NEAR(sprite->GetRotation(), kPi / 2, 1e-6f);
    EXPECT_FLOAT_EQ(sprite->GetScale().x, 3.0f);
    EXPECT_FLOAT_EQ(sprite->GetScale().y, 4.0f);
    EXPECT_FALSE(sprite->TestState(Sprite2DStateVisible));
    EXPECT_TRUE(sprite->IsCommandListDone());
}

TEST(SpriteCommands, FollowTheScaledClockOrTheRawOne)
{
    for (bool raw : {false, true}) {
        Layer l;
        l.engine.SetClockSource(TestClock);
        NextFrame(l.engine, 0);
        l.engine.SetClockScale(0.5f);
        l.ui.SetUseRawClock(raw);
        nSprite2D* sprite = new nSprite2D(&l.ui, 0, 0, "s", 0, 0);
        ASSERT_EQ(sprite->SetCommandText("toangle 1, 90; show 0.1;"), 4);
        ASSERT_EQ(l.ui.CompileCommandList("globalfade 2, 1;", &l.ui), 2);
        for (int i = 0; i < 4; ++i) {
            NextFrame(l.engine, 2500);
            l.ui.Render(true);
        }
        // One second of real time: half of it at half speed.
        const float seconds = raw ? 1.0f : 0.5f;
        EXPECT_NEAR(sprite->GetRotation(), kPi / 2 * seconds, 1e-5f) << (raw ? "raw" : "scaled");
        EXPECT_NEAR(l.ui.GetGlobalFade(), seconds / 2.0f, 1e-5f) << (raw ? "raw" : "scaled");
    }
}

TEST(SpriteCommands, ShowAndHideTakeEffectAtOnceAndLoopsRepeat)
{
    Layer l;
    SetEngineFrameTime(&l.engine, 500);
    nSprite2D* sprite = new nSprite2D(&l.ui, 0, 0, "s", 0, 0);
    ASSERT_GT(sprite->SetCommandText("loop 0.001; hide 1; toposition 0.1, 10, 0; show 1; toposition 0.1, 0, 0; next 0.001;"),
              0);
    std::string seen;
    for (int i = 0; i < 12; ++i) {
        l.ui.Render(true);
        seen += sprite->TestState(Sprite2DStateVisible) ? 'v' : '-';
    }
    // Each command group takes at least one frame; hide and show act in their first frame.
    EXPECT_NE(seen.find("-v"), std::string::npos) << seen;
    EXPECT_NE(seen.find("v-"), std::string::npos) << seen;
    EXPECT_FALSE(sprite->IsCommandListDone());
}

}
