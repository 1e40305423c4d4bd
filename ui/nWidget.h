#ifndef N_WIDGET_H
#define N_WIDGET_H
// Widgets: the contents of a window, a reference-counted tree laid out lazily (Invalidate marks,
// Refresh gathers, Compose lays out and draws into the window's 32-bit picture on the CPU).
// Main thread only.
#include <cstdint>
#include <string>
#include <vector>

#include "core/nSharedObject.h"
#include "resources/nPicture.h"
#include "ui/nEventTable.h"
#include "ui/nTextLayout.h"

class nScene2D;
class nWindow;

enum nWidgetKind
{
    WidgetKindPlain = 0,
    WidgetKindSizer = 1,
    WidgetKindVSizer = 2,
    WidgetKindHSizer = 3,
    WidgetKindContainer = 4,
    WidgetKindSpacer = 5,
    WidgetKindText = 6,
    WidgetKindCanvas = 7,
    WidgetKindDrawable = 8,
    WidgetKindBitmap = 9,
    WidgetKindCheck = 10
};

// Alignment values: horizontal 3 centre, 4 right, 6 stretch, others left; vertical 3 middle,
// 5 bottom, 6 stretch, others top.
enum nWidgetAlign
{
    WidgetAlignDefault = 0,
    WidgetAlignLeft = 1,
    WidgetAlignTop = 2,
    WidgetAlignMiddle = 3,
    WidgetAlignRight = 4,
    WidgetAlignBottom = 5,
    WidgetAlignStretch = 6
};

struct nWidgetRect
{
    int32_t x0, y0, x1, y1;
    bool operator==(const nWidgetRect& o) const { return x0 == o.x0 && y0 == o.y0 && x1 == o.x1 && y1 == o.y1; }
};

class nWidget : public nSharedObject, public nEventTable
{
public:
    nWidget(nScene2D* scene, int32_t id);
    ~nWidget() override;  // drops every child; the tree forgets it

    virtual void Invalidate();  // this widget (and its subtree) needs layout
    virtual void Refresh();     // takes over needs-layout from the children
    virtual void Compose(nPicture* picture, int32_t x0, int32_t y0, int32_t x1, int32_t y1);

    void SetHidden(bool hidden);
    void SetHAlign(int32_t align)
    {
        m_hAlign = align;
        Invalidate();
    }
    void SetVAlign(int32_t align)
    {
        m_vAlign = align;
        Invalidate();
    }
    void SetFormattingSize(float x, float y)
    {
        m_formatX = x;
        m_formatY = y;
        Invalidate();
    }
    void SetBorderSize(float left, float top, float right, float bottom);
    void SetOwnerWindow(nWindow* window);  // descendants first, then this widget
    nWidget* FindById(int32_t id);
    void GetContentSize(float* x, float* y) const;
    nWidgetRect PlaceInRect(const nWidgetRect& content, const nWidgetRect& target) const;
    // Leaves its parent (and the parent's cells): the parent's reference is dropped, so this
    // may delete the widget.
    void Detach();
    // A part of another widget (a check box's picture and label): it lives and dies with its
    // whole, so it joins no tree and is never deleted on its own.
    void MarkAsPart() { m_part = true; }
    bool IsPart() const { return m_part; }
    bool IsSelfOrAncestorOf(const nWidget* widget) const;

    int32_t GetKind() const { return m_kind; }
    int32_t GetId() const { return m_id; }
    bool IsHidden() const { return m_hidden; }
    bool NeedsLayout() const { return m_needsLayout; }
    nWidget* GetParent() const { return m_parent; }
    nWindow* GetOwnerWindow() const { return m_window; }
    nScene2D* GetScene() const { return m_scene; }
    const nWidgetRect& GetContentRect() const { return m_content; }
    const std::vector<nWidget*>& GetChildren() const { return m_children; }
    bool IsDying() const { return m_dying; }  // its destructor runs

protected:
    void AdoptChild(nWidget* child);           // parent, owner window, a reference, appended once
    virtual void ForgetChild(nWidget* child);  // drops the child's reference (cells too)
    void InsetByBorders(int32_t* x0, int32_t* y0, int32_t* x1, int32_t* y1) const;

    int32_t m_kind;
    nScene2D* m_scene;
    int32_t m_id;
    nWidgetRect m_content;
    int32_t m_hAlign, m_vAlign;
    bool m_hidden, m_needsLayout;
    float m_borderTop, m_borderBottom, m_borderLeft, m_borderRight;
    nWidget* m_parent;
    nWindow* m_window;
    std::vector<nWidget*> m_children;  // one reference each
    float m_formatX, m_formatY;
    bool m_dying;
    bool m_part;
    // Whether widget may join this one's children: not NULL, not a part, of the same scene, and
    // not this widget or one of its ancestors (a tree that held itself would never end).
    // Refusals log one line.
    bool CanAdopt(const nWidget* widget) const;
};

