#pragma once
// Shared by the geometry tests: meshes built in code (the recording fakes are the test kit's,
// tests/kit).

#include "hub/nOrvex.h"
#include "resources/nGeometry.h"
#include "resources/nMaterial.h"

#include <cmath>
#include <string>
#include <vector>

typedef std::vector<std::string> Calls;

// Positions (w = 1) and fan polygons given as corner lists with material indices; the
// material table gets materialCount fresh materials named "m0", "m1", ...
inline void BuildMesh(nGeometry& g, const std::vector<nVector>& positions, const std::vector<std::vector<int>>& polys,
                      const std::vector<int>& polyMaterials, uint32_t materialCount)
{
    g.AllocateVertices((uint32_t)positions.size());
    for (size_t i = 0; i < positions.size(); ++i) g.vertices[i] = nVector(positions[i].x, positions[i].y, positions[i].z, 1.0f);
    g.AllocatePolygons((uint32_t)polys.size());
    for (size_t i = 0; i < polys.size(); ++i) {
        g.polygons[i].count = (uint16_t)polys[i].size();
        g.polygons[i].material = (uint16_t)(i < polyMaterials.size() ? polyMaterials[i] : 0);
    }
    g.AllocateBindings();
    for (size_t i = 0; i < polys.size(); ++i)
        for (size_t k = 0; k < polys[i].size(); ++k) g.polygons[i].bindings[k] = polys[i][k];
    if (materialCount) {
        g.AllocateMaterials(materialCount, true);
        for (uint32_t i = 0; i < materialCount; ++i) g.materials[i]->SetName(("m" + std::to_string(i)).c_str());
    }
}

// The unit cube: 8 shared corners, 6 outward-facing quads.
inline void BuildCube(nGeometry& g)
{
    BuildMesh(g,
              {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1}, {-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}},
              {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {2, 3, 7, 6}, {1, 2, 6, 5}, {0, 4, 7, 3}}, {}, 1);
}

// A terrain-like grid of cells x cells quads over x and z in [0, cells * spacing], each quad two
// triangles, heights rolling in y; two materials ("m0", "m1") in a checker pattern, UV set 0 and
// per-corner colours that follow the position. Every triangle has its own corner positions.
inline void BuildGrid(nGeometry& g, int cells, float spacing = 1.0f)
{
    const int side = cells + 1;
    g.AllocateVertices((uint32_t)(side * side));
    for (int z = 0; z < side; ++z)
        for (int x = 0; x < side; ++x)
            g.vertices[z * side + x] = nVector(x * spacing, 0.5f * std::sin(x * 0.3f) * std::cos(z * 0.2f), z * spacing, 1.0f);
    g.AllocatePolygons((uint32_t)(2 * cells * cells));
    for (uint32_t p = 0; p < g.polygonCount; ++p) {
        const int cell = (int)p / 2;
        g.polygons[p].count = 3;
        g.polygons[p].material = (uint16_t)(((cell % cells) + (cell / cells)) & 1);
    }
    g.AllocateBindings();
    g.uvSets[0] = nGeometry::AllocateArray<nVector2>(g.bindingCount);
    g.colors = nGeometry::AllocateArray<nGeometryColor>(g.bindingCount);
    g.uvSetCount = 1;
    for (uint32_t p = 0; p < g.polygonCount; ++p) {
        const int cell = (int)p / 2, x = cell % cells, z = cell / cells;
        const int v00 = z * side + x, v10 = v00 + 1, v01 = v00 + side, v11 = v01 + 1;
        const int corners[2][3] = {{v00, v01, v10}, {v10, v01, v11}};
        for (int c = 0; c < 3; ++c) {
            const int v = corners[p & 1][c];
            const int32_t b = (int32_t)(3 * p + (uint32_t)c);
            g.bindings[b] = v;
            g.uvSets[0][b] = nVector2(g.vertices[v].x / (float)(cells * spacing), g.vertices[v].z / (float)(cells * spacing));
            g.colors[b] = nGeometryColor{g.vertices[v].x, g.vertices[v].y, g.vertices[v].z, 1.0f};
        }
    }
    g.AllocateMaterials(2, true);
    g.materials[0]->SetName("m0");
    g.materials[1]->SetName("m1");
}
