// The whole show as a program: offline runs at every depth with golden
// frames, Escape and a close request ending the show, and a real window
// under Xvfb.
//
// Golden frames: tests/show/golden_frames.txt holds checksums of frames of
// our own reference run. Regenerate after an intended change of the picture:
//   KV_WRITE_GOLDEN=1 <build>/tests/test_show --gtest_filter='*OfflineRun*'
#include <fcntl.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "KvTest.h"
#include "engine/core/Platform.h"
#include "engine/core/Timer.h"
#include "engine/draw/FontKv.h"
#include "engine/platform/headless/HeadlessTestHooks.h"
#include "show/3d/Mesh.h"
#include "show/Options.h"
#include "show/Show.h"
#include "show/Timeline.h"

// jpeglib.h needs the standard headers above it.
#include <jpeglib.h>

namespace fs = std::filesystem;

namespace {

// --- reading the dumped frames -------------------------------------------------

// FNV-1a 64 over the RGB bytes of a PNG, row by row. Empty on failure.
bool PngChecksum(const std::string& Path, uint64_t* Sum, int* W = nullptr, int* H = nullptr,
                 std::vector<uint8_t>* Rgb = nullptr) {
  std::vector<uint8_t> Pixels = kvtest::ReadPngRgb(Path, W, H);
  if (Pixels.empty()) return false;
  uint64_t Hash = 1469598103934665603ull;
  for (uint8_t B : Pixels) Hash = (Hash ^ B) * 1099511628211ull;
  *Sum = Hash;
  if (Rgb) *Rgb = std::move(Pixels);
  return true;
}

// --- what the golden frames depend on --------------------------------------------

std::string FreeTypeVersion() {
  FT_Library Library = nullptr;
  if (FT_Init_FreeType(&Library)) return "unknown";
  FT_Int Major = 0, Minor = 0, Patch = 0;
  FT_Library_Version(Library, &Major, &Minor, &Patch);
  FT_Done_FreeType(Library);
  return std::to_string(Major) + "." + std::to_string(Minor) + "." + std::to_string(Patch);
}

std::string JpegVersion() {
#ifdef LIBJPEG_TURBO_VERSION_NUMBER
  return "turbo-" + std::to_string(LIBJPEG_TURBO_VERSION_NUMBER);
#else
  return "jpeg-" + std::to_string(JPEG_LIB_VERSION);
#endif
}

// The face the show's text uses, and its size.
std::string FontIdentity() {
  const std::string File = KvDefaultFontFile();
  if (File.empty()) return "unknown";
  std::error_code Ec;
  const auto Size = fs::file_size(File, Ec);
  return File + ":" + std::to_string(Ec ? 0 : Size);
}

std::string GoldenPath() { return std::string(KV_SOURCE_DIR) + "/tests/show/golden_frames.txt"; }

// One frame in the middle of each scene (frame k is drawn at 40 k ms of the
// offline clock; scene n spans First x 0.88 .. Last x 0.88 s), plus the
// cone and gradient at the end of scene 12.
const uint32_t GoldenFrames[] = {484, 1034, 1276, 1617, 1804, 1958, 2310, 2805, 3325, 3718, 4268, 5258, 5915, 6061, 6281};

struct GoldenFile {
  std::map<std::string, std::string> Libraries;  // "freetype" -> version ...
  std::map<std::pair<int, uint32_t>, uint64_t> Sums;
};

GoldenFile ReadGolden() {
  GoldenFile G;
  std::istringstream In(kvtest::ReadFile(GoldenPath()));
  std::string Line;
  while (std::getline(In, Line)) {
    if (Line.empty() || Line[0] == '#') continue;
    std::istringstream L(Line);
    std::string First;
    L >> First;
    if (First == "library") {
      std::string Name, Version;
      L >> Name >> Version;
      G.Libraries[Name] = Version;
    } else {
      const int Depth = std::atoi(First.c_str());
      uint32_t Frame = 0;
      std::string Hex;
      L >> Frame >> Hex;
      if (Depth && Frame && !Hex.empty()) G.Sums[{Depth, Frame}] = std::stoull(Hex, nullptr, 16);
    }
  }
  return G;
}

// FNV-1a 64 over the pictures and meshes the show loads (names and bytes,
// in name order): the generated assets are an input of every frame too.
std::string AssetIdentity() {
  std::vector<std::string> Files;
  for (const char* Folder : {"GFX", "ASC"}) {
    std::error_code Ec;
    for (const auto& Entry : fs::directory_iterator(kvtest::AssetDir() + "/" + Folder, Ec))
      if (Entry.is_regular_file()) Files.push_back(std::string(Folder) + "/" + Entry.path().filename().string());
  }
  std::sort(Files.begin(), Files.end());
  uint64_t Hash = 1469598103934665603ull;
  for (const std::string& F : Files)
    for (char C : F + '\0' + kvtest::ReadFile(kvtest::AssetDir() + "/" + F)) Hash = (Hash ^ uint8_t(C)) * 1099511628211ull;
  char Hex[32];
  std::snprintf(Hex, sizeof Hex, "%016llx", static_cast<unsigned long long>(Hash));
  return Hex;
}

std::map<std::string, std::string> InstalledLibraries() {
  return {{"freetype", FreeTypeVersion()}, {"jpeg", JpegVersion()}, {"font", FontIdentity()}, {"assets", AssetIdentity()}};
}

bool IsGoldenFrame(uint32_t Frame) {
  return std::find(std::begin(GoldenFrames), std::end(GoldenFrames), Frame) != std::end(GoldenFrames);
}

// The file after a regeneration at Depth: that depth's lines replaced whole
// by Fresh, other depths' lines kept, and any line of a frame no longer in
// GoldenFrames dropped, whatever its depth.
GoldenFile MergeGolden(GoldenFile Now, int Depth, const std::map<std::pair<int, uint32_t>, uint64_t>& Fresh,
                       const std::map<std::string, std::string>& Installed) {
  for (auto It = Now.Sums.begin(); It != Now.Sums.end();)
    It = (It->first.first == Depth || !IsGoldenFrame(It->first.second)) ? Now.Sums.erase(It) : std::next(It);
  for (const auto& [Key, Sum] : Fresh)
    if (Key.first == Depth && IsGoldenFrame(Key.second)) Now.Sums[Key] = Sum;
  Now.Libraries = Installed;
  return Now;
}

void WriteGolden(const GoldenFile& G) {
  std::ostringstream Out;
  Out << "# Golden frames of Nerith: FNV-1a 64 (hex) over the RGB bytes of the PNG that\n"
         "#   nerith --headless --seed 1 --depth D --dump-frames DIR --frames N,...\n"
         "# writes (offline clock: frame k drawn at 40 k ms). Columns: depth frame checksum.\n"
         "# Every frame after the first scene holds text (FreeType) and from scene 6 on\n"
         "# decoded JPEG pictures, so the sums are tied to the FreeType, libjpeg-turbo and\n"
         "# font file named below, and to the generated pictures and meshes (\"assets\":\n"
         "# FNV-1a 64 over GFX/ and ASC/). Other library or font versions skip the check\n"
         "# with a message; other assets fail it (the generator is deterministic).\n"
         "# Everything else is the show's own arithmetic.\n"
         "# Depths 24 and 32 share their 8-bit channel arithmetic: their sums must agree.\n"
         "# Regenerate: KV_WRITE_GOLDEN=1 <build>/tests/test_show --gtest_filter='*OfflineRun*'\n";
  for (const auto& [Name, Version] : G.Libraries) Out << "library " << Name << " " << Version << "\n";
  for (const auto& [Key, Sum] : G.Sums) {
    char Hex[32];
    std::snprintf(Hex, sizeof Hex, "%016llx", static_cast<unsigned long long>(Sum));
    Out << Key.first << " " << Key.second << " " << Hex << "\n";
  }
  kvtest::WriteFile(GoldenPath(), Out.str());
}

}  // namespace

