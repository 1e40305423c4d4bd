// Fuzz target of the particle-model reader and writer, and of an emitter running the model.
//
// The first byte sets the emitter's pool size (byte + 1) and, through its low bits, the birth
// rate; the rest is an NML document. Every root is read as a particle model, written and read
// again; the model then drives an emitter for 30 steps of 1/60 s (queued, sorted, stepped), and
// the emitter is written and read back.

#include "core/nIO.h"
#include "core/nLog.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "hub/nOrvex.h"
#include "scene/nEmitter.h"
#include "scene/nParticleModel.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static nOrvex* engine = [] {
        g_log->SetMask(0);
        nIO::SetCurrentFS(reinterpret_cast<nIOBaseFS*>(nIO::GetMemoryFS()));  // model names read no disk file
        return new nOrvex();
    }();
    if (size < 1 || size > 1 << 16) return 0;

    nMetaFile document;
    if (!document.Parse(reinterpret_cast<const char*>(data + 1), int32_t(size - 1))) return 0;
    nMetaTagIterator it;
    while (nMetaTag* root = document.NextRoot(it)) {
        nSharedPtr<nParticleModel> model(new nParticleModel(engine));
        model->Deserialize(&document, root);
        if (nMetaTag* written = model->Serialize(&document)) {
            nParticleModel again(engine);
            again.Deserialize(&document, written);
            delete written;
        }
        nEmitter emitter(engine);
        emitter.SetParticleModel(model.Get());
        emitter.SetPoolSize(data[0] + 1);
        emitter.m_birthRate = float(1 << (data[0] & 15));
        emitter.UpdateWorldMatrix();
        emitter.AllocatePool();
        nMatrix4 camera;
        nRenderablePrimitiveList list;
        for (int step = 0; step < 30; ++step) {
            emitter.Enqueue(&emitter, &list, 0);
            DeletePrimitiveList(&list);
            emitter.SortParticlesByDepth(camera);
            nMinMax box;
            emitter.GetWorldMinMax(box);
            emitter.Update(1.0f / 60.0f);
        }
        if (nMetaTag* written = emitter.Serialize(&document)) {
            nEmitter back(engine);
            back.Deserialize(&document, written);
            delete written;
        }
        emitter.SetParticleModel(0);
    }
    return 0;
}
