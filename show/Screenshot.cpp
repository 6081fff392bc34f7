// F12: the frame on screen as a PNG, written whole or not at all.
#include <cstdio>
#include <cstring>
#include <string>

#include <kelvra/core/Errors.h>

#include "Show.h"
#include "Viewer.h"

namespace {
uint32_t ShownMs = 0;
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

  // The pictures folder, where people look for them; where there is none
  // or it cannot be written, the current folder (the attempt tells).
  const std::string Name = ScreenshotName(ShownMs);
  const std::string Pictures = KvPicturesFolder();
  std::string PicturesError = "none is set";
  std::string Path;
  if (!Pictures.empty()) {
    Path = Pictures + "/" + Name;
    if (!KvWriteFramePng(Frame, Path, &PicturesError)) Path.clear();
  }
  std::string Error;
  if (Path.empty()) {
    Path = Name;
    if (!KvWriteFramePng(Frame, Path, &Error)) {
      std::fprintf(stderr, "nerith: no screenshot: %s in the pictures folder: %s; in the current folder: %s\n",
                   Name.c_str(), KvEscapeControls(PicturesError).c_str(), KvEscapeControls(Error).c_str());
      std::fflush(stderr);
      return "";
    }
  }
  std::fprintf(stderr, "nerith: screenshot %s\n", KvEscapeControls(Path).c_str());
  std::fflush(stderr);
  return Path;
}