// --- offline runs ----------------------------------------------------------------

class OfflineRun : public ::testing::TestWithParam<int> {};

// Without a frame list the offline run draws the whole show, 6446 frames,
// and ends normally.
TEST(OfflineRunEnd, WholeShowEndsAfterFrame6446) {
  REQUIRE_ASSETS();
  const std::string Work = kvtest::MakeTempDir("nerith-run");
  const kvtest::ChildResult R =
      kvtest::RunChild({kvtest::NerithExe(), "--headless", "--seed", "1", "--benchmark", "--quiet"}, Work, {}, 850);
  ASSERT_EQ(R.ExitCode, 0) << R.Err;
  EXPECT_NE(R.Out.find("whole run: 6446 frames"), std::string::npos) << R.Out;
  EXPECT_FALSE(fs::exists(Work + "/KVR_ERR.txt"));
  fs::remove_all(Work);
}

TEST_P(OfflineRun, StopsAfterTheLastListedFrameAndMatchesGoldenFrames) {
  REQUIRE_ASSETS();
  const int Depth = GetParam();
  const std::string Work = kvtest::MakeTempDir("nerith-run");
  const std::string Dump = Work + "/frames";
  std::string List;
  for (uint32_t F : GoldenFrames) List += (List.empty() ? "" : ",") + std::to_string(F);

  const auto Start = std::chrono::steady_clock::now();
  const kvtest::ChildResult R = kvtest::RunChild(
      {kvtest::NerithExe(), "--headless", "--seed", "1", "--depth", std::to_string(Depth), "--benchmark",
       "--dump-frames", Dump, "--frames", List},
      Work, {}, 850);
  const double Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
  RecordProperty("seconds", std::to_string(Seconds));
  std::printf("[ depth %d ] offline run took %.1f s\n", Depth, Seconds);

  ASSERT_EQ(R.ExitCode, 0) << R.Err;
  // A frame list ends the run at its last frame (the whole show's end:
  // WholeShowEndsAfterFrame6446 below).
  const uint32_t LastListed = *std::max_element(std::begin(GoldenFrames), std::end(GoldenFrames));
  EXPECT_NE(R.Out.find("whole run: " + std::to_string(LastListed) + " frames"), std::string::npos) << R.Out;
  EXPECT_FALSE(fs::exists(Work + "/KVR_ERR.txt"));

  const bool Write = std::getenv("KV_WRITE_GOLDEN") != nullptr;
  GoldenFile G = ReadGolden();
  const auto Installed = InstalledLibraries();
  // The assets are our own generator's deterministic output: a difference
  // there is a change of the show's pictures and must be looked at, so it
  // fails. Other versions of the outside libraries only skip the check.
  if (!Write && G.Libraries["assets"] != Installed.at("assets"))
    FAIL() << "the generated assets differ from those of the golden run (" << G.Libraries["assets"] << " -> "
           << Installed.at("assets") << "); if the generator was changed on purpose, look at the frames and "
           << "regenerate: KV_WRITE_GOLDEN=1 <build>/tests/test_show --gtest_filter='*OfflineRun*'";
  if (!Write && G.Libraries != Installed) {
    std::ostringstream Why;
    for (const auto& [Name, Version] : Installed)
      Why << Name << " " << (G.Libraries.count(Name) ? G.Libraries[Name] : "none") << " -> " << Version << "; ";
    GTEST_SKIP() << "golden frames were made with other libraries (" << Why.str() << "); regenerate them";
  }
  for (uint32_t F : GoldenFrames) {
    char Name[32];
    std::snprintf(Name, sizeof Name, "/frame_%05u.png", F);
    uint64_t Sum = 0;
    int W = 0, H = 0;
    ASSERT_TRUE(PngChecksum(Dump + Name, &Sum, &W, &H)) << "frame " << F << " not dumped";
    EXPECT_EQ(W, 640);
    EXPECT_EQ(H, 480);
    if (Write) {
      G.Sums[std::make_pair(Depth, F)] = Sum;
    } else {
      ASSERT_TRUE(G.Sums.count(std::make_pair(Depth, F))) << "no golden sum for depth " << Depth << " frame " << F;
      const uint64_t Expected = G.Sums[std::make_pair(Depth, F)];
      EXPECT_EQ(Sum, Expected) << "depth " << Depth << " frame " << F;
    }
  }
  // 24 and 32 bits keep the same 8-bit channels and blend them alike: the
  // two layouts must present the same pictures.
  if (!Write) {
    for (uint32_t F : GoldenFrames) {
      if (G.Sums.count(std::make_pair(24, F)) && G.Sums.count(std::make_pair(32, F))) {
        EXPECT_EQ(G.Sums[std::make_pair(24, F)], G.Sums[std::make_pair(32, F)]) << "frame " << F;
      }
    }
  }
  if (Write) {
    // Re-read: another depth may have written its lines meanwhile.
    WriteGolden(MergeGolden(ReadGolden(), Depth, G.Sums, Installed));
  }
  fs::remove_all(Work);
}

