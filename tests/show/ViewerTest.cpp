// The viewer's pause and screenshot in live runs of the show in a child
// process: the music, as a device hears it, stays in step with the frames
// after a pause, and the F12 file is the frame the offline run dumps at
// that show time.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "KvTest.h"
#include "engine/core/Platform.h"
#include "engine/core/Timer.h"
#include "engine/audio/AudioOutput.h"
#include "engine/audio/HeardMusic.h"
#include "engine/platform/headless/HeadlessTestHooks.h"
#include "show/3d/Mesh.h"
#include "show/FrameOutput.h"
#include "show/Options.h"
#include "show/RunClock.h"
#include "show/Show.h"
#include "show/Viewer.h"

namespace fs = std::filesystem;

namespace {

// The show's start-up as NerithMain does it, for a child that has set
// Options and the globals itself; RunTimeline ends the process.
[[noreturn]] void RunShow(std::unique_ptr<FrameOutput> Watcher, void (*BeforeTimeline)()) {
  SetAssetRoot(kvtest::AssetDir());
  InitShow();
  LoadMeshes();
  Fonts[1] = TFontType{"", 32};
  SelectFont(1);
  OpenFrameOutputs();
  AddFrameOutput(std::move(Watcher));
  if (BeforeTimeline) BeforeTimeline();
  BeginRunClock();
  RunTimeline();
  Shutdown();
}

void ParseArgs(std::vector<std::string> Args) {
  Args.insert(Args.begin(), "nerith");
  std::vector<char*> Argv;
  for (std::string& A : Args) Argv.push_back(A.data());
  if (ParseCommandLine(int(Argv.size()), Argv.data()) >= 0) std::_Exit(90);
}

int WaitChild(pid_t Pid) {
  int Status = 0;
  if (waitpid(Pid, &Status, 0) != Pid) return -1;
  return WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status);
}

// --- pause ---------------------------------------------------------------------

// The audio device of the test: it takes the mixer's output at 44100 frames
// per second of the steady clock (times Rate, standing still for StallMs at
// StallAtMs), tells the engine where it is, as an output does (SDL's own
// device is left to play silence), and counts the frames of music in it. A
// thread keeps it taking while the show's thread is busy or paused; reading
// the count first takes what is due at that instant.
class RecordingDevice {
 public:
  double Rate = 1.0;
  int64_t StallAtMs = -1, StallMs = 0;

  void Start() {
    KvAudioSetDeviceMixing(false);
    KvAudioMixForTest(Block, 0);  // waits for SDL's callback to leave the mixer
    KvHeardReset();
    Began = std::chrono::steady_clock::now();
    Worker = std::thread([this] {
      while (!Stopping.load()) {
        CatchUp();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    });
  }
  void Stop() {
    Stopping.store(true);
    if (Worker.joinable()) Worker.join();
  }
  double MusicMs() {
    CatchUp();
    std::lock_guard<std::mutex> L(Lock);
    return double(Music) * 1000.0 / 44100.0;
  }

 private:
  void CatchUp() {
    std::lock_guard<std::mutex> L(Lock);
    const auto Us = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - Began);
    int64_t PlayedUs = Us.count();
    if (StallAtMs >= 0 && PlayedUs > StallAtMs * 1000) PlayedUs = std::max(StallAtMs * 1000, PlayedUs - StallMs * 1000);
    const uint64_t Due = uint64_t(double(PlayedUs) * 44100.0 * Rate / 1e6);
    while (Taken < Due) {
      const size_t N = size_t(std::min<uint64_t>(Due - Taken, 1024));
      Music += KvAudioMixForTest(Block, N);
      Taken += N;
    }
    // Heard as it is taken; it takes again within about 5 ms (256 frames).
    KvHeardAt(KvHeardNowUs(), int64_t(Taken), 256);
  }

  std::mutex Lock;
  std::chrono::steady_clock::time_point Began;
  uint64_t Taken = 0, Music = 0;
  int16_t Block[1024 * 2];
  std::atomic<bool> Stopping{false};
  std::thread Worker;
};
RecordingDevice* Device = nullptr;

void StartDevice() { Device->Start(); }

// Writes "show_ms music_ms paused" per frame once the music plays; pauses
// for 2 s of real time at the first frame 1.5 s after the music started.
class PauseWatcher : public FrameOutput {
 public:
  explicit PauseWatcher(const std::string& Path) : Log(Path) {}
  void MusicStarts(uint32_t ShowMs) override {
    CueMs = ShowMs;
    Cued = true;
  }
  // The clock is read again between two readings of the device: if this
  // thread was held up in between (a loaded machine), the frame is left out.
  void Take(const FinishedFrame& Frame) override {
    if (!Cued) return;
    const double Music = Device->MusicMs(), Show = double(ShowTimeMs()) - CueMs;
    Log << Frame.ShowMs - CueMs << ' ' << Show << ' ' << Music << ' ' << (Device->MusicMs() - Music > 5) << ' '
        << (Paused ? 1 : 0) << '\n';
    if (!Paused && Frame.ShowMs >= CueMs + 1500) {
      Paused = true;
      PauseShow(true);
      const double Before = Device->MusicMs();
      std::this_thread::sleep_for(std::chrono::seconds(2));
      Log << "during " << Device->MusicMs() - Before << '\n';
      PauseShow(false);
    }
    Log.flush();
  }
  // Before the music is closed.
  void Finish(bool) override { Device->Stop(); }

