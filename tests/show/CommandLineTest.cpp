// The command line, and whole runs of the nerith executable: usage errors,
// --help, and the one-line error log of a run that cannot open a display.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "KvTest.h"
#include "show/Options.h"
#include "show/Show.h"

namespace {

int Parse(std::vector<std::string> Args) {
  Args.insert(Args.begin(), "nerith");
  std::vector<char*> Argv;
  for (std::string& A : Args) Argv.push_back(A.data());
  Argv.push_back(nullptr);
  return ParseCommandLine(int(Args.size()), Argv.data());
}

TEST(CommandLine, DefaultsLeaveTheShowAsDesigned) {
  EXPECT_EQ(Parse({}), -1);
  EXPECT_FALSE(Options.Window);
  EXPECT_EQ(Options.Depth, 0);
  EXPECT_FALSE(Options.NoMusic);
  EXPECT_FALSE(Options.HasSeed);
  EXPECT_FALSE(Options.Headless);
  EXPECT_FALSE(Options.Offline);
  EXPECT_TRUE(Options.DumpDir.empty());
  EXPECT_FALSE(Options.Benchmark);
}

TEST(CommandLine, EveryOptionIsTaken) {
  ASSERT_EQ(Parse({"--window", "--depth", "16", "--no-music", "--seed", "4294967295", "--headless", "--dump-frames",
                   "/tmp/x", "--frames", "7,3,7,1000", "--benchmark"}),
            -1);
  EXPECT_TRUE(Options.Window);
  EXPECT_EQ(Options.Depth, 16);
  EXPECT_TRUE(Options.NoMusic);
  EXPECT_TRUE(Options.HasSeed);
  EXPECT_EQ(Options.Seed, 4294967295u);
  EXPECT_TRUE(Options.Headless);
  EXPECT_TRUE(Options.Offline);  // --headless with --seed
  EXPECT_EQ(Options.DumpDir, "/tmp/x");
  EXPECT_EQ(Options.DumpFrames, (std::vector<uint32_t>{3, 7, 1000}));
  EXPECT_TRUE(Options.Benchmark);
  // "--name=value" works like "--name value"; a fresh parse starts over.
  // --music names another soundtrack; without it the show's own plays.
  EXPECT_EQ(Options.MusicFile, "");
  SetAssetRoot("/assets");
  EXPECT_EQ(ShowMusicPath(), "/assets/SND/Nerith.mp3");
  ASSERT_EQ(Parse({"--music", "my tune.MID"}), -1);
  EXPECT_EQ(ShowMusicPath(), "my tune.MID");
  SetAssetRoot("");
  ASSERT_EQ(Parse({"--depth=24", "--seed=0"}), -1);
  EXPECT_EQ(Options.Depth, 24);
  EXPECT_TRUE(Options.HasSeed);
  EXPECT_FALSE(Options.Offline);  // no --headless
  EXPECT_FALSE(Options.Window);
  // Capture: --record is an offline run even without --seed; times are
  // seconds with up to three decimals; --scene starts at its window.
  ASSERT_EQ(Parse({"--record", "Show.MKV", "--scale", "3", "--start", "12.5", "--end", "20", "--quiet"}), -1);
  EXPECT_EQ(Options.RecordPath, "Show.MKV");
  EXPECT_TRUE(Options.Headless && Options.Offline);
  EXPECT_EQ(Options.Scale, 3);
  EXPECT_EQ(Options.StartMs, 12500u);
  EXPECT_EQ(Options.EndMs, 20000u);
  EXPECT_TRUE(Options.Quiet);
  // Sizes for video sites; the window's scale.
  ASSERT_EQ(Parse({"--record", "a.webm", "--size", "2160p", "--quality", "63", "--integer-scale"}), -1);
  EXPECT_EQ(Options.OutWidth, 3840);
  EXPECT_EQ(Options.OutHeight, 2160);
  EXPECT_EQ(Options.Quality, 63);
  EXPECT_TRUE(Options.IntegerScale);
  ASSERT_EQ(Parse({"--dump-frames", "d", "--size", "1280x720"}), -1);
  EXPECT_EQ(Options.OutWidth, 1280);
  EXPECT_EQ(Options.OutHeight, 720);
  EXPECT_EQ(Options.Quality, -1);
  ASSERT_EQ(Parse({"--window", "--window-scale", "3"}), -1);
  EXPECT_EQ(Options.WindowScale, 3);
  ASSERT_EQ(Parse({"--scene", "10"}), -1);
  EXPECT_EQ(Options.StartMs, 155u * 880u);  // scene 10 opens at step 155
  ASSERT_EQ(Parse({"--scene", "Cone"}), -1);  // by the show's name, any case
  EXPECT_EQ(Options.StartMs, 115u * 880u);
  EXPECT_FALSE(Options.Offline);
}

TEST(CommandLine, BadInputIsAUsageErrorWithStatusTwo) {
  const std::vector<std::vector<std::string>> Bad = {
      {"--fullscreen"}, {"-x"}, {"extra"}, {"--depth"}, {"--depth", "8"}, {"--depth", "32bit"},
      {"--seed", "-1"}, {"--seed", "4294967296"}, {"--seed", ""}, {"--seed", "12a"},
      {"--frames", "1,2"},  // without --dump-frames
      {"--dump-frames", "d", "--frames", "0"}, {"--dump-frames", "d", "--frames", "1,,2"},
      {"--dump-frames", ""}, {"--window=yes"},
      {"--record", "show.avi"}, {"--record", "show"}, {"--record", "mp4"}, {"--record", "a.mp4", "--window"},
      {"--scale", "0"}, {"--scale", "5"}, {"--start", "-1"}, {"--start", "1.2345"}, {"--start", "."},
      {"--start", "257.84"},  // the show's last frame is drawn at 257.84 s - 40 ms
      {"--start", "5", "--end", "5"}, {"--scene", "0"}, {"--scene", "15"}, {"--scene", "2", "--start", "1"},
      {"--scene", "cones"}, {"--scene", ""},
      {"--music"}, {"--music="}, {"--music", "a.mid", "--no-music"},
      {"--window-scale", "0"}, {"--window-scale", "9"}, {"--window-scale", "2x"},
      {"--size", "1080p"},  // nothing to write at that size
      {"--size", "1921x1080", "--record", "a.mp4"}, {"--size", "1920x1081", "--record", "a.mp4"},
      {"--size", "1080", "--record", "a.mp4"}, {"--size", "8x8", "--record", "a.mp4"},
      {"--size", "9000x4000", "--record", "a.mp4"}, {"--size", "720p", "--record", "a.mp4"},
      {"--size", "1080p", "--scale", "2", "--record", "a.mp4"},
      {"--quality", "20"}, {"--quality", "52", "--record", "a.mp4"}, {"--quality", "64", "--record", "a.webm"},
      {"--quality", "10", "--record", "a.mkv"}, {"--quality", "-1", "--record", "a.mp4"},
      {"--av-offset", "2001"}, {"--av-offset", "12ms"}, {"--av-offset="},
  };
  for (const auto& Args : Bad) {
    testing::internal::CaptureStderr();
    const int Status = Parse(Args);
    const std::string Err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(Status, 2) << Args[0];
    EXPECT_NE(Err.find("Usage: nerith"), std::string::npos) << Args[0];
  }
}

// Frames a frame list asks for but the run never draws (after the show's
// last frame, or offline outside [start, end)) are named in the usage error;
// the frames at both edges of the range are fine.
TEST(CommandLine, FramesTheRunNeverDrawsAreAUsageError) {
  const struct {
    std::vector<std::string> Args;
    const char* Named;
  } Cases[] = {
      {{"--headless", "--seed", "1", "--dump-frames", "d", "--frames", "99999"}, "99999"},
      {{"--headless", "--seed", "1", "--dump-frames", "d", "--frames", "5", "--start", "10"}, " 5 "},
      {{"--headless", "--seed", "1", "--dump-frames", "d", "--frames", "250,253", "--start", "10", "--end", "10.1"},
       " 253 "},
      {{"--dump-frames", "d", "--frames", "6447"}, "6447"},  // live runs end at the same frame
  };
  for (const auto& Case : Cases) {
    testing::internal::CaptureStderr();
    const int Status = Parse(Case.Args);
    const std::string Err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(Status, 2) << Case.Named;
    const std::string FirstLine = Err.substr(0, Err.find('\n'));
    EXPECT_NE((FirstLine + " ").find(Case.Named), std::string::npos) << FirstLine;
  }
  EXPECT_EQ(Parse({"--headless", "--seed", "1", "--dump-frames", "d", "--frames", "250,252", "--start", "10", "--end",
                   "10.1"}),
            -1);
  EXPECT_EQ(Parse({"--headless", "--seed", "1", "--dump-frames", "d", "--frames", "1,6446"}), -1);
}

// The usage text names exactly the options the parser takes.
TEST(CommandLine, HelpIsTruthful) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(Parse({"--help"}), 0);
  const std::string Out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(Out, UsageText());
  std::set<std::string> Named;
  const std::regex Option("--[a-z][a-z-]*");
  for (auto It = std::sregex_iterator(Out.begin(), Out.end(), Option); It != std::sregex_iterator(); ++It)
    Named.insert(It->str());
  const std::set<std::string> Taken = {
      "--window", "--depth",   "--no-music", "--seed",  "--headless", "--dump-frames", "--frames", "--benchmark",
      "--help",   "--version", "--record",   "--scale", "--start",    "--end",         "--scene",  "--quiet",
      "--music",  "--window-scale", "--integer-scale", "--size", "--quality", "--av-offset"};
  EXPECT_EQ(Named, Taken);
  for (const std::string& Name : Named) {
    std::vector<std::string> Args = {Name};
    if (Name == "--depth") Args.push_back("15");
    if (Name == "--seed") Args.push_back("1");
    if (Name == "--dump-frames") Args.push_back("d");
    if (Name == "--music") Args.push_back("a.mid");
    if (Name == "--frames") Args = {"--dump-frames", "d", "--frames", "1"};
    if (Name == "--record") Args.push_back("d.webm");
    if (Name == "--window-scale") Args.push_back("2");
    if (Name == "--size") Args = {"--record", "d.mp4", "--size", "1080p"};
    if (Name == "--quality") Args = {"--record", "d.mp4", "--quality", "23"};
    if (Name == "--scale" || Name == "--start" || Name == "--end" || Name == "--scene") Args.push_back("2");
    if (Name == "--av-offset") Args.push_back("-150");
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int Status = Parse(Args);
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    EXPECT_NE(Status, 2) << Name;
  }
  testing::internal::CaptureStdout();
  EXPECT_EQ(Parse({"--version"}), 0);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("nerith"), std::string::npos);
}

