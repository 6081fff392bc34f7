// LoadFromFile / LoadFromStream and KvDecodePicture: format by signature,
// the buffer's geometry after loading, surface reuse, the stream position,
// decoded pixel values at every depth (PNG of every colour type and bit
// depth, JPEG, BMP), and the error line and exit status of every kind of
// bad input, including pictures too large to accept.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <random>
#include <sstream>

#include "KvTest.h"
#include "PictureFiles.h"
#include "engine/core/Errors.h"
#include "engine/draw/BufferKv.h"
#include "engine/draw/ImageDecode.h"
#include "engine/draw/PixelFormat.h"

// The largest single allocation made through operator new, so a test can
// tell that refusing a picture did not first try to make room for it.
// (GCC cannot see that these replacements pair malloc with free.)
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
static std::atomic<size_t> LargestNew{0};
void* operator new(size_t Size) {
  size_t Seen = LargestNew.load(std::memory_order_relaxed);
  while (Size > Seen && !LargestNew.compare_exchange_weak(Seen, Size)) {
  }
  if (void* P = std::malloc(Size ? Size : 1)) return P;
  throw std::bad_alloc();
}
void operator delete(void* P) noexcept { std::free(P); }
void operator delete(void* P, size_t) noexcept { std::free(P); }

namespace {

using pictest::Rgb;
const int Depths[] = {15, 16, 24, 32};

std::vector<Rgb> RandomPixels(int Count, uint32_t Seed) {
  std::mt19937 Rng(Seed);
  std::vector<Rgb> Pixels;
  for (int i = 0; i < Count; ++i) Pixels.push_back({uint8_t(Rng()), uint8_t(Rng()), uint8_t(Rng())});
  return Pixels;
}

// Every pixel of B equals PackColorDepth of the expected colour.
void ExpectPixels(const TBufferKv& B, int W, int H, const std::vector<Rgb>& Expected) {
  ASSERT_EQ(B.Width, W);
  ASSERT_EQ(B.Height, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const Rgb& C = Expected[size_t(y) * size_t(W) + size_t(x)];
      ASSERT_EQ(kvtest::GetPixel(B, x, y), PackColorDepth(B.Depth, C.R, C.G, C.B)) << "at " << x << "," << y;
    }
}

void LoadBytes(TBufferKv& B, const std::string& Bytes) {
  std::istringstream In(Bytes);
  B.LoadFromStream(In, false);
}

bool Decode(const std::string& Bytes, KvPicture& Out, std::string& Error) {
  return KvDecodePicture(reinterpret_cast<const uint8_t*>(Bytes.data()), Bytes.size(), Out, Error);
}

// --- format, geometry, surface, stream -----------------------------------

TEST(Picture, PngNamedJpgLoadsAsPng) {
  auto Display = kvtest::MakeDisplay(32);
  const std::string Dir = kvtest::MakeTempDir("kvpic");
  const std::vector<Rgb> Pixels = RandomPixels(5 * 3, 1);
  kvtest::WriteFile(Dir + "/picture.jpg", pictest::EncodePngRgb(5, 3, Pixels));
  TBufferKv B(Display.get(), 1, 1, false);
  B.LoadFromFile(Dir + "/picture.jpg", false);
  ExpectPixels(B, 5, 3, Pixels);
  std::filesystem::remove_all(Dir);
}

TEST(Picture, LoadingGivesTheBufferThePicturesGeometry) {
  auto Display = kvtest::MakeDisplay(16);
  TBufferKv B(Display.get(), 1, 1, false);
  LoadBytes(B, pictest::EncodePngRgb(320, 200, std::vector<Rgb>(320 * 200, Rgb{1, 2, 3})));
  kvtest::ExpectGeometry(B, 320, 200);
  EXPECT_EQ(B.BytesPerPixel, 2);
  EXPECT_EQ(kvtest::GetPixel(B, 319, 199), PackColorDepth(16, 1, 2, 3));
}

TEST(Picture, SameSizeReloadKeepsTheSurface) {
  auto Display = kvtest::MakeDisplay(24);
  TBufferKv B(Display.get(), 1, 1, false);
  const std::vector<Rgb> First = RandomPixels(7 * 4, 2), Second = RandomPixels(7 * 4, 3);
  LoadBytes(B, pictest::EncodePngRgb(7, 4, First));
  const KvSurface* Surface = B.Surface.get();
  uint8_t* const Bits = B.Bits;
  LoadBytes(B, pictest::EncodeBmp24(7, 4, Second));
  EXPECT_EQ(B.Surface.get(), Surface);
  EXPECT_EQ(B.Bits, Bits);
  ExpectPixels(B, 7, 4, Second);
  // A different size replaces it.
  LoadBytes(B, pictest::EncodePngRgb(4, 7, First));
  EXPECT_EQ(B.Width, 4);
  EXPECT_EQ(B.Rows.size(), 7u);
  ExpectPixels(B, 4, 7, First);
}

TEST(Picture, StreamPositionIsRestored) {
  auto Display = kvtest::MakeDisplay(32);
  TBufferKv B(Display.get(), 1, 1, false);
  const std::vector<Rgb> Pixels = RandomPixels(6 * 2, 4);
  const std::string Data = std::string(1000, 'x') + pictest::EncodePngRgb(6, 2, Pixels) + "trailing bytes";
  std::istringstream In(Data);
  In.seekg(1000);
  B.LoadFromStream(In, false);
  EXPECT_TRUE(In.good());
  EXPECT_EQ(In.tellg(), std::streampos(1000));
  ExpectPixels(B, 6, 2, Pixels);

  // Also when the data is refused (checked without ending the process).
  for (const std::string& Bad : {std::string("GIF89a..."), std::string(), pictest::PngHeaderOnly(3, 3)}) {
    std::istringstream Stream(std::string(1000, 'x') + Bad);
    Stream.seekg(1000);
    KvPicture Picture;
    std::string Error;
    EXPECT_FALSE(KvDecodePicture(Stream, Picture, Error));
    EXPECT_TRUE(Stream.good());
    EXPECT_EQ(Stream.tellg(), std::streampos(1000));
  }
}

// --- pixel values -----------------------------------------------------------

TEST(Picture, KnownColoursGiveTheFormatsPixelValues) {
  // Colours and pixel values from the engine's colour table.
  const std::vector<Rgb> Colours = {{255, 255, 255}, {255, 175, 132}, {128, 128, 128}, {7, 3, 250}};
  const uint32_t Expected[4][4] = {{0x7FFF, 0x7EB0, 0x4210, 0x1F},
                                   {0xFFFF, 0xFD70, 0x8410, 0x1F},
                                   {0xFFFFFF, 0xFFAF84, 0x808080, 0x0703FA},
                                   {0xFFFFFF, 0xFFAF84, 0x808080, 0x0703FA}};
  const std::string Files[] = {pictest::EncodePngRgb(4, 1, Colours), pictest::EncodeBmp24(4, 1, Colours),
                               pictest::EncodeBmp8(4, 1, Colours, {0, 1, 2, 3})};
  for (int d = 0; d < 4; ++d) {
    SCOPED_TRACE(Depths[d]);
    auto Display = kvtest::MakeDisplay(Depths[d]);
    for (const std::string& File : Files) {
      TBufferKv B(Display.get(), 1, 1, false);
      LoadBytes(B, File);
      ASSERT_EQ(B.Width, 4);
      for (int x = 0; x < 4; ++x) EXPECT_EQ(kvtest::GetPixel(B, x, 0), Expected[d][x]) << x;
      if (Depths[d] == 24) {  // stored blue, green, red
        EXPECT_EQ(B.Rows[0][3], 0x84);
        EXPECT_EQ(B.Rows[0][4], 0xAF);
        EXPECT_EQ(B.Rows[0][5], 0xFF);
      }
    }
  }
}

// Expected 8-bit RGB of one PNG pixel, computed from the samples: grey and
// colour scaled to 8 bits (16-bit samples are chosen as c * 257 + small
// offsets, which round to c), alpha composited over black as c * a / 255
// rounded to nearest.
struct PngCase {
  int ColorType, BitDepth;
  bool Interlaced;
};

TEST(Picture, PngEveryColourTypeAndBitDepth) {
  const PngCase Cases[] = {
      {PNG_COLOR_TYPE_GRAY, 1, false},       {PNG_COLOR_TYPE_GRAY, 2, false},
      {PNG_COLOR_TYPE_GRAY, 4, true},        {PNG_COLOR_TYPE_GRAY, 8, false},
      {PNG_COLOR_TYPE_GRAY, 16, true},       {PNG_COLOR_TYPE_PALETTE, 1, false},
      {PNG_COLOR_TYPE_PALETTE, 2, true},     {PNG_COLOR_TYPE_PALETTE, 4, false},
      {PNG_COLOR_TYPE_PALETTE, 8, true},     {PNG_COLOR_TYPE_GRAY_ALPHA, 8, false},
      {PNG_COLOR_TYPE_GRAY_ALPHA, 16, true}, {PNG_COLOR_TYPE_RGB, 8, true},
      {PNG_COLOR_TYPE_RGB, 16, false},       {PNG_COLOR_TYPE_RGB_ALPHA, 8, false},
      {PNG_COLOR_TYPE_RGB_ALPHA, 16, true},
  };
  const int W = 13, H = 9;  // odd sizes: every interlace pass has partial rows
  std::mt19937 Rng(5);
  for (const PngCase& Case : Cases) {
    for (bool WithTrns : {false, true}) {
      if (WithTrns && (Case.ColorType & PNG_COLOR_MASK_ALPHA)) continue;
      SCOPED_TRACE(testing::Message() << "type " << Case.ColorType << " depth " << Case.BitDepth << " trns "
                                      << WithTrns << " interlaced " << Case.Interlaced);
      pictest::PngRecipe S;
      S.Width = W;
      S.Height = H;
      S.ColorType = Case.ColorType;
      S.BitDepth = Case.BitDepth;
      S.Interlaced = Case.Interlaced;
      const int Channels = pictest::PngChannels(Case.ColorType);
      const int Max = (1 << Case.BitDepth) - 1;
      if (Case.ColorType == PNG_COLOR_TYPE_PALETTE) {
        for (int i = 0; i <= Max; ++i) {
          S.Palette.push_back({uint8_t(Rng()), uint8_t(Rng()), uint8_t(Rng())});
          if (WithTrns) S.PaletteAlpha.push_back(uint8_t(i == 0 ? 0 : i == 1 ? 255 : Rng()));
        }
      }
      // Samples; 16-bit ones near a multiple of 257.
      auto Sample = [&](int Channel) -> uint16_t {
        (void)Channel;
        if (Case.BitDepth != 16) return uint16_t(Rng() % uint32_t(Max + 1));
        const int C = int(Rng() % 256), Offset = int(Rng() % 201) - 100;
        return uint16_t(std::min(65535, std::max(0, C * 257 + Offset)));
      };
      for (int i = 0; i < W * H * Channels; ++i) S.Samples.push_back(Sample(i % Channels));
      if (WithTrns && Case.ColorType != PNG_COLOR_TYPE_PALETTE) {
        // The first pixel's colour is the transparent one.
        S.HasTransparentColour = true;
        S.TransparentR = S.Samples[0];
        S.TransparentG = Channels == 3 ? S.Samples[1] : 0;
        S.TransparentB = Channels == 3 ? S.Samples[2] : 0;
      }

      auto To8 = [&](uint16_t V) -> int {
        return Case.BitDepth == 16 ? (V * 2 + 257) / 514 : V * 255 / Max;  // 16-bit: nearest of V / 257
      };
      std::vector<uint8_t> Expected;
      for (int p = 0; p < W * H; ++p) {
        const uint16_t* V = &S.Samples[size_t(p) * size_t(Channels)];
        int R, G, B, A = 255;
        if (Case.ColorType == PNG_COLOR_TYPE_PALETTE) {
          R = S.Palette[V[0]].R, G = S.Palette[V[0]].G, B = S.Palette[V[0]].B;
          if (WithTrns) A = S.PaletteAlpha[V[0]];
        } else if (Channels <= 2) {
          R = G = B = To8(V[0]);
          if (Channels == 2) A = To8(V[1]);
          if (S.HasTransparentColour && V[0] == S.TransparentR) A = 0;
        } else {
          R = To8(V[0]), G = To8(V[1]), B = To8(V[2]);
          if (Channels == 4) A = To8(V[3]);
          if (S.HasTransparentColour && V[0] == S.TransparentR && V[1] == S.TransparentG &&
              V[2] == S.TransparentB)
            A = 0;
        }
        for (int C : {R, G, B}) Expected.push_back(uint8_t((C * A + 127) / 255));
      }

      KvPicture Picture;
      std::string Error;
      ASSERT_TRUE(Decode(pictest::EncodePng(S), Picture, Error)) << Error;
      EXPECT_EQ(Picture.Width, W);
      EXPECT_EQ(Picture.Height, H);
      EXPECT_EQ(Picture.Rgb, Expected);
    }
  }
}

TEST(Picture, JpegMatchesTheAccurateDecodeAndTheColours) {
  // 8 x 8 blocks of solid colour, 4:4:4, quality 100: each decoded pixel is
  // within 3 of its colour (the quantisation error of solid blocks), and
  // exactly what libjpeg's accurate integer DCT gives in the test's own decode.
  const std::vector<Rgb> Blocks = {{255, 175, 132}, {7, 3, 250}, {128, 128, 128}, {0, 200, 40}};
  const int W = 32, H = 8;
  std::vector<uint8_t> Samples;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const Rgb& C = Blocks[size_t(x / 8)];
      Samples.insert(Samples.end(), {C.R, C.G, C.B});
    }
  for (bool Progressive : {false, true}) {
    SCOPED_TRACE(Progressive);
    const std::string Jpeg = pictest::EncodeJpeg(W, H, 3, Samples, 100, Progressive);
    int RW = 0, RH = 0;
    const std::vector<Rgb> Reference = pictest::DecodeJpegReference(Jpeg, &RW, &RH);
    ASSERT_EQ(RW, W);
    for (int Depth : Depths) {
      SCOPED_TRACE(Depth);
      auto Display = kvtest::MakeDisplay(Depth);
      TBufferKv B(Display.get(), 1, 1, false);
      LoadBytes(B, Jpeg);
      ExpectPixels(B, W, H, Reference);
    }
    // Noise at an ordinary quality: any other DCT or colour conversion
    // would show here.
    std::vector<uint8_t> Noise;
    for (const Rgb& P : RandomPixels(W * H, 11)) Noise.insert(Noise.end(), {P.R, P.G, P.B});
    const std::string NoisyJpeg = pictest::EncodeJpeg(W, H, 3, Noise, 75, Progressive);
    KvPicture Noisy;
    std::string Error;
    ASSERT_TRUE(Decode(NoisyJpeg, Noisy, Error)) << Error;
    const std::vector<Rgb> NoisyReference = pictest::DecodeJpegReference(NoisyJpeg, &RW, &RH);
    for (size_t i = 0; i < NoisyReference.size(); ++i) {
      ASSERT_EQ(Noisy.Rgb[i * 3], NoisyReference[i].R) << i;
      ASSERT_EQ(Noisy.Rgb[i * 3 + 1], NoisyReference[i].G) << i;
      ASSERT_EQ(Noisy.Rgb[i * 3 + 2], NoisyReference[i].B) << i;
    }
    for (int i = 0; i < W * H; ++i) {
      const Rgb& C = Blocks[size_t((i % W) / 8)];
      EXPECT_NEAR(Reference[size_t(i)].R, C.R, 3);
      EXPECT_NEAR(Reference[size_t(i)].G, C.G, 3);
      EXPECT_NEAR(Reference[size_t(i)].B, C.B, 3);
    }
  }
}

