// Widget trees: sizer layout by weights, placement by alignments, container cells, drawable
// blending with its clip, lazy recomposing and deletion of widgets still held by a tree.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "hub/nOrvex.h"
#include "resources/nPictureFormat.h"
#include "resources/nPictureTGA.h"
#include "tests/kit/nCallLog.h"
#include "tests/scene/kit/nRecordingScriptVM.h"
#include "tests/support/nTempDir.h"
#include "ui/nScene2D.h"
#include "ui/nWidget.h"
#include "ui/nWindow.h"

void PrintTo(const nWidgetRect& r, std::ostream* out)
{
    *out << "(" << r.x0 << "," << r.y0 << "," << r.x1 << "," << r.y1 << ")";
}

namespace {

nWidgetRect R(int32_t x0, int32_t y0, int32_t x1, int32_t y1) { return nWidgetRect{x0, y0, x1, y1}; }

enum ChildKind
{
    Plain,
    Spacer,
    Hidden,
    Weightless
};

struct SizerCase
{
    const char* name;
    bool horizontal;
    std::vector<ChildKind> children;
    std::vector<nWidgetRect> want;  // the content rectangle of each child after the compose
};

TEST(WidgetLayout, SizersShareTheirRoomByWeight)
{
    // The sizer composes into (0, 0, 104, 54): 100 x 50 inside the default 2-pixel borders.
    const SizerCase cases[] = {
        {"three equal weights: 33 each, the last pixel empty", true, {Plain, Plain, Plain}, {R(2, 2, 35, 52), R(35, 2, 68, 52), R(68, 2, 101, 52)}},
        {"a spacer beside a plain widget gets a third", true, {Spacer, Plain}, {R(2, 2, 35, 52), R(35, 2, 101, 52)}},
        {"a hidden child takes no share and is not composed", true, {Plain, Hidden, Plain}, {R(2, 2, 52, 52), R(0, 0, 0, 0), R(52, 2, 102, 52)}},
        {"vertical: heights by weight", false, {Plain, Spacer}, {R(2, 2, 102, 35), R(2, 35, 102, 51)}},
        {"weights summing to zero give no child any room", true, {Weightless, Weightless}, {R(2, 2, 2, 52), R(2, 2, 2, 52)}},
    };
    for (const SizerCase& c : cases) {
        SCOPED_TRACE(c.name);
        nSizerWidget* sizer = new nSizerWidget(0, 1, c.horizontal);
        sizer->AddRef();
        std::vector<nWidget*> children;
        for (ChildKind kind : c.children) {
            nWidget* child = kind == Spacer ? new nSpacerWidget(0, 2) : new nWidget(0, 2);
            if (kind == Hidden) child->SetHidden(true);
            if (kind == Weightless) child->SetFormattingSize(0.0f, 0.0f);
            sizer->AddWidget(child);
            children.push_back(child);
        }
        sizer->Compose(0, 0, 0, 104, 54);
        EXPECT_FALSE(sizer->NeedsLayout());
        for (size_t i = 0; i < children.size(); ++i)
            EXPECT_EQ(children[i]->GetContentRect(), c.want[i]) << "child " << i;
        sizer->Release();
    }
}

TEST(WidgetLayout, SizerContentSizeCountsHiddenChildren)
{
    nSizerWidget* sizer = new nSizerWidget(0, 1, true);
    sizer->AddRef();
    nWidget* hidden = new nWidget(0, 2);
    hidden->SetHidden(true);
    sizer->AddWidget(new nSpacerWidget(0, 3));
    sizer->AddWidget(hidden);
    float x = 0.0f, y = 0.0f;
    sizer->GetContentSize(&x, &y);
    EXPECT_FLOAT_EQ(x, 1.5f);  // 0.5 + 1.0: summed across
    EXPECT_FLOAT_EQ(y, 1.0f);  // the largest
    sizer->Release();
}

TEST(WidgetLayout, AnEmptySizerIsLaidOutOnce)
{
    nSizerWidget sizer(0, 1, false);
    sizer.AddRef();
    ASSERT_TRUE(sizer.NeedsLayout());
    sizer.Compose(0, 0, 0, 50, 50);
    sizer.Refresh();
    EXPECT_FALSE(sizer.NeedsLayout()) << "an empty sizer would recompose its window every frame";
}

struct AlignCase
{
    int32_t h, v;
    nWidgetRect content, target, want;
};

TEST(WidgetLayout, PlaceInRectFollowsTheAlignments)
{
    const AlignCase cases[] = {
        {WidgetAlignMiddle, WidgetAlignMiddle, R(0, 0, 31, 10), R(10, 0, 110, 30), R(44, 10, 75, 20)},
        {WidgetAlignLeft, WidgetAlignTop, R(0, 0, 31, 10), R(10, 5, 110, 30), R(10, 5, 41, 15)},
        {WidgetAlignDefault, WidgetAlignDefault, R(0, 0, 31, 10), R(10, 5, 110, 30), R(10, 5, 41, 15)},
        {WidgetAlignRight, WidgetAlignBottom, R(0, 0, 31, 10), R(10, 5, 110, 30), R(79, 20, 110, 30)},
        {WidgetAlignStretch, WidgetAlignStretch, R(0, 0, 31, 10), R(10, 5, 110, 30), R(10, 5, 110, 30)},
        {WidgetAlignBottom, WidgetAlignRight, R(0, 0, 31, 10), R(10, 5, 110, 30), R(10, 5, 41, 15)},
        // Content larger than the target: centring truncates toward zero, far edges stay put.
        {WidgetAlignMiddle, WidgetAlignMiddle, R(0, 0, 121, 41), R(10, 5, 110, 30), R(0, -3, 121, 38)},
        {WidgetAlignRight, WidgetAlignBottom, R(0, 0, 121, 41), R(10, 5, 110, 30), R(-11, -11, 110, 30)},
    };
    for (const AlignCase& c : cases) {
        nWidget widget(0, 1);
        widget.SetHAlign(c.h);
        widget.SetVAlign(c.v);
        EXPECT_EQ(widget.PlaceInRect(c.content, c.target), c.want) << "align " << c.h << "/" << c.v;
    }
}

TEST(WidgetLayout, ContainerCellsAreTruncatedAndClippedToTheContainer)
{
    nContainerWidget* container = new nContainerWidget(0, 1);
    container->AddRef();
    nWidget* inside = container->AddWidget(new nWidget(0, 2), 10.7f, 5.2f, 20.5f, 10.0f);
    nWidget* overflowing = container->AddWidget(new nWidget(0, 3), 40.0f, 40.0f, 500.0f, 500.0f);
    EXPECT_EQ(container->AddWidget(0, 0, 0, 1, 1), nullptr);
    ASSERT_NE(container->FindCell(inside), nullptr);
    EXPECT_EQ(container->FindCell(inside)->rect, R(10, 5, 31, 15));
    container->Compose(0, 100, 100, 160, 150);
    EXPECT_EQ(inside->GetContentRect(), R(110, 105, 131, 115));
    EXPECT_EQ(overflowing->GetContentRect(), R(140, 140, 160, 150)) << "clipped to the container";
    container->Release();
}

TEST(WidgetLayout, FindByIdSearchesDepthFirst)
{
    nSizerWidget* root = new nSizerWidget(0, 1, true);
    root->AddRef();
    nSizerWidget* inner = new nSizerWidget(0, 2, false);
    root->AddWidget(inner);
    nWidget* deep = inner->AddWidget(new nWidget(0, 7));
    nWidget* shallow = root->AddWidget(new nWidget(0, 7));
    EXPECT_EQ(root->FindById(7), deep);
    EXPECT_NE(root->FindById(7), shallow);
    EXPECT_EQ(root->FindById(9), nullptr);
    root->Release();
}

// Drawables --------------------------------------------------------------------------------

nPicture* NewPicture(int32_t w, int32_t h, uint32_t fill)
{
    nPicture* p = new nPicture();
    p->Allocate(w, h, PixelFormatRGBA8);
    for (int32_t i = 0; i < w * h; ++i) std::memcpy(p->GetPixels() + i * 4, &fill, 4);
    return p;
}

uint32_t Pixel(const nPicture& p, int32_t x, int32_t y)
{
    uint32_t v;
    std::memcpy(&v, p.GetPixels() + (y * p.GetWidth() + x) * 4, 4);
    return v;
}

TEST(WidgetDrawing, BlendMatchesTheFormulaAtTheExtremes)
{
    struct
    {
        uint8_t s[4], d[4], want[4];
    } cases[] = {
        {{200, 100, 50, 255}, {10, 20, 30, 255}, {200, 100, 50, 255}},  // opaque over opaque: source, alpha clamped
        {{200, 100, 50, 0}, {10, 20, 30, 255}, {10, 20, 30, 255}},      // transparent source: destination kept
        {{200, 100, 50, 255}, {10, 20, 30, 0}, {200, 100, 50, 255}},    // over nothing: the source
        {{200, 100, 50, 0}, {10, 20, 30, 0}, {0, 0, 0, 0}},             // nothing over nothing: colour 0
        {{255, 0, 0, 128}, {0, 0, 255, 128}, {170, 0, 85, 192}},        // half over half
    };
    for (auto& c : cases) {
        uint8_t d[4];
        std::memcpy(d, c.d, 4);
        nWidgetPixels::BlendOver(d, c.s);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(d[i], c.want[i]) << "channel " << i;
    }
}

TEST(WidgetDrawing, CanvasLargerThanItsWindowStaysInsideTheClipAndThePicture)
{
    // A 12 x 12 window picture whose border is a canary; the canvas composes into the inner
    // 8 x 8 rectangle, and is larger than the whole picture.
    nPicture* window = NewPicture(12, 12, 0x11223344u);
    nCanvasWidget canvas(0, 1, 40, 40);
    canvas.AddRef();
    canvas.SetHAlign(WidgetAlignLeft);
    canvas.SetVAlign(WidgetAlignTop);
    const uint32_t red = 0xFF0000FFu;  // R in the low byte, opaque
    for (int32_t i = 0; i < 40 * 40; ++i) std::memcpy(canvas.GetPicture()->GetPixels() + i * 4, &red, 4);
    canvas.Compose(window, 2, 2, 10, 10);
    for (int32_t y = 0; y < 12; ++y)
        for (int32_t x = 0; x < 12; ++x) {
            const bool inside = x >= 2 && x < 10 && y >= 2 && y < 10;
            EXPECT_EQ(Pixel(*window, x, y), inside ? red : 0x11223344u) << x << "," << y;
        }
    // Placed partly off the picture: nothing is written outside it (ASan watches).
    canvas.Invalidate();
    canvas.Compose(window, -30, -30, 50, 50);
    EXPECT_FALSE(canvas.NeedsLayout());
    delete window;
}

TEST(WidgetDrawing, ACleanTreeComposesNothingAgain)
{
    nPicture* window = NewPicture(8, 8, 0);
    nSizerWidget* root = new nSizerWidget(0, 1, true);
    root->AddRef();
    nCanvasWidget* canvas = new nCanvasWidget(0, 2, 2, 2);
    root->AddWidget(canvas);
    root->Compose(window, 0, 0, 8, 8);
    root->Refresh();
    EXPECT_FALSE(root->NeedsLayout());
    canvas->Invalidate();  // as a script unlocking the canvas it drew into
    root->Refresh();
    EXPECT_TRUE(root->NeedsLayout()) << "a changed child makes its parent lay out again";
    root->Compose(window, 0, 0, 8, 8);
    EXPECT_FALSE(root->NeedsLayout());
    root->Release();
    delete window;
}

TEST(WidgetLayout, CheckBoxPutsItsPictureBesideItsLabel)
{
    nTempDir dir;
    nTempDir::ChangeInto into{dir};
    nOrvex engine;
    nCallLog log;
    nRecordingScriptVM vm{&engine, &log};
    nScene2D ui{&engine, &vm};
    nPicture tick;
    tick.Allocate(16, 16, PixelFormatRGBA8);
    std::memset(tick.GetPixels(), 255, tick.GetByteSize());
    ASSERT_EQ(system("mkdir -p ui"), 0);
    SavePictureTGA("ui/ui_check_true.tga", tick);

    nCheckWidget check(&ui, 1, "label", 0, 12);
    check.AddRef();
    check.SetState(false);  // no such picture: both parts share the inset rectangle
    EXPECT_EQ(check.GetPicturePart().GetPicture(), nullptr);
    check.Compose(0, 0, 0, 200, 20);
    EXPECT_EQ(check.GetPictureRect(), R(2, 2, 198, 18));
    EXPECT_EQ(check.GetLabelRect(), R(2, 2, 198, 18));

    check.SetState(true);
    ASSERT_NE(check.GetPicturePart().GetPicture(), nullptr);
    check.Refresh();
    EXPECT_TRUE(check.NeedsLayout()) << "a new picture lays the check box out again";
    check.Compose(0, 0, 0, 200, 20);
    EXPECT_EQ(check.GetPictureRect(), R(2, 2, 26, 18));
    EXPECT_EQ(check.GetLabelRect(), R(26, 2, 198, 18));
    EXPECT_TRUE(check.GetState());
}

// Lifecycle --------------------------------------------------------------------------------

TEST(WidgetLifecycle, AWidgetDeletedWhileHeldLeavesNoDanglingReference)
{
    nSizerWidget* sizer = new nSizerWidget(0, 1, true);
    sizer->AddRef();
    nWidget* first = sizer->AddWidget(new nWidget(0, 2));
    sizer->AddWidget(new nWidget(0, 3));
    delete first;  // deleted at once, as a script may
    ASSERT_EQ(sizer->GetChildren().size(), 1u);
    EXPECT_EQ(sizer->GetChildren()[0]->GetId(), 3);
    sizer->Compose(0, 0, 0, 100, 20);  // walks the children: ASan catches a dangling one

    nContainerWidget* container = new nContainerWidget(0, 4);
    sizer->AddWidget(container);
    nWidget* cell = container->AddWidget(new nWidget(0, 5), 0, 0, 10, 10);
    delete cell;
    EXPECT_EQ(container->FindCell(cell), nullptr);
    EXPECT_TRUE(container->GetChildren().empty());
    container->Invalidate();
    container->Compose(0, 0, 0, 50, 50);

    delete sizer;  // its children go with it
}

TEST(WidgetLifecycle, MovingAWidgetToAnotherSizerLeavesTheFirst)
{
    nSizerWidget* a = new nSizerWidget(0, 1, true);
    nSizerWidget* b = new nSizerWidget(0, 2, true);
    a->AddRef();
    b->AddRef();
    nWidget* child = a->AddWidget(new nWidget(0, 3));
    b->AddWidget(child);
    EXPECT_TRUE(a->GetChildren().empty());
    ASSERT_EQ(b->GetChildren().size(), 1u);
    EXPECT_EQ(child->GetParent(), b);
    EXPECT_EQ(child->GetRefCount(), 1);
    a->Release();
    b->Release();
}

// A widget has one place: made the base of another window, or added to a sizer or a container,
// it leaves the window or the parent it was in, so that when it is deleted no holder keeps it.
TEST(WidgetLifecycle, AWidgetHasOnePlace)
{
    nOrvex engine;
    nCallLog calls;
    nRecordingScriptVM vm(&engine, &calls);
    nScene2D ui(&engine, &vm);
    const nVector2 position(0.0f, 0.0f), size(100.0f, 50.0f);
    nWindow* first = new nWindow(&ui, 0, "first", "First", &position, &size);
    nWindow* second = new nWindow(&ui, 0, "second", "Second", &position, &size);
    nWidget* widget = new nWidget(&ui, 1);

    first->SetBaseWidget(widget);
    second->SetBaseWidget(widget);  // from one window to another
    EXPECT_EQ(first->GetBaseWidget(), nullptr);
    EXPECT_EQ(second->GetBaseWidget(), widget);
    EXPECT_EQ(widget->GetOwnerWindow(), second);
    EXPECT_EQ(widget->GetRefCount(), 1);

    nSizerWidget* sizer = new nSizerWidget(&ui, 2, true);
    first->SetBaseWidget(sizer);
    sizer->AddWidget(widget);  // from a window into a sizer
    EXPECT_EQ(second->GetBaseWidget(), nullptr);
    EXPECT_EQ(widget->GetParent(), sizer);
    EXPECT_EQ(widget->GetOwnerWindow(), first);
    EXPECT_EQ(widget->GetRefCount(), 1);

    nContainerWidget* container = new nContainerWidget(&ui, 3);
    second->SetBaseWidget(container);
    container->AddWidget(widget, 0, 0, 10, 10);  // from a sizer into a container's cell
    EXPECT_TRUE(sizer->GetChildren().empty());
    EXPECT_EQ(widget->GetOwnerWindow(), second);

    first->SetBaseWidget(widget);  // from a cell to the base of a window
    EXPECT_EQ(container->FindCell(widget), nullptr);
    EXPECT_TRUE(container->GetChildren().empty());
    EXPECT_EQ(widget->GetOwnerWindow(), first);
    EXPECT_EQ(widget->GetRefCount(), 1);

    delete widget;  // deleted at once, as a script may
    EXPECT_EQ(first->GetBaseWidget(), nullptr);
    EXPECT_EQ(second->GetBaseWidget(), container);
    first->Render(0);  // composes: ASan catches a dangling widget
    second->Render(0);
}

}  // namespace
