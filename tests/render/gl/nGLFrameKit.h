#pragma once
// nGLFrameTest: the GL renderer fixture with a camera at the origin looking along +z, a scene
// that answers the renderer's light and ambient requests, and flat quads facing the camera,
// drawn through RenderQueue. Pixel helpers place world points on the 128 x 96 output.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "nGLRendererFixture.h"
#include "render/gl/nGLEntryPoints.h"
#include "resources/nGeometry.h"
#include "resources/nMaterial.h"
#include "resources/nRenderMap.h"
#include "resources/nShaderBlock.h"
#include "scene/nCamera.h"
#include "scene/nLight.h"
#include "scene/nObject.h"

// What the renderer asks a scene for: every light at once (at most 8) and the ambient colour.
struct nFrameScene
{
    std::vector<nLight*> lights;
    float ambient[3] = {0.0f, 0.0f, 0.0f};

    static bool Request(int32_t kind, nPropertyRequest* request)
    {
        nFrameScene* scene = static_cast<nFrameScene*>(request->context);
        if (kind == PropertyRequestVisibleLights) {
            request->count = 0;
            for (nLight* light : scene->lights)
                if (request->count < 8) request->items[request->count++] = light;
            request->cursor = 0;
        }
        for (int c = 0; c < 3; ++c) request->ambient[c] = scene->ambient[c];
        request->ambient[3] = 1.0f;
        request->answered = true;
        return true;
    }
};

// A queued drawable: one geometry record of its owner at a given depth, or a record of another
// kind (emitter, terrain) that the geometry drawer must never see.
class nTestDrawable : public nRenderable
{
public:
    nTestDrawable(nItem* owner, void* payload, float depth, int32_t kind = RenderablePrimitiveGeometry)
        : m_owner(owner), m_payload(payload), m_depth(depth), m_kind(kind) {}
    void Enqueue(nItem* camera, nRenderablePrimitiveList* list, int32_t pass) override
    {
        nRenderablePrimitive* p = new nRenderablePrimitive(m_kind, m_owner, m_depth, m_payload);
        if (!list->InsertAfter(p, 0)) delete p;
    }

private:
    nItem* m_owner;
    void* m_payload;
    float m_depth;
    int32_t m_kind;
};

// A quad corner: position, colour and UV.
struct nQuadCorner
{
    float x, y;
    nGeometryColor colour;
    float u, v;
};

class nGLFrameTest : public nGLRendererTest
{
protected:
    void SetUp() override
    {
        nGLRendererTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        camera.reset(new nCamera(&engine));
        renderer->SetCamera(camera.get());
        renderer->SetViewport(0, 0, kWidth, kHeight);
        renderer->ApplyCamera();
        renderer->SetPropertyRequestCallback(&nFrameScene::Request, &scene);
    }

    void TearDown() override
    {
        drawables.clear();
        objects.clear();
        for (auto& g : geometries) renderer->FreeGeometry(g.Get());
        geometries.clear();
        for (nMaterial* m : materials) renderer->FreeMaterial(m);
        for (nLight* l : scene.lights) renderer->FreeLight(l);
        ownedLights.clear();
        materialRefs.clear();
        renderer->SetCamera(0);
        camera.reset();
        nGLRendererTest::TearDown();
    }

    // A material whose graph reads the vertex normal and takes its diffuse colour from root.
    nMaterial* MakeMaterial(nShaderBlock* diffuse, uint32_t renderFlags = 0)
    {
        nMaterial* material = new nMaterial(&engine);
        materialRefs.push_back(nSharedPtr<nMaterial>(material));
        material->renderFlags = renderFlags;
        nRenderMap* map = new nRenderMap;
        map->SetRoot(RenderMapNormal, new nShaderBlock(ShaderBlockNormal));
        map->SetRoot(RenderMapDiffuse, diffuse);
        material->SetRenderMap(map);
        EXPECT_TRUE(renderer->SetupMaterial(material));
        materials.push_back(material);
        return material;
    }

    nMaterial* ConstantMaterial(float r, float g, float b, uint32_t renderFlags = 0)
    {
        nShaderBlock* constant = new nShaderBlock(ShaderBlockConstant);
        constant->constantType = ShaderValueVec4;
        constant->values[0] = r, constant->values[1] = g, constant->values[2] = b, constant->values[3] = 1.0f;
        return MakeMaterial(constant, renderFlags);
    }

