// Pixel formats and colour packing.
//
// Four formats, named by depth:
//   15: 0RRRRRGG GGGBBBBB  (2 bytes, little-endian)
//   16: RRRRRGGG GGGBBBBB  (2 bytes)
//   24: bytes B, G, R      (3 bytes, no padding)
//   32: 0x00RRGGBB         (4 bytes, little-endian)
// A pixel value is a uint32_t holding one colour in the current format.
#pragma once

#include <cstdint>

// The engine-wide depth, set once by the display set-up.
extern uint8_t DesktopDepth;

// 5- and 6-bit components expanded to 8 bits by truncating division:
// E5[i] = i * 255 / 31, E6[i] = i * 255 / 63.
extern const uint8_t E5[32];
extern const uint8_t E6[64];

// Colour -> pixel value of DesktopDepth (0 for an unknown depth).
uint32_t PackColor(uint8_t R, uint8_t G, uint8_t B);
// Pixel value of DesktopDepth -> colour (unchanged for an unknown depth).
void UnpackColor(uint32_t Value, uint8_t& R, uint8_t& G, uint8_t& B);

// The same for an explicit depth, for code that knows its buffer's depth.
uint32_t PackColorDepth(int Depth, uint8_t R, uint8_t G, uint8_t B);
void UnpackColorDepth(int Depth, uint32_t Value, uint8_t& R, uint8_t& G, uint8_t& B);
