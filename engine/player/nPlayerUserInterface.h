#ifndef N_PLAYERUSERINTERFACE_H
#define N_PLAYERUSERINTERFACE_H
// The player's user-interface devices, lent to every 2D scene of its engine (PlayerEngineParts):
// the mouse routed to windows and widgets, window titles written with the window-system fonts,
// and those fonts for the scripts. Made before the engine and gone after it.
#include "engine/player/nMousePointer.h"
#include "ui/nFontTitleWriter.h"
#include "ui/nUIDevices.h"
#include "ui/nWindowSystemFont.h"

class nPlayerUserInterface
{
public:
    nPlayerUserInterface();

    const nUIDevices* GetDevices() const { return &m_devices; }
    nWindowSystemFonts& GetFonts() { return m_fonts; }  // opened and closed by the player

private:
    nPlayerUserInterface(const nPlayerUserInterface&) = delete;
    nPlayerUserInterface& operator=(const nPlayerUserInterface&) = delete;

    nWindowSystemFonts m_fonts;
    nMousePointer m_pointer;
    nFontTitleWriter m_titleWriter;
    nUIDevices m_devices;
};

#endif
