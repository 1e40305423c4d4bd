#ifndef N_RECORDINGDISPATCHERS_H
#define N_RECORDINGDISPATCHERS_H

#include <functional>
#include <string>

#include "scriptiface/nScriptEventDispatcher.h"

class nCallLog;
class nMItem;
class nScene;

// Writes every item event into the call log as "<item>.OnUpdate" or "<item>.OnActivate(0)"
// (other items by name), then runs the test's handler, if any, with the event name and the
// item, and, when forward is set, hands the event on to the script units as the default
// sender does.
class nRecordingItemDispatcher : public nItemScriptEventDispatcher
{
public:
    explicit nRecordingItemDispatcher(nCallLog* log) : m_log(log) {}

    void OnSetup(nScriptedObject* item) override;
    void OnSetupDone(nScriptedObject* item) override;
    void OnReset(nScriptedObject* item) override;
    void OnActivate(nScriptedObject* item, bool active) override;
    void OnPhysicStep(nScriptedObject* item, bool before) override;
    void OnPhysicSleepStep(nScriptedObject* item) override;
    void OnItemEnter(nScriptedObject* trigger, void* item) override;
    void OnItemExit(nScriptedObject* trigger, void* item) override;
    void OnEnterTrigger(nScriptedObject* item, void* trigger) override;
    void OnTrigger(nScriptedObject* item, void* trigger) override;
    void OnExitTrigger(nScriptedObject* item, void* trigger) override;
    void OnUpdate(nScriptedObject* item) override;
    void OnLogicUpdate(nScriptedObject* item, float period) override;
    void OnDelete(nScriptedObject* item) override;
    void OnCollisionEx(nScriptedObject* item, void* other, nPhysicContact* contact, nScriptObject* table) override;
    void OnCollision(nScriptedObject* item, void* other, nPhysicContact* contact) override;

    std::function<void(const std::string& event, nMItem* item)> handler;
    bool forward = false;

    static std::string NameOf(nScriptedObject* item);  // the managed item's name
    static std::string NameOf(void* item);

private:
    void Record(nScriptedObject* item, const std::string& event, const std::string& arguments);
    nCallLog* m_log;
};

// Writes every scene event into the call log as "scene.OnUpdate", then runs the handler.
class nRecordingSceneDispatcher : public nSceneScriptEventDispatcher
{
public:
    explicit nRecordingSceneDispatcher(nCallLog* log) : m_log(log) {}

    void OnPreSetup(nScriptedObject* scene) override { Record(scene, "OnPreSetup"); }
    void OnSetup(nScriptedObject* scene) override { Record(scene, "OnSetup"); }
    void OnSetupDone(nScriptedObject* scene) override { Record(scene, "OnSetupDone"); }
    void OnReset(nScriptedObject* scene) override { Record(scene, "OnReset"); }
    void OnRenderDone(nScriptedObject* scene) override { Record(scene, "OnRenderDone"); }
    void OnRenderUI(nScriptedObject* scene) override { Record(scene, "OnRenderUI"); }
    void OnPhysicStep(nScriptedObject* scene, bool before) override { Record(scene, before ? "OnPhysicStep(1)" : "OnPhysicStep(0)"); }
    void OnUpdate(nScriptedObject* scene) override { Record(scene, "OnUpdate"); }
    void OnDelete(nScriptedObject* scene) override { Record(scene, "OnDelete"); }

    std::function<void(const std::string& event, nScene* scene)> handler;

private:
    void Record(nScriptedObject* scene, const std::string& event);
    nCallLog* m_log;
};

#endif
