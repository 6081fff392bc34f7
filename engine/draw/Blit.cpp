// Buffer-to-buffer blits: DrawKeyed (through the device's keyed copy),
// DrawAdd, DrawAlpha, DrawAlphaKeyed (software, row kernels of
// RowKernels.h) and the in-place Blur.
//
// Sections:
//   clipping       the one clip of the software blits, in 64 bits
//   row driver     scratch rows of video-memory buffers, kernel choice
//   operations     the public TBufferKv members
//
// Order of work, on which blits of a buffer onto itself rely: rows from the
// top destination row down, pixels left to right, each destination pixel
// written right after its source pixel is read. So a source pixel is read
// with its new value exactly when the destination lies below the source, or
// in the same row to its right. The wide kernels load a group of pixels
// before they store it, which gives the same bytes in every case but the
// last: there, a same-row blit to the right goes to the reference kernels.
#include <vector>

#include "BufferKv.h"
#include "FastPath.h"
#include "RowKernels.h"

namespace {

using namespace kv;

// ===========================================================================
// Clipping
// ===========================================================================

struct BlitRect {
  int32_t SX, SY;  // first source column and row
  int32_t DX, DY;  // first destination column and row
  int32_t W, H;    // block size, both > 0
};

// The clip of the software blits. Positions may be anywhere in the int32
// range, so every sum is formed in 64 bits. False when nothing is drawn.
bool ClipBlit(const TBufferKv& Src, const TBufferKv& Dest, int32_t X, int32_t Y, BlitRect& R) {
  const int64_t X64 = X, Y64 = Y;
  if (X64 > Dest.MaxX || Y64 > Dest.MaxY || X64 + Src.Width < 0 || Y64 + Src.Height < 0) return false;
  const int64_t DX = X64 < 0 ? 0 : X64, DY = Y64 < 0 ? 0 : Y64;
  const int64_t Right = X64 + Src.Width < Dest.Width ? X64 + Src.Width : Dest.Width;
  const int64_t Bottom = Y64 + Src.Height < Dest.Height ? Y64 + Src.Height : Dest.Height;
  const int64_t W = Right - DX, H = Bottom - DY;
  if (W <= 0 || H <= 0) return false;
  R.SX = int32_t(X64 < 0 ? -X64 : 0);
  R.SY = int32_t(Y64 < 0 ? -Y64 : 0);
  R.DX = int32_t(DX);
  R.DY = int32_t(DY);
  R.W = int32_t(W);
  R.H = int32_t(H);
  return true;
}

// Depth index of a blit, or -1 when it cannot run: the source's Depth
// decides, and both buffers must lay pixels out as that depth says (a
// buffer whose pitch gives another pixel size would be read past its rows).
int BlitDepthIndex(const TBufferKv& Src, const TBufferKv& Dest) {
  const int Index = DepthIndex(Src.Depth);
  if (Index < 0) return -1;
  const int Bpp = BytesOfIndex[Index];
  if (Src.BytesPerPixel != Bpp || Dest.BytesPerPixel != Bpp) return -1;
  return Index;
}

// ===========================================================================
// Row driver
// ===========================================================================

// Runs Row(SourcePixels, DestPixels, Count) for each row of the block, top
// down. A buffer in video memory is touched only by whole-row FastMove
// copies: its pixels go through its scratch row. A buffer blitted onto
// itself has one scratch row for both ends, so then the source is staged
// in a separate row, or, when source and destination share their row, the
// row is copied once and worked on in place (keeping the order's reads).
template <class RowFn>
void RunRows(TBufferKv& Src, TBufferKv& Dest, const BlitRect& R, int Bpp, RowFn Row) {
  const uint32_t Bytes = uint32_t(R.W) * uint32_t(Bpp);
  const size_t SOff = size_t(R.SX) * Bpp, DOff = size_t(R.DX) * Bpp;
  if (!Src.HasScratchRow && !Dest.HasScratchRow) {
    for (int32_t i = 0; i < R.H; ++i) Row(Src.Rows[size_t(R.SY + i)] + SOff, Dest.Rows[size_t(R.DY + i)] + DOff, R.W);
    return;
  }
  const bool Self = &Src == &Dest;
  std::vector<uint8_t> Stage;
  if (Self) Stage.resize(Bytes);
  for (int32_t i = 0; i < R.H; ++i) {
    uint8_t* SRow = Src.Rows[size_t(R.SY + i)] + SOff;
    uint8_t* DRow = Dest.Rows[size_t(R.DY + i)] + DOff;
    if (Self && R.SY == R.DY) {
      // One row holds both ends: copy the span covering them, work there.
      const size_t Lo = SOff < DOff ? SOff : DOff;
      const size_t Hi = (SOff > DOff ? SOff : DOff) + Bytes;
      uint8_t* Scratch = Src.ScratchRow.get();
      uint8_t* Line = Src.Rows[size_t(R.SY + i)];
      FastMove(Line + Lo, Scratch + Lo, uint32_t(Hi - Lo));
      Row(Scratch + SOff, Scratch + DOff, R.W);
      FastMove(Scratch + DOff, Line + DOff, Bytes);
      continue;
    }
    const uint8_t* S = SRow;
    if (Self) {
      FastMove(SRow, Stage.data(), Bytes);
      S = Stage.data();
    } else if (Src.HasScratchRow) {
      FastMove(SRow, Src.ScratchRow.get(), Bytes);
      S = Src.ScratchRow.get();
    }
    if (Dest.HasScratchRow) {
      uint8_t* D = Dest.ScratchRow.get() + DOff;
      FastMove(DRow, D, Bytes);
      Row(S, D, R.W);
      FastMove(D, DRow, Bytes);
    } else {
      Row(S, DRow, R.W);
    }
  }
}

// The kernels for this blit: the active set, except for the one case in
// which loading a group of pixels before storing it would read old values
// that the pixel order reads new (same buffer, same row, destination to
// the right of the source).
const KernelSet& BlitKernels(const TBufferKv& Src, const TBufferKv& Dest, const BlitRect& R) {
  if (&Src == &Dest && R.SY == R.DY && R.DX > R.SX) return InOrderKernels();
  return ActiveKernels();
}

}  // namespace

