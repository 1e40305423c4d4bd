#ifndef N_GL3SHADER_H
#define N_GL3SHADER_H

#include <cstdint>

#include "render/nShader.h"

class nGL3Renderer;

// A GLSL program of the OpenGL renderer: a vertex and a fragment shader linked into one
// program object, with the locations the drawers set at every draw looked up once.
//
// Compile answers false when either shader fails to compile or the program fails to link: the
// driver's messages go to the log, the device objects are freed, and the shader stays marked
// as failed (IsCompiled() false, program 0) so that whoever cached it skips it when drawing.
class nGL3Shader : public nShader
{
public:
    explicit nGL3Shader(nGL3Renderer* renderer);
    ~nGL3Shader() override;  // releases the device objects

    bool Compile(const char* name, const char* vertex, const char* pixel) override;
    void ReleaseDevice() override;  // detaches and deletes shaders and program

    uint32_t GetProgram() const { return m_program; }
    int32_t GetUniformLocation(const char* name) const;  // -1 when absent or not compiled

    // Locations cached at link time; -1 when the program has none.
    int32_t tangentAttribute;          // "attribute_tangent"
    int32_t bitangentAttribute;        // "attribute_bitangent"
    int32_t skinIdAttribute;           // "skin_id"
    int32_t skinWeightAttribute;       // "skin_w"
    int32_t alphaThresholdUniform;     // "alpha_threshold"
    int32_t inverseBufferSizeUniform;  // "inverse_buffer_size"
    int32_t clipDistanceUniform;       // "user_clip_d"
    int32_t clipNormalUniform;         // "user_clip_n"
    int32_t skinPaletteUniform;        // "skin_mtx"

private:
    bool CompileStage(uint32_t shader, const char* source);  // true when it compiled; logs the driver's text
    void CacheLocations();

    nGL3Renderer* m_gl3;
    uint32_t m_program;
    uint32_t m_vertexShader;
    uint32_t m_fragmentShader;
};

#endif
