// Known folders through the shell (shell32, ole32: part of every Windows).
#include "KnownFolders.h"

#include "WindowsHeaders.h"
#include <knownfolders.h>
#include <shlobj.h>

#include "WideText.h"

namespace {
std::wstring KnownFolder(REFKNOWNFOLDERID Id) {
  PWSTR Path = nullptr;
  std::wstring Out;
  if (SUCCEEDED(SHGetKnownFolderPath(Id, KF_FLAG_CREATE, nullptr, &Path)) && Path) Out = Path;
  CoTaskMemFree(Path);
  return Out;
}
}  // namespace

std::string KvPicturesFolder() { return KvUtf8(KnownFolder(FOLDERID_Pictures)); }

std::string KvLocalAppDataFolder() {
  const std::wstring Base = KnownFolder(FOLDERID_LocalAppData);
  if (Base.empty()) return std::string();
  const std::wstring Folder = Base + L"\\Nerith";
  if (!CreateDirectoryW(Folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return std::string();
  return KvUtf8(Folder);
}
