// The show's main program: configuration, start-up, the frame loop's end
// (EndFrame) and the shutdown. The command line is CommandLine.cpp; where
// finished frames go is FrameOutput.h; the run's clock is RunClock.h.
//
// Depends on: the engine (display, buffers, sound, timer, input), Pictures.cpp
// (LoadPictures), 3d/Mesh.h (LoadMeshes), Timeline.cpp (RunTimeline,
// CurrentScene).
//
//   Configuration and globals
//   Random numbers
//   Start-up             InitShow, SelectFont
//   Frame loop           EndFrame (cap, trails, frame outputs, messages)
//   Shutdown
//   Main program         NerithMain
//
// Offline runs (--headless with --seed, and --record) replace the
// millisecond clock by a virtual one that moves exactly 40 ms per frame:
// frame k is drawn at 40 k ms, so every run with the same seed draws the
// same 6446 frames, whatever the machine's speed (RunClock.cpp).
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "3d/Mesh.h"
#include "AssetSearch.h"
#include <kelvra/core/AtomicFile.h>
#include "FrameOutput.h"
#include "Options.h"
#include "RunClock.h"
#include "ScreenOverlay.h"
#include "Show.h"
#include "Viewer.h"
#include <kelvra/core/Errors.h>
#include <kelvra/platform/headless/HeadlessDevice.h>

// --- configuration and globals --------------------------------------------

int32_t DisplayWidth = 640;
int32_t DisplayHeight = 480;
int32_t DisplayDepth = 32;
bool PresentWait = false;
bool UseFullScreen = true;
bool UseMusic = true;

TKelvra* Display = nullptr;
TBufferKv* Screen = nullptr;
TSoundKv* Sound = nullptr;
TTimerKv* Timer = nullptr;
TInputKv* Input = nullptr;

uint32_t FrameCount = 0;
bool TrailsOn = false;
uint8_t TrailPos = 0;
// Nine (dx, dy) pairs; EndFrame uses the pair at TrailPos, TrailPos + 1.
const int8_t TrailOffsets[18] = {-1, -1, 0, -1, 1, -1, -1, 0, 0, 0, 1, 0, -1, 1, 0, 1, 1, 1};

TFontType Fonts[2];

namespace {

constexpr const char* ShowCaption = "Tarnwick - Vastiel - 05/2001";

// The cap: at most this many frames per second on average since the start.
constexpr double FrameRateCap = 25.0;

}  // namespace

// --- random numbers --------------------------------------------------------
//
// xorshift32 (Marsaglia, "Xorshift RNGs", 2003; shifts 13, 17, 5): period
// 2^32 - 1 over the non-zero states. The seed is first spread by the
// MurmurHash3 finaliser, so neighbouring seeds give unrelated sequences and
// seed 0 does not land on the forbidden all-zero state.

namespace {
constexpr uint32_t RandomFallbackState = 0x2545F491u;
uint32_t RandomState = RandomFallbackState;

uint32_t NextRandom() {
  uint32_t X = RandomState;
  X ^= X << 13;
  X ^= X >> 17;
  X ^= X << 5;
  RandomState = X;
  return X;
}
}  // namespace

void SeedRandom(uint32_t Seed) {
  uint32_t H = Seed;
  H ^= H >> 16;
  H *= 0x85EBCA6Bu;
  H ^= H >> 13;
  H *= 0xC2B2AE35u;
  H ^= H >> 16;
  RandomState = H ? H : RandomFallbackState;
}

uint32_t RandomGeneratorState() { return RandomState; }
void SetRandomGeneratorState(uint32_t State) { RandomState = State ? State : RandomFallbackState; }

int32_t Random(int32_t N) {
  if (N <= 1) return 0;
  const uint32_t Range = uint32_t(N);
  // Draws below Threshold (= 2^32 mod Range) are thrown away, so that the
  // accepted draws cover every residue equally often: no modulo bias.
  const uint32_t Threshold = (0u - Range) % Range;
  uint32_t X = NextRandom();
  while (X < Threshold) X = NextRandom();
  return int32_t(X % Range);
}

namespace {

// The configuration values as the show is designed, then what the command
// line changes.
void Configure() {
  DisplayWidth = 640;
  DisplayHeight = 480;
  DisplayDepth = Options.Depth ? Options.Depth : 32;
  PresentWait = false;
  UseFullScreen = !Options.Window;
  // Headless runs have nobody listening and, offline, a clock that is not
  // real time: the music stays off.
  UseMusic = !Options.NoMusic && !Options.Headless;
}

}  // namespace

// --- start-up ---------------------------------------------------------------------

