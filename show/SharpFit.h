// Frames fitted into an output size that is not a whole multiple of them
// (--size 1080p: 2.25 x), sharp but even: the frame enlarged by the next
// whole multiple with nearest texels, then reduced to its place with an area
// filter. Every frame pixel then covers the same area of the output, with
// edges one output pixel wide, where nearest neighbour alone gives the
// uneven 2, 2, 3, 2 staircase.
//
// Enlarging by a whole multiple and then averaging areas is the same as
// averaging the frame's own pixels over each output pixel's area, so the
// filter is built that way: per output column and row, the frame pixels it
// overlaps and their weights (in 1/256, summing to 256). Output pixels that
// lie inside one frame pixel get that pixel exactly.
//
// Depends on: engine/core/Letterbox.h (KvRect).
#pragma once

#include <cstdint>
#include <vector>

#include <kelvra/core/Platform.h>

// True when Place is not a whole multiple of the frame, so SharpFit is the
// fit to use; whole multiples stay nearest neighbour (FitPixels).
bool WantsSharpFit(int32_t Width, int32_t Height, const KvRect& Place);

class SharpFit {
 public:
  // Frames of Width x Height into OutWidth x OutHeight with the frame in
  // Place, black around it.
  SharpFit(int32_t Width, int32_t Height, int32_t OutWidth, int32_t OutHeight, const KvRect& Place);

  // Rgb: Width x Height x 3 bytes; Out: OutWidth x OutHeight x 3 bytes.
  void Fit(const uint8_t* Rgb, uint8_t* Out);

 private:
  // Per output position along one axis: Count frame positions from First,
  // their weights at Weight[Offset ..].
  struct Axis {
    std::vector<int32_t> First, Count, Offset;
    std::vector<uint16_t> Weight;
  };
  static Axis MakeAxis(int32_t Source, int32_t Place);
  // Frame row Y across into its Wide row: output columns from From on, one
  // at a time (the plain loop), and the vector loop for those before.
  void AcrossPlain(const uint8_t* S, uint16_t* D, int32_t From) const;
  void AcrossVector(const uint8_t* S, uint16_t* D) const;

  int32_t Width, Height, OutWidth, OutHeight;
  KvRect Place;
  Axis Columns, Rows;
  std::vector<uint16_t> Wide;  // each frame row filtered across: Height x PlaceWidth x 3, x 256
  // The vector loop's columns: 0 .. VectorColumns - 1, each from two
  // neighbouring frame pixels (the second weighted 0 when there is one) with
  // four bytes read at each, so none reads past its frame row.
  int32_t VectorColumns = 0;
  std::vector<uint16_t> PairWeights;  // per column W0 x 4, W1 x 4
};
