#ifndef N_GLENTRYPOINTS_H
#define N_GLENTRYPOINTS_H

// The OpenGL renderer's table of entry points beyond OpenGL 1.1. Included only by the
// renderer's own sources: it brings the GL headers.

#include <GL/gl.h>
#include <GL/glext.h>

// gl.h declares the 1.3 entry points itself, so glext.h gives no pointer type for this one.
typedef void (APIENTRYP nGLMultiTexCoord2fProc)(GLenum target, GLfloat s, GLfloat t);

// One pointer per entry point, NULL when the driver does not offer it.
struct nGLEntryPoints
{
    PFNGLGENERATEMIPMAPEXTPROC            GenerateMipmapEXT;
    nGLMultiTexCoord2fProc                MultiTexCoord2f;
    PFNGLGENBUFFERSARBPROC                GenBuffersARB;
    PFNGLBINDBUFFERARBPROC                BindBufferARB;
    PFNGLBUFFERDATAARBPROC                BufferDataARB;
    PFNGLDELETEBUFFERSARBPROC             DeleteBuffersARB;
    PFNGLMAPBUFFERARBPROC                 MapBufferARB;
    PFNGLUNMAPBUFFERARBPROC               UnmapBufferARB;
    PFNGLGENFRAMEBUFFERSEXTPROC           GenFramebuffersEXT;
    PFNGLBINDFRAMEBUFFEREXTPROC           BindFramebufferEXT;
    PFNGLDELETEFRAMEBUFFERSEXTPROC        DeleteFramebuffersEXT;
    PFNGLFRAMEBUFFERTEXTURE2DEXTPROC      FramebufferTexture2DEXT;
    PFNGLFRAMEBUFFERRENDERBUFFEREXTPROC   FramebufferRenderbufferEXT;
    PFNGLCHECKFRAMEBUFFERSTATUSEXTPROC    CheckFramebufferStatusEXT;
    PFNGLACTIVETEXTUREARBPROC             ActiveTextureARB;
    PFNGLCLIENTACTIVETEXTUREARBPROC       ClientActiveTextureARB;
    PFNGLGENQUERIESARBPROC                GenQueriesARB;
    PFNGLDELETEQUERIESARBPROC             DeleteQueriesARB;
    PFNGLBEGINQUERYARBPROC                BeginQueryARB;
    PFNGLENDQUERYARBPROC                  EndQueryARB;
    PFNGLGETQUERYOBJECTIVARBPROC          GetQueryObjectivARB;
    PFNGLGETQUERYOBJECTUIVARBPROC         GetQueryObjectuivARB;
    PFNGLCREATEPROGRAMOBJECTARBPROC       CreateProgramObjectARB;
    PFNGLCLAMPCOLORARBPROC                ClampColorARB;
    // GLSL
    PFNGLENABLEVERTEXATTRIBARRAYPROC      EnableVertexAttribArray;
    PFNGLVERTEXATTRIBPOINTERPROC          VertexAttribPointer;
    PFNGLDISABLEVERTEXATTRIBARRAYPROC     DisableVertexAttribArray;
    PFNGLGETATTRIBLOCATIONPROC            GetAttribLocation;
    PFNGLCREATESHADEROBJECTARBPROC        CreateShaderObjectARB;
    PFNGLSHADERSOURCEARBPROC              ShaderSourceARB;
    PFNGLCOMPILESHADERARBPROC             CompileShaderARB;
    PFNGLATTACHOBJECTARBPROC              AttachObjectARB;
    PFNGLDETACHOBJECTARBPROC              DetachObjectARB;
    PFNGLDELETEOBJECTARBPROC              DeleteObjectARB;
    PFNGLLINKPROGRAMARBPROC               LinkProgramARB;
    PFNGLUSEPROGRAMOBJECTARBPROC          UseProgramObjectARB;
    PFNGLGETINFOLOGARBPROC                GetInfoLogARB;
    PFNGLGETOBJECTPARAMETERIVARBPROC      GetObjectParameterivARB;   // compile and link status
    PFNGLUNIFORM1IARBPROC                 Uniform1iARB;
    PFNGLGETUNIFORMLOCATIONARBPROC        GetUniformLocationARB;
    PFNGLUNIFORM1FARBPROC                 Uniform1fARB;
    PFNGLUNIFORM2FARBPROC                 Uniform2fARB;
    PFNGLUNIFORM3FARBPROC                 Uniform3fARB;
    PFNGLUNIFORM4FARBPROC                 Uniform4fARB;
    PFNGLUNIFORMMATRIX3FVPROC             UniformMatrix3fv;
    PFNGLUNIFORMMATRIX4FVPROC             UniformMatrix4fv;
    PFNGLDRAWBUFFERSPROC                  DrawBuffers;
};

#endif
