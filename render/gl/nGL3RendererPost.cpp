// Post-processing: the camera's chain of effects over the composed picture, ping-ponging
// between two full-size targets, and the presentation of the result at the render scale.
#include "render/gl/nGL3Renderer.h"

#include <cmath>

#include "core/nLog.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "core/nRandom.h"
#include "render/gl/nGL3Shader.h"
#include "render/gl/nGLEntryPoints.h"
#include "resources/nTexture.h"
#include "scene/nItem.h"

namespace {

const float kQuarterTurn = 0.78539816339745f;  // the streak's default angle

float CameraFloat(nItem* camera, const char* path, float fallback)
{
    return camera->GetRegistry().GetFloatValue(path, fallback);
}

bool CameraBool(nItem* camera, const char* path, bool fallback)
{
    nMetaTag* tag = camera->GetRegistry().FindPath(path);
    bool value = fallback;
    if (tag && !tag->GetValue().GetBool(&value)) value = fallback;
    return value;
}

bool RegistryBool(nLinkedListId& registry, const char* path, bool fallback)
{
    nMetaTag* tag = FindMetaTagByPath(&registry, path, false);
    bool value = fallback;
    if (tag && !tag->GetValue().GetBool(&value)) value = fallback;
    return value;
}

// True for 2, 4, 8, ... (a scale presented by halving steps).
bool IsPowerOfTwoScale(float scale)
{
    if (scale < 2.0f) return false;
    float a = scale;
    while (a > 1.0f) a *= 0.5f;
    return a == 1.0f;
}

}

// ---------------------------------------------------------------------------------------------
// The chain

const nGL3Renderer::PostEffect nGL3Renderer::kPostEffects[nGL3Renderer::kPostEffectCount] = {
    {"MotionBlur", &nGL3Renderer::RenderMotionBlur},
    {"Dof", &nGL3Renderer::RenderDepthOfField},
    {"RadialBlur", &nGL3Renderer::RenderRadialBlur},
    {"Bloom", &nGL3Renderer::RenderBloom},
    {"ChromDisp", &nGL3Renderer::RenderChromaticDispersion},
    {"HueSaturation", &nGL3Renderer::RenderHueSaturation},
    {"Sharpen", &nGL3Renderer::RenderSharpen},
    {"Noise", &nGL3Renderer::RenderNoise}};

void nGL3Renderer::RenderPostProcess()
{
    if (!m_postFramebuffer) return;
    // 1. The pair: the composed picture and the free attribute target.
    m_gl->BindFramebufferEXT(GL_FRAMEBUFFER_EXT, m_postFramebuffer);
    int32_t source = TargetCompose, destination = TargetAttr3;
    m_postEffectsRun = 0;
    // 2. The camera's effects, in order, skipping the excluded ones.
    if (m_camera && m_camera->GetRegistry().FindPath("PostProcess;")) {
        for (int32_t i = 0; i < kPostEffectCount; ++i) {
            const PostEffect& effect = kPostEffects[i];
            nString path("PostProcess:");
            path += effect.name;
            path += ";";
            if (!m_camera->GetRegistry().FindPath(path.GetCStr())) continue;
            if (PostEffectExcluded(effect.name)) continue;
            m_gl->BindFramebufferEXT(GL_FRAMEBUFFER_EXT, m_postFramebuffer);
            if (!(this->*effect.run)(source, destination)) continue;
            m_postEffectsRun |= 1u << i;
            const int32_t swap = source;
            source = destination, destination = swap;
        }
    }
    // 3. Presentation; 4. a clean state.
    PresentPostSource(source, destination);
    glDisable(GL_BLEND);
    m_gl->UseProgramObjectARB(0);
    ResetTextureUnits(0);
}

bool nGL3Renderer::PostEffectExcluded(const char* effect)
{
    nString path("PostProcess:Exclusion:");
    path += effect;
    path += ";";
    return RegistryBool(m_registry, path.GetCStr(), false);
}

