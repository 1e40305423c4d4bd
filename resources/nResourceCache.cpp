#include "resources/nResourceCache.h"

#include <cstring>
#include <new>

namespace {
nResourceCache* CreateCache()
{
    return new (std::nothrow) nResourceCache();
}

void DestroyCache(nResourceCache* cache)
{
    delete cache;
}

void ClearCache(nResourceCache* cache)
{
    cache->Clear();
}

// Video textures of the main list advance by the frame time.
void UpdateStreams(nResourceCache* cache, int32_t dt)
{
    for (nListNode<nSharedPtr<nTexture>>* node = cache->GetTextureList(false).GetHead(); node; node = node->next)
        if (nTexture* texture = node->value.Get()) texture->UpdateStream(dt);
}

const nResourceCacheOps kEngineOps = {CreateCache, DestroyCache, ClearCache, UpdateStreams};

// The entry nearest the head named key (normalised), or NULL.
template<class T>
T* WalkForName(const nList<nSharedPtr<T>>& list, const nString& key)
{
    for (nListNode<nSharedPtr<T>>* node = list.GetHead(); node; node = node->next)
        if (node->value.IsValid() && node->value->GetName() == key) return node->value.Get();
    return 0;
}

// Whether the string holds exactly the length characters of text.
bool HasText(const nString& string, const char* text, size_t length)
{
    return string.GetCStr() && (size_t)string.GetLength() == length && std::memcmp(string.GetCStr(), text, length) == 0;
}

template<class T>
void ReleaseAll(nList<nSharedPtr<T>>& list)
{
    // Unlink before releasing: a resource destroyed here may look into the cache.
    while (nListNode<nSharedPtr<T>>* node = list.GetHead()) delete list.Unlink(node);
}
}

template<class T>
bool nResourceCache::NameIndex::Build(const nList<nSharedPtr<T>>& list)
{
    uint32_t wanted = 16;
    while (wanted < 2u * (uint32_t)list.GetCount() && wanted < 0x40000000u) wanted *= 2;
    if (!m_slots || m_mask + 1 < wanted) {
        delete[] m_slots;
        m_slots = new (std::nothrow) Slot[wanted];
        m_mask = m_slots ? wanted - 1 : 0;
    }
    m_built = false;
    if (!m_slots) return false;
    for (uint32_t i = 0; i <= m_mask; ++i) {
        m_slots[i].resource = 0;
        m_slots[i].name.Clear();
    }
    m_used = 0;
    for (nListNode<nSharedPtr<T>>* node = list.GetHead(); node; node = node->next)
        if (node->value.IsValid()) Insert(node->value.Get());
    m_version = list.GetVersion();
    m_built = true;
    return true;
}

template<class T>
void nResourceCache::NameIndex::Insert(T* resource)
{
    const nString& name = resource->GetName();
    const uint32_t hash = name.GetHash();
    uint32_t i = hash & m_mask;
    while (m_slots[i].resource) {
        if (m_slots[i].hash == hash && static_cast<T*>(m_slots[i].resource)->GetName() == name) return;
        i = (i + 1) & m_mask;
    }
    Slot& slot = m_slots[i];
    slot.hash = hash;
    slot.resource = resource;
    slot.name = name;
    slot.normalized = name.GetNormalizedPath() == name;
    ++m_used;
}

template<class T>
bool nResourceCache::NameIndex::Add(nList<nSharedPtr<T>>& list, T* resource)
{
    const uint32_t before = list.GetVersion();
    const bool current = m_built && m_version == before;
    if (!nResourceCache::AddToList(list, resource)) return false;
    // One node appended to the list the index stood for; a full index is rebuilt on demand.
    if (current && list.GetVersion() == before + 1 && 2 * (m_used + 1) <= m_mask + 1) {
        Insert(resource);
        m_version = list.GetVersion();
    }
    return true;
}

template<class T>
bool nResourceCache::NameIndex::Current(const nList<nSharedPtr<T>>& list)
{
    return (m_built && m_version == list.GetVersion()) || Build(list);
}

template<class T>
T* nResourceCache::NameIndex::Find(const nList<nSharedPtr<T>>& list, const nString& key)
{
    if (!Current(list)) return WalkForName(list, key);
    const uint32_t hash = key.GetHash();
    for (uint32_t i = hash & m_mask; m_slots[i].resource; i = (i + 1) & m_mask)
        if (m_slots[i].hash == hash && static_cast<T*>(m_slots[i].resource)->GetName() == key)
            return static_cast<T*>(m_slots[i].resource);
    return WalkForName(list, key);
}

