#include "tests/doubles/doubles.h"

namespace doubles {

static std::vector<std::string>& Log() {
  static std::vector<std::string> log;
  return log;
}

const std::vector<std::string>& Calls() { return Log(); }

void Record(const std::string& call) { Log().push_back(call); }

void Reset() {
  Log().clear();
  ResetHeap();
  ResetKernel();
  ResetSpooler();
  ResetPrinterList();
  ResetInterfaces();
  ResetRegistry();
}

}  // namespace doubles
