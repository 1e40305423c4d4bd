#include "ui/nFontTitleWriter.h"

#include "ui/nTextLayout.h"
#include "ui/nWindowSystemFont.h"

void nFontTitleWriter::WriteTitle(const nWindow& window, nPicture& target, const nRect2D& area)
{
    if (!m_fonts || !m_fonts->IsOpen() || area.x1 <= area.x0 || area.y1 <= area.y0)
        return;
    nTextParameters parameters;
    parameters.font = m_fonts->FindWindowSystemFont(window.GetTitleFont().GetCStr());
    parameters.size = window.GetTitleSize();
    const uint32_t colour = window.GetTitleColor();  // red in the low byte
    parameters.red = colour & 0xFF;
    parameters.green = (colour >> 8) & 0xFF;
    parameters.blue = (colour >> 16) & 0xFF;
    parameters.alpha = (colour >> 24) & 0xFF;
    nTextBox box;
    box.x0 = area.x0;
    box.y0 = area.y0;
    box.x1 = area.x1;
    box.y1 = area.y1;
    nTextLayout layout;
    MeasureText(layout, window.GetTitle().GetCStr() ? window.GetTitle().GetCStr() : "", parameters, box);
    RenderText(&target, layout, box, box);
}
