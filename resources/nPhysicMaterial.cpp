#include "resources/nPhysicMaterial.h"

#include <new>

#include "core/nLog.h"
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

// A float child, or an integer one converted; false for any other value.
bool ReadNumber(const nMetaTag* tag, float* out)
{
    int32_t integer = 0;
    if (tag->GetValue().GetFloat(out))
        return true;
    if (!tag->GetValue().GetInt(&integer))
        return false;
    *out = (float)integer;
    return true;
}

bool AddFloat(nMetaTag* root, const char* name, float value)
{
    nMetaTag* child = new (std::nothrow) nMetaTag(name, value);
    if (child && root->AddChild(child))
        return true;
    delete child;
    return false;
}

}

bool nPhysicMaterial::Deserialize(nMetaFile* document, nMetaTag* tag)
{
    if (!tag || !(tag->GetName() == "PhysicMaterial")) {
        *g_log << "[!] " << "Could not parse physic material. Root tag id is incorrect ("
               << (tag ? tag->GetName().GetCStr() : "") << ").\n";
        return false;
    }
    nMetaTagIterator it;
    while (nMetaTag* child = tag->NextChild(it)) {
        if (child->GetName() == "Torsion") {
            torsion = child->GetBoolValue() ? 1.0f : 0.0f;
            continue;
        }
        for (const PhysicField& f : kFields) {
            if (!(child->GetName() == f.name))
                continue;
            float value = 0.0f;
            if (ReadNumber(child, &value))
                this->*f.field = value;
            else
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
