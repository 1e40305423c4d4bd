#include "ui/nScene2D.h"

#include "core/nCategory.h"
#include "hub/nOrvex.h"
#include "render/nRenderer.h"
#include "scriptiface/nScriptEventDispatcher.h"
#include "scriptiface/nScriptVM.h"

nScene2D::nScene2D(nOrvex* engine, nScriptVM* vm)
    : nScene2DScriptUnit(vm),
      m_engine(engine),
      m_useRawClock(false),
      m_nextSpriteUid(0),
      m_internalWidth(1280.0f),
      m_internalHeight(960.0f),
      m_globalFade(0.0f),
      m_fadeColour(0.0f, 0.0f, 0.0f, 1.0f)
{
    nCategoryScope category(CategoryScene2D);
    if (m_engine) m_engine->AddCoreListener(this);
    SetOwner(this, ScriptUnitOwnerScene2D);
    SetEvents(nScene2DScriptEventDispatcher::GetDefault());
    Define("toalpha", ACE2DToAlpha, 1);
    Define("toposition", ACE2DToPosition, 2);
    Define("toscale", ACE2DToScale, 2);
    Define("toangle", ACE2DToAngle, 1);
    Define("show", ACE2DShow, 0);
    Define("hide", ACE2DHide, 0);
    Define("globalfade", ACE2DGlobalFade, 1);
}

nScene2D::~nScene2D()
{
    if (m_engine) m_engine->RemoveCoreListener(this);
    Clear();
    // Script objects of this layer read as a deleted native from now on.
    if (GetVM()) GetVM()->InvalidateNativeObject(static_cast<void*>(this));
}

bool nScene2D::ExecuteCommand(nACECommand* record, float slice)
{
    if (record && record->code == ACE2DGlobalFade && slice != 0.0f) {
        // The share of the remaining time this slice takes; the fade lands on the target
        // exactly when the time runs out.
        float f = record->remaining > 0.0f ? slice / record->remaining : 1.0f;
        m_globalFade += f * (record->parameters[0] - m_globalFade);
        return true;
    }
    return nACEUnit::ExecuteCommand(record, slice);
}

bool nScene2D::Setup()
{
    if (!nScene2DScriptUnit::Setup()) return false;
    if (GetEvents()) GetEvents()->OnSetup(this);
    return true;
}

void nScene2D::Reset()
{
    if (GetEvents()) GetEvents()->OnReset(this);
}

void nScene2D::Clear()
{
    if (GetEvents()) GetEvents()->OnDelete(this);
    m_globalFade = 0.0f;
    m_fadeColour = nVector(0.0f, 0.0f, 0.0f, 1.0f);
}

void nScene2D::Render(bool skipScript)
{
    nCategoryScope category(CategoryScene2D);
    if (!skipScript && GetEvents()) GetEvents()->OnUpdate(this);

    float dt = 0.0f;
    if (m_engine) dt = (float)(m_useRawClock ? m_engine->GetRawFrameTime() : m_engine->GetFrameTime()) / 10000.0f;
    nACEManager::Advance(this, dt);

    nRenderer* renderer = m_engine ? m_engine->GetRenderer() : 0;
    if (!renderer) return;
    renderer->SetViewMatrix(nMatrix4());
    nVector2 output;
    renderer->GetOutputSize(output);
    nMatrix4 projection;
    if (output.x != 0.0f && m_internalHeight != 0.0f)
        projection.m[0] = (m_internalWidth / m_internalHeight) * (output.y / output.x) * renderer->GetGlobalAspectRatio();
    renderer->SetProjectionMatrix(projection);
    renderer->SetProjectionMatrix(nMatrix4());

    if (m_globalFade > 0.01f) {
        nVector colour(m_fadeColour.x, m_fadeColour.y, m_fadeColour.z, m_globalFade);
        const uint32_t noDepthTest = 0x4000;
        renderer->DrawTriangle(nVector(-1.0f, 1.0f, 1.0f), nVector(1.0f, 1.0f, 1.0f), nVector(-1.0f, -1.0f, 1.0f),
                               &colour, 0, 0, noDepthTest);
        renderer->DrawTriangle(nVector(1.0f, 1.0f, 1.0f), nVector(1.0f, -1.0f, 1.0f), nVector(-1.0f, -1.0f, 1.0f),
                               &colour, 0, 0, noDepthTest);
    }
}

void nScene2D::SetGlobalFade(float fade)
{
    m_globalFade = fade < 0.0f ? 0.0f : (fade > 1.0f ? 1.0f : fade);
}

void nScene2D::GetInternalResolution(float* width, float* height) const
{
    if (width) *width = m_internalWidth;
    if (height) *height = m_internalHeight;
}
