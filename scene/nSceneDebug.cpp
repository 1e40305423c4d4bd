// Debug drawing of the scene's items over the frame being drawn: markers, bones, boxes, the
// debug shapes of lights, cameras and triggers, selection corners and name labels. Nothing is
// kept between frames.
#include <cmath>

#include "core/nBounds.h"
#include "hub/nOrvex.h"
#include "render/nRenderer.h"
#include "resources/nGeometry.h"
#include "resources/nRasterFont.h"
#include "resources/nResourceLoader.h"
#include "scene/nCamera.h"
#include "scene/nGroup.h"
#include "scene/nItem.h"
#include "scene/nLight.h"
#include "scene/nObject.h"
#include "scene/nScene.h"

namespace {
const nVector kSelectionColour(1.0f, 0.65f, 0.16f, 1.0f);
const nVector kPlainColour(0.72f, 0.72f, 0.72f, 1.0f);
const nVector kMarkerColour(0.75f, 0.75f, 0.75f, 1.0f);
const nVector kCornerColour(0.8f, 0.8f, 0.8f, 0.75f);
const nVector kTriggerInactive(1.0f, 0.0f, 0.0f, 1.0f);
const nVector kTriggerActive(0.0f, 1.0f, 0.0f, 1.0f);
const nVector kBubbleColour(0.5f, 0.5f, 0.5f, 0.7f);
const nVector kBoundsColour(1.0f, 0.5f, 0.0f, 1.0f);
const float kPi = 3.14159265358979f;
const uint32_t kNoDepthFlags = 0x6000;  // no depth write, no depth test

// The twelve edges of the box (+-0.5)^3 as corner pairs (bits x, y, z): the face z = +0.5,
// the face z = -0.5, then the four joining them.
const int kEdges[12][2] = {{4, 5}, {5, 7}, {7, 6}, {6, 4}, {0, 1}, {1, 3}, {3, 2}, {2, 0}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};

void BoxCorners(const nVector& lo, const nVector& hi, const nMatrix4& matrix, nVector* out)
{
    for (int i = 0; i < 8; ++i)
        out[i] = nVector(i & 1 ? hi.x : lo.x, i & 2 ? hi.y : lo.y, i & 4 ? hi.z : lo.z).Transform(matrix);
}

// A local box drawn under a matrix, edge for edge: exact under any parent chain, scaled or
// sheared.
void DrawBoxUnder(nRenderer* renderer, const nVector& lo, const nVector& hi, const nMatrix4& matrix, const nVector& colour)
{
    nVector c[8];
    BoxCorners(lo, hi, matrix, c);
    for (const auto& e : kEdges) renderer->DrawLine(c[e[0]], c[e[1]], &colour);
}

bool IsMember(nGroup* group, nMItem* item) { return group && group->ContainsItem(item); }

nCamera* RendererCamera(nRenderer* renderer)
{
    return renderer ? dynamic_cast<nCamera*>(renderer->GetCamera()) : 0;
}
}

bool nScene::SetDebugShapes(const char* const names[kDebugShapeCount])
{
    for (int32_t i = 0; i < kDebugShapeCount; ++i) {
        SetDebugShape(i, names && names[i] ? LoadGeometry(m_engine, names[i], true, false) : 0);
    }
    return true;
}

void nScene::SetDebugShape(int32_t slot, nGeometry* geometry)
{
    if (slot >= 0 && slot < kDebugShapeCount) m_debugShapes[slot] = geometry;
}

