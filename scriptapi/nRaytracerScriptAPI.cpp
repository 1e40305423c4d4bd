// The Raytracer functions. Sizes from scripts are checked before they reach the raytracer: a
// trace of no size or beyond the raytracer's limit, and spread tables of no size, are refused
// with a line; larger tables are capped.

#include <new>

#include "core/nLog.h"
#include "core/nString.h"
#include "render/raytrace/nRaytracer.h"
#include "resources/nPicture.h"
#include "resources/nPictureTGA.h"
#include "scene/nScene.h"
#include "script/nCObject.h"
#include "script/nScriptBinding.h"
#include "scriptapi/nItemScriptAccessors.h"
#include "scriptapi/nRaytracerScriptAPI.h"
#include "scriptapi/nScriptObjectKinds.h"

namespace {

void DestroyRaytracer(void* native)
{
    delete static_cast<nRaytracer*>(native);
}

// A size a script gives: 1 to limit, else one line naming what it was for.
bool SizeInRange(SQInteger value, SQInteger limit, const char* what)
{
    if (value >= 1 && value <= limit) return true;
    *g_log << "[!] Raytracer " << what << " " << nString::Format("%lld", (long long)value).GetCStr()
           << " is outside 1 to " << (int32_t)limit << ".\n";
    return false;
}

SQInteger EngineNewRaytracer(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nOrvex* engine;
    if (!s.Args(engine)) return SQ_ERROR;
    nRaytracer* raytracer = new (std::nothrow) nRaytracer(engine);
    return s.ReturnObject(static_cast<void*>(raytracer), objectTypeRaytracer, raytracer != 0);
}

// The raytracer goes with its script object; the entry is kept for the scripts that call it.
SQInteger RaytracerDeleteSelf(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nRaytracer* raytracer;
    if (!s.Args(raytracer)) return SQ_ERROR;
    *g_log << "[*] RaytracerDeleteSelf() is now obsolete, you can remove this call.\n";
    return s.Return();
}

SQInteger RaytracerSetAntialias(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nRaytracer* raytracer;
    bool enable, jitter;
    SQInteger samples;
    float threshold;
    if (!s.Args(raytracer, enable, samples, threshold, jitter)) return SQ_ERROR;
    if (samples > kRaytraceMaxSamples) samples = kRaytraceMaxSamples;  // the raytracer takes below 1 as 1
    if (samples < 0) samples = 0;
    nRaytracerSettings settings;
    raytracer->GetSettings(settings);
    settings.antialias = enable ? 1 : 0;
    settings.antialiasSamples = (int32_t)samples;
    settings.antialiasThreshold = threshold;
    settings.jitter = jitter ? 1 : 0;
    raytracer->SetSettings(settings);
    return s.Return();
}

SQInteger RaytracerSetGlobalIllum(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nRaytracer* raytracer;
    bool enable;
    SQInteger tableSize, bounces;
    if (!s.Args(raytracer, enable, tableSize, bounces)) return SQ_ERROR;
    if (tableSize < 1) {
        SizeInRange(tableSize, kRaytraceMaxSpreadSize, "spread table size");
        return s.Return();
    }
    if (tableSize > kRaytraceMaxSpreadSize) {
        *g_log << "[*] Raytracer spread table size " << nString::Format("%lld", (long long)tableSize).GetCStr()
               << " capped to " << kRaytraceMaxSpreadSize << ".\n";
        tableSize = kRaytraceMaxSpreadSize;
    }
    nRaytracerSettings settings;
    raytracer->GetSettings(settings);
    settings.globalIllumination = enable ? 1 : 0;
    settings.spreadSize = (int32_t)tableSize;
    settings.giBounces = bounces < 0 ? 0 : (bounces > 64 ? 64 : (int32_t)bounces);
    raytracer->SetSettings(settings);
    return s.Return();
}

SQInteger RaytracerSetInterlace(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nRaytracer* raytracer;
    bool enable, startField;
    if (!s.Args(raytracer, enable, startField)) return SQ_ERROR;
    nRaytracerSettings settings;
    raytracer->GetSettings(settings);
    settings.interlaced = enable ? 1 : 0;
    settings.startField = startField ? 1 : 0;
    raytracer->SetSettings(settings);
    return s.Return();
}

SQInteger RaytracerSetScene(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nRaytracer* raytracer;
    nScene* scene;
    if (!s.Args(raytracer, scene)) return SQ_ERROR;
    return s.Return(raytracer->SetScene(scene));
}

SQInteger RaytracerTrace(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nRaytracer* raytracer;
    const char* path;
    SQInteger width, height;
    if (!s.Args(raytracer, path, width, height)) return SQ_ERROR;
    if (!SizeInRange(width, kRaytraceMaxSize, "width") || !SizeInRange(height, kRaytraceMaxSize, "height"))
        return s.Return(false);
    nPicture picture;
    if (!raytracer->Trace(picture, (int32_t)width, (int32_t)height) || !picture.GetPixels()) return s.Return(false);
    return s.Return(SavePictureTGA(path, picture));
}

}  // namespace

const ScriptFunctionDecl g_RaytracerScriptFunctions[] = {
    {"EngineNewRaytracer", EngineNewRaytracer, ".x"},
    {"RaytracerDeleteSelf", RaytracerDeleteSelf, ".x"},
    {"RaytracerSetAntialias", RaytracerSetAntialias, ".xbinb"},
    {"RaytracerSetGlobalIllum", RaytracerSetGlobalIllum, ".xbii"},
    {"RaytracerSetInterlace", RaytracerSetInterlace, ".xbb"},
    {"RaytracerStartInterlacedSequence", ScriptCall<&nRaytracer::StartInterlacedSequence>, ".x"},
    {"RaytracerSetScene", RaytracerSetScene, ".xx"},
    {"RaytracerTrace", RaytracerTrace, ".xsii"},
    {0, 0, 0},
};

void RegisterRaytracerScriptAPI(HSQUIRRELVM v)
{
    ScriptSetObjectTypeLifetime(objectTypeRaytracer, nObjectTypeLifetime{0, 0, DestroyRaytracer});
    ScriptRegisterFunctions(v, g_RaytracerScriptFunctions);
}
