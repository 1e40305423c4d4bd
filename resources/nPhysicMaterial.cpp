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

struct PhysicField
{
    const char*            name;
    float nPhysicMaterial::* field;
};

const PhysicField kFields[] = {
    {"Mass", &nPhysicMaterial::mass},
    {"StaticFriction", &nPhysicMaterial::staticFriction},
    {"DynamicFriction", &nPhysicMaterial::dynamicFriction},
    {"Restitution", &nPhysicMaterial::restitution},
    {"Damping", &nPhysicMaterial::damping},
    {"Stiffness", &nPhysicMaterial::stiffness},
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
                *g_log << "[*] " << "Illegal value type of tag '" << f.name << "' in physic material.\n";
            break;
        }
    }
    return true;
}

nMetaTag* nPhysicMaterial::Serialize(nMetaFile* document) const
{
    nMetaTag* root = new (std::nothrow) nMetaTag("PhysicMaterial");
    if (!root) {
        *g_log << "[!] " << "Could not serialize physic material. Failed to create root tag.\n";
        return 0;
    }
    if (mass != 1.0f) AddFloat(root, "Mass", mass);
    AddFloat(root, "StaticFriction", staticFriction);
    AddFloat(root, "DynamicFriction", dynamicFriction);
    AddFloat(root, "Restitution", restitution);
    if (damping != 0.99f) AddFloat(root, "Damping", damping);
    if (stiffness != 1.0f) AddFloat(root, "Stiffness", stiffness);
    if (torsion != 1.0f) AddFloat(root, "Torsion", torsion);
    return root;
}
