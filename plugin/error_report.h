// The one way a method reports a failure to script: the message becomes the exception of the call
// under way and the instance's last error.
#pragma once

#include "plugin/script_object.h"

void ErrorReport(PrintScriptObject* object, const char* message);
