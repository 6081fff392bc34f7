// The whole show on a display that keeps failing: every 97th device call
// loses its surface and every 13th answers "still drawing", at each depth.
// The show must restore, repeat or skip as each answer asks, draw all 6446
// frames of the offline run and end with status 0.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "FaultDevice.h"
#include "KvTest.h"
#include "show/3d/Mesh.h"
#include "show/Options.h"
#include "show/Show.h"
#include "show/Timeline.h"
#include "engine/platform/headless/HeadlessDevice.h"

namespace {

constexpr int LostEvery = 97;
constexpr int BusyEvery = 13;
// Held here so that the counts outlive the display, which Shutdown deletes.
std::shared_ptr<kvtest::FaultDevice> SoakDevice;

void ReportSoakAtExit() {
  const auto& Device = SoakDevice;
  std::fprintf(stderr, "soak: frames=%u lost=%d busy=%d restores=%d\n", FrameCount,
               Device ? Device->PeriodicLost() : -1, Device ? Device->PeriodicBusy() : -1,
               Device ? Device->Restores() : -1);
  std::fflush(stderr);
}

// The offline run as the main program starts it, but on the fault device
// (the show's own --headless would install the plain headless device).
[[noreturn]] void RunWholeShowOnFaultDevice(int Depth) {
  const std::string DepthText = std::to_string(Depth);
  const char* Argv[] = {"nerith", "--headless", "--seed", "1", "--depth", DepthText.c_str()};
  if (ParseCommandLine(6, const_cast<char**>(Argv)) >= 0) std::_Exit(4);
  Options.Headless = false;  // keeps Offline: the virtual clock
  DisplayDepth = Depth;
  UseFullScreen = true;
  UseMusic = false;
  SetAssetRoot(kvtest::AssetDir());
  KvSetDeviceFactory([Depth]() -> KvDeviceRef {
    auto Device = std::make_shared<kvtest::FaultDevice>(KvMakeHeadlessDevice(Depth));
    Device->FaultEvery(LostEvery, BusyEvery);
    SoakDevice = Device;
    return Device;
  });
  std::atexit(ReportSoakAtExit);
  InitShow();
  LoadMeshes();
  Fonts[1] = TFontType{"", 32};
  SelectFont(1);
  KvAdvanceVirtualClock(40);
  RunTimeline();
  Shutdown();
}

}  // namespace

class FaultSoak : public ::testing::TestWithParam<int> {};

TEST_P(FaultSoak, WholeShowRunsToItsEndThroughLostAndBusyAnswers) {
  if (!std::filesystem::exists(kvtest::AssetDir() + "/GFX/nerith.png"))
    GTEST_SKIP() << "no generated assets in " << kvtest::AssetDir();
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // Every frame presents at least once, so both rhythms are met many times.
  EXPECT_EXIT(RunWholeShowOnFaultDevice(GetParam()), ::testing::ExitedWithCode(0),
              "soak: frames=6446 lost=[1-9][0-9]+ busy=[1-9][0-9][0-9]+ restores=[1-9][0-9]+");
}

INSTANTIATE_TEST_SUITE_P(Depths, FaultSoak, ::testing::Values(15, 16, 24, 32),
                         [](const ::testing::TestParamInfo<int>& I) { return "Depth" + std::to_string(I.param); });
