// The widget and text functions of the UI family: widgets made in a 2D scene, trees built from
// sizers and containers, text, check-box, bitmap and canvas operations, event handlers, the
// kind conversions, and the widget alignment and text constants.
#include "scriptapi/nWidgetScriptAPI.h"

#include <algorithm>
#include <cstring>
#include <tuple>
#include <type_traits>

#include "core/nLog.h"
#include "hub/nOrvex.h"
#include "script/nCObject.h"
#include "script/nSquirrelObject.h"
#include "script/nSquirrelVM.h"
#include "scriptapi/nItemScriptAccessors.h"
#include "ui/nScene2D.h"
#include "ui/nTextLayout.h"
#include "ui/nUIDevices.h"
#include "ui/nWidget.h"
#include "ui/nWindow.h"
#include "ui/nWindowSystemFont.h"

// The 2D scene is read as a Window System object (as in the window functions).
template<> struct ScriptObjectKind<nScene2D>
{
    static const int32_t value = objectTypeWindowSystem;
};

namespace {

const char kWidgetIsNull[] = "Widget is null";
const char kNotAWidget[] = "Object is not a widget";
const char kNotInContainer[] = "Widget not in container";
const char kOtherScene[] = "Widget belongs to another window system";

const int32_t kTextSizeMax = 4096;  // no glyph is seen beyond a window's largest edge

bool IsWidgetKind(int32_t type) { return type >= objectTypeWidget && type <= objectTypeCheckWidget; }

// The object kind scripts see a widget as, by its class.
int32_t ObjectKindOf(const nWidget& widget)
{
    switch (widget.GetKind()) {
        case WidgetKindSizer:
        case WidgetKindVSizer:
        case WidgetKindHSizer: return objectTypeSizerWidget;
        case WidgetKindContainer: return objectTypeContainerWidget;
        case WidgetKindSpacer: return objectTypeSpacerWidget;
        case WidgetKindText: return objectTypeTextWidget;
        case WidgetKindCanvas: return objectTypeCanvasWidget;
        case WidgetKindBitmap: return objectTypeBitmapWidget;
        case WidgetKindCheck: return objectTypeCheckWidget;
        default: return objectTypeWidget;
    }
}

// Whether a widget is of the class W reads it as.
template<class W> bool IsOfClass(const nWidget& widget) { return ObjectKindOf(widget) == ScriptObjectKind<W>::value; }

// A widget of exactly the kind of W: the object's kind, then its native's class.
template<class W>
bool ReadExact(ScriptStackHandler& s, SQInteger arg, W*& out, bool orNull)
{
    nWidget* widget = 0;
    if (!s.GetObjectOrNull(arg, ScriptObjectKind<W>::value, &widget)) return false;
    if (!widget) {
        if (orNull) {
            out = 0;
            return true;
        }
        s.Error("CObject is null");
        return false;
    }
    if (!IsOfClass<W>(*widget)) {
        s.Error(nString::Format("Expected '%s' got '%s'", GetObjectTypeName(ScriptObjectKind<W>::value),
                                GetObjectTypeName(ObjectKindOf(*widget)))
                    .GetCStr());
        return false;
    }
    out = static_cast<W*>(widget);
    return true;
}

}

bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, nWidget*& out)
{
    void* native = 0;
    if (!s.GetObjectOrNull(arg, 0, &native)) return false;
    int32_t type = objectTypeUndefined;
    ScriptGetNativeObjectType(s.GetVM(), arg + 1, &type);
    if (type == objectTypeDeleted) return s.GetObject(arg, objectTypeWidget, &native);  // the frame's words
    if (!IsWidgetKind(type)) {
        s.Error(kNotAWidget);
        return false;
    }
    if (!native) {
        s.Error(kWidgetIsNull);
        return false;
    }
    out = static_cast<nWidget*>(native);
    return true;
}

bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, nSizerWidget*& out) { return ReadExact(s, arg, out, false); }
bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, nContainerWidget*& out) { return ReadExact(s, arg, out, false); }
bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, nCanvasWidget*& out) { return ReadExact(s, arg, out, false); }
bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, nTextWidget*& out) { return ReadExact(s, arg, out, false); }
bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, nBitmapWidget*& out) { return ReadExact(s, arg, out, false); }
bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, nCheckWidget*& out) { return ReadExact(s, arg, out, false); }
bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, ScriptOrNullArg<nSizerWidget> o) { return ReadExact(s, arg, o.out, true); }
bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, ScriptOrNullArg<nContainerWidget> o) { return ReadExact(s, arg, o.out, true); }
bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, ScriptOrNullArg<nCanvasWidget> o) { return ReadExact(s, arg, o.out, true); }
bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, ScriptOrNullArg<nTextWidget> o) { return ReadExact(s, arg, o.out, true); }
bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, ScriptOrNullArg<nBitmapWidget> o) { return ReadExact(s, arg, o.out, true); }
bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, ScriptOrNullArg<nCheckWidget> o) { return ReadExact(s, arg, o.out, true); }

SQInteger ScriptReturnWidget(ScriptStackHandler& s, nWidget* widget)
{
    return s.ReturnObject(static_cast<void*>(widget), widget ? ObjectKindOf(*widget) : objectTypeWidget, false);
}

namespace {

// A whole number of a table value: an integer, or a float truncated (NaN gives 0) and held in
// 32 bits. False for other types.
bool WholeValue(HSQUIRRELVM v, SQInteger index, int64_t& out)
{
    SQInteger i;
    SQFloat f;
    if (sq_gettype(v, index) == OT_INTEGER && SQ_SUCCEEDED(sq_getinteger(v, index, &i))) {
        out = i;
        return true;
    }
    if (sq_gettype(v, index) == OT_FLOAT && SQ_SUCCEEDED(sq_getfloat(v, index, &f))) {
        out = f == f ? (int64_t)std::max(-2147483648.0, std::min(2147483647.0, (double)f)) : 0;
        return true;
    }
    return false;
}

int32_t TextSize(int64_t size) { return (int32_t)std::max<int64_t>(1, std::min<int64_t>(kTextSizeMax, size)); }
// Tracking and heading add value x size to every character and line: held to +-64, so that the
// 26.6 widths of lines stay within their ints at the largest size.
int32_t TextSpacing(int64_t value) { return (int32_t)std::max<int64_t>(-64, std::min<int64_t>(64, value)); }

// One word of a table: its index in words, or -1.
int32_t WordIndex(const char* word, const char* const* words, int32_t count)
{
    for (int32_t i = 0; i < count; ++i)
        if (std::strcmp(word, words[i]) == 0) return i;
    return -1;
}

}

void ScriptParseTextParameters(HSQUIRRELVM v, SQInteger index, nTextParameters& parameters)
{
    static const char* const kAlignments[] = {"left", "right", "center", "justify"};
    static const char* const kFormats[] = {"standard", "paragraph", "column"};
    const SQInteger top = sq_gettop(v);
    const SQInteger table = index < 0 ? top + 1 + index : index;
    sq_pushnull(v);
    while (SQ_SUCCEEDED(sq_next(v, table))) {
        const SQChar* key = 0;
        const SQChar* word = 0;
        int64_t number = 0;
        if (sq_gettype(v, -2) == OT_STRING && SQ_SUCCEEDED(sq_getstring(v, -2, &key))) {
            const bool isWord = sq_gettype(v, -1) == OT_STRING && SQ_SUCCEEDED(sq_getstring(v, -1, &word));
            const bool isNumber = WholeValue(v, -1, number);
            if (std::strcmp(key, "size") == 0) {
                if (isNumber) parameters.size = TextSize(number);
            } else if (std::strcmp(key, "color") == 0) {
                if (isNumber) {
                    const uint32_t c = (uint32_t)number;  // 0xRRGGBBAA
                    parameters.red = (c >> 24) & 0xFF;
                    parameters.green = (c >> 16) & 0xFF;
                    parameters.blue = (c >> 8) & 0xFF;
                    parameters.alpha = c & 0xFF;
                }
            } else if (std::strcmp(key, "align") == 0) {
                const int32_t at = isWord ? WordIndex(word, kAlignments, 4) : -2;
                if (at >= 0) parameters.alignment = at;
                else if (at == -1) *g_log << "[*] unknown text alignment command '" << word << "'.\n";
            } else if (std::strcmp(key, "format") == 0) {
                const int32_t at = isWord ? WordIndex(word, kFormats, 3) : -2;
                if (at >= 0) parameters.format = at;
                else if (at == -1) *g_log << "[*] unknown text format command '" << word << "'.\n";
            } else if (std::strcmp(key, "tracking") == 0) {
                if (isNumber) parameters.tracking = TextSpacing(number);
            } else if (std::strcmp(key, "heading") == 0) {
                if (isNumber) parameters.heading = TextSpacing(number);
            } else {
                *g_log << "[*] unknown text attribute '" << key << "'.\n";
            }
        }
        sq_pop(v, 2);
    }
    sq_settop(v, top);
}

