// The default render map of a material, built from its colours, flags and texture stages,
// compared as a compact dump (see nRenderMapDump.h) for a table of materials.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "resources/nMaterial.h"
#include "resources/nRenderMap.h"
#include "tests/resources/nRenderMapDump.h"
#include "tests/support/nLogCapture.h"

namespace {

struct StageSpec
{
    int32_t channel;
    int32_t uvSource;
    int32_t uvIndex;
    int32_t op;
};

// A material with one textured active stage per entry, its channel table validated.
std::unique_ptr<nMaterial> MakeMaterial(uint32_t flags, const std::vector<StageSpec>& stages)
{
    std::unique_ptr<nMaterial> m(new nMaterial(nullptr));
    m->renderFlags = flags;
    for (size_t i = 0; i < stages.size(); ++i) {
        nMaterialStage& s = m->GetStageAt((int)i);
        nTexture* texture = new nTexture(nullptr, 0, 0);
        texture->SetName(("t" + std::to_string(i) + ".tga").c_str());
        s.texture = texture;
        s.active = 1;
        s.channel = stages[i].channel;
        s.uvSource = stages[i].uvSource;
        s.uvIndex = (uint8_t)stages[i].uvIndex;
        s.op = stages[i].op;
    }
    m->ValidateStages();
    return m;
}

const int32_t UV = MaterialUVMap;

// The parts every default map without stages shares.
const std::string kPlainTail = "Specular=MatParm1 Glossiness=MatParm4 Constant=MatParm2";

TEST(DefaultRenderMap, FollowsColoursFlagsAndStages)
{
    struct Row
    {
        const char* what;
        uint32_t flags;
        std::vector<StageSpec> stages;
        std::string want;
    };
    const std::string diffuse = "Spl2dTT#1(Tex,UV0)";
    const Row rows[] = {
        {"no stage", 0, {}, "Normal=Nrm Diffuse=MatParm0 " + kPlainTail + " Opacity=MatParm5"},
        {"vertex colour without stages", MaterialRenderVertexColor, {}, "Normal=Nrm Diffuse=Mul(MatParm0,Bld2341(VtxClr#1,#1,#1,-)) " + kPlainTail + " Opacity=Mul(MatParm5,Swz4000(#1))"},
        {"diffuse", 0, {{MaterialChannelDiffuse, UV, 0, 0}}, "Normal=Nrm Diffuse=Spl2dTT(Tex,UV0) " + kPlainTail + " Opacity=MatParm5"},
        {"diffuse on UV set 1 with vertex colour", MaterialRenderVertexColor, {{MaterialChannelDiffuse, UV, 1, 0}}, "Normal=Nrm Diffuse=Mul(Spl2dTT(Tex,UV1),Bld2341(VtxClr#1,#1,#1,-)) " + kPlainTail + " Opacity=Mul(MatParm5,Swz4000(#1))"},
        {"blend weighted by the vertex colour", MaterialRenderVertexColor, {{MaterialChannelDiffuse, UV, 0, 0}, {MaterialChannelBlendRGB, UV, 1, 0}}, "Normal=Nrm Diffuse=Mix(Spl2dTT(Tex,UV1),Spl2dTT(Tex,UV0),Swz1000(VtxClr)) " + kPlainTail + " Opacity=MatParm5"},
        {"blend without a diffuse stage is ignored", 0, {{MaterialChannelBlendRGB, UV, 0, 0}}, "Normal=Nrm Diffuse=MatParm0 " + kPlainTail + " Opacity=MatParm5"},
        {"decal over the diffuse by its alpha", 0, {{MaterialChannelDiffuse, UV, 0, 0}, {MaterialChannelDecal, UV, 1, 0}}, "Normal=Nrm Diffuse=Mix(Spl2dTT#1(Tex,UV1),Spl2dTT(Tex,UV0),Swz4000(#1)) " + kPlainTail + " Opacity=MatParm5"},
        {"light map multiplies", 0, {{MaterialChannelDiffuse, UV, 0, 0}, {MaterialChannelLightmap, UV, 1, 0}}, "Normal=Nrm Diffuse=Mul(Spl2dTT(Tex,UV0),Spl2dTT(Tex,UV1)) " + kPlainTail + " Opacity=MatParm5"},
        {"reflection multiplied", 0, {{MaterialChannelReflection, UV, 0, MaterialOperatorMultiply}}, "Normal=Nrm Diffuse=Mul(MatParm0,Spl2dTT(Tex,UV0)) " + kPlainTail + " Opacity=MatParm5"},
        {"reflection without operator adds", 0, {{MaterialChannelReflection, UV, 0, MaterialOperatorNone}}, "Normal=Nrm Diffuse=MatParm0 Specular=MatParm1 Glossiness=MatParm4 Constant=Add(MatParm2,Spl2dTT(Tex,UV0)) "
                                                                                                            "Opacity=MatParm5"},
        {"reflection added", 0, {{MaterialChannelReflection, UV, 0, MaterialOperatorAdd}}, "Normal=Nrm Diffuse=MatParm0 Specular=MatParm1 Glossiness=MatParm4 Constant=Add(MatParm2,Spl2dTT(Tex,UV0)) "
                                                                                           "Opacity=MatParm5"},
        {"reflection with another operator does nothing", 0, {{MaterialChannelReflection, UV, 0, 7}}, "Normal=Nrm Diffuse=MatParm0 " + kPlainTail + " Opacity=MatParm5"},
        {"front-mapped reflection offset by the normal", 0, {{MaterialChannelReflection, MaterialFrontMap, 0, 2}}, "Normal=Nrm#1 Diffuse=MatParm0 Specular=MatParm1 Glossiness=MatParm4 "
                                                                                                                   "Constant=Add(MatParm2,Spl2dTT(Tex,Add(Mul(ConstVec2,Div(ScnUV,Swz3400(Viewport))),Mul(Swz1200(#1),ConstVec2)))) "
                                                                                                                   "Opacity=MatParm5"},
        {"sphere-mapped diffuse", 0, {{MaterialChannelDiffuse, MaterialLSNormal, 0, 0}}, "Normal=Nrm#1 Diffuse=Spl2dTT(Tex,Swz1200(VToC(Mul(NormalViewMatrix,#1)))) " + kPlainTail + " Opacity=MatParm5"},
        {"normal map", 0, {{MaterialChannelNormal, UV, 0, 0}}, "Normal=Nrmz(CToV(Swz1230(Spl2dTT(Tex,UV0)))) Diffuse=MatParm0 " + kPlainTail + " Opacity=MatParm5"},
        {"normal map in tangent space", MaterialRenderNormalMapTangent, {{MaterialChannelNormal, UV, 0, 0}}, "Normal=Nrmz(Mul(TngFrm,CToV(Swz1230(Spl2dTT(Tex,UV0))))) Diffuse=MatParm0 " + kPlainTail + " Opacity=MatParm5"},
        {"specular, glossiness, self-illumination and opacity stages", 0, {{MaterialChannelSpecular, UV, 0, 0}, {MaterialChannelGlossiness, UV, 0, 0}, {MaterialChannelSelfIllum, UV, 0, 0}, {MaterialChannelOpacity, UV, 0, 0}}, "Normal=Nrm Diffuse=MatParm0 Specular=Spl2dTT(Tex,UV0) Glossiness=Swz1000(Spl2dTT(Tex,UV0)) "
                                                                                                                                                                                                                                  "Constant=Spl2dTT(Tex,UV0) Opacity=Swz4000(Spl2dTT(Tex,UV0))"},
        {"a stage without UV source samples the centre", 0, {{MaterialChannelDiffuse, 0, 0, 0}}, "Normal=Nrm Diffuse=Spl2dTT(Tex,ConstVec2) " + kPlainTail + " Opacity=MatParm5"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::unique_ptr<nMaterial> m = MakeMaterial(row.flags, row.stages);
        std::unique_ptr<nRenderMap> map(m->BuildDefaultRenderMap());
        ASSERT_NE(map, nullptr);
        EXPECT_EQ(DumpRenderMap(map.get()), row.want);
        EXPECT_EQ(map->GetRoot(RenderMapModulate), nullptr);
    }
}

// The stage's wrap flags and texture reach the sampler; the types of every root are usable.
TEST(DefaultRenderMap, SamplersCarryTheStage)
{
    std::unique_ptr<nMaterial> m = MakeMaterial(0, {{MaterialChannelDiffuse, UV, 2, 0}});
    m->GetStageAt(0).wrapV = 0;
    std::unique_ptr<nRenderMap> map(m->BuildDefaultRenderMap());
    const nShaderBlock* sampler = map->GetRoot(RenderMapDiffuse);
    ASSERT_EQ(sampler->GetKind(), ShaderBlockSampler2D);
    EXPECT_STREQ(sampler->GetPrefix().GetCStr(), "Spl2dTF_");
    EXPECT_EQ(sampler->GetInput(0)->texture.Get(), m->GetStageAt(0).texture.Get());
    EXPECT_EQ(sampler->GetInput(1)->index, 2);
    EXPECT_EQ(map->GetRoot(RenderMapNormal)->GetOutputType(), (uint32_t)ShaderValueVec3);
    EXPECT_EQ(map->GetRoot(RenderMapDiffuse)->GetOutputType(), (uint32_t)ShaderValueVec4);
    EXPECT_EQ(map->GetRoot(RenderMapOpacity)->GetOutputType(), (uint32_t)ShaderValueFloat);
    EXPECT_EQ(map->GetRoot(RenderMapGlossiness)->GetOutputType(), (uint32_t)ShaderValueFloat);
}

// Inactive stages and stages without texture count as absent.
TEST(DefaultRenderMap, InactiveStagesAreAbsent)
{
    std::unique_ptr<nMaterial> m = MakeMaterial(0, {{MaterialChannelDiffuse, UV, 0, 0}, {MaterialChannelDecal, UV, 0, 0}});
    m->GetStageAt(0).active = 0;
    m->GetStageAt(1).texture.Release();
    nLogCapture log;
    m->ValidateStages();
    std::unique_ptr<nRenderMap> map(m->BuildDefaultRenderMap());
    EXPECT_EQ(DumpRenderMap(map.get()), "Normal=Nrm Diffuse=MatParm0 " + kPlainTail + " Opacity=MatParm5");
}

}
