// Triangle lists under allocation failure: every non-throwing allocation of a conversion is made
// to fail in turn. Each failure either gives NULL with one error line (and, under the sanitizer
// build, no leak) or is absorbed by the geometry's own tables, leaving correct lists.
#include "resources/nTrilist.h"
#include "tests/resources/nGeometryTestKit.h"
#include "tests/support/nAllocationFailure.h"
#include "tests/support/nLogCapture.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <new>
#include <set>
#include <string>
#include <vector>

namespace {

// Two materials, normals, colours, one UV set and a skin: every array of a list is made.
void BuildRichGeometry(nGeometry& g)
{
    BuildMesh(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}, {2, 1, 0}},
              {{0, 1, 2, 3}, {1, 4, 5, 2}, {0, 2, 3}}, {0, 1, 0}, 2);
    g.vertexNormals = nGeometry::AllocateArray<nVector>(g.bindingCount);
    g.colors = nGeometry::AllocateArray<nGeometryColor>(g.bindingCount);
    g.uvSets[0] = nGeometry::AllocateArray<nVector2>(g.bindingCount);
    g.uvSetCount = 1;
    for (uint32_t b = 0; b < g.bindingCount; ++b) {
        const nVector& at = g.vertices[g.bindings[b]];
        g.vertexNormals[b] = nVector(0, 0, 1, 1);
        g.colors[b] = nGeometryColor{at.x, at.y, 0.5f, 1.0f};
        g.uvSets[0][b] = nVector2(at.x, at.y);
    }
    g.AllocateSkin(6);
    g.skinWeights = nGeometry::AllocateArray<nSkinWeight>(g.vertexCount);
    for (uint16_t v = 0; v < g.vertexCount; ++v) g.skinWeights[v] = nSkinWeight{{0.5f, 0.5f, 0, 0}, {v, uint16_t(5 - v), 0, 0}};
}

// The corners of material t's polygons, in drawing order, as positions.
std::vector<float> ExpectedCorners(const nGeometry& g, uint32_t t)
{
    std::vector<float> out;
    for (uint32_t p = 0; p < g.polygonCount; ++p) {
        if (g.polygons[p].material != t) continue;
        for (uint32_t m = 1; m + 1 < g.polygons[p].count; ++m)
            for (uint32_t k : {0u, m, m + 1}) {
                const nVector& v = g.vertices[g.polygons[p].bindings[k]];
                out.push_back(v.x);
                out.push_back(v.y);
            }
    }
    return out;
}

TEST(TrilistAllocationFailure, EveryFailureIsReportedOrAbsorbed)
{
    const std::set<std::string> conversionErrors = {
        "[!] Failed to allocate trilist object.\n",
        "[!] Could not allocate memory to remap vertice!\n",
        "[!] Couldn't allocate triangle list container objects.\n",
    };
    std::set<std::string> seen;
    int succeeded = 0;
    for (int k = 1; k < 1000; ++k) {
        SCOPED_TRACE("allocation " + std::to_string(k) + " fails");
        nOrvex engine;
        nGeometry g(&engine);
        g.SetName("rich");
        BuildRichGeometry(g);
        nLogCapture cap;
        nFailNthNothrowAllocation(k);
        nLinkedList* lists = ConvertGeometryToTrilist(&g, 16384);
        nFailNthNothrowAllocation(0);
        std::vector<std::string> errors;
        for (const std::string& line : cap.Lines())
            if (line.rfind("[!] ", 0) == 0) errors.push_back(line);
        if (!nNothrowAllocationFailed()) {
            // Every allocation has been made to fail once: this run had none to fail.
            ASSERT_NE(lists, nullptr);
            EXPECT_TRUE(errors.empty());
            delete lists;
            break;
        }
        EXPECT_EQ(g.homogeneous, nullptr);
        if (!lists) {
            ASSERT_EQ(errors.size(), 1u);
            EXPECT_EQ(conversionErrors.count(errors[0]), 1u) << errors[0];
            seen.insert(errors[0]);
            continue;
        }
        // Absorbed: the geometry shares fewer vertices, the triangles are the same.
        ++succeeded;
        nLinkedListIterator it;
        for (uint32_t t = 0; t < 2; ++t) {
            const nTrilist* list = static_cast<const nTrilist*>(lists->Iterate(it));
            ASSERT_NE(list, nullptr);
            EXPECT_EQ(list->material, (int32_t)t);
            std::vector<float> corners;
            for (uint32_t i = 0; i < 3 * list->triangleCount; ++i) {
                corners.push_back(list->positions[list->indices[i]].x);
                corners.push_back(list->positions[list->indices[i]].y);
            }
            EXPECT_EQ(corners, ExpectedCorners(g, t));
        }
        delete lists;
    }
    EXPECT_EQ(seen, conversionErrors);
    EXPECT_GT(succeeded, 0);
}

}
