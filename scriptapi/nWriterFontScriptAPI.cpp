#include "scriptapi/nWriterFontScriptAPI.h"

#include "core/nVector.h"
#include "render/nRenderer.h"
#include "resources/nRasterFont.h"
#include "script/nSquirrelVM.h"
#include "scriptapi/nItemScriptAccessors.h"
#include "scriptapi/nScriptObjectKinds.h"

namespace {

void DestroyFont(void* native)
{
    delete static_cast<nRasterFont*>(native);
}

// A font for the engine of the machine the script runs on (the renderer's own engine); a
// null font object when the description or its pages do not load (logged by the font).
SQInteger LoadWriterFont(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nRenderer* renderer;
    const char* path;
    const char* pageBase;
    if (!s.Args(renderer, path, pageBase)) return SQ_ERROR;
    nSquirrelVM* vm = nSquirrelVM::FromHandle(v);
    nRasterFont* font = nRasterFont::New(vm ? vm->GetEngine() : 0, path, pageBase);
    return s.ReturnObject(font, objectTypeRasterFont, font != 0);
}

SQInteger Write(HSQUIRRELVM v)
{
    ScriptStackHandler s(v);
    nRenderer* renderer;
    nRasterFont* font;
    const char* text;
    float x, y, size;
    bool keepAspect;
    int32_t alignment;
    if (!s.Args(renderer, font, text, x, y, size, keepAspect, alignment)) return SQ_ERROR;
    nVector colour;
    if (!s.GetVector4(9, colour)) return SQ_ERROR;
    renderer->Write(font, text, x, y, size, keepAspect, alignment, &colour);
    return s.Return();
}

}  // namespace

const ScriptFunctionDecl g_WriterFontScriptFunctions[] = {
    {"RendererLoadWriterFont", LoadWriterFont, ".xss"},
    {"RendererWrite", Write, ".xxsnnnbix"},
    {"WriterFontGetLineHeight", ScriptGet<&nRasterFont::GetLineHeight>, ".x"},
    {"WriterFontGetBaseline", ScriptGet<&nRasterFont::GetBaseLine>, ".x"},
    {0, 0, 0}};

const ScriptConstantDecl g_WriterFontScriptConstants[] = {
    {"WriterAlignLeft", RasterAlignLeft, ScriptConstantInteger},
    {"WriterAlignRight", RasterAlignRight, ScriptConstantInteger},
    {"WriterAlignMiddle", RasterAlignMiddle, ScriptConstantInteger},
    {0, 0, 0}};

void RegisterWriterFontScriptAPI(HSQUIRRELVM v)
{
    ScriptSetObjectTypeLifetime(objectTypeRasterFont, nObjectTypeLifetime{0, 0, DestroyFont});
    ScriptRegisterFunctions(v, g_WriterFontScriptFunctions);
    ScriptRegisterConstants(v, g_WriterFontScriptConstants);
}
