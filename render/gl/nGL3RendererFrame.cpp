// The frame: the render-queue operation, the deferred frame with its passes, the forward
// passes' fixed-function lights, the draw dispatch and the small quads the passes share.
#include "render/gl/nGL3Renderer.h"
#include "scene/nEmitter.h"

#include <cmath>

#include "core/nLog.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "render/gl/nGL3Shader.h"
#include "render/gl/nGLEntryPoints.h"
#include "resources/nTexture.h"
#include "scene/nCamera.h"
#include "scene/nItem.h"
#include "scene/nLight.h"

namespace {

const float kEmptyDepth = 65504.0f;  // the largest half float: "nothing drawn here" in attr0_map
const float kRadiansToDegrees = 57.29577951308232f;

bool RendererRegistryBool(nLinkedListId& registry, const char* path, bool fallback)
{
    nMetaTag* tag = FindMetaTagByPath(&registry, path, false);
    bool value = fallback;
    if (tag && !tag->GetValue().GetBool(&value)) value = fallback;
    return value;
}

}

// ---------------------------------------------------------------------------------------------
// The render-queue operation

void nGL3Renderer::RenderQueue()
{
    if (!m_camera || !m_open) return;
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    m_renderQueueTimer.Start(true);
    ResetState();
    nRenderablePrimitiveList list;
    BuildPrimitiveList(&list, 0);
    SetAmbientLight();
    if (TestSystemFlag(RendererSystemDisableShader)) RenderFixedFunctionFrame(&list);
    else if (m_gbufferFramebuffer) RenderDeferredFrame(&list);
    DeletePrimitiveList(&list);
    m_currentPrimitive = 0;
    if (m_gl->BindFramebufferEXT) m_gl->BindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    FlushLines();
    if (TestSystemFlag(RendererSystemEnableDebug)) {
        DrawDebugOverlay(true);
        DrawShadowMapThumbnails();
    }
    m_renderQueueTimer.Stop();
}

// ---------------------------------------------------------------------------------------------
// The fixed-function frame

void nGL3Renderer::RenderFixedFunctionFrame(nRenderablePrimitiveList* list)
{
    GL_TextureData* output = m_renderTarget ? static_cast<GL_TextureData*>(m_renderTarget->GetRenderData()) : 0;
    if (output && m_postFramebuffer) {
        m_gl->BindFramebufferEXT(GL_FRAMEBUFFER_EXT, m_postFramebuffer);
        m_gl->FramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, output->name, 0);
    }
    BeginFixedFunctionFrame();
    DrawPrimitiveList(list, 0);
    DrawPrimitiveList(list, 1);
    EndFixedFunctionFrame();
}

// ---------------------------------------------------------------------------------------------
// The deferred frame

void nGL3Renderer::RenderDeferredFrame(nRenderablePrimitiveList* list)
{
    ApplyViewport((int32_t)(m_viewport[0] * m_renderScale), (int32_t)(m_viewport[1] * m_renderScale),
                  (int32_t)(m_viewport[2] * m_renderScale), (int32_t)(m_viewport[3] * m_renderScale));
    m_gl->BindFramebufferEXT(GL_FRAMEBUFFER_EXT, m_gbufferFramebuffer);
    if (VelocityPassWanted()) RenderVelocityPass(list);
    RenderDepthNormalPass(list);
    RenderGBufferPass(list);
    if (m_camera->GetRegistry().FindPath("PostProcess:SSAO;")) RenderAmbientOcclusion();
    AttachColour(0, TargetCompose);
    RenderAmbientPass();
    RenderLights();
    if (m_fogEnabled) RenderFogPass();
    if (TestControlFlag(RendererControlFramebufferAsTexture))
        CopyToTarget(m_targets[TargetCompose].Get(), 1.0f, 0, m_targets[TargetAttr3].Get());
    ResetTextureUnits(0);
    m_gl->UseProgramObjectARB(0);
    AttachColour(0, TargetCompose);
    BeginFixedFunctionFrame();
    DrawPrimitiveList(list, 0);
    DrawPrimitiveList(list, 1);
    EndFixedFunctionFrame();
    RenderPostProcess();
    ApplyViewport(m_viewport[0], m_viewport[1], m_viewport[2], m_viewport[3]);
}

bool nGL3Renderer::VelocityPassWanted()
{
    // Motion blur reads the velocities: the pass follows its key and its exclusion.
    return m_camera && m_camera->GetRegistry().FindPath("PostProcess:MotionBlur;") &&
           !RendererRegistryBool(m_registry, "PostProcess:Exclusion:MotionBlur;", false);
}

