#include "scriptapi/nUIScriptAPI.h"

#include <cstdint>
#include <tuple>
#include <type_traits>

#include "core/nString.h"
#include "hub/nOrvex.h"
#include "resources/nResourceLoader.h"
#include "resources/nTexture.h"
#include "scene/nScene.h"
#include "script/nCObject.h"
#include "script/nScriptBinding.h"
#include "script/nSquirrelObject.h"
#include "script/nSquirrelVM.h"
#include "scriptapi/nItemScriptAPI.h"
#include "scriptapi/nItemScriptAccessors.h"
#include "scriptapi/nScriptObjectKinds.h"
#include "ui/nScene2D.h"
#include "ui/nSprite2D.h"
#include "ui/nUIDevices.h"
#include "ui/nWidget.h"
#include "ui/nWindow.h"
#include "ui/nWindowSystemFont.h"

// A 2D scene is read as Window System objects, sprites and windows both as Window objects
// (always pushed as the nSprite2D, the address their destructor invalidates).
template<> struct ScriptObjectKind<nScene2D>
{
    static const int32_t value = objectTypeWindowSystem;
};
template<> struct ScriptObjectKind<nSprite2D>
{
    static const int32_t value = objectTypeWindow;
};

namespace {

const char kNotAWindow[] = "Sprite is not a window";
const char kOtherScene[] = "Window belongs to another window system";
const char kOtherSceneWidget[] = "Widget belongs to another window system";

}

nWindowSystemFonts* ScriptWindowSystemFonts(HSQUIRRELVM v)
{
    nSquirrelVM* vm = nSquirrelVM::FromHandle(v);
    nOrvex* engine = vm ? vm->GetEngine() : 0;
    const nUIDevices* devices = engine ? engine->GetUIDevices() : 0;
    return devices ? devices->fonts : 0;
}

// A Window object that must be a real window: a plain sprite raises "Sprite is not a window".
bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, nWindow*& out)
{
    nSprite2D* sprite;
    if (!ScriptReadArg(s, arg, sprite)) return false;
    if (!sprite->IsWindow()) {
        s.Error(kNotAWindow);
        return false;
    }
    out = static_cast<nWindow*>(sprite);
    return true;
}

namespace {

// A widget of any widget kind (Widget to Check Widget), which may be null: widgets are pushed
// as the nWidget itself, whatever their kind. Any other kind raises the Widget kind's error.
struct AnyWidgetArg
{
    nWidget*& out;
};

bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, AnyWidgetArg widget)
{
    int32_t kind = objectTypeWidget;
    if (ScriptGetNativeObjectType(s.GetVM(), arg + 1, &kind) && (kind < objectTypeWidget || kind > objectTypeCheckWidget))
        kind = objectTypeWidget;
    return s.GetObjectOrNull(arg, kind, &widget.out);
}

// The value of an argument as a script object of this machine (closures and contexts).
nScriptObject* HeldValue(ScriptStackHandler& s, SQInteger arg)
{
    nSquirrelVM* vm = nSquirrelVM::FromHandle(s.GetVM());
    HSQOBJECT object;
    if (!vm || SQ_FAILED(sq_getstackobj(s.GetVM(), arg + 1, &object))) return 0;
    return new nSquirrelObject(vm, object);
}

// The shape of a function of (object, values...): its object class and its values.
template<class F> struct Shape;
template<class R, class C, class... A> struct Shape<R (*)(C*, A...)>
{
    typedef R Result;
    typedef C Self;
    typedef std::tuple<typename std::decay<A>::type...> Values;
};

template<class R, class Self, class Values, class F>
SQInteger CallWith(ScriptStackHandler& s, F&& call, Self* self, Values& values)
{
    if constexpr (std::is_void<R>::value) {
        std::apply([&](auto&... a) { call(self, a...); }, values);
        return s.Return();
    } else {
        return s.Return(std::apply([&](auto&... a) { return call(self, a...); }, values));
    }
}

