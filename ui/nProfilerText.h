#ifndef N_PROFILERTEXT_H
#define N_PROFILERTEXT_H

#include "core/nVector.h"

class nRasterFont;
class nRenderer;

// The look of one block of the on-screen profiler: its text size, the step from a line to the
// next and the bottom limit past which the next line starts a new column.
struct nProfilerTextStyle
{
    float size;
    float lineStep;
    float bottomLimit;
};

extern const nProfilerTextStyle g_SceneProfilerStyle;    // 0.35, 0.021, 0.958: a scene's block, a 2D scene's line
extern const nProfilerTextStyle g_ProjectProfilerStyle;  // 0.4, 0.024, 0.952: the project overlay

// Writes the lines of a profiler block, each twice: a black shadow one output pixel right and
// down, then the line in its colour (NULL: the renderer's default) at (x, y), keep aspect on,
// aligned left. After each line y grows by the line step; past the bottom limit the next line
// starts a new column at x + 0.5, y 0.05.
class nProfilerText
{
public:
    nProfilerText(nRenderer* renderer, nRasterFont* font, const nProfilerTextStyle& style, float x, float y);

    void Line(const char* text, const nVector* colour);
    void Empty() { Next(); }

    float x, y;

private:
    void Next();

    nRenderer* m_renderer;
    nRasterFont* m_font;
    const nProfilerTextStyle& m_style;
    float m_pixelX, m_pixelY;  // one output pixel in output units
};

#endif
