#include "scene/nLight.h"

#include <cmath>
#include <cstring>

#include "core/nLog.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "hub/nOrvex.h"
#include "render/nRenderer.h"
#include "resources/nResourceLoader.h"
#include "resources/nTexture.h"
#include "scene/nItemTags.h"
#include "scene/nScene.h"

namespace {

const float kDefaultAngle = 0.5235988f;  // 30 degrees
const float kMinimumReadNear = 0.1f;
const float kDefaultVolumeRange = 500.0f;
const float kMinimumDepthRange = 0.001f;     // far stays this far beyond near in the spot projection
const float kMaximumCotangent = 229.18168f;  // 1 / tan(0.25 degrees): the narrowest usable spot
const float kInactiveIntensity = 0.001f;

const char* const kTypeNames[] = {"None", "Point", "Parallel", "Spot", "Area"};
const char* const kShadowNames[] = {"None", "PMap", "Map"};
const char* const kFalloffNames[] = {"Linear", "InvDist", "InvDist2"};

// Index of text among names, or -1.
int32_t FindName(const char* text, const char* const* names, int32_t count)
{
    if (!text) return -1;
    for (int32_t i = 0; i < count; ++i)
        if (std::strcmp(text, names[i]) == 0) return i;
    return -1;
}

// Reads a named setting; an unknown text keeps the value and warns "Bogus light <what> '<text>'.".
void ReadNamedSetting(const nMetaTag* tag, const char* const* names, int32_t count, const char* what, int32_t& out)
{
    const char* text = ReadTagString(tag);
    int32_t index = FindName(text, names, count);
    if (index >= 0) out = index;
    else *g_log << "[*] Bogus light " << what << " '" << (text ? text : "") << "'.\n";
}

// cos(a) / sin(a) of the spot extent, kept finite for a zero or straight extent.
float SpotCotangent(float extent)
{
    float c = std::cos(extent) / std::sin(extent);
    if (!(c <= kMaximumCotangent)) c = kMaximumCotangent;
    return c;
}

bool ColourDiffers(const nVector& c, float reference)
{
    return std::fabs(c.x - reference) >= 1e-6f || std::fabs(c.y - reference) >= 1e-6f ||
           std::fabs(c.z - reference) >= 1e-6f;
}

void AppendFloat(nMetaTag* root, const char* name, float value)
{
    AppendTag(root, new (std::nothrow) nMetaTag(name, value));
}

bool ReadLightTag(nMItem* item, nMetaFile* document, nMetaTag* tag)
{
    return static_cast<nMLight*>(item)->GetLight().Deserialize(document, tag);
}

nRenderer* CurrentRenderer(nOrvex* engine)
{
    return engine ? engine->GetRenderer() : 0;
}

}

nLight::nLight(nOrvex* engine)
    : nItem(engine), m_renderData(0)
{
    SetDefaults();
}

nLight::~nLight()
{
    if (nRenderer* renderer = CurrentRenderer(m_engine)) renderer->FreeLight(this);
    m_projectionMap.Release();
}

void nLight::SetDefaults()
{
    m_shader.Set("");
    m_type = LightTypePoint;
    m_shadow = LightShadowNone;
    m_shadowRange = 100.0f;
    m_shadowBias = 0.01f;
    m_shadowDistribution = 0.9f;
    m_near = 0.02f;
    m_volumetric = false;
    m_volumetricSampleStep = 0.5f;
    m_volumetricRange = 8.0f;
    m_volumetricThickness = 1.0f;
    m_falloff = LightFalloffLinear;
    m_range = 0.0f;
    m_volumeRange = kDefaultVolumeRange;
    m_clipDistance = 300.0f;
    m_diffuse = nVector(1.0f, 1.0f, 1.0f, 1.0f);
    m_specular = nVector(1.0f, 1.0f, 1.0f, 1.0f);
    m_shadowColour = nVector(0.0f, 0.0f, 0.0f, 1.0f);
    m_diffuseIntensity = 1.0f;
    m_specularIntensity = 0.0f;
    m_coneAngle = kDefaultAngle;
    m_edgeAngle = kDefaultAngle;
}

