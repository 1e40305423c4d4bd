#include "ui/nSprite2D.h"

#include <cmath>
#include <new>

#include "core/nCategory.h"
#include "core/nLog.h"
#include "core/nMLReader.h"
#include "core/nMetaFile.h"
#include "hub/nOrvex.h"
#include "render/nRenderer.h"
#include "resources/nMaterial.h"
#include "resources/nResourceLoader.h"
#include "scriptiface/nScriptVM.h"
#include "ui/nScene2D.h"

const nSprite2DBitName kSprite2DStyleNames[10] = {
    {Sprite2DStyleAdditive, "Additive"},
    {Sprite2DStyleAlwaysOnTop, "AlwaysOnTop"},
    {Sprite2DStyleAlwaysBehind, "AlwaysBehind"},
    {Sprite2DStyleNonSensitive, "NonSensitive"},
    {Sprite2DStyleResolutionInvariant, "ResolutionInvariant"},
    {Sprite2DStyleLockUV, "LockUV"},
    {Sprite2DStyleNoDecoration, "NoDecoration"},
    {Sprite2DStyleLocked, "Locked"},
    {Sprite2DStyleNoTitle, "NoTitle"},
    {Sprite2DStyleMovable, "Movable"},
};

const nSprite2DBitName kSprite2DStateNames[4] = {
    {Sprite2DStateActive, "Active"},
    {Sprite2DStateVisible, "Visible"},
    {Sprite2DStateFlipU, "FlipU"},
    {Sprite2DStateFlipV, "FlipV"},
};

namespace {

const float kSpriteDepth = 0.75f;
const float kPi = 3.14159265358979f;

nVector2 Apply(const nMatrix3& m, float x, float y)
{
    return nVector2(m.m[0] * x + m.m[1] * y + m.m[2], m.m[3] * x + m.m[4] * y + m.m[5]);
}

// The bits of the children of tag named in names; a child of another name warns.
uint32_t ReadBitNames(const nMetaTag* tag, const nSprite2DBitName* names, int32_t count, const char* record)
{
    uint32_t bits = 0;
    nMetaTagIterator it;
    nMetaTag* parent = const_cast<nMetaTag*>(tag);
    while (nMetaTag* child = parent->NextChild(it)) {
        bool known = false;
        for (int32_t i = 0; i < count && !known; ++i)
            if (IsTagNamed(child, names[i].name)) {
                bits |= names[i].bit;
                known = true;
            }
        if (!known) nMLWarnUnknownTag(child, record);
    }
    return bits;
}

nMetaTag* WriteBitNames(const char* name, uint32_t bits, const nSprite2DBitName* names, int32_t count)
{
    nMetaTag* tag = new (std::nothrow) nMetaTag(name);
    if (!tag) return 0;
    for (int32_t i = 0; i < count; ++i)
        if (bits & names[i].bit) AppendTag(tag, new (std::nothrow) nMetaTag(names[i].name));
    return tag;
}

}

nSprite2D::nSprite2D(nScene2D* scene, nTexture* texture, nSprite2D* parent, const char* id, const nVector2* position,
                     const nVector2* size)
    : nSprite2D(scene, false, texture, parent, id, position, size)
{
}

nSprite2D::nSprite2D(nScene2D* scene, bool isWindow, nTexture* texture, nSprite2D* parent, const char* id,
                     const nVector2* position, const nVector2* size)
    : m_isWindow(isWindow),
      m_scene(scene),
      m_parent(0),
      m_style(0),
      m_state(Sprite2DStateVisible | Sprite2DStateComposeNeeded),
      m_uid(scene ? scene->TakeSpriteUid() : 0),
      m_position(0.5f, 0.5f),
      m_pivot(0.0f, 0.0f),
      m_size(128.0f, 128.0f),
      m_scale(1.0f, 1.0f),
      m_zOrder(0.5f),
      m_angle(0.0f),
      m_opacity(1.0f),
      m_id(id)
{
    nCategoryScope category(CategoryScene2D);
    Init(texture, parent, position, size);
}

void nSprite2D::Init(nTexture* texture, nSprite2D* parent, const nVector2* position, const nVector2* size)
{
    m_texture = texture;
    if (position) m_position = *position;
    if (size) StoreSize(size->x, size->y);
    if (parent) SetParent(parent);
    if (m_scene) m_scene->AppendSprite(this);
}

nSprite2D::~nSprite2D()
{
    if (m_scene && m_scene->GetVM()) m_scene->GetVM()->InvalidateNativeObject(static_cast<void*>(this));
    for (nListNode<nSprite2D*>* n = m_children.GetHead(); n; n = n->next) n->value->m_parent = 0;
    m_children.Clear();
    if (m_parent) m_parent->m_children.Remove(this);
    m_parent = 0;
    m_texture.Release();
    ResetCommandList();
}

