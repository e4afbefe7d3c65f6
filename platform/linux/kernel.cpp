// KERNEL32 on Linux: the last error, and text, which is UTF-8 throughout here: the ANSI code page is
// UTF-8 (65001), the conversions are between UTF-8 and UTF-16 only, and letter case is ASCII's.
#include <string.h>

#include "platform/utf8.h"
#include "platform/windows_api.h"

namespace {

DWORD lastError = 0;  // the browser's one plug-in thread makes every call

int Fail(DWORD error) {
  lastError = error;
  return 0;
}

bool IsUtf8(UINT codePage) { return codePage == CP_ACP || codePage == CP_UTF8; }

// Counts a unit, and stores it when there is an output; false when the output is full.
template <typename T>
bool Put(T* out, int capacity, int* count, T unit) {
  if (out && *count >= capacity) return false;
  if (out) out[*count] = unit;
  ++*count;
  return true;
}

WCHAR Upper(WCHAR c) { return c >= u'a' && c <= u'z' ? static_cast<WCHAR>(c - u'a' + u'A') : c; }

size_t UnitCount(LPCWSTR text, int length) {
  if (length >= 0) return static_cast<size_t>(length);
  size_t count = 0;
  while (text[count] != 0) ++count;
  return count;
}

}  // namespace

extern "C" {

DWORD GetLastError(void) { return lastError; }
void SetLastError(DWORD error) { lastError = error; }
UINT GetACP(void) { return CP_UTF8; }

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int textLength, LPWSTR wide,
                        int wideLength) {
  if (!IsUtf8(codePage) || !text || (wide && wideLength < 0)) return Fail(ERROR_INVALID_PARAMETER);
  const int length = textLength < 0 ? static_cast<int>(strlen(text)) + 1 : textLength;
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  int count = 0;
  for (int at = 0; at < length;) {
    char32_t c = 0xFFFD;
    int used = DecodeUtf8(bytes + at, length - at, &c);
    if (used == 0) {
      if (flags & MB_ERR_INVALID_CHARS) return Fail(ERROR_NO_UNICODE_TRANSLATION);
      used = 1;
    }
    at += used;
    bool stored = c < 0x10000 ? Put(wide, wideLength, &count, static_cast<WCHAR>(c))
                              : Put(wide, wideLength, &count, static_cast<WCHAR>(0xD7C0 + (c >> 10))) &&
                                    Put(wide, wideLength, &count, static_cast<WCHAR>(0xDC00 | (c & 0x3FF)));
    if (!stored) return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  return count;
}

int WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR wide, int wideLength, LPSTR text, int textLength,
                        LPCSTR defaultChar, LPBOOL usedDefaultChar) {
  // As Windows: UTF-8 takes no default character and answers no question about one.
  if (!IsUtf8(codePage) || !wide || defaultChar || usedDefaultChar || (text && textLength < 0)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  int length = wideLength;
  if (length < 0) {
    for (length = 0; wide[length] != 0;) ++length;
    ++length;
  }
  int count = 0;
  for (int at = 0; at < length; ++at) {
    char32_t c = wide[at];
    if (c >= 0xD800 && c <= 0xDBFF && at + 1 < length && wide[at + 1] >= 0xDC00 && wide[at + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (wide[++at] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;  // a lone surrogate
    }
    const int units = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    static const unsigned char kLead[5] = {0, 0, 0xC0, 0xE0, 0xF0};
    for (int i = 0; i < units; ++i) {
      const int shift = 6 * (units - 1 - i);
      const char32_t bits = i == 0 ? (units == 1 ? c : kLead[units] | (c >> shift)) : 0x80 | ((c >> shift) & 0x3F);
      const unsigned char unit = static_cast<unsigned char>(bits);
      if (!Put(text, textLength, &count, static_cast<char>(unit))) return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
  }
  return count;
}

// Ordering as CompareStringOrdinal answers it (1 less, 2 equal, 3 greater), unit by unit; ignoring
// case upper-cases ASCII letters only, which is all of CUPS's own case rule for queue names.
int CompareStringOrdinal(LPCWSTR text1, int length1, LPCWSTR text2, int length2, BOOL ignoreCase) {
  if (!text1 || !text2 || length1 < -1 || length2 < -1) return Fail(ERROR_INVALID_PARAMETER);
  const size_t n1 = UnitCount(text1, length1);
  const size_t n2 = UnitCount(text2, length2);
  for (size_t i = 0; i < n1 && i < n2; ++i) {
    const WCHAR a = ignoreCase ? Upper(text1[i]) : text1[i];
    const WCHAR b = ignoreCase ? Upper(text2[i]) : text2[i];
    if (a != b) return a < b ? 1 : 3;
  }
  return n1 == n2 ? CSTR_EQUAL : n1 < n2 ? 1 : 3;
}

}  // extern "C"
