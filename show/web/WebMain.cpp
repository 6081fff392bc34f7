// The browser build's entry point. The page (nerith.html) has fetched the
// asset pack into the in-memory file system as /nerith.kpak and calls main
// with the show's command line, plus "--stop-at N[,N...]" in test mode.
//
// Here the pack is read and checked, its files (the meshes) are put where
// the show's loaders look, the canvas device is locked in as every display,
// and the show runs as natively (NerithMain).
//
// Depends on: engine/pack/AssetPack.h, engine/platform/web/BrowserDevice.h, Options.h.
#include <emscripten.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <kelvra/pack/AssetPack.h>
#include <kelvra/core/Errors.h>
#include <kelvra/draw/FastPath.h>
#include <kelvra/platform/web/BrowserDevice.h>
#include "../Options.h"

namespace {

constexpr const char* PackPath = "/nerith.kpak";

[[noreturn]] void PackError(const std::string& Message) {
  FatalError(KvErrorLine("[Nerith]", "LoadPack", Message).c_str());
}

std::vector<uint8_t> ReadWhole(const char* Path) {
  std::vector<uint8_t> Bytes;
  std::FILE* File = std::fopen(Path, "rb");
  if (!File) PackError(std::string("the asset pack ") + Path + " is missing");
  uint8_t Chunk[65536];
  size_t Got;
  while ((Got = std::fread(Chunk, 1, sizeof Chunk, File)) > 0) Bytes.insert(Bytes.end(), Chunk, Chunk + Got);
  std::fclose(File);
  return Bytes;
}

// Writes the pack's files under the current folder, making their folders.
// GFX/ is made too, though it stays empty: the pack's decoded pictures stand
// in for its files, and the show's asset search looks for that folder.
void PlaceFiles(const KvAssetPack& Pack) {
  mkdir("GFX", 0755);
  for (const auto& [Name, Bytes] : Pack.Files) {
    for (size_t Slash = Name.find('/'); Slash != std::string::npos; Slash = Name.find('/', Slash + 1))
      mkdir(Name.substr(0, Slash).c_str(), 0755);
    std::FILE* File = std::fopen(Name.c_str(), "wb");
    if (!File || std::fwrite(Bytes.data(), 1, Bytes.size(), File) != Bytes.size())
      PackError("cannot place " + Name + " in the page's file system");
    std::fclose(File);
  }
}

// "2400,3700,6000" -> the frame numbers; the page has checked the list.
std::vector<uint32_t> ParseFrames(const char* Text) {
  std::vector<uint32_t> Frames;
  for (const char* P = Text; *P;) {
    char* End = nullptr;
    const unsigned long Frame = std::strtoul(P, &End, 10);
    if (End == P) break;
    if (Frame > 0) Frames.push_back(uint32_t(Frame));
    P = *End == ',' ? End + 1 : End;
  }
  return Frames;
}

KvAssetPack Pack;

}  // namespace

// The drawing path in use (0 reference, 1 SSE2 through wasm SIMD): the
// page's tests check that the hashes they compare were drawn by the fast path.
extern "C" EMSCRIPTEN_KEEPALIVE int kv_drawing_path() { return int(KvActivePath()); }

int main(int argc, char** argv) {
  KvLockDeviceFactory(KvMakeBrowserDevice);

  std::vector<char*> Args;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--stop-at") == 0 && i + 1 < argc) {
      KvBrowserSetTestFrames(ParseFrames(argv[++i]));
      continue;
    }
    Args.push_back(argv[i]);
  }

  {
    const std::vector<uint8_t> Bytes = ReadWhole(PackPath);
    std::string Why;
    if (!KvReadPack(Bytes.data(), Bytes.size(), Pack, Why)) PackError(Why);
  }
  std::remove(PackPath);
  PlaceFiles(Pack);
  Pack.Files.clear();
  KvSetActivePack(&Pack);

  Args.push_back(nullptr);
  return NerithMain(int(Args.size() - 1), Args.data());
}
