// The scene's factories of cameras, objects, lights, triggers, instances, emitters and terrains. Each tells
// the listeners event 1, builds the item, names it, lists it by kind, numbers it and tells event 2.

#include <new>

#include "core/nLog.h"
#include "scene/nCamera.h"
#include "scene/nInstance.h"
#include "scene/nEmitter.h"
#include "scene/nLight.h"
#include "scene/nObject.h"
#include "scene/nScene.h"
#include "scene/nTerrain.h"
#include "scene/nTrigger.h"

nMItem* nScene::CreateCamera(const char* name)
{
    NotifyListeners(SceneEventItemCreating, 0);
    nMCamera* item = new (std::nothrow) nMCamera(this);
    if (!item) {
        *g_log << "[!] Scene could not allocate new camera!\n";
        return 0;
    }
    AddCreatedItem(item, name);
    return item;
}

nMItem* nScene::CreateObject(const char* name, nGeometry* geometry)
{
    NotifyListeners(SceneEventItemCreating, 0);
    nMObject* item = new (std::nothrow) nMObject(this);
    if (!item) {
        *g_log << "[!] Scene could not allocate new object!\n";
        return 0;
    }
    if (geometry) item->GetObject().SetGeometry(geometry, true);  // a new object has none
    AddCreatedItem(item, name);
    return item;
}

nMItem* nScene::CreateLight(const char* name, int32_t type, float priority)
{
    NotifyListeners(SceneEventItemCreating, 0);
    nMLight* item = new (std::nothrow) nMLight(this);
    if (!item) {
        *g_log << "[!] scene could not allocate new light!\n";
        return 0;
    }
    item->GetLight().SetType(type);
    item->m_priority = priority;
    AddCreatedItem(item, name);
    return item;
}

nMItem* nScene::CreateTrigger(const char* name)
{
    NotifyListeners(SceneEventItemCreating, 0);
    nTrigger* item = new (std::nothrow) nTrigger(this);
    if (!item) {
        *g_log << "[!] Scene could not allocate new trigger!\n";
        return 0;
    }
    AddCreatedItem(item, name);
    return item;
}

nMItem* nScene::CreateInstance(const char* name, const char* templatePath)
{
    NotifyListeners(SceneEventItemCreating, 0);
    nInstance* item = new (std::nothrow) nInstance(this);
    if (!item) {
        *g_log << "[!] Scene could not allocate new instance.\n";
        return 0;
    }
    if (templatePath) item->SetTemplate(templatePath);
    AddCreatedItem(item, name);
    return item;
}

nMItem* nScene::CreateEmitter(const char* name)
{
    NotifyListeners(SceneEventItemCreating, 0);
    nMEmitter* item = new (std::nothrow) nMEmitter(this);
    if (!item) {
        *g_log << "[!] scene could not allocate new emitter.\n";
        return 0;
    }
    AddCreatedItem(item, name);
    return item;
}

nMItem* nScene::CreateTerrain(const char* name)
{
    NotifyListeners(SceneEventItemCreating, 0);
    nMTerrain* item = new (std::nothrow) nMTerrain(this);
    if (!item) {
        *g_log << "[!] Scene could not allocate new terrain.\n";
        return 0;
    }
    AddCreatedItem(item, name);
    return item;
}
