// Deferred lighting: the render targets, the core programs, lights with their programs and
// volumes, the ambient, fog and ambient-occlusion passes and the target copy.
#include "render/gl/nGL3Renderer.h"

#include <cmath>
#include <cstring>
#include <new>

#include "core/nLog.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "hub/nOrvex.h"
#include "render/gl/nGL3Shader.h"
#include "render/gl/nGLEntryPoints.h"
#include "render/gl/nGLMaterial.h"
#include "resources/nResourceLoader.h"
#include "resources/nTexture.h"
#include "scene/nCamera.h"
#include "scene/nItem.h"
#include "scene/nLight.h"

namespace {

const float kPi = 3.14159265358979f;

// Every core program the renderer looks up, in lookup order. The first kCoreLookups are looked
// up before the required check, the rest after it.
const char* const kCoreShaderNames[] = {
    "core::fog", "core::hdr_no_ldr", "core::tone_mapping", "core::h_gaussian_blur", "core::v_gaussian_blur",
    "core::h_dof", "core::v_dof", "core::light_streak", "core::exposure", "core::exposure_bloom",
    "core::motionblur", "core::ambient", "core::velocity", "core::ssao", "core::ati_glclear_workaround_shadowmap",
    "core::pointlight", "core::pointlight_specular", "core::pointlight_shadowmap", "core::spotlight",
    "core::spotlight_shadowmap", "core::spotlight_specular", "core::projective_spotlight",
    "core::projective_spotlight_shadow", "core::projective_spotlight_shadowmap", "core::linearlight",
    "core::linearlight_pssm", "core::shader_volumetric_fog_pssm", "core::volumetric_sphere",
    "core::volumetric_sphere_shadowmap", "core::volumetric_cone", "core::volumetric_cone_shadowmap",
    "core::shadow_map", "core::shadow_map_alphatest",
    // optional, looked up once the required ones are there
    "core::blit_layer_alpha", "core::chromatic_dispersion", "core::normal_depth_blur", "core::sharpen", "core::hsl",
    "core::dof_radius", "core::dof_spread", "core::dof_blur", "core::radial_blur", "core::noise",
    "core::terrain_layers"};
const int32_t kCoreShaderCount = (int32_t)(sizeof(kCoreShaderNames) / sizeof(kCoreShaderNames[0]));
const int32_t kCoreLookups = 33;

const char* const kRequiredCoreShaders[] = {
    "core::fog", "core::ambient", "core::pointlight", "core::pointlight_specular", "core::ssao", "core::spotlight",
    "core::projective_spotlight_shadow", "core::spotlight_specular", "core::projective_spotlight"};

struct TargetShape
{
    const char* name;
    int32_t kind;  // texture kind; -1: as attr1_map
    bool effect;   // at the effect divisor's size
    bool linear;
};

const TargetShape kTargets[nGL3Renderer::TargetCount] = {
    {"depth_map", 3, false, false}, {"attr0_map", 2, false, false}, {"attr1_map", -1, false, false}, {"attr2_map", -1, false, false}, {"attr3_map", -1, false, false}, {"compose_map", -1, false, false}, {"velocity_map", 2, false, true}, {"fx0_map", -1, true, true}, {"fx1_map", -1, true, true}, {"fx2_map", -1, true, true}, {"hdr_map", -1, true, true}};

int32_t NextPowerOfTwo(int32_t n)
{
    int32_t p = 1;
    while (p < n) p <<= 1;
    return p;
}

bool ShadowMapped(int32_t shadow, uint32_t controlWord)
{
    return shadow == LightShadowMap && (controlWord & RendererControlShadowMapping);
}

nVector TransformPoint(const nMatrix4& m, const nVector& p)
{
    return nVector(m.m[0] * p.x + m.m[1] * p.y + m.m[2] * p.z + m.m[3],
                   m.m[4] * p.x + m.m[5] * p.y + m.m[6] * p.z + m.m[7],
                   m.m[8] * p.x + m.m[9] * p.y + m.m[10] * p.z + m.m[11], 1.0f);
}

nVector TransformDirection(const nMatrix4& m, const nVector& d)
{
    return nVector(m.m[0] * d.x + m.m[1] * d.y + m.m[2] * d.z, m.m[4] * d.x + m.m[5] * d.y + m.m[6] * d.z,
                   m.m[8] * d.x + m.m[9] * d.y + m.m[10] * d.z, 0.0f);
}

float CameraRegistryFloat(nItem* camera, const char* path, float fallback)
{
    return camera->GetRegistry().GetFloatValue(path, fallback);
}

bool RendererRegistryBool(nLinkedListId& registry, const char* path, bool fallback)
{
    nMetaTag* tag = FindMetaTagByPath(&registry, path, false);
    bool value = fallback;
    if (tag && !tag->GetValue().GetBool(&value)) value = fallback;
    return value;
}

float RendererRegistryFloat(nLinkedListId& registry, const char* path, float fallback)
{
    nMetaTag* tag = FindMetaTagByPath(&registry, path, false);
    float value = fallback;
    if (tag && !tag->GetValue().GetFloat(&value)) value = fallback;
    return value;
}

}

