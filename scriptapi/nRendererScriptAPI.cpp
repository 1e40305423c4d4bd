#include "scriptapi/nRendererScriptAPI.h"

#include "core/nLog.h"
#include "core/nMetaTag.h"
#include "core/nVariant.h"
#include "render/nRenderer.h"
#include "scene/nMItem.h"
#include "script/nCObject.h"
#include "script/nScriptBinding.h"
#include "scriptapi/nItemScriptAccessors.h"
#include "scriptapi/nScriptObjectKinds.h"

// Renderer objects wrap the nRenderer itself. Positions and line ends are Vectors read with
// w = 1; colours are Vectors too, with alpha 1 for lines and crosses and as given for fog.

namespace {

// A picture argument: exact kind, a null object raises "CObject is null".
struct PictureArg
{
    nPicture*& out;
};

bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, PictureArg p)
{
    return s.GetObject(arg, objectTypePicture, &p.out);
}

// A colour with all four components as given; anything but a Vector is refused ("Invalid
// instance type") and nothing changes.
struct ColourArg
{
    nVector& out;
};

bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, ColourArg c)
{
    return s.GetVector4(arg, c.out);
}

// Registry.

SQInteger RegistrySetKey(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nRenderer* renderer;
    const char* path;
    if (!s.Args(renderer, path)) return SQ_ERROR;
    nVariant value;
    switch (s.GetType(3)) {
        case OT_BOOL: {
            bool b = false;
            s.GetBool(3, b);
            value.SetBool(b);
            break;
        }
        case OT_INTEGER: {
            int32_t i = 0;
            s.GetInt(3, i);
            value.SetInt(i);
            break;
        }
        case OT_FLOAT: {
            float f = 0.0f;
            s.GetFloat(3, f);
            value.SetFloat(f);
            break;
        }
        case OT_STRING: {
            const char* text = 0;
            s.GetString(3, text);
            value.SetString(text);
            break;
        }
        default:
            *g_log << "[*] Incorrect binding argument count.\n";
            break;
    }
    renderer->CreateRegistryKey(path, &value);
    return s.Return();
}

SQInteger RegistryGetKey(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nRenderer* renderer;
    const char* path;
    if (!s.Args(renderer, path)) return SQ_ERROR;
    nMetaTag* tag = renderer->FindRegistryKey(path);
    return s.ReturnTagValue(tag);
}

// Aspect, camera and viewport.

SQInteger SetGlobalAspectRatio(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nRenderer* renderer;
    float ratio;
    if (!s.Args(renderer, ratio)) return SQ_ERROR;
    const float previous = renderer->GetGlobalAspectRatio();
    renderer->SetGlobalAspectRatio(ratio);
    return s.Return(previous);
}

SQInteger SetViewItemAndApplyView(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nRenderer* renderer;
    nMItem* item;
    if (!s.Args(renderer, item)) return SQ_ERROR;
    if (item->GetKind() != ManagedItemCamera) return s.Error("Item is not a camera");
    renderer->SetCamera(item->GetItem());
    renderer->ApplyCamera();
    return s.Return();
}

SQInteger SetViewport(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nRenderer* renderer;
    float x, y, width, height;
    if (!s.Args(renderer, x, y, width, height)) return SQ_ERROR;
    nVector2 output;
    renderer->GetOutputSize(output);
    renderer->SetViewport((int32_t)(output.x * x), (int32_t)(output.y * y), (int32_t)(output.x * width),
                          (int32_t)(output.y * height));
    return s.Return();
}

nVector Viewport(nRenderer* renderer)
{
    nVector2 output;
    renderer->GetOutputSize(output);
    return nVector(0.0f, 0.0f, output.x, output.y);
}

SQInteger SetClippingPlane(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nRenderer* renderer;
    nVector point, normal;
    if (!s.Args(renderer, point, normal)) return SQ_ERROR;
    renderer->SetClipPlane(point, normal);
    return s.Return();
}

SQInteger ClearFrame(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nRenderer* renderer;
    float red, green, blue;
    if (!s.Args(renderer, red, green, blue)) return SQ_ERROR;
    renderer->Clear(red, green, blue, 1.0f, false);
    return s.Return();
}

SQInteger SetOutputTexture(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nRenderer* renderer;
    nTexture* texture;
    if (!s.Args(renderer, ScriptOrNull(texture))) return SQ_ERROR;
    renderer->SetRenderTarget(texture);
    return s.Return();
}

// Fog.

SQInteger SetFog(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nRenderer* renderer;
    bool enabled;
    nVector colour;
    float nearZ, farZ;
    if (!s.Args(renderer, enabled, ColourArg{colour}, nearZ, farZ)) return SQ_ERROR;
    renderer->SetFog(enabled, &colour, nearZ, farZ);
    return s.Return();
}

// Control and system words: a bit mask and whether to set or clear it; a test is true when
// any of the bits is set.

template<void (nRenderer::*Set)(uint32_t, bool)>
SQInteger SetWordBits(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nRenderer* renderer;
    int32_t bits;
    bool on;
    if (!s.Args(renderer, bits, on)) return SQ_ERROR;
    (renderer->*Set)((uint32_t)bits, on);
    return s.Return();
}

template<bool (nRenderer::*Test)(uint32_t) const>
SQInteger TestWordBits(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nRenderer* renderer;
    int32_t bits;
    if (!s.Args(renderer, bits)) return SQ_ERROR;
    return s.Return((renderer->*Test)((uint32_t)bits));
}

// Debug lines and crosses.

