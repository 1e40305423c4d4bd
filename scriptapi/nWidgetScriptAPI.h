#ifndef N_WIDGETSCRIPTAPI_H
#define N_WIDGETSCRIPTAPI_H

#include <squirrel.h>

#include "script/nScriptBinding.h"
#include "scriptapi/nScriptAPI.h"
#include "scriptapi/nScriptObjectKinds.h"

class nWidget;
struct nTextParameters;

// The widget and text functions of the UI family: widgets made in a 2D scene, widget trees,
// text, check-box, bitmap, canvas, sizer and container operations, widget event handlers, and
// the widget alignment and text constants. Registered with the UI family.
extern const ScriptFunctionDecl g_WidgetScriptFunctions[];
extern const ScriptConstantDecl g_WidgetScriptConstants[];

void RegisterWidgetScriptAPI(HSQUIRRELVM v);

// A widget argument of any widget kind (Widget, Base Sizer, Container, Spacer, Canvas, Text,
// Bitmap or Check Widget), for ScriptStackHandler::Args: a null one raises "Widget is null",
// another kind "Object is not a widget", a deleted one the frame's "Expected 'Widget' got
// 'Deleted native'".
bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, nWidget*& out);

// The widget classes read by their exact kind (a null object raises "CObject is null"; through
// ScriptOrNull it reads as NULL). A native whose class is not the kind's is refused as well.
bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, nSizerWidget*& out);
bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, nContainerWidget*& out);
bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, nCanvasWidget*& out);
bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, nTextWidget*& out);
bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, nBitmapWidget*& out);
bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, nCheckWidget*& out);
bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, ScriptOrNullArg<nSizerWidget> out);
bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, ScriptOrNullArg<nContainerWidget> out);
bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, ScriptOrNullArg<nCanvasWidget> out);
bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, ScriptOrNullArg<nTextWidget> out);
bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, ScriptOrNullArg<nBitmapWidget> out);
bool ScriptReadArg(ScriptStackHandler& s, SQInteger arg, ScriptOrNullArg<nCheckWidget> out);

// Pushes a widget under the object kind of its class (a text widget as Text Widget, a sizer as
// Base Sizer...); NULL gives a null Widget object.
SQInteger ScriptReturnWidget(ScriptStackHandler& s, nWidget* widget);

// The script text-parameter table: string keys "size", "color" (0xRRGGBBAA, red in the HIGH
// byte), "align" ("left", "right", "center", "justify"), "format" ("standard", "paragraph",
// "column"), "tracking" and "heading" change parameters; an unknown key, alignment or format
// word logs one warning; a value of the wrong type is skipped. Sizes are held to 1..4096,
// tracking and heading to -64..64.
void ScriptParseTextParameters(HSQUIRRELVM v, SQInteger index, nTextParameters& parameters);

#endif