// --- the executable -----------------------------------------------------------

TEST(NerithRun, UsageErrorsExitTwoAndHelpExitsZero) {
  const std::string Dir = kvtest::MakeTempDir("kvcli");
  kvtest::ChildResult R = kvtest::RunChild({kvtest::NerithExe(), "--no-such-option"}, Dir);
  EXPECT_EQ(R.ExitCode, 2);
  EXPECT_NE(R.Err.find("unknown option \"--no-such-option\""), std::string::npos) << R.Err;
  EXPECT_NE(R.Err.find("Usage: nerith"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(Dir + "/KVR_ERR.txt"));  // not a fatal error

  R = kvtest::RunChild({kvtest::NerithExe(), "--help"}, Dir);
  EXPECT_EQ(R.ExitCode, 0);
  EXPECT_EQ(R.Out, UsageText());
  R = kvtest::RunChild({kvtest::NerithExe(), "--version"}, Dir);
  EXPECT_EQ(R.ExitCode, 0);
}

// Mistakes found before any work, each with its own reason: an empty time
// range (naming the frames it would hold), a size FFV1 cannot encode, a
// number too large, a folder given as music.
TEST(NerithRun, UsageErrorsGiveTheirOwnReason) {
  const std::string Dir = kvtest::MakeTempDir("kvcli");
  const struct {
    std::vector<std::string> Args;
    const char* Reason;
  } Cases[] = {
      {{"--headless", "--seed", "1", "--end", "0.04"}, "hold no frame: the first would be frame 1 (at 40 ms), the last frame 0"},
      {{"--record", "r.mp4", "--start", "50.01", "--end", "50.03"}, "the first would be frame 1251 (at 50040 ms), the last frame 1250"},
      {{"--record", "big.mkv", "--size", "6000x4000"}, "cannot hold 6000x4000 pictures: ffv1 cannot encode"},
      {{"--record", "r.mp4", "--quality", "99999999999999999999"}, "--quality 99999999999999999999 is out of range"},
      {{"--music", "."}, "--music \".\" is a directory"},
  };
  for (const auto& Case : Cases) {
    std::vector<std::string> Argv = Case.Args;
    Argv.insert(Argv.begin(), kvtest::NerithExe());
    const kvtest::ChildResult R = kvtest::RunChild(Argv, Dir);
    EXPECT_EQ(R.ExitCode, 2) << R.Err;
    EXPECT_EQ(R.Err.find('\n'), R.Err.find("\n\nUsage:")) << R.Err;  // one line of ours, then the usage
    EXPECT_NE(R.Err.find(Case.Reason), std::string::npos) << R.Err;
  }
  EXPECT_TRUE(std::filesystem::is_empty(Dir));
}

// Without a display and without --headless the run ends at the display's
// creation: one line in KVR_ERR.txt, the same line on standard error, a
// non-zero status. A second failing run replaces the first one's line.
TEST(NerithRun, NoDisplayLeavesOneLogLineAndFails) {
  const std::string Dir = kvtest::MakeTempDir("kvnodisplay");
  // SDL left to choose: it falls back to an invisible driver, which the
  // device refuses.
  std::vector<std::string> NoDisplay = {"DISPLAY=", "WAYLAND_DISPLAY=", "SDL_VIDEODRIVER=", "KELVRA_NO_MESSAGEBOX=1"};
  kvtest::ChildResult R = kvtest::RunChild({kvtest::NerithExe(), "--window", "--no-music"}, Dir, NoDisplay, 60);
  EXPECT_EQ(R.ExitCode, 1) << R.Err;
  std::string Log = kvtest::ReadFile(Dir + "/KVR_ERR.txt");
  ASSERT_GE(Log.size(), 2u);
  EXPECT_EQ(Log.substr(Log.size() - 2), "\r\n");
  std::string Line = Log.substr(0, Log.size() - 2);
  EXPECT_EQ(Line.find('\n'), std::string::npos);
  EXPECT_EQ(Line.rfind("[TKelvra]DirectDrawCreate -> ", 0), 0u) << Line;
  EXPECT_NE(Line.find("--headless"), std::string::npos) << Line;
  EXPECT_NE(Line.find("--window"), std::string::npos) << Line;
  EXPECT_NE(R.Err.find(Line + "\n"), std::string::npos) << R.Err;

  // X11 asked for by name, with no server to reach.
  NoDisplay[2] = "SDL_VIDEODRIVER=x11";
  R = kvtest::RunChild({kvtest::NerithExe(), "--no-music"}, Dir, NoDisplay, 60);
  EXPECT_EQ(R.ExitCode, 1) << R.Err;
  Log = kvtest::ReadFile(Dir + "/KVR_ERR.txt");
  EXPECT_EQ(Log.rfind("[TKelvra]DirectDrawCreate -> ", 0), 0u) << Log;
  EXPECT_EQ(Log.find("\r\n"), Log.size() - 2);
}

}  // namespace