SQInteger DrawCross(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nRenderer* renderer;
    nVector position;
    if (!s.Args(renderer, position)) return SQ_ERROR;
    const nVector white(1.0f, 1.0f, 1.0f, 1.0f);
    renderer->DrawCross(position, 1.0f, &white);
    return s.Return();
}

SQInteger DrawCrossColored(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nRenderer* renderer;
    nVector position, colour;
    if (!s.Args(renderer, position, colour)) return SQ_ERROR;
    colour.w = 1.0f;
    renderer->DrawCross(position, 1.0f, &colour);
    return s.Return();
}

SQInteger DrawLine(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nRenderer* renderer;
    nVector from, to;
    if (!s.Args(renderer, from, to)) return SQ_ERROR;
    const nVector yellow(1.0f, 1.0f, 0.0f, 1.0f);
    renderer->DrawLine(from, to, &yellow);
    return s.Return();
}

SQInteger DrawLineColored(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nRenderer* renderer;
    nVector from, to, colour;
    if (!s.Args(renderer, from, to, colour)) return SQ_ERROR;
    colour.w = 1.0f;
    renderer->DrawLine(from, to, &colour);
    return s.Return();
}

// Statistics and grabs.

SQInteger GetStatistics(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nRenderer* renderer;
    if (!s.Args(renderer)) return SQ_ERROR;
    const RendererStatistics& statistics = renderer->GetStatistics();
    s.NewTable();
    s.Slot("object_sent", s.Return((SQInteger)statistics.objectsSent));
    s.Slot("object_drawn", s.Return((SQInteger)statistics.objectsDrawn));
    s.Slot("triangle_drawn", s.Return((SQInteger)statistics.trianglesDrawn));
    return 1;
}

SQInteger GrabDisplayToPicture(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nRenderer* renderer;
    nPicture* picture;
    if (!s.Args(renderer, PictureArg{picture})) return SQ_ERROR;
    renderer->GrabToPicture(picture);
    return s.Return();
}

}

const ScriptFunctionDecl g_RendererScriptFunctions[] = {
    {"RendererRegistrySetKey", RegistrySetKey, ".xs."},
    {"RendererRegistryGetKey", RegistryGetKey, ".xs"},
    {"RendererGetGlobalAspectRatio", ScriptGet<&nRenderer::GetGlobalAspectRatio>, ".x"},
    {"RendererSetGlobalAspectRatio", SetGlobalAspectRatio, ".xn"},
    {"RendererSetViewItemAndApplyView", SetViewItemAndApplyView, ".xx"},
    {"RendererSetViewport", SetViewport, ".xnnnn"},
    {"RendererGetViewport", ScriptGet<Viewport>, ".x"},
    {"RendererSetClippingPlane", SetClippingPlane, ".xxx"},
    {"RendererClearClippingPlane", ScriptCall<&nRenderer::ClearClipPlane>, ".x"},
    {"RendererClearFrame", ClearFrame, ".xnnn"},
    {"RendererSetOutputTexture", SetOutputTexture, ".xx"},
    {"RendererGetFogNear", ScriptGet<&nRenderer::GetFogNear>, ".x"},
    {"RendererGetFogFar", ScriptGet<&nRenderer::GetFogFar>, ".x"},
    {"RendererSetFog", SetFog, ".xbxnn"},
    {"RendererSetControlFlag", SetWordBits<&nRenderer::SetControlFlag>, ".xib"},
    {"RendererSetControlWord", SetWordBits<&nRenderer::SetControlFlag>, ".xib"},
    {"RendererGetControlFlag", TestWordBits<&nRenderer::TestControlFlag>, ".xi"},
    {"RendererGetControlWord", TestWordBits<&nRenderer::TestControlFlag>, ".xi"},
    {"RendererSetSystemWord", SetWordBits<&nRenderer::SetSystemFlag>, ".xib"},
    {"RendererGetSystemWord", TestWordBits<&nRenderer::TestSystemFlag>, ".xi"},
    {"RendererRenderQueue", ScriptCall<&nRenderer::RenderQueue>, ".x"},
    {"RendererRenderQueueReset", ScriptCall<&nRenderer::ResetRenderQueue>, ".x"},
    {"RendererDrawCross", DrawCross, ".xx"},
    {"RendererDrawLine", DrawLine, ".xxx"},
    {"RendererDrawCrossColored", DrawCrossColored, ".xxx"},
    {"RendererDrawLineColored", DrawLineColored, ".xxxx"},
    {"RendererSetCleanResourceOnSetup", ScriptSet<&nRenderer::SetCleanResourceOnSetup>, ".xb"},
    {"RendererGetStatistics", GetStatistics, ".x"},
    {"RendererResetStatistics", ScriptCall<&nRenderer::ResetStatistics>, ".x"},
    {"RendererGrabDisplayToPicture", GrabDisplayToPicture, ".xx"},
    {0, 0, 0}};

const ScriptConstantDecl g_RendererScriptConstants[] = {
    {"RenderVSync", RendererSystemVSync, ScriptConstantInteger},
    {"RenderMotionBlur", RendererControlMotionBlur, ScriptConstantInteger},
    {"RenderShadowMapping", RendererControlShadowMapping, ScriptConstantInteger},
    {"RenderBloom", RendererControlBloom, ScriptConstantInteger},
    {"RenderDepthOfField", RendererControlDepthOfField, ScriptConstantInteger},
    {0, 0, 0}};

void RegisterRendererScriptAPI(HSQUIRRELVM v)
{
    ScriptRegisterFunctions(v, g_RendererScriptFunctions);
    ScriptRegisterConstants(v, g_RendererScriptConstants);
}
