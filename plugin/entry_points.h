// The module's five exports, with the calling conventions the NPAPI declares for Windows.
#pragma once

#include "npapi/npapi.h"

extern "C" {
NPError NP_STDCALL NP_GetEntryPoints(NPPluginFuncs* pluginFuncs);
NPError NP_STDCALL NP_Initialize(NPNetscapeFuncs* browserFuncs);
NPError NP_STDCALL NP_Shutdown(void);
const char* NP_CDECL NP_GetMIMEDescription(void);
NPError NP_CDECL NP_GetValue(void* future, NPPVariable variable, void* value);
}