// (object, values...) -> F(object, values...): the object must be live and of its kind
// ("CObject is null" for null); the values read as their types.
template<auto F>
SQInteger Act(HSQUIRRELVM v)
{
    typedef Shape<decltype(F)> S;
    ScriptStackHandler s(v);
    typename S::Self* self;
    typename S::Values values;
    if (!std::apply([&](auto&... a) { return s.Args(self, a...); }, values)) return SQ_ERROR;
    return CallWith<typename S::Result>(s, F, self, values);
}

// The same for a function whose null object is ignored: nothing happens and the script gets
// null. A function of windows ignores a plain sprite in the same way.
template<auto F>
SQInteger IfPresent(HSQUIRRELVM v)
{
    typedef Shape<decltype(F)> S;
    typedef typename S::Self Self;
    typedef typename std::conditional<std::is_same<Self, nWindow>::value, nSprite2D, Self>::type Read;
    ScriptStackHandler s(v);
    Read* object;
    typename S::Values values;
    if (!std::apply([&](auto&... a) { return s.Args(ScriptOrNull(object), a...); }, values)) return SQ_ERROR;
    if (!object) return s.Return();
    if constexpr (std::is_same<Self, nWindow>::value) {
        if (!object->IsWindow()) return s.Return();
        return CallWith<typename S::Result>(s, F, static_cast<nWindow*>(object), values);
    } else {
        return CallWith<typename S::Result>(s, F, object, values);
    }
}

SQInteger PushSprite(ScriptStackHandler& s, nSprite2D* sprite)
{
    return s.ReturnObject(static_cast<void*>(sprite), objectTypeWindow, false);
}

// A Vector (x, y, -1) of a sprite's pair of numbers; (-1, -1, -1) for null.
template<const nVector2& (nSprite2D::*Get)() const>
SQInteger SpritePair(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nSprite2D* sprite;
    if (!s.Args(ScriptOrNull(sprite))) return SQ_ERROR;
    if (!sprite) return s.Return(nVector(-1.0f, -1.0f, -1.0f));
    const nVector2& p = (sprite->*Get)();
    return s.Return(nVector(p.x, p.y, -1.0f));
}

SQInteger ReturnRect(ScriptStackHandler& s, HSQUIRRELVM v, const nRect2D& r)
{
    if (!ScriptPushRect(v, r.x0, r.y0, r.x1, r.y1)) return s.Error("Failed to create Rect instance.");
    return 1;
}

// 2D scene functions.

SQInteger SceneGetUI(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene* scene;
    if (!s.Args(scene)) return SQ_ERROR;
    return s.ReturnObject(static_cast<void*>(&scene->GetUI()), objectTypeWindowSystem, false);
}

void SetInternalResolution(nScene2D* ui, float width, float height) { ui->SetInternalResolution(width, height); }

nVector InternalResolution(nScene2D* ui)
{
    float width = 0.0f, height = 0.0f;
    ui->GetInternalResolution(&width, &height);
    return nVector(width, height, 0.0f);
}

SQInteger UILoadBitmap(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene2D* ui;
    const char* name;
    if (!s.Args(ui, name)) return SQ_ERROR;
    // Into the current resource cache; without one the picture has no holder and goes again.
    nSharedPtr<nPicture> picture(LoadPicture(ui->GetEngine(), name, false));
    return s.Return(picture.IsValid() && picture->GetPixels() && picture->GetRefCount() > 1);
}

SQInteger UIUnloadBitmap(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene2D* ui;
    const char* name;
    if (!s.Args(ui, name)) return SQ_ERROR;
    return s.Return(ui->UnloadBitmap(name));
}

