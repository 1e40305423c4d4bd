// Geometries set up on the OpenGL renderer: converted into batches, uploaded, drawn from the
// buffers through the state cache and checked at known pixels; refusals leave no device data.

// Buffer queries of OpenGL 1.5, declared by the headers only on request.
#define GL_GLEXT_PROTOTYPES 1

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "nGLRendererFixture.h"
#include "render/gl/nGLEntryPoints.h"
#include "resources/nGeometry.h"
#include "resources/nMaterial.h"
#include "tests/support/nLogCapture.h"

namespace {
typedef nGL3Renderer::GL_GeometryData GeometryData;

class GLGeometry : public nGLRendererTest
{
};

// Quads in pixel coordinates, corners listed clockwise on screen (front faces are culled),
// each quad one colour at all its corners and one material index.
struct Quad
{
    float x0, y0, x1, y1;
    nGeometryColor colour;
    uint16_t material;
};

void BuildQuads(nGeometry& g, nOrvex* engine, const std::vector<Quad>& quads, uint32_t materialCount)
{
    ASSERT_TRUE(g.AllocateVertices(4 * (uint32_t)quads.size()));
    ASSERT_TRUE(g.AllocatePolygons((uint32_t)quads.size()));
    for (size_t i = 0; i < quads.size(); ++i) {
        const Quad& q = quads[i];
        g.vertices[4 * i] = nVector(q.x0, q.y0, 0, 1);
        g.vertices[4 * i + 1] = nVector(q.x0, q.y1, 0, 1);
        g.vertices[4 * i + 2] = nVector(q.x1, q.y1, 0, 1);
        g.vertices[4 * i + 3] = nVector(q.x1, q.y0, 0, 1);
        g.polygons[i].count = 4;
        g.polygons[i].material = q.material;
    }
    ASSERT_TRUE(g.AllocateBindings());
    g.colors = nGeometry::AllocateArray<nGeometryColor>(g.bindingCount);
    for (size_t i = 0; i < quads.size(); ++i)
        for (int k = 0; k < 4; ++k) {
            g.polygons[i].bindings[k] = (int32_t)(4 * i + k);
            g.colors[4 * i + k] = quads[i].colour;
        }
    ASSERT_TRUE(g.AllocateMaterials(materialCount, true));
}

// Draws one batch from its buffers: positions and colours through the renderer's cached
// array pointers (offsets into the bound vertex buffer), 16-bit indices.
void DrawBatch(nGL3Renderer& renderer, const nGL3Renderer::GL_Batch& batch)
{
    const nGLEntryPoints* gl = renderer.GetEntryPoints();
    gl->BindBufferARB(GL_ARRAY_BUFFER_ARB, batch.vertexBuffer);
    glEnableClientState(GL_VERTEX_ARRAY);
    renderer.SetVertexArray(0);
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(4, GL_FLOAT, 0, (const void*)(intptr_t)batch.colourOffset);
    gl->BindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, batch.indexBuffer);
    glDrawElements(GL_TRIANGLES, batch.indexCount, GL_UNSIGNED_SHORT, 0);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    gl->BindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
    gl->BindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
}

