#include "scene/nCamera.h"

#include <cmath>

#include "core/nLog.h"
#include "core/nMetaFile.h"
#include "core/nMetaTag.h"
#include "hub/nOrvex.h"
#include "render/nRenderer.h"
#include "scene/nItemTags.h"
#include "scene/nLight.h"
#include "scene/nScene.h"

namespace {

const float kDefaultNear = 0.1f;
const float kDefaultFar = 50000.0f;
const float kWrittenFar = 100000.0f;  // the writer's reference: a default far plane is written
const float kDefaultZoom = 3.2f;
const float kMinimumZoom = 0.1f;
const float kMinimumFov = 0.008726647f;  // 0.5 degrees
const float kMaximumFov = 3.14072f;      // 179.95 degrees
const float kMinimumReadNear = 0.2f;
const float kMinimumDepthRange = 0.001f;  // far stays this far beyond near in every projection
const float kMinimumBoxSize = 0.001f;     // smallest orthographic box edge the projection divides by

// The far plane used by projections and frusta: at least kMinimumDepthRange beyond near.
float UsableFar(float nearZ, float farZ)
{
    return farZ >= nearZ + kMinimumDepthRange ? farZ : nearZ + kMinimumDepthRange;
}

float UsableBoxSize(float size)
{
    return size >= kMinimumBoxSize ? size : kMinimumBoxSize;
}

// Zoom brought into the range that SetFov can produce (a spot extent of 0 gives infinity).
float UsableZoom(float zoom)
{
    const float maximum = 1.0f / std::tan(kMinimumFov * 0.5f);
    if (!(zoom >= kMinimumZoom)) return kMinimumZoom;
    return zoom > maximum ? maximum : zoom;
}

void NormaliseAxes(nMatrix4& m)
{
    for (int i = 0; i < 3; ++i) {
        nVector axis = nVector(m.m[i], m.m[4 + i], m.m[8 + i]).Normalize();
        m.m[i] = axis.x;
        m.m[4 + i] = axis.y;
        m.m[8 + i] = axis.z;
    }
}

bool ReadCameraTag(nMItem* item, nMetaFile* document, nMetaTag* tag)
{
    return static_cast<nMCamera*>(item)->GetCamera().Deserialize(document, tag);
}

}

nCamera::nCamera(nOrvex* engine)
    : nItem(engine),
      m_aspectRatio(-1.0f),
      m_aspectReferenceY(true),
      m_near(kDefaultNear),
      m_far(kDefaultFar),
      m_orthographic(false),
      m_orthographicWidth(1.0f),
      m_orthographicHeight(1.0f),
      m_viewportSize(1.0f, 1.0f),
      m_viewportOrigin(0.0f, 0.0f),
      m_zoom(kDefaultZoom)
{
}

nCamera::~nCamera()
{
}

void nCamera::UpdateWorldMatrix()
{
    bool dirty = (m_flags & ItemFlagWorldDirty) != 0;
    nItem::UpdateWorldMatrix();
    if (dirty) NormaliseAxes(m_world);
}

float nCamera::ViewportRatio(bool widthOverHeight) const
{
    nRenderer* renderer = m_engine ? m_engine->GetRenderer() : 0;
    if (!renderer) return 1.0f;
    // A renderer without a viewport (the null renderer) writes nothing: it counts as square.
    int32_t x = 0, y = 0, width = 0, height = 0;
    renderer->GetViewport(&x, &y, &width, &height);
    if (width <= 0 || height <= 0) return 1.0f;
    return widthOverHeight ? (float)width / (float)height : (float)height / (float)width;
}

float nCamera::GetAspectFactor() const
{
    float e = m_aspectRatio > 0.0f ? m_aspectRatio : ViewportRatio(false);
    nRenderer* renderer = m_engine ? m_engine->GetRenderer() : 0;
    if (renderer) e *= renderer->GetGlobalAspectRatio();
    return e > 0.0f && std::isfinite(e) ? e : 1.0f;
}

