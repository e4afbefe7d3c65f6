// Frames of native messaging: a 4-byte length in little-endian order, then that many bytes of UTF-8
// JSON. Reading never waits for more than the frame announces, and stops at the end of the input.
#pragma once

#include <stddef.h>

#include <string>

namespace bridge {

// Where frames come from: read() fills up to size bytes and returns how many it gave; 0 means the
// input ended (or failed).
struct ByteSource {
  size_t (*read)(void* context, char* buffer, size_t size);
  void* context;
};

enum FrameStatus {
  FrameRead,       // *body holds the whole frame
  FrameEnd,        // the input ended between frames: the normal end of a session
  FrameTruncated,  // the input ended inside a frame's length or body
  FrameTooShort,   // a length under 2 bytes (no JSON fits); *body holds what there was
  FrameTooLarge,   // a length over kMaxFrameBytes: the body was read and dropped, *body holds its start
};

FrameStatus ReadFrame(const ByteSource& source, std::string* body);

// The frame of a JSON text: its length, then its bytes.
std::string FrameOf(const std::string& json);

}  // namespace bridge
