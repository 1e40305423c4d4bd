// Fuzz target of terrain height files and what is built from them.
//
// Byte 0 is the grid width - 1; byte 1 the grid height - 1, unless bit 0 of byte 2 asks for as
// many rows as the file fills; bits 1 to 7 of byte 2 give the points per unit (/ 8, 0 refused);
// bytes 3 to 6 place the viewer. The rest is the height file, served from the memory file
// system. The grid is sized, the file loaded, normals computed (whole and over a region the
// bytes choose), smoothed once, the quadtree built and walked from the viewer; every patch it
// yields is filled as the GL drawer fills it; heights are asked at points around the grid; the
// file is saved and the terrain written as NML and read back.

#include <cstdint>
#include <vector>

#include "core/nIO.h"
#include "core/nIOMemoryFS.h"
#include "core/nLog.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "hub/nOrvex.h"
#include "render/gl/nGL3Renderer.h"
#include "scene/nTerrain.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static nIOMemoryFS* memory = [] {
        g_log->SetMask(0);
        nIOMemoryFS* fs = new nIOMemoryFS();
        nIO::SetCurrentFS(fs);
        return fs;
    }();
    static nOrvex* engine = new nOrvex();
    static std::vector<float> staging(nGL3Renderer::kTerrainFloats);
    if (size < 7 || size > (1 << 18)) return 0;

    const uint8_t* file = data + 7;
    const size_t fileSize = size - 7;
    nIOHandle* handle = memory->Open("land/height.u16", false, true, false);
    if (!handle) return 0;
    memory->Write(handle, file, int32_t(fileSize));
    memory->Close(handle);

    const int32_t width = data[0] + 1;
    int32_t height = data[1] + 1;
    if ((data[2] & 1) && fileSize / 2 / size_t(width) > 0) height = int32_t(fileSize / 2 / size_t(width));
    const float ppm = float(data[2] >> 1) / 8.0f;

    nTerrain terrain(engine);
    terrain.SetBasePath("land");
    if (terrain.SetSize(width, height, ppm)) {
        terrain.LoadHeightFile("land/height.u16");
        terrain.ComputeNormals(0, 0, 0, 0);
        terrain.ComputeNormals(int8_t(data[3]), int8_t(data[4]), int8_t(data[5]) * 4, int8_t(data[6]) * 4);
        terrain.Smooth(1);
        terrain.BuildQuadtree();
        const nVector eye(float(int8_t(data[3])) * 4.0f, float(data[4]), -float(data[5]) * 4.0f, 1.0f);
        nRenderablePrimitiveList list;
        terrain.CollectNodes(eye, &list);
        for (nRenderablePrimitiveList::Node* n = list.GetHead(); n; n = n->next)
            nGL3Renderer::FillTerrainPatch(terrain, *static_cast<nTerrainNode*>(n->value->payload), (data[6] & 1) != 0,
                                           staging.data());
        DeletePrimitiveList(&list);
        for (int32_t i = -2; i < 12; ++i) {
            const float f = float(i) / 8.0f;
            terrain.GetHeight(nVector(f * terrain.GetWorldWidth(), 0.0f, -f * terrain.GetWorldDepth() * 0.9f, 1.0f));
            terrain.GetNormal(i * width / 8, i * height / 8);
        }
        terrain.SaveHeightFile("land/saved.u16");
    }
    nMetaFile document;
    if (nMetaTag* written = terrain.Serialize(&document)) {
        nTerrain back(engine);
        back.Deserialize(&document, written);
        delete written;
    }
    return 0;
}
