// The default render map of a material: a graph built from its colours, flags and texture
// stages, for materials whose NML carries no ShaderMap.
#include "resources/nMaterial.h"

#include <new>
#include <unordered_set>
#include <vector>

#include "core/nLog.h"
#include "resources/nRenderMap.h"

namespace {

// Makes the blocks of one map and remembers them, so that a block left unreachable by a failed
// allocation further down is deleted instead of lost. Every call takes NULL inputs and then
// gives NULL: a block that cannot be made is left out.
class DefaultMapBuilder
{
public:
    DefaultMapBuilder(const nMaterial& material, nRenderMap* map) : m_material(material), m_map(map) {}

    void Build();
    void DeleteUnreachable();

private:
    nShaderBlock* New(int32_t kind);
    nShaderBlock* Op(int32_t kind, nShaderBlock* a, nShaderBlock* b = 0, nShaderBlock* c = 0);
    nShaderBlock* Param(int32_t index);
    nShaderBlock* Constant2(float a, float b);
    nShaderBlock* Swizzle(nShaderBlock* input, int32_t x, int32_t y = 0, int32_t z = 0, int32_t w = 0);
    nShaderBlock* StageUV(const nMaterialStage& stage, nShaderBlock* normal);
    nShaderBlock* StageBranch(int32_t channel, nShaderBlock* normal);
    const nMaterialStage* Present(int32_t channel) const { return m_material.GetStage(channel, true); }

