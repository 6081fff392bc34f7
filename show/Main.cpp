// The show's main program: configuration, command line, start-up, the frame
// loop's end (EndFrame) and the shutdown.
//
// Depends on: the engine (display, buffers, sound, timer, input), Pictures.cpp
// (LoadPictures), 3d/Mesh.h (LoadMeshes), Timeline.cpp (RunTimeline,
// CurrentScene).
//
//   Configuration and globals
//   Random numbers
//   Command line         ParseCommandLine, UsageText
//   Asset paths          AssetPath, SetAssetRoot, the root search
//   Start-up             InitShow, SelectFont
//   Frame loop           EndFrame (cap, trails, present, dumps, messages)
//   Benchmark report
//   Shutdown
//   Main program         NerithMain
//
// Offline runs (--headless with --seed) replace the millisecond clock by a
// virtual one that moves exactly 40 ms per frame: frame k is drawn at
// 40 k ms, so every run with the same seed draws the same 6446 frames,
// whatever the machine's speed.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "3d/Mesh.h"
#include "Options.h"
#include "Show.h"
#include "../engine/Errors.h"

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
ShowOptions Options;

namespace {

constexpr const char* ShowCaption = "Tarnwick - Vastiel - 05/2001";
constexpr const char* ShowVersion = "1.0.0";

// Frame length of the offline clock, and the frames the whole show then
// draws: 293 steps of 880 ms at 40 ms per frame.
constexpr uint32_t OfflineFrameMs = 40;
constexpr uint32_t OfflineFrameTotal = 293u * 880u / OfflineFrameMs;
constexpr uint32_t ProgressEvery = 500;

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

// --- command line ------------------------------------------------------------

const char* UsageText() {
  return "Usage: nerith [options]\n"
         "Nerith: a real-time show, 640 x 480, about 258 seconds. Escape or closing the\n"
         "window ends it early.\n"
         "\n"
         "Options:\n"
         "  --window            show in a 640 x 480 window at the desktop's colour depth\n"
         "                      instead of full-screen\n"
         "  --depth 15|16|24|32 colour depth of the full-screen display (default 32);\n"
         "                      with --headless also the depth of the window\n"
         "  --no-music          play without music\n"
         "  --music FILE        play with another soundtrack: MP3, OGG, WAV, MP2, WMA,\n"
         "                      ASF, RAW, a MOD/S3M/XM/IT module or MIDI (MID, RMI)\n"
         "  --seed N            seed the random choices with N (0..4294967295) instead\n"
         "                      of the clock\n"
         "  --headless          draw into memory only: no window, no sound\n"
         "                      (with --seed: an offline run on a virtual clock that moves\n"
         "                      exactly 40 ms per frame, 6446 frames, no waiting)\n"
         "  --dump-frames DIR   write each presented frame as DIR/frame_NNNNN.png\n"
         "                      (frame 1 is the first; DIR is created when missing)\n"
         "  --frames N,N,...    with --dump-frames: write only these frames\n"
         "  --benchmark         at the end, print per scene the frames drawn and the\n"
         "                      milliseconds per frame (mean, worst), and the frames per\n"
         "                      second of the whole run\n"
         "  --help              print this text and exit\n"
         "  --version           print the version and exit\n"
         "\n"
         "Pictures, meshes and music (GFX/, ASC/, SND/) are looked for in the current\n"
         "folder, then beside the executable. A fatal error writes one line to\n"
         "KVR_ERR.txt in the current folder, prints it on standard error and exits with\n"
         "status 1. Exit status 0: the show ended; 2: a bad command line.\n";
}

namespace {

// Strict unsigned decimal: digits only, no sign, no overflow.
bool ParseUnsigned(const std::string& Text, uint32_t* Out) {
  if (Text.empty() || Text.size() > 10) return false;
  uint64_t Value = 0;
  for (char C : Text) {
    if (C < '0' || C > '9') return false;
    Value = Value * 10 + uint64_t(C - '0');
  }
  if (Value > 0xFFFFFFFFull) return false;
  *Out = uint32_t(Value);
  return true;
}

bool ParseFrameList(const std::string& Text, std::vector<uint32_t>* Out) {
  std::vector<uint32_t> Frames;
  size_t Start = 0;
  for (;;) {
    const size_t Comma = Text.find(',', Start);
    const std::string Item = Text.substr(Start, Comma == std::string::npos ? std::string::npos : Comma - Start);
    uint32_t Frame = 0;
    if (!ParseUnsigned(Item, &Frame) || Frame == 0) return false;
    Frames.push_back(Frame);
    if (Comma == std::string::npos) break;
    Start = Comma + 1;
  }
  std::sort(Frames.begin(), Frames.end());
  Frames.erase(std::unique(Frames.begin(), Frames.end()), Frames.end());
  *Out = std::move(Frames);
  return true;
}

int UsageError(const std::string& Problem) {
  std::fprintf(stderr, "nerith: %s\n\n%s", Problem.c_str(), UsageText());
  std::fflush(stderr);
  return 2;
}

}  // namespace

int ParseCommandLine(int argc, char** argv) {
  Options = ShowOptions();
  bool HasFrames = false;
  for (int i = 1; i < argc; ++i) {
    std::string Arg = argv[i] ? argv[i] : "";
    std::string Value;
    bool HasValue = false;
    // "--name=value" is taken like "--name value".
    const size_t Equals = Arg.find('=');
    if (Arg.rfind("--", 0) == 0 && Equals != std::string::npos) {
      Value = Arg.substr(Equals + 1);
      Arg = Arg.substr(0, Equals);
      HasValue = true;
    }
    const bool NeedsValue = Arg == "--depth" || Arg == "--seed" || Arg == "--dump-frames" || Arg == "--frames" ||
                            Arg == "--music";
    if (NeedsValue && !HasValue) {
      if (i + 1 >= argc) return UsageError("option " + Arg + " needs a value");
      Value = argv[++i];
      HasValue = true;
    }
    if (!NeedsValue && HasValue) return UsageError("option " + Arg + " takes no value");

    if (Arg == "--help" || Arg == "-h") {
      std::fputs(UsageText(), stdout);
      std::fflush(stdout);
      return 0;
    } else if (Arg == "--version") {
      std::printf("nerith %s (Kelvra engine)\n", ShowVersion);
      std::fflush(stdout);
      return 0;
    } else if (Arg == "--window") {
      Options.Window = true;
    } else if (Arg == "--no-music") {
      Options.NoMusic = true;
    } else if (Arg == "--headless") {
      Options.Headless = true;
    } else if (Arg == "--benchmark") {
      Options.Benchmark = true;
    } else if (Arg == "--depth") {
      uint32_t Depth = 0;
      if (!ParseUnsigned(Value, &Depth) || (Depth != 15 && Depth != 16 && Depth != 24 && Depth != 32))
        return UsageError("--depth must be 15, 16, 24 or 32, not \"" + Value + "\"");
      Options.Depth = int32_t(Depth);
    } else if (Arg == "--seed") {
      if (!ParseUnsigned(Value, &Options.Seed))
        return UsageError("--seed must be a whole number from 0 to 4294967295, not \"" + Value + "\"");
      Options.HasSeed = true;
    } else if (Arg == "--dump-frames") {
      if (Value.empty()) return UsageError("--dump-frames needs a folder");
      Options.DumpDir = Value;
    } else if (Arg == "--music") {
      if (Value.empty()) return UsageError("--music needs a file");
      Options.MusicFile = Value;
    } else if (Arg == "--frames") {
      if (!ParseFrameList(Value, &Options.DumpFrames))
        return UsageError("--frames needs frame numbers from 1 up, separated by commas, not \"" + Value + "\"");
      HasFrames = true;
    } else {
      return UsageError("unknown option \"" + Arg + "\"");
    }
  }
  if (HasFrames && Options.DumpDir.empty()) return UsageError("--frames needs --dump-frames DIR");
  if (Options.NoMusic && !Options.MusicFile.empty()) return UsageError("--music and --no-music contradict each other");
  Options.Offline = Options.Headless && Options.HasSeed;
  return -1;
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

// --- asset paths --------------------------------------------------------------

namespace {
std::string AssetRoot;

bool HasGfxFolder(const std::filesystem::path& Folder) {
  std::error_code Ec;
  return std::filesystem::is_directory(Folder / "GFX", Ec);
}

// The current folder when it holds GFX; else the executable's folder when
// that does; else the current folder (the loader then names the missing
// file).
std::string FindAssetRoot() {
  if (HasGfxFolder(".")) return std::string();
  std::error_code Ec;
  const std::filesystem::path Exe = std::filesystem::read_symlink("/proc/self/exe", Ec);
  if (!Ec && HasGfxFolder(Exe.parent_path())) return Exe.parent_path().string();
  return std::string();
}
}  // namespace

void SetAssetRoot(const std::string& Root) { AssetRoot = Root; }

std::string AssetPath(const std::string& ShowPath) {
  std::string Path = ShowPath;
  std::replace(Path.begin(), Path.end(), '\\', '/');
  if (AssetRoot.empty()) return Path;
  if (AssetRoot.back() == '/') return AssetRoot + Path;
  return AssetRoot + "/" + Path;
}

std::string ShowMusicPath() { return Options.MusicFile.empty() ? AssetPath("SND\\Nerith.mp3") : Options.MusicFile; }

// --- benchmark ------------------------------------------------------------------

namespace {
using BenchClock = std::chrono::steady_clock;

struct SceneTiming {
  uint64_t Frames = 0;
  double TotalMs = 0;
  double WorstMs = 0;
};
constexpr int SceneSlots = 16;  // prelude 0, scenes 1 .. 14, anything else 15
SceneTiming SceneTimes[SceneSlots];
BenchClock::time_point RunStart;
BenchClock::time_point FrameStart;
bool RunStarted = false;
uint64_t RunFrames = 0;

double MsBetween(BenchClock::time_point A, BenchClock::time_point B) {
  return std::chrono::duration<double, std::milli>(B - A).count();
}

void StartRunClock() {
  RunStart = FrameStart = BenchClock::now();
  RunStarted = true;
}

void RecordFrame(double WorkMs) {
  const int Slot = (CurrentScene >= 0 && CurrentScene < SceneSlots - 1) ? CurrentScene : SceneSlots - 1;
  SceneTiming& T = SceneTimes[Slot];
  ++T.Frames;
  T.TotalMs += WorkMs;
  T.WorstMs = std::max(T.WorstMs, WorkMs);
}

void PrintBenchmark() {
  const double RunSeconds = RunStarted ? MsBetween(RunStart, BenchClock::now()) / 1000.0 : 0.0;
  std::printf("Benchmark: wall-clock milliseconds per frame (drawing and presenting; the frame-rate cap's waits "
              "excluded)\n");
  std::printf("scene   frames   mean ms  worst ms\n");
  for (int Slot = 0; Slot < SceneSlots; ++Slot) {
    const SceneTiming& T = SceneTimes[Slot];
    if (T.Frames == 0) continue;
    char Name[16];
    if (Slot == SceneSlots - 1)
      std::snprintf(Name, sizeof Name, "other");
    else
      std::snprintf(Name, sizeof Name, "%d", Slot);
    std::printf("%5s %8llu %9.3f %9.3f\n", Name, static_cast<unsigned long long>(T.Frames),
                T.TotalMs / double(T.Frames), T.WorstMs);
  }
  const double Fps = RunSeconds > 0.0 ? double(RunFrames) / RunSeconds : 0.0;
  std::printf("whole run: %llu frames in %.3f s, %.2f frames per second\n",
              static_cast<unsigned long long>(RunFrames), RunSeconds, Fps);
  std::fflush(stdout);
}
}  // namespace

// --- start-up ---------------------------------------------------------------------

namespace {
uint32_t ClockSeed() {
  const auto Now = std::chrono::system_clock::now().time_since_epoch().count();
  const auto Tick = std::chrono::steady_clock::now().time_since_epoch().count();
  return uint32_t(uint64_t(Now) ^ (uint64_t(Now) >> 32) ^ uint64_t(Tick) ^ (uint64_t(getpid()) << 16));
}

void PrepareDumpFolder() {
  if (Options.DumpDir.empty()) return;
  std::error_code Ec;
  std::filesystem::create_directories(Options.DumpDir, Ec);
  if (Ec || !std::filesystem::is_directory(Options.DumpDir, Ec))
    FatalError(KvErrorLine("[Nerith]", "DumpFrames",
                           "Cannot create the folder \"" + Options.DumpDir + "\": " +
                               (Ec ? Ec.message() : std::string("not a folder")))
                   .c_str());
}
}  // namespace

void InitShow() {
  SeedRandom(Options.HasSeed ? Options.Seed : ClockSeed());
  PrepareDumpFolder();
  if (Options.Headless) {
    // Windowed headless displays report --depth (or 32) as their desktop.
    const int32_t Depth = Options.Depth ? Options.Depth : 32;
    KvSetDeviceFactory([Depth] { return KvMakeHeadlessDevice(Depth); });
  }
  if (Options.Offline) {
    KvUseVirtualClock(true);
    KvSetVirtualClock(0);
  }

  if (UseFullScreen)
    Display = new TSelfFullKelvra(640, 480, DisplayDepth, ShowCaption);
  else
    Display = new TSelfKelvra(DisplayWidth, DisplayHeight, ShowCaption);

  LoadPictures();
  if (UseMusic) Sound = new TSoundKv(Display, ShowMusicPath(), false);
  Timer = new TTimerKv(240);
  Timer->Start();
  Input = new TInputKv(Display);
  TrailPos = 0;
  FrameCount = 0;
}

void SelectFont(uint8_t Index) {
  if (!Screen || Index >= 2) return;
  Screen->SetFont(Fonts[Index].Name, Fonts[Index].Size);
}

// --- frame loop -------------------------------------------------------------------

namespace {

// Sleeps until FrameCount / Elapsed is at most the cap. An elapsed time of
// 0 (or a stopped timer, whose reading no longer moves) is no reason to
// wait. The frame is never let go early: the quotient is read again after
// every sleep.
void WaitForFrameSlot() {
  if (!Timer || !Timer->Running) return;
  for (;;) {
    const float Elapsed = Timer->Elapsed();
    if (!(Elapsed > 0.0f)) return;
    if (!(double(FrameCount) / double(Elapsed) > FrameRateCap)) return;
    // The average reaches the cap FrameCount / 25 seconds after the start.
    const double DueMs = (double(FrameCount) / FrameRateCap - double(Elapsed)) * 1000.0;
    const double SleepMs = std::min(std::max(std::ceil(DueMs), 1.0), 100.0);
    KvSleep(uint32_t(SleepMs));
  }
}

void DumpFrame() {
  if (Options.DumpDir.empty() || !Screen) return;
  if (!Options.DumpFrames.empty() &&
      !std::binary_search(Options.DumpFrames.begin(), Options.DumpFrames.end(), FrameCount))
    return;
  KvFrameCopy Frame;
  // The headless device keeps what it was given to show; other devices show
  // Screen itself, unconverted.
  if (!Display || !Display->DirectDraw || !KvHeadlessLastFrame(*Display->DirectDraw, &Frame)) {
    const size_t Bytes = size_t(Screen->Pitch) * size_t(Screen->Height);
    Frame.Width = Screen->Width;
    Frame.Height = Screen->Height;
    Frame.Pitch = Screen->Pitch;
    Frame.Depth = Screen->Depth;
    Frame.Pixels.reset(new uint8_t[Bytes]);
    std::memcpy(Frame.Pixels.get(), Screen->Bits, Bytes);
  }
  char Name[32];
  std::snprintf(Name, sizeof Name, "frame_%05u.png", FrameCount);
  const std::string Path = (std::filesystem::path(Options.DumpDir) / Name).string();
  if (!KvWriteFramePng(Frame, Path))
    FatalError(KvErrorLine("[Nerith]", "DumpFrames", "Cannot write \"" + Path + "\"").c_str());
}

void ReportProgress() {
  if (!Options.Offline || FrameCount % ProgressEvery != 0) return;
  std::fprintf(stderr, "nerith: frame %u of %u (scene %d)\n", FrameCount, OfflineFrameTotal, CurrentScene);
  std::fflush(stderr);
}

}  // namespace

void EndFrame() {
  if (!RunStarted) StartRunClock();
  const BenchClock::time_point DrawEnd = BenchClock::now();

  // 1. The cap.
  WaitForFrameSlot();
  const BenchClock::time_point WaitEnd = BenchClock::now();

  // 2. Count the frame.
  ++FrameCount;

  // 3. Motion trails: the frame blended onto itself one pixel off, the
  // offset cycling through the nine neighbours.
  if (TrailsOn && Screen) {
    TrailPos = uint8_t(TrailPos + 2);
    if (TrailPos > 16) TrailPos = 0;
    Screen->DrawAlpha(Screen, TrailOffsets[TrailPos], TrailOffsets[TrailPos + 1], 20);
  }

  // 4. Show it.
  if (Screen) Screen->Present(PresentWait);
  DumpFrame();

  const BenchClock::time_point FrameEnd = BenchClock::now();
  ++RunFrames;
  if (Options.Benchmark) RecordFrame(MsBetween(FrameStart, DrawEnd) + MsBetween(WaitEnd, FrameEnd));
  FrameStart = FrameEnd;
  ReportProgress();

  // 5. One window message, then Escape.
  if (!ProcessMessage(Display)) Shutdown();
  if (Input && Input->KeyDown(1)) Shutdown();

  // The offline clock: the next frame is drawn 40 ms later.
  if (Options.Offline) KvAdvanceVirtualClock(OfflineFrameMs);
}

// --- shutdown ---------------------------------------------------------------------

namespace {
template <typename T>
void Free(T*& Object) {
  delete Object;
  Object = nullptr;
}
}  // namespace

void Shutdown() {
  if (UseMusic && Sound) Sound->Stop();
  TimerStop(Timer);
  Free(Input);
  Free(WaterPic);
  Free(TitlePic);
  Free(CodePic);
  Free(GfxPic);
  Free(MusicPic);
  Free(GroupPic);
  Free(GroupPicM);
  Free(StarPic);
  Free(BackdropPic);
  Free(FirePic);
  Free(Sound);
  Free(Timer);
  Free(Screen);
  Free(LogoPic);
  Free(GradientPic);
  Free(BallPic);
  // Last: its destructor gives the desktop back and shows the cursor.
  Free(Display);
  if (Options.Benchmark) PrintBenchmark();
  std::fflush(stdout);
  std::fflush(stderr);
  std::exit(0);
}

// --- main program -------------------------------------------------------------------

int NerithMain(int argc, char** argv) {
  const int Status = ParseCommandLine(argc, argv);
  if (Status >= 0) return Status;
  Configure();
  SetAssetRoot(FindAssetRoot());

  InitShow();
  LoadMeshes();
  Fonts[1] = TFontType{"", 32};
  SelectFont(1);

  // Frame 1 is drawn at 40 ms of the offline clock, frame k at 40 k ms.
  if (Options.Offline) KvAdvanceVirtualClock(OfflineFrameMs);
  StartRunClock();
  RunTimeline();
  Shutdown();
}
