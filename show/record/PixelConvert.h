// RGB frames turned into what the video encoders take.
//
// Studio range, in the matrix players assume for the picture's size:
// BT.601 for standard definition, Y = 16 + (66 R + 129 G + 25 B) / 256;
// BT.709 for HD, Y = 16 + 219/255 (0.2126 R + 0.7152 G + 0.0722 B). Cb and
// Cr from the mean of each 2 x 2 block, all in integers with rounding.
#pragma once

#include <cstdint>

enum class YuvMatrix { Bt601, Bt709 };

// The matrix for a picture Height lines tall: BT.709 above 576 lines (HD).
YuvMatrix YuvMatrixFor(int Height);

// Rgb: Width x Height x 3 bytes; Width and Height even.
void RgbToYuv420(const uint8_t* Rgb, int Width, int Height, uint8_t* Y, int PitchY, uint8_t* Cb, int PitchCb,
                 uint8_t* Cr, int PitchCr, YuvMatrix Matrix = YuvMatrix::Bt601);
// Packed B, G, R, 0 bytes (libavutil's BGR0, FFV1's 8-bit RGB), lossless.
void RgbToBgr0(const uint8_t* Rgb, int Width, int Height, uint8_t* Out, int Pitch);
