// Replies to the extension: {"id": N, "result": R} or {"id": N, "error": {"code": C, "message": T}},
// never longer than the browsers take from a host (a longer one becomes error 607).
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "tools/bridge/protocol.h"

namespace bridge {

// A reply's result, in one of the protocol's shapes.
struct Result {
  enum Kind {
    Null,      // null
    True,      // true
    Text,      // "text"
    Texts,     // ["texts", ...]
    Received,  // {"received": received}
    Status,    // {"host": host, "module": "loaded"|"missing", "policy": policy, "version": text}
  };
  Kind kind = Null;
  std::string text;
  std::vector<std::string> texts;
  uint32_t received = 0;
  std::string host;
  bool loaded = false;
  bool policy = false;
};

std::string ResultReply(uint64_t id, const Result& result);
std::string ErrorReply(uint64_t id, const Failure& failure);

}  // namespace bridge
