#include "resources/nRenderMap.h"

#include <new>

#include "core/nLog.h"
#include "core/nMLReader.h"
#include "core/nMetaTag.h"

nRenderMap::nRenderMap() : m_source(0)
{
}

nRenderMap::~nRenderMap()
{
    delete m_source;
}

bool nRenderMap::Parse(nOrvex* engine, nMetaFile* document, nMetaTag* tag)
{
    if (!nMLCheckRoot(tag, "ShaderMap", "shader map")) return false;
    nMetaTag* copy = tag->Clone(true);
    if (!copy)
        return false;
    delete m_source;
    m_source = copy;
    return true;
}

nMetaTag* nRenderMap::Serialize(nMetaFile* document) const
{
    if (m_source)
        return m_source->Clone(true);
    return new (std::nothrow) nMetaTag("ShaderMap");
}
