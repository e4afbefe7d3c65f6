#include "plugin/site_policy.h"

#include <string.h>

#include "platform/sized_block.h"
#include "plugin/browser_funcs.h"
#include "plugin/messages.h"
#include "plugin/origin.h"
#include "plugin/policy_key.h"
#include "plugin/script_object.h"

namespace {

// A policy value larger than this is no list an administrator wrote; it is refused as malformed.
const DWORD kMaxValueBytes = 1u << 20;
// A value that keeps growing between the size query and the read is refused after this many reads.
const int kMaxReads = 4;

enum ValueRead { ValueOk, ValueMissing, ValueMalformed, ValueNoMemory };

// The registry answers LONG results; the error codes are declared as DWORD.
bool Is(LONG status, DWORD code) { return status == static_cast<LONG>(code); }

// Reads one value of the policy key into a ModuleAlloc block in *data, followed by four NUL bytes that
// end any UTF-16 text in it; *size is the value's own length.
ValueRead ReadValue(HKEY key, const WCHAR* name, DWORD* type, ModuleBlock<BYTE>* data, DWORD* size) {
  DWORD needed = 0;
  LONG status = RegQueryValueExW(key, name, nullptr, type, nullptr, &needed);
  ValueRead read = ValueMalformed;
  *data = FillSizedBlock<BYTE>(
      kMaxReads,
      [&](DWORD* bytes) {
        read = Is(status, ERROR_FILE_NOT_FOUND) ? ValueMissing : ValueMalformed;
        if (!Is(status, ERROR_SUCCESS) && !Is(status, ERROR_MORE_DATA)) return false;
        if (needed > kMaxValueBytes) return false;
        *bytes = needed + 4;
        return true;
      },
      [&](BYTE* block, DWORD) {
        read = ValueNoMemory;
        if (!block) return FillStop;
        DWORD got = needed;
        status = RegQueryValueExW(key, name, nullptr, type, block, &got);
        read = ValueMalformed;
        if (!Is(status, ERROR_SUCCESS) || got > needed) {
          needed = got;  // after ERROR_MORE_DATA, the size the value has now
          return FillRetry;
        }
        memset(block + got, 0, 4);
        *size = got;
        return FillKept;
      });
  return *data ? ValueOk : read;
}

// Narrows the UTF-16 lines of a REG_MULTI_SZ value in place to ASCII: each unit becomes one byte,
// NUL stays the end of a line, and a character outside printable ASCII becomes DEL, which no origin
// holds, so that its line is malformed rather than read as some look-alike. The text ends in two
// NULs. False when the value is no whole number of UTF-16 units.
bool NarrowLines(BYTE* data, DWORD size) {
  const DWORD units = size / 2;
  for (DWORD i = 0; i < units; ++i) {
    const unsigned unit = data[2 * i] | static_cast<unsigned>(data[2 * i + 1]) << 8;
    data[i] = unit == 0 ? 0 : unit >= 0x20 && unit < 0x7F ? static_cast<BYTE>(unit) : 0x7F;
  }
  data[units] = 0;
  data[units + 1] = 0;
  return size % 2 == 0;
}

// Whether AllowedOrigins admits the page. Every line must be an origin, however early one matches.
ValueRead AllowsOrigin(HKEY key, const char* origin, bool* allowed) {
  DWORD type = 0;
  ModuleBlock<BYTE> data;
  DWORD size = 0;
  const ValueRead read = ReadValue(key, kPolicyAllowedOrigins, &type, &data, &size);
  *allowed = read == ValueMissing;
  if (read != ValueOk) return read;

  AsciiOrigin asciiPage;
  Origin page;
  const bool pageKnown = ParsePageOrigin(origin, &asciiPage, &page);
  bool wellFormed = type == REG_MULTI_SZ && NarrowLines(data.get(), size);
  bool matched = false;
  // One origin a line; the first empty line ends the list.
  const char* line = reinterpret_cast<const char*>(data.get());
  for (; wellFormed && *line != '\0'; line += strlen(line) + 1) {
    Origin pattern;
    wellFormed = ParseOrigin(line, true, &pattern);
    if (wellFormed && pageKnown && OriginAllows(pattern, page)) matched = true;
  }
  *allowed = wellFormed && matched;
  return ValueOk;
}

ValueRead AllowsHardwareAddresses(HKEY key, bool* allowed) {
  DWORD type = 0;
  ModuleBlock<BYTE> data;
  DWORD size = 0;
  const ValueRead read = ReadValue(key, kPolicyAllowHardwareAddresses, &type, &data, &size);
  *allowed = read == ValueMissing;
  if (read != ValueOk) return read;
  DWORD value = 0;
  if (type == REG_DWORD && size == sizeof(value)) memcpy(&value, data.get(), sizeof(value));
  *allowed = value != 0;
  return ValueOk;
}

}  // namespace

char* FetchDocumentOrigin(NPP instance) {
  char* origin = nullptr;
  if (NPN_GetValue(instance, NPNVdocumentOrigin, &origin) != NPERR_NO_ERROR) return nullptr;
  return origin;
}

void ReleaseDocumentOrigin(char* origin) {
  if (origin) NPN_MemFree(origin);
}

bool DecideSiteAccess(const char* origin, SiteAccess* access) {
  access->siteAllowed = true;
  access->hardwareAddressesAllowed = true;
  HKEY key = nullptr;
  const PolicyKeyOpen opened = OpenPolicyKey(&key);
  if (opened == PolicyKeyAbsent) return true;
  if (opened == PolicyKeyUnreadable) {
    // A policy is there but cannot be read: it restricts as a malformed one does.
    access->siteAllowed = false;
    access->hardwareAddressesAllowed = false;
    return true;
  }
  const bool enough = AllowsOrigin(key, origin, &access->siteAllowed) != ValueNoMemory &&
                      AllowsHardwareAddresses(key, &access->hardwareAddressesAllowed) != ValueNoMemory;
  RegCloseKey(key);
  return enough;
}

const char* SiteAccessDenial(const PrintScriptObject* object, SiteUse use) {
  const InstanceState* state = InstanceOf(object);
  if (!state) return nullptr;  // a detached object: the method's own check answers
  if (!state->access.siteAllowed) return kMessageSiteNotAllowed;
  if (use == UseHardwareAddresses && !state->access.hardwareAddressesAllowed) {
    return kMessageHardwareAddressesOff;
  }
  return nullptr;
}