namespace {

// The shape of a function of (object, values...): its object class and its values.
template<class F> struct Shape;
template<class R, class C, class... A> struct Shape<R (*)(C*, A...)>
{
    typedef R Result;
    typedef C Self;
    typedef std::tuple<typename std::decay<A>::type...> Values;
};

// (object, values...) -> F(object, values...) when the object is there; a null object is
// ignored (nothing happens, the script gets null).
template<auto F>
SQInteger IfPresent(HSQUIRRELVM v)
{
    typedef Shape<decltype(F)> S;
    ScriptStackHandler s(v);
    typename S::Self* self;
    typename S::Values values;
    if (!std::apply([&](auto&... a) { return s.Args(ScriptOrNull(self), a...); }, values)) return SQ_ERROR;
    if (self) std::apply([&](auto&... a) { F(self, a...); }, values);
    return s.Return();
}

// The window-system font of that name, or the system font; NULL without fonts.
nWindowSystemFont* FindFont(nOrvex* engine, const char* name)
{
    const nUIDevices* devices = engine ? engine->GetUIDevices() : 0;
    nWindowSystemFonts* fonts = devices ? devices->fonts : 0;
    return fonts ? fonts->FindWindowSystemFont(name) : 0;
}

nOrvex* EngineOf(const nWidget* widget) { return widget->GetScene() ? widget->GetScene()->GetEngine() : 0; }

SQInteger ReturnRect(ScriptStackHandler& s, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    if (!ScriptPushRect(s.GetVM(), x0, y0, x1, y1)) return s.Error("Failed to create Rect instance.");
    return 1;
}

// Colour bytes from script numbers: held to 0..255, NaN gives 0.
int32_t ColourByte(float value) { return value == value ? (int32_t)std::max(0.0f, std::min(255.0f, value)) : 0; }

// Widget creation: a null ui gives a null object of the result's kind.

template<int32_t Kind, class Make>
SQInteger AddWidget(ScriptStackHandler& s, nScene2D* ui, Make make)
{
    if (!ui) return s.ReturnObject(0, Kind, false);
    return ScriptReturnWidget(s, make());
}

SQInteger UIAddCanvasWidget(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene2D* ui;
    int32_t id, width, height;
    if (!s.Args(ScriptOrNull(ui), id, width, height)) return SQ_ERROR;
    return AddWidget<objectTypeCanvasWidget>(s, ui, [&] { return new nCanvasWidget(ui, id, width, height); });
}

template<bool Horizontal>
SQInteger UIAddSizerWidget(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene2D* ui;
    int32_t id;
    if (!s.Args(ScriptOrNull(ui), id)) return SQ_ERROR;
    return AddWidget<objectTypeSizerWidget>(s, ui, [&] { return new nSizerWidget(ui, id, Horizontal); });
}

SQInteger UIAddContainerWidget(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene2D* ui;
    int32_t id;
    if (!s.Args(ScriptOrNull(ui), id)) return SQ_ERROR;
    return AddWidget<objectTypeContainerWidget>(s, ui, [&] { return new nContainerWidget(ui, id); });
}

SQInteger UIAddSpacerWidget(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene2D* ui;
    int32_t id;
    if (!s.Args(ScriptOrNull(ui), id)) return SQ_ERROR;
    return AddWidget<objectTypeSpacerWidget>(s, ui, [&] { return new nSpacerWidget(ui, id); });
}

SQInteger UIAddBitmapWidget(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene2D* ui;
    int32_t id;
    const char* picture;
    if (!s.Args(ScriptOrNull(ui), id, picture)) return SQ_ERROR;
    return AddWidget<objectTypeBitmapWidget>(s, ui, [&] {
        nBitmapWidget* bitmap = new nBitmapWidget(ui, id);
        bitmap->SetPicture(picture);
        return bitmap;
    });
}

SQInteger UIAddStaticTextWidget(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene2D* ui;
    int32_t id;
    const char* text;
    const char* font;
    if (!s.Args(ScriptOrNull(ui), id, text, font)) return SQ_ERROR;
    return AddWidget<objectTypeTextWidget>(s, ui, [&] { return new nTextWidget(ui, id, text, FindFont(ui->GetEngine(), font), 16); });
}

SQInteger UIAddCheckWidget(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene2D* ui;
    int32_t id;
    const char* label;
    const char* font;
    bool state;
    if (!s.Args(ScriptOrNull(ui), id, label, font, state)) return SQ_ERROR;
    return AddWidget<objectTypeCheckWidget>(s, ui, [&] {
        nCheckWidget* check = new nCheckWidget(ui, id, label, FindFont(ui->GetEngine(), font), 16);
        check->SetState(state);
        return check;
    });
}

// Destroyed at once (after the routing pass when a handler asks): its parent, cells, window and
// the input states forget it, and every script object of it reads as a deleted native.
SQInteger UIDeleteWidget(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nScene2D* ui;
    nWidget* widget;
    if (!s.Args(ui, widget)) return SQ_ERROR;
    if (widget->GetScene() != ui) return s.Error(kOtherScene);
    ui->DeleteWidget(widget);
    return s.Return();
}

// Tree building and layout.

SQInteger SizerAddWidget(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nSizerWidget* sizer;
    nWidget* widget;
    if (!s.Args(ScriptOrNull(sizer), widget)) return SQ_ERROR;
    return ScriptReturnWidget(s, sizer ? sizer->AddWidget(widget) : 0);
}

void SetBorderSize(nSizerWidget* sizer, float left, float top, float right, float bottom)
{
    sizer->SetBorderSize(left, top, right, bottom);
}
void SetDrawDelimiter(nSizerWidget*, bool) {}

SQInteger ContainerAddWidget(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nContainerWidget* container;
    nWidget* widget;
    float x, y, width, height;
    if (!s.Args(ScriptOrNull(container), widget, x, y, width, height)) return SQ_ERROR;
    return ScriptReturnWidget(s, container ? container->AddWidget(widget, x, y, width, height) : 0);
}

// The widget's cell moves to (x, y), keeping its size.
SQInteger ContainerWidgetSetPosition(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nContainerWidget* container;
    nWidget* widget;
    float x, y;
    if (!s.Args(container, widget, x, y)) return SQ_ERROR;
    if (!container->MoveWidget(widget, x, y)) return s.Error(kNotInContainer);
    return s.Return();
}

void SetHAlign(nWidget* widget, int32_t align) { widget->SetHAlign(align); }
void SetVAlign(nWidget* widget, int32_t align) { widget->SetVAlign(align); }
void SetFormattingSize(nWidget* widget, float x, float y) { widget->SetFormattingSize(x, y); }
void SetHidden(nWidget* widget, bool hidden) { widget->SetHidden(hidden); }
bool IsHidden(nWidget* widget) { return widget->IsHidden(); }
void SetSensitive(nWidget* widget, bool sensitive) { widget->SetSensitive(sensitive ? 1 : 0); }

template<auto F>
SQInteger OnWidget(HSQUIRRELVM v)
{
    typedef Shape<decltype(F)> S;
    ScriptStackHandler s(v);
    nWidget* widget;
    typename S::Values values;
    if (!std::apply([&](auto&... a) { return s.Args(widget, a...); }, values)) return SQ_ERROR;
    if constexpr (std::is_void<typename S::Result>::value) {
        std::apply([&](auto&... a) { F(widget, a...); }, values);
        return s.Return();
    } else {
        return s.Return(std::apply([&](auto&... a) { return F(widget, a...); }, values));
    }
}

SQInteger WidgetGetRect(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nWidget* widget;
    if (!s.Args(widget)) return SQ_ERROR;
    const nWidgetRect& r = widget->GetContentRect();
    return ReturnRect(s, r.x0, r.y0, r.x1, r.y1);
}

// The content rectangle's top-left corner through the owner window's world transform (kind
// Widget only).
SQInteger WidgetGetScreenPosition(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nWidget* widget;
    if (!s.GetObject(1, objectTypeWidget, &widget)) return SQ_ERROR;
    float x = (float)widget->GetContentRect().x0, y = (float)widget->GetContentRect().y0;
    if (const nWindow* window = widget->GetOwnerWindow()) {
        const nMatrix3& m = window->GetWorldTransform();
        const float wx = m.m[0] * x + m.m[1] * y + m.m[2], wy = m.m[3] * x + m.m[4] * y + m.m[5];
        x = wx;
        y = wy;
    }
    return s.Return(nVector(x, y, 0.0f));
}

// handler(id, event) for the event id, called with context as 'this' (null: the root table).
SQInteger SetEventHandler(ScriptStackHandler& s, nWidget* widget, int32_t id, SQInteger contextArg, SQInteger closureArg)
{
    nSquirrelVM* vm = nSquirrelVM::FromHandle(s.GetVM());
    if (!vm) return s.Error("Internal failure");
    HSQOBJECT closure, context;
    sq_getstackobj(s.GetVM(), closureArg + 1, &closure);
    nScriptObject* self = 0;
    if (contextArg > 0 && s.GetType(contextArg) != OT_NULL) {
        sq_getstackobj(s.GetVM(), contextArg + 1, &context);
        self = new nSquirrelObject(vm, context);
    }
    widget->SetHandler(id, new nSquirrelObject(vm, closure), self);
    return s.Return();
}

SQInteger WidgetSetEventHandler(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nWidget* widget;
    int32_t id;
    if (!s.Args(widget, id, ScriptSkip)) return SQ_ERROR;
    return SetEventHandler(s, widget, id, 0, 3);
}

SQInteger WidgetSetEventHandlerWithContext(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nWidget* widget;
    int32_t id;
    if (!s.Args(widget, id, ScriptSkip, ScriptSkip)) return SQ_ERROR;
    return SetEventHandler(s, widget, id, 3, 4);
}

// Kind conversions: the same native under another kind. Converting to a class kind checks the
// widget's class: another class gives a null object of that kind and one line.

SQInteger CastToWidget(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nWidget* widget;
    if (!s.Args(widget)) return SQ_ERROR;
    return s.ReturnObject(static_cast<void*>(widget), objectTypeWidget, false);
}

template<class W>
SQInteger WidgetTo(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nWidget* widget;
    if (!s.GetObject(1, objectTypeWidget, &widget)) return SQ_ERROR;
    const int32_t kind = ScriptObjectKind<W>::value;
    if (!IsOfClass<W>(*widget)) {
        *g_log << "[*] Widget " << widget->GetId() << " is not a " << GetObjectTypeName(kind) << ".\n";
        return s.ReturnObject(0, kind, false);
    }
    return s.ReturnObject(static_cast<void*>(widget), kind, false);
}

// Canvas, bitmap, text and check-box functions.

SQInteger CanvasWidgetLock(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nCanvasWidget* canvas;
    if (!s.Args(canvas)) return SQ_ERROR;
    nPicture* picture = canvas->GetPicture();
    return s.ReturnObject(picture && picture->GetPixels() ? picture : 0, objectTypePicture, false);
}

void Unlock(nCanvasWidget* canvas) { canvas->Invalidate(); }
void SetPicture(nBitmapWidget* bitmap, const char* n) { bitmap->SetPicture(n); }
void SetText(nTextWidget* text, const char* value) { text->SetText(value); }

// Text settings go through the parameter record, which invalidates the widget when one changed.
template<class Change>
void ChangeParameters(nTextWidget* text, Change change)
{
    nTextParameters parameters = text->GetParameters();
    change(parameters);
    text->SetParameters(parameters);
}

void SetTextSize(nTextWidget* text, int32_t size)
{
    ChangeParameters(text, [&](nTextParameters& p) { p.size = TextSize(size); });
}
void SetTextAlignment(nTextWidget* text, int32_t a)
{
    ChangeParameters(text, [&](nTextParameters& p) { p.alignment = a; });
}
void SetTextFormat(nTextWidget* text, int32_t f)
{
    ChangeParameters(text, [&](nTextParameters& p) { p.format = f; });
}

void SetTextColor(nTextWidget* text, float red, float green, float blue, float alpha)
{
    ChangeParameters(text, [&](nTextParameters& p) {
        p.red = ColourByte(red);
        p.green = ColourByte(green);
        p.blue = ColourByte(blue);
        p.alpha = ColourByte(alpha);
    });
}

SQInteger TextSetParameters(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nTextWidget* text;
    if (!s.Args(ScriptOrNull(text), ScriptSkip)) return SQ_ERROR;
    if (text) ChangeParameters(text, [&](nTextParameters& p) { ScriptParseTextParameters(v, 3, p); });
    return s.Return();
}

// The size of a text laid out in a box with the default parameters changed by the table.
SQInteger TextComputeRect(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    const char* text;
    const char* font;
    if (!s.Args(ScriptSkip, text, font, ScriptSkip)) return SQ_ERROR;
    int32_t r[4] = {0, 0, 0, 0};
    ScriptGetRect(v, 2, r);
    nTextParameters parameters;
    ScriptParseTextParameters(v, 5, parameters);
    nSquirrelVM* vm = nSquirrelVM::FromHandle(v);
    parameters.font = FindFont(vm ? vm->GetEngine() : 0, font);
    nTextBox box;
    box.x0 = r[0];
    box.y0 = r[1];
    box.x1 = r[2];
    box.y1 = r[3];
    nTextLayout layout;
    const nTextBox measured = MeasureText(layout, text, parameters, box);
    return ReturnRect(s, measured.x0, measured.y0, measured.x1, measured.y1);
}

void SetState(nCheckWidget* check, bool state) { check->SetState(state); }
void SetLabel(nCheckWidget* check, const char* label) { check->GetLabel().SetText(label); }
void SetLabelSize(nCheckWidget* check, int32_t size) { SetTextSize(&check->GetLabel(), size); }

void SetLabelFont(nCheckWidget* check, const char* name)
{
    nWindowSystemFont* font = FindFont(EngineOf(check), name);
    ChangeParameters(&check->GetLabel(), [&](nTextParameters& p) { p.font = font; });
}

SQInteger CheckWidgetGetState(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nCheckWidget* check;
    if (!s.Args(ScriptOrNull(check))) return SQ_ERROR;
    return s.Return(check && check->GetState());
}

SQInteger CheckWidgetGetText(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nCheckWidget* check;
    if (!s.Args(ScriptOrNull(check))) return SQ_ERROR;
    return s.ReturnObject(check ? static_cast<void*>(static_cast<nWidget*>(&check->GetLabel())) : 0, objectTypeTextWidget, false);
}

}