bool nSprite2D::ExecuteCommand(nACECommand* record, float slice)
{
    if (!record || record->code < ACE2DToAlpha || record->code > ACE2DHide) return nACEUnit::ExecuteCommand(record, slice);
    if (record->code == ACE2DShow || record->code == ACE2DHide) {
        SetState(Sprite2DStateVisible, record->code == ACE2DShow);
        record->remaining = 0.0f;  // done at once
        return true;
    }
    // The share of the remaining time this slice takes: each value lands on its target
    // exactly when the command's time runs out, however the frames cut it.
    const float f = record->remaining > 0.0f && slice < record->remaining ? slice / record->remaining : 1.0f;
    const float* p = record->parameters;
    switch (record->code) {
        case ACE2DToAlpha:
            m_opacity += f * (p[0] - m_opacity);
            break;
        case ACE2DToPosition:
            m_position.x += f * (p[0] - m_position.x);
            m_position.y += f * (p[1] - m_position.y);
            break;
        case ACE2DToScale:
            m_scale.x += f * (p[0] - m_scale.x);
            m_scale.y += f * (p[1] - m_scale.y);
            break;
        case ACE2DToAngle:
            m_angle += f * (p[0] * kPi / 180.0f - m_angle);
            break;
    }
    return true;
}

void nSprite2D::StoreSize(float width, float height)
{
    m_size.x = width >= 1.0f ? width : 1.0f;  // NaN too becomes 1
    m_size.y = height >= 1.0f ? height : 1.0f;
}

void nSprite2D::SetSize(float width, float height)
{
    StoreSize(width, height);
}

nRect2D nSprite2D::GetRect() const
{
    return nRect2D{0, 0, (int32_t)m_size.x, (int32_t)m_size.y};
}

nRect2D nSprite2D::GetScreenRect() const
{
    const nVector2 c[4] = {Apply(m_world, 0.0f, 0.0f), Apply(m_world, m_size.x, 0.0f),
                           Apply(m_world, m_size.x, m_size.y), Apply(m_world, 0.0f, m_size.y)};
    float x0 = c[0].x, y0 = c[0].y, x1 = c[0].x, y1 = c[0].y;
    for (const nVector2& p : c) {
        x0 = p.x < x0 ? p.x : x0;
        y0 = p.y < y0 ? p.y : y0;
        x1 = p.x > x1 ? p.x : x1;
        y1 = p.y > y1 ? p.y : y1;
    }
    return nRect2D{(int32_t)x0, (int32_t)y0, (int32_t)x1, (int32_t)y1};
}

nRect2D nSprite2D::MapRect(const nRect2D& local) const
{
    nVector2 a = Apply(m_world, (float)local.x0, (float)local.y0);
    nVector2 b = Apply(m_world, (float)local.x1, (float)local.y1);
    return nRect2D{(int32_t)a.x, (int32_t)a.y, (int32_t)b.x, (int32_t)b.y};
}

void nSprite2D::SetOpacity(float opacity)
{
    m_opacity = nClamp(opacity, 0.0f, 1.0f);
}

void nSprite2D::SetFlip(bool u, bool v)
{
    SetState(Sprite2DStateFlipU, u);
    SetState(Sprite2DStateFlipV, v);
}

void nSprite2D::SetTexture(nTexture* texture)
{
    m_texture = texture;
}

bool nSprite2D::IsDescendantOf(const nSprite2D* ancestor) const
{
    for (const nSprite2D* p = m_parent; p; p = p->m_parent)
        if (p == ancestor) return true;
    return false;
}

bool nSprite2D::SetParent(nSprite2D* parent)
{
    if (parent && (parent == this || parent->IsDescendantOf(this))) {
        *g_log << "[!] Sprite " << m_uid << " cannot be the child of sprite " << parent->m_uid
               << ": the parent chain would loop.\n";
        return false;
    }
    if (m_parent) m_parent->m_children.Remove(this);
    m_parent = parent;
    if (parent) parent->m_children.InsertAfter(this, 0);
    return true;
}

bool nSprite2D::IsShown() const
{
    for (const nSprite2D* p = this; p; p = p->m_parent)
        if (!p->TestState(Sprite2DStateVisible)) return false;
    return true;
}

int32_t nSprite2D::SetCommandText(const char* text)
{
    m_commandText.Set(text);
    if (!m_scene || !text) return -1;
    return m_scene->CompileCommandList(text, this);
}

