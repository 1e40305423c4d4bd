#pragma once
// A synthetic hit for the CPU shading tests: one quad (a fan of two triangles) with normals, two
// UV sets, colours and tangent frames per corner, held by an item turned 90 degrees about Z and
// moved to (10, 0, 0), hit inside its second triangle. Also a small texture whose texels say
// where they are.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "hub/nOrvex.h"
#include "render/raytrace/nRaytracerShading.h"
#include "resources/nGeometry.h"
#include "resources/nMaterial.h"
#include "resources/nPictureFormat.h"
#include "resources/nRenderMap.h"
#include "resources/nShaderBlock.h"
#include "resources/nTexture.h"
#include "scene/nItem.h"

inline void ExpectVectorNear(const nVector& got, const nVector& want, float tolerance = 1e-5f)
{
    EXPECT_NEAR(got.x, want.x, tolerance);
    EXPECT_NEAR(got.y, want.y, tolerance);
    EXPECT_NEAR(got.z, want.z, tolerance);
    EXPECT_NEAR(got.w, want.w, tolerance);
}

// A texture of side x side texels, texel (x, y) holding red x * 64, green y * 64, blue 255 and
// alpha 128 (RGBA8).
inline nTexture* MakeCoordinateTexture(nOrvex* engine, uint32_t side = 4)
{
    nTexture* texture = new nTexture(engine, 0, 0);
    if (!texture->Allocate(side, side, PixelFormatRGBA8))
        return texture;
    uint8_t* p = texture->GetPixels();
    for (uint32_t y = 0; y < side; ++y)
        for (uint32_t x = 0; x < side; ++x) {
            uint8_t* t = p + 4 * (y * side + x);
            t[0] = (uint8_t)(x * 64), t[1] = (uint8_t)(y * 64), t[2] = 255, t[3] = 128;
        }
    return texture;
}

class nShadingTest : public ::testing::Test
{
public:  // the builders of table rows reach the fixture through a reference
    void SetUp() override
    {
        geometry = new nGeometry(&engine);
        heldGeometry = geometry;
        ASSERT_TRUE(geometry->AllocateVertices(4));
        const nVector corners[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
        for (int i = 0; i < 4; ++i) geometry->vertices[i] = corners[i];
        ASSERT_TRUE(geometry->AllocatePolygons(1));
        geometry->polygons[0].count = 4;
        ASSERT_TRUE(geometry->AllocateBindings());
        for (int i = 0; i < 4; ++i) geometry->polygons[0].bindings[i] = i;
        geometry->vertexNormals = nGeometry::AllocateArray<nVector>(4);
        geometry->colors = nGeometry::AllocateArray<nGeometryColor>(4);
        geometry->vertexTangents = nGeometry::AllocateArray<nTangentFrame>(4);
        geometry->polygonNormals = nGeometry::AllocateArray<nVector>(1);
        geometry->uvSets[0] = nGeometry::AllocateArray<nVector2>(4);
        geometry->uvSets[1] = nGeometry::AllocateArray<nVector2>(4);
        geometry->uvSetCount = 2;
        // Corner 1 is not part of the triangle hit: its values must never show.
        const nVector normals[4] = {{0, 0, 1}, {9, 9, 9}, {0, 1, 1}, {1, 0, 1}};
        const nGeometryColor colors[4] = {{1, 0, 0, 1}, {9, 9, 9, 9}, {0, 1, 0, 0.5f}, {0, 0, 1, 0}};
        const nVector2 uv0[4] = {{0, 0}, {9, 9}, {1, 1}, {0, 1}};
        for (int i = 0; i < 4; ++i) {
            geometry->vertexNormals[i] = normals[i];
            geometry->colors[i] = colors[i];
            geometry->uvSets[0][i] = uv0[i];
            geometry->uvSets[1][i] = nVector2(0.375f, 0.625f);
            geometry->vertexTangents[i] = nTangentFrame{nVector(1, 0, 0), nVector(0, 1, 0)};
        }
        geometry->polygonNormals[0] = nVector(0, 0, 2);

        item.reset(new nItem(&engine));
        item->SetRotation(nVector(0, 0, 1.5707963f));
        item->SetPosition(nVector(10, 0, 0));

        material = new nMaterial(&engine);
        heldMaterial = material;

        // Second triangle of the fan: corners 0, 2 and 3, weighted 0.2, 0.3 and 0.5; in object
        // space the point is (0.3, 0.8, 0).
        hit.geometry = geometry;
        hit.polygon = 0;
        hit.offset = 1;
        hit.w0 = 0.2f, hit.w1 = 0.3f, hit.w2 = 0.5f;
        objectPoint = nVector(0.3f, 0.8f, 0.0f);
        hit.point = objectPoint.Transform(item->GetWorldMatrix());
        hit.normal = nVector(0, 0, 1);
        hit.eye = nVector(0, 0, -5);
        hit.view = nVector(0, 0, 1);
        hit.item = item.get();
        hit.material = material;
        item->GetInverseWorldMatrix();  // brought up to date, as the raytracer does before tracing
    }

    // A block kept alive until the end of the test (the blocks of a map belong to the map).
    nShaderBlock* Block(int32_t kind)
    {
        blocks.emplace_back(new nShaderBlock(kind));
        return blocks.back().get();
    }

    nShaderBlock* Constant(uint32_t type, float x, float y = 0, float z = 0, float w = 0)
    {
        nShaderBlock* b = Block(ShaderBlockConstant);
        b->constantType = type;
        b->values[0] = x, b->values[1] = y, b->values[2] = z, b->values[3] = w;
        return b;
    }

    nShaderBlock* Op(int32_t kind, std::vector<nShaderBlock*> inputs)
    {
        nShaderBlock* b = Block(kind);
        for (size_t i = 0; i < inputs.size(); ++i)
            EXPECT_TRUE(b->SetInput((unsigned)i, inputs[i])) << "kind " << kind << " input " << i;
        return b;
    }

    nOrvex engine;
    nGeometry* geometry = 0;
    nSharedPtr<nGeometry> heldGeometry;
    std::unique_ptr<nItem> item;
    nMaterial* material = 0;
    nSharedPtr<nMaterial> heldMaterial;
    nRaytraceHit hit;
    nVector objectPoint;
    std::vector<std::unique_ptr<nShaderBlock>> blocks;
};
