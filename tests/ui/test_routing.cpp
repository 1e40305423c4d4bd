// Input routing through real Squirrel handlers: frames of a fake pointer over a window holding
// a horizontal sizer with widgets A and B. Clicks need the press and release on one widget,
// events bubble to the first handler, unhandled presses drag and shade, a locked window hides
// the sprites beneath it and receives nothing, enter and leave come once each, and handlers may
// delete their own window or widget.
#include <gtest/gtest.h>

#include <squirrel.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "hub/nOrvex.h"
#include "resources/nPictureFormat.h"
#include "resources/nPictureTGA.h"
#include "script/nCObject.h"
#include "script/nSquirrelVM.h"
#include "tests/kit/nCallLog.h"
#include "tests/kit/nRecordingRenderer.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nTempDir.h"
#include "ui/nScene2D.h"
#include "ui/nWidget.h"
#include "ui/nWindow.h"

namespace {

typedef std::vector<std::string> Lines;

const char* kScript =
    "function rec(id, e) { print(\"w\" + e.id + \" \" + id); }\n"
    "function recWindow(id, e) { print(\"win \" + id); }\n"
    "function recBeneath(id, e) { print(\"beneath \" + id); }\n"
    "function killWindow(id, e) { print(\"kill window\"); KillWindow(e.window); }\n"
    "function killWidget(id, e) { print(\"kill widget \" + e.id); KillWidget(e.widget); }\n";

nScene2D* g_scene = 0;

SQInteger KillWindow(HSQUIRRELVM v)
{
    void* window = 0;
    if (!ScriptGetNativeObject(v, 2, &window, 13)) return sq_throwerror(v, "not a window");
    g_scene->DeleteWindow(static_cast<nSprite2D*>(window));
    return 0;
}

SQInteger KillWidget(HSQUIRRELVM v)
{
    void* widget = 0;
    if (!ScriptGetNativeObject(v, 2, &widget, 14)) return sq_throwerror(v, "not a widget");
    g_scene->DeleteWidget(static_cast<nWidget*>(widget));
    return 0;
}

struct Pointer : nUIPointer
{
    nUIPointerFrame next;
    nUIPointerFrame ReadFrame() override { return next; }
};

// Where a step puts the cursor: over A, over B, over the window but no child (the sizer's
// border), exactly on the window's left edge, in its title bar, or away from every window.
enum Place
{
    AtA,
    AtB,
    AtSizer,
    AtEdge,
    AtTitle,
    Away
};

struct Step
{
    Place at;
    int32_t dx, dy;  // added to the place
    bool left, right;
};

// Handlers by owner ("A", "B", "S" the sizer, "W" the window, "U" a window beneath) and event.
struct Handler
{
    const char* owner;
    int32_t event;
    const char* function;
};

enum Setup
{
    Plain = 0,
    Movable = 1,
    Skinned = 2,
    LockedOut = 4
};

struct Scenario
{
    const char* name;
    int32_t setup;
    std::vector<Handler> handlers;
    std::vector<Step> steps;
    Lines want;            // what the handlers printed, in order
    float movedX, movedY;  // how far the window was dragged
    bool shaded;
};

class Routing : public ::testing::Test
{
protected:
    nTempDir dir;
    nTempDir::ChangeInto into{dir};
    nOrvex engine;
    nCallLog calls;
    nRecordingRenderer renderer{&engine, &calls};
    nSquirrelVM vm{&engine};
    nScene2D* ui = 0;
    nWindow* beneath = 0;
    nWindow* window = 0;
    nSizerWidget* sizer = 0;
    nWidget* a = 0;
    nWidget* b = 0;
    Pointer pointer;
    std::map<int, std::pair<int32_t, int32_t>> points;

