// Script binding costs against the raw Squirrel API in the same run:
// - an engine event into a script method with its owner as argument (the machine's
//   BeginCall / PushArgument / ExecuteCall with a new owner CObject) against the same call
//   made with raw API calls and a bare user record;
// - a native function called from a script loop (registered with its mask, read and answered
//   through the frame) against a raw native closure;
// - a cheap function of each family against an empty native function, and MatrixToEuler
//   against its own work written on the raw API (the binding's share of a call that builds
//   a new instance).

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include <squirrel.h>

#include "core/nMatrix.h"
#include "core/nScriptObject.h"
#include "core/nScriptValue.h"
#include "core/nVector.h"
#include "hub/nOrvex.h"
#include "script/nCObject.h"
#include "script/nScriptBinding.h"
#include "script/nScriptMath.h"
#include "script/nSquirrelObject.h"
#include "script/nSquirrelVM.h"
#include "scriptapi/nScriptAPI.h"

namespace {

const char* const s_unit =
    "class Unit {\n"
    "  hits = 0;\n"
    "  function OnUpdate(owner) { hits++; }\n"
    "}\n"
    "unit <- Unit();\n";

void RunText(HSQUIRRELVM v, const char* text)
{
    SQInteger top = sq_gettop(v);
    if (SQ_SUCCEEDED(sq_compilebuffer(v, text, std::strlen(text), "bench", SQTrue))) {
        sq_pushroottable(v);
        sq_call(v, 1, SQFalse, SQTrue);
    }
    sq_settop(v, top);
}

struct Owner
{
    int id;
};

void EventThroughMachine(benchmark::State& state)
{
    nSquirrelVM vm(0);
    vm.Open();
    RunText(vm.GetHandle(), s_unit);
    nScriptObject* unit = vm.GetObject("unit", 0);
    nScriptObject* method = vm.GetObject("OnUpdate", unit);
    Owner owner{1};
    nScriptValue owner_value(objectTypeItem, &owner);
    for (auto _ : state) {
        vm.BeginCall(0, method, unit);
        vm.PushArgument(owner_value);
        vm.ExecuteCall(0);
    }
    delete method;
    delete unit;
    vm.Close();
}
BENCHMARK(EventThroughMachine);

SQInteger ReleaseRecord(SQUserPointer p, SQInteger)
{
    std::free(p);
    return 0;
}

void EventRawApi(benchmark::State& state)
{
    HSQUIRRELVM v = sq_open(1024);
    RunText(v, s_unit);
    RunText(v, "class Holder {}\n");
    HSQOBJECT unit, method, holder;
    sq_pushroottable(v);
    sq_pushstring(v, "unit", -1);
    sq_get(v, -2);
    sq_getstackobj(v, -1, &unit);
    sq_addref(v, &unit);
    sq_pushstring(v, "OnUpdate", -1);
    sq_get(v, -2);
    sq_getstackobj(v, -1, &method);
    sq_addref(v, &method);
    sq_settop(v, 0);
    sq_pushroottable(v);
    sq_pushstring(v, "Holder", -1);
    sq_get(v, -2);
    sq_getstackobj(v, -1, &holder);
    sq_addref(v, &holder);
    sq_settop(v, 0);
    Owner owner{1};
    for (auto _ : state) {
        SQInteger top = sq_gettop(v);
        sq_pushobject(v, method);
        sq_pushobject(v, unit);
        sq_pushobject(v, holder);
        sq_createinstance(v, -1);
        struct Record
        {
            int type;
            void* native;
        };
        Record* r = static_cast<Record*>(std::malloc(sizeof(Record)));
        r->type = objectTypeItem;
        r->native = &owner;
        sq_setinstanceup(v, -1, r);
        sq_setreleasehook(v, -1, ReleaseRecord);
        sq_remove(v, -2);
        sq_call(v, 2, SQFalse, SQTrue);
        sq_settop(v, top);
    }
    sq_release(v, &unit);
    sq_release(v, &method);
    sq_release(v, &holder);
    sq_close(v);
}
BENCHMARK(EventRawApi);

const char* const s_loop =
    "function Loop(n, object) { local s = 0; for (local i = 0; i < n; i++) s += Twice(i, object); return s; }\n";
const int s_loopCount = 1000;

// Twice(i, object): checks the object is an Item, returns 2 i.
SQInteger TwiceFramed(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    int32_t i;
    Owner* owner;
    if (!s.GetInt(1, i) || !s.GetObject(2, objectTypeItem, &owner)) return SQ_ERROR;
    return s.Return(i * owner->id * 2);
}

SQInteger TwiceRaw(HSQUIRRELVM v)
{
    SQInteger i;
    SQUserPointer p = 0;
    sq_getinteger(v, 2, &i);
    if (SQ_FAILED(sq_getinstanceup(v, 3, &p, 0)) || !p) return sq_throwerror(v, "bad object");
    struct Record
    {
        int type;
        void* native;
    };
    Record* r = static_cast<Record*>(p);
    if (r->type != objectTypeItem || !r->native) return sq_throwerror(v, "bad object");
    sq_pushinteger(v, i * static_cast<Owner*>(r->native)->id * 2);
    return 1;
}

// Calls Loop(n, object) with the object on top of the stack.
void CallLoop(HSQUIRRELVM v)
{
    SQInteger top = sq_gettop(v);
    sq_pushroottable(v);
    sq_pushstring(v, "Loop", -1);
    sq_get(v, -2);
    sq_pushroottable(v);
    sq_pushinteger(v, s_loopCount);
    sq_push(v, top);
    sq_call(v, 3, SQTrue, SQTrue);
    sq_settop(v, top);
}

void NativeThroughFrame(benchmark::State& state)
{
    nSquirrelVM vm(0);
    vm.Open();
    HSQUIRRELVM v = vm.GetHandle();
    ScriptRegisterFunction(v, TwiceFramed, "Twice", ".ix");
    RunText(v, s_loop);
    Owner owner{1};
    ScriptPushNativeObject(v, &owner, objectTypeItem, false);
    for (auto _ : state)
        CallLoop(v);
    state.SetItemsProcessed(state.iterations() * s_loopCount);
    vm.Close();
}
BENCHMARK(NativeThroughFrame);

void NativeRawClosure(benchmark::State& state)
{
    HSQUIRRELVM v = sq_open(1024);
    sq_pushroottable(v);
    sq_pushstring(v, "Twice", -1);
    sq_newclosure(v, TwiceRaw, 0);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);
    RunText(v, s_loop);
    RunText(v, "class Holder {}\n");
    Owner owner{1};
    sq_pushroottable(v);
    sq_pushstring(v, "Holder", -1);
    sq_get(v, -2);
    sq_createinstance(v, -1);
    struct Record
    {
        int type;
        void* native;
    };
    Record* r = static_cast<Record*>(std::malloc(sizeof(Record)));
    r->type = objectTypeItem;
    r->native = &owner;
    sq_setinstanceup(v, -1, r);
    sq_setreleasehook(v, -1, ReleaseRecord);
    sq_remove(v, -2);
    sq_remove(v, -2);
    for (auto _ : state)
        CallLoop(v);
    state.SetItemsProcessed(state.iterations() * s_loopCount);
    sq_close(v);
}
BENCHMARK(NativeRawClosure);

