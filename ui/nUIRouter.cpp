#include "ui/nUIRouter.h"

#include <algorithm>

#include "core/nScriptObject.h"
#include "core/nScriptValue.h"
#include "hub/nOrvex.h"
#include "render/nRenderer.h"
#include "scriptiface/nScriptVM.h"
#include "ui/nScene2D.h"
#include "ui/nWidget.h"
#include "ui/nWindow.h"

namespace {
const int32_t kObjectTypeWindow = 13;
const int32_t kObjectTypeWidget = 14;

bool StrictlyInside(const nRect2D& r, int32_t x, int32_t y)
{
    return r.x0 < x && x < r.x1 && r.y0 < y && y < r.y1;
}

nRect2D MappedContent(const nWindow* window, const nWidget* widget)
{
    const nWidgetRect& c = widget->GetContentRect();
    return window->MapRect(nRect2D{c.x0, c.y0, c.x1, c.y1});
}

nWindow* AsWindow(nSprite2D* sprite)
{
    return sprite && sprite->IsWindow() ? static_cast<nWindow*>(sprite) : 0;
}

const int32_t kClickEvents[3] = {EventLeftMouseClick, EventRightMouseClick, EventMiddleMouseClick};
const int32_t kUpEvents[3] = {EventLeftMouseUp, EventRightMouseUp, EventMiddleMouseUp};
const int32_t kDownEvents[3] = {EventLeftMouseDown, EventRightMouseDown, EventMiddleMouseDown};
}

nUIRouter::nUIRouter(nScene2D* scene)
    : m_scene(scene), m_pointer(&m_nullPointer), m_dragged(0), m_nx(0.0f), m_ny(0.0f), m_autoHideDelay(0.0f),
      m_lastMove(0.0), m_fadeCompiled(false), m_routing(false)
{
}

void nUIRouter::SetPointer(nUIPointer* pointer)
{
    m_pointer = pointer ? pointer : &m_nullPointer;
}

void nUIRouter::SetCursorAutoHideDelay(float seconds)
{
    m_autoHideDelay = seconds;
    nWindow* cursor = m_scene->GetCursor();
    if (seconds <= 0.0f && cursor) {
        cursor->SetOpacity(1.0f);
        cursor->SetState(Sprite2DStateVisible, true);
    }
}

void nUIRouter::Route()
{
    m_routing = true;
    m_previous = m_current;
    const nUIPointerFrame frame = m_pointer->ReadFrame();
    PlaceCursor(frame);
    AutoHideCursor();
    if (m_dragged) {
        m_dragged->SetPosition(m_dragged->GetPosition().x + static_cast<float>(m_current.x - m_previous.x),
                               m_dragged->GetPosition().y + static_cast<float>(m_current.y - m_previous.y));
        SendWindowEvent(m_dragged, EventMove);
    }
    m_current.window = HitTest();
    nWindow* window = AsWindow(m_current.window);
    m_current.widget = window ? FindWidgetAt(window, window->GetBaseWidget(), m_current.x, m_current.y) : 0;
    for (int32_t b = 0; b < 3; ++b) {
        m_current.down[b] = frame.down[b];
        if (m_current.down[b] && !m_previous.down[b])
            m_current.press[b] = m_current.widget;
    }
    if (!m_dragged)
        SendButtons();
    else if (!m_current.down[0])
        m_dragged = 0;
    SendEnterAndLeave();
    m_routing = false;
    FlushDeletions();
}

void nUIRouter::PlaceCursor(const nUIPointerFrame& frame)
{
    // A frame without a position keeps the cursor where it was.
    if (frame.hasPosition) {
        m_nx = frame.nx;
        m_ny = frame.ny;
    }
    nRenderer* renderer = m_scene->GetEngine() ? m_scene->GetEngine()->GetRenderer() : 0;
    nVector2 output(0.0f, 0.0f);
    if (renderer)
        renderer->GetOutputSize(output);
    const float aspect = renderer ? renderer->GetGlobalAspectRatio() : 1.0f;
    if (nWindow* cursor = m_scene->GetCursor())
        cursor->SetPosition(output.x * m_nx, output.y * m_ny);
    float internalWidth = 0.0f, internalHeight = 0.0f;
    m_scene->GetInternalResolution(&internalWidth, &internalHeight);
    if (internalWidth <= 0.0f || internalHeight <= 0.0f || output.x <= 0.0f || output.y <= 0.0f || aspect <= 0.0f)
        return;
    // The inverse of the 2D projection, which keeps the internal aspect whatever the output's.
    m_current.x = static_cast<int32_t>(
        internalWidth * ((m_nx - 0.5f) * (internalHeight / internalWidth) * (output.x / output.y) / aspect + 0.5f));
    m_current.y = static_cast<int32_t>(internalHeight * m_ny);
}

