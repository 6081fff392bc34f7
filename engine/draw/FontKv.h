// KvFont: one bold FreeType face at one character cell height, with a cache
// of its rendered glyphs. Installed only because the asset pack's fonts
// (AssetPack.h) are made of its glyphs; programs draw text through
// TBufferKv::SetFont and TextOut.
//
// Cell geometry, as on the classic Windows font interface: a cell is Height
// rows, Ascent of them above the baseline and Height - Ascent below it.
// TextOut puts the cell's top-left corner at X, Y and writes only rows
// Y .. Y + Height - 1 (glyph parts outside the cell are clipped) and only
// columns inside the glyphs' boxes, which may reach a little left of X or
// right of X + KvTextWidth (the tail of a "j").
//
// Depends on: FreeType (faces, rendering), fontconfig (finding a face by name).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct FT_FaceRec_;

// One rendered glyph: 8-bit coverage (0 = untouched, 255 = solid), placed
// relative to the pen position on the cell's top row.
struct KvGlyph {
  bool Loaded = false;
  int32_t Left = 0;     // pen x -> first coverage column
  int32_t Top = 0;      // cell's top row -> first coverage row
  int32_t Width = 0;    // coverage columns
  int32_t Rows = 0;     // coverage rows
  int32_t Advance = 0;  // pen step in whole pixels
  std::vector<uint8_t> Coverage;  // Rows x Width, row by row
};

struct KvFont {
  KvFont() = default;
  ~KvFont();
  KvFont(const KvFont&) = delete;
  KvFont& operator=(const KvFont&) = delete;

  // The rendered glyph of Latin-1 code Code (loaded on first use; a code the
  // face lacks gives the face's missing-glyph box).
  const KvGlyph& Glyph(uint8_t Code);

  std::string FaceName;  // as asked for
  std::string FilePath;  // the font file fontconfig chose
  int32_t Height = 0;    // cell height in pixels
  int32_t Ascent = 0;    // cell top -> baseline, in pixels
  bool Embolden = false;  // the face is not bold itself: glyphs are thickened

  FT_FaceRec_* Face = nullptr;
  std::shared_ptr<void> Library;  // keeps FreeType alive while the face lives
  KvGlyph Glyphs[256];
};

// Default cell height for TextOut before any SetFont, and for a Height of 0.
constexpr int32_t KvDefaultFontHeight = 16;
// Cell heights are clamped to 1 .. KvMaxFontHeight (glyph caches stay small).
constexpr int32_t KvMaxFontHeight = 1024;

// The font for FaceName (empty: the system's default sans-serif) in bold at
// cell height Height (a positive value is the cell height, 0 the default
// height, a negative value the character (em) height, turned into the cell
// height of the chosen face). A face that cannot be found or loaded falls back to the
// default sans-serif. Fonts are shared by every buffer asking for the same
// name and height. nullptr, with Why set, only when FreeType or fontconfig
// cannot give any face at all.
std::shared_ptr<KvFont> KvOpenFont(const std::string& FaceName, int32_t Height, std::string& Why);

// The file of the face the default font (an empty FaceName) is drawn with:
// fontconfig's best bold, upright, scalable sans-serif. Empty when
// fontconfig cannot answer. What a test records to tell whose glyphs it saw.
std::string KvDefaultFontFile();

// Sum of the glyph advances of Text (bytes read as Latin-1): the width of the
// text's cell and the pen position after it.
int64_t KvTextWidth(KvFont& Font, const std::string& Text);
