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
#include "resources/nPictureFormat.h"
#include "resources/nTexture.h"
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
        glVertex3f(x0, y0, 0.0f);
        glVertex3f(x1, y0, 0.0f);
        glVertex3f(x1, y1, 0.0f);
        glVertex3f(x0, y1, 0.0f);
        glEnd();
        renderer->GetEntryPoints()->UseProgramObjectARB(0);
        renderer->ResetTextureUnits(0);
        return true;
    }

    std::vector<std::unique_ptr<nMaterial>> owned;
    std::vector<nMaterial*> materials;
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
    EXPECT_EQ(Data(red)->maps[2], nullptr);  // the velocity pass draws with a core program

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
    EXPECT_EQ(Data(green)->ForPass(GL3PassForward)->program, good);  // not built again
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

    // Updated while closed: no map, and nothing cached that would stay failed after opening.
    renderer->UpdateMaterial(m);
    for (GL3_CompiledRenderMap* empty : Data(m)->maps) EXPECT_EQ(empty, nullptr);
    ASSERT_TRUE(renderer->Open(kWidth, kHeight, 32, 2));
    errors.Install();
    renderer->UpdateMaterial(m);
    EXPECT_TRUE(Data(m)->ForPass(GL3PassForward)->program->IsCompiled());
}

TEST_F(GLMaterials, ASampledTextureBindsWithItsWrapFlagsAndOnlyTheUVSetItReads)
{
    // A 2 x 2 picture, blue on the left column and yellow on the right.
    nSharedPtr<nTexture> held(new nTexture(&engine, 1, 0));  // the graph holds it too
    nTexture& texture = *held;
    texture.SetName("two_columns");
    ASSERT_TRUE(texture.Allocate(2, 2, PixelFormatRGBA8));
    uint8_t* p = texture.GetPixels();
    for (int i = 0; i < 4; ++i, p += 4) {
        const bool left = (i % 2) == 0;
        p[0] = left ? 0 : 255;
        p[1] = left ? 0 : 255;
        p[2] = left ? 255 : 0;
        p[3] = 255;
    }
    renderer->SetSystemFlag(RendererSystemTextureNoCompression, true);
    ASSERT_TRUE(renderer->SetupTexture(&texture));

    std::unique_ptr<nMaterial> material(new nMaterial(nullptr));
    material->SetName("sampled");
    nRenderMap* map = new nRenderMap;
    nShaderBlock* source = new nShaderBlock(ShaderBlockTexture);
    source->texture = &texture;
    nShaderBlock* uv = new nShaderBlock(ShaderBlockUV);
    uv->index = 1;
    nShaderBlock* sampler = new nShaderBlock(ShaderBlockSampler2D);
    ASSERT_TRUE(sampler->SetInput(0, source));
    ASSERT_TRUE(sampler->SetInput(1, uv));
    sampler->wrapU = 0;
    sampler->wrapV = 1;
    map->SetRoot(RenderMapDiffuse, sampler);
    material->SetRenderMap(map);
    nMaterial* m = Setup(std::move(material));

    const GL3_CompiledRenderMap* forward = Data(m)->ForPass(GL3PassForward);
    ASSERT_NE(forward, nullptr);
    EXPECT_EQ(forward->UsedSlots(), 1);
    EXPECT_EQ(forward->slots[0].texture, &texture);
    EXPECT_EQ(forward->slots[0].wrapU, 0);
    EXPECT_EQ(forward->slots[0].wrapV, 1);
    EXPECT_EQ(forward->uvSets[0], 0);
    EXPECT_EQ(forward->uvSets[1], 1);
    EXPECT_EQ(forward->uvSets[2], 0);

    // A rectangle whose UV set 1 reads the right column everywhere (set 0 would read the left).
    const nVector positions[4] = {nVector(0, 0, 0), nVector(128, 0, 0), nVector(128, 96, 0), nVector(0, 96, 0)};
    const nVector2 left[4] = {nVector2(0.25f, 0.5f), nVector2(0.25f, 0.5f), nVector2(0.25f, 0.5f), nVector2(0.25f, 0.5f)};
    const nVector2 right[4] = {nVector2(0.75f, 0.5f), nVector2(0.75f, 0.5f), nVector2(0.75f, 0.5f), nVector2(0.75f, 0.5f)};
    const int32_t indices[6] = {0, 1, 2, 0, 2, 3};
    nGL3Renderer::GL_BatchSource batchSource;
    batchSource.vertexCount = 4;
    batchSource.positions = positions;
    batchSource.triangleCount = 2;
    batchSource.indices = indices;
    batchSource.uvSets[0] = left;
    batchSource.uvSets[1] = right;
    nGL3Renderer::GL_Batch batch;
    ASSERT_TRUE(renderer->SetupBatch(batch, batchSource));

    renderer->Clear(0.0f, 0.0f, 0.0f, 1.0f, false);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    const nGLEntryPoints* gl = renderer->GetEntryPoints();
    ASSERT_TRUE(renderer->BindCompiledRenderMap(forward, &batch, 0));
    GLint wrap[2] = {0, 0};
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap[0]);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrap[1]);
    EXPECT_EQ(wrap[0], GL_CLAMP_TO_EDGE);
    EXPECT_EQ(wrap[1], GL_REPEAT);
    EXPECT_EQ(renderer->GetTextureUnitFlags(0), (uint32_t)nGL3Renderer::UnitTexture2D);
    EXPECT_EQ(renderer->GetTextureUnitFlags(1), (uint32_t)nGL3Renderer::UnitCoordArray);
    for (int unit = 0; unit < 3; ++unit) {
        gl->ClientActiveTextureARB(GL_TEXTURE0_ARB + unit);
        EXPECT_EQ(glIsEnabled(GL_TEXTURE_COORD_ARRAY), unit == 1 ? GL_TRUE : GL_FALSE) << unit;
    }
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, (const void*)0);
    gl->BindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, batch.indexBuffer);
    glDrawElements(GL_TRIANGLES, batch.indexCount, GL_UNSIGNED_SHORT, 0);
    glDisableClientState(GL_VERTEX_ARRAY);
    gl->BindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
    gl->BindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
    gl->UseProgramObjectARB(0);
    renderer->ResetTextureUnits(0);
    EXPECT_TRUE(PixelNear(ReadPixel(64, 48), nRGBA{255, 255, 0, 255}));

    // The state cache is left clean.
    for (int unit = 0; unit < 3; ++unit) {
        EXPECT_EQ(renderer->GetTextureUnitFlags(unit), 0u) << unit;
        gl->ClientActiveTextureARB(GL_TEXTURE0_ARB + unit);
        EXPECT_EQ(glIsEnabled(GL_TEXTURE_COORD_ARRAY), GL_FALSE) << unit;
    }
    renderer->FreeBatch(batch);
    renderer->FreeMaterial(m);
    materials.clear();
    renderer->FreeTexture(&texture);
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