TEST(Picture, JpegGreyAndCmyk) {
  // Grey: R = G = B = the grey level (within 2 at quality 100).
  std::vector<uint8_t> Grey;
  for (int i = 0; i < 16 * 8; ++i) Grey.push_back(uint8_t((i % 16) < 8 ? 40 : 220));
  KvPicture Picture;
  std::string Error;
  ASSERT_TRUE(Decode(pictest::EncodeJpeg(16, 8, 1, Grey, 100), Picture, Error)) << Error;
  for (int i = 0; i < 16 * 8; ++i) {
    EXPECT_EQ(Picture.Rgb[size_t(i) * 3], Picture.Rgb[size_t(i) * 3 + 1]);
    EXPECT_EQ(Picture.Rgb[size_t(i) * 3], Picture.Rgb[size_t(i) * 3 + 2]);
    EXPECT_NEAR(Picture.Rgb[size_t(i) * 3], Grey[size_t(i)], 2);
  }
  // Adobe CMYK, stored as 255 - ink: full cyan -> (0, 255, 255); half black
  // over no ink -> 255 * 128 / 255 per channel; magenta + yellow -> red.
  const uint8_t Inks[3][4] = {{255, 0, 0, 0}, {0, 0, 0, 127}, {0, 255, 255, 0}};
  const Rgb Colours[3] = {{0, 255, 255}, {128, 128, 128}, {255, 0, 0}};
  std::vector<uint8_t> Cmyk;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 24; ++x)
      for (int c = 0; c < 4; ++c) Cmyk.push_back(uint8_t(255 - Inks[x / 8][c]));
  ASSERT_TRUE(Decode(pictest::EncodeJpeg(24, 8, 4, Cmyk, 100), Picture, Error)) << Error;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 24; ++x) {
      const uint8_t* P = &Picture.Rgb[(size_t(y) * 24 + size_t(x)) * 3];
      EXPECT_NEAR(P[0], Colours[x / 8].R, 3) << x;
      EXPECT_NEAR(P[1], Colours[x / 8].G, 3) << x;
      EXPECT_NEAR(P[2], Colours[x / 8].B, 3) << x;
    }
}

