// TBufferKv: surface creation, mapping, Clear and the error routine.
#include "BufferKv.h"

#include "../core/Errors.h"
#include "../core/Kelvra.h"

TBufferKv::TBufferKv(TKelvra* Display, int32_t W, int32_t H, bool VideoMem) {
  if (!Display || !Display->DirectDraw) Error("Create", "No display object to create the buffer for");
  Window = Display->Window;
  DirectDraw = Display->DirectDraw;
  PrimarySurface = Display->PrimarySurface;
  BackSurface = Display->BackSurface;
  ScreenWidth = Display->ScreenWidth;
  ScreenHeight = Display->ScreenHeight;
  Depth = Display->Depth;
  FullScreen = Display->FullScreen;
  MakeSurface(W, H, VideoMem);
}

TBufferKv::~TBufferKv() {
  FreeSurface();
  BackSurface.reset();
  PrimarySurface.reset();
  DirectDraw.reset();
}

// Asks for a surface in the memory wanted, falls back to system memory, maps
// it, gives a video-memory surface its scratch row and clears it to 0.
void TBufferKv::MakeSurface(int32_t W, int32_t H, bool VideoMem) {
  InVideoMemory = VideoMem;
  KvResult Result = DirectDraw->CreateSurface(W, H, VideoMem, &Surface);
  if (Result != KV_OK) {
    Result = DirectDraw->CreateSurface(W, H, false, &Surface);
    if (Result != KV_OK) Error("CreateSurface", KvResultText(Result));
    InVideoMemory = false;
  }
  MapSurface();
  if (InVideoMemory) {
    ScratchRow.reset(new uint8_t[size_t(Pitch)]());
    HasScratchRow = true;
  } else {
    HasScratchRow = false;
  }
  Clear(0);
}

void TBufferKv::MapSurface() {
  if (!Surface || !Surface->Pixels || Surface->Width <= 0) Error("Lock", KvResultText(KVERR_INVALIDPARAMS));
  Bits = Surface->Pixels;
  Width = Surface->Width;
  Height = Surface->Height;
  MaxX = Width - 1;
  MaxY = Height - 1;
  HalfWidth = int32_t(uint32_t(Width) >> 1);
  HalfHeight = int32_t(uint32_t(Height) >> 1);
  Pitch = Surface->Pitch;
  BytesPerPixel = uint8_t(Pitch / Width);
  BitsPerPixel = uint8_t(BytesPerPixel * 8);
  Rows.resize(size_t(Height));
  for (int32_t y = 0; y < Height; ++y) Rows[size_t(y)] = Bits + size_t(y) * size_t(Pitch);
  // Only rows 0 .. MaxY of the edge tables are ever written.
  for (int Side = 0; Side < 2; ++Side) {
    EdgeX[Side].assign(size_t(Height), 0);
    EdgeRGB[Side].assign(size_t(Height), KvEdgeRGB{0, 0, 0});
    EdgeUV[Side].assign(size_t(Height), KvEdgeUV{0, 0});
  }
}

void TBufferKv::FreeSurface() {
  Surface.reset();
  if (HasScratchRow) {
    ScratchRow.reset();
    HasScratchRow = false;
  }
}

void TBufferKv::RestoreSurfaces() {
  if (!DirectDraw) return;
  if (Surface) DirectDraw->Restore(*Surface);
  if (PrimarySurface) DirectDraw->Restore(*PrimarySurface);
  if (!FullScreen && BackSurface) DirectDraw->Restore(*BackSurface);
}

void TBufferKv::Clear(uint32_t Color) {
  if (!Surface || !DirectDraw) return;
  KvFillWithRecovery(*DirectDraw, *Surface, nullptr, Color, [this] { RestoreSurfaces(); });
}

void TBufferKv::Error(const std::string& Step, const std::string& Message) {
  const std::string Line = KvErrorLine("[TBufferKv]", Step, Message);
  FreeSurface();
  BackSurface.reset();
  PrimarySurface.reset();
  DirectDraw.reset();
  FatalError(Line.c_str());  // restores the desktop first
}
