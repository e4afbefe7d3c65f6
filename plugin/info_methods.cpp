#include "plugin/info_methods.h"

#include <string.h>

#include "plugin/browser_funcs.h"
#include "plugin/entry_points.h"

// Writes a browser-owned copy of text into result as a string variant. Without memory from the
// browser nothing is written and the call fails.
static bool ReturnTextCopy(const char* text, NPVariant* result) {
  uint32_t length = static_cast<uint32_t>(strlen(text));
  char* copy = static_cast<char*>(NPN_MemAlloc(length + 1));
  if (!copy) return false;
  memcpy(copy, text, length + 1);
  STRINGN_TO_NPVARIANT(copy, length, *result);
  return true;
}

bool InvokeGetVersion(PrintScriptObject*, const NPVariant*, uint32_t, NPVariant* result) {
  return ReturnTextCopy(kVersionText, result);
}

bool InvokeGetLastError(PrintScriptObject* object, const NPVariant*, uint32_t, NPVariant* result) {
  InstanceState* state = InstanceOf(object);
  if (!state->lastError) {
    NULL_TO_NPVARIANT(*result);
    return true;
  }
  // The message is handed out once; if it cannot be copied it stays for the next call.
  if (!ReturnTextCopy(state->lastError, result)) return false;
  state->lastError = nullptr;
  return true;
}
