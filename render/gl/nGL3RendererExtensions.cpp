#include "render/gl/nGL3Renderer.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "core/nLog.h"
#include "platform/nGLWindow.h"
#include "render/gl/nGLEntryPoints.h"

namespace {
enum EntryKind
{
    EntryRequired,
    EntryOptional
};

// One entry point: its slot in the table and what proves the driver has it, an extension
// name or a core version ("2.0").
struct EntryDef
{
    const char* name;
    size_t slot;
    EntryKind kind;
    const char* source;
};

#define QZ_SLOT(member) offsetof(nGLEntryPoints, member)

const EntryDef kMipmapEntry = {"glGenerateMipmapEXT", QZ_SLOT(GenerateMipmapEXT), EntryOptional, "GL_EXT_framebuffer_object"};
const EntryDef kBufferEntries[] = {
    {"glMultiTexCoord2f", QZ_SLOT(MultiTexCoord2f), EntryRequired, "1.3"},
    {"glGenBuffersARB", QZ_SLOT(GenBuffersARB), EntryRequired, "GL_ARB_vertex_buffer_object"},
    {"glBindBufferARB", QZ_SLOT(BindBufferARB), EntryRequired, "GL_ARB_vertex_buffer_object"},
    {"glBufferDataARB", QZ_SLOT(BufferDataARB), EntryRequired, "GL_ARB_vertex_buffer_object"},
    {"glDeleteBuffersARB", QZ_SLOT(DeleteBuffersARB), EntryRequired, "GL_ARB_vertex_buffer_object"},
    {"glMapBufferARB", QZ_SLOT(MapBufferARB), EntryRequired, "GL_ARB_vertex_buffer_object"},
    {"glUnmapBufferARB", QZ_SLOT(UnmapBufferARB), EntryRequired, "GL_ARB_vertex_buffer_object"},
};
const EntryDef kFramebufferHead = {"glGenFramebuffersEXT", QZ_SLOT(GenFramebuffersEXT), EntryOptional, "GL_EXT_framebuffer_object"};
const EntryDef kFramebufferEntries[] = {
    {"glBindFramebufferEXT", QZ_SLOT(BindFramebufferEXT), EntryRequired, "GL_EXT_framebuffer_object"},
    {"glDeleteFramebuffersEXT", QZ_SLOT(DeleteFramebuffersEXT), EntryRequired, "GL_EXT_framebuffer_object"},
    {"glFramebufferTexture2DEXT", QZ_SLOT(FramebufferTexture2DEXT), EntryRequired, "GL_EXT_framebuffer_object"},
    {"glFramebufferRenderbufferEXT", QZ_SLOT(FramebufferRenderbufferEXT), EntryRequired, "GL_EXT_framebuffer_object"},
    {"glCheckFramebufferStatusEXT", QZ_SLOT(CheckFramebufferStatusEXT), EntryRequired, "GL_EXT_framebuffer_object"},
};
const EntryDef kUnitAndQueryEntries[] = {
    {"glActiveTextureARB", QZ_SLOT(ActiveTextureARB), EntryRequired, "GL_ARB_multitexture"},
    {"glClientActiveTextureARB", QZ_SLOT(ClientActiveTextureARB), EntryRequired, "GL_ARB_multitexture"},
    {"glGenQueriesARB", QZ_SLOT(GenQueriesARB), EntryOptional, "GL_ARB_occlusion_query"},
    {"glDeleteQueriesARB", QZ_SLOT(DeleteQueriesARB), EntryOptional, "GL_ARB_occlusion_query"},
    {"glBeginQueryARB", QZ_SLOT(BeginQueryARB), EntryOptional, "GL_ARB_occlusion_query"},
    {"glEndQueryARB", QZ_SLOT(EndQueryARB), EntryOptional, "GL_ARB_occlusion_query"},
    {"glGetQueryObjectivARB", QZ_SLOT(GetQueryObjectivARB), EntryOptional, "GL_ARB_occlusion_query"},
    {"glGetQueryObjectuivARB", QZ_SLOT(GetQueryObjectuivARB), EntryOptional, "GL_ARB_occlusion_query"},
};
const EntryDef kProgramEntry = {"glCreateProgramObjectARB", QZ_SLOT(CreateProgramObjectARB), EntryOptional, "GL_ARB_shader_objects"};
const EntryDef kClampEntry = {"glClampColorARB", QZ_SLOT(ClampColorARB), EntryOptional, "GL_ARB_color_buffer_float"};
const EntryDef kShaderEntries[] = {
    {"glEnableVertexAttribArray", QZ_SLOT(EnableVertexAttribArray), EntryRequired, "2.0"},
    {"glVertexAttribPointer", QZ_SLOT(VertexAttribPointer), EntryRequired, "2.0"},
    {"glDisableVertexAttribArray", QZ_SLOT(DisableVertexAttribArray), EntryRequired, "2.0"},
    {"glGetAttribLocation", QZ_SLOT(GetAttribLocation), EntryRequired, "2.0"},
    {"glCreateShaderObjectARB", QZ_SLOT(CreateShaderObjectARB), EntryRequired, "GL_ARB_shader_objects"},
    {"glShaderSourceARB", QZ_SLOT(ShaderSourceARB), EntryRequired, "GL_ARB_shader_objects"},
    {"glCompileShaderARB", QZ_SLOT(CompileShaderARB), EntryRequired, "GL_ARB_shader_objects"},
    {"glAttachObjectARB", QZ_SLOT(AttachObjectARB), EntryRequired, "GL_ARB_shader_objects"},
    {"glDetachObjectARB", QZ_SLOT(DetachObjectARB), EntryRequired, "GL_ARB_shader_objects"},
    {"glDeleteObjectARB", QZ_SLOT(DeleteObjectARB), EntryRequired, "GL_ARB_shader_objects"},
    {"glLinkProgramARB", QZ_SLOT(LinkProgramARB), EntryRequired, "GL_ARB_shader_objects"},
    {"glUseProgramObjectARB", QZ_SLOT(UseProgramObjectARB), EntryRequired, "GL_ARB_shader_objects"},
    {"glGetInfoLogARB", QZ_SLOT(GetInfoLogARB), EntryRequired, "GL_ARB_shader_objects"},
    {"glGetObjectParameterivARB", QZ_SLOT(GetObjectParameterivARB), EntryRequired, "GL_ARB_shader_objects"},
    {"glUniform1iARB", QZ_SLOT(Uniform1iARB), EntryRequired, "GL_ARB_shader_objects"},
    {"glGetUniformLocationARB", QZ_SLOT(GetUniformLocationARB), EntryRequired, "GL_ARB_shader_objects"},
    {"glUniform1fARB", QZ_SLOT(Uniform1fARB), EntryRequired, "GL_ARB_shader_objects"},
    {"glUniform2fARB", QZ_SLOT(Uniform2fARB), EntryRequired, "GL_ARB_shader_objects"},
    {"glUniform3fARB", QZ_SLOT(Uniform3fARB), EntryRequired, "GL_ARB_shader_objects"},
    {"glUniform4fARB", QZ_SLOT(Uniform4fARB), EntryRequired, "GL_ARB_shader_objects"},
    {"glUniformMatrix3fv", QZ_SLOT(UniformMatrix3fv), EntryRequired, "2.0"},
    {"glUniformMatrix4fv", QZ_SLOT(UniformMatrix4fv), EntryRequired, "2.0"},
};
const EntryDef kDrawBuffersEntry = {"glDrawBuffers", QZ_SLOT(DrawBuffers), EntryOptional, "2.0"};

const EntryDef* const kAllEntries[] = {
    &kMipmapEntry,
    &kFramebufferHead,
    &kProgramEntry,
    &kClampEntry,
    &kDrawBuffersEntry,
};

#undef QZ_SLOT

template<size_t N>
const EntryDef* FindIn(const EntryDef (&table)[N], const char* name)
{
    for (size_t i = 0; i < N; ++i)
        if (std::strcmp(table[i].name, name) == 0) return &table[i];
    return 0;
}

const EntryDef* FindEntry(const char* name)
{
    for (const EntryDef* e : kAllEntries)
        if (std::strcmp(e->name, name) == 0) return e;
    if (const EntryDef* e = FindIn(kBufferEntries, name)) return e;
    if (const EntryDef* e = FindIn(kFramebufferEntries, name)) return e;
    if (const EntryDef* e = FindIn(kUnitAndQueryEntries, name)) return e;
    return FindIn(kShaderEntries, name);
}

// The context's version reaches major.minor.
bool VersionAtLeast(const char* wanted)
{
    const char* version = (const char*)glGetString(GL_VERSION);
    int haveMajor = 0, haveMinor = 0, wantMajor = 0, wantMinor = 0;
    if (!version || std::sscanf(version, "%d.%d", &haveMajor, &haveMinor) != 2) return false;
    if (std::sscanf(wanted, "%d.%d", &wantMajor, &wantMinor) != 2) return false;
    return haveMajor > wantMajor || (haveMajor == wantMajor && haveMinor >= wantMinor);
}

void StoreEntry(nGLEntryPoints* table, const EntryDef& e, void* pointer)
{
    std::memcpy(reinterpret_cast<char*>(table) + e.slot, &pointer, sizeof(pointer));
}

bool HasEntry(const nGLEntryPoints* table, const EntryDef& e)
{
    void* pointer = 0;
    std::memcpy(&pointer, reinterpret_cast<const char*>(table) + e.slot, sizeof(pointer));
    return pointer != 0;
}
}

