// The block loop of the vector tiers, written once for any register width. A step decodes one
// register of characters (four groups per 16 bytes): each character's class is looked up with a byte
// shuffle by nibble to check it, its 6-bit value by a shuffle of offsets, and two multiply-adds join
// the values into bytes. A tier names its instruction set in BASE64_VECTOR_TARGET, includes this
// file and supplies the operations that differ by width (`Ops`). Everything here is compiled for that
// set alone, in an unnamed namespace so that each tier's file has its own copy, and only ever runs
// where the CPU has it.
#pragma once

#include <immintrin.h>
#include <stdint.h>
#include <string.h>

#include "printing/base64_vector_tables.h"

#ifndef BASE64_VECTOR_TARGET
#error "a vector tier names its instruction set in BASE64_VECTOR_TARGET"
#endif
#define BASE64_VECTOR_CODE __attribute__((target(BASE64_VECTOR_TARGET)))
#define BASE64_VECTOR_INLINE __attribute__((target(BASE64_VECTOR_TARGET), always_inline)) inline

namespace {

// The operations that are the same at every width (in bytes), with GCC's vector operators on the
// register seen as bytes or as 32-bit lanes. A tier's Ops derives from this and adds the shuffles, the
// multiply-adds, the alphabet test and the two stores.
template <unsigned Width>
struct CommonOps {
  // As the compilers' own __m128i and __m256i: may be read from memory of any type (the tables).
  typedef long long Vector __attribute__((vector_size(Width), may_alias));
  typedef char Bytes __attribute__((vector_size(Width)));
  typedef uint32_t Lanes __attribute__((vector_size(Width)));

  static constexpr uint32_t kStepGroups = Width / 4;
  static constexpr uint32_t kStepChars = kStepGroups * 4;
  static constexpr uint32_t kStepBytes = kStepGroups * 3;

  static BASE64_VECTOR_INLINE Vector Load(const uint8_t* in) {
    Vector value;
    memcpy(&value, in, sizeof(value));
    return value;
  }
  // The first sizeof(Vector) bytes of one of the 32-byte tables.
  static BASE64_VECTOR_INLINE Vector Table(const void* table) { return *static_cast<const Vector*>(table); }
  static BASE64_VECTOR_INLINE Vector Broadcast(int32_t value) { return Vector(Lanes{} + uint32_t(value)); }
  static BASE64_VECTOR_INLINE Vector ShiftLanesRight(Vector v, int bits) { return Vector(Lanes(v) >> bits); }
  static BASE64_VECTOR_INLINE Vector AddBytes(Vector a, Vector b) { return Vector(Bytes(a) + Bytes(b)); }
  // -1 in each byte where a and b are equal, 0 elsewhere.
  static BASE64_VECTOR_INLINE Vector EqualBytes(Vector a, Vector b) { return Vector(Bytes(a) == Bytes(b)); }
};

// The 12 decoded bytes of four groups, from the low 12 of a 16-byte register, and not one more.
BASE64_VECTOR_INLINE void StoreTwelve(uint8_t* out, __m128i bytes) {
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), bytes);
  const int32_t last = _mm_cvtsi128_si32(_mm_srli_si128(bytes, 8));
  memcpy(out + 8, &last, sizeof(last));
}

template <typename Ops>
struct Constants {
  typename Ops::Vector nibble, highClass, lowClass, offset, slash, joinSextets, joinHalves, groupBytes;
};

template <typename Ops>
BASE64_VECTOR_INLINE Constants<Ops> LoadConstants() {
  using namespace base64_vector;
  return {Ops::Table(kLowNibble.bytes), Ops::Table(kHighNibbleClass), Ops::Table(kLowNibbleClass),
          Ops::Table(kSextetOffset),    Ops::Table(kSlash.bytes),     Ops::Broadcast(kJoinSextets),
          Ops::Broadcast(kJoinHalves),  Ops::Table(kGroupBytes)};
}

// Decodes the kStepChars characters at in into the low 12 bytes of each 16 of *bytes; false, with
// *bytes unset, when any of them is not an alphabet character.
template <typename Ops>
BASE64_VECTOR_INLINE bool DecodeStep(const uint8_t* in, const Constants<Ops>& k,
                                       typename Ops::Vector* bytes) {
  using Vector = typename Ops::Vector;
  const Vector chars = Ops::Load(in);
  const Vector high = Ops::ShiftLanesRight(chars, 4) & k.nibble;
  const Vector low = chars & k.nibble;
  if (!Ops::InAlphabet(Ops::Shuffle(k.highClass, high), Ops::Shuffle(k.lowClass, low))) return false;
  // "/" looks its offset up one column below "+": the comparison gives -1 for it.
  const Vector column = Ops::AddBytes(high, Ops::EqualBytes(chars, k.slash));
  const Vector sextets = Ops::AddBytes(chars, Ops::Shuffle(k.offset, column));
  const Vector groups = Ops::JoinHalves(Ops::JoinSextets(sextets, k.joinSextets), k.joinHalves);
  *bytes = Ops::Shuffle(groups, k.groupBytes);
  return true;
}

// Moves on to the next step and decodes it into *next. The step before it, `decoded`, is stored with
// its surplus only once the next one has decoded cleanly, since the surplus then falls where the next
// step's bytes go; otherwise it is the last step and is stored exactly, so that nothing is written
// for the step the loop stops at. False when the loop stops.
template <typename Ops>
BASE64_VECTOR_INLINE bool StoreAndDecodeNext(const uint8_t*& in, const uint8_t* end, uint8_t*& out,
                                             const Constants<Ops>& k, typename Ops::Vector decoded,
                                             typename Ops::Vector* next) {
  in += Ops::kStepChars;
  if (in == end || !DecodeStep(in, k, next)) {
    Ops::StoreExactly(out, decoded);
    return false;
  }
  Ops::StoreWithSurplus(out, decoded);
  out += Ops::kStepBytes;
  return true;
}

// Decodes whole steps from the start of the `groups` groups at in for as long as a step holds only
// alphabet characters; returns the number of groups decoded. Two steps a turn, so that the two
// decoded values take turns instead of being copied.
template <typename Ops>
BASE64_VECTOR_INLINE uint32_t DecodeBlocks(const uint8_t* in, uint32_t groups, uint8_t* out) {
  const Constants<Ops> k = LoadConstants<Ops>();
  const uint8_t* const start = in;
  const uint8_t* const end = in + groups / Ops::kStepGroups * Ops::kStepChars;
  typename Ops::Vector first, second;
  if (in == end || !DecodeStep(in, k, &first)) return 0;
  while (StoreAndDecodeNext(in, end, out, k, first, &second) &&
         StoreAndDecodeNext(in, end, out, k, second, &first)) {
  }
  return static_cast<uint32_t>(in - start) / Ops::kStepChars * Ops::kStepGroups;
}

}  // namespace
