// libFuzzer target: the native-messaging host's frame reader, request parser and dispatch.
//
// The input is the byte stream the browser would write to the host: frames of a 4-byte length and
// JSON, or anything else. It is read once as it stands and once a few bytes at a time, by a bridge
// over the module linked in (the test doubles as the platform: two printers, one interface) with small
// document limits, so that parts and their limits are reached. Whatever the bytes, both readings must
// give the same replies; every reply must be a frame of at most 1 MiB of JSON carrying an id and
// exactly one of result or error, an error with a code the bridge or the module owns and a message
// that begins "?<code> "; and when the bridge is gone the host's books must balance. Every frame of
// the input is also checked on its own: a request the parser takes has a well-formed id and parts.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include <rapidjson/document.h>

#include "host/host.h"
#include "plugin/entry_points.h"
#include "tests/doubles/doubles.h"
#include "tests/doubles/enum_printers_double.h"
#include "tests/doubles/interfaces_double.h"
#include "tests/doubles/spooler_double.h"
#include "tools/bridge/bridge.h"
#include "tools/bridge/json.h"

namespace {

[[noreturn]] void Violation(const char* what, const std::string& detail = std::string()) {
  fprintf(stderr, "bridge_fuzz: %s: %s\n", what, detail.substr(0, 300).c_str());
  abort();
}

struct Input {
  const uint8_t* data;
  size_t size;
  size_t offset;
  size_t step;  // at most this many bytes a read
};

size_t ReadInput(void* context, char* buffer, size_t size) {
  Input& in = *static_cast<Input*>(context);
  const size_t n = std::min({size, in.size - in.offset, in.step});
  std::copy(in.data + in.offset, in.data + in.offset + n, buffer);
  in.offset += n;
  return n;
}

bool KeepReply(void* context, const std::string& frame) {
  if (frame.size() < 4) Violation("a reply without its length");
  const std::string body = frame.substr(4);
  const uint32_t length = static_cast<uint8_t>(frame[0]) | static_cast<uint8_t>(frame[1]) << 8 |
                          static_cast<uint8_t>(frame[2]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(frame[3])) << 24;
  if (length != body.size()) Violation("a reply's length is not its size", body);
  if (body.size() > bridge::kMaxReplyBytes) Violation("a reply over 1 MiB", body);
  rapidjson::Document reply;
  reply.Parse<rapidjson::kParseValidateEncodingFlag>(body.data(), body.size());
  if (reply.HasParseError()) Violation("a reply that is not UTF-8 JSON", body);
  if (!reply.IsObject() || !reply.HasMember("id") || !reply["id"].IsUint64()) Violation("a reply without an id", body);
  if (reply.HasMember("result") == reply.HasMember("error") || reply.MemberCount() != 2) {
    Violation("a reply without exactly one of result and error", body);
  }
  if (reply.HasMember("error")) {
    const rapidjson::Value& error = reply["error"];
    if (!error.IsObject() || !error.HasMember("code") || !error["code"].IsInt() || !error.HasMember("message") ||
        !error["message"].IsString()) {
      Violation("an error without code and message", body);
    }
    const int code = error["code"].GetInt();
    const std::string message(error["message"].GetString(), error["message"].GetStringLength());
    if (!((code >= 101 && code <= 502) || (code >= 600 && code <= 629))) Violation("an error code nobody owns", body);
    if (message.compare(0, 5, "?" + std::to_string(code) + " ") != 0) Violation("a message not of its code", body);
  }
  static_cast<std::vector<std::string>*>(context)->push_back(body);
  return true;
}

void Machine() {
  doubles::Reset();
  doubles::SetPrinters({"Label", "Office"});
  doubles::AddPrinter("Label");
  doubles::AddPrinter("Office");
  doubles::SetDefaultPrinter("Label");
  doubles::SetInterfaces({doubles::EthernetRow({0, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E})});
}

bool LoadModule(host::PluginEntryPoints* entryPoints, std::string*) {
  *entryPoints = host::PluginEntryPoints{NP_GetEntryPoints, NP_Initialize, NP_Shutdown, NP_GetMIMEDescription,
                                         NP_GetValue};
  return true;
}

// The replies of one session over the input, read `step` bytes at a time.
std::vector<std::string> Session(const uint8_t* data, size_t size, size_t step, int* exitCode) {
  Machine();
  const host::Counters before = host::GetCounters();
  std::vector<std::string> replies;
  Input input{data, size, 0, step};
  {
    bridge::Bridge bridge(LoadModule, bridge::DocumentLimits{12, 40});
    std::string problem;
    *exitCode = bridge::Serve(bridge, bridge::ByteSource{ReadInput, &input}, bridge::FrameSink{KeepReply, &replies},
                              &problem);
    if (bridge.InstanceOrigins().size() > bridge::kMaxInstances) Violation("more instances than the bound");
  }
  const host::Counters after = host::GetCounters();
  if (after.memAllocBlocks != before.memAllocBlocks || after.liveObjects != before.liveObjects ||
      after.badReleases != before.badReleases || after.badObjectReleases != before.badObjectReleases ||
      doubles::LiveBlocks() != 0) {
    Violation("the books do not balance after the session");
  }
  return replies;
}

// Each frame of the input on its own, through the parser.
void CheckRequests(const uint8_t* data, size_t size) {
  Input input{data, size, 0, size};
  const bridge::ByteSource source{ReadInput, &input};
  for (;;) {
    std::string body;
    const bridge::FrameStatus status = bridge::ReadFrame(source, &body);
    if (status != bridge::FrameRead) break;
    if (body.size() < 2) Violation("a frame under 2 bytes read as one");
    uint64_t sniffed = 0;
    if (bridge::SniffId(body, &sniffed) && sniffed > bridge::kMaxId) Violation("an id past 2^53-1 sniffed");
    bridge::Request request;
    bridge::Failure failure;
    const bridge::ParseOutcome outcome = bridge::ParseRequest(&body, &request, &failure);
    if (outcome == bridge::RequestParsed) {
      if (request.id > bridge::kMaxId || request.origin.empty()) Violation("a request without id or origin");
      if ((request.part == 0) != (request.parts == 0) || request.parts == 1 || request.part > request.parts) {
        Violation("parts taken out of their rule");
      }
    } else if (failure.code < 600 || failure.code > 609) {
      Violation("a refusal with a code not the bridge's", failure.message);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckRequests(data, size);
  int wholeExit = 0, pieceExit = 0;
  const std::vector<std::string> whole = Session(data, size, size + 1, &wholeExit);
  const std::vector<std::string> pieces = Session(data, size, 3, &pieceExit);
  if (whole != pieces || wholeExit != pieceExit) Violation("short reads changed the answers");
  return 0;
}
