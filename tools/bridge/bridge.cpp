#include "tools/bridge/bridge.h"

#include <algorithm>
#include <new>

#include "plugin/policy_key.h"
#include "product_version.h"
#include "tools/bridge/module_calls.h"
#include "tools/bridge/reply.h"

namespace bridge {
namespace {

const char* const kFrameProblems[] = {
    "",                                           // FrameRead
    "the input ended",                            // FrameEnd
    "the input ended inside a frame",             // FrameTruncated
    "a frame shorter than 2 bytes",               // FrameTooShort
    "a frame over 64 MiB without a readable id",  // FrameTooLarge
};

FrameAnswer Stop(const std::string& reason) {
  FrameAnswer answer;
  answer.stop = true;
  answer.reason = reason;
  return answer;
}

FrameAnswer Reply(std::string reply) {
  FrameAnswer answer;
  answer.reply = std::move(reply);
  return answer;
}

}  // namespace

Bridge::Bridge(ModuleLoader loader, DocumentLimits limits) : loader_(std::move(loader)), limits_(limits) {}

Bridge::~Bridge() {
  instances_.clear();
  plugin_.reset();
}

FrameAnswer Bridge::Answer(FrameStatus status, std::string* body) {
  if (status != FrameRead) {
    DropPending();
    uint64_t id = 0;
    if (status == FrameTooLarge && SniffId(*body, &id)) {
      return Reply(ErrorReply(id, BridgeFailure(kFrameTooLarge)));
    }
    return Stop(kFrameProblems[status]);
  }
  Request request;
  Failure failure;
  switch (ParseRequest(body, &request, &failure)) {
    case RequestWithoutId:
      DropPending();
      return Stop(failure.message);
    case RequestRefused:
      DropPending();
      return Reply(ErrorReply(request.id, failure));
    case RequestParsed:
      break;
  }
  try {
    return Reply(Dispatch(request));
  } catch (const std::bad_alloc&) {
    // Memory runs out only for large documents (a 32-bit host holds a few hundred MiB at most).
    DropPending();
    return Reply(ErrorReply(request.id, BridgeFailure(kDocumentTooLarge, "out of memory")));
  }
}

std::string Bridge::Dispatch(Request& request) {
  if (request.method == MethodPrint && request.part != 0) return AnswerPart(request);
  if (pending_.active) {
    DropPending();
    return ErrorReply(request.id, BridgeFailure(kPartsOutOfOrder, "a request came between the parts of a document"));
  }
  if (request.method == MethodStatus) return AnswerStatus(request);
  return CallForOrigin(request, &request.data, request.hasPrinter ? &request.printer : nullptr);
}

std::string Bridge::AnswerPart(Request& request) {
  const uint32_t part = request.part;
  if (part == 1 && pending_.active) {
    DropPending();
    return ErrorReply(request.id, BridgeFailure(kPartsOutOfOrder, "part 1 came before the last part of the document before"));
  }
  if (part != 1) {
    const bool continues = pending_.active && pending_.origin == request.origin && pending_.parts == request.parts &&
                           pending_.received + 1 == part;
    if (!continues) {
      const std::string due = pending_.active ? "part " + std::to_string(pending_.received + 1) + " of " +
                                                    std::to_string(pending_.parts) + " from " + pending_.origin
                                              : "part 1";
      DropPending();
      return ErrorReply(request.id, BridgeFailure(kPartsOutOfOrder, "part " + std::to_string(part) + " of " +
                                                                        std::to_string(request.parts) +
                                                                        " came where " + due + " was due"));
    }
  }
  const size_t joined = (part == 1 ? 0 : pending_.text.size()) + request.data.size();
  if (request.data.size() > limits_.partBytes || joined > limits_.documentBytes) {
    DropPending();
    const std::string detail = request.data.size() > limits_.partBytes
                                   ? "a part over " + std::to_string(limits_.partBytes) + " bytes"
                                   : "the parts join to over " + std::to_string(limits_.documentBytes) + " bytes";
    return ErrorReply(request.id, BridgeFailure(kDocumentTooLarge, detail));
  }
  if (part == 1) {
    pending_.active = true;
    pending_.origin = request.origin;
    pending_.hasPrinter = request.hasPrinter;
    pending_.printer = request.printer;
    pending_.parts = request.parts;
    pending_.text = std::move(request.data);
    // Parts are slices of one size but the last: room for them all is taken once.
    const size_t slice = pending_.text.size();
    const bool fits = slice == 0 || request.parts <= limits_.documentBytes / slice;
    try {
      pending_.text.reserve(fits ? slice * request.parts : limits_.documentBytes);
    } catch (const std::bad_alloc&) {
      // Only a hint: the parts are joined as they come.
    }
  } else {
    pending_.text += request.data;
    request.data.clear();
    request.data.shrink_to_fit();
  }
  pending_.received = part;
  if (part < pending_.parts) {
    Result received;
    received.kind = Result::Received;
    received.received = part;
    return ResultReply(request.id, received);
  }

  std::string document = std::move(pending_.text);
  const std::string printer = pending_.printer;
  const bool hasPrinter = pending_.hasPrinter;
  DropPending();
  return CallForOrigin(request, &document, hasPrinter ? &printer : nullptr);
}

std::string Bridge::AnswerStatus(const Request& request) {
  const ModuleStatus status = Status(request.origin);
  Result result;
  result.kind = Result::Status;
  result.loaded = status.loaded;
  result.text = status.version;
  result.policy = status.policy;
  result.host = NPTOVI_VERSION_TEXT;
  return ResultReply(request.id, result);
}

ModuleStatus Bridge::Status(const std::string& origin) {
  ModuleStatus status;
  status.policy = SitePolicySet();
  Failure failure;
  host::Instance* instance = InstanceFor(origin, &failure);
  status.loaded = plugin_ != nullptr;
  Result version;
  if (instance != nullptr && CallValue(*instance, "getVersion", &version, &failure) && version.kind == Result::Text) {
    status.version = version.text;
  } else {
    status.problem = failure.message;
  }
  return status;
}

std::string Bridge::CallForOrigin(Request& request, std::string* document, const std::string* printer) {
  Failure failure;
  host::Instance* instance = InstanceFor(request.origin, &failure);
  Result result;
  bool answered = false;
  if (instance != nullptr) {
    switch (request.method) {
      case MethodPrint: answered = CallPrint(*instance, document, printer, &result, &failure); break;
      case MethodGetPrinters: answered = CallList(*instance, "getPrinters", &result, &failure); break;
      case MethodGetMacAddresses: answered = CallList(*instance, "getMacAddresses", &result, &failure); break;
      case MethodGetVersion: answered = CallValue(*instance, "getVersion", &result, &failure); break;
      case MethodGetLastError: answered = CallValue(*instance, "getLastError", &result, &failure); break;
      case MethodStatus: break;
    }
  }
  return answered ? ResultReply(request.id, result) : ErrorReply(request.id, failure);
}

bool Bridge::EnsurePlugin(Failure* failure) {
  if (plugin_) return true;
  host::PluginEntryPoints entryPoints{};
  std::string error;
  if (!loader_(&entryPoints, &error)) {
    *failure = BridgeFailure(kPluginNotLoadable, error);
    return false;
  }
  plugin_.reset(new host::Plugin(entryPoints));
  const NPError initialized = plugin_->Initialize();
  if (initialized != NPERR_NO_ERROR) {
    plugin_.reset();
    *failure = BridgeFailure(kPluginNotLoadable, "NP_Initialize answered NPError " + std::to_string(initialized));
    return false;
  }
  return true;
}

host::Instance* Bridge::InstanceFor(const std::string& origin, Failure* failure) {
  if (!EnsurePlugin(failure)) return nullptr;
  for (OriginInstance& kept : instances_) {
    if (kept.origin == origin) {
      kept.lastUse = ++useClock_;
      return kept.instance.get();
    }
  }
  if (instances_.size() >= kMaxInstances) {
    auto oldest = std::min_element(instances_.begin(), instances_.end(),
                                   [](const OriginInstance& a, const OriginInstance& b) { return a.lastUse < b.lastUse; });
    instances_.erase(oldest);
  }
  // The module asks for the page's origin (NPNVdocumentOrigin) while NPP_New runs, as in a browser.
  host::SetDocumentOrigin(origin.empty() ? nullptr : origin.c_str());
  std::unique_ptr<host::Instance> instance(new host::Instance(*plugin_));
  host::SetDocumentOrigin(nullptr);
  if (instance->created() != NPERR_NO_ERROR) {
    *failure = BridgeFailure(kInstanceNotCreated, "NPP_New answered NPError " + std::to_string(instance->created()));
    return nullptr;
  }
  instances_.push_back(OriginInstance{origin, std::move(instance), ++useClock_});
  return instances_.back().instance.get();
}

std::vector<std::string> Bridge::InstanceOrigins() const {
  std::vector<const OriginInstance*> order;
  for (const OriginInstance& kept : instances_) order.push_back(&kept);
  std::sort(order.begin(), order.end(), [](const OriginInstance* a, const OriginInstance* b) { return a->lastUse < b->lastUse; });
  std::vector<std::string> origins;
  for (const OriginInstance* kept : order) origins.push_back(kept->origin);
  return origins;
}

void Bridge::DropPending() {
  pending_ = PendingDocument();
}

int Serve(Bridge& bridge, const ByteSource& input, const FrameSink& output, std::string* problem) {
  for (;;) {
    std::string body;
    const FrameStatus status = ReadFrame(input, &body);
    if (status == FrameEnd) return 0;
    if (status == FrameTruncated) {
      *problem = kFrameProblems[status];
      return 1;
    }
    const FrameAnswer answer = bridge.Answer(status, &body);
    if (answer.stop) {
      *problem = answer.reason;
      return 1;
    }
    if (!output.write(output.context, FrameOf(answer.reply))) {
      *problem = "a reply could not be written";
      return 1;
    }
  }
}

}  // namespace bridge
