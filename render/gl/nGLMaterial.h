#ifndef N_GLMATERIAL_H
#define N_GLMATERIAL_H

// Materials on the OpenGL renderer: one compiled render map per draw pass, made from the
// material's render map by the GLSL generator, its program shared through the program cache by
// every material of the same signature, and its own texture slots and uniform values.

#include <cstdint>
#include <vector>

#include "core/nSharedObject.h"
#include "render/nRenderData.h"
#include "resources/nTexture.h"
#include "render/glsl/GL3_ShaderGenerator.h"
#include "render/glsl/nProgramCache.h"

class nGL3Shader;
class nMaterial;
class nTexture;

// One uniform set at every draw from a block of the graph.
struct GL3_ShaderUniform
{
    int32_t kind;        // ShaderBlockKind
    bool skip;           // the material opacity uniform is set only while this is clear
    uint32_t valueType;  // ShaderValueType of the block
    int32_t location;
    float values[4];

    GL3_ShaderUniform() : kind(0), skip(true), valueType(0), location(-1), values{0.0f, 0.0f, 0.0f, 1.0f} {}
};

// The program and bindings of one pass of one material.
struct GL3_CompiledRenderMap
{
    static constexpr int32_t kTextureSlots = 6;

    struct TextureSlot
    {
        nTexture* texture;     // NULL: the renderer's own target or picture named by the slot's source
        int32_t location;      // -1: slot unused (the used slots are the leading ones)
        uint8_t wrapU, wrapV;  // 1 repeats
        int32_t source;        // SlotMaterialTexture, SlotNormalDepth or SlotDither
    };
    enum SlotSource
    {
        SlotMaterialTexture = 0,
        SlotNormalDepth,
        SlotDither
    };

    nGL3Shader* program;  // owned by the program cache; may be a failed one
    nMaterial* material;  // not owned
    TextureSlot slots[kTextureSlots];
    uint8_t uvSets[3];  // 1: the program reads UV set i
    std::vector<GL3_ShaderUniform> uniforms;

    GL3_CompiledRenderMap();
    int32_t UsedSlots() const;
};

// Material programs 1 to 5: passes 2, 3, (4: never filled), 0 and 5.
struct GL_MaterialData : nRenderData
{
    static constexpr int32_t kPrograms = 5;
    GL3_CompiledRenderMap* maps[kPrograms];  // owned, NULL when none

    GL_MaterialData() : maps{0, 0, 0, 0, 0} {}
    ~GL_MaterialData() override;
    void Clear();  // deletes the compiled maps (never their programs)

    static int32_t ProgramOfPass(int32_t pass);  // index into maps, -1 for a pass without one
    GL3_CompiledRenderMap* ForPass(int32_t pass) const;
};

// What the renderer keeps for material programs: the generator and the cache of compiled
// programs, one table per pass. Programs live as long as this record, so that a compiled map
// made before the renderer closed never points at freed memory: closing frees their device
// objects and empties the cache (the old programs then read as failed and are skipped).
struct nGL3MaterialPrograms
{
    GL3_ShaderGenerator generator;
    nProgramCache<nGL3Shader> cache;
    std::vector<nGL3Shader*> owned;       // every program made, failed ones included
    nSharedPtr<nTexture> ditherMap;       // bound as "dither_map"; NULL until the frame makes it
    nSharedPtr<nTexture> normalDepthMap;  // "attr0_map", bound as "normal_depth_map"
    ~nGL3MaterialPrograms();              // deletes every program
    void ReleaseDevice();                 // frees every program's device objects, empties the cache
};

#endif
