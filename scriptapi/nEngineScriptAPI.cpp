// The Engine functions (the engine's resource caches and loaders, its draw bracket, clock
// settings, renderer and tool mode) and the System functions (process clock, sleeping, the
// random generator, platform and locale names, file caching).

#include <cmath>
#include <cstring>
#include <new>

#include "core/nClock.h"
#include "core/nIO.h"
#include "core/nLog.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "core/nRandom.h"
#include "core/nThread.h"
#include "hub/nOrvex.h"
#include "resources/nGeometry.h"
#include "resources/nPicture.h"
#include "resources/nPictureFormat.h"
#include "resources/nResourceCache.h"
#include "resources/nResourceLoader.h"
#include "resources/nSound.h"
#include "resources/nTexture.h"
#include "script/nCObject.h"
#include "script/nScriptBinding.h"
#include "scriptapi/nEngineScriptAPI.h"
#include "scriptapi/nItemScriptAccessors.h"
#include "scriptapi/nScriptAPI.h"
#include "scriptapi/nScriptObjectKinds.h"

// A whole number given as any script number: a float is truncated; NaN, infinities and values
// outside the 32-bit range raise "Number out of range" rather than converting undefined.
bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, ScriptWholeNumber& out)
{
    if (s.GetType(arg) == OT_INTEGER) {
        SQInteger i;
        if (!s.GetInt64(arg, i)) return false;
        if (i < INT32_MIN || i > INT32_MAX) {
            s.Error("Number out of range");
            return false;
        }
        out.value = (int32_t)i;
        return true;
    }
    float f;
    if (!s.GetFloat(arg, f)) return false;
    if (!(f >= -2147483648.0f && f < 2147483648.0f)) {
        s.Error("Number out of range");
        return false;
    }
    out.value = (int32_t)f;
    return true;
}

