// The CPU value of a material's diffuse channel against the pixel the OpenGL renderer draws with
// the material's generated program: a quad lit by a full white ambient light shows its diffuse
// colour unchanged, and every probed pixel's hit is shaded on the CPU and compared.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "render/raytrace/nRaytracerShading.h"
#include "resources/nPictureFormat.h"
#include "resources/nTexture.h"
#include "tests/render/gl/nGLFrameKit.h"

namespace {

const float kPlaneZ = 20.0f;

class GLShadingAgainstGPU : public nGLFrameTest
{
protected:
    nShaderBlock* Constant(uint32_t type, float x, float y = 0, float z = 0, float w = 0)
    {
        nShaderBlock* b = new nShaderBlock(ShaderBlockConstant);
        b->constantType = type;
        b->values[0] = x, b->values[1] = y, b->values[2] = z, b->values[3] = w;
        return b;
    }

    nShaderBlock* Op(int32_t kind, std::vector<nShaderBlock*> inputs)
    {
        nShaderBlock* b = new nShaderBlock(kind);
        for (size_t i = 0; i < inputs.size(); ++i)
            EXPECT_TRUE(b->SetInput((unsigned)i, inputs[i])) << "kind " << kind << " input " << i;
        return b;
    }

    nShaderBlock* Swizzle(nShaderBlock* input, int a, int b, int c, int d)
    {
        nShaderBlock* s = Op(ShaderBlockSwizzle, {input});
        s->codes[0] = a, s->codes[1] = b, s->codes[2] = c, s->codes[3] = d;
        return s;
    }

    // A 64 x 4 texture: red rises with x (4 per texel), green falls, blue 128.
    nTexture* Gradient()
    {
        nTexture* texture = new nTexture(&engine, 1, 0);
        textures.push_back(nSharedPtr<nTexture>(texture));
        EXPECT_TRUE(texture->Allocate(64, 4, PixelFormatRGBA8));
        uint8_t* p = texture->GetPixels();
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 64; ++x) {
                uint8_t* t = p + 4 * (y * 64 + x);
                t[0] = (uint8_t)(x * 4), t[1] = (uint8_t)(255 - x * 4), t[2] = 128, t[3] = 255;
            }
        texture->SetFlag(TextureKeepPixels, true);
        renderer->SetSystemFlag(RendererSystemTextureNoCompression, true);
        EXPECT_TRUE(renderer->SetupTexture(texture));
        return texture;
    }

    nShaderBlock* Sampler(nShaderBlock* uv, bool wrap)
    {
        nShaderBlock* source = new nShaderBlock(ShaderBlockTexture);
        source->texture = Gradient();
        nShaderBlock* s = Op(ShaderBlockSampler2D, {source, uv});
        s->wrapU = s->wrapV = wrap ? 1 : 0;
        return s;
    }

    // The quad's corners: colours that differ in every channel, UVs over 0..1.
    std::vector<nQuadCorner> Quad()
    {
        return {{-8, -6, {0.9f, 0.1f, 0.2f, 1}, 0, 0}, {-8, 6, {0.1f, 0.8f, 0.3f, 1}, 0, 1}, {8, 6, {0.2f, 0.3f, 0.9f, 1}, 1, 1}, {8, -6, {0.7f, 0.6f, 0.1f, 1}, 1, 0}};
    }

    // The hit on the quad seen through pixel (px, py): the fan triangle holding the point in
    // object space and its barycentric weights. False when the pixel misses the quad.
    bool HitAt(int px, int py, nObject* object, nGeometry* g, nRaytraceHit* hit)
    {
        const nVector world = PointAt(px, py, kPlaneZ);
        const nVector p = world.Transform(object->GetInverseWorldMatrix());
        const int32_t* b = g->polygons[0].bindings;
        for (int offset = 0; offset + 2 < g->polygons[0].count; ++offset) {
            const nVector& a = g->vertices[b[0]];
            const nVector& c1 = g->vertices[b[offset + 1]];
            const nVector& c2 = g->vertices[b[offset + 2]];
            const float d = (c1.x - a.x) * (c2.y - a.y) - (c2.x - a.x) * (c1.y - a.y);
            const float w1 = ((p.x - a.x) * (c2.y - a.y) - (c2.x - a.x) * (p.y - a.y)) / d;
            const float w2 = ((c1.x - a.x) * (p.y - a.y) - (p.x - a.x) * (c1.y - a.y)) / d;
            const float w0 = 1.0f - w1 - w2;
            if (w0 < 0.0f || w1 < 0.0f || w2 < 0.0f)
                continue;
            hit->geometry = g;
            hit->polygon = 0;
            hit->offset = offset;
            hit->w0 = w0, hit->w1 = w1, hit->w2 = w2;
            hit->point = world;
            hit->normal = nVector(0, 0, -1);
            hit->eye = nVector(0, 0, 0);
            hit->view = nVector(world.x, world.y, world.z).Normalize();
            hit->item = object;
            hit->material = g->materials[0].Get();
            return true;
        }
        return false;
    }