    void SetUp() override
    {
        ASSERT_TRUE(vm.Open());
        ASSERT_TRUE(renderer.Open(640, 480, 32, 0));
        HSQUIRRELVM v = vm.GetHandle();
        Register(v, "KillWindow", KillWindow);
        Register(v, "KillWidget", KillWidget);
        SQInteger top = sq_gettop(v);
        ASSERT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(v, kScript, strlen(kScript), "handlers", SQTrue)));
        sq_pushroottable(v);
        ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 1, SQFalse, SQTrue)));
        sq_settop(v, top);
        ui = new nScene2D(&engine, &vm);
        g_scene = ui;
        ui->SetInternalResolution(640.0f, 480.0f);
        ui->SetPointer(&pointer);
    }

    void TearDown() override
    {
        delete ui;
        g_scene = 0;
        vm.Close();
    }

    static void Register(HSQUIRRELVM v, const char* name, SQFUNCTION f)
    {
        sq_pushroottable(v);
        sq_pushstring(v, name, -1);
        sq_newclosure(v, f, 0);
        sq_newslot(v, -3, SQFalse);
        sq_pop(v, 1);
    }

    void MakeSkin()
    {
        const char* names[SkinSlotCount] = {"t.tga", "l.tga", "r.tga", "b.tga", "tl.tga", "tr.tga", "bl.tga", "br.tga"};
        for (const char* name : names) {
            nPicture piece;
            piece.Allocate(4, 8, PixelFormatRGBA8);
            for (size_t i = 0; i < piece.GetByteSize(); ++i) piece.GetPixels()[i] = 200;
            SavePictureTGA(name, piece);
        }
        ASSERT_TRUE(ui->SetSkin(names, 0xFF202020u, 0xFFFFFFFFu, 1, 7, 12, "Default"));
    }

    // A window beneath, then the window {sizer {A, B}} over it at the same place.
    void Build(int32_t setup)
    {
        if (setup & Skinned) MakeSkin();
        const nVector2 position(100.0f, 80.0f), size(200.0f, 100.0f);
        beneath = new nWindow(ui, 0, "beneath", "Beneath", &position, &size);
        window = new nWindow(ui, 0, "w", "Title", &position, &size);
        window->SetStyle(Sprite2DStyleMovable, (setup & Movable) != 0);
        sizer = new nSizerWidget(ui, 1, true);
        a = sizer->AddWidget(new nWidget(ui, 2));
        b = sizer->AddWidget(new nWidget(ui, 3));
        window->SetBaseWidget(sizer);
        if (setup & LockedOut) ui->LockToWindow(beneath);
        Frame(Step{Away, 0, 0, false, false});  // transforms and layout in place
        for (Place at : {AtA, AtB, AtSizer, AtEdge, AtTitle}) {
            int32_t x = 0, y = 0;
            Measure(at, &x, &y);
            points[at] = std::make_pair(x, y);  // steps are places as they were built
        }
    }

    nEventTable* Owner(const std::string& name)
    {
        if (name == "A") return a;
        if (name == "B") return b;
        if (name == "S") return sizer;
        if (name == "W") return &window->GetEventTable();
        return &beneath->GetEventTable();
    }

    void Attach(const Handler& h)
    {
        Owner(h.owner)->SetHandler(h.event, vm.GetObject(h.function, 0), 0);
    }

    static nRect2D Centre(const nRect2D& r, int32_t* x, int32_t* y)
    {
        *x = (r.x0 + r.x1) / 2;
        *y = (r.y0 + r.y1) / 2;
        return r;
    }

    void Where(Place at, int32_t* x, int32_t* y)
    {
        if (at == Away) {
            *x = 600;
            *y = 460;
            return;
        }
        *x = points[at].first;
        *y = points[at].second;
    }

    void Measure(Place at, int32_t* x, int32_t* y)
    {
        const nRect2D windowRect = window ? window->MapRect(window->GetRect()) : nRect2D{0, 0, 0, 0};
        switch (at) {
            case AtA: {
                const nWidgetRect& c = a->GetContentRect();
                Centre(window->MapRect(nRect2D{c.x0, c.y0, c.x1, c.y1}), x, y);
                break;
            }
            case AtB: {
                const nWidgetRect& c = b->GetContentRect();
                Centre(window->MapRect(nRect2D{c.x0, c.y0, c.x1, c.y1}), x, y);
                break;
            }
            case AtSizer:
                *x = windowRect.x0 + 1;
                *y = (windowRect.y0 + windowRect.y1) / 2;
                break;
            case AtEdge:
                *x = windowRect.x0;
                *y = (windowRect.y0 + windowRect.y1) / 2;
                break;
            case AtTitle:
                *x = (windowRect.x0 + windowRect.x1) / 2;
                *y = windowRect.y0 + 3;
                break;
            case Away:
                *x = 600;
                *y = 460;
                break;
        }
    }

    void Frame(const Step& step)
    {
        int32_t x = 0, y = 0;
        Where(step.at, &x, &y);
        x += step.dx;
        y += step.dy;
        pointer.next.hasPosition = true;
        pointer.next.nx = (x + 0.5f) / 640.0f;
        pointer.next.ny = (y + 0.5f) / 480.0f;
        pointer.next.down[0] = step.left;
        pointer.next.down[1] = step.right;
        pointer.next.down[2] = false;
        ui->Render(true);
        ASSERT_EQ(ui->GetRouter().GetCurrent().x, x) << "the cursor maps back to the same internal pixel";
        ASSERT_EQ(ui->GetRouter().GetCurrent().y, y);
    }
};

Lines Printed(const nLogCapture& log)
{
    Lines out;
    for (const std::string& line : log.Lines())
        if (line.compare(0, 4, "[S] ") == 0) out.push_back(line.substr(4, line.size() - 5));
    return out;
}