namespace {

// Script objects of the shared resources hold one reference on them, so an object loaded past
// the cache lives exactly as long as scripts hold it and a cached one outlives its cache
// entry while a script holds it.
void RetainShared(void* native) { static_cast<nSharedObject*>(native)->AddRef(); }
void ReleaseShared(void* native) { static_cast<nSharedObject*>(native)->Release(); }

void HoldSharedResources()
{
    const nObjectTypeLifetime shared = {RetainShared, ReleaseShared, 0};
    ScriptSetObjectTypeLifetime(objectTypeGeometry, shared);
    ScriptSetObjectTypeLifetime(objectTypeTexture, shared);
    ScriptSetObjectTypeLifetime(objectTypePicture, shared);
}

SQInteger ReturnCache(ScriptStackHandler& s, nResourceCache* cache)
{
    return s.ReturnObject(static_cast<void*>(cache), objectTypeResourceCache, false);
}

// Caches.

SQInteger NewResourceCache(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nOrvex* engine;
    if (!s.Args(engine)) return SQ_ERROR;
    return ReturnCache(s, engine->NewResourceCache());
}

SQInteger GetResourceCache(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nOrvex* engine;
    if (!s.Args(engine)) return SQ_ERROR;
    return ReturnCache(s, engine->GetResourceCache());
}

SQInteger SetResourceCache(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nOrvex* engine;
    nResourceCache* cache;
    if (!s.Args(engine, cache)) return SQ_ERROR;
    return ReturnCache(s, engine->SetResourceCache(cache));
}

// Script objects of what the cache is about to free become deleted ones: a shared resource
// only the cache holds, and every sound.
template<class T>
void InvalidateLastHeld(nList<nSharedPtr<T>>& list)
{
    for (typename nList<nSharedPtr<T>>::Node* n = list.GetHead(); n; n = n->next)
        if (n->value.Get() && n->value->GetRefCount() == 1) nCObject::Invalidate(n->value.Get());
}

void ClearCache(nResourceCache* cache)
{
    InvalidateLastHeld(cache->GetGeometryList(false));
    InvalidateLastHeld(cache->GetGeometryList(true));
    InvalidateLastHeld(cache->GetTextureList(false));
    InvalidateLastHeld(cache->GetTextureList(true));
    InvalidateLastHeld(cache->GetPictureList());
    for (nResourceCache::SoundList::Node* n = cache->GetSoundList().GetHead(); n; n = n->next)
        nCObject::Invalidate(n->value);
    cache->Clear();
}

SQInteger ClearResourceCache(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nOrvex* engine;
    if (!s.Args(engine)) return SQ_ERROR;
    if (nResourceCache* cache = engine->GetResourceCache()) ClearCache(cache);
    return s.Return();
}

SQInteger GetCacheGeometryList(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nOrvex* engine;
    if (!s.Args(engine)) return SQ_ERROR;
    s.NewArray();
    if (nResourceCache* cache = engine->GetResourceCache())
        for (nResourceCache::GeometryList::Node* n = cache->GetGeometryList(false).GetHead(); n; n = n->next)
            s.Append(s.ReturnObject(static_cast<void*>(n->value.Get()), objectTypeGeometry, false));
    return 1;
}

SQInteger OutputCacheStatistics(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nOrvex* engine;
    if (!s.Args(engine)) return SQ_ERROR;
    nResourceCache* cache = engine->GetResourceCache();
    if (!cache) return s.Return();
    *g_log << "[H] "
           << "Engine resource cache statistics\n"
           << "  - " << cache->GetGeometryList(true).GetCount() << " geometries (CPU),\n"
           << "  - " << cache->GetGeometryList(false).GetCount() << " geometries (GPU),\n"
           << "  - " << cache->GetTextureList(true).GetCount() << " textures (CPU),\n"
           << "  - " << cache->GetTextureList(false).GetCount() << " textures (GPU),\n"
           << "  - " << cache->GetSoundList().GetCount() << " sounds.\n"
           << "\n";
    return s.Return();
}

SQInteger FindTexture(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nOrvex* engine;
    const char* name;
    if (!s.Args(ScriptOrNull(engine), name)) return SQ_ERROR;
    nResourceCache* cache = engine ? engine->GetResourceCache() : 0;
    nTexture* texture = cache ? cache->FindTexture(name, false) : 0;
    return s.ReturnObject(static_cast<void*>(texture), objectTypeTexture, false);
}

// Textures made by scripts: a zero-filled RGBA picture of a sane size, set up on the renderer.
// The current cache keeps them (unnamed, so no load finds them) until it is cleared.
const int32_t kMaxTextureSide = 16384;

nTexture* CreateTexture(nOrvex* engine, int32_t width, int32_t height, uint32_t flags)
{
    if (width < 1 || height < 1 || width > kMaxTextureSide || height > kMaxTextureSide) {
        *g_log << "[!] Cannot create a texture of " << width << " x " << height << " pixels (1 to "
               << kMaxTextureSide << " a side).\n";
        return 0;
    }
    nTexture* texture = new (std::nothrow) nTexture(engine, 0, 0);
    if (!texture || !texture->Allocate((uint32_t)width, (uint32_t)height, PixelFormatRGBA8)) {
        *g_log << "[!] Could not allocate a texture of " << width << " x " << height << " pixels.\n";
        delete texture;
        return 0;
    }
    std::memset(texture->GetPixels(), 0, texture->GetByteSize());
    texture->SetFlags(flags);
    texture->Setup();
    if (nResourceCache* cache = engine->GetResourceCache()) cache->AddTexture(texture, false);
    return texture;
}

SQInteger CreateCanvasTexture(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nOrvex* engine;
    ScriptWholeNumber width, height;
    if (!s.Args(engine, width, height)) return SQ_ERROR;
    nTexture* texture = CreateTexture(engine, width.value, height.value, TextureKeepPixels | TextureRenderTarget);
    return s.ReturnObject(static_cast<void*>(texture), objectTypeTexture, false);
}

SQInteger CreateTextureFunction(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nOrvex* engine;
    ScriptWholeNumber width, height;
    bool target;
    if (!s.Args(engine, width, height, target)) return SQ_ERROR;
    nTexture* texture = CreateTexture(engine, width.value, height.value, target ? TextureRenderTarget : 0);
    return s.ReturnObject(static_cast<void*>(texture), objectTypeTexture, false);
}

// Loaders: (engine, path) -> the resource as its kind.
template<class T, T* (*Load)(nOrvex*, const char*), int32_t Kind>
SQInteger LoadResource(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nOrvex* engine;
    const char* path;
    if (!s.Args(engine, path)) return SQ_ERROR;
    return s.ReturnObject(static_cast<void*>(Load(engine, path)), Kind, false);
}

nTexture* LoadCachedTexture(nOrvex* e, const char* path) { return LoadTexture(e, path, false, false); }
nTexture* LoadTexturePastCache(nOrvex* e, const char* path) { return LoadTexture(e, path, false, true); }
nPicture* LoadCachedPicture(nOrvex* e, const char* path) { return LoadPicture(e, path, false); }
nGeometry* LoadCachedGeometry(nOrvex* e, const char* path) { return LoadGeometry(e, path, false, false); }
nGeometry* LoadGeometryPastCache(nOrvex* e, const char* path) { return LoadGeometry(e, path, false, true); }

// The picture leaves the current cache; its script objects die with it when nothing else holds it.
SQInteger CacheUnregisterPicture(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nOrvex* engine;
    const char* name;
    if (!s.Args(engine, name)) return SQ_ERROR;
    nResourceCache* cache = engine->GetResourceCache();
    nPicture* picture = cache ? cache->FindPicture(name) : 0;
    if (!picture) return s.Return(false);
    if (picture->GetRefCount() == 1) nCObject::Invalidate(picture);
    nResourceCache::PictureList& list = cache->GetPictureList();
    for (nResourceCache::PictureList::Node* n = list.GetHead(); n; n = n->next)
        if (n->value.Get() == picture) {
            delete list.Unlink(n);
            return s.Return(true);
        }
    return s.Return(false);
}

SQInteger SetTextureContentFunction(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nOrvex* engine;
    nTexture* texture;
    const char* path;
    if (!s.Args(engine, texture, path)) return SQ_ERROR;
    return s.Return(SetTextureContent(engine, texture, path));
}

SQInteger LoadGeometryFromMetafile(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nOrvex* engine;
    nMetaFile* document;
    if (!s.Args(engine, document)) return SQ_ERROR;
    nGeometry* geometry = new (std::nothrow) nGeometry(engine);
    if (!geometry) {
        *g_log << "[!] Failed to allocate geometry to load '" << document->GetFileName().GetCStr() << "'.\n";
        return s.ReturnObject(0, objectTypeGeometry, false);
    }
    geometry->Deserialize(document, static_cast<nMetaTag*>(document->GetRoots().GetHead()));
    return s.ReturnObject(static_cast<void*>(geometry), objectTypeGeometry, false);
}

SQInteger GetRenderer(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nOrvex* engine;
    if (!s.Args(engine)) return SQ_ERROR;
    return s.ReturnObject(static_cast<void*>(engine->GetRenderer()), objectTypeRenderer, false);
}

// Draw bracket and clock.
void BeginDraw(nOrvex* engine) { engine->BeginDraw(true, true); }
void EndDraw(nOrvex* engine) { engine->EndDraw(false, false, true); }

// A null engine does nothing.
SQInteger SetClockScale(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nOrvex* engine;
    float scale;
    if (!s.Args(ScriptOrNull(engine), scale)) return SQ_ERROR;
    if (engine) engine->SetClockScale(scale);
    return s.Return();
}

SQInteger SetFixedFramerateCorrection(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nOrvex* engine;
    ScriptWholeNumber rate;
    if (!s.Args(engine, rate)) return SQ_ERROR;
    engine->SetFixedFramerateCorrection(rate.value);
    return s.Return();
}

// Entries kept for old scripts: one line, arguments not looked at.
template<const char* const* Line>
SQInteger Retired(HSQUIRRELVM v)
{
    *g_log << "[*] " << *Line;
    return 0;
}
const char* const kAutoSetupLine = "EngineSetResourceAutoSetup() is deprecated.\n";
const char* const kSetupResourcesLine = "EngineSetupResources() is deprecated.\n";
const char* const kSetupGeometriesLine = "EngineSetupAllGeometries() is deprecated.\n";
const char* const kDeleteTextureLine = "EngineDeleteTexture() is obsolete.\n";

// System.

SQInteger CacheFile(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    const char* path;
    if (!s.Args(path)) return SQ_ERROR;
    return s.Return(nIO::CacheFile(path));
}

// A negative or overlong wait is refused with a line: it would stall the game for weeks.
const SQInteger kMaxSleep = 60 * 1000;

SQInteger Sleep(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    SQInteger ms;
    if (!s.Args(ms)) return SQ_ERROR;
    if (ms < 0 || ms > kMaxSleep) {
        nString text = nString::Format("SystemSleep(%lld) ignored: expected 0 to %lld ms.\n", (long long)ms, (long long)kMaxSleep);
        *g_log << "[!] " << text.GetCStr();
        return s.Return();
    }
    nSleep((unsigned int)ms);
    return s.Return();
}

SQInteger GetClock(HSQUIRRELVM v) { return ScriptStackHandler(v).Return((SQInteger)nGetClock()); }
SQInteger GetClockFrequency(HSQUIRRELVM v) { return ScriptStackHandler(v).Return((int32_t)nClockFrequency); }
SQInteger GetLocale(HSQUIRRELVM v) { return ScriptStackHandler(v).Return("EN"); }
SQInteger GetPlatform(HSQUIRRELVM v) { return ScriptStackHandler(v).Return("Win32"); }

SQInteger Rand(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    ScriptWholeNumber n;
    if (!s.Args(n)) return SQ_ERROR;
    return s.Return((int32_t)nRandInt(n.value));
}

SQInteger SeedRand(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    ScriptWholeNumber seed;
    if (!s.Args(seed)) return SQ_ERROR;
    nRandSeed((uint32_t)seed.value);
    return s.Return();
}

int32_t ToolMode(nOrvex* e) { return e->GetToolMode(); }

}  // namespace