int32_t nGL3Renderer::BeginPostPass(nShader* program, int32_t target)
{
    m_gl->BindFramebufferEXT(GL_FRAMEBUFFER_EXT, m_postFramebuffer);
    AttachColour(0, target);
    const int32_t handle = UseProgram(program);
    if (handle) SetUniform2f(handle, "inverse_buffer_size", m_inverseBufferSize[0], m_inverseBufferSize[1]);
    return handle;
}

void nGL3Renderer::EndPostPass()
{
    m_gl->UseProgramObjectARB(0);
    ResetTextureUnits(0);
}

void nGL3Renderer::DrawBufferQuad()
{
    DrawFullScreenQuad(true, 1.0f, 1.0f, m_bufferToViewport[0], m_bufferToViewport[1]);
}

// ---------------------------------------------------------------------------------------------
// Effects

bool nGL3Renderer::RenderMotionBlur(int32_t source, int32_t destination)
{
    if (RegistryBool(m_registry, "PostProcess:Exclusion:MotionBlur;", false)) return false;
    const float strength = CameraFloat(m_camera, "PostProcess:MotionBlur:Strength;", 0.5f);
    if (strength == 0.0f) return false;
    nShader* shader = GetCoreShader("core::motionblur");
    const int32_t program = BeginPostPass(shader, destination);
    if (!program) return false;
    SetUniform2f(program, "inverse_display_size", m_inverseViewportSize[0], m_inverseViewportSize[1]);
    SetUniform1f(program, "strength", strength);
    BindTargetSampler(shader, 0, TargetAttr0, "nrm_dpth");
    BindTargetSampler(shader, 1, TargetVelocity, "velocity_map");
    BindTargetSampler(shader, 2, source, "pp_input");
    DrawFullScreenQuad(false, 1.0f, 1.0f, 1.0f, 1.0f);
    EndPostPass();
    return true;
}

bool nGL3Renderer::RenderDepthOfField(int32_t source, int32_t destination)
{
    const float fStop = CameraFloat(m_camera, "PostProcess:Dof:FStop;", 0.0f);
    const float focalDistance = CameraFloat(m_camera, "PostProcess:Dof:FDist;", 0.0f);
    if (fStop == 0.0f || focalDistance == 0.0f) return false;
    if (RegistryBool(m_registry, "PostProcess:Dof:Fast;", true)) RenderFastDepthOfField(source, fStop, focalDistance);
    else RenderFullDepthOfField(source, destination, fStop, focalDistance);
    // The blurred picture always ends in the source.
    return false;
}

void nGL3Renderer::RenderFastDepthOfField(int32_t source, float fStop, float focalDistance)
{
    nShader* across = GetCoreShader("core::h_dof");
    nShader* down = GetCoreShader("core::v_dof");
    if (!across || !down) return;
    // 1. A quarter-size copy; 2, 3. blurred across and down by the distance from focus.
    m_gl->BindFramebufferEXT(GL_FRAMEBUFFER_EXT, m_postFramebuffer);
    CopyToTarget(m_targets[source].Get(), (float)m_effectDivisor, 0, m_targets[TargetFx0].Get());
    const struct
    {
        nShader* shader;
        int32_t from, to;
    } steps[] = {{across, TargetFx0, TargetFx1}, {down, TargetFx1, TargetFx0}};
    for (const auto& step : steps) {
        const int32_t program = BeginPostPass(step.shader, step.to);
        SetUniform1f(program, "framebuffer_fx_scaler", (float)m_effectDivisor);
        SetUniform1f(program, "blur_size", 32.0f);
        SetUniform1f(program, "f_stop", fStop);
        SetUniform1f(program, "focal_distance", focalDistance);
        BindTargetSampler(step.shader, 0, step.from, "source");
        BindTargetSampler(step.shader, 1, TargetAttr0, "nrm_dpth");
        DrawBufferQuad();
        EndPostPass();
    }
    // 4. Over the source where it is out of focus (the blurred alpha is the sharpness).
    ResetTextureUnits(1);
    AttachColour(0, source);
    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_ENABLE_BIT);
    glDisable(GL_LIGHTING);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA);
    BindTextureData(0, static_cast<GL_TextureData*>(m_targets[TargetFx0]->GetRenderData()));
    DrawBufferQuad();
    glPopAttrib();
    ResetTextureUnits(0);
}