INSTANTIATE_TEST_SUITE_P(Depths, OfflineRun, ::testing::Values(15, 16, 24, 32),
                         [](const ::testing::TestParamInfo<int>& I) { return "Depth" + std::to_string(I.param); });

// The file holds a sum for exactly the frames the run checks, at each depth:
// a stale line would sit there unchecked and mislead whoever reads it.
TEST(GoldenFrames, FileHoldsExactlyTheCheckedFrames) {
  std::set<std::pair<int, uint32_t>> Expected, Held;
  for (int Depth : {15, 16, 24, 32})
    for (uint32_t F : GoldenFrames) Expected.insert({Depth, F});
  for (const auto& Entry : ReadGolden().Sums) Held.insert(Entry.first);
  EXPECT_EQ(Held, Expected);
}

TEST(GoldenFrames, RegeneratingOneDepthKeepsOthersAndDropsUnlistedFrames) {
  GoldenFile Old;
  Old.Libraries = {{"freetype", "1"}};
  Old.Sums = {{{16, GoldenFrames[0]}, 1}, {{16, 5960}, 2}, {{32, GoldenFrames[0]}, 3}, {{32, 5960}, 4}};
  const std::map<std::pair<int, uint32_t>, uint64_t> Fresh = {{{32, GoldenFrames[0]}, 5}, {{32, 5961}, 6}};
  const GoldenFile New = MergeGolden(Old, 32, Fresh, {{"freetype", "2"}});
  EXPECT_EQ(New.Sums, (std::map<std::pair<int, uint32_t>, uint64_t>{{{16, GoldenFrames[0]}, 1}, {{32, GoldenFrames[0]}, 5}}));
  EXPECT_EQ(New.Libraries.at("freetype"), "2");
}

