// The Unix ABI's four exports, on the same internals as the Windows ones: NP_Initialize keeps the
// browser's table and fills the plug-in's in one call, as Unix browsers expect.
#include <type_traits>

#include "plugin/entry_points.h"
#include "plugin/instance.h"

#define NP_EXPORT extern "C" __attribute__((visibility("default")))

NP_EXPORT NPError NP_Initialize(NPNetscapeFuncs* browserFuncs, NPPluginFuncs* pluginFuncs) {
  if (!pluginFuncs) return NPERR_INVALID_FUNCTABLE_ERROR;
  const NPError error = InitializeModule(browserFuncs);
  if (error == NPERR_NO_ERROR) FillPluginFuncs(pluginFuncs);
  return error;
}

// As on Windows, shutdown releases nothing (and the engines seen here never call it).
NP_EXPORT NPError NP_Shutdown(void) { return NPERR_NO_ERROR; }

NP_EXPORT const char* NP_GetMIMEDescription(void) { return kMimeDescription; }

NP_EXPORT NPError NP_GetValue(void*, NPPVariable variable, void* value) {
  return GetIdentityValue(variable, value);
}

static_assert(std::is_same<decltype(&NP_Initialize), NP_InitializeUnixFunc>::value, "the Unix ABI's signature");
