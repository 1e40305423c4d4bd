#include "engine/nProject.h"

#include <cstdio>

#include "core/nTimer.h"
#include "hub/nOrvex.h"
#include "render/nRenderer.h"
#include "resources/nRasterFont.h"
#include "scene/nScene.h"
#include "ui/nProfilerText.h"
#include "ui/nScene2D.h"

// The project's overlay of the on-screen profiler: fixed places for the frame rate, the scene
// list and the layer stack's heading, the layers top first, then one block per active instance.

bool nProject::LoadFont(const char* path, const char* pageBase)
{
    delete m_font;
    m_font = nRasterFont::New(m_engine, path, pageBase);
    return m_font != 0;
}

void nProject::DrawProfiler()
{
    nRenderer* renderer = m_engine ? m_engine->GetRenderer() : 0;
    if (!renderer || !m_font || m_font->GetPageCount() == 0) return;

    static const nVector kList(0.75f, 0.5f, 1.0f, 1.0f);
    static const nVector kWhite(1.0f, 1.0f, 1.0f, 1.0f);
    char line[512];

    nTimer& frame = m_engine->GetFrameTimer();
    std::snprintf(line, sizeof(line), "Perf. = %0.02f fps (%0.02f ms)", frame.GetRate(), frame.GetAverageMs());
    nProfilerText(renderer, m_font, g_ProjectProfilerStyle, 0.025f, 0.05f).Line(line, 0);
    std::snprintf(line, sizeof(line), "Scene list (%d instantiated, %d active):", (int)m_instances.GetCount(),
                  (int)CountActiveInstances());
    nProfilerText(renderer, m_font, g_ProjectProfilerStyle, 0.025f, 0.074f).Line(line, &kList);
    nProfilerText(renderer, m_font, g_ProjectProfilerStyle, 0.025f, 0.122f).Line("Layer stack:", &kWhite);

    nProfilerText out(renderer, m_font, g_ProjectProfilerStyle, 0.025f, 0.146f);
    for (nListNode<nProjectLayer*>* n = m_layers.GetTail(); n; n = n->prev) {
        if (n->value->m_removed) continue;  // dropped during a draw walk, not yet freed
        nProjectSceneInstance* instance = n->value->m_instance;
        std::snprintf(line, sizeof(line), "  -> %s", instance ? instance->GetName().GetCStr() : "No Instance");
        out.Line(line, &kList);
    }
    out.Empty();
    out.x += 0.025f;

    for (nListNode<nProjectSceneInstance*>* n = m_instances.GetHead(); n; n = n->next) {
        nProjectSceneInstance* instance = n->value;
        if (!instance->IsActive()) continue;
        std::snprintf(line, sizeof(line), "Scene instance '%s':", instance->GetName().GetCStr());
        out.Line(line, &kWhite);
        out.Empty();
        if (nScene* scene = instance->GetScene3D()) out.y = scene->DrawProfiler(out.x + 0.025f, out.y, false, m_font);
        else if (nScene2D* scene2D = instance->GetScene2D()) out.y = scene2D->DrawStats(out.x + 0.025f, out.y, m_font);
    }
}
