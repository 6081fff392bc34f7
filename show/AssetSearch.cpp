// The asset folder search and AssetPath (see AssetSearch.h, Show.h).
#include "AssetSearch.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <system_error>

#ifdef _WIN32
#include <kelvra/platform/win32/WindowsHeaders.h>
#endif

#include "Show.h"
#include <kelvra/pack/AssetPack.h>
#include <kelvra/core/Errors.h>

namespace fs = std::filesystem;

namespace {
std::string AssetRoot;

// GFX/, or on the builds that draw from the asset pack (Windows) the pack,
// whose folder holds no GFX/. The Linux build reads no pack: a folder with
// only the pack (an unzipped Windows package) is not one to stop in. Paths
// are UTF-8 strings (on Windows too: fs::path(std::string) would not read
// them as UTF-8 there).
bool HasGfxFolder(const std::string& Place) {
  const fs::path Folder = fs::u8path(Place);
  std::error_code Ec;
#ifdef _WIN32
  if (fs::is_regular_file(Folder / KvPackFileName, Ec)) return true;
#endif
  return fs::is_directory(Folder / "GFX", Ec);
}

std::string ExecutableFolder() {
#ifdef _WIN32
  wchar_t Buffer[32768];
  const DWORD Length = GetModuleFileNameW(nullptr, Buffer, DWORD(std::size(Buffer)));
  if (Length == 0 || Length >= std::size(Buffer)) return std::string();
  return fs::path(std::wstring(Buffer, Length)).parent_path().u8string();
#endif
  std::error_code Ec;
  const fs::path Exe = fs::read_symlink("/proc/self/exe", Ec);
  return Ec ? std::string() : Exe.parent_path().string();
}

// An absolute, tidy form for the error line: the user should see where the
// show looked, not "bin/../share".
std::string Shown(const std::string& Place) {
  std::error_code Ec;
  const fs::path Absolute = fs::absolute(fs::u8path(Place), Ec);
  fs::path Tidy = (Ec ? fs::u8path(Place) : Absolute).lexically_normal();
  if (!Tidy.has_filename() && Tidy.has_parent_path()) Tidy = Tidy.parent_path();  // "dir/" from "dir/."
  return Tidy.u8string();
}
}  // namespace

std::vector<std::string> AssetSearchPlaces(const std::string& ExeDir) {
  std::vector<std::string> Places = {"."};
  if (!ExeDir.empty()) {
    Places.push_back(ExeDir);
#ifndef _WIN32  // an installed layout; a Windows show is unzipped whole
    Places.push_back((fs::path(ExeDir) / ".." / "share" / "nerith").lexically_normal().string());
#endif
  }
  return Places;
}

std::string FindAssetRoot() {
  const std::vector<std::string> Places = AssetSearchPlaces(ExecutableFolder());
  for (const std::string& Place : Places)
    if (HasGfxFolder(Place)) return Place == "." ? std::string() : Place;

  // Each folder once: run from bin/, the first two places are one.
  std::vector<std::string> Distinct;
  for (const std::string& Place : Places)
    if (std::find(Distinct.begin(), Distinct.end(), Shown(Place)) == Distinct.end()) Distinct.push_back(Shown(Place));
  std::string Looked;
  for (size_t I = 0; I < Distinct.size(); ++I) {
    if (I) Looked += I + 1 == Distinct.size() ? " or " : ", ";
    Looked += Distinct[I];
  }
#ifdef _WIN32
  FatalError(KvErrorLine("[Nerith]", "FindAssets",
                         std::string("No asset pack (") + KvPackFileName + ") in " + Looked +
                             " (unzip the show again: nerith.kpak belongs beside nerith.exe)")
                 .c_str());
#endif
  FatalError(KvErrorLine("[Nerith]", "FindAssets",
                         "No GFX folder with the show's pictures in " + Looked +
                             " (reinstall, or run from the folder that holds GFX/, ASC/ and SND/)")
                 .c_str());
}

void SetAssetRoot(const std::string& Root) { AssetRoot = Root; }

std::string AssetPath(const std::string& ShowPath) {
  std::string Path = ShowPath;
  std::replace(Path.begin(), Path.end(), '\\', '/');
  if (AssetRoot.empty()) return Path;
  if (AssetRoot.back() == '/') return AssetRoot + Path;
  return AssetRoot + "/" + Path;
}
