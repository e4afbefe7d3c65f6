#include "plugin/policy_key.h"

const char kPolicyKey[] = "SOFTWARE\\Policies\\Ternaport\\Print Plugin";
// Values are read as the registry keeps them, in UTF-16: the ANSI functions would convert them with
// "best fit", which makes the line https://tōkyō.example the other, ASCII site https://tokyo.example.
const WCHAR kPolicyAllowedOrigins[] = WIDE_LITERAL("AllowedOrigins");
const WCHAR kPolicyAllowHardwareAddresses[] = WIDE_LITERAL("AllowHardwareAddresses");

namespace {

// The registry answers LONG results; the error codes are declared as DWORD.
bool Is(LONG status, DWORD code) { return status == static_cast<LONG>(code); }

}  // namespace

PolicyKeyOpen OpenPolicyKey(HKEY* key) {
  *key = nullptr;
  const LONG opened =
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPolicyKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key);
  if (Is(opened, ERROR_SUCCESS)) return PolicyKeyOpened;
  *key = nullptr;
  if (Is(opened, ERROR_FILE_NOT_FOUND) || Is(opened, ERROR_PATH_NOT_FOUND)) return PolicyKeyAbsent;
  return PolicyKeyUnreadable;
}

bool SitePolicySet() {
  HKEY key = nullptr;
  const PolicyKeyOpen open = OpenPolicyKey(&key);
  if (open != PolicyKeyOpened) return open == PolicyKeyUnreadable;
  DWORD type = 0;
  DWORD size = 0;
  const LONG status = RegQueryValueExW(key, kPolicyAllowedOrigins, nullptr, &type, nullptr, &size);
  RegCloseKey(key);
  return !Is(status, ERROR_FILE_NOT_FOUND);
}
