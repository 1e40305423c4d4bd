#include "render/gl/nGL3Shader.h"

#include "core/nLog.h"
#include "render/gl/nGL3Renderer.h"
#include "render/gl/nGLEntryPoints.h"

namespace {

// The driver's message about object, written unchanged when there is one.
void LogInfo(const nGLEntryPoints* gl, uint32_t object)
{
    char text[512];
    GLsizei length = 0;
    text[0] = 0;
    gl->GetInfoLogARB(object, sizeof(text), &length, text);
    if (length > 0 && text[0]) *g_log << text;
}

}

nGL3Shader::nGL3Shader(nGL3Renderer* renderer)
    : nShader(renderer),
      tangentAttribute(-1), bitangentAttribute(-1), skinIdAttribute(-1), skinWeightAttribute(-1),
      alphaThresholdUniform(-1), inverseBufferSizeUniform(-1), clipDistanceUniform(-1), clipNormalUniform(-1),
      skinPaletteUniform(-1),
      m_gl3(renderer), m_program(0), m_vertexShader(0), m_fragmentShader(0)
{
}

nGL3Shader::~nGL3Shader()
{
    ReleaseDevice();
}

bool nGL3Shader::Compile(const char* name, const char* vertex, const char* pixel)
{
    m_compiled = false;
    if (!name || !vertex || !pixel) {
        *g_log << "[!] Cannot load shader '" << (name ? name : "") << "'.\n";
        return false;
    }
    ReleaseDevice();
    m_name.Set(name);
    const nGLEntryPoints* gl = m_gl3 ? m_gl3->GetEntryPoints() : 0;
    if (!gl || !gl->CreateProgramObjectARB) {
        *g_log << "[!] Cannot load shader '" << name << "'.\n";
        return false;
    }

    m_program = gl->CreateProgramObjectARB();
    m_vertexShader = gl->CreateShaderObjectARB(GL_VERTEX_SHADER);
    m_fragmentShader = gl->CreateShaderObjectARB(GL_FRAGMENT_SHADER);
    bool built = CompileStage(m_vertexShader, vertex);
    gl->AttachObjectARB(m_program, m_vertexShader);
    built = CompileStage(m_fragmentShader, pixel) && built;
    gl->AttachObjectARB(m_program, m_fragmentShader);
    if (built) {
        gl->LinkProgramARB(m_program);
        LogInfo(gl, m_program);
        GLint linked = 0;
        gl->GetObjectParameterivARB(m_program, GL_OBJECT_LINK_STATUS_ARB, &linked);
        built = linked != 0;
    }
    if (!built) {
        *g_log << "[!] Shader '" << name << "' failed to build; it is not used.\n";
        ReleaseDevice();
        return false;
    }
    CacheLocations();
    m_compiled = true;
    return true;
}

bool nGL3Shader::CompileStage(uint32_t shader, const char* source)
{
    const nGLEntryPoints* gl = m_gl3->GetEntryPoints();
    gl->ShaderSourceARB(shader, 1, &source, 0);
    gl->CompileShaderARB(shader);
    LogInfo(gl, shader);
    GLint compiled = 0;
    gl->GetObjectParameterivARB(shader, GL_OBJECT_COMPILE_STATUS_ARB, &compiled);
    return compiled != 0;
}

void nGL3Shader::CacheLocations()
{
    const nGLEntryPoints* gl = m_gl3->GetEntryPoints();
    tangentAttribute = gl->GetAttribLocation(m_program, "attribute_tangent");
    bitangentAttribute = gl->GetAttribLocation(m_program, "attribute_bitangent");
    skinIdAttribute = gl->GetAttribLocation(m_program, "skin_id");
    skinWeightAttribute = gl->GetAttribLocation(m_program, "skin_w");
    alphaThresholdUniform = gl->GetUniformLocationARB(m_program, "alpha_threshold");
    inverseBufferSizeUniform = gl->GetUniformLocationARB(m_program, "inverse_buffer_size");
    clipDistanceUniform = gl->GetUniformLocationARB(m_program, "user_clip_d");
    clipNormalUniform = gl->GetUniformLocationARB(m_program, "user_clip_n");
    skinPaletteUniform = gl->GetUniformLocationARB(m_program, "skin_mtx");
}

int32_t nGL3Shader::GetUniformLocation(const char* name) const
{
    if (!m_program || !name) return -1;
    return m_gl3->GetEntryPoints()->GetUniformLocationARB(m_program, name);
}

void nGL3Shader::ReleaseDevice()
{
    const nGLEntryPoints* gl = m_gl3 ? m_gl3->GetEntryPoints() : 0;
    if (m_program && gl && gl->DeleteObjectARB) {  // nothing once the context is gone
        gl->DetachObjectARB(m_program, m_fragmentShader);
        gl->DetachObjectARB(m_program, m_vertexShader);
        gl->DeleteObjectARB(m_vertexShader);
        gl->DeleteObjectARB(m_fragmentShader);
        gl->DeleteObjectARB(m_program);
    }
    m_program = m_vertexShader = m_fragmentShader = 0;
    m_compiled = false;
    tangentAttribute = bitangentAttribute = skinIdAttribute = skinWeightAttribute = -1;
    alphaThresholdUniform = inverseBufferSizeUniform = -1;
    clipDistanceUniform = clipNormalUniform = skinPaletteUniform = -1;
}
