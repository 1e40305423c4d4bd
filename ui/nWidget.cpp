#include "ui/nWidget.h"

#include <algorithm>

#include "core/nLog.h"
#include "hub/nOrvex.h"
#include "resources/nPictureFormat.h"
#include "resources/nResourceLoader.h"
#include "scriptiface/nScriptVM.h"
#include "ui/nScene2D.h"
#include "ui/nWindow.h"
#include "ui/nWindowSystemFont.h"

namespace {
bool IsRGBA8(const nPicture* picture)
{
    return picture && picture->GetPixels() && picture->GetFormat() == PixelFormatRGBA8;
}

// A pixel coordinate or size from a float: truncated, held within +-2^20 pixels (far beyond
// any window) so that sums of two, in the 26.6 fixed point of text, stay ints; NaN gives 0.
int32_t ToPixels(float value)
{
    if (!(value == value))
        return 0;
    return static_cast<int32_t>(std::max(-1048576.0f, std::min(1048576.0f, value)));
}

// Border sizes: NaN gives 0, others are held within +-4096 (a window's largest edge).
float ToBorder(float value)
{
    if (!(value == value))
        return 0.0f;
    return std::max(-4096.0f, std::min(4096.0f, value));
}

const int32_t kCanvasMaxEdge = 4096;
}

nWidget::nWidget(nScene2D* scene, int32_t id)
    : m_kind(WidgetKindPlain), m_scene(scene), m_id(id), m_content{0, 0, 0, 0}, m_hAlign(3), m_vAlign(3),
      m_hidden(false), m_needsLayout(true), m_borderTop(2.0f), m_borderBottom(2.0f), m_borderLeft(2.0f),
      m_borderRight(2.0f), m_parent(0), m_window(0), m_formatX(1.0f), m_formatY(1.0f), m_dying(false), m_part(false)
{
    if (m_scene)
        m_scene->NoteWidget(this);
    Invalidate();
}

nWidget::~nWidget()
{
    m_dying = true;
    // Deleted while still held (a script deleting it at once): no holder keeps a dangling pointer.
    if (m_parent)
        m_parent->ForgetChild(this);
    if (m_window)
        m_window->ForgetWidget(this);
    if (m_scene)
        m_scene->ForgetWidget(this);
    if (m_scene && m_scene->GetVM())
        m_scene->GetVM()->InvalidateNativeObject(this);
    std::vector<nWidget*> children;
    children.swap(m_children);
    for (size_t i = 0; i < children.size(); ++i) {
        children[i]->m_parent = 0;
        children[i]->Release();
    }
}

void nWidget::Invalidate()
{
    for (size_t i = 0; i < m_children.size(); ++i)
        m_children[i]->Invalidate();
    m_needsLayout = true;
}

void nWidget::Refresh()
{
    for (size_t i = 0; i < m_children.size(); ++i) {
        m_children[i]->Refresh();
        if (m_children[i]->m_needsLayout)
            m_needsLayout = true;
    }
}

void nWidget::Compose(nPicture*, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    m_content = nWidgetRect{x0, y0, x1, y1};
    m_needsLayout = false;
}

void nWidget::SetHidden(bool hidden)
{
    if (hidden == m_hidden)
        return;
    m_hidden = hidden;
    m_needsLayout = true;
}

void nWidget::SetBorderSize(float left, float top, float right, float bottom)
{
    m_borderLeft = ToBorder(left);
    m_borderTop = ToBorder(top);
    m_borderRight = ToBorder(right);
    m_borderBottom = ToBorder(bottom);
    Invalidate();
}

void nWidget::SetOwnerWindow(nWindow* window)
{
    for (size_t i = 0; i < m_children.size(); ++i)
        m_children[i]->SetOwnerWindow(window);
    m_window = window;
}

nWidget* nWidget::FindById(int32_t id)
{
    if (m_id == id)
        return this;
    for (size_t i = 0; i < m_children.size(); ++i)
        if (nWidget* found = m_children[i]->FindById(id))
            return found;
    return 0;
}

void nWidget::GetContentSize(float* x, float* y) const
{
    float cx = 0.0f, cy = 0.0f;
    if (m_kind != WidgetKindVSizer && m_kind != WidgetKindHSizer) {
        *x = m_formatX;
        *y = m_formatY;
        return;
    }
    for (size_t i = 0; i < m_children.size(); ++i) {
        float childX, childY;
        m_children[i]->GetContentSize(&childX, &childY);
        if (m_kind == WidgetKindVSizer) {
            cx = std::max(cx, childX);
            cy += childY;
        } else {
            cx += childX;
            cy = std::max(cy, childY);
        }
    }
    *x = cx * m_formatX;
    *y = cy * m_formatY;
}