nMatrix3 nSprite2D::OwnTransform() const
{
    nMatrix3 m = nMatrix3::RotationZ(m_angle);
    // R . diag(scale) . translate(-pivot), then + position.
    const float a = m.m[0], b = m.m[1], c = m.m[3], d = m.m[4];
    m.m[0] = a * m_scale.x;
    m.m[1] = b * m_scale.y;
    m.m[3] = c * m_scale.x;
    m.m[4] = d * m_scale.y;
    m.m[2] = m_position.x - (m.m[0] * m_pivot.x + m.m[1] * m_pivot.y);
    m.m[5] = m_position.y - (m.m[3] * m_pivot.x + m.m[4] * m_pivot.y);
    return m;
}

bool nSprite2D::UpdateTransforms(nRenderer* renderer, float* opacity)
{
    m_own = OwnTransform();
    m_world = m_own;
    float alpha = m_opacity;
    bool shown = true;
    for (const nSprite2D* p = m_parent; p; p = p->m_parent) {
        m_world = p->OwnTransform() * m_world;
        alpha *= p->m_opacity;
        shown = shown && p->TestState(Sprite2DStateVisible);
    }
    m_world.Inverse(m_inverseWorld);

    float width = 1280.0f, height = 960.0f;
    if (m_scene) m_scene->GetInternalResolution(&width, &height);
    nMatrix3 n;
    n.m[0] = 2.0f / width;
    n.m[2] = -1.0f;
    n.m[4] = -2.0f / height;
    n.m[5] = 1.0f;
    if (TestStyle(Sprite2DStyleResolutionInvariant) && renderer) {
        // Output pixels: the scene's projection scales x by the internal aspect over the
        // output's, so the x row is scaled by its inverse here.
        nVector2 output;
        renderer->GetOutputSize(output);
        const float ratio = (width / height) * (output.y / output.x) * renderer->GetGlobalAspectRatio();
        const float v = ratio != 0.0f ? 1.0f / ratio : 1.0f;
        n.m[0] = v * 2.0f / output.x;
        n.m[2] = -v;
        n.m[4] = -2.0f / output.y;
    }
    m_final = (m_scene ? m_scene->GetTransform() : nMatrix3()) * n * m_world;
    if (opacity) *opacity = alpha;
    return shown;
}

void nSprite2D::DrawQuad(nRenderer* renderer, float height, float alpha)
{
    nTexture* texture = m_texture.Get();
    const float w = m_size.x;
    const nVector2 tl = Apply(m_final, 0.0f, 0.0f), tr = Apply(m_final, w, 0.0f);
    const nVector2 br = Apply(m_final, w, height), bl = Apply(m_final, 0.0f, height);
    const nVector a(tl.x, tl.y, kSpriteDepth), b(tr.x, tr.y, kSpriteDepth);
    const nVector c(br.x, br.y, kSpriteDepth), d(bl.x, bl.y, kSpriteDepth);

    // Not stretched: the quad shows the top-left width x height pixels of the texture.
    const float tw = texture->GetWidth() ? (float)texture->GetWidth() : w;
    const float th = texture->GetHeight() ? (float)texture->GetHeight() : height;
    float u0 = 0.0f, u1 = w / tw, v0 = 0.0f, v1 = height / th;
    if (TestState(Sprite2DStateFlipU)) {
        float t = u0;
        u0 = u1;
        u1 = t;
    }
    if (TestState(Sprite2DStateFlipV)) {
        float t = v0;
        v0 = v1;
        v1 = t;
    }

    const nVector colour(1.0f, 1.0f, 1.0f, alpha);
    const uint32_t flags = MaterialRenderNoDepthTest | (TestStyle(Sprite2DStyleAdditive) ? MaterialRenderAdd : 0);
    const nVector2 first[3] = {nVector2(u0, v0), nVector2(u1, v0), nVector2(u0, v1)};
    const nVector2 second[3] = {nVector2(u1, v0), nVector2(u1, v1), nVector2(u0, v1)};
    renderer->DrawTriangle(a, b, d, &colour, first, texture, flags);
    renderer->DrawTriangle(b, c, d, &colour, second, texture, flags);
}

void nSprite2D::Render(nRenderer* renderer)
{
    if (!TestState(Sprite2DStateVisible) || m_opacity == 0.0f) return;
    float alpha = 1.0f;
    const bool shown = UpdateTransforms(renderer, &alpha);
    if (!m_texture.IsValid() || !shown || !renderer) return;
    DrawQuad(renderer, m_size.y, alpha);
}

