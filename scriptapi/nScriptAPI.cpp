#include "scriptapi/nScriptAPI.h"

#include <string>

#include "core/nLog.h"
#include "script/nCObject.h"
#include "script/nScriptMath.h"
#include "scriptapi/nAIPathScriptAPI.h"
#include "scriptapi/nEngineScriptAPI.h"
#include "scriptapi/nGeometryScriptAPI.h"
#include "scriptapi/nInputScriptAPI.h"
#include "scriptapi/nItemScriptAPI.h"
#include "scriptapi/nMaterialScriptAPI.h"
#include "scriptapi/nMathScriptAPI.h"
#include "scriptapi/nMetafileScriptAPI.h"
#include "scriptapi/nMixerScriptAPI.h"
#include "scriptapi/nMotionScriptAPI.h"
#include "scriptapi/nPictureScriptAPI.h"
#include "scriptapi/nRaytracerScriptAPI.h"
#include "scriptapi/nRendererScriptAPI.h"
#include "scriptapi/nSceneScriptAPI.h"
#include "scriptapi/nShapeScriptAPI.h"
#include "scriptapi/nSoundTextureScriptAPI.h"
#include "scriptapi/nUIScriptAPI.h"
#include "scriptapi/nWidgetScriptAPI.h"
#include "scriptapi/nWriterFontScriptAPI.h"

// The UI family: the 2D scene, sprite and window functions, then those of widgets and text.
static void RegisterUIAndWidgetScriptAPI(HSQUIRRELVM v)
{
    RegisterUIScriptAPI(v);
    RegisterWidgetScriptAPI(v);
}

// The Renderer family: the renderer's own functions, then those of raster-font text.
static void RegisterRendererFamilyScriptAPI(HSQUIRRELVM v)
{
    RegisterRendererScriptAPI(v);
    RegisterWriterFontScriptAPI(v);
}

// The families in their registration order. A family that lands replaces its NULL with its
// registrar (declared in its own header).
const ScriptFamilyEntry g_ScriptFamilies[30] = {
    {"Math", RegisterMathScriptAPI},
    {"AnimationSource", RegisterAnimationSourceScriptAPI},
    {"AIPath", RegisterAIPathScriptAPI},
    {"System", RegisterSystemScriptAPI},
    {"Engine", RegisterEngineScriptAPI},
    {"Renderer", RegisterRendererFamilyScriptAPI},
    {"Mixer", RegisterMixerScriptAPI},
    {"Scene", RegisterSceneScriptAPI},
    {"Instance", RegisterInstanceScriptAPI},
    {"Group", RegisterGroupScriptAPI},
    {"Camera", RegisterCameraScriptAPI},
    {"Object", RegisterObjectScriptAPI},
    {"Material", RegisterMaterialScriptAPI},
    {"Light", RegisterLightScriptAPI},
    {"Item", RegisterItemScriptAPI},
    {"Motion", RegisterMotionScriptAPI},
    {"Collision", RegisterCollisionScriptAPI},
    {"Constraint", RegisterConstraintScriptAPI},
    {"Picture", RegisterPictureScriptAPI},
    {"Texture", RegisterTextureScriptAPI},
    {"Sound", RegisterSoundScriptAPI},
    {"Geometry", RegisterGeometryScriptAPI},
    {"Input", RegisterInputScriptAPI},
    {"UI", RegisterUIAndWidgetScriptAPI},
    {"ThreadedLoad", 0},
    {"Metafile", RegisterMetafileScriptAPI},
    {"Raytracer", RegisterRaytracerScriptAPI},
    {"Project", 0},
    {"Trigger", RegisterTriggerScriptAPI},
    {"Emitter", RegisterEmitterScriptAPI},
};

void ScriptRegisterFunction(HSQUIRRELVM v, SQFUNCTION function, const char* name, const char* mask)
{
    SQInteger top = sq_gettop(v);
    sq_pushroottable(v);
    sq_pushstring(v, name, -1);
    sq_newclosure(v, function, 0);
    sq_setnativeclosurename(v, -1, name);
    if (SQ_FAILED(sq_setparamscheck(v, SQ_MATCHTYPEMASKSTRING, mask))) {
        *g_log << "[!] Script function " << name << " has an invalid type mask '" << (mask ? mask : "") << "'.\n";
        sq_settop(v, top);
        return;
    }
    sq_newslot(v, -3, SQFalse);
    sq_settop(v, top);
}

void ScriptRegisterFunctions(HSQUIRRELVM v, const ScriptFunctionDecl* table)
{
    for (const ScriptFunctionDecl* f = table; f && f->name; ++f)
        ScriptRegisterFunction(v, f->function, f->name, f->mask);
}

void ScriptRegisterConstants(HSQUIRRELVM v, const ScriptConstantDecl* table)
{
    SQInteger top = sq_gettop(v);
    sq_pushroottable(v);
    for (const ScriptConstantDecl* c = table; c && c->name; ++c) {
        sq_pushstring(v, c->name, -1);
        if (c->nullObjectType == ScriptConstantInteger)
            sq_pushinteger(v, c->value);
        else if (!ScriptPushNativeObject(v, 0, c->nullObjectType, false)) {
            sq_pop(v, 1);
            continue;
        }
        sq_newslot(v, -3, SQTrue);
    }
    sq_settop(v, top);
}

void RegisterScriptAPI(HSQUIRRELVM v)
{
    SQInteger top = sq_gettop(v);
    RegisterBaseScriptAPI(v);
    RegisterCObjectMethods(v);

    sq_pushroottable(v);
    sq_pushstring(v, "SystemClockFrequency", -1);
    sq_pushinteger(v, 10000);
    sq_newslot(v, -3, SQTrue);
    for (int32_t type = 0; type < objectTypeCount; ++type) {
        std::string name = "EngineType";
        for (const char* p = GetObjectTypeName(type); *p; ++p)
            if (*p != ' ')
                name += *p;
        sq_pushstring(v, name.c_str(), -1);
        sq_pushinteger(v, type);
        sq_newslot(v, -3, SQTrue);
    }
    sq_settop(v, top);

    for (const ScriptFamilyEntry& family : g_ScriptFamilies)
        if (family.function)
            family.function(v);

    RegisterVectorClass(v);
    RegisterMatrixClasses(v);
    sq_settop(v, top);
}
