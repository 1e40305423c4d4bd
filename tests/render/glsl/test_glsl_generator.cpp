// GLSL generation as text: golden programs for a few materials, the signature and sharing rules,
// the emitters' edge cases and refusals, and numbers that do not follow the process locale.
//
// Golden files: tests/render/golden/<material>.glsl hold every pass of a material. After a
// deliberate change of the generated code, rewrite them with
//     QZ_UPDATE_GOLDEN=1 ./build/tests/render/glsl/render_glsl_test_glsl_generator
// and review the difference like any other change.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "render/glsl/GL3_ShaderGenerator.h"
#include "render/glsl/nProgramCache.h"
#include "tests/render/glsl/nGLSLTestKit.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nTempDir.h"

namespace {

using Lines = std::vector<std::string>;

std::string GoldenDir()
{
    const char* data = std::getenv("QZ_TEST_DATA");
    return std::string(data ? data : ".") + "/../golden/";
}

// Every pass of material as one text: "== pass N", the signature, then both programs.
std::string PassesText(const nMaterial& material)
{
    GL3_ShaderGenerator generator;
    std::string text;
    for (const nGeneratedPass& p : GenerateMaterialPasses(generator, material)) {
        text += "== pass " + std::to_string(p.pass) + "\n== signature " + p.signature + "\n";
        text += "-- vertex\n" + p.vertex + "-- fragment\n" + p.fragment;
    }
    return text;
}

size_t Count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++n;
    return n;
}

nGeneratedPass Pass(const nMaterial& material, int pass)
{
    GL3_ShaderGenerator generator;
    for (const nGeneratedPass& p : GenerateMaterialPasses(generator, material))
        if (p.pass == pass)
            return p;
    ADD_FAILURE() << "no pass " << pass;
    return nGeneratedPass();
}

// A material holding a hand-made map with the given roots.
std::unique_ptr<nMaterial> MapMaterial(uint32_t flags, nShaderBlock* diffuse, nShaderBlock* opacity = 0,
                                       nShaderBlock* specular = 0)
{
    std::unique_ptr<nMaterial> m(new nMaterial(nullptr));
    m->renderFlags = flags;
    nRenderMap* map = new nRenderMap();
    map->SetRoot(RenderMapDiffuse, diffuse);
    map->SetRoot(RenderMapOpacity, opacity);
    map->SetRoot(RenderMapSpecular, specular);
    m->SetRenderMap(map);
    return m;
}

TEST(GLSLGolden, GeneratedProgramsMatchTheGoldenFiles)
{
    const bool update = std::getenv("QZ_UPDATE_GOLDEN") != nullptr;
    const std::set<std::string> golden = {"default", "vertex_colour", "skinned_tangent", "soft_alpha", "alpha_to_frame"};
    int compared = 0;
    for (const std::unique_ptr<nMaterial>& m : MakeKitMaterialTable()) {
        const std::string name = m->GetName().GetCStr();
        if (!golden.count(name)) {
            continue;
        }
        const std::string path = GoldenDir() + name + ".glsl";
        const std::string text = PassesText(*m);
        if (update) {
            std::ofstream(path, std::ios::binary) << text;
            continue;
        }
        std::ifstream in(path, std::ios::binary);
        ASSERT_TRUE(in.good()) << "missing golden file " << path;
        std::stringstream stored;
        stored << in.rdbuf();
        EXPECT_EQ(text, stored.str()) << "generated code of '" << name << "' differs from " << path
                                      << " (QZ_UPDATE_GOLDEN=1 rewrites it)";
        ++compared;
    }
    if (!update) {
        EXPECT_EQ(compared, 5);
    }
}

TEST(GLSLGenerator, ProgramsStartWithTheVersionAndNameTheirVariables)
{
    std::unique_ptr<nMaterial> m = MakeKitMaterial("m", 0, {});
    const nGeneratedPass p = Pass(*m, GL3PassForward);
    EXPECT_EQ(p.vertex.rfind("#version 120\nvarying vec4 _n_vertex0000;\n", 0), 0u) << p.vertex;
    EXPECT_EQ(p.fragment.rfind("#version 120\n", 0), 0u);
    EXPECT_EQ(p.signature, "VtxSink_Vertex_OpacitySink_MatParm5_DiffuseSink_MatParm0_");
    GL3_ShaderGenerator generator;
    EXPECT_FALSE(generator.GenerateMaterialPass(*m, GL3PassForwardBack));
    EXPECT_FALSE(generator.GenerateMaterialPass(*m, GL3PassVelocity));
    EXPECT_TRUE(generator.GetSignature().empty());
}