SQInteger UISetSkin(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene2D* ui;
    const char* names[SkinSlotCount];
    int32_t fill, title, top, bottom, size;
    const char* font;
    if (!s.Args(ScriptOrNull(ui), names[0], names[1], names[2], names[3], names[4], names[5], names[6], names[7],
                fill, title, top, bottom, size, font))
        return SQ_ERROR;
    if (!ui) return s.Return(false);
    return s.Return(ui->SetSkin(names, (uint32_t)fill, (uint32_t)title, top, bottom, size, font));
}

SQInteger UISetCursor(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene2D* ui;
    const char* name;
    if (!s.Args(ScriptOrNull(ui), name)) return SQ_ERROR;
    if (ui) ui->SetCursor(name);
    return s.Return();
}

SQInteger UIGetCursorWindow(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene2D* ui;
    if (!s.Args(ui)) return SQ_ERROR;
    return PushSprite(s, ui->GetCursor());
}

void SetSceneCommandList(nScene2D* ui, const char* text) { ui->SetCommandText(text); }
bool SceneCommandListDone(nScene2D* ui) { return ui->IsCommandListDone(); }
void RenderScene(nScene2D* ui) { ui->Render(true); }

SQInteger UISetGlobalFadeColor(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene2D* ui;
    float red, green, blue;
    if (!s.Args(ScriptOrNull(ui), red, green, blue)) return SQ_ERROR;
    if (ui) ui->SetFadeColour(nVector(red / 255.0f, green / 255.0f, blue / 255.0f, 1.0f));
    return s.Return();
}

// Both objects must be of the same scene: a window of another scene is not in this one's
// lists, and moving it there would corrupt both.
bool SameScene(ScriptStackHandler& s, nScene2D* ui, nSprite2D* sprite)
{
    if (sprite->GetScene() == ui) return true;
    s.Error(kOtherScene);
    return false;
}

SQInteger UIDeleteWindow(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene2D* ui;
    nSprite2D* sprite;
    if (!s.Args(ui, sprite) || !SameScene(s, ui, sprite)) return SQ_ERROR;
    ui->DeleteWindow(sprite);  // every script object of it now reads as a deleted native
    return s.Return();
}

SQInteger UILockToWindow(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene2D* ui;
    nWindow* window;
    if (!s.Args(ui, window) || !SameScene(s, ui, window)) return SQ_ERROR;
    ui->LockToWindow(window);
    return s.Return();
}

// The id as its decimal text.
nString IdText(int32_t id) { return nString::Format("%d", (int)id); }

SQInteger UIAddSprite(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene2D* ui;
    int32_t id;
    nTexture* texture;
    float x, y, width, height;
    if (!s.Args(ui, id, ScriptOrNull(texture), x, y, width, height)) return SQ_ERROR;
    const nVector2 position(x, y), size(width, height);
    return PushSprite(s, new nSprite2D(ui, texture, 0, IdText(id).GetCStr(), &position, &size));
}

nWindow* AddWindow(nScene2D* ui, int32_t id, float x, float y, float width, float height)
{
    const nVector2 position(x, y), size(width, height);
    return new nWindow(ui, 0, IdText(id).GetCStr(), "Window", &position, &size);
}

SQInteger UIAddWindow(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene2D* ui;
    int32_t id;
    float x, y, width, height;
    if (!s.Args(ui, id, x, y, width, height)) return SQ_ERROR;
    return PushSprite(s, AddWindow(ui, id, x, y, width, height));
}

SQInteger UIAddBitmapWindow(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene2D* ui;
    int32_t id;
    const char* picture;
    float x, y, width, height;
    if (!s.Args(ui, id, picture, x, y, width, height)) return SQ_ERROR;
    nWindow* window = AddWindow(ui, id, x, y, width, height);
    window->SetBackgroundPicture(picture);
    return PushSprite(s, window);
}

SQInteger SpriteSetTexture(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nSprite2D* sprite;
    nTexture* texture;
    if (!s.Args(sprite, texture)) return SQ_ERROR;
    sprite->SetTexture(texture);
    return s.Return();
}

// Window functions.