// ---------------------------------------------------------------------------------------------
// Lights and their programs

const char* nGL3Renderer::ChooseLightProgram(int32_t type, int32_t shadow, uint32_t controlWord,
                                             float specularIntensity, bool projectionTexture)
{
    switch (type) {
        case LightTypePoint:
            if (shadow == LightShadowMap) return "core::pointlight_shadowmap";
            return specularIntensity > 0.0f ? "core::pointlight_specular" : "core::pointlight";
        case LightTypeParallel:
            if (ShadowMapped(shadow, controlWord) && (controlWord & RendererControlLinearShadow))
                return "core::linearlight_pssm";
            return "core::linearlight";
        case LightTypeSpot:
            if (ShadowMapped(shadow, controlWord))
                return projectionTexture ? "core::projective_spotlight_shadowmap" : "core::spotlight_shadowmap";
            if (projectionTexture)
                return shadow == LightShadowProjectedMap ? "core::projective_spotlight_shadow" : "core::projective_spotlight";
            return specularIntensity > 0.0f ? "core::spotlight_specular" : "core::spotlight";
        default:
            return 0;
    }
}

const char* nGL3Renderer::ChooseVolumeProgram(int32_t type, int32_t shadow, uint32_t controlWord)
{
    const bool mapped = ShadowMapped(shadow, controlWord);
    switch (type) {
        case LightTypePoint: return mapped ? "core::volumetric_sphere_shadowmap" : "core::volumetric_sphere";
        case LightTypeSpot: return mapped ? "core::volumetric_cone_shadowmap" : "core::volumetric_cone";
        case LightTypeParallel: return mapped ? "core::shader_volumetric_fog_pssm" : 0;
        default: return 0;
    }
}

bool nGL3Renderer::SetupLight(nLight* light)
{
    if (!light || light->GetRenderData()) return false;
    GL_LightData* data = new (std::nothrow) GL_LightData;
    if (!data) {
        *g_log << "[!] Failed to allocate light render data.\n";
        return false;
    }
    light->SetRenderData(data);
    UpdateLight(light);
    return true;
}

void nGL3Renderer::FreeLight(nLight* light)
{
    if (!light) return;
    delete light->GetRenderData();
    light->SetRenderData(0);
}

void nGL3Renderer::UpdateLight(nLight* light)
{
    GL_LightData* data = light ? static_cast<GL_LightData*>(light->GetRenderData()) : 0;
    if (!data || TestSystemFlag(RendererSystemDisableShader)) return;
    nShaderLibrary* library = m_shaderLibrary.Get();
    data->usesShadowMaps = false;
    if (!light->GetShader().IsEmpty()) {
        data->lightShader = library ? library->Find(light->GetShader().GetCStr()) : 0;
        data->unshadowedShader = data->lightShader;
    } else {
        const bool projection = light->GetProjectionMap() != 0;
        const char* name = ChooseLightProgram(light->GetType(), light->GetShadow(), m_controlWord,
                                              light->GetSpecularIntensity(), projection);
        const char* plain = ChooseLightProgram(light->GetType(), LightShadowNone, m_controlWord,
                                               light->GetSpecularIntensity(), projection);
        data->lightShader = name ? GetCoreShader(name) : 0;
        data->unshadowedShader = plain ? GetCoreShader(plain) : 0;
        // A shadowed variant the library does not hold still lights, without its shadow.
        if (!data->lightShader && name && light->GetShadow() != LightShadowNone) data->lightShader = data->unshadowedShader;
        data->usesShadowMaps = light->GetShadow() == LightShadowMap && data->lightShader != data->unshadowedShader;
    }
    const char* volume = light->IsVolumetric() ? ChooseVolumeProgram(light->GetType(), light->GetShadow(), m_controlWord) : 0;
    data->volumeShader = volume ? GetCoreShader(volume) : 0;
}

// ---------------------------------------------------------------------------------------------
// Core programs