TEST(GLSLGenerator, SharedBlocksAreEmittedOnceButSignedAtEveryUse)
{
    nShaderBlock* sampler = KitSampler(KitBlock(ShaderBlockUV));
    std::unique_ptr<nMaterial> m = MapMaterial(0, sampler, KitSwizzle(sampler, 4));
    const nGeneratedPass p = Pass(*m, GL3PassForward);
    EXPECT_EQ(Count(p.fragment, "texture2D(_n_sampler2D"), 1u);
    EXPECT_EQ(Count(p.signature, "Spl2dTT_"), 2u) << p.signature;

    // Two UV blocks on one set share one varying; two equal constants stay two uniforms.
    nShaderBlock* a = KitSampler(KitBlock(ShaderBlockUV));
    nShaderBlock* b = KitSampler(KitBlock(ShaderBlockUV));
    nTexture* textures[2] = {new nTexture(nullptr, 0, 0), new nTexture(nullptr, 0, 0)};
    a->GetInput(0)->texture = textures[0];
    b->GetInput(0)->texture = textures[1];
    nShaderBlock* sum = KitBlock(ShaderBlockAdd, KitConstant(ShaderValueVec4, 1.0f), KitConstant(ShaderValueVec4, 1.0f));
    std::unique_ptr<nMaterial> two = MapMaterial(0, KitBlock(ShaderBlockMul, a, b), 0, sum);
    const nGeneratedPass q = Pass(*two, GL3PassAttributes);
    EXPECT_EQ(Count(q.vertex, "gl_MultiTexCoord0"), 1u);
    EXPECT_EQ(Count(q.fragment, "uniform sampler2D"), 2u);
    EXPECT_EQ(Count(q.fragment, "uniform vec4 _n_const"), 2u);
    // Texture blocks on one texture are one sampler uniform.
    b->GetInput(0)->texture = textures[0];
    EXPECT_EQ(Count(Pass(*two, GL3PassAttributes).fragment, "uniform sampler2D"), 1u);
}

TEST(GLSLGenerator, MaterialsDifferingInValuesShareOneProgram)
{
    std::unique_ptr<nMaterial> red = MakeKitMaterial("red", MaterialRenderVertexColor, {{MaterialChannelDiffuse, MaterialUVMap, 0, 0}});
    std::unique_ptr<nMaterial> blue = MakeKitMaterial("blue", MaterialRenderVertexColor, {{MaterialChannelDiffuse, MaterialUVMap, 0, 0}});
    red->diffuse = nVector(1, 0, 0, 1);
    blue->diffuse = nVector(0, 0, 1, 1);
    blue->alphaThreshold = 0.7f;
    const std::vector<nGeneratedPass> a = [&] { GL3_ShaderGenerator g; return GenerateMaterialPasses(g, *red); }();
    const std::vector<nGeneratedPass> b = [&] { GL3_ShaderGenerator g; return GenerateMaterialPasses(g, *blue); }();
    ASSERT_EQ(a.size(), 4u);
    ASSERT_EQ(b.size(), 4u);
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].signature, b[i].signature);
        EXPECT_EQ(a[i].fragment, b[i].fragment);  // the threshold is a uniform, not a literal
    }
    // A different UV set is a different program.
    std::unique_ptr<nMaterial> other = MakeKitMaterial("other", MaterialRenderVertexColor, {{MaterialChannelDiffuse, MaterialUVMap, 1, 0}});
    EXPECT_NE(Pass(*other, GL3PassForward).signature, a[0].signature);
}

