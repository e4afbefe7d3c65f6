#include "tests/doubles/registry_double.h"

#include <stdio.h>
#include <string.h>

#include <map>

#include "tests/doubles/doubles.h"

namespace {

const char kPolicyKey[] = "SOFTWARE\\Policies\\Ternaport\\Print Plugin";

struct Value {
  DWORD type;
  std::vector<uint8_t> bytes;
};

struct RegistryState {
  bool keyExists = false;
  std::map<std::string, Value> values;
  LONG openError = 0;
  size_t growingReads = 0;
  size_t openKeys = 0;
  std::vector<std::string> calls;
};

RegistryState& State() {
  static RegistryState state;
  return state;
}

// Any non-null value serves as the handle; only this one is accepted back.
HKEY PolicyHandle() { return reinterpret_cast<HKEY>(&State()); }

void Record(const std::string& call) { State().calls.push_back(call); }

}  // namespace

extern "C" {

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM access, PHKEY result) {
  RegistryState& state = State();
  char accessText[16];
  snprintf(accessText, sizeof(accessText), "%X", static_cast<unsigned>(access));
  Record(std::string("RegOpenKeyExA(") + (subKey ? subKey : "null") + "," + accessText + ")");
  if (state.openError != 0) return state.openError;
  if (key != HKEY_LOCAL_MACHINE || !subKey || strcmp(subKey, kPolicyKey) != 0 || !state.keyExists) {
    return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
  }
  ++state.openKeys;
  *result = PolicyHandle();
  return static_cast<LONG>(ERROR_SUCCESS);
}

LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize) {
  RegistryState& state = State();
  std::string name = valueName ? "" : "null";  // the policy's value names are ASCII
  for (const WCHAR* c = valueName; c && *c; ++c) name += *c < 0x80 ? static_cast<char>(*c) : '?';
  Record("RegQueryValueExW(" + name + "," + (data ? std::to_string(dataSize ? *dataSize : 0) : "size") +
         ")");
  if (key != PolicyHandle() || state.openKeys == 0 || reserved || (data && !dataSize)) {
    return static_cast<LONG>(ERROR_INVALID_PARAMETER);
  }
  auto found = state.values.find(name);
  if (found == state.values.end()) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
  const Value& value = found->second;
  if (type) *type = value.type;
  const DWORD size = static_cast<DWORD>(value.bytes.size());
  if (data && state.growingReads > 0) {
    --state.growingReads;
    *dataSize += 1;
    return static_cast<LONG>(ERROR_MORE_DATA);
  }
  if (data && *dataSize < size) {
    *dataSize = size;
    return static_cast<LONG>(ERROR_MORE_DATA);
  }
  if (data && size != 0) memcpy(data, value.bytes.data(), size);
  if (dataSize) *dataSize = size;
  return static_cast<LONG>(ERROR_SUCCESS);
}

LONG RegCloseKey(HKEY key) {
  RegistryState& state = State();
  Record("RegCloseKey");
  if (key != PolicyHandle() || state.openKeys == 0) return static_cast<LONG>(ERROR_INVALID_PARAMETER);
  --state.openKeys;
  return static_cast<LONG>(ERROR_SUCCESS);
}

}  // extern "C"

namespace doubles {

void SetPolicyKey() { State().keyExists = true; }

void SetPolicyValue(const std::string& name, DWORD type, const std::vector<uint8_t>& bytes) {
  State().keyExists = true;
  State().values[name] = Value{type, bytes};
}

std::vector<uint8_t> MultiString(const std::vector<std::string>& lines) {
  std::vector<uint8_t> bytes;
  auto unit = [&bytes](char16_t c) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  };
  for (const std::string& line : lines) {
    std::u16string wide(line.size(), u'\0');
    const int length = line.empty() ? 0
                                     : MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()),
                                                           &wide[0], static_cast<int>(wide.size()));
    for (int i = 0; i < length; ++i) unit(wide[static_cast<size_t>(i)]);
    unit(0);
  }
  unit(0);
  return bytes;
}

std::vector<uint8_t> DwordBytes(DWORD value) {
  std::vector<uint8_t> bytes(sizeof(value));
  memcpy(bytes.data(), &value, sizeof(value));
  return bytes;
}

void FailPolicyKeyOpen(LONG error) { State().openError = error; }

void GrowPolicyValueOnReads(size_t reads) { State().growingReads = reads; }

size_t OpenRegistryKeys() { return State().openKeys; }

const std::vector<std::string>& RegistryCalls() { return State().calls; }

void ResetRegistry() { State() = RegistryState(); }

}  // namespace doubles
