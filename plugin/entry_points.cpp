#include "plugin/entry_points.h"

#include <string.h>

#include <type_traits>

#include "plugin/browser_funcs.h"
#include "plugin/instance.h"
#include "product_version.h"

#if defined(_WIN32)
#include "platform/windows_api.h"

// Loading and unloading do nothing of the module's own.
BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif

const char kPluginName[] = NPTOVI_PRODUCT_NAME;
const char kPluginDescription[] = "Print plugin.";
// type:extensions:description, one entry with no extensions and no description.
const char kMimeDescription[] = NPTOVI_MIME_TYPE "::";
// The same version as FileVersion and ProductVersion in the version resource.
const char kVersionText[] = NPTOVI_VERSION_TEXT;

NPError GetIdentityValue(NPPVariable variable, void* value) {
  const char* text = nullptr;
  if (variable == NPPVpluginNameString) text = kPluginName;
  if (variable == NPPVpluginDescriptionString) text = kPluginDescription;
  if (!text || !value) return NPERR_GENERIC_ERROR;
  *static_cast<const char**>(value) = text;
  return NPERR_NO_ERROR;
}

namespace {

// What NP_Initialize does on either ABI: checks the browser's version, keeps its table and interns the
// identifiers. Returns 0, 8 for a version without scripting, or 3 for a missing or short table.
NPError InitializeModule(NPNetscapeFuncs* browserFuncs) {
  if (!browserFuncs) return NPERR_INVALID_FUNCTABLE_ERROR;
  // Scripting needs NPAPI 0.14 or later within major version 0.
  const uint16_t version = browserFuncs->version;
  if ((version >> 8) != NP_VERSION_MAJOR || (version & 0xFF) < NPVERS_HAS_NPRUNTIME_SCRIPTING) {
    return NPERR_INCOMPATIBLE_VERSION_ERROR;
  }
  // A table too short to hold every slot the module calls would leave those calls null.
  const size_t size = browserFuncs->size;
  if (size < kBrowserTableSizeNeeded) return NPERR_INVALID_FUNCTABLE_ERROR;

  memset(&BrowserFuncs, 0, sizeof(BrowserFuncs));
  memcpy(&BrowserFuncs, browserFuncs, size < sizeof(BrowserFuncs) ? size : sizeof(BrowserFuncs));
  InternMethodIds();
  return NPERR_NO_ERROR;
}

}  // namespace

#if defined(XP_UNIX)
// The Unix ABI's four exports: NP_Initialize keeps the browser's table and fills the plug-in's in one
// call, as Unix browsers expect; there is no NP_GetEntryPoints.
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

static_assert(std::is_same<decltype(&NP_Initialize), NP_InitializeUnixFunc>::value,
              "the Unix ABI's signature");
#else
extern "C" {

NPError NP_STDCALL NP_GetEntryPoints(NPPluginFuncs* pluginFuncs) {
  if (!pluginFuncs) return NPERR_INVALID_FUNCTABLE_ERROR;
  FillPluginFuncs(pluginFuncs);
  return NPERR_NO_ERROR;
}

NPError NP_STDCALL NP_Initialize(NPNetscapeFuncs* browserFuncs) { return InitializeModule(browserFuncs); }

// The kept table and identifiers stay in place: a later NP_Initialize simply writes them again.
NPError NP_STDCALL NP_Shutdown(void) { return NPERR_NO_ERROR; }

const char* NP_CDECL NP_GetMIMEDescription(void) { return kMimeDescription; }

NPError NP_CDECL NP_GetValue(void*, NPPVariable variable, void* value) {
  return GetIdentityValue(variable, value);
}

}  // extern "C"
#endif
