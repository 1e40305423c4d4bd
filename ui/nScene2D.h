#ifndef N_SCENE2D_H
#define N_SCENE2D_H

#include <cstdint>
#include <vector>

#include "core/nMatrix.h"
#include "core/nSharedObject.h"
#include "core/nString.h"
#include "core/nVector.h"
#include "hub/nCoreListener.h"
#include "ace/nACEManager.h"
#include "ace/nACEUnit.h"
#include "resources/nPicture.h"
#include "scriptiface/nScriptUnit.h"
#include "ui/nSprite2D.h"
#include "ui/nUIRouter.h"
#include "ui/nWindow.h"

class nOrvex;
class nRasterFont;
class nScriptVM;
class nScene2DScriptEventDispatcher;
class nMetaFile;
class nMetaTag;

// Commands of the 2D command vocabulary.
enum nACE2DCommand
{
    ACE2DToAlpha = 0,     // 1 parameter: target opacity
    ACE2DToPosition = 1,  // 2: target x, y
    ACE2DToScale = 2,     // 2: target scale x, y
    ACE2DToAngle = 3,     // 1: target angle in degrees
    ACE2DShow = 4,
    ACE2DHide = 5,
    ACE2DGlobalFade = 6  // 1: target global fade; run by the scene's own list
};

// Told just before (kind 1) and just after (kind 2) a new sprite joins a scene's draw list.
struct nScene2DListenerRecord
{
    nSprite2D* sprite;
};

class nScene2DListener
{
public:
    virtual ~nScene2DListener() {}
    virtual void OnScene2DEvent(int32_t kind, nScene2DListenerRecord* record) = 0;
};

// Skin slots: the eight pictures that decorate windows. The top edge's height is the title
// bar's height.
enum nSkinSlot
{
    SkinTop = 0,
    SkinLeft,
    SkinRight,
    SkinBottom,
    SkinTopLeft,
    SkinTopRight,
    SkinBottomLeft,
    SkinBottomRight,
    SkinSlotCount
};