SQInteger WindowCompare(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nSprite2D* a;
    nSprite2D* b;
    if (!s.Args(ScriptOrNull(a), ScriptOrNull(b))) return SQ_ERROR;
    return s.Return(a == b);
}

SQInteger WindowGetRect(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nSprite2D* sprite;
    if (!s.Args(sprite)) return SQ_ERROR;
    return ReturnRect(s, v, sprite->GetRect());
}

// A position truncated toward zero; held inside the int range (NaN gives 0), as the corners
// it moves must stay ints too.
int32_t Truncate(float value)
{
    if (!(value == value)) return 0;
    const float limit = 1.0e9f;
    return (int32_t)(value < -limit ? -limit : (value > limit ? limit : value));
}

// The local rectangle moved by the position truncated to int: no parent, rotation or scale.
SQInteger WindowGetScreenRect(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nSprite2D* sprite;
    if (!s.Args(sprite)) return SQ_ERROR;
    nRect2D r = sprite->GetRect();
    const int32_t dx = Truncate(sprite->GetPosition().x), dy = Truncate(sprite->GetPosition().y);
    r.x0 += dx;
    r.x1 += dx;
    r.y0 += dy;
    r.y1 += dy;
    return ReturnRect(s, v, r);
}

void SetCommandList(nSprite2D* sprite, const char* text) { sprite->SetCommandText(text); }
void ResetCommandList(nSprite2D* sprite) { sprite->ResetCommandList(); }

SQInteger WindowIsCommandListDone(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nSprite2D* sprite;
    if (!s.Args(ScriptOrNull(sprite))) return SQ_ERROR;
    return s.Return(!sprite || sprite->IsCommandListDone());
}

void Show(nSprite2D* sprite, bool shown) { sprite->SetState(Sprite2DStateVisible, shown); }
void SetTitle(nWindow* window, const char* title) { window->SetTitle(title); }
const char* GetTitle(nWindow* window) { return window->GetTitle().GetCStr(); }

SQInteger WindowGetParent(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nSprite2D* sprite;
    if (!s.Args(sprite)) return SQ_ERROR;
    return PushSprite(s, sprite->GetParent());
}

// SetParent refuses the sprite itself, a descendant (a cycle) and a sprite of another scene.
SQInteger WindowSetParent(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nSprite2D* sprite;
    nSprite2D* parent;
    if (!s.Args(sprite, ScriptOrNull(parent))) return SQ_ERROR;
    if (parent && parent->GetScene() != sprite->GetScene()) return s.Error(kOtherScene);
    sprite->SetParent(parent);
    return s.Return();
}

void Compose(nWindow* window)
{
    window->Compose();
    nOrvex* engine = window->GetScene() ? window->GetScene()->GetEngine() : 0;
    window->UploadCache(engine ? engine->GetRenderer() : 0);
}

void SetPosition(nSprite2D* sprite, float x, float y) { sprite->SetPosition(x, y); }
void SetPivot(nSprite2D* sprite, float x, float y) { sprite->SetPivot(x, y); }
void SetScale(nSprite2D* sprite, float x, float y) { sprite->SetScale(x, y); }
void SetSize(nSprite2D* sprite, float w, float h) { sprite->SetSize(w, h); }
void SetFlip(nSprite2D* sprite, bool u, bool v) { sprite->SetFlip(u, v); }

SQInteger WindowGetOpacity(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nSprite2D* sprite;
    if (!s.Args(ScriptOrNull(sprite))) return SQ_ERROR;
    return s.Return(sprite ? sprite->GetOpacity() : 0.0f);
}

// The style bits; 0 for a null object.
SQInteger WindowGetStyle(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nSprite2D* sprite;
    if (!s.Args(ScriptOrNull(sprite))) return SQ_ERROR;
    return s.Return(sprite ? (int32_t)sprite->GetStyle() : 0);
}

