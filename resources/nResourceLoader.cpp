#include "resources/nResourceLoader.h"

#include <new>

#include "core/nIO.h"
#include "core/nLog.h"
#include "core/nString.h"
#include "hub/nCoreListener.h"
#include "hub/nOrvex.h"
#include "render/nRenderer.h"
#include "resources/nGeometry.h"
#include "resources/nMaterial.h"
#include "resources/nPictureFormat.h"
#include "resources/nResourceCache.h"

namespace {
// The value a record slot holds while a resource of its kind is being loaded.
template<class T> T* Pending() { return reinterpret_cast<T*>(static_cast<uintptr_t>(1)); }

nOrvex::EventInterface* Progress(nOrvex* engine)
{
    return engine ? engine->GetEventInterface() : 0;
}

void Begin(nOrvex* engine)
{
    if (nOrvex::EventInterface* p = Progress(engine)) p->OnBegin();
}

void ProgressAndEnd(nOrvex* engine, const char* format, const nString& name)
{
    if (nOrvex::EventInterface* p = Progress(engine)) {
        p->OnProgress(nString::Format(format, name.GetCStr() ? name.GetCStr() : "").GetCStr(), -1.0f);
        p->OnEnd();
    }
}

// The name normalised in place of one copy (the lookups and the new resource take it as it is).
nString NormalizedCopy(const char* name)
{
    nString copy(name);
    copy.NormalizePath();
    return copy;
}

nResourceCache* Cache(nOrvex* engine)
{
    return engine ? engine->GetResourceCache() : 0;
}

// The missing-file step shared by geometries and textures: the hook may rename the file, whose
// search path is then stripped. True when the hook ran.
bool CallMissingHook(nOrvex* engine, int32_t slot, nString& name)
{
    if (!engine || !engine->GetHook(slot)) return false;
    engine->CallHook(slot, &name);
    nIO::StripSearchPath(name);
    return true;
}
}

nGeometry* LoadGeometry(nOrvex* engine, const char* name, bool collision, bool bypass)
{
    if (!name) return 0;
    nResourceCache* cache = bypass ? 0 : Cache(engine);
    if (cache)
        if (nGeometry* hit = cache->FindGeometryAsNamed(name, collision)) return hit;
    nString copy = NormalizedCopy(name);
    if (cache)
        if (nGeometry* hit = cache->FindNormalizedGeometry(copy, collision)) return hit;

    // A file found keeps the name asked for (normalised), not the path the search resolved.
    nString found = copy;
    if (!nIO::FindFile(found) && CallMissingHook(engine, OrvexHookGeometryMissing, copy) && cache)
        if (nGeometry* hit = cache->FindGeometry(copy.GetCStr(), collision)) return hit;

    Begin(engine);
    nCoreEventRecord record;
    record.geometry = Pending<nGeometry>();
    if (engine) engine->NotifyCoreListeners(CoreEventResourceLoading, &record);

    nGeometry* geometry = new (std::nothrow) nGeometry(engine);
    if (!geometry)
        *g_log << "[!] Could not allocate new geometry.\n";
    else {
        // Proxies load through here too: the outer load's geometry comes back when they end.
        nGeometry* outer = engine ? engine->GetLoadingGeometry() : 0;
        if (engine) engine->SetLoadingGeometry(geometry);
        geometry->SetName(copy.GetCStr());
        if (geometry->Load(copy.GetCStr())) {
            if (engine) engine->CallHook(OrvexHookGeometryLoaded, geometry);
        } else
            *g_log << "[!] Failed to load geometry '" << copy.GetCStr() << "'.\n";
        if (engine) engine->SetLoadingGeometry(outer);
    }

    record.geometry = geometry;
    if (engine) engine->NotifyCoreListeners(CoreEventResourceLoaded, &record);
    if (geometry) {
        if (cache) cache->AddGeometry(geometry, collision);
        if (engine && engine->GetResourceAutoSetup() && !collision) geometry->Setup();
    }
    ProgressAndEnd(engine, "Loading geometry '%s'...", copy);
    return geometry;
}

bool SetTextureContent(nOrvex* engine, nTexture* texture, const char* path)
{
    if (!texture || !path) {
        *g_log << "[!] No texture or path to set texture content.\n";
        return false;
    }
    texture->SetName(path);
    // Video textures ("mpg") are fed by a stream; their picture stays as it is until a frame comes.
    if (GetFileExtension(path) == "mpg") {
        const bool opened = texture->OpenStream(path);
        if (opened && engine) engine->CallHook(OrvexHookTextureContent, texture);
        return opened;
    }
    bool loaded = nPicture::LoadContent(texture, path);
    if (!loaded) {
        nRenderer* renderer = engine ? engine->GetRenderer() : 0;
        if (!renderer || !renderer->LoadTextureContent(texture, path)) {
            *g_log << "[!] Failed to set texture content from '" << path << "'.\n";
            return false;
        }
    }
    if (engine) engine->CallHook(OrvexHookTextureContent, texture);
    return true;
}

