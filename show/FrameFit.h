// Frames written at another size than the display's (--scale, --size): the
// frame enlarged by nearest neighbour into its letterbox rectangle
// (engine/core/Letterbox.h), the bars black. The show's one enlarger: it
// works on any pixel size, so the PNG dump fits frames in the display's
// format and the recorder in RGB, and --scale is the letterbox that fills
// the output.
//
// Depends on: engine/core/Letterbox.h, Options.h.
#pragma once

#include <cstdint>

#include <kelvra/core/Letterbox.h>

// The size frames are written at: --size, or the frame times --scale.
void OutputFrameSize(int32_t FrameWidth, int32_t FrameHeight, int32_t* Width, int32_t* Height);
// Where the frame goes in an output of that size (--integer-scale: whole
// multiples only).
KvRect OutputFramePlace(int32_t FrameWidth, int32_t FrameHeight);

// Src (Width x Height, Bpp bytes a pixel) into Dest (OutWidth x OutHeight),
// the frame filling Place, every pixel outside it 0 (black in every format).
// Each output pixel takes the source pixel under its centre, so whole
// multiples repeat every pixel exactly N times.
void FitPixels(const uint8_t* Src, int32_t Width, int32_t Height, int32_t SrcPitch, int32_t Bpp, uint8_t* Dest,
               int32_t OutWidth, int32_t OutHeight, int32_t DestPitch, const KvRect& Place);
