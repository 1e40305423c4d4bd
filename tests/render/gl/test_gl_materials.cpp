// Materials on the OpenGL renderer: programs shared by signature with each material's own values
// read back from the frame, a program that fails to build skipped when drawing (and not built
// again), and no program at all without shaders.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "nGLRendererFixture.h"
#include "render/gl/nGL3Shader.h"
#include "render/gl/nGLEntryPoints.h"
#include "render/gl/nGLMaterial.h"
#include "resources/nMaterial.h"
#include "resources/nRenderMap.h"
#include "resources/nShaderBlock.h"
#include "tests/support/nLogCapture.h"

namespace {

// A material whose diffuse colour is one constant of the graph.
std::unique_ptr<nMaterial> ConstantMaterial(const char* name, float r, float g, float b)
{
    std::unique_ptr<nMaterial> material(new nMaterial(nullptr));
    material->SetName(name);
    nRenderMap* map = new nRenderMap;
    nShaderBlock* constant = new nShaderBlock(ShaderBlockConstant);
    constant->constantType = ShaderValueVec4;
    constant->values[0] = r, constant->values[1] = g, constant->values[2] = b, constant->values[3] = 1.0f;
    map->SetRoot(RenderMapDiffuse, constant);
    material->SetRenderMap(map);
    return material;
}

class GLMaterials : public nGLRendererTest
{
protected:
    void TearDown() override
    {
        for (nMaterial* m : materials) renderer->FreeMaterial(m);
        nGLRendererTest::TearDown();
    }

    nMaterial* Setup(std::unique_ptr<nMaterial> material)
    {
        owned.push_back(std::move(material));
        EXPECT_TRUE(renderer->SetupMaterial(owned.back().get()));
        materials.push_back(owned.back().get());
        return owned.back().get();
    }

    static GL_MaterialData* Data(nMaterial* m) { return static_cast<GL_MaterialData*>(m->GetRenderData()); }

    // Draws a pixel-space rectangle with the material's forward program; false when skipped.
    bool DrawRect(nMaterial* m, float x0, float y0, float x1, float y1)
    {
        if (!renderer->BindCompiledRenderMap(Data(m)->ForPass(GL3PassForward), 0, 0)) return false;
        glBegin(GL_QUADS);
        glVertex3f(x0, y0, 0.0f); glVertex3f(x1, y0, 0.0f); glVertex3f(x1, y1, 0.0f); glVertex3f(x0, y1, 0.0f);
        glEnd();
        renderer->GetEntryPoints()->UseProgramObjectARB(0);
        renderer->ResetTextureUnits(0);
        return true;
    }

