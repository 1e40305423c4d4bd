#include "ui/nScene2D.h"

#include <cstdio>

#include "hub/nOrvex.h"
#include "render/nRenderer.h"
#include "resources/nRasterFont.h"
#include "ui/nProfilerText.h"

float nScene2D::DrawStats(float x, float y, nRasterFont* font)
{
    nRenderer* renderer = m_engine ? m_engine->GetRenderer() : 0;
    if (!renderer || !font || !font->GetPageTexture(0)) return y;
    static const nVector kYellow(1.0f, 1.0f, 0.0f, 1.0f);
    nProfilerText out(renderer, font, g_SceneProfilerStyle, x, y);
    char line[64];
    std::snprintf(line, sizeof(line), "Window count = %d", (int)m_sprites.GetCount());
    out.Line(line, &kYellow);
    out.Empty();
    return out.y;
}
