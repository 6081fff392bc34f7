// Pixel traits: for each of the four formats of PixelFormat.h, its bytes in
// memory and the four operations a per-depth loop needs, written once:
//
//   Bytes             bytes of one pixel in memory
//   Load(P), Store(P, V)   the pixel value at P (little-endian, unaligned)
//   Unpack(V, R, G, B)     value -> 8-bit channels (E5 / E6 widening)
//   Pack(R, G, B)          8-bit channels -> value (top bits kept)
//
// PackColorDepth and UnpackColorDepth are these formulas behind a switch;
// the kernels take a traits type as a template argument, so the choice of
// depth is made once per call, not per pixel.
//
// Public (<kelvra/draw/PixelTraits.h>): a program that writes pixels of
// its own into a TBufferKv's rows (the show's 3D rasterizers do) uses these
// to store exactly what the engine's drawing would. Header-only; Pack keeps
// the top bits of each 8-bit channel, Unpack widens with E5 / E6.
#pragma once

#include <cstdint>
#include <cstring>

#include "PixelFormat.h"

namespace kv {

// Internal linkage on purpose (see RowKernels.h): BlitAvx2.cpp is compiled
// with -mavx2 and must not lend its copies of these to other callers.
namespace {

inline uint32_t Load16(const uint8_t* P) {
  uint16_t V;
  std::memcpy(&V, P, 2);
  return V;
}
inline void Store16(uint8_t* P, uint32_t V) {
  const uint16_t W = uint16_t(V);
  std::memcpy(P, &W, 2);
}
inline uint32_t Load24(const uint8_t* P) { return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16; }
// Blue, green, red: the low three bytes of the value.
inline void Store24(uint8_t* P, uint32_t V) {
  P[0] = uint8_t(V);
  P[1] = uint8_t(V >> 8);
  P[2] = uint8_t(V >> 16);
}
inline uint32_t Load32(const uint8_t* P) {
  uint32_t V;
  std::memcpy(&V, P, 4);
  return V;
}
inline void Store32(uint8_t* P, uint32_t V) { std::memcpy(P, &V, 4); }

// 0RRRRRGG GGGBBBBB
struct Pixel15 {
  static constexpr int Bytes = 2;
  static uint32_t Load(const uint8_t* P) { return Load16(P); }
  static void Store(uint8_t* P, uint32_t V) { Store16(P, V); }
  template <class T>
  static void Unpack(uint32_t V, T& R, T& G, T& B) {
    R = T(E5[(V >> 10) & 31]);
    G = T(E5[(V >> 5) & 31]);
    B = T(E5[V & 31]);
  }
  static uint32_t Pack(uint32_t R, uint32_t G, uint32_t B) { return (R >> 3) << 10 | (G >> 3) << 5 | B >> 3; }
};

// RRRRRGGG GGGBBBBB
struct Pixel16 {
  static constexpr int Bytes = 2;
  static uint32_t Load(const uint8_t* P) { return Load16(P); }
  static void Store(uint8_t* P, uint32_t V) { Store16(P, V); }
  template <class T>
  static void Unpack(uint32_t V, T& R, T& G, T& B) {
    R = T(E5[(V >> 11) & 31]);
    G = T(E6[(V >> 5) & 63]);
    B = T(E5[V & 31]);
  }
  static uint32_t Pack(uint32_t R, uint32_t G, uint32_t B) { return (R >> 3) << 11 | (G >> 2) << 5 | B >> 3; }
};

// Bytes blue, green, red; the value 0x00RRGGBB.
struct Pixel24 {
  static constexpr int Bytes = 3;
  static uint32_t Load(const uint8_t* P) { return Load24(P); }
  static void Store(uint8_t* P, uint32_t V) { Store24(P, V); }
  template <class T>
  static void Unpack(uint32_t V, T& R, T& G, T& B) {
    R = T((V >> 16) & 255);
    G = T((V >> 8) & 255);
    B = T(V & 255);
  }
  static uint32_t Pack(uint32_t R, uint32_t G, uint32_t B) { return R << 16 | G << 8 | B; }
};

// 0x00RRGGBB in four bytes.
struct Pixel32 : Pixel24 {
  static constexpr int Bytes = 4;
  static uint32_t Load(const uint8_t* P) { return Load32(P); }
  static void Store(uint8_t* P, uint32_t V) { Store32(P, V); }
};

}  // namespace
}  // namespace kv