TEST_F(GLGeometry, AColouredQuadIsUploadedAndDrawn)
{
    const struct
    {
        const char* label;
        bool clean;
    } cases[] = {{"CPU copy cleaned", true}, {"CPU copy kept", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        renderer->SetCleanResourceOnSetup(c.clean);
        nGeometry quad(&engine);
        quad.SetName("quad");
        BuildQuads(quad, &engine, {{20, 10, 100, 60, {0, 0, 1, 1}, 0}}, 1);
        nLogCapture log;
        ASSERT_TRUE(renderer->SetupGeometry(&quad));
        std::vector<std::string> lines = log.Lines();
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], "Converting geometry quad to triangle list...\n");
        EXPECT_EQ(lines[1].rfind("Done, in ", 0), 0u) << lines[1];

        auto* data = static_cast<GeometryData*>(quad.GetRenderData());
        ASSERT_NE(data, nullptr);
        ASSERT_EQ(data->batchCount, 1);
        const nGL3Renderer::GL_Batch& batch = data->batches[0];
        EXPECT_EQ(batch.indexCount, 6);
        EXPECT_EQ(batch.materialIndex, 0);
        EXPECT_EQ(batch.normalOffset, -1);
        EXPECT_EQ(batch.colourOffset, 4 * 12);
        EXPECT_EQ(batch.uvOffset[0], -1);
        EXPECT_EQ(batch.vertexBytes, 4 * (12 + 16));
        EXPECT_EQ(renderer->GetGeometryBytes(), (uint32_t)batch.vertexBytes);
        // Cleaning keeps what CPU readers need of the mesh (positions, polygons, colours).
        EXPECT_NE(quad.vertices, nullptr);
        EXPECT_NE(quad.polygons, nullptr);
        EXPECT_NE(quad.colors, nullptr);

        // The fan's indices as stored: (0, 1, 2) and (0, 2, 3).
        uint16_t stored[6] = {9, 9, 9, 9, 9, 9};
        renderer->GetEntryPoints()->BindBufferARB(GL_ARRAY_BUFFER_ARB, batch.indexBuffer);
        glGetBufferSubData(GL_ARRAY_BUFFER, 0, sizeof(stored), stored);
        renderer->GetEntryPoints()->BindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
        EXPECT_EQ(std::vector<uint16_t>(stored, stored + 6), (std::vector<uint16_t>{0, 1, 2, 0, 2, 3}));

        renderer->Clear(0.0f, 0.0f, 0.0f, 1.0f, false);
        DrawBatch(*renderer, batch);
        EXPECT_TRUE(PixelNear(ReadPixel(25, 15), nRGBA{0, 0, 255, 255}));  // both triangles
        EXPECT_TRUE(PixelNear(ReadPixel(95, 55), nRGBA{0, 0, 255, 255}));
        EXPECT_TRUE(PixelNear(ReadPixel(60, 35), nRGBA{0, 0, 255, 255}));
        EXPECT_TRUE(PixelNear(ReadPixel(10, 35), nRGBA{0, 0, 0, 255}));  // outside
        EXPECT_TRUE(PixelNear(ReadPixel(110, 35), nRGBA{0, 0, 0, 255}));
        EXPECT_TRUE(PixelNear(ReadPixel(60, 80), nRGBA{0, 0, 0, 255}));
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);

        // Set up already: nothing new.
        EXPECT_TRUE(renderer->SetupGeometry(&quad));
        EXPECT_EQ(quad.GetRenderData(), data);
        GLuint vertexBuffer = batch.vertexBuffer;
        renderer->FreeGeometry(&quad);
        EXPECT_EQ(quad.GetRenderData(), nullptr);
        EXPECT_EQ(renderer->GetGeometryBytes(), 0u);
        EXPECT_FALSE(glIsBuffer(vertexBuffer));
    }
}