bool nGL3Renderer::LoadCoreShaders()
{
    ReleaseCoreShaders();
    m_coreShaders = new (std::nothrow) nShader*[kCoreShaderCount];
    nShaderLibrary* library = m_shaderLibrary.Get();
    if (!m_coreShaders || !library) {
        *g_log << "[!] Failed to load one or more core shader.\n";
        return false;
    }
    for (int32_t i = 0; i < kCoreShaderCount; ++i) m_coreShaders[i] = 0;
    for (int32_t i = 0; i < kCoreLookups; ++i) m_coreShaders[i] = library->Find(kCoreShaderNames[i]);
    for (const char* required : kRequiredCoreShaders) {
        if (!GetCoreShader(required)) {
            *g_log << "[!] Failed to load one or more core shader.\n";
            return false;
        }
    }
    for (int32_t i = kCoreLookups; i < kCoreShaderCount; ++i) m_coreShaders[i] = library->Find(kCoreShaderNames[i]);

    m_noiseTexture = LoadCorePicture("noise.tga");
    m_ditherTexture = LoadCorePicture("dither.tga");
    for (nTexture* texture : {m_noiseTexture.Get(), m_ditherTexture.Get()}) {
        GL_TextureData* data = texture ? static_cast<GL_TextureData*>(texture->GetRenderData()) : 0;
        if (!data) continue;
        BindTextureUnit(0, data->name);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        ResetTextureUnits(0);
    }
    if (!m_materialPrograms) m_materialPrograms = new (std::nothrow) nGL3MaterialPrograms;
    if (m_materialPrograms) m_materialPrograms->ditherMap = m_ditherTexture.Get();
    return true;
}

nSharedPtr<nTexture> nGL3Renderer::LoadCorePicture(const char* file)
{
    // Installed beside the program with the shader library, and read from the disk as it is
    // (the game's own files may be in an archive).
    nSharedPtr<nTexture> texture(new (std::nothrow) nTexture(m_engine, 1, 0));
    if (texture.IsValid()) texture->SetFlag(TextureExact, true);
    if (!texture.IsValid() || !SetTextureContent(m_engine, texture.Get(), BesideProgram(file).GetCStr()) ||
        !SetupTexture(texture.Get()))
        return nSharedPtr<nTexture>();
    return texture;
}

void nGL3Renderer::ReleaseCoreShaders()
{
    delete[] m_coreShaders;
    m_coreShaders = 0;
    m_noiseTexture.Release();
    m_ditherTexture.Release();
}

nShader* nGL3Renderer::GetCoreShader(const char* name) const
{
    if (!m_coreShaders || !name) return 0;
    for (int32_t i = 0; i < kCoreShaderCount; ++i)
        if (std::strcmp(kCoreShaderNames[i], name) == 0) {
            nShader* shader = m_coreShaders[i];
            return shader && shader->IsCompiled() ? shader : 0;
        }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Render targets

bool nGL3Renderer::CreateRenderTargets(int32_t width, int32_t height)
{
    m_renderScale = RendererRegistryBool(m_registry, "Antialising:Enable;", false)
                        ? RendererRegistryFloat(m_registry, "Antialising:Sample;", 1.3f)
                        : 1.0f;
    int32_t w = (int32_t)(m_renderScale * width), h = (int32_t)(m_renderScale * height);
    if (TestSystemFlag(RendererSystemSquareTargets)) {
        // Square targets are made at the power of two their lookups are scaled by.
        w = h = NextPowerOfTwo(w > h ? w : h);
    }
    if (w < 1) w = 1;
    if (h < 1) h = 1;
    m_bufferSize[0] = (float)w, m_bufferSize[1] = (float)h;
    m_inverseBufferSize[0] = 1.0f / w, m_inverseBufferSize[1] = 1.0f / h;
    m_inverseViewportSize[0] = 1.0f / w, m_inverseViewportSize[1] = 1.0f / h;
    if (TestSystemFlag(RendererSystemDisableShader)) return true;

    const int32_t colourKind = TestSystemFlag(RendererSystemUseFloatTarget) ? 2 : 0;
    bool made = true;
    for (int32_t t = 0; t < TargetCount; ++t) {
        const TargetShape& shape = kTargets[t];
        const int32_t tw = shape.effect ? w / m_effectDivisor : w, th = shape.effect ? h / m_effectDivisor : h;
        CreateRenderTargetTexture(m_targets[t], m_engine, shape.name, tw > 0 ? tw : 1, th > 0 ? th : 1,
                                  shape.kind < 0 ? colourKind : shape.kind);
        GL_TextureData* data = m_targets[t].IsValid() ? static_cast<GL_TextureData*>(m_targets[t]->GetRenderData()) : 0;
        if (!data) {
            *g_log << "[!] Cannot make the render target '" << shape.name << "'.\n";
            made = false;
            continue;
        }
        BindTextureUnit(0, data->name);
        const GLint filter = shape.linear ? GL_LINEAR : GL_NEAREST;
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
        ResetTextureUnits(0);
    }
    if (!made || !m_gbufferFramebuffer) return false;

    m_gl->BindFramebufferEXT(GL_FRAMEBUFFER_EXT, m_gbufferFramebuffer);
    GL_TextureData* depth = static_cast<GL_TextureData*>(m_targets[TargetDepth]->GetRenderData());
    m_gl->FramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_TEXTURE_2D, depth->name, 0);
    AttachColour(0, TargetAttr0);
    if (m_gl->CheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT) != GL_FRAMEBUFFER_COMPLETE_EXT) {
        *g_log << "[*] Card does not appear to have support for 32 bit depth texture frame buffer.\n";
        m_noDepth32Target = true;
        CreateRenderTargetTexture(m_targets[TargetDepth], m_engine, kTargets[TargetDepth].name, w, h, 3);
        depth = m_targets[TargetDepth].IsValid() ? static_cast<GL_TextureData*>(m_targets[TargetDepth]->GetRenderData()) : 0;
        if (depth) m_gl->FramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_TEXTURE_2D, depth->name, 0);
    }
    m_gl->BindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    if (m_materialPrograms) m_materialPrograms->normalDepthMap = m_targets[TargetAttr0].Get();
    return true;
}

