// The plug-in's script methods called on one instance the way a page calls them, and their outcome
// as a reply's result or a failure carrying the module's own code and message.
#pragma once

#include <string>

#include "host/host.h"
#include "tools/bridge/protocol.h"
#include "tools/bridge/reply.h"

namespace bridge {

// Each returns true with *result set, or false with *failure set.
// print({data, printer}) -> true. The text is given up (moved into the call) to hold it once less.
bool CallPrint(host::Instance& instance, std::string* data, const std::string* printer, Result* result,
               Failure* failure);
// getPrinters(array) and getMacAddresses(array) -> the strings pushed.
bool CallList(host::Instance& instance, const char* method, Result* result, Failure* failure);
// getVersion() -> text; getLastError() -> text or null.
bool CallValue(host::Instance& instance, const char* method, Result* result, Failure* failure);

}  // namespace bridge
