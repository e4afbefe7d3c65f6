// The browser's answers to NPN_GetValue. The host answers one variable: the page's origin, when one
// has been set; otherwise it answers nothing, as a browser that predates NPNVdocumentOrigin.
#include <string.h>

#include <string>

#include "host/host_internal.h"

namespace host {
namespace {

detail::OptionalText& Origin() {
  static detail::OptionalText* setting = new detail::OptionalText;
  return *setting;
}

}  // namespace

void SetDocumentOrigin(const char* origin) {
  Origin().set = origin != nullptr;
  Origin().text = origin ? origin : "";
}

namespace detail {

NPError GetValue(NPP, NPNVariable variable, void* value) {
  if (variable != NPNVdocumentOrigin || !Origin().set || !value) return NPERR_GENERIC_ERROR;
  // An NPN_MemAlloc block, as browsers hand it out: the plug-in gives it back with NPN_MemFree, and
  // the accounting shows a block freed twice or never.
  const std::string& text = Origin().text;
  char* copy = static_cast<char*>(MemAlloc(static_cast<uint32_t>(text.size() + 1)));
  if (!copy) return NPERR_OUT_OF_MEMORY_ERROR;
  memcpy(copy, text.c_str(), text.size() + 1);
  *static_cast<char**>(value) = copy;
  return NPERR_NO_ERROR;
}

}  // namespace detail
}  // namespace host
