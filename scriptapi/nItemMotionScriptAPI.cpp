#include <typeinfo>

#include "core/nLog.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "core/nVariant.h"
#include "scene/nAnimationSource.h"
#include "scene/nItem.h"
#include "scene/nMItem.h"
#include "scene/nMotion.h"
#include "scene/nScene.h"
#include "scriptiface/nScriptUnit.h"
#include "script/nSquirrelObject.h"
#include "script/nSquirrelVM.h"
#include "scriptapi/nItemScriptAccessors.h"
#include "scriptapi/nItemScriptAPI.h"
#include "scriptapi/nItemScriptArgs.h"

// Motions on an item's animation player, its command list, its script units and its
// registry. Every function takes the Item first (argument 1). The "Slot" functions read the
// slot and ignore it: an item has one set of playing sources.

// Script units, shared with the Scene family (nItemScriptAPI.h).

// Pushes the unit's instance itself; "Script unit is not open" when it has none (or one of
// another machine).
SQInteger ScriptReturnUnitInstance(ScriptStackHandler& s, nScriptUnit* unit)
{
    nScriptObject* instance = unit ? unit->GetInstance() : 0;
    if (!instance || typeid(*instance) != typeid(nSquirrelObject))
        return s.Error("Script unit is not open");
    nSquirrelObject* object = static_cast<nSquirrelObject*>(instance);
    if (!object->GetVM() || object->GetVM() != nSquirrelVM::FromHandle(s.GetVM()))
        return s.Error("Script unit is not open");
    sq_pushobject(s.GetVM(), object->GetHandle());
    return 1;
}

nScriptUnit* ScriptFindUnit(nScriptedObject& owner, const char* className)
{
    for (nList<nScriptUnit*>::Node* n = owner.GetScriptUnits().GetHead(); n; n = n->next)
        if (n->value->GetClassName() == className) return n->value;
    return 0;
}

