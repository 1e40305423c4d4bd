#include "physics/nPhysicShape.h"

#include <cstring>
#include <new>

#include "core/nLog.h"
#include "core/nMLReader.h"
#include "core/nMetaTag.h"

namespace {

struct ShapeTypeName
{
    const char* name;
    int32_t type;
};

// Reading accepts the older names too; the first name of each type is the one written.
const ShapeTypeName kTypeNames[] = {
    {"Box", PhysicShapeBox},
    {"Cuboid", PhysicShapeBox},
    {"Sphere", PhysicShapeSphere},
    {"Convex", PhysicShapeConvex},
    {"Cylinder", PhysicShapeCylinder},
    {"Cone", PhysicShapeCone},
    {"Capsule", PhysicShapeCapsule},
    {"Mesh", PhysicShapeMesh},
    {"PolyMesh", PhysicShapeMesh},
    {"Heightmap", PhysicShapeHeightfield},
};

int32_t TypeFromName(const char* text)
{
    if (!text) return PhysicShapeNone;
    for (const ShapeTypeName& t : kTypeNames)
        if (strcmp(t.name, text) == 0) return t.type;
    return PhysicShapeNone;
}

// A row reading a float field from a float value only (an integer is not taken).
template<float nPhysicShape::*Field>
void ReadReal(nPhysicShape& shape, nMetaFile*, nMetaTag* tag)
{
    tag->GetValue().GetFloat(&(shape.*Field));
}

const char* NameFromType(int32_t type)
{
    for (const ShapeTypeName& t : kTypeNames)
        if (t.type == type) return t.name;
    return "None";
}

}

nPhysicShape::nPhysicShape()
    : type(PhysicShapeNone),
      mass(0.0f),
      position(0.0f, 0.0f, 0.0f, 1.0f),
      rotation(0.0f, 0.0f, 0.0f, 1.0f),
      scale(1.0f, 1.0f, 1.0f, 1.0f),
      restitution(0.5f),
      dynamicFriction(0.5f),
      staticFriction(0.5f),
      size(1.0f, 1.0f, 1.0f, 1.0f),
      heightfieldWidth(0),
      heightfieldLength(0),
      heightfieldSamples(0),
      heightfieldScale(1.0f),
      simulationShape(0),
      simulationType(PhysicShapeNone)
{
}

nMatrix4 nPhysicShape::GetMatrix() const
{
    return nMatrix4::Translation(position) * nMatrix4::FromMatrix3(nMatrix3::FromEulerVector(rotation, RotationOrderYXZ)) * nMatrix4::Scaling(scale);
}

void nPhysicShape::SetMatrix(const nMatrix4& m)
{
    m.DecomposeEuler(&position, &scale, &rotation, RotationOrderYXZ);
}

bool nPhysicShape::SetTypeAndGeometry(int32_t shapeType, const char* name)
{
    type = shapeType;
    geometry.Set(name);
    return true;
}

bool nPhysicShape::SetTypeAndSize(int32_t shapeType, const nVector& extents)
{
    type = shapeType;
    size = extents;
    return true;
}

void nPhysicShape::SetHeightfield(const int16_t* samples, int32_t width, int32_t length, float spacing)
{
    type = PhysicShapeHeightfield;
    heightfieldSamples = samples;
    heightfieldWidth = width;
    heightfieldLength = length;
    heightfieldScale = spacing;
}

bool nPhysicShape::Deserialize(nMetaTag* tag)
{
    if (!tag) return false;
    if (!nMLCheckRoot(tag, {"PhysicShape", "GColShape"}, "physic shape")) return false;
    mass = 1.0f;
    type = PhysicShapeNone;

    typedef nPhysicShape S;
    static const nMLTagRule<S> kTags[] = {
        {"Type", [](S& s, nMetaFile*, nMetaTag* t) { s.type = TypeFromName(ReadTagString(t)); }},
        {"Position", nMLField<&S::position>},
        {"Rotation", nMLField<&S::rotation>},
        {"Scale", nMLField<&S::scale>},
        {"Dimensions", nMLField<&S::size>},
        {"Orientation", [](S& s, nMetaFile*, nMetaTag* t) {
             nMatrix3 m;
             if (m.FromMetaTag(t)) s.rotation = m.ToEuler(RotationOrderYXZ);
         }},
        {"Radius", [](S& s, nMetaFile*, nMetaTag* t) { t->GetValue().GetFloat(&s.size.x); }},
        {"Mesh", nMLField<&S::geometry>},
        {"Polymesh", nMLField<&S::geometry>},
        {"Mass", ReadReal<&S::mass>},
        {"StaticFriction", ReadReal<&S::staticFriction>},
        {"DynamicFriction", ReadReal<&S::dynamicFriction>},
        {"Restitution", ReadReal<&S::restitution>},
        {"Active", 0},
    };
    nMLReadChildren(*this, 0, tag, kTags, "PhysicShape");
    return true;
}

nMetaTag* nPhysicShape::Serialize() const
{
    nMetaTag* root = new (std::nothrow) nMetaTag("GColShape");
    if (!root) {
        *g_log << "[!] Could not create collision shape root tag to serialize.\n";
        return 0;
    }
    if (type != PhysicShapeNone) AppendTag(root, new (std::nothrow) nMetaTag("Type", NameFromType(type)));
    AppendTag(root, position.ToMetaTag("Position", false));
    AppendTag(root, rotation.ToMetaTag("Rotation", false));
    AppendTag(root, scale.ToMetaTag("Scale", false));
    AppendTag(root, size.ToMetaTag("Dimensions", false));
    if ((type == PhysicShapeConvex || type == PhysicShapeMesh) && !geometry.IsEmpty())
        AppendTag(root, new (std::nothrow) nMetaTag("Mesh", geometry.GetCStr()));
    if (mass != 1.0f) AppendTag(root, new (std::nothrow) nMetaTag("Mass", mass));
    AppendTag(root, new (std::nothrow) nMetaTag("StaticFriction", staticFriction));
    AppendTag(root, new (std::nothrow) nMetaTag("DynamicFriction", dynamicFriction));
    AppendTag(root, new (std::nothrow) nMetaTag("Restitution", restitution));
    return root;
}
