#include "resources/nMaterial.h"

#include "core/nLog.h"
#include "hub/nOrvex.h"
#include "render/nRenderer.h"
#include "resources/nRenderMap.h"

namespace {

const char* const kChannelNames[MaterialChannelCount] = {
    "None",
    "Diffuse",
    "Decal",
    "Opacity",
    "Specular",
    "Glossiness",
    "Normal",
    "Reflection",
    "Self-Illum (Emissive)",
    "Lightmap",
    "Blend RGB",
};

bool IsChannel(int32_t channel)
{
    return channel >= 0 && channel < MaterialChannelCount;
}

bool IsActiveWithTexture(const nMaterialStage* stage)
{
    return stage && stage->active && stage->texture.IsValid();
}

nRenderer* CurrentRenderer(nOrvex* engine)
{
    return engine ? engine->GetRenderer() : 0;
}

}

const char* GetMaterialChannelName(int32_t channel)
{
    return IsChannel(channel) ? kChannelNames[channel] : "Invalid";
}

void nMaterialStage::Reset()
{
    active = 0;
    channel = MaterialChannelNone;
    texture.Release();
    uvSource = MaterialUVMap;
    uvMatrix = nMatrix4();
    wrapU = 1;
    wrapV = 1;
    uvIndex = 0;
    op = MaterialOperatorNone;
}

nMaterial::nMaterial(nOrvex* engine)
    : m_engine(engine), m_alpha(0), m_renderMap(0), m_renderMapDefault(false), m_renderData(0)
{
    Reset();
}

nMaterial::~nMaterial()
{
    SetRenderMap(0);
    if (nRenderer* renderer = CurrentRenderer(m_engine))
        renderer->FreeMaterial(this);
    m_renderData = 0;
}

void nMaterial::Reset()
{
    diffuse = nVector(1.0f, 1.0f, 1.0f, 1.0f);
    specular = nVector(1.0f, 1.0f, 1.0f, 1.0f);
    self = nVector(0.0f, 0.0f, 0.0f, 1.0f);
    ambient = nVector(1.0f, 1.0f, 1.0f, 1.0f);
    glossiness = 0.4f;
    opacity = 1.0f;
    reflection = 0.0f;
    ior = 1.0f;
    alphaThreshold = 0.1f;
    maxSmoothingAngle = 0.0f;
    renderFlags = 0;
    SetRenderMap(0);
    for (nMaterialStage& stage : m_stages)
        stage.Reset();
    for (nMaterialStage*& entry : m_channels)
        entry = 0;
    m_alpha = 0;
}

void nMaterial::SetRenderMap(nRenderMap* map)
{
    m_renderMapDefault = false;
    if (map == m_renderMap)
        return;
    delete m_renderMap;
    m_renderMap = map;
}

nMaterialStage* nMaterial::GetStage(int32_t channel, bool activeOnly) const
{
    if (!IsChannel(channel))
        return 0;
    nMaterialStage* stage = m_channels[channel];
    if (activeOnly && !IsActiveWithTexture(stage))
        return 0;
    return stage;
}

nMaterialStage* nMaterial::AddStage(int32_t channel, nTexture* texture, int32_t uvSource, int32_t uvIndex)
{
    if (IsChannel(channel) && IsActiveWithTexture(m_channels[channel]))
        return m_channels[channel];
    for (nMaterialStage& stage : m_stages) {
        if (stage.channel != MaterialChannelNone)
            continue;
        stage.channel = channel;
        stage.texture = texture;
        stage.uvSource = uvSource;
        stage.uvIndex = (uint8_t)uvIndex;
        stage.active = 1;
        return &stage;
    }
    *g_log << "[*] No texture stage left to create a new stage.\n";
    return 0;
}

void nMaterial::ValidateStages()
{
    for (nMaterialStage& stage : m_stages) {
        if (!stage.active || stage.uvSource != MaterialUVMap)
            continue;
        if (stage.uvIndex >= 3)
            *g_log << "[*] Invalid UVmap index in material '" << m_name.GetCStr() << "', '"
                   << GetMaterialChannelName(stage.channel) << "' stage deactivated.\n";
        else if (!stage.texture.IsValid())
            *g_log << "[*] No stage texture in material '" << m_name.GetCStr() << "', '"
                   << GetMaterialChannelName(stage.channel) << "' stage deactivated.\n";
        else
            continue;
        stage.active = 0;
    }
    for (int32_t channel = 0; channel < MaterialChannelCount; ++channel) {
        m_channels[channel] = 0;
        for (nMaterialStage& stage : m_stages) {
            if (stage.channel == channel) {
                m_channels[channel] = &stage;
                break;
            }
        }
    }
}

void nMaterial::UpdateAlphaFlag()
{
    const bool blends = (renderFlags & (MaterialRenderAdd | MaterialRenderSub)) != 0;
    m_alpha = (blends || IsActiveWithTexture(m_channels[MaterialChannelOpacity])) ? 1 : 0;
}

// Validation comes before the alpha flag, which reads the channel table: a stage added since the
// last validation (an embedded-alpha Opacity stage, a script's stage) must count.
void nMaterial::Update()
{
    ValidateStages();
    UpdateAlphaFlag();
    if (nRenderer* renderer = CurrentRenderer(m_engine))
        renderer->UpdateMaterial(this);
}

void nMaterial::Setup()
{
    if (g_debugChannel != -1) {
        ValidateStages();
        const nMaterialStage* shown = GetStage(g_debugChannel, true);
        if (shown) {
            const nMaterialStage copy = *shown;
            for (nMaterialStage& stage : m_stages)
                stage.active = 0;
            m_stages[0] = copy;
            m_stages[0].active = 1;
            m_stages[0].channel = MaterialChannelDiffuse;
            diffuse = nVector(1.0f, 1.0f, 1.0f, 1.0f);
            specular = nVector(0.0f, 0.0f, 0.0f, 1.0f);
            m_shaderName.Clear();
        }
    }
    nRenderer* renderer = CurrentRenderer(m_engine);
    if (renderer)
        renderer->SetupMaterial(this);
    ValidateStages();
    UpdateAlphaFlag();
    if (renderer)
        renderer->UpdateMaterial(this);
}