namespace {

// The oldest source still playing, NULL when nothing plays.
nAnimationSource* FirstSource(nMItem* item)
{
    return item->GetSourceList().GetAt(0);
}

bool OwnsMotion(nMItem* item, const nMotion* motion)
{
    for (nList<nMotion*>::Node* n = item->GetMotions().GetHead(); n; n = n->next)
        if (n->value == motion) return true;
    return false;
}

// ---------------------------------------------------------------------------------------------
// Motions

SQInteger ItemGetMotion(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    const char* name;
    if (!s.Args(item, name)) return SQ_ERROR;
    return s.ReturnObject(item->FindMotion(name), objectTypeMotion, false);
}

SQInteger ItemGetMotionFromIndex(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    SQInteger index;
    if (!s.Args(item, index)) return SQ_ERROR;
    nList<nMotion*>& motions = item->GetMotions();
    nMotion* motion = index >= 0 && index < motions.GetCount() ? motions.GetAt((int32_t)index) : 0;
    return s.ReturnObject(motion, objectTypeMotion, false);
}

// (item, slot, motion, fade time, weight, clock, clock scale): the motion replaces what plays,
// cross-fading over the fade time, and starts at the clock. A motion must be one of the
// item's own: a source keeps a plain pointer to its motion, and another item's motions die
// with that item.
SQInteger ItemSetMotion(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    int32_t slot;
    nMotion* motion;
    float fadeTime, weight, clock, clockScale;
    if (!s.Args(item, slot, motion, fadeTime, weight, clock, clockScale)) return SQ_ERROR;
    if (!OwnsMotion(item, motion)) {
        *g_log << "[!] Cannot play a motion of another item on item '" << item->GetName().GetCStr() << "'.\n";
        return s.Return();
    }
    nAnimationSource* source = item->PlayMotion(motion, 0, fadeTime, false, weight);
    if (source) {
        source->SetClock(clock);
        source->SetClockScale(clockScale);
    }
    return s.Return();
}

// (Item, slot, number): the number goes to the oldest playing source (Set); nothing when none plays.
template<void (nAnimationSource::*Set)(float)>
SQInteger SetFirstSource(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    float value;
    if (!s.Args(item, ScriptSkip, value)) return SQ_ERROR;
    if (nAnimationSource* source = FirstSource(item)) (source->*Set)(value);
    return s.Return();
}

SQInteger ItemMotionSlotGetTime(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    if (!s.Args(item)) return SQ_ERROR;
    nAnimationSource* source = FirstSource(item);
    return s.Return(source ? source->GetClock() : -1.0f);
}

SQInteger ItemMotionSlotGetClockScale(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    if (!s.Args(item)) return SQ_ERROR;
    nAnimationSource* source = FirstSource(item);
    return s.Return(source ? source->GetClockScale() : 0.0f);
}

// Kept for old scripts: fixed results, no effect (their setters only check the item).
SQInteger ItemMotionSlotGet(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    if (!s.Args(item)) return SQ_ERROR;
    return s.ReturnObject(0, objectTypeMotion, false);
}

float NoClockScale(nMItem*) { return -1.0f; }
bool NeverPaused(nMItem*) { return false; }

SQInteger ItemReplicateItemMotion(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    nMItem* other;
    if (!s.Args(item, other)) return SQ_ERROR;
    return s.Return();
}

// ---------------------------------------------------------------------------------------------
// Command lists

// The text compiled by the item's scene; a list that does not compile is logged by the
// compiler and leaves the item without commands.
SQInteger ItemSetCommandList(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    const char* text;
    if (!s.Args(item, text)) return SQ_ERROR;
    nScene* scene = item->GetScene();
    if (!scene) {
        *g_log << "[!] Cannot compile a command list for item '" << item->GetName().GetCStr() << "' without a scene.\n";
        return s.Return();
    }
    scene->CompileCommandList(text, item);
    return s.Return();
}

// ---------------------------------------------------------------------------------------------
// Script units

// (item, path, class): the first unit (made when there is none) gets the script; then the
// item is set up and reset. The class is instantiated by ItemSetupScript.
SQInteger ItemSetScript(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    const char* path;
    const char* className;
    if (!s.Args(item, path, className)) return SQ_ERROR;
    nScriptUnit* unit = item->GetScriptUnits().GetAt(0);
    if (!unit) unit = item->CreateScriptUnit();
    if (!unit) return s.Return();
    unit->SetScriptPath(path);
    unit->SetClassName(className);
    item->Setup();
    item->Reset();
    return s.Return();
}

SQInteger ItemHasScript(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    const char* className;
    if (!s.Args(item, className)) return SQ_ERROR;
    return s.Return(ScriptFindUnit(*item, className) != 0);
}

SQInteger ItemGetScriptInstance(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    if (!s.Args(item)) return SQ_ERROR;
    nScriptUnit* unit = item->GetScriptUnits().GetAt(0);
    if (!unit) return s.Error("Item has no script unit");
    return ScriptReturnUnitInstance(s, unit);
}

SQInteger ItemGetScriptInstanceCount(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    if (!s.Args(item)) return SQ_ERROR;
    return s.Return(item->GetScriptUnits().GetCount());
}

SQInteger ItemGetScriptInstanceFromIndex(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    SQInteger index;
    if (!s.Args(item, index)) return SQ_ERROR;
    nList<nScriptUnit*>& units = item->GetScriptUnits();
    return ScriptReturnUnitInstance(s, index >= 0 && index < units.GetCount() ? units.GetAt((int32_t)index) : 0);
}

SQInteger ItemGetScriptInstanceFromClass(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    const char* className;
    if (!s.Args(item, className)) return SQ_ERROR;
    nScriptUnit* unit = ScriptFindUnit(*item, className);
    if (!unit) return s.Error("Script unit not found");
    return ScriptReturnUnitInstance(s, unit);
}

// ---------------------------------------------------------------------------------------------
// Registry: NML tags on the item's node, reached by path ("Game:Score").

// (item, path, value): a bool, integer, float or string value; any other value logs a
// warning and stores an empty value. The tags of the path are made as needed.
SQInteger ItemRegistrySetKey(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    const char* path;
    nVariant value;
    if (!s.Args(item, path)) return SQ_ERROR;
    switch (s.GetType(3)) {
        case OT_BOOL: {
            bool b;
            if (!s.GetBool(3, b)) return SQ_ERROR;
            value.SetBool(b);
            break;
        }
        case OT_INTEGER: {
            int32_t i;
            if (!s.GetInt(3, i)) return SQ_ERROR;
            value.SetInt(i);
            break;
        }
        case OT_FLOAT: {
            float f;
            if (!s.GetFloat(3, f)) return SQ_ERROR;
            value.SetFloat(f);
            break;
        }
        case OT_STRING: {
            const char* text;
            if (!s.GetString(3, text)) return SQ_ERROR;
            value.SetString(text);
            break;
        }
        default:
            *g_log << "[*] Incorrect binding argument count.\n";
            break;
    }
    if (nItem* node = item->GetItem()) node->GetRegistry().CreatePath(path, &value);
    return s.Return();
}

// The value at the path by its type; -1 when the tag is missing or holds no such value.
SQInteger ItemRegistryGetKey(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nMItem* item;
    const char* path;
    if (!s.Args(item, path)) return SQ_ERROR;
    nItem* node = item->GetItem();
    nMetaTag* tag = node ? FindMetaTagByPath(&node->GetRegistry().GetRoots(), path, false) : 0;
    return s.ReturnTagValue(tag);
}

}  // namespace

