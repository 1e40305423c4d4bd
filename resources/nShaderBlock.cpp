#include "resources/nShaderBlock.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "core/nLog.h"

namespace {

// How a kind computes its output type.
enum OutputRule
{
    RuleNone,           // kind 0: no block
    RuleFixed,          // the row's fixed type
    RuleConstant,       // the stored constant type
    RuleMaterialParam,  // float for shininess and opacity, vec4 otherwise
    RuleSampler,        // vec4 when both inputs are connected
    RuleSameAB,         // Add, Sub, Div: both inputs of one type
    RuleMul,
    RuleMix,
    RuleDot,
    RuleCross,
    RuleClamp,
    RuleInput,  // Normalize, Abs, Unpack, Pack: the input's type
    RuleSwizzle,
    RuleBuild
};

// How a kind's prefix takes its parameters.
enum PrefixRule
{
    PrefixPlain,
    PrefixUVSet,
    PrefixWraps,
    PrefixConstant,
    PrefixParam,
    PrefixCodes
};

struct KindRow
{
    const char* saveName;
    const char* displayName;
    const char* prefix;  // a printf format for the parameterised prefixes
    PrefixRule prefixRule;
    ShaderBlockSlotInfo output;
    OutputRule rule;
    uint32_t fixedType;
    unsigned inputCount;
    const ShaderBlockSlotInfo* inputs;
};

const uint32_t kScalarOrVector = 0x3c;
const uint32_t kAnyNumber = 0xfc;

const ShaderBlockSlotInfo kSamplerInputs[] = {
    {"Texture", "Texture input.", ShaderValueTexture},
    {"UV Stream", "UV stream input.", ShaderValueVec2}};
const ShaderBlockSlotInfo kMixInputs[] = {
    {"Input A", "Source input A.", kScalarOrVector},
    {"Input B", "Source input B.", kScalarOrVector},
    {"Input K", "Source input K.", ShaderValueFloat}};
const ShaderBlockSlotInfo kPairInputs[] = {
    {"Input A", "Source input A.", kScalarOrVector},
    {"Input B", "Source input B.", kScalarOrVector}};
const ShaderBlockSlotInfo kMulInputs[] = {
    {"Input A", "Source input A.", kAnyNumber},
    {"Input B", "Source input B.", kAnyNumber}};
const ShaderBlockSlotInfo kCrossInputs[] = {
    {"Input A", "Source input A.", ShaderValueVec3},
    {"Input B", "Source input B.", ShaderValueVec3}};
const ShaderBlockSlotInfo kClampInputs[] = {
    {"Input", "Source to clamp.", kScalarOrVector},
    {"Min", "Minimum value.", kScalarOrVector},
    {"Max", "Maximum value.", kScalarOrVector}};
const ShaderBlockSlotInfo kNormalizeInputs[] = {{"Input", "Source input.", 0x38}};
const ShaderBlockSlotInfo kSwizzleInputs[] = {{"Input", "Source input to extract components from.", kScalarOrVector}};
const ShaderBlockSlotInfo kBuildInputs[] = {
    {"Input X", "Source component of the built vector.", kScalarOrVector},
    {"Input Y", "Source component of the built vector.", kScalarOrVector},
    {"Input Z", "Source component of the built vector.", kScalarOrVector},
    {"Input W", "Source component of the built vector.", kScalarOrVector}};
const ShaderBlockSlotInfo kAngleInputs[] = {{"Input", "Input value in radian.", ShaderValueFloat}};
const ShaderBlockSlotInfo kPowInputs[] = {
    {"Value", "Input value.", ShaderValueFloat},
    {"Power", "Power to raise value to.", ShaderValueFloat}};
const ShaderBlockSlotInfo kAbsInputs[] = {{"Value", "Input value.", kScalarOrVector}};
const ShaderBlockSlotInfo kUnpackInputs[] = {{"Input", "Vector in the [0;1] range.", 0x30}};
const ShaderBlockSlotInfo kPackInputs[] = {{"Input", "Vector in the [-1;1] range.", 0x30}};

#define QZ_INPUTS(table) sizeof(table) / sizeof(table[0]), table

// One row per kind, indexed by kind.
const KindRow kKinds[ShaderBlockKindCount] = {
    {"None", "", "", PrefixPlain, {"", "", 1}, RuleNone, ShaderValueInvalid, 0, 0},
    {"Invalid", "Vertex Stream", "Vertex_", PrefixPlain, {"Vertex", "Vertex stream.", 1}, RuleFixed, ShaderValueVec4, 0, 0},
    {"Geometry Normal", "Normal Stream", "Nrm_", PrefixPlain, {"Normal", "Normal stream.", 1}, RuleFixed, ShaderValueVec3, 0, 0},
    {"Geometry UV", "UV Stream", "UV%d_", PrefixUVSet, {"UV", "UV stream.", 1}, RuleFixed, ShaderValueVec2, 0, 0},
    {"Geometry Skinning", "Skinning Matrix", "SkinMtx_", PrefixPlain, {"Skinned", "Skinned vector.", 1}, RuleFixed, ShaderValueMat4, 0, 0},
    {"Geometry RGB", "Vertex Color Stream", "VtxClr_", PrefixPlain, {"Color", "Vertex color stream.", 1}, RuleFixed, ShaderValueVec3, 0, 0},
    {"Geometry Tangent Frame", "Tangent Frame", "TngFrm_", PrefixPlain, {"Tangent", "Tangent frame.", 1}, RuleFixed, ShaderValueMat3, 0, 0},
    {"Render Buffer", "Render Buffer", "RenderBuf_", PrefixPlain, {"Buffer", "Texture object.", 1}, RuleFixed, ShaderValueTexture, 0, 0},
    {"Texture", "Texture", "Tex_", PrefixPlain, {"Texture", "Texture object.", 1}, RuleFixed, ShaderValueTexture, 0, 0},
    {"Sampler 2D", "Sampler 2D", "Spl2d%s%s_", PrefixWraps, {"Texel", "Texture sample.", 1}, RuleSampler, 0, QZ_INPUTS(kSamplerInputs)},
    {"Constant", "Constant", "", PrefixConstant, {"Constant", "Constant value.", 1}, RuleConstant, 0, 0, 0},
    {"Color", "Color", "Color_", PrefixPlain, {"Color", "RGBA Color.", 1}, RuleFixed, ShaderValueVec4, 0, 0},
    {"Material Parameter", "Material Parameter", "MatParm%d_", PrefixParam, {"Parameter", "Material parameter.", 1}, RuleMaterialParam, 0, 0, 0},
    {"Screen UV", "Screen UV", "ScnUV_", PrefixPlain, {"Screen UV", "Screen position.", 1}, RuleFixed, ShaderValueVec2, 0, 0},
    {"View Vector", "View Vector", "ViewV_", PrefixPlain, {"World View", "View vector in world space.", 1}, RuleFixed, ShaderValueVec3, 0, 0},
    {"Viewport", "Viewport", "Viewport_", PrefixPlain, {"Viewport", "Viewport origin and dimension in 2d.", 1}, RuleFixed, ShaderValueVec4, 0, 0},
    {"Normal View Matrix", "Normal View Matrix", "NormalViewMatrix_", PrefixPlain, {"Normal View Matrix", "Normal view matrix.", 1}, RuleFixed, ShaderValueMat3, 0, 0},
    {"Normal Matrix ", "Normal Matrix ", "NormalMatrix_", PrefixPlain, {"Normal Matrix", "Normal matrix.", 1}, RuleFixed, ShaderValueMat3, 0, 0},
    {"Model View Matrix", "Model View Matrix ", "ModelViewMatrix_", PrefixPlain, {"Model View Matrix", "Model view matrix.", 1}, RuleFixed, ShaderValueMat4, 0, 0},
    {"Model Matrix", "Model Matrix", "ModelMatrix_", PrefixPlain, {"Model Matrix", "Model matrix.", 1}, RuleFixed, ShaderValueMat4, 0, 0},
    {"Mix", "Mix", "Mix_", PrefixPlain, {"A*K+B*(1-K)", "Input A * Input K + Input B * (1.0 - Input K).", 1}, RuleMix, 0, QZ_INPUTS(kMixInputs)},
    {"Add", "Add", "Add_", PrefixPlain, {"A+B", "Input A + Input B.", 1}, RuleSameAB, 0, QZ_INPUTS(kPairInputs)},
    {"Multiply", "Mul", "Mul_", PrefixPlain, {"A*B", "Input A * Input B.", 1}, RuleMul, 0, QZ_INPUTS(kMulInputs)},
    {"Subtract", "Sub", "Sub_", PrefixPlain, {"A-B", "Input A - Input B.", 1}, RuleSameAB, 0, QZ_INPUTS(kPairInputs)},
    {"Divide", "Div", "Div_", PrefixPlain, {"A/B", "Input A / Input B.", 1}, RuleSameAB, 0, QZ_INPUTS(kPairInputs)},
    {"Dot", "Dot", "Dot_", PrefixPlain, {"A.Dot(B)", "The cosinus of the angle between A and B.", 1}, RuleDot, 0, QZ_INPUTS(kPairInputs)},
    {"Cross", "Cross", "Crs_", PrefixPlain, {"A.Cross(B)", "A vector perpendicular to both A and B.", 1}, RuleCross, 0, QZ_INPUTS(kCrossInputs)},
    {"Clamp", "Clamp", "Clmp_", PrefixPlain, {"Clamped", "Clamped input.", 1}, RuleClamp, 0, QZ_INPUTS(kClampInputs)},
    {"Normalize", "Normalize", "Nrmz_", PrefixPlain, {"Normalized", "Normalized input.", 1}, RuleInput, 0, QZ_INPUTS(kNormalizeInputs)},
    {"Swizzle", "Swizzle", "Swz%d%d%d%d_", PrefixCodes, {"Swizzled", "Swizzled input.", 1}, RuleSwizzle, 0, QZ_INPUTS(kSwizzleInputs)},
    {"Build", "Build", "Bld%d%d%d%d_", PrefixCodes, {"Built", "Built vector.", 1}, RuleBuild, 0, QZ_INPUTS(kBuildInputs)},
    {"Sinus", "Sinus", "Sin_", PrefixPlain, {"Sinus", "Sinus of input.", 1}, RuleFixed, ShaderValueFloat, QZ_INPUTS(kAngleInputs)},
    {"Cosinus", "Cosinus", "Cos_", PrefixPlain, {"Cosinus", "Cosinus of input.", 1}, RuleFixed, ShaderValueFloat, QZ_INPUTS(kAngleInputs)},
    {"Pow", "Pow", "Pow_", PrefixPlain, {"Pow", "Value raised to power.", 1}, RuleFixed, ShaderValueFloat, QZ_INPUTS(kPowInputs)},
    {"Abs", "Abs", "Abs_", PrefixPlain, {"Abs", "Absolute value of input.", 1}, RuleInput, 0, QZ_INPUTS(kAbsInputs)},
    {"Unpack color to vector", "Unpack Color", "CToV_", PrefixPlain, {"Unpacked [-1;1]", "Vector in the [-1;1] range.", 1}, RuleInput, 0, QZ_INPUTS(kUnpackInputs)},
    {"Pack vector to color", "Pack Vector", "VToC_", PrefixPlain, {"Packed [0;1]", "Vector in the [0;1] range.", 1}, RuleInput, 0, QZ_INPUTS(kPackInputs)},
    {"Clock", "Clock", "Clk_", PrefixPlain, {"Clock (s)", "System clock in second.", 1}, RuleFixed, ShaderValueFloat, 0, 0},
};

#undef QZ_INPUTS

// Output types are computed from the inputs at every call. Graphs share blocks, so a type is
// remembered for the length of one outer call (a chain of blocks whose inputs are one shared block
// would otherwise cost two to the power of its length), and the walk gives up past kMaxDepth
// levels, reading the type there as invalid, so that no graph can exhaust the stack.
const int kMaxDepth = 256;

typedef std::vector<std::pair<const nShaderBlock*, uint32_t>> TypeMemo;

uint32_t TypeOf(const nShaderBlock* block, TypeMemo& memo, int depth);

uint32_t TypeWithoutMemo(const nShaderBlock* b, TypeMemo& memo, int depth)
{
    const uint32_t kInvalid = ShaderValueInvalid, kFloat = ShaderValueFloat, kVec4 = ShaderValueVec4;
    const KindRow& row = kKinds[b->GetKind()];
    uint32_t in[nShaderBlock::kMaxInputs] = {0, 0, 0, 0};  // 0: unconnected
    for (unsigned i = 0; i < row.inputCount; ++i)
        if (const nShaderBlock* input = b->GetInput(i))
            in[i] = TypeOf(input, memo, depth + 1);
    switch (row.rule) {
        case RuleNone:
            return ShaderValueInvalid;
        case RuleFixed:
            return row.fixedType;
        case RuleConstant:
            return b->constantType;
        case RuleMaterialParam:
            return (b->index == ShaderParamShininess || b->index == ShaderParamOpacity) ? kFloat : kVec4;
        case RuleSampler:
            return (in[0] && in[1]) ? kVec4 : kInvalid;
        case RuleSameAB:
            return (in[0] && in[1] && in[0] == in[1]) ? in[0] : kInvalid;
        case RuleMul:
            if (!in[0] || !in[1])
                return ShaderValueInvalid;
            if (in[0] == in[1])
                return (in[0] & 0x3c) ? in[0] : kInvalid;
            if ((in[0] | in[1]) == (ShaderValueMat3 | ShaderValueVec3))
                return ShaderValueVec3;
            if ((in[0] | in[1]) == (ShaderValueMat4 | ShaderValueVec4))
                return ShaderValueVec4;
            return ShaderValueInvalid;
        case RuleMix:
            return (in[0] && in[1] && in[2] && in[0] == in[1] && in[2] == ShaderValueFloat) ? in[0] : kInvalid;
        case RuleDot:
            return (in[0] && in[1] && in[0] == in[1]) ? kFloat : kInvalid;
        case RuleCross:
            if (!in[0] || !in[1] || (in[0] != in[1] && in[0] != ShaderValueVec3))
                return ShaderValueInvalid;
            return ShaderValueVec3;
        case RuleClamp:
            return (in[0] && in[0] == in[1] && in[1] == in[2]) ? in[0] : kInvalid;
        case RuleInput:
            return in[0] ? in[0] : kInvalid;
        case RuleSwizzle: {
            if (!in[0] || in[0] == ShaderValueInvalid)
                return ShaderValueInvalid;
            int count = 0;
            for (int code : b->codes)
                count += code != 0;
            static const uint32_t kByCount[5] = {ShaderValueInvalid, ShaderValueFloat, ShaderValueVec2, ShaderValueVec3, ShaderValueVec4};
            return kByCount[count];
        }
        case RuleBuild: {
            int count = 0;
            for (int slot = 0; slot < 4; ++slot) {
                const int mode = b->codes[slot];
                if (mode == 0 || mode == 1) {
                    ++count;
                } else if (mode >= 2 && mode <= 5) {
                    if (!in[slot])
                        break;
                    if (in[slot] == ShaderValueInvalid)
                        return ShaderValueInvalid;
                    ++count;
                }
            }
            static const uint32_t kByCount[5] = {ShaderValueInvalid, ShaderValueFloat, ShaderValueVec2, ShaderValueVec3, ShaderValueVec4};
            return kByCount[count];
        }
    }
    return ShaderValueInvalid;
}

uint32_t TypeOf(const nShaderBlock* block, TypeMemo& memo, int depth)
{
    if (depth > kMaxDepth)
        return ShaderValueInvalid;
    if (kKinds[block->GetKind()].inputCount == 0)
        return TypeWithoutMemo(block, memo, depth);
    for (const auto& entry : memo)
        if (entry.first == block)
            return entry.second;
    const uint32_t type = TypeWithoutMemo(block, memo, depth);
    memo.emplace_back(block, type);
    return type;
}

bool IsBlockKind(int32_t kind)
{
    return kind > ShaderBlockNone && kind < ShaderBlockKindCount;
}

}