TEST_F(GLGeometry, EachMaterialDrawsFromItsOwnBatch)
{
    // A red quad of material 1 on the left, a green one of material 0 on the right.
    renderer->SetCleanResourceOnSetup(true);
    nGeometry pair(&engine);
    pair.SetName("pair");
    BuildQuads(pair, &engine, {{10, 10, 50, 80, {1, 0, 0, 1}, 1}, {70, 10, 120, 80, {0, 1, 0, 1}, 0}}, 2);
    ASSERT_TRUE(renderer->SetupGeometry(&pair));
    auto* data = static_cast<GeometryData*>(pair.GetRenderData());
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(data->batchCount, 2);
    EXPECT_EQ(data->batches[0].materialIndex, 0);
    EXPECT_EQ(data->batches[1].materialIndex, 1);

    const struct
    {
        int batch;
        nRGBA left, right;
    } cases[] = {
        {0, {0, 0, 0, 255}, {0, 255, 0, 255}},
        {1, {255, 0, 0, 255}, {0, 0, 0, 255}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("batch " + std::to_string(c.batch));
        renderer->Clear(0.0f, 0.0f, 0.0f, 1.0f, false);
        DrawBatch(*renderer, data->batches[c.batch]);
        EXPECT_TRUE(PixelNear(ReadPixel(30, 40), c.left));
        EXPECT_TRUE(PixelNear(ReadPixel(95, 40), c.right));
    }
    renderer->FreeGeometry(&pair);
    EXPECT_EQ(renderer->GetGeometryBytes(), 0u);
}

TEST_F(GLGeometry, ASkinnedGeometryCarriesItsBonePalette)
{
    renderer->SetCleanResourceOnSetup(false);
    nGeometry skinned(&engine);
    skinned.SetName("skinned");
    BuildQuads(skinned, &engine, {{10, 10, 50, 50, {1, 1, 1, 1}, 0}}, 1);
    skinned.AllocateSkin(12);
    skinned.skinWeights = nGeometry::AllocateArray<nSkinWeight>(4);
    for (uint16_t v = 0; v < 4; ++v) skinned.skinWeights[v] = nSkinWeight{{0.5f, 0.5f, 0, 0}, {uint16_t(11 - v), 4, 4, 4}};
    ASSERT_TRUE(renderer->SetupGeometry(&skinned));
    auto* data = static_cast<GeometryData*>(skinned.GetRenderData());
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(data->batchCount, 1);
    const nGL3Renderer::GL_Batch& batch = data->batches[0];
    ASSERT_EQ(batch.boneCount, 5);
    EXPECT_EQ(std::vector<uint16_t>(batch.bonePalette, batch.bonePalette + 5), (std::vector<uint16_t>{11, 4, 10, 9, 8}));
    EXPECT_EQ(batch.boneIndexOffset, 4 * 12);
    EXPECT_EQ(batch.boneWeightOffset, 4 * 12 + 4 * 4);

    // Vertex 2 names bone 9 (slot 3) and bone 4 (slot 1), each at half weight, stored x 255.
    std::vector<uint8_t> block(batch.vertexBytes);
    renderer->GetEntryPoints()->BindBufferARB(GL_ARRAY_BUFFER_ARB, batch.vertexBuffer);
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, batch.vertexBytes, block.data());
    renderer->GetEntryPoints()->BindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
    EXPECT_EQ(block[batch.boneIndexOffset + 2 * 4], 3);
    EXPECT_EQ(block[batch.boneIndexOffset + 2 * 4 + 1], 1);
    EXPECT_EQ(reinterpret_cast<const float*>(&block[batch.boneWeightOffset])[2 * 4], 0.5f * 255.0f);
    renderer->FreeGeometry(&skinned);
}

TEST_F(GLGeometry, GeometriesWithNothingToDrawAreRefused)
{
    // Only lines: the conversion finds no triangle.
    nGeometry lines(&engine);
    lines.SetName("lines");
    ASSERT_TRUE(lines.AllocateVertices(2));
    lines.vertices[0] = nVector(0, 0, 0, 1);
    lines.vertices[1] = nVector(1, 1, 0, 1);
    ASSERT_TRUE(lines.AllocatePolygons(1));
    lines.polygons[0].count = 2;
    lines.polygons[0].material = 0;
    ASSERT_TRUE(lines.AllocateBindings());
    lines.polygons[0].bindings[0] = 0;
    lines.polygons[0].bindings[1] = 1;
    ASSERT_TRUE(lines.AllocateMaterials(1, true));
    nLogCapture log;
    EXPECT_FALSE(renderer->SetupGeometry(&lines));
    std::vector<std::string> complaints;
    for (const std::string& line : log.Lines())
        if (line.rfind("[", 0) == 0) complaints.push_back(line);
    EXPECT_EQ(complaints, (std::vector<std::string>{"[*] Skipped 1 polygon(s) with fewer than 3 corners in geometry lines.\n",
                                                    "[!] cannot setup geometry 'lines', geometry is empty.\n"}));
    EXPECT_EQ(lines.GetRenderData(), nullptr);
    EXPECT_EQ(renderer->GetGeometryBytes(), 0u);
    EXPECT_NE(lines.vertices, nullptr);
}
}
