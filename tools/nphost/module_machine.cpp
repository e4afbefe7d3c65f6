#include "tools/nphost/module_machine.h"

#include <stdio.h>
#include <windows.h>

#include "tools/nphost/text_encoding.h"

namespace {

uint32_t Little32(const unsigned char* bytes) {
  return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

bool ReadAt(FILE* file, long offset, unsigned char* bytes, size_t count) {
  return fseek(file, offset, SEEK_SET) == 0 && fread(bytes, 1, count, file) == count;
}

}  // namespace

uint16_t ModuleMachine(const std::string& path) {
  FILE* file = _wfopen(WideFromUtf8(path).c_str(), L"rb");
  if (file == nullptr) return 0;
  // The DOS header names the offset of the "PE\0\0" signature; the machine word follows it.
  unsigned char dos[64];
  unsigned char signature[6];
  uint16_t machine = 0;
  if (ReadAt(file, 0, dos, sizeof dos) && dos[0] == 'M' && dos[1] == 'Z') {
    uint32_t peOffset = Little32(dos + 0x3C);
    if (peOffset < 0x10000000 && ReadAt(file, static_cast<long>(peOffset), signature, sizeof signature) &&
        signature[0] == 'P' && signature[1] == 'E' && signature[2] == 0 && signature[3] == 0) {
      machine = static_cast<uint16_t>(signature[4] | (signature[5] << 8));
    }
  }
  fclose(file);
  return machine;
}

uint16_t HostMachine() {
#if defined(_WIN64)
  return IMAGE_FILE_MACHINE_AMD64;
#else
  return IMAGE_FILE_MACHINE_I386;
#endif
}

std::string MachineName(uint16_t machine) {
  switch (machine) {
    case IMAGE_FILE_MACHINE_I386: return "i386";
    case IMAGE_FILE_MACHINE_AMD64: return "x86-64";
    case 0: return "unknown";
    default: {
      char hex[8];
      snprintf(hex, sizeof hex, "0x%04x", machine);
      return hex;
    }
  }
}
