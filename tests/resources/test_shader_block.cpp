// Shader blocks: the kind table (names, prefixes, slots), output types computed from the inputs,
// SetInput refusals (types, slots, cycles), and render maps that delete shared blocks once.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "resources/nRenderMap.h"
#include "resources/nShaderBlock.h"
#include "tests/support/nLogCapture.h"

namespace {

// Owns the blocks of one test.
struct Blocks
{
    std::vector<std::unique_ptr<nShaderBlock>> all;

    nShaderBlock* Make(int32_t kind)
    {
        all.emplace_back(new nShaderBlock(kind));
        return all.back().get();
    }
    // A source block of the given output type.
    nShaderBlock* Source(uint32_t type)
    {
        switch (type) {
            case ShaderValueMat3: return Make(ShaderBlockNormalViewMatrix);
            case ShaderValueMat4: return Make(ShaderBlockModelMatrix);
            case ShaderValueTexture: return Make(ShaderBlockTexture);
            default: {
                nShaderBlock* c = Make(ShaderBlockConstant);
                c->constantType = type;
                return c;
            }
        }
    }
};

const uint32_t F = ShaderValueFloat, V2 = ShaderValueVec2, V3 = ShaderValueVec3, V4 = ShaderValueVec4,
               M3 = ShaderValueMat3, M4 = ShaderValueMat4, T = ShaderValueTexture, X = ShaderValueInvalid;

TEST(ShaderBlockKinds, NamesPrefixesAndSlotsFollowTheKindTable)
{
    struct Row
    {
        int32_t kind;
        const char* save;
        const char* display;
        const char* prefix;
        unsigned inputs;
        const char* output;
    };
    const Row rows[] = {
        {ShaderBlockVertex, "Invalid", "Vertex Stream", "Vertex_", 0, "Vertex"},
        {ShaderBlockUV, "Geometry UV", "UV Stream", "UV0_", 0, "UV"},
        {ShaderBlockSampler2D, "Sampler 2D", "Sampler 2D", "Spl2dTT_", 2, "Texel"},
        {ShaderBlockConstant, "Constant", "Constant", "ConstNone_", 0, "Constant"},
        {ShaderBlockMaterialParam, "Material Parameter", "Material Parameter", "MatParm0_", 0, "Parameter"},
        {ShaderBlockNormalMatrix, "Normal Matrix ", "Normal Matrix ", "NormalMatrix_", 0, "Normal Matrix"},
        {ShaderBlockModelViewMatrix, "Model View Matrix", "Model View Matrix ", "ModelViewMatrix_", 0, "Model View Matrix"},
        {ShaderBlockMix, "Mix", "Mix", "Mix_", 3, "A*K+B*(1-K)"},
        {ShaderBlockMul, "Multiply", "Mul", "Mul_", 2, "A*B"},
        {ShaderBlockCross, "Cross", "Cross", "Crs_", 2, "A.Cross(B)"},
        {ShaderBlockSwizzle, "Swizzle", "Swizzle", "Swz0000_", 1, "Swizzled"},
        {ShaderBlockBuild, "Build", "Build", "Bld2345_", 4, "Built"},
        {ShaderBlockUnpack, "Unpack color to vector", "Unpack Color", "CToV_", 1, "Unpacked [-1;1]"},
        {ShaderBlockClock, "Clock", "Clock", "Clk_", 0, "Clock (s)"},
    };
    for (const Row& row : rows) {
        nShaderBlock b(row.kind);
        SCOPED_TRACE(row.save);
        EXPECT_STREQ(GetShaderBlockKindName(row.kind), row.save);
        EXPECT_EQ(FindShaderBlockKind(row.save), row.kind);
        EXPECT_EQ(std::string(b.GetName().GetCStr()), row.display);
        EXPECT_EQ(std::string(b.GetPrefix().GetCStr()), row.prefix);
        EXPECT_EQ(b.GetInputCount(), row.inputs);
        EXPECT_STREQ(b.GetOutputInfo()->name, row.output);
        EXPECT_EQ(b.GetInputInfo(row.inputs), nullptr);
    }
    EXPECT_STREQ(GetShaderBlockKindName(38), "Invalid");
    EXPECT_STREQ(GetShaderBlockKindName(-1), "Invalid");
    EXPECT_EQ(FindShaderBlockKind("Normal Matrix"), ShaderBlockNormalViewMatrix);
    EXPECT_EQ(FindShaderBlockKind("None"), ShaderBlockNone);
    EXPECT_EQ(nShaderBlock::New(0), nullptr);
    EXPECT_EQ(nShaderBlock::New(38), nullptr);
    // Every kind has a save name that finds it again, except the vertex stream's "Invalid".
    for (int32_t kind = 2; kind < ShaderBlockKindCount; ++kind)
        EXPECT_EQ(FindShaderBlockKind(GetShaderBlockKindName(kind)), kind) << kind;
}

TEST(ShaderBlockKinds, PrefixesCarryTheParameters)
{
    nShaderBlock uv(ShaderBlockUV), sampler(ShaderBlockSampler2D), param(ShaderBlockMaterialParam),
        swizzle(ShaderBlockSwizzle), constant(ShaderBlockConstant);
    uv.index = 2;
    sampler.wrapU = 0;
    param.index = 5;
    swizzle.codes[0] = 3, swizzle.codes[1] = 4;
    EXPECT_STREQ(uv.GetPrefix().GetCStr(), "UV2_");
    EXPECT_STREQ(sampler.GetPrefix().GetCStr(), "Spl2dFT_");
    EXPECT_STREQ(param.GetPrefix().GetCStr(), "MatParm5_");
    EXPECT_STREQ(swizzle.GetPrefix().GetCStr(), "Swz3400_");
    const std::pair<uint32_t, const char*> constants[] = {{X, "ConstNone_"}, {F, "ConstFloat_"}, {V2, "ConstVec2_"}, {V3, "ConstVec3_"}, {V4, "ConstVec4_"}};
    for (const auto& c : constants) {
        constant.constantType = c.first;
        EXPECT_STREQ(constant.GetPrefix().GetCStr(), c.second);
    }
    nLogCapture log;
    constant.constantType = M3;
    EXPECT_STREQ(constant.GetPrefix().GetCStr(), "ConstUnk_");
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"[!] Unknown constant.\n"});
}

