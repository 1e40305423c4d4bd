#include "ui/nScene2D.h"

#include <algorithm>
#include <climits>
#include <new>

#include "core/nCategory.h"
#include "core/nLog.h"
#include "core/nMLReader.h"
#include "core/nMetaFile.h"
#include "hub/nOrvex.h"
#include "render/nRenderer.h"
#include "resources/nMaterial.h"
#include "resources/nResourceCache.h"
#include "resources/nResourceLoader.h"
#include "scriptiface/nScriptEventDispatcher.h"
#include "scriptiface/nScriptVM.h"
#include "ui/nUIDevices.h"
#include "ui/nWidget.h"

namespace {

typedef nListNode<nSprite2D*> SpriteNode;

// The children of a "Skin" tag naming its pictures, in slot order.
const char* const kSkinSlotNames[SkinSlotCount] = {"Top", "Left", "Right", "Bottom",
                                                   "TopLeft", "TopRight", "BottomLeft", "BottomRight"};

// The block of the draw order a sprite belongs to: AlwaysOnTop first, AlwaysBehind last.
int32_t Block(const nSprite2D* sprite)
{
    if (sprite->TestStyle(Sprite2DStyleAlwaysOnTop)) return 0;
    if (sprite->TestStyle(Sprite2DStyleAlwaysBehind)) return 2;
    return 1;
}

// Whether a goes strictly before b: an earlier block, or in the same block a larger z.
bool GoesBefore(const nSprite2D* a, const nSprite2D* b)
{
    const int32_t ba = Block(a), bb = Block(b);
    if (ba != bb) return ba < bb;
    return a->GetZOrder() > b->GetZOrder();
}

}

nScene2D::nScene2D(nOrvex* engine, nScriptVM* vm)
    : nScene2DScriptUnit(vm),
      m_engine(engine),
      m_useRawClock(false),
      m_nextSpriteUid(0),
      m_internalWidth(1280.0f),
      m_internalHeight(960.0f),
      m_globalFade(0.0f),
      m_fadeColour(0.0f, 0.0f, 0.0f, 1.0f),
      m_cursor(0),
      m_dragged(0),
      m_skinLoaded(false),
      m_skinFillColor(0),
      m_titleFont("Default"),
      m_titleTop(12),
      m_titleBottom(0),
      m_titleSize(28),
      m_titleColor(0xFFFFFFFFu),
      m_titleWriter(&m_nullTitleWriter),
      m_router(this)
{
    nCategoryScope category(CategoryScene2D);
    if (m_engine) m_engine->AddCoreListener(this);
    // The pointer and the title writer the program lends every 2D scene of its engine.
    if (const nUIDevices* devices = m_engine ? m_engine->GetUIDevices() : 0) {
        SetPointer(devices->pointer);
        SetTitleWriter(devices->titleWriter);
    }
    SetOwner(this, ScriptUnitOwnerScene2D);
    SetEvents(nScene2DScriptEventDispatcher::GetDefault());
    Define("toalpha", ACE2DToAlpha, 1);
    Define("toposition", ACE2DToPosition, 2);
    Define("toscale", ACE2DToScale, 2);
    Define("toangle", ACE2DToAngle, 1);
    Define("show", ACE2DShow, 0);
    Define("hide", ACE2DHide, 0);
    Define("globalfade", ACE2DGlobalFade, 1);
}

nScene2D::~nScene2D()
{
    if (m_engine) m_engine->RemoveCoreListener(this);
    Clear();
    DeleteUnheldWidgets();
    // Script objects of this layer read as a deleted native from now on.
    if (GetVM()) GetVM()->InvalidateNativeObject(static_cast<void*>(this));
}

bool nScene2D::ExecuteCommand(nACECommand* record, float slice)
{
    if (record && record->code == ACE2DGlobalFade && slice != 0.0f) {
        // The share of the remaining time this slice takes; the fade lands on the target
        // exactly when the time runs out.
        float f = record->remaining > 0.0f ? slice / record->remaining : 1.0f;
        m_globalFade += f * (record->parameters[0] - m_globalFade);
        return true;
    }
    return nACEUnit::ExecuteCommand(record, slice);
}

