#include "tools/bridge/reply.h"

namespace bridge {
namespace {

using nlohmann::json;

// Text that is not UTF-8 (a printer name, a message) is written with U+FFFD in place of the bad
// bytes rather than failing the reply.
std::string Dump(const json& value) { return value.dump(-1, ' ', false, json::error_handler_t::replace); }

std::string Limited(uint64_t id, std::string reply) {
  if (reply.size() <= kMaxReplyBytes) return reply;
  const std::string detail = std::to_string(reply.size()) + " bytes";
  return ErrorReply(id, BridgeFailure(kReplyTooLarge, detail));
}

}  // namespace

// The id first, as the extension's readers of a log expect it.
std::string ResultReply(uint64_t id, const json& result) {
  return Limited(id, "{\"id\":" + std::to_string(id) + ",\"result\":" + Dump(result) + "}");
}

std::string ErrorReply(uint64_t id, const Failure& failure) {
  const json error{{"code", failure.code}, {"message", failure.message}};
  return Limited(id, "{\"id\":" + std::to_string(id) + ",\"error\":" + Dump(error) + "}");
}

}  // namespace bridge
