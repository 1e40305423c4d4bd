#ifndef N_RENDERMAP_H
#define N_RENDERMAP_H

class nOrvex;
class nMetaFile;
class nMetaTag;

// A material's shader graph, owned by the material, read from and written to its "ShaderMap"
// NML tag. This form keeps the tag it was read from and writes it back unchanged, so that a
// material passes through the reader and the writer without losing its graph.
class nRenderMap
{
public:
    nRenderMap();                                           // empty
    ~nRenderMap();
    nRenderMap(const nRenderMap&) = delete;
    nRenderMap& operator=(const nRenderMap&) = delete;

    // Fills the map from a "ShaderMap" tag; false with an error line for a tag of another name.
    bool      Parse(nOrvex* engine, nMetaFile* document, nMetaTag* tag);
    nMetaTag* Serialize(nMetaFile* document) const;         // new "ShaderMap" tag, NULL when out of memory
    bool      IsEmpty() const                               { return m_source == 0; }

private:
    nMetaTag* m_source;                                     // owned copy of the tag read
};

#endif