void* nGL3Renderer::LookupDriverEntryPoint(const char* name)
{
    if (!name) return 0;
    const EntryDef* e = FindEntry(name);
    if (!e) return 0;
    bool present = (e->source[0] >= '0' && e->source[0] <= '9') ? VersionAtLeast(e->source)
                                                                : nGLWindow::IsExtensionSupported(e->source);
    return present ? nGLWindow::GetProcAddress(name) : 0;
}

void nGL3Renderer::SetEntryPointLookup(nGLEntryPointLookup lookup, void* context)
{
    m_lookup = lookup;
    m_lookupContext = context;
}

void* nGL3Renderer::LookupEntryPoint(const char* name)
{
    return m_lookup ? m_lookup(name, m_lookupContext) : LookupDriverEntryPoint(name);
}

bool nGL3Renderer::FetchExtensions()
{
    *g_log << "[H] "
           << "Fetch GL extensions...\n";
    if (!m_gl) {
        *g_log << "[!] Out of memory for the GL entry points.\n";
        return false;
    }
    std::memset(m_gl, 0, sizeof(*m_gl));

    // Fetches one entry; false when a required one is missing.
    auto fetch = [this](const EntryDef& e) -> bool {
        void* pointer = LookupEntryPoint(e.name);
        StoreEntry(m_gl, e, pointer);
        if (pointer) return true;
        if (e.kind == EntryRequired) {
            *g_log << "[!] " << e.name << " is not supported by this driver.\n";
            return false;
        }
        *g_log << "[*] " << e.name << " is not supported by this driver.\n";
        return true;
    };

    fetch(kMipmapEntry);
    for (const EntryDef& e : kBufferEntries)
        if (!fetch(e)) return false;
    fetch(kFramebufferHead);
    if (m_gl->GenFramebuffersEXT)
        for (const EntryDef& e : kFramebufferEntries)
            if (!fetch(e)) return false;
    for (const EntryDef& e : kUnitAndQueryEntries)
        if (!fetch(e)) return false;
    if (!TestSystemFlag(RendererSystemDisableShader)) {
        fetch(kProgramEntry);
        if (!m_gl->CreateProgramObjectARB) {
            *g_log << "[*] Driver has no support for GLSL, defaulting to fixed-function pipeline.\n";
            SetSystemFlag(RendererSystemDisableShader, true);
        } else if (!HasEntry(m_gl, kFramebufferHead)) {
            // The deferred path draws into frame buffers; without them only the
            // fixed-function path can draw.
            *g_log << "[*] Driver has no frame buffer objects, defaulting to fixed-function pipeline.\n";
            SetSystemFlag(RendererSystemDisableShader, true);
        }
    }
    fetch(kClampEntry);

    m_gl->UseProgramObjectARB = 0;
    m_hasAnisotropy = nGLWindow::IsExtensionSupported("GL_EXT_texture_filter_anisotropic");
    if (TestSystemFlag(RendererSystemDisableShader)) {
        *g_log << "Renderer instantiated with no shader support.\n";
        return true;
    }
    *g_log << "Renderer instantiated with shader support.\n";
    for (const EntryDef& e : kShaderEntries)
        if (!fetch(e)) return false;
    fetch(kDrawBuffersEntry);

    GLint count = 0;
    glGetIntegerv(GL_MAX_DRAW_BUFFERS, &count);
    m_drawBufferCount = count;
    *g_log << "Card MRT supports up to " << m_drawBufferCount << " target(s).\n";
    return true;
}

void nGL3Renderer::CheckGLError(const char* text, int32_t number)
{
    GLenum error = glGetError();
    if (error == GL_NO_ERROR) return;
    *g_log << "[!] ";
    switch (error) {
        case GL_INVALID_ENUM: *g_log << "GL invalid enumeration ("; break;
        case GL_INVALID_VALUE: *g_log << "GL invalid value ("; break;
        case GL_INVALID_OPERATION: *g_log << "GL invalid operation ("; break;
        case GL_STACK_OVERFLOW: *g_log << "GL stack overflow ("; break;
        case GL_STACK_UNDERFLOW: *g_log << "GL stack underflow ("; break;
        case GL_OUT_OF_MEMORY: *g_log << "GL out of memory ("; break;
        default: *g_log << "GL error " << (int32_t)error << " ("; break;
    }
    *g_log << (text ? text : "") << ":" << number << ").\n";
}