void nGL3Renderer::RenderVelocityPass(nRenderablePrimitiveList* list)
{
    AttachColour(0, TargetVelocity);
    // Pixels no moving object covers read as still, not as last frame's motion.
    ClearTarget(0.0f, 0.0f, 0.0f, 0.0f, 1.0f, GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    DrawPrimitiveList(list, 4);
}

void nGL3Renderer::RenderDepthNormalPass(nRenderablePrimitiveList* list)
{
    AttachColour(0, TargetAttr0);
    ClearTarget(0.0f, 0.0f, 0.0f, kEmptyDepth, 1.0f, GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    DrawPrimitiveList(list, 2);
}

void nGL3Renderer::RenderGBufferPass(nRenderablePrimitiveList* list)
{
    AttachColour(0, TargetAttr1);
    AttachColour(1, TargetAttr2);
    AttachColour(2, TargetAttr3);
    if (m_gl->CheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT) != GL_FRAMEBUFFER_COMPLETE_EXT)
        *g_log << "[!] FBO incomplete.\n";
    const GLenum buffers[3] = {GL_COLOR_ATTACHMENT0_EXT, GL_COLOR_ATTACHMENT1_EXT, GL_COLOR_ATTACHMENT2_EXT};
    if (m_gl->DrawBuffers) m_gl->DrawBuffers(3, buffers);
    glDepthMask(GL_FALSE);
    glDepthFunc(GL_LEQUAL);
    DrawPrimitiveList(list, 3);
    glDepthMask(GL_TRUE);
    AttachColour(1, -1);
    AttachColour(2, -1);
    if (m_gl->DrawBuffers) m_gl->DrawBuffers(1, buffers);
}

// ---------------------------------------------------------------------------------------------
// Forward passes: fixed-function state and lights

void nGL3Renderer::BeginFixedFunctionFrame()
{
    glPushAttrib(GL_FOG_BIT | GL_LIGHTING_BIT);
    glEnable(GL_LIGHTING);
    glEnable(GL_ALPHA_TEST);
    if (m_fogEnabled) {
        glFogfv(GL_FOG_COLOR, &m_fogColour.x);
        glFogf(GL_FOG_START, m_fogNear);
        glFogf(GL_FOG_END, m_fogFar);
        glEnable(GL_FOG);
    }
    m_fixedLightCount = 0;
    if (m_propertyCallback) {
        nPropertyRequest request;
        const nVector eye = m_camera->GetWorldMatrix().GetColumn(3, true);
        request.point[0] = eye.x, request.point[1] = eye.y, request.point[2] = eye.z;
        request.frustum = &m_frustum;
        if (RequestProperty(PropertyRequestVisibleLights, &request) && request.answered)
            for (uint32_t i = 0; i < request.count && m_fixedLightCount < 8; ++i)
                if (nLight* light = dynamic_cast<nLight*>(request.items[i])) m_fixedLights[m_fixedLightCount++] = light;
        SetupFixedLights();
    } else {
        *g_log << "[*] No property request callback function.\n";
    }
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
}

void nGL3Renderer::EndFixedFunctionFrame()
{
    glDisable(GL_ALPHA_TEST);
    glPopAttrib();
}

void nGL3Renderer::SetAmbientLight()
{
    nPropertyRequest request;
    if (!RequestProperty(PropertyRequestAmbient, &request) || !request.answered) return;
    const float ambient[4] = {request.ambient[0], request.ambient[1], request.ambient[2], 1.0f};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
}

void nGL3Renderer::SetupFixedLights()
{
    glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, GL_TRUE);
    SetModelMatrix(nMatrix4());
    for (int32_t i = 0; i < m_fixedLightCount; ++i) SetupFixedLight(i, m_fixedLights[i]);
    for (int32_t i = m_fixedLightCount; i < 8; ++i) glDisable(GL_LIGHT0 + i);
}

int32_t nGL3Renderer::FixedSpotCutoff(float coneAngle, float edgeAngle)
{
    const int32_t cutoff = (int32_t)((coneAngle + edgeAngle) * kRadiansToDegrees) / 2;
    // GL takes a spot cutoff of 0 to 90 (or 180, no spot at all).
    return cutoff < 0 ? 0 : (cutoff > 90 ? 90 : cutoff);
}

