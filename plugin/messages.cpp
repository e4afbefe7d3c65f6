#include "plugin/messages.h"

#include "plugin/browser_funcs.h"
#include "plugin/script_object.h"

const char kMessageExpectArray[] = "?101 expect one array argument";
const char kMessageMacAddressesFailed[] = "?201 getMacAddresses failed";
const char kMessagePrintersFailed[] = "?303 getPrinters failed";
const char kMessageExpectPrintObject[] = "?401 expect one object argument with 'data' property";
const char kMessageDataUnreadable[] = "?402 failed to get 'data' property";
const char kMessagePrinterUnreadable[] = "?403 failed to get 'printer' property";
const char kMessageDataNotString[] = "?404 expect string 'data' property";
const char kMessagePrinterNotString[] = "?405 expect string 'printer' property";
const char kMessageBase64Parameter[] = "?406 base64 decode: invalid input parameter";
const char kMessageBase64Length[] = "?407 base64 decode: invalid input length";
const char kMessageBase64BufferTooSmall[] = "?408 base64 decode: output buffer too small";
const char kMessageBase64Decode[] = "?409 base64 decode: error decoding";
const char kMessageNoSuchPrinter[] = "?412 print failed - no such printer / no printers installed";
const char kMessagePrintFailed[] = "?413 print failed";
const char kMessageSiteNotAllowed[] = "?501 access denied - this site may not use the plug-in";
const char kMessageHardwareAddressesOff[] = "?502 access denied - hardware addresses are turned off";

void ErrorReport(PrintScriptObject* object, const char* message) {
  NPN_SetException(object, message);
  // A re-entrant call may have destroyed the instance meanwhile; then there is no last error to keep.
  if (InstanceState* state = InstanceOf(object)) state->lastError = message;
}