const ScriptFunctionDecl g_WidgetScriptFunctions[] = {
    // Widget creation
    {"UIAddCanvasWidget", UIAddCanvasWidget, ".xnnn"},
    {"UIAddHorizontalSizerWidget", UIAddSizerWidget<true>, ".xn"},
    {"UIAddVerticalSizerWidget", UIAddSizerWidget<false>, ".xn"},
    {"UIAddContainerWidget", UIAddContainerWidget, ".xn"},
    {"UIAddSpacerWidget", UIAddSpacerWidget, ".xn"},
    {"UIAddBitmapWidget", UIAddBitmapWidget, ".xns"},
    {"UIAddStaticTextWidget", UIAddStaticTextWidget, ".xnss"},
    {"UIAddCheckWidget", UIAddCheckWidget, ".xnssb"},
    {"UIDeleteWidget", UIDeleteWidget, ".xx"},
    // Tree building and layout
    {"SizerAddWidget", SizerAddWidget, ".xx"},
    {"SizerSetBorderSize", IfPresent<SetBorderSize>, ".xnnnn"},
    {"SizerSetDrawDelimiter", IfPresent<SetDrawDelimiter>, ".xb"},
    {"ContainerAddWidget", ContainerAddWidget, ".xxnnnn"},
    {"ContainerWidgetSetPosition", ContainerWidgetSetPosition, ".xxnn"},
    {"WidgetSetHAlign", OnWidget<SetHAlign>, ".xn"},
    {"WidgetSetVAlign", OnWidget<SetVAlign>, ".xn"},
    {"WidgetSetFormattingSize", OnWidget<SetFormattingSize>, ".xnn"},
    {"WidgetSetHidden", OnWidget<SetHidden>, ".xb"},
    {"WidgetIsHidden", OnWidget<IsHidden>, ".x"},
    {"WidgetGetRect", WidgetGetRect, ".x"},
    {"WidgetGetScreenPosition", WidgetGetScreenPosition, ".x"},
    {"WidgetSetSensitive", OnWidget<SetSensitive>, ".xb"},
    {"WidgetSetEventHandler", WidgetSetEventHandler, ".xnc"},
    {"WidgetSetEventHandlerWithContext", WidgetSetEventHandlerWithContext, ".xn.c"},
    // Kind conversions
    {"CastToWidget", CastToWidget, ".x"},
    {"WidgetToBitmap", WidgetTo<nBitmapWidget>, ".x"},
    {"WidgetToText", WidgetTo<nTextWidget>, ".x"},
    {"WidgetToCheck", WidgetTo<nCheckWidget>, ".x"},
    // Canvas, bitmap, text and check box
    {"CanvasWidgetLock", CanvasWidgetLock, ".x"},
    {"CanvasWidgetUnlock", IfPresent<Unlock>, ".x"},
    {"BitmapSetPicture", IfPresent<SetPicture>, ".xs"},
    {"TextSetText", ScriptSet<SetText>, ".xs"},
    {"TextSetSize", IfPresent<SetTextSize>, ".xn"},
    {"TextSetColor", IfPresent<SetTextColor>, ".xnnnn"},
    {"TextSetAlignment", IfPresent<SetTextAlignment>, ".xn"},
    {"TextSetFormat", IfPresent<SetTextFormat>, ".xn"},
    {"TextSetParameters", TextSetParameters, ".xt"},
    {"TextComputeRect", TextComputeRect, ".xsst"},
    {"CheckWidgetSetState", IfPresent<SetState>, ".xb"},
    {"CheckWidgetGetState", CheckWidgetGetState, ".x"},
    {"CheckWidgetSetLabel", IfPresent<SetLabel>, ".xs"},
    {"CheckWidgetSetLabelFont", IfPresent<SetLabelFont>, ".xs"},
    {"CheckWidgetSetLabelSize", IfPresent<SetLabelSize>, ".xn"},
    {"CheckWidgetGetText", CheckWidgetGetText, ".x"},
    {0, 0, 0}};

