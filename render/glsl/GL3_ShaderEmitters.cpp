#include "render/glsl/GL3_ShaderEmitters.h"

#include "core/nLog.h"
#include "render/glsl/GL3_ShaderGenerator.h"
#include "resources/nTrilist.h"

static_assert(kGLSLSkinMatrices >= (int32_t)kTrilistMaxBones, "the palette holds every bone of a triangle list");

namespace {

typedef GL3_ShaderGenerator Gen;
typedef GL3_ShaderBlock Rec;

const char* Name(const Rec* r) { return r->name.c_str(); }
const char* TypeName(uint32_t type) { return GetShaderValueTypeName(type); }
bool IsScalarOrVector(uint32_t type) { return (type & 0x3c) != 0; }

bool Fail(const char* message)
{
    *g_log << "[!] " << message;
    return false;
}

// "<text><type bit>).\n" as one error line.
bool FailType(const char* text, uint32_t type)
{
    *g_log << "[!] " << text << (int32_t)type << ").\n";
    return false;
}

// The records of the block's inputs, emitted in slot order; NULL for an unconnected input or one
// whose emission failed.
struct Inputs
{
    Rec* in[nShaderBlock::kMaxInputs] = {0, 0, 0, 0};

    Inputs(Gen& g, const Rec& r)
    {
        for (unsigned i = 0; i < r.block->GetInputCount(); ++i)
            in[i] = g.Emit(r.block->GetInput(i), 0);
    }
    bool Have(unsigned count) const
    {
        for (unsigned i = 0; i < count; ++i)
            if (!in[i])
                return false;
        return true;
    }
};

// ---- sources

bool EmitVarying(Gen& g, Rec& r, const char* type, uint32_t bit, const char* source)
{
    g.NewVariableName(&r, GetShaderEmitter(r.block->GetKind())->base);
    GL3_Append(g.vertexDeclarations, "varying %s %s;\n", type, Name(&r));
    GL3_Append(g.vertexBody, "%s = %s;\n", Name(&r), source);
    GL3_Append(g.fragmentDeclarations, "varying %s %s;\n", type, Name(&r));
    r.type = bit;
    return true;
}

bool EmitVertex(Gen& g, Rec& r) { return EmitVarying(g, r, "vec4", ShaderValueVec4, "gl_Vertex"); }
bool EmitVertexColor(Gen& g, Rec& r) { return EmitVarying(g, r, "vec4", ShaderValueVec4, "gl_Color"); }

bool EmitNormal(Gen& g, Rec& r)
{
    g.NewVariableName(&r, "tmp_normal");
    const std::string t = r.name;
    g.NewVariableName(&r, "normal");
    GL3_Append(g.vertexDeclarations, "varying vec3 %s;\n", t.c_str());
    GL3_Append(g.vertexBody, "%s = /*gl_NormalMatrix **/ gl_Normal;\n", t.c_str());
    GL3_Append(g.fragmentDeclarations, "varying vec3 %s;\n", t.c_str());
    GL3_Append(g.fragmentBody, "vec3 %s = normalize(%s);\n", Name(&r), t.c_str());
    r.type = ShaderValueVec3;
    return true;
}

bool EmitUV(Gen& g, Rec& r)
{
    g.NewVariableName(&r, "uv");
    GL3_Append(g.vertexDeclarations, "varying vec2 %s;\n", Name(&r));
    GL3_Append(g.vertexBody, "%s = vec2(gl_MultiTexCoord%d);\n", Name(&r), (int)r.block->index);
    GL3_Append(g.fragmentDeclarations, "varying vec2 %s;\n", Name(&r));
    r.type = ShaderValueVec2;
    return true;
}

// The weights are divided by their sum, kept away from zero: a vertex whose weights are all zero
// gets a zero matrix instead of a division by zero.
bool EmitSkinning(Gen& g, Rec& r)
{
    g.NewVariableName(&r, "skin_mtx");
    GL3_Append(g.vertexDeclarations, "uniform mat4 skin_mtx[%d];\nattribute vec4 skin_id, skin_w;\nvarying mat4 %s;\n",
               (int)kGLSLSkinMatrices, Name(&r));
    GL3_Append(g.vertexBody,
               "%s = (skin_mtx[int(skin_id.x)] * skin_w.x + skin_mtx[int(skin_id.y)] * skin_w.y + "
               "skin_mtx[int(skin_id.z)] * skin_w.z + skin_mtx[int(skin_id.w)] * skin_w.w) / "
               "max(skin_w.x + skin_w.y + skin_w.z + skin_w.w, 1e-6);\n",
               Name(&r));
    GL3_Append(g.fragmentDeclarations, "varying mat4 %s;\n", Name(&r));
    r.type = ShaderValueMat4;
    return true;
}

bool EmitTangentFrame(Gen& g, Rec& r)
{
    Rec* normal = g.Emit(g.normalStream.get(), 0);
    if (!normal)
        return false;
    g.NewVariableName(&r, "tangent_frame");
    g.vertexDeclarations += "attribute vec3 attribute_tangent, attribute_bitangent;\nvarying vec3 _T, _B;\n";
    g.vertexBody += "_T = /*gl_NormalMatrix **/ attribute_tangent;\n_B = /*gl_NormalMatrix **/ attribute_bitangent;\n";
    g.fragmentDeclarations += "varying vec3 _T, _B;\n";
    GL3_Append(g.fragmentBody, "mat3 %s = mat3(normalize(_T), normalize(_B), %s);\n", Name(&r), Name(normal));
    r.type = ShaderValueMat3;
    return true;
}

// A declaration in the fragment program: "uniform <type> N;" and the like.
bool EmitDeclared(Gen& g, Rec& r, const char* format, uint32_t type)
{
    g.NewVariableName(&r, GetShaderEmitter(r.block->GetKind())->base);
    GL3_Append(g.fragmentDeclarations, format, Name(&r));
    r.type = type;
    return true;
}

bool EmitRenderBuffer(Gen& g, Rec& r) { return EmitDeclared(g, r, "uniform sampler2D %s;\n", ShaderValueTexture); }
bool EmitTexture(Gen& g, Rec& r) { return EmitDeclared(g, r, "uniform sampler2D %s;\n", ShaderValueTexture); }
bool EmitColor(Gen& g, Rec& r) { return EmitDeclared(g, r, "uniform vec4 %s;\n", ShaderValueVec4); }
bool EmitViewVector(Gen& g, Rec& r) { return EmitDeclared(g, r, "uniform vec3 %s;\n", ShaderValueVec3); }
bool EmitViewport(Gen& g, Rec& r) { return EmitDeclared(g, r, "uniform vec4 %s;\n", ShaderValueVec4); }
bool EmitMat3Uniform(Gen& g, Rec& r) { return EmitDeclared(g, r, "uniform mat3 %s;\n", ShaderValueMat3); }
bool EmitMat4Uniform(Gen& g, Rec& r) { return EmitDeclared(g, r, "uniform mat4 %s;\n", ShaderValueMat4); }
bool EmitClock(Gen& g, Rec& r) { return EmitDeclared(g, r, "uniform float %s;\n", ShaderValueFloat); }

// A variable of the fragment program's declarations initialised from built-in inputs.
bool EmitComputed(Gen& g, Rec& r, const char* format, uint32_t type)
{
    g.NewVariableName(&r, GetShaderEmitter(r.block->GetKind())->base);
    GL3_Append(g.fragmentDeclarations, format, Name(&r));
    r.type = type;
    return true;
}

bool EmitScreenUV(Gen& g, Rec& r)
{
    return EmitComputed(g, r, "vec2 %s = vec2(gl_FragCoord.x, gl_FragCoord.y);\n", ShaderValueVec2);
}

bool EmitConstant(Gen& g, Rec& r)
{
    g.NewVariableName(&r, "const");
    const uint32_t type = r.block->constantType;
    if (IsScalarOrVector(type))
        GL3_Append(g.fragmentDeclarations, "uniform %s %s;\n", TypeName(type), Name(&r));
    r.type = type;
    return true;
}

bool EmitMaterialParam(Gen& g, Rec& r)
{
    switch (r.block->index) {
        case ShaderParamDiffuse: return EmitComputed(g, r, "vec4 %s = gl_FrontMaterial.diffuse;\n", ShaderValueVec4);
        case ShaderParamSpecular: return EmitComputed(g, r, "vec4 %s = gl_FrontMaterial.specular;\n", ShaderValueVec4);
        case ShaderParamEmissive: return EmitComputed(g, r, "vec4 %s = gl_FrontMaterial.emission;\n", ShaderValueVec4);
        case ShaderParamAmbient: return EmitComputed(g, r, "vec4 %s = gl_FrontMaterial.ambient;\n", ShaderValueVec4);
        case ShaderParamShininess:
            return EmitComputed(g, r, "float %s = gl_FrontMaterial.shininess / 256.0;\n", ShaderValueFloat);
        case ShaderParamOpacity: return EmitDeclared(g, r, "uniform float %s;\n", ShaderValueFloat);
        default:
            g.NewVariableName(&r, "mat_param");
            return true;
    }
}

// ---- operators

bool EmitSampler(Gen& g, Rec& r)
{
    Inputs in(g, r);
    if (!in.Have(2) || in.in[0]->type != ShaderValueTexture || in.in[1]->type != ShaderValueVec2)
        return Fail("Invalid input to the sampler2D block.\n");
    g.NewVariableName(&r, "color");
    GL3_Append(g.fragmentBody, "vec4 %s = texture2D(%s, %s);\n", Name(&r), Name(in.in[0]), Name(in.in[1]));
    r.type = ShaderValueVec4;
    return true;
}

// The checks of Mix, Add, Sub and Div on inputs A and B.
bool CheckSameVectors(const Rec* a, const Rec* b, const char* mismatch, const char* badType)
{
    if (a->type != b->type)
        return Fail(mismatch);
    if (a->type == ShaderValueInvalid)
        return Fail("Block has no output.\n");
    if (!IsScalarOrVector(a->type))
        return FailType(badType, a->type);
    return true;
}

bool EmitMix(Gen& g, Rec& r)
{
    Inputs in(g, r);
    if (!in.Have(3))
        return false;
    if (!CheckSameVectors(in.in[0], in.in[1], "Cannot mix blocks, output do not match.\n",
                          "Cannot mix blocks, incorrect type ("))
        return false;
    if (in.in[2]->type != ShaderValueFloat)
        return Fail("Cannot mix blocks, the factor is not a float.\n");
    g.NewVariableName(&r, "mix");
    r.type = in.in[0]->type;
    GL3_Append(g.fragmentBody, "%s %s = mix(%s, %s, %s);\n", TypeName(r.type), Name(&r), Name(in.in[1]), Name(in.in[0]),
               Name(in.in[2]));
    return true;
}

bool EmitArithmetic(Gen& g, Rec& r, const char* base, const char* op, const char* mismatch, const char* badType)
{
    Inputs in(g, r);
    if (!in.Have(2) || !CheckSameVectors(in.in[0], in.in[1], mismatch, badType))
        return false;
    g.NewVariableName(&r, base);
    r.type = in.in[0]->type;
    GL3_Append(g.fragmentBody, "%s %s = %s %s %s;\n", TypeName(r.type), Name(&r), Name(in.in[0]), op, Name(in.in[1]));
    return true;
}

bool EmitAdd(Gen& g, Rec& r)
{
    return EmitArithmetic(g, r, "add", "+", "Cannot add blocks, output do not match.\n", "Cannot add blocks (");
}
bool EmitSub(Gen& g, Rec& r)
{
    return EmitArithmetic(g, r, "sub", "-", "Cannot subtract blocks, output do not match.\n", "Cannot subtract blocks (");
}
bool EmitDiv(Gen& g, Rec& r)
{
    return EmitArithmetic(g, r, "div", "/", "Cannot divide blocks, output do not match.\n", "Cannot divide blocks (");
}

// Equal vector types, or a vector with the matrix of its size in either order; the product of two
// matrices has no type of the graph and is refused as a mismatch.
bool EmitMul(Gen& g, Rec& r)
{
    Inputs in(g, r);
    if (!in.Have(2))
        return false;
    const uint32_t a = in.in[0]->type, b = in.in[1]->type;
    if (a == b && a == ShaderValueInvalid)
        return Fail("Block has no output.\n");
    if (a == b && a == ShaderValueTexture)
        return Fail("Cannot multiply textures.\n");
    const bool vectors = a == b && IsScalarOrVector(a);
    const bool mat3 = (a | b) == (ShaderValueMat3 | ShaderValueVec3);
    const bool mat4 = (a | b) == (ShaderValueMat4 | ShaderValueVec4);
    if (!vectors && !mat3 && !mat4)
        return Fail("Cannot multiply blocks, output do not match.\n");
    g.NewVariableName(&r, "mul");
    r.type = a < b ? a : b;
    GL3_Append(g.fragmentBody, "%s %s = %s * %s;\n", TypeName(r.type), Name(&r), Name(in.in[0]), Name(in.in[1]));
    return true;
}

bool EmitDot(Gen& g, Rec& r)
{
    Inputs in(g, r);
    if (!in.Have(2))
        return false;
    if (in.in[0]->type != in.in[1]->type || !IsScalarOrVector(in.in[0]->type))
        return Fail("Cannot compute dot operator, output do not match.\n");
    g.NewVariableName(&r, "dot");
    GL3_Append(g.fragmentBody, "float %s = dot(%s, %s);\n", Name(&r), Name(in.in[0]), Name(in.in[1]));
    r.type = ShaderValueFloat;
    return true;
}

// Both inputs must be vec3 in GLSL: a Vertex Color block is vec3 in the graph but vec4 here.
bool EmitCross(Gen& g, Rec& r)
{
    Inputs in(g, r);
    if (!in.Have(2))
        return false;
    if (in.in[0]->type != ShaderValueVec3 || in.in[1]->type != ShaderValueVec3)
        return Fail("Cannot only compute cross product on Vector3.\n");
    g.NewVariableName(&r, "cross");
    GL3_Append(g.fragmentBody, "vec3 %s = cross(%s, %s);\n", Name(&r), Name(in.in[0]), Name(in.in[1]));
    r.type = ShaderValueVec3;
    return true;
}

bool EmitClamp(Gen& g, Rec& r)
{
    Inputs in(g, r);
    if (!in.Have(3))
        return false;
    const uint32_t v = in.in[0]->type, lo = in.in[1]->type, hi = in.in[2]->type;
    if (!IsScalarOrVector(v) || !(lo == hi && (lo == v || lo == ShaderValueFloat)))
        return Fail(".\n");
    g.NewVariableName(&r, "clamp");
    r.type = v;
    GL3_Append(g.fragmentBody, "%s %s = clamp(%s, %s, %s);\n", TypeName(v), Name(&r), Name(in.in[0]), Name(in.in[1]),
               Name(in.in[2]));
    return true;
}

bool EmitNormalize(Gen& g, Rec& r)
{
    Inputs in(g, r);
    if (!in.Have(1))
        return false;
    if (!IsScalarOrVector(in.in[0]->type))
        return Fail("Incompatible value type.\n");
    g.NewVariableName(&r, "normalized");
    r.type = in.in[0]->type;
    GL3_Append(g.fragmentBody, "%s %s = normalize(%s);\n", TypeName(r.type), Name(&r), Name(in.in[0]));
    return true;
}

bool EmitSwizzle(Gen& g, Rec& r)
{
    Inputs in(g, r);
    if (!in.Have(1))
        return false;
    const uint32_t result = r.block->GetOutputType();
    if (result == ShaderValueInvalid)
        return Fail("Invalid swizzle, no output.\n");
    const Rec* input = in.in[0];
    const int32_t* codes = r.block->codes;
    g.NewVariableName(&r, "swizzle");
    std::string text;
    if (input->type == ShaderValueFloat) {
        GL3_Append(text, "%s %s = %s(", TypeName(result), Name(&r), TypeName(result));
        for (int i = 0; i < 4 && codes[i] != 0; ++i) {
            if (codes[i] != 1)
                return Fail("Impossible swizzle.\n");
            GL3_Append(text, (i == 3 || codes[i + 1] == 0) ? "%s)" : "%s,", Name(input));
        }
    } else {
        const int32_t limit = input->type == ShaderValueVec2 ? 2 : input->type == ShaderValueVec3 ? 3
                                                               : input->type == ShaderValueVec4   ? 4
                                                                                                  : 0;
        GL3_Append(text, "%s %s = %s.", TypeName(result), Name(&r), Name(input));
        for (int i = 0; i < 4; ++i) {
            if (codes[i] == 0)
                continue;
            if (codes[i] < 0 || codes[i] > limit)
                return Fail("Invalid component to swizzle.\n");
            text += "xyzw"[codes[i] - 1];
        }
    }
    text += ";\n";
    g.fragmentBody += text;
    r.type = result;
    return true;
}

bool EmitBuild(Gen& g, Rec& r)
{
    Inputs in(g, r);
    std::string parts[4];
    int count = 0;
    for (int slot = 0; slot < 4; ++slot) {
        const int32_t mode = r.block->codes[slot];
        if (mode == 0 || mode == 1) {
            parts[count++] = mode == 0 ? "0.0" : "1.0";
        } else if (mode >= 2 && mode <= 5) {
            const Rec* input = in.in[slot];
            if (!input)
                break;
            parts[count] = input->name;
            if (input->type != ShaderValueFloat) {
                parts[count] += '.';
                parts[count] += "xyzw"[mode - 2];
            }
            ++count;
        }
    }
    g.NewVariableName(&r, "built");
    static const char* const kFormats[5] = {0, "float %s = %s;\n", "vec2 %s = vec2(%s, %s);\n",
                                            "vec3 %s = vec3(%s, %s, %s);\n", "vec4 %s = vec4(%s, %s, %s, %s);\n"};
    static const uint32_t kTypes[5] = {ShaderValueInvalid, ShaderValueFloat, ShaderValueVec2, ShaderValueVec3, ShaderValueVec4};
    if (count == 0)
        return true;
    GL3_Append(g.fragmentBody, kFormats[count], Name(&r), parts[0].c_str(), parts[1].c_str(), parts[2].c_str(),
               parts[3].c_str());
    r.type = kTypes[count];
    return true;
}

bool EmitFloatFunction(Gen& g, Rec& r, const char* base, const char* function)
{
    Inputs in(g, r);
    if (!in.Have(1))
        return false;
    if (in.in[0]->type != ShaderValueFloat)
        return Fail("Incompatible source type.\n");
    g.NewVariableName(&r, base);
    GL3_Append(g.fragmentBody, "float %s = %s(%s);\n", Name(&r), function, Name(in.in[0]));
    r.type = ShaderValueFloat;
    return true;
}

bool EmitSinus(Gen& g, Rec& r) { return EmitFloatFunction(g, r, "sin", "sin"); }
bool EmitCosinus(Gen& g, Rec& r) { return EmitFloatFunction(g, r, "cos", "cos"); }

bool EmitPow(Gen& g, Rec& r)
{
    Inputs in(g, r);
    if (!in.Have(2))
        return false;
    if (in.in[0]->type != ShaderValueFloat)
        return Fail("Incompatible value type.\n");
    if (in.in[1]->type != ShaderValueFloat)
        return Fail("Incompatible power type.\n");
    g.NewVariableName(&r, "pow");
    GL3_Append(g.fragmentBody, "float %s = pow(%s, %s);\n", Name(&r), Name(in.in[0]), Name(in.in[1]));
    r.type = ShaderValueFloat;
    return true;
}

bool EmitAbs(Gen& g, Rec& r)
{
    Inputs in(g, r);
    if (!in.Have(1))
        return false;
    const uint32_t type = in.in[0]->type;
    if (!IsScalarOrVector(type))
        return Fail("Incompatible value type.\n");
    g.NewVariableName(&r, "abs");
    if (type == ShaderValueVec4)
        GL3_Append(g.fragmentBody, "vec4 %s = vec4(abs(%s.xyz), 1.0);\n", Name(&r), Name(in.in[0]));
    else
        GL3_Append(g.fragmentBody, "%s %s = abs(%s);\n", TypeName(type), Name(&r), Name(in.in[0]));
    r.type = type;
    return true;
}

bool EmitRange(Gen& g, Rec& r, const char* base, const char* vec3, const char* vec4, const char* error)
{
    Inputs in(g, r);
    if (!in.Have(1))
        return false;
    g.NewVariableName(&r, base);
    const uint32_t type = in.in[0]->type;
    if (type != ShaderValueVec3 && type != ShaderValueVec4)
        return Fail(error);
    GL3_Append(g.fragmentBody, type == ShaderValueVec3 ? vec3 : vec4, Name(&r), Name(in.in[0]));
    r.type = type;
    return true;
}

bool EmitUnpack(Gen& g, Rec& r)
{
    return EmitRange(g, r, "unpacked_vector", "vec3 %s = (%s - vec3(0.5, 0.5, 0.5)) * vec3(2.0, 2.0, 2.0);\n",
                     "vec4 %s = (%s - vec4(0.5, 0.5, 0.5, 0.0)) * vec4(2.0, 2.0, 2.0, 1.0);\n",
                     "Invalid input to unpack to vector.\n");
}

bool EmitPack(Gen& g, Rec& r)
{
    return EmitRange(g, r, "packed_vector", "vec3 %s = (%s + vec3(1.0, 1.0, 1.0)) * vec3(0.5, 0.5, 0.5);\n",
                     "vec4 %s = (%s + vec4(1.0, 1.0, 1.0, 0.0)) * vec4(0.5, 0.5, 0.5, 1.0);\n",
                     "Invalid input to pack to vector.\n");
}

// One row per kind, indexed by kind.
const GL3_EmitterRow kEmitters[ShaderBlockKindCount] = {
    {ShaderBlockNone, "", 0},
    {ShaderBlockVertex, "vertex", EmitVertex},
    {ShaderBlockNormal, "normal", EmitNormal},
    {ShaderBlockUV, "uv", EmitUV},
    {ShaderBlockSkinning, "skin_mtx", EmitSkinning},
    {ShaderBlockVertexColor, "vertex_color", EmitVertexColor},
    {ShaderBlockTangentFrame, "tangent_frame", EmitTangentFrame},
    {ShaderBlockRenderBuffer, "render_buffer", EmitRenderBuffer},
    {ShaderBlockTexture, "sampler2D", EmitTexture},
    {ShaderBlockSampler2D, "color", EmitSampler},
    {ShaderBlockConstant, "const", EmitConstant},
    {ShaderBlockColor, "color", EmitColor},
    {ShaderBlockMaterialParam, "mat_param", EmitMaterialParam},
    {ShaderBlockScreenUV, "screen_uv", EmitScreenUV},
    {ShaderBlockViewVector, "view_vector", EmitViewVector},
    {ShaderBlockViewport, "viewport", EmitViewport},
    {ShaderBlockNormalViewMatrix, "normal_view_matrix", EmitMat3Uniform},
    {ShaderBlockNormalMatrix, "normal_matrix", EmitMat3Uniform},
    {ShaderBlockModelViewMatrix, "model_view_matrix", EmitMat4Uniform},
    {ShaderBlockModelMatrix, "model_matrix", EmitMat4Uniform},
    {ShaderBlockMix, "mix", EmitMix},
    {ShaderBlockAdd, "add", EmitAdd},
    {ShaderBlockMul, "mul", EmitMul},
    {ShaderBlockSub, "sub", EmitSub},
    {ShaderBlockDiv, "div", EmitDiv},
    {ShaderBlockDot, "dot", EmitDot},
    {ShaderBlockCross, "cross", EmitCross},
    {ShaderBlockClamp, "clamp", EmitClamp},
    {ShaderBlockNormalize, "normalized", EmitNormalize},
    {ShaderBlockSwizzle, "swizzle", EmitSwizzle},
    {ShaderBlockBuild, "built", EmitBuild},
    {ShaderBlockSinus, "sin", EmitSinus},
    {ShaderBlockCosinus, "cos", EmitCosinus},
    {ShaderBlockPow, "pow", EmitPow},
    {ShaderBlockAbs, "abs", EmitAbs},
    {ShaderBlockUnpack, "unpacked_vector", EmitUnpack},
    {ShaderBlockPack, "packed_vector", EmitPack},
    {ShaderBlockClock, "clock", EmitClock},
};

}

const GL3_EmitterRow* GetShaderEmitter(int32_t kind)
{
    return (kind > ShaderBlockNone && kind < ShaderBlockKindCount) ? &kEmitters[kind] : 0;
}
