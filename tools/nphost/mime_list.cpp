#include "tools/nphost/mime_list.h"

namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameType(const std::string& list, size_t begin, size_t end, const std::string& type) {
  while (begin < end && list[begin] == ' ') ++begin;
  while (end > begin && list[end - 1] == ' ') --end;
  if (end - begin != type.size()) return false;
  for (size_t i = 0; i < type.size(); ++i) {
    if (LowerAscii(list[begin + i]) != LowerAscii(type[i])) return false;
  }
  return true;
}

}  // namespace

bool MimeListHas(const std::string& list, const std::string& type) {
  if (type.empty()) return false;
  size_t begin = 0;
  for (;;) {
    size_t end = list.find('|', begin);
    if (SameType(list, begin, end == std::string::npos ? list.size() : end, type)) return true;
    if (end == std::string::npos) return false;
    begin = end + 1;
  }
}
