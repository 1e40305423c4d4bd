#ifndef N_FONTTITLEWRITER_H
#define N_FONTTITLEWRITER_H
// Window titles written with the window-system fonts: the window's title font (the system font
// when no font has that name), size and colour, one line from the left of the title rectangle,
// clipped to it.
#include "ui/nWindow.h"

class nWindowSystemFonts;

class nFontTitleWriter : public nWindowTitleWriter
{
public:
    explicit nFontTitleWriter(nWindowSystemFonts* fonts) : m_fonts(fonts) {}
    void WriteTitle(const nWindow& window, nPicture& target, const nRect2D& area) override;

private:
    nWindowSystemFonts* m_fonts;  // not owned
};

#endif