void ReplaceStyle(nSprite2D* sprite, int32_t bits)
{
    sprite->SetStyle(0xFFFFFFFFu, false);
    sprite->SetStyle((uint32_t)bits, true);
}
void AddStyle(nSprite2D* sprite, int32_t bits) { sprite->SetStyle((uint32_t)bits, true); }
void RemoveStyle(nSprite2D* sprite, int32_t bits) { sprite->SetStyle((uint32_t)bits, false); }

SQInteger WindowGetBackgroundPicture(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nWindow* window;
    if (!s.Args(window)) return SQ_ERROR;
    return s.ReturnObject(static_cast<void*>(window->GetBackgroundPicture()), objectTypePicture, false);
}

void SetBackgroundPicture(nWindow* window, const char* name) { window->SetBackgroundPicture(name); }

// A packed colour, red in the low byte.
void SetBackgroundColor(nWindow* window, int32_t packed)
{
    const uint32_t c = (uint32_t)packed;
    window->SetBackgroundColor(nVector((c & 0xFF) / 255.0f, ((c >> 8) & 0xFF) / 255.0f, ((c >> 16) & 0xFF) / 255.0f,
                                       ((c >> 24) & 0xFF) / 255.0f));
}

void Centre(nSprite2D* sprite)
{
    float width = 0.0f, height = 0.0f;
    if (sprite->GetScene()) sprite->GetScene()->GetInternalResolution(&width, &height);
    sprite->SetPosition((width - sprite->GetSize().x) / 2.0f + sprite->GetPivot().x,
                        (height - sprite->GetSize().y) / 2.0f + sprite->GetPivot().y);
}

void MoveToBack(nSprite2D* sprite)
{
    if (sprite->GetScene()) sprite->GetScene()->MoveToBack(sprite, 0);
}
void MoveToFront(nSprite2D* sprite)
{
    if (sprite->GetScene()) sprite->GetScene()->MoveToFront(sprite, 0);
}

// Moved beside a reference of the same scene, or to the list's end for a null reference.
template<bool Back>
SQInteger MoveBeside(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nSprite2D* sprite;
    nSprite2D* reference;
    if (!s.Args(sprite, ScriptOrNull(reference))) return SQ_ERROR;
    nScene2D* scene = sprite->GetScene();
    if (!scene) return s.Return();
    if (reference && reference->GetScene() != scene) return s.Error(kOtherScene);
    if (Back) scene->MoveToBack(sprite, reference);
    else scene->MoveToFront(sprite, reference);
    return s.Return();
}

void ForceLayout(nSprite2D* sprite) { sprite->Render(0); }
void Invalidate(nWindow* window) { window->Invalidate(); }

SQInteger WindowGetCacheTexture(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nWindow* window;
    if (!s.Args(window)) return SQ_ERROR;
    return s.ReturnObject(static_cast<void*>(window->GetTexture()), objectTypeTexture, false);
}

// Script instance, fonts, the cursor and the window under it.

// The instance of the scene's script unit; null when the scene runs no script.
SQInteger UIGetScriptInstance(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene2D* ui;
    if (!s.Args(ui)) return SQ_ERROR;
    if (!ui->GetInstance()) return s.Return();
    return ScriptReturnUnitInstance(s, ui);
}

// A font loaded from its file, or the one of that name already loaded; a null object when the
// file is no font or the program has no window-system fonts.
SQInteger UILoadFont(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    const char* path;
    if (!s.Args(path)) return SQ_ERROR;
    nWindowSystemFonts* fonts = ScriptWindowSystemFonts(v);
    return s.ReturnObject(fonts ? static_cast<void*>(fonts->LoadWindowSystemFont(path)) : 0, objectTypeFont, false);
}

// The loaded font of that name, else the system font.
SQInteger UIGetFont(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    const char* name;
    if (!s.Args(name)) return SQ_ERROR;
    nWindowSystemFonts* fonts = ScriptWindowSystemFonts(v);
    return s.ReturnObject(fonts ? static_cast<void*>(fonts->FindWindowSystemFont(name)) : 0, objectTypeFont, false);
}

