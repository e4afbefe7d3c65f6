#include <string.h>

#include "tools/nphost/commands.h"
#include "tools/nphost/console.h"
#include "product_version.h"

const char kUsage[] =
    "usage: nphost [--plugin PATH | --discover] [--origin URL] COMMAND [ARGS] [+ COMMAND [ARGS]]...\n"
    "\n"
    "Loads an NPAPI plug-in DLL (default: beside nphost.exe, nptovi32.dll or, for the 64-bit nphost,\n"
    "nptovi64.dll), starts it the way a browser does and calls its script methods as a page would.\n"
    "Commands joined by \"+\" share one instance.\n"
    "--discover finds it as a browser of nphost's bitness does: the keys under Software\\MozillaPlugins\n"
    "(HKEY_CURRENT_USER, then HKEY_LOCAL_MACHINE, nphost's own registry view) name files whose folders\n"
    "are scanned for np*.dll; the first whose version resource's MIMEType lists\n"
    "  " NPTOVI_MIME_TYPE " is loaded (info shows the key and the file).\n"
    "--origin states the page's origin (e.g. https://shop.example.com) to the plug-in, so that a site\n"
    "policy can be checked; without it the host states none, as an older browser.\n"
    "\n"
    "commands:\n"
    "  info                              what a browser's plug-in scanner reads: the version resource;\n"
    "                                    and, for a module of nphost's bitness, its entry points' answers\n"
    "  version                           getVersion()\n"
    "  printers                          getPrinters(array): one printer name a line, UTF-8\n"
    "  macs                              getMacAddresses(array): one hardware address a line\n"
    "  last-error                        getLastError(): the kept message, or null\n"
    "  print [--printer NAME] FILE       print({data, printer}) with FILE's bytes as Base64 ('-': stdin)\n"
    "  print [--printer NAME] --base64 TEXT\n"
    "                                    print({data, printer}) with TEXT as 'data', unchanged\n"
    "        --times                     also write to standard error how long reading and encoding the\n"
    "                                    file took and how long the print call took (for benchmarks)\n"
    "\n"
    "exit status: 0 done; 1 the plug-in's call failed (its message on standard error); 2 usage error;\n"
    "             3 the host failed (module not loaded or none discovered, file not read, memory or\n"
    "               objects left over)\n";

namespace {

const Command kCommands[] = {
    {"info", RunInfo},         {"version", RunVersion}, {"printers", RunPrinters},
    {"macs", RunMacs},         {"last-error", RunLastError}, {"print", RunPrint},
};

}  // namespace

const Command* FindCommand(const std::string& name) {
  for (const Command& command : kCommands) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

ExitCode UsageError(const std::string& reason) {
  WriteErr("nphost: " + reason + "\n\n" + kUsage);
  return ExitUsage;
}