void nGL3Renderer::RenderFullDepthOfField(int32_t source, int32_t destination, float fStop, float focalDistance)
{
    nShader* radius = GetCoreShader("core::dof_radius");
    nShader* spread = GetCoreShader("core::dof_spread");
    nShader* blur = GetCoreShader("core::dof_blur");
    // Optional programs: without all three the picture is left as it is.
    if (!radius || !spread || !blur) return;
    const float viewportWidth = m_viewport[2] * m_renderScale, viewportHeight = m_viewport[3] * m_renderScale;
    int32_t program = BeginPostPass(radius, TargetVelocity);
    SetUniform1f(program, "framebuffer_fx_scaler", (float)m_effectDivisor);
    SetUniform1f(program, "blur_size", viewportWidth > 0.0f ? 20.0f * viewportHeight / viewportWidth : 0.0f);
    SetUniform1f(program, "f_stop", fStop);
    SetUniform1f(program, "f_dist", focalDistance);
    BindTargetSampler(radius, 0, TargetAttr0, "nrm_dpth");
    DrawBufferQuad();
    EndPostPass();
    program = BeginPostPass(spread, destination);
    SetUniform2f(program, "display_buffer_ratio", m_bufferToViewport[0], m_bufferToViewport[1]);
    SetUniform1f(program, "framebuffer_fx_scaler", (float)m_effectDivisor);
    BindTargetSampler(spread, 0, source, "source");
    BindTargetSampler(spread, 1, TargetVelocity, "coc_texture");
    BindTextureSampler(spread, 2, m_noiseTexture.Get(), "noise_texture");
    DrawBufferQuad();
    EndPostPass();
    program = BeginPostPass(blur, source);
    SetUniform1f(program, "framebuffer_fx_scaler", (float)m_effectDivisor);
    BindTargetSampler(blur, 0, destination, "source");
    BindTargetSampler(blur, 1, TargetVelocity, "coc_texture");
    DrawBufferQuad();
    EndPostPass();
}

bool nGL3Renderer::RenderRadialBlur(int32_t source, int32_t destination)
{
    const float strength = CameraFloat(m_camera, "PostProcess:RadialBlur:Strength;", 0.25f);
    if (strength == 0.0f) return false;
    nShader* shader = GetCoreShader("core::radial_blur");
    const int32_t program = BeginPostPass(shader, destination);
    if (!program) return false;
    const float x = CameraFloat(m_camera, "PostProcess:RadialBlur:CenterX;", 0.5f);
    const float y = CameraFloat(m_camera, "PostProcess:RadialBlur:CenterY;", 0.5f);
    SetUniform2f(program, "display_buffer_ratio", m_bufferToViewport[0], m_bufferToViewport[1]);
    SetUniform2f(program, "center", x / m_bufferToViewport[0], y / m_bufferToViewport[1]);
    SetUniform1f(program, "strength", strength * 0.1f);
    BindTargetSampler(shader, 0, source, "source");
    BindTextureSampler(shader, 1, m_noiseTexture.Get(), "noise_texture");
    DrawFullScreenQuad(false, 1.0f, 1.0f, 1.0f, 1.0f);
    EndPostPass();
    return true;
}

