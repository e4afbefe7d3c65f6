// libFuzzer target: the script boundary, the way any page can reach it.
//
// The input is a small program (its encoding is under "The program" below; make_corpus.py writes the
// seeds in it). It creates and destroys up to three instances, calls the five methods and other names
// with arguments of every variant type, hands over objects whose property reads fail, throw or run a
// nested program and arrays whose push fails, throws or runs one (calls into the module, destroying
// instances), calls NPP_New again on a live instance, has the browser hold or not hold references
// across its calls, scripts the spooler, the printer list and the interface table to answer with any
// size, error, partial write or table, sets the administrator's site policy and the origin the browser
// states for the instances made next, and makes any module heap or NPN_MemAlloc allocation fail.
// SCRIPT_FUZZ_HOSTILE=1 in the environment starts every input with a browser that holds no reference.
//
// Checked on every call: print returns true and writes no result; what each method returns and
// writes, and its exception, match its documented outcomes; every exception text is one of the
// module's messages; getLastError hands each kept message out once, and only the latest; a printed
// document is exactly the decoded data; a site the policy refuses gets ?501 from print, getPrinters and
// getMacAddresses, an allowed one never does, and ?502 comes exactly where the policy turns hardware
// addresses off for an allowed site; every variant the browser filled is released once, and no
// other. Checked after each input: no NPN_MemAlloc block, module block or script object outstanding,
// no release of anything twice, no call on a dead object, no open printer.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/host.h"
#include "plugin/entry_points.h"
#include "plugin/messages.h"
#include "plugin/script_object.h"
#include "tests/doubles/doubles.h"
#include "tests/doubles/enum_printers_double.h"
#include "tests/doubles/interfaces_double.h"
#include "tests/doubles/registry_double.h"
#include "tests/doubles/spooler_double.h"
#include "tests/fuzz/reference_base64.h"

