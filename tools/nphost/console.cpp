#include "tools/nphost/console.h"

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

void UseBinaryStreams() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

void WriteOut(const std::string& text) {
  fwrite(text.data(), 1, text.size(), stdout);
  fflush(stdout);
}

void WriteErr(const std::string& text) {
  fwrite(text.data(), 1, text.size(), stderr);
  fflush(stderr);
}

void WriteField(const char* key, const std::string& value) {
  WriteOut(std::string(key) + ": " + value + "\n");
}
