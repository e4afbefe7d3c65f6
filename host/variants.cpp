// Variant values: releasing them the way the browser does (a string's characters are a block of the
// browser's memory, an object variant holds a reference), and copying them for whoever keeps them.
#include <string.h>

#include "host/host_internal.h"

namespace host {
namespace detail {

void ReleaseVariantValue(NPVariant* value) {
  if (!value) return;
  ++MutableCounters().variantsReleased;
  DisposeVariant(value);
}

void DisposeVariant(NPVariant* value) {
  if (value->type == NPVariantType_String) {
    // A null character pointer owns nothing. Any other pointer must be the start of a live block.
    void* characters = const_cast<NPUTF8*>(value->value.stringValue.UTF8Characters);
    if (characters && !FreeBlock(characters)) ++MutableCounters().badReleases;
  } else if (value->type == NPVariantType_Object) {
    ReleaseObject(value->value.objectValue);
  }
  // The browser leaves a released variant void, so a second release of it frees nothing.
  VOID_TO_NPVARIANT(*value);
}

bool CopyVariant(const NPVariant& from, NPVariant* to) {
  if (from.type == NPVariantType_Object) {
    OBJECT_TO_NPVARIANT(RetainObject(from.value.objectValue), *to);
    return true;
  }
  if (from.type != NPVariantType_String || !from.value.stringValue.UTF8Characters) {
    *to = from;
    return true;
  }
  const NPString& text = from.value.stringValue;
  // Exactly the string's length and no NUL after it, as browsers hand strings over: a plug-in that
  // reads past UTF8Length reads past the block.
  char* characters = static_cast<char*>(HostBlock(text.UTF8Length));
  if (!characters) {
    VOID_TO_NPVARIANT(*to);
    return false;
  }
  if (text.UTF8Length) memcpy(characters, text.UTF8Characters, text.UTF8Length);
  STRINGN_TO_NPVARIANT(characters, text.UTF8Length, *to);
  return true;
}

}  // namespace detail

NPVariant StringValue(const std::string& text) {
  NPVariant source;
  STRINGN_TO_NPVARIANT(text.data(), static_cast<uint32_t>(text.size()), source);
  NPVariant value;
  detail::CopyVariant(source, &value);
  return value;
}

NPVariant StringValueWithNull(uint32_t length) {
  NPVariant value;
  STRINGN_TO_NPVARIANT(nullptr, length, value);
  return value;
}

NPVariant ObjectValue(NPObject* object) {
  NPVariant value;
  OBJECT_TO_NPVARIANT(detail::RetainObject(object), value);
  return value;
}

void Release(NPVariant& value) { detail::DisposeVariant(&value); }

std::string TextOf(const NPVariant& value) {
  if (value.type != NPVariantType_String || !value.value.stringValue.UTF8Characters) return std::string();
  return std::string(value.value.stringValue.UTF8Characters, value.value.stringValue.UTF8Length);
}

}  // namespace host