void nGL3Renderer::FreeRenderTargets()
{
    for (nSharedPtr<nTexture>& target : m_targets) target.Release();
    if (m_materialPrograms) m_materialPrograms->normalDepthMap.Release();
}

nTexture* nGL3Renderer::GetRenderTargetTexture(int32_t which) const
{
    return which >= 0 && which < TargetCount ? m_targets[which].Get() : 0;
}

void nGL3Renderer::AttachColour(int32_t attachment, int32_t target)
{
    nTexture* texture = target >= 0 ? m_targets[target].Get() : 0;
    GL_TextureData* data = texture ? static_cast<GL_TextureData*>(texture->GetRenderData()) : 0;
    m_gl->FramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT + attachment, GL_TEXTURE_2D,
                                  data ? data->name : 0, 0);
}

// ---------------------------------------------------------------------------------------------
// Program helpers

int32_t nGL3Renderer::UseProgram(nShader* program)
{
    nGL3Shader* shader = static_cast<nGL3Shader*>(program);
    const uint32_t handle = shader && shader->IsCompiled() ? shader->GetProgram() : 0;
    m_gl->UseProgramObjectARB(handle);
    return (int32_t)handle;
}

void nGL3Renderer::SetUniform1f(int32_t program, const char* name, float x)
{
    const GLint at = m_gl->GetUniformLocationARB(program, name);
    if (at != -1) m_gl->Uniform1fARB(at, x);
}

void nGL3Renderer::SetUniform2f(int32_t program, const char* name, float x, float y)
{
    const GLint at = m_gl->GetUniformLocationARB(program, name);
    if (at != -1) m_gl->Uniform2fARB(at, x, y);
}

void nGL3Renderer::SetUniform3f(int32_t program, const char* name, float x, float y, float z)
{
    const GLint at = m_gl->GetUniformLocationARB(program, name);
    if (at != -1) m_gl->Uniform3fARB(at, x, y, z);
}

void nGL3Renderer::SetUniform4f(int32_t program, const char* name, const float* xyzw)
{
    const GLint at = m_gl->GetUniformLocationARB(program, name);
    if (at != -1) m_gl->Uniform4fARB(at, xyzw[0], xyzw[1], xyzw[2], xyzw[3]);
}

void nGL3Renderer::SetUniformMatrix4(int32_t program, const char* name, const nMatrix4& m)
{
    const GLint at = m_gl->GetUniformLocationARB(program, name);
    if (at != -1) m_gl->UniformMatrix4fv(at, 1, GL_TRUE, m.m);
}

void nGL3Renderer::BindTextureSampler(nShader* program, int32_t unit, nTexture* texture, const char* uniform)
{
    GL_TextureData* data = texture ? static_cast<GL_TextureData*>(texture->GetRenderData()) : 0;
    nGL3Shader* shader = static_cast<nGL3Shader*>(program);
    if (!shader || !shader->IsCompiled()) return;
    BindSampler(shader->GetProgram(), unit, data, uniform);
}

void nGL3Renderer::BindTargetSampler(nShader* program, int32_t unit, int32_t target, const char* uniform)
{
    BindTextureSampler(program, unit, m_targets[target].Get(), uniform);
}

void nGL3Renderer::BindGBufferTextures()
{
    for (int32_t unit = 0; unit < 4; ++unit) {
        nTexture* texture = m_targets[TargetAttr0 + unit].Get();
        GL_TextureData* data = texture ? static_cast<GL_TextureData*>(texture->GetRenderData()) : 0;
        if (data) BindTextureUnit(unit, data->name);
    }
}