nWidgetRect nWidget::PlaceInRect(const nWidgetRect& content, const nWidgetRect& target) const
{
    const int32_t width = content.x1 - content.x0;
    const int32_t height = content.y1 - content.y0;
    nWidgetRect placed;
    switch (m_hAlign) {
        case WidgetAlignMiddle:
            placed.x0 = target.x0 + (target.x1 - target.x0 - width) / 2;
            placed.x1 = placed.x0 + width;
            break;
        case WidgetAlignRight:
            placed.x1 = target.x1;
            placed.x0 = target.x1 - width;
            break;
        case WidgetAlignStretch:
            placed.x0 = target.x0;
            placed.x1 = target.x1;
            break;
        default:
            placed.x0 = target.x0;
            placed.x1 = target.x0 + width;
            break;
    }
    switch (m_vAlign) {
        case WidgetAlignMiddle:
            placed.y0 = target.y0 + (target.y1 - target.y0 - height) / 2;
            placed.y1 = placed.y0 + height;
            break;
        case WidgetAlignBottom:
            placed.y1 = target.y1;
            placed.y0 = target.y1 - height;
            break;
        case WidgetAlignStretch:
            placed.y0 = target.y0;
            placed.y1 = target.y1;
            break;
        default:
            placed.y0 = target.y0;
            placed.y1 = target.y0 + height;
            break;
    }
    return placed;
}

bool nWidget::IsSelfOrAncestorOf(const nWidget* widget) const
{
    for (const nWidget* w = widget; w; w = w->m_parent)
        if (w == this)
            return true;
    return false;
}

bool nWidget::CanAdopt(const nWidget* widget) const
{
    if (!widget)
        return false;
    if (widget->m_part) {
        *g_log << "[!] Widget " << widget->m_id << " is part of another widget and joins no tree.\n";
        return false;
    }
    if (widget->m_scene != m_scene)  // it would outlive its scene in this tree
    {
        *g_log << "[!] Widget " << widget->m_id << " belongs to another window system.\n";
        return false;
    }
    if (widget->IsSelfOrAncestorOf(this)) {
        *g_log << "[!] Widget " << widget->m_id << " cannot be added inside itself.\n";
        return false;
    }
    return true;
}

void nWidget::Detach()
{
    if (m_parent)
        m_parent->ForgetChild(this);
}

void nWidget::AdoptChild(nWidget* child)
{
    // The base widget of a window leaves it (the caller holds a reference meanwhile): a widget
    // in two places would be lost by one of them when it is deleted.
    if (!child->m_parent && child->m_window && child->m_window->GetBaseWidget() == child)
        child->m_window->SetBaseWidget(0);
    child->m_parent = this;
    child->SetOwnerWindow(m_window);
    if (std::find(m_children.begin(), m_children.end(), child) != m_children.end())
        return;
    child->AddRef();
    m_children.push_back(child);
    m_needsLayout = true;
}

void nWidget::ForgetChild(nWidget* child)
{
    std::vector<nWidget*>::iterator at = std::find(m_children.begin(), m_children.end(), child);
    if (at == m_children.end())
        return;
    m_children.erase(at);
    child->m_parent = 0;
    m_needsLayout = true;
    if (child->m_dying)  // deleted at once: it holds no reference of ours any more
        return;
    child->SetOwnerWindow(0);
    child->Release();
}

void nWidget::InsetByBorders(int32_t* x0, int32_t* y0, int32_t* x1, int32_t* y1) const
{
    *x0 += static_cast<int32_t>(m_borderLeft);
    *y0 += static_cast<int32_t>(m_borderTop);
    *x1 -= static_cast<int32_t>(m_borderRight);
    *y1 -= static_cast<int32_t>(m_borderBottom);
}

// Sizers ------------------------------------------------------------------------------------

nSizerWidget::nSizerWidget(nScene2D* scene, int32_t id, bool horizontal) : nWidget(scene, id)
{
    m_kind = horizontal ? WidgetKindHSizer : WidgetKindVSizer;
}

nWidget* nSizerWidget::AddWidget(nWidget* widget)
{
    if (!CanAdopt(widget))
        return 0;
    widget->AddRef();  // kept alive while it leaves a previous parent
    if (widget->GetParent() && widget->GetParent() != this)
        widget->Detach();
    AdoptChild(widget);
    widget->Release();
    return widget;
}

