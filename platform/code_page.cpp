#include "platform/code_page.h"

#include <limits.h>
#include <string.h>

#include "platform/module_heap.h"
#include "platform/windows_api.h"

namespace {

CodePageStatus CopyUnchanged(const char* text, uint32_t length, char** out, uint32_t* outLength) {
  char* copy = static_cast<char*>(ModuleAlloc(static_cast<size_t>(length) + 1));
  if (!copy) return CodePageNoMemory;
  if (length) memcpy(copy, text, length);
  copy[length] = '\0';
  *out = copy;
  if (outLength) *outLength = length;
  return CodePageOk;
}

// from -> UTF-16 -> to. Invalid source bytes and characters the target cannot hold are refused
// rather than replaced, so a converted name never silently names something else.
CodePageStatus Convert(UINT from, UINT to, const char* text, uint32_t length, char** out,
                       uint32_t* outLength) {
  *out = nullptr;
  if (length == 0) return CopyUnchanged(text, 0, out, outLength);
  if (length > INT_MAX / 4) return CodePageUnmappable;
  const int textLength = static_cast<int>(length);

  const int wideLength = MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, text, textLength, nullptr, 0);
  if (wideLength <= 0) return CodePageUnmappable;
  const ModuleBlock<WCHAR> wide = AllocateModuleBlock<WCHAR>(static_cast<size_t>(wideLength) * sizeof(WCHAR));
  if (!wide) return CodePageNoMemory;
  if (MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, text, textLength, wide.get(), wideLength) != wideLength) {
    return CodePageUnmappable;
  }

  const DWORD flags = to == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  LPBOOL usedDefaultSlot = to == CP_UTF8 ? nullptr : &usedDefault;  // UTF-8 refuses the question
  const int resultLength =
      WideCharToMultiByte(to, flags, wide.get(), wideLength, nullptr, 0, nullptr, usedDefaultSlot);
  if (resultLength <= 0 || usedDefault) return CodePageUnmappable;
  ModuleBlock<char> result = AllocateModuleBlock<char>(static_cast<size_t>(resultLength) + 1);
  if (!result) return CodePageNoMemory;
  if (WideCharToMultiByte(to, flags, wide.get(), wideLength, result.get(), resultLength, nullptr,
                          usedDefaultSlot) != resultLength ||
      usedDefault) {
    return CodePageUnmappable;
  }
  result.get()[resultLength] = '\0';
  *out = result.release();
  if (outLength) *outLength = static_cast<uint32_t>(resultLength);
  return CodePageOk;
}

}  // namespace

CodePageStatus Utf8ToAnsi(const char* text, uint32_t length, char** out, uint32_t* outLength) {
  *out = nullptr;
  if (GetACP() == CP_UTF8) return CopyUnchanged(text, length, out, outLength);
  return Convert(CP_UTF8, CP_ACP, text, length, out, outLength);
}

CodePageStatus AnsiToUtf8(const char* text, uint32_t length, char** out, uint32_t* outLength) {
  *out = nullptr;
  if (GetACP() == CP_UTF8) return CopyUnchanged(text, length, out, outLength);
  return Convert(CP_ACP, CP_UTF8, text, length, out, outLength);
}
