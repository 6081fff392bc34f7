// TBufferKv: a picture in the display's own pixel format, drawn into by
// software.
//
// The surface is locked once, when it is made: Bits, Pitch and the row table
// Rows stay valid for the surface's life, and every drawing routine writes
// straight through them. Only colour fills, keyed copies and presenting go
// through the device (Platform.h).
//
// Buffer-to-buffer operations are called on the source and name the
// destination first: Source.DrawKeyed(Dest, X, Y, Key). Positions may lie
// anywhere in the int32 range; every operation clips silently.
//
// Where each family lives:
//   BufferKv.cpp     creation, mapping, Clear, Error
//   Present.cpp      Present
//   pack/PictureLoad.cpp  LoadFromFile, LoadFromStream (the pack, the file,
//                    then the platform's decoder: pictures/ImageLoad.cpp natively)
//   PictureCopy.cpp  LoadPicture (a decoded picture into the buffer)
//   TextDraw.cpp     SetFont, TextOut (glyphs from Text.cpp: FreeType + fontconfig)
//   Blit*.cpp        DrawKeyed, DrawAdd, DrawAlpha, DrawAlphaKeyed, Blur
//   Primitives.cpp   PutPixel, Line, ClipLine, FillRect, Bezier
//   Span.cpp         HLine, TexturePoly, RotoZoom
#pragma once

#include <cstdint>
#include <istream>
#include <memory>
#include <string>
#include <vector>

#include "../core/Platform.h"

class TKelvra;
struct KvFont;  // a FreeType face at one cell height, with its glyph cache
struct KvPicture;  // a decoded picture, 8-bit RGB (ImageDecode.h)

// One polygon corner (32 bytes). Each operation reads only what it needs:
// X, Y always; U, V for textured fills; Color for Gouraud fills.
struct TexVertex {
  float X = 0, Y = 0;
  float Reserved0 = 0;
  float U = 0, V = 0;
  float Reserved1 = 0, Reserved2 = 0;
  uint32_t Color = 0;
};
static_assert(sizeof(TexVertex) == 32, "TexVertex is eight 4-byte fields");

struct KvEdgeRGB {
  int32_t R, G, B;  // 16.16
};
struct KvEdgeUV {
  int32_t U, V;  // 16.16
};

class TBufferKv {
 public:
  // Makes a Width x Height surface (video memory falls back to system memory),
  // maps it and clears it to 0.
  TBufferKv(TKelvra* Display, int32_t Width, int32_t Height, bool VideoMem);
  virtual ~TBufferKv();

  TBufferKv(const TBufferKv&) = delete;
  TBufferKv& operator=(const TBufferKv&) = delete;

  // --- surface ---------------------------------------------------------
  void MapSurface();
  void FreeSurface();
  void RestoreSurfaces();
  void Clear(uint32_t Color);
  [[noreturn]] void Error(const std::string& Step, const std::string& Message);

  // --- presenting ------------------------------------------------------
  void Present(bool WaitRetrace);

  // --- pictures --------------------------------------------------------
  void LoadFromFile(const std::string& FileName, bool VideoMem);
  void LoadFromStream(std::istream& Stream, bool VideoMem);
  // A picture already decoded: the buffer takes its size, then its pixels at
  // the buffer's depth (PictureCopy.cpp).
  void LoadPicture(const KvPicture& Picture, bool VideoMem);

  // --- text ------------------------------------------------------------
  // Never fail: a face that cannot be had gives the default sans-serif; with
  // no usable face at all, TextOut draws nothing and one note goes to stderr.
  void SetFont(const std::string& FaceName, int32_t Height);
  void TextOut(int32_t X, int32_t Y, const std::string& Text, uint32_t Color);

  // --- blits (called on the source) -----------------------------------
  void DrawKeyed(TBufferKv* Dest, int32_t X, int32_t Y, uint32_t KeyColor);
  void DrawAdd(TBufferKv* Dest, int32_t X, int32_t Y);
  void DrawAlpha(TBufferKv* Dest, int32_t X, int32_t Y, uint8_t Alpha);
  void DrawAlphaKeyed(TBufferKv* Dest, int32_t X, int32_t Y, uint8_t Alpha, uint32_t KeyColor);
  void Blur();

  // --- primitives ------------------------------------------------------
  void PutPixel(int32_t X, int32_t Y, uint32_t Color);
  void Line(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, uint32_t Color);
  // true when the line lies wholly outside (nothing to draw).
  bool ClipLine(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2);
  void FillRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, uint32_t Color);
  void Bezier(int32_t X0, int32_t Y0, int32_t X3, int32_t Y3, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
              int32_t Segments, uint32_t Color);

  // --- spans -----------------------------------------------------------
  // Fills min(X1,X2) .. max(X1,X2), both included, of row Y.
  void HLine(int32_t X1, int32_t X2, int32_t Y, uint32_t Color);
  // HLine(X1[y], X2[y], y, Color) for each row y = FirstRow .. LastRow, as a
  // polygon fill asks: the span kernel is chosen once for all the rows.
  void HLineRows(const int32_t* X1, const int32_t* X2, int32_t FirstRow, int32_t LastRow, uint32_t Color);
  void TexturePoly(TBufferKv* Source, const TexVertex* Vertices, int32_t Count, uint32_t KeyColor);
  void RotoZoom(TBufferKv* Dest, int32_t CentreX, int32_t CentreY, float Scale, float Angle, uint32_t KeyColor);

  // --- geometry (set by MapSurface) -----------------------------------
  uint8_t* Bits = nullptr;
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t HalfWidth = 0;
  int32_t HalfHeight = 0;
  int32_t MaxX = 0;
  int32_t MaxY = 0;
  int32_t Pitch = 0;
  uint8_t BytesPerPixel = 0;
  uint8_t BitsPerPixel = 0;
  std::vector<uint8_t*> Rows;

  // --- copied from the display ----------------------------------------
  uint32_t Window = 0;
  int32_t ScreenWidth = 0;
  int32_t ScreenHeight = 0;
  int32_t Depth = 0;
  KvDeviceRef DirectDraw;
  KvSurfaceRef PrimarySurface;
  KvSurfaceRef BackSurface;
  bool FullScreen = false;

  // --- own surface -----------------------------------------------------
  KvSurfaceRef Surface;
  std::unique_ptr<uint8_t[]> ScratchRow;  // only for video-memory surfaces
  bool InVideoMemory = false;
  bool HasScratchRow = false;

  // Polygon edge tables, one entry per row of the buffer, for side 0 (edges
  // running down in corner order) and side 1 (edges running up).
  std::vector<int32_t> EdgeX[2];
  std::vector<KvEdgeRGB> EdgeRGB[2];
  std::vector<KvEdgeUV> EdgeUV[2];

  std::shared_ptr<KvFont> Font;  // nullptr until the first SetFont

 private:
  void MakeSurface(int32_t W, int32_t H, bool VideoMem);
};

// Largest picture the loader accepts (side and pixel count).
constexpr int32_t KvMaxPictureSide = 16384;
constexpr int64_t KvMaxPicturePixels = 64ll * 1024 * 1024;