    const nMaterial& m_material;
    nRenderMap* m_map;
    std::vector<nShaderBlock*> m_made;
};

nShaderBlock* DefaultMapBuilder::New(int32_t kind)
{
    nShaderBlock* block = nShaderBlock::New(kind);
    if (block)
        m_made.push_back(block);
    return block;
}

nShaderBlock* DefaultMapBuilder::Op(int32_t kind, nShaderBlock* a, nShaderBlock* b, nShaderBlock* c)
{
    nShaderBlock* block = New(kind);
    if (block) {
        block->SetInput(0, a);
        block->SetInput(1, b);
        block->SetInput(2, c);
    }
    return block;
}

nShaderBlock* DefaultMapBuilder::Param(int32_t index)
{
    nShaderBlock* block = New(ShaderBlockMaterialParam);
    if (block)
        block->index = index;
    return block;
}

nShaderBlock* DefaultMapBuilder::Constant2(float a, float b)
{
    nShaderBlock* block = New(ShaderBlockConstant);
    if (block) {
        block->values[0] = a;
        block->values[1] = b;
        block->constantType = ShaderValueVec2;
    }
    return block;
}

nShaderBlock* DefaultMapBuilder::Swizzle(nShaderBlock* input, int32_t x, int32_t y, int32_t z, int32_t w)
{
    nShaderBlock* block = Op(ShaderBlockSwizzle, input);
    if (block) {
        block->codes[0] = x, block->codes[1] = y, block->codes[2] = z, block->codes[3] = w;
    }
    return block;
}

// The texture coordinates of a stage by its UV source; NULL for an unknown source.
nShaderBlock* DefaultMapBuilder::StageUV(const nMaterialStage& stage, nShaderBlock* normal)
{
    switch (stage.uvSource) {
        case 0:
            return Constant2(0.5f, 0.5f);
        case MaterialUVMap: {
            nShaderBlock* uv = New(ShaderBlockUV);
            if (uv)
                uv->index = stage.uvIndex;
            return uv;
        }
        case MaterialLSNormal: {
            nShaderBlock* n = normal ? normal : New(ShaderBlockNormal);
            return Swizzle(Op(ShaderBlockPack, Op(ShaderBlockMul, New(ShaderBlockNormalViewMatrix), n)), 1, 2);
        }
        case MaterialFrontMap: {
            nShaderBlock* screen = Op(ShaderBlockDiv, New(ShaderBlockScreenUV), Swizzle(New(ShaderBlockViewport), 3, 4));
            nShaderBlock* uv = Op(ShaderBlockMul, Constant2(1.0f, -1.0f), screen);
            if (stage.channel == MaterialChannelReflection && normal)
                uv = Op(ShaderBlockAdd, uv, Op(ShaderBlockMul, Swizzle(normal, 1, 2), Constant2(0.01f, 0.01f)));
            return uv;
        }
        default:
            return 0;
    }
}

// The sampler of the stage on channel, unpacked (and turned by the tangent frame) for normals.
nShaderBlock* DefaultMapBuilder::StageBranch(int32_t channel, nShaderBlock* normal)
{
    const nMaterialStage& stage = *Present(channel);
    nShaderBlock* texture = New(ShaderBlockTexture);
    if (texture)
        texture->texture = stage.texture;
    nShaderBlock* sampler = Op(ShaderBlockSampler2D, texture, StageUV(stage, normal));
    if (sampler) {
        sampler->wrapU = stage.wrapU;
        sampler->wrapV = stage.wrapV;
    }
    if (channel != MaterialChannelNormal)
        return sampler;
    nShaderBlock* unpacked = Op(ShaderBlockUnpack, Swizzle(sampler, 1, 2, 3));
    if (m_material.renderFlags & MaterialRenderNormalMapTangent)
        return Op(ShaderBlockMul, New(ShaderBlockTangentFrame), unpacked);
    return unpacked;
}

void DefaultMapBuilder::Build()
{
    nShaderBlock* n = Present(MaterialChannelNormal) ? Op(ShaderBlockNormalize, StageBranch(MaterialChannelNormal, 0))
                                                     : New(ShaderBlockNormal);
    const bool diffuseStage = Present(MaterialChannelDiffuse) != 0;
    nShaderBlock* d = diffuseStage ? StageBranch(MaterialChannelDiffuse, n) : Param(ShaderParamDiffuse);
    nShaderBlock* vertexColor = 0;
    if (Present(MaterialChannelBlendRGB) && diffuseStage) {
        d = Op(ShaderBlockMix, StageBranch(MaterialChannelBlendRGB, n), d, Swizzle(New(ShaderBlockVertexColor), 1));
    } else if (m_material.renderFlags & MaterialRenderVertexColor) {
        vertexColor = New(ShaderBlockVertexColor);
        nShaderBlock* rgb1 = Op(ShaderBlockBuild, vertexColor, vertexColor, vertexColor);
        if (rgb1)
            rgb1->codes[3] = 1;
        d = Op(ShaderBlockMul, d, rgb1);
    }
    if (Present(MaterialChannelDecal)) {
        nShaderBlock* decal = StageBranch(MaterialChannelDecal, n);
        d = Op(ShaderBlockMix, decal, d, Swizzle(decal, 4));
    }
    if (Present(MaterialChannelLightmap))
        d = Op(ShaderBlockMul, d, StageBranch(MaterialChannelLightmap, n));
    nShaderBlock* e = Present(MaterialChannelSelfIllum) ? StageBranch(MaterialChannelSelfIllum, n) : Param(ShaderParamEmissive);
    nShaderBlock* s = Present(MaterialChannelSpecular) ? StageBranch(MaterialChannelSpecular, n) : Param(ShaderParamSpecular);
    if (const nMaterialStage* reflection = Present(MaterialChannelReflection)) {
        nShaderBlock* r = StageBranch(MaterialChannelReflection, n);
        if (reflection->op == MaterialOperatorMultiply)
            d = Op(ShaderBlockMul, d, r);
        else if (reflection->op == MaterialOperatorNone || reflection->op == MaterialOperatorAdd)
            e = Op(ShaderBlockAdd, e, r);
    }
    nShaderBlock* g = Present(MaterialChannelGlossiness) ? Swizzle(StageBranch(MaterialChannelGlossiness, n), 1)
                                                         : Param(ShaderParamShininess);
    nShaderBlock* o = Present(MaterialChannelOpacity) ? Swizzle(StageBranch(MaterialChannelOpacity, n), 4)
                                                      : Param(ShaderParamOpacity);
    if (vertexColor)
        o = Op(ShaderBlockMul, o, Swizzle(vertexColor, 4));
    m_map->SetRoot(RenderMapNormal, n);
    m_map->SetRoot(RenderMapDiffuse, d);
    m_map->SetRoot(RenderMapSpecular, s);
    m_map->SetRoot(RenderMapGlossiness, g);
    m_map->SetRoot(RenderMapConstant, e);
    m_map->SetRoot(RenderMapOpacity, o);
}

void DefaultMapBuilder::DeleteUnreachable()
{
    const std::vector<nShaderBlock*> kept = m_map->CollectBlocks(true);
    if (kept.size() == m_made.size())
        return;
    const std::unordered_set<nShaderBlock*> reachable(kept.begin(), kept.end());
    for (nShaderBlock* block : m_made)
        if (!reachable.count(block))
            delete block;
}

}

nRenderMap* nMaterial::BuildDefaultRenderMap()
{
    nRenderMap* map = new (std::nothrow) nRenderMap();
    if (!map) {
        *g_log << "[!] Failed to allocate conversion render map.\n";
        return 0;
    }
    DefaultMapBuilder builder(*this, map);
    builder.Build();
    builder.DeleteUnreachable();
    return map;
}
