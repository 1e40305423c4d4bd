#include "engine/player/nMousePointer.h"

namespace {

const float kFullScale = 65535.0f;  // an absolute mouse reads 0 to 65535 across the client area

}

nMousePointer::nMousePointer()
{
    m_mouse.SetMode(MouseModeAbsolute);
}

nUIPointerFrame nMousePointer::ReadFrame()
{
    nUIPointerFrame frame;
    m_mouse.Update();
    int32_t x = 0, y = 0;
    const bool hasX = m_mouse.PoolFunction(DeviceFunctionAxisX, &x, 0, true);
    const bool hasY = m_mouse.PoolFunction(DeviceFunctionAxisY, &y, 0, true);
    if (hasX && hasY) {
        frame.hasPosition = true;
        frame.nx = (float)x / kFullScale;
        frame.ny = (float)y / kFullScale;
    }
    for (int32_t b = 0; b < 3; ++b) frame.down[b] = m_mouse.PoolFunction(DeviceFunctionButton0 + b, 0, 0, true);
    return frame;
}
