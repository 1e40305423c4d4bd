#include "scriptapi/nPictureScriptAPI.h"

#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "core/nLog.h"
#include "hub/nOrvex.h"
#include "resources/nPicture.h"
#include "resources/nPictureFormat.h"
#include "resources/nPictureOps.h"
#include "resources/nPictureTGA.h"
#include "script/nCObject.h"
#include "script/nScriptBinding.h"
#include "script/nSquirrelVM.h"
#include "scriptapi/nScriptObjectKinds.h"
#include "scriptapi/nWidgetScriptAPI.h"
#include "ui/nTextLayout.h"
#include "ui/nUIDevices.h"
#include "ui/nWindowSystemFont.h"

// Picture objects hold a reference on their picture (the Engine family registers that
// lifetime for every shared resource), so a picture made by PictureNew dies with the last
// script object that holds it, and a cached or texture picture outlives its cache entry while
// a script holds it. Every drawing operation is cut to the picture: a script cannot write
// outside its pixels whatever rectangle, point or line it gives.

namespace {

// A colour argument: all four components of a Vector (r, g, b, a in 0..1).
struct ColourArg
{
    nVector& out;
};
bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, ColourArg c) { return s.GetVector4(arg, c.out); }

// A Rect argument: its members sx, sy, ex, ey as whole numbers; a missing member reads 0.
struct RectArg
{
    nRect& out;
};
bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, RectArg r)
{
    int32_t members[4] = {0, 0, 0, 0};
    ScriptGetRect(s.GetVM(), arg + 1, members);
    r.out = nRect{members[0], members[1], members[2], members[3]};
    return true;
}

std::string SizeText(SQInteger width, SQInteger height)
{
    return std::to_string((long long)width) + "x" + std::to_string((long long)height);
}

// Sizes of PictureAlloc (positive) and PictureResize (a negative side follows the other).
bool SideInRange(SQInteger side, bool negativeAllowed)
{
    return side <= kScriptPictureMaxSide && (side >= 1 || (negativeAllowed && side < 0 && side >= -kScriptPictureMaxSide));
}

SQInteger PictureNew(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    return s.ReturnObject(static_cast<void*>(new (std::nothrow) nPicture()), objectTypePicture, false);  // out of memory: a null Picture
}

// New zero-filled RGBA8 pixels; the old ones stay when the new block cannot be had.
SQInteger PictureAlloc(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPicture* picture;
    SQInteger width, height;
    if (!s.Args(picture, width, height)) return SQ_ERROR;
    if (!SideInRange(width, false) || !SideInRange(height, false)) {
        *g_log << "[!] Invalid picture size (" << SizeText(width, height).c_str() << ").\n";
        return s.Return(false);
    }
    void* block = nPictureAllocPixels(nPictureByteSize((uint32_t)width, (uint32_t)height, PixelFormatRGBA8));
    if (!block) {
        *g_log << "[!] Failed to allocate picture buffer (" << SizeText(width, height).c_str() << "@32bpp).\n";
        return s.Return(false);
    }
    if (picture->Allocate((uint32_t)width, (uint32_t)height, PixelFormatRGBA8, block)) return s.Return(true);
    nPictureFreePixels(block);
    return s.Return(false);
}

SQInteger PictureLoadContent(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPicture* picture;
    const char* path;
    if (!s.Args(picture, path)) return SQ_ERROR;
    return s.Return(nPicture::LoadContent(picture, path));
}

SQInteger PictureSaveTGA(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPicture* picture;
    const char* path;
    if (!s.Args(picture, path)) return SQ_ERROR;
    return s.Return(SavePictureTGA(path, *picture));
}

SQInteger PictureGetRect(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPicture* picture;
    if (!s.Args(picture)) return SQ_ERROR;
    if (!ScriptPushRect(v, 0, 0, (int32_t)picture->GetWidth(), (int32_t)picture->GetHeight()))
        return s.Error("Failed to create Rect instance.");
    return 1;
}

SQInteger PictureResize(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPicture* picture;
    SQInteger width, height;
    if (!s.Args(picture, width, height)) return SQ_ERROR;
    if (!SideInRange(width, true) || !SideInRange(height, true) || (width < 0 && height < 0)) {
        *g_log << "[!] Invalid picture size (" << SizeText(width, height).c_str() << ").\n";
        return s.Return();
    }
    if (!picture->Resize((int32_t)width, (int32_t)height))
        *g_log << "[!] Could not resize picture to " << SizeText(width, height).c_str() << ".\n";
    return s.Return();
}

