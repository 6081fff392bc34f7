// Text drawing: SetFont and TextOut with FreeType and fontconfig.
//
// Sections:
//   1. FreeType library and fontconfig look-up
//   2. KvFont: opening a face at a cell height, the glyph cache
//   3. Coverage blending kernels, one per depth
//   4. TBufferKv::SetFont, TBufferKv::TextOut
//
// Depends on: FontKv.h (the font record), PixelFormat.h (E5/E6, the layouts),
// FreeType, fontconfig.
//
// Blending rule, per 8-bit channel, with Cov the glyph's coverage 0 .. 255:
//   out = d + (s - d) * Cov / 255      (C++ division: truncated toward zero)
// where s is the text colour (UnpackColor of the pixel value, at the
// buffer's depth) and d the buffer's pixel unpacked the same way; out is then
// packed with the depth's PackColor formula. Truncation toward zero keeps out
// between d and s, so Cov 255 gives s and writes exactly the packed text
// colour, and Cov 0 leaves the pixel untouched.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <utility>

#include "BufferKv.h"
#include "FontKv.h"
#include "PixelFormat.h"

// Under AddressSanitizer: fontconfig's configuration parser loses a few
// hundred bytes once (FcFini does not get them back), which the leak checker
// would report at every exit. That one allocation is hidden from it below.
#if defined(__SANITIZE_ADDRESS__)
#define KV_LEAK_CHECKER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(leak_sanitizer)
#define KV_LEAK_CHECKER 1
#endif
#endif
#ifdef KV_LEAK_CHECKER
#include <sanitizer/lsan_interface.h>
#endif

// ---------------------------------------------------------------------------
// 1. FreeType library and fontconfig look-up
// ---------------------------------------------------------------------------
namespace {

// One FreeType library for the process; every face holds a reference so the
// library is released only after the last face.
std::shared_ptr<void> FreeTypeLibrary() {
  static std::shared_ptr<void> Library = [] {
    FT_Library Lib = nullptr;
    if (FT_Init_FreeType(&Lib) != 0) return std::shared_ptr<void>();
    return std::shared_ptr<void>(Lib, [](void* L) { FT_Done_FreeType(static_cast<FT_Library>(L)); });
  }();
  return Library;
}

struct FaceChoice {
  std::string File;
  int Index = 0;
  bool Bold = false;  // the face is bold by itself
};

// Loads fontconfig's configuration once. false when it cannot.
bool FontconfigReady() {
  static const bool Ready = [] {
#ifdef KV_LEAK_CHECKER
    __lsan_disable();
#endif
    const bool Ok = FcInit() == FcTrue;
#ifdef KV_LEAK_CHECKER
    __lsan_enable();
#endif
    return Ok;
  }();
  return Ready;
}

// Asks fontconfig for the best bold, upright, scalable face of Family
// (empty: "sans-serif"). fontconfig always answers with its best substitute,
// so a family that is not installed gives the system's default face.
bool MatchFace(const std::string& Family, FaceChoice& Out) {
  if (!FontconfigReady()) return false;
  FcPattern* Pattern = FcPatternCreate();
  if (!Pattern) return false;
  const std::string Name = Family.empty() ? std::string("sans-serif") : Family;
  FcPatternAddString(Pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(Name.c_str()));
  FcPatternAddInteger(Pattern, FC_WEIGHT, FC_WEIGHT_BOLD);
  FcPatternAddInteger(Pattern, FC_SLANT, FC_SLANT_ROMAN);
  FcPatternAddBool(Pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, Pattern, FcMatchPattern);
  FcDefaultSubstitute(Pattern);
  FcResult Result = FcResultNoMatch;
  FcPattern* Match = FcFontMatch(nullptr, Pattern, &Result);
  FcPatternDestroy(Pattern);
  if (!Match) return false;

  bool Found = false;
  FcChar8* File = nullptr;
  if (FcPatternGetString(Match, FC_FILE, 0, &File) == FcResultMatch && File) {
    Out.File = reinterpret_cast<const char*>(File);
    int Index = 0;
    if (FcPatternGetInteger(Match, FC_INDEX, 0, &Index) == FcResultMatch) Out.Index = Index;
    int Weight = FC_WEIGHT_REGULAR;
    FcPatternGetInteger(Match, FC_WEIGHT, 0, &Weight);
    Out.Bold = Weight >= FC_WEIGHT_DEMIBOLD;
    Found = true;
  }
  FcPatternDestroy(Match);
  return Found;
}

// Rounded Numerator / Denominator for positive Denominator, non-negative
// Numerator.
int64_t DivRound(int64_t Numerator, int64_t Denominator) { return (2 * Numerator + Denominator) / (2 * Denominator); }

int32_t ClampHeight(int64_t Height) {
  return int32_t(std::min<int64_t>(std::max<int64_t>(Height, 1), KvMaxFontHeight));
}

}  // namespace