// --- Escape and close ---------------------------------------------------------------

namespace {

enum class Ending { Escape, Close };
uint32_t InjectAt = 0;
Ending InjectKind = Ending::Escape;

void InjectingEndFrame() {
  if (FrameCount + 1 == InjectAt) {
    KvDevice& Device = *Display->DirectDraw;
    if (InjectKind == Ending::Escape) {
      KvHeadlessSetKey(Device, 1, true);
    } else {
      // Two ordinary messages queued first: one is handled per frame, so the
      // quit message is reached two frames later.
      KvHeadlessPostMessage(Device, KvMessage{KvMessageKind::Other, 1});
      KvHeadlessPostMessage(Device, KvMessage{KvMessageKind::Other, 2});
      Device.PostQuit();
    }
  }
  EndFrame();
}

void ReportFrameAtExit() {
  std::fprintf(stderr, "show ended at frame %u\n", FrameCount);
  std::fflush(stderr);
}

// Start-up as the main program does it for an offline headless run, then the
// timeline with an injection at one frame. Runs in a death-test child.
[[noreturn]] void RunShowWithInjection(uint32_t Frame, Ending Kind) {
  const char* Argv[] = {"nerith", "--headless", "--seed", "1", "--no-music"};
  if (ParseCommandLine(5, const_cast<char**>(Argv)) >= 0) std::exit(4);
  DisplayDepth = 32;
  UseFullScreen = true;
  UseMusic = false;
  SetAssetRoot(kvtest::AssetDir());
  InitShow();
  LoadMeshes();
  Fonts[1] = TFontType{"", 32};
  SelectFont(1);
  KvAdvanceVirtualClock(40);
  InjectAt = Frame;
  InjectKind = Kind;
  SceneEndFrame = InjectingEndFrame;
  std::atexit(ReportFrameAtExit);
  RunTimeline();
  std::fprintf(stderr, "the timeline ran to its end\n");
  std::_Exit(3);
}

}  // namespace

