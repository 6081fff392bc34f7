// Text rendering for the generated pictures: FreeType rasterises glyphs of the
// DejaVu faces (package fonts-dejavu-core), found through fontconfig or at
// their usual Debian path, into coverage masks that the picture code shades.
#pragma once

#include <string>

#include "Image.h"

namespace assetgen {

enum class FontFace { SansBold, SerifBold, MonoBold, Sans };

// The file of a face. Throws std::runtime_error when neither fontconfig nor
// the known path gives a readable DejaVu file.
std::string FontFile(FontFace Face);

struct TextStyle {
  FontFace Face = FontFace::SansBold;
  float PixelHeight = 32.0f;  // the face's em size in pixels
  float StretchX = 1.0f;      // horizontal scale of the glyphs
  float Shear = 0.0f;         // slant: x += Shear * height above the baseline
  float Tracking = 0.0f;      // extra pixels between letters
};

// A rendered line: coverage 0..1 in a mask just large enough for the ink plus
// Pad pixels on every side.
struct TextMask {
  Mask M;
  int BaselineY = 0;   // row of the baseline inside M
  int InkTop = 0;      // first row holding ink
  int InkBottom = 0;   // last row holding ink
  float Advance = 0;   // pen advance of the whole line, pixels
};

// Frees the faces, FreeType and fontconfig; text may be rendered again after.
void ReleaseFonts();

// Renders one line of UTF-8 text. Throws on a FreeType failure.
TextMask RenderText(const std::string& Utf8, const TextStyle& Style, int Pad);

// Width in pixels of the rendered ink of a line (no padding).
int TextInkWidth(const std::string& Utf8, const TextStyle& Style);

// Draws Src into Dst with Src's (0, 0) at (X, Y), combining by maximum.
void StampMax(Mask& Dst, const Mask& Src, int X, int Y);

// M as coverage of the colour (R, G, B) over Dst, top-left at (X, Y).
void BlendMask(Image8& Dst, const Mask& M, int X, int Y, uint8_t R, uint8_t G, uint8_t B);
// Simple labelling for review sheets: grey text onto an 8-bit picture.
void DrawLabel(Image8& Dst, int X, int Y, const std::string& Text, float PixelHeight, uint8_t R, uint8_t G, uint8_t B);

}  // namespace assetgen
