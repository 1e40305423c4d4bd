// Shadow maps: six depth maps shared by every light, drawn from the light just before the
// light's own pass. Point lights draw six cube faces, spot lights one perspective view, parallel
// lights four orthographic views around nested slices of the main camera's view; the light
// programs find a surface in them through the matrices kept in the light's records.
#include "render/gl/nGL3Renderer.h"

#include <cmath>
#include <new>

#include "core/nLog.h"
#include "render/gl/nGLEntryPoints.h"
#include "resources/nTexture.h"
#include "scene/nCamera.h"
#include "scene/nLight.h"

namespace {

const float kPi = 3.14159265358979f;

// The cube faces of a point light: Euler angles on top of the light's world matrix.
const float kPointFaces[nGL3Renderer::kShadowMapCount][3] = {
    {0.0f, 0.0f, 0.0f}, {0.0f, kPi / 2.0f, 0.0f}, {0.0f, kPi, 0.0f}, {0.0f, 1.5f * kPi, 0.0f}, {kPi / 2.0f, 0.0f, 0.0f}, {1.5f * kPi, 0.0f, 0.0f}};

// The attribute groups a shadow pass changes, saved around it.
const GLbitfield kShadowPassAttributes = GL_SCISSOR_BIT | GL_COLOR_BUFFER_BIT | GL_VIEWPORT_BIT |
                                         GL_DEPTH_BUFFER_BIT | GL_FOG_BIT | GL_POLYGON_BIT;

void LoadModelView(const nMatrix4& m)
{
    glLoadTransposeMatrixf(m.m);
}

}

nGL3Renderer::GL_LightData::~GL_LightData()
{
    delete pointShadow;
    delete splitShadow;
}

// ---------------------------------------------------------------------------------------------
// The maps

bool nGL3Renderer::CreateShadowMaps()
{
    for (nSharedPtr<nTexture>& map : m_shadowMaps) {
        CreateRenderTargetTexture(map, m_engine, "shadow_map", m_shadowMapSize, m_shadowMapSize, 3);
        GL_TextureData* data = map.IsValid() ? static_cast<GL_TextureData*>(map->GetRenderData()) : 0;
        if (!data) {
            *g_log << "[!] Cannot make the render target 'shadow_map'.\n";
            return false;
        }
        // Filtered depth comparison: a lookup answers how much of the texel footprint is lit.
        BindTextureUnit(0, data->name);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_MODE, GL_COMPARE_R_TO_TEXTURE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_FUNC, GL_LEQUAL);
        ResetTextureUnits(0);
    }
    return true;
}

void nGL3Renderer::FreeShadowMaps()
{
    for (nSharedPtr<nTexture>& map : m_shadowMaps) map.Release();
}

nTexture* nGL3Renderer::GetShadowMap(int32_t index) const
{
    return index >= 0 && index < kShadowMapCount ? m_shadowMaps[index].Get() : 0;
}

// ---------------------------------------------------------------------------------------------
// Drawing a light's maps