bool nGL3Renderer::RenderBloom(int32_t source, int32_t destination)
{
    const float strength = CameraFloat(m_camera, "PostProcess:Bloom:Strength;", 1.0f);
    if (strength == 0.0f) return false;
    nShader* bright = GetCoreShader("core::hdr_no_ldr");
    nShader* combine = GetCoreShader("core::tone_mapping");
    if (!bright || !combine) return false;
    const float viewportWidth = m_viewport[2] * m_renderScale, viewportHeight = m_viewport[3] * m_renderScale;

    // 1. Bright pass into hdr_map.
    int32_t program = UseProgram(bright);
    SetUniform1f(program, "strength", strength);
    SetUniform1f(program, "exponent", CameraFloat(m_camera, "PostProcess:Bloom:Exponent;", 4.0f));
    SetUniform1f(program, "threshold", CameraFloat(m_camera, "PostProcess:Bloom:Threshold;", 0.95f));
    m_gl->BindFramebufferEXT(GL_FRAMEBUFFER_EXT, m_postFramebuffer);
    CopyToTarget(m_targets[source].Get(), (float)m_effectDivisor, bright, m_targets[TargetHdr].Get());

    // 2. Blurred both ways. The across pass takes its reach over the viewport's height and
    // the down pass over its width, as the effect has always been tuned.
    const float radius = CameraFloat(m_camera, "PostProcess:Bloom:Radius;", 12.0f);
    nShader* across = GetCoreShader("core::h_gaussian_blur");
    nShader* down = GetCoreShader("core::v_gaussian_blur");
    if (radius > 0.01f && across && down) {
        const struct
        {
            nShader* shader;
            int32_t from, to;
            float size;
        } steps[] = {
            {across, TargetHdr, TargetFx1, radius / viewportHeight}, {down, TargetFx1, TargetHdr, radius / viewportWidth}};
        for (const auto& step : steps) {
            program = BeginPostPass(step.shader, step.to);
            SetUniform1f(program, "blur_size", step.size);
            SetUniform1f(program, "framebuffer_fx_scaler", (float)m_effectDivisor);
            BindTargetSampler(step.shader, 0, step.from, "source");
            DrawBufferQuad();
            EndPostPass();
        }
    }

    // 3. Streaks.
    const int32_t glow = CameraBool(m_camera, "PostProcess:Bloom:Streak:Enabled;", false) ? RenderBloomStreaks() : TargetHdr;

    // 4. Combined with the source into the destination.
    program = BeginPostPass(combine, destination);
    SetUniform1f(program, "framebuffer_fx_scaler", (float)m_effectDivisor);
    SetUniform1f(program, "strength", strength);
    BindTargetSampler(combine, 0, source, "source");
    BindTargetSampler(combine, 1, glow, "bloom");
    DrawBufferQuad();
    EndPostPass();
    return true;
}

int32_t nGL3Renderer::RenderBloomStreaks()
{
    nShader* streak = GetCoreShader("core::light_streak");
    if (!streak) return TargetHdr;
    const float angle = CameraFloat(m_camera, "PostProcess:Bloom:Streak:Angle;", kQuarterTurn);
    const float attenuation = CameraFloat(m_camera, "PostProcess:Bloom:Streak:Attenuation;", 0.9f);
    const bool cross = CameraBool(m_camera, "PostProcess:Bloom:Streak:CrossShaped;", false);
    const float c = std::cos(angle), s = std::sin(angle);
    DrawStreak(streak, c, s, attenuation, TargetFx1);
    if (!cross) return TargetFx1;
    DrawStreak(streak, -s, c, attenuation, TargetFx2);
    // The first streak added onto the second.
    m_gl->BindFramebufferEXT(GL_FRAMEBUFFER_EXT, m_postFramebuffer);
    AttachColour(0, TargetFx2);
    m_gl->UseProgramObjectARB(0);
    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_ENABLE_BIT);
    glDisable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    BindTextureData(0, static_cast<GL_TextureData*>(m_targets[TargetFx1]->GetRenderData()));
    DrawFullScreenQuad(true, 4.0f, 4.0f, m_bufferToViewport[0], m_bufferToViewport[1]);
    glPopAttrib();
    ResetTextureUnits(0);
    return TargetFx2;
}