nShaderBlock::nShaderBlock(int32_t kind)
    : posX(0.0f), posY(0.0f), index(0), codes{0, 0, 0, 0}, values{0.0f, 0.0f, 0.0f, 0.0f},
      constantType(ShaderValueInvalid), wrapU(1), wrapV(1), m_kind(IsBlockKind(kind) ? kind : ShaderBlockNone),
      m_inputs{0, 0, 0, 0}
{
    if (m_kind == ShaderBlockColor)
        values[0] = values[1] = values[2] = values[3] = 1.0f;
    if (m_kind == ShaderBlockBuild) {
        for (int i = 0; i < 4; ++i)
            codes[i] = 2 + i;
    }
}

nShaderBlock* nShaderBlock::New(int32_t kind)
{
    return IsBlockKind(kind) ? new (std::nothrow) nShaderBlock(kind) : 0;
}

unsigned nShaderBlock::GetInputCount() const
{
    return kKinds[m_kind].inputCount;
}

nShaderBlock* nShaderBlock::GetInput(unsigned index) const
{
    return index < GetInputCount() ? m_inputs[index] : 0;
}

ShaderInputCheck nShaderBlock::CheckInput(unsigned index, const nShaderBlock* block) const
{
    if (index >= GetInputCount())
        return ShaderInputNoSlot;
    if (!block)
        return ShaderInputAccepted;
    if (block->Reaches(this))
        return ShaderInputCycle;
    if (!(block->GetOutputType() & kKinds[m_kind].inputs[index].typeMask))
        return ShaderInputWrongType;
    return ShaderInputAccepted;
}