// Stacks its children by their weights (GetContentSize): kind 2 top to bottom, kind 3 left to
// right. Children whose weights sum to zero get no room; an empty sizer is laid out at once.
// AddWidget gives NULL (logged) for a widget it may not adopt (nWidget::CanAdopt).
class nSizerWidget : public nWidget
{
public:
    nSizerWidget(nScene2D* scene, int32_t id, bool horizontal);
    nWidget* AddWidget(nWidget* widget);
    void Compose(nPicture* picture, int32_t x0, int32_t y0, int32_t x1, int32_t y1) override;
};

class nSpacerWidget : public nWidget
{
public:
    nSpacerWidget(nScene2D* scene, int32_t id);
    void Compose(nPicture* picture, int32_t x0, int32_t y0, int32_t x1, int32_t y1) override;
};

struct nContainerCell
{
    nWidgetRect rect;  // relative to the container's origin
    nWidget* widget;   // one reference
};

// Children in explicit cells; every cell is clipped to the container's rectangle.
class nContainerWidget : public nWidget
{
public:
    nContainerWidget(nScene2D* scene, int32_t id);
    ~nContainerWidget() override;
    // Cell (x, y, x + width, y + height), each truncated (and held within +-2^20 pixels, NaN
    // giving 0). NULL widget: logged, NULL; so is a widget it may not adopt (nWidget::CanAdopt).
    nWidget* AddWidget(nWidget* widget, float x, float y, float width, float height);
    const nContainerCell* FindCell(const nWidget* widget) const;
    bool MoveWidget(const nWidget* widget, float x, float y);  // the cell keeps its size; false without one
    bool RemoveWidget(nWidget* widget);
    void Compose(nPicture* picture, int32_t x0, int32_t y0, int32_t x1, int32_t y1) override;

protected:
    void ForgetChild(nWidget* child) override;

private:
    std::vector<nContainerCell> m_cells;
};

// Text in a window-system font, measured and drawn by the text layout.
class nTextWidget : public nWidget
{
public:
    nTextWidget(nScene2D* scene, int32_t id, const char* text, nWindowSystemFont* font, int32_t size);
    void Refresh() override;
    void Compose(nPicture* picture, int32_t x0, int32_t y0, int32_t x1, int32_t y1) override;
    void SetText(const char* text);
    void SetParameters(const nTextParameters& parameters);
    const nTextParameters& GetParameters() const { return m_parameters; }
    const std::string& GetText() const { return m_text; }

private:
    nTextParameters m_parameters;
    std::string m_text;
};

// Blends a picture (RGBA8) into the window, placed by its alignments and clipped.
class nDrawableWidget : public nWidget
{
public:
    nDrawableWidget(nScene2D* scene, int32_t id);
    void Compose(nPicture* picture, int32_t x0, int32_t y0, int32_t x1, int32_t y1) override;
    nPicture* GetPicture() const { return m_picture; }

protected:
    nPicture* m_picture;  // the canvas owns it
};

// A zero-filled RGBA8 picture of its own that scripts draw into, 1 to 4096 pixels a side (other
// sizes: logged, a picture without pixels). The picture is shared: a script's object of it holds
// a reference, so it outlives the canvas while a script still holds it.
class nCanvasWidget : public nDrawableWidget
{
public:
    nCanvasWidget(nScene2D* scene, int32_t id, int32_t width, int32_t height);
    ~nCanvasWidget() override;
};

// A picture loaded by name (the engine's picture loader); none when it does not load.
class nBitmapWidget : public nDrawableWidget
{
public:
    nBitmapWidget(nScene2D* scene, int32_t id);
    bool SetPicture(const char* name);  // true when the widget has a picture
    const std::string& GetPictureName() const { return m_name; }

private:
    nSharedPtr<nPicture> m_held;
    std::string m_name;
};

// A picture part and a label side by side; the state only changes the picture, never by a click.
class nCheckWidget : public nWidget
{
public:
    nCheckWidget(nScene2D* scene, int32_t id, const char* label, nWindowSystemFont* font, int32_t size);
    void Invalidate() override;
    void Refresh() override;
    void Compose(nPicture* picture, int32_t x0, int32_t y0, int32_t x1, int32_t y1) override;
    void SetState(bool state);  // "ui/ui_check_true.tga" or "ui/ui_check_false.tga"
    bool GetState() const { return m_state; }
    nBitmapWidget& GetPicturePart() { return m_picturePart; }
    nTextWidget& GetLabel() { return m_label; }
    const nWidgetRect& GetPictureRect() const { return m_pictureRect; }  // where the parts were last composed
    const nWidgetRect& GetLabelRect() const { return m_labelRect; }

private:
    nBitmapWidget m_picturePart;
    nTextWidget m_label;
    bool m_state;
    nWidgetRect m_pictureRect, m_labelRect;
};

namespace nWidgetPixels {
// One RGBA8 pixel blended over another: out alpha = sa + da - sa*da/256, colour weighted,
// both clamped to 255, colour 0 when the out alpha is 0.
void BlendOver(uint8_t* destination, const uint8_t* source);
}

#endif
