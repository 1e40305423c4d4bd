// Emitters: the pool, spawning in a cone, ageing along the model's curves, the depth sort, the
// bounds and the queueing; their NML forms and the managed emitter.
#include "scene/nEmitter.h"

#include <cfloat>
#include <cmath>
#include <new>

#include "core/nFrustum.h"
#include "core/nLog.h"
#include "core/nMLReader.h"
#include "core/nMetaTag.h"
#include "core/nRandom.h"
#include "hub/nOrvex.h"
#include "scene/nCamera.h"
#include "scene/nItemTags.h"
#include "scene/nScene.h"

namespace {

const float kQuarterPi = 0.7853982f;
const float kCurveRangeStart = 1.1754944e-38f;
const float kCurveRangeEnd = 3.4028235e38f;
const int32_t kCurveLoopConstant = 1;

float CurveAt(nCurve& curve, float age)
{
    float value = 0.0f;
    curve.Evaluate(age, value, kCurveLoopConstant, kCurveRangeStart, kCurveRangeEnd);
    return value;
}

bool ReadEmitterTag(nMItem* item, nMetaFile* document, nMetaTag* tag)
{
    return static_cast<nMEmitter*>(item)->GetEmitter().Deserialize(document, tag);
}

}

nEmitter::nEmitter(nOrvex* engine)
    : nItem(engine), m_type(EmitterTypeSpray), m_birthRate(100.0f), m_speedMin(1.0f), m_speedMax(1.5f),
      m_sprayAngle(kQuarterPi), m_birthRateScale(1.0f), m_birthOpacityScale(1.0f), m_birthSpeedScale(1.0f),
      m_birthSizeScale(1.0f), m_poolSize(500), m_pool(0), m_sortedCount(0), m_drawn(0), m_clock(0.0f),
      m_accumulator(0.0f), m_sorted(0)
{
}

nEmitter::~nEmitter()
{
    FreePool();
}

void nEmitter::SetParticleModel(nParticleModel* model)
{
    m_model = model;
}

bool nEmitter::SetPoolSize(int64_t size)
{
    if (size < 1 || size > (int64_t)kMaxPoolSize) {
        *g_log << "[*] Emitter pool size " << nString::Format("%lld", (long long)size).GetCStr()
               << " is out of range (1 to " << (int32_t)kMaxPoolSize << "); keeping " << (int32_t)m_poolSize << ".\n";
        return false;
    }
    m_poolSize = (uint32_t)size;
    return true;
}

void nEmitter::FreePool()
{
    delete[] m_pool;
    delete[] m_sorted;
    m_pool = 0;
    m_sorted = 0;
    m_sortedCount = 0;
}

// Pool allocation.
bool nEmitter::AllocatePool()
{
    FreePool();
    if (!m_model.IsValid()) return false;
    m_pool = new (std::nothrow) nParticle[m_poolSize];
    m_sorted = new (std::nothrow) nKeyValuePair[m_poolSize];
    if (!m_pool || !m_sorted) {
        FreePool();
        *g_log << "[!] Failed to allocate emitter particle pool (size " << (int32_t)m_poolSize << ").\n";
        return false;
    }
    m_drawn = 1;
    m_clock = 0.0f;
    m_accumulator = 0.0f;
    return true;
}

// One step: spawn what is owed into free slots, then age every live particle.
void nEmitter::Update(float dt)
{
    if (!m_pool || !m_drawn || !m_model.IsValid()) return;
    nParticleModel& model = *m_model;

    m_accumulator += m_birthRateScale * m_birthRate * dt;
    uint32_t slot = 0;
    while (m_accumulator > 1.0f) {
        while (slot < m_poolSize && m_pool[slot].IsAlive()) ++slot;
        if (slot == m_poolSize) break;  // full: spawning waits for a free slot
        nParticle& p = m_pool[slot];
        p.age = m_accumulator / m_birthRate;
        p.size = p.angle = p.red = p.green = p.blue = p.opacity = 0.0f;
        SpawnParticle(p);
        m_accumulator -= 1.0f;
    }
    // What a full pool owes is bounded by what it can hold.
    if (m_accumulator > (float)m_poolSize) m_accumulator = (float)m_poolSize;

    const float damping = std::pow(model.m_damping, dt);
    for (uint32_t i = 0; i < m_poolSize; ++i)
        if (m_pool[i].IsAlive()) AgeParticle(m_pool[i], dt, damping);

    m_drawn = 0;
    m_clock += dt;
}