bool nShaderBlock::SetInput(unsigned index, nShaderBlock* block)
{
    if (CheckInput(index, block) != ShaderInputAccepted)
        return false;
    m_inputs[index] = block;
    return true;
}

// Depth first with an explicit stack and a visited list: no recursion, and a shared block is
// looked through once.
bool nShaderBlock::Reaches(const nShaderBlock* target) const
{
    std::vector<const nShaderBlock*> stack(1, this);
    std::vector<const nShaderBlock*> seen;
    while (!stack.empty()) {
        const nShaderBlock* block = stack.back();
        stack.pop_back();
        if (block == target)
            return true;
        bool visited = false;
        for (const nShaderBlock* s : seen)
            visited = visited || s == block;
        if (visited)
            continue;
        seen.push_back(block);
        for (unsigned i = 0; i < block->GetInputCount(); ++i)
            if (block->m_inputs[i])
                stack.push_back(block->m_inputs[i]);
    }
    return false;
}

const ShaderBlockSlotInfo* nShaderBlock::GetInputInfo(unsigned index) const
{
    return index < GetInputCount() ? &kKinds[m_kind].inputs[index] : 0;
}

const ShaderBlockSlotInfo* nShaderBlock::GetOutputInfo() const
{
    return &kKinds[m_kind].output;
}

