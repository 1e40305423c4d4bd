// The geometry's octree: the build that splits its polygons into leaf geometries, and their
// set-up and freeing.

#include <new>

#include "core/nLog.h"
#include "hub/nOrvex.h"
#include "resources/nGeometry.h"
#include "resources/nOctreeNode.h"

namespace {

const int32_t kLeafFloor = 512;  // minimumLeafPolygons is raised to this before doubling

// Every corner names a vertex of the geometry: the build reads through them unchecked.
bool CornersInRange(const nGeometry& g)
{
    for (uint32_t p = 0; p < g.polygonCount; ++p)
        for (uint32_t c = 0; c < g.polygons[p].count; ++c) {
            const int32_t v = g.polygons[p].bindings[c];
            if (v < 0 || (uint32_t)v >= g.vertexCount) return false;
        }
    return true;
}

}

bool nGeometry::BuildOctree(int32_t minimumLeafPolygons)
{
    // A geometry whose mesh is gone (an earlier build in the player moved it into the leaves)
    // has nothing to split: freeing its tree would lose the mesh for good.
    if (vertexCount == 0 || !vertices || polygonCount == 0 || !polygons) {
        *g_log << "[*] Geometry '" << m_name.GetCStr() << "' has no mesh to split into an octree.\n";
        return false;
    }
    if (!CornersInRange(*this)) {
        *g_log << "[!] Geometry '" << m_name.GetCStr() << "' names vertices it does not have: no octree.\n";
        return false;
    }

    ComputeBounds(bounds, 0);
    FreeOctree();
    nOctreeNode* root = new (std::nothrow) nOctreeNode(m_engine);
    nDwordArray list;
    int32_t* vertexMap = AllocateArray<int32_t>(vertexCount);
    if (!root || !vertexMap || !list.Allocate(polygonCount)) {
        // No tree at all rather than an empty one, which would draw nothing.
        *g_log << "[!] Octree failed to allocate polygon list.\n";
        delete root;
        delete[] vertexMap;
        return false;
    }
    for (uint32_t i = 0; i < polygonCount; ++i) list.values[i] = i;
    for (uint32_t i = 0; i < vertexCount; ++i) vertexMap[i] = -1;
    BuildPolygonOffsets();
    nOctreeNode::ResetSummary();

    const int32_t n = minimumLeafPolygons > kLeafFloor ? minimumLeafPolygons : kLeafFloor;
    nOctreeBuild build = {this, 2u * (uint32_t)n, vertexMap};
    const bool built = root->BuildNode(build, list, kOctreeDepthBudget);
    delete[] vertexMap;
    if (!built) {
        // A part of the mesh has no leaf: the tree goes and the mesh stays, drawn whole.
        delete root;
        return false;
    }
    m_octree = root;

    uint32_t leaves = 0, polygons = 0;
    GetOctreeSummary(leaves, polygons);
    *g_log << "Octree summary: " << (int32_t)leaves << " leaves referencing " << (int32_t)polygons << " polygon(s).\n";

    m_keepMask |= GeometryKeepMaterials | GeometryKeepOctree | GeometryKeepProxies;
    if (!m_engine || m_engine->GetToolMode() == NoTool) Free();
    return true;
}

void nGeometry::SetupOctree()
{
    if (m_octree) m_octree->Setup();
}

void nGeometry::FreeOctree()
{
    delete m_octree;
    m_octree = 0;
}

void nGeometry::GetOctreeSummary(uint32_t& leaves, uint32_t& polygons)
{
    nOctreeNode::GetSummary(leaves, polygons);
}
