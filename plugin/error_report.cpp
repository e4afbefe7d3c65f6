#include "plugin/error_report.h"

#include "plugin/browser_funcs.h"

void ErrorReport(PrintScriptObject* object, const char* message) {
  NPN_SetException(object, message);
  // A re-entrant call may have destroyed the instance meanwhile; then there is no last error to keep.
  if (InstanceState* state = InstanceOf(object)) state->lastError = message;
}
