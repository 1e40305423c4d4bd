// OpenGL geometry set-up under allocation failure: every non-throwing allocation of one set-up
// is made to fail in turn. A failure either refuses the geometry with one error line, leaving
// no device data and no counted bytes (and, under the sanitizer build, no leak), or is absorbed
// on the way and the geometry is set up.

#include <gtest/gtest.h>

#include <cstddef>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "nGLRendererFixture.h"
#include "resources/nGeometry.h"
#include "tests/support/nAllocationFailure.h"
#include "tests/support/nLogCapture.h"

namespace {
class GLGeometryAllocationFailure : public nGLRendererTest
{};

// A skinned, coloured quad of one material.
void BuildSkinnedQuad(nGeometry& g)
{
    ASSERT_TRUE(g.AllocateVertices(4));
    g.vertices[0] = nVector(10, 10, 0, 1);
    g.vertices[1] = nVector(10, 50, 0, 1);
    g.vertices[2] = nVector(50, 50, 0, 1);
    g.vertices[3] = nVector(50, 10, 0, 1);
    ASSERT_TRUE(g.AllocatePolygons(1));
    g.polygons[0].count = 4;
    g.polygons[0].material = 0;
    ASSERT_TRUE(g.AllocateBindings());
    g.colors = nGeometry::AllocateArray<nGeometryColor>(4);
    for (int k = 0; k < 4; ++k) {
        g.polygons[0].bindings[k] = k;
        g.colors[k] = nGeometryColor{1, 1, 1, 1};
    }
    g.AllocateSkin(4);
    g.skinWeights = nGeometry::AllocateArray<nSkinWeight>(4);
    for (uint16_t v = 0; v < 4; ++v) g.skinWeights[v] = nSkinWeight{{1, 0, 0, 0}, {v, 0, 0, 0}};
    ASSERT_TRUE(g.AllocateMaterials(1, true));
}

TEST_F(GLGeometryAllocationFailure, EveryFailureRefusesTheGeometryOrIsAbsorbed)
{
    renderer->SetCleanResourceOnSetup(false);
    int refused = 0;
    std::set<std::string> seen;
    for (int k = 1; k < 1000; ++k) {
        SCOPED_TRACE("allocation " + std::to_string(k) + " fails");
        nGeometry g(&engine);
        g.SetName("starved");
        BuildSkinnedQuad(g);
        nLogCapture log;
        nFailNthNothrowAllocation(k);
        bool done = renderer->SetupGeometry(&g);
        nFailNthNothrowAllocation(0);
        std::vector<std::string> errors;
        for (const std::string& line : log.Lines())
            if (line.rfind("[!] ", 0) == 0) errors.push_back(line);
        if (!nNothrowAllocationFailed()) {
            // Every allocation has been made to fail once: this run had none to fail.
            EXPECT_TRUE(done);
            EXPECT_TRUE(errors.empty());
            renderer->FreeGeometry(&g);
            break;
        }
        if (!done) {
            // One line says why; a failure absorbed on the way (a table the geometry builds for
            // itself) may have said nothing.
            EXPECT_EQ(errors.size(), 1u);
            seen.insert(errors.begin(), errors.end());
            ++refused;
            EXPECT_EQ(g.GetRenderData(), nullptr);
            EXPECT_EQ(renderer->GetGeometryBytes(), 0u);
            continue;
        }
        EXPECT_LE(errors.size(), 1u);
        auto* data = static_cast<nGL3Renderer::GL_GeometryData*>(g.GetRenderData());
        ASSERT_NE(data, nullptr);
        ASSERT_EQ(data->batchCount, 1);
        EXPECT_EQ(data->batches[0].indexCount, 6);
        renderer->FreeGeometry(&g);
        EXPECT_EQ(renderer->GetGeometryBytes(), 0u);
    }
    EXPECT_GT(refused, 0);
    // The renderer's own records and the conversion's tables among them.
    EXPECT_EQ(seen.count("[!] cannot setup geometry 'starved', out of memory.\n"), 1u);
    EXPECT_EQ(seen.count("[!] Vertex VBO creation error.\n"), 1u);
    EXPECT_EQ(seen.count("[!] Couldn't allocate triangle list container objects.\n"), 1u);
    EXPECT_EQ(seen.count("[!] Failed to allocate trilist object.\n"), 1u);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}
}
