// ADVAPI32 on Linux: there is no registry, so no administrator policy exists and the module behaves as
// with none set.
#include "platform/windows_api.h"

extern "C" {

LONG RegOpenKeyExA(HKEY, LPCSTR, DWORD, REGSAM, PHKEY result) {
  if (result) *result = nullptr;
  return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
}

LONG RegQueryValueExW(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD) {
  return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
}

LONG RegCloseKey(HKEY) { return static_cast<LONG>(ERROR_SUCCESS); }

}  // extern "C"