void nSizerWidget::Compose(nPicture* picture, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    if (m_hidden || m_children.empty()) {
        m_needsLayout = false;  // an empty sizer has nothing left to lay out
        return;
    }
    if (!m_needsLayout)
        return;
    InsetByBorders(&x0, &y0, &x1, &y1);
    m_content = nWidgetRect{x0, y0, x1, y1};
    const bool horizontal = m_kind == WidgetKindHSizer;
    float sum = 0.0f;
    for (size_t i = 0; i < m_children.size(); ++i) {
        if (m_children[i]->IsHidden())
            continue;
        float weightX, weightY;
        m_children[i]->GetContentSize(&weightX, &weightY);
        sum += horizontal ? weightX : weightY;
    }
    // Weights summing to zero (or less) leave every child without room.
    const float scale = sum > 0.0f ? static_cast<float>(horizontal ? x1 - x0 : y1 - y0) / sum : 0.0f;
    int32_t at = horizontal ? x0 : y0;
    for (size_t i = 0; i < m_children.size(); ++i) {
        nWidget* child = m_children[i];
        if (child->IsHidden())
            continue;
        float weightX, weightY;
        child->GetContentSize(&weightX, &weightY);
        const float share = std::max(0.0f, (horizontal ? weightX : weightY) * scale);
        const int32_t extent = static_cast<int32_t>(std::min(share, 1.0e8f));
        if (horizontal)
            child->Compose(picture, at, y0, at + extent, y1);
        else
            child->Compose(picture, x0, at, x1, at + extent);
        at += extent;
    }
    m_needsLayout = false;
}

nSpacerWidget::nSpacerWidget(nScene2D* scene, int32_t id) : nWidget(scene, id)
{
    m_kind = WidgetKindSpacer;
    m_formatX = 0.5f;
    m_formatY = 0.5f;
}

void nSpacerWidget::Compose(nPicture*, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    m_content = nWidgetRect{x0, y0, x1, y1};
    m_needsLayout = false;
}

// Container ---------------------------------------------------------------------------------

nContainerWidget::nContainerWidget(nScene2D* scene, int32_t id) : nWidget(scene, id)
{
    m_kind = WidgetKindContainer;
}

nContainerWidget::~nContainerWidget()
{
    std::vector<nContainerCell> cells;
    cells.swap(m_cells);
    for (size_t i = 0; i < cells.size(); ++i)
        cells[i].widget->Release();
}

nWidget* nContainerWidget::AddWidget(nWidget* widget, float x, float y, float width, float height)
{
    if (!widget) {
        *g_log << "[!] Cannot create a cell for a NULL widget.\n";
        return 0;
    }
    if (!CanAdopt(widget))
        return 0;
    widget->AddRef();  // kept alive while it leaves a previous parent
    if (widget->GetParent() && widget->GetParent() != this)
        widget->Detach();
    nContainerCell cell;
    cell.rect = nWidgetRect{ToPixels(x), ToPixels(y), ToPixels(x + width), ToPixels(y + height)};
    cell.widget = widget;
    widget->AddRef();
    m_cells.push_back(cell);
    AdoptChild(widget);
    widget->Release();
    return widget;
}

const nContainerCell* nContainerWidget::FindCell(const nWidget* widget) const
{
    for (size_t i = 0; i < m_cells.size(); ++i)
        if (m_cells[i].widget == widget)
            return &m_cells[i];
    return 0;
}

bool nContainerWidget::MoveWidget(const nWidget* widget, float x, float y)
{
    bool moved = false;
    for (size_t i = 0; i < m_cells.size(); ++i)
        if (m_cells[i].widget == widget) {
            nWidgetRect& r = m_cells[i].rect;
            const int32_t width = r.x1 - r.x0, height = r.y1 - r.y0;
            r.x0 = ToPixels(x);
            r.y0 = ToPixels(y);
            r.x1 = r.x0 + width;
            r.y1 = r.y0 + height;
            moved = true;
        }
    if (moved)
        Invalidate();
    return moved;
}

bool nContainerWidget::RemoveWidget(nWidget* widget)
{
    if (!widget || !FindCell(widget))
        return false;
    ForgetChild(widget);
    return true;
}

void nContainerWidget::ForgetChild(nWidget* child)
{
    const bool dying = child->IsDying();
    int32_t cellReferences = 0;
    for (size_t i = m_cells.size(); i-- > 0;)
        if (m_cells[i].widget == child) {
            m_cells.erase(m_cells.begin() + static_cast<std::ptrdiff_t>(i));
            ++cellReferences;
        }
    if (!dying)
        child->AddRef();  // held across the releases below so that it dies at most once
    for (int32_t i = 0; i < cellReferences && !dying; ++i)
        child->Release();
    nWidget::ForgetChild(child);
    if (!dying)
        child->Release();
}

