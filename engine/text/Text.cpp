// Fonts: finding a face with fontconfig, opening it and rendering glyphs with
// FreeType. The drawing of text (SetFont, TextOut and their blending rule)
// is in TextDraw.cpp, which needs no font library: the browser build puts
// glyphs rendered here ahead of time (engine/packfonts/PackFonts.cpp) under it.
//
// Sections:
//   1. FreeType library and fontconfig look-up
//   2. KvFont: opening a face at a cell height, the glyph cache
//
// Depends on: FontKv.h (the font record), FreeType, fontconfig.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <utility>

#include "../draw/BufferKv.h"
#include "../draw/FontKv.h"

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

std::string KvDefaultFontFile() {
  FaceChoice Choice;
  return MatchFace("", Choice) ? Choice.File : std::string();
}

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