    // Draws the quad with root as its diffuse channel (the object turned by angle about the
    // view axis), then compares a grid of pixels with the CPU channel. skip says where the
    // GPU's filtering legitimately differs (texture seams).
    void Compare(nShaderBlock* root, float angle = 0.0f, std::function<bool(const nRaytraceHit&)> skip = nullptr)
    {
        scene.ambient[0] = scene.ambient[1] = scene.ambient[2] = 1.0f;
        nMaterial* material = MakeMaterial(root);
        nGeometry* g = MakeQuads({Quad()}, kPlaneZ, material);
        nObject* object = Show(g, kPlaneZ);
        object->SetRotation(nVector(0, 0, angle));
        object->GetInverseWorldMatrix();
        DrawFrame();

        nRaytracerShading shading(&engine);
        int compared = 0;
        for (int py = 4; py < kHeight; py += 7)
            for (int px = 4; px < kWidth; px += 7) {
                nRaytraceHit hit;
                if (!HitAt(px, py, object, g, &hit) || (skip && skip(hit)))
                    continue;
                const nVector cpu = shading.GetMaterialChannel(hit, RenderMapDiffuse);
                const nRGBA want{(uint8_t)Byte(cpu.x), (uint8_t)Byte(cpu.y), (uint8_t)Byte(cpu.z), 255};
                EXPECT_TRUE(PixelNear(ReadPixel(px, py), want, 4)) << "pixel " << px << ", " << py;
                ++compared;
            }
        EXPECT_GT(compared, 20);
    }

    void TearDown() override
    {
        if (renderer)
            for (auto& t : textures) renderer->FreeTexture(t.Get());
        textures.clear();
        nGLFrameTest::TearDown();
    }

    std::vector<nSharedPtr<nTexture>> textures;
};

// Pack maps z too; the swizzle packs (b, r, g) into a vec3.
TEST_F(GLShadingAgainstGPU, PackOfASwizzledVertexColour)
{
    Compare(Op(ShaderBlockPack, {Swizzle(new nShaderBlock(ShaderBlockVertexColor), 3, 1, 2, 0)}));
}

// v * M is the transposed product: with the object turned 30 degrees the two orders differ.
TEST_F(GLShadingAgainstGPU, AVectorTimesTheNormalMatrix)
{
    Compare(Op(ShaderBlockPack, {Op(ShaderBlockMul, {Constant(ShaderValueVec3, 0.8f, 0.3f, -0.5f),
                                                     new nShaderBlock(ShaderBlockNormalMatrix)})}),
            0.5235988f);
}

TEST_F(GLShadingAgainstGPU, TheNormalMatrixTimesAVector)
{
    Compare(Op(ShaderBlockPack, {Op(ShaderBlockMul, {new nShaderBlock(ShaderBlockNormalMatrix),
                                                     Constant(ShaderValueVec3, 0.8f, 0.3f, -0.5f)})}),
            0.5235988f);
}

// Twice the UVs: repeated, away from the seam where the GPU blends across the edge, and clamped.
TEST_F(GLShadingAgainstGPU, ATextureRepeatedAndClampedByTheSamplersWrapFlags)
{
    for (bool wrap : {true, false}) {
        SCOPED_TRACE(wrap ? "repeat" : "clamp");
        nShaderBlock* uv = Op(ShaderBlockMul, {new nShaderBlock(ShaderBlockUV), Constant(ShaderValueVec2, 2.0f, 2.0f)});
        // The quad spans x -8..8, u = (x + 8) / 16: twice u meets its seam at x = 0 and the edges.
        auto nearSeam = [](const nRaytraceHit& hit) { return std::fabs(hit.point.x) < 1.0f || std::fabs(hit.point.x) > 7.0f; };
        Compare(Sampler(uv, wrap), 0.0f, nearSeam);
        drawables.clear();
        objects.clear();
    }
}

// Two colours mixed by a dot product with the vertex colour.
TEST_F(GLShadingAgainstGPU, MixByADotProduct)
{
    nShaderBlock* colour = Swizzle(new nShaderBlock(ShaderBlockVertexColor), 1, 2, 3, 0);
    nShaderBlock* factor = Op(ShaderBlockDot, {colour, Constant(ShaderValueVec3, 0.5f, 0.3f, 0.2f)});
    nShaderBlock* orange = Constant(ShaderValueVec4, 0.9f, 0.5f, 0.1f, 1.0f);
    nShaderBlock* teal = new nShaderBlock(ShaderBlockColor);
    teal->values[0] = 0.0f, teal->values[1] = 0.5f, teal->values[2] = 0.75f, teal->values[3] = 1.0f;
    Compare(Op(ShaderBlockMix, {orange, teal, factor}));
}

TEST_F(GLShadingAgainstGPU, NormalizeAndAbsOfADifference)
{
    nShaderBlock* colour = Swizzle(new nShaderBlock(ShaderBlockVertexColor), 1, 2, 3, 0);
    nShaderBlock* centred = Op(ShaderBlockSub, {colour, Constant(ShaderValueVec3, 0.5f, 0.5f, 0.5f)});
    Compare(Op(ShaderBlockAbs, {Op(ShaderBlockNormalize, {centred})}));
}

}
