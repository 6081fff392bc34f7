// The browser build's asset pack: what the native build wrote holds exactly
// what the native loaders give, and the reader refuses every damaged pack
// with a message instead of reading past its end. Plus the one unpacking
// that the PNG dump and the page's frame hash share.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "KvTest.h"
#include "engine/pack/AssetPack.h"
#include "engine/core/Platform.h"
#include "engine/draw/FontKv.h"
#include "engine/draw/ImageDecode.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Bytes(const std::string& Text) { return std::vector<uint8_t>(Text.begin(), Text.end()); }

const KvAssetPack& BuiltPack() {
  static const KvAssetPack Pack = [] {
    const std::vector<uint8_t> Data = Bytes(kvtest::ReadFile(std::string(KV_BINARY_DIR) + "/web/nerith.kpak"));
    KvAssetPack P;
    std::string Why;
    EXPECT_TRUE(KvReadPack(Data.data(), Data.size(), P, Why)) << Why;
    return P;
  }();
  return Pack;
}

std::vector<fs::path> FilesIn(const fs::path& Folder) {
  std::vector<fs::path> Files;
  for (const auto& Entry : fs::directory_iterator(Folder))
    if (Entry.is_regular_file()) Files.push_back(Entry.path());
  return Files;
}

void ExpectGlyphsEqual(const KvGlyph& Want, const KvGlyph& Got, int Code) {
  EXPECT_EQ(Want.Left, Got.Left) << "glyph " << Code;
  EXPECT_EQ(Want.Top, Got.Top) << "glyph " << Code;
  EXPECT_EQ(Want.Width, Got.Width) << "glyph " << Code;
  EXPECT_EQ(Want.Rows, Got.Rows) << "glyph " << Code;
  EXPECT_EQ(Want.Advance, Got.Advance) << "glyph " << Code;
  EXPECT_EQ(Want.Coverage, Got.Coverage) << "glyph " << Code;
}

TEST(WebPack, PicturesAreWhatTheNativeLoadersDecode) {
  const KvAssetPack& Pack = BuiltPack();
  const std::vector<fs::path> Files = FilesIn(kvtest::AssetDir() + "/GFX");
  ASSERT_FALSE(Files.empty());
  EXPECT_EQ(Pack.Pictures.size(), Files.size());
  for (const fs::path& File : Files) {
    const std::vector<uint8_t> Data = Bytes(kvtest::ReadFile(File.string()));
    KvPicture Native;
    std::string Why;
    ASSERT_TRUE(KvDecodePicture(Data.data(), Data.size(), Native, Why)) << File << ": " << Why;
    const auto Found = Pack.Pictures.find("GFX/" + File.filename().string());
    ASSERT_NE(Found, Pack.Pictures.end()) << File;
    EXPECT_EQ(Found->second.Width, Native.Width) << File;
    EXPECT_EQ(Found->second.Height, Native.Height) << File;
    EXPECT_TRUE(Found->second.Rgb == Native.Rgb) << File << ": pixels differ";
  }
}

TEST(WebPack, MeshesAndGlyphsAreTheNativeOnes) {
  const KvAssetPack& Pack = BuiltPack();
  for (const fs::path& File : FilesIn(kvtest::AssetDir() + "/ASC")) {
    const auto Found = Pack.Files.find("ASC/" + File.filename().string());
    ASSERT_NE(Found, Pack.Files.end()) << File;
    EXPECT_TRUE(Found->second == Bytes(kvtest::ReadFile(File.string()))) << File;
  }
  // The show's font (Main.cpp: the default face at cell height 32).
  const auto Packed = Pack.Fonts.find({"", 32});
  ASSERT_NE(Packed, Pack.Fonts.end());
  std::string Why;
  const std::shared_ptr<KvFont> Font = KvOpenFont("", 32, Why);
  ASSERT_TRUE(Font) << Why;
  EXPECT_EQ(Packed->second.Height, Font->Height);
  EXPECT_EQ(Packed->second.Ascent, Font->Ascent);
  for (int Code = 0; Code < 256; ++Code) ExpectGlyphsEqual(Font->Glyph(uint8_t(Code)), Packed->second.Glyphs[Code], Code);
}

