#pragma once
// Shared by the geometry tests: meshes built in code (the recording fakes are the test kit's,
// tests/kit).

#include "hub/nOrvex.h"
#include "resources/nGeometry.h"
#include "resources/nMaterial.h"

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
    for (size_t i = 0; i < polys.size(); ++i)
    {
        g.polygons[i].count = (uint16_t)polys[i].size();
        g.polygons[i].material = (uint16_t)(i < polyMaterials.size() ? polyMaterials[i] : 0);
    }
    g.AllocateBindings();
    for (size_t i = 0; i < polys.size(); ++i)
        for (size_t k = 0; k < polys[i].size(); ++k) g.polygons[i].bindings[k] = polys[i][k];
    if (materialCount)
    {
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