const ScriptFunctionDecl g_ItemMotionScriptFunctions[] = {
    {"ItemGetMotion", ItemGetMotion, ".xs"},
    {"ItemGetMotionFromIndex", ItemGetMotionFromIndex, ".xi"},
    {"ItemSetMotion", ItemSetMotion, ".xixnnnn"},
    {"ItemMotionSlotSet", ItemSetMotion, ".xixnnnn"},
    {"ItemStopMotion", ScriptCall<&nMItem::Clear, nMItem>, ".x"},
    {"ItemMotionSlotStop", ScriptCall<&nMItem::Clear, nMItem>, ".xi"},
    {"ItemIsMotionPlaying", ScriptGet<&nMItem::IsPlaying, nMItem>, ".x"},
    {"ItemMotionSlotIsPlaying", ScriptGet<&nMItem::IsPlaying, nMItem>, ".xi"},
    {"ItemIsMotionDone", ScriptGet<&nMItem::IsDone, nMItem>, ".x"},
    {"ItemMotionSlotIsDone", ScriptGet<&nMItem::IsDone, nMItem>, ".xi"},
    {"ItemMotionSlotGetTime", ItemMotionSlotGetTime, ".xi"},
    {"ItemMotionSlotSetTime", SetFirstSource<&nAnimationSource::SetClock>, ".xin"},
    {"ItemMotionSlotGetClockScale", ItemMotionSlotGetClockScale, ".xi"},
    {"ItemMotionSlotSetClockScale", SetFirstSource<&nAnimationSource::SetClockScale>, ".xin"},
    {"ItemMotionSlotGet", ItemMotionSlotGet, ".xi"},
    {"ItemMotionGetClockScale", ScriptGet<NoClockScale>, ".x"},
    {"ItemMotionSetClockScale", ScriptCheckOnly<nMItem>, ".xn"},
    {"ItemMotionGetPaused", ScriptGet<NeverPaused>, ".x"},
    {"ItemMotionSetPaused", ScriptCheckOnly<nMItem>, ".xb"},
    {"ItemMotionSetPropagation", ScriptCheckOnly<nMItem>, ".xbb"},
    {"ItemReplicateItemMotion", ItemReplicateItemMotion, ".xx"},
    {"ItemSetCommandList", ItemSetCommandList, ".xs"},
    {"ItemResetCommandList", ScriptCall<&nMItem::ResetCommandList, nMItem>, ".x"},
    {"ItemIsCommandListDone", ScriptGet<&nMItem::IsCommandListDone, nMItem>, ".x"},
    {"ItemSetScript", ItemSetScript, ".xss"},
    {"ItemSetupScript", ScriptCall<&nMItem::SetupScript>, ".x"},
    {"ItemHasScript", ItemHasScript, ".xs"},
    {"ItemGetScriptInstance", ItemGetScriptInstance, ".x"},
    {"ItemGetScriptInstanceCount", ItemGetScriptInstanceCount, ".x"},
    {"ItemGetScriptInstanceFromIndex", ItemGetScriptInstanceFromIndex, ".xi"},
    {"ItemGetScriptInstanceFromClass", ItemGetScriptInstanceFromClass, ".xs"},
    {"ItemGetScriptLogicFrequency", ScriptGet<&nMItem::GetLogicRate>, ".x"},
    {"ItemSetScriptLogicFrequency", ScriptSet<&nMItem::SetLogicRate>, ".xn"},  // stored as given; the evaluation uses at least 0.1 calls per second
    {"ItemRegistrySetKey", ItemRegistrySetKey, ".xs."},
    {"ItemRegistryGetKey", ItemRegistryGetKey, ".xs"},
    {0, 0, 0}};

const ScriptConstantDecl g_ItemMotionScriptConstants[] = {
    {0, 0, 0}};
