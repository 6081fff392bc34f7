// Pixel formats: the packing table, the 5/6-bit expansion, the exact round
// trip of every 15- and 16-bit value, the depth rule, and the row unpacking
// to RGB.
#include <gtest/gtest.h>

#include <vector>

#include "engine/core/Kelvra.h"
#include "engine/core/Platform.h"
#include "engine/draw/PixelFormat.h"

namespace {

struct PackCase {
  int Depth;
  uint32_t White, Salmon, Grey;   // PackColor of (255,255,255), (255,175,132), (128,128,128)
  uint8_t R, G, B;                // UnpackColor of the Salmon value
};

// The values each depth's layout gives for these colours.
const PackCase Cases[] = {
    {15, 0x7FFF, 0x7EB0, 0x4210, 255, 172, 131},
    {16, 0xFFFF, 0xFD70, 0x8410, 255, 174, 131},
    {24, 0xFFFFFF, 0xFFAF84, 0x808080, 255, 175, 132},
    {32, 0xFFFFFF, 0xFFAF84, 0x808080, 255, 175, 132},
};

class DesktopDepthScope {
 public:
  explicit DesktopDepthScope(uint8_t Depth) : Saved(DesktopDepth) { DesktopDepth = Depth; }
  ~DesktopDepthScope() { DesktopDepth = Saved; }

 private:
  uint8_t Saved;
};

TEST(PixelFormat, PackAndUnpackTableAtEveryDepth) {
  for (const PackCase& C : Cases) {
    SCOPED_TRACE(C.Depth);
    DesktopDepthScope Scope{uint8_t(C.Depth)};
    EXPECT_EQ(PackColor(255, 255, 255), C.White);
    EXPECT_EQ(PackColor(255, 175, 132), C.Salmon);
    EXPECT_EQ(PackColor(128, 128, 128), C.Grey);
    uint8_t R = 0, G = 0, B = 0;
    UnpackColor(C.Salmon, R, G, B);
    EXPECT_EQ(R, C.R);
    EXPECT_EQ(G, C.G);
    EXPECT_EQ(B, C.B);
    // The explicit-depth forms agree with the DesktopDepth forms.
    EXPECT_EQ(PackColorDepth(C.Depth, 255, 175, 132), C.Salmon);
  }
}

TEST(PixelFormat, SmallComponentsVanishAndGreyDoesNotRoundTrip) {
  for (int Depth : {15, 16}) {
    DesktopDepthScope Scope{uint8_t(Depth)};
    EXPECT_EQ(PackColor(7, 3, 250), 0x1Fu) << Depth;
  }
  DesktopDepthScope Scope(16);
  uint8_t R = 0, G = 0, B = 0;
  UnpackColor(PackColor(128, 128, 128), R, G, B);
  EXPECT_EQ(R, 131);
  EXPECT_EQ(G, 129);
  EXPECT_EQ(B, 131);
}

TEST(PixelFormat, UnknownDepthPacksZeroAndLeavesComponents) {
  DesktopDepthScope Scope(8);
  EXPECT_EQ(PackColor(255, 255, 255), 0u);
  uint8_t R = 1, G = 2, B = 3;
  UnpackColor(0xFFFFFF, R, G, B);
  EXPECT_EQ(R, 1);
  EXPECT_EQ(G, 2);
  EXPECT_EQ(B, 3);
}

TEST(PixelFormat, ExpansionTablesAreTruncatingDivision) {
  for (int i = 0; i < 32; ++i) EXPECT_EQ(E5[i], i * 255 / 31) << i;
  for (int i = 0; i < 64; ++i) EXPECT_EQ(E6[i], i * 255 / 63) << i;
}

// Every pixel value of depth 15 and 16 survives unpack + pack unchanged, and
// the unpacked components are the independent expansion of its fields.
TEST(PixelFormat, EverySixteenBitValueRoundTrips) {
  for (int Depth : {15, 16}) {
    SCOPED_TRACE(Depth);
    const uint32_t Count = Depth == 15 ? 0x8000u : 0x10000u;
    int Failures = 0;
    for (uint32_t V = 0; V < Count && Failures < 5; ++V) {
      uint8_t R = 0, G = 0, B = 0;
      UnpackColorDepth(Depth, V, R, G, B);
      const uint32_t RField = Depth == 15 ? (V >> 10) & 31 : (V >> 11) & 31;
      const uint32_t GField = Depth == 15 ? (V >> 5) & 31 : (V >> 5) & 63;
      const uint32_t GMax = Depth == 15 ? 31 : 63;
      const bool Expanded = R == RField * 255 / 31 && G == GField * 255 / GMax && B == (V & 31) * 255 / 31;
      const bool Back = PackColorDepth(Depth, R, G, B) == V;
      if (!Expanded || !Back) {
        ADD_FAILURE() << "value " << std::hex << V;
        ++Failures;
      }
    }
  }
}

TEST(PixelFormat, TrueColourKeepsEveryComponent) {
  for (int Depth : {24, 32}) {
    for (uint32_t C = 0; C < 256; C += 5) {
      uint8_t R = 0, G = 0, B = 0;
      const uint32_t V = PackColorDepth(Depth, uint8_t(C), uint8_t(255 - C), uint8_t(C ^ 0x5A));
      EXPECT_EQ(V, (C << 16) | ((255 - C) << 8) | (C ^ 0x5A));
      UnpackColorDepth(Depth, V, R, G, B);
      EXPECT_EQ(R, C);
      EXPECT_EQ(G, 255 - C);
      EXPECT_EQ(B, C ^ 0x5A);
    }
  }
}

TEST(PixelFormat, DepthRuleFromBitCountAndGreenMask) {
  EXPECT_EQ(KvDepthFromFormat({16, 0x7E0}), 16);
  EXPECT_EQ(KvDepthFromFormat({16, 0x3E0}), 15);
  // Only the green mask 0x3E0 means 15; other 16-bit masks count as 16.
  EXPECT_EQ(KvDepthFromFormat({16, 0x0F0}), 16);
  EXPECT_EQ(KvDepthFromFormat({24, 0xFF00}), 24);
  EXPECT_EQ(KvDepthFromFormat({24, 0x00FF}), 24);
  EXPECT_EQ(KvDepthFromFormat({32, 0xFF00}), 32);
  EXPECT_EQ(KvDepthFromFormat({32, 0}), 32);
  EXPECT_EQ(KvDepthFromFormat({8, 0}), 8);
}

}  // namespace

