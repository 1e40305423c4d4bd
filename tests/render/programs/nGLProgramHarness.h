#pragma once
// nGLProgramHarness: runs one program of the renderer's shader library by hand on a real context.
// A test makes its input pictures (float textures of the window's size, filled per pixel), binds a
// program by name, sets its uniforms and samplers by name, draws a screen quad or a quad in view
// space, and reads the result back as floats from a float target of the window's size.
//
// Setting a uniform the program does not use fails the test: a misspelt name, or a value the
// program ignores, shows up. Every GL error fails the test (the fixture's error recorder).

#include "tests/render/gl/nGLRendererFixture.h"

#include <functional>
#include <set>

#include "core/nMatrix.h"
#include "render/gl/nGL3Shader.h"
#include "render/nShaderLibrary.h"

struct nFloat4
{
    float r, g, b, a;
};

// The GL 2.0 and frame-buffer entry points the harness calls, from the driver.
struct nGLProgramCalls
{
    PFNGLUSEPROGRAMPROC UseProgram = 0;
    PFNGLGETUNIFORMLOCATIONPROC GetUniformLocation = 0;
    PFNGLGETPROGRAMIVPROC GetProgramiv = 0;
    PFNGLGETACTIVEUNIFORMPROC GetActiveUniform = 0;
    PFNGLUNIFORM1IPROC Uniform1i = 0;
    PFNGLUNIFORM1FPROC Uniform1f = 0;
    PFNGLUNIFORM2FPROC Uniform2f = 0;
    PFNGLUNIFORM3FPROC Uniform3f = 0;
    PFNGLUNIFORMMATRIX4FVPROC UniformMatrix4fv = 0;
    PFNGLACTIVETEXTUREPROC ActiveTexture = 0;
    PFNGLGENFRAMEBUFFERSPROC GenFramebuffers = 0;
    PFNGLBINDFRAMEBUFFERPROC BindFramebuffer = 0;
    PFNGLDELETEFRAMEBUFFERSPROC DeleteFramebuffers = 0;
    PFNGLFRAMEBUFFERTEXTURE2DPROC FramebufferTexture2D = 0;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC CheckFramebufferStatus = 0;

    bool Fetch()
    {
        bool all = true;
        auto get = [&all](auto& slot, const char* name) {
            slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(SDL_GL_GetProcAddress(name));
            all = all && slot;
        };
        get(UseProgram, "glUseProgram");
        get(GetUniformLocation, "glGetUniformLocation");
        get(GetProgramiv, "glGetProgramiv");
        get(GetActiveUniform, "glGetActiveUniform");
        get(Uniform1i, "glUniform1i");
        get(Uniform1f, "glUniform1f");
        get(Uniform2f, "glUniform2f");
        get(Uniform3f, "glUniform3f");
        get(UniformMatrix4fv, "glUniformMatrix4fv");
        get(ActiveTexture, "glActiveTexture");
        get(GenFramebuffers, "glGenFramebuffers");
        get(BindFramebuffer, "glBindFramebuffer");
        get(DeleteFramebuffers, "glDeleteFramebuffers");
        get(FramebufferTexture2D, "glFramebufferTexture2D");
        get(CheckFramebufferStatus, "glCheckFramebufferStatus");
        return all;
    }
};

class nGLProgramTest : public nGLRendererTest
{
protected:
    static const int32_t kUnits = 8;

