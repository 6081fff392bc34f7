// The Windows build's entry point (wmain, linked with -municode).
//
// The command line arrives in UTF-16 and goes on in UTF-8 (the manifest
// makes UTF-8 the process code page, so the C library's paths are UTF-8
// too). Output goes to the console the program was started from, if any (a
// window program has none of its own; a double-click shows none). The fatal
// error's report is hooked up first, so that even a missing pack is seen in
// a message box. Then the asset pack beside the show is read and checked,
// made the source of pictures, meshes, fonts and the 3D tables, and the
// show runs as natively (NerithMain), its window the Win32 device.
//
// Depends on: engine/pack/AssetPack.h, engine/platform/win32/Win32Device.h,
// show/AssetSearch.h, Options.h.
#include <kelvra/platform/win32/WindowsHeaders.h>

#include <cstdio>
#include <string>
#include <vector>

#include <kelvra/pack/AssetPack.h>
#include <kelvra/core/Errors.h>
#include <kelvra/platform/win32/FatalReport.h>
#include <kelvra/platform/win32/WideText.h>
#include "../AssetSearch.h"
#include "../Options.h"

namespace {

[[noreturn]] void PackError(const std::string& Message) {
  FatalError(KvErrorLine("[Nerith]", "LoadPack", Message).c_str());
}

// Standard streams that lead nowhere are tied to the starting console. A
// stream already redirected (to a file or a pipe) is left alone.
void UseParentConsole() {
  const bool OutOpen = GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) != FILE_TYPE_UNKNOWN;
  const bool ErrOpen = GetFileType(GetStdHandle(STD_ERROR_HANDLE)) != FILE_TYPE_UNKNOWN;
  if (OutOpen && ErrOpen) return;
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
  if (!OutOpen) std::freopen("CONOUT$", "w", stdout);
  if (!ErrOpen) std::freopen("CONOUT$", "w", stderr);
}

bool ReadWhole(const std::string& Path, std::vector<uint8_t>& Bytes) {
  std::FILE* File = _wfopen(KvWide(Path).c_str(), L"rb");
  if (!File) return false;
  uint8_t Chunk[65536];
  size_t Got;
  while ((Got = std::fread(Chunk, 1, sizeof Chunk, File)) > 0) Bytes.insert(Bytes.end(), Chunk, Chunk + Got);
  const bool Ok = !std::ferror(File);
  std::fclose(File);
  return Ok;
}

KvAssetPack Pack;

}  // namespace

int wmain(int argc, wchar_t** argv) {
  UseParentConsole();
  KvInstallWin32FatalHooks();
  KvSetFatalCaption(L"Nerith");  // until the window gives its own
  std::vector<std::string> Text;
  for (int i = 0; i < argc; ++i) Text.push_back(KvUtf8(argv[i]));
  std::vector<char*> Args;
  for (std::string& Arg : Text) Args.push_back(Arg.data());
  Args.push_back(nullptr);

  // --help, --version and a bad command line need no assets.
  const int Status = ParseCommandLine(argc, Args.data());
  if (Status >= 0) return Status;

  std::string Root = FindAssetRoot();
  const std::string PackPath = Root.empty() ? std::string(KvPackFileName) : Root + "/" + KvPackFileName;
  {
    std::vector<uint8_t> Bytes;
    if (!ReadWhole(PackPath, Bytes)) PackError("the asset pack " + PackPath + " is missing or unreadable");
    std::string Why;
    if (!KvReadPack(Bytes.data(), Bytes.size(), Pack, Why)) PackError(PackPath + ": " + Why);
  }
  KvSetActivePack(&Pack);
  // Pictures are asked for by their path under the root (AssetPath).
  KvSetPackFolder(Root);
  return NerithMain(argc, Args.data());
}