SQInteger PictureFill(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPicture* picture;
    nVector colour;
    if (!s.Args(picture, ColourArg{colour})) return SQ_ERROR;
    picture->FillRect(colour.x, colour.y, colour.z, colour.w);
    return s.Return();
}

SQInteger PictureFillRect(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPicture* picture;
    nVector colour;
    nRect rect;
    if (!s.Args(picture, ColourArg{colour}, RectArg{rect})) return SQ_ERROR;
    picture->FillRect(colour.x, colour.y, colour.z, colour.w, &rect);
    return s.Return();
}

SQInteger PictureSetPixel(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPicture* picture;
    float x, y;
    nVector colour;
    if (!s.Args(picture, x, y, ColourArg{colour})) return SQ_ERROR;
    picture->PlotPixel(x, y, colour.x, colour.y, colour.z, colour.w);
    return s.Return();
}

// The bilinear sample at (x / width, y / height); a picture without pixels reads (0, 0, 0, 0).
SQInteger PictureGetPixel(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPicture* picture;
    float x, y;
    if (!s.Args(picture, x, y)) return SQ_ERROR;
    if (!picture->GetPixels() || !picture->GetWidth() || !picture->GetHeight()) return s.Return(nVector(0, 0, 0, 0));
    const uint32_t packed = picture->SamplePacked(x / (float)picture->GetWidth(), y / (float)picture->GetHeight());
    auto channel = [packed](int shift) { return (float)((packed >> shift) & 0xFF) / 255.0f; };
    return s.Return(nVector(channel(0), channel(8), channel(16), channel(24)));
}

// Anti-aliased, kept one pixel inside the right and bottom edges for the smooth points' spread.
SQInteger PictureLine(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPicture* picture;
    float x0, y0, x1, y1;
    nVector colour;
    if (!s.Args(picture, x0, y0, x1, y1, ColourArg{colour})) return SQ_ERROR;
    const int64_t right = (int64_t)picture->GetWidth() - 2, bottom = (int64_t)picture->GetHeight() - 2;
    if (right <= 0 || bottom < 0) return s.Return();
    const nRectF clip = {0.0f, 0.0f, (float)right, (float)bottom};
    picture->DrawLineAntialiased(x0, y0, x1, y1, colour.x, colour.y, colour.z, colour.w, &clip);
    return s.Return();
}

// Modes past RgbToAlpha change nothing, as BlendAdd to BlendAlphaMultiply2x do.
bool IsBlendMode(SQInteger mode) { return mode >= BlendReplace && mode <= RgbToAlpha; }

SQInteger PictureBlit(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPicture* source;
    nPicture* destination;
    SQInteger mode;
    if (!s.Args(source, destination, mode)) return SQ_ERROR;
    if (IsBlendMode(mode)) BlitPicture(*source, *destination, 0, 0, (int32_t)mode);
    return s.Return();
}

SQInteger PictureBlitRect(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPicture* source;
    nPicture* destination;
    nRect from, to;
    SQInteger mode;
    if (!s.Args(source, destination, RectArg{from}, RectArg{to}, mode)) return SQ_ERROR;
    if (IsBlendMode(mode)) BlitPicture(*source, *destination, &from, &to, (int32_t)mode);
    return s.Return();
}

// One kernel value: an integer held to 32 bits, a float truncated the same way (NaN 0), any
// other value 0.
int32_t KernelValue(HSQUIRRELVM v)
{
    if (sq_gettype(v, -1) == OT_INTEGER) {
        SQInteger i = 0;
        sq_getinteger(v, -1, &i);
        return i < INT32_MIN ? INT32_MIN : (i > INT32_MAX ? INT32_MAX : (int32_t)i);
    }
    if (sq_gettype(v, -1) == OT_FLOAT) {
        SQFloat f = 0;
        sq_getfloat(v, -1, &f);
        if (!(f == f)) return 0;
        return f <= -2147483648.0 ? INT32_MIN : (f >= 2147483647.0 ? INT32_MAX : (int32_t)f);
    }
    return 0;
}

// The first count values of the array at the stack index, row by row; missing ones are 0.
std::vector<int32_t> ReadKernel(HSQUIRRELVM v, SQInteger index, size_t count)
{
    std::vector<int32_t> kernel(count, 0);
    const size_t available = (size_t)sq_getsize(v, index);
    for (size_t i = 0; i < count && i < available; ++i) {
        const SQInteger top = sq_gettop(v);
        sq_pushinteger(v, (SQInteger)i);
        if (SQ_SUCCEEDED(sq_get(v, index))) kernel[i] = KernelValue(v);
        sq_settop(v, top);
    }
    return kernel;
}

