// Writing and reading the web asset pack (layout in AssetPack.h).
//
// The reader trusts nothing: every length is checked against the bytes that
// are left before anything of that size is allocated, and the checksum is
// checked before any entry is read, so a truncated or damaged download gives
// one clear message instead of a half-loaded show.
#include "AssetPack.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char Magic[8] = {'K', 'V', 'P', 'A', 'C', 'K', '\r', '\n'};
constexpr size_t HeaderBytes = 8 + 4 + 4;
constexpr size_t ChecksumBytes = 4;

enum PackKind : uint8_t { KindPicture = 1, KindFile = 2, KindFont = 3 };

// Sanity limits: a glyph larger than the biggest font cell, a picture larger
// than the engine's loaders accept, are damage, not data.
constexpr int32_t MaxGlyphSide = KvMaxFontHeight * 4;

void PutU32(std::vector<uint8_t>& Out, uint32_t V) {
  for (int i = 0; i < 4; ++i) Out.push_back(uint8_t(V >> (8 * i)));
}
void PutI32(std::vector<uint8_t>& Out, int32_t V) { PutU32(Out, uint32_t(V)); }

void PutEntry(std::vector<uint8_t>& Out, PackKind Kind, const std::string& Name, const std::vector<uint8_t>& Payload) {
  Out.push_back(Kind);
  Out.push_back(uint8_t(Name.size()));
  Out.push_back(uint8_t(Name.size() >> 8));
  Out.insert(Out.end(), Name.begin(), Name.end());
  PutU32(Out, uint32_t(Payload.size()));
  Out.insert(Out.end(), Payload.begin(), Payload.end());
}

// Reads from a byte range, remembering the first failure.
struct Reader {
  const uint8_t* At;
  const uint8_t* End;
  bool Ok = true;

  size_t Left() const { return size_t(End - At); }
  bool Take(size_t Count) {
    if (!Ok || Count > Left()) return Ok = false;
    return true;
  }
  uint32_t U32() {
    if (!Take(4)) return 0;
    const uint32_t V = uint32_t(At[0]) | uint32_t(At[1]) << 8 | uint32_t(At[2]) << 16 | uint32_t(At[3]) << 24;
    At += 4;
    return V;
  }
  int32_t I32() { return int32_t(U32()); }
  uint16_t U16() {
    if (!Take(2)) return 0;
    const uint16_t V = uint16_t(At[0] | At[1] << 8);
    At += 2;
    return V;
  }
  uint8_t U8() {
    if (!Take(1)) return 0;
    return *At++;
  }
  const uint8_t* Bytes(size_t Count) {
    if (!Take(Count)) return nullptr;
    const uint8_t* P = At;
    At += Count;
    return P;
  }
};

bool ReadPicture(Reader& R, KvPicture& Out) {
  const uint32_t W = R.U32(), H = R.U32();
  if (!R.Ok || W == 0 || H == 0 || W > uint32_t(KvMaxPictureSide) || H > uint32_t(KvMaxPictureSide) ||
      uint64_t(W) * H > uint64_t(KvMaxPicturePixels))
    return false;
  const size_t Bytes = size_t(W) * H * 3;
  if (R.Left() != Bytes) return false;
  const uint8_t* P = R.Bytes(Bytes);
  Out.Width = int32_t(W);
  Out.Height = int32_t(H);
  Out.Rgb.assign(P, P + Bytes);
  return true;
}

bool ReadFont(Reader& R, KvPackedFont& Out) {
  Out.AskedHeight = R.I32();
  Out.Height = R.I32();
  Out.Ascent = R.I32();
  if (!R.Ok || Out.Height < 1 || Out.Height > KvMaxFontHeight) return false;
  for (KvGlyph& G : Out.Glyphs) {
    G.Left = R.I32();
    G.Top = R.I32();
    G.Width = R.I32();
    G.Rows = R.I32();
    G.Advance = R.I32();
    if (!R.Ok || G.Width < 0 || G.Rows < 0 || G.Width > MaxGlyphSide || G.Rows > MaxGlyphSide) return false;
    const size_t Count = size_t(G.Width) * size_t(G.Rows);
    const uint8_t* P = R.Bytes(Count);
    if (!P) return false;
    G.Coverage.assign(P, P + Count);
    G.Loaded = true;
  }
  return R.Left() == 0;
}

}  // namespace

uint32_t KvFnv1a32(const uint8_t* Data, size_t Size, uint32_t Hash) {
  for (size_t i = 0; i < Size; ++i) {
    Hash ^= Data[i];
    Hash *= 16777619u;
  }
  return Hash;
}