void nContainerWidget::Compose(nPicture* picture, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    if (m_hidden) {
        m_needsLayout = false;
        return;
    }
    if (!m_needsLayout)
        return;
    m_content = nWidgetRect{x0, y0, x1, y1};
    for (size_t i = 0; i < m_cells.size(); ++i) {
        const nContainerCell& cell = m_cells[i];
        if (cell.widget->IsHidden())
            continue;
        // Each cell is clipped to the container.
        const int32_t cx0 = std::max(x0, x0 + cell.rect.x0), cy0 = std::max(y0, y0 + cell.rect.y0);
        const int32_t cx1 = std::min(x1, x0 + cell.rect.x1), cy1 = std::min(y1, y0 + cell.rect.y1);
        cell.widget->Compose(picture, cx0, cy0, std::max(cx0, cx1), std::max(cy0, cy1));
    }
    m_needsLayout = false;
}

// Text --------------------------------------------------------------------------------------

nTextWidget::nTextWidget(nScene2D* scene, int32_t id, const char* text, nWindowSystemFont* font, int32_t size)
    : nWidget(scene, id), m_text(text ? text : "")
{
    m_kind = WidgetKindText;
    m_hAlign = WidgetAlignStretch;
    m_parameters.font = font;  // NULL: the text draws nothing
    m_parameters.size = size;
    m_parameters.red = m_parameters.green = m_parameters.blue = m_parameters.alpha = 255;
    m_parameters.columnWidth = 80;
}

void nTextWidget::Refresh()
{
    if (m_parameters.font && m_needsLayout) {
        const nTextBox box = MeasureFontText(m_text.c_str(), m_parameters.font, m_parameters.size);
        m_content = nWidgetRect{0, 0, box.x1, box.y1};
    }
}

void nTextWidget::Compose(nPicture* picture, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    nTextLayout layout;
    nTextBox area;
    area.x0 = x0;
    area.y0 = y0;
    area.x1 = x1;
    area.y1 = y1;
    const nTextBox measured = MeasureText(layout, m_text.c_str(), m_parameters, area);
    const nWidgetRect placed = PlaceInRect(nWidgetRect{0, 0, measured.x1, measured.y1}, nWidgetRect{x0, y0, x1, y1});
    nTextBox box;
    box.x0 = placed.x0;
    box.y0 = placed.y0;
    box.x1 = placed.x1;
    box.y1 = placed.y1;
    const nTextBox drawn = RenderText(picture, layout, box, area);
    m_content = nWidgetRect{drawn.x0, drawn.y0, drawn.x1, drawn.y1};
    m_needsLayout = false;
}

void nTextWidget::SetText(const char* text)
{
    m_text = text ? text : "";
    Invalidate();
}

void nTextWidget::SetParameters(const nTextParameters& parameters)
{
    if (parameters == m_parameters)
        return;
    m_parameters = parameters;
    Invalidate();
}

// Drawables ---------------------------------------------------------------------------------

void nWidgetPixels::BlendOver(uint8_t* d, const uint8_t* s)
{
    const int32_t sa = s[3], da = d[3];
    const int32_t outAlpha = std::min(255, sa + da - sa * da / 256);
    for (int32_t c = 0; c < 3; ++c) {
        const int32_t sc = s[c], dc = d[c];
        d[c] = outAlpha <= 0 ? 0 : static_cast<uint8_t>(std::min(255, (sc * sa + dc * da - sa * (dc * da) / 256) / outAlpha));
    }
    d[3] = static_cast<uint8_t>(std::max(0, outAlpha));
}

nDrawableWidget::nDrawableWidget(nScene2D* scene, int32_t id) : nWidget(scene, id), m_picture(0)
{
    m_kind = WidgetKindDrawable;
}

