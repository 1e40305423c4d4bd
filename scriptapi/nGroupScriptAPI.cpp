// The Group functions (a named set of a scene's items addressed as a unit), the Instance
// function (the items of an instance's template copy) and the Trigger functions (the items
// inside a trigger).

#include "core/nList.h"
#include "core/nMatrix.h"
#include "scene/nGroup.h"
#include "scene/nInstance.h"
#include "scene/nMItem.h"
#include "scene/nTrigger.h"
#include "script/nCObject.h"
#include "script/nScriptBinding.h"
#include "scriptapi/nItemScriptAccessors.h"
#include "scriptapi/nItemScriptArgs.h"
#include "scriptapi/nSceneScriptAPI.h"
#include "scriptapi/nSceneScriptArgs.h"

namespace {

// Groups.

SQInteger GroupGetItemList(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nGroup* group;
    if (!s.Args(group)) return SQ_ERROR;
    s.NewArray();
    for (nListNode<nMItem*>* n = group->GetItems().GetHead(); n; n = n->next) s.Append(ScriptReturnItem(s, n->value));
    return 1;
}

SQInteger GroupGetRootItem(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nGroup* group;
    if (!s.Args(group)) return SQ_ERROR;
    return ScriptReturnItem(s, group->GetRootItem());
}

SQInteger GroupFindItem(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nGroup* group;
    const char* name;
    if (!s.Args(group, name)) return SQ_ERROR;
    return ScriptReturnItem(s, group->FindItem(name));
}

SQInteger GroupItemIsMember(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nGroup* group;
    nMItem* item;
    if (!s.Args(group, item)) return SQ_ERROR;
    return s.Return(group->ContainsItem(item));
}

void Reset(nGroup* group) { group->Reset(false); }

// Instances: the members of the template group, none before the template is loaded.

SQInteger InstanceGetItemList(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nInstance* instance;
    if (!s.Args(instance)) return SQ_ERROR;
    s.NewArray();
    if (nGroup* group = instance->GetGroup())
        for (nListNode<nMItem*>* n = group->GetItems().GetHead(); n; n = n->next) s.Append(ScriptReturnItem(s, n->value));
    return 1;
}

// Triggers: a record stands exactly while its item is inside.

SQInteger TriggerGetItemList(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nTrigger* trigger;
    if (!s.Args(trigger)) return SQ_ERROR;
    s.NewArray();
    for (nListNode<nTriggerItem*>* n = trigger->GetRecords().GetHead(); n; n = n->next)
        s.Append(ScriptReturnItem(s, n->value->item));
    return 1;
}

SQInteger TriggerTestItem(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nTrigger* trigger;
    nMItem* item;
    if (!s.Args(trigger, item)) return SQ_ERROR;
    bool inside = false;
    for (nListNode<nTriggerItem*>* n = trigger->GetRecords().GetHead(); n && !inside; n = n->next)
        inside = n->value->item == item;
    return s.Return(inside);
}

}  // namespace

const ScriptFunctionDecl g_GroupScriptFunctions[] = {
    {"GroupGetItemList", GroupGetItemList, ".x"},
    {"GroupGetRootItem", GroupGetRootItem, ".x"},
    {"GroupSetRootItem", ScriptSet<&nGroup::SetRootItem>, ".xx"},
    {"GroupFindItem", GroupFindItem, ".xs"},
    {"GroupItemIsMember", GroupItemIsMember, ".xx"},
    {"GroupActivate", ScriptSet<&nGroup::SetActive>, ".xb"},
    {"GroupSetInvisible", ScriptSet<&nGroup::SetInvisible>, ".xb"},
    {"GroupOffsetMatrix", ScriptSet<&nGroup::OffsetMatrix>, ".xx"},
    {"GroupSetup", ScriptCall<&nGroup::Setup>, ".x"},
    {"GroupSetupScript", ScriptCall<&nGroup::SetupScript>, ".x"},
    {"GroupReset", ScriptCall<Reset>, ".x"},
    {"GroupSetMotion", ScriptSetMotion<nGroup, false>, ".xsn"},  // every member
    {0, 0, 0}};

const ScriptFunctionDecl g_InstanceScriptFunctions[] = {
    {"InstanceGetItemList", InstanceGetItemList, ".x"},
    {0, 0, 0}};

const ScriptFunctionDecl g_TriggerScriptFunctions[] = {
    {"TriggerGetItemList", TriggerGetItemList, ".x"},
    {"TriggerTestItem", TriggerTestItem, ".xx"},
    {0, 0, 0}};

void RegisterGroupScriptAPI(HSQUIRRELVM v)
{
    ScriptRegisterSourceListLifetime();
    ScriptRegisterFunctions(v, g_GroupScriptFunctions);
}

void RegisterInstanceScriptAPI(HSQUIRRELVM v)
{
    ScriptRegisterFunctions(v, g_InstanceScriptFunctions);
}

void RegisterTriggerScriptAPI(HSQUIRRELVM v)
{
    ScriptRegisterFunctions(v, g_TriggerScriptFunctions);
}