void nLight::SetProjectionMap(nTexture* map)
{
    m_projectionMap = map;
}

void nLight::UpdateWorldMatrix()
{
    bool dirty = (m_flags & ItemFlagWorldDirty) != 0;
    nItem::UpdateWorldMatrix();
    if (dirty) {
        for (int i = 0; i < 3; ++i) {
            nVector axis = nVector(m_world.m[i], m_world.m[4 + i], m_world.m[8 + i]).Normalize();
            m_world.m[i] = axis.x;
            m_world.m[4 + i] = axis.y;
            m_world.m[8 + i] = axis.z;
        }
    }
    UpdateShadowFrustum(m_shadowFrustum, -1.0f, -1.0f);
}

void nLight::UpdateShadowFrustum(nFrustum& out, float nearZ, float farZ)
{
    if (m_type != LightTypeSpot) return;
    if (nearZ == -1.0f) nearZ = m_near;
    if (farZ == -1.0f) farZ = m_volumeRange;
    out.SetPerspective(2.0f * (m_coneAngle + m_edgeAngle), nearZ, farZ, &m_world, 1.0f, 1.0f);
}

void nLight::GetProjectionMatrix(nMatrix4& q) const
{
    q = nMatrix4();
    if (m_type != LightTypeSpot) return;
    const float n = m_near;
    const float f = m_volumeRange >= n + kMinimumDepthRange ? m_volumeRange : n + kMinimumDepthRange;
    const float c = SpotCotangent(m_coneAngle + m_edgeAngle);
    const float a = f / (f - n);
    for (float& v : q.m) v = 0.0f;
    q.m[0] = c;
    q.m[5] = c;
    q.m[10] = a;
    q.m[11] = -a * n;
    q.m[14] = 1.0f;
}

nVector nLight::Reflect(const nVector& v, const nVector& n)
{
    nVector r = v - n * (2.0f * v.Dot(n));
    r.w = 1.0f;
    return r;
}

bool nLight::ComputeLighting(const nVector& point, const nVector& normal, float* diffuse, float* specular,
                             const nVector* view, float glossiness, bool halfVector, bool cookTorrance)
{
    if (!diffuse && !specular) return false;
    return ComputeLightingAt(GetWorldMatrix(), point, normal, diffuse, specular, view, glossiness, halfVector, cookTorrance);
}

bool nLight::ComputeLightingAt(const nMatrix4& world, const nVector& point, const nVector& normal, float* diffuse,
                               float* specular, const nVector* view, float glossiness, bool halfVector,
                               bool cookTorrance) const
{
    if (!diffuse && !specular) return false;
    float atten = 1.0f;
    nVector l;
    if (m_type == LightTypeParallel) {
        l = (-world.GetColumn(2, true)).Normalize();
    } else {
        nVector d = world.GetColumn(3, true) - point;
        float dist = d.Length();
        l = dist > 0.0f ? d / dist : nVector(0.0f, 0.0f, 0.0f);
        if (m_range != 0.0f) {
            atten = 1.0f - dist / m_range;
            if (atten <= 0.0f) return false;
        }
        if (m_type == LightTypeSpot) {
            float cosine = world.GetColumn(2, true).Normalize().Dot(-l);
            // Rounding may carry the cosine of an on-axis point just beyond 1.
            if (cosine > 1.0f) cosine = 1.0f;
            if (cosine < -1.0f) cosine = -1.0f;
            float angle = std::acos(cosine);
            if (angle > m_coneAngle + m_edgeAngle) return false;
            if (angle > m_coneAngle) atten *= 1.0f - (angle - m_coneAngle) / m_edgeAngle;
        }
    }
    float ndotl = normal.Dot(l);
    if (ndotl < 0.0f) return false;
    if (diffuse) *diffuse = ndotl * atten * m_diffuseIntensity;
    if (!specular) return true;
    *specular = 0.0f;
    if (!view) return true;

    nVector v = view->Normalize();
    float s = 0.0f;
    if (cookTorrance) {
        *g_log << "[*] Cook-Torrance specular model not implemented.\n";
    } else {
        float base = halfVector ? (l - v).Normalize().Dot(normal) : Reflect(v, normal).Dot(l);
        s = base > 0.0f ? std::pow(base, glossiness * 96.0f) : 0.0f;
    }
    *specular = s * atten * m_specularIntensity;
    return true;
}

