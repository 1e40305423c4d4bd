// The emitter drawer under a real GL context: particles as quads facing the camera, the
// faintest ones skipped, the nearest drawn last; the passes each material draws in.
#include <gtest/gtest.h>

#include <memory>

#include "nGLFrameKit.h"
#include "scene/nEmitter.h"
#include "scene/nParticleModel.h"

namespace {

class GLEmitter : public nGLFrameTest
{
protected:
    void SetUp() override
    {
        nGLFrameTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        model = nSharedPtr<nParticleModel>(new nParticleModel(&engine));
        nMaterial& m = model->GetMaterial();
        m.renderFlags = MaterialRenderFixedFunction | MaterialRenderShadeless | MaterialRenderVertexColor;
        m.alphaThreshold = 0.0f;  // only the drawer's own cut-off applies
        nShaderBlock* constant = new nShaderBlock(ShaderBlockConstant);
        constant->constantType = ShaderValueVec4;
        constant->values[0] = constant->values[1] = constant->values[2] = constant->values[3] = 1.0f;
        nRenderMap* map = new nRenderMap;
        map->SetRoot(RenderMapNormal, new nShaderBlock(ShaderBlockNormal));
        map->SetRoot(RenderMapDiffuse, constant);
        m.SetRenderMap(map);
        ASSERT_TRUE(renderer->SetupMaterial(&m));
        emitter.reset(new nEmitter(&engine));
        emitter->SetParticleModel(model.Get());
        emitter->SetPoolSize(4);
        emitter->SetPosition(nVector(0.0f, 0.0f, 20.0f));
        emitter->UpdateWorldMatrix();
        ASSERT_TRUE(emitter->AllocatePool());
    }
    void TearDown() override
    {
        if (model.IsValid()) renderer->FreeMaterial(&model->GetMaterial());
        emitter.reset();
        model.Release();
        nGLFrameTest::TearDown();
    }
    void Place(uint32_t slot, float x, float y, float z, float r, float g, float b, float opacity)
    {
        nParticle& p = emitter->GetPool()[slot];
        p.age = 0.5f;
        p.position = nVector(x, y, z, 1.0f);
        p.size = 1.0f;
        p.angle = 0.0f;
        p.red = r, p.green = g, p.blue = b, p.opacity = opacity;
    }
    void Draw()
    {
        renderer->ApplyCamera();
        renderer->Clear(0.0f, 0.0f, 0.0f, 1.0f, false);
        renderer->ResetRenderQueue();
        renderer->QueueRenderable(emitter.get());
        renderer->RenderQueue();
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    }

    nSharedPtr<nParticleModel> model;
    std::unique_ptr<nEmitter> emitter;
};

TEST_F(GLEmitter, FaintParticlesAreSkippedAndTheRestDrawnInTheirColour)
{
    Place(0, -3.0f, 0.0f, 20.0f, 1.0f, 0.0f, 0.0f, 0.009f);  // below the cut-off
    Place(1, 3.0f, 0.0f, 20.0f, 1.0f, 0.0f, 0.0f, 0.01f);    // just drawn
    Draw();
    EXPECT_TRUE(PixelNear(ProbeWorld(-3.0f, 0.0f, 20.0f), nRGBA{0, 0, 0, 255}, 3));
    EXPECT_TRUE(PixelNear(ProbeWorld(3.0f, 0.0f, 20.0f), nRGBA{255, 0, 0, 255}, 3));
    // A quad of half-side size: inside its corner region, and clear of it beyond.
    EXPECT_TRUE(PixelNear(ProbeWorld(3.8f, 0.8f, 20.0f), nRGBA{255, 0, 0, 255}, 3));
    EXPECT_TRUE(PixelNear(ProbeWorld(4.4f, 0.0f, 20.0f), nRGBA{0, 0, 0, 255}, 3));
}

TEST_F(GLEmitter, TheNearestParticleIsDrawnLast)
{
    // The near one comes first in the pool: only the depth sort puts it last.
    Place(0, 0.0f, 0.0f, 16.0f, 0.0f, 1.0f, 0.0f, 1.0f);
    Place(1, 0.0f, 0.0f, 24.0f, 1.0f, 0.0f, 0.0f, 1.0f);
    Draw();
    EXPECT_TRUE(PixelNear(ProbeWorld(0.0f, 0.0f, 20.0f), nRGBA{0, 255, 0, 255}, 3));
    EXPECT_EQ(emitter->GetSortedCount(), 2u);
    EXPECT_FLOAT_EQ(emitter->GetSortedParticle(0)->position.z, 24.0f);
}

// The same billboards through the deferred passes (a material of the shader graph taking the
// particles' colours): faint particles are skipped, the nearest of two overlapping ones shows,
// and an opaque quad in front hides what is behind it while a particle before it stays seen.
class GLEmitterDeferred : public nGLFrameTest
{
protected:
    void SetUp() override
    {
        nGLFrameTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        scene.ambient[0] = scene.ambient[1] = scene.ambient[2] = 1.0f;
        model = nSharedPtr<nParticleModel>(new nParticleModel(&engine));
        nMaterial& m = model->GetMaterial();
        m.renderFlags = MaterialRenderVertexColor;
        m.alphaThreshold = 0.0f;
        nRenderMap* map = new nRenderMap;
        map->SetRoot(RenderMapNormal, new nShaderBlock(ShaderBlockNormal));
        map->SetRoot(RenderMapDiffuse, new nShaderBlock(ShaderBlockVertexColor));
        m.SetRenderMap(map);
        ASSERT_TRUE(renderer->SetupMaterial(&m));
        emitter.reset(new nEmitter(&engine));
        emitter->SetParticleModel(model.Get());
        emitter->SetPoolSize(4);
        emitter->SetPosition(nVector(0.0f, 0.0f, 20.0f));
        emitter->UpdateWorldMatrix();
        ASSERT_TRUE(emitter->AllocatePool());
    }
    void TearDown() override
    {
        if (model.IsValid()) renderer->FreeMaterial(&model->GetMaterial());
        emitter.reset();
        model.Release();
        nGLFrameTest::TearDown();
    }
    void Place(uint32_t slot, float x, float y, float z, float r, float g, float b, float opacity)
    {
        nParticle& p = emitter->GetPool()[slot];
        p.age = 0.5f;
        p.position = nVector(x, y, z, 1.0f);
        p.size = 1.0f;
        p.angle = 0.0f;
        p.red = r, p.green = g, p.blue = b, p.opacity = opacity;
    }