    void SetUp() override
    {
        nGLRendererTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_TRUE(gl.Fetch());
        glGenTextures(1, &m_targetTexture);
        glBindTexture(GL_TEXTURE_2D, m_targetTexture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, kWidth, kHeight, 0, GL_RGBA, GL_FLOAT, 0);
        glBindTexture(GL_TEXTURE_2D, 0);
        gl.GenFramebuffers(1, &m_framebuffer);
        gl.BindFramebuffer(GL_FRAMEBUFFER, m_framebuffer);
        gl.FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, m_targetTexture, 0);
        ASSERT_EQ(gl.CheckFramebufferStatus(GL_FRAMEBUFFER), (GLenum)GL_FRAMEBUFFER_COMPLETE);
        glViewport(0, 0, kWidth, kHeight);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_CULL_FACE);
        glDisable(GL_BLEND);
        glDisable(GL_SCISSOR_TEST);
        glDisable(GL_ALPHA_TEST);
        glDisable(GL_LIGHTING);
        ClearTarget(nFloat4{0.0f, 0.0f, 0.0f, 0.0f});
    }

    void TearDown() override
    {
        if (gl.UseProgram && renderer && renderer->IsOpen()) {
            gl.UseProgram(0);
            for (int32_t unit = kUnits - 1; unit >= 0; --unit) {
                gl.ActiveTexture(GL_TEXTURE0 + unit);
                glBindTexture(GL_TEXTURE_2D, 0);
            }
            gl.BindFramebuffer(GL_FRAMEBUFFER, 0);
            if (m_framebuffer) gl.DeleteFramebuffers(1, &m_framebuffer);
            for (GLuint name : m_textures) glDeleteTextures(1, &name);
            if (m_targetTexture) glDeleteTextures(1, &m_targetTexture);
        }
        nGLRendererTest::TearDown();
    }

    // The library's program of that name, built; NULL (and a failure) otherwise.
    nGL3Shader* Program(const char* name)
    {
        nShaderLibrary* library = renderer->GetShaderLibrary();
        nGL3Shader* shader = library ? static_cast<nGL3Shader*>(library->Find(name)) : 0;
        if (!shader || !shader->IsCompiled() || !shader->GetProgram()) {
            ADD_FAILURE() << "no built program '" << name << "' in the shader library";
            return 0;
        }
        return shader;
    }

    // Makes the named program current; false (with a failure) when it is missing.
    bool Use(const char* name)
    {
        m_current = Program(name);
        m_currentName = name;
        if (!m_current) return false;
        gl.UseProgram(m_current->GetProgram());
        return true;
    }

    // The names of the program's active uniforms (gl_ built-ins left out).
    std::set<std::string> ActiveUniforms(nGL3Shader* shader)
    {
        std::set<std::string> names;
        GLint count = 0;
        gl.GetProgramiv(shader->GetProgram(), GL_ACTIVE_UNIFORMS, &count);
        for (GLint i = 0; i < count; ++i) {
            char name[128];
            GLsizei length = 0;
            GLint size = 0;
            GLenum type = 0;
            gl.GetActiveUniform(shader->GetProgram(), (GLuint)i, sizeof(name), &length, &size, &type, name);
            std::string text(name, (size_t)length);
            if (text.compare(0, 3, "gl_") != 0) names.insert(text);
        }
        return names;
    }

    GLint Location(const char* name)
    {
        if (!m_current) return -1;
        GLint location = gl.GetUniformLocation(m_current->GetProgram(), name);
        if (location < 0) ADD_FAILURE() << "program '" << m_currentName << "' does not use '" << name << "'";
        return location;
    }

    void Uniform(const char* name, float x) { gl.Uniform1f(Location(name), x); }
    void Uniform(const char* name, float x, float y) { gl.Uniform2f(Location(name), x, y); }
    void Uniform(const char* name, float x, float y, float z) { gl.Uniform3f(Location(name), x, y, z); }
    void Uniform(const char* name, const nVector& v) { gl.Uniform3f(Location(name), v.x, v.y, v.z); }
    // Row-major engine matrix, uploaded transposed as the renderer does.
    void Uniform(const char* name, const nMatrix4& m) { gl.UniformMatrix4fv(Location(name), 1, GL_TRUE, m.m); }
    void Sampler(const char* name, int32_t unit, GLuint texture)
    {
        gl.ActiveTexture(GL_TEXTURE0 + unit);
        glBindTexture(GL_TEXTURE_2D, texture);
        gl.Uniform1i(Location(name), unit);
        gl.ActiveTexture(GL_TEXTURE0);
    }
    // inverse_buffer_size of the window-sized targets.
    void BufferSize() { Uniform("inverse_buffer_size", 1.0f / kWidth, 1.0f / kHeight); }

    // A texture of width x height whose texel (x, y), y from the bottom, is fill(x, y); stored as
    // 32-bit floats, nearest filtering unless linear, clamped unless repeat. What unit 0 had bound
    // stays bound.
    GLuint MakeTexture(const std::function<nFloat4(int32_t, int32_t)>& fill, int32_t width = kWidth,
                       int32_t height = kHeight, bool repeat = false, bool linear = false)
    {
        GLint previous = 0;
        gl.ActiveTexture(GL_TEXTURE0);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
        std::vector<float> texels((size_t)width * height * 4);
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) {
                const nFloat4 t = fill(x, y);
                float* p = &texels[((size_t)y * width + x) * 4];
                p[0] = t.r;
                p[1] = t.g;
                p[2] = t.b;
                p[3] = t.a;
            }
        GLuint name = 0;
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, linear ? GL_LINEAR : GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, linear ? GL_LINEAR : GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, repeat ? GL_REPEAT : GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, repeat ? GL_REPEAT : GL_CLAMP_TO_EDGE);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, width, height, 0, GL_RGBA, GL_FLOAT, texels.data());
        glBindTexture(GL_TEXTURE_2D, (GLuint)previous);
        m_textures.push_back(name);
        return name;
    }
    GLuint MakeTexture(const nFloat4& everywhere)
    {
        return MakeTexture([everywhere](int32_t, int32_t) { return everywhere; });
    }

    void ClearTarget(const nFloat4& c)
    {
        glClearColor(c.r, c.g, c.b, c.a);
        glClear(GL_COLOR_BUFFER_BIT);
    }

    // A quad over the whole target through identity matrices: the renderer's screen passes.
    void DrawScreenQuad()
    {
        LoadMatrices(nMatrix4(), nMatrix4());
        glBegin(GL_QUADS);
        glVertex3f(-1.0f, -1.0f, 0.0f);
        glVertex3f(1.0f, -1.0f, 0.0f);
        glVertex3f(1.0f, 1.0f, 0.0f);
        glVertex3f(-1.0f, 1.0f, 0.0f);
        glEnd();
    }

    // A quad over the whole view at view-space depth z, drawn with the camera's projection and
    // identity model-view: what a light volume or the near-plane quad gives a light program.
    void DrawViewQuad(const nMatrix4& projection, float z)
    {
        LoadMatrices(projection, nMatrix4());
        const float x = 1.5f * z / projection.m[0], y = 1.5f * z / projection.m[5];
        glBegin(GL_QUADS);
        glVertex3f(-x, -y, z);
        glVertex3f(x, -y, z);
        glVertex3f(x, y, z);
        glVertex3f(-x, y, z);
        glEnd();
    }

    void LoadMatrices(const nMatrix4& projection, const nMatrix4& modelView)
    {
        glMatrixMode(GL_PROJECTION);
        glLoadTransposeMatrixf(projection.m);
        glMatrixMode(GL_MODELVIEW);
        glLoadTransposeMatrixf(modelView.m);
    }

    // The result at pixel (x, y), y from the bottom.
    nFloat4 Read(int32_t x, int32_t y)
    {
        nFloat4 p{0, 0, 0, 0};
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_FLOAT, &p.r);
        return p;
    }
    // The whole target, row by row from the bottom.
    std::vector<nFloat4> ReadAll()
    {
        std::vector<nFloat4> pixels((size_t)kWidth * kHeight);
        glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_FLOAT, pixels.data());
        return pixels;
    }

    nGLProgramCalls gl;
    nGL3Shader* m_current = 0;
    std::string m_currentName;
    GLuint m_framebuffer = 0;
    GLuint m_targetTexture = 0;
    std::vector<GLuint> m_textures;
};

// Within tolerance per channel (rgb only unless alpha is asked for).
inline ::testing::AssertionResult Near(const nFloat4& got, const nFloat4& want, float tolerance, bool alpha = false)
{
    const bool ok = std::fabs(got.r - want.r) <= tolerance && std::fabs(got.g - want.g) <= tolerance &&
                    std::fabs(got.b - want.b) <= tolerance && (!alpha || std::fabs(got.a - want.a) <= tolerance);
    if (ok) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << got.r << ", " << got.g << ", " << got.b << ", " << got.a
                                         << ") wanted (" << want.r << ", " << want.g << ", " << want.b << ", "
                                         << want.a << ")";
}
