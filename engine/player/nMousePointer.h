#ifndef N_MOUSEPOINTER_H
#define N_MOUSEPOINTER_H
// The pointer of the player's 2D scenes: a mouse of its own in absolute mode, read once per
// routing pass. Its position is the newest cursor position across the input window's client
// area (0 to 1; beyond it outside the window), its buttons those held or pressed since the
// frame's input snapshot was taken. Main thread only.
#include "input/nInterfaceMouse.h"
#include "ui/nUIRouter.h"

class nMousePointer : public nUIPointer
{
public:
    nMousePointer();                       // the mouse switched to absolute mode
    nUIPointerFrame ReadFrame() override;  // updates the mouse and takes its values

private:
    nInterfaceMouse m_mouse;
};

#endif
