// KERNEL32 for native builds: the thread's last error, the code-page conversions between UTF-8,
// UTF-16 and the ANSI code page (Windows-1252 or UTF-8), with Windows' argument conventions and its
// "best-fit" replacements unless WC_NO_BEST_FIT_CHARS is given, and the ordinal comparison of UTF-16
// texts with or without case.
#include <string.h>

#include <string>

#include "platform/utf8.h"
#include "tests/doubles/doubles.h"

namespace {

DWORD lastError = 0;
UINT ansiCodePage = 1252;

// Windows-1252 bytes 0x80 to 0x9F; the five bytes it leaves undefined map to the same C1 code point.
const char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

UINT Resolve(UINT codePage) { return codePage == CP_ACP ? ansiCodePage : codePage; }

// Writes into out when there is room; counts in any case. Returns false on a full buffer.
template <typename T>
bool Put(T* out, int capacity, int* count, T unit) {
  if (out) {
    if (*count >= capacity) return false;
    out[*count] = unit;
  }
  ++*count;
  return true;
}

// Upper case of the letters the double's code pages hold (ASCII, Latin-1, the few of Windows-1252).
char16_t Upper(char16_t c) {
  if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
  if (c == 0xFF) return 0x178;
  if (c == 0x161 || c == 0x153 || c == 0x17E) return c - 1;
  return c;
}

// A few of the characters Windows-1252 lacks that Windows writes as a look-alike ("best fit") unless
// told not to: letters with a macron, and the full-width forms of ASCII.
int BestFit(char32_t point) {
  static const struct {
    char32_t point;
    char byte;
  } kMacrons[] = {{0x100, 'A'}, {0x101, 'a'}, {0x112, 'E'}, {0x113, 'e'}, {0x12A, 'I'},
                  {0x12B, 'i'}, {0x14C, 'O'}, {0x14D, 'o'}, {0x16A, 'U'}, {0x16B, 'u'}};
  for (const auto& m : kMacrons) {
    if (m.point == point) return static_cast<unsigned char>(m.byte);
  }
  if (point >= 0xFF01 && point <= 0xFF5E) return static_cast<int>(point - 0xFEE0);
  return -1;
}

int Fail(DWORD error) {
  lastError = error;
  return 0;
}

}  // namespace