bool nGL3Renderer::RenderShadowMaps(nLight* light)
{
    if (!light || !m_shadowFramebuffer || !m_shadowMaps[0].IsValid()) return false;

    // 1. Program off; the state the pass changes saved; depth-only drawing from the light.
    m_gl->UseProgramObjectARB(0);
    GLint activeUnit = GL_TEXTURE0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &activeUnit);
    const uint32_t matrixMode = m_matrixMode;
    SetMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glPushAttrib(kShadowPassAttributes);
    glDisable(GL_SCISSOR_TEST);
    glDepthMask(GL_TRUE);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    // Faces turned away from the light are left out, with the camera's own winding rule.
    glEnable(GL_CULL_FACE);
    glFrontFace(GL_CCW);
    glCullFace(GL_FRONT);
    glDisable(GL_BLEND);
    glEnable(GL_ALPHA_TEST);
    glDisable(GL_FOG);

    // 2. What the light's views replace, kept to be put back.
    const nMatrix4 projection = m_projection, view = m_view, modelView = m_modelView;
    const nFrustum frustum = m_frustum;
    nItem* camera = m_camera;
    void* cameraRecord = m_cameraRecord;
    const nVector clipNormal = m_clipNormal;
    const float clipDistance = m_clipDistance, aspect = m_globalAspectRatio;
    m_shadowCamera = m_camera;
    // The main camera's clip plane is in its own view space, which the light's views do not share.
    m_clipNormal = nVector(0.0f, 0.0f, 0.0f, 1.0f);

    // 3. Depth only, into the shadow frame buffer.
    m_gl->BindFramebufferEXT(GL_FRAMEBUFFER_EXT, m_shadowFramebuffer);
    glDrawBuffer(GL_NONE);
    glReadBuffer(GL_NONE);

    // 4. By type.
    bool drawn = false;
    switch (light->GetType()) {
        case LightTypePoint:
            drawn = RenderPointShadowMaps(light);
            break;
        case LightTypeParallel:
            drawn = TestControlFlag(RendererControlLinearShadow) && RenderSplitShadowMaps(light);
            break;
        case LightTypeSpot:
            if (!m_shadowViewCamera) m_shadowViewCamera = new (std::nothrow) nCamera(m_engine);
            if (m_shadowViewCamera) {
                m_shadowViewCamera->SetOrthographic(false);
                m_shadowViewCamera->SetupFromSpotLight(light);
                RenderShadowMapView(m_shadowViewCamera, 0);
                drawn = true;
            }
            break;
        default:
            break;
    }

    // 5. Back to the frame as it was.
    m_gl->BindFramebufferEXT(GL_FRAMEBUFFER_EXT, m_gbufferFramebuffer);
    glPopAttrib();
    SetMatrixMode(GL_PROJECTION);
    glPopMatrix();
    m_projection = projection;
    m_view = view;
    m_modelView = modelView;
    SetMatrixMode(GL_MODELVIEW);
    LoadModelView(modelView);
    SetMatrixMode(matrixMode);
    m_frustum = frustum;
    m_camera = camera;
    m_cameraRecord = cameraRecord;
    m_clipNormal = clipNormal;
    m_clipDistance = clipDistance;
    m_globalAspectRatio = aspect;
    m_shadowCamera = 0;
    m_gl->ActiveTextureARB((GLenum)activeUnit);
    return drawn;
}

void nGL3Renderer::RenderShadowMapView(nCamera* camera, int32_t index)
{
    GL_TextureData* map = m_shadowMaps[index].IsValid() ? static_cast<GL_TextureData*>(m_shadowMaps[index]->GetRenderData()) : 0;
    if (!camera || !map) return;
    // 1. The light's view, square whatever the pixels' aspect.
    nItem* remembered = m_camera;
    const float aspect = m_globalAspectRatio;
    m_globalAspectRatio = 1.0f;
    m_camera = camera;
    ApplyCamera();
    // 2. Into map index, cleared.
    m_gl->FramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_TEXTURE_2D, map->name, 0);
    glViewport(0, 0, m_shadowMapSize, m_shadowMapSize);
    glClearDepth(1.0);
    glClear(GL_DEPTH_BUFFER_BIT);
    // 3. What casts a shadow in this view, culled against it.
    nRenderablePrimitiveList list;
    BuildPrimitiveList(&list, 1);
    DrawPrimitiveList(&list, 5);
    DeletePrimitiveList(&list);
    m_gl->FramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_TEXTURE_2D, 0, 0);
    // 4. The camera that was bound.
    m_globalAspectRatio = aspect;
    m_camera = remembered;
}

