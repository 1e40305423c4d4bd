// Volumetric light: the light shaft of a volumetric light, gathered along the view rays through
// its volume at a quarter of the resolution and blended over the composed picture, after the
// light's own pass. Shadowed variants leave out what the light's shadow maps hide.
#include "render/gl/nGL3Renderer.h"

#include <cmath>

#include "render/gl/nGL3Shader.h"
#include "render/gl/nGLEntryPoints.h"
#include "resources/nTexture.h"
#include "scene/nCamera.h"
#include "scene/nLight.h"

namespace {

nVector ToView(const nMatrix4& inverseCamera, const nVector& p, float w)
{
    const float* m = inverseCamera.m;
    return nVector(m[0] * p.x + m[1] * p.y + m[2] * p.z + m[3] * w, m[4] * p.x + m[5] * p.y + m[6] * p.z + m[7] * w,
                   m[8] * p.x + m[9] * p.y + m[10] * p.z + m[11] * w, 0.0f);
}

}

bool nGL3Renderer::SetupVolumetricUniforms(nLight* light)
{
    GL_LightData* data = light ? static_cast<GL_LightData*>(light->GetRenderData()) : 0;
    if (!data || !data->volumeShader) return false;
    nShader* shader = data->volumeShader;
    const bool mapped = light->GetShadow() == LightShadowMap && TestControlFlag(RendererControlShadowMapping);
    // A shadowed shaft reads the shared maps: only while they hold this light's shadow.
    if (mapped && !data->shadowReady) return false;
    const int32_t program = UseProgram(shader);
    if (!program) return false;

    // 1. What every shaft reads. The pass runs at the effect targets' size, so the lookup into
    // the full-size attribute target is scaled up by the effect divisor in every mode.
    BindTargetSampler(shader, 0, TargetAttr0, "gbuffer0");
    SetUniform1f(program, "framebuffer_fx_scaler", (float)m_effectDivisor);
    SetUniform2f(program, "inverse_buffer_size", m_inverseBufferSize[0], m_inverseBufferSize[1]);
    SetUniform1f(program, "view_depth_offset", CameraNear());
    SetUniform1f(program, "volumetric_step", light->GetVolumetricSampleStep());
    SetUniform1f(program, "volumetric_thickness", light->GetVolumetricThickness());
    SetUniform1f(program, "volumetric_range", light->GetVolumetricRange());
    const nVector colour = light->GetDiffuse() * light->GetDiffuseIntensity();
    SetUniform3f(program, "volumetric_color", colour.x, colour.y, colour.z);
    // Every shadowed shaft looks its samples up as the light programs do, with the light's bias.
    SetUniform1f(program, "shadow_bias", light->GetShadowBias());

    const nMatrix4& cameraInverse = m_camera->GetInverseWorldMatrix();
    const nMatrix4& lightWorld = light->GetWorldMatrix();
    const nVector position = ToView(cameraInverse, lightWorld.GetColumn(3, true), 1.0f);
    switch (light->GetType()) {
        case LightTypePoint:
            // 2. Point: its position; the six faces when shadowed.
            SetUniform3f(program, "position_view_space", position.x, position.y, position.z);
            if (mapped) {
                if (!data->pointShadow) return false;
                BindPointShadowUniforms(shader, data->pointShadow, 1, light);
            }
            return true;
        case LightTypeParallel:
            // 3. Parallel: only shadowed (there is no unshadowed parallel shaft).
            if (!data->splitShadow) return false;
            BindSplitShadowUniforms(shader, data->splitShadow, 1);
            return true;
        case LightTypeSpot: {
            // 4. Spot: its position, axis and cone; map 0 when shadowed.
            const nVector d = ToView(cameraInverse, lightWorld.GetColumn(2, true), 0.0f);
            SetUniform3f(program, "position_view_space", position.x, position.y, position.z);
            SetUniform3f(program, "direction_view_space", d.x, d.y, d.z);
            SetUniform1f(program, "cone_angle", std::cos(light->GetConeAngle() + light->GetEdgeAngle()));
            if (mapped) {
                SetUniform1f(program, "inverse_shadowmap_size", m_shadowMapInverse);
                BindTextureSampler(shader, 1, m_shadowMaps[0].Get(), "volume_view_depth_texture");
                nMatrix4 projection;
                light->GetProjectionMatrix(projection);
                SetUniformMatrix4(program, "volume_projection_matrix",
                                  projection * light->GetInverseWorldMatrix() * m_camera->GetWorldMatrix());
            }
            return true;
        }
        default:
            // 5. No shaft for other types.
            return false;
    }
}

void nGL3Renderer::RenderVolumetricLight(nLight* light)
{
    nTexture* fx0 = m_targets[TargetFx0].Get();
    GL_TextureData* fx0Data = fx0 ? static_cast<GL_TextureData*>(fx0->GetRenderData()) : 0;
    if (!fx0Data || !m_postFramebuffer || !SetupVolumetricUniforms(light)) {
        ResetTextureUnits(0);
        m_gl->UseProgramObjectARB(0);
        return;
    }
    // 1. Saved; the shaft is blended by its alpha.
    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_ENABLE_BIT);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    // 2. Gathered at a quarter of the frame's viewport into fx0_map, cleared to nothing.
    glDisable(GL_BLEND);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    m_gl->BindFramebufferEXT(GL_FRAMEBUFFER_EXT, m_postFramebuffer);
    AttachColour(0, TargetFx0);
    ClearTarget(0.0f, 0.0f, 0.0f, 0.0f, 1.0f, GL_COLOR_BUFFER_BIT);
    glPushAttrib(GL_VIEWPORT_BIT);
    const float scale = m_renderScale / (float)m_effectDivisor;
    glViewport((GLint)(m_viewport[0] * scale), (GLint)(m_viewport[1] * scale), (GLsizei)(m_viewport[2] * scale),
               (GLsizei)(m_viewport[3] * scale));

    // 3. Through the light's volume, or over the whole view for a parallel light.
    if (light->GetType() == LightTypeParallel) DrawNearPlaneQuad(false, 1.0f, 1.0f);
    else DrawLightVolume(light);

    // 4. Blended over the composed picture.
    glPopAttrib();
    ResetTextureUnits(0);
    m_gl->UseProgramObjectARB(0);
    m_gl->BindFramebufferEXT(GL_FRAMEBUFFER_EXT, m_gbufferFramebuffer);
    glEnable(GL_BLEND);
    glDisable(GL_LIGHTING);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
    BindTextureUnit(0, fx0Data->name);
    DrawBufferQuad();

    // 5. Put back.
    glPopAttrib();
    ResetTextureUnits(0);
}