bool nScene2D::Setup()
{
    if (!nScene2DScriptUnit::Setup()) return false;
    if (GetEvents()) GetEvents()->OnSetup(this);
    return true;
}

void nScene2D::Reset()
{
    if (GetEvents()) GetEvents()->OnReset(this);
}

void nScene2D::Clear()
{
    if (GetEvents()) GetEvents()->OnDelete(this);
    ReleaseSkin();
    while (SpriteNode* n = m_sprites.GetHead()) {
        nSprite2D* sprite = n->value;
        delete m_sprites.Unlink(n);
        Forget(sprite);
        delete sprite;
    }
    SetCursor(0);
    m_dragged = 0;
    m_globalFade = 0.0f;
    m_fadeColour = nVector(0.0f, 0.0f, 0.0f, 1.0f);
}

void nScene2D::Render(bool skipScript)
{
    nCategoryScope category(CategoryScene2D);
    if (!skipScript && GetEvents()) GetEvents()->OnUpdate(this);

    float dt = 0.0f;
    if (m_engine) dt = (float)(m_useRawClock ? m_engine->GetRawFrameTime() : m_engine->GetFrameTime()) / 10000.0f;
    nACEManager::Advance(this, dt);
    for (SpriteNode* n = m_sprites.GetHead(); n; n = n->next) nACEManager::Advance(n->value, dt);

    SortSprites();
    RouteInput();

    nRenderer* renderer = m_engine ? m_engine->GetRenderer() : 0;
    if (!renderer) return;
    renderer->SetViewMatrix(nMatrix4());
    nVector2 output;
    renderer->GetOutputSize(output);
    nMatrix4 projection;
    if (output.x != 0.0f && m_internalHeight != 0.0f)
        projection.m[0] = (m_internalWidth / m_internalHeight) * (output.y / output.x) * renderer->GetGlobalAspectRatio();
    renderer->SetProjectionMatrix(projection);
    for (SpriteNode* n = m_sprites.GetHead(); n; n = n->next) n->value->Render(renderer);
    if (m_cursor) m_cursor->Render(renderer);
    renderer->SetProjectionMatrix(nMatrix4());

    if (m_globalFade > 0.01f) {
        nVector colour(m_fadeColour.x, m_fadeColour.y, m_fadeColour.z, m_globalFade);
        renderer->DrawTriangle(nVector(-1.0f, 1.0f, 1.0f), nVector(1.0f, 1.0f, 1.0f), nVector(-1.0f, -1.0f, 1.0f),
                               &colour, 0, 0, MaterialRenderNoDepthTest);
        renderer->DrawTriangle(nVector(1.0f, 1.0f, 1.0f), nVector(1.0f, -1.0f, 1.0f), nVector(-1.0f, -1.0f, 1.0f),
                               &colour, 0, 0, MaterialRenderNoDepthTest);
    }
}

void nScene2D::SortSprites()
{
    // An insertion sort of the node values: stable, and one pass over a list that is already
    // in order, as it is from one frame to the next.
    for (SpriteNode* n = m_sprites.GetHead() ? m_sprites.GetHead()->next : 0; n; n = n->next) {
        nSprite2D* sprite = n->value;
        SpriteNode* m = n->prev;
        if (!GoesBefore(sprite, m->value)) continue;
        while (m && GoesBefore(sprite, m->value)) {
            m->next->value = m->value;
            m = m->prev;
        }
        (m ? m->next : m_sprites.GetHead())->value = sprite;
    }
}

void nScene2D::MoveToFront(nSprite2D* sprite, nSprite2D* reference)
{
    SpriteNode* node = sprite ? m_sprites.Find(sprite) : 0;
    if (!node) return;
    delete m_sprites.Unlink(node);
    SpriteNode* at = reference ? m_sprites.Find(reference) : 0;
    m_sprites.InsertBefore(sprite, at);
}

