#include "tools/bridge/request.h"

#include <string.h>

#include <nlohmann/json.hpp>

#include "plugin/origin.h"

namespace bridge {
namespace {

using nlohmann::json;

struct MethodName {
  const char* name;
  Method method;
};

const MethodName kMethods[] = {
    {"print", MethodPrint},
    {"getPrinters", MethodGetPrinters},
    {"getMacAddresses", MethodGetMacAddresses},
    {"getVersion", MethodGetVersion},
    {"getLastError", MethodGetLastError},
    {"status", MethodStatus},
};

// A method name quoted in a message is cut here, so that an error reply stays small.
const size_t kMaxQuotedName = 64;

// The events of a JSON parse that keep only the top-level "id": enough of a broken or oversized frame
// to address an error reply to its request.
class IdSniffer : public nlohmann::json_sax<json> {
 public:
  bool found = false;
  uint64_t id = 0;

  bool null() override { return Value(); }
  bool boolean(bool) override { return Value(); }
  bool number_integer(number_integer_t) override { return Value(); }
  bool number_unsigned(number_unsigned_t value) override {
    if (idNext_ && value <= kMaxId) {
      found = true;
      id = value;
      return false;  // nothing more is needed
    }
    return Value();
  }
  bool number_float(number_float_t, const string_t&) override { return Value(); }
  bool string(string_t&) override { return Value(); }
  bool binary(binary_t&) override { return Value(); }
  bool start_object(size_t) override { return Open(); }
  bool key(string_t& name) override {
    idNext_ = depth_ == 1 && name == "id";
    return true;
  }
  bool end_object() override { return Close(); }
  bool start_array(size_t) override {
    // A top-level array has no id.
    return depth_ == 0 ? false : Open();
  }
  bool end_array() override { return Close(); }
  bool parse_error(size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

 private:
  int depth_ = 0;
  bool idNext_ = false;
  bool Value() {
    // The first top-level id that is not an id ends the search: a later one would be a duplicate key.
    if (idNext_) return false;
    return depth_ > 0;
  }
  bool Open() {
    if (idNext_) return false;
    ++depth_;
    return true;
  }
  bool Close() {
    --depth_;
    return depth_ > 0;
  }
};

bool ReadId(const json& value, uint64_t* id) {
  if (!value.is_number_unsigned()) return false;  // nlohmann types a non-negative integer so
  const uint64_t number = value.get<uint64_t>();
  if (number > kMaxId) return false;
  *id = number;
  return true;
}

bool WellFormedOrigin(const std::string& text) {
  if (text.size() >= sizeof(AsciiOrigin::text) || memchr(text.data(), '\0', text.size()) != nullptr) {
    return false;
  }
  AsciiOrigin ascii;
  Origin origin;
  return ParsePageOrigin(text.c_str(), &ascii, &origin);
}

// A part number field: absent (0), or an integer in 1..max.
bool ReadCount(const json& object, const char* name, uint32_t max, uint32_t* count) {
  auto found = object.find(name);
  *count = 0;
  if (found == object.end()) return true;
  if (!found->is_number_unsigned()) return false;
  const uint64_t value = found->get<uint64_t>();
  if (value < 1 || value > max) return false;
  *count = static_cast<uint32_t>(value);
  return true;
}

ParseOutcome Refuse(Failure* failure, ErrorCode code, const std::string& detail) {
  *failure = BridgeFailure(code, detail);
  return RequestRefused;
}

ParseOutcome ReadPrintFields(json& object, Request* request, Failure* failure) {
  auto data = object.find("data");
  if (data == object.end() || !data->is_string()) {
    return Refuse(failure, kMalformedRequest, "print needs data as a string");
  }
  request->data = std::move(data->get_ref<std::string&>());
  auto printer = object.find("printer");
  if (printer != object.end()) {
    if (!printer->is_string()) return Refuse(failure, kMalformedRequest, "printer must be a string");
    request->hasPrinter = true;
    request->printer = printer->get<std::string>();
  }
  const bool countsRead = ReadCount(object, "parts", UINT32_MAX, &request->parts) &&
                          ReadCount(object, "part", request->parts, &request->part);
  if (!countsRead || (request->part == 0) != (request->parts == 0) || request->parts == 1) {
    return Refuse(failure, kMalformedRequest, "part and parts must be integers, 1 <= part <= parts, parts >= 2");
  }
  return RequestParsed;
}

}  // namespace

bool SniffId(const std::string& text, uint64_t* id) {
  IdSniffer sniffer;
  json::sax_parse(text, &sniffer, json::input_format_t::json, false);
  if (sniffer.found) *id = sniffer.id;
  return sniffer.found;
}

ParseOutcome ParseRequest(std::string* body, Request* request, Failure* failure) {
  *request = Request();
  json object = json::parse(*body, nullptr, false);
  if (object.is_discarded()) {
    if (!SniffId(*body, &request->id)) {
      *failure = BridgeFailure(kBadFrame, "JSON that does not parse, without a readable id");
      return RequestWithoutId;
    }
    return Refuse(failure, kBadFrame, "JSON that does not parse");
  }
  std::string().swap(*body);  // the parsed text is all that is needed now: a large frame is held once
  auto id = object.is_object() ? object.find("id") : object.end();
  if (id == object.end() || !ReadId(*id, &request->id)) {
    *failure = BridgeFailure(kMalformedRequest, "no object with an integer id from 0 to 2^53-1");
    return RequestWithoutId;
  }
  auto method = object.find("method");
  if (method == object.end() || !method->is_string()) {
    return Refuse(failure, kMalformedRequest, "method must be a string");
  }
  const std::string& name = method->get_ref<const std::string&>();
  const MethodName* known = nullptr;
  for (const MethodName& entry : kMethods) {
    if (name == entry.name) known = &entry;
  }
  if (known == nullptr) {
    return Refuse(failure, kUnknownMethod,
                  name.size() > kMaxQuotedName ? name.substr(0, kMaxQuotedName) + "..." : name);
  }
  request->method = known->method;
  auto origin = object.find("origin");
  if (origin == object.end() || !origin->is_string() || !WellFormedOrigin(origin->get<std::string>())) {
    *failure = BridgeFailure(kBadOrigin);
    return RequestRefused;
  }
  request->origin = origin->get<std::string>();
  if (request->method == MethodPrint) return ReadPrintFields(object, request, failure);
  return RequestParsed;
}

}  // namespace bridge