TEST(GLSLGenerator, OpacitySinks)
{
    const int32_t UV = MaterialUVMap;
    struct Row
    {
        const char* what;
        uint32_t flags;
        Lines present;
        Lines absent;
    };
    const Row rows[] = {
        {"threshold from the uniform, clamped", 0, {"if (_n_swizzle0004 < clamp(alpha_threshold, 0.01, 1.0)) discard;\n", "uniform sampler2D dither_map;\n"}, {"ASoftZ_"}},
        {"alpha to frame writes the opacity into the frame", AlphaToFrame, {"gl_FragData[0] = vec4(_n_color0006.xyz, _n_swizzle0004);", "AToFrame_"}, {"alpha_threshold", "discard;\n"}},
        {"soft alpha", AlphaSoftZ, {"varying float soft_depth;\n", "_n_swizzle0004 = _n_swizzle0004 * Contrast((screen_depth - soft_depth) / 0.5, 2.0);\n", "ASoftZ_"}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::unique_ptr<nMaterial> m = MakeKitMaterial("m", row.flags, {{MaterialChannelDiffuse, UV, 0, 0}, {MaterialChannelOpacity, UV, 0, 0}});
        const nGeneratedPass p = Pass(*m, GL3PassAttributes);
        const std::string all = p.signature + p.vertex + p.fragment;
        for (const std::string& s : row.present)
            EXPECT_NE(all.find(s), std::string::npos) << s << "\n"
                                                      << all;
        for (const std::string& s : row.absent)
            EXPECT_EQ(all.find(s), std::string::npos) << s << "\n"
                                                      << all;
    }
    // Without an opacity root the only discard is the clip plane's.
    std::unique_ptr<nMaterial> m = MapMaterial(0, KitSampler(KitBlock(ShaderBlockUV)));
    const nGeneratedPass p = Pass(*m, GL3PassAttributes);
    EXPECT_EQ(Count(p.fragment, "discard"), 1u) << p.fragment;
    EXPECT_EQ(p.signature.find("OpacitySink_"), std::string::npos);
}

// Statements of single blocks, emitted into the diffuse sink of pass 0.
TEST(GLSLGenerator, EmitterEdgeCases)
{
    struct Row
    {
        const char* what;
        nShaderBlock* diffuse;
        std::string statement;
    };
    // Each row's blocks go to its own map: fresh constants per row.
    auto f = [] { return KitConstant(ShaderValueFloat, 1.0f); };
    nShaderBlock* v3 = KitConstant(ShaderValueVec3, 1.0f);
    const Row rows[] = {
        {"build of a float and constants", KitBuild(2, 1, 0, 0, f()),
         "vec4 _n_built0002 = vec4(_n_const0001, 1.0, 0.0, 0.0);\n"},
        {"build xyz1 of one vec3", KitBuild(2, 3, 4, 1, v3, v3, v3),
         "vec4 _n_built0002 = vec4(_n_const0001.x, _n_const0001.y, _n_const0001.z, 1.0);\n"},
        {"swizzle replicating a float", KitSwizzle(KitConstant(ShaderValueFloat, 2.0f), 1, 1, 1),
         "vec3 _n_swizzle0002 = vec3(_n_const0001,_n_const0001,_n_const0001);\n"},
        {"swizzle of a vector", KitSwizzle(KitBlock(ShaderBlockVertexColor), 3, 4, 1, 0),
         "vec3 _n_swizzle0002 = _n_vertex_color0001.zwx;\n"},
        {"abs of a vec4 keeps w at 1", KitBlock(ShaderBlockAbs, KitBlock(ShaderBlockColor)),
         "vec4 _n_abs0002 = vec4(abs(_n_color0001.xyz), 1.0);\n"},
        {"mix puts A where the factor is 1", KitBlock(ShaderBlockMix, KitBlock(ShaderBlockColor), KitBlock(ShaderBlockViewport), f()),
         "vec4 _n_mix0004 = mix(_n_viewport0002, _n_color0001, _n_const0003);\n"},
        {"vector times matrix", KitBlock(ShaderBlockMul, KitBlock(ShaderBlockColor), KitBlock(ShaderBlockModelMatrix)),
         "vec4 _n_mul0003 = _n_color0001 * _n_model_matrix0002;\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::unique_ptr<nMaterial> m = MapMaterial(0, row.diffuse);
        const nGeneratedPass p = Pass(*m, GL3PassForward);
        EXPECT_NE(p.fragment.find(row.statement), std::string::npos) << p.fragment;
    }
    // The build stops at its first unconnected component: modes x, y with only X connected.
    std::unique_ptr<nMaterial> m = MapMaterial(0, KitBuild(2, 3, 0, 0, KitConstant(ShaderValueVec3, 1.0f)));
    EXPECT_NE(Pass(*m, GL3PassForward).fragment.find("float _n_built0002 = _n_const0001.x;\n"), std::string::npos);
}

// Blocks the graph accepts but GLSL cannot take: one error line each, and the pass falls back.
TEST(GLSLGenerator, RefusedBlocksLogAndFallBack)
{
    struct Row
    {
        const char* what;
        nShaderBlock* diffuse;
        Lines lines;
    };
    const Row rows[] = {
        {"vertex colour is vec4 in GLSL",
         KitBlock(ShaderBlockAdd, KitBlock(ShaderBlockVertexColor), KitConstant(ShaderValueVec3, 1.0f)),
         {"[!] Cannot add blocks, output do not match.\n"}},
        {"sampler without uv", KitSampler(0), {"[!] Invalid input to the sampler2D block.\n"}},
        {"swizzle past the input", KitSwizzle(KitBlock(ShaderBlockScreenUV), 3), {"[!] Invalid component to swizzle.\n"}},
        {"swizzle of a float by y", KitSwizzle(KitConstant(ShaderValueFloat, 1.0f), 2), {"[!] Impossible swizzle.\n"}},
        {"unknown constant type", KitBlock(ShaderBlockMul, KitConstant(ShaderValueMat3, 1.0f), KitConstant(ShaderValueMat3, 1.0f)), {"[!] Unknown constant.\n", "[!] Unknown constant.\n", "[!] Cannot multiply blocks, output do not match.\n"}},
        {"an input that failed gives no second line",
         KitBlock(ShaderBlockNormalize, KitBlock(ShaderBlockAdd, KitBlock(ShaderBlockVertexColor), KitConstant(ShaderValueVec3, 1.0f))),
         {"[!] Cannot add blocks, output do not match.\n"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::unique_ptr<nMaterial> m = MapMaterial(0, row.diffuse);
        nLogCapture log;
        GL3_ShaderGenerator generator;
        ASSERT_TRUE(generator.GenerateMaterialPass(*m, GL3PassForward));
        EXPECT_NE(generator.fragmentBody.find("gl_FragColor = vec4(1.0, 0.0, 1.0, 1.0);"), std::string::npos);
        EXPECT_EQ(log.Lines(), row.lines);
    }
}

// Every kind of block is emitted by some material of the kit, which the compile gate then compiles.
TEST(GLSLGenerator, KitMaterialsCoverEveryKind)
{
    std::set<int32_t> kinds;
    GL3_ShaderGenerator generator;
    nLogCapture log;
    for (const std::unique_ptr<nMaterial>& m : MakeKitMaterialTable()) {
        for (int pass : {GL3PassForward, GL3PassNormalDepth, GL3PassShadowDepth, GL3PassAttributes}) {
            ASSERT_TRUE(generator.GenerateMaterialPass(*m, pass));
            for (size_t i = 0; i < generator.GetRecordCount(); ++i) {
                EXPECT_NE(generator.GetRecord(i).type, (uint32_t)ShaderValueInvalid) << m->GetName().GetCStr();
                kinds.insert(generator.GetRecord(i).block->GetKind());
            }
        }
    }
    EXPECT_EQ(kinds.size(), 37u);
    EXPECT_EQ(log.Lines(), Lines{});
}

// The generated text is the same whatever the process locale: a locale that writes decimal
// commas is made for the test when the system has none.
TEST(GLSLGenerator, TextDoesNotFollowTheLocale)
{
    std::vector<std::unique_ptr<nMaterial>> table = MakeKitMaterialTable();
    std::vector<std::string> before;
    for (const std::unique_ptr<nMaterial>& m : table)
        before.push_back(PassesText(*m));
    const char* comma = std::setlocale(LC_ALL, "de_DE.UTF-8");
    nTempDir dir;
    if (!comma) {
        const std::string command = "localedef -i de_DE -f UTF-8 " + dir.Root() + "/de_DE.UTF-8 >/dev/null 2>&1";
        if (std::system(command.c_str()) == 0) {
            setenv("LOCPATH", dir.Root().c_str(), 1);
            comma = std::setlocale(LC_ALL, "de_DE.UTF-8");
        }
    }
    if (!comma)
        GTEST_SKIP() << "no locale with decimal commas can be made";
    char probe[16];
    snprintf(probe, sizeof(probe), "%.1f", 0.5);
    EXPECT_STREQ(probe, "0,5");
    for (size_t i = 0; i < table.size(); ++i)
        EXPECT_EQ(PassesText(*table[i]), before[i]) << table[i]->GetName().GetCStr();
    std::setlocale(LC_ALL, "C");
    unsetenv("LOCPATH");
}

TEST(ProgramCache, FindsBySignatureWithinItsPass)
{
    nProgramCache<int> cache;
    int programs[600];
    for (int i = 0; i < 600; ++i)
        ASSERT_TRUE(cache.Add(i % 2 ? GL3PassAttributes : GL3PassForward, "sig_" + std::to_string(i), &programs[i]));
    EXPECT_EQ(cache.GetCount(GL3PassForward), 300u);
    for (int i = 0; i < 600; ++i) {
        const int pass = i % 2 ? GL3PassAttributes : GL3PassForward;
        EXPECT_EQ(cache.Find(pass, "sig_" + std::to_string(i)), &programs[i]);
        EXPECT_EQ(cache.Find(pass == GL3PassForward ? GL3PassAttributes : GL3PassForward, "sig_" + std::to_string(i)), nullptr);
    }
    EXPECT_FALSE(cache.Add(GL3PassForward, "sig_0", &programs[1]));
    EXPECT_EQ(cache.Find(GL3PassForward, "sig_0"), &programs[0]);
    EXPECT_FALSE(cache.Add(7, "x", &programs[0]));
    EXPECT_EQ(cache.Find(-1, "x"), nullptr);
    static int released = 0;
    cache.Clear([](int*) { ++released; });
    EXPECT_EQ(released, 600);
    EXPECT_EQ(cache.Find(GL3PassForward, "sig_0"), nullptr);
}

}