void nGL3Renderer::DrawStreak(nShader* streak, float x, float y, float attenuation, int32_t result)
{
    const int32_t targets[4] = {TargetFx0, result, TargetFx0, result};
    int32_t from = TargetHdr;
    for (int32_t pass = 0; pass < 4; ++pass) {
        const int32_t program = BeginPostPass(streak, targets[pass]);
        SetUniform2f(program, "streak_direction", x, y);
        SetUniform1f(program, "streak_attenuation", attenuation);
        SetUniform1f(program, "framebuffer_fx_scaler", (float)m_effectDivisor);
        SetUniform1f(program, "pass", (float)pass);
        BindTargetSampler(streak, 0, from, "source");
        DrawBufferQuad();
        EndPostPass();
        from = targets[pass];
    }
}

bool nGL3Renderer::RenderChromaticDispersion(int32_t source, int32_t destination)
{
    const float width = CameraFloat(m_camera, "PostProcess:ChromDisp:Width;", 2.0f);
    if (width == 0.0f) return false;
    nShader* shader = GetCoreShader("core::chromatic_dispersion");
    const int32_t program = BeginPostPass(shader, destination);
    if (!program) return false;
    SetUniform1f(program, "width", width);
    BindTargetSampler(shader, 0, source, "compose_alpha");
    DrawFullScreenQuad(false, 1.0f, 1.0f, 1.0f, 1.0f);
    EndPostPass();
    return true;
}

bool nGL3Renderer::RenderHueSaturation(int32_t source, int32_t destination)
{
    const float h = CameraFloat(m_camera, "PostProcess:HueSaturation:H;", 1.0f);
    const float s = CameraFloat(m_camera, "PostProcess:HueSaturation:S;", 1.0f);
    const float l = CameraFloat(m_camera, "PostProcess:HueSaturation:L;", 1.0f);
    const float least = 0.000001f;
    if (std::fabs(h - 1.0f) < least && std::fabs(s - 1.0f) < least && std::fabs(l - 1.0f) < least) return false;
    nShader* shader = GetCoreShader("core::hsl");
    const int32_t program = BeginPostPass(shader, destination);
    if (!program) return false;
    SetUniform1f(program, "H", h);
    SetUniform1f(program, "S", s);
    SetUniform1f(program, "L", l);
    BindTargetSampler(shader, 0, source, "compose_alpha");
    DrawFullScreenQuad(false, 1.0f, 1.0f, 1.0f, 1.0f);
    EndPostPass();
    return true;
}

bool nGL3Renderer::RenderSharpen(int32_t source, int32_t destination)
{
    const float strength = CameraFloat(m_camera, "PostProcess:Sharpen:Strength;", 1.0f);
    if (strength == 0.0f) return false;
    nShader* shader = GetCoreShader("core::sharpen");
    const int32_t program = BeginPostPass(shader, destination);
    if (!program) return false;
    SetUniform1f(program, "strength", strength);
    BindTargetSampler(shader, 0, source, "source");
    DrawFullScreenQuad(false, 1.0f, 1.0f, 1.0f, 1.0f);
    EndPostPass();
    return true;
}

bool nGL3Renderer::RenderNoise(int32_t source, int32_t destination)
{
    const float strength = CameraFloat(m_camera, "PostProcess:Noise:Strength;", 0.25f);
    if (strength == 0.0f) return false;
    nShader* shader = GetCoreShader("core::noise");
    const int32_t program = BeginPostPass(shader, destination);
    if (!program) return false;
    SetUniform1f(program, "strength", strength);
    SetUniform1f(program, "monochromatic", CameraFloat(m_camera, "PostProcess:Noise:Monochromatic;", 0.0f));
    SetUniform1f(program, "luma_bias", CameraFloat(m_camera, "PostProcess:Noise:LumaBias;", 0.5f));
    const float a = nRandFloat(1.0f);
    const float b = nRandFloat(1.0f);
    SetUniform1f(program, "random_a", a);
    SetUniform1f(program, "random_b", b);
    BindTargetSampler(shader, 0, source, "source");
    BindTextureSampler(shader, 1, m_noiseTexture.Get(), "noise_texture");
    DrawFullScreenQuad(false, 1.0f, 1.0f, 1.0f, 1.0f);
    EndPostPass();
    return true;
}

