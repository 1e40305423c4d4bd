#pragma once
// Materials and render maps for the GLSL generator's tests, its compile gate and its benchmark:
// a table of materials that together use every block kind, and the generated passes as text.

#include <memory>
#include <string>
#include <vector>

#include "render/glsl/GL3_ShaderGenerator.h"
#include "resources/nMaterial.h"
#include "resources/nRenderMap.h"

struct nGeneratedPass
{
    int pass;
    std::string signature;
    std::string vertex;
    std::string fragment;
};

// The four generated passes of material, in the order the renderer makes them (0, 2, 5, 3).
inline std::vector<nGeneratedPass> GenerateMaterialPasses(GL3_ShaderGenerator& generator, const nMaterial& material)
{
    std::vector<nGeneratedPass> passes;
    for (int pass : {GL3PassForward, GL3PassNormalDepth, GL3PassShadowDepth, GL3PassAttributes}) {
        nGeneratedPass out;
        out.pass = pass;
        if (!generator.GenerateMaterialPass(material, pass))
            continue;
        out.signature = generator.GetSignature();
        generator.Assemble(&out.vertex, &out.fragment);
        passes.push_back(out);
    }
    generator.Reset();
    return passes;
}

// A material with textured stages on the given channels (UV source and set per stage).
struct nKitStage
{
    int32_t channel;
    int32_t uvSource;
    int32_t uvIndex;
    int32_t op;
};

inline std::unique_ptr<nMaterial> MakeKitMaterial(const char* name, uint32_t flags, const std::vector<nKitStage>& stages)
{
    std::unique_ptr<nMaterial> m(new nMaterial(nullptr));
    m->SetName(name);
    m->renderFlags = flags;
    for (size_t i = 0; i < stages.size(); ++i) {
        nMaterialStage& s = m->GetStageAt((int)i);
        nTexture* texture = new nTexture(nullptr, 0, 0);
        texture->SetName((std::string(name) + "_" + std::to_string(i) + ".tga").c_str());
        s.texture = texture;
        s.active = 1;
        s.channel = stages[i].channel;
        s.uvSource = stages[i].uvSource;
        s.uvIndex = (uint8_t)stages[i].uvIndex;
        s.op = stages[i].op;
    }
    m->ValidateStages();
    m->SetRenderMap(m->BuildDefaultRenderMap());
    return m;
}

// Helpers for hand-made maps: blocks owned by the map once they hang from a root.
inline nShaderBlock* KitBlock(int32_t kind, nShaderBlock* a = 0, nShaderBlock* b = 0, nShaderBlock* c = 0,
                              nShaderBlock* d = 0)
{
    nShaderBlock* block = new nShaderBlock(kind);
    nShaderBlock* inputs[4] = {a, b, c, d};
    for (unsigned i = 0; i < block->GetInputCount(); ++i)
        block->SetInput(i, inputs[i]);
    return block;
}

inline nShaderBlock* KitConstant(uint32_t type, float x, float y = 0.0f, float z = 0.0f, float w = 0.0f)
{
    nShaderBlock* c = new nShaderBlock(ShaderBlockConstant);
    c->constantType = type;
    c->values[0] = x, c->values[1] = y, c->values[2] = z, c->values[3] = w;
    return c;
}

inline nShaderBlock* KitSwizzle(nShaderBlock* input, int x, int y = 0, int z = 0, int w = 0)
{
    nShaderBlock* s = KitBlock(ShaderBlockSwizzle, input);
    s->codes[0] = x, s->codes[1] = y, s->codes[2] = z, s->codes[3] = w;
    return s;
}

inline nShaderBlock* KitBuild(int x, int y, int z, int w, nShaderBlock* a = 0, nShaderBlock* b = 0, nShaderBlock* c = 0,
                              nShaderBlock* d = 0)
{
    nShaderBlock* s = new nShaderBlock(ShaderBlockBuild);
    s->codes[0] = x, s->codes[1] = y, s->codes[2] = z, s->codes[3] = w;
    nShaderBlock* inputs[4] = {a, b, c, d};
    for (unsigned i = 0; i < 4; ++i)
        s->SetInput(i, inputs[i]);
    return s;
}