void nScene2D::MoveToBack(nSprite2D* sprite, nSprite2D* reference)
{
    SpriteNode* node = sprite ? m_sprites.Find(sprite) : 0;
    if (!node) return;
    delete m_sprites.Unlink(node);
    SpriteNode* at = reference ? m_sprites.Find(reference) : 0;
    m_sprites.InsertAfter(sprite, at);
}

void nScene2D::AppendSprite(nSprite2D* sprite)
{
    nScene2DListenerRecord record{sprite};
    for (nListNode<nScene2DListener*>* n = m_listeners.GetHead(); n; n = n->next) n->value->OnScene2DEvent(1, &record);
    if (!m_sprites.InsertAfter(sprite, 0)) *g_log << "[!] Failed to add a sprite to the 2d scene.\n";
    for (nListNode<nScene2DListener*>* n = m_listeners.GetHead(); n; n = n->next) n->value->OnScene2DEvent(2, &record);
}

void nScene2D::AddListener(nScene2DListener* listener)
{
    if (listener) m_listeners.Add(listener, true, false);
}

void nScene2D::RemoveListener(nScene2DListener* listener)
{
    m_listeners.Remove(listener);
}

void nScene2D::Forget(nSprite2D* sprite)
{
    if (m_cursor == sprite) m_cursor = 0;
    if (m_dragged == sprite) m_dragged = 0;
    m_router.ForgetSprite(sprite);
}

void nScene2D::DeleteWindow(nSprite2D* sprite)
{
    if (!sprite) return;
    if (m_router.IsRouting()) {
        m_router.DeferDeleteWindow(sprite);
        return;
    }
    for (SpriteNode* n = m_sprites.GetHead(); n; n = n->next)
        if (n->value->GetParent() == sprite) n->value->SetParent(0);
    if (SpriteNode* node = m_sprites.Find(sprite)) delete m_sprites.Unlink(node);
    Forget(sprite);
    delete sprite;
}

void nScene2D::DeleteWidget(nWidget* widget)
{
    if (!widget) return;
    if (widget->IsPart()) {  // lives and dies with its whole
        *g_log << "[!] Widget " << widget->GetId() << " is part of another widget and is not deleted on its own.\n";
        return;
    }
    if (m_router.IsRouting()) {
        m_router.DeferDeleteWidget(widget);
        return;
    }
    delete widget;  // its parent, cells, window and the input states forget it
}

void nScene2D::ForgetWidget(nWidget* widget)
{
    m_router.ForgetWidget(widget);
    m_widgets.erase(std::remove(m_widgets.begin(), m_widgets.end(), widget), m_widgets.end());
}

// A widget nothing holds is the root of its own tree: deleting it releases the rest, until only
// parts (which go with their wholes) are left.
void nScene2D::DeleteUnheldWidgets()
{
    for (bool deleted = true; deleted;) {
        deleted = false;
        for (size_t i = 0; i < m_widgets.size() && !deleted; ++i)
            if (!m_widgets[i]->IsPart() && m_widgets[i]->GetRefCount() == 0) {
                delete m_widgets[i];
                deleted = true;
            }
    }
}

void nScene2D::LockToWindow(nWindow* window)
{
    if (!window) {
        *g_log << "[*] Cannot lock UI to NULL window.\n";
        return;
    }
    Unlock();
    for (SpriteNode* n = m_sprites.GetHead(); n; n = n->next) {
        nSprite2D* sprite = n->value;
        if (sprite != window && !sprite->IsDescendantOf(window)) sprite->SetStyle(Sprite2DStyleLocked, true);
    }
}

void nScene2D::Unlock()
{
    for (SpriteNode* n = m_sprites.GetHead(); n; n = n->next) n->value->SetStyle(Sprite2DStyleLocked, false);
}

nSprite2D* nScene2D::FindSpriteByUid(int32_t uid) const
{
    for (SpriteNode* n = m_sprites.GetHead(); n; n = n->next)
        if (n->value->GetUid() == uid) return n->value;
    return 0;
}

