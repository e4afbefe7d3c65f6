// The two script methods that need no platform service: getVersion and getLastError.
#pragma once

#include "plugin/script_object.h"

bool InvokeGetVersion(PrintScriptObject* object, const NPVariant* args, uint32_t argCount,
                      NPVariant* result);
bool InvokeGetLastError(PrintScriptObject* object, const NPVariant* args, uint32_t argCount,
                        NPVariant* result);