// ---------------------------------------------------------------------------------------------
// Passes

void nGL3Renderer::RenderAmbientPass()
{
    nShader* ambient = GetCoreShader("core::ambient");
    const int32_t program = UseProgram(ambient);
    if (!program) return;
    glDisable(GL_BLEND);
    BindTargetSampler(ambient, 0, TargetAttr1, "gbuffer1");
    BindTargetSampler(ambient, 1, TargetAttr3, "gbuffer3");
    SetUniform2f(program, "inverse_buffer_size", m_inverseBufferSize[0], m_inverseBufferSize[1]);
    DrawFullScreenQuad(false, 1.0f, 1.0f, 1.0f, 1.0f);
    ResetTextureUnits(0);
}

void nGL3Renderer::RenderLights()
{
    if (!m_propertyCallback) return;
    glPushAttrib(GL_COLOR_BUFFER_BIT);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    nPropertyRequest request;
    const nVector eye = m_camera->GetWorldMatrix().GetColumn(3, true);
    request.point[0] = eye.x, request.point[1] = eye.y, request.point[2] = eye.z;
    request.frustum = &m_frustum;
    do {
        if (!RequestProperty(PropertyRequestVisibleLights, &request) || !request.answered) break;
        for (uint32_t i = 0; i < request.count; ++i) {
            nLight* light = dynamic_cast<nLight*>(request.items[i]);
            if (!light) continue;
            ++m_statistics.lightsProcessed;
            glPushAttrib(GL_COLOR_BUFFER_BIT);
            if (light->GetShadow() == LightShadowProjectedMap) glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            // The maps are shared by every light: a light whose maps could not be drawn now is
            // drawn without its shadow, never with the maps of the light before it.
            GL_LightData* data = static_cast<GL_LightData*>(light->GetRenderData());
            if (data && ShadowMapped(light->GetShadow(), m_controlWord)) data->shadowReady = RenderShadowMaps(light);
            RenderLight(light);
            if (light->IsVolumetric()) RenderVolumetricLight(light);
            if (data) data->shadowReady = false;
            glPopAttrib();
        }
    } while (request.cursor);
    glPopAttrib();
    m_gl->UseProgramObjectARB(0);
}

void nGL3Renderer::RenderLight(nLight* light)
{
    if (SetupLightUniforms(light)) {
        if ((light->GetType() == LightTypePoint && light->GetRange() != 0.0f) || light->GetType() == LightTypeSpot)
            DrawLightVolume(light);
        else
            DrawNearPlaneQuad(false, 1.0f, 1.0f);
    }
    ResetTextureUnits(0);
}

float nGL3Renderer::LightDistanceFade(float distance, float clipDistance, float range)
{
    if (range == 0.0f) return 1.0f;
    float f = 1.0f - (distance - (clipDistance + range - 50.0f)) / 50.0f;
    return f < 0.0f ? 0.0f : (f > 1.0f ? 1.0f : f);
}

float nGL3Renderer::LightVolumeRadius(float volumeRange)
{
    const float r = volumeRange + 0.5f;
    return r + (r - r * std::cos(kPi / 8.0f)) / std::cos(kPi / 4.0f);
}

