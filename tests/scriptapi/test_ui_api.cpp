// The UI family's 2D scene, sprite and window functions through real Squirrel, on the user-
// interface layer of a scene: the census against the manifest, sprites against windows, the
// null behaviour of every function from the manifest, draw-order moves, parents, objects
// deleted while scripts hold them, and the generated sweep of wrong kinds, null and deleted
// objects and boundary numbers (run under the sanitizers by ./test.sh).
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "core/nSharedObject.h"
#include "resources/nPictureFormat.h"
#include "resources/nPictureTGA.h"
#include "render/nRenderer.h"
#include "resources/nTexture.h"
#include "scene/nScene.h"
#include "script/nCObject.h"
#include "scriptapi/nUIScriptAPI.h"
#include "tests/scriptapi/nScriptAPITestKit.h"
#include "tests/support/nTempDir.h"
#include "ui/nScene2D.h"
#include "ui/nSprite2D.h"
#include "ui/nUIRouter.h"
#include "ui/nWidget.h"
#include "ui/nWindow.h"
#include "ui/nWindowSystemFont.h"

namespace {

// The pointer of the scene's 2D layer: the frame a test gives it next.
struct FakePointer : nUIPointer
{
    nUIPointerFrame next;
    nUIPointerFrame ReadFrame() override { return next; }
};

class UIAPI : public nScriptAPITest
{
protected:
    void SetUp() override
    {
        nScriptAPITest::SetUp();
        // What the engine lends its 2D scenes, as the player's does: a pointer and the fonts
        // ("default.ttf" installed beside the test).
        ASSERT_TRUE(fonts.OpenWindowSystemFonts());
        uiDevices.pointer = &pointer;
        uiDevices.fonts = &fonts;
        CreateScene();
        other = new nScene(&engine, &vm);
        texture = new nTexture(&engine, 0, 0);
        Hold("g_scene", scene, objectTypeScene);
        Hold("g_otherScene", other, objectTypeScene);
        Hold("g_texture", texture.Get(), objectTypeTexture);
        Hold("g_nullUI", 0, objectTypeWindowSystem);
        Hold("g_nullTexture", 0, objectTypeTexture);
        Exec("::Rect <- class { sx = 0; sy = 0; ex = 0; ey = 0; }");  // the games declare it in their script library
        Exec("::ui <- SceneGetUI(g_scene);"
             "::otherUI <- SceneGetUI(g_otherScene);"
             "::win <- UIAddWindow(ui, 3, 10, 20, 100, 50);"
             "::spr <- UIAddSprite(ui, 7, g_texture, 1, 2, 30, 40);");
        // Widgets the scripts hold: a horizontal sizer {A (2), B (3)}, a plain widget, one
        // deleted, one of the other scene.
        nSizerWidget* hsizer = new nSizerWidget(&UI(), 1, true);
        sizer = hsizer;
        hsizer->AddWidget(new nWidget(&UI(), 2));
        hsizer->AddWidget(new nWidget(&UI(), 3));
        plain = new nWidget(&UI(), 9);
        farWidget = new nWidget(&other->GetUI(), 8);
        nWidget* dead = new nWidget(&UI(), 4);
        Hold("g_sizer", sizer.Get(), objectTypeSizerWidget);
        Hold("g_widget", plain.Get(), objectTypeWidget);
        Hold("g_farWidget", farWidget.Get(), objectTypeWidget);
        Hold("g_deadWidget", dead, objectTypeWidget);
        Hold("g_font", fonts.GetSystemFont(), objectTypeFont);
        Hold("g_nullWidget", 0, objectTypeWidget);
        delete dead;  // the scripts' object now reads as a deleted native
    }
    void TearDown() override
    {
        sizer = plain = farWidget = nSharedPtr<nWidget>();  // before their scenes go
        delete other;
        nScriptAPITest::TearDown();
    }

    nScene2D& UI() { return scene->GetUI(); }
    // The sprite of the scene's draw list with that id string; NULL when none.
    nSprite2D* Sprite(const char* id)
    {
        for (nListNode<nSprite2D*>* n = UI().GetSprites().GetHead(); n; n = n->next)
            if (n->value->GetId() == id) return n->value;
        return 0;
    }
    // The ids of the draw list, head first.
    std::string DrawOrder()
    {
        std::string out;
        for (nListNode<nSprite2D*>* n = UI().GetSprites().GetHead(); n; n = n->next)
            out += (out.empty() ? "" : " ") + std::string(n->value->GetId().GetCStr());
        return out;
    }

