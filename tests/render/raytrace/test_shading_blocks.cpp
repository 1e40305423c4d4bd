// Every block kind evaluated on the CPU at a synthetic hit, each against the value its
// generated GLSL gives there; the kinds that exist only on the GPU give nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "nShadingTestKit.h"
#include "tests/support/nLogCapture.h"

namespace {

const float kHalfPi = 1.5707963f;

struct BlockCase
{
    const char* name;
    std::function<nShaderBlock*(nShadingTest&)> build;
    nVector want;
    int32_t size;  // components the generated program gives
};

nShaderBlock* Vec3(nShadingTest& t, float x, float y, float z) { return t.Constant(ShaderValueVec3, x, y, z); }
nShaderBlock* Vec4(nShadingTest& t, float x, float y, float z, float w) { return t.Constant(ShaderValueVec4, x, y, z, w); }
nShaderBlock* Float(nShadingTest& t, float x) { return t.Constant(ShaderValueFloat, x); }

nShaderBlock* Swizzle(nShadingTest& t, nShaderBlock* input, int a, int b, int c, int d)
{
    nShaderBlock* s = t.Op(ShaderBlockSwizzle, {input});
    s->codes[0] = a, s->codes[1] = b, s->codes[2] = c, s->codes[3] = d;
    return s;
}

nShaderBlock* Sampler(nShadingTest& t, nShaderBlock* uv, bool wrap)
{
    nShaderBlock* texture = t.Block(ShaderBlockTexture);
    texture->texture = MakeCoordinateTexture(&t.engine);
    nShaderBlock* s = t.Op(ShaderBlockSampler2D, {texture, uv});
    s->wrapU = s->wrapV = wrap ? 1 : 0;
    return s;
}

nShaderBlock* MaterialParam(nShadingTest& t, int32_t which)
{
    nShaderBlock* b = t.Block(ShaderBlockMaterialParam);
    b->index = which;
    return b;
}

class ShadingBlocks : public nShadingTest, public ::testing::WithParamInterface<BlockCase>
{
};

TEST_P(ShadingBlocks, GivesTheValueOfItsGeneratedProgram)
{
    const BlockCase& c = GetParam();
    material->diffuse = nVector(0.1f, 0.2f, 0.3f, 0.4f);
    material->specular = nVector(0.5f, 0.6f, 0.7f, 0.8f);
    material->self = nVector(0.9f, 0.8f, 0.7f, 0.6f);
    material->ambient = nVector(0.3f, 0.3f, 0.2f, 1.0f);
    material->glossiness = 0.35f;
    material->opacity = 0.6f;
    nRaytracerShading shading(&engine);
    ShaderValue value;
    ASSERT_TRUE(shading.EvaluateShaderBlock(hit, c.build(*this), value));
    EXPECT_EQ(value.type, RaytraceValueVector);
    EXPECT_EQ(value.size, c.size);
    ExpectVectorNear(value.vector, c.want);
}

// Corners 0, 2, 3 of the hit triangle are weighted 0.2, 0.3, 0.5 (see the kit).
const BlockCase kBlockCases[] = {
    {"VertexStreamIsTheObjectSpacePoint", [](nShadingTest& t) { return t.Block(ShaderBlockVertex); },
     nVector(0.3f, 0.8f, 0.0f, 1.0f), 4},
    {"NormalStreamIsTheNormalisedInterpolation", [](nShadingTest& t) { return t.Block(ShaderBlockNormal); },
     nVector(0.5f / std::sqrt(1.34f), 0.3f / std::sqrt(1.34f), 1.0f / std::sqrt(1.34f), 1.0f), 3},
    {"GeometryUV", [](nShadingTest& t) { return t.Block(ShaderBlockUV); }, nVector(0.3f, 0.8f, 0.0f, 0.0f), 2},
    {"GeometryUVOfTheSecondSet", [](nShadingTest& t) { nShaderBlock* b = t.Block(ShaderBlockUV); b->index = 1; return b; },
     nVector(0.375f, 0.625f, 0.0f, 0.0f), 2},
    {"VertexColorWithItsAlpha", [](nShadingTest& t) { return t.Block(ShaderBlockVertexColor); },
     nVector(0.2f, 0.3f, 0.5f, 0.35f), 4},
    {"SamplerRepeatsANegativeAndALargeCoordinate",
     [](nShadingTest& t) { return Sampler(t, t.Constant(ShaderValueVec2, -0.25f, 1.5f), true); },
     nVector(192 / 255.0f, 128 / 255.0f, 1.0f, 128 / 255.0f), 4},
    {"SamplerWithoutWrapClampsToTheEdges",
     [](nShadingTest& t) { return Sampler(t, t.Constant(ShaderValueVec2, -0.25f, 1.5f), false); },
     nVector(0.0f, 192 / 255.0f, 1.0f, 128 / 255.0f), 4},
    {"SamplerWithoutTexture",
     [](nShadingTest& t) { return t.Op(ShaderBlockSampler2D, {t.Block(ShaderBlockTexture), t.Constant(ShaderValueVec2, 0.5f, 0.5f)}); },
     nVector(0, 0, 0, 1), 4},
    {"FloatConstant", [](nShadingTest& t) { return Float(t, 2.5f); }, nVector(2.5f, 0, 0, 0), 1},
    {"Vec4Constant", [](nShadingTest& t) { return Vec4(t, 1, 2, 3, 4); }, nVector(1, 2, 3, 4), 4},
    {"Color", [](nShadingTest& t) { nShaderBlock* b = t.Block(ShaderBlockColor); for (int i = 0; i < 4; ++i) b->values[i] = 0.25f * i; return b; },
     nVector(0, 0.25f, 0.5f, 0.75f), 4},
    {"MaterialDiffuse", [](nShadingTest& t) { return MaterialParam(t, ShaderParamDiffuse); }, nVector(0.1f, 0.2f, 0.3f, 0.4f), 4},
    {"MaterialSpecular", [](nShadingTest& t) { return MaterialParam(t, ShaderParamSpecular); }, nVector(0.5f, 0.6f, 0.7f, 0.8f), 4},
    {"MaterialSelfIllumination", [](nShadingTest& t) { return MaterialParam(t, ShaderParamEmissive); }, nVector(0.9f, 0.8f, 0.7f, 0.6f), 4},
    {"MaterialAmbient", [](nShadingTest& t) { return MaterialParam(t, ShaderParamAmbient); }, nVector(0.3f, 0.3f, 0.2f, 1.0f), 4},
    {"MaterialGlossiness", [](nShadingTest& t) { return MaterialParam(t, ShaderParamShininess); }, nVector(0.35f, 0, 0, 1), 1},
    {"MaterialOpacity", [](nShadingTest& t) { return MaterialParam(t, ShaderParamOpacity); }, nVector(0.6f, 0, 0, 1), 1},
    {"ViewVector", [](nShadingTest& t) { return t.Block(ShaderBlockViewVector); }, nVector(0, 0, 1, 1), 3},
    // The item is turned 90 degrees about Z: x goes to y.
    {"NormalMatrixRotatesAVector",
     [](nShadingTest& t) { return t.Op(ShaderBlockMul, {t.Block(ShaderBlockNormalMatrix), Vec3(t, 1, 0, 0)}); },
     nVector(0, 1, 0, 1), 3},
    {"VectorFirstTimesNormalMatrixIsTheTransposedProduct",
     [](nShadingTest& t) { return t.Op(ShaderBlockMul, {Vec3(t, 1, 0, 0), t.Block(ShaderBlockNormalMatrix)}); },
     nVector(0, -1, 0, 1), 3},
    // Looking along +Z from (0, 0, -5): the view basis is the identity.
    {"NormalViewMatrixWithAnAlignedView",
     [](nShadingTest& t) { return t.Op(ShaderBlockMul, {t.Block(ShaderBlockNormalViewMatrix), Vec3(t, 1, 0, 0)}); },
     nVector(0, 1, 0, 1), 3},
    {"ModelMatrixTakesTheObjectPointToTheWorld",
     [](nShadingTest& t) { return t.Op(ShaderBlockMul, {t.Block(ShaderBlockModelMatrix), t.Block(ShaderBlockVertex)}); },
     nVector(9.2f, 0.3f, 0.0f, 1.0f), 4},
    // v * M = transpose(M) v: the rotation's transpose, and w picks up the translation.
    {"VectorFirstTimesModelMatrixIsTheTransposedProduct",
     [](nShadingTest& t) { return t.Op(ShaderBlockMul, {t.Block(ShaderBlockVertex), t.Block(ShaderBlockModelMatrix)}); },
     nVector(0.8f, -0.3f, 0.0f, 4.0f), 4},
    {"ModelViewMatrixMovesTheEyeToTheOrigin",
     [](nShadingTest& t) { return t.Op(ShaderBlockMul, {t.Block(ShaderBlockModelViewMatrix), t.Block(ShaderBlockVertex)}); },
     nVector(9.2f, 0.3f, 5.0f, 1.0f), 4},
    {"MixWeighsTheFirstInputByTheFactor",
     [](nShadingTest& t) { return t.Op(ShaderBlockMix, {Vec3(t, 1, 2, 3), Vec3(t, 3, 2, 1), Float(t, 0.25f)}); },
     nVector(2.5f, 2.0f, 1.5f, 1.0f), 3},
    {"Add", [](nShadingTest& t) { return t.Op(ShaderBlockAdd, {Vec3(t, 1, 2, 3), Vec3(t, 4, 5, 6)}); }, nVector(5, 7, 9, 1), 3},
    {"Sub", [](nShadingTest& t) { return t.Op(ShaderBlockSub, {Vec3(t, 1, 2, 3), Vec3(t, 4, 6, 8)}); }, nVector(-3, -4, -5, 1), 3},
    {"MulOfVectors", [](nShadingTest& t) { return t.Op(ShaderBlockMul, {Vec3(t, 1, 2, 3), Vec3(t, 4, 5, 6)}); }, nVector(4, 10, 18, 1), 3},
    {"Div", [](nShadingTest& t) { return t.Op(ShaderBlockDiv, {Vec3(t, 1, 2, 3), Vec3(t, 2, 4, 0.5f)}); }, nVector(0.5f, 0.5f, 6, 1), 3},
    {"DivByZeroGivesZero", [](nShadingTest& t) { return t.Op(ShaderBlockDiv, {Vec3(t, 1, 2, 3), Vec3(t, 2, 0, 4)}); },
     nVector(0.5f, 0.0f, 0.75f, 1), 3},
    {"DotOfVec3", [](nShadingTest& t) { return t.Op(ShaderBlockDot, {Vec3(t, 1, 2, 3), Vec3(t, 4, 5, 6)}); }, nVector(32, 0, 0, 1), 1},
    {"DotOfVec4CountsW", [](nShadingTest& t) { return t.Op(ShaderBlockDot, {Vec4(t, 1, 0, 0, 0.5f), Vec4(t, 1, 0, 0, 0.5f)}); },
     nVector(1.25f, 0, 0, 1), 1},
    {"Cross", [](nShadingTest& t) { return t.Op(ShaderBlockCross, {Vec3(t, 1, 0, 0), Vec3(t, 0, 1, 0)}); }, nVector(0, 0, 1, 1), 3},
    {"ClampByVectors", [](nShadingTest& t) { return t.Op(ShaderBlockClamp, {Vec3(t, -1, 0.5f, 2), Vec3(t, 0, 0, 0), Vec3(t, 1, 0.25f, 1)}); },
     nVector(0, 0.25f, 1, 1), 3},
    {"ClampByFloats", [](nShadingTest& t) { return t.Op(ShaderBlockClamp, {Vec3(t, -1, 0.5f, 2), Float(t, 0), Float(t, 1)}); },
     nVector(0, 0.5f, 1, 1), 3},
    {"Normalize", [](nShadingTest& t) { return t.Op(ShaderBlockNormalize, {Vec3(t, 3, 4, 0)}); }, nVector(0.6f, 0.8f, 0, 1), 3},
    {"NormalizeOfZeroIsZero", [](nShadingTest& t) { return t.Op(ShaderBlockNormalize, {Vec3(t, 0, 0, 0)}); }, nVector(0, 0, 0, 1), 3},
    // The chosen components are packed, as GLSL's swizzle does.
    {"SwizzleOfOneComponent", [](nShadingTest& t) { return Swizzle(t, Vec3(t, 7, 8, 9), 0, 1, 0, 0); }, nVector(7, 0, 0, 1), 1},
    {"SwizzleReorders", [](nShadingTest& t) { return Swizzle(t, Vec4(t, 7, 8, 9, 6), 3, 0, 1, 4); }, nVector(9, 7, 6, 1), 3},
    {"SwizzleOfAFloatRepeatsIt", [](nShadingTest& t) { return Swizzle(t, Float(t, 5), 1, 1, 1, 0); }, nVector(5, 5, 5, 1), 3},
    {"Build",
     [](nShadingTest& t) {
         nShaderBlock* b = t.Block(ShaderBlockBuild);
         EXPECT_TRUE(b->SetInput(0, Vec3(t, 7, 8, 9)));
         EXPECT_TRUE(b->SetInput(3, Float(t, 4)));
         b->codes[0] = 3, b->codes[1] = 1, b->codes[2] = 0, b->codes[3] = 2;
         return b;
     },
     nVector(8, 1, 0, 4), 4},
    {"Sinus", [](nShadingTest& t) { return t.Op(ShaderBlockSinus, {Float(t, kHalfPi)}); }, nVector(1, 0, 0, 1), 1},
    {"Cosinus", [](nShadingTest& t) { return t.Op(ShaderBlockCosinus, {Float(t, 0)}); }, nVector(1, 0, 0, 1), 1},
    {"Pow", [](nShadingTest& t) { return t.Op(ShaderBlockPow, {Float(t, 2), Float(t, 3)}); }, nVector(8, 0, 0, 1), 1},
    {"Abs", [](nShadingTest& t) { return t.Op(ShaderBlockAbs, {Vec4(t, -1, 2, -3, -4)}); }, nVector(1, 2, 3, 1), 4},
    // Pack and unpack map all of x, y and z; a vec4 keeps its w.
    {"PackOfAZeroVec3", [](nShadingTest& t) { return t.Op(ShaderBlockPack, {Vec3(t, 0, 0, 0)}); }, nVector(0.5f, 0.5f, 0.5f, 1), 3},
    {"PackOfAVec4", [](nShadingTest& t) { return t.Op(ShaderBlockPack, {Vec4(t, 1, -1, 0, 0.25f)}); }, nVector(1, 0, 0.5f, 0.25f), 4},
    {"UnpackOfAVec3", [](nShadingTest& t) { return t.Op(ShaderBlockUnpack, {Vec3(t, 0.5f, 1, 0)}); }, nVector(0, 1, -1, 1), 3},
    {"UnpackOfAVec4", [](nShadingTest& t) { return t.Op(ShaderBlockUnpack, {Vec4(t, 0.75f, 0, 1, 0.5f)}); }, nVector(0.5f, -1, 1, 0.5f), 4},
};

INSTANTIATE_TEST_SUITE_P(Kinds, ShadingBlocks, ::testing::ValuesIn(kBlockCases),
                         [](const ::testing::TestParamInfo<BlockCase>& info) { return std::string(info.param.name); });

// Looking along +X from (0, 0, -5): the view's axes are right = -Z, up = Y, forward = X, and the
// model-view takes a point to (its offset from the eye) in those axes.
TEST_F(nShadingTest, ModelViewAndNormalViewMatricesOfATurnedView)
{
    nRaytracerShading shading(&engine);
    hit.view = nVector(1, 0, 0);
    ShaderValue point;
    ASSERT_TRUE(shading.EvaluateShaderBlock(hit, Op(ShaderBlockMul, {Block(ShaderBlockModelViewMatrix), Block(ShaderBlockVertex)}), point));
    ExpectVectorNear(point.vector, nVector(-5.0f, 0.3f, 9.2f, 1.0f));
    // The item turns x to y; the view keeps y as its up axis.
    ShaderValue direction;
    ASSERT_TRUE(shading.EvaluateShaderBlock(hit, Op(ShaderBlockMul, {Block(ShaderBlockNormalViewMatrix), Vec3(*this, 0, 0, 1)}), direction));
    ExpectVectorNear(direction.vector, nVector(-1, 0, 0, 1));
}

// Kinds that only exist on the GPU, and sources whose geometry lacks the attribute, leave the
// value as it was and still succeed.
TEST_F(nShadingTest, KindsWithoutACPUValueLeaveTheValueAlone)
{
    nRaytracerShading shading(&engine);
    const int32_t gpuOnly[] = {ShaderBlockSkinning, ShaderBlockTangentFrame, ShaderBlockRenderBuffer, ShaderBlockScreenUV,
                               ShaderBlockViewport};
    std::vector<nShaderBlock*> roots;
    for (int32_t kind : gpuOnly) roots.push_back(Block(kind));
    nShaderBlock* missingSet = Block(ShaderBlockUV);
    missingSet->index = 2;
    roots.push_back(missingSet);
    for (nShaderBlock* root : roots) {
        SCOPED_TRACE(root->GetKind());
        ShaderValue value;
        value.SetVector(nVector(7, 7, 7, 7), 4);
        EXPECT_TRUE(shading.EvaluateShaderBlock(hit, root, value));
        EXPECT_EQ(value.type, RaytraceValueVector);
        ExpectVectorNear(value.vector, nVector(7, 7, 7, 7));
    }
    ShaderValue untouched;
    EXPECT_TRUE(shading.EvaluateShaderBlock(hit, 0, untouched));
    EXPECT_EQ(untouched.type, RaytraceValueNone);

    // A geometry with no normals or colours.
    delete[] geometry->vertexNormals;
    geometry->vertexNormals = 0;
    delete[] geometry->colors;
    geometry->colors = 0;
    for (int32_t kind : {ShaderBlockNormal, ShaderBlockVertexColor}) {
        ShaderValue value;
        EXPECT_TRUE(shading.EvaluateShaderBlock(hit, Block(kind), value));
        EXPECT_EQ(value.type, RaytraceValueNone) << kind;
    }
}

// A hit naming a triangle past the polygon's fan reads no attribute instead of memory past it.
TEST_F(nShadingTest, AHitOutsideThePolygonsFanReadsNothing)
{
    nRaytracerShading shading(&engine);
    for (int32_t polygon : {0, 1, -1}) {
        for (int32_t offset : {2, -1}) {
            if (polygon == 0 && offset == 2) continue;
            hit.polygon = polygon;
            hit.offset = polygon == 0 ? offset : 0;
            ShaderValue value;
            EXPECT_TRUE(shading.EvaluateShaderBlock(hit, Block(ShaderBlockUV), value));
            EXPECT_EQ(value.type, RaytraceValueNone) << polygon << " " << offset;
        }
    }
}

// The texture block gives its texture; the clock block the engine's clock in seconds.
TEST_F(nShadingTest, TextureAndClockBlocks)
{
    nRaytracerShading shading(&engine);
    nShaderBlock* texture = Block(ShaderBlockTexture);
    texture->texture = MakeCoordinateTexture(&engine);
    ShaderValue value;
    EXPECT_TRUE(shading.EvaluateShaderBlock(hit, texture, value));
    EXPECT_EQ(value.type, RaytraceValueTexture);
    EXPECT_EQ(value.texture, texture->texture.Get());

    static uint32_t now = 1000;
    engine.SetClockSource([]() { return now; });
    engine.TickClock();  // starts the clock
    now = 26000;
    engine.TickClock();  // 25000 ticks later
    ShaderValue clock;
    EXPECT_TRUE(shading.EvaluateShaderBlock(hit, Block(ShaderBlockClock), clock));
    EXPECT_EQ(clock.size, 1);
    EXPECT_NEAR(clock.vector.x, 2.5f, 1e-6f);
}

// A chain of 257 blocks (the longest the graph lets one connect), or shared blocks that would be evaluated exponentially often, stop the
// evaluation with false instead of exhausting the stack or the time; the log says so once.
TEST_F(nShadingTest, GraphsTooLargeToEvaluateGiveFalseAndOneLogLine)
{
    nLogCapture capture;
    nRaytracerShading shading(&engine);
    nShaderBlock* deep = Vec3(*this, 3, 4, 0);
    for (int i = 0; i < 256; ++i) deep = Op(ShaderBlockNormalize, {deep});
    nShaderBlock* wide = Vec3(*this, 1, 1, 1);
    for (int i = 0; i < 20; ++i) wide = Op(ShaderBlockAdd, {wide, wide});
    nShaderBlock* fine = Vec3(*this, 3, 4, 0);
    for (int i = 0; i < 255; ++i) fine = Op(ShaderBlockNormalize, {fine});
    for (nShaderBlock* root : {deep, wide, deep}) {
        ShaderValue value;
        EXPECT_FALSE(shading.EvaluateShaderBlock(hit, root, value));
    }
    ShaderValue value;
    EXPECT_TRUE(shading.EvaluateShaderBlock(hit, fine, value));
    ExpectVectorNear(value.vector, nVector(0.6f, 0.8f, 0, 1));
    EXPECT_EQ(capture.Lines(), (std::vector<std::string>{
                                   "[!] Shader graph too large to evaluate on the CPU (deeper than 256 blocks or more than "
                                   "65536 evaluations).\n"}));
}

}
