// The native-messaging protocol between the browser extension and tovi-bridge: its limits, and the
// bridge's own failures (codes 600-629; the module's are 101-502, so a code says who failed).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

namespace bridge {

const uint32_t kMaxFrameBytes = 64u << 20;    // Chromium's own limit for a message to a host
const size_t kMaxReplyBytes = 1u << 20;       // the browsers' limit for a message from a host
const size_t kMaxPartBytes = 16u << 20;       // Base64 text in one part of a document
const size_t kMaxDocumentBytes = 256u << 20;  // the joined Base64 text of a document in parts
const uint64_t kMaxId = (uint64_t(1) << 53) - 1;  // the largest integer a JavaScript number holds exactly
const size_t kMaxInstances = 8;               // plug-in instances kept, one per origin
const size_t kIdSniffBytes = 64u << 10;       // of a frame too large to take, the bytes read for its id

enum ErrorCode {
  kMalformedRequest = 600,
  kUnknownMethod = 601,
  kBadOrigin = 602,
  kBadFrame = 603,
  kFrameTooLarge = 604,
  kPartsOutOfOrder = 605,
  kDocumentTooLarge = 606,
  kReplyTooLarge = 607,
  kPluginNotLoadable = 608,
  kInstanceNotCreated = 609,
};

// An error reply's content: the code and the text a page sees, "?NNN what - detail".
struct Failure {
  int code = 0;
  std::string message;
};

// The bridge's failure of that code; the detail (may be empty) follows the fixed text.
Failure BridgeFailure(ErrorCode code, const std::string& detail = std::string());

}  // namespace bridge