bool nGL3Renderer::RenderPointShadowMaps(nLight* light)
{
    GL_LightData* data = static_cast<GL_LightData*>(light->GetRenderData());
    if (!data) return false;
    // 1. The record.
    if (!data->pointShadow) data->pointShadow = new (std::nothrow) GL_PointShadow;
    if (!data->pointShadow) {
        *g_log << "[!] Failed to allocate point shadow map structure.\n";
        return false;
    }
    // 2. A square camera of a quarter turn.
    if (!m_shadowViewCamera) m_shadowViewCamera = new (std::nothrow) nCamera(m_engine);
    nCamera* camera = m_shadowViewCamera;
    if (!camera) return false;
    camera->SetOrthographic(false);
    camera->SetAspectRatio(1.0f);
    camera->SetFov(kPi / 2.0f);
    camera->SetNear(light->GetNear());
    camera->SetFar(light->GetRange() > 0.0f ? light->GetRange() : light->GetVolumeRange());
    // 3. The six faces.
    const nMatrix4& world = light->GetWorldMatrix();
    for (int32_t face = 0; face < kShadowMapCount; ++face) {
        const float* angles = kPointFaces[face];
        const nMatrix3 turn = nMatrix3::FromEuler(angles[0], angles[1], angles[2], RotationOrderDefault);
        camera->SetMatrix(world * nMatrix4::FromMatrix3(turn));
        RenderShadowMapView(camera, face);
        data->pointShadow->view[face] = camera->GetInverseWorldMatrix();
        data->pointShadow->projection[face] = m_projection;  // as the face was drawn
    }
    return true;
}

float nGL3Renderer::SplitDistance(float nearZ, float farZ, float lambda, int32_t split)
{
    const float p = (float)(split + 1) / (float)kShadowSplits;
    const float logarithmic = nearZ * std::pow(farZ / nearZ, p);
    const float uniform = nearZ + (farZ - nearZ) * p;
    return (1.0f - lambda) * uniform + lambda * logarithmic;
}

bool nGL3Renderer::RenderSplitShadowMaps(nLight* light)
{
    GL_LightData* data = static_cast<GL_LightData*>(light->GetRenderData());
    nCamera* main = dynamic_cast<nCamera*>(m_shadowCamera);
    if (!data || !main) return false;
    // 1. The record.
    if (!data->splitShadow) data->splitShadow = new (std::nothrow) GL_SplitShadow;
    if (!data->splitShadow) {
        *g_log << "[!] Failed to allocate PSSM structure.\n";
        return false;
    }
    // 2. A square orthographic camera turned as the light.
    if (!m_shadowViewCamera) m_shadowViewCamera = new (std::nothrow) nCamera(m_engine);
    nCamera* camera = m_shadowViewCamera;
    if (!camera) return false;
    camera->SetOrthographic(true);
    camera->SetAspectRatio(1.0f);
    camera->SetNear(0.1f);
    camera->SetMatrix(light->GetWorldMatrix());
    // 3. Nested slices of the main view, each from the near plane to its split distance.
    const float n = main->GetNear(), f = light->GetShadowRange(), lambda = light->GetShadowDistribution();
    for (int32_t k = 0; k < kShadowSplits; ++k) {
        const float d = SplitDistance(n, f, lambda, k);
        nFrustum slice;
        main->ComputeFrustum(&slice, n, d);
        FitSplitCamera(slice.corners, camera, 4.0f * f);
        RenderShadowMapView(camera, k);
        GL_ShadowSplit& split = data->splitShadow->splits[k];
        split.distance = d;
        split.view = camera->GetInverseWorldMatrix();
        split.projection = m_projection;  // as the split was drawn
    }
    return true;
}