    std::vector<std::unique_ptr<nMaterial>> owned;
    std::vector<nMaterial*>                 materials;
};

TEST_F(GLMaterials, MaterialsDifferingOnlyInAConstantShareOneProgramAndShowTheirOwnValues)
{
    nMaterial* red = Setup(ConstantMaterial("red", 1.0f, 0.0f, 0.0f));
    nMaterial* teal = Setup(ConstantMaterial("teal", 0.0f, 0.5f, 0.75f));
    for (int32_t pass : {GL3PassForward, GL3PassNormalDepth, GL3PassAttributes, GL3PassShadowDepth}) {
        ASSERT_NE(Data(red)->ForPass(pass), nullptr) << pass;
        ASSERT_NE(Data(teal)->ForPass(pass), nullptr) << pass;
        EXPECT_NE(Data(red)->ForPass(pass), Data(teal)->ForPass(pass)) << pass;
        EXPECT_EQ(Data(red)->ForPass(pass)->program, Data(teal)->ForPass(pass)->program) << pass;
        EXPECT_TRUE(Data(red)->ForPass(pass)->program->IsCompiled()) << pass;
        EXPECT_EQ(renderer->GetMaterialPrograms()->cache.GetCount(pass), 1u) << pass;
    }
    EXPECT_EQ(Data(red)->maps[2], nullptr);   // the velocity pass draws with a core program

    renderer->Clear(0.0f, 0.0f, 0.0f, 1.0f, false);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    ASSERT_TRUE(DrawRect(red, 0, 0, 64, 96));
    ASSERT_TRUE(DrawRect(teal, 64, 0, 128, 96));
    EXPECT_TRUE(PixelNear(ReadPixel(20, 40), nRGBA{255, 0, 0, 255}));
    EXPECT_TRUE(PixelNear(ReadPixel(100, 40), nRGBA{0, 128, 191, 255}));

    // An update after the value changed keeps the program and shows the new value.
    renderer->GetEntryPoints();
    nGL3Shader* shared = Data(red)->ForPass(GL3PassForward)->program;
    red->GetRenderMap()->GetRoot(RenderMapDiffuse)->values[1] = 1.0f;
    renderer->UpdateMaterial(red);
    EXPECT_EQ(Data(red)->ForPass(GL3PassForward)->program, shared);
    ASSERT_TRUE(DrawRect(red, 0, 0, 64, 96));
    EXPECT_TRUE(PixelNear(ReadPixel(20, 40), nRGBA{255, 255, 0, 255}));
    EXPECT_EQ(renderer->GetTextureUnitFlags(0), 0u);
}

TEST_F(GLMaterials, AProgramThatFailedToBuildIsCachedAsFailedAndItsMaterialIsSkipped)
{
    // Put a failed program in the cache under the signature the material will ask for.
    std::unique_ptr<nMaterial> probe = ConstantMaterial("probe", 0.0f, 1.0f, 0.0f);
    nMaterial* green = Setup(ConstantMaterial("green", 0.0f, 1.0f, 0.0f));
    nGL3MaterialPrograms* programs = renderer->GetMaterialPrograms();
    ASSERT_NE(programs, nullptr);
    ASSERT_TRUE(programs->generator.GenerateMaterialPass(*probe, GL3PassForward));
    const std::string signature = programs->generator.GetSignature();
    programs->generator.Reset();
    nGL3Shader* good = programs->cache.Find(GL3PassForward, signature);
    ASSERT_EQ(good, Data(green)->ForPass(GL3PassForward)->program);

    // The same signature, built again from text the driver refuses.
    nLogCapture log;
    good->Compile(signature.c_str(), "#version 120\nvoid main() { gl_Position = missing; }\n",
                  "#version 120\nvoid main() { gl_FragColor = vec4(1.0); }\n");
    ASSERT_FALSE(good->IsCompiled());
    renderer->UpdateMaterial(green);
    EXPECT_EQ(Data(green)->ForPass(GL3PassForward)->program, good);   // not built again
    EXPECT_EQ(programs->cache.GetCount(GL3PassForward), 1u);

    renderer->Clear(0.0f, 0.0f, 0.0f, 1.0f, false);
    glDisable(GL_DEPTH_TEST);
    EXPECT_FALSE(DrawRect(green, 0, 0, 128, 96));
    EXPECT_TRUE(PixelNear(ReadPixel(64, 48), nRGBA{0, 0, 0, 255}));
    GLint current = -1;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(current, 0);
}

TEST_F(GLMaterials, SetupTwiceIsRefusedAndClosingLeavesOldMapsSafelySkipped)
{
    nMaterial* m = Setup(ConstantMaterial("m", 1.0f, 1.0f, 1.0f));
    EXPECT_FALSE(renderer->SetupMaterial(m));
    GL3_CompiledRenderMap* map = Data(m)->ForPass(GL3PassForward);
    renderer->Close();
    EXPECT_FALSE(renderer->BindCompiledRenderMap(map, 0, 0));
    ASSERT_TRUE(renderer->Open(kWidth, kHeight, 32, 2));
    errors.Install();
    renderer->UpdateMaterial(m);
    EXPECT_TRUE(Data(m)->ForPass(GL3PassForward)->program->IsCompiled());
}

class GLMaterialsWithoutShaders : public GLMaterials
{
    void ConfigureBeforeOpen(nGL3Renderer& r) override { r.SetSystemFlag(RendererSystemDisableShader, true); }
};

TEST_F(GLMaterialsWithoutShaders, MaterialsGetFiveEmptyMaps)
{
    nMaterial* m = Setup(ConstantMaterial("m", 1.0f, 0.0f, 0.0f));
    ASSERT_NE(Data(m), nullptr);
    for (GL3_CompiledRenderMap* map : Data(m)->maps) EXPECT_EQ(map, nullptr);
    EXPECT_EQ(renderer->GetMaterialPrograms(), nullptr);
}

}
