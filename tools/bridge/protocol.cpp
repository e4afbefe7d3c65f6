#include "tools/bridge/protocol.h"

namespace bridge {
namespace {

struct ErrorText {
  ErrorCode code;
  const char* text;
};

const ErrorText kErrorTexts[] = {
    {kMalformedRequest, "malformed request"},
    {kUnknownMethod, "unknown method"},
    {kBadOrigin, "origin missing or not well-formed"},
    {kBadFrame, "frame not valid"},
    {kFrameTooLarge, "frame too large"},
    {kPartsOutOfOrder, "document parts out of order"},
    {kDocumentTooLarge, "document too large"},
    {kReplyTooLarge, "reply too large"},
    {kPluginNotLoadable, "plug-in not loadable"},
    {kInstanceNotCreated, "plug-in instance not created"},
};

}  // namespace

Failure BridgeFailure(ErrorCode code, const std::string& detail) {
  Failure failure;
  failure.code = code;
  failure.message = "?" + std::to_string(static_cast<int>(code)) + " ";
  for (const ErrorText& entry : kErrorTexts) {
    if (entry.code == code) failure.message += entry.text;
  }
  if (!detail.empty()) failure.message += " - " + detail;
  return failure;
}

}  // namespace bridge
