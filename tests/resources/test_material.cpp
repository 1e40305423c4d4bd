// Materials: stage validation and the channel table, adding stages, the alpha flag, the debug
// channel, and the order of the renderer calls of set-up, update and destruction.
#include "hub/nOrvex.h"
#include "resources/nMaterial.h"
#include "resources/nRenderMap.h"
#include "tests/kit/nCallLog.h"
#include "tests/kit/nRecordingRenderer.h"
#include "tests/support/nLogCapture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Calls = std::vector<std::string>;
using Lines = std::vector<std::string>;

nTexture* NewTexture(const char* name)
{
    nTexture* texture = new nTexture(nullptr, 0, 0);
    texture->SetName(name);
    return texture;
}

void SetStage(nMaterial& m, int index, int32_t channel, nTexture* texture, bool active,
              int32_t uvSource = MaterialUVMap, int uvIndex = 0)
{
    nMaterialStage& s = m.GetStageAt(index);
    s.channel = channel;
    s.texture = texture;
    s.active = active ? 1 : 0;
    s.uvSource = uvSource;
    s.uvIndex = uint8_t(uvIndex);
}

int StageIndex(const nMaterial& m, const nMaterialStage* stage)
{
    for (int i = 0; i < nMaterial::kStageCount; ++i)
        if (&m.GetStageAt(i) == stage)
            return i;
    return -1;
}

TEST(Material, ChannelNames)
{
    const char* expected[] = {"None", "Diffuse", "Decal", "Opacity", "Specular", "Glossiness", "Normal",
                              "Reflection", "Self-Illum (Emissive)", "Lightmap", "Blend RGB"};
    for (int32_t c = 0; c < MaterialChannelCount; ++c)
        EXPECT_STREQ(GetMaterialChannelName(c), expected[c]);
    EXPECT_STREQ(GetMaterialChannelName(11), "Invalid");
    EXPECT_STREQ(GetMaterialChannelName(-1), "Invalid");
}