TEST(ShaderBlockTypes, OutputTypesFollowTheInputs)
{
    struct Row
    {
        const char* what;
        int32_t kind;
        uint32_t in[4];    // 0: unconnected
        int32_t codes[4];  // Swizzle codes or Build modes; all 9: the kind's defaults
        uint32_t want;
    };
    const Row rows[] = {
        {"add of equal types", ShaderBlockAdd, {V3, V3}, {9}, V3},
        {"add of different types", ShaderBlockAdd, {V3, V2}, {9}, X},
        {"add with one input", ShaderBlockAdd, {V3, 0}, {9}, X},
        {"div of floats", ShaderBlockDiv, {F, F}, {9}, F},
        {"mul mat4 by vec4", ShaderBlockMul, {M4, V4}, {9}, V4},
        {"mul vec4 by mat4", ShaderBlockMul, {V4, M4}, {9}, V4},
        {"mul mat3 by vec3", ShaderBlockMul, {M3, V3}, {9}, V3},
        {"mul vec3 by mat3", ShaderBlockMul, {V3, M3}, {9}, V3},
        {"mul of two mat3", ShaderBlockMul, {M3, M3}, {9}, X},
        {"mul mat4 by vec3", ShaderBlockMul, {M4, V3}, {9}, X},
        {"mul of floats", ShaderBlockMul, {F, F}, {9}, F},
        {"mix", ShaderBlockMix, {V4, V4, F}, {9}, V4},
        {"mix without k", ShaderBlockMix, {V4, V4, 0}, {9}, X},
        {"mix of different types", ShaderBlockMix, {V4, V3, F}, {9}, X},
        {"dot", ShaderBlockDot, {V3, V3}, {9}, F},
        {"dot of different types", ShaderBlockDot, {V3, V2}, {9}, X},
        {"cross", ShaderBlockCross, {V3, V3}, {9}, V3},
        {"cross with one input", ShaderBlockCross, {V3, 0}, {9}, X},
        {"clamp", ShaderBlockClamp, {V2, V2, V2}, {9}, V2},
        {"clamp of mixed types", ShaderBlockClamp, {V2, F, F}, {9}, X},
        {"normalize", ShaderBlockNormalize, {V3}, {9}, V3},
        {"normalize unconnected", ShaderBlockNormalize, {0}, {9}, X},
        {"abs", ShaderBlockAbs, {F}, {9}, F},
        {"pack", ShaderBlockPack, {V4}, {9}, V4},
        {"sampler", ShaderBlockSampler2D, {T, V2}, {9}, V4},
        {"sampler without uv", ShaderBlockSampler2D, {T, 0}, {9}, X},
        {"swizzle zw of vec4", ShaderBlockSwizzle, {V4}, {3, 4, 0, 0}, V2},
        {"swizzle of four codes", ShaderBlockSwizzle, {F}, {1, 1, 1, 1}, V4},
        {"swizzle without codes", ShaderBlockSwizzle, {V4}, {0, 0, 0, 0}, X},
        {"swizzle unconnected", ShaderBlockSwizzle, {0}, {1, 0, 0, 0}, X},
        {"build xyz1 of one vec3", ShaderBlockBuild, {V3, V3, V3, 0}, {2, 3, 4, 1}, V4},
        {"build stops at an unconnected input", ShaderBlockBuild, {0, 0, 0, 0}, {1, 3, 0, 0}, F},
        {"build of constants", ShaderBlockBuild, {0, 0, 0, 0}, {0, 1, 0, 1}, V4},
        {"build default modes without inputs", ShaderBlockBuild, {0, 0, 0, 0}, {9}, X},
        {"sin", ShaderBlockSinus, {F}, {9}, F},
        {"sin unconnected is still float", ShaderBlockSinus, {0}, {9}, F},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Blocks blocks;
        nShaderBlock* b = blocks.Make(row.kind);
        if (row.codes[0] != 9)
            for (int i = 0; i < 4; ++i)
                b->codes[i] = row.codes[i];
        for (unsigned i = 0; i < b->GetInputCount(); ++i) {
            if (row.in[i]) {
                ASSERT_TRUE(b->SetInput(i, blocks.Source(row.in[i]))) << "input " << i;
            }
        }
        EXPECT_EQ(b->GetOutputType(), row.want);
    }
}

