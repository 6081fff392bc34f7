// Command-line options of the show. Without any, the show plays its
// standard way: full-screen, 32 bits, music on.
// CommandLine.cpp parses them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ShowTime.h"

// Frame length of the offline clock, and the frames the whole show then
// draws: 293 steps of 880 ms at 40 ms per frame.
constexpr uint32_t OfflineFrameMs = 40;
constexpr uint32_t OfflineFrameTotal = ShowSteps * StepMs / OfflineFrameMs;

struct ShowOptions {
  bool Window = false;          // --window
  int32_t Depth = 0;            // --depth 15|16|24|32 (0: the default)
  bool NoMusic = false;         // --no-music
  bool HasSeed = false;         // --seed N
  uint32_t Seed = 0;
  bool Headless = false;        // --headless: no window, memory surfaces
  bool Offline = false;         // set by --headless together with --seed,
                                // and by --record: virtual clock, exactly
                                // 40 ms per frame
  std::string DumpDir;          // --dump-frames DIR
  std::vector<uint32_t> DumpFrames;  // --frames N,N,... (empty: every frame)
  bool Benchmark = false;       // --benchmark: per-scene timing report
  std::string RecordPath;       // --record FILE (.mp4, .mkv or .webm)
  int32_t Scale = 1;            // --scale N: recorded and dumped frames N x
  bool Quiet = false;           // --quiet: no progress lines
  uint32_t StartMs = 0;         // --start T / --scene N: first show time
  uint32_t EndMs = UINT32_MAX;  // --end T: frames drawn before this time
  std::string MusicFile;        // --music FILE: another soundtrack (empty: the show's)
  int32_t WindowScale = 0;      // --window-scale N (0: the largest that fits the desktop)
  bool IntegerScale = false;    // --integer-scale: whole multiples only, on screen and in --size
  int32_t OutWidth = 0;         // --size WxH: recorded and dumped frames letterboxed
  int32_t OutHeight = 0;        //   into this size (0: the frame times --scale)
  int32_t Quality = -1;         // --quality N: the encoder's CRF (-1: the format's default)
  int32_t AvOffsetMs = 0;       // --av-offset MS: the picture this much after the music as heard
};

extern ShowOptions Options;

// Parses argv into Options. Returns -1 to go on, or an exit status
// (0 after --help / --version, 2 after a bad option, with the usage printed).
int ParseCommandLine(int argc, char** argv);
const char* UsageText();

// The main program: parses the command line, runs the show and ends the
// process (Shutdown exits 0); returns only an exit status of the command line.
int NerithMain(int argc, char** argv);