inline nShaderBlock* KitSampler(nShaderBlock* uv)
{
    return KitBlock(ShaderBlockSampler2D, KitBlock(ShaderBlockTexture), uv);
}

// Materials whose maps, taken together, use every block kind; each pass of each is valid GLSL.
inline std::vector<std::unique_ptr<nMaterial>> MakeKitMaterialTable()
{
    const int32_t UV = MaterialUVMap;
    std::vector<std::unique_ptr<nMaterial>> table;
    table.push_back(MakeKitMaterial("default", 0, {}));
    table.push_back(MakeKitMaterial("vertex_colour", MaterialRenderVertexColor, {{MaterialChannelDiffuse, UV, 0, 0}}));
    table.push_back(MakeKitMaterial("skinned_tangent", MaterialRenderSkinned | MaterialRenderNormalMapTangent,
                                    {{MaterialChannelDiffuse, UV, 0, 0}, {MaterialChannelNormal, UV, 1, 0}}));
    table.push_back(MakeKitMaterial("soft_alpha", AlphaSoftZ, {{MaterialChannelDiffuse, UV, 0, 0}, {MaterialChannelOpacity, UV, 0, 0}}));
    table.push_back(MakeKitMaterial("alpha_to_frame", AlphaToFrame, {{MaterialChannelDiffuse, UV, 0, 0}, {MaterialChannelOpacity, UV, 0, 0}}));
    table.push_back(MakeKitMaterial("blend_decal_light", MaterialRenderVertexColor,
                                    {{MaterialChannelDiffuse, UV, 0, 0}, {MaterialChannelBlendRGB, UV, 1, 0}, {MaterialChannelDecal, UV, 2, 0}, {MaterialChannelLightmap, UV, 1, 0}}));
    table.push_back(MakeKitMaterial("reflections", 0,
                                    {{MaterialChannelReflection, MaterialFrontMap, 0, MaterialOperatorAdd},
                                     {MaterialChannelDiffuse, MaterialLSNormal, 0, 0},
                                     {MaterialChannelSpecular, 0, 0, 0},
                                     {MaterialChannelGlossiness, UV, 0, 0},
                                     {MaterialChannelSelfIllum, UV, 2, 0}}));
    table.push_back(MakeKitMaterial("reflection_multiplied", MaterialRenderSkinned,
                                    {{MaterialChannelReflection, MaterialLSNormal, 0, MaterialOperatorMultiply},
                                     {MaterialChannelNormal, UV, 0, 0}}));
    // Hand-made maps for the kinds no default map uses.
    {
        std::unique_ptr<nMaterial> m = MakeKitMaterial("arithmetic", 0, {});
        nRenderMap* map = new nRenderMap();
        nShaderBlock* clock = KitBlock(ShaderBlockClock);
        nShaderBlock* wave = KitBlock(ShaderBlockAbs, KitBlock(ShaderBlockSinus, clock));
        nShaderBlock* other = KitBlock(ShaderBlockPow, KitBlock(ShaderBlockCosinus, clock), KitConstant(ShaderValueFloat, 2.0f));
        nShaderBlock* colour = KitBlock(ShaderBlockColor);
        nShaderBlock* tint = KitBlock(ShaderBlockSub, colour, KitConstant(ShaderValueVec4, 0.1f, 0.1f, 0.1f, 0.0f));
        map->SetRoot(RenderMapDiffuse, KitBlock(ShaderBlockMix, tint, KitBlock(ShaderBlockMaterialParam), wave));
        map->SetRoot(RenderMapGlossiness, KitBlock(ShaderBlockClamp, KitBlock(ShaderBlockDiv, other, KitConstant(ShaderValueFloat, 4.0f)),
                                                   KitConstant(ShaderValueFloat, 0.0f), KitConstant(ShaderValueFloat, 1.0f)));
        nShaderBlock* view = KitBlock(ShaderBlockViewVector);
        nShaderBlock* n = KitBlock(ShaderBlockNormal);
        nShaderBlock* side = KitBlock(ShaderBlockNormalize, KitBlock(ShaderBlockCross, n, view));
        map->SetRoot(RenderMapNormal, KitBlock(ShaderBlockNormalize, KitBlock(ShaderBlockAdd, n, KitBlock(ShaderBlockMul, side, KitSwizzle(KitConstant(ShaderValueFloat, 0.1f), 1, 1, 1)))));
        nShaderBlock* rim = KitBlock(ShaderBlockDot, n, view);
        map->SetRoot(RenderMapConstant, KitBuild(2, 2, 2, 1, rim, rim, rim));
        nShaderBlock* param3 = KitBlock(ShaderBlockMaterialParam);
        param3->index = 3;
        map->SetRoot(RenderMapSpecular, KitBlock(ShaderBlockMul, param3, KitBuild(2, 3, 1, 0, KitBlock(ShaderBlockScreenUV), KitSwizzle(KitBlock(ShaderBlockViewport), 2))));
        m->SetRenderMap(map);
        table.push_back(std::move(m));
    }
    {
        std::unique_ptr<nMaterial> m = MakeKitMaterial("matrices", MaterialRenderSkinned, {});
        nRenderMap* map = new nRenderMap();
        nShaderBlock* n = KitBlock(ShaderBlockNormal);
        nShaderBlock* turned = KitBlock(ShaderBlockMul, KitBlock(ShaderBlockNormalMatrix), n);
        nShaderBlock* world = KitBlock(ShaderBlockMul, KitBlock(ShaderBlockModelMatrix), KitBuild(2, 3, 4, 1, n, n, n));
        nShaderBlock* eye = KitBlock(ShaderBlockMul, KitBuild(2, 3, 4, 0, turned, turned, turned), KitBlock(ShaderBlockModelViewMatrix));
        map->SetRoot(RenderMapNormal, KitBlock(ShaderBlockMul, KitBlock(ShaderBlockNormalViewMatrix), turned));
        map->SetRoot(RenderMapDiffuse, KitBlock(ShaderBlockPack, KitBlock(ShaderBlockNormalize, KitBlock(ShaderBlockAdd, world, eye))));
        map->SetRoot(RenderMapOpacity, KitSwizzle(KitBlock(ShaderBlockVertexColor), 4));
        m->SetRenderMap(map);
        table.push_back(std::move(m));
    }
    {
        std::unique_ptr<nMaterial> m = MakeKitMaterial("render_buffer", 0, {});
        nRenderMap* map = new nRenderMap();
        nShaderBlock* screen = KitBlock(ShaderBlockDiv, KitBlock(ShaderBlockScreenUV), KitSwizzle(KitBlock(ShaderBlockViewport), 3, 4));
        nShaderBlock* buffer = KitBlock(ShaderBlockSampler2D, KitBlock(ShaderBlockRenderBuffer), screen);
        nShaderBlock* normal = KitBlock(ShaderBlockUnpack, KitSwizzle(buffer, 1, 2, 3));
        map->SetRoot(RenderMapNormal, KitBlock(ShaderBlockNormalize, KitBlock(ShaderBlockMul, KitBlock(ShaderBlockTangentFrame), normal)));
        map->SetRoot(RenderMapDiffuse, KitBlock(ShaderBlockUnpack, buffer));
        map->SetRoot(RenderMapOpacity, KitSwizzle(buffer, 4));
        m->SetRenderMap(map);
        table.push_back(std::move(m));
    }
    table.push_back(MakeKitMaterial("soft_alpha_skinned", AlphaSoftZ | MaterialRenderSkinned | MaterialRenderVertexColor,
                                    {{MaterialChannelOpacity, UV, 1, 0}}));
    table.push_back(MakeKitMaterial("alpha_to_frame_vertex_colour", AlphaToFrame | MaterialRenderVertexColor, {}));
    table.push_back(MakeKitMaterial("front_mapped", 0, {{MaterialChannelDiffuse, MaterialFrontMap, 0, 0}, {MaterialChannelNormal, MaterialLSNormal, 0, 0}}));
    table.push_back(MakeKitMaterial("empty_map", 0, {}));
    table.back()->SetRenderMap(new nRenderMap());
    return table;
}
