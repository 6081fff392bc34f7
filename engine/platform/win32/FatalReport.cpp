// The fatal error's report on Windows (see FatalReport.h).
#include "FatalReport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "../../core/Errors.h"
#include "KnownFolders.h"
#include "WideText.h"

namespace {

HWND FatalWindow = nullptr;
std::wstring Caption = L"Kelvra";

bool BoxWanted() {
  const char* Off = std::getenv("KELVRA_NO_MESSAGEBOX");
  return !(Off && *Off && std::strcmp(Off, "0") != 0);
}

// FatalError's own log in the current folder holds Text (it is written
// just before the message box hook runs).
bool LogHolds(const std::string& Text) {
  std::FILE* Log = std::fopen("KVR_ERR.txt", "rb");
  if (!Log) return false;
  std::string Read(Text.size() + 2, '\0');
  const size_t Got = std::fread(Read.data(), 1, Read.size(), Log);
  std::fclose(Log);
  return Got == Read.size() && Read == Text + "\r\n";
}

// The log under %LOCALAPPDATA%\Nerith; its path, or empty.
std::string WriteFallbackLog(const std::string& Text) {
  const std::string Folder = KvLocalAppDataFolder();
  if (Folder.empty()) return std::string();
  const std::string Path = Folder + "\\KVR_ERR.txt";
  std::FILE* Log = _wfopen(KvWide(Path).c_str(), L"wb");
  if (!Log) return std::string();
  const bool Ok = std::fputs((Text + "\r\n").c_str(), Log) >= 0;
  return std::fclose(Log) == 0 && Ok ? Path : std::string();
}

void CloseForFatal(const char*) {
  // The window goes before the report, so a full-screen window gives the
  // desktop back and the box is not hidden behind it; with the window gone
  // the box is shown in full screen too.
  if (FatalWindow) DestroyWindow(FatalWindow);
  FatalWindow = nullptr;
  FullScreenActive = false;
  ShowCursor(TRUE);
}

void Report(const char* Text) {
  std::string Shown = Text;
  if (!LogHolds(Text)) {
    const std::string Fallback = WriteFallbackLog(Text);
    if (!Fallback.empty()) Shown += "\n\n(The current folder cannot be written: this message is in " + Fallback + ")";
  }
  if (BoxWanted()) MessageBoxW(nullptr, KvWide(Shown).c_str(), Caption.c_str(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

}  // namespace

void KvInstallWin32FatalHooks() {
  KvSetRestoreDesktopHook(CloseForFatal);
  KvSetMessageBoxHook(Report);
}

void KvSetFatalWindow(HWND Window) { FatalWindow = Window; }

void KvSetFatalCaption(const wchar_t* Text) { Caption = Text && *Text ? Text : L"Kelvra"; }
