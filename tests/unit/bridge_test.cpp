// The native-messaging host's frames and dispatch, through the host and the doubles: scripted byte
// streams in, the replies and the printed jobs out. Each stream runs twice, handed over at once and
// one byte a read, so that a short read never changes an answer. After each, nothing is left behind.
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "host/host.h"
#include "plugin/entry_points.h"
#include "tests/doubles/doubles.h"
#include "tests/doubles/enum_printers_double.h"
#include "tests/doubles/interfaces_double.h"
#include "tests/doubles/registry_double.h"
#include "tests/doubles/spooler_double.h"
#include "tools/bridge/bridge.h"
#include "tools/bridge/utf8.h"

namespace {

const char kShop[] = "https://shop.example";
const char kVersion[] = "0.0.0.11";

// A piece of the input: bytes, then `fill` spaces made as they are read (a large frame's body costs
// no memory of the test's own).
struct Piece {
  std::string bytes;
  size_t fill = 0;
};

std::string LengthOf(uint32_t length) {
  std::string header;
  for (int shift = 0; shift < 32; shift += 8) header.push_back(static_cast<char>((length >> shift) & 0xFF));
  return header;
}

Piece Frame(const std::string& json) { return Piece{bridge::FrameOf(json), 0}; }
Piece Raw(const std::string& bytes) { return Piece{bytes, 0}; }

std::string Request(int id, const std::string& method, const std::string& more = "", const char* origin = kShop) {
  return "{\"id\":" + std::to_string(id) + ",\"origin\":\"" + origin + "\",\"method\":\"" + method + "\"" + more +
         "}";
}
Piece Call(int id, const std::string& method, const std::string& more = "", const char* origin = kShop) {
  return Frame(Request(id, method, more, origin));
}
// print of a Base64 text, or one part of one.
Piece Print(int id, const std::string& base64, const std::string& more = "", const char* origin = kShop) {
  return Call(id, "print", ",\"data\":\"" + base64 + "\"" + more, origin);
}
Piece Part(int id, int part, int parts, const std::string& base64, const char* origin = kShop) {
  return Print(id, base64, ",\"part\":" + std::to_string(part) + ",\"parts\":" + std::to_string(parts), origin);
}

std::string Result(int id, const std::string& result) {
  return "{\"id\":" + std::to_string(id) + ",\"result\":" + result + "}";
}
std::string Error(int id, int code, const std::string& message) {
  return "{\"id\":" + std::to_string(id) + ",\"error\":{\"code\":" + std::to_string(code) + ",\"message\":\"" +
         message + "\"}}";
}
std::string Received(int id, int part) { return Result(id, "{\"received\":" + std::to_string(part) + "}"); }

const std::string kPartsOutOfOrder = "?605 document parts out of order - ";
const std::string kMalformed = "?600 malformed request - ";
const std::string kPartRule = kMalformed + "part and parts must be integers, 1 <= part <= parts, parts >= 2";

// The byte source over the pieces, giving at most `step` bytes a read.
struct ScriptedInput {
  std::vector<Piece> pieces;
  size_t step;
  size_t piece = 0;
  size_t offset = 0;

