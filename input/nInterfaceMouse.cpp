#include "input/nInterfaceMouse.h"

#include "platform/nPlatformInput.h"

namespace {

const uint32_t kButtons[3] = {PlatformButtonLeft, PlatformButtonRight, PlatformButtonMiddle};
const int32_t kBorder = 32;  // relative mode keeps the cursor this far from the client's edges

// value * 65535 / range in 64 bits, saturated to 32 bits: a cursor far outside stays a number.
int32_t Scale(int64_t value, int64_t range)
{
    int64_t r = value * 65535 / range;
    if (r > INT32_MAX) return INT32_MAX;
    if (r < INT32_MIN) return INT32_MIN;
    return (int32_t)r;
}

}  // namespace

nInterfaceMouse& GetGlobalMouse()
{
    static nInterfaceMouse mouse;
    return mouse;
}

nInterfaceMouse::nInterfaceMouse()
    : m_mode(MouseModeRelative), m_started(false), m_lastX(0), m_lastY(0)
{
    m_name.Set("Mouse");
}

bool nInterfaceMouse::Used(int32_t function) const
{
    return function == DeviceFunctionAxisX || function == DeviceFunctionAxisY || function == DeviceFunctionAxisZ ||
           (function >= DeviceFunctionButton0 && function <= DeviceFunctionButton0 + 2);
}

void nInterfaceMouse::SetFunctionBounceFilter(int32_t function, bool on)
{
    if (function >= DeviceFunctionButton0 && function <= DeviceFunctionButton0 + 2) m_functions[function].SetFilter(on);
}

bool nInterfaceMouse::IsFunctionSupported(int32_t function)
{
    return Used(function);
}

bool nInterfaceMouse::Update()
{
    const nInputSnapshot& s = nPlatform::GetInputSnapshot();
    for (int32_t f = 0; f < 8; ++f) m_functions[f].Empty();
    for (int32_t b = 0; b < 3; ++b) {
        nInterfaceFunction& ring = m_functions[DeviceFunctionButton0 + b];
        const bool down = s.IsButtonDown(kButtons[b]);
        if (down) ring.Push(1);
        ring.SetLastNonZero(down);
    }
    if (!m_started) {
        m_lastX = s.cursorX;
        m_lastY = s.cursorY;
        m_started = true;
    }
    if (m_mode == MouseModeAbsolute) return UpdateAbsolute(s.cursorX, s.cursorY, s.clientWidth, s.clientHeight);
    return UpdateRelative(s.cursorX, s.cursorY, s.clientWidth, s.clientHeight, s.screenWidth);
}

bool nInterfaceMouse::UpdateAbsolute(int32_t x, int32_t y, int32_t w, int32_t h)
{
    if (w <= 0 || h <= 0) return false;
    m_functions[DeviceFunctionAxisX].Push(Scale(x, w));
    return m_functions[DeviceFunctionAxisY].Push(Scale(y, h));
}

// Motion per 65535 of the screen's width, on both axes; then the cursor is wrapped inside
// the border and put there, so that it never stops at an edge.
bool nInterfaceMouse::UpdateRelative(int32_t x, int32_t y, int32_t w, int32_t h, int32_t screenWidth)
{
    if (w <= 0 || h <= 0 || screenWidth <= 0) return false;
    m_functions[DeviceFunctionAxisX].Push(Scale((int64_t)x - m_lastX, screenWidth));
    bool result = m_functions[DeviceFunctionAxisY].Push(Scale((int64_t)y - m_lastY, screenWidth));
    if (x < kBorder) x += w - 2 * kBorder;
    if (y < kBorder) y += h - 2 * kBorder;
    if (x > w - kBorder) x += 2 * kBorder - w;
    if (y > h - kBorder) y += 2 * kBorder - h;
    m_lastX = x;
    m_lastY = y;
    nPlatform::WarpCursor(x, y);
    return result;
}

bool nInterfaceMouse::PoolFunction(int32_t function, int32_t* value, int32_t* extra, bool remove)
{
    if (!CheckFunction(function) || !Used(function)) return false;
    return m_functions[function].Pool(value, true);
}

bool nInterfaceMouse::SeekFunction(int32_t function, int32_t value)
{
    if (!CheckFunction(function) || !Used(function)) return false;
    return m_functions[function].Seek(value);
}
