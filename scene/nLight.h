#ifndef N_LIGHT_H
#define N_LIGHT_H

#include <cstdint>

#include "core/nFrustum.h"
#include "core/nMatrix.h"
#include "core/nSharedObject.h"
#include "core/nString.h"
#include "core/nVector.h"
#include "scene/nItem.h"
#include "scene/nMItem.h"

class nMetaFile;
class nMetaTag;
class nScene;
class nTexture;
struct nRenderData;

enum nLightType
{
    LightTypeNone = 0,
    LightTypePoint = 1,
    LightTypeParallel = 2,
    LightTypeSpot = 3,
    LightTypeArea = 4
};

enum nLightShadow
{
    LightShadowNone = 0,
    LightShadowProjectedMap = 1,
    LightShadowMap = 2
};

enum nLightFalloff
{
    LightFalloffLinear = 0,
    LightFalloffInverseDistance = 1,
    LightFalloffInverseSquareDistance = 2
};

// A transform node that lights the scene: its type, range and falloff, colours and
// intensities, spot cone, shadow and volumetric settings, an optional projected texture and
// custom shader. It shines along +z of its world matrix, which carries no scale. The spot
// extent is cone + edge from the axis. The renderer keeps its own data in the light and frees
// it when the light is destroyed.
class nLight : public nItem
{
public:
    explicit nLight(nOrvex* engine);  // SetDefaults: a white point light, diffuse 1, specular 0, unlimited range
    ~nLight() override;               // the current renderer frees its data; the map is released

    void SetDefaults();                 // every setting but the frustum, the map and the renderer data
    void UpdateWorldMatrix() override;  // nItem's, unscaled when rebuilt, then the shadow frustum every time

    void UpdateShadowFrustum(nFrustum& out, float nearZ, float farZ);  // spot lights only; -1: own near or volume range
    void GetProjectionMatrix(nMatrix4& out) const;                     // identity unless spot: its projection from near to volume range
    // Diffuse and specular factors at a surface point (either output may be NULL, not both);
    // false when out of range, outside the spot cone, facing away or with no output.
    bool ComputeLighting(const nVector& point, const nVector& normal, float* diffuse, float* specular,
                         const nVector* view, float glossiness, bool halfVector, bool cookTorrance);
    // The same with the light placed by world (its world matrix as taken earlier): reads the
    // light only, so threads may share it.
    bool ComputeLightingAt(const nMatrix4& world, const nVector& point, const nVector& normal, float* diffuse,
                           float* specular, const nVector* view, float glossiness, bool halfVector,
                           bool cookTorrance) const;
    static nVector Reflect(const nVector& v, const nVector& n);  // v - 2 (v.n) n, w = 1

    // "Light" NML: reading restores the defaults first (the projection map stays unless named).
    bool Deserialize(nMetaFile* document, nMetaTag* tag);
    nMetaTag* Serialize(nMetaFile* document);  // NULL (logged) when the root cannot be made

    const nString& GetShader() const { return m_shader; }
    void SetShader(const char* name) { m_shader.Set(name); }
    int32_t GetType() const { return m_type; }
    void SetType(int32_t type) { m_type = type; }
    nFrustum& GetShadowFrustum() { return m_shadowFrustum; }
    int32_t GetShadow() const { return m_shadow; }
    void SetShadow(int32_t mode) { m_shadow = mode; }
    float GetShadowRange() const { return m_shadowRange; }
    float GetShadowBias() const { return m_shadowBias; }
    float GetShadowDistribution() const { return m_shadowDistribution; }
    void SetShadowDistribution(float lambda) { m_shadowDistribution = lambda; }
    float GetNear() const { return m_near; }
    void SetNear(float nearZ) { m_near = nearZ; }
    bool IsVolumetric() const { return m_volumetric; }
    void SetVolumetric(bool on) { m_volumetric = on; }
    float GetVolumetricSampleStep() const { return m_volumetricSampleStep; }
    float GetVolumetricRange() const { return m_volumetricRange; }
    void SetVolumetricRange(float range) { m_volumetricRange = range; }
    float GetVolumetricThickness() const { return m_volumetricThickness; }
    int32_t GetFalloff() const { return m_falloff; }
    float GetRange() const { return m_range; }
    void SetRange(float range) { m_range = range; }  // 0: unlimited
    float GetVolumeRange() const { return m_volumeRange; }
    void SetVolumeRange(float range) { m_volumeRange = range; }
    float GetClipDistance() const { return m_clipDistance; }
    const nVector& GetDiffuse() const { return m_diffuse; }
    void SetDiffuse(const nVector& c) { m_diffuse = c; }
    const nVector& GetSpecular() const { return m_specular; }
    void SetSpecular(const nVector& c) { m_specular = c; }
    const nVector& GetShadowColour() const { return m_shadowColour; }
    float GetDiffuseIntensity() const { return m_diffuseIntensity; }
    void SetDiffuseIntensity(float i) { m_diffuseIntensity = i; }
    float GetSpecularIntensity() const { return m_specularIntensity; }
    void SetSpecularIntensity(float i) { m_specularIntensity = i; }
    float GetConeAngle() const { return m_coneAngle; }
    void SetConeAngle(float radians) { m_coneAngle = radians; }
    float GetEdgeAngle() const { return m_edgeAngle; }
    void SetEdgeAngle(float radians) { m_edgeAngle = radians; }
    nTexture* GetProjectionMap() const { return m_projectionMap.Get(); }
    void SetProjectionMap(nTexture* map);  // takes a reference; NULL releases
    nRenderData* GetRenderData() const { return m_renderData; }
    void SetRenderData(nRenderData* data) { m_renderData = data; }  // the renderer's alone

private:
    nString m_shader;
    int32_t m_type;
    nFrustum m_shadowFrustum;
    int32_t m_shadow;
    float m_shadowRange;
    float m_shadowBias;
    float m_shadowDistribution;
    float m_near;
    bool m_volumetric;
    float m_volumetricSampleStep;
    float m_volumetricRange;
    float m_volumetricThickness;
    int32_t m_falloff;
    float m_range;
    float m_volumeRange;
    float m_clipDistance;
    nVector m_diffuse;
    nVector m_specular;
    nVector m_shadowColour;
    float m_diffuseIntensity;
    float m_specularIntensity;
    float m_coneAngle;
    float m_edgeAngle;
    nSharedPtr<nTexture> m_projectionMap;
    nRenderData* m_renderData;
};

// The managed light (kind 3), priority 1 at construction. It counts as inactive while both
// intensities are at most 0.001; its active byte alone says whether it belongs to the scene's
// active list, so a light dimmed to nothing comes back when its intensity does.
class nMLight : public nMItem
{
public:
    explicit nMLight(nScene* scene);
    ~nMLight() override;

    bool IsActive() const override;   // false while both intensities are <= 0.001
    void Evaluate() override;         // the current renderer updates the light
    void UpdateTransform() override;  // world matrix and shadow frustum brought up to date
    void Setup() override;            // the current renderer sets the light up, then nMItem's

    // "MLight" NML: the "MItem" tag and the "Light" tag.
    bool Deserialize(nMetaFile* document, nMetaTag* tag);
    nMetaTag* Serialize(nMetaFile* document);

    nLight& GetLight() { return m_light; }

private:
    nLight m_light;
};

#endif
