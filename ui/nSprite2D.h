#ifndef N_SPRITE2D_H
#define N_SPRITE2D_H

#include <cstdint>

#include "ace/nACEUnit.h"
#include "core/nList.h"
#include "core/nMatrix.h"
#include "core/nSharedObject.h"
#include "core/nString.h"
#include "core/nVector.h"
#include "resources/nTexture.h"
#include "ui/nEventTable.h"

class nScene2D;
class nRenderer;
class nMetaFile;
class nMetaTag;

// Style bits of a sprite (their NML names under "Style" are in nSprite2D.cpp).
enum nSprite2DStyle
{
    Sprite2DStyleAdditive = 0x1,              // drawn with additive blending
    Sprite2DStyleAlwaysOnTop = 0x2,           // kept at the head of the draw list: drawn FIRST, beneath the others
    Sprite2DStyleAlwaysBehind = 0x4,          // kept at the tail of the draw list: drawn LAST, over the others
    Sprite2DStyleNonSensitive = 0x8,          // skipped by the mouse hit test
    Sprite2DStyleResolutionInvariant = 0x10,  // position and size in output pixels
    Sprite2DStyleLockUV = 0x20,               // stored, read and written only
    Sprite2DStyleNoDecoration = 0x40,         // a window composed without the skin
    Sprite2DStyleLocked = 0x80,               // set by the scene's LockToWindow
    Sprite2DStyleNoTitle = 0x100,             // a window without title text, inset or shading
    Sprite2DStyleMovable = 0x200              // a window a left press may drag
};

// State bits of a sprite.
enum nSprite2DState
{
    Sprite2DStateActive = 0x1,         // stored, read and written only
    Sprite2DStateVisible = 0x2,        // drawn only when set on the sprite and on all its ancestors
    Sprite2DStateComposeNeeded = 0x4,  // a window's cache picture changed and must be uploaded
    Sprite2DStateFlipU = 0x8,
    Sprite2DStateFlipV = 0x10,
    Sprite2DStateShaded = 0x80  // a window showing only its title bar
};

// An integer rectangle: (x0, y0) the top-left corner, (x1, y1) the bottom-right one.
struct nRect2D
{
    int32_t x0, y0, x1, y1;
};

// A textured quad of a 2D scene: position, size, pivot, scale, angle, opacity, z order, a
// parent sprite and a command list of the 2D vocabulary. Points of a sprite are pixels with
// the origin at its top-left corner, y down, in the scene's internal resolution.
//
// A sprite belongs to its scene's draw list from construction until the scene unlinks and
// destroys it (DeleteWindow, SetCursor, Clear); the destructor does not leave the list.
class nSprite2D : public nACEUnit
{
public:
    // Joins the parent's children, then the tail of the scene's draw list (the scene's
    // listeners are told before and after). A missing position is (0.5, 0.5), a missing size
    // 128 x 128. The uid is the scene's next one.
    nSprite2D(nScene2D* scene, nTexture* texture, nSprite2D* parent, const char* id, const nVector2* position,
              const nVector2* size);
    // Script objects of the sprite read as deleted natives; the children lose their parent,
    // the sprite leaves its parent, the texture and the command list are dropped.
    ~nSprite2D() override;

    bool ExecuteCommand(nACECommand* record, float slice) override;  // the six sprite commands; others to the base
    virtual void SetSize(float width, float height);                 // each at least 1
    virtual nRect2D GetRect() const;                                 // (0, 0, width, height) truncated
    nRect2D GetScreenRect() const;                                   // the corners through the world transform
    nRect2D MapRect(const nRect2D& local) const;                     // two corners through the world transform
    virtual void Render(nRenderer* renderer);                        // NULL: transforms only, nothing drawn
    virtual bool Deserialize(nMetaFile* document, nMetaTag* tag);    // "Sprite2d"
    virtual nMetaTag* Serialize(nMetaFile* document) const;          // "Sprite2d"; NULL (logged) when out of memory

