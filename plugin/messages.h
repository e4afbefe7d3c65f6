// The fixed failure messages a script sees as exceptions and through getLastError, and the one way a
// method reports one. The first digit of the code names the area: 1 the array argument,
// 2 getMacAddresses, 3 getPrinters, 4 print, 5 the administrator's site policy.
#pragma once

struct PrintScriptObject;

extern const char kMessageExpectArray[];
extern const char kMessageMacAddressesFailed[];
extern const char kMessagePrintersFailed[];
extern const char kMessageExpectPrintObject[];
extern const char kMessageDataUnreadable[];
extern const char kMessagePrinterUnreadable[];
extern const char kMessageDataNotString[];
extern const char kMessagePrinterNotString[];
extern const char kMessageBase64Parameter[];
extern const char kMessageBase64Length[];
extern const char kMessageBase64BufferTooSmall[];
extern const char kMessageBase64Decode[];
extern const char kMessageNoSuchPrinter[];
extern const char kMessagePrintFailed[];
extern const char kMessageSiteNotAllowed[];
extern const char kMessageHardwareAddressesOff[];

// The message becomes the exception of the call under way and the instance's last error.
void ErrorReport(PrintScriptObject* object, const char* message);