uint32_t nShaderBlock::GetOutputType() const
{
    TypeMemo memo;
    return TypeOf(this, memo, 0);
}

nString nShaderBlock::GetName() const
{
    return nString(kKinds[m_kind].displayName);
}

nString nShaderBlock::GetPrefix() const
{
    const KindRow& row = kKinds[m_kind];
    char text[64];
    switch (row.prefixRule) {
        case PrefixPlain:
            return nString(row.prefix);
        case PrefixUVSet:
        case PrefixParam:
            snprintf(text, sizeof(text), row.prefix, (int)index);
            return nString(text);
        case PrefixWraps:
            snprintf(text, sizeof(text), row.prefix, wrapU ? "T" : "F", wrapV ? "T" : "F");
            return nString(text);
        case PrefixCodes:
            snprintf(text, sizeof(text), row.prefix, (int)codes[0], (int)codes[1], (int)codes[2], (int)codes[3]);
            return nString(text);
        case PrefixConstant:
            switch (constantType) {
                case ShaderValueInvalid: return nString("ConstNone_");
                case ShaderValueFloat: return nString("ConstFloat_");
                case ShaderValueVec2: return nString("ConstVec2_");
                case ShaderValueVec3: return nString("ConstVec3_");
                case ShaderValueVec4: return nString("ConstVec4_");
                default:
                    *g_log << "[!] Unknown constant.\n";
                    return nString("ConstUnk_");
            }
    }
    return nString("");
}

const char* GetShaderBlockKindName(int32_t kind)
{
    return (kind >= 0 && kind < ShaderBlockKindCount) ? kKinds[kind].saveName : "Invalid";
}

int32_t FindShaderBlockKind(const char* name)
{
    if (!name)
        return ShaderBlockNone;
    if (strcmp(name, "Normal Matrix") == 0)
        name = "Normal View Matrix";
    for (int32_t kind = 0; kind < ShaderBlockKindCount; ++kind)
        if (strcmp(kKinds[kind].saveName, name) == 0)
            return kind;
    return ShaderBlockNone;
}

const char* GetShaderValueTypeName(uint32_t type)
{
    switch (type) {
        case ShaderValueFloat: return "float";
        case ShaderValueVec2: return "vec2";
        case ShaderValueVec3: return "vec3";
        case ShaderValueVec4: return "vec4";
        default: return "";
    }
}
