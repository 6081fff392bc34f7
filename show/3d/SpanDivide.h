// Division of a span's end-to-end difference by its length, without a
// division instruction: the rasterizers' per-row step set-up.
//
// A step is (Right - Left) div Length toward zero, where Right and Left are
// 16.16 values (so |Right - Left| < 2^32) and Length is a pixel count. For
// Length = d up to SpanReciprocalLimit, the quotient of the magnitude a is
// floor(a x M(d) / 2^63) with M(d) = floor(2^63 / d) + 1. That is exact for
// every a < 2^32: M(d) / 2^63 exceeds 1 / d by less than 2^-63, so the product
// exceeds a / d by less than a x 2^-63 < 2^-31, while a / d lies at least 1 / d
// (> 2^-31) below the next integer. Longer spans (a span reaches past the
// buffer only when clipped) divide as before.
//
// Depends on: nothing.
#pragma once

#include <array>
#include <cstdint>

namespace spandiv {

// Covers rows of every buffer the show draws into, and then some.
constexpr int32_t SpanReciprocalLimit = 4096;

// M(d) for d = 1 .. SpanReciprocalLimit; M(0) = 0, so a zero length gives 0.
struct ReciprocalTable {
  std::array<uint64_t, SpanReciprocalLimit + 1> M{};
  constexpr ReciprocalTable() {
    for (int32_t D = 1; D <= SpanReciprocalLimit; ++D) M[D] = (uint64_t(1) << 63) / uint64_t(D) + 1;
  }
};
inline constexpr ReciprocalTable SpanReciprocals{};

// floor(A x M / 2^63) for A < 2^32, from two 32 x 32 -> 64 bit products (no
// 128-bit type needed, so WebAssembly gets plain 64-bit multiplies too).
inline uint64_t MultiplyHigh63(uint64_t A, uint64_t M) {
#if defined(__SIZEOF_INT128__) && defined(__x86_64__)
  return static_cast<uint64_t>((static_cast<unsigned __int128>(A) * M) >> 63);
#endif
  const uint64_t Low = A * (M & 0xffffffffu);
  const uint64_t High = A * (M >> 32);
  return (High + (Low >> 32)) >> 31;
}

// N div Length toward zero for |N| < 2^32, with a table reciprocal when
// Length is in the table. One divisor serves all the quantities of a row.
class SpanDivisor {
 public:
  // A zero length is in the table: M(0) = 0 makes every quotient 0.
  explicit SpanDivisor(int64_t Length)
      : Length_(Length), InTable_(Length >= 0 && Length <= SpanReciprocalLimit) {
    Magic_ = InTable_ ? SpanReciprocals.M[static_cast<size_t>(Length)] : 0;
  }
  int64_t Divide(int64_t N) const {
    if (!InTable_) return N / Length_;
    const uint64_t Sign = static_cast<uint64_t>(N >> 63);  // all ones below zero
    const uint64_t A = (static_cast<uint64_t>(N) ^ Sign) - Sign;
    return static_cast<int64_t>((MultiplyHigh63(A, Magic_) ^ Sign) - Sign);
  }

 private:
  int64_t Length_;
  bool InTable_;
  uint64_t Magic_;
};

}  // namespace spandiv