std::vector<uint8_t> KvWritePack(const KvAssetPack& Pack) {
  std::vector<uint8_t> Out(Magic, Magic + 8);
  PutU32(Out, KvPackVersion);
  PutU32(Out, uint32_t(Pack.Pictures.size() + Pack.Files.size() + Pack.Fonts.size()));
  for (const auto& [Name, Picture] : Pack.Pictures) {
    std::vector<uint8_t> Payload;
    PutU32(Payload, uint32_t(Picture.Width));
    PutU32(Payload, uint32_t(Picture.Height));
    Payload.insert(Payload.end(), Picture.Rgb.begin(), Picture.Rgb.end());
    PutEntry(Out, KindPicture, Name, Payload);
  }
  for (const auto& [Name, Bytes] : Pack.Files) PutEntry(Out, KindFile, Name, Bytes);
  for (const auto& [Key, Font] : Pack.Fonts) {
    std::vector<uint8_t> Payload;
    PutI32(Payload, Font.AskedHeight);
    PutI32(Payload, Font.Height);
    PutI32(Payload, Font.Ascent);
    for (const KvGlyph& G : Font.Glyphs) {
      PutI32(Payload, G.Left);
      PutI32(Payload, G.Top);
      PutI32(Payload, G.Width);
      PutI32(Payload, G.Rows);
      PutI32(Payload, G.Advance);
      Payload.insert(Payload.end(), G.Coverage.begin(), G.Coverage.end());
    }
    PutEntry(Out, KindFont, Key.first, Payload);
  }
  PutU32(Out, KvFnv1a32(Out.data(), Out.size()));
  return Out;
}

bool KvReadPack(const uint8_t* Data, size_t Size, KvAssetPack& Out, std::string& Error) {
  Out = KvAssetPack();
  if (Size >= 8 && std::memcmp(Data, Magic, 8) != 0) {
    Error = "not a Kelvra asset pack (wrong signature)";
    return false;
  }
  if (Size < HeaderBytes + ChecksumBytes) {
    Error = "the asset pack is truncated (" + std::to_string(Size) + " bytes)";
    return false;
  }
  Reader Head{Data + 8, Data + Size};
  const uint32_t Version = Head.U32();
  if (Version != KvPackVersion) {
    Error = "the asset pack has version " + std::to_string(Version) + ", this program reads version " +
            std::to_string(KvPackVersion);
    return false;
  }
  const size_t Body = Size - ChecksumBytes;
  Reader Sum{Data + Body, Data + Size};
  if (KvFnv1a32(Data, Body) != Sum.U32()) {
    Error = "the asset pack is truncated or damaged (checksum mismatch, " + std::to_string(Size) + " bytes)";
    return false;
  }

  Reader R{Data + 12, Data + Body};
  const uint32_t Count = R.U32();
  for (uint32_t i = 0; i < Count; ++i) {
    const uint8_t Kind = R.U8();
    const uint16_t NameSize = R.U16();
    const uint8_t* NameBytes = R.Bytes(NameSize);
    const uint32_t PayloadSize = R.U32();
    const uint8_t* Payload = R.Bytes(PayloadSize);
    if (!R.Ok) {
      Error = "the asset pack's entry " + std::to_string(i + 1) + " of " + std::to_string(Count) + " is cut short";
      return false;
    }
    const std::string Name(reinterpret_cast<const char*>(NameBytes), NameSize);
    Reader P{Payload, Payload + PayloadSize};
    bool Good = false;
    switch (Kind) {
      case KindPicture:
        Good = ReadPicture(P, Out.Pictures[Name]);
        break;
      case KindFile:
        Out.Files[Name].assign(Payload, Payload + PayloadSize);
        Good = true;
        break;
      case KindFont: {
        KvPackedFont Font;
        Good = ReadFont(P, Font);
        if (Good) Out.Fonts[{Name, Font.AskedHeight}] = std::move(Font);
        break;
      }
      default:
        break;
    }
    if (!Good) {
      Error = "the asset pack's entry \"" + Name + "\" is malformed";
      return false;
    }
  }
  if (R.Left() != 0) {
    Error = "the asset pack has " + std::to_string(R.Left()) + " stray bytes after its last entry";
    return false;
  }
  return true;
}

std::string KvPackName(const std::string& Path) {
  std::string Name = Path;
  std::replace(Name.begin(), Name.end(), '\\', '/');
  while (Name.rfind("./", 0) == 0) Name.erase(0, 2);
  return Name;
}

namespace {
const KvAssetPack* ActivePack = nullptr;
}

void KvSetActivePack(const KvAssetPack* Pack) { ActivePack = Pack; }
const KvAssetPack* KvActivePack() { return ActivePack; }