const ScriptFunctionDecl g_SystemScriptFunctions[] = {
    {"SystemCacheFile", CacheFile, ".s"},
    {"SystemSleep", Sleep, ".i"},
    {"SystemGetClock", GetClock, "."},
    {"SystemGetClockFrequency", GetClockFrequency, "."},
    {"SystemGetLocale", GetLocale, "."},
    {"SystemGetPlatform", GetPlatform, "."},
    {"SystemRand", Rand, ".n"},
    {"SystemSeedRand", SeedRand, ".n"},
    {0, 0, 0}};

const ScriptFunctionDecl g_EngineScriptFunctions[] = {
    {"EngineNewResourceCache", NewResourceCache, ".x"},
    {"EngineGetResourceCache", GetResourceCache, ".x"},
    {"EngineSetResourceCache", SetResourceCache, ".xx"},
    {"EngineClearResourceCache", ClearResourceCache, ".x"},
    {"EngineEnableLoadCallback", ScriptCheckOnly<nOrvex>, ".xb"},
    {"EngineGetCacheGeometryList", GetCacheGeometryList, ".x"},
    {"EngineGetManagerGeometryList", GetCacheGeometryList, ".x"},
    {"EngineOutputCacheStatistics", OutputCacheStatistics, ".x"},
    {"EngineFindTexture", FindTexture, ".xs"},
    {"EngineCreateCanvasTexture", CreateCanvasTexture, ".xnn"},
    {"EngineCreateTexture", CreateTextureFunction, ".xnnb"},
    {"EngineLoadTexture", LoadResource<nTexture, LoadCachedTexture, objectTypeTexture>, ".xs"},
    {"EngineLoadPicture", LoadResource<nPicture, LoadCachedPicture, objectTypePicture>, ".xs"},
    {"EngineCacheUnregisterPicture", CacheUnregisterPicture, ".xs"},
    {"EngineLoadTextureBypassCache", LoadResource<nTexture, LoadTexturePastCache, objectTypeTexture>, ".xs"},
    {"EngineLoadSound", LoadResource<nSound, LoadSound, objectTypeSound>, ".xs"},
    {"EngineSetTextureContent", SetTextureContentFunction, ".xxs"},
    {"EngineLoadGeometryFromMetafile", LoadGeometryFromMetafile, ".xx"},
    {"EngineLoadGeometry", LoadResource<nGeometry, LoadCachedGeometry, objectTypeGeometry>, ".xs"},
    {"EngineLoadGeometryBypassCache", LoadResource<nGeometry, LoadGeometryPastCache, objectTypeGeometry>, ".xs"},
    {"EngineGetToolMode", ScriptGet<ToolMode>, ".x"},
    {"EngineGetRenderer", GetRenderer, ".x"},
    {"EngineBeginDraw", ScriptCall<BeginDraw>, ".x"},
    {"EngineEndDraw", ScriptCall<EndDraw>, ".x"},
    {"EngineResetClock", ScriptCall<&nOrvex::ResetClock>, ".x"},
    {"EngineSetClockScale", SetClockScale, ".xn"},
    {"EngineGetClockScale", ScriptGet<&nOrvex::GetClockScale>, ".x"},
    {"EngineSetFixedDeltaFrame", ScriptSet<&nOrvex::SetFixedDeltaFrame>, ".xn"},
    {"EngineSetFixedFramerateCorrection", SetFixedFramerateCorrection, ".xn"},
    {"EngineNewResourceManagerSet", NewResourceCache, ".x"},
    {"EngineNewResourceSet", NewResourceCache, ".x"},
    {"EngineGetResourceManagerSet", GetResourceCache, ".x"},
    {"EngineGetResourceSet", GetResourceCache, ".x"},
    {"EngineSetResourceManagerSet", SetResourceCache, ".xx"},
    {"EngineSetResourceSet", SetResourceCache, ".xx"},
    {"EngineDeleteAllResources", ClearResourceCache, ".x"},
    {"EngineUnloadPicture", CacheUnregisterPicture, ".xs"},
    {"EngineSetResourceAutoSetup", Retired<&kAutoSetupLine>, ".xb"},
    {"EngineSetupResources", Retired<&kSetupResourcesLine>, ".x"},
    {"EngineSetupAllGeometries", Retired<&kSetupGeometriesLine>, ".x"},
    {"EngineDeleteTexture", Retired<&kDeleteTextureLine>, ".xx"},
    {0, 0, 0}};

const ScriptConstantDecl g_EngineScriptConstants[] = {
    {"PlatformWin32", 0, ScriptConstantInteger},
    {"PlatformLinuxX86", 1, ScriptConstantInteger},
    {"PlatformNintendoWii", 2, ScriptConstantInteger},
    {"PlatformUnknown", 65535, ScriptConstantInteger},
    {"g_platform", 0, ScriptConstantInteger},
    {"ToolEdit", 1, ScriptConstantInteger},
    {"ToolPreview", 2, ScriptConstantInteger},
    {"ToolProjectPreview", 3, ScriptConstantInteger},
    {"NoTool", 0, ScriptConstantInteger},
    {0, 0, 0}};

void RegisterSystemScriptAPI(HSQUIRRELVM v)
{
    ScriptRegisterFunctions(v, g_SystemScriptFunctions);
}

void RegisterEngineScriptAPI(HSQUIRRELVM v)
{
    HoldSharedResources();
    ScriptRegisterFunctions(v, g_EngineScriptFunctions);
    ScriptRegisterConstants(v, g_EngineScriptConstants);
}
