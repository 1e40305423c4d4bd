#ifndef N_RESOURCECACHE_H
#define N_RESOURCECACHE_H

#include <cstdint>

#include "core/nList.h"
#include "core/nSharedObject.h"
#include "core/nString.h"
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
    typedef nList<nSharedPtr<nTexture>>  TextureList;
    typedef nList<nSharedPtr<nPicture>>  PictureList;
    typedef nList<nSound*>               SoundList;

    nResourceCache() {}
    ~nResourceCache();                                     // Clear
    nResourceCache(const nResourceCache&) = delete;
    nResourceCache& operator=(const nResourceCache&) = delete;

    // Releases every shared entry (geometries, collision geometries, textures, secondary
    // textures, pictures, in that order; a release may destroy the resource), then deletes
    // every sound.
    void Clear();

    // Appends resource with one reference unless the list already holds it; true when it is in
    // the list afterwards. NULL adds nothing.
    template<class T> static bool AddToList(nList<nSharedPtr<T>>& list, T* resource);
    static bool AddToList(SoundList& list, nSound* sound);  // the list then owns the sound

    GeometryList& GetGeometryList(bool collision)    { return collision ? m_collisionGeometries : m_geometries; }
    TextureList&  GetTextureList(bool secondary)     { return secondary ? m_secondaryTextures : m_textures; }
    PictureList&  GetPictureList()                   { return m_pictures; }
    SoundList&    GetSoundList()                     { return m_sounds; }

    // Lookups by name, normalised first; NULL when absent.
    nGeometry* FindGeometry(const char* name, bool collision) const;
    nTexture*  FindTexture(const char* name, bool secondary) const;
    nPicture*  FindPicture(const char* name) const;
    nSound*    FindSound(const char* name) const;

private:
    GeometryList m_geometries;
    GeometryList m_collisionGeometries;
    TextureList  m_textures;
    TextureList  m_secondaryTextures;
    PictureList  m_pictures;
    SoundList    m_sounds;
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
        if (node->value.Get() == resource)
        {
            delete list.Unlink(node);
            return true;
        }
    return false;
}

#endif