void nDrawableWidget::Compose(nPicture* target, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    if (m_hidden) {
        m_needsLayout = false;
        return;
    }
    if (!m_needsLayout || !IsRGBA8(m_picture))
        return;
    const int32_t width = static_cast<int32_t>(m_picture->GetWidth());
    const int32_t height = static_cast<int32_t>(m_picture->GetHeight());
    const nWidgetRect placed = PlaceInRect(nWidgetRect{0, 0, width, height}, nWidgetRect{x0, y0, x1, y1});
    if (IsRGBA8(target)) {
        // Clipped to the rectangle, to the picture drawn and to the window picture.
        const int32_t cx0 = std::max({x0, placed.x0, 0});
        const int32_t cy0 = std::max({y0, placed.y0, 0});
        const int32_t cx1 = std::min({x1, placed.x1, placed.x0 + width, static_cast<int32_t>(target->GetWidth())});
        const int32_t cy1 = std::min({y1, placed.y1, placed.y0 + height, static_cast<int32_t>(target->GetHeight())});
        for (int32_t y = cy0; y < cy1; ++y)
            for (int32_t x = cx0; x < cx1; ++x) {
                const uint8_t* source = m_picture->GetPixels() + (static_cast<size_t>(y - placed.y0) * width + (x - placed.x0)) * 4;
                uint8_t* destination = target->GetPixels() + (static_cast<size_t>(y) * target->GetWidth() + x) * 4;
                nWidgetPixels::BlendOver(destination, source);
            }
    }
    m_content = placed;
    m_needsLayout = false;
}

nCanvasWidget::nCanvasWidget(nScene2D* scene, int32_t id, int32_t width, int32_t height) : nDrawableWidget(scene, id)
{
    m_kind = WidgetKindCanvas;
    m_picture = new nPicture();
    m_picture->AddRef();  // the canvas's own reference: scripts drawing into it hold theirs
    if (width <= 0 || height <= 0 || width > kCanvasMaxEdge || height > kCanvasMaxEdge ||
        !m_picture->Allocate(static_cast<uint32_t>(width), static_cast<uint32_t>(height), PixelFormatRGBA8))
        *g_log << "[!] Failed to allocate a canvas picture of " << width << " x " << height << ".\n";
    else
        std::fill(m_picture->GetPixels(), m_picture->GetPixels() + m_picture->GetByteSize(), 0);
    m_needsLayout = true;
}

nCanvasWidget::~nCanvasWidget()
{
    m_picture->Release();
}

nBitmapWidget::nBitmapWidget(nScene2D* scene, int32_t id) : nDrawableWidget(scene, id)
{
    m_kind = WidgetKindBitmap;
}

bool nBitmapWidget::SetPicture(const char* name)
{
    nOrvex* engine = m_scene ? m_scene->GetEngine() : 0;
    // Held here: without a resource cache a picture left unused is freed on the way out.
    nSharedPtr<nPicture> loaded(name && engine ? LoadPicture(engine, name, false) : 0);
    if (loaded.IsValid() && IsRGBA8(loaded.Get())) {
        m_held = loaded;
        m_picture = loaded.Get();
        m_name = name;
        Invalidate();
    }
    return m_picture != 0;
}

// Check box ---------------------------------------------------------------------------------

nCheckWidget::nCheckWidget(nScene2D* scene, int32_t id, const char* label, nWindowSystemFont* font, int32_t size)
    : nWidget(scene, id), m_picturePart(scene, -1), m_label(scene, -1, label, font, size), m_state(false),
      m_pictureRect{0, 0, 0, 0}, m_labelRect{0, 0, 0, 0}
{
    m_kind = WidgetKindCheck;
    m_picturePart.MarkAsPart();
    m_label.MarkAsPart();
}

void nCheckWidget::Invalidate()
{
    m_picturePart.Invalidate();
    m_label.Invalidate();
    nWidget::Invalidate();
}

void nCheckWidget::Refresh()
{
    m_picturePart.Refresh();
    m_label.Refresh();
    if (m_picturePart.NeedsLayout() || m_label.NeedsLayout())
        m_needsLayout = true;
}

void nCheckWidget::Compose(nPicture* picture, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    if (!m_hidden && m_needsLayout) {
        InsetByBorders(&x0, &y0, &x1, &y1);
        if (const nPicture* part = m_picturePart.GetPicture()) {
            const int32_t split = x0 + static_cast<int32_t>(part->GetWidth()) * 3 / 2;
            m_pictureRect = nWidgetRect{x0, y0, split, y1};
            m_labelRect = nWidgetRect{split, y0, x1, y1};
        } else {
            m_pictureRect = m_labelRect = nWidgetRect{x0, y0, x1, y1};
        }
        m_picturePart.Compose(picture, m_pictureRect.x0, m_pictureRect.y0, m_pictureRect.x1, m_pictureRect.y1);
        m_label.Compose(picture, m_labelRect.x0, m_labelRect.y0, m_labelRect.x1, m_labelRect.y1);
    }
    m_needsLayout = false;
}

void nCheckWidget::SetState(bool state)
{
    m_state = state;
    m_picturePart.SetPicture(state ? "ui/ui_check_true.tga" : "ui/ui_check_false.tga");
}