void nCamera::ComputeProjectionMatrix(nMatrix4& q)
{
    for (float& v : q.m) v = 0.0f;
    const float n = m_near, f = UsableFar(m_near, m_far);
    if (m_orthographic) {
        q.m[0] = 2.0f / UsableBoxSize(m_orthographicWidth);
        q.m[5] = 2.0f / UsableBoxSize(m_orthographicHeight);
        q.m[10] = 1.0f / (f - n);
        q.m[11] = -n / (f - n);
        q.m[15] = 1.0f;
    } else {
        const float a = f / (f - n);
        q.m[0] = m_zoom;
        q.m[5] = m_zoom;
        q.m[10] = a;
        q.m[11] = -a * n;
        q.m[14] = 1.0f;
    }
    const float e = GetAspectFactor();
    if (m_aspectReferenceY) q.m[0] *= e;
    else q.m[5] /= e;
}

void nCamera::ComputeFrustum(nFrustum* out, float nearZ, float farZ)
{
    if (!out) out = &m_frustum;
    if (nearZ == -1.0f) nearZ = m_near;
    if (farZ == -1.0f) farZ = m_far;
    farZ = UsableFar(nearZ, farZ);
    const float e = GetAspectFactor();
    const float xFactor = m_aspectReferenceY ? e : 1.0f;
    const float yFactor = m_aspectReferenceY ? 1.0f : 1.0f / e;
    const nMatrix4& world = GetWorldMatrix();
    if (m_orthographic)
        out->SetOrthographic(m_orthographicWidth, m_orthographicHeight, nearZ, farZ, &world, xFactor, yFactor);
    else
        out->SetPerspective(GetFov(), nearZ, farZ, &world, xFactor, yFactor);
}

float nCamera::GetFov() const
{
    return 2.0f * std::atan(1.0f / m_zoom);
}

void nCamera::SetFov(float radians)
{
    if (!(radians >= kMinimumFov)) radians = kMinimumFov;
    if (radians > kMaximumFov) radians = kMaximumFov;
    m_zoom = 1.0f / std::tan(radians * 0.5f);
    if (m_zoom < kMinimumZoom) m_zoom = kMinimumZoom;
}

bool nCamera::WorldToScreen(const nVector& point, nVector& out, bool useViewport)
{
    nVector v = point.Transform(GetInverseWorldMatrix());
    if (!(v.z > 0.0f)) return false;
    float x = v.x * m_zoom / v.z;
    float y = v.y * m_zoom / v.z;
    if (useViewport) {
        const float r = ViewportRatio(true);
        if (m_aspectReferenceY) x /= r;
        else y /= r;
    }
    out = nVector((x + 1.0f) * 0.5f, (1.0f - y) * 0.5f, 0.0f, 1.0f);
    return true;
}

nVector& nCamera::ScreenToWorld(nVector& out, float sx, float sy, float depth, float aspect)
{
    float x = (sx - 0.5f) * 2.0f * depth / m_zoom;
    float y = (sy - 0.5f) * -2.0f * depth / m_zoom;
    if (aspect >= 0.0f) {
        x *= aspect;
    } else {
        const float r = ViewportRatio(true);
        if (m_aspectReferenceY) x *= r;
        else y *= r;
    }
    out = nVector(x, y, depth, 1.0f).Transform(GetWorldMatrix());
    return out;
}

void nCamera::SetupFromSpotLight(nLight* light)
{
    if (!light) return;
    m_aspectRatio = 1.0f;
    SetWorldMatrix(light->GetWorldMatrix(), false, false);
    m_near = light->GetNear();
    m_far = light->GetVolumeRange();
    const float a = light->GetConeAngle() + light->GetEdgeAngle();
    m_zoom = UsableZoom(std::cos(a) / std::sin(a));
}

// NML.