// ---------------------------------------------------------------------------
// 2. KvFont
// ---------------------------------------------------------------------------
KvFont::~KvFont() {
  if (Face) FT_Done_Face(Face);
}

const KvGlyph& KvFont::Glyph(uint8_t Code) {
  KvGlyph& G = Glyphs[Code];
  if (G.Loaded) return G;
  G.Loaded = true;

  // Latin-1 bytes are the first 256 Unicode code points.
  const FT_UInt Index = FT_Get_Char_Index(Face, Code);
  if (FT_Load_Glyph(Face, Index, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP) != 0) return G;
  FT_GlyphSlot Slot = Face->glyph;
  if (Embolden) FT_GlyphSlot_Embolden(Slot);
  G.Advance = int32_t((Slot->advance.x + 32) >> 6);
  if (Slot->format != FT_GLYPH_FORMAT_BITMAP && FT_Render_Glyph(Slot, FT_RENDER_MODE_NORMAL) != 0) return G;

  const FT_Bitmap& Bitmap = Slot->bitmap;
  if (Bitmap.width == 0 || Bitmap.rows == 0) return G;
  const bool Gray = Bitmap.pixel_mode == FT_PIXEL_MODE_GRAY;
  const bool Mono = Bitmap.pixel_mode == FT_PIXEL_MODE_MONO;
  if (!Gray && !Mono) return G;  // colour or LCD bitmaps: not asked for, not drawn

  G.Width = int32_t(Bitmap.width);
  G.Rows = int32_t(Bitmap.rows);
  G.Left = Slot->bitmap_left;
  G.Top = Ascent - Slot->bitmap_top;
  G.Coverage.assign(size_t(G.Width) * size_t(G.Rows), 0);
  const int MaxGray = Gray && Bitmap.num_grays > 1 ? Bitmap.num_grays - 1 : 255;
  const int64_t Pitch = Bitmap.pitch;
  for (int32_t y = 0; y < G.Rows; ++y) {
    // A negative pitch means the rows are stored bottom-up.
    const uint8_t* Src = Bitmap.buffer + (Pitch >= 0 ? y * Pitch : (G.Rows - 1 - y) * -Pitch);
    uint8_t* Dst = G.Coverage.data() + size_t(y) * size_t(G.Width);
    for (int32_t x = 0; x < G.Width; ++x) {
      if (Mono)
        Dst[x] = (Src[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
      else
        Dst[x] = uint8_t(MaxGray == 255 ? Src[x] : std::min(255, Src[x] * 255 / MaxGray));
    }
  }
  return G;
}

int64_t KvTextWidth(KvFont& Font, const std::string& Text) {
  int64_t Width = 0;
  for (const char C : Text) Width += Font.Glyph(uint8_t(C)).Advance;
  return Width;
}

namespace {

// Opens File at cell height Height (see KvOpenFont for its sign). nullptr
// when FreeType cannot use the file.
std::shared_ptr<KvFont> OpenFace(const std::shared_ptr<void>& Library, const FaceChoice& Choice,
                                 const std::string& FaceName, int32_t Height) {
  auto Font = std::make_shared<KvFont>();
  Font->Library = Library;
  Font->FaceName = FaceName;
  Font->FilePath = Choice.File;
  Font->Embolden = !Choice.Bold;
  if (FT_New_Face(static_cast<FT_Library>(Library.get()), Choice.File.c_str(), Choice.Index, &Font->Face) != 0) {
    Font->Face = nullptr;
    return nullptr;
  }
  FT_Face Face = Font->Face;
  if (!FT_IS_SCALABLE(Face)) return nullptr;

  const int64_t Ascender = Face->ascender;
  const int64_t Extent = int64_t(Face->ascender) - int64_t(Face->descender);  // descender is negative
  const bool Metrics = Ascender > 0 && Extent > 0 && Ascender <= Extent && Face->units_per_EM > 0;

  int64_t Cell = Height == 0 ? KvDefaultFontHeight : Height;
  if (Cell < 0) {
    // A negative height asks for that character (em) height; the cell is the
    // em scaled by the face's ascender - descender.
    const int64_t Em = std::min<int64_t>(-Cell, KvMaxFontHeight);
    Cell = Metrics ? DivRound(Em * Extent, Face->units_per_EM) : Em;
  }
  Font->Height = ClampHeight(Cell);

  if (Metrics) {
    // Scale so that ascender - descender spans exactly the cell height.
    FT_Size_RequestRec Request{};
    Request.type = FT_SIZE_REQUEST_TYPE_REAL_DIM;
    Request.width = 0;
    Request.height = FT_Long(Font->Height) * 64;
    if (FT_Request_Size(Face, &Request) != 0) return nullptr;
    Font->Ascent = int32_t(DivRound(int64_t(Font->Height) * Ascender, Extent));
  } else {
    if (FT_Set_Pixel_Sizes(Face, 0, FT_UInt(Font->Height)) != 0) return nullptr;
    Font->Ascent = Font->Height * 4 / 5;
  }
  return Font;
}

}  // namespace

std::shared_ptr<KvFont> KvOpenFont(const std::string& FaceName, int32_t Height, std::string& Why) {
  // Fonts are shared by every buffer that asks for the same name and height,
  // and live as long as one of them holds the font.
  static std::map<std::pair<std::string, int32_t>, std::weak_ptr<KvFont>> Cache;
  const auto Key = std::make_pair(FaceName, Height);
  auto Hit = Cache.find(Key);
  if (Hit != Cache.end())
    if (auto Font = Hit->second.lock()) return Font;

  const std::shared_ptr<void> Library = FreeTypeLibrary();
  if (!Library) {
    Why = "FreeType could not be initialised";
    return nullptr;
  }
  std::shared_ptr<KvFont> Font;
  FaceChoice Choice;
  if (MatchFace(FaceName, Choice)) Font = OpenFace(Library, Choice, FaceName, Height);
  // The named face was unusable: the default sans-serif instead.
  if (!Font && !FaceName.empty() && MatchFace("", Choice)) Font = OpenFace(Library, Choice, FaceName, Height);
  if (!Font) {
    Why = "No usable font for \"" + FaceName + "\" and no default sans-serif font (fontconfig/FreeType)";
    return nullptr;
  }
  Cache[Key] = Font;
  return Font;
}

// ---------------------------------------------------------------------------
// 3. Coverage blending kernels
// ---------------------------------------------------------------------------
namespace {

// One channel of the blending rule in the banner.
inline int BlendChannel(int D, int S, int Cov) { return D + (S - D) * Cov / 255; }

// Per-depth pixel access and the PackColor / UnpackColor formulas of each
// format (PixelFormat.h), inlined for the kernels.
struct Pixel15 {
  static constexpr int Bytes = 2;
  static uint32_t Load(const uint8_t* P) {
    uint16_t V;
    std::memcpy(&V, P, 2);
    return V;
  }
  static void Store(uint8_t* P, uint32_t V) {
    const uint16_t W = uint16_t(V);
    std::memcpy(P, &W, 2);
  }
  static void Unpack(uint32_t V, int& R, int& G, int& B) {
    R = E5[(V >> 10) & 31];
    G = E5[(V >> 5) & 31];
    B = E5[V & 31];
  }
  static uint32_t Pack(int R, int G, int B) { return uint32_t(((R >> 3) << 10) | ((G >> 3) << 5) | (B >> 3)); }
};

struct Pixel16 : Pixel15 {
  static void Unpack(uint32_t V, int& R, int& G, int& B) {
    R = E5[(V >> 11) & 31];
    G = E6[(V >> 5) & 63];
    B = E5[V & 31];
  }
  static uint32_t Pack(int R, int G, int B) { return uint32_t(((R >> 3) << 11) | ((G >> 2) << 5) | (B >> 3)); }
};

struct Pixel24 {
  static constexpr int Bytes = 3;
  static uint32_t Load(const uint8_t* P) { return uint32_t(P[0]) | (uint32_t(P[1]) << 8) | (uint32_t(P[2]) << 16); }
  static void Store(uint8_t* P, uint32_t V) {
    P[0] = uint8_t(V);
    P[1] = uint8_t(V >> 8);
    P[2] = uint8_t(V >> 16);
  }
  static void Unpack(uint32_t V, int& R, int& G, int& B) {
    R = int((V >> 16) & 255);
    G = int((V >> 8) & 255);
    B = int(V & 255);
  }
  static uint32_t Pack(int R, int G, int B) { return (uint32_t(R) << 16) | (uint32_t(G) << 8) | uint32_t(B); }
};

struct Pixel32 : Pixel24 {
  static constexpr int Bytes = 4;
  static uint32_t Load(const uint8_t* P) {
    uint32_t V;
    std::memcpy(&V, P, 4);
    return V;
  }
  static void Store(uint8_t* P, uint32_t V) { std::memcpy(P, &V, 4); }
};

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