    // Quads facing the camera at depth z, corners listed clockwise on screen; one material.
    // weights (optional): per corner, the bone (0 or 1) that carries it fully.
    nGeometry* MakeQuads(const std::vector<std::vector<nQuadCorner>>& quads, float z, nMaterial* material,
                         const std::vector<int>* bones = 0, const nMatrix4* place = 0)
    {
        nGeometry* g = new nGeometry(&engine);
        geometries.push_back(nSharedPtr<nGeometry>(g));
        const uint32_t corners = 4 * (uint32_t)quads.size();
        EXPECT_TRUE(g->AllocateVertices(corners));
        EXPECT_TRUE(g->AllocatePolygons((uint32_t)quads.size()));
        for (size_t q = 0; q < quads.size(); ++q) {
            for (int k = 0; k < 4; ++k) {
                nVector v(quads[q][k].x, quads[q][k].y, z, 1.0f);
                g->vertices[4 * q + k] = place ? v.Transform(*place) : v;
            }
            g->polygons[q].count = 4;
            g->polygons[q].material = 0;
        }
        EXPECT_TRUE(g->AllocateBindings());
        g->colors = nGeometry::AllocateArray<nGeometryColor>(g->bindingCount);
        g->vertexNormals = nGeometry::AllocateArray<nVector>(g->bindingCount);
        g->uvSets[0] = nGeometry::AllocateArray<nVector2>(g->bindingCount);
        g->uvSetCount = 1;
        for (size_t q = 0; q < quads.size(); ++q)
            for (int k = 0; k < 4; ++k) {
                const size_t b = 4 * q + k;
                g->polygons[q].bindings[k] = (int32_t)b;
                g->colors[b] = quads[q][k].colour;
                const nVector n(0.0f, 0.0f, -1.0f, 0.0f);
                g->vertexNormals[b] = place ? n.Transform(*place) : n;
                g->uvSets[0][b] = nVector2(quads[q][k].u, quads[q][k].v);
            }
        if (bones) {
            g->AllocateSkin(2);
            g->skinWeights = nGeometry::AllocateArray<nSkinWeight>(corners);
            for (uint32_t v = 0; v < corners; ++v)
                g->skinWeights[v] = nSkinWeight{{1.0f, 0.0f, 0.0f, 0.0f}, {(uint16_t)(*bones)[v], 0, 0, 0}};
        }
        EXPECT_TRUE(g->AllocateMaterials(1, false));
        g->materials[0] = material;
        renderer->SetCleanResourceOnSetup(false);
        EXPECT_TRUE(renderer->SetupGeometry(g));
        return g;
    }

    static std::vector<nQuadCorner> Rect(float x0, float y0, float x1, float y1, nGeometryColor c = {1, 1, 1, 1})
    {
        return {{x0, y0, c, 0, 0}, {x0, y1, c, 0, 1}, {x1, y1, c, 1, 1}, {x1, y0, c, 1, 0}};
    }

    // An object showing the geometry, queued for every frame.
    nObject* Show(nGeometry* g, float depth)
    {
        objects.emplace_back(new nObject(&engine));
        nObject* object = objects.back().get();
        object->SetGeometry(g, g->boneCount > 0);
        drawables.emplace_back(new nTestDrawable(object, g, depth));
        return object;
    }

    nLight* AddLight(int32_t type, float x, float y, float z)
    {
        ownedLights.emplace_back(new nLight(&engine));
        nLight* light = ownedLights.back().get();
        light->SetType(type);
        light->SetPosition(nVector(x, y, z, 1.0f));
        scene.lights.push_back(light);
        return light;
    }

    // Sets every light up (after its settings are final) and draws one frame.
    void DrawFrame(float r = 0.0f, float g = 0.0f, float b = 0.0f)
    {
        for (nLight* light : scene.lights) {
            light->UpdateWorldMatrix();
            if (!light->GetRenderData()) EXPECT_TRUE(renderer->SetupLight(light));
            else renderer->UpdateLight(light);
        }
        renderer->ApplyCamera();
        renderer->Clear(r, g, b, 1.0f, false);
        renderer->ResetRenderQueue();
        for (auto& d : drawables) renderer->QueueRenderable(d.get());
        renderer->RenderQueue();
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    }

    // The pixel showing the world point (x, y, z); GL's row order (0 at the bottom).
    void PixelOf(float x, float y, float z, int* px, int* py)
    {
        const nMatrix4& p = renderer->GetProjectionMatrix();
        const float ndcX = (p.m[0] * x + p.m[2] * z) / z, ndcY = (p.m[5] * y + p.m[6] * z) / z;
        *px = (int)std::floor((ndcX + 1.0f) * 0.5f * kWidth);
        *py = (int)std::floor((ndcY + 1.0f) * 0.5f * kHeight);
    }

    // The world point on the plane at depth z seen through the centre of pixel (px, py).
    nVector PointAt(int px, int py, float z)
    {
        const nMatrix4& p = renderer->GetProjectionMatrix();
        const float ndcX = (px + 0.5f) / kWidth * 2.0f - 1.0f, ndcY = (py + 0.5f) / kHeight * 2.0f - 1.0f;
        return nVector(ndcX * z / p.m[0], ndcY * z / p.m[5], z, 1.0f);
    }

    nRGBA ProbeWorld(float x, float y, float z)
    {
        int px, py;
        PixelOf(x, y, z, &px, &py);
        return ReadPixel(px, py);
    }

    static int Byte(float v) { return (int)std::lround((v < 0 ? 0 : (v > 1 ? 1 : v)) * 255.0f); }

    std::unique_ptr<nCamera> camera;
    nFrameScene scene;
    std::vector<nSharedPtr<nMaterial>> materialRefs;
    std::vector<nMaterial*> materials;
    std::vector<nSharedPtr<nGeometry>> geometries;
    std::vector<std::unique_ptr<nObject>> objects;
    std::vector<std::unique_ptr<nLight>> ownedLights;
    std::vector<std::unique_ptr<nTestDrawable>> drawables;
};