    void SetPosition(float x, float y) { m_position = nVector2(x, y); }
    void SetPivot(float x, float y) { m_pivot = nVector2(x, y); }
    void SetScale(float x, float y) { m_scale = nVector2(x, y); }
    void SetRotation(float radians) { m_angle = radians; }
    void SetOpacity(float opacity);  // clamped to [0, 1]
    void SetZOrder(float z) { m_zOrder = z; }
    void SetFlip(bool u, bool v);
    virtual void SetTexture(nTexture* texture);  // replaces the reference; ignored on windows
    // Leaves the old parent, joins the new one. Refused (false, logged) when the new parent is
    // the sprite itself or one of its descendants: a parent chain never loops.
    bool SetParent(nSprite2D* parent);
    bool IsShown() const;  // Visible here and on every ancestor
    bool IsDescendantOf(const nSprite2D* ancestor) const;

    void SetStyle(uint32_t bits, bool on) { m_style = on ? (m_style | bits) : (m_style & ~bits); }
    bool TestStyle(uint32_t bits) const { return (m_style & bits) != 0; }
    uint32_t GetStyle() const { return m_style; }
    void SetState(uint32_t bits, bool on) { m_state = on ? (m_state | bits) : (m_state & ~bits); }
    bool TestState(uint32_t bits) const { return (m_state & bits) != 0; }
    uint32_t GetState() const { return m_state; }

    bool IsWindow() const { return m_isWindow; }
    nScene2D* GetScene() const { return m_scene; }
    nTexture* GetTexture() const { return m_texture.Get(); }
    nSprite2D* GetParent() const { return m_parent; }
    const nList<nSprite2D*>& GetChildren() const { return m_children; }
    int32_t GetUid() const { return m_uid; }
    void SetUid(int32_t uid) { m_uid = uid; }
    const nString& GetId() const { return m_id; }
    void SetId(const char* id) { m_id.Set(id); }
    const nVector2& GetPosition() const { return m_position; }
    const nVector2& GetPivot() const { return m_pivot; }
    const nVector2& GetSize() const { return m_size; }
    const nVector2& GetScale() const { return m_scale; }
    float GetZOrder() const { return m_zOrder; }
    float GetRotation() const { return m_angle; }
    float GetOpacity() const { return m_opacity; }
    const nMatrix3& GetWorldTransform() const { return m_world; }
    const nMatrix3& GetInverseWorldTransform() const { return m_inverseWorld; }
    const nMatrix3& GetFinalTransform() const { return m_final; }
    // The command list a file gave the sprite, compiled with the scene's vocabulary when read
    // and written back as it was given.
    const nString& GetCommandText() const { return m_commandText; }
    int32_t SetCommandText(const char* text);  // compiles it; the command count or -1 (logged)
    // Input routing: the script handlers of the sprite's window events.
    nEventTable& GetEventTable() { return m_events; }

protected:
    nSprite2D(nScene2D* scene, bool isWindow, nTexture* texture, nSprite2D* parent, const char* id,
              const nVector2* position, const nVector2* size);

    nMatrix3 OwnTransform() const;  // R(angle) . ((p - pivot) * scale) + position
    // The world and final transforms of this frame; false when nothing is to be drawn (the
    // sprite or an ancestor hidden). opacity gets the chain's opacity.
    bool UpdateTransforms(nRenderer* renderer, float* opacity);
    // The textured quad of width x height through the final transform.
    void DrawQuad(nRenderer* renderer, float height, float alpha);
    void StoreSize(float width, float height);  // each at least 1

    bool m_isWindow;
    nScene2D* m_scene;
    nSharedPtr<nTexture> m_texture;
    nSprite2D* m_parent;
    nList<nSprite2D*> m_children;  // not owned
    nMatrix3 m_own;
    nMatrix3 m_world;
    nMatrix3 m_inverseWorld;
    nMatrix3 m_final;
    uint32_t m_style;
    uint32_t m_state;
    int32_t m_uid;
    nVector2 m_position;
    nVector2 m_pivot;
    nVector2 m_size;
    nVector2 m_scale;
    float m_zOrder;
    float m_angle;
    float m_opacity;
    nString m_id;
    nString m_commandText;
    nEventTable m_events;

private:
    void Init(nTexture* texture, nSprite2D* parent, const nVector2* position, const nVector2* size);
    friend class nScene2D;
};

// The style and state bits by their NML names, in the order they are written.
struct nSprite2DBitName
{
    uint32_t bit;
    const char* name;
};
extern const nSprite2DBitName kSprite2DStyleNames[10];
extern const nSprite2DBitName kSprite2DStateNames[4];

#endif