bool nSprite2D::Deserialize(nMetaFile* document, nMetaTag* tag)
{
    if (!nMLCheckRoot(tag, "Sprite2d", "sprite")) return false;
    m_pivot = nVector2(0.0f, 0.0f);
    m_scale = nVector2(1.0f, 1.0f);
    m_zOrder = 0.5f;
    m_angle = 0.0f;
    m_opacity = 1.0f;
    static const nMLTagRule<nSprite2D> kTags[] = {
        {"Uid", [](nSprite2D& s, nMetaFile*, nMetaTag* t) {
             if (ReadTagInt(t, s.m_uid) && s.m_scene) s.m_scene->NoteSpriteUid(s.m_uid);
         }},
        {"Id", nMLField<&nSprite2D::m_id>},
        {"Position", nMLField<&nSprite2D::m_position>},
        {"Pivot", nMLField<&nSprite2D::m_pivot>},
        {"Scale", nMLField<&nSprite2D::m_scale>},
        {"Size", [](nSprite2D& s, nMetaFile*, nMetaTag* t) {
             nVector2 size;
             if (ReadTagVector(t, size)) s.SetSize(size.x, size.y);
         }},
        {"Angle", nMLField<&nSprite2D::m_angle>},
        {"Opacity", nMLField<&nSprite2D::m_opacity>},
        {"ZOrder", nMLField<&nSprite2D::m_zOrder>},
        {"Style", [](nSprite2D& s, nMetaFile*, nMetaTag* t) { s.m_style |= ReadBitNames(t, kSprite2DStyleNames, 10, "Style"); }},
        {"Flag", [](nSprite2D& s, nMetaFile*, nMetaTag* t) { s.m_state |= ReadBitNames(t, kSprite2DStateNames, 4, "Flag"); }},
        {"Texture", [](nSprite2D& s, nMetaFile*, nMetaTag* t) {
             if (s.m_isWindow) {
                 *g_log << "[!] Unexpected <Texture> tag in sprite declaration.\n";
                 return;
             }
             const char* name = ReadTagString(t);
             // Held here: without a resource cache an unused texture is freed on the way out.
             nSharedPtr<nTexture> texture(name && s.m_scene ? LoadTexture(s.m_scene->GetEngine(), name, false, false) : 0);
             // A file that could not be read gives an empty texture (its loader said so): the
             // sprite stays without one.
             if (texture.IsValid() && texture->GetWidth() && texture->GetHeight()) s.SetTexture(texture.Get());
         }},
        {"CommandList", [](nSprite2D& s, nMetaFile*, nMetaTag* t) {
             if (const char* text = ReadTagString(t)) s.SetCommandText(text);
         }},
    };
    nMLReadChildren(*this, document, tag, kTags, "Sprite2d");
    return true;
}

nMetaTag* nSprite2D::Serialize(nMetaFile* document) const
{
    nMetaTag* tag = new (std::nothrow) nMetaTag("Sprite2d");
    if (!tag) {
        *g_log << "[!] Could not create managed root tag to serialize.\n";
        return 0;
    }
    AppendTag(tag, new (std::nothrow) nMetaTag("Id", m_id.GetCStr() ? m_id.GetCStr() : ""));
    AppendTag(tag, new (std::nothrow) nMetaTag("Uid", m_uid));
    AppendTag(tag, m_position.ToMetaTag("Position"));
    AppendTag(tag, m_size.ToMetaTag("Size"));
    if (m_pivot.x != 0.0f || m_pivot.y != 0.0f) AppendTag(tag, m_pivot.ToMetaTag("Pivot"));
    if (m_scale.x != 1.0f || m_scale.y != 1.0f) AppendTag(tag, m_scale.ToMetaTag("Scale"));
    if (m_zOrder != 0.5f) AppendTag(tag, new (std::nothrow) nMetaTag("ZOrder", m_zOrder));
    if (m_angle != 0.0f) AppendTag(tag, new (std::nothrow) nMetaTag("Angle", m_angle));
    if (m_opacity != 1.0f) AppendTag(tag, new (std::nothrow) nMetaTag("Opacity", m_opacity));
    if (!m_isWindow && m_texture.IsValid())
        AppendTag(tag, new (std::nothrow) nMetaTag("Texture", m_texture->GetName().GetCStr()));
    AppendTag(tag, WriteBitNames("Style", m_style, kSprite2DStyleNames, 10));
    AppendTag(tag, WriteBitNames("Flag", m_state, kSprite2DStateNames, 4));
    if (!m_commandText.IsEmpty()) AppendTag(tag, new (std::nothrow) nMetaTag("CommandList", m_commandText.GetCStr()));
    return tag;
}
