#ifndef N_INTERFACEMOUSE_H
#define N_INTERFACEMOUSE_H

#include <cstdint>

#include "input/nInterfaceDevice.h"
#include "input/nInterfaceFunction.h"

enum nMouseMode
{
    MouseModeRelative = 0,  // X and Y: motion since the last update, per 65535 of the screen width; the cursor kept away from the borders
    MouseModeAbsolute = 1   // X and Y: the cursor across the client area as 0..65535 (outside it beyond)
};

// The mouse: X (0) and Y (1) in the mode's units, Z (2) never pushed, buttons left (5),
// right (6) and middle (7) as 1 while down. Each Update empties the rings first, so a pool
// sees only that update's values; a pool always removes.
class nInterfaceMouse : public nInterfaceDevice
{
public:
    nInterfaceMouse();  // relative mode; calls nothing of the platform

    void SetFunctionBounceFilter(int32_t function, bool on) override;  // 5, 6, 7; others ignored
    bool IsFunctionSupported(int32_t function) override;               // 0, 1, 2, 5, 6, 7
    bool Update() override;                                            // the result of the last push
    bool PoolFunction(int32_t function, int32_t* value, int32_t* extra, bool remove) override;
    bool SeekFunction(int32_t function, int32_t value) override;

    void SetMode(int32_t mode) { m_mode = (mode == MouseModeAbsolute) ? MouseModeAbsolute : MouseModeRelative; }
    int32_t GetMode() const { return m_mode; }

private:
    bool Used(int32_t function) const;
    bool UpdateAbsolute(int32_t x, int32_t y, int32_t w, int32_t h);
    bool UpdateRelative(int32_t x, int32_t y, int32_t w, int32_t h, int32_t screenWidth);

    int32_t m_mode;
    bool m_started;  // the last position was read once
    int32_t m_lastX, m_lastY;
    nInterfaceFunction m_functions[8];
};

// The program's one mouse, for scripts (switched to absolute mode when the script API registers).
nInterfaceMouse& GetGlobalMouse();

#endif