// A 2D scene ("Window System" to scripts): drawn over whatever was rendered before it. It is
// its own script unit (owner type 12), the manager of the 2D command vocabulary and the
// executor of its own command list. Every 3D scene embeds one as its user-interface layer.
// Main thread only.
class nScene2D : public nSharedObject,
                 public nScene2DScriptUnit,
                 public nCoreListener,
                 public nACEManager,
                 public nACEUnit
{
public:
    // Registers as a core listener of the engine, takes the pointer and the title writer the
    // engine lends its 2D scenes (nOrvex::GetUIDevices), binds its unit to the script machine
    // with itself as owner and defines the seven 2D commands.
    nScene2D(nOrvex* engine, nScriptVM* vm);
    ~nScene2D() override;  // leaves the core listeners, then Clear

    int32_t OnCoreEvent(int32_t code, nCoreEventRecord* record) override { return 0; }  // ignores every event
    bool ExecuteCommand(nACECommand* record, float slice) override;                     // "globalfade"; other codes to the base

    bool Setup() override;  // sets the unit up; OnSetup when that succeeded
    void Reset();           // OnReset
    // OnDelete, then the skin, every sprite, the cursor, the input and the fade are cleared.
    void Clear();
    // One frame: the script update (unless skipScript), the command lists of the scene and of
    // every sprite, the draw order, then every sprite drawn head to tail with the internal
    // aspect ratio kept whatever the output's shape, the cursor again, and the full-screen fade.
    void Render(bool skipScript);

    // Draw list. The head is drawn first (beneath all others), the tail last (over them).
    const nList<nSprite2D*>& GetSprites() const { return m_sprites; }
    // The draw order of a frame: largest z first, equal z in list order; then the sprites
    // with AlwaysOnTop form a block at the head and those with AlwaysBehind one at the tail,
    // each block keeping that order (one stable pass: never a sprite that moves every frame).
    void SortSprites();
    // MoveToFront puts the sprite just before reference, or at the head (drawn first, so
    // BENEATH the others: scripts rely on this meaning) when reference is NULL or not listed.
    // MoveToBack puts it just after reference, or at the tail (drawn last, over the others).
    void MoveToFront(nSprite2D* sprite, nSprite2D* reference);
    void MoveToBack(nSprite2D* sprite, nSprite2D* reference);
    // Children lose their parent; the sprite leaves the list and is destroyed; the scene
    // forgets it.
    void DeleteWindow(nSprite2D* sprite);
    // Widgets and input routing: the mouse becomes script events once a frame, before
    // drawing. Deletions asked for while a routing pass runs wait for its end.
    void RouteInput() { m_router.Route(); }
    nUIRouter& GetRouter() { return m_router; }
    void SetPointer(nUIPointer* pointer) { m_router.SetPointer(pointer); }
    void DeleteWidget(nWidget* widget);  // detached from its tree first; NULL or a part: nothing
    // Every widget made in the scene is noted until it goes; the ones nothing holds when the
    // scene goes (never added to a tree, or a tree nothing holds) go with it.
    void NoteWidget(nWidget* widget) { m_widgets.push_back(widget); }
    void ForgetWidget(nWidget* widget);

    void LockToWindow(nWindow* window);  // Locked on every sprite outside the window's tree
    void Unlock();
    nSprite2D* FindSpriteByUid(int32_t uid) const;
    int32_t TakeSpriteUid() { return m_nextSpriteUid++; }
    void NoteSpriteUid(int32_t uid);  // later uids come after it
    void AddListener(nScene2DListener* listener);
    void RemoveListener(nScene2DListener* listener);
    void AppendSprite(nSprite2D* sprite);  // the listeners are told before and after

    // Skin: eight picture names in slot order. True only when all eight loaded; the ones
    // that did load stay referenced either way.
    bool SetSkin(const char* const names[SkinSlotCount], uint32_t fillColor, uint32_t titleColor, int32_t titleTop,
                 int32_t titleBottom, int32_t titleSize, const char* titleFont);
    void ReleaseSkin();
    bool IsSkinLoaded() const { return m_skinLoaded; }
    nPicture* GetSkinPicture(int32_t slot) const;  // NULL outside 0..7 or when not loaded
    uint32_t GetSkinFillColor() const { return m_skinFillColor; }
    int32_t GetTitleTop() const { return m_titleTop; }
    int32_t GetTitleBottom() const { return m_titleBottom; }
    int32_t GetTitleSize() const { return m_titleSize; }
    uint32_t GetTitleColor() const { return m_titleColor; }
    const nString& GetTitleFont() const { return m_titleFont; }
    nWindowTitleWriter* GetTitleWriter() const { return m_titleWriter; }
    void SetTitleWriter(nWindowTitleWriter* writer);  // not owned; NULL: the one that writes nothing

    // A cursor window of the picture, drawn once more after all others; NULL removes it.
    bool SetCursor(const char* pictureName);
    nWindow* GetCursor() const { return m_cursor; }
    bool UnloadBitmap(const char* name);  // the current cache's picture of that name
    // The 2D scene's line of the on-screen profiler, "Window count = %d", in yellow at (x, y);
    // the y where the next block starts (two line steps on). Nothing without a font or without
    // its first page's texture.
    float DrawStats(float x, float y, nRasterFont* font);

    // "Scene2d" NML. The reader loads what it can: each bad part is one log line.
    bool Deserialize(nMetaFile* document, nMetaTag* tag);
    nMetaTag* Serialize(nMetaFile* document);  // NULL (logged) when out of memory
    // The scene's own command list as a file gave it; compiled when read.
    const nString& GetCommandText() const { return m_commandText; }
    int32_t SetCommandText(const char* text);  // compiles it; the command count or -1 (logged)

    void SetGlobalFade(float fade);  // clamped to [0, 1]
    float GetGlobalFade() const { return m_globalFade; }
    void SetFadeColour(const nVector& colour) { m_fadeColour = colour; }
    const nVector& GetFadeColour() const { return m_fadeColour; }
    void GetInternalResolution(float* width, float* height) const;
    void SetInternalResolution(float width, float height)
    {
        m_internalWidth = width;
        m_internalHeight = height;
    }
    void SetUseRawClock(bool raw) { m_useRawClock = raw; }
    const nMatrix3& GetTransform() const { return m_transform; }
    void SetTransform(const nMatrix3& transform) { m_transform = transform; }
    nOrvex* GetEngine() const { return m_engine; }
    const nString& GetName() const { return m_name; }
    void SetName(const char* name) { m_name.Set(name); }

private:
    void Forget(nSprite2D* sprite);  // drops every reference the scene keeps to it
    void DeleteUnheldWidgets();
    void ReadLinks();  // the "Link" tags noted by the reader
    nMetaTag* SerializeLink(const nSprite2D* sprite) const;
    void ReadSkin(nMetaTag* tag);     // "Skin": eight pictures by slot name and the title settings
    nMetaTag* SerializeSkin() const;  // NULL without a loaded skin

    nOrvex* m_engine;
    bool m_useRawClock;
    int32_t m_nextSpriteUid;
    float m_internalWidth;
    float m_internalHeight;
    float m_globalFade;
    nString m_name;
    nVector m_fadeColour;
    nMatrix3 m_transform;
    nList<nSprite2D*> m_sprites;           // owned
    nList<nScene2DListener*> m_listeners;  // not owned
    nList<nMetaTag*> m_pendingLinks;       // while reading: the document's "Link" tags
    nWindow* m_cursor;
    nWindow* m_dragged;
    bool m_skinLoaded;
    nSharedPtr<nPicture> m_skin[SkinSlotCount];
    uint32_t m_skinFillColor;
    nString m_titleFont;
    int32_t m_titleTop;
    int32_t m_titleBottom;
    int32_t m_titleSize;
    uint32_t m_titleColor;
    nWindowTitleWriter m_nullTitleWriter;
    nWindowTitleWriter* m_titleWriter;
    nUIRouter m_router;
    std::vector<nWidget*> m_widgets;  // made in this scene, not owned
    nString m_commandText;
    nString m_skinNames[SkinSlotCount];
};

#endif
