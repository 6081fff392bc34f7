// Text drawing: SetFont and TextOut over the glyphs of a KvFont (made by
// Text.cpp natively, read from the asset pack in the browser build).
//
// Sections:
//   3. Coverage blending kernels, one per depth
//   4. TBufferKv::SetFont, TBufferKv::TextOut
//
// Depends on: FontKv.h (the font record, KvOpenFont), PixelTraits.h (each
// format's load, store, pack and unpack).
//
// Blending rule, per 8-bit channel, with Cov the glyph's coverage 0 .. 255:
//   out = d + (s - d) * Cov / 255      (C++ division: truncated toward zero)
// where s is the text colour (UnpackColor of the pixel value, at the
// buffer's depth) and d the buffer's pixel unpacked the same way; out is then
// packed with the depth's PackColor formula. Truncation toward zero keeps out
// between d and s, so Cov 255 gives s and writes exactly the packed text
// colour, and Cov 0 leaves the pixel untouched.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "BufferKv.h"
#include "FontKv.h"
#include "PixelFormat.h"
#include "PixelTraits.h"

int64_t KvTextWidth(KvFont& Font, const std::string& Text) {
  int64_t Width = 0;
  for (const char C : Text) Width += Font.Glyph(uint8_t(C)).Advance;
  return Width;
}

// ---------------------------------------------------------------------------
// 3. Coverage blending kernels
// ---------------------------------------------------------------------------
namespace {

// One channel of the blending rule in the banner.
inline int BlendChannel(int D, int S, int Cov) { return D + (S - D) * Cov / 255; }

using kv::Pixel15;
using kv::Pixel16;
using kv::Pixel24;
using kv::Pixel32;

struct TextColor {
  int R, G, B;      // the text colour, unpacked
  uint32_t Packed;  // what full coverage writes
};

// Blends a W x H block of coverage into the rows, starting at pixel X of row
// Y. The caller has clipped the block to the buffer.
template <class Px>
void BlendCoverage(uint8_t* const* Rows, int32_t X, int32_t Y, int32_t W, int32_t H, const uint8_t* Coverage,
                   int32_t CoveragePitch, const TextColor& Color) {
  for (int32_t j = 0; j < H; ++j) {
    uint8_t* P = Rows[Y + j] + size_t(X) * Px::Bytes;
    const uint8_t* C = Coverage + size_t(j) * size_t(CoveragePitch);
    for (int32_t i = 0; i < W; ++i, P += Px::Bytes) {
      const int Cov = C[i];
      if (Cov == 0) continue;
      if (Cov == 255) {
        Px::Store(P, Color.Packed);
        continue;
      }
      int R, G, B;
      Px::Unpack(Px::Load(P), R, G, B);
      Px::Store(P, Px::Pack(BlendChannel(R, Color.R, Cov), BlendChannel(G, Color.G, Cov),
                            BlendChannel(B, Color.B, Cov)));
    }
  }
}

using BlendKernel = void (*)(uint8_t* const*, int32_t, int32_t, int32_t, int32_t, const uint8_t*, int32_t,
                             const TextColor&);

BlendKernel KernelForDepth(int32_t Depth) {
  switch (Depth) {
    case 15: return BlendCoverage<Pixel15>;
    case 16: return BlendCoverage<Pixel16>;
    case 24: return BlendCoverage<Pixel24>;
    case 32: return BlendCoverage<Pixel32>;
    default: return nullptr;
  }
}

// The font TextOut uses before any SetFont. Asked for once: a machine
// without fonts does not get a font look-up per TextOut.
std::shared_ptr<KvFont> DefaultFont(std::string& Why) {
  static bool Asked = false;
  static std::shared_ptr<KvFont> Font;
  if (!Asked) {
    Asked = true;
    Font = KvOpenFont("", KvDefaultFontHeight, Why);
  }
  return Font;
}

// Text is decoration: a machine with no usable face at all gets one note
// on stderr and a show without text, not the end of the program.
void NoteNoFont(const std::string& Why) {
  static bool Noted = false;
  if (Noted) return;
  Noted = true;
  std::fprintf(stderr, "note: %s; text is not drawn\n", Why.empty() ? "no usable font" : Why.c_str());
  std::fflush(stderr);
}

}  // namespace

// ---------------------------------------------------------------------------
// 4. SetFont, TextOut
// ---------------------------------------------------------------------------
// A face that cannot be had is no error: KvOpenFont falls back to the
// default face, and with no face at all the buffer keeps drawing no text.
void TBufferKv::SetFont(const std::string& FaceName, int32_t Height) {
  std::string Why;
  Font = KvOpenFont(FaceName, Height, Why);
  if (!Font) NoteNoFont(Why);
}

void TBufferKv::TextOut(int32_t X, int32_t Y, const std::string& Text, uint32_t Color) {
  if (Text.empty() || Rows.empty()) return;
  const BlendKernel Kernel = KernelForDepth(Depth);
  if (!Kernel) return;

  std::string Why;
  const std::shared_ptr<KvFont> Use = Font ? Font : DefaultFont(Why);
  if (!Use) {
    NoteNoFont(Why);
    return;
  }
  KvFont& F = *Use;

  // Rows: the text's cell, Y .. Y + Height - 1, clipped to the buffer.
  // Columns: only the buffer's edges; a glyph may reach left of X or right of
  // its advance (the tail of a "j"), as on the classic font interface.
  // 64-bit: X, Y and the text's width may reach anywhere in the int32 range.
  const int64_t CellTop = Y;
  const int64_t ClipTop = std::max<int64_t>(CellTop, 0);
  const int64_t ClipBottom = std::min<int64_t>(CellTop + F.Height, Height);  // exclusive
  if (ClipTop >= ClipBottom || Width <= 0) return;
  const int64_t ClipLeft = 0, ClipRight = Width;

  TextColor Ink;
  uint8_t R = 0, G = 0, B = 0;
  UnpackColorDepth(Depth, Color, R, G, B);
  Ink.R = R;
  Ink.G = G;
  Ink.B = B;
  Ink.Packed = PackColorDepth(Depth, R, G, B);

  int64_t Pen = X;
  for (const char C : Text) {
    const KvGlyph& Gl = F.Glyph(uint8_t(C));
    const int64_t GlyphLeft = Pen + Gl.Left;
    const int64_t GlyphTop = CellTop + Gl.Top;
    Pen += Gl.Advance;
    const int64_t Left = std::max(GlyphLeft, ClipLeft);
    const int64_t Right = std::min(GlyphLeft + Gl.Width, ClipRight);
    const int64_t Top = std::max(GlyphTop, ClipTop);
    const int64_t Bottom = std::min(GlyphTop + Gl.Rows, ClipBottom);
    if (Left >= Right || Top >= Bottom) continue;
    const uint8_t* Coverage =
        Gl.Coverage.data() + size_t(Top - GlyphTop) * size_t(Gl.Width) + size_t(Left - GlyphLeft);
    Kernel(Rows.data(), int32_t(Left), int32_t(Top), int32_t(Right - Left), int32_t(Bottom - Top), Coverage,
           Gl.Width, Ink);
  }
}