bool nGL3Renderer::SetupLightUniforms(nLight* light)
{
    GL_LightData* data = static_cast<GL_LightData*>(light->GetRenderData());
    nShader* shader = data ? (data->usesShadowMaps && !data->shadowReady ? data->unshadowedShader : data->lightShader) : 0;
    if (!shader) return false;
    const bool shadowed = data->shadowReady;
    const int32_t program = UseProgram(shader);
    if (!program) return false;
    BindTargetSampler(shader, 0, TargetAttr0, "gbuffer0");
    BindTargetSampler(shader, 1, TargetAttr1, "gbuffer1");
    BindTargetSampler(shader, 2, TargetAttr2, "gbuffer2");
    SetUniform2f(program, "inverse_buffer_size", m_inverseBufferSize[0], m_inverseBufferSize[1]);
    SetUniform1f(program, "view_depth_offset", CameraNear());
    SetUniform1f(program, "shadow_bias", light->GetShadowBias());

    const nMatrix4& cameraInverse = m_camera->GetInverseWorldMatrix();
    const nMatrix4& lightWorld = light->GetWorldMatrix();
    const nVector lightPosition = lightWorld.GetColumn(3, true);
    const nVector lightAxis = lightWorld.GetColumn(2, true);
    if (light->GetType() != LightTypeParallel) {
        SetUniform1f(program, "range", light->GetRange());
        const nVector p = TransformPoint(cameraInverse, lightPosition);
        SetUniform3f(program, "position_view_space", p.x, p.y, p.z);
    } else {
        SetUniform2f(program, "inverse_projection_2d", 1.0f / m_projection.m[0], 1.0f / m_projection.m[5]);
        SetUniform2f(program, "display_buffer_ratio", m_bufferToViewport[0], m_bufferToViewport[1]);
        const nVector d = TransformDirection(cameraInverse, lightAxis);
        SetUniform3f(program, "direction_view_space", d.x, d.y, d.z);
        if (shadowed && data->splitShadow) BindSplitShadowUniforms(shader, data->splitShadow, 3);
    }
    if (light->GetType() == LightTypeSpot) {
        int32_t unit = 3;
        if (light->GetProjectionMap() || light->GetShadow() == LightShadowMap) {
            if (shadowed) {
                SetUniform1f(program, "inverse_shadowmap_size", m_shadowMapInverse);
                BindTextureSampler(shader, unit++, m_shadowMaps[0].Get(), "light_view_depth_texture");
            }
            BindTextureSampler(shader, unit, light->GetProjectionMap(), "projection_texture");
            nMatrix4 projection;
            light->GetProjectionMatrix(projection);
            const nMatrix4& lightInverse = light->GetInverseWorldMatrix();
            SetUniformMatrix4(program, "light_projection_matrix", projection * lightInverse * m_camera->GetWorldMatrix());
        }
        const nVector d = TransformDirection(cameraInverse, lightAxis);
        SetUniform3f(program, "direction_view_space", d.x, d.y, d.z);
        SetUniform1f(program, "spot_cone_angle", std::cos(light->GetConeAngle()));
        SetUniform1f(program, "spot_edge_angle", std::cos(light->GetConeAngle() + light->GetEdgeAngle()));
    }
    if (light->GetType() == LightTypePoint && shadowed && data->pointShadow)
        BindPointShadowUniforms(shader, data->pointShadow, 3, light);

    const nVector eye = m_camera->GetWorldMatrix().GetColumn(3, true);
    const float distance = (lightPosition - eye).Length();
    const float f = LightDistanceFade(distance, light->GetClipDistance(), light->GetRange());
    const nVector diffuse = light->GetDiffuse() * (light->GetDiffuseIntensity() * f);
    const nVector specular = light->GetSpecular() * (light->GetSpecularIntensity() * f);
    const nVector& shadow = light->GetShadowColour();
    SetUniform3f(program, "diffuse_color", diffuse.x, diffuse.y, diffuse.z);
    SetUniform3f(program, "specular_color", specular.x, specular.y, specular.z);
    SetUniform3f(program, "shadow_color", shadow.x, shadow.y, shadow.z);
    return true;
}

void nGL3Renderer::DrawLightVolume(nLight* light)
{
    glPushAttrib(GL_DEPTH_BUFFER_BIT | GL_POLYGON_BIT);
    glDepthMask(GL_FALSE);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glFrontFace(GL_CCW);
    const nVector eye = m_camera->GetWorldMatrix().GetColumn(3, true);
    if (light->GetType() == LightTypePoint) {
        SetModelMatrix(light->GetWorldMatrix());
        const float R = LightVolumeRadius(light->GetVolumeRange());
        const nVector d = light->GetWorldMatrix().GetColumn(3, true) - eye;
        const bool inside = !(d.x * d.x + d.y * d.y + d.z * d.z > R * R + 0.001f);
        // Outside: the faces toward the camera, in front of the scene. Inside: the faces away
        // from it, behind the scene.
        glDepthFunc(inside ? GL_GREATER : GL_LESS);
        glCullFace(inside ? GL_BACK : GL_FRONT);
        DrawSphereVolume(R);
    } else {
        nFrustum& frustum = light->GetShadowFrustum();
        const bool inside = frustum.TestPoints(1, &eye, 0.5f) != 0;
        if (light->IsVolumetric()) glDepthFunc(GL_ALWAYS);
        else glDepthFunc(inside ? GL_GREATER : GL_LESS);
        glCullFace(inside ? GL_BACK : GL_FRONT);
        SetModelMatrix(nMatrix4());
        const nVector* c = frustum.corners;
        static const int kFaces[6][4] = {{0, 1, 2, 3}, {7, 6, 5, 4}, {4, 0, 3, 7}, {1, 5, 6, 2}, {4, 5, 1, 0}, {3, 2, 6, 7}};
        glBegin(GL_QUADS);
        for (const auto& face : kFaces)
            for (int k = 0; k < 4; ++k) glVertex3f(c[face[k]].x, c[face[k]].y, c[face[k]].z);
        glEnd();
    }
    glPopAttrib();
}

