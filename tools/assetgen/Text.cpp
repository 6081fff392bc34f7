// Text rendering with FreeType and fontconfig (see Text.h).
#include "Text.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace assetgen {

namespace {

FT_Library Lib = nullptr;
std::map<int, FT_Face> Faces;
bool FontconfigUsed = false;

struct FaceInfo {
  const char* Family;
  const char* Style;
  const char* File;  // file name inside the DejaVu folder
};

const FaceInfo& Info(FontFace Face) {
  static const FaceInfo Table[] = {
      {"DejaVu Sans", "Bold", "DejaVuSans-Bold.ttf"},
      {"DejaVu Serif", "Bold", "DejaVuSerif-Bold.ttf"},
      {"DejaVu Sans Mono", "Bold", "DejaVuSansMono-Bold.ttf"},
      {"DejaVu Sans", "Book", "DejaVuSans.ttf"},
  };
  return Table[int(Face)];
}

bool Readable(const std::string& Path) {
  FILE* F = std::fopen(Path.c_str(), "rb");
  if (!F) return false;
  std::fclose(F);
  return true;
}

// Asks fontconfig for the exact family and style; accepts the answer only if
// it is that face's own file (fontconfig substitutes silently otherwise, and
// a substitute would change the pictures).
std::string AskFontconfig(const FaceInfo& I) {
  std::string Result;
  if (!FcInit()) return Result;
  FontconfigUsed = true;
  FcPattern* Pat = FcPatternCreate();
  FcPatternAddString(Pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(I.Family));
  FcPatternAddString(Pat, FC_STYLE, reinterpret_cast<const FcChar8*>(I.Style));
  FcConfigSubstitute(nullptr, Pat, FcMatchPattern);
  FcDefaultSubstitute(Pat);
  FcResult Res = FcResultNoMatch;
  FcPattern* Match = FcFontMatch(nullptr, Pat, &Res);
  if (Match) {
    FcChar8* File = nullptr;
    if (FcPatternGetString(Match, FC_FILE, 0, &File) == FcResultMatch && File) {
      std::string Path = reinterpret_cast<const char*>(File);
      std::string Want = std::string("/") + I.File;
      if (Path.size() >= Want.size() && Path.compare(Path.size() - Want.size(), Want.size(), Want) == 0)
        Result = Path;
    }
    FcPatternDestroy(Match);
  }
  FcPatternDestroy(Pat);
  return Result;
}

std::mutex FtLock;  // FreeType library objects are not thread-safe

FT_Library Library() {
  if (!Lib && FT_Init_FreeType(&Lib) != 0) {
    Lib = nullptr;
    throw std::runtime_error("FreeType could not be initialised");
  }
  return Lib;
}

FT_Face LoadFace(FontFace Face) {
  std::map<int, FT_Face>& Cache = Faces;
  auto It = Cache.find(int(Face));
  if (It != Cache.end()) return It->second;
  std::string Path = FontFile(Face);
  FT_Face F = nullptr;
  if (FT_New_Face(Library(), Path.c_str(), 0, &F) != 0)
    throw std::runtime_error("FreeType cannot open the font " + Path);
  Cache[int(Face)] = F;
  return F;
}

// Decodes UTF-8 into code points; malformed bytes become U+FFFD.
std::vector<uint32_t> Decode(const std::string& S) {
  std::vector<uint32_t> Out;
  for (size_t I = 0; I < S.size();) {
    unsigned char C = static_cast<unsigned char>(S[I]);
    int Len = C < 0x80 ? 1 : (C >> 5) == 6 ? 2 : (C >> 4) == 14 ? 3 : (C >> 3) == 30 ? 4 : 0;
    if (Len == 0 || I + size_t(Len) > S.size()) {
      Out.push_back(0xfffd);
      ++I;
      continue;
    }
    uint32_t Cp = Len == 1 ? C : (C & (0x7f >> Len));
    for (int K = 1; K < Len; ++K) Cp = (Cp << 6) | (static_cast<unsigned char>(S[I + size_t(K)]) & 0x3f);
    Out.push_back(Cp);
    I += size_t(Len);
  }
  return Out;
}

struct Placed {
  std::vector<unsigned char> Bits;
  int W, H, Left, Top;  // bitmap size; offset of its top-left from the pen at the baseline
  float PenX;
};

}  // namespace

void ReleaseFonts() {
  std::lock_guard<std::mutex> Guard(FtLock);
  for (auto& F : Faces) FT_Done_Face(F.second);
  Faces.clear();
  if (Lib) FT_Done_FreeType(Lib);
  Lib = nullptr;
  // fontconfig keeps its configuration until told to let go.
  if (FontconfigUsed) FcFini();
  FontconfigUsed = false;
}

std::string FontFile(FontFace Face) {
  const FaceInfo& I = Info(Face);
  std::string Path = AskFontconfig(I);
  if (!Path.empty() && Readable(Path)) return Path;
  Path = std::string("/usr/share/fonts/truetype/dejavu/") + I.File;
  if (Readable(Path)) return Path;
  throw std::runtime_error(std::string("font ") + I.Family + " " + I.Style +
                           " not found (install the package fonts-dejavu-core)");
}

