// The show's command line: ParseCommandLine fills Options, UsageText is
// what --help prints.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <kelvra/core/Errors.h>

#include "FrameFit.h"
#include "Options.h"
#include "Timeline.h"
#include "record/VideoFile.h"

ShowOptions Options;

namespace {
constexpr const char* ShowVersion = "1.0.0";
}

const char* UsageText() {
  return "Usage: nerith [options]\n"
         "Nerith: a real-time show, 640 x 480, about 258 seconds. Escape or closing the\n"
         "window ends it early.\n"
         "\n"
         "Options:\n"
         "  --window            show in a window at the desktop's colour depth instead of\n"
         "                      full-screen; it opens at the largest whole multiple of\n"
         "                      640 x 480 that fits the work area with its frame, and\n"
         "                      can be resized\n"
         "  --window-scale N    open a window (--window) at N times 640 x 480 (1..8; at\n"
         "                      most what fits the screen's work area)\n"
         "  --integer-scale     show (and with --size record) the frame only at whole\n"
         "                      multiples of its size, centred, with black bars\n"
         "  --depth 15|16|24|32 colour depth of the full-screen display (default 32);\n"
         "                      with --headless also the depth of the window\n"
         "  --no-music          play (or record) without music\n"
         "  --music FILE        play (or record) with another soundtrack: MP3, OGG, WAV,\n"
         "                      MP2, WMA, ASF, RAW, a MOD/S3M/XM/IT module or MIDI\n"
         "                      (MID, RMI)\n"
         "  --seed N            seed the random choices with N (0..4294967295) instead\n"
         "                      of the clock\n"
         "  --headless          draw into memory only: no window, no sound\n"
         "                      (with --seed: an offline run on a virtual clock that moves\n"
         "                      exactly 40 ms per frame, 6446 frames, no waiting)\n"
         "  --record FILE       write the show to a video file on the virtual clock, with\n"
         "                      its music: FILE.mp4 H.264 and AAC, FILE.mkv lossless FFV1\n"
         "                      and FLAC, FILE.webm VP9 and Opus; 25 frames per second.\n"
         "                      Without --seed the seed used is printed\n"
         "  --dump-frames DIR   write each presented frame as DIR/frame_NNNNN.png\n"
         "                      (frame 1 is the first; DIR is created when missing)\n"
         "  --frames N,N,...    with --dump-frames: write only these frames; the run\n"
         "                      stops after the last of them\n"
         "  --scale 1|2|3|4     enlarge recorded and dumped frames N times, pixels kept\n"
         "                      square (2: 1280 x 960)\n"
         "  --size WxH          record and dump frames at W x H (even numbers), or 1080p\n"
         "                      (1920 x 1080) or 2160p (3840 x 2160): the frame as large\n"
         "                      as fits at 4:3, black bars around it; every frame pixel\n"
         "                      the same size, edges blended over one output pixel\n"
         "  --quality N         the recording's constant quality (CRF): .mp4 0..51\n"
         "                      (default 23), .webm 0..63 (default 32); lower is better\n"
         "  --start T           begin at T seconds of show time: earlier frames are drawn\n"
         "                      at full speed and not shown, recorded or dumped\n"
         "  --end T             stop before the frame drawn at T seconds\n"
         "  --scene N           short for --start at the beginning of scene N: its\n"
         "                      number (1..14) or its name (opening, logo, sky, disc,\n"
         "                      noise, ball, fire, cone, name, credits, crew,\n"
         "                      greetings, emblem, afterglow)\n"
         "  --quiet             no progress lines during offline runs and recordings\n"
         "  --av-offset MS      show the picture MS milliseconds later (earlier when\n"
         "                      negative, -2000..2000), for sound that reaches the ears\n"
         "                      later than the device reports (wireless headphones)\n"
         "  --benchmark         at the end, print the time from start to the first\n"
         "                      presented frame, per scene the frames drawn and the\n"
         "                      milliseconds per frame (mean, worst, 99th percentile),\n"
         "                      and the frames per second of the whole run with the\n"
         "                      drawing path chosen\n"
         "  --help              print this text and exit\n"
         "  --version           print the version and exit\n"
         "\n"
         "Keys (in the window and full-screen):\n"
         "  Escape              end the show\n"
         "  Space, P            pause and resume (the picture and the music together)\n"
         "  F11, Alt+Enter      switch between full screen and the window\n"
         "  F12                 save the frame on screen as nerith-<show time>.png in the\n"
         "                      pictures folder ($XDG_PICTURES_DIR, else ~/Pictures), or\n"
         "                      in the current folder where there is none\n"
         "  Left, Right         seek 5 seconds back, on\n"
         "  Down, Up            seek 1 minute back, on\n"
         "  Page Up, Page Down  seek to the previous, the next scene\n"
         "  Home                seek to the start\n"
         "  0 .. 9              seek to that tenth of the show\n"
         "A seek lands on exactly the frame the offline run draws at that time; while\n"
         "paused, and for 2 s after a seek, a bar over the picture shows the time and\n"
         "the scene.\n"
         "Offline runs and recordings read no keys but Escape.\n"
         "\n"
         "Pictures, meshes and music (GFX/, ASC/, SND/) are looked for in the current\n"
         "folder, then beside the executable, then in ../share/nerith from the\n"
         "executable's folder. A fatal error writes one line to KVR_ERR.txt in the\n"
         "current folder (replacing it, never through a link), prints it on standard\n"
         "error and exits with status 1.\n"
         "Exit status 0: the show ended; 1: a fatal error; 2: a bad command line;\n"
         "130, 143 or 129: a recording or offline run ended by Ctrl-C, SIGTERM or SIGHUP;\n"
         "141: standard error was a pipe whose reader went away (the file is finished\n"
         "up to the last frame written).\n";
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

// Seconds with at most three decimals ("148", "12.5", "0.04"), as
// milliseconds; no sign, at most a million seconds.
bool ParseSeconds(const std::string& Text, uint32_t* Ms) {
  const size_t Dot = Text.find('.');
  const std::string Whole = Text.substr(0, Dot);
  std::string Fraction = Dot == std::string::npos ? std::string() : Text.substr(Dot + 1);
  if (Whole.empty() && Fraction.empty()) return false;
  if (Fraction.size() > 3 || (Dot != std::string::npos && Fraction.empty())) return false;
  uint32_t W = 0, F = 0;
  if (!Whole.empty() && (!ParseUnsigned(Whole, &W) || W > 1000000)) return false;
  while (Fraction.size() < 3) Fraction += '0';
  if (!ParseUnsigned(Fraction, &F)) return false;
  *Ms = W * 1000 + F;
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

// "1080p", "2160p" or "WxH" with both sides even, 16 to 7680 by 4320.
bool ParseSize(const std::string& Text, int32_t* W, int32_t* H) {
  if (Text == "1080p") {
    *W = 1920;
    *H = 1080;
    return true;
  }
  if (Text == "2160p") {
    *W = 3840;
    *H = 2160;
    return true;
  }
  const size_t X = Text.find('x');
  uint32_t Width = 0, Height = 0;
  if (X == std::string::npos || !ParseUnsigned(Text.substr(0, X), &Width) || !ParseUnsigned(Text.substr(X + 1), &Height))
    return false;
  if (Width < 16 || Height < 16 || Width > 7680 || Height > 4320 || Width % 2 || Height % 2) return false;
  *W = int32_t(Width);
  *H = int32_t(Height);
  return true;
}

// The frames --start and --end draw (frame k at 40 k ms); First > Last when
// none.
void DrawnFrames(uint32_t* First, uint32_t* Last) {
  *First = std::max(1u, (Options.StartMs + OfflineFrameMs - 1) / OfflineFrameMs);
  *Last = Options.EndMs == UINT32_MAX ? OfflineFrameTotal : std::min(OfflineFrameTotal, (Options.EndMs - 1) / OfflineFrameMs);
}

// The --frames entries the run never writes: above the show's last frame,
// or (offline, where frame k is drawn at 40 k ms) outside [start, end).
// Empty when every entry is reached.
std::string UnreachedFrames() {
  std::string Above, Outside;
  int Listed = 0;
  auto Add = [&Listed](std::string& List, uint32_t Frame) {
    if (++Listed > 8) return;  // enough to see the mistake
    List += (List.empty() ? "" : ", ") + std::to_string(Frame);
  };
  for (const uint32_t Frame : Options.DumpFrames) {
    if (Frame > OfflineFrameTotal)
      Add(Above, Frame);
    else if (Options.Offline && (uint64_t(Frame) * OfflineFrameMs < Options.StartMs ||
                                 uint64_t(Frame) * OfflineFrameMs >= Options.EndMs))
      Add(Outside, Frame);
  }
  if (Listed == 0) return "";
  std::string Text = "--frames lists frames the run never writes:";
  if (!Above.empty()) Text += " " + Above + " (after the show's last frame, " + std::to_string(OfflineFrameTotal) + ")";
  if (!Outside.empty()) {
    uint32_t First = 0, Last = 0;
    DrawnFrames(&First, &Last);
    const std::string Range = "frames " + std::to_string(First) + " to " + std::to_string(Last);
    Text += std::string(Above.empty() ? " " : "; ") + Outside + " (--start and --end draw " + Range + ")";
  }
  if (Listed > 8) Text += " and " + std::to_string(Listed - 8) + " more";
  return Text;
}

int UsageError(const std::string& Problem) {
  std::fprintf(stderr, "nerith: %s\n\n%s", KvEscapeControls(Problem).c_str(), UsageText());
  std::fflush(stderr);
  return 2;
}

// A value of digits only that ParseUnsigned still refused is a number, just
// too large: saying it is not a whole number would be wrong.
std::string Refused(const std::string& Option, const std::string& Expected, const std::string& Value) {
  const bool Digits = !Value.empty() && Value.find_first_not_of("0123456789") == std::string::npos;
  if (Digits) return Option + " " + Value + " is out of range: it must be " + Expected;
  return Option + " must be " + Expected + ", not \"" + Value + "\"";
}

bool TakesValue(const std::string& Arg) {
  static const char* const Names[] = {"--depth", "--seed",  "--dump-frames", "--frames", "--record",
                                      "--music", "--scale", "--start",       "--end",    "--scene",
                                      "--window-scale", "--size", "--quality", "--av-offset"};
  for (const char* Name : Names)
    if (Arg == Name) return true;
  return false;
}

}  // namespace

int ParseCommandLine(int argc, char** argv) {
  Options = ShowOptions();
  bool HasFrames = false;
  bool HasStart = false;
  bool HasScene = false;
  bool HasScale = false;
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
    const bool NeedsValue = TakesValue(Arg);
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
    } else if (Arg == "--quiet") {
      Options.Quiet = true;
    } else if (Arg == "--depth") {
      uint32_t Depth = 0;
      if (!ParseUnsigned(Value, &Depth) || (Depth != 15 && Depth != 16 && Depth != 24 && Depth != 32))
        return UsageError(Refused("--depth", "15, 16, 24 or 32", Value));
      Options.Depth = int32_t(Depth);
    } else if (Arg == "--seed") {
      if (!ParseUnsigned(Value, &Options.Seed))
        return UsageError(Refused("--seed", "a whole number from 0 to 4294967295", Value));
      Options.HasSeed = true;
    } else if (Arg == "--dump-frames") {
      if (Value.empty()) return UsageError("--dump-frames needs a folder");
      Options.DumpDir = Value;
    } else if (Arg == "--music") {
      if (Value.empty()) return UsageError("--music needs a file");
      struct stat Info;
      if (stat(Value.c_str(), &Info) == 0 && S_ISDIR(Info.st_mode))
        return UsageError("--music \"" + Value + "\" is a directory, not a music file");
      Options.MusicFile = Value;
    } else if (Arg == "--frames") {
      if (!ParseFrameList(Value, &Options.DumpFrames))
        return UsageError("--frames needs frame numbers from 1 up, separated by commas, not \"" + Value + "\"");
      HasFrames = true;
    } else if (Arg == "--record") {
#ifdef _WIN32
      return UsageError("--record: recording is not part of the Windows build (the Linux build records)");
#endif
      RecordFormat Format;
      if (!RecordFormatOf(Value, &Format))
        return UsageError("--record needs a file ending in .mp4, .mkv or .webm, not \"" + Value + "\"");
      Options.RecordPath = Value;
    } else if (Arg == "--scale") {
      uint32_t Scale = 0;
      if (!ParseUnsigned(Value, &Scale) || Scale < 1 || Scale > 4)
        return UsageError(Refused("--scale", "1, 2, 3 or 4", Value));
      Options.Scale = int32_t(Scale);
      HasScale = true;
    } else if (Arg == "--window-scale") {
      uint32_t Scale = 0;
      if (!ParseUnsigned(Value, &Scale) || Scale < 1 || Scale > 8)
        return UsageError(Refused("--window-scale", "a whole number from 1 to 8", Value));
      Options.WindowScale = int32_t(Scale);
      Options.Window = true;  // a size for a window: asking for one is asking for the window
    } else if (Arg == "--integer-scale") {
      Options.IntegerScale = true;
    } else if (Arg == "--size") {
      if (!ParseSize(Value, &Options.OutWidth, &Options.OutHeight))
        return UsageError("--size must be 1080p, 2160p or WxH with even W and H from 16x16 to 7680x4320, not \"" +
                          Value + "\"");
    } else if (Arg == "--quality") {
      uint32_t Quality = 0;
      if (!ParseUnsigned(Value, &Quality) || Quality > 63)
        return UsageError(Refused("--quality", "a whole number (.mp4 0..51, .webm 0..63)", Value));
      Options.Quality = int32_t(Quality);
    } else if (Arg == "--av-offset") {
      char* End = nullptr;
      const long Ms = Value.empty() ? 0 : std::strtol(Value.c_str(), &End, 10);
      if (Value.empty() || *End != '\0' || Ms < -2000 || Ms > 2000)
        return UsageError("--av-offset must be whole milliseconds from -2000 to 2000, not \"" + Value + "\"");
      Options.AvOffsetMs = int32_t(Ms);
    } else if (Arg == "--start") {
      if (!ParseSeconds(Value, &Options.StartMs))
        return UsageError("--start needs seconds of show time (like 148 or 12.5), not \"" + Value + "\"");
      HasStart = true;
    } else if (Arg == "--end") {
      if (!ParseSeconds(Value, &Options.EndMs))
        return UsageError("--end needs seconds of show time (like 148 or 12.5), not \"" + Value + "\"");
    } else if (Arg == "--scene") {
      const int Scene = SceneByNumberOrName(Value);
      if (Scene == 0)
        return UsageError("--scene must be a scene number from 1 to 14 or a scene's name (" + SceneNameList() +
                          "), not \"" + Value + "\"");
      Options.StartMs = SceneSteps[Scene - 1] * StepMs;
      HasScene = true;
    } else {
      return UsageError("unknown option \"" + Arg + "\"");
    }
  }
  if (HasFrames && Options.DumpDir.empty()) return UsageError("--frames needs --dump-frames DIR");
  if (Options.NoMusic && !Options.MusicFile.empty()) return UsageError("--music and --no-music contradict each other");
  if (HasStart && HasScene) return UsageError("--start and --scene both set the start; give one");
  if (!Options.RecordPath.empty() && Options.Window) return UsageError("--record draws no window; leave out --window and --window-scale");
  constexpr uint32_t ShowMs = OfflineFrameTotal * OfflineFrameMs;
  if (Options.StartMs >= ShowMs) return UsageError("--start must be before the show's end (257.84 s)");
  if (Options.EndMs <= Options.StartMs) return UsageError("--end must come after the start");
  uint32_t First = 0, Last = 0;
  DrawnFrames(&First, &Last);
  if (First > Last)
    return UsageError("--start and --end hold no frame: the first would be frame " + std::to_string(First) +
                      " (at " + std::to_string(First * OfflineFrameMs) + " ms), the last frame " +
                      std::to_string(Last) + " (at " + std::to_string(Last * OfflineFrameMs) + " ms)");
  const bool Writes = !Options.RecordPath.empty() || !Options.DumpDir.empty();
  if (Options.OutWidth > 0 && HasScale) return UsageError("--size and --scale both set the frame size; give one");
  if (Options.OutWidth > 0 && !Writes) return UsageError("--size needs --record FILE or --dump-frames DIR");
  if (Options.Quality >= 0) {
    RecordFormat Format;
    if (!RecordFormatOf(Options.RecordPath, &Format)) return UsageError("--quality needs --record FILE");
    const QualityRange Range = QualityRangeOf(Format);
    if (Range.Highest == 0) return UsageError("--quality: .mkv recordings are lossless and have no quality to choose");
    if (Options.Quality > Range.Highest)
      return UsageError("--quality for this file must be from " + std::to_string(Range.Lowest) + " to " +
                        std::to_string(Range.Highest));
  }
  RecordFormat Format;
  if (RecordFormatOf(Options.RecordPath, &Format)) {
    int32_t Width = 0, Height = 0;
    OutputFrameSize(640, 480, &Width, &Height);
    std::string Why;
    if (!VideoSizeFits(Format, Width, Height, &Why))
      return UsageError("--record \"" + Options.RecordPath + "\" cannot hold " + std::to_string(Width) + "x" +
                        std::to_string(Height) + " pictures: " + Why + "; use a smaller --size or .mp4 or .webm");
  }
  if (!Options.RecordPath.empty()) Options.Headless = true;
  Options.Offline = Options.Headless && (Options.HasSeed || !Options.RecordPath.empty());
  const std::string Unreached = UnreachedFrames();
  if (!Unreached.empty()) return UsageError(Unreached);
  return -1;
}