void nGL3Renderer::FitSplitCamera(const nVector* corners, nCamera* camera, float distance)
{
    // 1. The centre of the corners' box.
    nVector lowest = corners[0], highest = corners[0];
    for (int i = 1; i < 8; ++i) {
        lowest = nVector(std::fmin(lowest.x, corners[i].x), std::fmin(lowest.y, corners[i].y), std::fmin(lowest.z, corners[i].z), 1.0f);
        highest = nVector(std::fmax(highest.x, corners[i].x), std::fmax(highest.y, corners[i].y), std::fmax(highest.z, corners[i].z), 1.0f);
    }
    const nVector centre((lowest.x + highest.x) * 0.5f, (lowest.y + highest.y) * 0.5f, (lowest.z + highest.z) * 0.5f, 1.0f);
    // 2. The camera distance behind it along its view.
    nMatrix4 world = camera->GetWorldMatrix();
    const nVector x = world.GetColumn(0, false), y = world.GetColumn(1, false), z = world.GetColumn(2, false);
    const nVector position(centre.x - distance * z.x, centre.y - distance * z.y, centre.z - distance * z.z, 1.0f);
    world.SetColumn(3, position, true);
    camera->SetMatrix(world);
    // 3. The far plane and the box enclosing every corner.
    float farZ = 0.0f, halfWidth = 0.0f, halfHeight = 0.0f;
    for (int i = 0; i < 8; ++i) {
        const nVector d(corners[i].x - position.x, corners[i].y - position.y, corners[i].z - position.z, 0.0f);
        farZ = std::fmax(farZ, d.x * z.x + d.y * z.y + d.z * z.z);
        halfWidth = std::fmax(halfWidth, std::fabs(d.x * x.x + d.y * x.y + d.z * x.z));
        halfHeight = std::fmax(halfHeight, std::fabs(d.x * y.x + d.y * y.y + d.z * y.z));
    }
    camera->SetFar(farZ);
    camera->SetOrthographicSize(2.0f * halfWidth, 2.0f * halfHeight);
}

// ---------------------------------------------------------------------------------------------
// What the shadowed programs read

void nGL3Renderer::BindSplitShadowUniforms(nShader* program, const GL_SplitShadow* record, int32_t first)
{
    const int32_t handle = UseProgram(program);
    if (!handle || !record) return;
    static const char* const kMaps[kShadowSplits] = {"pssm_0", "pssm_1", "pssm_2", "pssm_3"};
    static const char* const kMatrices[kShadowSplits] = {"pssm_0_projection_matrix", "pssm_1_projection_matrix",
                                                         "pssm_2_projection_matrix", "pssm_3_projection_matrix"};
    static const char* const kDistances[kShadowSplits] = {"pssm_0_slice_distance", "pssm_1_slice_distance",
                                                          "pssm_2_slice_distance", "pssm_3_slice_distance"};
    SetUniform1f(handle, "inverse_shadowmap_size", m_shadowMapInverse);
    const nMatrix4& cameraWorld = m_camera->GetWorldMatrix();
    for (int32_t k = 0; k < kShadowSplits; ++k) {
        const GL_ShadowSplit& split = record->splits[k];
        BindTextureSampler(program, first + k, m_shadowMaps[k].Get(), kMaps[k]);
        SetUniformMatrix4(handle, kMatrices[k], split.projection * split.view * cameraWorld);
        SetUniform1f(handle, kDistances[k], split.distance);
    }
}

void nGL3Renderer::BindPointShadowUniforms(nShader* program, const GL_PointShadow* record, int32_t first, nLight* light)
{
    const int32_t handle = UseProgram(program);
    if (!handle || !record) return;
    static const char* const kMaps[kShadowMapCount] = {"psm_0", "psm_1", "psm_2", "psm_3", "psm_4", "psm_5"};
    static const char* const kMatrices[kShadowMapCount] = {
        "psm_0_projection_matrix", "psm_1_projection_matrix", "psm_2_projection_matrix",
        "psm_3_projection_matrix", "psm_4_projection_matrix", "psm_5_projection_matrix"};
    SetUniform1f(handle, "inverse_shadowmap_size", m_shadowMapInverse);
    const nMatrix4& cameraWorld = m_camera->GetWorldMatrix();
    for (int32_t face = 0; face < kShadowMapCount; ++face) {
        BindTextureSampler(program, first + face, m_shadowMaps[face].Get(), kMaps[face]);
        SetUniformMatrix4(handle, kMatrices[face], record->projection[face] * record->view[face] * cameraWorld);
    }
    SetUniformMatrix4(handle, "view_to_light_matrix", light->GetInverseWorldMatrix() * cameraWorld);
}
