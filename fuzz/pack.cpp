// Fuzz target: the web asset pack reader (engine/pack/AssetPack.h).
//
// The input's last four bytes are replaced by its own checksum first, so the
// fuzzer gets past the checksum into the entries. Any input must either be
// refused with a message or give a pack whose pictures and glyphs hold as
// many bytes as their sizes say; a violated promise aborts.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "engine/pack/AssetPack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  std::vector<uint8_t> Bytes(Data, Data + Size);
  if (Bytes.size() >= 4) {
    const uint32_t Sum = KvFnv1a32(Bytes.data(), Bytes.size() - 4);
    for (int i = 0; i < 4; ++i) Bytes[Bytes.size() - 4 + i] = uint8_t(Sum >> (8 * i));
  }
  KvAssetPack Pack;
  std::string Why;
  if (!KvReadPack(Bytes.data(), Bytes.size(), Pack, Why)) {
    Check(!Why.empty());
    return 0;
  }
  for (const auto& [Name, Picture] : Pack.Pictures)
    Check(Picture.Width > 0 && Picture.Height > 0 && Picture.Rgb.size() == size_t(Picture.Width) * Picture.Height * 3);
  for (const auto& [Key, Font] : Pack.Fonts)
    for (const KvGlyph& G : Font.Glyphs) Check(G.Coverage.size() == size_t(G.Width) * size_t(G.Rows));
  // What was read writes a pack that reads back to the same pack. (Not the
  // input's bytes: entries may come in any order, and a repeated name keeps
  // its last entry.)
  const std::vector<uint8_t> Written = KvWritePack(Pack);
  KvAssetPack Again;
  Check(KvReadPack(Written.data(), Written.size(), Again, Why));
  Check(KvWritePack(Again) == Written);
  return 0;
}
