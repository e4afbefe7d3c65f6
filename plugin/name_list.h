// A NameList: one ModuleAlloc block holding non-empty NUL-terminated byte strings back to back, closed
// by one more NUL (an empty list is the single byte 0). The list producers make it at its exact size;
// the array-filling methods walk it and free it.
//
//   for (const char* name = list; *name != '\0'; name = NextName(name)) ...
#pragma once

#include <stddef.h>
#include <string.h>

// The entry after name.
inline const char* NextName(const char* name) { return name + strlen(name) + 1; }

// The list's size in bytes, its closing NUL included.
inline size_t NameListSize(const char* list) {
  const char* name = list;
  while (*name != '\0') name = NextName(name);
  return static_cast<size_t>(name - list) + 1;
}
