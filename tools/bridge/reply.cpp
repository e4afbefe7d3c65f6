#include "tools/bridge/reply.h"

#include "tools/bridge/json.h"
#include "tools/bridge/utf8.h"

namespace bridge {
namespace {

// Text that is not UTF-8 (a printer name, a message) is written with U+FFFD in place of the bad
// bytes rather than failing the reply.
void WriteText(JsonWriter& writer, const std::string& text) {
  const std::string valid = WithReplacements(text);
  writer.String(valid.data(), static_cast<rapidjson::SizeType>(valid.size()));
}

void WriteResult(JsonWriter& writer, const Result& result) {
  switch (result.kind) {
    case Result::Null: writer.Null(); break;
    case Result::True: writer.Bool(true); break;
    case Result::Text: WriteText(writer, result.text); break;
    case Result::Texts:
      writer.StartArray();
      for (const std::string& text : result.texts) WriteText(writer, text);
      writer.EndArray();
      break;
    case Result::Received:
      writer.StartObject();
      writer.Key("received");
      writer.Uint(result.received);
      writer.EndObject();
      break;
    case Result::Status:
      // The keys in alphabetical order, as the extension's tests and logs have them.
      writer.StartObject();
      writer.Key("host");
      WriteText(writer, result.host);
      writer.Key("module");
      writer.String(result.loaded ? "loaded" : "missing");
      writer.Key("policy");
      writer.Bool(result.policy);
      writer.Key("version");
      WriteText(writer, result.text);
      writer.EndObject();
      break;
  }
}

std::string Limited(uint64_t id, const JsonText& reply) {
  if (reply.GetSize() <= kMaxReplyBytes) return std::string(reply.GetString(), reply.GetSize());
  const std::string detail = std::to_string(reply.GetSize()) + " bytes";
  return ErrorReply(id, BridgeFailure(kReplyTooLarge, detail));
}

}  // namespace

// The id first, as the extension's readers of a log expect it.
std::string ResultReply(uint64_t id, const Result& result) {
  JsonText reply;
  JsonWriter writer(reply);
  writer.StartObject();
  writer.Key("id");
  writer.Uint64(id);
  writer.Key("result");
  WriteResult(writer, result);
  writer.EndObject();
  return Limited(id, reply);
}

std::string ErrorReply(uint64_t id, const Failure& failure) {
  JsonText reply;
  JsonWriter writer(reply);
  writer.StartObject();
  writer.Key("id");
  writer.Uint64(id);
  writer.Key("error");
  writer.StartObject();
  writer.Key("code");
  writer.Int(failure.code);
  writer.Key("message");
  WriteText(writer, failure.message);
  writer.EndObject();
  writer.EndObject();
  return Limited(id, reply);
}

}  // namespace bridge