  static size_t Read(void* context, char* buffer, size_t size) {
    ScriptedInput& in = *static_cast<ScriptedInput*>(context);
    size = std::min(size, in.step);
    while (in.piece < in.pieces.size()) {
      const Piece& p = in.pieces[in.piece];
      const size_t length = p.bytes.size() + p.fill;
      if (in.offset < length) {
        const size_t n = std::min(size, length - in.offset);
        const size_t fromBytes = in.offset < p.bytes.size() ? std::min(n, p.bytes.size() - in.offset) : 0;
        if (fromBytes > 0) memcpy(buffer, p.bytes.data() + in.offset, fromBytes);
        memset(buffer + fromBytes, ' ', n - fromBytes);
        in.offset += n;
        return n;
      }
      ++in.piece;
      in.offset = 0;
    }
    return 0;
  }
};

struct Session {
  std::vector<std::string> replies;
  int exitCode = -1;
  std::string problem;
  std::vector<std::string> origins;  // instances at the end, least recently used first
};

bool CollectReply(void* context, const std::string& frame) {
  // Every frame written is a length and exactly that much JSON, never over the browsers' limit.
  EXPECT_GE(frame.size(), 4u);
  const std::string json = frame.substr(4);
  EXPECT_EQ(frame.substr(0, 4), LengthOf(static_cast<uint32_t>(json.size())));
  EXPECT_LE(json.size(), bridge::kMaxReplyBytes);
  static_cast<Session*>(context)->replies.push_back(json);
  return true;
}

host::PluginEntryPoints ModuleEntryPoints() {
  return host::PluginEntryPoints{NP_GetEntryPoints, NP_Initialize, NP_Shutdown, NP_GetMIMEDescription, NP_GetValue};
}

bool LoadLinkedModule(host::PluginEntryPoints* entryPoints, std::string*) {
  *entryPoints = ModuleEntryPoints();
  return true;
}

bool LoadNothing(host::PluginEntryPoints*, std::string* error) {
  *error = "cannot load nptovi32.dll (error 126)";
  return false;
}

// Small document limits, so that the limits' cases need no hundreds of MiB.
const bridge::DocumentLimits kSmallLimits{8, 16};

struct StreamCase {
  const char* what;
  std::vector<Piece> input;
  std::vector<std::string> replies;
  int exitCode;                                 // 0: the input ended; 1: the session stopped
  std::vector<std::string> printed;             // the jobs the spooler received
  std::function<void()> setup = [] {};          // printers, interfaces, the policy
  bridge::ModuleLoader loader = LoadLinkedModule;
};

void PrintTo(const StreamCase& c, std::ostream* out) { *out << c.what; }

void PlainMachine() {
  doubles::SetPrinters({"Label", "B\xC3\xBCro"});
  doubles::AddPrinter("Label");
  doubles::AddPrinter("B\xC3\xBCro");
  doubles::SetDefaultPrinter("Label");
  doubles::SetAnsiCodePage(CP_UTF8);
  doubles::SetInterfaces({doubles::LoopbackRow(), doubles::EthernetRow({0, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E})});
}

void ShopOnlyPolicy() {
  PlainMachine();
  doubles::SetPolicyValue("AllowedOrigins", REG_MULTI_SZ, doubles::MultiString({kShop}));
}

// Printer names whose list makes a getPrinters reply to id 1 of exactly `replyBytes` bytes:
// {"id":1,"result":["...","..."]} is 20 bytes, each name 2 more and a comma between names.
std::vector<std::string> NamesForReply(size_t replyBytes) {
  const size_t count = 5000;
  const size_t letters = replyBytes - 20 - 2 * count - (count - 1);
  std::vector<std::string> names;
  for (size_t i = 0; i < count; ++i) {
    std::string name = "Printer " + std::to_string(i) + " ";
    name.resize(letters / count + (i < letters % count ? 1 : 0), 'x');
    names.push_back(name);
  }
  return names;
}

std::string ListOf(const std::vector<std::string>& names) {
  std::string list;
  for (const std::string& name : names) list += (list.empty() ? "[\"" : ",\"") + name + "\"";
  return list + "]";
}

std::function<void()> PrintersForReply(size_t replyBytes) {
  return [replyBytes] { doubles::SetPrinters(NamesForReply(replyBytes)); };
}

const StreamCase kStreams[] = {
    {"every method answered",
     {Call(1, "getVersion"), Call(2, "getLastError"), Call(3, "getPrinters"), Call(4, "getMacAddresses"),
      Call(5, "status"), Print(6, "QUJD"), Print(7, "RA==", ",\"printer\":\"B\xC3\xBCro\"")},
     {Result(1, "\"0.0.0.11\""), Result(2, "null"), Result(3, "[\"Label\",\"B\xC3\xBCro\"]"),
      Result(4, "[\"00:1A:2B:3C:4D:5E\"]"),
      Result(5, "{\"host\":\"0.0.0.11\",\"module\":\"loaded\",\"policy\":false,\"version\":\"0.0.0.11\"}"),
      Result(6, "true"), Result(7, "true")},
     0,
     {"ABC", "D"},
     PlainMachine},
    {"a module failure keeps its code and text; getLastError then has it",
     {Print(1, "QUJD", ",\"printer\":\"Nope\""), Call(2, "getLastError")},
     {Error(1, 412, "?412 print failed - no such printer / no printers installed"),
      Result(2, "\"?412 print failed - no such printer / no printers installed\"")},
     0,
     {},
     PlainMachine},
    {"the empty input", {}, {}, 0, {}},
    {"the length cut short", {Call(1, "getVersion"), Raw(std::string("\x10\x00", 2))}, {Result(1, "\"0.0.0.11\"")}, 1, {}},
    {"the body cut short", {Raw(LengthOf(40) + "{\"id\":1,")}, {}, 1, {}},
    {"a frame over 64 MiB with an id: 604, and the next frame is read",
     {Raw(LengthOf(bridge::kMaxFrameBytes + 1) + Request(1, "getVersion")),
      Piece{"", bridge::kMaxFrameBytes + 1 - Request(1, "getVersion").size()}, Call(2, "getVersion")},
     {Error(1, 604, "?604 frame too large"), Result(2, "\"0.0.0.11\"")},
     0,
     {}},
    {"a huge length and no body", {Raw(LengthOf(0xFFFFFFFFu) + "{\"id\":1")}, {}, 1, {}},
    {"a frame over 64 MiB without an id at its start",
     {Raw(LengthOf(bridge::kMaxFrameBytes + 1)), Piece{"", bridge::kMaxFrameBytes + 1}}, {}, 1, {}},
    {"a frame of 0 bytes", {Raw(LengthOf(0)), Call(1, "getVersion")}, {}, 1, {}},
    {"a frame of 1 byte", {Raw(LengthOf(1) + "1")}, {}, 1, {}},
    {"JSON that does not parse, with an id",
     {Frame("{\"id\":7,\"method\":\"print\",\"data\":\"QU"), Call(8, "getVersion")},
     {Error(7, 603, "?603 frame not valid - JSON that does not parse"), Result(8, "\"0.0.0.11\"")},
     0,
     {}},
    {"JSON that does not parse, without an id", {Frame("{\"method\":\"print\",")}, {}, 1, {}},
    {"text that is not UTF-8", {Frame("{\"id\":3,\"origin\":\"https://shop.example\",\"method\":\"g\xFF\"}")},
     {Error(3, 603, "?603 frame not valid - JSON that does not parse")}, 0, {}},
    {"a NUL byte after the JSON", {Frame(Request(4, "getVersion") + std::string(1, '\0') + "x")},
     {Error(4, 603, "?603 frame not valid - JSON that does not parse")}, 0, {}},
    {"a lone low surrogate escaped", {Frame("{\"id\":5,\"x\":\"\\udc00\",\"origin\":\"https://shop.example\"}")},
     {Error(5, 603, "?603 frame not valid - JSON that does not parse")}, 0, {}},
    {"a byte order mark before the JSON", {Frame("\xEF\xBB\xBF" + Request(6, "getVersion"))},
     {Result(6, "\"0.0.0.11\"")}, 0, {}},
    {"a repeated field: the last counts, but the first id addresses a broken frame",
     {Frame("{\"id\":1,\"id\":2,\"origin\":\"https://shop.example\",\"method\":\"print\",\"method\":\"getVersion\"}"),
      Frame("{\"id\":3,\"id\":4,\"origin\":")},
     {Result(2, "\"0.0.0.11\""), Error(3, 603, "?603 frame not valid - JSON that does not parse")}, 0, {}},
    {"an id of -0", {Frame("{\"id\":-0,\"origin\":\"https://shop.example\",\"method\":\"getVersion\"}")}, {}, 1, {}},
    {"escapes in the data and the printer, decoded in place",
     {Print(1, "\\u0051UJ\\/", ",\"printer\":\"B\\u00fcro\"")}, {Result(1, "true")}, 0, {"AB\x7F"}, PlainMachine},
    {"nesting a million deep answers without recursion",
     {Call(1, "getVersion", ",\"x\":" + std::string(1000000, '[') + std::string(1000000, ']')),
      Frame("{\"id\":2,\"x\":" + std::string(1000000, '['))},
     {Result(1, "\"0.0.0.11\""), Error(2, 603, "?603 frame not valid - JSON that does not parse")}, 0, {}},
    {"a method name cut inside a character: U+FFFD in the reply",
     {Call(1, std::string(63, 'm') + "\xC3\xBC")},
     {Error(1, 601, "?601 unknown method - " + std::string(63, 'm') + "\xEF\xBF\xBD...")}, 0, {}},
    {"not an object", {Frame("[1,2]")}, {}, 1, {}},
    {"an id as text", {Frame("{\"id\":\"1\",\"origin\":\"https://shop.example\",\"method\":\"getVersion\"}")}, {}, 1, {}},
    {"a negative id", {Frame("{\"id\":-1,\"origin\":\"https://shop.example\",\"method\":\"getVersion\"}")}, {}, 1, {}},
    {"a fractional id", {Frame("{\"id\":1.5,\"origin\":\"https://shop.example\",\"method\":\"getVersion\"}")}, {}, 1, {}},
    {"an id past 2^53-1", {Frame("{\"id\":9007199254740992,\"origin\":\"https://shop.example\",\"method\":\"status\"}")},
     {}, 1, {}},
    {"the largest id", {Frame("{\"id\":9007199254740991,\"origin\":\"https://shop.example\",\"method\":\"getVersion\"}")},
     {"{\"id\":9007199254740991,\"result\":\"0.0.0.11\"}"}, 0, {}},
    {"fields of the wrong type",
     {Frame("{\"id\":1,\"origin\":\"https://shop.example\",\"method\":7}"), Call(2, "print", ",\"data\":[]"),
      Call(3, "print", ",\"data\":5"), Call(4, "print"), Print(5, "QUJD", ",\"printer\":null"),
      Print(6, "QUJD", ",\"part\":1"), Print(7, "QUJD", ",\"part\":1,\"parts\":1"),
      Print(8, "QUJD", ",\"part\":3,\"parts\":2"), Print(9, "QUJD", ",\"part\":\"1\",\"parts\":2"),
      Print(10, "QUJD", ",\"part\":0,\"parts\":2")},
     {Error(1, 600, kMalformed + "method must be a string"), Error(2, 600, kMalformed + "print needs data as a string"),
      Error(3, 600, kMalformed + "print needs data as a string"), Error(4, 600, kMalformed + "print needs data as a string"),
      Error(5, 600, kMalformed + "printer must be a string"), Error(6, 600, kPartRule), Error(7, 600, kPartRule),
      Error(8, 600, kPartRule), Error(9, 600, kPartRule), Error(10, 600, kPartRule)},
     0,
     {},
     PlainMachine},
    {"an unknown method, its name cut in the message",
     {Call(1, "printAll"), Call(2, std::string(100, 'm'))},
     {Error(1, 601, "?601 unknown method - printAll"),
      Error(2, 601, "?601 unknown method - " + std::string(64, 'm') + "...")},
     0,
     {}},
    {"origins missing or not well-formed",
     {Frame("{\"id\":1,\"method\":\"getVersion\"}"), Frame("{\"id\":2,\"origin\":5,\"method\":\"getVersion\"}"),
      Call(3, "getVersion", "", "null"), Call(4, "getVersion", "", "https://shop.example/page"),
      Call(5, "getVersion", "", "shop.example"), Frame("{\"id\":6,\"origin\":\"https://a\\u0000.example\",\"method\":\"status\"}")},
     {Error(1, 602, "?602 origin missing or not well-formed"), Error(2, 602, "?602 origin missing or not well-formed"),
      Error(3, 602, "?602 origin missing or not well-formed"), Error(4, 602, "?602 origin missing or not well-formed"),
      Error(5, 602, "?602 origin missing or not well-formed"), Error(6, 602, "?602 origin missing or not well-formed")},
     0,
     {}},
    {"a document in three parts, the printer of part 1",
     {Part(1, 1, 3, "QUJD"), Part(2, 2, 3, "REVG"), Part(3, 3, 3, "Rw==")},
     {Received(1, 1), Received(2, 2), Result(3, "true")},
     0,
     {"ABCDEFG"},
     PlainMachine},
    {"the printer named in part 1 only",
     {Print(1, "QUJD", ",\"part\":1,\"parts\":2,\"printer\":\"B\xC3\xBCro\""),
      Print(2, "RA==", ",\"part\":2,\"parts\":2,\"printer\":\"Nope\"")},
     {Received(1, 1), Result(2, "true")},
     0,
     {"ABCD"},
     PlainMachine},
    {"parts out of order",
     {Part(1, 1, 3, "QUJD"), Part(2, 3, 3, "REVG"), Part(3, 2, 3, "REVG"), Part(4, 2, 2, "QUJD")},
     {Received(1, 1), Error(2, 605, kPartsOutOfOrder + "part 3 of 3 came where part 2 of 3 from https://shop.example was due"),
      Error(3, 605, kPartsOutOfOrder + "part 2 of 3 came where part 1 was due"),
      Error(4, 605, kPartsOutOfOrder + "part 2 of 2 came where part 1 was due")},
     0,
     {},
     PlainMachine},
    {"a part missing: the next document begins",
     {Part(1, 1, 3, "QUJD"), Part(2, 2, 3, "REVG"), Part(3, 1, 2, "QUJD"), Part(4, 2, 2, "QUJD")},
     {Received(1, 1), Received(2, 2),
      Error(3, 605, kPartsOutOfOrder + "part 1 came before the last part of the document before"),
      Error(4, 605, kPartsOutOfOrder + "part 2 of 2 came where part 1 was due")},
     0,
     {},
     PlainMachine},
    {"another request between the parts",
     {Part(1, 1, 2, "QUJD"), Call(2, "getVersion"), Part(3, 2, 2, "REVG"), Print(4, "QUJD")},
     {Received(1, 1), Error(2, 605, kPartsOutOfOrder + "a request came between the parts of a document"),
      Error(3, 605, kPartsOutOfOrder + "part 2 of 2 came where part 1 was due"), Result(4, "true")},
     0,
     {"ABC"},
     PlainMachine},
    {"a broken frame between the parts drops the document",
     {Part(1, 1, 2, "QUJD"), Frame("{\"id\":2,"), Part(3, 2, 2, "REVG")},
     {Received(1, 1), Error(2, 603, "?603 frame not valid - JSON that does not parse"),
      Error(3, 605, kPartsOutOfOrder + "part 2 of 2 came where part 1 was due")},
     0,
     {},
     PlainMachine},
    {"a part from another origin", {Part(1, 1, 2, "QUJD"), Part(2, 2, 2, "REVG", "https://other.example")},
     {Received(1, 1),
      Error(2, 605, kPartsOutOfOrder + "part 2 of 2 came where part 2 of 2 from https://shop.example was due")},
     0,
     {},
     PlainMachine},
    {"a part of another count", {Part(1, 1, 2, "QUJD"), Part(2, 2, 3, "REVG")},
     {Received(1, 1),
      Error(2, 605, kPartsOutOfOrder + "part 2 of 3 came where part 2 of 2 from https://shop.example was due")},
     0,
     {},
     PlainMachine},
};

// The streams whose document limits are the small ones.
const StreamCase kLimitStreams[] = {
    {"parts that join to over the limit",
     {Part(1, 1, 3, "QUJDREVG"), Part(2, 2, 3, "QUJDREVG"), Part(3, 3, 3, "QUJD"), Part(4, 2, 3, "QUJD")},
     {Received(1, 1), Received(2, 2), Error(3, 606, "?606 document too large - the parts join to over 16 bytes"),
      Error(4, 605, kPartsOutOfOrder + "part 2 of 3 came where part 1 was due")},
     0,
     {},
     PlainMachine},
    {"a part over the limit", {Part(1, 1, 2, "QUJDREVGRw==")},
     {Error(1, 606, "?606 document too large - a part over 8 bytes")}, 0, {}, PlainMachine},
    {"a whole document is not held to the part limit", {Print(1, "QUJDREVGR0hJSktM")}, {Result(1, "true")}, 0,
     {"ABCDEFGHIJKL"}, PlainMachine},
};

const StreamCase kPolicyStreams[] = {
    {"the policy decides per origin",
     {Call(1, "getPrinters"), Call(2, "getPrinters", "", "https://evil.example"), Print(3, "QUJD", "", "https://evil.example"),
      Call(4, "getMacAddresses", "", "https://evil.example"), Call(5, "getVersion", "", "https://evil.example"),
      Call(6, "status", "", "https://evil.example"), Print(7, "RA==")},
     {Result(1, "[\"Label\",\"B\xC3\xBCro\"]"), Error(2, 501, "?501 access denied - this site may not use the plug-in"),
      Error(3, 501, "?501 access denied - this site may not use the plug-in"),
      Error(4, 501, "?501 access denied - this site may not use the plug-in"), Result(5, "\"0.0.0.11\""),
      Result(6, "{\"host\":\"0.0.0.11\",\"module\":\"loaded\",\"policy\":true,\"version\":\"0.0.0.11\"}"),
      Result(7, "true")},
     0,
     {"D"},
     ShopOnlyPolicy},
    {"a document in parts refused by the policy prints nothing",
     {Part(1, 1, 2, "QUJD", "https://evil.example"), Part(2, 2, 2, "REVG", "https://evil.example")},
     {Received(1, 1), Error(2, 501, "?501 access denied - this site may not use the plug-in")},
     0,
     {},
     ShopOnlyPolicy},
    {"each origin has its own last error",
     {Print(1, "QUJD", ",\"printer\":\"Nope\""), Call(2, "getLastError", "", "https://other.example"),
      Call(3, "getLastError")},
     {Error(1, 412, "?412 print failed - no such printer / no printers installed"), Result(2, "null"),
      Result(3, "\"?412 print failed - no such printer / no printers installed\"")},
     0,
     {},
     PlainMachine},
    {"the module not loadable",
     {Call(1, "getVersion"), Call(2, "status")},
     {Error(1, 608, "?608 plug-in not loadable - cannot load nptovi32.dll (error 126)"),
      Result(2, "{\"host\":\"0.0.0.11\",\"module\":\"missing\",\"policy\":false,\"version\":\"\"}")},
     0,
     {},
     PlainMachine,
     LoadNothing},
    {"a reply of 1 MiB is sent", {Call(1, "getPrinters")},
     {Result(1, ListOf(NamesForReply(bridge::kMaxReplyBytes)))}, 0, {}, PrintersForReply(bridge::kMaxReplyBytes)},
    {"a reply one byte over 1 MiB becomes 607", {Call(1, "getPrinters"), Call(2, "getVersion")},
     {Error(1, 607, "?607 reply too large - 1048577 bytes"), Result(2, "\"0.0.0.11\"")}, 0, {},
     PrintersForReply(bridge::kMaxReplyBytes + 1)},
};

class BridgeTest : public ::testing::TestWithParam<StreamCase> {
 protected:
  void SetUp() override {
    doubles::Reset();
    host::SetDocumentOrigin(nullptr);
    before_ = host::GetCounters();
  }