template<class T>
T* nResourceCache::NameIndex::FindAsNamed(const nList<nSharedPtr<T>>& list, const char* name)
{
    if (!name || !*name || !Current(list)) return 0;
    const size_t length = std::strlen(name);
    const uint32_t hash = nStringHash(name);
    for (uint32_t i = hash & m_mask; m_slots[i].resource; i = (i + 1) & m_mask) {
        const Slot& slot = m_slots[i];
        // The slot's own copy says whether the text is normalised; the entry must still carry it.
        if (slot.hash == hash && slot.normalized && HasText(slot.name, name, length) && HasText(static_cast<T*>(slot.resource)->GetName(), name, length))
            return static_cast<T*>(slot.resource);
    }
    return 0;
}

const nResourceCacheOps* nResourceCache::GetEngineOps()
{
    return &kEngineOps;
}

nResourceCache::~nResourceCache()
{
    Clear();
}

void nResourceCache::Clear()
{
    while (nListNode<nNamedResource*>* node = m_named.GetHead()) {
        nNamedResource* record = node->value;
        delete m_named.Unlink(node);
        delete record;
    }
    ReleaseAll(m_geometries);
    ReleaseAll(m_collisionGeometries);
    ReleaseAll(m_textures);
    ReleaseAll(m_secondaryTextures);
    ReleaseAll(m_pictures);
    while (nListNode<nSound*>* node = m_sounds.GetHead()) {
        nSound* sound = node->value;
        delete m_sounds.Unlink(node);
        delete sound;
    }
}

bool nResourceCache::AddToList(SoundList& list, nSound* sound)
{
    if (!sound) return false;
    for (nListNode<nSound*>* node = list.GetHead(); node; node = node->next)
        if (node->value == sound) return true;
    return list.InsertAfter(sound, 0) != 0;
}

nGeometry* nResourceCache::FindGeometry(const char* name, bool collision) const
{
    return name ? FindNormalizedGeometry(nString(name).GetNormalizedPath(), collision) : 0;
}

nTexture* nResourceCache::FindTexture(const char* name, bool secondary) const
{
    return name ? FindNormalizedTexture(nString(name).GetNormalizedPath(), secondary) : 0;
}

nPicture* nResourceCache::FindPicture(const char* name) const
{
    return name ? FindNormalizedPicture(nString(name).GetNormalizedPath()) : 0;
}

nGeometry* nResourceCache::FindNormalizedGeometry(const nString& name, bool collision) const
{
    return collision ? m_indexes[1].Find(m_collisionGeometries, name) : m_indexes[0].Find(m_geometries, name);
}

nTexture* nResourceCache::FindNormalizedTexture(const nString& name, bool secondary) const
{
    return secondary ? m_indexes[3].Find(m_secondaryTextures, name) : m_indexes[2].Find(m_textures, name);
}

nPicture* nResourceCache::FindNormalizedPicture(const nString& name) const
{
    return m_indexes[4].Find(m_pictures, name);
}

bool nResourceCache::AddGeometry(nGeometry* geometry, bool collision)
{
    return collision ? m_indexes[1].Add(m_collisionGeometries, geometry) : m_indexes[0].Add(m_geometries, geometry);
}

bool nResourceCache::AddTexture(nTexture* texture, bool secondary)
{
    return secondary ? m_indexes[3].Add(m_secondaryTextures, texture) : m_indexes[2].Add(m_textures, texture);
}

bool nResourceCache::AddPicture(nPicture* picture)
{
    return m_indexes[4].Add(m_pictures, picture);
}

nGeometry* nResourceCache::FindGeometryAsNamed(const char* name, bool collision) const
{
    return collision ? m_indexes[1].FindAsNamed(m_collisionGeometries, name) : m_indexes[0].FindAsNamed(m_geometries, name);
}

nTexture* nResourceCache::FindTextureAsNamed(const char* name, bool secondary) const
{
    return secondary ? m_indexes[3].FindAsNamed(m_secondaryTextures, name) : m_indexes[2].FindAsNamed(m_textures, name);
}

nPicture* nResourceCache::FindPictureAsNamed(const char* name) const
{
    return m_indexes[4].FindAsNamed(m_pictures, name);
}

nSound* nResourceCache::FindSound(const char* name) const
{
    if (!name) return 0;
    const nString key = nString(name).GetNormalizedPath();
    for (nListNode<nSound*>* node = m_sounds.GetHead(); node; node = node->next)
        if (node->value && node->value->GetName() == key) return node->value;
    return 0;
}

nSharedObject* nResourceCache::FindNamed(const char* kind, const nString& normalizedName) const
{
    if (!kind) return 0;
    for (nListNode<nNamedResource*>* node = m_named.GetHead(); node; node = node->next)
        if (std::strcmp(node->value->kind, kind) == 0 && node->value->name == normalizedName)
            return node->value->object.Get();
    return 0;
}

bool nResourceCache::AddNamed(const char* kind, const nString& normalizedName, nSharedObject* object)
{
    if (!kind || !object) return false;
    nNamedResource* record = new (std::nothrow) nNamedResource;
    if (!record) return false;
    record->kind = kind;
    record->name = normalizedName;
    record->object = object;
    if (m_named.InsertAfter(record, m_named.GetTail())) return true;
    delete record;
    return false;
}
