// Replies to the extension: {"id": N, "result": R} or {"id": N, "error": {"code": C, "message": T}},
// never longer than the browsers take from a host (a longer one becomes error 607).
#pragma once

#include <stdint.h>

#include <string>

#include <nlohmann/json.hpp>

#include "tools/bridge/protocol.h"

namespace bridge {

std::string ResultReply(uint64_t id, const nlohmann::json& result);
std::string ErrorReply(uint64_t id, const Failure& failure);

}  // namespace bridge
