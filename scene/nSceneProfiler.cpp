#include "scene/nScene.h"

#include <cstdio>

#include "hub/nOrvex.h"
#include "render/nRenderer.h"
#include "resources/nRasterFont.h"
#include "scene/nMItem.h"
#include "ui/nProfilerText.h"

// The scene's block of the on-screen profiler, written with the profiler's text rules
// (ui/nProfilerText.h).

bool nScene::LoadProfilerFont(const char* path, const char* pageBase)
{
    delete m_profilerFont;
    m_profilerFont = nRasterFont::New(m_engine, path, pageBase);
    return m_profilerFont != 0;
}

float nScene::DrawProfiler(float x, float y, bool full, nRasterFont* font)
{
    if (!font) font = m_profilerFont;
    nRenderer* renderer = m_engine ? m_engine->GetRenderer() : 0;
    if (!renderer || !font || font->GetPageCount() == 0) return y;

    static const nVector kHeading(0.75f, 0.5f, 1.0f, 1.0f);
    static const nVector kEvaluate(1.0f, 0.0f, 0.25f, 1.0f);
    static const nVector kScript(1.0f, 0.75f, 0.0f, 1.0f);
    static const nVector kPhysic(0.75f, 0.75f, 0.75f, 1.0f);
    static const nVector kSendToRender(0.75f, 1.0f, 0.25f, 1.0f);
    static const nVector kUserInterface(0.5f, 0.25f, 1.0f, 1.0f);

    int32_t active = 0;
    for (nListNode<nMItem*>* node = m_allItems.GetHead(); node; node = node->next)
        if (node->value && node->value->IsActive()) ++active;
    const int32_t count = m_allItems.GetCount();

    nProfilerText out(renderer, font, g_SceneProfilerStyle, x, y);
    char line[256];
    if (full) {
        nTimer& frame = m_engine->GetFrameTimer();
        std::snprintf(line, sizeof(line), "Perf. = %0.02f fps (%0.02f ms)", frame.GetRate(), frame.GetAverageMs());
        out.Line(line, 0);
        out.Empty();
        out.Line("Scene:", &kHeading);
        out.Empty();
    }
    std::snprintf(line, sizeof(line), "Evaluate = %0.02f ms", m_timers[SceneTimerEvaluate].GetAverageMs());
    out.Line(line, &kEvaluate);
    std::snprintf(line, sizeof(line), "  -> Item = %d item(s), %d active (%d%%)", count, active, count ? active * 100 / count : 100);
    out.Line(line, &kEvaluate);
    std::snprintf(line, sizeof(line), "Script = %0.02f ms", m_timers[SceneTimerScript].GetAverageMs());
    out.Line(line, &kScript);
    std::snprintf(line, sizeof(line), "Physic = %0.02f ms", m_timers[SceneTimerPhysic].GetAverageMs());
    out.Line(line, &kPhysic);
    std::snprintf(line, sizeof(line), "Send to render = %0.02f ms", m_timers[SceneTimerSendToRender].GetAverageMs());
    out.Line(line, &kSendToRender);
    std::snprintf(line, sizeof(line), "User interface = %0.02f ms (%d window(s))",
                  m_timers[SceneTimerUserInterface].GetAverageMs(), (int)m_ui.GetSprites().GetCount());
    out.Line(line, &kUserInterface);
    if (full) {
        std::snprintf(line, sizeof(line), "Logic callback = %0.02f ms", m_timers[SceneTimerLogicCallback].GetAverageMs());
        out.Line(line, 0);
        std::snprintf(line, sizeof(line), "Collision callback = %0.02f ms", m_timers[SceneTimerCollisionCallback].GetAverageMs());
        out.Line(line, 0);
    }
    return out.y;
}