void nGL3Renderer::SetupFixedLight(int32_t index, nLight* light)
{
    const GLenum id = GL_LIGHT0 + index;
    glEnable(id);
    const nMatrix4& world = light->GetWorldMatrix();
    nVector position = world.GetColumn(3, true);
    position.w = 1.0f;
    const nVector diffuse = light->GetDiffuse() * light->GetDiffuseIntensity();
    const nVector specular = light->GetSpecular() * light->GetSpecularIntensity();
    glLightfv(id, GL_DIFFUSE, &diffuse.x);
    glLightfv(id, GL_SPECULAR, &specular.x);
    const float down[3] = {0.0f, 0.0f, -1.0f};
    switch (light->GetType()) {
        case LightTypeParallel: {
            const nVector z = world.GetColumn(2, true);
            position = nVector(-z.x, -z.y, -z.z, 0.0f);
            glLightf(id, GL_SPOT_EXPONENT, 0.0f);
            glLightf(id, GL_SPOT_CUTOFF, 180.0f);
            glLightfv(id, GL_SPOT_DIRECTION, down);
            break;
        }
        case LightTypeSpot: {
            const nVector z = world.GetColumn(2, true);
            const float direction[3] = {z.x, z.y, z.z};
            glLightf(id, GL_SPOT_CUTOFF, (float)FixedSpotCutoff(light->GetConeAngle(), light->GetEdgeAngle()));
            glLightf(id, GL_SPOT_EXPONENT, 16.0f);
            glLightfv(id, GL_SPOT_DIRECTION, direction);
            break;
        }
        case LightTypeNone:
        case LightTypePoint:
            glLightf(id, GL_SPOT_EXPONENT, 0.0f);
            glLightf(id, GL_SPOT_CUTOFF, 180.0f);
            glLightfv(id, GL_SPOT_DIRECTION, down);
            break;
        default:
            break;
    }
    glLightfv(id, GL_POSITION, &position.x);
    glLightf(id, GL_LINEAR_ATTENUATION, light->GetRange() > 0.0f ? 7.0f / light->GetRange() : 0.0f);
}

// ---------------------------------------------------------------------------------------------
// Dispatch

void nGL3Renderer::DrawPrimitiveList(nRenderablePrimitiveList* list, int32_t pass)
{
    ++m_statistics.queuePasses;
    const bool backwards = pass == 1;
    for (nRenderablePrimitiveList::Node* n = backwards ? list->GetTail() : list->GetHead(); n;
         n = backwards ? n->prev : n->next) {
        m_currentPrimitive = n->value;
        switch (n->value->kind) {
            case RenderablePrimitiveGeometry:
                DrawGeometry(pass, static_cast<nGeometry*>(n->value->payload));
                break;
            case RenderablePrimitiveEmitter:
                DrawEmitter(pass, static_cast<nEmitter*>(n->value->payload));
                break;
            case RenderablePrimitiveTerrain:
                DrawTerrainPatch(static_cast<nTerrainNode*>(n->value->payload), pass);
                break;
            default:
                break;
        }
    }
    m_currentPrimitive = 0;
}

// ---------------------------------------------------------------------------------------------
// Shared quads and clearing

void nGL3Renderer::DrawFullScreenQuad(bool textured, float uMax, float vMax, float extentX, float extentY)
{
    glPushAttrib(GL_DEPTH_BUFFER_BIT | GL_POLYGON_BIT);
    glDepthFunc(GL_ALWAYS);
    glDepthMask(GL_FALSE);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glFrontFace(GL_CCW);
    SetMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    SetMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const float x1 = 2.0f * extentX - 1.0f, y1 = 2.0f * extentY - 1.0f;
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glBegin(GL_QUADS);
    if (textured) glTexCoord2f(0.0f, 0.0f);
    glVertex3f(-1.0f, -1.0f, 1.0f);
    if (textured) glTexCoord2f(uMax, 0.0f);
    glVertex3f(x1, -1.0f, 1.0f);
    if (textured) glTexCoord2f(uMax, vMax);
    glVertex3f(x1, y1, 1.0f);
    if (textured) glTexCoord2f(0.0f, vMax);
    glVertex3f(-1.0f, y1, 1.0f);
    glEnd();
    SetMatrixMode(GL_PROJECTION);
    glPopMatrix();
    SetMatrixMode(GL_MODELVIEW);
    glPopAttrib();
}

void nGL3Renderer::DrawNearPlaneQuad(bool textured, float uMax, float vMax)
{
    const float d = CameraNear() + 0.01f;
    const float h = 100.0f * d;
    glPushAttrib(GL_DEPTH_BUFFER_BIT | GL_POLYGON_BIT);
    glDepthFunc(GL_ALWAYS);
    glDepthMask(GL_FALSE);
    // The quad faces the camera whatever its winding reads as.
    glDisable(GL_CULL_FACE);
    SetModelMatrix(m_camera->GetWorldMatrix());
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glBegin(GL_QUADS);
    if (textured) glTexCoord2f(0.0f, 0.0f);
    glVertex3f(-h, -h, d);
    if (textured) glTexCoord2f(uMax, 0.0f);
    glVertex3f(h, -h, d);
    if (textured) glTexCoord2f(uMax, vMax);
    glVertex3f(h, h, d);
    if (textured) glTexCoord2f(0.0f, vMax);
    glVertex3f(-h, h, d);
    glEnd();
    glPopAttrib();
}

void nGL3Renderer::ClearTarget(float r, float g, float b, float a, float depth, uint32_t mask)
{
    glClearDepth(depth);
    glClearColor(r, g, b, a);
    glClear(mask);
}

float nGL3Renderer::CameraNear()
{
    nCamera* camera = dynamic_cast<nCamera*>(m_camera);
    return camera ? camera->GetNear() : 0.1f;
}