void SetCursorAutoHideDelay(nScene2D* ui, float seconds) { ui->GetRouter().SetCursorAutoHideDelay(seconds); }

SQInteger UIGetWindowBelowCursor(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene2D* ui;
    if (!s.Args(ui)) return SQ_ERROR;
    return PushSprite(s, ui->GetRouter().GetCurrent().window);
}

// Widgets and event handlers of windows.

// The base widget of a window, taken out of wherever it was; a null window or widget, or a
// plain sprite, changes nothing. A widget of another scene is refused.
SQInteger WindowSetBaseWidget(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nSprite2D* sprite;
    nWidget* widget;
    if (!s.Args(ScriptOrNull(sprite), AnyWidgetArg{widget})) return SQ_ERROR;
    if (!sprite || !widget || !sprite->IsWindow()) return s.Return();
    if (widget->GetScene() != sprite->GetScene()) return s.Error(kOtherSceneWidget);
    static_cast<nWindow*>(sprite)->SetBaseWidget(widget);
    return s.Return();
}

// The widget of that id in the window's tree; a null object when none, and for a null window
// or a plain sprite.
SQInteger WindowGetChild(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nSprite2D* sprite;
    int32_t id;
    if (!s.Args(ScriptOrNull(sprite), id)) return SQ_ERROR;
    nWidget* base = sprite && sprite->IsWindow() ? static_cast<nWindow*>(sprite)->GetBaseWidget() : 0;
    return s.ReturnObject(base ? static_cast<void*>(base->FindById(id)) : 0, objectTypeWidget, false);
}

// handler(event id, event) in the event table of a window or sprite, for that event id: with
// the context as 'this', or the root table. A null window is ignored.
SQInteger SetEventHandler(ScriptStackHandler& s, nSprite2D* sprite, int32_t id, SQInteger contextArg, SQInteger closureArg)
{
    nScriptObject* closure = sprite ? HeldValue(s, closureArg) : 0;
    if (!closure) return s.Return();
    nScriptObject* context = contextArg > 0 ? HeldValue(s, contextArg) : 0;
    sprite->GetEventTable().SetHandler(id, closure, context);
    return s.Return();
}

SQInteger WindowSetEventHandler(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nSprite2D* sprite;
    int32_t id;
    if (!s.Args(ScriptOrNull(sprite), id, ScriptSkip)) return SQ_ERROR;
    return SetEventHandler(s, sprite, id, 0, 3);
}

SQInteger WindowSetEventHandlerWithContext(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nSprite2D* sprite;
    int32_t id;
    if (!s.Args(ScriptOrNull(sprite), id, ScriptSkip, ScriptSkip)) return SQ_ERROR;
    return SetEventHandler(s, sprite, id, 3, 4);
}

void SetFade(nScene2D* ui, float fade) { ui->SetGlobalFade(fade); }
void SetRawClock(nScene2D* ui, bool raw) { ui->SetUseRawClock(raw); }
void Unlock(nScene2D* ui) { ui->Unlock(); }
float GetZOrder(nSprite2D* sprite) { return sprite->GetZOrder(); }
void SetZOrder(nSprite2D* sprite, float z) { sprite->SetZOrder(z); }
bool IsShown(nSprite2D* sprite) { return sprite->IsShown(); }
void SetRotation(nSprite2D* sprite, float a) { sprite->SetRotation(a); }
void SetOpacity(nSprite2D* sprite, float o) { sprite->SetOpacity(o); }

}

