#include "render/gl/nGL3Renderer.h"

#include <cstring>
#include <new>

#include "core/nLog.h"
#include "render/gl/nGLEntryPoints.h"
#include "resources/nMaterial.h"
#include "resources/nTexture.h"
#include "scene/nCamera.h"
#include "scene/nItem.h"

namespace {
// Engine matrices are row-major with column vectors; GL reads columns first.
void LoadTransposed(const nMatrix4& m)
{
    float t[16];
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col) t[col * 4 + row] = m.m[row * 4 + col];
    glLoadMatrixf(t);
}
}

void nGL3Renderer::ApplyCamera()
{
    if (!m_camera) return;
    SetViewMatrix(m_camera->GetInverseWorldMatrix());
    nCamera* camera = dynamic_cast<nCamera*>(m_camera);
    if (!camera) return;
    nMatrix4 projection;
    camera->ComputeProjectionMatrix(projection);
    SetProjectionMatrix(projection);
    camera->ComputeFrustum(0, -1.0f, -1.0f);
    m_frustum = camera->GetFrustum();
}

void nGL3Renderer::SetViewMatrix(const nMatrix4& m)
{
    m_view = m;
}

void nGL3Renderer::SetProjectionMatrix(const nMatrix4& m)
{
    SetMatrixMode(GL_PROJECTION);
    LoadTransposed(m);
    m_projection = m;
}

void nGL3Renderer::SetModelMatrix(const nMatrix4& m)
{
    m_modelView = m_view * m;
    SetMatrixMode(GL_MODELVIEW);
    LoadTransposed(m_modelView);
}

void nGL3Renderer::SetViewport(int32_t x, int32_t y, int32_t width, int32_t height)
{
    m_viewport[0] = x;
    m_viewport[1] = y;
    m_viewport[2] = width;
    m_viewport[3] = height;
    ApplyViewport(x, y, width, height);
}

void nGL3Renderer::GetViewport(int32_t* x, int32_t* y, int32_t* width, int32_t* height)
{
    if (x) *x = m_viewport[0];
    if (y) *y = m_viewport[1];
    if (width) *width = m_viewport[2];
    if (height) *height = m_viewport[3];
}

void nGL3Renderer::ApplyViewport(int32_t x, int32_t y, int32_t width, int32_t height)
{
    if (width < 0) width = 0;
    if (height < 0) height = 0;
    glViewport(x, y, width, height);
    glScissor(x, y, width, height);
    glEnable(GL_SCISSOR_TEST);
    // Display-buffer ratio: the render targets' size over the viewport's (the output's size
    // while there are no targets).
    const bool targets = m_targets[TargetCompose].IsValid();
    m_inverseViewportSize[0] = width ? 1.0f / width : 0.0f;
    m_inverseViewportSize[1] = height ? 1.0f / height : 0.0f;
    m_bufferToViewport[0] = width ? (targets ? m_bufferSize[0] : m_outputSize.x) / width : 0.0f;
    m_bufferToViewport[1] = height ? (targets ? m_bufferSize[1] : m_outputSize.y) / height : 0.0f;
}

void nGL3Renderer::ClearClipPlane()
{
    m_clipNormal = nVector(0.0f, 0.0f, 0.0f, 1.0f);
}

void nGL3Renderer::SetClipPlane(const nVector& point, const nVector& normal)
{
    if (!m_camera) return;
    const nMatrix4& inverse = m_camera->GetInverseWorldMatrix();
    const float* m = inverse.m;
    nVector n(m[0] * normal.x + m[1] * normal.y + m[2] * normal.z,
              m[4] * normal.x + m[5] * normal.y + m[6] * normal.z,
              m[8] * normal.x + m[9] * normal.y + m[10] * normal.z, 1.0f);
    nVector p(m[0] * point.x + m[1] * point.y + m[2] * point.z + m[3],
              m[4] * point.x + m[5] * point.y + m[6] * point.z + m[7],
              m[8] * point.x + m[9] * point.y + m[10] * point.z + m[11], 1.0f);
    m_clipNormal = n;
    m_clipDistance = -(n.x * p.x + n.y * p.y + n.z * p.z);
}

void nGL3Renderer::Clear(float red, float green, float blue, float depth, bool depthOnly)
{
    if (!m_open) return;
    // At scale 1 the scaled viewport is the stored one: applied once, for both steps.
    ApplyViewport((int32_t)(m_viewport[0] * m_renderScale), (int32_t)(m_viewport[1] * m_renderScale),
                  (int32_t)(m_viewport[2] * m_renderScale), (int32_t)(m_viewport[3] * m_renderScale));
    // The deferred path: the attribute targets take the colour with alpha 0, then the window.
    if (m_gbufferFramebuffer && !TestSystemFlag(RendererSystemDisableShader)) {
        m_gl->BindFramebufferEXT(GL_FRAMEBUFFER_EXT, m_gbufferFramebuffer);
        glClearColor(red, green, blue, 0.0f);
        for (int32_t target : {TargetAttr0, TargetAttr2, TargetAttr3, TargetAttr1}) {
            AttachColour(0, target);
            glClear(GL_COLOR_BUFFER_BIT);
        }
        m_gl->BindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    }
    BindTargetTexture(0);
    glClearColor(red, green, blue, 1.0f);
    glClearDepth(depth);
    glClear(depthOnly ? GL_DEPTH_BUFFER_BIT : (GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT));
    if (m_renderScale != 1.0f) ApplyViewport(m_viewport[0], m_viewport[1], m_viewport[2], m_viewport[3]);
}

