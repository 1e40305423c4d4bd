// The renderer's programs: GLSL shaders made on request, and the shader library of core
// programs loaded at start-up from the file beside the program.
#include "render/gl/nGL3Renderer.h"

#include <unistd.h>

#include <climits>
#include <new>
#include <string>

#include "core/nLog.h"
#include "core/nString.h"
#include "hub/nOrvex.h"
#include "render/gl/nGL3Shader.h"
#include "render/gl/nGLEntryPoints.h"

namespace {

const char* const kShaderLibraryFile = "default_shaders.nml";
const char* const kShaderLibraryProfile = "GLSL_Deferred;";

}

// A file installed beside the running program, read from the disk even when the game runs from
// an archive; the bare name (the working folder) when the program's folder cannot be had.
nString nGL3Renderer::BesideProgram(const char* file)
{
    char program[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", program, sizeof(program) - 1);
    if (length <= 0) return nString(file);
    program[length] = 0;
    const char* slash = 0;
    for (const char* p = program; *p; ++p)
        if (*p == '/') slash = p;
    if (!slash) return nString(file);
    const std::string path = "disc:" + std::string(program, (size_t)(slash + 1 - program)) + file;
    return nString(path.c_str());
}

nShader* nGL3Renderer::NewShader()
{
    if (TestSystemFlag(RendererSystemDisableShader) || !m_gl || !m_gl->CreateProgramObjectARB) return 0;
    return new (std::nothrow) nGL3Shader(this);
}

bool nGL3Renderer::LoadShaderLibrary()
{
    nShaderLibrary* library = new (std::nothrow) nShaderLibrary(this);
    if (!library) {
        *g_log << "[!] Failed to allocate the shader library.\n";
        return false;
    }
    m_shaderLibrary = library;
    if (m_engine)
        library->SetFileHooks(m_engine->GetHook(OrvexHookShaderLibraryMissing), m_engine->GetHook(OrvexHookShaderLibraryRead));
    const nString path = BesideProgram(kShaderLibraryFile);
    if (!library->Load(path.GetCStr(), kShaderLibraryProfile)) {
        m_shaderLibrary.Release();
        return false;
    }
    return true;
}
