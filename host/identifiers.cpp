// Interned identifiers. Each name and each integer has one record for the life of the process, so an
// identifier is compared by pointer; string and integer identifiers are separate records and never
// equal each other.
#include <limits.h>
#include <string.h>

#include <map>
#include <string>

#include "host/host_internal.h"

namespace host {
namespace {

struct IdentifierRecord {
  bool isString;
  int32_t number;    // integer identifiers
  std::string name;  // string identifiers
};

struct IdentifierTables {
  std::map<std::string, IdentifierRecord*> byName;
  std::map<int32_t, IdentifierRecord*> byNumber;
};

// Never destroyed: identifiers stay valid until the process ends, as the NPAPI promises.
IdentifierTables& Tables() {
  static IdentifierTables* tables = new IdentifierTables;
  return *tables;
}

const IdentifierRecord* RecordOf(NPIdentifier identifier) {
  return static_cast<const IdentifierRecord*>(identifier);
}

}  // namespace

namespace detail {

NPIdentifier GetStringIdentifier(const NPUTF8* name) {
  if (!name) return nullptr;
  IdentifierRecord*& record = Tables().byName[name];
  if (!record) record = new IdentifierRecord{true, 0, name};
  return record;
}

void GetStringIdentifiers(const NPUTF8** names, int32_t count, NPIdentifier* identifiers) {
  if (!names || !identifiers) return;
  for (int32_t i = 0; i < count; ++i) identifiers[i] = GetStringIdentifier(names[i]);
}

NPIdentifier GetIntIdentifier(int32_t value) {
  IdentifierRecord*& record = Tables().byNumber[value];
  if (!record) record = new IdentifierRecord{false, value, std::string()};
  return record;
}

bool IdentifierIsString(NPIdentifier identifier) { return identifier && RecordOf(identifier)->isString; }

// The copy is the caller's, to be given back with NPN_MemFree.
NPUTF8* UTF8FromIdentifier(NPIdentifier identifier) {
  if (!IdentifierIsString(identifier)) return nullptr;
  const std::string& name = RecordOf(identifier)->name;
  char* copy = static_cast<char*>(HostBlock(name.size() + 1));
  if (copy) memcpy(copy, name.c_str(), name.size() + 1);
  return copy;
}

// As browsers answer for a string identifier: the smallest integer.
int32_t IntFromIdentifier(NPIdentifier identifier) {
  if (!identifier || RecordOf(identifier)->isString) return INT32_MIN;
  return RecordOf(identifier)->number;
}

}  // namespace detail

NPIdentifier StringId(const char* name) { return detail::GetStringIdentifier(name); }

NPIdentifier IntId(int32_t value) { return detail::GetIntIdentifier(value); }

}  // namespace host
