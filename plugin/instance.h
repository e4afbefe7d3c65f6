// Plug-in instances: the per-instance record and the instance callbacks handed to the browser.
#pragma once

#include "npapi/npapi.h"
#include "plugin/site_policy.h"

// Behind each instance's pdata, from the end of NPP_New until NPP_Destroy.
struct InstanceState {
  NPObject* scriptObject;  // the instance's PrintScriptObject; one reference is this record's
  const char* lastError;   // null, or one of the module's static messages; never copied or freed
  char* documentOrigin;    // the browser's NPN_MemAlloc text of the page's origin, or null; freed here
  SiteAccess access;       // what the site policy allowed the page when the instance was made
};

// Fills the fourteen slots from newp through setvalue; later slots are not written.
void FillPluginFuncs(NPPluginFuncs* table);

NPError NPP_New(NPMIMEType type, NPP instance, uint16_t mode, int16_t argc, char** argn, char** argv,
                NPSavedData* saved);
NPError NPP_Destroy(NPP instance, NPSavedData** save);
NPError NPP_SetWindow(NPP instance, NPWindow* window);
NPError NPP_NewStream(NPP instance, NPMIMEType type, NPStream* stream, NPBool seekable, uint16_t* stype);
NPError NPP_DestroyStream(NPP instance, NPStream* stream, NPReason reason);
int32_t NPP_WriteReady(NPP instance, NPStream* stream);
int32_t NPP_Write(NPP instance, NPStream* stream, int32_t offset, int32_t len, void* buffer);
int16_t NPP_HandleEvent(NPP instance, void* event);
void NPP_URLNotify(NPP instance, const char* url, NPReason reason, void* notifyData);
NPError NPP_GetValue(NPP instance, NPPVariable variable, void* value);
NPError NPP_SetValue(NPP instance, NPNVariable variable, void* value);
