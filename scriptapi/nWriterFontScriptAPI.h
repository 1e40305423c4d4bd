#ifndef N_WRITERFONTSCRIPTAPI_H
#define N_WRITERFONTSCRIPTAPI_H

#include <squirrel.h>

#include "scriptapi/nScriptAPI.h"

// The Renderer family's text functions: raster fonts ("WriterFont" objects) loaded by a
// script and owned by their script object, text written with them straight onto the output,
// and the fonts' line metrics; with the alignment constants.
extern const ScriptFunctionDecl g_WriterFontScriptFunctions[];
extern const ScriptConstantDecl g_WriterFontScriptConstants[];

void RegisterWriterFontScriptAPI(HSQUIRRELVM v);

#endif
