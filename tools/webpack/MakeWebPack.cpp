// webpack: writes the browser build's asset pack (engine/pack/AssetPack.h) from
// the generated assets, with the engine's own loaders: every picture under
// GFX/ decoded by KvDecodePicture, every file under ASC/ as it is, and the
// fonts the show draws with, rasterised by the native text path, and the
// object renderer's sine tables.
//
//   webpack ASSET_DIR OUTPUT
//
// Exit status 0, or 1 with one line on standard error.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/pack/AssetPack.h"
#include "engine/pack/TurnTables.h"
#include "engine/core/AtomicFile.h"
#include "engine/core/RegularFile.h"
#include "engine/draw/FontKv.h"
#include "engine/draw/ImageDecode.h"

namespace {

namespace fs = std::filesystem;

// The fonts the show opens: the one Main.cpp selects (the default face, cell
// height 32) and the default TextOut falls back to before any SetFont.
struct FontSize {
  const char* Face;
  int32_t Height;
};
const FontSize ShowFonts[] = {{"", 32}, {"", KvDefaultFontHeight}};

int Fail(const std::string& Message) {
  std::fprintf(stderr, "webpack: %s\n", Message.c_str());
  return 1;
}

std::vector<fs::path> FilesIn(const fs::path& Folder) {
  std::vector<fs::path> Files;
  std::error_code Ec;
  for (const auto& Entry : fs::directory_iterator(Folder, Ec))
    if (Entry.is_regular_file()) Files.push_back(Entry.path());
  std::sort(Files.begin(), Files.end());
  return Files;
}

bool ReadFile(const fs::path& Path, std::vector<uint8_t>& Out) {
  std::string Ignored;
  return KvReadRegularFile(Path.string(), Out, Ignored);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return Fail("usage: webpack ASSET_DIR OUTPUT");
  const fs::path Root = argv[1];
  KvAssetPack Pack;

  const std::vector<fs::path> Pictures = FilesIn(Root / "GFX");
  if (Pictures.empty()) return Fail("no pictures in " + (Root / "GFX").string());
  for (const fs::path& Path : Pictures) {
    std::vector<uint8_t> Bytes;
    if (!ReadFile(Path, Bytes)) return Fail("cannot read " + Path.string());
    KvPicture Picture;
    std::string Why;
    if (!KvDecodePicture(Bytes.data(), Bytes.size(), Picture, Why)) return Fail(Path.string() + ": " + Why);
    Pack.Pictures["GFX/" + Path.filename().string()] = std::move(Picture);
  }

  const std::vector<fs::path> Meshes = FilesIn(Root / "ASC");
  if (Meshes.empty()) return Fail("no meshes in " + (Root / "ASC").string());
  for (const fs::path& Path : Meshes)
    if (!ReadFile(Path, Pack.Files["ASC/" + Path.filename().string()])) return Fail("cannot read " + Path.string());

  // The object renderer's sine and cosine tables as this C library computes them.
  Pack.Files[KvTurnTablesPackName] = KvComputedTurnTables();

  for (const FontSize& Size : ShowFonts) {
    std::string Why;
    const std::shared_ptr<KvFont> Font = KvOpenFont(Size.Face, Size.Height, Why);
    if (!Font) return Fail(Why);
    KvPackedFont& Packed = Pack.Fonts[{Size.Face, Size.Height}];
    Packed.AskedHeight = Size.Height;
    Packed.Height = Font->Height;
    Packed.Ascent = Font->Ascent;
    for (int Code = 0; Code < 256; ++Code) Packed.Glyphs[Code] = Font->Glyph(uint8_t(Code));
  }

  const std::vector<uint8_t> Bytes = KvWritePack(Pack);
  const fs::path Out = argv[2];
  std::error_code Ec;
  if (Out.has_parent_path()) fs::create_directories(Out.parent_path(), Ec);
  // Under its name only when complete; a failed or interrupted run leaves
  // no half pack behind (the build would take it for a finished one).
  KvSetTempFilePrefix(".webpack-");
  KvAtomicFile File;
  std::string Why;
  if (!File.Create(Out.string(), &Why) || !File.Write(Bytes.data(), Bytes.size(), &Why) || !File.Commit(&Why))
    return Fail(Why);
  return 0;
}