extern "C" {

DWORD GetLastError(void) { return lastError; }
void SetLastError(DWORD error) { lastError = error; }
UINT GetACP(void) { return ansiCodePage; }

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int textLength, LPWSTR wide,
                        int wideLength) {
  if (!text || textLength == 0 || textLength < -1 || wideLength < 0) return Fail(ERROR_INVALID_PARAMETER);
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  int length = textLength == -1 ? static_cast<int>(strlen(text)) + 1 : textLength;
  int count = 0;
  for (int i = 0; i < length;) {
    char32_t point;
    if (Resolve(codePage) == CP_UTF8) {
      int used = DecodeUtf8(bytes + i, length - i, &point);
      if (used == 0) {
        if (flags & MB_ERR_INVALID_CHARS) return Fail(ERROR_NO_UNICODE_TRANSLATION);
        point = 0xFFFD;
        used = 1;
      }
      i += used;
    } else {
      unsigned char c = bytes[i++];
      point = c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : c;
    }
    if (point >= 0x10000) {
      if (!Put<char16_t>(wide, wideLength, &count, 0xD800 + ((point - 0x10000) >> 10)) ||
          !Put<char16_t>(wide, wideLength, &count, 0xDC00 + ((point - 0x10000) & 0x3FF))) {
        return Fail(ERROR_INSUFFICIENT_BUFFER);
      }
    } else if (!Put<char16_t>(wide, wideLength, &count, static_cast<char16_t>(point))) {
      return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
  }
  return count;
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength, LPSTR text,
                        int textLength, LPCSTR defaultChar, LPBOOL usedDefaultChar) {
  const bool utf8 = Resolve(codePage) == CP_UTF8;
  if (!wide || wideLength == 0 || wideLength < -1 || textLength < 0) return Fail(ERROR_INVALID_PARAMETER);
  // As on Windows, UTF-8 takes neither a default character nor the question whether one was used.
  if (utf8 && (defaultChar || usedDefaultChar)) return Fail(ERROR_INVALID_PARAMETER);
  int length = wideLength;
  if (length == -1) {
    length = 0;
    while (wide[length]) ++length;
    ++length;
  }
  if (usedDefaultChar) *usedDefaultChar = FALSE;
  int count = 0;
  for (int i = 0; i < length; ++i) {
    char32_t point = wide[i];
    if (point >= 0xD800 && point <= 0xDBFF && i + 1 < length && wide[i + 1] >= 0xDC00 &&
        wide[i + 1] <= 0xDFFF) {
      point = 0x10000 + ((point - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
      ++i;
    } else if (point >= 0xD800 && point <= 0xDFFF) {
      point = 0xFFFD;
    }
    unsigned char out[4];
    int n = 0;
    if (utf8) {
      if (point < 0x80) {
        out[n++] = static_cast<unsigned char>(point);
      } else if (point < 0x800) {
        out[n++] = static_cast<unsigned char>(0xC0 | (point >> 6));
        out[n++] = static_cast<unsigned char>(0x80 | (point & 0x3F));
      } else if (point < 0x10000) {
        out[n++] = static_cast<unsigned char>(0xE0 | (point >> 12));
        out[n++] = static_cast<unsigned char>(0x80 | ((point >> 6) & 0x3F));
        out[n++] = static_cast<unsigned char>(0x80 | (point & 0x3F));
      } else {
        out[n++] = static_cast<unsigned char>(0xF0 | (point >> 18));
        out[n++] = static_cast<unsigned char>(0x80 | ((point >> 12) & 0x3F));
        out[n++] = static_cast<unsigned char>(0x80 | ((point >> 6) & 0x3F));
        out[n++] = static_cast<unsigned char>(0x80 | (point & 0x3F));
      }
    } else {
      int byte = -1;
      if (point < 0x80 || (point >= 0xA0 && point <= 0xFF)) byte = static_cast<int>(point);
      for (int k = 0; k < 32 && byte < 0; ++k) {
        if (kCp1252High[k] == point) byte = 0x80 + k;
      }
      if (byte < 0 && !(flags & WC_NO_BEST_FIT_CHARS)) byte = BestFit(point);
      if (byte < 0) {
        if (usedDefaultChar) *usedDefaultChar = TRUE;
        byte = defaultChar ? static_cast<unsigned char>(*defaultChar) : '?';
      }
      out[n++] = static_cast<unsigned char>(byte);
    }
    for (int k = 0; k < n; ++k) {
      if (!Put<char>(text, textLength, &count, static_cast<char>(out[k]))) return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
  }
  return count;
}

// Code unit by code unit; ignoring case maps each unit through one upper-case table, as Windows does
// (no unit ever becomes two, so ß stays ß).
int CompareStringOrdinal(LPCWSTR text1, int length1, LPCWSTR text2, int length2, BOOL ignoreCase) {
  if (!text1 || !text2 || length1 < -1 || length2 < -1) return Fail(ERROR_INVALID_PARAMETER);
  std::u16string a = length1 == -1 ? std::u16string(text1) : std::u16string(text1, static_cast<size_t>(length1));
  std::u16string b = length2 == -1 ? std::u16string(text2) : std::u16string(text2, static_cast<size_t>(length2));
  if (ignoreCase) {
    for (char16_t& c : a) c = Upper(c);
    for (char16_t& c : b) c = Upper(c);
  }
  return a < b ? 1 : a == b ? CSTR_EQUAL : 3;
}

}  // extern "C"

namespace doubles {

void SetAnsiCodePage(UINT codePage) { ansiCodePage = codePage; }

void ResetKernel() {
  lastError = 0;
  ansiCodePage = 1252;
}

}  // namespace doubles
