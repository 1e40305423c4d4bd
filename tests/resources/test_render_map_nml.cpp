// The ShaderMap NML form: round trips through files (every parameter kind, shared blocks, empty
// slots), the reading quirks of older files, and bad maps that load with one line per fault.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "resources/nMaterial.h"
#include "resources/nRenderMap.h"
#include "tests/resources/nRenderMapDump.h"
#include "tests/support/nIOTestSupport.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nMLTestSupport.h"

namespace {

using Lines = std::vector<std::string>;

nTexture* LoadNamedTexture(nOrvex* engine, const char* name)
{
    nTexture* texture = new nTexture(engine, 0, 0);
    texture->SetName(name);
    return texture;
}

class ShaderMapNML : public nIOTest
{
protected:
    // The map written to a file, as its tag's one-line dump.
    static std::string Written(const nRenderMap& map)
    {
        nMetaFile document;
        nMetaTag* tag = map.Serialize(&document);
        std::string text = nMLDumpTag(tag);
        delete tag;
        return text;
    }

    // Writes map to an NML file and reads it back into out.
    static void WriteAndRead(const nRenderMap& map, nRenderMap& out)
    {
        nMetaFile written;
        nMetaTag* tag = map.Serialize(&written);
        ASSERT_NE(tag, nullptr);
        written.AddRoot(tag);
        ASSERT_TRUE(written.Save("map.nml"));
        nMetaFile document;
        ASSERT_TRUE(document.Load("map.nml"));
        nMetaTagIterator it;
        ASSERT_TRUE(out.Parse(nullptr, &document, document.NextRoot(it)));
    }

