#include "resources/nPhysicMaterial.h"

#include <new>

#include "core/nLog.h"
#include "core/nMLReader.h"
#include "core/nMetaTag.h"

nPhysicMaterial::nPhysicMaterial()
    : mass(1.0f), dynamicFriction(0.5f), staticFriction(0.75f), restitution(0.1f), damping(0.99f),
      stiffness(1.0f), torsion(1.0f)
{
}

namespace {

// The float fields, read by name and written in this order: always, or when they differ from
// the value written as missing.
struct PhysicField
{
    const char* name;
    float nPhysicMaterial::*field;
    bool always;
    float unwritten;
};

const PhysicField kFields[] = {
    {"Mass", &nPhysicMaterial::mass, false, 1.0f},
    {"StaticFriction", &nPhysicMaterial::staticFriction, true, 0.0f},
    {"DynamicFriction", &nPhysicMaterial::dynamicFriction, true, 0.0f},
    {"Restitution", &nPhysicMaterial::restitution, true, 0.0f},
    {"Damping", &nPhysicMaterial::damping, false, 0.99f},
    {"Stiffness", &nPhysicMaterial::stiffness, false, 1.0f},
};

void AddFloat(nMetaTag* root, const char* name, float value)
{
    AppendTag(root, new (std::nothrow) nMetaTag(name, value));
}

}

bool nPhysicMaterial::Deserialize(nMetaFile* document, nMetaTag* tag)
{
    if (!nMLCheckRoot(tag, "PhysicMaterial", "physic material")) return false;
    nMetaTagIterator it;
    while (nMetaTag* child = tag->NextChild(it)) {
        if (IsTagNamed(child, "Torsion")) {
            torsion = child->GetBoolValue() ? 1.0f : 0.0f;
            continue;
        }
        for (const PhysicField& f : kFields) {
            if (!IsTagNamed(child, f.name))
                continue;
            if (!ReadTagFloat(child, this->*f.field))
                *g_log << "[*] Illegal value type of tag '" << f.name << "' in physic material.\n";
            break;
        }
    }
    return true;
}

nMetaTag* nPhysicMaterial::Serialize(nMetaFile* document) const
{
    nMetaTag* root = new (std::nothrow) nMetaTag("PhysicMaterial");
    if (!root) {
        *g_log << "[!] Could not serialize physic material. Failed to create root tag.\n";
        return 0;
    }
    for (const PhysicField& f : kFields)
        if (f.always || this->*f.field != f.unwritten) AddFloat(root, f.name, this->*f.field);
    if (torsion != 1.0f) AddFloat(root, "Torsion", torsion);
    return root;
}
