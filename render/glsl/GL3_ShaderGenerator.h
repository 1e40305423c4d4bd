#ifndef GL3_SHADERGENERATOR_H
#define GL3_SHADERGENERATOR_H

// GLSL generation from a material's render map: for one draw pass, a vertex and a fragment
// program as text, the signature that names the program in the program cache, and the list of
// emitted blocks from which the renderer binds uniforms and textures. No GL call is made here.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "resources/nShaderBlock.h"

class nMaterial;

// Draw passes of the OpenGL renderer; the generator writes programs for 0, 2, 3 and 5.
enum GL3DrawPass
{
    GL3PassForward = 0,      // forward colour, near to far (particles)
    GL3PassForwardBack = 1,  // forward colour, far to near
    GL3PassNormalDepth = 2,  // view normal and depth
    GL3PassAttributes = 3,   // surface attributes of the deferred frame
    GL3PassVelocity = 4,     // drawn with a core program
    GL3PassShadowDepth = 5,  // depth only
    GL3PassCount = 6
};

// One emitted block: its GLSL variable and the GLSL type of that variable (which for a Vertex
// Color block is vec4 where the graph says vec3).
struct GL3_ShaderBlock
{
    std::string name;           // "_n_<base><counter>"
    const nShaderBlock* block;  // not owned
    uint32_t type;              // ShaderValueType bit; ShaderValueInvalid until the emitter succeeds
};

class GL3_ShaderGenerator
{
public:
    GL3_ShaderGenerator();
    ~GL3_ShaderGenerator();
    GL3_ShaderGenerator(const GL3_ShaderGenerator&) = delete;
    GL3_ShaderGenerator& operator=(const GL3_ShaderGenerator&) = delete;

    void Reset();  // empty signature and texts, no record, counter 0

    // Fills the generator for one pass of material: prologue, opacity sink and the pass's sinks.
    // False, with the generator reset, for a pass that has no generated program (1 and 4).
    bool GenerateMaterialPass(const nMaterial& material, int pass);

    // The record of block, emitting it (and first its inputs) unless an equivalent block was
    // emitted already; NULL for NULL, for a block whose emission failed (one error line) and past
    // the depth limit. The sink name, then the block's prefix, go to the signature at every call.
    GL3_ShaderBlock* Emit(const nShaderBlock* block, const char* sink);
    void AppendSignature(const char* text) { m_signature += text; }

    // The two programs: "#version 120", the declarations, then main() with the statements.
    void Assemble(std::string* vertex, std::string* fragment) const;

    const std::string& GetSignature() const { return m_signature; }
    size_t GetRecordCount() const { return m_records.size(); }
    const GL3_ShaderBlock& GetRecord(size_t i) const { return *m_records[i]; }  // creation order
    const GL3_ShaderBlock* FindRecord(const nShaderBlock* block) const;         // by equivalence

    // The four texts being built, appended to by the emitters.
    std::string vertexDeclarations, vertexBody, fragmentDeclarations, fragmentBody;

    // Emitter support: sets record's name from base and the counter, which then moves on.
    void NewVariableName(GL3_ShaderBlock* record, const char* base);
    std::unique_ptr<nShaderBlock> normalStream;  // the normal a tangent frame reads

private:
    GL3_ShaderBlock* OpacitySink(const nMaterial& material);

    std::string m_signature;
    int m_counter;
    int m_depth;  // of the Emit being run
    std::vector<std::unique_ptr<GL3_ShaderBlock>> m_records;
    std::unique_ptr<nShaderBlock> m_vertexStream;
    std::unique_ptr<nShaderBlock> m_skinning;
};

// Appends to text as snprintf would: only %s, %d and %04d are used, which no locale changes.
void GL3_Append(std::string& text, const char* format, ...) __attribute__((format(printf, 2, 3)));

#endif
