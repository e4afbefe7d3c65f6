// Base64 texts for the benchmarks: deterministic pseudo-random documents, encoded as a page encodes
// them (host::EncodeBase64).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

// `size` pseudo-random bytes; the same seed gives the same bytes.
std::string RandomBytes(size_t size, uint32_t seed);

// A valid text of exactly `characters` characters (a multiple of 4). Its document is one byte short
// of three quarters of that, so the last group ends in "=" and the decoder's tail is part of the run.
std::string Base64Text(size_t characters, uint32_t seed = 1);