namespace {

// ---- Limits that keep one input short ----

const size_t kMaxInstances = 3;    // created per input, the first one included
const int kMaxDepth = 3;           // programs nested inside push
const size_t kMaxOperations = 400; // per input, nested ones included
const size_t kLargestBlock = 16u << 20;  // a 32-bit process gets no more at once from the heap

[[noreturn]] void Violation(const char* what, const std::string& detail = std::string()) {
  fprintf(stderr, "script_fuzz: %s%s%s\n", what, detail.empty() ? "" : ": ", detail.c_str());
  abort();
}

// SCRIPT_FUZZ_TRACE=1 in the environment prints each operation and call, for reading a crash input.
bool Tracing() {
  static const bool tracing = getenv("SCRIPT_FUZZ_TRACE") != nullptr;
  return tracing;
}

// Every message the module may raise.
const char* const kAllMessages[] = {
    kMessageExpectArray,       kMessageMacAddressesFailed,   kMessagePrintersFailed,
    kMessageExpectPrintObject, kMessageDataUnreadable,       kMessagePrinterUnreadable,
    kMessageDataNotString,     kMessagePrinterNotString,     kMessageBase64Parameter,
    kMessageBase64Length,      kMessageBase64BufferTooSmall, kMessageBase64Decode,
    kMessageNoSuchPrinter,     kMessagePrintFailed,          kMessageSiteNotAllowed,
    kMessageHardwareAddressesOff,
};

bool IsModuleMessage(const char* text, bool byPointer) {
  for (const char* message : kAllMessages) {
    if (byPointer ? text == message : strcmp(text, message) == 0) return true;
  }
  return false;
}

// ---- The program ----

// Reads the input front to back; past its end every value is 0, so any input is a whole program.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool empty() const { return at_ >= size_; }
  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  uint32_t U32() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(Byte()) << (8 * i);
    return value;
  }
  // A length byte, then that many bytes.
  std::string Bytes() {
    const size_t length = Byte();
    const size_t taken = length < size_ - at_ ? length : (at_ < size_ ? size_ - at_ : 0);
    std::string bytes(reinterpret_cast<const char*>(data_ + at_), taken);
    at_ += taken;
    return bytes;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

enum Operation : uint8_t {
  kNewInstance,      // (no operands)
  kDestroy,          // slot
  kCall,             // slot method arguments
  kRawInvoke,        // slot method arguments: the class's invoke without hasMethod (outermost only)
  kSetPrinters,      // names: what EnumPrintersA lists
  kSpooler,          // what: 0 AddPrinter name, 1 SetDefaultPrinter name, 2 fail a call, 3 written counts
  kPrinterList,      // what: 0 change before a call, 1 fail a call, 2 overstate the count
  kInterfaces,       // what: 0 rows, 1 change before a call, 2 answer a call, 3 overstate the count
  kFailModuleHeap,   // mode n: FailAllocAt(n) or FailAllocsFrom(n)
  kFailMemAlloc,     // n: FailMemAllocAt(n)
  kCodePage,         // even: 1252, odd: UTF-8
  kCallbacks,        // slot what value: the other instance callbacks and class slots
  kHoldReferences,   // even: the browser holds references across its calls, odd: it holds none
  kPolicy,           // what: 0 AllowedOrigins lines, 1 AllowHardwareAddresses, 2 the page's origin
  kOperationCount
};

// Method bytes name the five methods and names that are none of them; the last, empty name stands
// for an integer identifier.
const char* const kMethodNames[] = {"print", "getPrinters", "getMacAddresses", "getVersion", "getLastError",
                                    "push", "data", "Print", ""};
const size_t kMethodCount = sizeof(kMethodNames) / sizeof(kMethodNames[0]);
enum Method : uint8_t { kPrint, kGetPrinters, kGetMacAddresses, kGetVersion, kGetLastError, kFirstOtherName };

// ---- The site policy ----

// Origins a browser may state (the last, null, is none), the policy lines that may be listed, and
// which of those lines admit each origin; two lines are malformed and refuse every site.
const char* const kPolicyOrigins[] = {
    "https://shop.example.com",      "https://t\xC5\x8Dky\xC5\x8D.example", "https://xn--tky-qxac.example",
    "https://a.shop.example.com",    "http://shop.example.com",             "https://tokyo.example",
    nullptr,
};
const size_t kPolicyOriginCount = sizeof(kPolicyOrigins) / sizeof(kPolicyOrigins[0]);
const char* const kPolicyLines[] = {
    "https://shop.example.com", "https://xn--tky-qxac.example", "https://*.shop.example.com",
    "https://t\xC5\x8Dky\xC5\x8D.example", ("https://shop\xEF\xBC\x8E" "example.com"),
};
const size_t kPolicyLineCount = sizeof(kPolicyLines) / sizeof(kPolicyLines[0]);
const uint8_t kAdmittedBy[kPolicyOriginCount] = {1 << 0, 1 << 1, 1 << 1, 1 << 2, 0, 0, 0};
const uint8_t kMalformedLines = 1 << 3 | 1 << 4;

enum Expectation { kUnknown, kAllowed, kRefused };

// What the harness has scripted: the decision follows for each instance made from now on.
struct PolicyScript {
  bool hasLines = false;
  uint8_t lines = 0;       // of kPolicyLines
  bool anyLine = false;    // one more line of any bytes: the decision is not known
  int hardware = -1;       // AllowHardwareAddresses: -1 none, else the value
  size_t origin = kPolicyOriginCount - 1;  // of kPolicyOrigins
  bool anyOrigin = false;  // an origin of any bytes: the decision is not known
};

// ---- The harness's state for one input ----

struct PageInstance {
  std::unique_ptr<host::Instance> instance;
  bool alive;  // created and not destroyed
  Expectation site;      // print, getPrinters, getMacAddresses
  Expectation hardware;  // getMacAddresses once the site is allowed
};

// A push hook's script: per push, in turn, a behaviour and a program to run first.
struct PushScript {
  struct Action {
    host::Behaviour behaviour;
    std::string program;
  };
  std::vector<Action> actions;
  size_t pushes = 0;
};

// What the harness knows of the data it handed to print, to check what was printed.
struct PrintArgument {
  bool known = false;  // the first argument is an object whose "data" is a string with characters
  std::string data;
};

struct Harness {
  host::Plugin* plugin = nullptr;
  std::vector<PageInstance> instances;
  std::vector<NPObject*> objects;              // every object the harness made; released at the end
  std::map<const void*, const char*> lastError;  // per host::Instance: what getLastError must hand out
  std::set<const NPVariant*> filled;           // variants the browser filled and the module holds
  // The list methods under way, innermost last, and whether the code page was UTF-8 as each began.
  std::vector<std::pair<Method, bool>> listing;
  std::vector<std::string> printerNames;       // names the spooler accepts
  bool endCallsFail = false;                   // EndPagePrinter or EndDocPrinter scripted to fail
  bool utf8CodePage = false;
  PolicyScript policy;
  bool memAllocFailed = false;  // an NPN_MemAlloc failure was scripted: the origin may not have arrived
  size_t jobsSeen = 0;  // documents printed before the call under check's own, nested calls' included
  size_t operations = 0;
  int depth = 0;
};

Harness* harness = nullptr;

// ---- The browser table as the module sees it: the host's, with every fill and release tracked ----

NPNetscapeFuncs hostTable;

bool TrackedGetProperty(NPP npp, NPObject* object, NPIdentifier name, NPVariant* value) {
  const bool read = hostTable.getproperty(npp, object, name, value);
  if (value->type != NPVariantType_Void && !harness->filled.insert(value).second) {
    Violation("a variant filled again before it was released");
  }
  return read;
}

bool TrackedInvoke(NPP npp, NPObject* object, NPIdentifier name, const NPVariant* args, uint32_t argCount,
                   NPVariant* result) {
  for (uint32_t i = 0; i < argCount; ++i) {
    if (harness->filled.count(&args[i])) Violation("a browser's variant passed back as an argument");
  }
  const bool invoked = hostTable.invoke(npp, object, name, args, argCount, result);
  if (result->type != NPVariantType_Void && !harness->filled.insert(result).second) {
    Violation("a push result filled again before it was released");
  }
  return invoked;
}

void TrackedRelease(NPVariant* value) {
  if (value->type != NPVariantType_Void && harness->filled.erase(value) == 0) {
    Violation("released a variant the browser did not fill for the module, or released it twice");
  }
  hostTable.releasevariantvalue(value);
}

void CheckedSetException(NPObject* object, const NPUTF8* message) {
  if (!object || object->_class != &PrintScriptClass) Violation("an exception set on an object not the module's");
  if (!message || !IsModuleMessage(message, true)) Violation("an exception text not among the messages");
  // ErrorReport keeps the message as the instance's last error, unless the instance is gone.
  NPP npp = static_cast<PrintScriptObject*>(object)->npp;
  if (npp && npp->pdata) harness->lastError[npp->ndata] = message;
  hostTable.setexception(object, message);
}

NPError TrackedInitialize(NPNetscapeFuncs* table) {
  hostTable = *table;
  table->getproperty = TrackedGetProperty;
  table->invoke = TrackedInvoke;
  table->releasevariantvalue = TrackedRelease;
  table->setexception = CheckedSetException;
  return NP_Initialize(table);
}

// ---- Building the doubles' answers ----

std::vector<std::string> ReadNames(Reader& in) {
  std::vector<std::string> names(in.Byte() % 8);
  for (std::string& name : names) name = in.Bytes();
  return names;
}

std::vector<doubles::InterfaceRow> ReadRows(Reader& in) {
  std::vector<doubles::InterfaceRow> rows(in.Byte() % 8);
  for (doubles::InterfaceRow& row : rows) {
    const uint8_t length = in.Byte();
    // Mostly six bytes, the length that is listed; any other length now and then.
    row.addressLength = length < 0xC0 ? 6 : length & 0x0F;
    for (uint8_t& byte : row.address) byte = in.Byte();
    row.operStatus = in.Byte() & 1 ? 1 : 5;
  }
  return rows;
}

void ScriptSpooler(Reader& in) {
  switch (in.Byte() % 4) {
    case 0: {
      const std::string name = in.Bytes();
      doubles::AddPrinter(name);
      harness->printerNames.push_back(name);
      break;
    }
    case 1: {
      const std::string name = in.Bytes();
      doubles::SetDefaultPrinter(name);
      if (in.Byte() & 1) doubles::ReportDefaultSizeInCharacters();
      harness->printerNames.push_back(name);
      break;
    }
    case 2: {
      const auto call = static_cast<doubles::SpoolerCall>(in.Byte() % 9);
      const DWORD error = in.Byte() & 1 ? ERROR_INSUFFICIENT_BUFFER : in.U32();
      const size_t nth = in.Byte() % 4 + 1;
      const size_t count = in.Byte() % 4;
      if (call == doubles::SpoolerCall::EndPage || call == doubles::SpoolerCall::EndDoc) {
        harness->endCallsFail = true;
      }
      doubles::FailSpoolerCall(call, error, nth, count);
      break;
    }
    default: {
      std::vector<DWORD> counts(in.Byte() % 8);
      for (DWORD& count : counts) count = in.Byte() & 0x80 ? in.U32() : in.Byte() % 8;
      doubles::SetWrittenCounts(counts);
      break;
    }
  }
}

void ScriptPrinterList(Reader& in) {
  switch (in.Byte() % 3) {
    case 0: {
      const size_t call = in.Byte() % 4 + 1;
      doubles::ChangePrintersBeforeCall(call, ReadNames(in));
      break;
    }
    case 1: {
      const size_t call = in.Byte() % 4 + 1;
      doubles::FailEnumPrintersAt(call, in.Byte() & 1 ? ERROR_INSUFFICIENT_BUFFER : in.U32());
      break;
    }
    default: doubles::OverstateRecordCount(in.Byte() % 4); break;
  }
}

void ScriptInterfaces(Reader& in) {
  switch (in.Byte() % 4) {
    case 0: doubles::SetInterfaces(ReadRows(in)); break;
    case 1: {
      const size_t call = in.Byte() % 4 + 1;
      doubles::ChangeInterfacesBeforeCall(call, ReadRows(in));
      break;
    }
    case 2: {
      const size_t call = in.Byte() % 4 + 1;
      const DWORD result = in.Byte() & 1 ? ERROR_INSUFFICIENT_BUFFER : in.U32();
      doubles::AnswerGetIfTableAt(call, result, in.U32());
      break;
    }
    default: doubles::OverstateRowCount(in.Byte() % 4); break;
  }
}

void ScriptPolicy(Reader& in) {
  PolicyScript& policy = harness->policy;
  std::vector<std::string> lines;
  switch (in.Byte() % 3) {
    case 0: {
      policy.hasLines = true;
      const uint8_t pick = in.Byte();
      policy.lines = pick & ((1 << kPolicyLineCount) - 1);
      policy.anyLine = pick & 0x80;
      for (size_t i = 0; i < kPolicyLineCount; ++i) {
        if (policy.lines & (1 << i)) lines.push_back(kPolicyLines[i]);
      }
      if (policy.anyLine) lines.push_back(in.Bytes());
      doubles::SetPolicyValue("AllowedOrigins", REG_MULTI_SZ, doubles::MultiString(lines));
      break;
    }
    case 1: {
      policy.hardware = in.Byte() & 1;
      doubles::SetPolicyValue("AllowHardwareAddresses", REG_DWORD, doubles::DwordBytes(policy.hardware));
      break;
    }
    default: {
      const uint8_t pick = in.Byte();
      policy.anyOrigin = pick >= 0x80;
      if (policy.anyOrigin) {
        host::SetDocumentOrigin(in.Bytes().c_str());
      } else {
        policy.origin = pick % kPolicyOriginCount;
        host::SetDocumentOrigin(kPolicyOrigins[policy.origin]);
      }
      break;
    }
  }
}

// What the scripted policy decides for an instance made now.
void ExpectAccess(PageInstance* page) {
  const PolicyScript& policy = harness->policy;
  page->site = kAllowed;
  if (policy.hasLines) {
    const bool malformed = (policy.lines & kMalformedLines) != 0;
    const bool admitted = !policy.anyOrigin && (policy.lines & kAdmittedBy[policy.origin]) != 0;
    if (malformed) {
      page->site = kRefused;
    } else if (policy.anyLine || policy.anyOrigin) {
      page->site = kUnknown;
    } else if (!admitted) {
      page->site = kRefused;
    } else if (harness->memAllocFailed) {
      page->site = kUnknown;  // the browser may have had no memory to state the origin
    }
  }
  page->hardware = policy.hardware == 0 ? kRefused : kAllowed;
}

// ---- Arguments ----

void Run(Reader& in);

PageInstance* InstanceAt(uint8_t slot) {
  if (harness->instances.empty()) return nullptr;
  return &harness->instances[slot % harness->instances.size()];
}

NPObject* Keep(NPObject* object) {
  harness->objects.push_back(object);
  return object;
}

// Checks what the module pushes: one string, for getMacAddresses an address text, for getPrinters a
// non-empty name (valid UTF-8 where the code page is not UTF-8 itself, whose bytes pass unchanged).
void CheckPush(const NPVariant* args, uint32_t argCount) {
  if (harness->listing.empty()) Violation("a push outside getPrinters and getMacAddresses");
  if (argCount != 1 || args[0].type != NPVariantType_String) Violation("a push of anything but one string");
  const NPString& text = args[0].value.stringValue;
  const std::string name(text.UTF8Characters, text.UTF8Length);
  if (name.empty() || name.find('\0') != std::string::npos) Violation("a pushed name empty or with a NUL");
  if (harness->listing.back().first == kGetMacAddresses) {
    bool formatted = name.size() == 17;
    for (size_t i = 0; formatted && i < name.size(); ++i) {
      formatted = i % 3 == 2 ? name[i] == ':' : strchr("0123456789ABCDEF", name[i]) != nullptr;
    }
    if (!formatted) Violation("a pushed address not written XX:XX:XX:XX:XX:XX", name);
  } else if (!harness->listing.back().second) {
    for (size_t i = 0; i < name.size();) {
      const unsigned char c = static_cast<unsigned char>(name[i]);
      const size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
      if (length == 0 || i + length > name.size()) Violation("a pushed printer name not UTF-8", name);
      for (size_t k = 1; k < length; ++k) {
        if ((static_cast<unsigned char>(name[i + k]) & 0xC0) != 0x80) Violation("a pushed name not UTF-8", name);
      }
      i += length;
    }
  }
}

// Runs a nested program from inside a browser call (a push, a getter), as page script there would.
void RunNested(const std::string& program) {
  if (program.empty() || harness->depth >= kMaxDepth) return;
  ++harness->depth;
  Reader nested(reinterpret_cast<const uint8_t*>(program.data()), program.size());
  Run(nested);
  --harness->depth;
  // A getter's program runs before the print that read it makes its own job.
  harness->jobsSeen = doubles::PrintedJobs().size();
}

NPObject* NewArray(Reader& in) {
  NPObject* array = Keep(host::NewArray());
  auto script = std::make_shared<PushScript>();
  script->actions.resize(in.Byte() % 5);
  for (PushScript::Action& action : script->actions) {
    const uint8_t behaviour = in.Byte() % 3;
    action.behaviour = behaviour == 0 ? host::Behaviour::Normal
                       : behaviour == 1 ? host::Behaviour::Fail
                                        : host::Behaviour::Throw;
    action.program = in.Bytes();
  }
  host::OnPush(array, [script](const NPVariant* args, uint32_t argCount) {
    CheckPush(args, argCount);
    if (script->actions.empty()) return host::Behaviour::Normal;
    // Copied: the nested program may push onto this array again.
    const PushScript::Action action = script->actions[script->pushes++ % script->actions.size()];
    RunNested(action.program);
    return action.behaviour;
  });
  return array;
}

// A value for a property of the print argument, or false when the property is to be absent.
bool PropertyValue(Reader& in, NPVariant* value, NPObject* owner, const char* name, PrintArgument* argument) {
  VOID_TO_NPVARIANT(*value);
  switch (in.Byte() % 14) {
    case 0: return false;
    case 1: {
      const std::string text = in.Bytes();
      *value = host::StringValue(text);
      if (argument) argument->known = true, argument->data = text;
      return true;
    }
    case 2: {
      const std::string text = host::EncodeBase64(in.Bytes());
      *value = host::StringValue(text);
      if (argument) argument->known = true, argument->data = text;
      return true;
    }
    case 3: *value = host::StringValueWithNull(in.U32()); return true;
    case 4: return true;
    case 5: NULL_TO_NPVARIANT(*value); return true;
    case 6: INT32_TO_NPVARIANT(static_cast<int32_t>(in.U32()), *value); return true;
    case 7: DOUBLE_TO_NPVARIANT(static_cast<int32_t>(in.U32()) / 3.0, *value); return true;
    case 8: BOOLEAN_TO_NPVARIANT(in.Byte() & 1, *value); return true;
    case 9: *value = host::ObjectValue(Keep(host::NewObject())); return true;
    case 10: host::SetPropertyBehaviour(owner, name, host::Behaviour::Fail); return false;
    case 11: host::SetPropertyBehaviour(owner, name, host::Behaviour::Throw); return false;
    case 12: {
      const uint8_t pick = in.Byte();
      const std::vector<std::string>& names = harness->printerNames;
      *value = host::StringValue(names.empty() ? std::string("Label") : names[pick % names.size()]);
      return true;
    }
    default: {
      PageInstance* page = InstanceAt(in.Byte());
      NPObject* plugin = page ? page->instance->ScriptObject() : nullptr;
      if (plugin) *value = host::ObjectValue(plugin);
      return true;
    }
  }
}

NPObject* NewPrintArgument(Reader& in, PrintArgument* argument) {
  NPObject* object = Keep(host::NewObject());
  for (const char* name : {"data", "printer"}) {
    NPVariant value;
    if (PropertyValue(in, &value, object, name, name[0] == 'd' ? argument : nullptr)) {
      host::SetProperty(object, name, value);
    }
    host::Release(value);
  }
  // A getter that runs script on every property read: it may destroy the instance or call the plug-in.
  const std::string program = in.Bytes();
  if (!program.empty()) host::OnGetProperty(object, [program](NPIdentifier) { RunNested(program); });
  return object;
}

NPVariant Argument(Reader& in, PrintArgument* argument) {
  NPVariant value;
  VOID_TO_NPVARIANT(value);
  switch (in.Byte() % 12) {
    case 0: break;
    case 1: NULL_TO_NPVARIANT(value); break;
    case 2: BOOLEAN_TO_NPVARIANT(in.Byte() & 1, value); break;
    case 3: INT32_TO_NPVARIANT(static_cast<int32_t>(in.U32()), value); break;
    case 4: DOUBLE_TO_NPVARIANT(static_cast<int32_t>(in.U32()) * 0.25, value); break;
    case 5: value = host::StringValue(in.Bytes()); break;
    case 6: value = host::StringValueWithNull(in.U32()); break;
    case 7: value = host::ObjectValue(NewPrintArgument(in, argument)); break;
    case 8: value = host::ObjectValue(NewArray(in)); break;
    case 9: {
      PageInstance* page = InstanceAt(in.Byte());
      NPObject* plugin = page ? page->instance->ScriptObject() : nullptr;
      if (plugin) value = host::ObjectValue(plugin);
      break;
    }
    case 10: {
      const uint8_t pick = in.Byte();
      if (!harness->objects.empty()) value = host::ObjectValue(harness->objects[pick % harness->objects.size()]);
      break;
    }
    default: value = host::StringValue(host::EncodeBase64(in.Bytes())); break;
  }
  return value;
}

// The arguments of one call; only the first one's data is remembered, as print reads only that one.
std::vector<NPVariant> Arguments(Reader& in, PrintArgument* first) {
  std::vector<NPVariant> args(in.Byte() % 4);
  PrintArgument ignored;
  for (size_t i = 0; i < args.size(); ++i) args[i] = Argument(in, i == 0 ? first : &ignored);
  if (!args.empty() && args[0].type != NPVariantType_Object) first->known = false;
  return args;
}

// ---- What a call may come to ----

std::string Describe(const host::CallOutcome& outcome) {
  return std::string("returned ") + (outcome.returned ? "true" : "false") + ", exception '" + outcome.exception +
         "', result type " + std::to_string(outcome.resultType);
}

bool Threw(const host::CallOutcome& outcome, const char* message) {
  return outcome.threw && outcome.exception == message;
}

void CheckPrint(const host::CallOutcome& outcome, const PrintArgument& argument, size_t jobsBefore) {
  if (!outcome.returned) Violation("print returned false", Describe(outcome));
  if (outcome.resultType != NPVariantType_Void) Violation("print wrote a result");
  const size_t jobs = doubles::PrintedJobs().size();
  if (!argument.known) {
    if (!outcome.threw && jobs != jobsBefore + 1) Violation("print succeeded without printing one document");
    return;
  }
  const reference::Decoded decoded = reference::Decode(argument.data);
  if (!outcome.threw) {
    if (decoded.status != 0) Violation("print succeeded on text the decoder must refuse", argument.data);
    if (jobs != jobsBefore + 1) Violation("print succeeded without printing one document");
    if (doubles::PrintedJobs().back() != decoded.bytes) Violation("the printed bytes are not the document");
    return;
  }
  // A decoding failure is the decoder's verdict on this very text; a text it refuses never prints.
  if (Threw(outcome, kMessageBase64Length) && decoded.status != 2) Violation("?407 for a text of valid length");
  if (Threw(outcome, kMessageBase64Decode) && decoded.status != 3) Violation("?409 for a text that decodes");
  if (Threw(outcome, kMessageBase64Parameter) || Threw(outcome, kMessageBase64BufferTooSmall)) {
    Violation("?406 or ?408 for a text with characters, decoded into a buffer of its own length");
  }
  if (decoded.status != 0 && (Threw(outcome, kMessageNoSuchPrinter) || Threw(outcome, kMessagePrintFailed))) {
    // Only a decode buffer that could not be had comes before the decoder's verdict.
    if (!Threw(outcome, kMessagePrintFailed) || jobs != jobsBefore) Violation("a refused text reached the spooler");
  }
}

void CheckList(Method method, const host::CallOutcome& outcome, bool aliveAfter) {
  const char* producerFailed = method == kGetPrinters ? kMessagePrintersFailed : kMessageMacAddressesFailed;
  const bool boolResult = outcome.resultType == NPVariantType_Bool;
  const bool filledArray = outcome.returned && !outcome.threw && boolResult && outcome.resultBool;
  const bool refused = !outcome.returned && Threw(outcome, kMessageExpectArray) && outcome.resultType == NPVariantType_Void;
  const bool producerFailure = !outcome.returned && Threw(outcome, producerFailed) && boolResult && !outcome.resultBool;
  // The page destroyed the instance from inside push before every name was pushed: the list's failure.
  const bool cutShort = !aliveAfter && outcome.returned && Threw(outcome, producerFailed) && boolResult &&
                        !outcome.resultBool;
  if (!filledArray && !refused && !producerFailure && !cutShort) {
    Violation("a list method's outcome is none of the documented ones", Describe(outcome));
  }
}

void CheckLastError(const void* instance, const host::CallOutcome& outcome) {
  const char*& kept = harness->lastError[instance];
  if (!outcome.returned) {
    // Only without memory from the browser: nothing written, the message kept for the next call.
    if (outcome.threw || outcome.resultType != NPVariantType_Void) Violation("getLastError failed", Describe(outcome));
    return;
  }
  if (outcome.threw) Violation("getLastError threw");
  if (!kept) {
    if (outcome.resultType != NPVariantType_Null) Violation("getLastError invented a message", Describe(outcome));
    return;
  }
  if (outcome.resultType != NPVariantType_String || outcome.resultText != kept) {
    Violation("getLastError did not hand out the latest message", Describe(outcome) + " instead of " + kept);
  }
  kept = nullptr;
}

// The policy's verdict on a call made while the instance was alive: a refusal is the whole outcome.
// True when the call was refused, and the method's own checks do not apply.
bool CheckAccess(Method method, const PageInstance& page, const host::CallOutcome& outcome) {
  const bool print = method == kPrint;
  Expectation expected = page.site;
  const char* message = kMessageSiteNotAllowed;
  if (method == kGetMacAddresses && page.site == kAllowed) {
    expected = page.hardware;
    message = kMessageHardwareAddressesOff;
  }
  const bool refused = Threw(outcome, kMessageSiteNotAllowed) || Threw(outcome, kMessageHardwareAddressesOff);
  if (refused) {
    if (outcome.returned != print || outcome.resultType != (print ? NPVariantType_Void : NPVariantType_Bool) ||
        outcome.resultBool || doubles::PrintedJobs().size() != harness->jobsSeen) {
      Violation("a refusal did something", Describe(outcome));
    }
    if (method == kGetMacAddresses && page.site == kUnknown) return true;  // either message may come
    if (expected == kAllowed || outcome.exception != message) {
      Violation("refused against the policy", Describe(outcome));
    }
    return true;
  }
  if (expected == kRefused) Violation("the policy's refusal not made", Describe(outcome));
  return false;
}

void CheckOutcome(Method method, PageInstance& page, bool aliveBefore, const host::CallOutcome& outcome,
                  const PrintArgument& argument, size_t jobsBefore) {
  if (outcome.threw && !IsModuleMessage(outcome.exception.c_str(), false)) {
    Violation("an exception that is none of the messages", outcome.exception);
  }
  const bool usesPolicy = method == kPrint || method == kGetPrinters || method == kGetMacAddresses;
  if (usesPolicy && aliveBefore && CheckAccess(method, page, outcome)) return;
  if (doubles::OpenPrinterHandles() != 0) Violation("a printer left open");
  if (!harness->endCallsFail && (doubles::OpenDocuments() != 0 || doubles::OpenPages() != 0)) {
    Violation("a document or page left open");
  }
  const bool isMethod = method < kFirstOtherName;
  if (outcome.hasMethod != (isMethod && aliveBefore)) Violation("hasMethod answered wrongly", kMethodNames[method]);
  if (!outcome.hasMethod) return;
  switch (method) {
    case kPrint: CheckPrint(outcome, argument, jobsBefore); break;
    case kGetPrinters:
    case kGetMacAddresses: CheckList(method, outcome, page.alive); break;
    case kGetVersion:
      if (outcome.threw) Violation("getVersion threw");
      if (outcome.returned ? outcome.resultText != "0.0.0.11" || outcome.resultType != NPVariantType_String
                           : outcome.resultType != NPVariantType_Void) {
        Violation("getVersion answered wrongly", Describe(outcome));
      }
      break;
    case kGetLastError: CheckLastError(page.instance.get(), outcome); break;
    default: break;
  }
}

// ---- Operations ----

void NewInstance() {
  if (harness->instances.size() >= kMaxInstances) return;
  PageInstance page{std::make_unique<host::Instance>(*harness->plugin), false, kUnknown, kUnknown};
  ExpectAccess(&page);
  const NPError created = page.instance->created();
  if (created != NPERR_NO_ERROR && created != NPERR_OUT_OF_MEMORY_ERROR) Violation("NPP_New answered wrongly");
  page.alive = created == NPERR_NO_ERROR;
  harness->lastError[page.instance.get()] = nullptr;
  harness->instances.push_back(std::move(page));
}

void Call(Reader& in, bool raw) {
  const uint8_t slot = in.Byte();
  const Method method = static_cast<Method>(in.Byte() % kMethodCount);
  PrintArgument argument;
  std::vector<NPVariant> args = Arguments(in, &argument);
  PageInstance* page = InstanceAt(slot);
  if (page) {
    const NPIdentifier name = method + 1 == kMethodCount ? host::IntId(0) : host::StringId(kMethodNames[method]);
    harness->jobsSeen = doubles::PrintedJobs().size();
    const bool alive = page->alive;
    const bool listing = method == kGetPrinters || method == kGetMacAddresses;
    if (listing) harness->listing.push_back({method, harness->utf8CodePage});
    host::CallOutcome outcome;
    NPObject* object = page->instance->ScriptObject();
    // The browser may call invoke without asking hasMethod first; only where no call is under way, as
    // the exception is then read straight from the host.
    if (raw && harness->depth == 0 && object) {
      host::TakeException(nullptr);
      NPVariant result;
      VOID_TO_NPVARIANT(result);
      outcome.hasMethod = method < kFirstOtherName && page->alive;
      outcome.returned = object->_class->invoke(object, name, args.data(), static_cast<uint32_t>(args.size()), &result);
      outcome.threw = host::TakeException(&outcome.exception);
      outcome.resultType = result.type;
      if (result.type == NPVariantType_Bool) outcome.resultBool = result.value.boolValue;
      outcome.resultText = host::TextOf(result);
      host::Release(result);
      if (!outcome.hasMethod && (outcome.returned || outcome.threw || outcome.resultType != NPVariantType_Void)) {
        Violation("invoke of a name that is no method, or on a detached object, did something", Describe(outcome));
      }
    } else {
      outcome = page->instance->CallId(name, args);
    }
    if (listing) harness->listing.pop_back();
    if (Tracing()) {
      fprintf(stderr, "%*s%s%s(%zu arguments) on instance %zu: %s\n", 2 * harness->depth, "", raw ? "invoke " : "",
              kMethodNames[method], args.size(), static_cast<size_t>(page - harness->instances.data()),
              Describe(outcome).c_str());
    }
    CheckOutcome(method, *page, alive, outcome, argument, harness->jobsSeen);
    // The outermost call is over: the module holds no variant of the browser's any more.
    if (harness->depth == 0 && !harness->filled.empty()) Violation("a variant the browser filled was not released");
  }
  for (NPVariant& value : args) host::Release(value);
}

const NPReason kDone = 0;  // NPRES_DONE

void Callbacks(Reader& in) {
  PageInstance* page = InstanceAt(in.Byte());
  const uint8_t what = in.Byte();
  const uint32_t value = in.U32();
  if (!page) return;
  const NPPluginFuncs& funcs = harness->plugin->Funcs();
  NPP npp = page->instance->npp();
  switch (what % 5) {
    case 0: {
      void* answer[2] = {nullptr, nullptr};
      const NPError error = funcs.getvalue(npp, static_cast<NPPVariable>(value % 20), answer);
      if (error == NPERR_NO_ERROR && value % 20 == NPPVpluginScriptableNPObject) {
        if (!page->alive || answer[0] != page->instance->ScriptObject()) Violation("NPP_GetValue handed out another object");
        host::ReleaseObject(static_cast<NPObject*>(answer[0]));
      }
      if (error == NPERR_NO_ERROR && value % 20 != 1 && value % 20 != 2 && value % 20 != 15) {
        Violation("NPP_GetValue answered a variable it does not know");
      }
      break;
    }
    case 1: {
      NPP_t stale = {nullptr, nullptr};
      if (funcs.destroy(&stale, nullptr) != NPERR_NO_ERROR) Violation("NPP_Destroy without data failed");
      const char* text = nullptr;
      const NPError error = NP_GetValue(nullptr, static_cast<NPPVariable>(value % 20), &text);
      if ((error == NPERR_NO_ERROR) != (value % 20 == 1 || value % 20 == 2)) Violation("NP_GetValue");
      if (strcmp(NP_GetMIMEDescription(), "application/x-vnd-tovi-print::") != 0) Violation("NP_GetMIMEDescription");
      // A second NPP_New on a live instance is refused and changes nothing.
      if (page->alive) {
        char mimeType[] = "application/x-vnd-tovi-print";
        void* const state = npp->pdata;
        if (funcs.newp(mimeType, npp, NP_EMBED, 0, nullptr, nullptr, nullptr) != NPERR_INVALID_INSTANCE_ERROR ||
            npp->pdata != state) {
          Violation("a second NPP_New on a live instance was not refused");
        }
      }
      break;
    }
    case 2: {
      // Streams, windows and events: accepted and ignored.
      uint16_t type = 0;
      if (funcs.writeready(npp, nullptr) != 1023 ||
          funcs.write(npp, nullptr, 0, static_cast<int32_t>(value), nullptr) != static_cast<int32_t>(value) ||
          funcs.newstream(npp, nullptr, nullptr, 0, &type) != NPERR_NO_ERROR || type != NP_NORMAL ||
          funcs.destroystream(npp, nullptr, kDone) != NPERR_NO_ERROR ||
          funcs.setwindow(npp, nullptr) != NPERR_NO_ERROR || funcs.event(npp, nullptr) != 0 ||
          funcs.setvalue(npp, static_cast<NPNVariable>(value % 20), nullptr) != NPERR_NO_ERROR) {
        Violation("a stream, window or event callback answered wrongly");
      }
      funcs.urlnotify(npp, "", kDone, nullptr);
      break;
    }
    default: {
      // The object's other class slots: no properties, not callable as a function.
      NPObject* object = page->instance->ScriptObject();
      if (!object) break;
      NPVariant result;
      VOID_TO_NPVARIANT(result);
      const NPIdentifier name = host::StringId(kMethodNames[value % (kMethodCount - 1)]);
      if (object->_class->hasProperty(object, name) || object->_class->getProperty(object, name, &result) ||
          object->_class->invokeDefault(object, nullptr, 0, &result) || result.type != NPVariantType_Void) {
        Violation("the plug-in object has a property or is callable");
      }
      break;
    }
  }
}

void Run(Reader& in) {
  while (!in.empty() && harness->operations < kMaxOperations) {
    ++harness->operations;
    const uint8_t operation = in.Byte() % kOperationCount;
    if (Tracing()) fprintf(stderr, "%*soperation %d\n", 2 * harness->depth, "", operation);
    switch (operation) {
      case kNewInstance: NewInstance(); break;
      case kDestroy:
        if (PageInstance* page = InstanceAt(in.Byte())) {
          page->instance->Destroy();
          page->alive = false;
        }
        break;
      case kCall: Call(in, false); break;
      case kRawInvoke: Call(in, true); break;
      case kSetPrinters: doubles::SetPrinters(ReadNames(in)); break;
      case kSpooler: ScriptSpooler(in); break;
      case kPrinterList: ScriptPrinterList(in); break;
      case kInterfaces: ScriptInterfaces(in); break;
      case kFailModuleHeap: {
        const uint8_t mode = in.Byte();
        if (mode & 1) {
          doubles::FailAllocsFrom(in.Byte() % 16);
        } else {
          doubles::FailAllocAt(in.Byte() % 16);
        }
        break;
      }
      case kFailMemAlloc: {
        const uint8_t n = in.Byte() % 8;
        host::FailMemAllocAt(n);
        if (n != 0) harness->memAllocFailed = true;
        break;
      }
      case kCodePage:
        harness->utf8CodePage = in.Byte() & 1;
        doubles::SetAnsiCodePage(harness->utf8CodePage ? CP_UTF8 : 1252);
        break;
      case kHoldReferences: host::HoldReferences(!(in.Byte() & 1)); break;
      case kPolicy: ScriptPolicy(in); break;
      default: Callbacks(in); break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool hostile = getenv("SCRIPT_FUZZ_HOSTILE") != nullptr;
  doubles::Reset();
  host::HoldReferences(!hostile);
  doubles::FailAllocsAbove(kLargestBlock);
  host::FailMemAllocAt(0);
  host::SetDocumentOrigin(nullptr);
  host::TakeException(nullptr);
  const host::Counters before = host::GetCounters();
  {
    host::Plugin plugin(host::PluginEntryPoints{NP_GetEntryPoints, TrackedInitialize, NP_Shutdown,
                                                NP_GetMIMEDescription, NP_GetValue});
    Harness state;
    // Never reallocated: calls under way keep pointers to their instance's entry.
    state.instances.reserve(kMaxInstances);
    harness = &state;
    state.plugin = &plugin;
    if (plugin.Initialize() != NPERR_NO_ERROR) Violation("NP_Initialize failed");
    NewInstance();
    Reader in(data, size);
    Run(in);

    // The page goes away: failures off, every instance destroyed, then every value of the page's.
    doubles::FailAllocAt(0);
    doubles::FailAllocsFrom(0);
    host::FailMemAllocAt(0);
    for (PageInstance& page : state.instances) page.instance->Destroy();
    state.instances.clear();
    for (NPObject* object : state.objects) host::ReleaseObject(object);
    host::TakeException(nullptr);
    if (!state.filled.empty()) Violation("a variant the browser filled was never released");
    harness = nullptr;
  }
  const host::Counters after = host::GetCounters();
  if (doubles::LiveBlocks() != 0) Violation("module heap blocks outstanding");
  if (after.memAllocBlocks != before.memAllocBlocks) Violation("NPN_MemAlloc blocks outstanding");
  if (after.liveObjects != before.liveObjects) Violation("script objects outstanding");
  if (after.badReleases != before.badReleases) Violation("a string released twice or not the browser's");
  if (after.badObjectReleases != before.badObjectReleases) Violation("an object released once too often");
  if (after.badObjectUses != before.badObjectUses) Violation("a call on an object no longer alive");
  if (doubles::OpenPrinterHandles() != 0) Violation("a printer left open");
  return 0;
}
