// 16.16 fixed point and guarded float -> integer conversions for the scan
// converters (span fill, rotozoom, polygon edges).
//
// Public (<kelvra/draw/FixedPoint.h>): a program that walks its own edges
// or spans (the show's 3D rasterizers do) uses these to get the engine's
// arithmetic to the bit. Header-only; every function is defined for every
// input, NaN and infinities included.
//
// A Fixed16 is an int32 holding value x 65536. Conversions truncate toward
// zero; integer parts are taken toward zero too (C++ "/" on int32, which is
// what the edge walkers' "div 65536" means). Walking an edge or a span adds a
// step per row or pixel; those additions wrap around at 32 bits, as the
// 32-bit registers of the walk would, so that a huge or absurd corner can
// never make the walk undefined behaviour.
#pragma once

#include <cmath>
#include <cstdint>

namespace kv {

using Fixed16 = int32_t;

constexpr int32_t FixedOne = 65536;

// A double rounded to single precision, as a value the optimiser must keep.
// GCC compiles C++ with -fexcess-precision=fast (it has no "standard" mode for
// C++ before GCC 13), under which it may fold double(float(x)) back to x and so
// skip a rounding step the arithmetic calls for; the result then
// depends on optimisation and instrumentation. The empty asm makes the float
// opaque, so the rounding always happens.
inline float HoldAsFloat(double Value) {
  float Rounded = static_cast<float>(Value);
#if defined(__wasm__)
  // Clang keeps every rounding a cast asks for (and wasm has no wider float
  // registers); a volatile copy would only cost a stack frame and a store.
#elif defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
  __asm__("" : "+x"(Rounded));
#elif defined(__GNUC__) && defined(__aarch64__)
  __asm__("" : "+w"(Rounded));
#else
  volatile float Stored = Rounded;
  Rounded = Stored;
#endif
  return Rounded;
}

// Float -> int32 truncated toward zero, saturating at the int32 range; NaN
// gives 0. (A plain cast of an out-of-range float is undefined behaviour.)
inline int32_t TruncToInt32(float Value) {
  if (!(Value == Value)) return 0;
  if (Value >= 2147483648.0f) return INT32_MAX;
  if (Value <= -2147483648.0f) return INT32_MIN;
  return int32_t(Value);
}

// std::nearbyint under round-to-nearest-even (the only rounding mode the
// engine uses), from two additions: once 2^52 (2^23 for float) is added, the
// sum has no bits below the units, so it is the nearest integer, halves to
// even, and taking 2^52 away again is exact. Larger values are integers
// already; NaN and infinities pass through; a zero result keeps the input's
// sign (-0.3 gives -0), as nearbyint's. MinGW's nearbyint saves and restores
// the x87 and SSE control words on every call, about 17 times the cost.
inline double NearestEven(double Value) {
  const double Big = 4503599627370496.0;  // 2^52
  if (!(std::fabs(Value) < Big)) return Value;
  const double R = Value >= 0 ? (Value + Big) - Big : (Value - Big) + Big;
  return std::copysign(R, Value);
}
inline float NearestEven(float Value) {
  const float Big = 8388608.0f;  // 2^23
  if (!(std::fabs(Value) < Big)) return Value;
  const float R = Value >= 0 ? (Value + Big) - Big : (Value - Big) + Big;
  return std::copysign(R, Value);
}

// Nearest integer, halves to the even neighbour (the engine's Round), with
// the same saturation as TruncToInt32.
inline int32_t RoundToInt32(float Value) { return TruncToInt32(NearestEven(Value)); }

// trunc(Value x 65536): a real number to 16.16.
inline Fixed16 FixedFromFloat(float Value) { return TruncToInt32(Value * 65536.0f); }

// Integer part of a 16.16 value, toward zero.
inline int32_t FixedToInt(Fixed16 Value) { return Value / FixedOne; }

// Wrapping 32-bit addition and multiplication for the walks.
inline Fixed16 FixedAdd(Fixed16 A, Fixed16 B) { return Fixed16(uint32_t(A) + uint32_t(B)); }
// Step x Count, wrapped to 32 bits: the value of Count repeated additions.
inline Fixed16 FixedSteps(Fixed16 Step, uint32_t Count) { return Fixed16(uint32_t(Step) * Count); }

// An int64 wrapped to 32 bits (two's complement).
inline int32_t WrapToInt32(int64_t Value) { return int32_t(uint32_t(uint64_t(Value))); }

}  // namespace kv
