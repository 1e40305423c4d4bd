#include "tests/scene/kit/nKitScene.h"

#include "tests/scene/kit/nKitClock.h"

namespace {

nOrvexParts WorldParts(nPhysicWorldFactory worlds)
{
    nOrvexParts parts;
    parts.physicWorlds = worlds;
    return parts;
}

}

nKitScene::nKitScene(bool withWorld) : nKitScene(withWorld ? nFakePhysicWorld::Make : nullptr)
{
}

nKitScene::nKitScene(nPhysicWorldFactory worlds)
    : engine(WorldParts(worlds)), renderer(&engine, &log), vm(&engine, &log), items(&log), sceneEvents(&log), scene(0)
{
    SetEngineFrameTime(&engine, 0);
    scene = new nScene(&engine, &vm);
    vm.NameNative(scene, "scene");
    vm.NameNative(&scene->GetUI(), "ui");
    scene->SetEvents(&sceneEvents);
    if (worlds) {
        nFakePhysicWorld::s_log = &log;
        nFakePhysicWorld::s_initResult = true;
        scene->CreatePhysicWorld();
    }
    log.Clear();
}

nKitScene::~nKitScene()
{
    delete scene;
    scene = 0;
}

nKitItem* nKitScene::Add(const char* name, int32_t kind)
{
    nKitItem* item = CreateKitItem(scene, name, kind, &log);
    item->SetEvents(&items);
    vm.NameNative(static_cast<nMItem*>(item), name);
    return item;
}

void nKitScene::SetFrameTicks(int32_t ticks)
{
    SetEngineFrameTime(&engine, ticks);
}