TEST(ShaderBlockTypes, FixedAndParameterTypes)
{
    const std::pair<int32_t, uint32_t> fixed[] = {
        {ShaderBlockUV, V2}, {ShaderBlockScreenUV, V2}, {ShaderBlockNormal, V3}, {ShaderBlockVertexColor, V3}, {ShaderBlockViewVector, V3}, {ShaderBlockVertex, V4}, {ShaderBlockColor, V4}, {ShaderBlockViewport, V4}, {ShaderBlockTangentFrame, M3}, {ShaderBlockNormalViewMatrix, M3}, {ShaderBlockNormalMatrix, M3}, {ShaderBlockSkinning, M4}, {ShaderBlockModelViewMatrix, M4}, {ShaderBlockModelMatrix, M4}, {ShaderBlockRenderBuffer, T}, {ShaderBlockTexture, T}, {ShaderBlockClock, F}};
    for (const auto& f : fixed)
        EXPECT_EQ(nShaderBlock(f.first).GetOutputType(), f.second) << GetShaderBlockKindName(f.first);
    nShaderBlock param(ShaderBlockMaterialParam);
    const uint32_t byIndex[] = {V4, V4, V4, V4, F, F, V4};
    for (int i = 0; i < 7; ++i) {
        param.index = i;
        EXPECT_EQ(param.GetOutputType(), byIndex[i]) << i;
    }
}

TEST(ShaderBlockInputs, SetInputRefusals)
{
    Blocks blocks;
    nShaderBlock* mix = blocks.Make(ShaderBlockMix);
    nShaderBlock* colour = blocks.Source(V4);
    struct Row
    {
        const char* what;
        unsigned slot;
        nShaderBlock* block;
        ShaderInputCheck want;
    };
    const Row rows[] = {
        {"texture into a mix", 0, blocks.Source(T), ShaderInputWrongType},
        {"mat4 into a mix", 1, blocks.Source(M4), ShaderInputWrongType},
        {"vec4 into k", 2, blocks.Source(V4), ShaderInputWrongType},
        {"past the slots", 3, colour, ShaderInputNoSlot},
        {"the block itself", 0, mix, ShaderInputCycle},
        {"NULL clears", 0, 0, ShaderInputAccepted},
        {"a colour", 0, colour, ShaderInputAccepted},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(mix->CheckInput(row.slot, row.block), row.want);
        EXPECT_EQ(mix->SetInput(row.slot, row.block), row.want == ShaderInputAccepted);
    }
    EXPECT_EQ(mix->GetInput(0), colour);
    // A refused connection keeps the previous block.
    EXPECT_FALSE(mix->SetInput(0, blocks.Source(T)));
    EXPECT_EQ(mix->GetInput(0), colour);
    EXPECT_FALSE(blocks.Source(F)->SetInput(0, colour));  // sources have no input
}