const ScriptFunctionDecl g_UIScriptFunctions[] = {
    // 2D scene functions
    {"SceneGetUI", SceneGetUI, ".x"},
    {"UIGetScriptInstance", UIGetScriptInstance, ".x"},
    {"UISetInternalResolution", Act<SetInternalResolution>, ".xnn"},
    {"UIGetInternalResolution", Act<InternalResolution>, ".x"},
    {"UILoadBitmap", UILoadBitmap, ".xs"},
    {"UIUnloadBitmap", UIUnloadBitmap, ".xs"},
    {"UILoadFont", UILoadFont, ".s"},
    {"UIGetFont", UIGetFont, ".s"},
    {"UISetSkin", UISetSkin, ".xssssssssnnnnns"},
    {"UISetCursor", UISetCursor, ".xs"},
    {"UISetCursorAutoHideDelay", IfPresent<SetCursorAutoHideDelay>, ".xn"},
    {"UIGetCursorWindow", UIGetCursorWindow, ".x"},
    {"UISetCommandList", Act<SetSceneCommandList>, ".xs"},
    {"UIIsCommandListDone", Act<SceneCommandListDone>, ".x"},
    {"UIRender", Act<RenderScene>, ".x"},
    {"UISetGlobalFadeEffect", Act<SetFade>, ".xn"},
    {"UISetGlobalFadeColor", UISetGlobalFadeColor, ".xnnn"},
    {"UISetAceUseRawClock", Act<SetRawClock>, ".xb"},
    {"UIGetWindowBelowCursor", UIGetWindowBelowCursor, ".x"},
    {"UIDeleteWindow", UIDeleteWindow, ".xx"},
    {"UILockToWindow", UILockToWindow, ".xx"},
    {"UIUnlock", Act<Unlock>, ".x"},
    {"UIAddSprite", UIAddSprite, ".xnxnnnn"},
    {"SpriteSetTexture", SpriteSetTexture, ".xx"},
    {"UIAddWindow", UIAddWindow, ".xnnnnn"},
    {"UIAddBitmapWindow", UIAddBitmapWindow, ".xnsnnnn"},
    // Window functions
    {"WindowCompare", WindowCompare, ".xx"},
    {"WindowGetZOrder", Act<GetZOrder>, ".x"},
    {"WindowSetZOrder", Act<SetZOrder>, ".xn"},
    {"WindowGetRect", WindowGetRect, ".x"},
    {"WindowGetScreenRect", WindowGetScreenRect, ".x"},
    {"WindowSetCommandList", IfPresent<SetCommandList>, ".xs"},
    {"WindowResetCommandList", IfPresent<ResetCommandList>, ".x"},
    {"WindowIsCommandListDone", WindowIsCommandListDone, ".x"},
    {"WindowShow", IfPresent<Show>, ".xb"},
    {"WindowIsShown", Act<IsShown>, ".x"},
    {"WindowSetTitle", IfPresent<SetTitle>, ".xs"},
    {"WindowGetTitle", Act<GetTitle>, ".x"},
    {"WindowSetBaseWidget", WindowSetBaseWidget, ".xx"},
    {"WindowGetChild", WindowGetChild, ".xn"},
    {"WindowGetParent", WindowGetParent, ".x"},
    {"WindowSetParent", WindowSetParent, ".xx"},
    {"WindowCompose", Act<Compose>, ".x"},
    {"WindowGetPosition", SpritePair<&nSprite2D::GetPosition>, ".x"},
    {"WindowSetPosition", IfPresent<SetPosition>, ".xnn"},
    {"WindowSetRotation", IfPresent<SetRotation>, ".xn"},
    {"WindowGetSize", SpritePair<&nSprite2D::GetSize>, ".x"},
    {"WindowSetSize", IfPresent<SetSize>, ".xnn"},
    {"WindowGetPivot", SpritePair<&nSprite2D::GetPivot>, ".x"},
    {"WindowSetPivot", IfPresent<SetPivot>, ".xnn"},
    {"WindowSetScale", IfPresent<SetScale>, ".xnn"},
    {"WindowGetOpacity", WindowGetOpacity, ".x"},
    {"WindowSetOpacity", IfPresent<SetOpacity>, ".xn"},
    {"WindowSetFlip", IfPresent<SetFlip>, ".xbb"},
    {"WindowGetStyle", WindowGetStyle, ".x"},
    {"WindowSetStyle", IfPresent<ReplaceStyle>, ".xn"},
    {"WindowAddStyle", IfPresent<AddStyle>, ".xn"},
    {"WindowRemoveStyle", IfPresent<RemoveStyle>, ".xn"},
    {"WindowGetBackgroundPicture", WindowGetBackgroundPicture, ".x"},
    {"WindowSetBackgroundPicture", IfPresent<SetBackgroundPicture>, ".xs"},
    {"WindowSetBackgroundColor", IfPresent<SetBackgroundColor>, ".xn"},
    {"WindowCentre", Act<Centre>, ".x"},
    {"WindowMoveToBack", Act<MoveToBack>, ".x"},
    {"WindowMoveToFront", Act<MoveToFront>, ".x"},
    {"WindowMoveToBackOf", MoveBeside<true>, ".xx"},
    {"WindowMoveToFrontOf", MoveBeside<false>, ".xx"},
    {"WindowForceLayout", Act<ForceLayout>, ".x"},
    {"WindowInvalidate", Act<Invalidate>, ".x"},
    {"WindowGetCacheTexture", WindowGetCacheTexture, ".x"},
    {"WindowSetEventHandler", WindowSetEventHandler, ".xnc"},
    {"WindowSetEventHandlerWithContext", WindowSetEventHandlerWithContext, ".xn.c"},
    {0, 0, 0}};