void nScene::DrawDebug(nRenderer* renderer, nGroup* selected, nGroup* hidden, uint32_t flags)
{
    if (!renderer) return;
    auto memberColour = [&](nMItem* item, bool plainWithoutSelection) -> const nVector& {
        if (selected) return IsMember(selected, item) ? kSelectionColour : kPlainColour;
        return plainWithoutSelection ? kPlainColour : kSelectionColour;
    };

    for (nListNode<nMItem*>* n = GetLights().GetHead(); n; n = n->next) {
        nMItem* light = n->value;
        if (IsMember(hidden, light)) continue;
        DrawItemMarker(renderer, light, flags, 0);
        nLight* node = dynamic_cast<nLight*>(light->GetItem());
        int32_t slot = -1;
        if (node && node->GetType() == LightTypePoint) slot = DebugShapePointLight;
        else if (node && node->GetType() == LightTypeSpot) slot = DebugShapeSpotLight;
        else if (node && node->GetType() == LightTypeParallel) slot = DebugShapeParallelLight;
        if (slot >= 0)
            DrawDebugShape(renderer, m_debugShapes[slot].Get(), light->GetItem()->GetWorldMatrix(), memberColour(light, true));
    }

    for (nListNode<nMItem*>* n = GetObjects().GetHead(); n; n = n->next) {
        nMItem* object = n->value;
        if (IsMember(hidden, object)) continue;
        if (selected && !IsMember(selected, object)) {
            nObject* node = nMObject::FromItem(object);
            if (node && node->GetGeometry().IsValid()) continue;
            DrawItemMarker(renderer, object, flags, &kPlainColour);
        } else {
            DrawItemMarker(renderer, object, flags, &kSelectionColour);
        }
    }

    for (nListNode<nMItem*>* n = GetCameras().GetHead(); n; n = n->next) {
        nMItem* camera = n->value;
        if (IsMember(hidden, camera)) continue;
        DrawItemMarker(renderer, camera, flags, 0);
        DrawDebugShape(renderer, m_debugShapes[DebugShapeCamera].Get(), camera->GetItem()->GetWorldMatrix(),
                       memberColour(camera, false));
    }

    for (nListNode<nMItem*>* n = GetTriggers().GetHead(); n; n = n->next) {
        nMItem* trigger = n->value;
        if (IsMember(hidden, trigger)) continue;
        // The trigger's volume is the unit box under its world matrix, and its debug shape sits
        // there too, as the shapes of lights and cameras do.
        const nMatrix4& world = trigger->GetItem()->GetWorldMatrix();
        DrawBoxUnder(renderer, nVector(-0.5f, -0.5f, -0.5f), nVector(0.5f, 0.5f, 0.5f), world,
                     trigger->IsActive() ? kTriggerActive : kTriggerInactive);
        DrawDebugShape(renderer, m_debugShapes[DebugShapeTrigger].Get(), world, memberColour(trigger, false));
    }

    if (!selected) return;
    for (nListNode<nMItem*>* n = selected->GetItems().GetHead(); n; n = n->next) {
        nMItem* member = n->value;
        if (!member || member->GetKind() != ManagedItemObject || IsMember(hidden, member)) continue;
        nObject* node = nMObject::FromItem(member);
        if (!node) continue;
        nMinMax bounds;
        node->GetWorldMinMax(bounds);
        DrawBoxCorners(nOBB(bounds), renderer, node->GetWorldMatrix());
    }
}

void nScene::DrawItemMarker(nRenderer* renderer, nMItem* item, uint32_t flags, const nVector* colour)
{
    if (!renderer || !item || !item->GetItem()) return;
    nItem* node = item->GetItem();
    const nVector& c = colour ? *colour : kMarkerColour;
    nItem* parent = node->GetParent();

    if ((node->GetFlags() & ItemFlagBone) && parent) {
        if (!(flags & DebugDrawBones)) return;
        const nVector base = parent->GetWorldMatrix().GetColumn(3, true);
        const nVector v = node->GetWorldMatrix().GetColumn(3, true) - base;
        const float L = v.Length();
        if (L > 1e-6f) {
            DrawBone(renderer, base, v, parent->GetWorldMatrix().GetColumn(1, true), nVector(c.x, c.y, c.z, 0.5f));
            return;
        }
        // A bone of no length has no direction: it is marked as a point.
    }

    // The cross marks the item's origin as it stands without its pivot, computed rather than
    // set: the item's matrices are left as they are.
    const nVector origin = parent ? node->GetPosition().Transform(parent->GetWorldMatrix()) : node->GetPosition();
    renderer->DrawCross(origin, 0.05f * m_visualisationScale, &c);

    if (item->GetKind() == ManagedItemObject && (flags & DebugDrawObjectBounds)) {
        nObject* object = nMObject::FromItem(item);
        if (!object) return;
        nMinMax bounds;
        object->GetWorldMinMax(bounds);
        DrawBoxUnder(renderer, bounds.min, bounds.max, object->GetWorldMatrix(), kBoundsColour);
    }
}

void nScene::DrawBone(nRenderer* renderer, const nVector& base, const nVector& direction, const nVector& up,
                      const nVector& colour)
{
    const float L = direction.Length();
    nMatrix4 frame = nMatrix4::FromMatrix3(nMatrix3::LookAt(direction, &up));
    frame.SetColumn(3, base, true);
    const nVector p[6] = {nVector(0, 0, 0).Transform(frame),
                          nVector(-0.1f * L, 0.1f * L, 0.2f * L).Transform(frame),
                          nVector(0.1f * L, 0.1f * L, 0.2f * L).Transform(frame),
                          nVector(0.1f * L, -0.1f * L, 0.2f * L).Transform(frame),
                          nVector(-0.1f * L, -0.1f * L, 0.2f * L).Transform(frame),
                          nVector(0, 0, L).Transform(frame)};
    for (int i = 1; i <= 4; ++i) renderer->DrawLine(p[0], p[i], &colour);
    for (int i = 1; i <= 4; ++i) renderer->DrawLine(p[i], p[5], &colour);
    for (int i = 1; i <= 4; ++i) renderer->DrawLine(p[i], p[i % 4 + 1], &colour);
}