nTexture* LoadTexture(nOrvex* engine, const char* name, bool secondary, bool bypass)
{
    if (!name) return 0;
    nResourceCache* cache = bypass ? 0 : Cache(engine);
    if (cache)
        if (nTexture* hit = cache->FindTextureAsNamed(name, secondary)) return hit;
    nString copy = NormalizedCopy(name);
    if (cache)
        if (nTexture* hit = cache->FindNormalizedTexture(copy, secondary)) return hit;

    nString found = copy;
    if (!nIO::FindFile(found) && CallMissingHook(engine, OrvexHookTextureMissing, copy) && cache)
        if (nTexture* hit = cache->FindTexture(copy.GetCStr(), secondary)) return hit;

    Begin(engine);
    nCoreEventRecord record;
    record.texture = Pending<nTexture>();
    if (engine) engine->NotifyCoreListeners(CoreEventResourceLoading, &record);

    nTexture* texture = new (std::nothrow) nTexture(engine, 0, 0);
    if (!texture)
        *g_log << "[!] Could not allocate new texture '" << copy.GetCStr() << "'.\n";
    else
        SetTextureContent(engine, texture, copy.GetCStr());

    record.texture = texture;
    if (engine) engine->NotifyCoreListeners(CoreEventResourceLoaded, &record);
    if (texture) {
        if (cache) cache->AddTexture(texture, secondary);
        if (engine && engine->GetResourceAutoSetup() && !secondary) texture->Setup();
    }
    ProgressAndEnd(engine, "Loading texture '%s'...", copy);
    return texture;
}

nPicture* LoadPicture(nOrvex* engine, const char* name, bool bypass)
{
    if (!name) return 0;
    nResourceCache* cache = bypass ? 0 : Cache(engine);
    if (cache)
        if (nPicture* hit = cache->FindPictureAsNamed(name)) return hit;
    nString copy = NormalizedCopy(name);
    if (cache)
        if (nPicture* hit = cache->FindNormalizedPicture(copy)) return hit;

    Begin(engine);
    nPicture* picture = new (std::nothrow) nPicture();
    if (!picture) {
        *g_log << "[!] Failed to allocate new picture object '" << copy.GetCStr() << "'.\n";
        return 0;
    }
    picture->SetName(copy.GetCStr());
    if (nPicture::LoadContent(picture, copy.GetCStr()) && engine) engine->CallHook(OrvexHookPictureLoaded, picture);
    if (nOrvex::EventInterface* p = Progress(engine))
        p->OnProgress(nString::Format("Loading picture '%s'...", copy.GetCStr()).GetCStr(), -1.0f);
    // A picture whose file was missing or unreadable stays empty, without pixels or format.
    if (picture->GetPixels()) picture->Convert(PixelFormatRGBA8);
    if (cache) cache->AddPicture(picture);
    if (nOrvex::EventInterface* p = Progress(engine)) p->OnEnd();
    return picture;
}

nSound* LoadSound(nOrvex* engine, const char* name)
{
    if (!name) return 0;
    nResourceCache* cache = Cache(engine);
    nString normal = nString(name).GetNormalizedPath();
    nString given(name);
    nSound* sound = cache ? cache->FindSound(normal.GetCStr()) : 0;
    Begin(engine);
    if (!sound) {
        bool found = nIO::FindFile(given);
        nSound* hit = 0;
        if (!found && engine && engine->GetHook(OrvexHookSoundMissing)) {
            engine->CallHook(OrvexHookSoundMissing, &given);
            normal = given;
            nIO::StripSearchPath(normal);
            hit = cache ? cache->FindSound(normal.GetCStr()) : 0;
        }
        if (hit)
            sound = hit;
        else if (!(sound = new (std::nothrow) nSound(engine)))
            *g_log << "[!] Could not allocate new sound.\n";
        else {
            sound->SetName(normal.GetCStr());
            if (cache) nResourceCache::AddToList(cache->GetSoundList(), sound);
            *g_log << "Loading sound '" << normal.GetCStr() << "'.\n";
            if (found || nIO::FindFile(given)) {
                sound->SetPath(given.GetCStr());
                if (nSound::LoadSample(sound, given.GetCStr())) {
                    if (engine) engine->CallHook(OrvexHookSoundLoaded, sound);
                } else
                    *g_log << "[!] Failed to load sound from '" << given.GetCStr() << "'.\n";
            } else
                *g_log << "[!] Failed to locate '" << normal.GetCStr() << "', could not load sound.\n";
            if (engine && engine->GetResourceAutoSetup()) sound->Setup();
        }
    }
    ProgressAndEnd(engine, "Loading sound '%s'...", given);
    return sound;
}
