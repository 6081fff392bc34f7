// The desktop icons: one per hicolor size, a rounded tile inset from the
// square's edge (transparent corners, opaque body), with the lit letter in
// the middle. Decoded with libpng's own RGBA reader, not the generator's code.
#include <gtest/gtest.h>
#include <png.h>

#include <string>
#include <vector>

#include "AssetTestUtil.h"

using namespace assettest;

namespace {

struct Rgba {
  int W = 0, H = 0;
  std::vector<uint8_t> P;
  const uint8_t* At(int X, int Y) const { return &P[(size_t(Y) * W + X) * 4]; }
};

bool ReadRgba(const std::string& Bytes, Rgba& Out) {
  png_image Img{};
  Img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&Img, Bytes.data(), Bytes.size())) return false;
  if (!(Img.format & PNG_FORMAT_FLAG_ALPHA)) {
    png_image_free(&Img);
    return false;  // an icon without alpha would show a square on the desktop
  }
  Img.format = PNG_FORMAT_RGBA;
  Out.W = int(Img.width);
  Out.H = int(Img.height);
  Out.P.resize(PNG_IMAGE_SIZE(Img));
  return png_image_finish_read(&Img, nullptr, Out.P.data(), 0, nullptr) != 0;
}

}  // namespace

TEST(Icons, EachSizeIsARoundedOpaqueTileWithTheLetterLit) {
  if (GeneratorExe().empty()) GTEST_SKIP() << "built without the asset generator";
  for (int Size : {48, 64, 128, 256}) {
    SCOPED_TRACE("icon " + std::to_string(Size));
    Rgba I;
    ASSERT_TRUE(ReadRgba(Slurp(std::string(KV_BINARY_DIR) + "/icons/icon_" + std::to_string(Size) + ".png"), I));
    ASSERT_EQ(I.W, Size);
    ASSERT_EQ(I.H, Size);
    const int Last = Size - 1, Mid = Size / 2;
    // Corners and the edges' midpoints lie outside the inset tile.
    for (auto XY : {std::pair<int, int>{0, 0}, {Last, 0}, {0, Last}, {Last, Last}, {Mid, 0}, {0, Mid}})
      EXPECT_EQ(I.At(XY.first, XY.second)[3], 0) << XY.first << "," << XY.second;
    // A rounded corner: transparent at the tile's corner point, opaque a
    // little way in along the diagonal.
    const int In = Size * 24 / 512 + 1;
    EXPECT_LT(I.At(In, In)[3], 128);
    // The body between the rounded corners is wholly opaque.
    int Holes = 0, Bright = 0;
    for (int Y = Size / 4; Y < Size - Size / 4; ++Y)
      for (int X = Size / 4; X < Size - Size / 4; ++X) {
        Holes += I.At(X, Y)[3] != 255;
        const uint8_t* C = I.At(X, Y);
        Bright += C[0] > 200 && C[1] > 200 && C[2] > 200;
      }
    EXPECT_EQ(Holes, 0);
    // The chrome letter lights a good part of the middle near-white (about
    // 7% at every size); the tile alone has no pixel that bright.
    const int MiddleArea = (Size - 2 * (Size / 4)) * (Size - 2 * (Size / 4));
    EXPECT_GT(Bright * 25, MiddleArea) << Bright << " near-white pixels of " << MiddleArea;
  }
}