// ---------------------------------------------------------------------------------------------
// Presentation

void nGL3Renderer::PresentPostSource(int32_t source, int32_t destination)
{
    const float s = m_renderScale;
    nShader* blit = GetCoreShader("core::blit_layer_alpha");
    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_ENABLE_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_FOG);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    if (s == 1.0f || !blit) {
        // The source at its own size (without the blit program, whatever the scale, the
        // scaled part still lands on the whole output).
        PresentStep(source, s, 1.0f, 0);
    } else if (IsPowerOfTwoScale(s)) {
        // Halving steps between the pair, the last one onto the output.
        SetTargetFiltering(source, true);
        SetTargetFiltering(destination, true);
        for (float a = s; a > 1.0f;) {
            const float from = a;
            a *= 0.5f;
            const bool last = a == 1.0f;
            PresentStep(source, from, a, last ? blit : 0, last ? -1 : destination);
            const int32_t swap = source;
            source = destination, destination = swap;
        }
        SetTargetFiltering(source, false);
        SetTargetFiltering(destination, false);
    } else {
        // Between 1 and 2, and scales of 2 or more that halving never brings to 1: one blit.
        SetTargetFiltering(source, true);
        PresentStep(source, s, 1.0f, blit);
        SetTargetFiltering(source, false);
    }
    glPopAttrib();
}

void nGL3Renderer::PresentStep(int32_t source, float fromScale, float toScale, nShader* program, int32_t target)
{
    nTexture* texture = m_targets[source].Get();
    GL_TextureData* data = texture ? static_cast<GL_TextureData*>(texture->GetRenderData()) : 0;
    if (!data) return;
    if (target >= 0) {
        m_gl->BindFramebufferEXT(GL_FRAMEBUFFER_EXT, m_postFramebuffer);
        AttachColour(0, target);
    } else if (m_renderTarget && m_renderTarget->GetRenderData()) {
        m_gl->BindFramebufferEXT(GL_FRAMEBUFFER_EXT, m_postFramebuffer);
        GL_TextureData* output = static_cast<GL_TextureData*>(m_renderTarget->GetRenderData());
        m_gl->FramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, output->name, 0);
    } else {
        m_gl->BindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    }
    // The target receives the viewport at toScale; the source holds it at fromScale.
    ApplyViewport((int32_t)(m_viewport[0] * toScale), (int32_t)(m_viewport[1] * toScale),
                  (int32_t)(m_viewport[2] * toScale), (int32_t)(m_viewport[3] * toScale));
    const int32_t handle = UseProgram(program);
    if (handle) {
        const float step = fromScale / toScale;
        SetUniform2f(handle, "inverse_buffer_size", m_inverseBufferSize[0] * step, m_inverseBufferSize[1] * step);
        const GLint at = m_gl->GetUniformLocationARB(handle, "source");
        if (at != -1) m_gl->Uniform1iARB(at, 0);
    }
    // Opaque: the composed alpha is the surfaces' opacity, 0 on the lit or fogged background.
    glDisable(GL_BLEND);
    BindTextureUnit(0, data->name);
    const float u = m_viewport[2] * fromScale * m_inverseBufferSize[0];
    const float v = m_viewport[3] * fromScale * m_inverseBufferSize[1];
    DrawFullScreenQuad(true, u, v, 1.0f, 1.0f);
    m_gl->UseProgramObjectARB(0);
    ResetTextureUnits(0);
}

void nGL3Renderer::SetTargetFiltering(int32_t target, bool linear)
{
    nTexture* texture = m_targets[target].Get();
    GL_TextureData* data = texture ? static_cast<GL_TextureData*>(texture->GetRenderData()) : 0;
    if (!data) return;
    BindTextureUnit(0, data->name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, linear ? GL_LINEAR : GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, linear ? GL_LINEAR : GL_NEAREST);
    ResetTextureUnits(0);
}
