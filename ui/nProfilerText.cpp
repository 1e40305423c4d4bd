#include "ui/nProfilerText.h"

#include "render/nRenderer.h"

const nProfilerTextStyle g_SceneProfilerStyle = {0.35f, 0.021f, 0.958f};
const nProfilerTextStyle g_ProjectProfilerStyle = {0.4f, 0.024f, 0.952f};

nProfilerText::nProfilerText(nRenderer* renderer, nRasterFont* font, const nProfilerTextStyle& style, float x, float y)
    : x(x), y(y), m_renderer(renderer), m_font(font), m_style(style)
{
    nVector2 output;
    renderer->GetOutputSize(output);
    m_pixelX = output.x > 0.0f ? 1.0f / output.x : 0.0f;
    m_pixelY = output.y > 0.0f ? 1.0f / output.y : 0.0f;
}

void nProfilerText::Line(const char* text, const nVector* colour)
{
    static const nVector kShadow(0.0f, 0.0f, 0.0f, 1.0f);
    m_renderer->Write(m_font, text, x + m_pixelX, y + m_pixelY, m_style.size, true, 0, &kShadow);
    m_renderer->Write(m_font, text, x, y, m_style.size, true, 0, colour);
    Next();
}

void nProfilerText::Next()
{
    y += m_style.lineStep;
    if (y > m_style.bottomLimit) {
        x += 0.5f;
        y = 0.05f;
    }
}