void nScene2D::NoteSpriteUid(int32_t uid)
{
    // Uids read from a file must not come back for sprites made later.
    if (uid >= m_nextSpriteUid && uid < INT32_MAX) m_nextSpriteUid = uid + 1;
}

// ---- Skin, cursor and pictures

bool nScene2D::SetSkin(const char* const names[SkinSlotCount], uint32_t fillColor, uint32_t titleColor,
                       int32_t titleTop, int32_t titleBottom, int32_t titleSize, const char* titleFont)
{
    ReleaseSkin();
    for (int32_t i = 0; i < SkinSlotCount; ++i)
        if (!names || !names[i]) return false;
    bool loaded = true;
    for (int32_t i = 0; i < SkinSlotCount; ++i) {
        nPicture* picture = LoadPicture(m_engine, names[i], false);
        m_skin[i] = picture;
        if (!nWindowPixels::IsUsable(picture)) {
            *g_log << "[!] Could not load the skin picture '" << names[i] << "'.\n";
            loaded = false;
        }
    }
    m_skinLoaded = loaded;
    for (int32_t i = 0; i < SkinSlotCount; ++i) m_skinNames[i].Set(names[i]);
    m_skinFillColor = fillColor;
    m_titleColor = titleColor;
    m_titleTop = titleTop;
    m_titleBottom = titleBottom;
    m_titleSize = titleSize;
    m_titleFont.Set(titleFont ? titleFont : "Default");
    // Windows made earlier are decorated by the new skin at their next frame.
    for (SpriteNode* n = m_sprites.GetHead(); n; n = n->next)
        if (n->value->IsWindow()) static_cast<nWindow*>(n->value)->Invalidate();
    return m_skinLoaded;
}

void nScene2D::ReleaseSkin()
{
    m_skinLoaded = false;
    for (int32_t i = 0; i < SkinSlotCount; ++i) m_skin[i].Release();
}

nPicture* nScene2D::GetSkinPicture(int32_t slot) const
{
    if (!m_skinLoaded || slot < 0 || slot >= SkinSlotCount) return 0;
    return m_skin[slot].Get();
}

void nScene2D::SetTitleWriter(nWindowTitleWriter* writer)
{
    m_titleWriter = writer ? writer : &m_nullTitleWriter;
}

bool nScene2D::SetCursor(const char* pictureName)
{
    if (m_cursor) {
        nWindow* old = m_cursor;
        m_cursor = 0;
        if (SpriteNode* node = m_sprites.Find(static_cast<nSprite2D*>(old))) {
            delete m_sprites.Unlink(node);
            Forget(old);
            delete old;
        }
    }
    if (!pictureName) return false;
    nCategoryScope category(CategoryScene2D);
    nWindow* cursor = new (std::nothrow) nWindow(this, 0, "Cursor", "Cursor", 0, 0);
    if (!cursor) {
        *g_log << "[!] Failed to allocate new window.\n";
        return false;
    }
    m_cursor = cursor;
    cursor->SetBackgroundColor(nVector(0.0f, 0.0f, 0.0f, 0.0f));
    cursor->SetPivot(0.0f, 0.0f);
    cursor->SetStyle(Sprite2DStyleAlwaysOnTop | Sprite2DStyleResolutionInvariant, true);
    if (!cursor->SetBackgroundPicture(pictureName)) return false;
    nPicture* picture = cursor->GetBackgroundPicture();
    cursor->SetSize((float)picture->GetWidth(), (float)picture->GetHeight());
    return true;
}

bool nScene2D::UnloadBitmap(const char* name)
{
    nResourceCache* cache = m_engine ? m_engine->GetResourceCache() : 0;
    nPicture* picture = cache && name ? cache->FindPicture(name) : 0;
    return picture && nResourceList::Remove(cache->GetPictureList(), picture);
}

// ---- NML

