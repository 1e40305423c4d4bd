#pragma once
// Shared by the geometry tests: meshes built in code, a renderer that records what reaches it,
// a core listener and a progress interface that record their calls.

#include "hub/nCoreListener.h"
#include "hub/nOrvex.h"
#include "render/nNull_Renderer.h"
#include "resources/nGeometry.h"
#include "resources/nMaterial.h"

#include <string>
#include <vector>

typedef std::vector<std::string> Calls;

class RecordingRenderer : public nNull_Renderer
{
public:
    RecordingRenderer(nOrvex* engine, Calls* calls) : nNull_Renderer(engine, true), m_calls(calls) {}
    bool SetupGeometry(nGeometry* g) override  { m_calls->push_back("SetupGeometry " + Name(g)); return true; }
    void FreeGeometry(nGeometry* g) override   { m_calls->push_back("FreeGeometry " + Name(g)); }
    bool SetupMaterial(nMaterial* m) override  { m_calls->push_back("SetupMaterial " + std::string(m->GetName().GetCStr() ? m->GetName().GetCStr() : "")); return true; }

private:
    static std::string Name(nGeometry* g) { return g->GetName().GetCStr() ? g->GetName().GetCStr() : ""; }
    Calls* m_calls;
};

class RecordingListener : public nCoreListener
{
public:
    explicit RecordingListener(Calls* calls) : m_calls(calls) {}
    int32_t OnCoreEvent(int32_t code, nCoreEventRecord* record) override
    {
        m_calls->push_back("event " + std::to_string(code));
        geometries.push_back(record->geometry);
        return 0;
    }
    std::vector<nGeometry*> geometries;

private:
    Calls* m_calls;
};

class RecordingProgress : public nOrvex::EventInterface
{
public:
    explicit RecordingProgress(Calls* calls) : m_calls(calls) {}
    void OnMessage(const char* text) override { m_calls->push_back(std::string("message ") + text); }

private:
    Calls* m_calls;
};

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
