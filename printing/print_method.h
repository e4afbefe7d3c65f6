// The print script method: decodes the Base64 document of the argument object's "data" property and
// sends it as one raw job to the printer its "printer" property names, or to the default printer.
#pragma once

#include <stdint.h>

#include "npapi/npapi.h"
#include "plugin/script_object.h"

// Returns true on every path; a failure reaches script only as an exception (and the instance's last
// error) with one of the ?401 to ?413 messages. The result variant is never written.
bool InvokePrint(PrintScriptObject* object, const NPVariant* args, uint32_t argCount, NPVariant* result);
