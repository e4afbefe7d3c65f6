// The six-byte hardware (MAC) addresses of the machine's network interfaces, as text in a NameList
// (see plugin/name_list.h).
#pragma once

#include <stddef.h>
#include <stdint.h>

enum : int {
  kHardwareAddressesOk = 0,
  kHardwareAddressesFailed = 1,  // the interface table could not be read, or memory could not be had
};

// "00:1A:2B:3C:4D:5E" and its NUL.
constexpr size_t kHardwareAddressTextSize = 18;

// On kHardwareAddressesOk *list is a ModuleAlloc block that the caller frees: one address text per
// interface whose address is six bytes long, in the platform's order, each at a fixed stride of
// kHardwareAddressTextSize bytes, then one more NUL. On failure *list is not written and nothing is
// left allocated.
int ListHardwareAddresses(char** list);

// Writes exactly kHardwareAddressTextSize bytes: each of the six bytes as two upper-case hexadecimal
// digits, colons between them, the NUL last.
void FormatHardwareAddress(const uint8_t* address, char* text);