  // Runs the stream through a bridge of its own, which is gone (instances destroyed, plug-in shut
  // down) when this returns.
  Session Run(const StreamCase& c, size_t step, bridge::DocumentLimits limits = bridge::DocumentLimits()) {
    doubles::Reset();
    c.setup();
    Session session;
    ScriptedInput input{c.input, step};
    {
      bridge::Bridge bridge(c.loader, limits);
      session.exitCode = bridge::Serve(bridge, bridge::ByteSource{ScriptedInput::Read, &input},
                                       bridge::FrameSink{CollectReply, &session}, &session.problem);
      session.origins = bridge.InstanceOrigins();
    }
    return session;
  }

  void Check(const StreamCase& c, bridge::DocumentLimits limits = bridge::DocumentLimits()) {
    for (size_t step : {size_t(1) << 30, size_t(1)}) {
      // One byte a read is for the small streams; the 64 MiB ones take it in large reads only.
      size_t total = 0;
      for (const Piece& p : c.input) total += p.bytes.size() + p.fill;
      if (step == 1 && total > (1u << 20)) continue;
      SCOPED_TRACE(step == 1 ? "one byte a read" : "all at once");
      const Session session = Run(c, step, limits);
      EXPECT_EQ(session.replies, c.replies);
      EXPECT_EQ(session.exitCode, c.exitCode) << session.problem;
      EXPECT_EQ(doubles::PrintedJobs(), c.printed);
      const host::Counters after = host::GetCounters();
      EXPECT_EQ(after.memAllocBlocks, before_.memAllocBlocks) << "NPN_MemAlloc blocks left outstanding";
      EXPECT_EQ(after.liveObjects, before_.liveObjects) << "script objects left alive";
      EXPECT_EQ(after.badReleases + after.badObjectReleases, before_.badReleases + before_.badObjectReleases);
      EXPECT_EQ(doubles::LiveBlocks(), 0u) << "module heap blocks left allocated";
      EXPECT_EQ(doubles::OpenRegistryKeys(), 0u);
    }
  }

