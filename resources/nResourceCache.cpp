#include "resources/nResourceCache.h"

namespace
{
template<class T>
T* FindByName(const nList<nSharedPtr<T>>& list, const char* name)
{
    if (!name) return 0;
    const nString key = nString(name).GetNormalizedPath();
    for (nListNode<nSharedPtr<T>>* node = list.GetHead(); node; node = node->next)
        if (node->value.IsValid() && node->value->GetName() == key) return node->value.Get();
    return 0;
}

template<class T>
void ReleaseAll(nList<nSharedPtr<T>>& list)
{
    // Unlink before releasing: a resource destroyed here may look into the cache.
    while (nListNode<nSharedPtr<T>>* node = list.GetHead()) delete list.Unlink(node);
}
}

nResourceCache::~nResourceCache()
{
    Clear();
}

void nResourceCache::Clear()
{
    ReleaseAll(m_geometries);
    ReleaseAll(m_collisionGeometries);
    ReleaseAll(m_textures);
    ReleaseAll(m_secondaryTextures);
    ReleaseAll(m_pictures);
    while (nListNode<nSound*>* node = m_sounds.GetHead())
    {
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
    return FindByName(collision ? m_collisionGeometries : m_geometries, name);
}

nTexture* nResourceCache::FindTexture(const char* name, bool secondary) const
{
    return FindByName(secondary ? m_secondaryTextures : m_textures, name);
}

nPicture* nResourceCache::FindPicture(const char* name) const
{
    return FindByName(m_pictures, name);
}

nSound* nResourceCache::FindSound(const char* name) const
{
    if (!name) return 0;
    const nString key = nString(name).GetNormalizedPath();
    for (nListNode<nSound*>* node = m_sounds.GetHead(); node; node = node->next)
        if (node->value && node->value->GetName() == key) return node->value;
    return 0;
}