    // Reads "<ShaderMap=...>" text into out; the reader's answer.
    static bool Read(const std::string& text, nRenderMap& out)
    {
        nMetaFile document;
        nMetaTag* root = nMLParseRoot(document, text);
        if (!root) {
            ADD_FAILURE() << "text does not parse: " << text;
            return false;
        }
        return out.Parse(nullptr, &document, root);
    }
};

// Blocks of a hand-made graph; the map owns them once they hang from a root.
nShaderBlock* Block(int32_t kind)
{
    return new nShaderBlock(kind);
}

// Every parameter kind, a sampler shared by two roots, a Mix with input A empty.
void BuildEveryParameter(nRenderMap& map)
{
    map.posX = 1.5f, map.posY = -2.0f;
    nShaderBlock* texture = Block(ShaderBlockTexture);
    texture->texture = LoadNamedTexture(nullptr, "pictures/brick.tga");
    nShaderBlock* uv = Block(ShaderBlockUV);
    uv->index = 2;
    uv->posX = 10.0f, uv->posY = 20.0f;
    nShaderBlock* sampler = Block(ShaderBlockSampler2D);
    sampler->wrapU = 0;
    sampler->SetInput(0, texture);
    sampler->SetInput(1, uv);
    nShaderBlock* buffer = Block(ShaderBlockRenderBuffer);
    nShaderBlock* screen = Block(ShaderBlockScreenUV);
    nShaderBlock* bufferSampler = Block(ShaderBlockSampler2D);
    bufferSampler->wrapV = 0;
    bufferSampler->SetInput(0, buffer);
    bufferSampler->SetInput(1, screen);
    nShaderBlock* colour = Block(ShaderBlockColor);
    colour->values[0] = 0.25f, colour->values[1] = 0.5f, colour->values[2] = 0.75f, colour->values[3] = 0.125f;
    nShaderBlock* constant = Block(ShaderBlockConstant);
    constant->constantType = ShaderValueFloat;
    constant->values[0] = 0.3f;
    nShaderBlock* mix = Block(ShaderBlockMix);
    mix->SetInput(1, colour);
    mix->SetInput(2, constant);
    nShaderBlock* swizzle = Block(ShaderBlockSwizzle);
    swizzle->codes[0] = 4, swizzle->codes[1] = 3;
    swizzle->SetInput(0, sampler);
    nShaderBlock* build = Block(ShaderBlockBuild);
    build->codes[2] = 0, build->codes[3] = 1;
    build->SetInput(0, swizzle);
    build->SetInput(1, swizzle);
    nShaderBlock* param = Block(ShaderBlockMaterialParam);
    param->index = 4;
    nShaderBlock* opacity = Block(ShaderBlockMul);
    nShaderBlock* alpha = Block(ShaderBlockSwizzle);
    alpha->codes[0] = 4;
    alpha->SetInput(0, sampler);
    opacity->SetInput(0, alpha);
    opacity->SetInput(1, param);
    map.SetRoot(RenderMapDiffuse, sampler);
    map.SetRoot(RenderMapModulate, mix);
    map.SetRoot(RenderMapSpecular, bufferSampler);
    map.SetRoot(RenderMapConstant, build);
    map.SetRoot(RenderMapOpacity, opacity);
    map.SetRoot(RenderMapNormal, Block(ShaderBlockNormal));
    ASSERT_EQ(opacity->GetOutputType(), (uint32_t)ShaderValueFloat);
    ASSERT_EQ(build->GetOutputType(), (uint32_t)ShaderValueVec4);
}

TEST_F(ShaderMapNML, EveryParameterKindRoundTrips)
{
    nRenderMap map;
    BuildEveryParameter(map);
    nRenderMap back;
    WriteAndRead(map, back);
    EXPECT_EQ(Written(back), Written(map));
    EXPECT_EQ(DumpRenderMap(&back), DumpRenderMap(&map));
    EXPECT_EQ(DumpRenderMap(&back),
              "Normal=Nrm Diffuse=Spl2dFT#1(Tex,UV2) Modulate=Mix(-,Color,ConstFloat) Specular=Spl2dTF(RenderBuf,ScnUV) "
              "Constant=Bld2301(Swz4300#2(#1),#2,-,-) Opacity=Mul(Swz4000(#1),MatParm4)");
    EXPECT_EQ(back.posX, 1.5f);
    EXPECT_EQ(back.posY, -2.0f);
    const nShaderBlock* sampler = back.GetRoot(RenderMapDiffuse);
    EXPECT_EQ(sampler->GetInput(1)->posX, 10.0f);
    EXPECT_EQ(sampler->GetInput(1)->posY, 20.0f);
    EXPECT_STREQ(sampler->GetInput(0)->texture->GetName().GetCStr(), "pictures/brick.tga");
    const nShaderBlock* colour = back.GetRoot(RenderMapModulate)->GetInput(1);
    EXPECT_EQ(colour->values[3], 0.125f);
    EXPECT_EQ(back.GetRoot(RenderMapModulate)->GetInput(2)->values[0], 0.3f);
    // One object read back for the sampler both roots share.
    EXPECT_EQ(back.GetRoot(RenderMapOpacity)->GetInput(0)->GetInput(0), sampler);
}

TEST_F(ShaderMapNML, SharedBlocksAreWrittenOnce)
{
    nRenderMap map;
    BuildEveryParameter(map);
    const std::string text = Written(map);
    // The sampler is entry 1 (after the normal) and its inputs are written at its first place only.
    size_t count = 0;
    for (size_t at = text.find("Type=s\"Sampler 2D\""); at != std::string::npos;
         at = text.find("Type=s\"Sampler 2D\"", at + 1))
        ++count;
    EXPECT_EQ(count, 2u);  // the texture sampler and the buffer sampler
    EXPECT_NE(text.find("Diffuse{Block{Index=i1,Input{Block{Index=i2},Block{Index=i3}}}}"), std::string::npos) << text;
    EXPECT_NE(text.find("Opacity{Block{Index=i"), std::string::npos);
    EXPECT_NE(text.find("Input{Block{Index=i1}}"), std::string::npos) << text;
    EXPECT_NE(text.find("Modulate{Block{Index=i4,Input{None,Block{Index=i5},Block{Index=i6}}}}"), std::string::npos) << text;
}

// A graph whose blocks share their inputs level after level writes in the size of the graph.
TEST_F(ShaderMapNML, SharedChainsStaySmall)
{
    nRenderMap map;
    nShaderBlock* last = Block(ShaderBlockNormal);
    for (int i = 0; i < 40; ++i) {
        nShaderBlock* add = Block(ShaderBlockAdd);
        add->SetInput(0, last);
        add->SetInput(1, last);
        last = add;
    }
    map.SetRoot(RenderMapNormal, last);
    nRenderMap back;
    WriteAndRead(map, back);
    EXPECT_EQ(back.CollectBlocks(true).size(), 41u);
    EXPECT_EQ(Written(back), Written(map));
    EXPECT_LT(Written(map).size(), 8000u);
}

TEST_F(ShaderMapNML, DefaultMapsOfMaterialsRoundTrip)
{
    const uint32_t flags[] = {0, MaterialRenderVertexColor, MaterialRenderNormalMapTangent};
    for (uint32_t f : flags) {
        nMaterial m(nullptr);
        m.renderFlags = f;
        const int32_t channels[] = {MaterialChannelDiffuse, MaterialChannelNormal, MaterialChannelReflection};
        for (int i = 0; i < 3; ++i) {
            m.GetStageAt(i).texture = LoadNamedTexture(nullptr, ("s" + std::to_string(i) + ".tga").c_str());
            m.GetStageAt(i).channel = channels[i];
            m.GetStageAt(i).active = 1;
            m.GetStageAt(i).uvSource = 1 + i;
        }
        m.ValidateStages();
        std::unique_ptr<nRenderMap> map(m.BuildDefaultRenderMap());
        nRenderMap back, again;
        WriteAndRead(*map, back);
        WriteAndRead(back, again);
        EXPECT_EQ(Written(back), Written(*map)) << f;
        EXPECT_EQ(Written(again), Written(back)) << f;
        EXPECT_EQ(DumpRenderMap(&back), DumpRenderMap(map.get())) << f;
    }
}

// What older files hold, and how it reads.
TEST_F(ShaderMapNML, ReadingQuirks)
{
    const std::string entries = "<Map=<Entry=<Type=\"Geometry Normal\">>";
    struct Row
    {
        const char* what;
        std::string text;
        std::string dump;
        Lines lines;
    };
    const Row rows[] = {
        {"old name of the normal view matrix",
         "<ShaderMap=<Map=<Entry=<Type=\"Normal Matrix\">>><Normal=<Block=<Index=0>>>>",
         "Normal=NormalViewMatrix",
         {}},
        {"normal matrix with its blank",
         "<ShaderMap=<Map=<Entry=<Type=\"Normal Matrix \">>><Normal=<Block=<Index=0>>>>",
         "Normal=NormalMatrix",
         {}},
        {"vertex stream saved as Invalid",
         "<ShaderMap=<Map=<Entry=<Type=\"Invalid\">>><Diffuse=<Block=<Index=0>>>>",
         "Diffuse=Vertex",
         {}},
        {"short swizzle",
         "<ShaderMap=<Map=<Entry=<Type=\"Swizzle\"><Param=<Swizzle=\"xy\">>>>"
         "<Glossiness=<Block=<Index=0>>>>",
         "Glossiness=Swz1200(-)",
         {"[!] Unexpected end of swizzle mask.\n"}},
        {"build mask with a constant",
         "<ShaderMap=<Map=<Entry=<Type=\"Build\"><Param=<Build=\"xyz1\">>>>"
         "<Constant=<Block=<Index=0>>>>",
         "Constant=Bld2341(-,-,-,-)",
         {}},
        {"bad build mask keeps the defaults after it",
         "<ShaderMap=<Map=<Entry=<Type=\"Build\"><Param=<Build=\"1q\">>>>"
         "<Constant=<Block=<Index=0>>>>",
         "Constant=Bld1345(-,-,-,-)",
         {"[!] Unexpected end of build mask.\n"}},
        {"wraps stored as integers",
         "<ShaderMap=<Map=<Entry=<Type=\"Sampler 2D\"><Param=<WrapU=0><WrapV=1>>>>"
         "<Diffuse=<Block=<Index=0>>>>",
         "Diffuse=Spl2dFT(-,-)",
         {}},
        {"index past the end",
         "<ShaderMap=" + entries + "><Normal=<Block=<Index=1>>><Diffuse=<Block=<Index=0>>>>",
         "Diffuse=Nrm",
         {"[*] Block index 1 is past the end of the shader map.\n"}},
        {"per-branch maps never share",
         "<ShaderMap=<Normal=<Block=<Index=0>" + entries + ">>><Diffuse=<Block=<Index=0>" + entries + ">>>>",
         "Normal=Nrm Diffuse=Nrm",
         {}},
        {"a branch without any map", "<ShaderMap=<Normal=<Block=<Index=0>>>>", "", {"[!] No map to build shader branch.\n"}},
        {"missing index", "<ShaderMap=" + entries + "><Normal=<Block>>>", "", {"[!] No block index found.\n"}},
        {"unexpected tag in the map",
         "<ShaderMap=<Map=<Junk><Entry=<Type=\"Clock\">>><Normal=<Block=<Index=0>>>>",
         "Normal=Clk",
         {"[*] Unexpected tag 'Junk' in shader map.\n"}},
        {"a constant reads its type and a missing w as 1",
         "<ShaderMap=<Map=<Entry=<Type=\"Constant\"><Param=<Type=16><Value=<X=1.0><Y=2.0><Z=3.0>>>>>"
         "<Constant=<Block=<Index=0>>>>",
         "Constant=ConstVec3",
         {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        nLogCapture log;
        nRenderMap map;
        EXPECT_TRUE(Read(row.text, map));
        EXPECT_EQ(DumpRenderMap(&map), row.dump);
        EXPECT_EQ(log.Lines(), row.lines);
    }
    nRenderMap map;
    ASSERT_TRUE(Read("<ShaderMap=<Map=<Entry=<Type=\"Constant\"><Param=<Value=<X=1.0><Y=2.0><Z=3.0>>>>>"
                     "<Constant=<Block=<Index=0>>>>",
                     map));
    EXPECT_EQ(map.GetRoot(RenderMapConstant)->values[3], 1.0f);
}

// Bad maps: each fault is one line, the slot stays empty, nothing crashes, and the blocks no root
// reaches are freed (the sanitizer build checks that).
TEST_F(ShaderMapNML, BadMapsLogOneLinePerFault)
{
    const std::string map =
        "<Map=<Entry=<Type=\"Add\">><Entry=<Type=\"Geometry Normal\">><Entry=<Type=\"Teapot\">><Entry>"
        "<Entry=<Type=\"Texture\">><Entry=<Type=\"Color\">>>";
    struct Row
    {
        const char* what;
        std::string roots;
        std::string dump;
        Lines lines;
    };
    const Row rows[] = {
        {"unknown kind and an entry without type", "<Normal=<Block=<Index=2>>>", "", {"[!] Invalid block type 'Teapot'.\n", "[*] Shader map entry 3 has no type.\n"}},
        {"type mismatch", "<Diffuse=<Block=<Index=0><Input=<Block=<Index=4>><Block=<Index=1>>>>>", "Diffuse=Add(-,Nrm)", {"[!] Invalid block type 'Teapot'.\n", "[*] Shader map entry 3 has no type.\n", "[*] Shader map block 0 ('Add') refuses input 0: the types do not match.\n"}},
        {"a block as its own input", "<Diffuse=<Block=<Index=0><Input=<Block=<Index=0>><Block=<Index=5>>>>>", "Diffuse=Add(-,Color)", {"[!] Invalid block type 'Teapot'.\n", "[*] Shader map entry 3 has no type.\n", "[*] Shader map block 0 ('Add') refuses input 0: the link would close a cycle.\n"}},
        {"a cycle through a second root",
         "<Diffuse=<Block=<Index=0><Input=<Block=<Index=5>><Block=<Index=5>>>>>"
         "<Specular=<Block=<Index=5>>><Opacity=<Block=<Index=0><Input=<Block=<Index=0>>>>>",
         "Diffuse=Add#1(Color#2,#2) Specular=#2 Opacity=#1",
         {"[!] Invalid block type 'Teapot'.\n", "[*] Shader map entry 3 has no type.\n",
          "[*] Shader map block 0 ('Add') refuses input 0: the link would close a cycle.\n"}},
        {"more inputs than slots", "<Diffuse=<Block=<Index=0><Input=<None><Block=<Index=5>><Block=<Index=5>>>>>", "Diffuse=Add(-,Color)", {"[!] Invalid block type 'Teapot'.\n", "[*] Shader map entry 3 has no type.\n", "[*] Shader map block 0 ('Add') refuses input 2: it has no such input.\n"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        nLogCapture log;
        nRenderMap out;
        EXPECT_TRUE(Read("<ShaderMap=" + map + row.roots + ">", out));
        EXPECT_EQ(DumpRenderMap(&out), row.dump);
        EXPECT_EQ(log.Lines(), row.lines);
    }
    nLogCapture log;
    nRenderMap out;
    EXPECT_FALSE(Read("<Shadermap=" + map + ">", out));
    EXPECT_EQ(log.Lines(), Lines{"[!] Could not parse shader map. Root tag id is incorrect (Shadermap).\n"});
}

// A material whose ShaderMap gives no surface at all gets the default map with one line.
TEST_F(ShaderMapNML, MaterialWithAnUnusableMapGetsTheDefault)
{
    nLogCapture log;
    nMaterial m(nullptr);
    m.SetName("m");
    nMetaFile document;
    nMetaTag* root = nMLParseRoot(document, "<Material=<Id=\"m\"><ShaderMap=<Map=<Entry=<Type=\"Teapot\">>>"
                                            "<Diffuse=<Block=<Index=0>>>>>");
    ASSERT_NE(root, nullptr);
    ASSERT_TRUE(m.Deserialize(&document, root));
    EXPECT_EQ(log.Lines(), (Lines{"[!] Invalid block type 'Teapot'.\n",
                                  "[*] Shader map of material 'm' gives no surface channel, the default map is used.\n"}));
    EXPECT_EQ(DumpRenderMap(m.GetRenderMap()),
              "Normal=Nrm Diffuse=MatParm0 Specular=MatParm1 Glossiness=MatParm4 Constant=MatParm2 Opacity=MatParm5");
}

// A material's ShaderMap is what its render map becomes, written back with the material.
TEST_F(ShaderMapNML, MaterialReadsAndWritesItsShaderMap)
{
    nLogCapture log;
    nMaterial m(nullptr);
    nMetaFile document;
    nMetaTag* root = nMLParseRoot(document, "<Material=<Id=\"m\"><ShaderMap=<Map=<Entry=<Type=\"Color\">"
                                            "<Param=<Color=<X=1.0><Y=0.0><Z=0.0><W=1.0>>>>>"
                                            "<Diffuse=<Block=<Index=0>>>>>");
    ASSERT_TRUE(m.Deserialize(&document, root));
    EXPECT_EQ(log.Lines(), Lines{});
    EXPECT_EQ(DumpRenderMap(m.GetRenderMap()), "Diffuse=Color");
    nMetaTag* written = m.Serialize(&document);
    EXPECT_NE(nMLDumpTag(written).find("ShaderMap{Pos{X=f0,Y=f0},Map{Entry{Type=s\"Color\",Pos{X=f0,Y=f0},"
                                       "Param{Color{X=f1,Y=f0,Z=f0,W=f1}}}},Diffuse{Block{Index=i0}}}"),
              std::string::npos)
        << nMLDumpTag(written);
    delete written;
}

}

namespace {

// A material read without ShaderMap gets the default map, which the writer leaves out: the file
// written is the file read, and a map the material was given is written.
TEST_F(ShaderMapNML, DefaultMapsAreNotWritten)
{
    nMaterial m(nullptr);
    nMetaFile document;
    ASSERT_TRUE(m.Deserialize(&document, nMLParseRoot(document, "<Material=<Id=\"m\">>")));
    ASSERT_NE(m.GetRenderMap(), nullptr);
    EXPECT_TRUE(m.IsRenderMapDefault());
    nMetaTag* written = m.Serialize(&document);
    EXPECT_EQ(nMLDumpTag(written).find("ShaderMap"), std::string::npos);
    delete written;
    m.SetRenderMap(m.BuildDefaultRenderMap());
    EXPECT_FALSE(m.IsRenderMapDefault());
    written = m.Serialize(&document);
    EXPECT_NE(nMLDumpTag(written).find("ShaderMap"), std::string::npos);
    delete written;
}

}