void nEmitter::AgeParticle(nParticle& p, float dt, float damping)
{
    nParticleModel& model = *m_model;
    p.age += dt;
    if (p.age >= model.m_timeToLive) {
        p.age = -1.0f;
        return;
    }
    const nVector v = p.velocity;
    p.position = p.position + v * dt;
    p.position.w = 1.0f;
    p.velocity = (v + model.m_gravity * dt) * damping;
    p.velocity.w = 1.0f;
    p.size = CurveAt(model.m_size, p.age) * p.birthSizeScale;
    p.angle = CurveAt(model.m_angle, p.age);
    p.red = CurveAt(model.m_red, p.age);
    p.green = CurveAt(model.m_green, p.age);
    p.blue = CurveAt(model.m_blue, p.age);
    p.opacity = CurveAt(model.m_opacity, p.age) * p.birthOpacityScale;
}

// Spray: a direction within the spray angle of the emitter's Z axis, turned at random about
// it, at a random speed, placed by the emitter's world matrix as last computed.
void nEmitter::SpawnParticle(nParticle& p)
{
    p.position = m_world.GetColumn(3, true);
    const float deviation = (nRandFloat(2.0f) - 1.0f) * m_sprayAngle;
    const float turn = nRandFloat(6.2831855f);
    const float speed = nRandRange(m_speedMin, m_speedMax);
    nVector direction(std::sin(deviation), 0.0f, std::cos(deviation), 1.0f);
    direction = direction.Rotate(nMatrix3::RotationZ(turn));
    nVector velocity = direction.Normalize() * (speed * m_birthSpeedScale);
    p.velocity = velocity.Rotate(nMatrix3::FromMatrix4(m_world));
    p.velocity.w = 1.0f;
    p.birthSizeScale = m_birthSizeScale;
    p.birthOpacityScale = m_birthOpacityScale;
}

// Depth sort.
void nEmitter::SortParticlesByDepth(const nMatrix4& cameraWorld)
{
    if (!m_pool || !m_drawn) return;
    const nVector z = cameraWorld.GetColumn(2, true).Normalize();
    const nVector c = cameraWorld.GetColumn(3, true);
    m_sortedCount = 0;
    for (uint32_t i = 0; i < m_poolSize; ++i) {
        if (!m_pool[i].IsAlive()) continue;
        m_sorted[m_sortedCount].key = z.Dot(m_pool[i].position - c);
        m_sorted[m_sortedCount].value = (int32_t)i;
        ++m_sortedCount;
    }
    if (m_sortedCount > 1) SortPairsByKey(m_sorted, 0, (int)m_sortedCount - 1);
}

const nParticle* nEmitter::GetSortedParticle(uint32_t k) const
{
    if (!m_pool || k >= m_sortedCount) return 0;
    return &m_pool[m_sorted[m_sortedCount - 1 - k].value];
}

void nEmitter::GetWorldMinMax(nMinMax& out) const
{
    const nVector origin = m_world.GetColumn(3, true);
    out = nMinMax(origin, origin);
    if (!m_pool) return;
    for (uint32_t k = 0; k < m_sortedCount; ++k) {
        const nParticle& p = m_pool[m_sorted[k].value];
        const nVector extent(p.size, p.size, p.size, 0.0f);
        out.Merge(nMinMax(p.position - extent, p.position + extent));
    }
}

// Queueing: culled by the camera's frustum; a visible emitter is marked drawn, which lets its
// next step run. The queue timer is stopped on every path.
void nEmitter::Enqueue(nItem* camera, nRenderablePrimitiveList* list, int32_t)
{
    if (!camera || !list) return;
    nTimer* timer = m_engine ? &m_engine->GetQueueTimer() : 0;
    if (timer) timer->Start(true);
    nMinMax box;
    GetWorldMinMax(box);
    nCamera* view = dynamic_cast<nCamera*>(camera);
    if (!view || view->GetFrustum().TestMinMax(box, 0) != VisibilityOutside) {
        m_drawn = 1;
        const nMatrix4& cameraWorld = camera->GetWorldMatrix();
        const float depth = cameraWorld.GetColumn(2, false).Dot(m_world.GetColumn(3, true) - cameraWorld.GetColumn(3, true));
        nRenderablePrimitive* primitive = new (std::nothrow) nRenderablePrimitive(RenderablePrimitiveEmitter, this, depth, this);
        if (primitive && !list->InsertAfter(primitive, 0)) delete primitive;
    }
    if (timer) timer->Stop();
}

