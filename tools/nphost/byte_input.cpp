#include "tools/nphost/byte_input.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "tools/nphost/text_encoding.h"

namespace {

bool ReadStream(FILE* stream, std::string* bytes) {
  char chunk[65536];
  size_t got;
  while ((got = fread(chunk, 1, sizeof chunk, stream)) > 0) bytes->append(chunk, got);
  return ferror(stream) == 0;
}

}  // namespace

bool ReadAllBytes(const std::string& path, std::string* bytes, std::string* error) {
  bytes->clear();
  if (path == "-") {
    if (ReadStream(stdin, bytes)) return true;
    *error = "cannot read standard input";
    return false;
  }
  FILE* file = _wfopen(WideFromUtf8(path).c_str(), L"rb");
  if (file == nullptr) {
    *error = "cannot open " + path + ": " + strerror(errno);
    return false;
  }
  bool ok = ReadStream(file, bytes);
  fclose(file);
  if (!ok) *error = "cannot read " + path;
  return ok;
}
