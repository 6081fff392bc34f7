// F12: the frame on screen as a PNG, written whole or not at all.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include <kelvra/Errors.h>

#include "Show.h"
#include "Viewer.h"

namespace {

uint32_t ShownMs = 0;

std::string HomeFolder() {
  const char* Home = std::getenv("HOME");
  return Home ? Home : "";
}

// $XDG_PICTURES_DIR, or its line in user-dirs.dirs (XDG_PICTURES_DIR="$HOME/Pictures").
std::string PicturesFolder() {
  if (const char* Env = std::getenv("XDG_PICTURES_DIR"); Env && *Env) return Env;
  const char* Config = std::getenv("XDG_CONFIG_HOME");
  const std::string Dirs = (Config && *Config ? std::string(Config) : HomeFolder() + "/.config") + "/user-dirs.dirs";
  std::ifstream In(Dirs);
  std::string Line;
  const std::string Key = "XDG_PICTURES_DIR=\"";
  while (std::getline(In, Line)) {
    if (Line.rfind(Key, 0) != 0 || Line.back() != '"') continue;
    std::string Value = Line.substr(Key.size(), Line.size() - Key.size() - 1);
    if (Value.rfind("$HOME", 0) == 0) Value = HomeFolder() + Value.substr(5);
    return Value;
  }
  return "";
}

}  // namespace

void SetShownFrameTime(uint32_t ShowMs) { ShownMs = ShowMs; }
uint32_t ShownFrameTime() { return ShownMs; }

std::string ScreenshotName(uint32_t ShowMs) {
  char Name[40];
  std::snprintf(Name, sizeof Name, "nerith-%u.%03u.png", ShowMs / 1000, ShowMs % 1000);
  return Name;
}

std::string SaveScreenshot() {
  if (!Screen || !Screen->Bits) return "";
  KvFrameCopy Frame;
  Frame.Width = Screen->Width;
  Frame.Height = Screen->Height;
  Frame.Pitch = Screen->Pitch;
  Frame.Depth = Screen->Depth;
  const size_t Bytes = size_t(Frame.Pitch) * size_t(Frame.Height);
  Frame.Pixels.reset(new uint8_t[Bytes]);
  std::memcpy(Frame.Pixels.get(), Screen->Bits, Bytes);

  // The current folder first; where it cannot be written (a read-only or
  // vanished folder: the attempt tells, whoever runs the show), the
  // pictures folder.
  const std::string Name = ScreenshotName(ShownMs);
  std::string Error;
  std::string Path = Name;
  bool Written = KvWriteFramePng(Frame, Path, &Error);
  if (!Written) {
    const std::string Pictures = PicturesFolder();
    std::string PicturesError = "$XDG_PICTURES_DIR is not set";
    if (!Pictures.empty()) {
      Path = Pictures + "/" + Name;
      Written = KvWriteFramePng(Frame, Path, &PicturesError);
    }
    if (!Written) {
      std::fprintf(stderr, "nerith: no screenshot: %s in the current folder: %s; in the pictures folder: %s\n",
                   Name.c_str(), KvEscapeControls(Error).c_str(), KvEscapeControls(PicturesError).c_str());
      std::fflush(stderr);
      return "";
    }
  }
  std::fprintf(stderr, "nerith: screenshot %s\n", KvEscapeControls(Path).c_str());
  std::fflush(stderr);
  return Path;
}
