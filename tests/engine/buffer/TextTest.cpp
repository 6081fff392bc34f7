// SetFont and TextOut: the blending rule checked against an independent
// per-pixel computation at every depth, the exact text colour in solid
// strokes, the cell rectangle (nothing written outside it, the cell height
// rule), clipping at every edge and at far-out positions, the default font.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <utility>
#include <vector>

#include "KvTest.h"
#include "engine/draw/BufferKv.h"
#include "engine/draw/FontKv.h"
#include "engine/draw/PixelFormat.h"

#include <ft2build.h>
#include FT_FREETYPE_H

namespace {

const int Depths[] = {15, 16, 24, 32};

// Every pixel of a buffer, as pixel values.
std::vector<uint32_t> Snapshot(const TBufferKv& B) {
  std::vector<uint32_t> Pixels;
  for (int y = 0; y < B.Height; ++y)
    for (int x = 0; x < B.Width; ++x) Pixels.push_back(kvtest::GetPixel(B, x, y));
  return Pixels;
}

struct Box {
  int Left = INT_MAX, Top = INT_MAX, Right = INT_MIN, Bottom = INT_MIN;  // inclusive
  bool Empty() const { return Left > Right; }
};

// The bounding box of the pixels that differ between two snapshots.
Box Changed(const TBufferKv& B, const std::vector<uint32_t>& Before) {
  Box R;
  const std::vector<uint32_t> After = Snapshot(B);
  for (int y = 0; y < B.Height; ++y)
    for (int x = 0; x < B.Width; ++x)
      if (After[size_t(y) * size_t(B.Width) + size_t(x)] != Before[size_t(y) * size_t(B.Width) + size_t(x)]) {
        R.Left = std::min(R.Left, x);
        R.Right = std::max(R.Right, x);
        R.Top = std::min(R.Top, y);
        R.Bottom = std::max(R.Bottom, y);
      }
  return R;
}

// The blending rule written out per pixel: each channel d + (s - d) * c / 255
// (truncated), packed with the engine's PackColorDepth; glyphs in string
// order, clipped to the cell's rows and the buffer.
void ReferenceText(int Depth, std::vector<uint32_t>& Pixels, int W, int H, KvFont& Font, int X, int Y,
                   const std::string& Text, uint32_t Color) {
  uint8_t SR, SG, SB;
  UnpackColorDepth(Depth, Color, SR, SG, SB);
  int64_t Pen = X;
  for (char C : Text) {
    const KvGlyph& G = Font.Glyph(uint8_t(C));
    for (int gy = 0; gy < G.Rows; ++gy)
      for (int gx = 0; gx < G.Width; ++gx) {
        const int64_t px = Pen + G.Left + gx, py = int64_t(Y) + G.Top + gy;
        if (py < Y || py >= int64_t(Y) + Font.Height) continue;
        if (px < 0 || px >= W || py < 0 || py >= H) continue;
        const int Cov = G.Coverage[size_t(gy) * size_t(G.Width) + size_t(gx)];
        if (Cov == 0) continue;
        uint32_t& P = Pixels[size_t(py) * size_t(W) + size_t(px)];
        uint8_t DR, DG, DB;
        UnpackColorDepth(Depth, P, DR, DG, DB);
        P = PackColorDepth(Depth, uint8_t(DR + (SR - DR) * Cov / 255), uint8_t(DG + (SG - DG) * Cov / 255),
                           uint8_t(DB + (SB - DB) * Cov / 255));
      }
    Pen += G.Advance;
  }
}

TEST(Text, BlendFollowsTheRuleAtEveryDepth) {
  for (int Depth : Depths) {
    SCOPED_TRACE(Depth);
    auto Display = kvtest::MakeDisplay(Depth);
    TBufferKv B(Display.get(), 173, 61, false);
    kvtest::FillRandom(B, 7u + uint32_t(Depth));
    B.SetFont("", 27);
    ASSERT_TRUE(B.Font);
    std::vector<uint32_t> Expected = Snapshot(B);
    const uint32_t Color = PackColorDepth(Depth, 255, 175, 132);
    const std::string Text = "Kelvra \xC1g\xE9 @%";  // Latin-1 letters too
    // Starts left of the buffer so the left edge clips a glyph.
    ReferenceText(Depth, Expected, B.Width, B.Height, *B.Font, -4, 9, Text, Color);
    B.TextOut(-4, 9, Text, Color);
    EXPECT_EQ(Snapshot(B), Expected);
  }
}

TEST(Text, SolidStrokesHaveExactlyThePackedColour) {
  // Pixel values from the engine's colour tables: 7EB0 at 15 bits unpacks to
  // 255, 172, 131 and packs back to itself; likewise FD70 at 16 bits.
  const uint32_t Colors[] = {0x7EB0, 0xFD70, 0xFFAF84, 0xFFAF84};
  for (int i = 0; i < 4; ++i) {
    const int Depth = Depths[i];
    SCOPED_TRACE(Depth);
    auto Display = kvtest::MakeDisplay(Depth);
    TBufferKv B(Display.get(), 80, 60, false);
    kvtest::FillRandom(B, 99u);
    B.SetFont("", 48);
    const std::vector<uint32_t> Before = Snapshot(B);
    B.TextOut(10, 4, "I", Colors[i]);
    // The middle row of the bar: its changed run's centre is solid ink.
    const int Row = 4 + 48 / 2;
    int First = -1, Last = -1;
    for (int x = 0; x < B.Width; ++x)
      if (kvtest::GetPixel(B, x, Row) != Before[size_t(Row) * 80 + size_t(x)]) {
        if (First < 0) First = x;
        Last = x;
      }
    ASSERT_GE(First, 10);
    ASSERT_GE(Last - First, 4) << "a bold I at 48 pixels has a stem several pixels wide";
    EXPECT_EQ(kvtest::GetPixel(B, (First + Last) / 2, Row), Colors[i]);
  }
}

// Columns covered by the glyph boxes of Text drawn from X: [first, last].
std::pair<int64_t, int64_t> GlyphColumns(KvFont& Font, int64_t X, const std::string& Text) {
  int64_t First = INT64_MAX, Last = INT64_MIN, Pen = X;
  for (char C : Text) {
    const KvGlyph& G = Font.Glyph(uint8_t(C));
    if (G.Width > 0) {
      First = std::min(First, Pen + G.Left);
      Last = std::max(Last, Pen + G.Left + G.Width - 1);
    }
    Pen += G.Advance;
  }
  return {First, Last};
}

TEST(Text, NothingOutsideTheCellRowsAndGlyphBoxes) {
  auto Display = kvtest::MakeDisplay(32);
  for (int Height : {9, 16, 31, 64}) {
    SCOPED_TRACE(Height);
    TBufferKv B(Display.get(), 400, 120, false);
    kvtest::FillRandom(B, uint32_t(Height));
    B.SetFont("", Height);
    ASSERT_EQ(B.Font->Height, Height);
    const std::string Text = "j\xC1gjy|Q_W,f";
    const std::vector<uint32_t> Before = Snapshot(B);
    B.TextOut(30, 20, Text, 0xFFFFFF);
    const Box R = Changed(B, Before);
    ASSERT_FALSE(R.Empty());
    const auto Columns = GlyphColumns(*B.Font, 30, Text);
    EXPECT_GE(R.Left, Columns.first);
    EXPECT_LE(R.Right, Columns.second);
    // The boxes stay near the cell: the advances span the text.
    EXPECT_GE(Columns.first, 30 - Height / 4);
    EXPECT_LE(Columns.second, 30 + KvTextWidth(*B.Font, Text) + Height / 4);
    EXPECT_GE(R.Top, 20);
    EXPECT_LT(R.Bottom, 20 + Height);
  }
}

TEST(Text, LeadingGlyphTailLeftOfXIsDrawn) {
  // A "j" reaches left of its pen position; it is drawn there, not cut at X.
  auto Display = kvtest::MakeDisplay(32);
  TBufferKv B(Display.get(), 100, 80, false);
  B.SetFont("", 60);
  ASSERT_LT(B.Font->Glyph('j').Left, 0);
  B.TextOut(20, 5, "j", 0xFFFFFF);
  const Box R = Changed(B, std::vector<uint32_t>(size_t(100) * 80, 0));
  EXPECT_LT(R.Left, 20);
}

TEST(Text, CellHeightIsTheHeightArgument) {
  // The union of the pixels of "Ág" (accent on top, descender below) fits in
  // Height rows from Y, and fills most of them: the face is scaled so that
  // its ascender-to-descender extent is the cell, not clipped into it.
  auto Display = kvtest::MakeDisplay(24);
  for (int Height : {12, 20, 33, 50, 100}) {
    SCOPED_TRACE(Height);
    TBufferKv B(Display.get(), 300, 160, false);
    B.SetFont("", Height);
    const std::vector<uint32_t> Before = Snapshot(B);
    B.TextOut(5, 40, "\xC1g", 0xFFFFFF);
    const Box R = Changed(B, Before);
    ASSERT_FALSE(R.Empty());
    EXPECT_GE(R.Top, 40);
    EXPECT_LE(R.Bottom, 40 + Height - 1);
    EXPECT_GE(R.Bottom - R.Top + 1, Height * 8 / 10);
  }
}

TEST(Text, ZeroNegativeAndHugeHeights) {
  auto Display = kvtest::MakeDisplay(32);
  TBufferKv B(Display.get(), 64, 64, false);
  B.SetFont("", 0);
  EXPECT_EQ(B.Font->Height, KvDefaultFontHeight);
  // Negative: the character (em) height; the cell is the em scaled by the
  // face's ascender - descender over its units per em, rounded.
  B.SetFont("", -20);
  const FT_FaceRec_* Face = B.Font->Face;
  ASSERT_NE(Face, nullptr);
  const double Extent = double(Face->ascender - Face->descender) / Face->units_per_EM;
  EXPECT_EQ(B.Font->Height, int(20 * Extent + 0.5));
  EXPECT_GT(B.Font->Height, 20);
  // Absurd heights are clamped, and still draw.
  B.SetFont("", INT32_MAX);
  EXPECT_EQ(B.Font->Height, KvMaxFontHeight);
  B.SetFont("", INT32_MIN);
  EXPECT_EQ(B.Font->Height, KvMaxFontHeight);
  B.TextOut(-120, -400, "I", 0xFFFFFF);  // the bar of the I covers the buffer
  EXPECT_NE(kvtest::Checksum(B), [&] {
    TBufferKv Clean(Display.get(), 64, 64, false);
    return kvtest::Checksum(Clean);
  }());
}

TEST(Text, EmptyStringDrawsNothing) {
  auto Display = kvtest::MakeDisplay(16);
  TBufferKv B(Display.get(), 50, 20, false);
  kvtest::FillRandom(B, 3);
  const uint64_t Sum = kvtest::Checksum(B);
  B.TextOut(1, 1, "", 0xFFFF);
  B.SetFont("", 14);
  B.TextOut(1, 1, "", 0xFFFF);
  EXPECT_EQ(kvtest::Checksum(B), Sum);
}

TEST(Text, ClippedTextIsTheVisiblePartOfTheWholeText) {
  for (int Depth : Depths) {
    SCOPED_TRACE(Depth);
    auto Display = kvtest::MakeDisplay(Depth);
    // The whole text drawn well inside a large buffer ...
    TBufferKv Whole(Display.get(), 300, 100, false);
    Whole.SetFont("", 22);
    const std::string Text = "Wavy jQ\xC4";
    const uint32_t Color = PackColorDepth(Depth, 200, 240, 60);
    Whole.TextOut(100, 40, Text, Color);
    // ... and in a small buffer from positions that cut it at each edge.
    const int Positions[][2] = {{-37, -9}, {20, -15}, {-5, 10}, {30, 12}, {45, 20}, {-60, 18}};
    for (const auto& P : Positions) {
      TBufferKv Small(Display.get(), 70, 30, false);
      Small.SetFont("", 22);
      Small.TextOut(P[0], P[1], Text, Color);
      for (int y = 0; y < Small.Height; ++y)
        for (int x = 0; x < Small.Width; ++x)
          ASSERT_EQ(kvtest::GetPixel(Small, x, y), kvtest::GetPixel(Whole, x + 100 - P[0], y + 40 - P[1]))
              << "at " << x << "," << y << " text at " << P[0] << "," << P[1];
    }
  }
}

TEST(Text, FarOutPositionsDrawNothingAndStayInBounds) {
  auto Display = kvtest::MakeDisplay(24);
  TBufferKv B(Display.get(), 40, 20, false);
  B.SetFont("", 18);
  const std::string Long(5000, 'W');
  const int32_t Far[] = {INT32_MIN, INT32_MIN + 1, -100000, -30, 40, 100000, INT32_MAX - 1, INT32_MAX};
  // Every pair leaves the cell outside the buffer (the long text from the
  // far left ends before column 0).
  for (int32_t X : Far)
    for (int32_t Y : Far) {
      B.TextOut(X, Y, "Far", 0xFFFFFF);
      B.TextOut(X, Y, Long, 0xFFFFFF);
    }
  EXPECT_EQ(kvtest::Checksum(B), [&] {
    TBufferKv Clean(Display.get(), 40, 20, false);
    return kvtest::Checksum(Clean);
  }());
  // A text from far left long enough to reach the buffer is drawn there.
  B.TextOut(-int32_t(KvTextWidth(*B.Font, Long)) + 20, 0, Long, 0xFFFFFF);
  EXPECT_NE(kvtest::Checksum(B), 0u);
}

TEST(Text, DefaultFontBeforeSetFontAndForMissingFaces) {
  auto Display = kvtest::MakeDisplay(32);
  TBufferKv First(Display.get(), 120, 30, false);
  EXPECT_FALSE(First.Font);
  std::vector<uint32_t> Before = Snapshot(First);
  First.TextOut(2, 3, "Nerith", 0xFFFFFF);
  const Box R = Changed(First, Before);
  ASSERT_FALSE(R.Empty());
  EXPECT_GE(R.Top, 3);
  EXPECT_LT(R.Bottom, 3 + KvDefaultFontHeight);

  // The same as the default sans-serif at that height.
  TBufferKv Second(Display.get(), 120, 30, false);
  Second.SetFont("", KvDefaultFontHeight);
  Second.TextOut(2, 3, "Nerith", 0xFFFFFF);
  EXPECT_EQ(Snapshot(Second), Snapshot(First));

  // A face that does not exist falls back to the default and still draws.
  TBufferKv Third(Display.get(), 120, 30, false);
  Third.SetFont("No Such Face Kelvra", KvDefaultFontHeight);
  ASSERT_TRUE(Third.Font);
  Third.TextOut(2, 3, "Nerith", 0xFFFFFF);
  EXPECT_EQ(Snapshot(Third), Snapshot(First));
}

// A machine without any usable face: fontconfig given a configuration
// that names no font folder. Runs in a fresh process (fontconfig reads its
// configuration once).
TEST(TextDeathTest, NoFaceAtAllDrawsNothingWithOneNote) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string Dir = kvtest::MakeTempDir("kvnofont");
  kvtest::WriteFile(Dir + "/fonts.conf", "<?xml version=\"1.0\"?>\n<fontconfig></fontconfig>\n");
  EXPECT_EXIT(
      {
        setenv("FONTCONFIG_FILE", (Dir + "/fonts.conf").c_str(), 1);
        auto Display = kvtest::MakeDisplay(32);
        TBufferKv B(Display.get(), 120, 30, false);
        const std::vector<uint32_t> Before = Snapshot(B);
        B.TextOut(2, 3, "before any font", 0xFFFFFF);
        B.SetFont("No Such Face Kelvra", 20);
        B.SetFont("", 20);
        B.TextOut(2, 3, "Nerith", 0xFFFFFF);
        std::fprintf(stderr, "%s\n", Snapshot(B) == Before ? "buffer unchanged" : "buffer drawn on");
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(0), "^note: [^\n]*; text is not drawn\nbuffer unchanged\n$");
}

TEST(Text, NamedFaceIsFoundAndDiffersFromTheDefault) {
  auto Display = kvtest::MakeDisplay(32);
  TBufferKv Sans(Display.get(), 200, 40, false), Serif(Display.get(), 200, 40, false);
  Sans.SetFont("", 30);
  Serif.SetFont("DejaVu Serif", 30);
  EXPECT_NE(Serif.Font->FilePath, Sans.Font->FilePath);
  EXPECT_NE(Serif.Font->FilePath.find("Bold"), std::string::npos) << Serif.Font->FilePath;
  Sans.TextOut(0, 0, "Rag", 0xFFFFFF);
  Serif.TextOut(0, 0, "Rag", 0xFFFFFF);
  EXPECT_NE(kvtest::Checksum(Sans), kvtest::Checksum(Serif));
}

}  // namespace
