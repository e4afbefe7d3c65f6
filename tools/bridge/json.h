// RapidJSON as the bridge uses it: header-only, from Debian's rapidjson-dev. Every file of the bridge
// includes it through here, so that all of them see the same configuration.
#pragma once

// Strings are scanned 16 bytes at a time where every CPU of the build has SSE2: the x86-64 one. The
// i686 build runs on CPUs that need not have it.
#if (defined(__x86_64__) || defined(_M_X64)) && !defined(RAPIDJSON_SSE2)
#define RAPIDJSON_SSE2
#endif

#include <stdlib.h>

#include <new>

#include <rapidjson/reader.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

namespace bridge {

// The SSE2 scan reads whole aligned 16-byte blocks: a text parsed in place needs this many bytes of
// its own after its terminating NUL.
const size_t kJsonScanSlack = 15;

// The memory of the parser's stack and of a reply's text: running out throws std::bad_alloc, as
// everything else of the bridge does, where RapidJSON's own allocator would hand on a null pointer.
class JsonAllocator {
 public:
  static const bool kNeedFree = true;
  void* Malloc(size_t size) { return size == 0 ? nullptr : Checked(malloc(size)); }
  void* Realloc(void* block, size_t, size_t size) {
    if (size == 0) {
      free(block);
      return nullptr;
    }
    return Checked(realloc(block, size));
  }
  static void Free(void* block) { free(block); }

 private:
  static void* Checked(void* block) {
    if (block == nullptr) throw std::bad_alloc();
    return block;
  }
};

using JsonReader = rapidjson::GenericReader<rapidjson::UTF8<>, rapidjson::UTF8<>, JsonAllocator>;
using JsonText = rapidjson::GenericStringBuffer<rapidjson::UTF8<>, JsonAllocator>;
using JsonWriter = rapidjson::Writer<JsonText, rapidjson::UTF8<>, rapidjson::UTF8<>, JsonAllocator>;

}  // namespace bridge
