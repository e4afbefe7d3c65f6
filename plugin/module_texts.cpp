#include "plugin/module_texts.h"

#include "product_version.h"

const char kPluginName[] = NPTOVI_PRODUCT_NAME;
const char kPluginDescription[] = "Print plugin.";
// type:extensions:description, one entry with no extensions and no description.
const char kMimeDescription[] = "application/x-vnd-tovi-print::";
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
