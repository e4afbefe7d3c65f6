#include "plugin/instance.h"

#include "platform/module_heap.h"
#include "plugin/browser_funcs.h"
#include "plugin/entry_points.h"
#include "plugin/script_object.h"
#include "plugin/site_policy.h"

void FillPluginFuncs(NPPluginFuncs* table) {
  // A plain 1, not the NPAPI header's version number; size stays as the browser set it.
  table->version = 1;
  table->newp = NPP_New;
  table->destroy = NPP_Destroy;
  table->setwindow = NPP_SetWindow;
  table->newstream = NPP_NewStream;
  table->destroystream = NPP_DestroyStream;
  table->asfile = nullptr;
  table->writeready = NPP_WriteReady;
  table->write = NPP_Write;
  table->print = nullptr;
  table->event = NPP_HandleEvent;
  table->urlnotify = NPP_URLNotify;
  table->javaClass = nullptr;
  table->getvalue = NPP_GetValue;
  table->setvalue = NPP_SetValue;
}

NPError NPP_New(NPMIMEType, NPP instance, uint16_t, int16_t, char**, char**, NPSavedData*) {
  // An instance that already has its record is not made again: that would lose the record and leave
  // its object attached to an instance that no longer knows it.
  if (!instance || instance->pdata) return NPERR_INVALID_INSTANCE_ERROR;
  char* origin = FetchDocumentOrigin(instance);
  SiteAccess access;
  ModuleBlock<InstanceState> state;
  if (DecideSiteAccess(origin, &access)) state = AllocateModuleBlock<InstanceState>(sizeof(InstanceState));
  NPObject* scriptObject =
      state ? NPN_CreateObject(instance, const_cast<NPClass*>(&PrintScriptClass)) : nullptr;
  if (!scriptObject) {
    ReleaseDocumentOrigin(origin);
    return NPERR_OUT_OF_MEMORY_ERROR;
  }
  *state = InstanceState{scriptObject, nullptr, origin, access};
  instance->pdata = state.release();
  return NPERR_NO_ERROR;
}

NPError NPP_Destroy(NPP instance, NPSavedData**) {
  if (!instance || !instance->pdata) return NPERR_NO_ERROR;
  InstanceState* state = static_cast<InstanceState*>(instance->pdata);
  // The browser may keep the object alive after the instance is gone; detach it first so that a later
  // script call finds no instance instead of reading this freed record.
  DetachScriptObject(state->scriptObject);
  NPN_ReleaseObject(state->scriptObject);
  ReleaseDocumentOrigin(state->documentOrigin);
  ModuleFree(state);
  instance->pdata = nullptr;
  return NPERR_NO_ERROR;
}

NPError NPP_SetWindow(NPP, NPWindow*) { return NPERR_NO_ERROR; }

NPError NPP_NewStream(NPP, NPMIMEType, NPStream*, NPBool, uint16_t* stype) {
  if (stype) *stype = NP_NORMAL;
  return NPERR_NO_ERROR;
}

NPError NPP_DestroyStream(NPP, NPStream*, NPReason) { return NPERR_NO_ERROR; }

// Stream data is accepted and discarded: the plug-in works only through script.
int32_t NPP_WriteReady(NPP, NPStream*) { return 1023; }

int32_t NPP_Write(NPP, NPStream*, int32_t, int32_t len, void*) { return len; }

int16_t NPP_HandleEvent(NPP, void*) { return 0; }

void NPP_URLNotify(NPP, const char*, NPReason, void*) {}

NPError NPP_GetValue(NPP instance, NPPVariable variable, void* value) {
  if (variable != NPPVpluginScriptableNPObject) return GetIdentityValue(variable, value);
  InstanceState* state = instance ? static_cast<InstanceState*>(instance->pdata) : nullptr;
  if (!state || !value) return NPERR_GENERIC_ERROR;
  // Every answer is the same object, with one more reference that belongs to the browser.
  *static_cast<NPObject**>(value) = state->scriptObject;
  NPN_RetainObject(state->scriptObject);
  return NPERR_NO_ERROR;
}

NPError NPP_SetValue(NPP, NPNVariable, void*) { return NPERR_NO_ERROR; }
