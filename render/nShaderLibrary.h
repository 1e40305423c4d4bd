#ifndef N_SHADERLIBRARY_H
#define N_SHADERLIBRARY_H

#include <string>
#include <vector>

#include "core/nList.h"
#include "core/nSharedObject.h"

class nRenderer;
class nShader;
class nMetaTag;

// Named programs loaded by profile from shader library files (NML): every root tag of a file
// is a profile, whose "Shader" children {Name, Vertex, Pixel} become programs made by the
// renderer and whose "Include" children {Uri, Tag} load another file's profile in place.
// The library compiles nothing itself: the renderer's shaders do.
class nShaderLibrary : public nSharedObject
{
public:
    // Hooks of the engine around reading a file: "missing" is handed an nString* path it may
    // change before the read is tried again, "read" the nString* path of a file being read.
    typedef void (*FileHook)(void* path);

    explicit nShaderLibrary(nRenderer* renderer);
    ~nShaderLibrary() override;  // drops the reference on every shader
    nShaderLibrary(const nShaderLibrary&) = delete;
    nShaderLibrary& operator=(const nShaderLibrary&) = delete;

    void SetFileHooks(FileHook missing, FileHook read)
    {
        m_missingHook = missing;
        m_readHook = read;
    }

    // Adds the shaders of profile (NULL: "Default") of the file at path, includes first where
    // they stand. False, with one log line, for a NULL path, an unreadable file, a missing or
    // empty profile, or a profile that is already being loaded further up (an include cycle).
    // A failing include is logged and the rest still loads; a refused cycle is logged once,
    // as the cycle. Every spelling of one file counts as that file.
    bool Load(const char* path, const char* profile);
    nShader* Find(const char* name) const;  // first in load order, case-sensitive; NULL when none
    int32_t GetCount() const { return m_shaders.GetCount(); }
    nShader* GetAt(int32_t index) const { return m_shaders.GetAt(index); }

private:
    enum LoadResult
    {
        Loaded,
        Failed,
        Cycle
    };
    LoadResult LoadProfile(const char* path, const char* profile);
    void AddShader(nMetaTag* entry);
    void Include(nMetaTag* entry);

    nRenderer* m_renderer;
    nList<nShader*> m_shaders;           // one reference each, load order
    std::vector<std::string> m_loading;  // "normalised path\nprofile" of the loads running now
    FileHook m_missingHook;
    FileHook m_readHook;
};

#endif
