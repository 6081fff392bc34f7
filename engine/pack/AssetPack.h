// The web asset pack: the show's pictures already decoded, its meshes as
// files, and its fonts already rasterised, in one versioned file. The native
// build writes it (tools/webpack) with the engine's own loaders, so the
// browser build needs no picture decoder and no font library, and draws the
// same pixels.
//
// Layout (all integers little-endian):
//   "KVPACK\r\n"                 8 bytes: magic (the CR LF catches text-mode copies)
//   u32 version                  KvPackVersion
//   u32 entry count
//   entries, each:  u8 kind, u16 name length, name bytes, u32 payload length, payload
//   u32 FNV-1a 32 of every byte before it
// Payloads:
//   picture  u32 width, u32 height, width x height x 3 bytes R, G, B, row by row
//   file     the file's bytes
//   font     i32 asked height, i32 cell height, i32 ascent, then 256 glyphs:
//            i32 left, top, width, rows, advance, width x rows coverage bytes
//            (the font's name is the entry's name)
//
// Depends on: ImageDecode.h (KvPicture), FontKv.h (KvGlyph), BufferKv.h (the
// picture size limits). No libraries.
//
// Public (<kelvra/pack/AssetPack.h>): while a pack is active (KvActivePack), a
// program reads its files from the pack instead of its folders; the show
// does so for its meshes and 3D tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "../draw/BufferKv.h"
#include "../draw/FontKv.h"
#include "../draw/ImageDecode.h"

constexpr uint32_t KvPackVersion = 1;
// The pack's file name beside a packed build's executable.
constexpr const char* KvPackFileName = "nerith.kpak";

// A font as the pack holds it: the cell geometry and all 256 glyphs.
struct KvPackedFont {
  int32_t AskedHeight = 0;
  int32_t Height = 0;
  int32_t Ascent = 0;
  KvGlyph Glyphs[256];
};

struct KvAssetPack {
  std::map<std::string, KvPicture> Pictures;  // by asset path, e.g. "GFX/nerith.png"
  std::map<std::string, std::vector<uint8_t>> Files;
  std::map<std::pair<std::string, int32_t>, KvPackedFont> Fonts;  // by (face name, asked height)
};

// FNV-1a, 32 bits (offset basis 2166136261, prime 16777619), continued from
// Hash: the pack's checksum and the frame hash of the browser's test mode.
uint32_t KvFnv1a32(const uint8_t* Data, size_t Size, uint32_t Hash = 2166136261u);

// The pack's bytes for Pack (entries in name order, so equal packs give
// equal bytes).
std::vector<uint8_t> KvWritePack(const KvAssetPack& Pack);

// Reads a pack. false with Error set ("truncated", "not an asset pack",
// "version 7, this program reads version 1", "checksum mismatch", ...) when
// the bytes are not a whole, intact pack of this version; Out is then
// unspecified.
bool KvReadPack(const uint8_t* Data, size_t Size, KvAssetPack& Out, std::string& Error);

// The folder the program's asset paths start with (its asset root, "" for
// the current folder): a picture asked for as Folder/GFX/a.png is the
// pack's GFX/a.png, from whatever folder the program was started.
void KvSetPackFolder(const std::string& Folder);

// Asset path as the show asks for it ("GFX\\a.png", "./GFX/a.png") to the
// pack's name for it ("GFX/a.png").
std::string KvPackName(const std::string& Path);

// The pack the browser build loads its pictures, meshes and fonts from (set
// once at start-up; nullptr before).
void KvSetActivePack(const KvAssetPack* Pack);
const KvAssetPack* KvActivePack();
