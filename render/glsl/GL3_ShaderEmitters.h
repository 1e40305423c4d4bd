#ifndef GL3_SHADEREMITTERS_H
#define GL3_SHADEREMITTERS_H

// The generator's row of each block kind: the base of its variable name and the emitter that
// writes its GLSL. Beside the graph's own kind table (resources/nShaderBlock.cpp), one row per kind.

#include <cstdint>

class GL3_ShaderGenerator;
struct GL3_ShaderBlock;

// Writes the block of record (its inputs emitted first through the generator); sets the record's
// name and type and returns true, or logs one error line and returns false.
typedef bool (*GL3_Emitter)(GL3_ShaderGenerator& generator, GL3_ShaderBlock& record);

struct GL3_EmitterRow
{
    int32_t kind;
    const char* base;  // variable name base
    GL3_Emitter emit;
};

const GL3_EmitterRow* GetShaderEmitter(int32_t kind);  // NULL outside 1..37

// Entries of the skinning block's matrix palette ("skin_mtx"): every bone of the largest bone
// table a triangle list may have, so a batch's slots all index the palette.
const int32_t kGLSLSkinMatrices = 32;

#endif