void nGL3Renderer::BindTargetTexture(nTexture* texture)
{
    if (!m_gl || !m_gl->BindFramebufferEXT) return;
    if (!texture) {
        m_gl->BindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
        return;
    }
    GL_TextureData* data = static_cast<GL_TextureData*>(texture->GetRenderData());
    if (!data || !m_gl->FramebufferTexture2DEXT) return;
    // The window itself has no attachments: a texture goes only to a frame buffer object.
    GLint bound = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &bound);
    if (!bound) return;
    m_gl->FramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, data->name, 0);
}

bool nGL3Renderer::GrabToPicture(nPicture* picture)
{
    if (!picture || !m_open) return false;
    uint32_t width = (uint32_t)m_outputSize.x;
    uint32_t height = (uint32_t)m_outputSize.y;
    if (!picture->Allocate(width, height, PixelFormatRGBA8)) return false;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, (GLsizei)width, (GLsizei)height, GL_RGBA, GL_UNSIGNED_BYTE, picture->GetPixels());
    if (!picture->Convert(PixelFormatBGRA8)) return false;
    // GL reads the bottom row first; the picture's first row is the top of the screen.
    size_t rowBytes = (size_t)width * 4;
    uint8_t* row = new (std::nothrow) uint8_t[rowBytes];
    if (!row) return false;
    uint8_t* pixels = picture->GetPixels();
    for (uint32_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
        std::memcpy(row, pixels + top * rowBytes, rowBytes);
        std::memcpy(pixels + top * rowBytes, pixels + bottom * rowBytes, rowBytes);
        std::memcpy(pixels + bottom * rowBytes, row, rowBytes);
    }
    delete[] row;
    return true;
}

void nGL3Renderer::CopyToTexture(nTexture* texture)
{
    if (!texture) return;
    GL_TextureData* data = static_cast<GL_TextureData*>(texture->GetRenderData());
    if (!data) return;
    int32_t width = (int32_t)m_outputSize.x;
    int32_t height = (int32_t)m_outputSize.y;
    if ((uint32_t)width > texture->GetWidth()) width = (int32_t)texture->GetWidth();
    if ((uint32_t)height > texture->GetHeight()) height = (int32_t)texture->GetHeight();
    BindTextureData(0, data);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, width, height);
}

void nGL3Renderer::DrawLine(const nVector& from, const nVector& to, const nVector* colour)
{
    if (!m_lines) m_lines = new (std::nothrow) Line[kLineCapacity];
    if (!m_lines || m_lineCount >= kLineCapacity) {
        if (!m_lineListFull)
            *g_log << "[!] The line display list is full, please increase its capacity or flush it more frequently.\n";
        m_lineListFull = true;
        return;
    }
    Line& line = m_lines[m_lineCount++];
    line.from = from;
    line.to = to;
    line.colour = colour ? *colour : nVector(1.0f, 1.0f, 0.0f, 1.0f);
}

void nGL3Renderer::FlushLines()
{
    if (!m_open) return;
    SetModelMatrix(nMatrix4());
    glPushAttrib(GL_COLOR_BUFFER_BIT);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);
    glDisable(GL_LIGHTING);
    ResetTextureUnits(0);
    glBegin(GL_LINES);
    for (int32_t i = 0; i < m_lineCount; ++i) {
        const Line& line = m_lines[i];
        glColor4f(line.colour.x, line.colour.y, line.colour.z, line.colour.w);
        glVertex3f(line.from.x, line.from.y, line.from.z);
        glColor4f(line.colour.x, line.colour.y, line.colour.z, line.colour.w);
        glVertex3f(line.to.x, line.to.y, line.to.z);
    }
    glEnd();
    m_lineCount = 0;
    glPopAttrib();
    glDisable(GL_COLOR_MATERIAL);
    SetMaterialDiffuse(nVector(1.0f, 1.0f, 1.0f, 1.0f));
}

void nGL3Renderer::DrawTriangle(const nVector& a, const nVector& b, const nVector& c, const nVector* colour,
                                const nVector2* uvs, nTexture* texture, uint32_t renderFlags)
{
    if (!m_open) return;
    SetModelMatrix(nMatrix4());
    nVector tint = colour ? *colour : nVector(0.0f, 0.0f, 0.0f, 1.0f);
    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_POLYGON_BIT);
    if (texture) BindTextureData(0, static_cast<GL_TextureData*>(texture->GetRenderData()));

    glEnable(GL_BLEND);
    if (renderFlags & MaterialRenderAdd) glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    else glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    if (renderFlags & MaterialRenderDoubleSided) glDisable(GL_CULL_FACE);
    else glEnable(GL_CULL_FACE);
    if (renderFlags & MaterialRenderNoDepthWrite) glDepthMask(GL_FALSE);
    if (renderFlags & MaterialRenderNoDepthTest) glDepthFunc(GL_ALWAYS);
    glFrontFace(GL_CCW);
    glCullFace(GL_FRONT);

    const nVector* corners[3] = {&a, &b, &c};
    glBegin(GL_TRIANGLES);
    for (int i = 0; i < 3; ++i) {
        if (uvs) glTexCoord2f(uvs[i].x, uvs[i].y);
        glColor4f(tint.x, tint.y, tint.z, tint.w);
        glVertex3f(corners[i]->x, corners[i]->y, corners[i]->z);
    }
    glEnd();

    glPopAttrib();
    ResetTextureUnits(0);
}
