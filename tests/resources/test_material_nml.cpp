// The material NML form: round trips of every field, the older spellings the reader accepts,
// bad material files with their exact log lines, embedded alpha in diffuse textures, and
// textures the reader loads itself.
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "resources/nMaterial.h"
#include "resources/nResourceCache.h"
#include "resources/nRenderMap.h"
#include "tests/kit/nCallLog.h"
#include "tests/kit/nRecordingRenderer.h"
#include "tests/support/nIOTestSupport.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nMLTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

using Calls = std::vector<std::string>;
using Lines = std::vector<std::string>;

// A 2 x 2 true-colour TGA file whose last pixel has the given alpha.
std::string TgaOfAlpha(int alpha)
{
    std::string tga(18, '\0');
    tga[2] = 2;   // uncompressed true colour
    tga[12] = 2;  // 2 x 2
    tga[14] = 2;
    tga[16] = 32;
    tga[17] = 0x28;  // top-left origin, 8 alpha bits
    for (int i = 0; i < 4; ++i) tga += std::string("\x10\x20\x30", 3) + char(i == 3 ? alpha : 255);
    return tga;
}

// A texture of the given name with no content, as tests hand materials directly.
nTexture* EmptyTexture(const char* name)
{
    nTexture* texture = new nTexture(nullptr, 0, 0);
    texture->SetName(name);
    return texture;
}

class MaterialNML : public nIOTest
{
protected:
    // The texture files the materials name: "glass.tga" is translucent, the others opaque.
    MaterialNML()
    {
        for (const char* name : {"a.tga", "b.tga", "c.tga", "d.tga", "e.tga", "solid.tga"})
            nMLPutMemoryFile(name, TgaOfAlpha(255));
        nMLPutMemoryFile("glass.tga", TgaOfAlpha(128));
    }

    // Parses text and reads its first root into m; the reader's answer.
    static bool Read(const std::string& text, nMaterial& m)
    {
        nMetaFile document;
        const std::string file = "<NML=1.0>\n" + text;
        if (!document.Parse(file.data(), int32_t(file.size()))) {
            ADD_FAILURE() << "text does not parse: " << text;
            return false;
        }
        nMetaTagIterator it;
        return m.Deserialize(&document, document.NextRoot(it));
    }

    // Writes m to an NML file and reads it back into out, as a game's files would go.
    static void WriteAndRead(const nMaterial& m, nMaterial& out)
    {
        nMetaFile written;
        nMetaTag* tag = m.Serialize(&written);
        ASSERT_NE(tag, nullptr);
        written.AddRoot(tag);
        ASSERT_TRUE(written.Save("material.nml"));
        nMetaFile document;
        ASSERT_TRUE(document.Load("material.nml"));
        nMetaTagIterator it;
        ASSERT_TRUE(out.Deserialize(&document, document.NextRoot(it)));
    }

    static std::string Dump(const nMaterial& m)
    {
        nMetaFile document;
        nMetaTag* tag = m.Serialize(&document);
        std::string text = nMLDumpTag(tag);
        delete tag;
        return text;
    }
};

void ExpectSameColour(const nVector& a, const nVector& b, const char* what)
{
    EXPECT_EQ(a.x, b.x) << what;
    EXPECT_EQ(a.y, b.y) << what;
    EXPECT_EQ(a.z, b.z) << what;
    EXPECT_EQ(a.w, b.w) << what;
}

