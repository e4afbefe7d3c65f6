#include "tools/bridge/frames.h"

#include <stdint.h>

#include <algorithm>

#include "tools/bridge/protocol.h"

namespace bridge {
namespace {

// Bytes read at a time: a frame's memory grows with what arrives, not with what its length claims.
const size_t kChunkBytes = 64u << 10;

// Reads exactly size bytes unless the input ends first; returns how many arrived.
size_t ReadFully(const ByteSource& source, char* buffer, size_t size) {
  size_t got = 0;
  while (got < size) {
    size_t now = source.read(source.context, buffer + got, size - got);
    if (now == 0) break;
    got += now;
  }
  return got;
}

// Reads length bytes, keeping the first `keep` of them in *body. False when the input ends early.
bool ReadBody(const ByteSource& source, uint32_t length, size_t keep, std::string* body) {
  body->clear();
  char chunk[kChunkBytes];
  size_t left = length;
  while (left > 0) {
    const size_t want = std::min(left, kChunkBytes);
    const size_t got = ReadFully(source, chunk, want);
    if (body->size() < keep) body->append(chunk, std::min(got, keep - body->size()));
    left -= got;
    if (got < want) return false;
  }
  return true;
}

}  // namespace

FrameStatus ReadFrame(const ByteSource& source, std::string* body) {
  body->clear();
  unsigned char header[4];
  const size_t got = ReadFully(source, reinterpret_cast<char*>(header), sizeof header);
  if (got == 0) return FrameEnd;
  if (got < sizeof header) return FrameTruncated;
  const uint32_t length = header[0] | static_cast<uint32_t>(header[1]) << 8 |
                          static_cast<uint32_t>(header[2]) << 16 | static_cast<uint32_t>(header[3]) << 24;
  const bool tooLarge = length > kMaxFrameBytes;
  if (!ReadBody(source, length, tooLarge ? kIdSniffBytes : length, body)) return FrameTruncated;
  if (tooLarge) return FrameTooLarge;
  return length < 2 ? FrameTooShort : FrameRead;
}

std::string FrameOf(const std::string& json) {
  const uint32_t length = static_cast<uint32_t>(json.size());
  std::string frame;
  frame.reserve(4 + json.size());
  for (int shift = 0; shift < 32; shift += 8) frame.push_back(static_cast<char>((length >> shift) & 0xFF));
  frame += json;
  return frame;
}

}  // namespace bridge
