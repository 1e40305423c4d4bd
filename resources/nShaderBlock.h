#ifndef N_SHADERBLOCK_H
#define N_SHADERBLOCK_H

// Shader blocks: the nodes of a material's render map. One class serves every kind; what a kind
// is (names, prefix, input slots, accepted types, output rule) is one row of the kind table in
// nShaderBlock.cpp. The GLSL generator keeps its own row per kind beside it.

#include <cstdint>

#include "core/nSharedObject.h"
#include "core/nString.h"
#include "resources/nTexture.h"

// Value types of block outputs and accepted-input masks (bit sets).
enum ShaderValueType
{
    ShaderValueNone = 0x0,
    ShaderValueInvalid = 0x1,  // no usable output
    ShaderValueFloat = 0x4,
    ShaderValueVec2 = 0x8,
    ShaderValueVec3 = 0x10,
    ShaderValueVec4 = 0x20,
    ShaderValueMat3 = 0x40,
    ShaderValueMat4 = 0x80,
    ShaderValueTexture = 0x100
};

enum ShaderBlockKind
{
    ShaderBlockNone = 0,
    ShaderBlockVertex,
    ShaderBlockNormal,
    ShaderBlockUV,
    ShaderBlockSkinning,
    ShaderBlockVertexColor,
    ShaderBlockTangentFrame,
    ShaderBlockRenderBuffer,
    ShaderBlockTexture,
    ShaderBlockSampler2D,
    ShaderBlockConstant,
    ShaderBlockColor,
    ShaderBlockMaterialParam,
    ShaderBlockScreenUV,
    ShaderBlockViewVector,
    ShaderBlockViewport,
    ShaderBlockNormalViewMatrix,
    ShaderBlockNormalMatrix,
    ShaderBlockModelViewMatrix,
    ShaderBlockModelMatrix,
    ShaderBlockMix,
    ShaderBlockAdd,
    ShaderBlockMul,
    ShaderBlockSub,
    ShaderBlockDiv,
    ShaderBlockDot,
    ShaderBlockCross,
    ShaderBlockClamp,
    ShaderBlockNormalize,
    ShaderBlockSwizzle,
    ShaderBlockBuild,
    ShaderBlockSinus,
    ShaderBlockCosinus,
    ShaderBlockPow,
    ShaderBlockAbs,
    ShaderBlockUnpack,
    ShaderBlockPack,
    ShaderBlockClock,
    ShaderBlockKindCount  // 38: kinds 1 to 37 are blocks
};

// Material parameters a Material Parameter block reads.
enum ShaderMaterialParam
{
    ShaderParamDiffuse = 0,
    ShaderParamSpecular,
    ShaderParamEmissive,
    ShaderParamAmbient,
    ShaderParamShininess,
    ShaderParamOpacity
};

// Descriptor of one input slot or of the output: for an input the accepted types, for the output 1.
struct ShaderBlockSlotInfo
{
    const char* name;
    const char* description;
    uint32_t typeMask;
};

// Why SetInput refuses a connection.
enum ShaderInputCheck
{
    ShaderInputAccepted = 0,
    ShaderInputNoSlot,     // index not below the input count
    ShaderInputWrongType,  // the block's output type has no bit in the slot's mask
    ShaderInputCycle       // the block is this one or reaches it through its inputs
};

class nShaderBlock
{
public:
    static const int kMaxInputs = 4;

    explicit nShaderBlock(int32_t kind);     // the kind's defaults; kinds outside 1..37 read as kind 0
    static nShaderBlock* New(int32_t kind);  // NULL for kinds outside 1..37 or out of memory
    nShaderBlock(const nShaderBlock&) = delete;
    nShaderBlock& operator=(const nShaderBlock&) = delete;

    unsigned GetInputCount() const;                // 0 for sources, 1 to 4 for operators
    nShaderBlock* GetInput(unsigned index) const;  // NULL when none or index past the count
    // Stores block (NULL clears) unless CheckInput refuses; the slot then keeps its block.
    bool SetInput(unsigned index, nShaderBlock* block);
    ShaderInputCheck CheckInput(unsigned index, const nShaderBlock* block) const;
    const ShaderBlockSlotInfo* GetInputInfo(unsigned index) const;  // NULL past the count
    const ShaderBlockSlotInfo* GetOutputInfo() const;
    uint32_t GetOutputType() const;  // ShaderValueType bit, from the inputs for operators
    nString GetName() const;         // display name
    nString GetPrefix() const;       // variable and signature prefix, parameters filled in
    int32_t GetKind() const { return m_kind; }
    bool Reaches(const nShaderBlock* target) const;  // target is this or found below it

    float posX, posY;  // editor position, only kept for the NML form
    // Parameters, each read by the kinds named.
    int32_t index;                 // UV set (3), buffer (7), material parameter (12)
    int32_t codes[4];              // Swizzle component codes 0 none, 1..4 x..w; Build modes 0 '0', 1 '1', 2..5 x..w
    float values[4];               // Constant values; Color red, green, blue, alpha
    uint32_t constantType;         // Constant: its ShaderValueType
    uint8_t wrapU, wrapV;          // Sampler 2D: 1 repeats
    nSharedPtr<nTexture> texture;  // Texture: the texture sampled, held while the block lives

private:
    int32_t m_kind;
    nShaderBlock* m_inputs[kMaxInputs];  // not owned
};

// The save name of kind ("Invalid" outside 0..37), as the ShaderMap NML writes it.
const char* GetShaderBlockKindName(int32_t kind);
// The kind whose save name is name (after the old spelling "Normal Matrix" becomes "Normal View
// Matrix"); 0 when none matches.
int32_t FindShaderBlockKind(const char* name);
// The GLSL type name of a value type: "float", "vec2", "vec3", "vec4"; "" for any other.
const char* GetShaderValueTypeName(uint32_t type);

#endif