void ExpectSameMaterial(const nMaterial& a, const nMaterial& b)
{
    EXPECT_EQ(a.GetName(), b.GetName());
    EXPECT_EQ(a.GetShaderName(), b.GetShaderName());
    ExpectSameColour(a.diffuse, b.diffuse, "diffuse");
    ExpectSameColour(a.specular, b.specular, "specular");
    ExpectSameColour(a.self, b.self, "self");
    ExpectSameColour(a.ambient, b.ambient, "ambient");
    EXPECT_EQ(a.glossiness, b.glossiness);
    EXPECT_EQ(a.opacity, b.opacity);
    EXPECT_EQ(a.reflection, b.reflection);
    EXPECT_EQ(a.ior, b.ior);
    EXPECT_EQ(a.alphaThreshold, b.alphaThreshold);
    EXPECT_EQ(a.maxSmoothingAngle, b.maxSmoothingAngle);
    EXPECT_EQ(a.renderFlags, b.renderFlags);
    EXPECT_EQ(a.mass, b.mass);
    EXPECT_EQ(a.dynamicFriction, b.dynamicFriction);
    EXPECT_EQ(a.staticFriction, b.staticFriction);
    EXPECT_EQ(a.restitution, b.restitution);
    EXPECT_EQ(a.damping, b.damping);
    EXPECT_EQ(a.stiffness, b.stiffness);
    EXPECT_EQ(a.torsion, b.torsion);
    for (int i = 0; i < nMaterial::kStageCount; ++i) {
        SCOPED_TRACE("stage " + std::to_string(i));
        const nMaterialStage& s = a.GetStageAt(i);
        const nMaterialStage& t = b.GetStageAt(i);
        ASSERT_EQ(s.texture.IsValid(), t.texture.IsValid());
        if (!s.texture.IsValid())
            continue;
        EXPECT_EQ(s.texture->GetName(), t.texture->GetName());
        EXPECT_EQ(s.active, t.active);
        EXPECT_EQ(s.channel, t.channel);
        EXPECT_EQ(s.uvSource, t.uvSource);
        EXPECT_EQ(s.uvIndex, t.uvIndex);
        EXPECT_EQ(s.wrapU, t.wrapU);
        EXPECT_EQ(s.wrapV, t.wrapV);
        EXPECT_EQ(s.op, t.op);
    }
}

const uint32_t kAllStoredFlags = MaterialRenderShadeless | MaterialRenderSmooth | MaterialRenderAdd |
                                 MaterialRenderDoubleSided | MaterialRenderWire | MaterialRenderVertexColor | SoftBody | MaterialRenderSub |
                                 MaterialRenderVertexNormal | MaterialRenderNormalMapTangent | ParralaxDisp | MaterialRenderNoDepthWrite |
                                 MaterialRenderNoDepthTest | MaterialRenderNoFog | MaterialRenderFixedFunction | AlphaToFrame |
                                 MaterialRenderToonShading | AlphaSoftZ;

