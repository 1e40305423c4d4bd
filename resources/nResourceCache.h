#ifndef N_RESOURCECACHE_H
#define N_RESOURCECACHE_H

#include <cstdint>

#include "core/nList.h"
#include "core/nSharedObject.h"
#include "core/nString.h"
#include "hub/nOrvex.h"
#include "resources/nGeometry.h"
#include "resources/nPicture.h"
#include "resources/nSound.h"
#include "resources/nTexture.h"

// The named resources of an engine, kept so that a second request for a name returns the same
// object. The cache holds one reference on every shared resource in it and owns its sounds.
// Names are stored normalised (nString::NormalizePath) by the loaders, and lookups normalise the
// key, so "a\b.nmo" and "a/b.nmo" name the same entry. Main thread only.
class nResourceCache
{
public:
    typedef nList<nSharedPtr<nGeometry>> GeometryList;
    typedef nList<nSharedPtr<nTexture>> TextureList;
    typedef nList<nSharedPtr<nPicture>> PictureList;
    typedef nList<nSound*> SoundList;

    // A shared resource of a kind defined above this library (particle models), kept under a
    // kind word and its normalised name.
    struct nNamedResource
    {
        const char* kind;  // a string with static storage, compared by text
        nString name;
        nSharedPtr<nSharedObject> object;
    };
    typedef nList<nNamedResource*> NamedList;

    nResourceCache() {}
    ~nResourceCache();  // Clear
    // What an engine is given to make, clear and destroy its caches of this kind.
    static const nResourceCacheOps* GetEngineOps();
    nResourceCache(const nResourceCache&) = delete;
    nResourceCache& operator=(const nResourceCache&) = delete;

    // Releases every shared entry (resources of other kinds first, as they may hold the
    // others; then geometries, collision geometries, textures, secondary
    // textures, pictures, in that order; a release may destroy the resource), then deletes
    // every sound.
    void Clear();

    // Appends resource with one reference unless the list already holds it; true when it is in
    // the list afterwards. NULL adds nothing.
    template<class T> static bool AddToList(nList<nSharedPtr<T>>& list, T* resource);
    static bool AddToList(SoundList& list, nSound* sound);  // the list then owns the sound

    GeometryList& GetGeometryList(bool collision) { return collision ? m_collisionGeometries : m_geometries; }
    TextureList& GetTextureList(bool secondary) { return secondary ? m_secondaryTextures : m_textures; }
    PictureList& GetPictureList() { return m_pictures; }
    SoundList& GetSoundList() { return m_sounds; }

    // AddToList on the list the flag picks, keeping its name index current: the loaders add
    // through these, so a scene that loads hundreds of geometries does not rebuild the index
    // after each.
    bool AddGeometry(nGeometry* geometry, bool collision);
    bool AddTexture(nTexture* texture, bool secondary);
    bool AddPicture(nPicture* picture);

    // Resources of other kinds: the entry of that kind and normalised name, or NULL; adding
    // takes one reference (false when out of memory; NULL adds nothing).
    nSharedObject* FindNamed(const char* kind, const nString& normalizedName) const;
    bool AddNamed(const char* kind, const nString& normalizedName, nSharedObject* object);

    // Lookups by name, normalised first; NULL when absent. Each finds the entry nearest the
    // head whose name equals the key.
    nGeometry* FindGeometry(const char* name, bool collision) const;
    nTexture* FindTexture(const char* name, bool secondary) const;
    nPicture* FindPicture(const char* name) const;
    nSound* FindSound(const char* name) const;

    // The same lookups by a name that is already normalised, as the loaders hold it.
    nGeometry* FindNormalizedGeometry(const nString& name, bool collision) const;
    nTexture* FindNormalizedTexture(const nString& name, bool secondary) const;
    nPicture* FindNormalizedPicture(const nString& name) const;

    // Lookups without a normalised copy of the name, for the loaders' cache hits: the entry
    // FindGeometry(name) would give, or NULL when this lookup cannot tell (an empty name, one
    // that needs normalising, an entry renamed since its list last changed); the caller then
    // normalises the name and looks again.
    nGeometry* FindGeometryAsNamed(const char* name, bool collision) const;
    nTexture* FindTextureAsNamed(const char* name, bool secondary) const;
    nPicture* FindPictureAsNamed(const char* name) const;

private:
    // Hash index over the names of one shared list, so that a scene of thousands of objects
    // over a few hundred geometries does not walk the list once per object. Built from the
    // list on the first lookup after the list changed (its version moved on); it keeps the
    // first entry of each name. A hit is checked against the entry's current name, and a miss
    // walks the list, so an entry renamed since the build is found as the walk would find it.
    // Without memory for the index every lookup walks the list.
    class NameIndex
    {
    public:
        NameIndex() : m_slots(0), m_mask(0), m_used(0), m_version(0), m_built(false) {}
        ~NameIndex() { delete[] m_slots; }
        NameIndex(const NameIndex&) = delete;
        NameIndex& operator=(const NameIndex&) = delete;

        template<class T> T* Find(const nList<nSharedPtr<T>>& list, const nString& key);
        template<class T> T* FindAsNamed(const nList<nSharedPtr<T>>& list, const char* name);
        // AddToList, and the new entry into the index when it was current.
        template<class T> bool Add(nList<nSharedPtr<T>>& list, T* resource);

    private:
        struct Slot
        {
            uint32_t hash;
            bool normalized;  // name is its own normalised form
            void* resource;   // NULL: free
            nString name;     // the entry's name when the index was built
        };
        template<class T> bool Build(const nList<nSharedPtr<T>>& list);
        template<class T> bool Current(const nList<nSharedPtr<T>>& list);  // built for the list as it is
        template<class T> void Insert(T* resource);                        // unless an earlier entry has its name

        Slot* m_slots;
        uint32_t m_mask;     // slot count - 1 (a power of two)
        uint32_t m_used;     // slots taken
        uint32_t m_version;  // the list's version the index stands for
        bool m_built;
    };

    GeometryList m_geometries;
    GeometryList m_collisionGeometries;
    TextureList m_textures;
    TextureList m_secondaryTextures;
    PictureList m_pictures;
    SoundList m_sounds;
    NamedList m_named;  // owned records

    // Indexes of geometries, collision geometries, textures, secondary textures and pictures.
    mutable NameIndex m_indexes[5];
};

// Removal of one cached resource, for scripts that unregister what they no longer need.
class nResourceList
{
public:
    // Unlinks the resource's entry and drops the cache's reference (which may destroy it); false
    // when the resource is NULL or not in the list.
    template<class T> static bool Remove(nList<nSharedPtr<T>>& list, T* resource);
};

template<class T>
bool nResourceCache::AddToList(nList<nSharedPtr<T>>& list, T* resource)
{
    if (!resource) return false;
    for (nListNode<nSharedPtr<T>>* node = list.GetHead(); node; node = node->next)
        if (node->value.Get() == resource) return true;
    return list.InsertAfter(nSharedPtr<T>(resource), 0) != 0;
}

template<class T>
bool nResourceList::Remove(nList<nSharedPtr<T>>& list, T* resource)
{
    if (!resource) return false;
    for (nListNode<nSharedPtr<T>>* node = list.GetHead(); node; node = node->next)
        if (node->value.Get() == resource) {
            delete list.Unlink(node);
            return true;
        }
    return false;
}

#endif
