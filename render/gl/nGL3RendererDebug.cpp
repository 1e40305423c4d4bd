// The debug overlay drawn after the frame when the system word has EnableDebug: the visible
// lights' volumes in wireframe and thumbnails of the attribute targets and shadow maps.
#include "render/gl/nGL3Renderer.h"

#include <cmath>

#include "render/gl/nGLEntryPoints.h"
#include "resources/nRasterFont.h"
#include "resources/nTexture.h"
#include "scene/nItem.h"
#include "scene/nLight.h"

namespace {
const float kPi = 3.14159265358979f;
}

bool nGL3Renderer::CanWriteWith(nRasterFont* font)
{
    return font && font->GetPageTexture(0);
}

void nGL3Renderer::DrawScreenQuad(nTexture* texture, float x, float y, float width, float height, bool full)
{
    if (!m_open || TestSystemFlag(RendererSystemDisableShader) || !texture) return;
    GL_TextureData* data = static_cast<GL_TextureData*>(texture->GetRenderData());
    if (!data) return;
    const float v = full || m_bufferToViewport[1] <= 0.0f ? 1.0f : 1.0f / m_bufferToViewport[1];
    glPushAttrib(GL_DEPTH_BUFFER_BIT | GL_POLYGON_BIT);
    m_gl->UseProgramObjectARB(0);
    glDepthMask(GL_FALSE);
    glDisable(GL_CULL_FACE);
    glDepthFunc(GL_ALWAYS);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    BindTextureData(0, data);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(x, y, -1.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(x + width, y, -1.0f);
    glTexCoord2f(1.0f, v);
    glVertex3f(x + width, y + height, -1.0f);
    glTexCoord2f(0.0f, v);
    glVertex3f(x, y + height, -1.0f);
    glEnd();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
    ResetTextureUnits(0);
}

void nGL3Renderer::DrawDebugOverlay(bool thumbnails)
{
    DrawLightVolumesWireframe();
    if (!thumbnails) return;
    DrawScreenQuad(m_targets[TargetAttr0].Get(), -0.9f, 0.4f, 0.5f, 0.5f, false);
    DrawScreenQuad(m_targets[TargetAttr1].Get(), -0.9f, -0.2f, 0.5f, 0.5f, false);
    DrawScreenQuad(m_targets[TargetAttr2].Get(), -0.3f, 0.4f, 0.5f, 0.5f, false);
    DrawScreenQuad(m_targets[TargetAttr3].Get(), -0.3f, -0.2f, 0.5f, 0.5f, false);
}

void nGL3Renderer::DrawShadowMapThumbnails()
{
    for (int32_t i = 0; i < kShadowMapCount; ++i)
        DrawScreenQuad(m_shadowMaps[i].Get(), -0.9f + 0.45f * i, -0.9f, 0.4f, 0.4f, true);
}

float nGL3Renderer::DebugPointVolumeRadius(float range)
{
    return range * (1.0f + (1.0f - std::cos(kPi / 8.0f)) / std::cos(kPi / 4.0f));
}

float nGL3Renderer::DebugSpotVolumeHalfSize(float range, float coneAngle, float edgeAngle)
{
    return range * std::tan(coneAngle + edgeAngle) / std::cos(kPi / 4.0f);
}

void nGL3Renderer::DrawLightVolumesWireframe()
{
    if (!m_propertyCallback || !m_camera) return;
    glPushAttrib(GL_POLYGON_BIT | GL_DEPTH_BUFFER_BIT);
    m_gl->UseProgramObjectARB(0);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glDisable(GL_CULL_FACE);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    nPropertyRequest request;
    const nVector eye = m_camera->GetWorldMatrix().GetColumn(3, true);
    request.point[0] = eye.x, request.point[1] = eye.y, request.point[2] = eye.z;
    request.frustum = &m_frustum;
    do {
        if (!RequestProperty(PropertyRequestVisibleLights, &request) || !request.answered) break;
        for (uint32_t i = 0; i < request.count; ++i) {
            nLight* light = dynamic_cast<nLight*>(request.items[i]);
            if (!light) continue;
            if (light->GetType() == LightTypePoint) {
                SetModelMatrix(light->GetWorldMatrix());
                DrawSphereVolume(DebugPointVolumeRadius(light->GetRange()));
            } else if (light->GetType() == LightTypeSpot) {
                SetModelMatrix(light->GetWorldMatrix());
                DrawPyramidVolume(light->GetRange(),
                                  DebugSpotVolumeHalfSize(light->GetRange(), light->GetConeAngle(), light->GetEdgeAngle()));
            }
        }
    } while (request.cursor);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glPopAttrib();
}
