// hello_kelvra: a first program on the Kelvra engine.
//
//   hello_kelvra [--headless] [--frames N] [--save FILE] PICTURE [MUSIC]
//
// Opens a 640 x 480 window, loads PICTURE (PNG, JPEG or BMP), and every
// frame clears the screen, tiles the picture with keyed and additive blits,
// turns and zooms it in the middle and writes a line of text. MUSIC (MP3,
// OGG, WAV or a module) plays while there is a window. Escape or closing the
// window ends it; so does --frames N after N frames.
//
// --headless draws into memory only (no window, no sound) and stops after
// N frames (100 unless --frames says otherwise); --save FILE then writes
// the last frame as a PNG.
//
// Any engine failure (a missing picture, no display) ends the program with
// exit status 1 and one line in KVR_ERR.txt and on standard error.
#include <kelvra/core/Input.h>
#include <kelvra/core/Kelvra.h>
#include <kelvra/core/Platform.h>
#include <kelvra/core/Sound.h>
#include <kelvra/core/Timer.h>
#include <kelvra/draw/BufferKv.h>
#include <kelvra/draw/PixelFormat.h>
#include <kelvra/platform/headless/HeadlessDevice.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

int Usage() {
  std::fprintf(stderr, "usage: hello_kelvra [--headless] [--frames N] [--save FILE] PICTURE [MUSIC]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool Headless = false;
  long Frames = 0;  // 0: until Escape
  std::string Save, Picture, Music;
  for (int i = 1; i < argc; ++i) {
    const std::string Arg = argv[i];
    if (Arg == "--headless") Headless = true;
    else if (Arg == "--frames" && i + 1 < argc) {
      char* End = nullptr;
      Frames = std::strtol(argv[++i], &End, 10);
      if (*End != '\0' || Frames < 1) return Usage();
    }
    else if (Arg == "--save" && i + 1 < argc) Save = argv[++i];
    else if (Arg[0] != '-' && Picture.empty()) Picture = Arg;
    else if (Arg[0] != '-' && Music.empty()) Music = Arg;
    else return Usage();
  }
  if (Picture.empty()) return Usage();
  if (Headless && Frames == 0) Frames = 100;

  // The display picks its device from a factory: the headless one keeps
  // every frame in memory. Without it, the display opens an SDL window.
  if (Headless) KvSetDeviceFactory([] { return KvMakeHeadlessDevice(32); });
  TSelfKelvra Display(640, 480, "Hello, Kelvra");

  // The frame buffer we draw into, and the picture: both in the display's
  // pixel format. A picture is loaded into a buffer, which takes its size.
  TBufferKv Screen(&Display, 640, 480, false);
  TBufferKv Pic(&Display, 1, 1, false);
  Pic.LoadFromFile(Picture, false);
  Screen.SetFont("", 24);  // "": the system's default sans-serif face

  std::unique_ptr<TSoundKv> Sound;
  if (!Headless && !Music.empty()) {
    Sound.reset(new TSoundKv(&Display, Music, true));  // true: loop
    Sound->Play();
  }
  TInputKv Keys(&Display);
  TTimerKv Clock(241);  // 241: Elapsed in milliseconds
  Clock.Start();

  const uint32_t Black = PackColor(0, 0, 0);  // the key colour of keyed blits
  for (long Frame = 0; Frames == 0 || Frame < Frames; ++Frame) {
    // Headless runs draw by frame number, so every run draws the same frames.
    const float T = Headless ? float(Frame) * 40.0f : Clock.Elapsed();
    Screen.Clear(PackColor(8, 12, 40));

    // A band of copies sliding left: keyed (black left out) above, added
    // (brightening what is under it) below.
    const int32_t Step = Pic.Width + 16;
    const int32_t Shift = int32_t(std::fmod(T * 0.1f, float(Step)));
    for (int32_t X = -Shift; X < Screen.Width; X += Step) {
      Pic.DrawKeyed(&Screen, X, 20, Black);
      Pic.DrawAdd(&Screen, X, 400 - Pic.Height);
    }

    // The picture turned by T and pulsing in size about the middle.
    const float Angle = T * 0.001f;
    const float Scale = 1.0f + 0.5f * std::sin(T * 0.002f);
    Pic.RotoZoom(&Screen, Screen.Width / 2, Screen.Height / 2, Scale, Angle, Black);

    Screen.TextOut(20, 440, "Hello from Kelvra - Escape ends", PackColor(255, 240, 200));
    Screen.Present(false);

    // One window message per frame; false means the window was closed.
    if (!Display.ProcessMessage() || Keys.KeyDown(1)) break;  // 1: Escape
    if (!Headless) KvSleep(20);
  }

  if (!Save.empty()) {
    KvFrameCopy Last;
    if (!KvHeadlessLastFrame(*Display.DirectDraw, &Last) || !KvWriteFramePng(Last, Save)) {
      std::fprintf(stderr, "hello_kelvra: cannot save the last frame to %s (only --headless keeps it)\n",
                   Save.c_str());
      return 1;
    }
  }
  return 0;
}
