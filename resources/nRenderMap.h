#ifndef N_RENDERMAP_H
#define N_RENDERMAP_H

#include <vector>

#include "core/nString.h"
#include "resources/nShaderBlock.h"

class nOrvex;
class nMetaFile;
class nMetaTag;

// The roots of a render map: the surface channels its graph gives.
enum RenderMapChannel
{
    RenderMapNormal = 0,
    RenderMapDiffuse,
    RenderMapModulate,
    RenderMapSpecular,
    RenderMapGlossiness,
    RenderMapConstant,
    RenderMapOpacity,
    RenderMapChannelCount
};

// "Normal", "Diffuse", ..., "Opacity": the root tag names of the ShaderMap NML; NULL outside 0..6.
const char* GetRenderMapChannelName(int32_t channel);

// A material's surface as a directed acyclic graph of shader blocks with seven roots. The map
// owns every block reachable from its roots; a block may feed several inputs and roots and is
// deleted once. Connections go through nShaderBlock::SetInput, which refuses cycles.
class nRenderMap
{
public:
    nRenderMap();   // empty: no root, position 0
    ~nRenderMap();  // Clear
    nRenderMap(const nRenderMap&) = delete;
    nRenderMap& operator=(const nRenderMap&) = delete;

    void Clear();                                        // deletes every reachable block once; no root left
    nShaderBlock* GetRoot(int32_t channel) const;        // NULL when empty or channel outside 0..6
    void SetRoot(int32_t channel, nShaderBlock* block);  // the map owns block from now on; nothing outside 0..6
    bool IsEmpty() const;                                // no root at all

    // The blocks reachable from the roots, each once: with inputsFirst a block follows its inputs
    // (the order of deletion); otherwise the ShaderMap order, each block before its inputs, roots
    // in channel order and inputs in slot order. Walks without recursion.
    std::vector<nShaderBlock*> CollectBlocks(bool inputsFirst) const;

    // NML "ShaderMap" tag. Parse fills an empty map and fails only for a root tag of another
    // name; every fault of the content is one log line and leaves its slot empty. Serialize
    // returns a new tag owned by the caller, NULL when out of memory.
    bool Parse(nOrvex* engine, nMetaFile* document, nMetaTag* tag);
    nMetaTag* Serialize(nMetaFile* document) const;

    float posX, posY;  // editor position
    nString name;      // not part of the NML form

private:
    nShaderBlock* m_roots[RenderMapChannelCount];
};

#endif