// One million calls of a cheap function of each family against an empty native function of
// the same mask in the same run: the binding's overhead over the call itself (target: at
// most twice the empty function's time).

SQInteger EmptyNative(HSQUIRRELVM)
{
    return 0;
}

// MatrixToEuler's own work written straight on the Squirrel API, with no binding: read the
// matrix and the order, convert, and answer a new Vector instance holding the angles. Against
// it, MatrixToEuler shows the binding's share; against the empty function, the whole call.
HSQOBJECT s_vectorClass;  // the running machine's Vector class, found before the loop

SQInteger RawMatrixToEuler(HSQUIRRELVM v)
{
    SQUserPointer p = 0;
    SQInteger order = 0;
    if (SQ_FAILED(sq_getinstanceup(v, 2, &p, (SQUserPointer)&g_Matrix3ClassDecl)) || !p) return sq_throwerror(v, "bad matrix");
    sq_getinteger(v, 3, &order);
    nVector angles = static_cast<nMatrix3*>(p)->ToEuler((nRotationOrder)order);
    sq_pushobject(v, s_vectorClass);
    sq_createinstance(v, -1);
    sq_remove(v, -2);
    SQUserPointer reserve = 0;
    sq_getinstanceup(v, -1, &reserve, 0);
    new (reserve) nVector(angles);
    sq_setreleasehook(v, -1, ScriptReleaseInlineValue);
    return 1;
}

const int s_familyCalls = 1000000;

// Runs "for (...) <call>" a million times on a machine with the whole API and a few objects.
void FamilyCalls(benchmark::State& state, const char* call)
{
    nOrvex engine;
    nSquirrelVM vm(&engine);
    vm.Open();
    HSQUIRRELVM v = vm.GetHandle();
    RegisterScriptAPI(v);
    ScriptRegisterFunction(v, EmptyNative, "EmptyOne", ".x");
    ScriptRegisterFunction(v, EmptyNative, "EmptyNone", ".");
    ScriptRegisterFunction(v, RawMatrixToEuler, "RawMatrixToEuler", ".xi");
    sq_pushroottable(v);
    sq_pushstring(v, "Vector", -1);
    sq_rawget(v, -2);
    sq_getstackobj(v, -1, &s_vectorClass);  // held by the root table while the machine runs
    sq_pop(v, 2);
    sq_pushroottable(v);
    sq_pushstring(v, "g_engine", -1);
    ScriptPushNativeObject(v, &engine, objectTypeEngine, false);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);
    RunText(v, "::doc <- MetafileNew(); ::tag <- MetafileAddRoot(doc, \"T\"); ::m <- Matrix3();");
    std::string text = std::string("function Calls(n) { for (local i = 0; i < n; i++) ") + call + "; }\n";
    RunText(v, text.c_str());
    for (auto _ : state) {
        SQInteger top = sq_gettop(v);
        sq_pushroottable(v);
        sq_pushstring(v, "Calls", -1);
        sq_get(v, -2);
        sq_pushroottable(v);
        sq_pushinteger(v, s_familyCalls);
        sq_call(v, 2, SQFalse, SQTrue);
        sq_settop(v, top);
    }
    state.SetItemsProcessed(state.iterations() * s_familyCalls);
    vm.Close();
}

BENCHMARK_CAPTURE(FamilyCalls, EmptyNone, "EmptyNone()")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FamilyCalls, SystemGetClockFrequency, "SystemGetClockFrequency()")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FamilyCalls, EmptyOne, "EmptyOne(g_engine)")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FamilyCalls, EngineGetClockScale, "EngineGetClockScale(g_engine)")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FamilyCalls, MetatagGetType, "MetatagGetType(tag)")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FamilyCalls, CObjectType, "g_engine.type()")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FamilyCalls, EmptyOneMatrix, "EmptyOne(m)")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FamilyCalls, MatrixToEuler, "MatrixToEuler(m, 4)")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FamilyCalls, RawMatrixToEuler, "RawMatrixToEuler(m, 4)")->Unit(benchmark::kMillisecond);

}  // namespace