TEST_F(MaterialNML, RoundTripKeepsEveryFieldOfEveryChannelAndStage)
{
    // Ten channels over two materials of six stages; every UV source, operator, UV set and wrap.
    const int32_t groups[2][6] = {
        {MaterialChannelDiffuse, MaterialChannelDecal, MaterialChannelOpacity, MaterialChannelSpecular,
         MaterialChannelGlossiness, MaterialChannelNormal},
        {MaterialChannelReflection, MaterialChannelSelfIllum, MaterialChannelLightmap, MaterialChannelBlendRGB,
         MaterialChannelDiffuse, MaterialChannelDecal},
    };
    for (int g = 0; g < 2; ++g) {
        SCOPED_TRACE("group " + std::to_string(g));
        nMaterial m(nullptr);
        m.SetName(g ? "second" : "first");
        m.SetShaderName("toon_shader");
        m.diffuse = nVector(0.2f, 0.4f, 0.6f, 0.5f);
        m.specular = nVector(0.1f, 0.2f, 0.3f, 1.0f);
        m.self = nVector(0.5f, 0.25f, 0.125f, 1.0f);
        m.ambient = nVector(0.3f, 0.3f, 0.3f, 0.25f);
        m.glossiness = 2.5f;
        m.opacity = 0.5f;
        m.reflection = 0.3f;
        m.ior = 1.33f;
        m.alphaThreshold = 0.2f;
        m.maxSmoothingAngle = 0.7f;
        m.mass = 3.0f;
        m.dynamicFriction = 0.2f;
        m.staticFriction = 0.4f;
        m.restitution = 0.6f;
        m.damping = 0.5f;
        m.stiffness = 2.0f;
        m.torsion = float(g);
        m.renderFlags = g ? kAllStoredFlags : MaterialRenderSmooth | MaterialRenderNoFog;
        for (int i = 0; i < nMaterial::kStageCount; ++i) {
            nMaterialStage& s = m.GetStageAt(i);
            std::string name = "tex/" + std::to_string(g) + "_" + std::to_string(i) + ".tga";
            nMLPutMemoryFile(name.c_str(), TgaOfAlpha(255));  // read back through the engine's loader
            s.texture = EmptyTexture(name.c_str());
            s.channel = groups[g][i];
            s.active = uint8_t((i + g) % 2 == 0 || i == 5);
            s.uvSource = 1 + (i + g) % 3;
            s.uvIndex = uint8_t(i % 3);
            s.wrapU = uint8_t(i % 2);
            s.wrapV = uint8_t(i / 3);
            s.op = i % 3;
        }
        nMetaFile shaderDocument;
        const std::string shaderText = "<NML=1.0>\n<ShaderMap=<Pos=<X=1.5><Y=-2.0>><Map=<Entry=<Type=\"Geometry UV\">"
                                       "<Param=<Channel=1>>>><Diffuse=<Block=<Index=0>>>>";
        ASSERT_TRUE(shaderDocument.Parse(shaderText.data(), int32_t(shaderText.size())));
        nMetaTagIterator it;
        nRenderMap* map = new nRenderMap();
        ASSERT_TRUE(map->Parse(nullptr, &shaderDocument, shaderDocument.NextRoot(it)));
        m.SetRenderMap(map);

        nLogCapture log;
        nMaterial back(nullptr);
        WriteAndRead(m, back);
        EXPECT_EQ(log.Lines(), Lines{});
        ExpectSameMaterial(m, back);
        EXPECT_EQ(Dump(back), Dump(m));
        EXPECT_NE(Dump(m).find("ShaderMap{Pos{X=f1.5,Y=f-2},Map{Entry{Type=s\"Geometry UV\",Pos{X=f0,Y=f0},"
                               "Param{Channel=i1}}},Diffuse{Block{Index=i0}}}"),
                  std::string::npos);
        for (int i = 0; i < nMaterial::kStageCount; ++i)
            EXPECT_EQ(back.GetStageAt(i).texture->TestFlag(TextureNormalMap), groups[g][i] == MaterialChannelNormal);
    }
}

TEST_F(MaterialNML, DefaultsWriteOnlyWhatTheReaderNeeds)
{
    nMaterial m(nullptr);
    m.SetName("plain");
    EXPECT_EQ(Dump(m), "Material{Id=s\"plain\",PhysicMaterial{StaticFriction=f0.75,DynamicFriction=f0.5,"
                       "Restitution=f0.100000001}}");
    m.GetStageAt(4).texture = EmptyTexture("d.tga");
    m.GetStageAt(4).channel = MaterialChannelDiffuse;
    m.renderFlags = MaterialRenderSkinned;
    EXPECT_EQ(Dump(m), "Material{Id=s\"plain\",PhysicMaterial{StaticFriction=f0.75,DynamicFriction=f0.5,"
                       "Restitution=f0.100000001},RenderMask,TextureStage{Index=i4,Texture=s\"d.tga\",UV=i0}}");
}

TEST_F(MaterialNML, PhysicFieldsAwayFromTheirDefaultsAreWrittenInReadingOrder)
{
    nMaterial m(nullptr);
    m.SetName("rubber");
    m.mass = 2.0f;
    m.damping = 0.5f;
    m.stiffness = 3.0f;
    m.torsion = 0.0f;
    EXPECT_EQ(Dump(m), "Material{Id=s\"rubber\",PhysicMaterial{Mass=f2,StaticFriction=f0.75,DynamicFriction=f0.5,"
                       "Restitution=f0.100000001,Damping=f0.5,Stiffness=f3,Torsion=f0}}");
}

TEST_F(MaterialNML, TranslucentWhiteDiffuseKeepsItsAlpha)
{
    for (float alpha : {0.5f, 0.0f}) {
        nMaterial m(nullptr);
        m.diffuse = nVector(1.0f, 1.0f, 1.0f, alpha);
        m.self = nVector(0.0f, 0.0f, 0.0f, 0.5f);
        nMaterial back(nullptr);
        WriteAndRead(m, back);
        EXPECT_EQ(back.diffuse.w, alpha);
        EXPECT_EQ(back.self.w, 0.5f);
    }
}