// A small pack of each kind of entry, and its bytes.
KvAssetPack SmallPack() {
  KvAssetPack Pack;
  KvPicture& Picture = Pack.Pictures["GFX/p.png"];
  Picture.Width = 3;
  Picture.Height = 2;
  for (int i = 0; i < 18; ++i) Picture.Rgb.push_back(uint8_t(i * 13));
  Pack.Files["ASC/m.asc"] = Bytes("Named object: \"m\"\n");
  KvPackedFont& Font = Pack.Fonts[{"", 12}];
  Font.AskedHeight = 12;
  Font.Height = 14;
  Font.Ascent = 11;
  Font.Glyphs['A'].Width = 2;
  Font.Glyphs['A'].Rows = 3;
  Font.Glyphs['A'].Advance = 3;
  Font.Glyphs['A'].Coverage = {0, 255, 128, 7, 9, 200};
  return Pack;
}

// Replaces the checksum so that only the damage under test is left.
void Reseal(std::vector<uint8_t>& Data) {
  const uint32_t Sum = KvFnv1a32(Data.data(), Data.size() - 4);
  for (int i = 0; i < 4; ++i) Data[Data.size() - 4 + i] = uint8_t(Sum >> (8 * i));
}

void PutU32(std::vector<uint8_t>& Data, size_t At, uint32_t V) {
  for (int i = 0; i < 4; ++i) Data[At + i] = uint8_t(V >> (8 * i));
}

TEST(WebPack, ReaderGivesBackWhatWasWritten) {
  const KvAssetPack Pack = SmallPack();
  const std::vector<uint8_t> Data = KvWritePack(Pack);
  KvAssetPack Back;
  std::string Why;
  ASSERT_TRUE(KvReadPack(Data.data(), Data.size(), Back, Why)) << Why;
  EXPECT_EQ(Back.Pictures.at("GFX/p.png").Rgb, Pack.Pictures.at("GFX/p.png").Rgb);
  EXPECT_EQ(Back.Files.at("ASC/m.asc"), Pack.Files.at("ASC/m.asc"));
  const KvPackedFont& Font = Back.Fonts.at({"", 12});
  EXPECT_EQ(Font.Height, 14);
  EXPECT_EQ(Font.Ascent, 11);
  for (int Code = 0; Code < 256; ++Code) ExpectGlyphsEqual(Pack.Fonts.at({"", 12}).Glyphs[Code], Font.Glyphs[Code], Code);
  EXPECT_EQ(KvWritePack(Back), Data);
}

TEST(WebPack, EveryTruncationAndEveryFlippedByteIsRefused) {
  const std::vector<uint8_t> Data = KvWritePack(SmallPack());
  KvAssetPack Out;
  for (size_t Size = 0; Size < Data.size(); ++Size) {
    std::string Why;
    EXPECT_FALSE(KvReadPack(Data.data(), Size, Out, Why)) << Size << " bytes";
    EXPECT_NE(Why.find("truncated"), std::string::npos) << Size << " bytes: " << Why;
  }
  for (size_t At = 0; At < Data.size(); ++At) {
    std::vector<uint8_t> Damaged = Data;
    Damaged[At] ^= 0x10;
    std::string Why;
    EXPECT_FALSE(KvReadPack(Damaged.data(), Damaged.size(), Out, Why)) << "byte " << At;
    EXPECT_FALSE(Why.empty());
  }
}

