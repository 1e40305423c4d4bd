// Fuzz target of the geometry NML reader.
//
// The first byte chooses the form of the rest:
//   even  NML text, parsed, then read as a geometry
//   odd   binary chunks built directly from the bytes, so that damaged counts and blocks reach
//         the reader without the text encoding in between: six int32 counts (vertices,
//         polygons, bindings, polygon normals, vertex normals, UV sets), then the remaining
//         bytes split in six blocks (vertices, polygons, polygon normals, vertex normals,
//         colours, one UV set) at offsets taken from the next bytes
// A geometry that loads is then walked: normals, tangent frames, homogeneous table, writing.
// Proxies load through the engine's loader from the empty memory file system, so they come
// back empty, as includes do.

#include "core/nIO.h"
#include "core/nIOMemoryFS.h"
#include "core/nLog.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "hub/nOrvex.h"
#include "resources/nGeometry.h"

#include <cstring>

namespace {

int32_t TakeInt(const uint8_t*& p, const uint8_t* end)
{
    int32_t v = 0;
    if (end - p >= 4) {
        std::memcpy(&v, p, 4);
        p += 4;
    }
    return v;
}

nMetaTag* Chunk(nMetaTag* root, const char* name, const char* countName, int32_t count, const uint8_t* data, size_t length)
{
    nMetaTag* chunk = new nMetaTag(name);
    if (countName) chunk->AddChild(new nMetaTag(countName, count));
    if (length > 0) chunk->AddChild(new nMetaTag("Data", data, (int32_t)length));
    root->AddChild(chunk);
    return chunk;
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static nOrvex* engine = 0;
    if (!engine) {
        g_log->SetMask(0);
        nIO::SetCurrentFS(reinterpret_cast<nIOBaseFS*>(nIO::GetMemoryFS()));
        engine = new nOrvex();
    }
    if (size < 1) return 0;
    nMetaFile document;
    nMetaTag* root = 0;
    if ((data[0] & 1) == 0) {
        if (!document.Parse(reinterpret_cast<const char*>(data + 1), (int32_t)(size - 1))) return 0;
        nMetaTagIterator it;
        root = document.NextRoot(it);
        if (root && root->GetName() == "NML") root = document.NextRoot(it);
    } else {
        const uint8_t* p = data + 1;
        const uint8_t* end = data + size;
        int32_t counts[6];
        for (int i = 0; i < 6; ++i) counts[i] = TakeInt(p, end);
        uint8_t steps[5] = {0, 0, 0, 0, 0};
        for (int i = 0; i < 5 && p < end; ++i) steps[i] = *p++;
        const size_t rest = (size_t)(end - p);
        size_t cuts[7];
        cuts[0] = 0;
        for (int i = 1; i < 6; ++i) {
            cuts[i] = cuts[i - 1] + (size_t)steps[i - 1] * 4;
            if (cuts[i] > rest) cuts[i] = rest;
        }
        cuts[6] = rest;
        root = document.AddRoot(new nMetaTag("Geometry"));
        Chunk(root, "Vertex", "Count", counts[0], p + cuts[0], cuts[1] - cuts[0]);
        nMetaTag* polygons = Chunk(root, "Polygon", "Count", counts[1], 0, 0);
        polygons->AddChild(new nMetaTag("BindingCount", counts[2]));
        if (cuts[2] > cuts[1]) polygons->AddChild(new nMetaTag("Data", p + cuts[1], (int32_t)(cuts[2] - cuts[1])));
        Chunk(root, "PNormal", "Count", counts[3], p + cuts[2], cuts[3] - cuts[2]);
        Chunk(root, "VNormal", "Count", counts[4], p + cuts[3], cuts[4] - cuts[3]);
        Chunk(root, "RGB", 0, 0, p + cuts[4], cuts[5] - cuts[4]);
        Chunk(root, "UV", "Count", counts[5], p + cuts[5], cuts[6] - cuts[5]);
    }
    if (!root) return 0;
    nGeometry* geometry = new nGeometry(engine);
    if (geometry->Deserialize(&document, root)) {
        geometry->ComputeVertexTangent(true);
        geometry->BuildHomogeneousTable(-1);
        nMetaFile out;
        geometry->SerializeToMetaFile(&out);
    }
    delete geometry;
    return 0;
}