// ===========================================================================
// Operations
// ===========================================================================

void TBufferKv::DrawKeyed(TBufferKv* Dest, int32_t X, int32_t Y, uint32_t KeyColor) {
  if (!Dest || !Surface || !Dest->Surface || !DirectDraw) return;
  const int64_t X64 = X, Y64 = Y;
  if (X64 > Dest->Width || Y64 > Dest->Height || X64 + Width < 0 || Y64 + Height < 0) return;
  // Source rectangle (right and bottom exclusive) and where it lands. With
  // X = Dest.Width it is empty: the device is asked and copies nothing.
  KvRect SrcRect;
  SrcRect.Left = int32_t(X64 < 0 ? -X64 : 0);
  SrcRect.Top = int32_t(Y64 < 0 ? -Y64 : 0);
  SrcRect.Right = int32_t(Width < Dest->Width - X64 ? Width : Dest->Width - X64);
  SrcRect.Bottom = int32_t(Height < Dest->Height - Y64 ? Height : Dest->Height - Y64);
  const int32_t DX = X < 0 ? 0 : X, DY = Y < 0 ? 0 : Y;
  // The key is set on every call and stays on the surface.
  Surface->ColorKey = KeyColor;
  for (;;) {
    const KvResult Result = DirectDraw->KeyedCopy(*Dest->Surface, DX, DY, *Surface, SrcRect, KeyColor);
    if (Result == KV_OK) {
      while (DirectDraw->BltStatus(*Dest->Surface) != KV_OK) {
      }
      return;
    }
    if (Result == KVERR_SURFACELOST) {
      RestoreSurfaces();  // the source's; this copy is skipped
      return;
    }
    if (Result != KVERR_WASSTILLDRAWING) return;  // any other refusal: nothing
  }
}

void TBufferKv::DrawAdd(TBufferKv* Dest, int32_t X, int32_t Y) {
  if (!Dest) return;
  BlitRect R;
  if (!ClipBlit(*this, *Dest, X, Y, R)) return;
  const int Index = BlitDepthIndex(*this, *Dest);
  if (Index >= 0) {
    const AddRowFn Row = BlitKernels(*this, *Dest, R).Add[Index];
    RunRows(*this, *Dest, R, BytesOfIndex[Index], [Row](const uint8_t* S, uint8_t* D, int32_t N) { Row(S, D, N); });
  }
  EndMmx();
}