// --- refusals -----------------------------------------------------------------

TEST(Picture, OversizePicturesAreRefusedBeforeAnyRoomIsMade) {
  std::string Jpeg = pictest::EncodeJpeg(16, 16, 3, std::vector<uint8_t>(16 * 16 * 3, 90), 90);
  const size_t Sof = Jpeg.find("\xFF\xC0");
  ASSERT_NE(Sof, std::string::npos);
  auto JpegOfSize = [&](int W, int H) {
    std::string J = Jpeg;
    J[Sof + 5] = char(H >> 8), J[Sof + 6] = char(H), J[Sof + 7] = char(W >> 8), J[Sof + 8] = char(W);
    return J;
  };
  auto BmpOfSize = [](int32_t W, int32_t H) {
    std::string B = pictest::EncodeBmp24(1, 1, {{1, 2, 3}});
    for (int i = 0; i < 4; ++i) B[size_t(18 + i)] = char(W >> (8 * i)), B[size_t(22 + i)] = char(H >> (8 * i));
    return B;
  };
  const std::string Oversize[] = {
      pictest::PngHeaderOnly(16385, 1), pictest::PngHeaderOnly(1, 16385), pictest::PngHeaderOnly(8193, 8192),
      pictest::PngHeaderOnly(0x7FFFFFFF, 0x7FFFFFFF), JpegOfSize(16385, 16), JpegOfSize(8200, 8200),
      BmpOfSize(16385, 1), BmpOfSize(1, -16385), BmpOfSize(10000, 10000), BmpOfSize(1, INT32_MIN)};
  for (const std::string& File : Oversize) {
    KvPicture Picture;
    std::string Error;
    LargestNew = 0;
    EXPECT_FALSE(Decode(File, Picture, Error));
    EXPECT_EQ(Error.rfind("Picture too large (", 0), 0u) << Error;
    EXPECT_LT(LargestNew.load(), size_t(1) << 20);
  }
  // At the limits: accepted.
  KvPicture Picture;
  std::string Error;
  EXPECT_TRUE(Decode(pictest::EncodePngRgb(16384, 1, std::vector<Rgb>(16384, Rgb{9, 9, 9})), Picture, Error))
      << Error;
  EXPECT_TRUE(Decode(pictest::EncodeBmp24(1, 16384, std::vector<Rgb>(16384, Rgb{9, 9, 9})), Picture, Error))
      << Error;
}