void nUIRouter::AutoHideCursor()
{
    nWindow* cursor = m_scene->GetCursor();
    if (!cursor || m_autoHideDelay <= 0.0f)
        return;
    nOrvex* engine = m_scene->GetEngine();
    const double now = engine ? engine->GetTotalClock() / 10000.0 : 0.0;
    if (m_current.x != m_previous.x || m_current.y != m_previous.y) {
        m_lastMove = now;
        m_fadeCompiled = false;
    }
    if (now - m_lastMove > m_autoHideDelay) {
        // Compiled once per idle period: compiled again every frame the fade would start over
        // and the hide would never run.
        if (!m_fadeCompiled)
            m_scene->CompileCommandList("toalpha 0.1,0; hide 0;", cursor);
        m_fadeCompiled = true;
        return;
    }
    cursor->SetOpacity(1.0f);
    cursor->SetState(Sprite2DStateVisible, true);
}

nSprite2D* nUIRouter::HitTest() const
{
    for (nListNode<nSprite2D*>* n = m_scene->GetSprites().GetTail(); n; n = n->prev) {
        nSprite2D* sprite = n->value;
        if (!sprite->IsShown() || sprite->GetOpacity() <= 0.0f || sprite->TestStyle(Sprite2DStyleNonSensitive) ||
            sprite == m_scene->GetCursor())
            continue;
        if (StrictlyInside(sprite->MapRect(sprite->GetRect()), m_current.x, m_current.y))
            return sprite;
    }
    return 0;
}

nWidget* nUIRouter::FindWidgetAt(nWindow* window, nWidget* widget, int32_t x, int32_t y) const
{
    if (!window || !widget)
        return 0;
    const std::vector<nWidget*>& children = widget->GetChildren();
    for (size_t i = 0; i < children.size(); ++i)
        if (!children[i]->IsHidden() && StrictlyInside(MappedContent(window, children[i]), x, y))
            return FindWidgetAt(window, children[i], x, y);
    return widget;
}

void nUIRouter::SendButtons()
{
    const nScene2DInputState& now = m_current;
    const nScene2DInputState& before = m_previous;
    if (now.widget) {
        for (int32_t b = 0; b < 3; ++b)
            if (before.down[b] && !now.down[b]) {
                const bool click = now.widget == before.widget && now.widget == now.press[b];
                DispatchEvent(now.widget, now, click ? kClickEvents[b] : kUpEvents[b], true);
            }
        if (now.down[0] && !before.down[0])
            DispatchEvent(now.widget, now, EventLeftMouseDown, true);
        if (now.down[1] && !before.down[1])
            DispatchEvent(now.widget, now, EventRightMouseDown, true);
        if (now.down[2] && !before.down[2])
            DispatchEvent(now.widget, now, EventMiddleMouseDown, true);
        if (now.x != before.x || (now.y != before.y && now.widget == before.widget))
            DispatchEvent(now.widget, now, EventMouseMove, true);
        return;
    }
    if (!now.window)
        return;
    for (int32_t b = 0; b < 3; ++b)
        if (before.down[b] && !now.down[b])
            SendWindowEvent(now.window, now.window == before.window ? kClickEvents[b] : kUpEvents[b]);
    if (now.down[0] && !before.down[0] && now.window->TestStyle(Sprite2DStyleMovable) &&
        !now.window->TestStyle(Sprite2DStyleLocked))
        m_dragged = now.window;
}

bool nUIRouter::DispatchEvent(nWidget* widget, const nScene2DInputState& state, int32_t id, bool bubble)
{
    if (!widget)
        return false;
    for (nWidget* w = widget; w; w = bubble ? w->GetParent() : 0)
        if (SendWidgetEvent(state, id, *w, w->GetId()))
            return true;
    if (bubble && SendWindowEvent(state.window, id))
        return true;
    // Built-in actions of unhandled presses; a locked window has none.
    if (!state.window || state.window->TestStyle(Sprite2DStyleLocked))
        return false;
    if (id == EventLeftMouseDown && !widget->Find(EventLeftMouseClick) && state.window->TestStyle(Sprite2DStyleMovable))
        m_dragged = state.window;
    nWindow* window = AsWindow(state.window);
    if (id == EventRightMouseDown && !widget->Find(EventRightMouseClick) && window &&
        !window->TestStyle(Sprite2DStyleNoTitle) && !window->TestStyle(Sprite2DStyleNoDecoration)) {
        const bool shaded = window->TestState(Sprite2DStateShaded);
        SendWindowEvent(window, shaded ? EventUnshade : EventShade);
        window->Shade(!shaded);
    }
    return false;
}

bool nUIRouter::SendWidgetEvent(const nScene2DInputState& state, int32_t id, const nEventTable& table, int32_t widgetId)
{
    const nEventHandler* handler = table.Find(id);
    nScriptVM* vm = m_scene->GetVM();
    if (!handler || !state.window || state.window->TestStyle(Sprite2DStyleLocked) || !vm)
        return false;
    if (!vm->BeginCall(0, handler->closure, handler->context))
        return false;
    nScriptObject* event = vm->NewTable();
    if (event) {
        vm->SetValue("window", nScriptValue(kObjectTypeWindow, state.window), event);
        // The widget under the cursor goes as a widget, so widget functions accept it.
        vm->SetValue("widget", nScriptValue(kObjectTypeWidget, state.widget), event);
        vm->SetValue("id", nScriptValue(widgetId), event);
        vm->SetValue("cursor_id", nScriptValue(int32_t(0)), event);
        vm->SetValue("x", nScriptValue(state.x), event);
        vm->SetValue("y", nScriptValue(state.y), event);
        vm->SetValue("left_down", nScriptValue(state.down[0]), event);
        vm->SetValue("middle_down", nScriptValue(state.down[2]), event);
        vm->SetValue("right_down", nScriptValue(state.down[1]), event);
    }
    vm->PushArgument(nScriptValue(id));
    vm->PushArgument(nScriptValue(event, true));
    vm->ExecuteCall(0);
    return true;
}