const ScriptConstantDecl g_WidgetScriptConstants[] = {
    {"WidgetAlignDefault", WidgetAlignDefault, ScriptConstantInteger},
    {"WidgetAlignLeft", WidgetAlignLeft, ScriptConstantInteger},
    {"WidgetAlignTop", WidgetAlignTop, ScriptConstantInteger},
    {"WidgetAlignMiddle", WidgetAlignMiddle, ScriptConstantInteger},
    {"WidgetAlignRight", WidgetAlignRight, ScriptConstantInteger},
    {"WidgetAlignBottom", WidgetAlignBottom, ScriptConstantInteger},
    {"TextAlignLeft", TextAlignLeft, ScriptConstantInteger},
    {"TextAlignRight", TextAlignRight, ScriptConstantInteger},
    {"TextAlignCenter", TextAlignCenter, ScriptConstantInteger},
    {"TextAlignJustify", TextAlignJustify, ScriptConstantInteger},
    {"TextFormatStandard", TextFormatStandard, ScriptConstantInteger},
    {"TextFormatLine", TextFormatStandard, ScriptConstantInteger},
    {"TextFormatParagraph", TextFormatParagraph, ScriptConstantInteger},
    {"TextFormatColumn", TextFormatColumn, ScriptConstantInteger},
    {0, 0, 0}};

void RegisterWidgetScriptAPI(HSQUIRRELVM v)
{
    ScriptRegisterFunctions(v, g_WidgetScriptFunctions);
    ScriptRegisterConstants(v, g_WidgetScriptConstants);
}
