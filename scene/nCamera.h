#ifndef N_CAMERA_H
#define N_CAMERA_H

#include "core/nFrustum.h"
#include "core/nMatrix.h"
#include "core/nVector.h"
#include "scene/nItem.h"
#include "scene/nMItem.h"

class nLight;
class nMetaFile;
class nMetaTag;
class nScene;

// A transform node that views the scene: near and far planes, a zoom factor standing for the
// field of view (zoom = 1 / tan(fov / 2)), an optional orthographic box, the aspect handling
// and a world-space view frustum. The view looks along +z of its world matrix, which carries
// no scale; projected depth maps the near plane to 0 and the far plane to 1.
//
// The aspect factor e is the aspect ratio (height / width) when it is above 0, else the
// current renderer's viewport height / width, times the renderer's global aspect ratio. A
// renderer that reports no usable viewport counts as square, and an e that is not positive
// counts as 1. Projections and frusta use a far plane at least 0.001 beyond the near plane.
class nCamera : public nItem
{
public:
    explicit nCamera(nOrvex* engine);  // near 0.1, far 50000, zoom 3.2, perspective, aspect from the viewport
    ~nCamera() override;

    void UpdateWorldMatrix() override;  // nItem's, then a rebuilt world matrix loses its scale

    void ComputeProjectionMatrix(nMatrix4& out);                  // perspective or orthographic, with the aspect factor
    void ComputeFrustum(nFrustum* out, float nearZ, float farZ);  // NULL: own frustum; -1: own near or far
    float GetFov() const;                                         // 2 atan(1 / zoom)
    void SetFov(float radians);                                   // clamped to [0.008726647, 3.14072]; zoom at least 0.1
    // Normalised screen position (0 to 1 across, y downwards) of a world point; false, out
    // untouched, for a point not in front of the camera.
    bool WorldToScreen(const nVector& point, nVector& out, bool useViewport);
    // The world point at depth along the view of screen position (sx, sy); aspect -1 takes the
    // viewport's width / height. Returns out.
    nVector& ScreenToWorld(nVector& out, float sx, float sy, float depth, float aspect);
    void SetupFromSpotLight(nLight* light);  // the spot light's view for a shadow pass
    float GetAspectFactor() const;           // e, as the projection uses it

    // "Camera" NML: reading keeps what absent keys leave; unknown children warn.
    bool Deserialize(nMetaFile* document, nMetaTag* tag);
    nMetaTag* Serialize(nMetaFile* document);  // NULL (logged) when the root cannot be made

    nFrustum& GetFrustum() { return m_frustum; }
    float GetAspectRatio() const { return m_aspectRatio; }
    void SetAspectRatio(float ratio) { m_aspectRatio = ratio; }  // 0 or below: from the viewport
    bool GetAspectReferenceY() const { return m_aspectReferenceY; }
    void SetAspectReferenceY(bool y) { m_aspectReferenceY = y; }
    float GetNear() const { return m_near; }
    void SetNear(float nearZ) { m_near = nearZ; }
    float GetFar() const { return m_far; }
    void SetFar(float farZ) { m_far = farZ; }
    bool IsOrthographic() const { return m_orthographic; }
    void SetOrthographic(bool on) { m_orthographic = on; }
    float GetOrthographicWidth() const { return m_orthographicWidth; }
    float GetOrthographicHeight() const { return m_orthographicHeight; }
    void SetOrthographicSize(float width, float height)
    {
        m_orthographicWidth = width;
        m_orthographicHeight = height;
    }
    const nVector2& GetViewportSize() const { return m_viewportSize; }
    const nVector2& GetViewportOrigin() const { return m_viewportOrigin; }
    float GetZoom() const { return m_zoom; }

private:
    float ViewportRatio(bool widthOverHeight) const;  // of the current renderer; 1 without a usable viewport

    float m_aspectRatio;
    bool m_aspectReferenceY;
    nFrustum m_frustum;
    float m_near;
    float m_far;
    bool m_orthographic;
    float m_orthographicWidth;
    float m_orthographicHeight;
    nVector2 m_viewportSize;
    nVector2 m_viewportOrigin;
    float m_zoom;
};

// The managed camera (kind 1): the scene lists it and refreshes its frustum every evaluation.
// Deleting it unbinds it from its scene and from the renderer wherever it is bound.
class nMCamera : public nMItem
{
public:
    explicit nMCamera(nScene* scene);
    ~nMCamera() override;

    void Evaluate() override {}
    void UpdateTransform() override;  // the camera's own frustum

    // "MCamera" NML: the "MItem" tag and the "Camera" tag.
    bool Deserialize(nMetaFile* document, nMetaTag* tag);
    nMetaTag* Serialize(nMetaFile* document);

    nCamera& GetCamera() { return m_camera; }

private:
    nCamera m_camera;
};

#endif