// NML.

bool nLight::Deserialize(nMetaFile* document, nMetaTag* tag)
{
    if (!tag) return false;
    if (!nMLCheckRoot(tag, "Light", "light")) return false;
    SetDefaults();
    typedef nLight L;
    static const nMLTagRule<L> kTags[] = {
        {"Item", [](L& l, nMetaFile* d, nMetaTag* t) { l.nItem::Deserialize(d, t); }},
        {"Type", [](L& l, nMetaFile*, nMetaTag* t) { ReadNamedSetting(t, kTypeNames, 5, "type", l.m_type); }},
        {"Shadow", [](L& l, nMetaFile*, nMetaTag* t) { ReadNamedSetting(t, kShadowNames, 3, "shadow", l.m_shadow); }},
        {"Falloff", [](L& l, nMetaFile*, nMetaTag* t) { ReadNamedSetting(t, kFalloffNames, 3, "falloff", l.m_falloff); }},
        {"Range", nMLField<&L::m_range>},
        {"VolumeRange", [](L& l, nMetaFile*, nMetaTag* t) {
             float value;
             if (ReadTagFloat(t, value)) l.m_volumeRange = value > 0.0f ? value : kDefaultVolumeRange;
         }},
        {"ClipDistance", nMLField<&L::m_clipDistance>},
        {"ProjectionMap", [](L& l, nMetaFile*, nMetaTag* t) {
             if (const char* text = ReadTagString(t)) l.SetProjectionMap(LoadTexture(l.m_engine, text, false, false));
         }},
        {"Diffuse", nMLField<&L::m_diffuse>},
        {"Specular", nMLField<&L::m_specular>},
        {"ShadowColor", nMLField<&L::m_shadowColour>},
        {"DiffuseIntensity", nMLField<&L::m_diffuseIntensity>},
        {"SpecularIntensity", nMLField<&L::m_specularIntensity>},
        {"ConeAngle", nMLField<&L::m_coneAngle>},
        {"EdgeAngle", nMLField<&L::m_edgeAngle>},
        {"Shader", nMLField<&L::m_shader>},
        {"ZNear", [](L& l, nMetaFile*, nMetaTag* t) {
             float value;
             if (ReadTagFloat(t, value)) l.m_near = value < kMinimumReadNear ? kMinimumReadNear : value;
         }},
        {"ShadowBias", nMLField<&L::m_shadowBias>},
        {"ShadowDistribution", nMLField<&L::m_shadowDistribution>},
        {"ShadowRange", nMLField<&L::m_shadowRange>},
        {"Volumetric", [](L& l, nMetaFile*, nMetaTag*) { l.m_volumetric = true; }},
        {"VolumetricSampleStep", nMLField<&L::m_volumetricSampleStep>},
        {"VolumetricRange", nMLField<&L::m_volumetricRange>},
        {"VolumetricThick", nMLField<&L::m_volumetricThickness>},
        {"VolumetricThickness", nMLField<&L::m_volumetricRange>},  // the older key filled the range
    };
    nMLReadChildren(*this, document, tag, kTags, "Light");
    return true;
}

