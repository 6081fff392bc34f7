// Helpers shared by every test area.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/Kelvra.h"
#include "engine/draw/BufferKv.h"

struct AVFormatContext;
struct AVPacket;

namespace kvtest {

// A headless display of the given depth (15, 16, 24 or 32), installed as the
// engine's display: DesktopDepth follows it. Only one may live at a time.
std::unique_ptr<TKelvra> MakeDisplay(int Depth, int Width = 640, int Height = 480);

// A fresh empty folder under the system's temporary folder.
std::string MakeTempDir(const std::string& Prefix = "kvtest");

std::string ReadFile(const std::string& Path);
void WriteFile(const std::string& Path, const std::string& Bytes);

struct ChildResult {
  int ExitCode = -1;  // exit status, or 128 + signal number
  std::string Out;    // standard output
  std::string Err;    // standard error
};
// Starts Argv[0] (looked up on PATH when it names no folder) with Argv in
// WorkDir, with extra environment entries ("NAME=value"), standard input
// from /dev/null, output to OutPath and errors to ErrPath (they may be one
// file). OwnGroup: in a process group of its own, to be ended as a whole.
// Returns the child's id, or -1.
int StartChild(const std::vector<std::string>& Argv, const std::string& WorkDir, const std::vector<std::string>& Env,
               const std::string& OutPath, const std::string& ErrPath, bool OwnGroup = false);
// StartChild, waiting at most TimeoutSeconds (then killed: ExitCode -1).
ChildResult RunChild(const std::vector<std::string>& Argv, const std::string& WorkDir,
                     const std::vector<std::string>& Env = {}, int TimeoutSeconds = 120);

// The nerith executable and the folder holding the generated assets.
std::string NerithExe();
std::string AssetDir();  // <build>/bin, which holds GFX/ ASC/ SND/
// Every file of the show's asset table is in AssetDir().
bool AssetsPresent();

// A media file opened with libavformat and its streams probed; nullptr when
// either fails. Close it with avformat_close_input.
AVFormatContext* OpenMediaFile(const std::string& Path);
// Reads every packet of In to its end, handing each to Visit (which must not
// keep it). Returns the number of read errors: 0, or 1 when reading stopped
// early on one.
int ForEachPacket(AVFormatContext* In, const std::function<void(AVPacket*)>& Visit);

// A PNG file's pixels as 8-bit RGB rows; empty when it does not read whole.
std::vector<uint8_t> ReadPngRgb(const std::string& Path, int* Width = nullptr, int* Height = nullptr);

// Pixel x of row y of a buffer, as a pixel value of its depth.
uint32_t GetPixel(const TBufferKv& B, int X, int Y);
// Fill every pixel with values from a seeded generator (valid for the depth:
// bit 15 clear at 15, top byte clear at 24; any value at 32 when Any32).
void FillRandom(TBufferKv& B, uint32_t Seed, bool Any32 = false);
// FNV-1a over the visible pixels (pitch padding excluded).
uint64_t Checksum(const TBufferKv& B);
// Expects the geometry of a Width x Height buffer: halves and maxima, and
// one row pointer per row, Pitch bytes apart from Bits on.
void ExpectGeometry(const TBufferKv& B, int Width, int Height);

}  // namespace kvtest

// Skips the test (in a gtest body) when the build made no assets.
#define REQUIRE_ASSETS()                                          \
  if (!kvtest::AssetsPresent())                                   \
  GTEST_SKIP() << "no generated assets in " << kvtest::AssetDir() \
               << " (configure with -DNERITH_ASSETS=ON and build the assets)"