TextMask RenderText(const std::string& Utf8, const TextStyle& Style, int Pad) {
  std::lock_guard<std::mutex> Guard(FtLock);
  FT_Face F = LoadFace(Style.Face);
  if (FT_Set_Char_Size(F, 0, FT_F26Dot6(std::lround(Style.PixelHeight * 64.0f)), 72, 72) != 0)
    throw std::runtime_error("FreeType cannot size the font");
  FT_Matrix M;
  M.xx = FT_Fixed(std::lround(Style.StretchX * 65536.0f));
  M.xy = FT_Fixed(std::lround(Style.Shear * 65536.0f));
  M.yx = 0;
  M.yy = 0x10000;
  std::vector<Placed> Glyphs;
  float Pen = 0.0f;
  FT_UInt Prev = 0;
  for (uint32_t Cp : Decode(Utf8)) {
    FT_UInt Index = FT_Get_Char_Index(F, Cp);
    if (Prev && Index && FT_HAS_KERNING(F)) {
      FT_Vector K;
      if (FT_Get_Kerning(F, Prev, Index, FT_KERNING_UNFITTED, &K) == 0) Pen += float(K.x) / 64.0f * Style.StretchX;
    }
    FT_Vector Delta;
    float Frac = Pen - std::floor(Pen);
    Delta.x = FT_Pos(std::lround(Frac * 64.0f));
    Delta.y = 0;
    FT_Set_Transform(F, &M, &Delta);
    if (FT_Load_Glyph(F, Index, FT_LOAD_RENDER | FT_LOAD_NO_HINTING) != 0)
      throw std::runtime_error("FreeType cannot render a glyph");
    FT_GlyphSlot G = F->glyph;
    Placed P;
    P.W = int(G->bitmap.width);
    P.H = int(G->bitmap.rows);
    P.Left = G->bitmap_left;
    P.Top = G->bitmap_top;
    P.PenX = std::floor(Pen);
    P.Bits.resize(size_t(P.W) * size_t(P.H));
    for (int Y = 0; Y < P.H; ++Y)
      for (int X = 0; X < P.W; ++X)
        P.Bits[size_t(Y) * P.W + X] = G->bitmap.buffer[Y * G->bitmap.pitch + X];
    Glyphs.push_back(std::move(P));
    Pen += float(G->advance.x) / 64.0f + Style.Tracking;
    Prev = Index;
  }
  FT_Set_Transform(F, nullptr, nullptr);

  int MinX = 1 << 30, MaxX = -(1 << 30), MinY = 1 << 30, MaxY = -(1 << 30);
  for (const Placed& P : Glyphs) {
    if (P.W == 0 || P.H == 0) continue;
    MinX = std::min(MinX, int(P.PenX) + P.Left);
    MaxX = std::max(MaxX, int(P.PenX) + P.Left + P.W);
    MinY = std::min(MinY, -P.Top);
    MaxY = std::max(MaxY, -P.Top + P.H);
  }
  TextMask Out;
  Out.Advance = Pen;
  if (MinX > MaxX) {  // nothing but blanks
    Out.M = Mask(2 * Pad + 1, 2 * Pad + 1);
    Out.BaselineY = Pad;
    return Out;
  }
  Out.M = Mask(MaxX - MinX + 2 * Pad, MaxY - MinY + 2 * Pad);
  Out.BaselineY = Pad - MinY;
  Out.InkTop = Pad;
  Out.InkBottom = Pad + (MaxY - MinY) - 1;
  for (const Placed& P : Glyphs) {
    int Ox = int(P.PenX) + P.Left - MinX + Pad;
    int Oy = -P.Top - MinY + Pad;
    for (int Y = 0; Y < P.H; ++Y)
      for (int X = 0; X < P.W; ++X) {
        float& D = Out.M.At(Ox + X, Oy + Y);
        D = std::min(1.0f, D + P.Bits[size_t(Y) * P.W + X] / 255.0f);
      }
  }
  return Out;
}

int TextInkWidth(const std::string& Utf8, const TextStyle& Style) {
  TextMask T = RenderText(Utf8, Style, 0);
  return T.M.W;
}

void StampMax(Mask& Dst, const Mask& Src, int X, int Y) {
  ForEachInside(Dst.W, Dst.H, Src.W, Src.H, X, Y, [&](int Dx, int Dy, int Sx, int Sy) {
    float& D = Dst.At(Dx, Dy);
    D = std::max(D, Src.V[size_t(Sy) * Src.W + Sx]);
  });
}

void BlendMask(Image8& Dst, const Mask& M, int X, int Y, uint8_t R, uint8_t G, uint8_t B) {
  ForEachInside(Dst.W, Dst.H, M.W, M.H, X, Y, [&](int Dx, int Dy, int Sx, int Sy) {
    float A = M.V[size_t(Sy) * M.W + Sx];
    uint8_t* D = &Dst.Rgb8[(size_t(Dy) * Dst.W + Dx) * 3];
    D[0] = uint8_t(std::lround(D[0] + (R - D[0]) * A));
    D[1] = uint8_t(std::lround(D[1] + (G - D[1]) * A));
    D[2] = uint8_t(std::lround(D[2] + (B - D[2]) * A));
  });
}

void DrawLabel(Image8& Dst, int X, int Y, const std::string& Text, float PixelHeight, uint8_t R, uint8_t G, uint8_t B) {
  TextStyle S;
  S.Face = FontFace::Sans;
  S.PixelHeight = PixelHeight;
  BlendMask(Dst, RenderText(Text, S, 0).M, X, Y, R, G, B);
}

}  // namespace assetgen