void nGL3Renderer::DrawSphereVolume(float R)
{
    const float step = kPi / 4.0f;
    auto point = [&](int ring, int segment) {
        const float y = -R * std::cos(ring * step), rho = R * std::sin(ring * step), l = segment * step;
        return nVector(rho * std::sin(l), y, rho * std::cos(l), 1.0f);
    };
    glBegin(GL_TRIANGLES);
    for (int s = 0; s < 8; ++s) {
        const nVector a = point(1, s + 1), b = point(1, s);
        glVertex3f(0.0f, -R, 0.0f);
        glVertex3f(a.x, a.y, a.z);
        glVertex3f(b.x, b.y, b.z);
        const nVector c = point(3, s), d = point(3, s + 1);
        glVertex3f(c.x, c.y, c.z);
        glVertex3f(d.x, d.y, d.z);
        glVertex3f(0.0f, R, 0.0f);
    }
    glEnd();
    glBegin(GL_QUADS);
    for (int ring = 1; ring < 3; ++ring)
        for (int s = 0; s < 8; ++s) {
            // Wound as the caps are (clockwise seen from outside), so that one culling rule
            // keeps the faces toward the camera or away from it all round.
            const nVector p[4] = {point(ring, s), point(ring, s + 1), point(ring + 1, s + 1), point(ring + 1, s)};
            for (const nVector& v : p) glVertex3f(v.x, v.y, v.z);
        }
    glEnd();
}

void nGL3Renderer::DrawPyramidVolume(float a, float b)
{
    const float r = b * 1.4142135f;
    auto corner = [&](int k) { return nVector(r * std::cos(k * kPi / 2.0f), r * std::sin(k * kPi / 2.0f), a, 1.0f); };
    glBegin(GL_TRIANGLES);
    for (int k = 0; k < 4; ++k) {
        const nVector p = corner(k), q = corner(k + 1);
        glVertex3f(p.x, p.y, p.z);
        glVertex3f(q.x, q.y, q.z);
        glVertex3f(0.0f, 0.0f, a);
        glVertex3f(0.0f, 0.0f, 0.0f);
        glVertex3f(q.x, q.y, q.z);
        glVertex3f(p.x, p.y, p.z);
    }
    glEnd();
}

void nGL3Renderer::RenderFogPass()
{
    nShader* fog = GetCoreShader("core::fog");
    glPushAttrib(GL_COLOR_BUFFER_BIT);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA);
    const int32_t program = UseProgram(fog);
    if (program) {
        BindTargetSampler(fog, 0, TargetAttr0, "gbuffer0");
        SetUniform1f(program, "near", m_fogNear);
        SetUniform1f(program, "inverse_range", 1.0f / (m_fogFar - m_fogNear));
        SetUniform3f(program, "color", m_fogColour.x, m_fogColour.y, m_fogColour.z);
        SetUniform2f(program, "inverse_buffer_size", m_inverseBufferSize[0], m_inverseBufferSize[1]);
        DrawFullScreenQuad(false, 1.0f, 1.0f, 1.0f, 1.0f);
    }
    glPopAttrib();
    ResetTextureUnits(0);
}