// The pictures are decoded ahead on two threads, but a bad set still fails
// on the first bad file in load order, with the line a plain load gives.
TEST(ShowStart, FirstBadPictureInLoadOrderEndsTheShow) {
  REQUIRE_ASSETS();
  const fs::path Dir = fs::temp_directory_path() / ("nerith_badpics_" + std::to_string(getpid()));
  fs::remove_all(Dir);
  for (const char* Folder : {"GFX", "ASC", "SND"}) {
    fs::create_directories(Dir / Folder);
    for (const auto& E : fs::directory_iterator(fs::path(kvtest::AssetDir()) / Folder))
      fs::create_symlink(E.path(), Dir / Folder / E.path().filename());
  }
  // fire11.jpg (fourth in load order) is truncated; corvel.png (twelfth) is gone.
  fs::remove(Dir / "GFX" / "fire11.jpg");
  {
    std::ifstream In(fs::path(kvtest::AssetDir()) / "GFX" / "fire11.jpg", std::ios::binary);
    std::string Head(200, '\0');
    In.read(&Head[0], 200);
    std::ofstream(Dir / "GFX" / "fire11.jpg", std::ios::binary).write(Head.data(), 200);
  }
  fs::remove(Dir / "GFX" / "corvel.png");
  const kvtest::ChildResult R =
      kvtest::RunChild({kvtest::NerithExe(), "--headless", "--seed", "1"}, Dir.string(), {"KELVRA_NO_MESSAGEBOX=1"});
  EXPECT_EQ(R.ExitCode, 1);
  EXPECT_NE(R.Err.find("[TBufferKv]LoadStreamImage -> Error loading JPEG from Stream..."), std::string::npos) << R.Err;
  EXPECT_EQ(R.Err.find("corvel"), std::string::npos) << R.Err;
  fs::remove_all(Dir);
}

// A folder with only an asset pack (an unzipped Windows package) is no
// asset folder for the Linux build, which reads no pack: the search goes
// on to the executable's folder.
TEST(ShowStart, AssetPackAloneIsNoAssetFolderHere) {
  REQUIRE_ASSETS();
  const std::string Work = kvtest::MakeTempDir("nerith-packonly");
  std::ofstream(Work + "/nerith.kpak") << "not read here";
  const kvtest::ChildResult R = kvtest::RunChild(
      {kvtest::NerithExe(), "--headless", "--seed", "1", "--end", "0.08", "--quiet"}, Work, {"KELVRA_NO_MESSAGEBOX=1"});
  EXPECT_EQ(R.ExitCode, 0) << R.Err;
  fs::remove_all(Work);
}

TEST(ShowEnding, EscapeEndsTheShowWithStatus0AtTheFrameThatSeesIt) {
  REQUIRE_ASSETS();
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(RunShowWithInjection(30, Ending::Escape), ::testing::ExitedWithCode(0), "show ended at frame 30\n");
}

TEST(ShowEnding, CloseRequestEndsTheShowAfterTheMessagesQueuedBeforeIt) {
  REQUIRE_ASSETS();
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(RunShowWithInjection(30, Ending::Close), ::testing::ExitedWithCode(0), "show ended at frame 32\n");
}

// --- a real window ------------------------------------------------------------------

