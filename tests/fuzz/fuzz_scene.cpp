// Fuzz target of the scene file reader and writer.
//
// The first byte chooses the load flags (bit 0 clears the light kind, bit 1 the groups, bit 2
// the globals, bit 3 asks for an output group, bit 4 reads in edit mode); the rest is the file,
// served from the memory file system as "fuzz.nms", which its own instances may name as their
// template. The file is read into a fresh scene, which is then set up (instances loading
// their templates), reset, evaluated, asked for its paths' positions and closest points,
// written, and read again from what it wrote.

#include <cstdint>
#include <cstring>

#include "core/nIO.h"
#include "core/nIOMemoryFS.h"
#include "core/nLog.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "hub/nOrvex.h"
#include "scene/nAIPath.h"
#include "scene/nGroup.h"
#include "scene/nScene.h"

namespace {

bool PutFile(nIOMemoryFS* fs, const char* name, const uint8_t* data, size_t size)
{
    nIOHandle* handle = fs->Open(name, false, true, false);
    if (!handle) return false;
    fs->Write(handle, data, int32_t(size));
    return fs->Close(handle);
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static nIOMemoryFS* memory = [] {
        g_log->SetMask(0);
        nIOMemoryFS* fs = new nIOMemoryFS();
        nIO::SetCurrentFS(fs);
        return fs;
    }();
    if (size < 1 || size > 1 << 22) return 0;  // room for hierarchies tens of thousands deep
    const uint8_t options = data[0];
    if (!PutFile(memory, "fuzz.nms", data + 1, size - 1)) return 0;

    int32_t flags = FlagLoadAll;
    if (options & 0x01) flags &= ~FlagLoadLight;
    if (options & 0x02) flags &= ~FlagLoadGroup;
    if (options & 0x04) flags &= ~FlagLoadGlobals;

    nOrvex engine;
    engine.SetToolMode((options & 0x10) ? ToolEdit : NoTool);
    nScene* scene = new nScene(&engine, 0);
    scene->AddRef();
    nGroup* group = 0;
    if (scene->LoadFile("fuzz.nms", (options & 0x08) ? &group : 0, flags, 0)) {
        scene->Setup(true, 1024);
        scene->Reset();
        scene->Evaluate(SceneEvaluateAll);
        for (nLinkedListEntry* e = scene->GetAIPaths().GetHead(); e; e = e->GetNext()) {
            nAIPath* path = static_cast<nAIPath*>(e);
            nVector at;
            path->GetPosition(0.5f, at);
            float time = 0.0f;
            path->GetClosestPoint(at, &at, &time);
        }
        nMetaFile document;
        if (nMetaTag* written = scene->Serialize(&document, group, FlagLoadAll)) {
            document.AddRoot(written);
            nScene* again = new nScene(&engine, 0);
            again->AddRef();
            again->Deserialize(&document, written, 0, FlagLoadAll, 0);
            again->Release();
        }
    }
    scene->Release();
    return 0;
}
