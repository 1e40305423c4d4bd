#ifndef N_SCRIPTOBJECTKINDS_H
#define N_SCRIPTOBJECTKINDS_H

#include "script/nCObject.h"
#include "script/nScriptBinding.h"

// The object kind each engine class is read as by ScriptStackHandler::Args and the accessor
// templates (nItemScriptAccessors.h): one line per class a family of functions works on.

class nAIPath;
class nMItem;
class nMixer;
class nMotion;
class nPhysicShape;
class nOrvex;
class nSound;
class nResourceCache;
class nTexture;
class nMetaFile;
class nMetaTag;
class nScene;
class nGroup;
class nRenderer;
class nSizerWidget;
class nContainerWidget;
class nCanvasWidget;
class nTextWidget;
class nBitmapWidget;
class nCheckWidget;
class nGeometry;
class nMaterial;
class nAnimationSourceList;
class nPicture;
class nRaytracer;
class nRasterFont;

template<> struct ScriptObjectKind<nMItem>
{
    static const int32_t value = objectTypeItem;
};
template<> struct ScriptObjectKind<nAIPath>
{
    static const int32_t value = objectTypePath;
};
template<> struct ScriptObjectKind<nMixer>
{
    static const int32_t value = objectTypeMixer;
};
template<> struct ScriptObjectKind<nMotion>
{
    static const int32_t value = objectTypeMotion;
};
template<> struct ScriptObjectKind<nPhysicShape>
{
    static const int32_t value = objectTypeColShape;
};
template<> struct ScriptObjectKind<nOrvex>
{
    static const int32_t value = objectTypeEngine;
};
template<> struct ScriptObjectKind<nSound>
{
    static const int32_t value = objectTypeSound;
};
template<> struct ScriptObjectKind<nResourceCache>
{
    static const int32_t value = objectTypeResourceCache;
};
template<> struct ScriptObjectKind<nTexture>
{
    static const int32_t value = objectTypeTexture;
};
template<> struct ScriptObjectKind<nMetaFile>
{
    static const int32_t value = objectTypeMetafile;
};
template<> struct ScriptObjectKind<nMetaTag>
{
    static const int32_t value = objectTypeMetatag;
};
template<> struct ScriptObjectKind<nScene>
{
    static const int32_t value = objectTypeScene;
};
template<> struct ScriptObjectKind<nGroup>
{
    static const int32_t value = objectTypeGroup;
};
template<> struct ScriptObjectKind<nRenderer>
{
    static const int32_t value = objectTypeRenderer;
};
// Widgets of one class each. An nWidget argument takes any widget kind: its reader is in
// scriptapi/nWidgetScriptAPI.h, which the functions of widgets include.
template<> struct ScriptObjectKind<nSizerWidget>
{
    static const int32_t value = objectTypeSizerWidget;
};
template<> struct ScriptObjectKind<nContainerWidget>
{
    static const int32_t value = objectTypeContainerWidget;
};
template<> struct ScriptObjectKind<nCanvasWidget>
{
    static const int32_t value = objectTypeCanvasWidget;
};
template<> struct ScriptObjectKind<nTextWidget>
{
    static const int32_t value = objectTypeTextWidget;
};
template<> struct ScriptObjectKind<nBitmapWidget>
{
    static const int32_t value = objectTypeBitmapWidget;
};
template<> struct ScriptObjectKind<nCheckWidget>
{
    static const int32_t value = objectTypeCheckWidget;
};
template<> struct ScriptObjectKind<nGeometry>
{
    static const int32_t value = objectTypeGeometry;
};
template<> struct ScriptObjectKind<nMaterial>
{
    static const int32_t value = objectTypeMaterial;
};
template<> struct ScriptObjectKind<nAnimationSourceList>
{
    static const int32_t value = objectTypeAnimationSource;
};
template<> struct ScriptObjectKind<nPicture>
{
    static const int32_t value = objectTypePicture;
};
template<> struct ScriptObjectKind<nRaytracer>
{
    static const int32_t value = objectTypeRaytracer;
};
template<> struct ScriptObjectKind<nRasterFont>
{
    static const int32_t value = objectTypeRasterFont;
};

#endif
