#include "printing/print_method.h"

#include <string.h>

#include "platform/code_page.h"
#include "platform/module_heap.h"
#include "plugin/browser_funcs.h"
#include "plugin/messages.h"
#include "plugin/site_policy.h"
#include "printing/base64.h"
#include "printing/listed_printer.h"
#include "printing/printer_names.h"
#include "printing/raw_print_job.h"

namespace {

const char* DecodeFailureMessage(Base64Status status) {
  switch (status) {
    case Base64InvalidParameter: return kMessageBase64Parameter;
    case Base64InvalidLength: return kMessageBase64Length;
    case Base64BufferTooSmall: return kMessageBase64BufferTooSmall;
    default: return kMessageBase64Decode;
  }
}

// The printer's name in the ANSI code page the spooler's narrow functions take, as a ModuleAlloc
// block in *name. A name that holds a NUL, is not valid UTF-8 or cannot be written in the code page
// names no printer that could be opened: cutting or replacing characters could pick another one.
const char* ConvertPrinterName(const NPString& text, ModuleBlock<char>* name) {
  if (text.UTF8Length != 0 && (!text.UTF8Characters || memchr(text.UTF8Characters, '\0', text.UTF8Length))) {
    return kMessageNoSuchPrinter;
  }
  char* converted = nullptr;
  const CodePageStatus status = Utf8ToAnsi(text.UTF8Characters, text.UTF8Length, &converted, nullptr);
  name->reset(converted);
  switch (status) {
    case CodePageOk: return nullptr;
    case CodePageNoMemory: return kMessagePrintFailed;
    default: return kMessageNoSuchPrinter;
  }
}

// The spooler's own spelling of the printer the ANSI name names, as *printerName pointing into the
// printer list *listed. A name the spooler does not list is never opened.
const char* LookUpListedPrinter(const char* name, ModuleBlock<char>* listed, const char** printerName) {
  char* list = nullptr;
  if (ListPrinterNames(&list) != kPrinterNamesOk) return kMessagePrintFailed;
  listed->reset(list);
  switch (FindListedPrinter(list, name, printerName)) {
    case ListedPrinterFound: return nullptr;
    case ListedPrinterNoMemory: return kMessagePrintFailed;
    default: return kMessageNoSuchPrinter;
  }
}

// Decodes the document and prints it; returns the failure message, or null when the job succeeded.
// printer is null for the default printer. Everything taken here is freed before it returns.
const char* DecodeAndPrint(const NPString& data, const NPString* printer) {
  // A text the browser handed over without characters is refused before its length is trusted as
  // the size of a buffer.
  if (!data.UTF8Characters) return kMessageBase64Parameter;
  // As long as the text: never less than the three quarters a text of valid length needs. A length of
  // 0 is a valid ModuleAlloc size, and the decoder refuses such a text before it looks at the buffer.
  const ModuleBlock<uint8_t> buffer = AllocateModuleBlock<uint8_t>(data.UTF8Length);
  if (!buffer) return kMessagePrintFailed;

  uint32_t length = data.UTF8Length;
  const Base64Status decoded = DecodeBase64(data.UTF8Characters, data.UTF8Length, buffer.get(), &length);
  if (decoded != Base64Ok) return DecodeFailureMessage(decoded);

  ModuleBlock<char> name;
  ModuleBlock<char> listed;
  const char* printerName = nullptr;
  if (printer) {
    if (const char* message = ConvertPrinterName(*printer, &name)) return message;
    if (const char* message = LookUpListedPrinter(name.get(), &listed, &printerName)) return message;
  }
  switch (RawPrintJob(buffer.get(), length, printerName)) {
    case PrintJobOk: return nullptr;
    case PrintJobNoPrinter: return kMessageNoSuchPrinter;
    default: return kMessagePrintFailed;
  }
}

// Reads the printer property, when there is one, into printer and prints the document on it or on
// the default printer. Returns the failure message, or null when the job succeeded. A getter runs
// page script, which may remove the element: its NPP may then be freed memory, so nothing more is
// asked of the browser in its name and nothing is printed. printer is the caller's to release.
const char* PrintOnNamedPrinter(PrintScriptObject* object, NPObject* argument, const NPString& data,
                                NPVariant* printer) {
  const bool hasPrinter = NPN_HasProperty(object->npp, argument, MethodIds.printer);
  if (IsDetached(object)) return kMessagePrintFailed;
  if (hasPrinter) {
    const bool read = NPN_GetProperty(object->npp, argument, MethodIds.printer, printer);
    if (IsDetached(object)) return kMessagePrintFailed;
    if (!read) return kMessagePrinterUnreadable;
  }
  if (printer->type != NPVariantType_Void && printer->type != NPVariantType_String) {
    return kMessagePrinterNotString;
  }
  const NPString* name = printer->type == NPVariantType_String ? &printer->value.stringValue : nullptr;
  return DecodeAndPrint(data, name);
}

}  // namespace

// The object outlives the call (invoke holds a reference of its own), so a failure is raised on it even
// when page script removed the element meanwhile; only the gone instance's last error is not kept.
bool InvokePrint(PrintScriptObject* object, const NPVariant* args, uint32_t argCount, NPVariant*) {
  if (const char* denied = SiteAccessDenial(object, UsePrinters)) {
    ErrorReport(object, denied);
    return true;
  }
  if (argCount == 0 || args[0].type != NPVariantType_Object || !args[0].value.objectValue) {
    ErrorReport(object, kMessageExpectPrintObject);
    return true;
  }
  NPObject* argument = args[0].value.objectValue;
  const bool hasData = NPN_HasProperty(object->npp, argument, MethodIds.data);
  if (IsDetached(object) || !hasData) {
    ErrorReport(object, IsDetached(object) ? kMessagePrintFailed : kMessageExpectPrintObject);
    return true;
  }

  NPVariant data;
  NPVariant printer;
  VOID_TO_NPVARIANT(data);
  VOID_TO_NPVARIANT(printer);
  if (!NPN_GetProperty(object->npp, argument, MethodIds.data, &data)) {
    // The browser filled nothing: there is nothing to release.
    ErrorReport(object, IsDetached(object) ? kMessagePrintFailed : kMessageDataUnreadable);
    return true;
  }
  const char* message = IsDetached(object)                   ? kMessagePrintFailed
                        : data.type != NPVariantType_String ? kMessageDataNotString
                        : PrintOnNamedPrinter(object, argument, data.value.stringValue, &printer);
  if (message) ErrorReport(object, message);
  NPN_ReleaseVariantValue(&data);
  NPN_ReleaseVariantValue(&printer);
  return true;
}