void nScene::DrawDebugShape(nRenderer* renderer, nGeometry* geometry, const nMatrix4& matrix, const nVector& colour)
{
    if (!renderer || !geometry || !geometry->polygons || !geometry->vertices) return;
    const float s = m_visualisationScale;
    const nMatrix4 M = matrix * nMatrix4::Scaling(nVector(s, s, s));
    for (uint32_t p = 0; p < geometry->polygonCount; ++p) {
        const nPolygon& polygon = geometry->polygons[p];
        if (polygon.count == 0 || !polygon.bindings) continue;
        for (uint32_t j = 0; j < polygon.count; ++j) {
            const int32_t a = polygon.bindings[j];
            const int32_t b = polygon.bindings[(j + 1) % polygon.count];
            if (a < 0 || b < 0 || (uint32_t)a >= geometry->vertexCount || (uint32_t)b >= geometry->vertexCount) continue;
            renderer->DrawLine(geometry->vertices[a].Transform(M), geometry->vertices[b].Transform(M), &colour);
        }
    }
}

void nScene::DrawBoxCorners(const nOBB& box, nRenderer* renderer, const nMatrix4& matrix)
{
    const nMatrix4 M = matrix * nMatrix4::Compose(box.position, box.orientation, box.scale, nVector(0, 0, 0));
    nVector c[8];
    BoxCorners(nVector(-0.5f, -0.5f, -0.5f), nVector(0.5f, 0.5f, 0.5f), M, c);
    for (const auto& e : kEdges) DrawEdgeCorners(c[e[0]], c[e[1]], renderer);
}

void nScene::DrawEdgeCorners(const nVector& a, const nVector& b, nRenderer* renderer)
{
    const nVector d = (b - a) * 0.2f;
    renderer->DrawLine(a, a + d, &kCornerColour);
    renderer->DrawLine(b, b - d, &kCornerColour);
}

const char* nScene::GetLabelPrefix(int32_t kind)
{
    switch (kind) {
        case ManagedItemCamera: return "Camera: ";
        case ManagedItemObject: return "Object: ";
        case ManagedItemLight: return "Light: ";
        case ManagedItemTrigger: return "Trigger: ";
        default: return 0;
    }
}

void nScene::DrawItemLabel(nRenderer* renderer, nMItem* item)
{
    nCamera* camera = RendererCamera(renderer);
    nRasterFont* font = m_profilerFont;
    if (!camera || !item || !item->GetItem() || !font) return;
    const char* prefix = GetLabelPrefix(item->GetKind());
    nString text(prefix ? prefix : "");
    text += item->GetName().GetCStr();

    nVector screen;
    if (!camera->WorldToScreen(item->GetItem()->GetWorldMatrix().GetColumn(3, true), screen, true)) return;
    screen.y += 0.05f;
    // A renderer that does not say its viewport leaves the height at 0: no label then.
    int32_t x = 0, y = 0, width = 0, height = 0;
    renderer->GetViewport(&x, &y, &width, &height);
    if (height <= 0) return;
    const float size = 290.0f / height;
    const float w = font->GetLineWidth(text.GetCStr(), 0);
    DrawLabelBubble(renderer, screen.x, screen.y, size * w * 0.5f, size * 0.075f, kBubbleColour);
    renderer->Write(font, text.GetCStr(), screen.x, screen.y, size, true, RasterAlignMiddle, 0);
}

void nScene::DrawLabelBubble(nRenderer* renderer, float x, float y, float width, float height, const nVector& colour)
{
    const float l = x - width * 0.5f, r = x + width * 0.5f;
    const float top = y - 0.2f * height, bottom = y + 0.8f * height;
    DrawScreenTriangle(renderer, nVector2(l, top), nVector2(r, top), nVector2(r, bottom), colour);
    DrawScreenTriangle(renderer, nVector2(l, top), nVector2(r, bottom), nVector2(l, bottom), colour);
    for (int side = -1; side <= 1; side += 2) {
        const nVector2 centre(x + side * width * 0.5f, y);
        auto point = [&](int k) {
            const float t = k * kPi / 16.0f;
            return nVector2(centre.x + side * 0.25f * height * std::sin(t), y + 0.5f * height * (0.6f - std::cos(t)));
        };
        for (int k = 0; k < 16; ++k) DrawScreenTriangle(renderer, centre, point(k), point(k + 1), colour);
    }
}

void nScene::DrawScreenTriangle(nRenderer* renderer, const nVector2& a, const nVector2& b, const nVector2& c,
                                const nVector& colour)
{
    nCamera* camera = RendererCamera(renderer);
    if (!camera) return;
    nVector pa, pb, pc;
    camera->ScreenToWorld(pa, a.x, a.y, 1.0f, -1.0f);
    camera->ScreenToWorld(pb, b.x, b.y, 1.0f, -1.0f);
    camera->ScreenToWorld(pc, c.x, c.y, 1.0f, -1.0f);
    renderer->DrawTriangle(pa, pb, pc, &colour, 0, 0, kNoDepthFlags);
}