// A link from a block to anything above it would close a cycle; every such link is refused, so
// every walk of the graph ends.
TEST(ShaderBlockInputs, CyclesAreRefused)
{
    Blocks blocks;
    // add3 = Add(add2, c); add2 = Add(add1, c); add1 = Add(n, n)
    nShaderBlock* n = blocks.Make(ShaderBlockNormal);
    nShaderBlock* add1 = blocks.Make(ShaderBlockAdd);
    nShaderBlock* add2 = blocks.Make(ShaderBlockAdd);
    nShaderBlock* add3 = blocks.Make(ShaderBlockAdd);
    nShaderBlock* c = blocks.Make(ShaderBlockNormalize);
    ASSERT_TRUE(c->SetInput(0, n));
    ASSERT_TRUE(add1->SetInput(0, n) && add1->SetInput(1, n));
    ASSERT_TRUE(add2->SetInput(0, add1) && add2->SetInput(1, c));
    ASSERT_TRUE(add3->SetInput(0, add2) && add3->SetInput(1, c));
    struct Row
    {
        const char* what;
        nShaderBlock* from;
        unsigned slot;
        nShaderBlock* to;
    };
    const Row rows[] = {
        {"self", add1, 0, add1},
        {"parent", add1, 1, add2},
        {"grandparent", add1, 0, add3},
        {"through a shared input", c, 0, add3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        nShaderBlock* before = row.from->GetInput(row.slot);
        EXPECT_EQ(row.from->CheckInput(row.slot, row.to), ShaderInputCycle);
        EXPECT_FALSE(row.from->SetInput(row.slot, row.to));
        EXPECT_EQ(row.from->GetInput(row.slot), before);
    }
    EXPECT_EQ(add3->GetOutputType(), V3);
    // A sibling link that closes no cycle is fine.
    EXPECT_TRUE(add2->SetInput(1, add1));
}

// Types of a graph whose blocks share their inputs level after level are computed once per
// block, and a chain deeper than the walk allows reads as invalid instead of exhausting the stack.
TEST(ShaderBlockTypes, SharedChainsAndDeepChainsEnd)
{
    Blocks blocks;
    nShaderBlock* last = blocks.Source(V3);
    for (int i = 0; i < 200; ++i) {
        nShaderBlock* add = blocks.Make(ShaderBlockAdd);
        ASSERT_TRUE(add->SetInput(0, last) && add->SetInput(1, last)) << i;
        last = add;
    }
    EXPECT_EQ(last->GetOutputType(), V3);
    for (int i = 0; i < 100; ++i) {
        nShaderBlock* add = blocks.Make(ShaderBlockAdd);
        add->SetInput(0, last);
        add->SetInput(1, last);
        last = add;
    }
    EXPECT_EQ(last->GetOutputType(), X);  // 300 levels: past the walk's limit
}

TEST(RenderMap, SharedBlocksAreDeletedOnceAndTexturesReleased)
{
    nTexture* texture = new nTexture(nullptr, 0, 0);
    texture->AddRef();
    {
        nRenderMap map;
        nShaderBlock* tex = new nShaderBlock(ShaderBlockTexture);
        tex->texture = texture;
        nShaderBlock* sampler = new nShaderBlock(ShaderBlockSampler2D);
        nShaderBlock* uv = new nShaderBlock(ShaderBlockUV);
        ASSERT_TRUE(sampler->SetInput(0, tex) && sampler->SetInput(1, uv));
        nShaderBlock* alpha = new nShaderBlock(ShaderBlockSwizzle);
        alpha->codes[0] = 4;
        ASSERT_TRUE(alpha->SetInput(0, sampler));
        map.SetRoot(RenderMapDiffuse, sampler);
        map.SetRoot(RenderMapOpacity, alpha);
        map.SetRoot(RenderMapSpecular, sampler);
        EXPECT_EQ(map.CollectBlocks(true).size(), 4u);
        EXPECT_EQ(texture->GetRefCount(), 2);
        EXPECT_FALSE(map.IsEmpty());
    }
    EXPECT_EQ(texture->GetRefCount(), 1);
    texture->Release();
}

TEST(RenderMap, CollectOrders)
{
    nRenderMap map;
    nShaderBlock* a = new nShaderBlock(ShaderBlockNormal);
    nShaderBlock* b = new nShaderBlock(ShaderBlockColor);
    nShaderBlock* mul = new nShaderBlock(ShaderBlockMul);
    nShaderBlock* norm = new nShaderBlock(ShaderBlockNormalize);
    ASSERT_TRUE(norm->SetInput(0, a));
    ASSERT_TRUE(mul->SetInput(0, b) && mul->SetInput(1, b));
    map.SetRoot(RenderMapNormal, norm);
    map.SetRoot(RenderMapDiffuse, mul);
    map.SetRoot(RenderMapModulate, a);
    EXPECT_EQ(map.CollectBlocks(false), (std::vector<nShaderBlock*>{norm, a, mul, b}));
    EXPECT_EQ(map.CollectBlocks(true), (std::vector<nShaderBlock*>{a, norm, b, mul}));
}

}
