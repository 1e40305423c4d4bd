// Script units under a scene evaluation against raw Squirrel calls, in the same run:
// - a scene of 1,000 items, each with a unit whose class has OnUpdate, evaluated once per
//   iteration with the script stage on (the items themselves do nothing else);
// - the same number of raw calls: the same methods on the same instances with the same owner
//   objects (those the units hand their calls), from plain handles, through the bare API.
// UnitsAgainstRawCalls times both alternately and reports their ratio ("ratio", wanted at
// most 1.5).

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <vector>

#include <squirrel.h>

#include "hub/nOrvex.h"
#include "core/nScriptObject.h"
#include "core/nScriptValue.h"
#include "scene/nScene.h"
#include "scriptiface/nScriptEventDispatcher.h"
#include "scriptiface/nScriptUnit.h"
#include "script/nCObject.h"
#include "script/nSquirrelObject.h"
#include "script/nSquirrelVM.h"
#include "tests/scene/kit/nKitClock.h"
#include "tests/scene/kit/nKitItem.h"
#include "tests/support/nTempDir.h"

namespace {

const int kItems = 1000;

// Every unit runs the file again; the class is declared by the first run only, so that all
// units share it as the raw instances do.
const char* const kUnitScript =
    "if (!(\"Spinner\" in getroottable())) ::Spinner <- class {\n"
    "  turns = 0;\n"
    "  function OnUpdate(owner) { turns++; }\n"
    "};\n";

// 1,000 items with a set-up unit each, on their own machine.
struct UnitScene
{
    UnitScene()
    {
        dir.Write("spinner.nut", kUnitScript);
        vm.Open();
        scene = new nScene(&engine, &vm);
        std::string path = dir.Path("spinner.nut");
        for (int i = 0; i < kItems; ++i) {
            nKitItem* item = CreateKitItem(scene, "spinner");
            nScriptUnit* unit = item->CreateScriptUnit();
            unit->SetScriptPath(path.c_str());
            unit->SetClassName("Spinner");
            item->SetupScript();
        }
        SetEngineFrameTime(&engine, 166);
    }
    ~UnitScene()
    {
        delete scene;
        vm.Close();
    }
    void Frame() { scene->Evaluate(SceneEvaluateScript); }

    nOrvex engine;
    nTempDir dir;
    nSquirrelVM vm{&engine};
    nScene* scene = 0;
};

// The same calls made raw: for every unit of the scene, its instance, its cached OnUpdate and
// the script object of its owner that the unit hands its calls, held as plain handles in one
// array and called with the bare API on the same machine. (Owner objects made here instead
// would be other objects, allocated side by side.)
struct RawCalls
{
    explicit RawCalls(UnitScene& s) : v(s.vm.GetHandle())
    {
        for (nListNode<nMItem*>* n = s.scene->GetAllItems().GetHead(); n; n = n->next) {
            nManagerScriptUnit* unit = static_cast<nManagerScriptUnit*>(n->value->GetScriptUnits().GetHead()->value);
            Call call;
            call.method = Handle(unit->GetCached(nManagerScriptUnit::CachedOnUpdate));
            call.instance = Handle(unit->GetInstance());
            call.owner = Handle(unit->GetOwnerObject());
            calls.push_back(call);
        }
    }
    static HSQOBJECT Handle(nScriptObject* o) { return static_cast<nSquirrelObject*>(o)->GetHandle(); }
    void Frame()
    {
        for (const Call& c : calls) {
            SQInteger top = sq_gettop(v);
            sq_pushobject(v, c.method);
            sq_pushobject(v, c.instance);
            sq_pushobject(v, c.owner);
            sq_call(v, 2, SQFalse, SQTrue);
            sq_settop(v, top);
        }
    }

    struct Call
    {
        HSQOBJECT method, instance, owner;
    };
    HSQUIRRELVM v;
    std::vector<Call> calls;
};

void SceneUnitsOnUpdate(benchmark::State& state)
{
    UnitScene s;
    for (auto _ : state) s.Frame();
    state.SetItemsProcessed(state.iterations() * kItems);
}
BENCHMARK(SceneUnitsOnUpdate);

void RawSquirrelCalls(benchmark::State& state)
{
    UnitScene s;
    RawCalls r(s);
    for (auto _ : state) r.Frame();
    state.SetItemsProcessed(state.iterations() * kItems);
}
BENCHMARK(RawSquirrelCalls);

void UnitsAgainstRawCalls(benchmark::State& state)
{
    typedef std::chrono::steady_clock Clock;
    UnitScene s;
    RawCalls r(s);
    Clock::duration scene{}, raw{};
    for (auto _ : state) {
        Clock::time_point t0 = Clock::now();
        s.Frame();
        Clock::time_point t1 = Clock::now();
        r.Frame();
        Clock::time_point t2 = Clock::now();
        scene += t1 - t0;
        raw += t2 - t1;
    }
    double iterations = (double)state.iterations();
    state.counters["scene_us"] = std::chrono::duration<double, std::micro>(scene).count() / iterations;
    state.counters["raw_us"] = std::chrono::duration<double, std::micro>(raw).count() / iterations;
    state.counters["ratio"] = raw.count() > 0 ? (double)scene.count() / (double)raw.count() : 0.0;
}
BENCHMARK(UnitsAgainstRawCalls);

}