bool nUIRouter::SendWindowEvent(nSprite2D* window, int32_t id)
{
    nScriptVM* vm = m_scene->GetVM();
    if (!window || window->TestStyle(Sprite2DStyleLocked) || !vm)
        return false;
    const nEventHandler* handler = window->GetEventTable().Find(id);
    if (!handler || !vm->BeginCall(0, handler->closure, handler->context))
        return false;
    nScriptObject* event = vm->NewTable();
    if (event) {
        vm->SetValue("window", nScriptValue(kObjectTypeWindow, window), event);
        vm->SetValue("cursor_id", nScriptValue(int32_t(0)), event);
        vm->SetValue("x", nScriptValue(window->GetPosition().x), event);
        vm->SetValue("y", nScriptValue(window->GetPosition().y), event);
    }
    vm->PushArgument(nScriptValue(id));
    vm->PushArgument(nScriptValue(event, true));
    vm->ExecuteCall(0);
    return true;
}

void nUIRouter::SendEnterAndLeave()
{
    nWindow* window = AsWindow(m_current.window);
    if (window)
        WalkEnterAndLeave(window, window->GetBaseWidget(), m_current);
    if (m_current.window != m_previous.window) {
        if (m_current.window)
            SendWindowEvent(m_current.window, EventMouseEnter);
        // The previous window's widgets are walked only when it is another window: walking
        // the same tree twice would send every enter and leave twice.
        if (nWindow* previous = AsWindow(m_previous.window))
            WalkEnterAndLeave(previous, previous->GetBaseWidget(), m_previous);
        if (m_previous.window)
            SendWindowEvent(m_previous.window, EventMouseLeave);
    }
}

void nUIRouter::WalkEnterAndLeave(nWindow* window, nWidget* widget, const nScene2DInputState& state)
{
    if (!widget || widget->IsHidden())
        return;
    const nRect2D r = MappedContent(window, widget);
    const bool wasIn = StrictlyInside(r, m_previous.x, m_previous.y);
    const bool isIn = StrictlyInside(r, m_current.x, m_current.y);
    if (wasIn && !isIn)
        SendWidgetEvent(state, EventMouseLeave, *widget, widget->GetId());
    else if (isIn && !wasIn)
        SendWidgetEvent(state, EventMouseEnter, *widget, widget->GetId());
    const std::vector<nWidget*> children = widget->GetChildren();  // a handler may add children
    for (size_t i = 0; i < children.size(); ++i)
        WalkEnterAndLeave(window, children[i], state);
}

void nUIRouter::DeferDeleteWindow(nSprite2D* sprite)
{
    if (sprite && std::find(m_deferredWindows.begin(), m_deferredWindows.end(), sprite) == m_deferredWindows.end())
        m_deferredWindows.push_back(sprite);
}

void nUIRouter::DeferDeleteWidget(nWidget* widget)
{
    if (widget && std::find(m_deferredWidgets.begin(), m_deferredWidgets.end(), widget) == m_deferredWidgets.end())
        m_deferredWidgets.push_back(widget);
}

void nUIRouter::FlushDeletions()
{
    std::vector<nWidget*> widgets;
    widgets.swap(m_deferredWidgets);
    for (size_t i = 0; i < widgets.size(); ++i)
        m_scene->DeleteWidget(widgets[i]);
    std::vector<nSprite2D*> windows;
    windows.swap(m_deferredWindows);
    for (size_t i = 0; i < windows.size(); ++i)
        m_scene->DeleteWindow(windows[i]);
}

void nUIRouter::ForgetSprite(nSprite2D* sprite)
{
    if (m_current.window == sprite) m_current.window = 0;
    if (m_previous.window == sprite) m_previous.window = 0;
    if (m_dragged == sprite) m_dragged = 0;
    m_deferredWindows.erase(std::remove(m_deferredWindows.begin(), m_deferredWindows.end(), sprite), m_deferredWindows.end());
}

void nUIRouter::ForgetWidget(nWidget* widget)
{
    nScene2DInputState* states[2] = {&m_current, &m_previous};
    for (int32_t s = 0; s < 2; ++s) {
        if (states[s]->widget == widget) states[s]->widget = 0;
        for (int32_t b = 0; b < 3; ++b)
            if (states[s]->press[b] == widget) states[s]->press[b] = 0;
    }
    m_deferredWidgets.erase(std::remove(m_deferredWidgets.begin(), m_deferredWidgets.end(), widget), m_deferredWidgets.end());
}