void TBufferKv::DrawAlpha(TBufferKv* Dest, int32_t X, int32_t Y, uint8_t Alpha) {
  if (!Dest) return;
  BlitRect R;
  if (!ClipBlit(*this, *Dest, X, Y, R)) return;
  const int Index = BlitDepthIndex(*this, *Dest);
  // The show's trail one pixel to the right: each row is a serial chain
  // (every pixel blends the one just written), so eight or four rows are
  // worked at once.
  if (Index >= 0 && this == Dest && R.SY == R.DY && R.DX > R.SX && !HasScratchRow &&
      KvActivePath() != KvPath::Reference) {
    const size_t Bpp = size_t(BytesOfIndex[Index]);
    const size_t SOff = size_t(R.SX) * Bpp, DOff = size_t(R.DX) * Bpp;
    int32_t i = 0;
    if (R.DX == R.SX + 1 && R.W > 0 && KvActivePath() == KvPath::Avx2) {
      for (; i + 8 <= R.H; i += 8) {
        uint8_t* D[8];
        for (int r = 0; r < 8; ++r) D[r] = Rows[size_t(R.DY + i + r)] + DOff;
        if (!AlphaRowsOneRight8(Index, D, R.W, Alpha)) break;
      }
      EndMmx();
    }
    if (R.DX == R.SX + 1 && R.W > 0) {
      for (; i + 8 <= R.H; i += 8) {
        uint8_t* D[8];
        for (int r = 0; r < 8; ++r) D[r] = Rows[size_t(R.DY + i + r)] + DOff;
        if (!AlphaRowsOneRight8Sse2(Index, D, R.W, Alpha)) break;
      }
      for (; i + 4 <= R.H; i += 4) {
        uint8_t* D[4];
        for (int r = 0; r < 4; ++r) D[r] = Rows[size_t(R.DY + i + r)] + DOff;
        if (!AlphaRowsOneRight4(Index, D, R.W, Alpha)) break;
      }
    }
    for (; i + 4 <= R.H; i += 4) {
      const uint8_t* S[4];
      uint8_t* D[4];
      for (int r = 0; r < 4; ++r) {
        S[r] = Rows[size_t(R.SY + i + r)] + SOff;
        D[r] = Rows[size_t(R.DY + i + r)] + DOff;
      }
      AlphaRowsInOrder4(Index, S, D, R.W, Alpha);
    }
    for (; i < R.H; ++i)
      InOrderKernels().Alpha[Index](Rows[size_t(R.SY + i)] + SOff, Rows[size_t(R.DY + i)] + DOff, R.W, Alpha);
    return;
  }
  if (Index >= 0) {
    const AlphaRowFn Row = BlitKernels(*this, *Dest, R).Alpha[Index];
    RunRows(*this, *Dest, R, BytesOfIndex[Index],
            [Row, Alpha](const uint8_t* S, uint8_t* D, int32_t N) { Row(S, D, N, Alpha); });
  }
  EndMmx();
}

void TBufferKv::DrawAlphaKeyed(TBufferKv* Dest, int32_t X, int32_t Y, uint8_t Alpha, uint32_t KeyColor) {
  if (!Dest) return;
  BlitRect R;
  if (!ClipBlit(*this, *Dest, X, Y, R)) return;
  const int Index = BlitDepthIndex(*this, *Dest);
  if (Index >= 0) {
    const AlphaKeyedRowFn Row = BlitKernels(*this, *Dest, R).AlphaKeyed[Index];
    RunRows(*this, *Dest, R, BytesOfIndex[Index],
            [Row, Alpha, KeyColor](const uint8_t* S, uint8_t* D, int32_t N) { Row(S, D, N, Alpha, KeyColor); });
  }
  EndMmx();
}

// Each pixel, top row down and left to right, becomes the masked average of
// its four neighbours; left and up are already blurred. The neighbours of a
// row's ends are the last pixel of the row above and the first of the row
// below (rows being contiguous); outside the buffer, and above the first
// row and below the last, the pixel itself stands in.
void TBufferKv::Blur() {
  const int Index = DepthIndex(Depth);
  if (Index < 0 || BytesPerPixel != BytesOfIndex[Index] || Width <= 0 || Height <= 0) return;
  const int Bpp = BytesOfIndex[Index];
  const BlurRowFn Row = ActiveKernels().Blur[Index];
  auto Pixel = [Index](const uint8_t* P) { return Index <= 1 ? Load16(P) : Index == 2 ? Load24(P) : Load32(P); };
  uint32_t Left = Pixel(Rows[0]);  // the very first pixel's left: itself
  for (int32_t y = 0; y < Height; ++y) {
    uint8_t* Cur = Rows[size_t(y)];
    const uint8_t* Up = y > 0 ? Rows[size_t(y - 1)] : Cur;
    const uint8_t* Down = y < MaxY ? Rows[size_t(y + 1)] : Cur;
    const uint32_t RightOfLast = y < MaxY ? Pixel(Rows[size_t(y + 1)]) : Pixel(Cur + size_t(MaxX) * Bpp);
    Left = Row(Up, Cur, Down, Width, Left, RightOfLast);
  }
  EndMmx();
}
