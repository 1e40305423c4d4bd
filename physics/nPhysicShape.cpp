#include "physics/nPhysicShape.h"

#include <cstring>
#include <new>

#include "core/nLog.h"
#include "core/nMetaTag.h"

namespace {

struct ShapeTypeName
{
    const char* name;
    int32_t     type;
};

// Reading accepts the older names too; the first name of each type is the one written.
const ShapeTypeName kTypeNames[] = {
    {"Box", PhysicShapeBox},           {"Cuboid", PhysicShapeBox},
    {"Sphere", PhysicShapeSphere},     {"Convex", PhysicShapeConvex},
    {"Cylinder", PhysicShapeCylinder}, {"Cone", PhysicShapeCone},
    {"Capsule", PhysicShapeCapsule},   {"Mesh", PhysicShapeMesh},
    {"PolyMesh", PhysicShapeMesh},     {"Heightmap", PhysicShapeHeightfield},
};

int32_t TypeFromName(const char* text)
{
    if (!text) return PhysicShapeNone;
    for (const ShapeTypeName& t : kTypeNames)
        if (strcmp(t.name, text) == 0) return t.type;
    return PhysicShapeNone;
}

const char* NameFromType(int32_t type)
{
    for (const ShapeTypeName& t : kTypeNames)
        if (t.type == type) return t.name;
    return "None";
}

bool Named(const nMetaTag* tag, const char* name)
{
    return tag->GetName() == name;
}

// Appends a child or frees it; a child that cannot be made or added is simply missing.
void Append(nMetaTag* parent, nMetaTag* child)
{
    if (child && !parent->AddChild(child)) delete child;
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
      simulationShape(0)
{
}

nMatrix4 nPhysicShape::GetMatrix() const
{
    return nMatrix4::Translation(position)
        * nMatrix4::FromMatrix3(nMatrix3::FromEulerVector(rotation, RotationOrderYXZ))
        * nMatrix4::Scaling(scale);
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
    if (!Named(tag, "PhysicShape") && !Named(tag, "GColShape")) {
        *g_log << "[!] " << "Could not parse physic shape. Root tag id is incorrect ("
               << tag->GetName().GetCStr() << ").\n";
        return false;
    }
    mass = 1.0f;
    type = PhysicShapeNone;

    nMetaTagIterator it;
    while (nMetaTag* child = tag->NextChild(it)) {
        const nVariant& value = child->GetValue();
        const char* text = 0;
        if (Named(child, "Type")) {
            value.GetString(&text);
            type = TypeFromName(text);
        } else if (Named(child, "Position")) {
            position.FromMetaTag(child);
        } else if (Named(child, "Rotation")) {
            rotation.FromMetaTag(child);
        } else if (Named(child, "Scale")) {
            scale.FromMetaTag(child);
        } else if (Named(child, "Dimensions")) {
            size.FromMetaTag(child);
        } else if (Named(child, "Orientation")) {
            nMatrix3 m;
            if (m.FromMetaTag(child)) rotation = m.ToEuler(RotationOrderYXZ);
        } else if (Named(child, "Radius")) {
            value.GetFloat(&size.x);
        } else if (Named(child, "Mesh") || Named(child, "Polymesh")) {
            if (value.GetString(&text)) geometry.Set(text);
        } else if (Named(child, "Mass")) {
            value.GetFloat(&mass);
        } else if (Named(child, "StaticFriction")) {
            value.GetFloat(&staticFriction);
        } else if (Named(child, "DynamicFriction")) {
            value.GetFloat(&dynamicFriction);
        } else if (Named(child, "Restitution")) {
            value.GetFloat(&restitution);
        } else if (Named(child, "Active")) {
        } else {
            *g_log << "[*] " << "Unknown tag '" << child->GetName().GetCStr() << "' in <PhysicShape>.\n";
        }
    }
    return true;
}

nMetaTag* nPhysicShape::Serialize() const
{
    nMetaTag* root = new (std::nothrow) nMetaTag("GColShape");
    if (!root) {
        *g_log << "[!] " << "Could not create collision shape root tag to serialize.\n";
        return 0;
    }
    if (type != PhysicShapeNone) Append(root, new (std::nothrow) nMetaTag("Type", NameFromType(type)));
    Append(root, position.ToMetaTag("Position", false));
    Append(root, rotation.ToMetaTag("Rotation", false));
    Append(root, scale.ToMetaTag("Scale", false));
    Append(root, size.ToMetaTag("Dimensions", false));
    if ((type == PhysicShapeConvex || type == PhysicShapeMesh) && !geometry.IsEmpty())
        Append(root, new (std::nothrow) nMetaTag("Mesh", geometry.GetCStr()));
    if (mass != 1.0f) Append(root, new (std::nothrow) nMetaTag("Mass", mass));
    Append(root, new (std::nothrow) nMetaTag("StaticFriction", staticFriction));
    Append(root, new (std::nothrow) nMetaTag("DynamicFriction", dynamicFriction));
    Append(root, new (std::nothrow) nMetaTag("Restitution", restitution));
    return root;
}