bool nCamera::Deserialize(nMetaFile* document, nMetaTag* tag)
{
    if (!tag) return false;
    if (!nMLCheckRoot(tag, "Camera", "camera")) return false;
    m_registry.DeletePath("PostProcess:Dof;");
    typedef nCamera C;
    static const nMLTagRule<C> kTags[] = {
        {"Item", [](C& c, nMetaFile* d, nMetaTag* t) { c.nItem::Deserialize(d, t); }},
        {"ZNear", [](C& c, nMetaFile*, nMetaTag* t) {
             float value;
             if (ReadTagFloat(t, value)) c.m_near = value < kMinimumReadNear ? kMinimumReadNear : value;
         }},
        {"ZFar", nMLField<&C::m_far>},
        // A zoom of 0 (or below) would divide the screen mapping by zero.
        {"ZoomFactor", [](C& c, nMetaFile*, nMetaTag* t) {
             float value;
             if (ReadTagFloat(t, value)) c.m_zoom = value >= kMinimumZoom ? value : kMinimumZoom;
         }},
        {"ViewportOrigin", nMLField<&C::m_viewportOrigin>},
        {"ViewportSize", nMLField<&C::m_viewportSize>},
        {"Orthographic", [](C& c, nMetaFile*, nMetaTag*) { c.m_orthographic = true; }},
        {"OrthographicWidth", nMLField<&C::m_orthographicWidth>},
        {"OrthographicHeight", nMLField<&C::m_orthographicHeight>},
        {"FStop", [](C& c, nMetaFile*, nMetaTag* t) {
             float value;
             if (ReadTagFloat(t, value)) c.m_registry.SetPathValue("PostProcess:Dof:FStop", nVariant(value));
         }},
        {"FocalDistance", [](C& c, nMetaFile*, nMetaTag* t) {
             float value;
             if (ReadTagFloat(t, value)) c.m_registry.SetPathValue("PostProcess:Dof:FDist", nVariant(value));
         }},
        {"AspectRatioRefYAxis", nMLField<&C::m_aspectReferenceY>},
    };
    nMLReadChildren(*this, document, tag, kTags, "Camera");
    return true;
}

nMetaTag* nCamera::Serialize(nMetaFile* document)
{
    nMetaTag* root = new (std::nothrow) nMetaTag("Camera");
    if (!root) {
        *g_log << "[!] Could not serialize camera. Failed to create root tag.\n";
        return 0;
    }
    AppendTag(root, nItem::Serialize(document));
    if (m_near != kDefaultNear) AppendTag(root, new (std::nothrow) nMetaTag("ZNear", m_near));
    if (m_far != kWrittenFar) AppendTag(root, new (std::nothrow) nMetaTag("ZFar", m_far));
    if (m_zoom != kDefaultZoom) AppendTag(root, new (std::nothrow) nMetaTag("ZoomFactor", m_zoom));
    if (m_viewportOrigin.x != 0.0f || m_viewportOrigin.y != 0.0f)
        AppendTag(root, m_viewportOrigin.ToMetaTag("ViewportOrigin"));
    if (m_viewportSize.x != 1.0f || m_viewportSize.y != 1.0f)
        AppendTag(root, m_viewportSize.ToMetaTag("ViewportSize"));
    if (m_orthographic) AppendTag(root, new (std::nothrow) nMetaTag("Orthographic"));
    if (m_orthographicWidth != 1.0f) AppendTag(root, new (std::nothrow) nMetaTag("OrthographicWidth", m_orthographicWidth));
    if (m_orthographicHeight != 1.0f) AppendTag(root, new (std::nothrow) nMetaTag("OrthographicHeight", m_orthographicHeight));
    AppendTag(root, new (std::nothrow) nMetaTag("AspectRatioRefYAxis", m_aspectReferenceY));
    return root;
}

// Managed camera.

nMCamera::nMCamera(nScene* scene)
    : nMItem(scene), m_camera(scene ? scene->GetEngine() : 0)
{
    SetNode(&m_camera, ManagedItemCamera);
}

nMCamera::~nMCamera()
{
    RaiseOnDelete();
    bool current = m_scene && m_scene->GetCurrentCamera() == &m_camera;
    if (current) m_scene->SetCurrentCamera(0);
    // The deletion flush forgets the scene's current camera before the item is destroyed, so
    // the renderer is also asked directly whether it still holds this camera.
    nOrvex* engine = m_camera.GetEngine();
    nRenderer* renderer = engine ? engine->GetRenderer() : 0;
    if (renderer && (current || renderer->GetCamera() == &m_camera)) renderer->SetCamera(0);
}

void nMCamera::UpdateTransform()
{
    m_camera.ComputeFrustum(0, -1.0f, -1.0f);
}

bool nMCamera::Deserialize(nMetaFile* document, nMetaTag* tag)
{
    return DeserializeManagedTag(this, document, tag, "MCamera", "Camera",
                                 "could not parse managed camera. Root tag id is incorrect (", ReadCameraTag);
}

nMetaTag* nMCamera::Serialize(nMetaFile* document)
{
    return SerializeManagedTag(this, document, "MCamera", m_camera.Serialize(document),
                               "Could not create managed root tag to serialize.\n");
}
