#pragma once
// nMetaObject: the base of every object that stores itself as one NML root tag (scene, 2D scene,
// project, geometry, particle model). A class supplies its reader and writer; loading and saving
// whole files are shared. Load and Save only pass on false: readers log their own messages.

class nMetaFile;
class nMetaTag;

class nMetaObject
{
public:
    virtual ~nMetaObject() {}

    virtual bool Deserialize(nMetaFile* document, nMetaTag* root) = 0;  // reads this object from root
    virtual nMetaTag* Serialize(nMetaFile* document) = 0;               // a new root tag, or NULL
    virtual bool SerializeToMetaFile(nMetaFile* document);              // appends Serialize's tag as a root; true when one was added
    virtual bool Save(const char* path);                                // a new document holding this object, saved to path
    virtual bool DeserializeFromMetaFile(nMetaFile* document);          // the first root to Deserialize; no root: "No root tag in '<file>'." and false
    virtual bool Load(const char* path);                                // path loaded into a temporary document, then DeserializeFromMetaFile
};