    // One routing pass with the pointer at (x, y) of the layer's 640 x 480 pixels.
    void Frame(int32_t x, int32_t y, bool left = false, bool right = false, bool middle = false)
    {
        pointer.next.hasPosition = true;
        pointer.next.nx = (x + 0.5f) / 640.0f;
        pointer.next.ny = (y + 0.5f) / 480.0f;
        pointer.next.down[0] = left;
        pointer.next.down[1] = right;
        pointer.next.down[2] = middle;
        UI().Render(true);
    }
    // Frames the null renderer can place the cursor in: output and internal size alike.
    void OpenOutput()
    {
        ASSERT_TRUE(engine.GetRenderer()->Open(640, 480, 32, 0));
        Exec("UISetInternalResolution(ui, 640, 480)");
    }

    nWindowSystemFonts fonts;
    FakePointer pointer;
    nScene* other = 0;
    nSharedPtr<nTexture> texture;
    nSharedPtr<nWidget> sizer, plain, farWidget;
};

TEST_F(UIAPI, CensusOfNamesMasksAndConstantsAgainstTheManifest)
{
    std::vector<ManifestFunction> functions = ReadFunctionManifest("ui_functions.tsv");
    std::vector<ManifestConstant> constants = ReadConstantManifest("ui_constants.tsv");
    std::vector<std::string> expected;
    for (const ManifestFunction& f : functions) expected.push_back(f.name);
    for (const ManifestConstant& c : constants) expected.push_back(c.name);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(NamesAddedBy(RegisterUIScriptAPI), expected) << "the family adds exactly its names";

    std::vector<std::string> tabled, documented;
    for (const ScriptFunctionDecl* f = g_UIScriptFunctions; f->name; ++f) tabled.push_back(std::string(f->name) + " " + f->mask);
    for (const ManifestFunction& f : functions) documented.push_back(f.name + " " + f.mask);
    EXPECT_EQ(tabled, documented);
    for (const ManifestConstant& c : constants) {
        if (c.nullKind < 0) EXPECT_EQ(Eval(c.name), std::to_string(c.value)) << c.name;
        else EXPECT_EQ(Eval("WindowCompare(" + c.name + ", NullWindow)"), "true") << c.name;
    }
}

// Sprites made by UIAddSprite are no windows: the window getters raise, the window setters
// do nothing; both carry their id as decimal text and join the scene's draw list.
TEST_F(UIAPI, SpritesAgainstWindows)
{
    nSprite2D* sprite = Sprite("7");
    nSprite2D* window = Sprite("3");
    ASSERT_TRUE(sprite && window);
    EXPECT_FALSE(sprite->IsWindow());
    EXPECT_TRUE(window->IsWindow());
    EXPECT_EQ(sprite->GetTexture(), texture.Get());
    ExpectEvals({
        {"WindowGetTitle(spr)", "error: Sprite is not a window"},
        {"WindowGetBackgroundPicture(spr)", "error: Sprite is not a window"},
        {"WindowGetCacheTexture(spr)", "error: Sprite is not a window"},
        {"WindowCompose(spr)", "error: Sprite is not a window"},
        {"WindowInvalidate(spr)", "error: Sprite is not a window"},
        {"UILockToWindow(ui, spr)", "error: Sprite is not a window"},
        {"WindowGetTitle(win)", "Window"},
        {"WindowSetTitle(spr, \"no\")", "null"},
        {"WindowSetTitle(win, \"Hello\")", "null"},
        {"WindowGetTitle(win)", "Hello"},
        {"WindowGetPosition(spr)", "1 2 -1"},
        {"WindowGetSize(win)", "100 50 -1"},
        {"WindowGetRect(win).ex + \",\" + WindowGetRect(win).ey", "100,50"},
        {"WindowGetScreenRect(win).sx + \",\" + WindowGetScreenRect(win).ey", "10,70"},
        {"WindowCompare(win, spr)", "false"},
        {"WindowCompare(NullWindow, NullWindow)", "true"},
        {"WindowCompare(win, UIAddWindow(ui, 3, 0, 0, 1, 1))", "false"},
        {"WindowGetPosition(NullWindow)", "-1 -1 -1"},
        {"WindowGetStyle(NullWindow)", "0"},
        {"WindowGetOpacity(NullWindow)", "0"},
        {"WindowIsCommandListDone(NullWindow)", "true"},
        {"WindowCompare(WindowGetCacheTexture(win), NullWindow)", "error: Expected 'Window' got 'Texture'"},
    });
    EXPECT_EQ(static_cast<nWindow*>(window)->GetTitle(), "Hello");
    Exec("WindowSetBackgroundColor(spr, 0xFF0000FF); WindowSetBackgroundColor(win, 0x80FF0040);");
    const nVector c = static_cast<nWindow*>(window)->GetBackgroundColor();
    EXPECT_NEAR(c.x, 64 / 255.0f, 1e-6f);
    EXPECT_NEAR(c.y, 0.0f, 1e-6f);
    EXPECT_NEAR(c.z, 1.0f, 1e-6f);
    EXPECT_NEAR(c.w, 128 / 255.0f, 1e-6f);
    Exec("SpriteSetTexture(win, g_texture)");  // windows draw their cache
    EXPECT_NE(window->GetTexture(), texture.Get());
}

// Setters and the values they leave on the natives, clamps included.
TEST_F(UIAPI, SettersReachTheNatives)
{
    Exec("WindowSetPosition(spr, 5.5, 6); WindowSetPivot(spr, 1, 2); WindowSetScale(spr, 2, 3);"
         "WindowSetRotation(spr, 0.5); WindowSetZOrder(spr, 4); WindowSetOpacity(spr, 7.0); WindowSetFlip(spr, true, false);"
         "WindowSetSize(win, 200, 80); WindowSetStyle(win, StyleMovable | StyleAlwaysOnTop); WindowAddStyle(win, StyleNonSensitive);"
         "WindowRemoveStyle(win, StyleAlwaysOnTop); WindowShow(spr, false);"
         "UISetGlobalFadeEffect(ui, 3.0); UISetGlobalFadeColor(ui, 255, 128, 0); UISetInternalResolution(ui, 640, 480);");
    nSprite2D* s = Sprite("7");
    nSprite2D* w = Sprite("3");
    EXPECT_EQ(s->GetPosition().x, 5.5f);
    EXPECT_EQ(s->GetPivot().y, 2.0f);
    EXPECT_EQ(s->GetScale().y, 3.0f);
    EXPECT_EQ(s->GetRotation(), 0.5f);
    EXPECT_EQ(s->GetZOrder(), 4.0f);
    EXPECT_EQ(s->GetOpacity(), 1.0f);
    EXPECT_TRUE(s->TestState(Sprite2DStateFlipU));
    EXPECT_FALSE(s->TestState(Sprite2DStateFlipV));
    EXPECT_FALSE(s->TestState(Sprite2DStateVisible));
    EXPECT_EQ(w->GetSize().x, 200.0f);
    EXPECT_EQ(w->GetStyle(), (uint32_t)(Sprite2DStyleMovable | Sprite2DStyleNonSensitive));
    EXPECT_EQ(UI().GetGlobalFade(), 1.0f);
    EXPECT_NEAR(UI().GetFadeColour().x, 1.0f, 1e-6f);
    EXPECT_NEAR(UI().GetFadeColour().y, 128 / 255.0f, 1e-6f);
    EXPECT_NEAR(UI().GetFadeColour().z, 0.0f, 1e-6f);
    EXPECT_NEAR(UI().GetFadeColour().w, 1.0f, 1e-6f);
    ExpectEvals({
        {"WindowIsShown(spr)", "false"},
        {"WindowGetZOrder(spr)", "4"},
        {"WindowGetOpacity(spr)", "1"},
        {"WindowGetStyle(win)", "520"},
        {"UIGetInternalResolution(ui)", "640 480 0"},
    });
    // The screen rectangle's corners stay ints whatever the position.
    Exec("WindowSetPosition(win, 1e30, 0.0 / 0.0)");
    EXPECT_EQ(Eval("WindowGetScreenRect(win).sx + \",\" + WindowGetScreenRect(win).sy"), "1e+09,0");
    Exec("WindowCentre(win)");
    EXPECT_EQ(w->GetPosition().x, (640.0f - 200.0f) / 2.0f + w->GetPivot().x);
    EXPECT_EQ(w->GetPosition().y, (480.0f - 80.0f) / 2.0f + w->GetPivot().y);
}

// Every function called with a null object in its first argument does what its manifest row
// says: "error" raises "CObject is null", "ignored" returns. The other arguments are good.
TEST_F(UIAPI, NullObjectsAsTheManifestSays)
{
    auto good = [](char letter, bool first) -> std::string {
        switch (letter) {
            case 'n': return "1";
            case 's': return "\"x\"";
            case 'b': return "true";
            case 'c': return "function(id, e) {}";
            case '.': return "{}";
            default: return first ? "" : "win";
        }
    };
    Hold("NullScene", 0, objectTypeScene);
    for (const ManifestFunction& f : ReadFunctionManifest("ui_functions.tsv")) {
        if (f.nullObject == "-") continue;  // no object argument
        const std::string letters = f.mask.substr(1);
        // The null object of the first argument's kind.
        std::string first = f.name == "SceneGetUI" ? "NullScene" : (f.name.rfind("UI", 0) == 0 ? "g_nullUI" : "NullWindow");
        std::string call = f.name + "(" + first;
        for (size_t i = 1; i < letters.size(); ++i) call += ", " + good(letters[i], false);
        if (f.name == "UIAddSprite") call = "UIAddSprite(g_nullUI, 1, g_texture, 1, 1, 1, 1)";
        if (f.name == "SpriteSetTexture") call = "SpriteSetTexture(NullWindow, g_texture";
        if (f.name == "WindowSetBaseWidget") call = "WindowSetBaseWidget(NullWindow, g_widget";
        if (f.name != "UIAddSprite") call += ")";
        const std::string result = Run(call);
        if (f.nullObject == "error") EXPECT_EQ(result, "CObject is null") << call;
        else EXPECT_EQ(result, "") << call;
    }
    ExpectRuns({
        {"SpriteSetTexture(spr, g_nullTexture)", "CObject is null"},
        {"UIDeleteWindow(ui, NullWindow)", "CObject is null"},
        {"UILockToWindow(ui, NullWindow)", "CObject is null"},
        {"WindowSetParent(win, NullWindow)", ""},
        {"WindowSetBaseWidget(win, g_nullWidget)", ""},
        {"WindowSetBaseWidget(spr, g_widget)", ""},
    });
    EXPECT_EQ(static_cast<nWindow*>(Sprite("3"))->GetBaseWidget(), nullptr);
    EXPECT_EQ(plain->GetOwnerWindow(), nullptr);
}

// The draw list: MoveToFront puts a sprite at the head (drawn first), MoveToBack at the tail;
// beside a reference, before or after it. A window of another scene is refused.
TEST_F(UIAPI, DrawOrderMoves)
{
    Exec("::a <- UIAddSprite(ui, 10, g_texture, 0, 0, 1, 1); ::b <- UIAddSprite(ui, 11, g_texture, 0, 0, 1, 1);");
    EXPECT_EQ(DrawOrder(), "3 7 10 11");
    struct Move
    {
        const char* code;
        const char* order;
    };
    const Move moves[] = {
        {"WindowMoveToFront(b)", "11 3 7 10"},
        {"WindowMoveToBack(b)", "3 7 10 11"},
        {"WindowMoveToFrontOf(b, spr)", "3 11 7 10"},
        {"WindowMoveToBackOf(win, a)", "11 7 10 3"},
        {"WindowMoveToBackOf(spr, NullWindow)", "11 10 3 7"},
        {"WindowMoveToFrontOf(spr, NullWindow)", "7 11 10 3"},
    };
    for (const Move& m : moves) {
        Exec(m.code);
        EXPECT_EQ(DrawOrder(), m.order) << m.code;
    }
    Exec("::far <- UIAddWindow(otherUI, 99, 0, 0, 10, 10)");
    ExpectRuns({
        {"WindowMoveToFrontOf(win, far)", "Window belongs to another window system"},
        {"WindowMoveToBackOf(far, win)", "Window belongs to another window system"},
        {"UIDeleteWindow(ui, far)", "Window belongs to another window system"},
        {"UILockToWindow(ui, far)", "Window belongs to another window system"},
        {"WindowSetParent(win, far)", "Window belongs to another window system"},
    });
    EXPECT_EQ(DrawOrder(), "7 11 10 3");
    EXPECT_EQ(other->GetUI().GetSprites().GetCount(), 1);
}

// Parents: a child, the parent read back, and cycles refused without hanging.
TEST_F(UIAPI, ParentsAndCycles)
{
    Exec("::child <- UIAddWindow(ui, 4, 0, 0, 10, 10); WindowSetParent(child, win); WindowSetParent(spr, child);");
    ExpectEvals({
        {"WindowCompare(WindowGetParent(child), win)", "true"},
        {"WindowCompare(WindowGetParent(win), NullWindow)", "true"},
    });
    Exec("WindowSetParent(win, spr); WindowSetParent(win, win);");  // both would close a cycle
    EXPECT_EQ(Sprite("3")->GetParent(), nullptr);
    Exec("WindowShow(win, false)");
    EXPECT_EQ(Eval("WindowIsShown(spr)"), "false");
    Exec("WindowSetParent(child, NullWindow)");
    EXPECT_EQ(Eval("WindowIsShown(spr)"), "true");
}

// A window deleted from a script while other script objects still hold it: every holder
// reads as a deleted native and no call reaches the freed sprite; its children stay.
TEST_F(UIAPI, DeletedWindowsBecomeDeletedNatives)
{
    Exec("::held <- [win]; ::child <- UIAddSprite(ui, 6, g_texture, 0, 0, 1, 1); WindowSetParent(child, win);"
         "UIDeleteWindow(ui, win);");
    EXPECT_EQ(Sprite("3"), nullptr);
    const char* gone = "Expected 'Window' got 'Deleted native'";
    ExpectRuns({
        {"WindowGetTitle(held[0])", gone},
        {"WindowSetPosition(win, 1, 1)", gone},
        {"WindowGetPosition(win)", gone},
        {"UIDeleteWindow(ui, win)", gone},
        {"WindowMoveToBackOf(spr, win)", gone},
        {"WindowSetParent(spr, win)", gone},
    });
    EXPECT_EQ(Eval("WindowCompare(WindowGetParent(child), NullWindow)"), "true");
}

// A 2D scene that goes away takes its windows: the scripts' ui and window objects read as
// deleted natives.
TEST_F(UIAPI, ADeletedSceneLeavesDeletedNatives)
{
    Exec("::far <- UIAddWindow(otherUI, 99, 0, 0, 10, 10)");
    farWidget = nSharedPtr<nWidget>();  // a widget no window holds does not outlive its scene
    delete other;
    other = 0;
    ExpectRuns({
        {"WindowGetPosition(far)", "Expected 'Window' got 'Deleted native'"},
        {"UIRender(otherUI)", "Expected 'Window System' got 'Deleted native'"},
    });
}

// The program's window-system fonts, which the engine lends its 2D scenes: a font loaded from
// its file (once: loading it again answers the same font), found by its name; any other name
// finds the system font. A file that is no font gives a null object and one line; without
// fonts both functions give null objects.
TEST_F(UIAPI, FontsLoadedAndFoundThroughTheEngine)
{
    char exe[4096] = {0};
    ASSERT_GT(readlink("/proc/self/exe", exe, sizeof(exe) - 1), 0);
    std::string beside(exe);
    beside = beside.substr(0, beside.rfind('/')) + "/default.ttf";  // installed beside the test
    Hold("g_nullFont", 0, objectTypeFont);
    Exec("::path <- \"" + beside + "\"; ::loaded <- UILoadFont(path);");
    log.Clear();
    ExpectEvals({
        {"ObjectIsValid(loaded)", "true"},
        {"ObjectIsSame(UILoadFont(path), loaded)", "true"},
        {"ObjectIsSame(UIGetFont(\"default\"), loaded)", "true"},
        {"ObjectIsSame(UIGetFont(\"default\"), g_font)", "false"},
        {"ObjectIsSame(UIGetFont(\"no such font\"), g_font)", "true"},
        {"ObjectIsSame(UIGetFont(\"\"), g_font)", "true"},
        {"ObjectIsValid(UILoadFont(\"missing.ttf\"))", "false"},
        {"ObjectIsSame(UILoadFont(\"missing.ttf\"), g_nullFont)", "true"},
        {"UIRender(UIGetFont(\"default\"))", "error: Expected 'Window System' got 'Truetype Font'"},
    });
    EXPECT_EQ(log.Lines(), Lines({"[!] Failed to open font file 'missing.ttf'.\n",
                                  "[!] Failed to open font file 'missing.ttf'.\n"}));
    uiDevices.fonts = 0;
    ExpectEvals({
        {"ObjectIsValid(UIGetFont(\"default\"))", "false"},
        {"ObjectIsValid(UILoadFont(path))", "false"},
    });
}

// The instance of a 2D scene's script unit; a scene without a script gives null.
TEST_F(UIAPI, ScriptInstanceOfTheSceneUnit)
{
    nTempDir dir;
    ASSERT_TRUE(dir.Write("hud.nut", "class Hud { label = \"hud\"; function OnSetup(ui) { label = \"set up\"; } }\n"));
    nScene2D hud(&engine, &vm);
    hud.SetScriptPath(dir.Path("hud.nut").c_str());
    hud.SetClassName("Hud");
    ASSERT_TRUE(hud.Setup());
    Hold("g_hud", &hud, objectTypeWindowSystem);
    ExpectEvals({
        {"UIGetScriptInstance(g_hud).label", "set up"},
        {"UIGetScriptInstance(ui)", "null"},
        {"UIGetScriptInstance(g_nullUI)", "error: CObject is null"},
    });
}

// Base widgets: any widget kind, found again by id through the window; a widget given to a
// second window leaves the first, a child leaves its parent, and a widget of another scene or
// a deleted one is refused.
TEST_F(UIAPI, BaseWidgetsAndTheirChildren)
{
    Exec("::second <- UIAddWindow(ui, 12, 0, 0, 50, 50);"
         "WindowSetBaseWidget(win, g_sizer);");
    nWindow* first = static_cast<nWindow*>(Sprite("3"));
    nWindow* other = static_cast<nWindow*>(Sprite("12"));
    EXPECT_EQ(first->GetBaseWidget(), sizer.Get());
    EXPECT_EQ(sizer->GetOwnerWindow(), first);
    ExpectEvals({
        {"ObjectIsSame(WindowGetChild(win, 1), g_sizer)", "true"},
        {"ObjectIsValid(WindowGetChild(win, 3))", "true"},
        {"ObjectIsValid(WindowGetChild(win, 77))", "false"},
        {"ObjectIsValid(WindowGetChild(second, 1))", "false"},
        {"ObjectIsValid(WindowGetChild(spr, 1))", "false"},
        {"ObjectIsValid(WindowGetChild(NullWindow, 1))", "false"},
        {"WindowSetTitle(WindowGetChild(win, 2), \"x\")", "error: Expected 'Window' got 'Widget'"},
    });
    nWidget* b = sizer->FindById(3);
    ASSERT_NE(b, nullptr);
    Exec("WindowSetBaseWidget(second, WindowGetChild(win, 3))");  // B leaves the sizer
    EXPECT_EQ(other->GetBaseWidget(), b);
    EXPECT_EQ(b->GetParent(), nullptr);
    EXPECT_EQ(sizer->GetChildren().size(), 1u);
    Exec("WindowSetBaseWidget(second, g_sizer)");  // the sizer leaves the first window
    EXPECT_EQ(first->GetBaseWidget(), nullptr);
    EXPECT_EQ(other->GetBaseWidget(), sizer.Get());
    EXPECT_EQ(sizer->GetOwnerWindow(), other);
    EXPECT_EQ(sizer->FindById(2)->GetOwnerWindow(), other);
    ExpectRuns({
        {"WindowSetBaseWidget(win, g_farWidget)", "Widget belongs to another window system"},
        {"WindowSetBaseWidget(win, g_deadWidget)", "Expected 'Widget' got 'Deleted native'"},
        {"WindowSetBaseWidget(win, spr)", "Expected 'Widget' got 'Window'"},
        {"WindowSetBaseWidget(win, g_font)", "Expected 'Widget' got 'Truetype Font'"},
    });
    EXPECT_EQ(first->GetBaseWidget(), nullptr);
    Exec("UIDeleteWindow(ui, second)");  // its tree goes with it
    EXPECT_EQ(sizer->GetOwnerWindow(), nullptr);
    EXPECT_EQ(sizer->GetRefCount(), 1);
}

// Mouse frames through the layer's real router to handlers that scripts attach to a window at
// (100, 80) of 200 x 100 pixels; they print the event ids they get. Over a base widget the
// widget chain's events bubble to the window; a window without widgets gets its clicks and
// ups; enter and leave come once.
TEST_F(UIAPI, WindowHandlersGetTheMouseThroughTheRouter)
{
    OpenOutput();
    struct Step
    {
        int32_t x, y;
        bool left, right, middle;
    };
    const Step out{600, 400, false, false, false}, atA{150, 130, false, false, false}, atB{250, 130, false, false, false};
    auto pressed = [](Step s, int32_t button) { (button == 0 ? s.left : button == 1 ? s.right : s.middle) = true; return s; };
    auto moved = [](Step s, int32_t dx, int32_t dy) { s.x += dx; s.y += dy; return s; };
    struct Scenario
    {
        const char* name;
        bool widgets;  // the sizer {A, B} as the base widget
        bool movable;
        const char* events;  // the events handled, as script text
        std::vector<Step> steps;
        const char* got;
        const char* position;  // the window's position after the steps
    };
    const char* all = "[1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15]";
    const Scenario scenarios[] = {
        {"window alone: enter, click, leave", false, false, all, {out, atA, pressed(atA, 0), atA, out}, "10 1 11", "100 80 -1"},
        {"window alone: pressed inside, released outside", false, false, all, {out, atA, pressed(atA, 0), pressed(out, 0), out}, "10 11", "100 80 -1"},
        {"widgets: move, down and click bubble to the window", true, false, all, {out, atA, pressed(atA, 0), atA}, "12 10 4 1", "100 80 -1"},
        {"widgets: pressed on A, released on B: an up, no click", true, false, all, {out, atA, pressed(atA, 0), pressed(atB, 0), atB}, "12 10 4 12 7", "100 80 -1"},
        {"widgets: right and middle buttons", true, false, all, {atA, pressed(atA, 1), atA, pressed(atA, 2), atA}, "12 10 5 2 6 3", "100 80 -1"},
        {"widgets: y alone changing over one widget moves", true, false, all, {atA, moved(atA, 0, 5), moved(atA, 1, 5)}, "12 10 12 12", "100 80 -1"},
        {"unhandled press on a movable window drags it: moves, no up or click", true, true, "[1, 7, 13]", {atA, pressed(atA, 0), pressed(moved(atA, 30, 10), 0), moved(atA, 30, 10), moved(atA, 40, 10)}, "13 13", "130 90 -1"},
        {"a handled press does not drag", true, true, "[4, 13]", {atA, pressed(atA, 0), pressed(moved(atA, 30, 10), 0), moved(atA, 30, 10)}, "4", "100 80 -1"},
    };
    for (const Scenario& c : scenarios) {
        Exec(std::string("::got <- [];"
                         "::w <- UIAddWindow(ui, 20, 100, 80, 200, 100);"
                         "foreach (e in ") +
             c.events + ") WindowSetEventHandler(w, e, function(id, e) { ::got.append(id); });" +
             (c.widgets ? "WindowSetBaseWidget(w, g_sizer);" : "") +
             (c.movable ? "WindowAddStyle(w, StyleMovable);" : ""));
        Frame(out.x, out.y);  // a new window is placed (and hit) from the frame that first draws it
        for (const Step& step : c.steps) Frame(step.x, step.y, step.left, step.right, step.middle);
        EXPECT_EQ(Eval("got.reduce(@(a, b) a + \" \" + b)"), c.got) << c.name;
        EXPECT_EQ(Eval("WindowGetPosition(w)"), c.position) << c.name;
        Exec("UIDeleteWindow(ui, w)");
        Frame(out.x, out.y);
    }
}

// What a handler is given: the id and the event table, the context as 'this' or the root
// table; a later handler for an id replaces the earlier one; a plain sprite takes handlers
// too; the window below the cursor is the one routing found.
TEST_F(UIAPI, HandlerArgumentsContextsAndTheWindowBelowTheCursor)
{
    OpenOutput();
    Exec("::w <- UIAddWindow(ui, 20, 100, 80, 200, 100); ::s <- UIAddSprite(ui, 21, g_texture, 400, 80, 50, 50);"
         "::seen <- []; ::counter <- { count = 0 };"
         "WindowSetEventHandler(w, EventLeftMouseClick, function(id, e) { ::seen.append(\"replaced\"); });"
         "WindowSetEventHandler(w, EventLeftMouseClick, function(id, e) {"
         "  ::seen.append(id + \" \" + WindowCompare(e.window, w) + \" \" + e.cursor_id + \" \" + e.x + \" \" + e.y + \" \" +"
         "                (this == getroottable())); });"
         "WindowSetEventHandlerWithContext(w, EventMouseEnter, counter, function(id, e) { count += id; });"
         "WindowSetEventHandlerWithContext(s, EventLeftMouseClick, counter, function(id, e) { count += 100; });");
    Frame(600, 400);
    EXPECT_EQ(Eval("WindowCompare(UIGetWindowBelowCursor(ui), NullWindow)"), "true");
    Frame(150, 130);
    EXPECT_EQ(Eval("WindowCompare(UIGetWindowBelowCursor(ui), w)"), "true");
    Frame(150, 130, true);
    Frame(150, 130);
    Frame(420, 100);
    EXPECT_EQ(Eval("WindowCompare(UIGetWindowBelowCursor(ui), s)"), "true");
    Frame(420, 100, true);
    Frame(420, 100);
    EXPECT_EQ(Eval("seen.reduce(@(a, b) a + \",\" + b)"), "1 true 0 100 80 true");
    EXPECT_EQ(Eval("counter.count"), "110");
    Frame(600, 400);
    EXPECT_EQ(Eval("WindowCompare(UIGetWindowBelowCursor(ui), NullWindow)"), "true");
}

// A handler that deletes its own window: the deletion waits for the end of the pass, then
// every script object of the window reads as a deleted native and nothing routes to it.
TEST_F(UIAPI, AHandlerDeletesItsOwnWindow)
{
    OpenOutput();
    Exec("::w <- UIAddWindow(ui, 20, 100, 80, 200, 100); WindowSetBaseWidget(w, g_sizer); ::got <- [];"
         "WindowSetEventHandler(w, EventLeftMouseDown, function(id, e) {"
         "  UIDeleteWindow(ui, e.window); ::got.append(WindowGetTitle(e.window)); });"
         "WindowSetEventHandler(w, EventMouseLeave, function(id, e) { ::got.append(\"leave\"); });");
    Frame(600, 400);
    Frame(150, 130);
    Frame(150, 130, true);
    EXPECT_EQ(Eval("got.reduce(@(a, b) a + \",\" + b)"), "Window") << "still whole while its handler runs";
    EXPECT_EQ(Sprite("20"), nullptr);
    EXPECT_EQ(Run("WindowGetTitle(w)"), "Expected 'Window' got 'Deleted native'");
    EXPECT_EQ(Eval("WindowCompare(UIGetWindowBelowCursor(ui), NullWindow)"), "true");
    Frame(150, 130);
    Frame(600, 400);
    EXPECT_EQ(sizer->GetOwnerWindow(), nullptr);
}

// The cursor's auto-hide delay: stored on the layer's router; a delay of 0 or less shows the
// cursor window at full opacity; a null layer is ignored.
TEST_F(UIAPI, CursorAutoHideDelay)
{
    nTempDir dir;
    nPicture arrow;
    ASSERT_TRUE(arrow.Allocate(8, 8, PixelFormatRGBA8));
    ASSERT_TRUE(SavePictureTGA(dir.Path("arrow.tga").c_str(), arrow));
    Exec("UISetCursor(ui, \"" + dir.Path("arrow.tga") + "\"); ::cursor <- UIGetCursorWindow(ui);"
                                                        "WindowSetOpacity(cursor, 0.25); WindowShow(cursor, false); UISetCursorAutoHideDelay(ui, 2.5);");
    EXPECT_EQ(UI().GetRouter().GetCursorAutoHideDelay(), 2.5f);
    EXPECT_EQ(Eval("WindowGetOpacity(cursor)"), "0.25");
    Exec("UISetCursorAutoHideDelay(ui, 0)");
    ExpectEvals({
        {"WindowGetOpacity(cursor)", "1"},
        {"WindowIsShown(cursor)", "true"},
        {"UISetCursorAutoHideDelay(g_nullUI, 3)", "null"},
    });
    EXPECT_EQ(UI().GetRouter().GetCursorAutoHideDelay(), 0.0f);
}

// Every function with each argument replaced, in turn, by wrong kinds, null and deleted
// objects and boundary numbers, one argument too few and one too many: each call returns or
// raises one of the family's errors, and none crashes.
TEST_F(UIAPI, SweepOfKindsNullsDeletedObjectsAndBoundaryNumbers)
{
    std::string longText(4096, 'a');
    Exec("::g_long <- \"" + longText + "\"; ::dead <- UIAddWindow(ui, 50, 0, 0, 1, 1); UIDeleteWindow(ui, dead);"
                                       "::farW <- UIAddWindow(otherUI, 51, 0, 0, 1, 1);");
    const std::vector<std::vector<std::string>> kinds = {
        /* n */ {"0", "-1", "1", "2147483647", "2147483648", "-2147483649", "4294967296", "0.0", "-1.0", "1e30", "-1e30",
                 "(0.0 / 0.0)", "(1e30 * 1e30)", "-(1e30 * 1e30)"},
        /* s */ {"\"\"", "\"none.tga\"", "\"../x\"", "g_long"},
        /* b */ {"true", "false"},
        /* x */ {"win", "spr", "ui", "g_scene", "g_texture", "NullWindow", "g_nullUI", "dead", "farW", "Vector(1, 2, 3)", "g_widget", "g_sizer", "g_nullWidget", "g_deadWidget", "g_farWidget", "g_font"},
        /* c */ {"function(id, e) {}", "function(id, e) { throw \"handler\"; }", "print"},
        /* . */ {"null", "1", "\"s\"", "{}", "[]", "win", "g_widget"},
    };
    const std::vector<std::string> wrong = {"null", "1.5", "7", "\"s\"", "true", "[]", "{}", "g_texture", "Vector(0, 0, 0)"};
    auto good = [&](char letter) -> const std::vector<std::string>& { return kinds[std::string("nsbxc.").find(letter)]; };
    const std::vector<std::string> known = {
        "wrong number of parameters", "parameter ", "CObject is null", "Expected '", "Sprite is not a window",
        "Window belongs to another window system", "Widget belongs to another window system",
        "the object is not a class instance", "invalid type tag"};
    for (const ManifestFunction& f : ReadFunctionManifest("ui_functions.tsv")) {
        const std::string letters = f.mask.substr(1);
        std::vector<std::string> base;
        for (char l : letters) base.push_back(good(l)[0]);
        if (f.name == "SceneGetUI") base[0] = "g_scene";
        else if (f.name.rfind("UI", 0) == 0 && letters[0] == 'x') base[0] = "ui";
        if (f.name == "UIAddSprite") base[2] = "g_texture";
        if (f.name == "SpriteSetTexture") base[1] = "g_texture";
        if (f.name == "WindowSetBaseWidget") base[1] = "g_widget";
        std::vector<std::vector<std::string>> argLists;
        for (size_t p = 0; p < letters.size(); ++p) {
            for (const std::string& value : good(letters[p])) {
                auto a = base;
                a[p] = value;
                argLists.push_back(a);
            }
            for (const std::string& value : wrong) {
                auto a = base;
                a[p] = value;
                argLists.push_back(a);
            }
        }
        argLists.push_back(base);
        argLists.push_back(std::vector<std::string>(base.begin(), base.end() - 1));
        auto more = base;
        more.push_back("0");
        argLists.push_back(more);
        for (const std::vector<std::string>& args : argLists) {
            std::string call = f.name + "(";
            for (size_t i = 0; i < args.size(); ++i) call += (i ? ", " : "") + args[i];
            call += ")";
            // Keep the swept objects alive: deleting them is the deleted-object test's business.
            if (f.name == "UIDeleteWindow" && args.size() > 1 && (args[1] == "win" || args[1] == "spr")) continue;
            const std::string result = Run(call);
            if (!result.empty()) {
                bool isKnown = false;
                for (const std::string& e : known) isKnown = isKnown || result.rfind(e, 0) == 0;
                EXPECT_TRUE(isKnown) << call << " raised " << result;
            }
            ASSERT_FALSE(vm.IsKilled()) << call;
        }
    }
    EXPECT_EQ(Run("WindowSetTitle(win, \"after\"); if (WindowGetTitle(win) != \"after\") throw \"lost\";"), "")
        << "the sweep's window is still whole";
}

}  // namespace