    nSharedPtr<nParticleModel> model;
    std::unique_ptr<nEmitter> emitter;
};

TEST_F(GLEmitterDeferred, CutOffDepthOrderAndOcclusion)
{
    Show(MakeQuads({Rect(2.0f, -2.0f, 8.0f, 2.0f)}, 20.0f, ConstantMaterial(0.0f, 0.0f, 1.0f)), 20.0f);
    drawables.emplace_back(new nTestDrawable(emitter.get(), emitter.get(), 19.0f, RenderablePrimitiveEmitter));
    Place(0, -6.0f, 0.0f, 19.0f, 1.0f, 0.0f, 0.0f, 0.009f);  // below the cut-off
    Place(1, -2.0f, 0.0f, 18.0f, 0.0f, 1.0f, 0.0f, 1.0f);    // near, drawn last over the far one
    Place(2, -2.0f, 0.0f, 22.0f, 1.0f, 0.0f, 0.0f, 1.0f);
    Place(3, 5.0f, 0.0f, 24.0f, 1.0f, 1.0f, 0.0f, 1.0f);  // behind the quad
    DrawFrame();
    EXPECT_TRUE(PixelNear(ProbeWorld(-6.0f, 0.0f, 19.0f), nRGBA{0, 0, 0, 255}, 3)) << "the faint one is skipped";
    EXPECT_TRUE(PixelNear(ProbeWorld(-2.0f, 0.0f, 20.0f), nRGBA{0, 255, 0, 255}, 3)) << "the near one shows";
    EXPECT_TRUE(PixelNear(ProbeWorld(5.0f, 0.0f, 20.0f), nRGBA{0, 0, 255, 255}, 3)) << "the quad hides the far one";
    // A particle before the quad is seen over it, though the quad is drawn after it.
    Place(3, 5.0f, 0.0f, 16.0f, 1.0f, 1.0f, 0.0f, 1.0f);
    DrawFrame();
    EXPECT_TRUE(PixelNear(ProbeWorld(5.0f, 0.0f, 20.0f), nRGBA{255, 255, 0, 255}, 3));
}

TEST(GLEmitterPasses, FixedFunctionMaterialsDrawForwardOthersInTheDeferredPasses)
{
    struct Case
    {
        uint32_t flags;
        bool fixedRenderer;
        bool passes[6];
    };
    const Case cases[] = {
        {MaterialRenderFixedFunction, false, {true, true, false, false, false, false}},
        {0, true, {true, true, false, false, false, false}},
        {0, false, {false, false, true, true, false, true}},
    };
    for (const Case& c : cases)
        for (int32_t pass = 0; pass < 6; ++pass)
            EXPECT_EQ(nGL3Renderer::EmitterDrawsInPass(pass, c.flags, c.fixedRenderer), c.passes[pass])
                << "flags " << c.flags << " fixed " << c.fixedRenderer << " pass " << pass;
}

}