TEST_F(Routing, MouseFramesBecomeEventsOfTheWidgetsAndWindows)
{
    const Step aUp{AtA, 0, 0, false, false}, aLeft{AtA, 0, 0, true, false}, aRight{AtA, 0, 0, false, true};
    const Scenario scenarios[] = {
        {"pressed on A, released on B: no click", Plain, {{"A", 4, "rec"}, {"A", 1, "rec"}, {"A", 7, "rec"}, {"B", 1, "rec"}, {"B", 7, "rec"}}, {aUp, aLeft, {AtB, 0, 0, true, false}, {AtB, 0, 0, false, false}}, {"w2 4", "w3 7"}, 0, 0, false},
        {"pressed and released on A: down then click", Plain, {{"A", 4, "rec"}, {"A", 1, "rec"}, {"A", 7, "rec"}}, {aUp, aLeft, aUp}, {"w2 4", "w2 1"}, 0, 0, false},
        {"a widget without handlers: the window answers", Plain, {{"W", 4, "recWindow"}, {"W", 1, "recWindow"}}, {aUp, aLeft, aUp}, {"win 4", "win 1"}, 0, 0, false},
        {"bubbling stops at the first parent with a handler", Plain, {{"S", 1, "rec"}, {"W", 1, "recWindow"}}, {aUp, aLeft, aUp}, {"w1 1"}, 0, 0, false},
        {"over the window but no child: the base widget, then the window", Plain, {{"W", 1, "recWindow"}}, {{AtSizer, 0, 0, false, false}, {AtSizer, 0, 0, true, false}, {AtSizer, 0, 0, false, false}}, {"win 1"}, 0, 0, false},
        {"the window's left edge is not inside it", Plain, {{"W", 1, "recWindow"}, {"U", 1, "recBeneath"}}, {{AtEdge, 0, 0, false, false}, {AtEdge, 0, 0, true, false}, {AtEdge, 0, 0, false, false}}, {}, 0, 0, false},
        {"an unhandled press drags a movable window: moves, no up or click", Movable, {{"W", 13, "recWindow"}, {"W", 1, "recWindow"}, {"W", 7, "recWindow"}}, {aUp, aLeft, {AtA, 10, 5, true, false}, {AtA, 20, 5, false, false}}, {"win 13", "win 13"}, 20, 5, false},
        {"a widget with a click handler keeps its window still", Movable, {{"A", 1, "rec"}}, {aUp, aLeft, {AtA, 10, 5, true, false}, {AtA, 10, 5, false, false}}, {"w2 1"}, 0, 0, false},
        {"right presses shade, then unshade, a decorated window", Skinned, {{"W", 14, "recWindow"}, {"W", 15, "recWindow"}}, {aUp, aRight, aUp, {AtTitle, 0, 0, false, false}, {AtTitle, 0, 0, false, true}}, {"win 14", "win 15"}, 0, 0, false},
        {"one right press leaves it shaded", Skinned, {{"W", 14, "recWindow"}}, {aUp, aRight, aUp}, {"win 14"}, 0, 0, true},
        {"a locked window receives nothing and hides the window beneath", LockedOut | Movable, {{"A", 4, "rec"}, {"A", 1, "rec"}, {"W", 1, "recWindow"}, {"U", 1, "recBeneath"}, {"U", 4, "recBeneath"}}, {aUp, aLeft, {AtA, 10, 5, false, false}}, {}, 0, 0, false},
        {"enter and leave come once each", Plain, {{"A", 10, "rec"}, {"A", 11, "rec"}, {"B", 10, "rec"}, {"B", 11, "rec"}, {"W", 10, "recWindow"}, {"W", 11, "recWindow"}}, {aUp, {AtB, 0, 0, false, false}, {Away, 0, 0, false, false}}, {"w2 10", "win 10", "w2 11", "w3 10", "w3 11", "win 11"}, 0, 0, false},
    };
    for (const Scenario& s : scenarios) {
        SCOPED_TRACE(s.name);
        TearDown();
        SetUp();
        Build(s.setup);
        for (const Handler& h : s.handlers) Attach(h);
        const nVector2 start = window->GetPosition();
        nLogCapture log;
        for (const Step& step : s.steps) Frame(step);
        EXPECT_EQ(Printed(log), s.want);
        EXPECT_FLOAT_EQ(window->GetPosition().x - start.x, s.movedX);
        EXPECT_FLOAT_EQ(window->GetPosition().y - start.y, s.movedY);
        EXPECT_EQ(window->TestState(Sprite2DStateShaded), s.shaded);
        EXPECT_FALSE(vm.IsKilled()) << vm.GetKillReason().GetCStr();
    }
}