namespace {
uint32_t ClockSeed() {
  const auto Now = std::chrono::system_clock::now().time_since_epoch().count();
  const auto Tick = std::chrono::steady_clock::now().time_since_epoch().count();
  return uint32_t(uint64_t(Now) ^ (uint64_t(Now) >> 32) ^ uint64_t(Tick) ^ (uint64_t(getpid()) << 16));
}

// Descriptors 0, 1 and 2 closed by whoever started us would be handed to
// the first files opened (a recording, the X connection), and our messages
// would be written into them: each closed one is taken by /dev/null first.
void OpenStandardDescriptors() {
#ifndef _WIN32
  for (int Fd = 0; Fd <= 2; ++Fd) {
    if (fcntl(Fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int Null = open("/dev/null", O_RDWR);
    if (Null >= 0 && Null != Fd) {
      dup2(Null, Fd);
      close(Null);
    }
  }
#endif
}

void PrepareDumpFolder() {
  if (Options.DumpDir.empty()) return;
#ifndef _WIN32
  struct stat Link, Target;
  if (lstat(Options.DumpDir.c_str(), &Link) == 0 && S_ISLNK(Link.st_mode) && stat(Options.DumpDir.c_str(), &Target) != 0)
    FatalError(KvErrorLine("[Nerith]", "DumpFrames",
                           "Cannot create the folder \"" + Options.DumpDir +
                               "\": it is a symbolic link to nothing (a dangling link)")
                   .c_str());
#endif
  std::error_code Ec;
  const std::filesystem::path Folder = std::filesystem::u8path(Options.DumpDir);  // UTF-8 on Windows too
  std::filesystem::create_directories(Folder, Ec);
  if (Ec || !std::filesystem::is_directory(Folder, Ec))
    FatalError(KvErrorLine("[Nerith]", "DumpFrames",
                           "Cannot create the folder \"" + Options.DumpDir + "\": " +
                               (Ec ? Ec.message() : std::string("not a folder")))
                   .c_str());
}

// Files that cannot be written are found before anything is loaded or
// drawn: a folder where the file should go, a missing or read-only folder,
// a name the file system refuses.
void CheckOutputTargets() {
  std::string Why;
  if (!Options.DumpDir.empty() &&
      !KvCheckWritableTarget((std::filesystem::u8path(Options.DumpDir) / "frame_00001.png").u8string(), &Why))
    FatalError(KvErrorLine("[Nerith]", "DumpFrames", Why).c_str());
  if (!Options.RecordPath.empty() && !KvCheckWritableTarget(Options.RecordPath, &Why))
    FatalError(KvErrorLine("[Nerith]", "Record", Why).c_str());
}
}  // namespace

namespace {
#define NERITH_ASSET_Music(Name, File) constexpr const char* Name = File;
#include "AssetTable.h"
}  // namespace

std::string ShowMusicPath() { return Options.MusicFile.empty() ? AssetPath(ShowMusic) : Options.MusicFile; }

void InitShow() {
  uint32_t Seed = Options.Seed;
  if (!Options.HasSeed) {
    Seed = ClockSeed();
    // A recording must be repeatable: say which seed made it.
    if (!Options.RecordPath.empty()) {
      std::fprintf(stderr, "nerith: seed %u (--seed %u makes this recording again)\n", Seed, Seed);
      std::fflush(stderr);
    }
  }
  SeedRandom(Seed);
  PrepareDumpFolder();
  CheckOutputTargets();
  if (Options.Headless) {
    // Windowed headless displays report --depth (or 32) as their desktop.
    const int32_t Depth = Options.Depth ? Options.Depth : 32;
    KvSetDeviceFactory([Depth] { return KvMakeHeadlessDevice(Depth); });
  } else {
    KvWindowOptions Window;
    Window.Scale = Options.WindowScale;
    Window.IntegerScale = Options.IntegerScale;
    Window.AppId = NerithAppId;
    Window.ScaleLowered = [](int32_t Asked, int32_t Used) {
      std::fprintf(stderr, "nerith: --window-scale %d does not fit the screen's work area; the window opens at %d\n",
                   int(Asked), int(Used));
      std::fflush(stderr);
    };
    KvSetWindowOptions(Window);
  }
  PrepareRunClock();

  if (UseFullScreen)
    Display = new TSelfFullKelvra(640, 480, DisplayDepth, ShowCaption);
  else
    Display = new TSelfKelvra(DisplayWidth, DisplayHeight, ShowCaption);
  SetShowWindowIcon();

  LoadPictures();
  if (UseMusic) Sound = new TSoundKv(Display, ShowMusicPath(), false);
  Timer = new TTimerKv(240);
  Timer->Start();
  Input = new TInputKv(Display);
  EnableScreenOverlay(!Options.Offline && !Options.Headless);
  TrailPos = 0;
  FrameCount = 0;
}

void StartMusic() {
  const uint32_t ShowMs = ShowTimeMs();
  SendMusicStart(ShowMs);
  // While catching up to --start the clock is not real time: the music
  // waits for the switch to the live clock.
  if (CatchingUp())
    DeferMusic(ShowMs);
  else if (UseMusic && Sound) {
    Sound->Play();
    NoteMusicPlaying(ShowMs);
  }
}

void SelectFont(uint8_t Index) {
  if (!Screen || Index >= 2) return;
  Screen->SetFont(Fonts[Index].Name, Fonts[Index].Size);
}

void FreeShowObjects();

// --- frame loop -------------------------------------------------------------------

namespace {

// Sleeps until FrameCount / Elapsed is at most the cap. An elapsed time of
// 0 (or a stopped timer, whose reading no longer moves) is no reason to
// wait. The frame is never let go early: the quotient is read again after
// every sleep.
void WaitForFrameSlot() {
  if (!Timer || !Timer->Running) return;
  for (;;) {
    if (StopSignalNumber() != 0) return;  // EndFrame ends the run
    const float Elapsed = Timer->Elapsed();
    if (!(Elapsed > 0.0f)) return;
    if (!(double(FrameCount) / double(Elapsed) > FrameRateCap)) return;
    // The average reaches the cap FrameCount / 25 seconds after the start.
    const double DueMs = (double(FrameCount) / FrameRateCap - double(Elapsed)) * 1000.0;
    const double SleepMs = std::min(std::max(std::ceil(DueMs), 1.0), 100.0);
    KvSleep(uint32_t(SleepMs));
  }
}

// The finished frame (Screen, as presented) to the frame outputs.
bool HandOnFrame(double CapWaitMs) {
  FinishedFrame Frame;
  if (Screen) {
    Frame.Pixels = Screen->Bits;
    Frame.Width = Screen->Width;
    Frame.Height = Screen->Height;
    Frame.Pitch = Screen->Pitch;
    Frame.Depth = Screen->Depth;
  }
  Frame.Number = FrameCount;
  Frame.ShowMs = ShowTimeMs();
  Frame.CapWaitMs = CapWaitMs;
  SetShownFrameTime(Frame.ShowMs);
  return SendFrame(Frame);
}

// The run ends: outputs finished (the recording's file closed), every
// object freed. A stop signal ends with 128 + its number.
[[noreturn]] void EndRun(bool Interrupted) {
  CloseFrameOutputs(Interrupted);
  if (UseMusic && Sound) Sound->Stop();
  TimerStop(Timer);
  FreeShowObjects();
  std::fflush(stdout);
  std::fflush(stderr);
  std::exit(Interrupted ? 128 + StopSignalNumber() : 0);
}

}  // namespace

void EndFrame() {
  const auto WaitStart = std::chrono::steady_clock::now();

  // 1. The cap.
  WaitForFrameSlot();
  const double CapWaitMs =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - WaitStart).count();

  // 2. Count the frame.
  ++FrameCount;

  // 3. Motion trails: the frame blended onto itself one pixel off, the
  // offset cycling through the nine neighbours.
  if (TrailsOn && Screen) {
    TrailPos = uint8_t(TrailPos + 2);
    if (TrailPos > 16) TrailPos = 0;
    Screen->DrawAlpha(Screen, TrailOffsets[TrailPos], TrailOffsets[TrailPos + 1], 20);
  }

  // 4. Show it: the frame-output seam presents, dumps, records and times.
  const bool More = HandOnFrame(CapWaitMs);
  SettleRunClock();

  // 5. One window message, then the keys: Escape held now or pressed since
  // the last frame, then the viewer's keys (live runs; a pause waits there).
  if (!ProcessMessage(Display)) Shutdown();
  if (Input) Input->ReadKeys();
  if (Input && Input->KeyHit(KvKeyEscape)) Shutdown();
  HandleViewerKeys();

  if (StopSignalNumber() != 0) EndRun(true);
  if (!More) Shutdown();
  StepRunClock();
}

// --- shutdown ---------------------------------------------------------------------

namespace {
template <typename T>
void Free(T*& Object) {
  delete Object;
  Object = nullptr;
}
}  // namespace

void FreeShowObjects() {
  Free(Input);
#define NERITH_ASSET_Picture(Name, File) Free(Name);
#include "AssetTable.h"
  Free(Sound);
  Free(Timer);
  Free(Screen);
  FreeScreenOverlay();
  // Last: its destructor gives the desktop back and shows the cursor.
  Free(Display);
}

void Shutdown() { EndRun(false); }

void EndStartInterrupted() {
  CloseFrameOutputs(true);
  FreeShowObjects();
  KvRunCleanup();
  std::fprintf(stderr, "nerith: interrupted while starting; nothing was written\n");
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(128 + StopSignalNumber());
}

// --- main program -------------------------------------------------------------------

namespace {
// The engine's failures that an option of the show avoids.
void AddErrorHints() {
  KvAddErrorHint("DirectDrawCreate -> No display available",
                 "run under X11 or Wayland (a window, --window, needs a desktop too), or use --headless to render "
                 "without a display");
  KvAddErrorHint("FSOUND_Init -> No audio output device", "start with --no-music to run the show without music...");
  KvAddErrorHint("Media Foundation is not installed", "start with --no-music to run the show without music");
}
}  // namespace

int NerithMain(int argc, char** argv) {
  OpenStandardDescriptors();
  const int Status = ParseCommandLine(argc, argv);
  if (Status >= 0) return Status;
  InstallStopSignals();
  KvSetTempFilePrefix(".nerith-");
  AddErrorHints();
  Configure();
  SetAssetRoot(FindAssetRoot());

  InitShow();
  LoadMeshes();
  Fonts[1] = TFontType{"", 32};
  SelectFont(1);
  OpenFrameOutputs();
  if (StopSignalNumber() != 0) EndRun(true);

  BeginRunClock();
  RunTimeline();
  Shutdown();
}