 private:
  std::ofstream Log;
  uint32_t CueMs = 0;
  bool Cued = false;
  bool Paused = false;
};

}  // namespace

// A live run with --av-offset 100 and music on a device that records what it
// is given, 0.1 % slow and stalling for 200 ms after the pause: before and
// after a 2 s pause, every frame is shown 100 ms after its music is heard,
// within 20 ms, the show clock never steps back, and the device is given no
// music while paused.
TEST(Pause, MusicAndPictureResumeInStep) {
  REQUIRE_ASSETS();
  const std::string Work = kvtest::MakeTempDir("nerith-pause");
  const std::string LogPath = Work + "/frames.txt";
  const pid_t Pid = fork();
  ASSERT_GE(Pid, 0);
  if (Pid == 0) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    if (chdir(Work.c_str()) != 0) std::_Exit(91);
    // Live (no --seed), ending 4.5 s of show time in.
    ParseArgs({"--headless", "--end", "4.5", "--quiet", "--av-offset", "100"});
    DisplayDepth = 32;
    UseFullScreen = true;
    UseMusic = true;  // headless runs leave the music off; this one listens
    Device = new RecordingDevice;
    Device->Rate = 0.999;
    Device->StallAtMs = 4500;
    Device->StallMs = 200;
    RunShow(std::make_unique<PauseWatcher>(LogPath), StartDevice);
  }
  ASSERT_EQ(WaitChild(Pid), 0);

  std::ifstream In(LogPath);
  std::vector<double> Before, After;
  double DuringPause = 1e9;
  double LastShowBefore = -1, FirstShowAfter = -1;
  std::string Word;
  while (In >> Word) {
    if (Word == "during") {
      In >> DuringPause;
      continue;
    }
    double ShowMs = std::stod(Word), ClockMs = 0, MusicMs = 0;
    int Held = 0, Paused = 0;
    In >> ClockMs >> MusicMs >> Held >> Paused;
    EXPECT_GE(ShowMs, std::max(LastShowBefore, FirstShowAfter)) << "the show clock stepped back";
    // The picture waits for the first 100 ms of music to be heard.
    if (!Held && MusicMs > 300) (Paused ? After : Before).push_back(ClockMs + 100 - MusicMs);
    if (!Paused) LastShowBefore = ShowMs;
    if (Paused && FirstShowAfter < 0) FirstShowAfter = ShowMs;
  }
  ASSERT_GE(Before.size(), 15u) << kvtest::ReadFile(LogPath);
  ASSERT_GE(After.size(), 20u) << kvtest::ReadFile(LogPath);
  for (size_t I = 0; I < Before.size(); ++I) EXPECT_NEAR(Before[I], 0, 20.0) << "frame " << I << " before";
  for (size_t I = 0; I < After.size(); ++I) EXPECT_NEAR(After[I], 0, 20.0) << "frame " << I << " after";
  // The show clock stood still: the first frame after the pause comes a
  // frame or two after the last one before it, not 2 s later.
  EXPECT_LT(FirstShowAfter - LastShowBefore, 120.0);
  // No music while paused.
  EXPECT_EQ(DuringPause, 0.0);
  fs::remove_all(Work);
}

// --- screenshot ---------------------------------------------------------------

namespace {

constexpr uint32_t ShotFrame = 60;  // drawn at 2.4 s
uint32_t TestNow = 0;
uint32_t TestClock() { return TestNow; }
void StartTestClock() { TestNow = 40; }  // frame 1 at 40 ms, as offline

// Moves the test's clock 40 ms a frame; at ShotFrame presses Space, F11
// (which the headless device refuses: the show goes on in its window) and
// F12, and then closes the window, which ends the paused show.
class ShotWatcher : public FrameOutput {
 public:
  void Take(const FinishedFrame& Frame) override {
    if (Frame.Number != ShotFrame) {
      TestNow += 40;
      return;
    }
    KvDevice& Device = *Display->DirectDraw;
    for (uint8_t Key : {KvKeySpace, KvKeyF11, KvKeyF12}) {
      KvHeadlessSetKey(Device, Key, true);
      KvHeadlessSetKey(Device, Key, false);
    }
    KvHeadlessPostMessage(Device, KvMessage{KvMessageKind::Other, 0});
    KvHeadlessPostMessage(Device, KvMessage{KvMessageKind::Quit, 0});
  }
};

std::vector<uint8_t> PngRgb(const std::string& Path) { return kvtest::ReadPngRgb(Path); }

}  // namespace

