// Compile gate of the generated material programs: every pass of a table of materials that
// together use every block kind compiles and links on the driver, with the compiler's log and the
// source printed when one does not.
#include <gtest/gtest.h>

#include <string>

#include "nGLRendererFixture.h"
#include "render/glsl/GL3_ShaderGenerator.h"
#include "tests/render/glsl/nGLSLTestKit.h"
#include "tests/support/nLogCapture.h"

namespace {

// The GLSL entry points of OpenGL 2.0, fetched from the renderer's context.
struct GLSLCalls
{
    PFNGLCREATESHADERPROC CreateShader;
    PFNGLSHADERSOURCEPROC ShaderSource;
    PFNGLCOMPILESHADERPROC CompileShader;
    PFNGLGETSHADERIVPROC GetShaderiv;
    PFNGLGETSHADERINFOLOGPROC GetShaderInfoLog;
    PFNGLCREATEPROGRAMPROC CreateProgram;
    PFNGLATTACHSHADERPROC AttachShader;
    PFNGLLINKPROGRAMPROC LinkProgram;
    PFNGLGETPROGRAMIVPROC GetProgramiv;
    PFNGLGETPROGRAMINFOLOGPROC GetProgramInfoLog;
    PFNGLDELETESHADERPROC DeleteShader;
    PFNGLDELETEPROGRAMPROC DeleteProgram;

    void Fetch()
    {
        CreateShader = (PFNGLCREATESHADERPROC)SDL_GL_GetProcAddress("glCreateShader");
        ShaderSource = (PFNGLSHADERSOURCEPROC)SDL_GL_GetProcAddress("glShaderSource");
        CompileShader = (PFNGLCOMPILESHADERPROC)SDL_GL_GetProcAddress("glCompileShader");
        GetShaderiv = (PFNGLGETSHADERIVPROC)SDL_GL_GetProcAddress("glGetShaderiv");
        GetShaderInfoLog = (PFNGLGETSHADERINFOLOGPROC)SDL_GL_GetProcAddress("glGetShaderInfoLog");
        CreateProgram = (PFNGLCREATEPROGRAMPROC)SDL_GL_GetProcAddress("glCreateProgram");
        AttachShader = (PFNGLATTACHSHADERPROC)SDL_GL_GetProcAddress("glAttachShader");
        LinkProgram = (PFNGLLINKPROGRAMPROC)SDL_GL_GetProcAddress("glLinkProgram");
        GetProgramiv = (PFNGLGETPROGRAMIVPROC)SDL_GL_GetProcAddress("glGetProgramiv");
        GetProgramInfoLog = (PFNGLGETPROGRAMINFOLOGPROC)SDL_GL_GetProcAddress("glGetProgramInfoLog");
        DeleteShader = (PFNGLDELETESHADERPROC)SDL_GL_GetProcAddress("glDeleteShader");
        DeleteProgram = (PFNGLDELETEPROGRAMPROC)SDL_GL_GetProcAddress("glDeleteProgram");
    }

    // Compiles one shader; "" on success, else the compiler's log.
    std::string Compile(GLenum kind, const std::string& source, GLuint* shader)
    {
        *shader = CreateShader(kind);
        const char* text = source.c_str();
        ShaderSource(*shader, 1, &text, 0);
        CompileShader(*shader);
        GLint ok = 0;
        GetShaderiv(*shader, GL_COMPILE_STATUS, &ok);
        if (ok)
            return "";
        char log[4096] = "";
        GetShaderInfoLog(*shader, sizeof(log), 0, log);
        return std::string("compile failed: ") + log;
    }

    // Compiles and links both programs; "" on success, else the logs.
    std::string Build(const std::string& vertex, const std::string& fragment)
    {
        GLuint vs = 0, fs = 0;
        std::string failure = Compile(GL_VERTEX_SHADER, vertex, &vs);
        failure += Compile(GL_FRAGMENT_SHADER, fragment, &fs);
        if (failure.empty()) {
            GLuint program = CreateProgram();
            AttachShader(program, vs);
            AttachShader(program, fs);
            LinkProgram(program);
            GLint ok = 0;
            GetProgramiv(program, GL_LINK_STATUS, &ok);
            if (!ok) {
                char log[4096] = "";
                GetProgramInfoLog(program, sizeof(log), 0, log);
                failure = std::string("link failed: ") + log;
            }
            DeleteProgram(program);
        }
        DeleteShader(vs);
        DeleteShader(fs);
        return failure;
    }
};

class GLMaterialPrograms : public nGLRendererTest
{
protected:
    void SetUp() override
    {
        nGLRendererTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        calls.Fetch();
    }

    GLSLCalls calls;
};

TEST_F(GLMaterialPrograms, EveryPassOfTheMaterialTableCompilesAndLinks)
{
    nLogCapture log;
    GL3_ShaderGenerator generator;
    int built = 0;
    for (const std::unique_ptr<nMaterial>& m : MakeKitMaterialTable()) {
        for (const nGeneratedPass& p : GenerateMaterialPasses(generator, *m)) {
            const std::string failure = calls.Build(p.vertex, p.fragment);
            EXPECT_EQ(failure, "") << "material '" << m->GetName().GetCStr() << "' pass " << p.pass << "\n-- vertex\n"
                                   << p.vertex << "-- fragment\n"
                                   << p.fragment;
            ++built;
        }
    }
    EXPECT_EQ(built, 4 * (int)MakeKitMaterialTable().size());
    EXPECT_EQ(log.Lines(), std::vector<std::string>{});
}

}
