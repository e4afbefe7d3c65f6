// Which processor a PE file is built for, read from its headers without loading it, so that the host
// knows whether it may load a module (a 64-bit process cannot load a 32-bit DLL, nor the reverse).
#pragma once

#include <stdint.h>

#include <string>

// IMAGE_FILE_MACHINE_* of the file, or 0 when it cannot be read or is no PE file.
uint16_t ModuleMachine(const std::string& path);
// The machine this host runs as.
uint16_t HostMachine();
// "i386", "x86-64", ... for display.
std::string MachineName(uint16_t machine);