nMetaTag* nLight::Serialize(nMetaFile* document)
{
    nMetaTag* root = new (std::nothrow) nMetaTag("Light");
    if (!root) {
        *g_log << "[!] Could not serialize light. Failed to create root tag.\n";
        return 0;
    }
    AppendTag(root, nItem::Serialize(document));
    AppendTag(root, new (std::nothrow) nMetaTag("Type", m_type >= 1 && m_type <= 4 ? kTypeNames[m_type] : "None"));
    if (m_shadow != 0) AppendTag(root, new (std::nothrow) nMetaTag("Shadow", m_shadow == 1 || m_shadow == 2 ? kShadowNames[m_shadow] : "None"));
    if (m_shadowRange != 100.0f) AppendFloat(root, "ShadowRange", m_shadowRange);
    if (m_shadowBias != 0.01f) AppendFloat(root, "ShadowBias", m_shadowBias);
    if (m_shadowDistribution != 0.9f) AppendFloat(root, "ShadowDistribution", m_shadowDistribution);
    if (ColourDiffers(m_shadowColour, 0.0f)) AppendTag(root, m_shadowColour.ToMetaTag("ShadowColor", false));
    if (m_volumetric) AppendTag(root, new (std::nothrow) nMetaTag("Volumetric"));
    AppendFloat(root, "VolumetricSampleStep", m_volumetricSampleStep);
    AppendFloat(root, "VolumetricThick", m_volumetricThickness);
    AppendFloat(root, "VolumetricRange", m_volumetricRange);
    if (m_near != 0.02f) AppendFloat(root, "ZNear", m_near);
    if (m_falloff != 0) AppendTag(root, new (std::nothrow) nMetaTag("Falloff", m_falloff == 1 || m_falloff == 2 ? kFalloffNames[m_falloff] : "Linear"));
    if (m_range != 0.0f) AppendFloat(root, "Range", m_range);
    if (m_volumeRange != kDefaultVolumeRange) AppendFloat(root, "VolumeRange", m_volumeRange);
    if (m_clipDistance != 300.0f) AppendFloat(root, "ClipDistance", m_clipDistance);
    if (m_projectionMap.IsValid() && !m_projectionMap->GetName().IsEmpty())
        AppendTag(root, new (std::nothrow) nMetaTag("ProjectionMap", m_projectionMap->GetName().GetCStr()));
    if (ColourDiffers(m_diffuse, 1.0f)) AppendTag(root, m_diffuse.ToMetaTag("Diffuse", false));
    if (ColourDiffers(m_specular, 1.0f)) AppendTag(root, m_specular.ToMetaTag("Specular", false));
    if (m_diffuseIntensity != 1.0f) AppendFloat(root, "DiffuseIntensity", m_diffuseIntensity);
    if (m_specularIntensity != 0.0f) AppendFloat(root, "SpecularIntensity", m_specularIntensity);
    if (m_coneAngle != kDefaultAngle) AppendFloat(root, "ConeAngle", m_coneAngle);
    if (m_edgeAngle != kDefaultAngle) AppendFloat(root, "EdgeAngle", m_edgeAngle);
    if (!m_shader.IsEmpty()) AppendTag(root, new (std::nothrow) nMetaTag("Shader", m_shader.GetCStr()));
    return root;
}

// Managed light.

nMLight::nMLight(nScene* scene)
    : nMItem(scene), m_light(scene ? scene->GetEngine() : 0)
{
    m_priority = 1.0f;
    SetNode(&m_light, ManagedItemLight);
}

nMLight::~nMLight()
{
    RaiseOnDelete();
}

bool nMLight::IsActive() const
{
    if (m_light.GetDiffuseIntensity() <= kInactiveIntensity && m_light.GetSpecularIntensity() <= kInactiveIntensity)
        return false;
    return m_active;
}

void nMLight::Evaluate()
{
    if (nRenderer* renderer = CurrentRenderer(m_light.GetEngine())) renderer->UpdateLight(&m_light);
}

void nMLight::UpdateTransform()
{
    m_light.UpdateWorldMatrix();
}

void nMLight::Setup()
{
    if (nRenderer* renderer = CurrentRenderer(m_light.GetEngine())) renderer->SetupLight(&m_light);
    nMItem::Setup();
}

bool nMLight::Deserialize(nMetaFile* document, nMetaTag* tag)
{
    return DeserializeManagedTag(this, document, tag, "MLight", "Light",
                                 "Could not parse managed light. Root tag id is incorrect (", ReadLightTag);
}

nMetaTag* nMLight::Serialize(nMetaFile* document)
{
    return SerializeManagedTag(this, document, "MLight", m_light.Serialize(document),
                               "could not create managed root tag to serialize.\n");
}