TEST(Material, ValidationDeactivatesOnlyBrokenUVMapStages)
{
    struct Case
    {
        const char* what;
        int32_t uvSource;
        int uvIndex;
        bool texture;
        bool staysActive;
        const char* warning;
    };
    const Case cases[] = {
        {"UV set 3 with a texture", MaterialUVMap, 3, true, false,
         "[*] Invalid UVmap index in material 'm', 'Normal' stage deactivated.\n"},
        {"UV set 200 without a texture", MaterialUVMap, 200, false, false,
         "[*] Invalid UVmap index in material 'm', 'Normal' stage deactivated.\n"},
        {"no texture", MaterialUVMap, 2, false, false,
         "[*] No stage texture in material 'm', 'Normal' stage deactivated.\n"},
        {"UV set 2 with a texture", MaterialUVMap, 2, true, true, nullptr},
        {"LSNormal without a texture", MaterialLSNormal, 0, false, true, nullptr},
        {"FrontMap with UV set 9", MaterialFrontMap, 9, true, true, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        nMaterial m(nullptr);
        m.SetName("m");
        SetStage(m, 2, MaterialChannelNormal, c.texture ? NewTexture("n.tga") : nullptr, true, c.uvSource, c.uvIndex);
        nLogCapture log;
        m.ValidateStages();
        EXPECT_EQ(m.GetStageAt(2).active != 0, c.staysActive);
        EXPECT_EQ(log.Lines(), c.warning ? Lines{c.warning} : Lines{});
    }
}

TEST(Material, ChannelTableNamesTheFirstStageOfEachChannel)
{
    nMaterial m(nullptr);
    SetStage(m, 1, MaterialChannelDiffuse, NewTexture("late.tga"), false);
    SetStage(m, 3, MaterialChannelDiffuse, NewTexture("d.tga"), true);
    SetStage(m, 4, MaterialChannelNormal, NewTexture("n.tga"), true);
    m.ValidateStages();
    EXPECT_EQ(StageIndex(m, m.GetStage(MaterialChannelDiffuse, false)), 1);
    EXPECT_EQ(m.GetStage(MaterialChannelDiffuse, true), nullptr);  // stage 1 is inactive
    EXPECT_EQ(StageIndex(m, m.GetStage(MaterialChannelNormal, true)), 4);
    EXPECT_EQ(StageIndex(m, m.GetStage(MaterialChannelNone, false)), 0);  // the first free stage
    EXPECT_EQ(m.GetStage(MaterialChannelOpacity, false), nullptr);
    EXPECT_EQ(m.GetStage(11, false), nullptr);
    EXPECT_EQ(m.GetStage(-3, false), nullptr);
}

TEST(Material, AddStageReturnsAnActiveStageOrTakesTheFirstFreeOne)
{
    nSharedPtr<nTexture> existing(NewTexture("o1.tga")), offered(NewTexture("o2.tga"));
    nMaterial m(nullptr);
    SetStage(m, 0, MaterialChannelDiffuse, NewTexture("d.tga"), true);
    SetStage(m, 1, MaterialChannelOpacity, existing.Get(), true);
    m.ValidateStages();
    EXPECT_EQ(m.AddStage(MaterialChannelOpacity, offered.Get(), MaterialFrontMap, 2), &m.GetStageAt(1));
    EXPECT_EQ(m.GetStageAt(1).texture, existing.Get());
    EXPECT_EQ(m.GetStageAt(1).uvSource, MaterialUVMap);

    // An inactive Opacity stage is passed over: a free stage is taken, and the table keeps
    // naming the earlier stage, also after the next validation.
    m.GetStageAt(1).active = 0;
    m.GetStageAt(2).wrapU = 0;
    nMaterialStage* added = m.AddStage(MaterialChannelOpacity, offered.Get(), MaterialFrontMap, 2);
    ASSERT_EQ(added, &m.GetStageAt(2));
    EXPECT_TRUE(added->active);
    EXPECT_EQ(added->channel, MaterialChannelOpacity);
    EXPECT_EQ(added->texture, offered.Get());
    EXPECT_EQ(added->uvSource, MaterialFrontMap);
    EXPECT_EQ(added->uvIndex, 2);
    EXPECT_EQ(added->wrapU, 0);  // left as it was
    EXPECT_EQ(StageIndex(m, m.GetStage(MaterialChannelOpacity, false)), 1);
    m.ValidateStages();
    EXPECT_EQ(StageIndex(m, m.GetStage(MaterialChannelOpacity, false)), 1);
}

TEST(Material, AddStageWithoutAFreeStageWarnsAndGivesNothing)
{
    nMaterial m(nullptr);
    for (int i = 0; i < nMaterial::kStageCount; ++i)
        SetStage(m, i, MaterialChannelDecal, NewTexture("x.tga"), false);
    nSharedPtr<nTexture> offered(NewTexture("d.tga"));
    nLogCapture log;
    EXPECT_EQ(m.AddStage(MaterialChannelDiffuse, offered.Get(), MaterialUVMap, 0), nullptr);
    EXPECT_EQ(offered->GetRefCount(), 1);
    EXPECT_EQ(log.Lines(), Lines{"[*] No texture stage left to create a new stage.\n"});
}

TEST(Material, AlphaFlag)
{
    struct Case
    {
        const char* what;
        uint32_t flags;
        bool opacityStage;
        bool active;
        bool texture;
        bool alpha;
    };
    const Case cases[] = {
        {"plain", 0, false, false, false, false},
        {"additive", MaterialRenderAdd, false, false, false, true},
        {"subtractive", MaterialRenderSub, false, false, false, true},
        {"other flags", MaterialRenderDoubleSided | MaterialRenderNoFog, false, false, false, false},
        {"active textured opacity", 0, true, true, true, true},
        {"inactive opacity", 0, true, false, true, false},
        {"opacity without texture", 0, true, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        nMaterial m(nullptr);
        m.renderFlags = c.flags;
        if (c.opacityStage)
            SetStage(m, 0, MaterialChannelOpacity, c.texture ? NewTexture("o.tga") : nullptr, c.active, MaterialLSNormal);
        m.ValidateStages();
        m.UpdateAlphaFlag();
        EXPECT_EQ(m.GetAlphaFlag(), c.alpha);
    }
}

TEST(Material, ResetRestoresDefaultsButKeepsNamesAndPhysics)
{
    nMaterial m(nullptr);
    m.SetName("brick");
    m.SetShaderName("wet");
    m.mass = 7.0f;
    m.diffuse = nVector(0.1f, 0.2f, 0.3f, 0.4f);
    m.glossiness = 3.0f;
    m.renderFlags = MaterialRenderAdd;
    m.SetRenderMap(new nRenderMap());
    SetStage(m, 0, MaterialChannelDiffuse, NewTexture("d.tga"), true);
    m.ValidateStages();
    m.UpdateAlphaFlag();

    m.Reset();
    EXPECT_EQ(m.GetName(), "brick");
    EXPECT_EQ(m.GetShaderName(), "wet");
    EXPECT_EQ(m.mass, 7.0f);
    EXPECT_EQ(m.diffuse.w, 1.0f);
    EXPECT_EQ(m.glossiness, 0.4f);
    EXPECT_EQ(m.renderFlags, 0u);
    EXPECT_EQ(m.GetRenderMap(), nullptr);
    EXPECT_FALSE(m.GetAlphaFlag());
    EXPECT_EQ(m.GetStage(MaterialChannelDiffuse, false), nullptr);
    EXPECT_FALSE(m.GetStageAt(0).texture.IsValid());
    EXPECT_EQ(m.GetStageAt(0).channel, MaterialChannelNone);
}

TEST(Material, SetupUpdateAndDestructionReachTheRendererInOrder)
{
    nOrvex engine;
    nCallLog calls;
    nRecordingRenderer renderer(&engine, &calls);
    renderer.recordResources = true;
    nMaterial* m = new nMaterial(&engine);
    m->SetName("steel");
    m->Setup();
    EXPECT_NE(m->GetRenderData(), nullptr);
    m->Update();
    delete m;
    EXPECT_EQ(calls.Calls(), (Calls{"render.SetupMaterial(steel)", "render.UpdateMaterial(steel)", "render.UpdateMaterial(steel)", "render.FreeMaterial(steel)"}));
}

TEST(Material, SetupValidatesAndSetsTheAlphaFlagBeforeTheUpdate)
{
    nOrvex engine;
    nCallLog calls;
    nRecordingRenderer renderer(&engine, &calls);
    renderer.recordResources = true;
    nMaterial m(&engine);
    m.SetName("glass");
    SetStage(m, 4, MaterialChannelOpacity, NewTexture("o.tga"), true);
    SetStage(m, 5, MaterialChannelDiffuse, nullptr, true);
    nLogCapture log;
    m.Setup();
    EXPECT_TRUE(m.GetAlphaFlag());
    EXPECT_EQ(StageIndex(m, m.GetStage(MaterialChannelOpacity, true)), 4);
    EXPECT_FALSE(m.GetStageAt(5).active);
    EXPECT_EQ(log.Lines(), Lines{"[*] No stage texture in material 'glass', 'Diffuse' stage deactivated.\n"});
}

TEST(Material, UpdateCountsAStageAddedSinceTheLastValidation)
{
    nOrvex engine;
    nCallLog calls;
    nRecordingRenderer renderer(&engine, &calls);
    renderer.recordResources = true;
    nSharedPtr<nTexture> mask(NewTexture("mask.tga"));
    nMaterial m(&engine);
    m.SetName("fence");
    m.Setup();
    EXPECT_FALSE(m.GetAlphaFlag());
    ASSERT_NE(m.AddStage(MaterialChannelOpacity, mask.Get(), MaterialUVMap, 0), nullptr);
    calls.Clear();
    m.Update();
    EXPECT_TRUE(m.GetAlphaFlag());
    EXPECT_EQ(calls.Calls(), Calls{"render.UpdateMaterial(fence)"});
}

TEST(Material, DebugChannelShowsThatStageAsAWhiteDiffuseTexture)
{
    struct Restore
    {
        ~Restore() { g_debugChannel = -1; }
    } restore;
    nSharedPtr<nTexture> normal(NewTexture("normal.tga"));

    struct Case
    {
        int32_t channel;
        bool rewritten;
    };
    for (const Case& c : {Case{MaterialChannelNormal, true}, Case{MaterialChannelSpecular, false}, Case{42, false}}) {
        SCOPED_TRACE(c.channel);
        g_debugChannel = c.channel;
        nMaterial m(nullptr);
        m.SetShaderName("bumpy");
        m.diffuse = nVector(0.5f, 0.25f, 0.0f, 0.75f);
        SetStage(m, 0, MaterialChannelDiffuse, NewTexture("d.tga"), true);
        SetStage(m, 3, MaterialChannelNormal, normal.Get(), true, MaterialUVMap, 1);
        m.GetStageAt(3).op = MaterialOperatorAdd;
        m.Setup();
        if (c.rewritten) {
            const nMaterialStage& shown = m.GetStageAt(0);
            EXPECT_TRUE(shown.active);
            EXPECT_EQ(shown.channel, MaterialChannelDiffuse);
            EXPECT_EQ(shown.texture, normal.Get());
            EXPECT_EQ(shown.uvIndex, 1);
            EXPECT_EQ(shown.op, MaterialOperatorAdd);
            EXPECT_FALSE(m.GetStageAt(3).active);
            EXPECT_EQ(m.diffuse.x, 1.0f);
            EXPECT_EQ(m.diffuse.w, 1.0f);
            EXPECT_EQ(m.specular.x, 0.0f);
            EXPECT_EQ(m.specular.w, 1.0f);
            EXPECT_TRUE(m.GetShaderName().IsEmpty());
            EXPECT_EQ(m.GetStage(MaterialChannelDiffuse, true), &m.GetStageAt(0));
        } else {
            EXPECT_EQ(m.GetStageAt(0).texture->GetName(), "d.tga");
            EXPECT_TRUE(m.GetStageAt(3).active);
            EXPECT_EQ(m.diffuse.x, 0.5f);
            EXPECT_EQ(m.GetShaderName(), "bumpy");
        }
    }
}

}