// KvRowToRgb (the PNG dump, the recorder, the browser's hashes) reads its
// tables, not UnpackColorDepth: every 16-bit value, and seeded 24- and 32-bit
// pixels whose unused top bits are set, must come out as the formula says.
TEST(PixelFormat, RowToRgbIsUnpackColorDepthForEveryPixel) {
  for (int Depth : {15, 16, 24, 32}) {
    SCOPED_TRACE(Depth);
    const int Bytes = Depth <= 16 ? 2 : Depth / 8;
    const int32_t Width = Depth <= 16 ? 65536 : 4096;
    std::vector<uint8_t> Row(size_t(Width) * Bytes);
    uint32_t Seed = 12345;
    for (int32_t X = 0; X < Width; ++X) {
      Seed = Seed * 1664525u + 1013904223u;
      const uint32_t V = Depth <= 16 ? uint32_t(X) : Seed;
      for (int I = 0; I < Bytes; ++I) Row[size_t(X) * Bytes + I] = uint8_t(V >> (8 * I));
    }
    std::vector<uint8_t> Rgb(size_t(Width) * 3);
    KvRowToRgb(Row.data(), Width, Depth, Rgb.data());
    int Failures = 0;
    for (int32_t X = 0; X < Width && Failures < 5; ++X) {
      uint32_t V = 0;
      for (int I = 0; I < Bytes; ++I) V |= uint32_t(Row[size_t(X) * Bytes + I]) << (8 * I);
      uint8_t R = 0, G = 0, B = 0;
      UnpackColorDepth(Depth, V, R, G, B);
      const uint8_t* Got = &Rgb[size_t(X) * 3];
      if (Got[0] != R || Got[1] != G || Got[2] != B) {
        ADD_FAILURE() << "pixel " << std::hex << V;
        ++Failures;
      }
    }
  }
}
