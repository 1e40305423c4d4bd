#include "tests/scene/kit/nFakePhysicWorld.h"

#include <algorithm>

#include "scene/nMItem.h"
#include "tests/kit/nCallLog.h"

nCallLog* nFakePhysicWorld::s_log = 0;
bool nFakePhysicWorld::s_initResult = true;
nFakePhysicWorld* nFakePhysicWorld::s_last = 0;
int32_t nFakePhysicWorld::s_made = 0;
int32_t nFakePhysicWorld::s_deleted = 0;

nFakePhysicItem::nFakePhysicItem(nFakePhysicWorld* world, nCallLog* log)
    : nPhysicItem(world), enabled(true), m_fakeWorld(world), m_log(log), m_selfMask(1), m_collisionMask(1),
      m_linearDamping(0.0f), m_angularDamping(0.0f), m_gravity(0.0f, -9.8f, 0.0f)
{
}

nFakePhysicItem::~nFakePhysicItem()
{
    if (m_log) m_log->Add("physics." + Name() + ".delete");
    if (m_fakeWorld) m_fakeWorld->ItemDeleted(this);
}

std::string nFakePhysicItem::Name() const
{
    return m_owner ? std::string(m_owner->GetName().GetCStr() ? m_owner->GetName().GetCStr() : "") : "?";
}

void nFakePhysicItem::SetMode(int32_t mode)
{
    nPhysicItem::SetMode(mode);
}

void nFakePhysicItem::SetMatrix(const nMatrix4* m)
{
    if (m) m_matrix = *m;
    if (m_log) m_log->Add("physics." + Name() + ".SetMatrix");
}

void nFakePhysicItem::ResetDynamics()
{
    if (m_log) m_log->Add("physics." + Name() + ".ResetDynamics");
}

void nFakePhysicItem::Enable(bool on)
{
    enabled = on;
    if (m_log) m_log->Add("physics." + Name() + ".Enable(" + (on ? "1" : "0") + ")");
}

bool nFakePhysicItem::Create()
{
    if (m_log) m_log->Add("physics." + Name() + ".Create");
    return true;
}

void nFakePhysicItem::Destroy()
{
    if (m_log) m_log->Add("physics." + Name() + ".Destroy");
}

nFakePhysicWorld::nFakePhysicWorld(nOrvex* engine, nCallLog* log)
    : nPhysicWorld(engine), initResult(true), liveItems(0), m_log(log), m_accumulator(0.0f)
{
}

nFakePhysicWorld::~nFakePhysicWorld()
{
    // Items outliving their world must not report to it.
    for (nFakePhysicItem* item : items) item->DetachWorld();
    ++s_deleted;
    if (s_last == this) s_last = 0;
    if (m_log) m_log->Add("physics.world.delete");
}

bool nFakePhysicWorld::Init()
{
    if (m_log) m_log->Add(std::string("physics.world.Init") + (initResult ? "" : " fails"));
    return initResult;
}

nPhysicItem* nFakePhysicWorld::NewItem()
{
    nFakePhysicItem* item = new nFakePhysicItem(this, m_log);
    ++liveItems;
    items.push_back(item);
    return item;
}

void nFakePhysicWorld::AddItem(nPhysicItem* item)
{
    if (m_log) m_log->Add("physics." + static_cast<nFakePhysicItem*>(item)->Name() + ".AddItem");
}

void nFakePhysicWorld::RemoveItem(nPhysicItem* item)
{
    if (m_log) m_log->Add("physics." + static_cast<nFakePhysicItem*>(item)->Name() + ".RemoveItem");
}

void nFakePhysicWorld::ItemDeleted(nFakePhysicItem* item)
{
    --liveItems;
    items.erase(std::remove(items.begin(), items.end(), item), items.end());
}

bool nFakePhysicWorld::GetContact(int32_t index, nPhysicContact* out)
{
    if (index < 0 || index >= (int32_t)contacts.size() || !out) return false;
    *out = contacts[(size_t)index];
    return out->pointCount > 0;
}

void nFakePhysicWorld::Step(float dt)
{
    if (m_log) m_log->Add("physics.world.Step(" + FormatFloat(dt) + ")");
    m_accumulator += dt;
    for (int i = 0; i < 4 && m_accumulator >= m_fixedStep; ++i) {
        m_accumulator -= m_fixedStep;
        if (m_callback) m_callback->OnSubStep(m_fixedStep, true);
        if (onSubStep) onSubStep();
        if (m_callback) m_callback->OnSubStep(m_fixedStep, false);
    }
    if (m_accumulator >= m_fixedStep) m_accumulator = 0.0f;  // sub-steps beyond 4 are dropped
}

nPhysicWorld* nFakePhysicWorld::Make(nOrvex* engine)
{
    nFakePhysicWorld* world = new nFakePhysicWorld(engine, s_log);
    world->initResult = s_initResult;
    s_last = world;
    ++s_made;
    return world;
}