// NML.

bool nEmitter::Deserialize(nMetaFile* document, nMetaTag* tag)
{
    if (!nMLCheckRoot(tag, "Emitter", "emitter")) return false;
    m_speedMin = 1.0f;
    m_speedMax = 1.0f;
    m_birthRate = 1.0f;
    m_poolSize = 100;
    m_sprayAngle = kQuarterPi;
    m_type = EmitterTypeSpray;
    m_model.Release();
    typedef nEmitter E;
    static const nMLTagRule<E> kTags[] = {
        {"Item", [](E& e, nMetaFile* d, nMetaTag* t) { e.nItem::Deserialize(d, t); }},
        {"SpeedMin", nMLField<&E::m_speedMin>},
        {"SpeedMax", nMLField<&E::m_speedMax>},
        {"PoolSize", [](E& e, nMetaFile*, nMetaTag* t) {
             int32_t size = 0;
             if (ReadTagInt(t, size)) e.SetPoolSize(size);
         }},
        {"BirthRate", nMLField<&E::m_birthRate>},
        {"Type", [](E& e, nMetaFile*, nMetaTag*) { e.m_type = EmitterTypeSpray; }},  // spray is the only type
        {"SprayAngle", nMLField<&E::m_sprayAngle>},
        {"ParticleModel", [](E& e, nMetaFile*, nMetaTag* t) {
             if (const char* name = ReadTagString(t)) e.SetParticleModel(LoadParticleModel(e.m_engine, name, false));
         }},
    };
    nMLReadChildren(*this, document, tag, kTags, "Emitter");
    return true;
}

nMetaTag* nEmitter::Serialize(nMetaFile* document)
{
    nMetaTag* root = new (std::nothrow) nMetaTag("Emitter");
    if (!root) {
        *g_log << "[!] Could not serialize emitter. Failed to create root tag.\n";
        return 0;
    }
    AppendTag(root, nItem::Serialize(document));
    if (m_speedMin != 1.0f) AppendTag(root, new (std::nothrow) nMetaTag("SpeedMin", m_speedMin));
    if (m_speedMax != 1.0f) AppendTag(root, new (std::nothrow) nMetaTag("SpeedMax", m_speedMax));
    if (m_birthRate != 1.0f) AppendTag(root, new (std::nothrow) nMetaTag("BirthRate", m_birthRate));
    if (m_poolSize != 100) AppendTag(root, new (std::nothrow) nMetaTag("PoolSize", (int32_t)m_poolSize));
    AppendTag(root, new (std::nothrow) nMetaTag("SprayAngle", m_sprayAngle));
    if (m_model.IsValid()) AppendTag(root, new (std::nothrow) nMetaTag("ParticleModel", m_model->GetName().GetCStr()));
    return root;
}

// Managed emitter.

nMEmitter::nMEmitter(nScene* scene)
    : nMItem(scene), m_emitter(scene ? scene->GetEngine() : 0)
{
    m_priority = 1.0f;
    SetNode(&m_emitter, ManagedItemEmitter);
}

nMEmitter::~nMEmitter()
{
    RaiseOnDelete();
}

void nMEmitter::Evaluate()
{
    nOrvex* engine = m_emitter.GetEngine();
    m_emitter.Update(engine ? (float)engine->GetFrameTime() / 10000.0f : 0.0f);
}

void nMEmitter::UpdateTransform()
{
    m_emitter.UpdateWorldMatrix();
}

void nMEmitter::Setup()
{
    m_emitter.AllocatePool();
    nMItem::Setup();
}

bool nMEmitter::Deserialize(nMetaFile* document, nMetaTag* tag)
{
    return DeserializeManagedTag(this, document, tag, "MEmitter", "Emitter",
                                 "could not parse managed emitter. Root tag id is incorrect (", ReadEmitterTag);
}

nMetaTag* nMEmitter::Serialize(nMetaFile* document)
{
    return SerializeManagedTag(this, document, "MEmitter", m_emitter.Serialize(document),
                               "Could not create managed root tag to serialize.\n");
}