// Runs Load in a child whose working folder is a fresh temporary folder and
// returns the log line it left there.
template <class F>
std::string ErrorLineOf(F Load) {
  const std::string Dir = kvtest::MakeTempDir("kvpicerr");
  EXPECT_EXIT(
      {
        if (chdir(Dir.c_str()) != 0) std::_Exit(99);
        Load();
      },
      ::testing::ExitedWithCode(KvFatalExitCode), "");
  const std::string Line = kvtest::ReadFile(Dir + "/KVR_ERR.txt");
  std::filesystem::remove_all(Dir);
  return Line;
}

TEST(PictureDeathTest, BadFilesEndTheProgramWithTheirLine) {
  const std::string Png = pictest::EncodePngRgb(20, 20, RandomPixels(400, 6));
  std::string BadCrc = Png;
  BadCrc[BadCrc.size() - 20] ^= 0x55;  // inside the IDAT data: its CRC no longer matches
  const std::string Jpeg = pictest::EncodeJpeg(24, 24, 3, std::vector<uint8_t>(24 * 24 * 3, 77), 90);
  std::string ZeroBmp = pictest::EncodeBmp24(2, 2, RandomPixels(4, 7));
  ZeroBmp[18] = ZeroBmp[19] = 0;  // width 0
  const struct {
    std::string Name, Bytes, Message;
  } Cases[] = {
      {"picture.gif", "GIF89a\x03\x00\x03\x00", "Stream Image format not supported..."},
      {"empty.png", "", "Stream Image format not supported..."},
      {"text.bmp", "B", "Stream Image format not supported..."},
      {"half.png", Png.substr(0, Png.size() / 2), "Error loading PNG from Stream..."},
      {"zero.png", pictest::PngHeaderOnly(0, 0), "Error loading PNG from Stream..."},
      {"crc.png", BadCrc, "Error loading PNG from Stream..."},
      {"half.jpg", Jpeg.substr(0, Jpeg.size() / 2), "Error loading JPEG from Stream..."},
      {"noimage.jpg", "\xFF\xD8\xFF\xD9", "Error loading JPEG from Stream..."},
      {"half.bmp", pictest::EncodeBmp24(9, 9, RandomPixels(81, 8)).substr(0, 100), "Error loading BMP from Stream..."},
      {"zero.bmp", ZeroBmp, "Error loading BMP from Stream..."},
      {"huge.png", pictest::PngHeaderOnly(20000, 20000),
       "Picture too large (20000 x 20000 pixels; at most 16384 per side and 67108864 in all)"},
  };
  auto Display = kvtest::MakeDisplay(32);
  const std::string Dir = kvtest::MakeTempDir("kvpicfiles");
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const std::string Path = Dir + "/" + Case.Name;
    kvtest::WriteFile(Path, Case.Bytes);
    const std::string Line = ErrorLineOf([&] {
      TBufferKv B(Display.get(), 1, 1, false);
      B.LoadFromFile(Path, false);
    });
    EXPECT_EQ(Line, "[TBufferKv]LoadStreamImage -> " + Case.Message + " (" + Path + ")\r\n");
  }
  const std::string Missing = Dir + "/not here.png";
  EXPECT_EQ(ErrorLineOf([&] {
              TBufferKv B(Display.get(), 1, 1, false);
              B.LoadFromFile(Missing, false);
            }),
            "[TBufferKv]LoadFromFile -> Cannot open file " + Missing + "\r\n");
  EXPECT_EQ(ErrorLineOf([&] {
              TBufferKv B(Display.get(), 1, 1, false);
              B.LoadFromFile(Dir, false);  // a folder is not a file
            }),
            "[TBufferKv]LoadFromFile -> Cannot open file " + Dir + ": not a regular file\r\n");
  std::filesystem::remove_all(Dir);
}

}  // namespace
