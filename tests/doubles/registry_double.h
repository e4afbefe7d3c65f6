// The registry for native builds: the one policy key the module reads, with scripted values, an open
// that can fail, and values that grow between the size query and the read. Values are kept as the
// registry keeps them, strings in UTF-16. Calls are recorded in a log of their own, apart from the spooler's and the IP helper's, as
// "RegOpenKeyExA(KEY,ACCESS)" (access in hex), "RegQueryValueExW(NAME,SIZE)" (SIZE: the size offered,
// or "size" for a size query) and "RegCloseKey".
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "platform/windows_api.h"

namespace doubles {

// HKEY_LOCAL_MACHINE\SOFTWARE\Policies\Ternaport\Print Plugin exists from now on (with no values).
void SetPolicyKey();
// A value of the key (the key is made if need be).
void SetPolicyValue(const std::string& name, DWORD type, const std::vector<uint8_t>& bytes);
// REG_MULTI_SZ bytes, in UTF-16 as stored, of lines written in UTF-8.
std::vector<uint8_t> MultiString(const std::vector<std::string>& lines);
std::vector<uint8_t> DwordBytes(DWORD value);

// RegOpenKeyExA answers this error (0: it answers as the key is there or not).
void FailPolicyKeyOpen(LONG error);
// The next `reads` queries that offer a buffer find the value one byte longer than offered and answer
// ERROR_MORE_DATA, as when an administrator changes the value meanwhile.
void GrowPolicyValueOnReads(size_t reads);

// Keys opened and not yet closed, and every registry call since Reset.
size_t OpenRegistryKeys();
const std::vector<std::string>& RegistryCalls();

}  // namespace doubles