TEST_F(MaterialNML, OlderSpellingsAreRead)
{
    nLogCapture log;
    nMaterial m(nullptr);
    ASSERT_TRUE(Read("<Material=<Id=\"old\">"
                     "<Diffuse=<X=0.5><Y=0.25><Z=0.125>>"
                     "<Specular=<R=0><G=1><B=0><A=0.5>>"
                     "<RenderMask=<RGB><Substractive><Lit>>"
                     "<Opacity=1><IOR=2>"
                     "<TextureStage=<Index=0><Texture=\"a.tga\"><Active>>"
                     "<TextureStage=<Index=1><Channel=\"Detail\"><Texture=\"b.tga\"><Active>>"
                     "<TextureStage=<Index=2><Channel=\"VertexColor\"><Texture=\"c.tga\"><Active>>"
                     "<TextureStage=<Index=3><Texture=\"d.tga\"><Channel=\"Color\"><Active>>"
                     "<TextureStage=<Index=4><Texture=\"e.tga\"><Channel=\"Light\"><Operator=\"Divide\"><UVSource=\"UVMap\">>"
                     "<PhysicMaterial=<Torsion=True><Mass=2><Colour=3>>>",
                     m));
    EXPECT_EQ(log.Lines(), Lines{});
    ExpectSameColour(m.diffuse, nVector(0.5f, 0.25f, 0.125f, 1.0f), "diffuse keeps its alpha");
    ExpectSameColour(m.specular, nVector(0.0f, 1.0f, 0.0f, 0.5f), "children by position");
    EXPECT_EQ(m.renderFlags, uint32_t(MaterialRenderVertexColor | MaterialRenderSub));
    EXPECT_EQ(m.opacity, 1.0f);
    EXPECT_EQ(m.ior, 2.0f);
    EXPECT_EQ(m.GetStageAt(0).channel, MaterialChannelDiffuse);
    EXPECT_EQ(m.GetStageAt(1).channel, MaterialChannelDecal);
    EXPECT_EQ(m.GetStageAt(2).channel, MaterialChannelLightmap);
    EXPECT_EQ(m.GetStageAt(3).channel, MaterialChannelLightmap);
    EXPECT_EQ(m.GetStageAt(4).channel, MaterialChannelLightmap);
    EXPECT_EQ(m.GetStageAt(4).op, MaterialOperatorNone);
    EXPECT_EQ(m.GetStageAt(4).active, 0);
    EXPECT_EQ(m.mass, 2.0f);
    EXPECT_EQ(m.torsion, 1.0f);
}

TEST_F(MaterialNML, GlossinessIsClampedAndTorsionIsAFlag)
{
    struct Gloss
    {
        const char* value;
        float expected;
    };
    for (const Gloss& c : {Gloss{"100.0", 16.0f}, Gloss{"0.0", 0.01f}, Gloss{"-3.0", 0.01f}, Gloss{"5", 5.0f},
                           Gloss{"16.0", 16.0f}}) {
        nMaterial m(nullptr);
        ASSERT_TRUE(Read(std::string("<Material=<Glossiness=") + c.value + ">>", m));
        EXPECT_EQ(m.glossiness, c.expected) << c.value;
    }
    struct Torsion
    {
        const char* value;
        float expected;
    };
    for (const Torsion& c : {Torsion{"0.5", 1.0f}, Torsion{"0.0", 0.0f}, Torsion{"0", 0.0f}, Torsion{"True", 1.0f},
                             Torsion{"False", 0.0f}, Torsion{"\"1\"", 0.0f}, Torsion{"-2", 1.0f}}) {
        nPhysicMaterial p;
        nMetaFile document;
        const std::string text = std::string("<NML=1.0>\n<PhysicMaterial=<Torsion=") + c.value + ">>";
        ASSERT_TRUE(document.Parse(text.data(), int32_t(text.size())));
        nMetaTagIterator it;
        ASSERT_TRUE(p.Deserialize(&document, document.NextRoot(it)));
        EXPECT_EQ(p.torsion, c.expected) << c.value;
    }
}

