// Where a frame goes inside a larger area: as large as fits with its shape
// kept (pixels stay square), or at the largest whole multiple of its size,
// centred, the rest left for black bars. The window, full screen and the
// recorder's --size all place the frame with it.
//
// Depends on: Platform.h (KvRect).
#pragma once

#include <cstdint>

#include "Platform.h"

// The frame's rectangle in an Area Width x Height area. WholeMultiples:
// only whole multiples of the frame (the largest that fits; an area smaller
// than the frame falls back to the plain fit). Empty for empty sizes.
KvRect KvLetterbox(int32_t AreaWidth, int32_t AreaHeight, int32_t FrameWidth, int32_t FrameHeight,
                   bool WholeMultiples);