// A live run paused at frame 60 and F12: the file, named for the frame's show
// time, holds the very pixels the offline run dumps as frame 60.
TEST(Screenshot, IsTheDumpedFrameAtThatShowTime) {
  REQUIRE_ASSETS();
  const std::string Work = kvtest::MakeTempDir("nerith-shot");
  const pid_t Pid = fork();
  ASSERT_GE(Pid, 0);
  if (Pid == 0) {
    if (chdir(Work.c_str()) != 0) std::_Exit(91);
    setenv("XDG_PICTURES_DIR", Work.c_str(), 1);
    ParseArgs({"--headless", "--seed", "7", "--depth", "16"});
    // The same seed on a live clock that the test moves exactly as the
    // offline clock moves: live keys, offline frames.
    Options.Offline = false;
    DisplayDepth = 16;
    UseFullScreen = true;
    UseMusic = false;
    TestNow = 0;
    KvSetClockSource(TestClock);
    RunShow(std::make_unique<ShotWatcher>(), StartTestClock);
  }
  ASSERT_EQ(WaitChild(Pid), 0);
  const std::string Shot = Work + "/" + ScreenshotName(ShotFrame * 40);
  ASSERT_TRUE(fs::exists(Shot)) << "no " << Shot;

  const kvtest::ChildResult Dump =
      kvtest::RunChild({kvtest::NerithExe(), "--headless", "--seed", "7", "--depth", "16", "--dump-frames", "d",
                        "--frames", std::to_string(ShotFrame), "--quiet"},
                       Work, {}, 120);
  ASSERT_EQ(Dump.ExitCode, 0) << Dump.Err;
  const std::vector<uint8_t> Saved = PngRgb(Shot);
  const std::vector<uint8_t> Dumped = PngRgb(Work + "/d/frame_00060.png");
  ASSERT_EQ(Saved.size(), 640u * 480u * 3u);
  EXPECT_TRUE(Saved == Dumped);
  fs::remove_all(Work);
}

// The file name is the show time as --start takes it. It goes to the
// pictures folder; where that cannot be written (here: it does not exist),
// to the current folder.
TEST(Screenshot, NameAndFolder) {
  EXPECT_EQ(ScreenshotName(2400), "nerith-2.400.png");
  EXPECT_EQ(ScreenshotName(257800), "nerith-257.800.png");
  EXPECT_EQ(ScreenshotName(7), "nerith-0.007.png");
  const std::string Work = kvtest::MakeTempDir("nerith-shotdir");
  fs::create_directories(Work + "/here");
  fs::create_directories(Work + "/pics");
  const pid_t Pid = fork();
  ASSERT_GE(Pid, 0);
  if (Pid == 0) {
    if (chdir((Work + "/here").c_str()) != 0) std::_Exit(91);
    auto Owned = kvtest::MakeDisplay(32);
    Display = Owned.get();
    Screen = new TBufferKv(Display, 640, 480, false);
    SetShownFrameTime(1234);
    setenv("XDG_PICTURES_DIR", (Work + "/pics").c_str(), 1);
    if (SaveScreenshot() != Work + "/pics/nerith-1.234.png") std::_Exit(1);
    setenv("XDG_PICTURES_DIR", (Work + "/missing").c_str(), 1);
    SetShownFrameTime(5678);
    std::_Exit(SaveScreenshot() == "nerith-5.678.png" ? 0 : 2);
  }
  EXPECT_EQ(WaitChild(Pid), 0);
  EXPECT_TRUE(fs::is_regular_file(Work + "/pics/nerith-1.234.png"));
  EXPECT_TRUE(fs::is_regular_file(Work + "/here/nerith-5.678.png"));
  EXPECT_EQ(std::distance(fs::directory_iterator(Work + "/pics"), fs::directory_iterator()), 1);
  fs::remove_all(Work);
}

// Where the folder comes from: the variable, else the user-dirs file (its
// $HOME form, and $HOME alone meaning none), else ~/Pictures if it exists.
TEST(Screenshot, PicturesFolderLookup) {
  const std::string Work = kvtest::MakeTempDir("nerith-xdg");
  const pid_t Pid = fork();
  ASSERT_GE(Pid, 0);
  if (Pid == 0) {
    int Step = 10;
    auto Expect = [&Step](const std::string& Want) {
      ++Step;
      if (KvPicturesFolder() != Want) std::_Exit(Step);
    };
    setenv("HOME", Work.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (Work + "/cfg").c_str(), 1);
    unsetenv("XDG_PICTURES_DIR");
    Expect("");  // nothing listed, no ~/Pictures
    fs::create_directories(Work + "/Pictures");
    Expect(Work + "/Pictures");
    fs::create_directories(Work + "/cfg");
    std::ofstream(Work + "/cfg/user-dirs.dirs") << "# comment\nXDG_PICTURES_DIR=\"$HOME/Bilder\"\n";
    Expect(Work + "/Bilder");
    std::ofstream(Work + "/cfg/user-dirs.dirs") << "XDG_PICTURES_DIR=\"$HOME/\"\n";
    Expect("");
    setenv("XDG_PICTURES_DIR", "/srv/shots", 1);
    Expect("/srv/shots");
    std::_Exit(0);
  }
  EXPECT_EQ(WaitChild(Pid), 0) << "exit 11 and up: the step that failed";
  fs::remove_all(Work);
}
