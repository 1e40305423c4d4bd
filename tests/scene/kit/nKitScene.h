#ifndef N_KITSCENE_H
#define N_KITSCENE_H

#include <cstdint>

#include "hub/nOrvex.h"
#include "scene/nScene.h"
#include "tests/kit/nCallLog.h"
#include "tests/kit/nRecordingRenderer.h"
#include "tests/scene/kit/nFakePhysicWorld.h"
#include "tests/scene/kit/nKitItem.h"
#include "tests/scene/kit/nRecordingDispatchers.h"
#include "tests/scene/kit/nRecordingScriptVM.h"

// A scene wired to the kit: an engine with a recording renderer, a recording script machine
// and recording item and scene event senders, all writing into one call log, and, when
// asked, a fake physics world made through the scene's factory.
struct nKitScene
{
    explicit nKitScene(bool withWorld = true);       // a fake world, or none
    explicit nKitScene(nPhysicWorldFactory worlds);  // the engine's world factory; NULL: no world
    ~nKitScene();
    nKitScene(const nKitScene&) = delete;
    nKitScene& operator=(const nKitScene&) = delete;

    // A kit item created through the factory order, sending its events to the recording
    // sender and known to the script machine by its name.
    nKitItem* Add(const char* name, int32_t kind = ManagedItemObject);
    void SetFrameTicks(int32_t ticks);  // the engine frame time of the next evaluations
    nFakePhysicWorld* World() const { return static_cast<nFakePhysicWorld*>(scene->GetPhysicWorld()); }
    static nFakePhysicItem* Body(nMItem* item) { return static_cast<nFakePhysicItem*>(item->GetPhysicItem()); }

    nOrvex engine;
    nCallLog log;
    nRecordingRenderer renderer;
    nRecordingScriptVM vm;
    nRecordingItemDispatcher items;
    nRecordingSceneDispatcher sceneEvents;
    nScene* scene;
};

#endif
