// Fonts in the browser build: glyphs rendered by the native text path ahead
// of time and read from the asset pack (AssetPack.h); no font library here.
// TextDraw.cpp draws them exactly as natively.
#include <map>
#include <memory>
#include <utility>

#include "../pack/AssetPack.h"
#include "../draw/FontKv.h"

KvFont::~KvFont() = default;

// Every glyph of a packed font is complete when the font is opened.
const KvGlyph& KvFont::Glyph(uint8_t Code) { return Glyphs[Code]; }

std::shared_ptr<KvFont> KvOpenFont(const std::string& FaceName, int32_t Height, std::string& Why) {
  static std::map<std::pair<std::string, int32_t>, std::shared_ptr<KvFont>> Open;
  const auto Key = std::make_pair(FaceName, Height);
  if (auto Hit = Open.find(Key); Hit != Open.end()) return Hit->second;

  const KvAssetPack* Pack = KvActivePack();
  if (!Pack) {
    Why = "No asset pack is loaded, so no font";
    return nullptr;
  }
  auto Found = Pack->Fonts.find(Key);
  // As natively: a face that is not there gives the default face.
  if (Found == Pack->Fonts.end()) Found = Pack->Fonts.find({std::string(), Height});
  if (Found == Pack->Fonts.end()) {
    Why = "The asset pack has no font \"" + FaceName + "\" at height " + std::to_string(Height);
    return nullptr;
  }
  auto Font = std::make_shared<KvFont>();
  Font->FaceName = FaceName;
  Font->Height = Found->second.Height;
  Font->Ascent = Found->second.Ascent;
  for (int i = 0; i < 256; ++i) Font->Glyphs[i] = Found->second.Glyphs[i];
  Open[Key] = Font;
  return Font;
}
