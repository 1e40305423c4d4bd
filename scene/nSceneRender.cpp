// The scene's render passes and its answers to the renderer's property requests.

#include "core/nFrustum.h"
#include "core/nLog.h"
#include "core/nPairSort.h"
#include "hub/nOrvex.h"
#include "render/nRenderQueue.h"
#include "render/nRenderer.h"
#include "scene/nItem.h"
#include "scene/nLight.h"
#include "scene/nScene.h"
#include "scriptiface/nScriptEventDispatcher.h"

namespace {

typedef nListNode<nMItem*> ItemNode;

const uint32_t kMaxSortedLights = 256;  // lights kind 1 sorts by distance at most
const uint32_t kVisibleLightBatch = 8;  // lights kind 2 returns per request

nVector WorldPosition(nItem* node)
{
    nVector p = node->GetWorldMatrix().GetColumn(3, true);
    p.w = 1.0f;
    return p;
}

}

void nScene::RenderSetup(uint32_t flags)
{
    nRenderer* renderer = m_engine ? m_engine->GetRenderer() : 0;
    if (!renderer || (m_flags & SceneFlagRenderless)) return;
    if (flags & SceneRenderFlagClearViewport)
        renderer->Clear(m_backgroundColour.x, m_backgroundColour.y, m_backgroundColour.z, 1.0f, false);
    renderer->SetTargetExposure(m_targetExposure);
    renderer->SetFog(m_fogFar > 0.0f, &m_fogColour, m_fogNear, m_fogFar);
    if (m_currentCamera) {
        renderer->SetCamera(m_currentCamera);
        renderer->ApplyCamera();
    }
}

void nScene::RenderToQueue(uint32_t flags)
{
    nTimer& timer = m_timers[SceneTimerSendToRender];
    timer.Start();
    nRenderer* renderer = m_engine ? m_engine->GetRenderer() : 0;
    if (renderer && !(m_flags & SceneFlagRenderless)) {
        const bool editing = m_engine->GetToolMode() == ToolEdit;
        for (ItemNode* n = m_activeItems.GetHead(); n; n = n->next) {
            nMItem* item = n->value;
            int32_t kind = item->GetKind();
            if (kind != ManagedItemObject && kind != ManagedItemEmitter && kind != ManagedItemTerrain) continue;
            if (editing && (item->GetFlags() & MItemFlagNoToolDraw)) continue;
            nItem* node = item->GetItem();
            if (nRenderable* drawable = node ? node->GetRenderable() : 0) renderer->QueueRenderable(drawable);
        }
    }
    if (!(flags & SceneRenderFlagDisableScript) && m_events) {
        m_rendering = true;
        m_events->OnRenderDone(this);
        m_rendering = false;
    }
    timer.Stop();
}

void nScene::RenderUI(uint32_t flags)
{
    nTimer& timer = m_timers[SceneTimerUserInterface];
    timer.Start();
    if (!(m_flags & SceneFlagRenderless)) m_ui.Render((flags & SceneRenderFlagDisableScript) != 0);
    if (!(flags & SceneRenderFlagDisableScript) && m_events) {
        m_rendering = true;
        m_events->OnRenderUI(this);
        m_rendering = false;
    }
    timer.Stop();
}

bool nScene::ProcessPropertyRequest(int32_t kind, nPropertyRequest* request)
{
    if (!request) return false;
    nList<nMItem*>& lights = m_kindLists[ManagedItemLight];
    switch (kind) {
        case PropertyRequestLightsAtPoint: {
            // The caller's slots are bounded by the record's own array.
            uint32_t capacity = request->capacity < nPropertyRequest::kMaxItems ? request->capacity : nPropertyRequest::kMaxItems;
            request->count = 0;
            if ((uint32_t)lights.GetCount() <= capacity) {
                for (ItemNode* n = lights.GetHead(); n; n = n->next)
                    if (n->value->IsActive() && n->value->GetItem()) request->items[request->count++] = n->value->GetItem();
            } else {
                nKeyValuePair pairs[kMaxSortedLights];
                nItem* nodes[kMaxSortedLights];
                uint32_t count = 0;
                const nVector point(request->point[0], request->point[1], request->point[2], 1.0f);
                for (ItemNode* n = lights.GetHead(); n; n = n->next) {
                    nMItem* light = n->value;
                    if (!light->IsActive() || !light->GetItem()) continue;
                    if (count == kMaxSortedLights) {
                        *g_log << "[*] the light proximity query cannot sort more than 256 lights! CORRECT THE HACK!\n";
                        break;
                    }
                    nVector d = WorldPosition(light->GetItem()) - point;
                    pairs[count].key = d.Dot(d) * (1.0f - light->GetPriority());
                    pairs[count].value = (int32_t)count;
                    nodes[count] = light->GetItem();
                    ++count;
                }
                if (count > 1) SortPairsByKey(pairs, 0, (int)count - 1);
                request->count = count < capacity ? count : capacity;
                for (uint32_t i = 0; i < request->count; ++i) request->items[i] = nodes[pairs[i].value];
            }
            request->ambient[0] = m_ambientColour.x * m_ambientIntensity;
            request->ambient[1] = m_ambientColour.y * m_ambientIntensity;
            request->ambient[2] = m_ambientColour.z * m_ambientIntensity;
            request->ambient[3] = m_ambientColour.w * m_ambientIntensity;
            request->answered = true;
            return true;
        }
        case PropertyRequestVisibleLights: {
            request->count = 0;
            ItemNode* start = lights.GetHead();
            if (request->cursor) {
                ItemNode* at = lights.GetHead();
                while (at && at->value != static_cast<nMItem*>(request->cursor)) at = at->next;
                if (!at) {
                    request->cursor = 0;
                    request->answered = true;
                    return true;
                }
                start = at->next;
            }
            const nVector point(request->point[0], request->point[1], request->point[2], 1.0f);
            request->cursor = 0;
            for (ItemNode* n = start; n; n = n->next) {
                nMLight* managed = dynamic_cast<nMLight*>(n->value);
                if (!managed || !managed->IsActive()) continue;
                nLight& light = managed->GetLight();
                if (light.GetRange() != 0.0f) {
                    nVector position = WorldPosition(&light);
                    nVector d = position - point;
                    if (!(light.GetRange() + light.GetClipDistance() > d.Length())) continue;
                    if (request->frustum) {
                        if (light.GetType() == LightTypePoint && request->frustum->TestSphere(position, light.GetRange()) == 0)
                            continue;
                        if (light.GetType() == LightTypeSpot && request->frustum->TestFrustum(light.GetShadowFrustum()) == 0)
                            continue;
                    }
                }
                request->items[request->count++] = &light;
                if (request->count == kVisibleLightBatch) {
                    request->cursor = managed;
                    break;
                }
            }
            request->answered = true;
            return true;
        }
        case PropertyRequestAmbient:
            request->ambient[0] = m_ambientColour.x * m_ambientIntensity;
            request->ambient[1] = m_ambientColour.y * m_ambientIntensity;
            request->ambient[2] = m_ambientColour.z * m_ambientIntensity;
            request->ambient[3] = m_ambientColour.w * m_ambientIntensity;
            request->answered = true;
            return true;
    }
    *g_log << "** Scene could not process one of the property request (" << kind << ").\n";
    return false;
}
