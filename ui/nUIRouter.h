#ifndef N_UIROUTER_H
#define N_UIROUTER_H
// Input routing of a 2D scene: once a frame, before drawing, the pointer becomes script events
// of the windows and widgets under it. Handlers are called as handler(id, event) and bubble
// from a widget through its parents to its window; unhandled presses drag movable windows and
// shade decorated ones. Deletions that handlers ask for while a pass runs wait for its end.
// Main thread only.
#include <cstdint>
#include <vector>

#include "ui/nEventTable.h"

class nScene2D;
class nSprite2D;
class nWindow;
class nWidget;

// What the cursor is over and which buttons are held (0 left, 1 right, 2 middle).
struct nScene2DInputState
{
    nSprite2D* window = 0;
    nWidget* widget = 0;
    int32_t x = 0, y = 0;  // internal-resolution pixels
    bool down[3] = {false, false, false};
    nWidget* press[3] = {0, 0, 0};  // the widget under the cursor when that button last went down
};

// One frame of the pointer: its newest position (0 to 1 of the output, when it reported one)
// and the buttons held.
struct nUIPointerFrame
{
    bool hasPosition = false;
    float nx = 0.0f, ny = 0.0f;
    bool down[3] = {false, false, false};
};

// The scene's pointer device; the null one never reports anything.
class nUIPointer
{
public:
    virtual ~nUIPointer() {}
    virtual nUIPointerFrame ReadFrame() { return nUIPointerFrame(); }
};

class nUIRouter
{
public:
    explicit nUIRouter(nScene2D* scene);

    void SetPointer(nUIPointer* pointer);        // not owned; NULL: the null pointer
    void Route();                                // one pass; then the deferred deletions
    void SetCursorAutoHideDelay(float seconds);  // <= 0: the cursor shows at full opacity
    float GetCursorAutoHideDelay() const { return m_autoHideDelay; }

    bool IsRouting() const { return m_routing; }
    void DeferDeleteWindow(nSprite2D* sprite);
    void DeferDeleteWidget(nWidget* widget);
    void ForgetSprite(nSprite2D* sprite);  // no state keeps a sprite being deleted
    void ForgetWidget(nWidget* widget);    // nor a widget

    bool SendWidgetEvent(const nScene2DInputState& state, int32_t id, const nEventTable& table, int32_t widgetId);
    bool SendWindowEvent(nSprite2D* window, int32_t id);
    bool DispatchEvent(nWidget* widget, const nScene2DInputState& state, int32_t id, bool bubble);
    nWidget* FindWidgetAt(nWindow* window, nWidget* widget, int32_t x, int32_t y) const;

    const nScene2DInputState& GetCurrent() const { return m_current; }
    const nScene2DInputState& GetPrevious() const { return m_previous; }
    nSprite2D* GetDragged() const { return m_dragged; }

private:
    void PlaceCursor(const nUIPointerFrame& frame);
    void AutoHideCursor();
    nSprite2D* HitTest() const;
    void SendButtons();
    void SendEnterAndLeave();
    void WalkEnterAndLeave(nWindow* window, nWidget* widget, const nScene2DInputState& state);
    void FlushDeletions();

    nScene2D* m_scene;
    nUIPointer m_nullPointer;
    nUIPointer* m_pointer;
    nScene2DInputState m_current;
    nScene2DInputState m_previous;
    nSprite2D* m_dragged;
    float m_nx, m_ny;  // the newest pointer position
    float m_autoHideDelay;
    double m_lastMove;
    bool m_fadeCompiled;  // once per idle period
    bool m_routing;
    std::vector<nSprite2D*> m_deferredWindows;
    std::vector<nWidget*> m_deferredWidgets;
};

#endif
