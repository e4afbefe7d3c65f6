// Requests of the extension, read from a frame's JSON: {"id": N, "origin": O, "method": M, ...}.
#pragma once

#include <stdint.h>

#include <string>

#include "tools/bridge/protocol.h"

namespace bridge {

enum Method { MethodPrint, MethodGetPrinters, MethodGetMacAddresses, MethodGetVersion, MethodGetLastError, MethodStatus };

struct Request {
  uint64_t id = 0;
  std::string origin;
  Method method = MethodStatus;
  // print only
  std::string data;  // Base64 text, or a slice of it for a part
  bool hasPrinter = false;
  std::string printer;
  uint32_t part = 0;   // 1..parts for a document sent in parts; 0 for a whole one
  uint32_t parts = 0;  // >= 2 for a document in parts
};

enum ParseOutcome {
  RequestParsed,     // *request is complete
  RequestRefused,    // request->id is known; *failure says why the request is refused
  RequestWithoutId,  // no id could be read: nothing can be answered; *failure says why
};

// Reads a frame's body. The body's text may be taken over (moved into request->data).
ParseOutcome ParseRequest(std::string* body, Request* request, Failure* failure);

// The top-level "id" of JSON text that may be broken or cut short, read as far as it goes.
bool SniffId(const std::string& text, uint64_t* id);

}  // namespace bridge