const ScriptConstantDecl g_UIScriptConstants[] = {
    {"NullWindow", 0, objectTypeWindow},
    {"StyleBlendAdditive", Sprite2DStyleAdditive, ScriptConstantInteger},
    {"StyleAlwaysOnTop", Sprite2DStyleAlwaysOnTop, ScriptConstantInteger},
    {"StyleAlwaysBehind", Sprite2DStyleAlwaysBehind, ScriptConstantInteger},
    {"StyleNonSensitive", Sprite2DStyleNonSensitive, ScriptConstantInteger},
    {"StyleResolutionInvariant", Sprite2DStyleResolutionInvariant, ScriptConstantInteger},
    {"StyleNoDecoration", Sprite2DStyleNoDecoration, ScriptConstantInteger},
    {"StyleLockUV", Sprite2DStyleLockUV, ScriptConstantInteger},
    {"StyleNoTitleBar", Sprite2DStyleNoTitle, ScriptConstantInteger},
    {"StyleMovable", Sprite2DStyleMovable, ScriptConstantInteger},
    {"StyleNonSkinned", Sprite2DStyleNoDecoration, ScriptConstantInteger},
    {"EventLeftMouseClick", 1, ScriptConstantInteger},
    {"EventRightMouseClick", 2, ScriptConstantInteger},
    {"EventMiddleMouseClick", 3, ScriptConstantInteger},
    {"EventLeftMouseDown", 4, ScriptConstantInteger},
    {"EventRightMouseDown", 5, ScriptConstantInteger},
    {"EventMiddleMouseDown", 6, ScriptConstantInteger},
    {"EventLeftMouseUp", 7, ScriptConstantInteger},
    {"EventRightMouseUp", 8, ScriptConstantInteger},
    {"EventMiddleMouseUp", 9, ScriptConstantInteger},
    {"EventMouseEnter", 10, ScriptConstantInteger},
    {"EventMouseLeave", 11, ScriptConstantInteger},
    {"EventMouseMove", 12, ScriptConstantInteger},
    {"EventShade", 14, ScriptConstantInteger},
    {"EventUnshade", 15, ScriptConstantInteger},
    {"EventMove", 13, ScriptConstantInteger},
    {0, 0, 0}};

void RegisterUIScriptAPI(HSQUIRRELVM v)
{
    ScriptRegisterFunctions(v, g_UIScriptFunctions);
    ScriptRegisterConstants(v, g_UIScriptConstants);
}