// Damage behind an intact checksum: the reader must check every length
// itself (under AddressSanitizer an unchecked one reads out of bounds).
TEST(WebPack, InconsistentEntriesAreRefusedWithAMessage) {
  const std::vector<uint8_t> Good = KvWritePack(SmallPack());
  // Entries in order: the picture (at 16), the file, the font. The picture
  // entry: kind, name length, "GFX/p.png", payload length, width, height.
  const size_t Picture = 16, PictureName = 9;
  const size_t PayloadLength = Picture + 3 + PictureName, Width = PayloadLength + 4;
  struct Case {
    const char* What;
    size_t At;
    uint32_t Value;
    const char* Expect;
  };
  const Case Cases[] = {
      {"version", 8, 2, "version 2"},
      {"one entry too many", 12, 4, "entry 4 of 4 is cut short"},
      {"payload longer than the pack", PayloadLength, 0x7FFFFFFF, "cut short"},
      {"picture wider than its bytes", Width, 4, "\"GFX/p.png\" is malformed"},
      {"picture of width 0", Width, 0, "malformed"},
      {"picture too large to allocate", Width, 0x40000000, "malformed"},
  };
  for (const Case& C : Cases) {
    std::vector<uint8_t> Data = Good;
    PutU32(Data, C.At, C.Value);
    Reseal(Data);
    KvAssetPack Out;
    std::string Why;
    EXPECT_FALSE(KvReadPack(Data.data(), Data.size(), Out, Why)) << C.What;
    EXPECT_NE(Why.find(C.Expect), std::string::npos) << C.What << ": " << Why;
  }
  // A glyph whose size overflows what is left of its font.
  std::vector<uint8_t> Data = Good;
  const size_t FontName = Data.size() - 4 - (3 * 4 + 256 * 5 * 4 + 6) - 4;  // the font's payload length
  const size_t GlyphA = FontName + 4 + 3 * 4 + 'A' * 5 * 4;
  PutU32(Data, GlyphA + 8, 0x00100000);  // width
  Reseal(Data);
  KvAssetPack Out;
  std::string Why;
  EXPECT_FALSE(KvReadPack(Data.data(), Data.size(), Out, Why));
  EXPECT_NE(Why.find("malformed"), std::string::npos) << Why;
  // Stray bytes after the last entry.
  Data = Good;
  Data.insert(Data.end() - 4, {1, 2, 3});
  Reseal(Data);
  EXPECT_FALSE(KvReadPack(Data.data(), Data.size(), Out, Why));
  EXPECT_NE(Why.find("3 stray bytes"), std::string::npos) << Why;
}

TEST(WebPack, PackNamesOfShowPaths) {
  EXPECT_EQ(KvPackName("GFX\\nerith.png"), "GFX/nerith.png");
  EXPECT_EQ(KvPackName("./ASC/sky.asc"), "ASC/sky.asc");
}

// The published FNV-1a 32 test vectors: the page's title hash is this one.
TEST(FrameHash, Fnv1aReferenceValues) {
  EXPECT_EQ(KvFnv1a32(nullptr, 0), 0x811C9DC5u);
  EXPECT_EQ(KvFnv1a32(reinterpret_cast<const uint8_t*>("a"), 1), 0xE40C292Cu);
  EXPECT_EQ(KvFnv1a32(reinterpret_cast<const uint8_t*>("foobar"), 6), 0xBF9CF968u);
}

// The page hashes KvFrameRgb; the native side hashes the PNG dump. Both
// must see the same bytes, at every depth and with padded rows.
TEST(FrameHash, FrameRgbIsWhatThePngDumpHolds) {
  const std::string Dir = kvtest::MakeTempDir("kvweb");
  std::mt19937 Random(13);
  for (const int Depth : {15, 16, 24, 32}) {
    KvFrameCopy Frame;
    Frame.Width = 37;
    Frame.Height = 11;
    Frame.Depth = Depth;
    const int Bpp = Depth == 24 ? 3 : Depth == 32 ? 4 : 2;
    Frame.Pitch = Frame.Width * Bpp + 5;
    Frame.Pixels.reset(new uint8_t[size_t(Frame.Pitch) * Frame.Height]);
    for (int i = 0; i < Frame.Pitch * Frame.Height; ++i) Frame.Pixels[i] = uint8_t(Random());
    const std::string Path = Dir + "/frame" + std::to_string(Depth) + ".png";
    ASSERT_TRUE(KvWriteFramePng(Frame, Path));
    const std::vector<uint8_t> Png = Bytes(kvtest::ReadFile(Path));
    KvPicture Decoded;
    std::string Why;
    ASSERT_TRUE(KvDecodePicture(Png.data(), Png.size(), Decoded, Why)) << Why;
    EXPECT_EQ(KvFrameRgb(Frame), Decoded.Rgb) << "depth " << Depth;
  }
  fs::remove_all(Dir);
}

}  // namespace
