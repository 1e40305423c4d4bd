#ifndef N_RAYTRACETESTKIT_H
#define N_RAYTRACETESTKIT_H

// Small scenes for the raytracer's tests: square geometries of one material, objects placed in
// a kit scene, a camera and lights.

#include <cstdint>

#include <cmath>
#include <string>

#include "core/nMatrix.h"
#include "resources/nPicture.h"
#include "resources/nRenderMap.h"
#include "core/nVector.h"
#include "resources/nGeometry.h"
#include "resources/nMaterial.h"
#include "scene/nCamera.h"
#include "scene/nLight.h"
#include "scene/nObject.h"
#include "scene/nScene.h"
#include "tests/scene/kit/nKitScene.h"

namespace raytracekit {

// A square of side 2 s in the plane z = 0 around the origin, one fan polygon whose face
// normal points along -z, vertex normals -z, one material (returned through material).
inline nGeometry* MakeSquare(nOrvex* engine, float s, nMaterial** material = nullptr, const char* name = "square")
{
    nGeometry* g = new nGeometry(engine);
    g->SetName(name);
    g->AllocateVertices(4);
    g->vertices[0] = nVector(-s, -s, 0.0f);
    g->vertices[1] = nVector(-s, s, 0.0f);
    g->vertices[2] = nVector(s, s, 0.0f);
    g->vertices[3] = nVector(s, -s, 0.0f);
    g->AllocatePolygons(1);
    g->polygons[0].count = 4;
    g->polygons[0].material = 0;
    g->AllocateBindings();
    for (int32_t k = 0; k < 4; ++k) g->polygons[0].bindings[k] = k;
    g->AllocateMaterials(1, true);
    if (material) *material = g->GetMaterial(0);
    return g;
}

// The material's graph made from its colours and parameters, as loaded materials have it.
inline nMaterial* WithDefaultMap(nMaterial* material)
{
    material->SetRenderMap(material->BuildDefaultRenderMap());
    return material;
}

// One pixel of an RGBA8 picture.
struct Pixel
{
    int r, g, b, a;
};
inline Pixel PixelAt(const nPicture& picture, int x, int y)
{
    const uint8_t* p = picture.GetPixels() + 4 * ((size_t)y * picture.GetWidth() + (size_t)x);
    return Pixel{p[0], p[1], p[2], p[3]};
}
inline bool Near(const Pixel& p, const Pixel& q, int tolerance = 1)
{
    return std::abs(p.r - q.r) <= tolerance && std::abs(p.g - q.g) <= tolerance && std::abs(p.b - q.b) <= tolerance &&
           std::abs(p.a - q.a) <= tolerance;
}
inline std::string Show(const Pixel& p)
{
    return "(" + std::to_string(p.r) + ", " + std::to_string(p.g) + ", " + std::to_string(p.b) + ", " + std::to_string(p.a) + ")";
}

// A kit scene with helpers that place things in it; the scene owns what they make.
struct Stage
{
    nKitScene k;

    nMObject* AddObject(const char* name, nGeometry* geometry, const nVector& position)
    {
        nMObject* object = static_cast<nMObject*>(k.scene->CreateObject(name, geometry));
        object->GetObject().SetPosition(position);
        return object;
    }
    // A camera at position looking along +z (zoom 1: a 90 degree view), made current.
    nCamera& AddCamera(const nVector& position, float aspect = 1.0f)
    {
        nMCamera* camera = static_cast<nMCamera*>(k.scene->CreateCamera("camera"));
        nCamera& c = camera->GetCamera();
        c.SetPosition(position);
        c.SetFov(1.5707963f);
        c.SetAspectRatio(aspect);
        k.scene->SetCurrentCamera(&c);
        return c;
    }
    nLight& AddPointLight(const char* name, const nVector& position)
    {
        nMLight* light = static_cast<nMLight*>(k.scene->CreateLight(name, LightTypePoint, 1.0f));
        nLight& l = light->GetLight();
        l.SetPosition(position);
        return l;
    }
};

}  // namespace raytracekit

#endif