bool nScene2D::Deserialize(nMetaFile* document, nMetaTag* tag)
{
    if (!tag || !IsTagNamed(tag, "Scene2d")) {
        nMLLogWrongRoot(tag, "Could not parse 2d scene. Root tag id is incorrect (");
        return false;
    }
    if (document) m_name = document->GetFileName();
    static const nMLTagRule<nScene2D> kTags[] = {
        {"ScriptUnit", [](nScene2D& s, nMetaFile* d, nMetaTag* t) { s.nScriptUnit::Deserialize(d, t); }},
        {"Sprites", [](nScene2D& s, nMetaFile* d, nMetaTag* t) {
             nMetaTagIterator it;
             while (nMetaTag* child = t->NextChild(it)) {
                 if (IsTagNamed(child, "Sprite2d")) {
                     nSprite2D* sprite = new (std::nothrow) nSprite2D(&s, 0, 0, 0, 0, 0);
                     if (!sprite) *g_log << "[!] Failed to allocate new sprite.\n";
                     else sprite->Deserialize(d, child);
                 } else if (IsTagNamed(child, "Window")) {
                     nWindow* window = new (std::nothrow) nWindow(&s, 0, 0, 0, 0, 0);
                     if (!window) *g_log << "[!] Failed to allocate new window.\n";
                     else window->Deserialize(d, child);
                 }
             }
         }},
        // Parent links are set once every sprite of the file exists.
        {"Links", [](nScene2D& s, nMetaFile*, nMetaTag* t) { s.m_pendingLinks.InsertAfter(t, 0); }},
        {"CommandList", [](nScene2D& s, nMetaFile*, nMetaTag* t) {
             if (const char* text = ReadTagString(t)) s.SetCommandText(text);
         }},
        {"Skin", [](nScene2D& s, nMetaFile*, nMetaTag* t) { s.ReadSkin(t); }},
        {"Version", 0},
    };
    nMLReadChildren(*this, document, tag, kTags, "Scene2d");
    ReadLinks();
    return true;
}

int32_t nScene2D::SetCommandText(const char* text)
{
    m_commandText.Set(text);
    return text ? CompileCommandList(text, this) : -1;
}

void nScene2D::ReadLinks()
{
    for (nListNode<nMetaTag*>* n = m_pendingLinks.GetHead(); n; n = n->next) {
        nMetaTagIterator it;
        while (nMetaTag* link = n->value->NextChild(it)) {
            if (!IsTagNamed(link, "Link")) {
                nMLWarnUnknownTag(link, "Links");
                continue;
            }
            int32_t child = -1, parent = -1;
            nMetaTag* item = FirstChildNamed(link, "Item");
            nMetaTag* to = FirstChildNamed(link, "Link");
            if (!item || !to || !ReadTagInt(item, child) || !ReadTagInt(to, parent)) {
                *g_log << "[*] A <Link> needs the int tags <Item> and <Link>.\n";
                continue;
            }
            nSprite2D* childSprite = FindSpriteByUid(child);
            nSprite2D* parentSprite = FindSpriteByUid(parent);
            if (!childSprite || !parentSprite) {
                *g_log << "[*] Link of sprite " << child << " to sprite " << parent << ": no such sprite.\n";
                continue;
            }
            childSprite->SetParent(parentSprite);
        }
    }
    m_pendingLinks.Clear();
}

void nScene2D::ReadSkin(nMetaTag* tag)
{
    nString names[SkinSlotCount];
    nVector fill = nVector::UnpackColor(m_skinFillColor), title = nVector::UnpackColor(m_titleColor);
    int32_t top = m_titleTop, bottom = m_titleBottom, size = m_titleSize;
    nString font = m_titleFont;
    nMetaTagIterator it;
    while (nMetaTag* child = tag->NextChild(it)) {
        bool known = false;
        for (int32_t i = 0; i < SkinSlotCount && !known; ++i)
            if (IsTagNamed(child, kSkinSlotNames[i])) {
                ReadTagString(child, names[i]);
                known = true;
            }
        if (known) continue;
        if (IsTagNamed(child, "FillColor")) ReadTagVector(child, fill);
        else if (IsTagNamed(child, "TitleColor")) ReadTagVector(child, title);
        else if (IsTagNamed(child, "TitleTop")) ReadTagInt(child, top);
        else if (IsTagNamed(child, "TitleBottom")) ReadTagInt(child, bottom);
        else if (IsTagNamed(child, "TitleSize")) ReadTagInt(child, size);
        else if (IsTagNamed(child, "TitleFont")) ReadTagString(child, font);
        else nMLWarnUnknownTag(child, "Skin");
    }
    const char* given[SkinSlotCount];
    for (int32_t i = 0; i < SkinSlotCount; ++i) {
        given[i] = names[i].IsEmpty() ? 0 : names[i].GetCStr();
        if (!given[i]) {
            *g_log << "[!] The skin lacks its <" << kSkinSlotNames[i] << "> picture.\n";
            return;
        }
    }
    SetSkin(given, fill.PackColor(), title.PackColor(), top, bottom, size, font.GetCStr());
}

