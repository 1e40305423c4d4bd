#include "physics/nPhysicItem.h"

#include <cstring>
#include <new>

#include "core/nLog.h"
#include "core/nMetaTag.h"
#include "physics/nPhysicShape.h"

namespace {

struct ModeName
{
    const char* name;
    int32_t     mode;
};

const ModeName kModeNames[] = {
    {"None", PhysicItemNone}, {"Static", PhysicItemStatic},
    {"Dynamic", PhysicItemDynamic}, {"Kinematic", PhysicItemKinematic},
};

bool Named(const nMetaTag* tag, const char* name)
{
    return tag->GetName() == name;
}

void Append(nMetaTag* parent, nMetaTag* child)
{
    if (child && !parent->AddChild(child)) delete child;
}

}

nPhysicItem::nPhysicItem(nPhysicWorld* world)
    : m_flags(0), m_mode(PhysicItemNone), m_owner(0), m_world(world)
{
}

nPhysicItem::~nPhysicItem()
{
    for (nList<nPhysicShape*>::Node* n = m_shapes.GetHead(); n; n = n->next) delete n->value;
    m_shapes.Clear();
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
    delete shape;
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
    if (!Named(tag, "PhysicItem") && !Named(tag, "TauItem") && !Named(tag, "GColItem")) {
        *g_log << "[!] " << "Could not parse physic item. Root tag id is incorrect ("
               << tag->GetName().GetCStr() << ").\n";
        return false;
    }
    while (m_shapes.GetHead()) RemoveShape(m_shapes.GetHead()->value);
    SetSelfMask(1);
    SetCollisionMask(1);

    nMetaTagIterator it;
    while (nMetaTag* child = tag->NextChild(it)) {
        const nVariant& value = child->GetValue();
        int32_t number = 0;
        float real = 0.0f;
        const char* text = 0;
        if (Named(child, "SelfMask")) {
            if (value.GetInt(&number)) SetSelfMask(number);
        } else if (Named(child, "Mask")) {
            if (value.GetInt(&number)) SetCollisionMask(number);
        } else if (Named(child, "Mode")) {
            if (value.GetString(&text))
                for (const ModeName& m : kModeNames)
                    if (strcmp(m.name, text) == 0) SetMode(m.mode);
        } else if (Named(child, "Shapes")) {
            nMetaTagIterator shapes;
            while (nMetaTag* shapeTag = child->NextChild(shapes)) {
                nPhysicShape* shape = AddShape();
                if (shape && !shape->Deserialize(shapeTag)) RemoveShape(shape);
            }
        } else if (Named(child, "LinearDamping_v2") || Named(child, "LinearDamping")) {
            if (value.GetFloat(&real)) SetLinearDamping(real);
        } else if (Named(child, "AngularDamping_v2") || Named(child, "AngularDamping")) {
            if (value.GetFloat(&real)) SetAngularDamping(real);
        } else if (Named(child, "Flag") || Named(child, "Active")) {
        } else {
            *g_log << "[*] " << "Unknown tag '" << child->GetName().GetCStr() << "' in <nPhysicItem>.\n";
        }
    }
    return true;
}

nMetaTag* nPhysicItem::Serialize(nMetaFile* document)
{
    nMetaTag* root = new (std::nothrow) nMetaTag("PhysicItem");
    if (!root) {
        *g_log << "[!] " << "Could not create collision item root tag to serialize.\n";
        return 0;
    }
    Append(root, new (std::nothrow) nMetaTag("SelfMask", GetSelfMask()));
    Append(root, new (std::nothrow) nMetaTag("Mask", GetCollisionMask()));
    Append(root, new (std::nothrow) nMetaTag("LinearDamping_v2", GetLinearDamping()));
    Append(root, new (std::nothrow) nMetaTag("AngularDamping_v2", GetAngularDamping()));
    int32_t mode = GetMode();
    for (const ModeName& m : kModeNames)
        if (m.mode == mode) Append(root, new (std::nothrow) nMetaTag("Mode", m.name));
    if (m_shapes.GetCount() > 0) {
        nMetaTag* shapes = new (std::nothrow) nMetaTag("Shapes");
        if (shapes) {
            for (nList<nPhysicShape*>::Node* n = m_shapes.GetHead(); n; n = n->next)
                Append(shapes, n->value->Serialize());
            Append(root, shapes);
        }
    }
    return root;
}