// Integer kernel of 1 to 1024 values (each side checked once more by the filter itself).
SQInteger PictureApplyConvolution(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPicture* picture;
    SQInteger width, height;
    if (!s.Args(ScriptOrNull(picture), width, height, ScriptSkip)) return SQ_ERROR;
    if (width < 1 || height < 1) {
        *g_log << "[!] Invalid kernel size (" << SizeText(width, height).c_str() << ").\n";
        return s.Return(false);
    }
    if (width > kScriptKernelMaxValues || height > kScriptKernelMaxValues || width * height > kScriptKernelMaxValues) {
        *g_log << "[!] Convolution kernel too big (" << SizeText(width, height).c_str() << "), max 32x32.\n";
        return s.Return(false);
    }
    const std::vector<int32_t> kernel = ReadKernel(v, 5, (size_t)(width * height));
    if (!picture) return s.Return(false);
    return s.Return(picture->ApplyConvolution((int32_t)width, (int32_t)height, kernel.data()));
}

// The window-system font of that name, else the default one; NULL without fonts.
nWindowSystemFont* FindFont(HSQUIRRELVM v, const char* name)
{
    nSquirrelVM* vm = nSquirrelVM::FromHandle(v);
    nOrvex* engine = vm ? vm->GetEngine() : 0;
    const nUIDevices* devices = engine ? engine->GetUIDevices() : 0;
    return devices && devices->fonts ? devices->fonts->FindWindowSystemFont(name) : 0;
}

SQInteger PictureTextRender(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nPicture* picture;
    nRect rect;
    const char* text;
    const char* font;
    if (!s.Args(ScriptOrNull(picture), RectArg{rect}, text, font, ScriptSkip)) return SQ_ERROR;
    nTextParameters parameters;
    ScriptParseTextParameters(v, 6, parameters);
    parameters.font = FindFont(v, font);
    if (!picture || !*text) return s.Return();
    nTextBox box;
    box.x0 = rect.left, box.y0 = rect.top, box.x1 = rect.right, box.y1 = rect.bottom;
    nTextBox whole;
    whole.x1 = (int32_t)picture->GetWidth(), whole.y1 = (int32_t)picture->GetHeight();
    nTextLayout layout;
    MeasureText(layout, text, parameters, box);
    RenderText(picture, layout, box, whole);
    return s.Return();
}

}

const ScriptFunctionDecl g_PictureScriptFunctions[] = {
    {"PictureNew", PictureNew, "."},
    {"PictureAlloc", PictureAlloc, ".xii"},
    {"PictureLoadContent", PictureLoadContent, ".xs"},
    {"PictureSaveTGA", PictureSaveTGA, ".xs"},
    {"PictureGetRect", PictureGetRect, ".x"},
    {"PictureResize", PictureResize, ".xii"},
    {"PictureFill", PictureFill, ".xx"},
    {"PictureFillRect", PictureFillRect, ".xxx"},
    {"PictureSetPixel", PictureSetPixel, ".xnnx"},
    {"PictureGetPixel", PictureGetPixel, ".xnn"},
    {"PictureLine", PictureLine, ".xnnnnx"},
    {"PictureBlit", PictureBlit, ".xxi"},
    {"PictureBlitRect", PictureBlitRect, ".xxxxi"},
    {"PictureApplyConvolution", PictureApplyConvolution, ".xiia"},
    {"PictureTextRender", PictureTextRender, ".xxsst"},
    {0, 0, 0}};

const ScriptConstantDecl g_PictureScriptConstants[] = {
    {"BlendReplace", BlendReplace, ScriptConstantInteger},
    {"BlendCompose", BlendCompose, ScriptConstantInteger},
    {"BlendAdd", BlendAdd, ScriptConstantInteger},
    {"BlendMultiply", BlendMultiply, ScriptConstantInteger},
    {"BlendMultiply2x", BlendMultiply2x, ScriptConstantInteger},
    {"BlendAlphaAdd", BlendAlphaAdd, ScriptConstantInteger},
    {"BlendAlphaMultiply", BlendAlphaMultiply, ScriptConstantInteger},
    {"BlendAlphaMultiply2x", BlendAlphaMultiply2x, ScriptConstantInteger},
    {"RgbToAlpha", RgbToAlpha, ScriptConstantInteger},
    {0, 0, 0}};

void RegisterPictureScriptAPI(HSQUIRRELVM v)
{
    ScriptRegisterFunctions(v, g_PictureScriptFunctions);
    ScriptRegisterConstants(v, g_PictureScriptConstants);
}
