// Particle models: their NML form and their loader through the engine's resource cache.
#include "scene/nParticleModel.h"

#include <new>

#include "core/nLog.h"
#include "core/nMLReader.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "hub/nOrvex.h"
#include "resources/nResourceCache.h"

namespace {

const char kParticleModelKind[] = "ParticleModel";

// The curve of a curve tag: its child "Curve".
void ReadCurveTag(nCurve& curve, nMetaFile* document, nMetaTag* tag)
{
    if (nMetaTag* child = FirstChildNamed(tag, "Curve")) curve.Deserialize(document, child);
}

nMetaTag* WriteCurveTag(const char* name, const nCurve& curve, nMetaFile* document)
{
    nMetaTag* tag = new (std::nothrow) nMetaTag(name);
    if (tag) AppendTag(tag, curve.Serialize(document));
    return tag;
}

void AddLinearKey(nCurve& curve, float time, float value)
{
    nCurvePoint* key = new (std::nothrow) nCurvePoint;
    if (!key) return;
    key->type = CurveKeyLinear;
    key->time = time;
    key->value = value;
    curve.AddKeySorted(key);
}

}

nParticleModel::nParticleModel(nOrvex* engine)
    : m_material(engine), m_timeToLive(4.0f), m_damping(1.0f), m_gravity(0.0f, 0.0f, 0.0f, 1.0f)
{
    m_angle.SetDefaultValue(0.0f);
    m_size.SetDefaultValue(1.0f);
    m_red.SetDefaultValue(1.0f);
    m_green.SetDefaultValue(1.0f);
    m_blue.SetDefaultValue(1.0f);
    m_opacity.SetDefaultValue(1.0f);
}

void nParticleModel::SetColor(const nVector& colour)
{
    m_red.SetDefaultValue(colour.x);
    m_green.SetDefaultValue(colour.y);
    m_blue.SetDefaultValue(colour.z);
    m_opacity.SetDefaultValue(colour.w);
}

void nParticleModel::AddColorKey(float time, const nVector& colour)
{
    AddLinearKey(m_red, time, colour.x);
    AddLinearKey(m_green, time, colour.y);
    AddLinearKey(m_blue, time, colour.z);
    AddLinearKey(m_opacity, time, colour.w);
}

bool nParticleModel::Deserialize(nMetaFile* document, nMetaTag* root)
{
    if (!nMLCheckRoot(root, "ParticleModel", "particle model")) return false;
    if (document) m_name = document->GetFileName();
    typedef nParticleModel P;
    static const nMLTagRule<P> kTags[] = {
        {"Material", [](P& p, nMetaFile* d, nMetaTag* t) { p.m_material.Deserialize(d, t); }},
        {"TTL", nMLField<&P::m_timeToLive>},
        {"Damping", nMLField<&P::m_damping>},
        {"Gravity", nMLField<&P::m_gravity>},
        {"AngleCurve", [](P& p, nMetaFile* d, nMetaTag* t) { ReadCurveTag(p.m_angle, d, t); }},
        {"SizeCurve", [](P& p, nMetaFile* d, nMetaTag* t) { ReadCurveTag(p.m_size, d, t); }},
        {"RedCurve", [](P& p, nMetaFile* d, nMetaTag* t) { ReadCurveTag(p.m_red, d, t); }},
        {"GreenCurve", [](P& p, nMetaFile* d, nMetaTag* t) { ReadCurveTag(p.m_green, d, t); }},
        {"BlueCurve", [](P& p, nMetaFile* d, nMetaTag* t) { ReadCurveTag(p.m_blue, d, t); }},
        {"OpacityCurve", [](P& p, nMetaFile* d, nMetaTag* t) { ReadCurveTag(p.m_opacity, d, t); }},
    };
    nMLReadChildren(*this, document, root, kTags, "ParticleModel");
    m_gravity.w = 1.0f;
    m_material.renderFlags |= MaterialRenderVertexColor;
    return true;
}

nMetaTag* nParticleModel::Serialize(nMetaFile* document)
{
    nMetaTag* root = new (std::nothrow) nMetaTag("ParticleModel");
    if (!root) {
        *g_log << "[!] Could not serialize particle model. Failed to create root tag.\n";
        return 0;
    }
    AppendTag(root, m_material.Serialize(document));
    AppendTag(root, new (std::nothrow) nMetaTag("TTL", m_timeToLive));
    AppendTag(root, new (std::nothrow) nMetaTag("Damping", m_damping));
    AppendTag(root, m_gravity.ToMetaTag("Gravity", false));
    AppendTag(root, WriteCurveTag("AngleCurve", m_angle, document));
    AppendTag(root, WriteCurveTag("SizeCurve", m_size, document));
    AppendTag(root, WriteCurveTag("RedCurve", m_red, document));
    AppendTag(root, WriteCurveTag("GreenCurve", m_green, document));
    AppendTag(root, WriteCurveTag("BlueCurve", m_blue, document));
    AppendTag(root, WriteCurveTag("OpacityCurve", m_opacity, document));
    return root;
}

// The loader: a cache hit, else a new model loaded from the name as given, its material set
// up when it loaded, and cached under the normalised name.
nParticleModel* LoadParticleModel(nOrvex* engine, const char* name, bool bypass)
{
    if (!name) return 0;
    nString key(name);
    key.NormalizePath();
    nResourceCache* cache = (engine && !bypass) ? engine->GetResourceCache() : 0;
    if (cache)
        if (nSharedObject* hit = cache->FindNamed(kParticleModelKind, key)) return static_cast<nParticleModel*>(hit);

    nOrvex::EventInterface* progress = engine ? engine->GetEventInterface() : 0;
    if (progress) progress->OnBegin();
    nParticleModel* model = new (std::nothrow) nParticleModel(engine);
    if (!model) {
        *g_log << "[!] Failed to allocate new particle model '" << key.GetCStr() << "'.\n";
        if (progress) progress->OnEnd();  // every begin is ended, so the progress display closes
        return 0;
    }
    if (model->Load(name)) model->m_material.Setup();
    if (progress) progress->OnProgress(nString::Format("Loading particle model '%s'...", key.GetCStr()).GetCStr(), -1.0f);
    if (cache) cache->AddNamed(kParticleModelKind, key, model);
    if (progress) progress->OnEnd();
    return model;
}