nMetaTag* nScene2D::SerializeSkin() const
{
    if (!m_skinLoaded) return 0;
    nMetaTag* skin = new (std::nothrow) nMetaTag("Skin");
    if (!skin) return 0;
    for (int32_t i = 0; i < SkinSlotCount; ++i)
        AppendTag(skin, new (std::nothrow) nMetaTag(kSkinSlotNames[i], m_skinNames[i].GetCStr()));
    AppendTag(skin, nVector::UnpackColor(m_skinFillColor).ToMetaTag("FillColor", true));
    AppendTag(skin, nVector::UnpackColor(m_titleColor).ToMetaTag("TitleColor", true));
    AppendTag(skin, new (std::nothrow) nMetaTag("TitleTop", m_titleTop));
    AppendTag(skin, new (std::nothrow) nMetaTag("TitleBottom", m_titleBottom));
    AppendTag(skin, new (std::nothrow) nMetaTag("TitleSize", m_titleSize));
    AppendTag(skin, new (std::nothrow) nMetaTag("TitleFont", m_titleFont.GetCStr()));
    return skin;
}

nMetaTag* nScene2D::SerializeLink(const nSprite2D* sprite) const
{
    if (!sprite->GetParent()) return 0;
    nMetaTag* link = new (std::nothrow) nMetaTag("Link");
    if (!link) return 0;
    AppendTag(link, new (std::nothrow) nMetaTag("Item", sprite->GetUid()));
    AppendTag(link, new (std::nothrow) nMetaTag("Link", sprite->GetParent()->GetUid()));
    return link;
}

nMetaTag* nScene2D::Serialize(nMetaFile* document)
{
    nMetaTag* root = new (std::nothrow) nMetaTag("Scene2d");
    if (!root) {
        *g_log << "[!] Could not create managed root tag to serialize.\n";
        return 0;
    }
    nMetaTag* sprites = new (std::nothrow) nMetaTag("Sprites");
    if (!sprites || !root->AddChild(sprites)) {
        *g_log << "[!] Failed to allocate <Sprites> root tag.\n";
        delete sprites;
        delete root;
        return 0;
    }
    for (SpriteNode* n = m_sprites.GetHead(); n; n = n->next)
        if (n->value != m_cursor) AppendTag(sprites, n->value->Serialize(document));
    nMetaTag* links = new (std::nothrow) nMetaTag("Links");
    if (!links || !root->AddChild(links)) {
        *g_log << "[!] Failed to allocate <Links> root tag.\n";
        delete links;
        delete root;
        return 0;
    }
    for (SpriteNode* n = m_sprites.GetHead(); n; n = n->next)
        if (n->value != m_cursor) AppendTag(links, SerializeLink(n->value));
    if (!m_commandText.IsEmpty()) AppendTag(root, new (std::nothrow) nMetaTag("CommandList", m_commandText.GetCStr()));
    AppendTag(root, SerializeSkin());
    AppendTag(root, nScriptUnit::Serialize(document));
    return root;
}

void nScene2D::SetGlobalFade(float fade)
{
    m_globalFade = fade < 0.0f ? 0.0f : (fade > 1.0f ? 1.0f : fade);
}

void nScene2D::GetInternalResolution(float* width, float* height) const
{
    if (width) *width = m_internalWidth;
    if (height) *height = m_internalHeight;
}
