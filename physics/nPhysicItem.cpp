#include "physics/nPhysicItem.h"

#include <cstring>
#include <new>

#include "core/nLog.h"
#include "core/nMLReader.h"
#include "core/nMetaTag.h"
#include "physics/nPhysicShape.h"
#include "physics/nPhysicWorld.h"

namespace {

struct ModeName
{
    const char* name;
    int32_t mode;
};

const ModeName kModeNames[] = {
    {"None", PhysicItemNone},
    {"Static", PhysicItemStatic},
    {"Dynamic", PhysicItemDynamic},
    {"Kinematic", PhysicItemKinematic},
};

// A row handing a float value (an integer is not taken) to a setter.
template<void (nPhysicItem::*Set)(float)>
void SetReal(nPhysicItem& item, nMetaFile*, nMetaTag* tag)
{
    float value;
    if (tag->GetValue().GetFloat(&value)) (item.*Set)(value);
}

}

nPhysicItem::nPhysicItem(nPhysicWorld* world)
    : m_flags(0), m_mode(PhysicItemNone), m_owner(0), m_world(world)
{
}

nPhysicItem::~nPhysicItem()
{
    for (nList<nPhysicShape*>::Node* n = m_shapes.GetHead(); n; n = n->next) DeleteShape(n->value);
    m_shapes.Clear();
}

void nPhysicItem::DeleteShape(nPhysicShape* shape)
{
    nPhysicWorldCallback* callback = m_world ? m_world->GetCallback() : 0;
    if (callback) callback->OnShapeDeleted(shape);
    delete shape;
}

void nPhysicItem::SetFlag(int32_t bits, bool on)
{
    if (on) m_flags |= (uint32_t)bits;
    else m_flags &= ~(uint32_t)bits;
}

nPhysicShape* nPhysicItem::AddShape()
{
    nPhysicShape* shape = new (std::nothrow) nPhysicShape();
    if (!shape) return 0;
    if (!m_shapes.InsertAfter(shape, 0)) {
        delete shape;
        return 0;
    }
    return shape;
}

void nPhysicItem::RemoveShape(nPhysicShape* shape)
{
    if (!shape) return;
    // A shape the body is built from holds part of it (a child shape or a reference on a
    // shared one): the body goes first, so that nothing of it is left without an owner.
    if (shape->simulationShape) Destroy();
    m_shapes.Remove(shape);
    DeleteShape(shape);
}

float nPhysicItem::GetTotalMass() const
{
    float total = 0.0f;
    for (nList<nPhysicShape*>::Node* n = m_shapes.GetHead(); n; n = n->next) total += n->value->mass;
    return total;
}

bool nPhysicItem::Deserialize(nOrvex* engine, nMetaFile* document, nMetaTag* tag)
{
    if (!tag) return false;
    if (!nMLCheckRoot(tag, {"PhysicItem", "TauItem", "GColItem"}, "physic item")) return false;
    while (m_shapes.GetHead()) RemoveShape(m_shapes.GetHead()->value);
    SetSelfMask(1);
    SetCollisionMask(1);

    typedef nPhysicItem P;
    static const nMLTagRule<P> kTags[] = {
        {"SelfMask", [](P& p, nMetaFile*, nMetaTag* t) { int32_t bits; if (ReadTagInt(t, bits)) p.SetSelfMask(bits); }},
        {"Mask", [](P& p, nMetaFile*, nMetaTag* t) { int32_t bits; if (ReadTagInt(t, bits)) p.SetCollisionMask(bits); }},
        {"Mode", [](P& p, nMetaFile*, nMetaTag* t) {
             if (const char* text = ReadTagString(t))
                 for (const ModeName& m : kModeNames)
                     if (strcmp(m.name, text) == 0) p.SetMode(m.mode);
         }},
        {"Shapes", [](P& p, nMetaFile*, nMetaTag* t) {
             nMetaTagIterator shapes;
             while (nMetaTag* shapeTag = t->NextChild(shapes)) {
                 nPhysicShape* shape = p.AddShape();
                 if (shape && !shape->Deserialize(shapeTag)) p.RemoveShape(shape);
             }
         }},
        {"LinearDamping_v2", SetReal<&P::SetLinearDamping>},
        {"LinearDamping", SetReal<&P::SetLinearDamping>},
        {"AngularDamping_v2", SetReal<&P::SetAngularDamping>},
        {"AngularDamping", SetReal<&P::SetAngularDamping>},
        {"Flag", 0},
        {"Active", 0},
    };
    nMLReadChildren(*this, document, tag, kTags, "nPhysicItem");
    return true;
}

nMetaTag* nPhysicItem::Serialize(nMetaFile* document)
{
    nMetaTag* root = new (std::nothrow) nMetaTag("PhysicItem");
    if (!root) {
        *g_log << "[!] Could not create collision item root tag to serialize.\n";
        return 0;
    }
    AppendTag(root, new (std::nothrow) nMetaTag("SelfMask", GetSelfMask()));
    AppendTag(root, new (std::nothrow) nMetaTag("Mask", GetCollisionMask()));
    AppendTag(root, new (std::nothrow) nMetaTag("LinearDamping_v2", GetLinearDamping()));
    AppendTag(root, new (std::nothrow) nMetaTag("AngularDamping_v2", GetAngularDamping()));
    int32_t mode = GetMode();
    for (const ModeName& m : kModeNames)
        if (m.mode == mode) AppendTag(root, new (std::nothrow) nMetaTag("Mode", m.name));
    if (m_shapes.GetCount() > 0) {
        nMetaTag* shapes = new (std::nothrow) nMetaTag("Shapes");
        if (shapes) {
            for (nList<nPhysicShape*>::Node* n = m_shapes.GetHead(); n; n = n->next)
                AppendTag(shapes, n->value->Serialize());
            AppendTag(root, shapes);
        }
    }
    return root;
}
