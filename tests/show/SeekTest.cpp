// Seeking is exact: an offline run with a scripted series of seeks (back
// to the start's snapshot, far forward past every snapshot, back to a
// kept one, within and across scenes) shows, at every show time, the very
// frame an uninterrupted run shows there, at 16 and 32 bits.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <utility>
#include <vector>

#include "KvTest.h"
#include "show/FrameOutput.h"
#include "show/Options.h"
#include "show/Seeking.h"
#include "show/ShowSnapshot.h"

namespace {

using Script = std::vector<std::pair<uint32_t, uint32_t>>;  // at this frame time, seek to

// Records (show time, checksum) of every frame shown and asks for the
// script's seeks.
class FrameLog : public FrameOutput {
 public:
  FrameLog(std::string P, Script S) : Path(std::move(P)), Seeks(std::move(S)) {}
  void Take(const FinishedFrame& F) override {
    uint64_t Hash = 1469598103934665603ull;
    const size_t Row = size_t(F.Width) * size_t((F.Depth + 7) / 8);
    for (int32_t Y = 0; Y < F.Height; ++Y) {
      const uint8_t* P = F.Pixels + size_t(Y) * size_t(F.Pitch);
      for (size_t X = 0; X < Row; ++X) Hash = (Hash ^ P[X]) * 1099511628211ull;
    }
    Log << F.ShowMs << ' ' << Hash << '\n';
    if (Next < Seeks.size() && F.ShowMs == Seeks[Next].first) RequestSeek(Seeks[Next++].second);
  }
  void Finish(bool) override {
    std::ofstream(Path) << Log.str() << "snapshots " << SnapshotCount() << ' ' << SnapshotBytes() << '\n';
  }

 private:
  std::string Path;
  Script Seeks;
  size_t Next = 0;
  std::ostringstream Log;
};

[[noreturn]] void RunLogged(int Depth, uint32_t EndS, const std::string& Path, const Script& Seeks) {
  // The assets are found in the current folder.
  if (chdir(kvtest::AssetDir().c_str()) != 0) std::exit(5);
  AddFrameOutput(std::make_unique<FrameLog>(Path, Seeks));
  AllowOfflineSeeks(!Seeks.empty());
  const std::string D = std::to_string(Depth), E = std::to_string(EndS);
  const char* Argv[] = {"nerith", "--headless", "--seed", "7", "--depth", D.c_str(), "--quiet", "--end", E.c_str()};
  std::exit(NerithMain(9, const_cast<char**>(Argv)));
}

std::vector<std::pair<uint32_t, uint64_t>> ReadLog(const std::string& Path, std::string* Tail) {
  std::vector<std::pair<uint32_t, uint64_t>> Frames;
  std::istringstream In(kvtest::ReadFile(Path));
  std::string Line;
  while (std::getline(In, Line)) {
    if (Line.rfind("snapshots", 0) == 0) {
      *Tail = Line;
      continue;
    }
    std::istringstream L(Line);
    uint32_t Ms = 0;
    uint64_t Hash = 0;
    L >> Ms >> Hash;
    Frames.emplace_back(Ms, Hash);
  }
  return Frames;
}

class SeekRun : public ::testing::TestWithParam<int> {};

TEST_P(SeekRun, EveryFrameAfterEachSeekEqualsTheUninterruptedRun) {
  REQUIRE_ASSETS();
  // Forked where it stands (this process runs no threads): the children
  // write into this test's folder.
  GTEST_FLAG_SET(death_test_style, "fast");
  const int Depth = GetParam();
  const std::string Dir = kvtest::MakeTempDir("nerith-seek");
  const uint32_t EndS = 180;
  const Script Seeks = {{3000, 1000},     {2000, 61010},  {61400, 12345},
                        {13000, 130000}, {131000, 59000}, {60000, 176000}};
  EXPECT_EXIT(RunLogged(Depth, EndS, Dir + "/plain", {}), ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(RunLogged(Depth, EndS, Dir + "/seeks", Seeks), ::testing::ExitedWithCode(0), "");
  std::string PlainTail, SeekTail;
  const auto Plain = ReadLog(Dir + "/plain", &PlainTail);
  const auto Seeking = ReadLog(Dir + "/seeks", &SeekTail);
  ASSERT_EQ(Plain.size(), EndS * 1000 / 40 - 1);
  std::map<uint32_t, uint64_t> ByTime(Plain.begin(), Plain.end());

  // Each seek lands on the first frame time at or after its target, and
  // the show goes on from there 40 ms a frame.
  std::vector<uint32_t> Landings;
  for (size_t i = 1; i < Seeking.size(); ++i)
    if (Seeking[i].first != Seeking[i - 1].first + 40) Landings.push_back(Seeking[i].first);
  EXPECT_EQ(Landings, (std::vector<uint32_t>{1000, 61040, 12360, 130000, 59000, 176000}));
  EXPECT_EQ(Seeking.back().first, EndS * 1000 - 40);

  size_t Differing = 0;
  for (const auto& [Ms, Hash] : Seeking)
    if (ByTime.at(Ms) != Hash && ++Differing <= 3) ADD_FAILURE() << "the frame at " << Ms << " ms differs";
  EXPECT_EQ(Differing, 0u) << "of " << Seeking.size() << " frames";
  std::printf("%d bits: %s (0 - 176 s)\n", Depth, SeekTail.c_str());
  std::filesystem::remove_all(Dir);
}

INSTANTIATE_TEST_SUITE_P(Depths, SeekRun, ::testing::Values(16, 32),
                         [](const ::testing::TestParamInfo<int>& I) { return std::to_string(I.param) + "Bits"; });

}  // namespace
