// The desktop icon: the first letter of the show's logo in the logo's icy
// chrome, on a rounded night-blue tile. Drawn at a multiple of the asked
// size and box-filtered down, so every size is made from the same art.
#pragma once

#include <cstdint>
#include <vector>

#include "Image.h"

namespace assetgen {

struct IconPicture {
  Image8 Color;                // straight (not premultiplied) RGB
  std::vector<uint8_t> Alpha;  // one byte per pixel, 255 = opaque
};

// A Size x Size icon (Size from 16 to 1024). Deterministic.
IconPicture MakeIcon(int Size);

}  // namespace assetgen