 private:
  host::Counters before_;
};

TEST_P(BridgeTest, Streams) { Check(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Frames, BridgeTest, ::testing::ValuesIn(kStreams));
INSTANTIATE_TEST_SUITE_P(Policy, BridgeTest, ::testing::ValuesIn(kPolicyStreams));

class BridgeLimitTest : public BridgeTest {};
TEST_P(BridgeLimitTest, Streams) { Check(GetParam(), kSmallLimits); }
INSTANTIATE_TEST_SUITE_P(Limits, BridgeLimitTest, ::testing::ValuesIn(kLimitStreams));

// One instance per origin, made with the origin stated; the least recently used goes first.
TEST_F(BridgeTest, InstancesPerOriginAreBounded) {
  std::vector<Piece> input;
  std::vector<std::string> origins;
  for (size_t i = 0; i <= bridge::kMaxInstances; ++i) origins.push_back("https://s" + std::to_string(i) + ".example");
  for (size_t i = 0; i < origins.size(); ++i) {
    input.push_back(Call(static_cast<int>(i), "getVersion", "", origins[i].c_str()));
    if (i == 2) input.push_back(Call(100, "getVersion", "", origins[0].c_str()));  // s0 used again: s1 is oldest
  }
  const Session session = Run(StreamCase{"", input, {}, 0, {}}, 1u << 30);
  std::vector<std::string> expected = {origins[2], origins[0]};
  expected.insert(expected.end(), origins.begin() + 3, origins.end());
  EXPECT_EQ(session.origins, expected);
  EXPECT_EQ(session.replies.size(), origins.size() + 1);
}

// The origin reaches the module the way a browser states it: a host in Unicode is matched in its
// ASCII form, so that the policy decides for the bridge as for an NPAPI browser.
TEST_F(BridgeTest, UnicodeOriginIsMatchedInAsciiForm) {
  const StreamCase c{"",
                     {Call(1, "getPrinters", "", "https://t\xC5\x8Dky\xC5\x8D.example")},
                     {Result(1, "[\"Label\",\"B\xC3\xBCro\"]")},
                     0,
                     {},
                     [] {
                       PlainMachine();
                       doubles::SetPolicyValue("AllowedOrigins", REG_MULTI_SZ,
                                               doubles::MultiString({"https://xn--tky-qxac.example"}));
                     }};
  Check(c);
}

}  // namespace

namespace {

// status's "policy": whether an administrator's list decides which sites may print.
struct PolicySetCase {
  const char* what;
  std::function<void()> registry;
  bool set;
};

const PolicySetCase kPolicySetCases[] = {
    {"no key", [] {}, false},
    {"a key without values", doubles::SetPolicyKey, false},
    {"hardware addresses only", [] { doubles::SetPolicyValue("AllowHardwareAddresses", REG_DWORD, doubles::DwordBytes(0)); },
     false},
    {"a list of origins", ShopOnlyPolicy, true},
    {"an empty list", [] { doubles::SetPolicyValue("AllowedOrigins", REG_MULTI_SZ, doubles::MultiString({})); }, true},
    {"a list of the wrong type", [] { doubles::SetPolicyValue("AllowedOrigins", REG_SZ, {'a', 0}); }, true},
    {"a key that cannot be read", [] { doubles::FailPolicyKeyOpen(ERROR_ACCESS_DENIED); }, true},
};

TEST_F(BridgeTest, StatusSaysWhetherAPolicyIsSet) {
  for (const PolicySetCase& c : kPolicySetCases) {
    SCOPED_TRACE(c.what);
    doubles::Reset();
    c.registry();
    bridge::Bridge bridge(LoadLinkedModule);
    const bridge::ModuleStatus status = bridge.Status(std::string());
    EXPECT_EQ(status.policy, c.set);
    EXPECT_TRUE(status.loaded);
    EXPECT_EQ(status.version, kVersion);
    EXPECT_EQ(doubles::OpenRegistryKeys(), 0u);
  }
}

}  // namespace

namespace {

// Text checked on its way in and mended on its way out: each ill-formed sequence one U+FFFD.
struct Utf8Case {
  const char* what;
  std::string text;
  bool valid;
  std::string mended;
};

const std::string kFffd = "\xEF\xBF\xBD";

const Utf8Case kUtf8Cases[] = {
    {"ASCII longer than a word", "QUJDREVGR0hJSktMTU5P", true, "QUJDREVGR0hJSktMTU5P"},
    {"two, three and four bytes", "\xC3\xBC \xE2\x82\xAC \xF0\x9F\x96\xA8", true, "\xC3\xBC \xE2\x82\xAC \xF0\x9F\x96\xA8"},
    {"the last scalar value", "\xF4\x8F\xBF\xBF", true, "\xF4\x8F\xBF\xBF"},
    {"a continuation byte alone", "a\x80" "b", false, "a" + kFffd + "b"},
    {"overlong forms", "\xC0\x80\xE0\x9F\xBF", false, kFffd + kFffd + kFffd + kFffd + kFffd},
    {"a surrogate", "\xED\xA0\x80", false, kFffd + kFffd + kFffd},
    {"past U+10FFFF", "\xF4\x90\x80\x80\xF5", false, kFffd + kFffd + kFffd + kFffd + kFffd},
    {"a sequence cut by ASCII: the ASCII kept", "\xE2\x82x", false, kFffd + "x"},
    {"a sequence cut by a lead byte: the next one kept", "\xE2\xC3\xBC", false, kFffd + "\xC3\xBC"},
    {"a sequence cut by the end", "ok\xF0\x9F\x96", false, "ok" + kFffd},
    {"after eight bytes of ASCII", "12345678\xFF", false, "12345678" + kFffd},
};

TEST(BridgeUtf8Test, CheckedAndMended) {
  for (const Utf8Case& c : kUtf8Cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(bridge::IsUtf8(c.text.data(), c.text.size()), c.valid);
    EXPECT_EQ(bridge::WithReplacements(c.text), c.mended);
  }
}

}  // namespace
