// One connection of the extension to the plug-in: the module loaded on first need, one instance per
// origin (the origin stated to it as a browser states a page's), a document arriving in parts, and the
// answer to every frame.
#pragma once

#include <stdint.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/host.h"
#include "tools/bridge/frames.h"
#include "tools/bridge/protocol.h"
#include "tools/bridge/request.h"

namespace bridge {

// Finds the module's entry points (a DLL loaded, or the module linked in): false with *error saying why.
using ModuleLoader = std::function<bool(host::PluginEntryPoints* entryPoints, std::string* error)>;

// What to send back for one frame.
struct FrameAnswer {
  bool stop = false;   // no id could be read: nothing is sent, the session ends; `reason` says why
  std::string reply;   // the JSON of the reply
  std::string reason;
};

// What `status` and `--status` report.
struct ModuleStatus {
  bool loaded = false;
  std::string version;  // the module's getVersion(), empty when it did not load
  bool policy = false;  // an administrator's site policy decides which sites may use the plug-in
  std::string problem;  // why the module did not load
};

// How much of a document in parts the bridge takes (the tests choose smaller ones).
struct DocumentLimits {
  size_t partBytes = kMaxPartBytes;
  size_t documentBytes = kMaxDocumentBytes;
};

class Bridge {
 public:
  explicit Bridge(ModuleLoader loader, DocumentLimits limits = DocumentLimits());
  ~Bridge();  // instances first, then the plug-in's NP_Shutdown
  Bridge(const Bridge&) = delete;
  Bridge& operator=(const Bridge&) = delete;

  FrameAnswer Answer(FrameStatus status, std::string* body);
  // For a page of this origin, or with none stated (an empty origin), as --status asks.
  ModuleStatus Status(const std::string& origin);

  // The origins that have an instance, least recently used first.
  std::vector<std::string> InstanceOrigins() const;

 private:
  struct OriginInstance {
    std::string origin;
    std::unique_ptr<host::Instance> instance;
    uint64_t lastUse;
  };
  struct PendingDocument {
    bool active = false;
    std::string origin;
    bool hasPrinter = false;
    std::string printer;
    uint32_t parts = 0;
    uint32_t received = 0;
    std::string text;
  };

  ModuleLoader loader_;
  DocumentLimits limits_;
  std::unique_ptr<host::Plugin> plugin_;
  std::vector<OriginInstance> instances_;
  uint64_t useClock_ = 0;
  PendingDocument pending_;

  std::string Dispatch(Request& request);
  std::string AnswerPart(Request& request);
  std::string AnswerStatus(const Request& request);
  // The result of a plug-in method for the request's origin, or the failure.
  std::string CallForOrigin(Request& request, std::string* document, const std::string* printer);
  bool EnsurePlugin(Failure* failure);
  host::Instance* InstanceFor(const std::string& origin, Failure* failure);
  void DropPending();
};

// Where replies go: write() takes one whole frame and returns false when it could not be written.
struct FrameSink {
  bool (*write)(void* context, const std::string& frame);
  void* context;
};

// Answers frames from the input until it ends: 0 at the end of the input between frames, 1 when the
// input ends inside a frame, a frame cannot be answered (no id) or a reply cannot be written;
// *problem then says why.
int Serve(Bridge& bridge, const ByteSource& input, const FrameSink& output, std::string* problem);

}  // namespace bridge
