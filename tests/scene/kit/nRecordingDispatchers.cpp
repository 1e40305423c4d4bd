#include "tests/scene/kit/nRecordingDispatchers.h"

#include "scene/nMItem.h"
#include "scene/nScene.h"
#include "tests/kit/nCallLog.h"

std::string nRecordingItemDispatcher::NameOf(nScriptedObject* item)
{
    const nMItem* m = static_cast<const nMItem*>(item);
    return m && m->GetName().GetCStr() ? m->GetName().GetCStr() : "";
}

std::string nRecordingItemDispatcher::NameOf(void* item)
{
    const nMItem* m = static_cast<const nMItem*>(item);
    return m && m->GetName().GetCStr() ? m->GetName().GetCStr() : "";
}

void nRecordingItemDispatcher::Record(nScriptedObject* item, const std::string& event, const std::string& arguments)
{
    if (m_log) m_log->Add(NameOf(item) + "." + event + arguments);
    if (handler) handler(event, static_cast<nMItem*>(item));
}

void nRecordingItemDispatcher::OnSetup(nScriptedObject* item)
{
    Record(item, "OnSetup", "");
    if (forward) nItemScriptEventDispatcher::OnSetup(item);
}

void nRecordingItemDispatcher::OnSetupDone(nScriptedObject* item)
{
    Record(item, "OnSetupDone", "");
    if (forward) nItemScriptEventDispatcher::OnSetupDone(item);
}

void nRecordingItemDispatcher::OnReset(nScriptedObject* item)
{
    Record(item, "OnReset", "");
    if (forward) nItemScriptEventDispatcher::OnReset(item);
}

void nRecordingItemDispatcher::OnActivate(nScriptedObject* item, bool active)
{
    Record(item, "OnActivate", active ? "(1)" : "(0)");
    if (forward) nItemScriptEventDispatcher::OnActivate(item, active);
}

void nRecordingItemDispatcher::OnPhysicStep(nScriptedObject* item, bool before)
{
    Record(item, "OnPhysicStep", before ? "(1)" : "(0)");
    if (forward) nItemScriptEventDispatcher::OnPhysicStep(item, before);
}

void nRecordingItemDispatcher::OnPhysicSleepStep(nScriptedObject* item)
{
    Record(item, "OnPhysicSleepStep", "");
    if (forward) nItemScriptEventDispatcher::OnPhysicSleepStep(item);
}

void nRecordingItemDispatcher::OnItemEnter(nScriptedObject* trigger, void* item)
{
    Record(trigger, "OnItemEnter", "(" + NameOf(item) + ")");
    if (forward) nItemScriptEventDispatcher::OnItemEnter(trigger, item);
}

void nRecordingItemDispatcher::OnItemExit(nScriptedObject* trigger, void* item)
{
    Record(trigger, "OnItemExit", "(" + NameOf(item) + ")");
    if (forward) nItemScriptEventDispatcher::OnItemExit(trigger, item);
}

void nRecordingItemDispatcher::OnEnterTrigger(nScriptedObject* item, void* trigger)
{
    Record(item, "OnEnterTrigger", "(" + NameOf(trigger) + ")");
    if (forward) nItemScriptEventDispatcher::OnEnterTrigger(item, trigger);
}

void nRecordingItemDispatcher::OnTrigger(nScriptedObject* item, void* trigger)
{
    Record(item, "OnTrigger", "(" + NameOf(trigger) + ")");
    if (forward) nItemScriptEventDispatcher::OnTrigger(item, trigger);
}

void nRecordingItemDispatcher::OnExitTrigger(nScriptedObject* item, void* trigger)
{
    Record(item, "OnExitTrigger", "(" + NameOf(trigger) + ")");
    if (forward) nItemScriptEventDispatcher::OnExitTrigger(item, trigger);
}

void nRecordingItemDispatcher::OnUpdate(nScriptedObject* item)
{
    Record(item, "OnUpdate", "");
    if (forward) nItemScriptEventDispatcher::OnUpdate(item);
}

void nRecordingItemDispatcher::OnLogicUpdate(nScriptedObject* item, float period)
{
    Record(item, "OnLogicUpdate", "(" + FormatFloat(period) + ")");
    if (forward) nItemScriptEventDispatcher::OnLogicUpdate(item, period);
}

void nRecordingItemDispatcher::OnDelete(nScriptedObject* item)
{
    Record(item, "OnDelete", "");
    if (forward) nItemScriptEventDispatcher::OnDelete(item);
}

void nRecordingItemDispatcher::OnCollisionEx(nScriptedObject* item, void* other, nPhysicContact* contact,
                                             nScriptObject* table)
{
    Record(item, "OnCollisionEx", "(" + NameOf(other) + ")");
    if (forward) nItemScriptEventDispatcher::OnCollisionEx(item, other, contact, table);
}

void nRecordingItemDispatcher::OnCollision(nScriptedObject* item, void* other, nPhysicContact* contact)
{
    Record(item, "OnCollision", "(" + NameOf(other) + ")");
    if (forward) nItemScriptEventDispatcher::OnCollision(item, other, contact);
}

void nRecordingSceneDispatcher::Record(nScriptedObject* scene, const std::string& event)
{
    if (m_log) m_log->Add("scene." + event);
    if (handler) handler(event, static_cast<nScene*>(scene));
}
