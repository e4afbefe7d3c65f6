#include "tools/bridge/request.h"

#include <string.h>

#include "plugin/origin.h"
#include "tools/bridge/json.h"
#include "tools/bridge/utf8.h"

namespace bridge {
namespace {

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

// The top-level fields a request may have.
enum FieldName { FieldId, FieldOrigin, FieldMethod, FieldData, FieldPrinter, FieldPart, FieldParts, FieldNone };
const char* const kFieldNames[] = {"id", "origin", "method", "data", "printer", "part", "parts"};

// One top-level field's value as the parse met it; a text points into the frame, parsed in place.
struct Field {
  enum Kind { Absent, Text, Unsigned, Other };  // Unsigned: an integer without a sign
  Kind kind = Absent;
  const char* text = nullptr;
  size_t size = 0;
  uint64_t number = 0;

  std::string Copy() const { return std::string(text, size); }
};

// The events of a frame's parse, kept as the request's top-level fields (the last of a repeated
// name counts). Alongside, the top-level "id" is read the way a broken or oversized frame allows: the
// first "id" key decides, and only what came before the error counts, enough to address an error
// reply to its request. Text that is not UTF-8 ends the parse as an error.
class FrameEvents : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, FrameEvents> {
 public:
  // sniffOnly: the parse ends as soon as the id is known or cannot be.
  explicit FrameEvents(bool sniffOnly) : sniffOnly_(sniffOnly) {}

  bool objectAtTop = false;
  Field fields[FieldNone];
  bool idSniffed = false;
  uint64_t sniffedId = 0;

  bool Null() { return Value(Field()); }
  bool Bool(bool) { return Value(Field()); }
  bool Int(int) { return Value(Field()); }
  bool Int64(int64_t) { return Value(Field()); }
  bool Double(double) { return Value(Field()); }
  bool Uint(unsigned number) { return Unsigned(number); }
  bool Uint64(uint64_t number) { return Unsigned(number); }
  bool String(const char* text, rapidjson::SizeType size, bool) {
    if (!IsUtf8(text, size)) return false;
    Field field;
    field.kind = Field::Text;
    field.text = text;
    field.size = size;
    return Value(field);
  }
  bool Key(const char* name, rapidjson::SizeType size, bool) {
    if (!IsUtf8(name, size)) return false;
    if (depth_ != 1) return true;
    next_ = FieldNone;
    for (int i = 0; i < FieldNone; ++i) {
      if (strlen(kFieldNames[i]) == size && memcmp(kFieldNames[i], name, size) == 0) next_ = FieldName(i);
    }
    if (!sniffOver_) idNext_ = next_ == FieldId;
    return true;
  }
  bool StartObject() {
    if (depth_ == 0) objectAtTop = true;
    return Open();
  }
  bool EndObject(rapidjson::SizeType) { return Close(); }
  // A top-level array has no id.
  bool StartArray() { return depth_ == 0 ? EndSniff() && Open() : Open(); }
  bool EndArray(rapidjson::SizeType) { return Close(); }

 private:
  bool sniffOnly_;
  size_t depth_ = 0;
  FieldName next_ = FieldNone;  // the field whose value comes next, at the top level
  bool sniffOver_ = false;
  bool idNext_ = false;

