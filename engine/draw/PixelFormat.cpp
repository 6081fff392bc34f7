// Colour packing for the four pixel formats: the formulas of PixelTraits.h,
// chosen by depth.
#include "PixelFormat.h"

#include "PixelTraits.h"

uint8_t DesktopDepth = 0;

// E5[i] = i * 255 / 31 and E6[i] = i * 255 / 63, truncated.
const uint8_t E5[32] = {0,   8,   16,  24,  32,  41,  49,  57,  65,  74,  82,  90,  98,  106, 115, 123,
                        131, 139, 148, 156, 164, 172, 180, 189, 197, 205, 213, 222, 230, 238, 246, 255};
const uint8_t E6[64] = {0,   4,   8,   12,  16,  20,  24,  28,  32,  36,  40,  44,  48,  52,  56,  60,
                        64,  68,  72,  76,  80,  85,  89,  93,  97,  101, 105, 109, 113, 117, 121, 125,
                        129, 133, 137, 141, 145, 149, 153, 157, 161, 165, 170, 174, 178, 182, 186, 190,
                        194, 198, 202, 206, 210, 214, 218, 222, 226, 230, 234, 238, 242, 246, 250, 255};

uint32_t PackColorDepth(int Depth, uint8_t R, uint8_t G, uint8_t B) {
  switch (Depth) {
    case 15:
      return kv::Pixel15::Pack(R, G, B);
    case 16:
      return kv::Pixel16::Pack(R, G, B);
    case 24:
    case 32:
      return kv::Pixel24::Pack(R, G, B);
    default:
      return 0;
  }
}

void UnpackColorDepth(int Depth, uint32_t Value, uint8_t& R, uint8_t& G, uint8_t& B) {
  switch (Depth) {
    case 15:
      kv::Pixel15::Unpack(Value, R, G, B);
      break;
    case 16:
      kv::Pixel16::Unpack(Value, R, G, B);
      break;
    case 24:
    case 32:
      kv::Pixel24::Unpack(Value, R, G, B);
      break;
    default:
      break;  // unknown depth: leave the components as they were
  }
}

uint32_t PackColor(uint8_t R, uint8_t G, uint8_t B) { return PackColorDepth(DesktopDepth, R, G, B); }

void UnpackColor(uint32_t Value, uint8_t& R, uint8_t& G, uint8_t& B) {
  UnpackColorDepth(DesktopDepth, Value, R, G, B);
}
