// A frame in the display's pixel format as 8-bit RGB, enlarged Scale times
// by nearest neighbour. The unpacking is the one the PNG dump uses
// (UnpackColorDepth), so a lossless recording holds the dumped pictures.
#pragma once

#include <cstdint>

#include <kelvra/core/Platform.h>

// Rgb: (Width x Scale) x (Height x Scale) x 3 bytes.
void FrameToRgb(const KvFrameCopy& Frame, int Scale, uint8_t* Rgb);