  // False when the parse is to end here.
  bool EndSniff() {
    sniffOver_ = true;
    return !sniffOnly_;
  }
  bool Unsigned(uint64_t number) {
    if (idNext_ && !sniffOver_ && number <= kMaxId) {
      idSniffed = true;
      sniffedId = number;
      if (!EndSniff()) return false;  // nothing more is needed
    }
    Field field;
    field.kind = Field::Unsigned;
    field.number = number;
    return Value(field);
  }
  // A top-level field's value (an object or array is Other).
  void Record(Field field) {
    if (depth_ != 1 || next_ == FieldNone) return;
    if (field.kind == Field::Absent) field.kind = Field::Other;
    fields[next_] = field;
    next_ = FieldNone;
  }
  bool Value(const Field& field) {
    Record(field);
    // The first top-level id that is not one ends the search: a later one would be a repeated key.
    if (!sniffOver_ && (idNext_ || depth_ == 0)) return EndSniff();
    return true;
  }
  bool Open() {
    Record(Field());
    if (!sniffOver_ && idNext_ && !EndSniff()) return false;
    ++depth_;
    return true;
  }
  bool Close() {
    --depth_;
    return depth_ > 0 || EndSniff();
  }
};

const char kByteOrderMark[] = "\xEF\xBB\xBF";

// Parses the text in place (it is changed), from after a byte order mark if it has one. The text
// must have kJsonScanSlack bytes of room after it. True when it is one JSON value and nothing else.
bool ParseInPlace(std::string* text, FrameEvents* events) {
  const size_t skip = text->compare(0, 3, kByteOrderMark) == 0 ? 3 : 0;
  rapidjson::InsituStringStream stream(&(*text)[0] + skip);
  JsonReader reader;
  const rapidjson::ParseResult parsed =
      reader.Parse<rapidjson::kParseInsituFlag | rapidjson::kParseIterativeFlag>(stream, *events);
  // A NUL byte ends the stream early: the text is then not all JSON.
  return !parsed.IsError() && skip + stream.Tell() == text->size();
}

void MakeRoom(std::string* text) {
  if (text->capacity() < text->size() + kJsonScanSlack) text->reserve(text->size() + kJsonScanSlack);
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
bool ReadCount(const Field& field, uint32_t max, uint32_t* count) {
  *count = 0;
  if (field.kind == Field::Absent) return true;
  if (field.kind != Field::Unsigned || field.number < 1 || field.number > max) return false;
  *count = static_cast<uint32_t>(field.number);
  return true;
}

ParseOutcome Refuse(Failure* failure, ErrorCode code, const std::string& detail) {
  *failure = BridgeFailure(code, detail);
  return RequestRefused;
}

ParseOutcome ReadPrintFields(const FrameEvents& events, Request* request, Failure* failure) {
  if (events.fields[FieldData].kind != Field::Text) {
    return Refuse(failure, kMalformedRequest, "print needs data as a string");
  }
  const Field& printer = events.fields[FieldPrinter];
  if (printer.kind != Field::Absent) {
    if (printer.kind != Field::Text) return Refuse(failure, kMalformedRequest, "printer must be a string");
    request->hasPrinter = true;
    request->printer = printer.Copy();
  }
  const bool countsRead = ReadCount(events.fields[FieldParts], UINT32_MAX, &request->parts) &&
                          ReadCount(events.fields[FieldPart], request->parts, &request->part);
  if (!countsRead || (request->part == 0) != (request->parts == 0) || request->parts == 1) {
    return Refuse(failure, kMalformedRequest, "part and parts must be integers, 1 <= part <= parts, parts >= 2");
  }
  return RequestParsed;
}

// The frame's text becomes the document's: the Base64 text, parsed in place, is moved to the front
// rather than copied, so that a large frame is held once.
void TakeData(const Field& data, std::string* body, std::string* text) {
  const size_t offset = static_cast<size_t>(data.text - body->data());
  const size_t size = data.size;
  *text = std::move(*body);
  text->resize(offset + size);
  text->erase(0, offset);
}

}  // namespace

bool SniffId(const std::string& text, uint64_t* id) {
  std::string copy;
  copy.reserve(text.size() + kJsonScanSlack);
  copy.append(text);
  FrameEvents events(true);
  ParseInPlace(&copy, &events);
  if (events.idSniffed) *id = events.sniffedId;
  return events.idSniffed;
}

ParseOutcome ParseRequest(std::string* body, Request* request, Failure* failure) {
  *request = Request();
  MakeRoom(body);
  FrameEvents events(false);
  if (!ParseInPlace(body, &events)) {
    if (!events.idSniffed) {
      *failure = BridgeFailure(kBadFrame, "JSON that does not parse, without a readable id");
      return RequestWithoutId;
    }
    request->id = events.sniffedId;
    return Refuse(failure, kBadFrame, "JSON that does not parse");
  }
  const Field& id = events.fields[FieldId];
  if (!events.objectAtTop || id.kind != Field::Unsigned || id.number > kMaxId) {
    *failure = BridgeFailure(kMalformedRequest, "no object with an integer id from 0 to 2^53-1");
    return RequestWithoutId;
  }
  request->id = id.number;
  const Field& method = events.fields[FieldMethod];
  if (method.kind != Field::Text) return Refuse(failure, kMalformedRequest, "method must be a string");
  const std::string name = method.Copy();
  const MethodName* known = nullptr;
  for (const MethodName& entry : kMethods) {
    if (name == entry.name) known = &entry;
  }
  if (known == nullptr) {
    return Refuse(failure, kUnknownMethod,
                  name.size() > kMaxQuotedName ? name.substr(0, kMaxQuotedName) + "..." : name);
  }
  request->method = known->method;
  const Field& origin = events.fields[FieldOrigin];
  if (origin.kind != Field::Text || !WellFormedOrigin(origin.Copy())) {
    *failure = BridgeFailure(kBadOrigin);
    return RequestRefused;
  }
  request->origin = origin.Copy();
  if (request->method == MethodPrint) {
    const ParseOutcome outcome = ReadPrintFields(events, request, failure);
    if (outcome != RequestParsed) return outcome;
    TakeData(events.fields[FieldData], body, &request->data);
  }
  std::string().swap(*body);  // the request holds what it needs: a large frame is not kept twice
  return RequestParsed;
}

}  // namespace bridge