namespace {

bool OnPath(const std::string& Program) {
  return std::system(("command -v " + Program + " >/dev/null 2>&1").c_str()) == 0;
}


// Ends a process group we started, politely first.
void Reap(pid_t Pid) {
  if (Pid <= 0) return;
  kill(-Pid, SIGTERM);
  for (int i = 0; i < 50; ++i) {
    if (waitpid(Pid, nullptr, WNOHANG) == Pid) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  kill(-Pid, SIGKILL);
  waitpid(Pid, nullptr, 0);
}

// A display number with no X server and no lock file.
int FreeDisplay() {
  for (int N = 73; N < 200; ++N)
    if (!fs::exists("/tmp/.X" + std::to_string(N) + "-lock") && !fs::exists("/tmp/.X11-unix/X" + std::to_string(N)))
      return N;
  return -1;
}

}  // namespace

TEST(RealWindow, ShowsTheOpeningScrollUnderXvfb) {
  REQUIRE_ASSETS();
  if (!OnPath("Xvfb")) GTEST_SKIP() << "Xvfb is not installed (apt-get install xvfb)";
  if (!OnPath("import")) GTEST_SKIP() << "imagemagick's import is not installed (apt-get install imagemagick)";
  const int N = FreeDisplay();
  ASSERT_GE(N, 0);
  const std::string Disp = ":" + std::to_string(N);
  const std::string Work = kvtest::MakeTempDir("nerith-xvfb");

  const std::string XLog = Work + "/xvfb.log", ShowLog = Work + "/nerith.log";
  const pid_t X =
      kvtest::StartChild({"Xvfb", Disp, "-screen", "0", "1024x768x24", "-nolisten", "tcp"}, Work, {}, XLog, XLog, true);
  ASSERT_GT(X, 0);
  // Wait until the server takes clients (its socket comes first): a loaded
  // machine, or another test's server on the same number, can keep it away.
  const std::vector<std::string> Env = {"DISPLAY=" + Disp, "SDL_AUDIODRIVER=dummy"};
  auto Screenshot = [&] {
    return kvtest::RunChild({"/usr/bin/env", "import", "-display", Disp, "-window", "root", Work + "/shot.png"}, Work,
                            Env, 60);
  };
  const auto Ready = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (Screenshot().ExitCode != 0 && std::chrono::steady_clock::now() < Ready)
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

  auto StartShow = [&] {
    return kvtest::StartChild({kvtest::NerithExe(), "--window", "--no-music"}, Work, Env, ShowLog, ShowLog, true);
  };
  pid_t Show = StartShow();
  ASSERT_GT(Show, 0);
  // Scene 1: the opening text in (255, 175, 132) over stars. The presented
  // frame has had its trail blend, which moves the text's colour by a unit
  // or two. Looked at until it shows (a loaded machine starts slowly).
  auto Near = [](int A, int B) { return A - B <= 3 && B - A <= 3; };
  int TextPixels = 0, Lit = 0;
  bool StillRunning = true;
  kvtest::ChildResult Shot;
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  int Starts = 1;
  for (;;) {
    StillRunning = waitpid(Show, nullptr, WNOHANG) == 0;
    // A loaded server may still refuse the show its display: start it again,
    // at most three times in all.
    if (!StillRunning && Starts < 3 &&
        kvtest::ReadFile(ShowLog).find("No display available") != std::string::npos) {
      ++Starts;
      Show = StartShow();
      ASSERT_GT(Show, 0);
      continue;
    }
    if (!StillRunning || std::chrono::steady_clock::now() >= Deadline) break;
    Shot = Screenshot();
    std::vector<uint8_t> Rgb;
    uint64_t Sum = 0;
    TextPixels = Lit = 0;
    if (Shot.ExitCode == 0 && PngChecksum(Work + "/shot.png", &Sum, nullptr, nullptr, &Rgb)) {
      for (size_t i = 0; i + 2 < Rgb.size(); i += 3) {
        if (Rgb[i] || Rgb[i + 1] || Rgb[i + 2]) ++Lit;
        if (Near(Rgb[i], 255) && Near(Rgb[i + 1], 175) && Near(Rgb[i + 2], 132)) ++TextPixels;
      }
      if (Lit > 2000 && TextPixels > 500) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  Reap(Show);
  Reap(X);

  ASSERT_TRUE(StillRunning) << kvtest::ReadFile(Work + "/nerith.log");
  ASSERT_EQ(Shot.ExitCode, 0) << Shot.Err;
  EXPECT_GT(Lit, 2000) << "the screen is black";
  EXPECT_GT(TextPixels, 500) << "no opening text in the window";
  fs::remove_all(Work);
}

// --- another soundtrack -------------------------------------------------------------

namespace {

// Start-up of a run with music and --music File, on the dummy audio driver;
// reports what kind of music object was made.
[[noreturn]] void StartWithMusic(const std::string& File, const std::string& WorkDir) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  if (chdir(WorkDir.c_str()) != 0) std::_Exit(5);
  const char* Argv[] = {"nerith", "--headless", "--seed", "1", "--music", File.c_str()};
  if (ParseCommandLine(6, const_cast<char**>(Argv)) >= 0) std::_Exit(4);
  DisplayDepth = 32;
  UseFullScreen = true;
  UseMusic = true;  // headless runs leave music off; this one wants it
  SetAssetRoot(kvtest::AssetDir());
  InitShow();
  std::fprintf(stderr, "music: %s\n", !Sound ? "none" : Sound->Stream ? "stream" : Sound->Song ? "song" : "empty");
  std::_Exit(0);
}

}  // namespace

TEST(ShowMusic, MusicOptionReplacesTheSoundtrack) {
  REQUIRE_ASSETS();
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string Dir = kvtest::MakeTempDir("nerith-music");
  // Any bytes are headerless PCM: a second of silence.
  kvtest::WriteFile(Dir + "/quiet.raw", std::string(44100 * 4, '\0'));
  EXPECT_EXIT(StartWithMusic(Dir + "/quiet.raw", Dir), ::testing::ExitedWithCode(0), "music: stream\n");
  // The named file, not the show's own, is the one opened.
  EXPECT_EXIT(StartWithMusic(Dir + "/missing.mid", Dir), ::testing::ExitedWithCode(1),
              "\\[SoundKv\\]Create -> File not found");
  fs::remove_all(Dir);
}