void nGL3Renderer::RenderAmbientOcclusion()
{
    if (RendererRegistryBool(m_registry, "PostProcess:Exclusion:SSAO;", false)) return;
    const float strength = CameraRegistryFloat(m_camera, "PostProcess:SSAO:Strength", 1.0f);
    if (strength == 0.0f) return;
    const float distance = CameraRegistryFloat(m_camera, "PostProcess:SSAO:Distance", 100.0f);
    const float radius = CameraRegistryFloat(m_camera, "PostProcess:SSAO:Radius", 100.0f);
    const float blur = CameraRegistryFloat(m_camera, "PostProcess:SSAO:BlurRadius", 8.0f);
    const bool fastBlur = RendererRegistryBool(m_registry, "PostProcess:SSAO:FastBlur;", true);
    const float viewportWidth = m_viewport[2] * m_renderScale, viewportHeight = m_viewport[3] * m_renderScale;

    // 1. Occlusion into fx0_map.
    nShader* ssao = GetCoreShader("core::ssao");
    const int32_t program = UseProgram(ssao);
    if (!program || !m_postFramebuffer) return;
    m_gl->BindFramebufferEXT(GL_FRAMEBUFFER_EXT, m_postFramebuffer);
    AttachColour(0, TargetFx0);
    SetUniform2f(program, "inverse_buffer_size", m_inverseBufferSize[0], m_inverseBufferSize[1]);
    SetUniform1f(program, "framebuffer_fx_scaler", (float)m_effectDivisor);
    SetUniform2f(program, "display_buffer_ratio", m_bufferToViewport[0], m_bufferToViewport[1]);
    SetUniform2f(program, "inverse_projection_2d", 1.0f / m_projection.m[0], 1.0f / m_projection.m[5]);
    SetUniform1f(program, "view_depth_offset", CameraNear());
    SetUniform1f(program, "distance", distance);
    SetUniform1f(program, "ao_radius", radius);
    SetUniform1f(program, "strength", strength);
    BindTargetSampler(ssao, 1, TargetAttr0, "nrm_dpth");
    BindTextureSampler(ssao, 2, m_noiseTexture.Get(), "noise_texture");
    DrawFullScreenQuad(false, 1.0f, 1.0f, 1.0f, 1.0f);
    ResetTextureUnits(0);

    // 2. Blur, fx0 -> fx1 -> fx0.
    if (blur != 0.0f) {
        nShader* first = fastBlur ? GetCoreShader("core::h_gaussian_blur") : GetCoreShader("core::normal_depth_blur");
        nShader* second = fastBlur ? GetCoreShader("core::v_gaussian_blur") : first;
        const float scale = fastBlur ? 0.5f : 1.0f;
        const int32_t sourceUnit = fastBlur ? 0 : 1;
        for (int step = 0; step < 2 && first && second; ++step) {
            nShader* shader = step == 0 ? first : second;
            const int32_t p = UseProgram(shader);
            AttachColour(0, step == 0 ? TargetFx1 : TargetFx0);
            SetUniform2f(p, "inverse_buffer_size", m_inverseBufferSize[0], m_inverseBufferSize[1]);
            SetUniform1f(p, "framebuffer_fx_scaler", (float)m_effectDivisor);
            SetUniform1f(p, "blur_size", blur * scale / (step == 0 ? viewportWidth : viewportHeight));
            if (!fastBlur) {
                SetUniform1f(p, "ao_radius", radius);
                BindTargetSampler(shader, 0, TargetAttr0, "nrm_dpth");
            }
            BindTargetSampler(shader, sourceUnit, step == 0 ? TargetFx0 : TargetFx1, "source");
            DrawFullScreenQuad(false, 1.0f, 1.0f, 1.0f, 1.0f);
            ResetTextureUnits(0);
        }
    }

    // 3. Multiplied into the diffuse, specular and constant colours.
    glPushAttrib(GL_COLOR_BUFFER_BIT);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_DST_COLOR, GL_ZERO);
    m_gl->UseProgramObjectARB(0);
    GL_TextureData* fx0 = static_cast<GL_TextureData*>(m_targets[TargetFx0]->GetRenderData());
    BindTextureUnit(0, fx0->name);
    m_gl->BindFramebufferEXT(GL_FRAMEBUFFER_EXT, m_gbufferFramebuffer);
    glDisable(GL_LIGHTING);
    for (int32_t target : {TargetAttr1, TargetAttr2, TargetAttr3}) {
        AttachColour(0, target);
        DrawFullScreenQuad(true, 1.0f, 1.0f, m_bufferToViewport[0], m_bufferToViewport[1]);
    }
    glPopAttrib();
    ResetTextureUnits(0);
}

void nGL3Renderer::CopyToTarget(nTexture* source, float scale, nShader* program, nTexture* target)
{
    if (!target) target = m_targets[TargetFx0].Get();
    GL_TextureData* to = target ? static_cast<GL_TextureData*>(target->GetRenderData()) : 0;
    GL_TextureData* from = source ? static_cast<GL_TextureData*>(source->GetRenderData()) : 0;
    if (!to || !from) return;
    m_gl->FramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, to->name, 0);
    BindTextureUnit(0, from->name);
    const float u = scale / m_bufferToViewport[0], v = scale / m_bufferToViewport[1];
    const int32_t handle = UseProgram(program);
    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_ENABLE_BIT);
    glDisable(GL_BLEND);
    glDisable(GL_LIGHTING);
    if (handle) {
        SetUniform2f(handle, "inverse_buffer_size", m_inverseBufferSize[0], m_inverseBufferSize[1]);
        SetUniform1f(handle, "framebuffer_fx_scaler", (float)m_effectDivisor);
        const GLint at = m_gl->GetUniformLocationARB(handle, "source");
        if (at != -1) m_gl->Uniform1iARB(at, 0);
        DrawFullScreenQuad(true, u, v, m_bufferToViewport[0], m_bufferToViewport[1]);
    } else {
        DrawFullScreenQuad(true, u, v, 1.0f, 1.0f);
    }
    glPopAttrib();
    m_gl->UseProgramObjectARB(0);
    ResetTextureUnits(0);
}
