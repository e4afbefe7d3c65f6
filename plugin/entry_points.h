// The module's five exports, with the calling conventions the NPAPI declares for Windows (an XP_UNIX
// build exports the Unix ABI's four instead), and what the module declares about itself: constant
// texts the browser may point at for the module's life.
#pragma once

#include "npapi/npapi.h"

#if !defined(XP_UNIX)
extern "C" {
NPError NP_STDCALL NP_GetEntryPoints(NPPluginFuncs* pluginFuncs);
NPError NP_STDCALL NP_Initialize(NPNetscapeFuncs* browserFuncs);
NPError NP_STDCALL NP_Shutdown(void);
const char* NP_CDECL NP_GetMIMEDescription(void);
NPError NP_CDECL NP_GetValue(void* future, NPPVariable variable, void* value);
}
#endif

extern const char kPluginName[];
extern const char kPluginDescription[];
extern const char kMimeDescription[];
extern const char kVersionText[];

// Answers the plug-in name and description queries of NP_GetValue and NPP_GetValue: stores the text
// through value and returns 0, or returns 1 for any other variable and leaves value alone.
NPError GetIdentityValue(NPPVariable variable, void* value);