TEST_F(MaterialNML, BadMaterialFilesWarnAndGoOn)
{
    struct Case
    {
        const char* what;
        const char* text;
        bool result;
        Lines lines;
    };
    const Case cases[] = {
        {"wrong root", "<Mat=<Id=\"m\">>", false, {"[!] Could not parse material. Root tag id is incorrect (Mat).\n"}},
        {"unknown child", "<Material=<Id=\"m\"><Colour=1><Glossiness=2.0>>", true, {"[*] Unknown tag 'Colour' in <Material>.\n"}},
        {"unknown render mask name", "<Material=<Id=\"m\"><RenderMask=<Shiny><Lit><Toon>>>", true, {"[*] Unknown tag 'Shiny' in material 'm'.\n"}},
        {"stage without index", "<Material=<Id=\"m\"><TextureStage=<Texture=\"a.tga\">>>", true, {"[*] Illegal index tag type in material 'm'.\n"}},
        {"float index", "<Material=<Id=\"m\"><TextureStage=<Index=2.0><Texture=\"a.tga\">>>", true, {"[*] Illegal index tag type in material 'm'.\n"}},
        {"string index", "<Material=<Id=\"m\"><TextureStage=<Index=\"1\"><Texture=\"a.tga\">>>", true, {"[*] Illegal index tag type in material 'm'.\n"}},
        {"index 6", "<Material=<Id=\"m\"><TextureStage=<Index=6><Texture=\"a.tga\"><Active>>>", true, {"[*] Illegal texture stage index 6 in material 'm'.\n"}},
        {"negative index", "<Material=<Id=\"m\"><TextureStage=<Index=-1><Texture=\"a.tga\">>>", true, {"[*] Illegal texture stage index -1 in material 'm'.\n"}},
        {"unknown channel", "<Material=<Id=\"m\"><TextureStage=<Index=1><Channel=\"Bump\"><Texture=\"a.tga\">>>", true, {"[*] Unknown channel for texture stage 1 of material 'm'.\n"}},
        {"numeric channel", "<Material=<Id=\"m\"><TextureStage=<Index=5><Channel=6><Texture=\"a.tga\">>>", true, {"[*] Unknown channel for texture stage 5 of material 'm'.\n"}},
        {"unknown UV source", "<Material=<Id=\"m\"><TextureStage=<Index=0><UVSource=\"Sphere\"><Texture=\"a.tga\">>>", true, {"[*] Unknown UV source for texture stage 0 of material 'm'.\n"}},
        {"numeric texture", "<Material=<Id=\"m\"><TextureStage=<Index=0><Texture=5><Active>>>", true, {"[*] Illegal value type of tag 'Texture' in material 'm'.\n", "[*] No stage texture in material 'm', 'Diffuse' stage deactivated.\n"}},
        {"UV set out of range", "<Material=<Id=\"m\"><TextureStage=<Index=0><Texture=\"a.tga\"><UV=258><Active>>>", true, {}},
        {"UV set 9", "<Material=<Id=\"m\"><TextureStage=<Index=0><Texture=\"a.tga\"><UV=9><Active>>>", true, {"[*] Invalid UVmap index in material 'm', 'Diffuse' stage deactivated.\n"}},
        {"float UV set", "<Material=<Id=\"m\"><TextureStage=<Index=0><Texture=\"a.tga\"><UV=1.0>>>", true, {"[*] Illegal value type of tag 'UV' in material 'm'.\n"}},
        {"short colour", "<Material=<Id=\"m\"><Diffuse=<X=0.5><Y=0.5>>>", true, {"[*] Illegal value type of tag 'Diffuse' in material 'm'.\n"}},
        {"colour as a number", "<Material=<Id=\"m\"><Ambient=0.5>>", true, {"[*] Illegal value type of tag 'Ambient' in material 'm'.\n"}},
        {"text parameter", "<Material=<Id=\"m\"><Glossiness=\"high\">>", true, {"[*] Illegal value type of tag 'Glossiness' in material 'm'.\n"}},
        {"numeric id", "<Material=<Id=3><Shader=<X>>>", true, {"[*] Illegal value type of tag 'Id' in material ''.\n", "[*] Illegal value type of tag 'Shader' in material ''.\n"}},
        {"text physics", "<Material=<Id=\"m\"><PhysicMaterial=<Mass=\"heavy\"><Unknown=1>>>", true, {"[*] Illegal value type of tag 'Mass' in physic material.\n"}},
        {"stage as a value", "<Material=<Id=\"m\"><TextureStage=3><RenderMask=1>>", true, {"[*] Illegal index tag type in material 'm'.\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        nLogCapture log;
        nMaterial m(nullptr);
        EXPECT_EQ(Read(c.text, m), c.result);
        EXPECT_EQ(log.Lines(), c.lines);
    }
}

TEST_F(MaterialNML, IllegalStageIndexChangesNothing)
{
    nMaterial m(nullptr);
    ASSERT_TRUE(Read("<Material=<Id=\"m\"><TextureStage=<Index=6><Texture=\"a.tga\"><Active>>>", m));
    for (int i = 0; i < nMaterial::kStageCount; ++i) {
        EXPECT_FALSE(m.GetStageAt(i).texture.IsValid());
        EXPECT_EQ(m.GetStageAt(i).channel, MaterialChannelNone);
    }
}

TEST_F(MaterialNML, ReadingResetsFirstAndTheLastRenderMaskWins)
{
    nMaterial m(nullptr);
    ASSERT_TRUE(Read("<Material=<Id=\"a\"><Glossiness=3.0><RenderMask=<Additive>>"
                     "<TextureStage=<Index=0><Texture=\"a.tga\"><Active>>>",
                     m));
    ASSERT_TRUE(Read("<Material=<Id=\"b\"><RenderMask=<Wireframe><NoFog>><RenderMask=<DoubleSided>>>", m));
    EXPECT_EQ(m.GetName(), "b");
    EXPECT_EQ(m.glossiness, 0.4f);
    EXPECT_EQ(m.renderFlags, uint32_t(MaterialRenderDoubleSided));
    EXPECT_FALSE(m.GetStageAt(0).texture.IsValid());
    EXPECT_FALSE(m.GetAlphaFlag());
}

TEST_F(MaterialNML, LaterShaderMapReplacesTheEarlierOne)
{
    nMaterial m(nullptr);
    ASSERT_TRUE(Read("<Material=<Id=\"m\"><ShaderMap=<Map=<Entry=<Type=\"Color\">>><Diffuse=<Block=<Index=0>>>>"
                     "<ShaderMap=<Map=<Entry=<Type=\"Clock\">>><Diffuse=<Block=<Index=0>>>>>",
                     m));
    ASSERT_NE(m.GetRenderMap(), nullptr);
    EXPECT_NE(Dump(m).find("Type=s\"Clock\""), std::string::npos);
    EXPECT_EQ(Dump(m).find("Type=s\"Color\""), std::string::npos);
}

TEST_F(MaterialNML, WritingAStageWithoutAChannelOrUVSourceWarns)
{
    nMaterial m(nullptr);
    m.SetName("m");
    m.GetStageAt(2).texture = EmptyTexture("a.tga");
    m.GetStageAt(3).texture = EmptyTexture("b.tga");
    m.GetStageAt(3).channel = MaterialChannelNormal;
    m.GetStageAt(3).uvSource = 7;
    nLogCapture log;
    std::string dump = Dump(m);
    EXPECT_EQ(log.Lines(), (Lines{"[*] Bogus channel in texture stage 2 material 'm'.\n",
                                  "[*] Bogus channel in texture stage 3 material 'm'.\n"}));
    EXPECT_NE(dump.find("TextureStage{Index=i3,Texture=s\"b.tga\",UV=i0,Channel=s\"Normal\"}"), std::string::npos);
}

TEST_F(MaterialNML, ReadingUpdatesTheMaterialOnTheCurrentRenderer)
{
    nOrvex engine;
    nCallLog calls;
    nRecordingRenderer renderer(&engine, &calls);
    renderer.recordResources = true;
    nMaterial* m = new nMaterial(&engine);
    ASSERT_TRUE(Read("<Material=<Id=\"m\"><TextureStage=<Index=0><Texture=\"a.tga\"><Active>>>", *m));
    m->Setup();
    delete m;
    EXPECT_EQ(calls.Calls(), (Calls{"render.SetupTexture(a.tga)", "render.UpdateMaterial(m)", "render.SetupMaterial(m)", "render.UpdateMaterial(m)",
                                    "render.FreeMaterial(m)", "render.FreeTexture(a.tga)"}));
}

// A diffuse texture with translucent pixels gains an Opacity stage, also when the renderer
// dropped the pixels at set-up, as a device renderer does.
TEST_F(MaterialNML, EmbeddedAlphaAddsAnOpacityStage)
{
    struct Case
    {
        const char* what;
        const char* stages;
        bool added;
        bool alpha;
        Lines lines;
    };
    const Case cases[] = {
        {"translucent", "<TextureStage=<Index=3><Texture=\"glass.tga\"><Active><UV=1>>", true, true, {}},
        {"opaque", "<TextureStage=<Index=3><Texture=\"solid.tga\"><Active><UV=1>>", false, false, {}},
        {"inactive diffuse", "<TextureStage=<Index=3><Texture=\"glass.tga\"><UV=1>>", false, false, {}},
        {"an inactive opacity stage exists",
         "<TextureStage=<Index=3><Texture=\"glass.tga\"><Active><UV=1>>"
         "<TextureStage=<Index=5><Channel=\"Opacity\"><Texture=\"solid.tga\">>",
         false,
         false,
         {}},
        {"no free stage",
         "<TextureStage=<Index=0><Texture=\"glass.tga\"><Active><UV=1>>"
         "<TextureStage=<Index=1><Channel=\"Decal\"><Texture=\"solid.tga\">>"
         "<TextureStage=<Index=2><Channel=\"Decal\"><Texture=\"solid.tga\">>"
         "<TextureStage=<Index=3><Channel=\"Decal\"><Texture=\"solid.tga\">>"
         "<TextureStage=<Index=4><Channel=\"Decal\"><Texture=\"solid.tga\">>"
         "<TextureStage=<Index=5><Channel=\"Decal\"><Texture=\"solid.tga\">>",
         false,
         false,
         {"[*] No texture stage left to create a new stage.\n",
          "[*] Diffuse channel texture has embedded alpha but there is no texture stage left to enable "
          "opacity in material 'm'.\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        nOrvex engine;
        nCallLog calls;
        nRecordingRenderer renderer(&engine, &calls);
        renderer.recordResources = true;
        renderer.dropPixels = true;
        nLogCapture log;
        nMaterial m(&engine);
        ASSERT_TRUE(Read(std::string("<Material=<Id=\"m\">") + c.stages + ">", m));
        EXPECT_EQ(log.Lines(), c.lines);
        const nMaterialStage& first = m.GetStageAt(0);
        EXPECT_EQ(first.channel == MaterialChannelOpacity, c.added);
        if (c.added) {
            EXPECT_TRUE(first.active);
            EXPECT_EQ(first.texture, m.GetStageAt(3).texture);
            EXPECT_EQ(first.uvSource, MaterialUVMap);
            EXPECT_EQ(first.uvIndex, 1);
            EXPECT_EQ(first.texture->GetPixels(), nullptr);  // the renderer has them
        }
        m.Setup();
        EXPECT_EQ(m.GetAlphaFlag(), c.alpha);
    }
}

// The reader loads texture files through the engine's loader: a readable file gives its
// pixels, an unreadable one the loader's line and an empty texture of that name.
TEST_F(MaterialNML, ReaderLoadsTextureFilesThroughTheEnginesLoader)
{
    std::string tga(18, '\0');
    tga[2] = 2;   // uncompressed true colour
    tga[12] = 1;  // 1 x 1
    tga[14] = 1;
    tga[16] = 32;
    tga[17] = 0x28;  // top-left origin, 8 alpha bits
    tga += std::string("\x10\x20\x30\x40", 4);
    ASSERT_TRUE(nMLPutMemoryFile("tex/glass.tga", tga));

    nOrvex engine;
    nCallLog calls;
    nRecordingRenderer renderer(&engine, &calls);
    renderer.recordResources = true;
    nLogCapture log;
    nMaterial m(&engine);
    ASSERT_TRUE(Read("<Material=<Id=\"m\">"
                     "<TextureStage=<Index=1><Texture=\"tex\\\\glass.tga\"><Active>>"
                     "<TextureStage=<Index=2><Channel=\"Normal\"><Texture=\"tex/none.tga\"><Active><UVSource=\"LSNormal\">>>",
                     m));
    EXPECT_EQ(log.Lines(), Lines{"[!] Failed to set texture content from 'tex/none.tga'.\n"});
    EXPECT_EQ(calls.Calls(), (Calls{"render.SetupTexture(tex/glass.tga)", "render.LoadTextureContent(tex/none.tga)",
                                    "render.SetupTexture(tex/none.tga)", "render.UpdateMaterial(m)"}));
    const nTexture* glass = m.GetStageAt(1).texture.Get();
    ASSERT_NE(glass, nullptr);
    EXPECT_EQ(glass->GetName(), "tex/glass.tga");
    EXPECT_EQ(glass->GetWidth(), 1u);
    EXPECT_TRUE(glass->HasTranslucentContent());
    const nTexture* none = m.GetStageAt(2).texture.Get();
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(none->GetName(), "tex/none.tga");
    EXPECT_EQ(none->GetPixels(), nullptr);
    EXPECT_EQ(none->GetWidth(), 0u);
    EXPECT_TRUE(none->TestFlag(TextureNormalMap));
    EXPECT_EQ(m.GetStageAt(0).channel, MaterialChannelOpacity);  // embedded alpha of the diffuse file
}

// With a resource cache on the engine, stage textures are cached like every texture: two
// materials naming one file, in either spelling, share one texture.
TEST_F(MaterialNML, StageTexturesAreSharedThroughTheEnginesCache)
{
    nMLPutMemoryFile("tex/glass.tga", TgaOfAlpha(128));
    nResourceCache cache;
    nOrvex engine;
    engine.SetResourceCache(&cache);
    {
        nMaterial a(&engine), b(&engine);
        ASSERT_TRUE(Read("<Material=<Id=\"a\"><TextureStage=<Index=0><Texture=\"tex/glass.tga\"><Active>>>", a));
        ASSERT_TRUE(Read("<Material=<Id=\"b\"><TextureStage=<Index=1><Texture=\"tex\\glass.tga\"><Active>>>", b));
        ASSERT_NE(a.GetStageAt(0).texture.Get(), nullptr);
        EXPECT_EQ(a.GetStageAt(0).texture.Get(), b.GetStageAt(1).texture.Get());
        EXPECT_EQ(cache.FindTexture("tex/glass.tga", false), a.GetStageAt(0).texture.Get());
    }
    engine.SetResourceCache(nullptr);
    cache.Clear();
}

// Every prefix of a full material file, read as far as it parses: no crash, no leak.
TEST_F(MaterialNML, TruncatedFilesAreSafe)
{
    const std::string text =
        "<NML=1.0>\n<Material=<Id=\"cut\"><Diffuse=<X=0.5><Y=0.5><Z=0.5><W=0.5>><Glossiness=3.0>"
        "<RenderMask=<Additive><RGB>><Shader=\"s\"><ShaderMap=<Pos=<X=1.0>>>"
        "<PhysicMaterial=<Mass=2.0><Torsion=0>>"
        "<TextureStage=<Index=0><Texture=\"a.tga\"><Active><UV=1><NoWrapU><Operator=\"Add\">>"
        "<TextureStage=<Index=1><Channel=\"Normal\"><Texture=\"b.tga\"><UVSource=\"FrontMap\">>>";
    nLogCapture log;
    for (size_t n = 0; n <= text.size(); ++n) {
        nMetaFile document;
        if (!document.Parse(text.data(), int32_t(n)))
            continue;
        nMetaTagIterator it;
        while (nMetaTag* root = document.NextRoot(it)) {
            nMaterial m(nullptr);
            m.Deserialize(&document, root);
            delete m.Serialize(&document);
        }
    }
}

}