TEST_F(Routing, AHandlerMayDeleteItsOwnWindow)
{
    Build(Plain);
    Attach({"A", 1, "killWindow"});
    Attach({"W", 1, "recWindow"});
    nLogCapture log;
    Frame({AtA, 0, 0, false, false});
    Frame({AtA, 0, 0, true, false});
    int32_t x = 0, y = 0;
    Where(AtA, &x, &y);
    window = 0;  // gone after this frame: the steps below use fixed points
    pointer.next.down[0] = false;
    ui->Render(true);
    EXPECT_EQ(Printed(log), Lines({"kill window"}));
    EXPECT_EQ(ui->GetSprites().Find(static_cast<nSprite2D*>(beneath)) != 0, true);
    EXPECT_EQ(ui->GetSprites().GetHead()->next, nullptr) << "only the window beneath is left";
    EXPECT_EQ(ui->GetRouter().GetCurrent().widget, nullptr);
    // Later frames over the place where it was route to the window beneath.
    Attach({"U", 1, "recBeneath"});
    pointer.next.down[0] = true;
    ui->Render(true);
    pointer.next.down[0] = false;
    ui->Render(true);
    EXPECT_EQ(Printed(log), Lines({"kill window", "beneath 1"}));
}

TEST_F(Routing, AnEnterHandlerMayDeleteItsWindowWhileTheTreeIsWalked)
{
    Build(Plain);
    Attach({"A", 10, "killWindow"});
    Attach({"B", 10, "rec"});
    nLogCapture log;
    Frame({AtA, 0, 0, false, false});  // A is entered; the walk goes on to B afterwards
    EXPECT_EQ(Printed(log), Lines({"kill window"}));
    EXPECT_EQ(ui->GetSprites().GetHead()->next, nullptr) << "deleted once the pass ended";
    EXPECT_EQ(ui->GetRouter().GetCurrent().window, nullptr);
    window = 0;
    pointer.next.hasPosition = false;
    ui->Render(true);
    EXPECT_EQ(ui->GetRouter().GetCurrent().window, static_cast<nSprite2D*>(beneath));
}

TEST_F(Routing, AHandlerMayDeleteItsOwnWidget)
{
    Build(Plain);
    Attach({"A", 1, "killWidget"});
    Attach({"A", 11, "rec"});
    nLogCapture log;
    Frame({AtA, 0, 0, false, false});
    Frame({AtA, 0, 0, true, false});
    Frame({AtA, 0, 0, false, false});
    EXPECT_EQ(Printed(log), Lines({"kill widget 2"}));
    ASSERT_EQ(sizer->GetChildren().size(), 1u);
    EXPECT_EQ(sizer->GetChildren()[0], b);
    const nScene2DInputState& state = ui->GetRouter().GetCurrent();
    EXPECT_NE(state.widget, a);
    EXPECT_EQ(state.press[0], nullptr) << "the press widget was the deleted one";
    a = 0;
    Frame({AtB, 0, 0, true, false});  // the window recomposed without it: B takes the room
    EXPECT_EQ(ui->GetRouter().GetCurrent().widget, b);
}

}  // namespace

namespace {

uint32_t g_ticks = 0;
uint32_t FakeClock() { return g_ticks; }

TEST_F(Routing, AnIdleCursorFadesOnceAndHidesThenComesBackOnMovement)
{
    nPicture arrow;
    arrow.Allocate(8, 8, PixelFormatRGBA8);
    std::memset(arrow.GetPixels(), 255, arrow.GetByteSize());
    SavePictureTGA("arrow.tga", arrow);
    ASSERT_TRUE(ui->SetCursor("arrow.tga"));
    nWindow* cursor = ui->GetCursor();
    ui->GetRouter().SetCursorAutoHideDelay(2.0f);
    engine.SetClockSource(FakeClock);
    engine.ResetClock();
    auto frameAt = [&](float nx) {
        g_ticks += 1000;  // a tenth of a second
        engine.TickClock();
        pointer.next.hasPosition = true;
        pointer.next.nx = nx;
        pointer.next.ny = 0.5f;
        ui->Render(true);
    };
    frameAt(0.25f);
    for (int i = 0; i < 15; ++i) frameAt(0.25f);  // 1.5 s idle
    EXPECT_TRUE(cursor->TestState(Sprite2DStateVisible));
    EXPECT_FLOAT_EQ(cursor->GetOpacity(), 1.0f);
    for (int i = 0; i < 15; ++i) frameAt(0.25f);  // 3 s idle: the fade ran and the hide with it
    EXPECT_FALSE(cursor->TestState(Sprite2DStateVisible)) << "a fade compiled again every frame never hides";
    frameAt(0.5f);
    EXPECT_TRUE(cursor->TestState(Sprite2DStateVisible));
    EXPECT_FLOAT_EQ(cursor->GetOpacity(), 1.0f);
}

}  // namespace
