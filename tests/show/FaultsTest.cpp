// The show under faults, run as a user would run it: special files in the
// asset folders, a full disk, interruptions, clashing and impossible
// targets, a window taken away from outside; and a hostile folder, where
// another user plants links and swaps files while the show runs. Every run has a time limit, so
// a hang fails the test instead of stopping it.
//
// What must hold: one error line and the right exit status, never a hang;
// no half-written file under a target's name, no temporary file left; a
// target that existed stays as it was unless a whole new file replaces it.
extern "C" {
#include <libavformat/avformat.h>
}
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <png.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "KvTest.h"

namespace fs = std::filesystem;

namespace {

// A folder whose GFX/, ASC/ and SND/ link to the generated assets, so that
// single files can be replaced without touching the real ones.
std::string AssetFolder() {
  const std::string Dir = kvtest::MakeTempDir("kvfaults");
  for (const char* Sub : {"GFX", "ASC", "SND"}) {
    fs::create_directory(Dir + "/" + Sub);
    for (const auto& E : fs::directory_iterator(kvtest::AssetDir() + "/" + Sub))
      fs::create_symlink(E.path(), Dir + "/" + Sub + "/" + E.path().filename().string());
  }
  return Dir;
}

void Replace(const std::string& Path, const std::string& Bytes) {
  fs::remove(Path);
  kvtest::WriteFile(Path, Bytes);
}

void ReplaceByFifo(const std::string& Path) {
  fs::remove(Path);
  ASSERT_EQ(mkfifo(Path.c_str(), 0644), 0) << Path;
}

kvtest::ChildResult Nerith(std::vector<std::string> Args, const std::string& WorkDir, int TimeoutSeconds = 60) {
  Args.insert(Args.begin(), kvtest::NerithExe());
  return kvtest::RunChild(Args, WorkDir, {"KELVRA_NO_MESSAGEBOX=1"}, TimeoutSeconds);
}

size_t Lines(const std::string& Text) { return size_t(std::count(Text.begin(), Text.end(), '\n')); }

// Names in Dir (not below it) that end in ".part": temporary files left.
std::vector<std::string> PartFiles(const std::string& Dir) {
  std::vector<std::string> Left;
  std::error_code Ec;
  for (const auto& E : fs::directory_iterator(Dir, Ec))
    if (E.path().extension() == ".part") Left.push_back(E.path().filename().string());
  return Left;
}

// A started show, for tests that act on it while it runs.
struct RunningShow {
  pid_t Pid = -1;
  std::string ErrPath;

  // InChild runs in the child just before the show starts.
  RunningShow(const std::vector<std::string>& Args, const std::string& WorkDir, rlim_t FileSizeLimit = 0,
              const std::function<void()>& InChild = nullptr) {
    ErrPath = WorkDir + "/.stderr";
    Pid = fork();
    if (Pid != 0) return;
    if (chdir(WorkDir.c_str()) != 0) _exit(126);
    const int Err = open(ErrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int Null = open("/dev/null", O_RDWR);
    dup2(Null, 0);
    dup2(Null, 1);
    dup2(Err, 2);
    if (FileSizeLimit) {
      // A write past the limit then fails with EFBIG, as on a full disk,
      // instead of killing the process.
      signal(SIGXFSZ, SIG_IGN);
      const rlimit Limit = {FileSizeLimit, FileSizeLimit};
      setrlimit(RLIMIT_FSIZE, &Limit);
    }
    setenv("KELVRA_NO_MESSAGEBOX", "1", 1);
    if (InChild) InChild();
    const std::string Exe = kvtest::NerithExe();
    std::vector<char*> Argv = {const_cast<char*>(Exe.c_str())};
    for (const std::string& A : Args) Argv.push_back(const_cast<char*>(A.c_str()));
    Argv.push_back(nullptr);
    execv(Argv[0], Argv.data());
    _exit(127);
  }

  // Exit status (128 + signal when killed); -1 after TimeoutSeconds, when
  // the show is killed.
  int Wait(int TimeoutSeconds = 60) {
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(TimeoutSeconds);
    int Status = 0;
    while (waitpid(Pid, &Status, WNOHANG) != Pid) {
      if (std::chrono::steady_clock::now() > Deadline) {
        kill(Pid, SIGKILL);
        waitpid(Pid, &Status, 0);
        return -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status);
  }

  std::string Err() const { return kvtest::ReadFile(ErrPath); }
};

// Waits until Dir holds the recording's temporary file: one that stays
// for a while (the probe of the start-up checks lasts microseconds), or,
// with Written, one with bytes in it. False after TimeoutSeconds.
bool WaitForPartFile(const std::string& Dir, bool Written, int TimeoutSeconds = 60) {
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(TimeoutSeconds);
  std::string Seen;
  for (;;) {
    for (const std::string& Name : PartFiles(Dir)) {
      std::error_code Ec;
      if (Written ? fs::file_size(Dir + "/" + Name, Ec) > 0 && !Ec : Name == Seen) return true;
      Seen = Name;
    }
    if (std::chrono::steady_clock::now() > Deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(Written ? 2 : 100));
  }
}

// A video file read through to its end: frames, size, read errors.
struct VideoCheck {
  bool Opened = false;
  int Width = 0, Height = 0;
  int VideoPackets = 0;
  int ReadErrors = 0;
};

VideoCheck CheckVideo(const std::string& Path) {
  VideoCheck C;
  AVFormatContext* In = kvtest::OpenMediaFile(Path);
  if (!In) return C;
  const int Video = av_find_best_stream(In, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  C.Opened = Video >= 0;
  if (Video >= 0) {
    C.Width = In->streams[Video]->codecpar->width;
    C.Height = In->streams[Video]->codecpar->height;
  }
  C.ReadErrors = kvtest::ForEachPacket(In, [&](AVPacket* Packet) {
    if (Packet->stream_index == Video) ++C.VideoPackets;
  });
  avformat_close_input(&In);
  return C;
}

bool PngReadsWhole(const std::string& Path) { return !kvtest::ReadPngRgb(Path).empty(); }

// A folder with little room: a small tmpfs where this process may mount
// one, else a plain folder whose writers get a file size limit (RLIMIT_FSIZE,
// which fails writes with EFBIG on the same path as ENOSPC).
struct SmallDisk {
  std::string Dir;
  bool Mounted = false;
  rlim_t Limit = 0;  // for RunningShow when not mounted

  explicit SmallDisk(size_t Bytes) {
    Dir = kvtest::MakeTempDir("kvsmalldisk");
    const std::string Size = "size=" + std::to_string(Bytes);
    Mounted = mount("tmpfs", Dir.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, Size.c_str()) == 0;
    if (!Mounted) Limit = Bytes;
  }
  ~SmallDisk() {
    if (Mounted) umount2(Dir.c_str(), MNT_DETACH);
    fs::remove_all(Dir);
  }
  const char* Kind() const { return Mounted ? "tmpfs" : "RLIMIT_FSIZE"; }
};

}  // namespace

// A FIFO with no writer where a picture, a mesh or the music should be:
// open() on it would wait for ever. Each gives one line naming the file,
// at once.
TEST(Faults, FifoInAnAssetFolderIsRefusedNotWaitedFor) {
  REQUIRE_ASSETS();
  const struct {
    const char* File;
    std::vector<std::string> Args;
  } Cases[] = {
      {"GFX/gradiente.png", {"--headless", "--seed", "1", "--end", "5"}},
      {"ASC/Crv.asc", {"--headless", "--seed", "1", "--end", "5"}},
      // Headless runs play no music; a recording reads it.
      {"SND/Nerith.mp3", {"--seed", "1", "--record", "r.mkv", "--end", "1", "--quiet"}},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.File);
    const std::string Dir = AssetFolder();
    ReplaceByFifo(Dir + "/" + Case.File);
    const kvtest::ChildResult R = Nerith(Case.Args, Dir, 20);
    EXPECT_EQ(R.ExitCode, 1) << R.Err;
    EXPECT_EQ(Lines(R.Err), 1u) << R.Err;
    EXPECT_NE(R.Err.find("not a regular file"), std::string::npos) << R.Err;
    EXPECT_NE(R.Err.find(Case.File), std::string::npos) << R.Err;
    EXPECT_EQ(kvtest::ReadFile(Dir + "/KVR_ERR.txt"), R.Err.substr(0, R.Err.size() - 1) + "\r\n");
    EXPECT_TRUE(PartFiles(Dir).empty());
    EXPECT_FALSE(fs::exists(Dir + "/r.mkv"));
    fs::remove_all(Dir);
  }
}

// A picture that cannot be decoded is named after the engine's message.
TEST(Faults, PictureErrorsNameTheFile) {
  REQUIRE_ASSETS();
  const std::string Png = kvtest::ReadFile(kvtest::AssetDir() + "/GFX/nerith.png");
  const struct {
    std::string Bytes;
    const char* Line;
  } Cases[] = {
      {"", "[TBufferKv]LoadStreamImage -> Stream Image format not supported... (GFX/nerith.png)\n"},
      {Png.substr(0, Png.size() / 3), "[TBufferKv]LoadStreamImage -> Error loading PNG from Stream... (GFX/nerith.png)\n"},
  };
  for (const auto& Case : Cases) {
    const std::string Dir = AssetFolder();
    Replace(Dir + "/GFX/nerith.png", Case.Bytes);
    const kvtest::ChildResult R = Nerith({"--headless", "--seed", "1", "--end", "1"}, Dir, 20);
    EXPECT_EQ(R.ExitCode, 1);
    EXPECT_EQ(R.Err, Case.Line);
    fs::remove_all(Dir);
  }
}

// A full disk in the middle of a recording or a frame dump: one line, exit
// 1, no temporary file, no half file; the frames written before are whole.
TEST(Faults, FullDiskLeavesNoPartialFile) {
  REQUIRE_ASSETS();
  const std::string Assets = AssetFolder();
  bool Mountable = false;
  {
    SmallDisk Disk(1 << 20);
    Mountable = Disk.Mounted;
    SCOPED_TRACE(Disk.Kind());
    RunningShow Show({"--seed", "1", "--record", Disk.Dir + "/x.mkv", "--scale", "4", "--end", "4", "--no-music",
                      "--quiet"},
                     Assets, Disk.Limit);
    EXPECT_EQ(Show.Wait(), 1);
    const std::string Err = Show.Err();
    EXPECT_EQ(Lines(Err), 1u) << Err;
    EXPECT_EQ(Err.rfind("[Nerith]Record -> cannot write \"" + Disk.Dir + "/x.mkv\": ", 0), 0u) << Err;
    EXPECT_TRUE(fs::is_empty(Disk.Dir));
  }
  {
    // A size limit holds per file: below one frame's size, as the first
    // frame fills it.
    SmallDisk Disk(Mountable ? (1 << 20) : (64 << 10));
    SCOPED_TRACE(Disk.Kind());
    RunningShow Show({"--headless", "--seed", "1", "--dump-frames", Disk.Dir + "/f", "--scale", "4", "--end", "4",
                      "--quiet"},
                     Assets, Disk.Limit);
    EXPECT_EQ(Show.Wait(), 1);
    const std::string Err = Show.Err();
    // Ours only: libpng's own message is not printed beside it.
    EXPECT_EQ(Lines(Err), 1u) << Err;
    EXPECT_EQ(Err.rfind("[Nerith]DumpFrames -> cannot write \"" + Disk.Dir + "/f/frame_", 0), 0u) << Err;
    EXPECT_TRUE(PartFiles(Disk.Dir + "/f").empty());
    for (const auto& E : fs::directory_iterator(Disk.Dir + "/f")) EXPECT_TRUE(PngReadsWhole(E.path())) << E.path();
  }
  fs::remove_all(Assets);
}

// Failures at the start, in the middle and at the very end of a recording
// leave no temporary file behind: music that is not there, damaged music,
// a rename that fails because the target became a folder meanwhile.
TEST(Faults, FailedRecordingsLeaveNothingBehind) {
  REQUIRE_ASSETS();
  const std::string Dir = AssetFolder();
  kvtest::ChildResult R = Nerith({"--seed", "1", "--music", "/nonexistent.mp3", "--record", "x.mp4", "--quiet"}, Dir);
  EXPECT_EQ(R.ExitCode, 1);
  EXPECT_EQ(R.Err, "[Nerith]Record -> File not found... (/nonexistent.mp3)\n");
  EXPECT_TRUE(PartFiles(Dir).empty());
  EXPECT_FALSE(fs::exists(Dir + "/x.mp4"));

  Replace(Dir + "/SND/Nerith.mp3", std::string(20000, 'x'));
  R = Nerith({"--seed", "1", "--record", "x.mp4", "--end", "1", "--quiet"}, Dir);
  EXPECT_EQ(R.ExitCode, 1);
  EXPECT_EQ(Lines(R.Err), 1u) << R.Err;
  EXPECT_NE(R.Err.find("(SND/Nerith.mp3)"), std::string::npos) << R.Err;
  EXPECT_TRUE(PartFiles(Dir).empty());
  EXPECT_FALSE(fs::exists(Dir + "/x.mp4"));

  RunningShow Show({"--seed", "1", "--record", "t.mkv", "--end", "3", "--scale", "2", "--no-music", "--quiet"}, Dir);
  ASSERT_TRUE(WaitForPartFile(Dir, true));
  fs::create_directories(Dir + "/t.mkv/in the way");
  EXPECT_EQ(Show.Wait(), 1);
  const std::string Err = Show.Err();
  EXPECT_EQ(Lines(Err), 1u) << Err;
  EXPECT_NE(Err.find("[Nerith]Record -> cannot rename "), std::string::npos) << Err;
  EXPECT_TRUE(PartFiles(Dir).empty());
  fs::remove_all(Dir);
}

// Ctrl-C or SIGTERM before the first frame of the range: no file is
// written, the one that was there keeps its bytes, exit 130 / 143.
TEST(Faults, InterruptedBeforeTheFirstFrameKeepsTheOldFile) {
  REQUIRE_ASSETS();
  const std::string Dir = AssetFolder();
  const std::string Old = "an earlier recording, kept";
  kvtest::WriteFile(Dir + "/keep.mkv", Old);
  for (const int Signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(Signal);
    // Scene 14 starts after some 6000 frames drawn unseen: time enough.
    RunningShow Show({"--seed", "1", "--record", "keep.mkv", "--scene", "14", "--no-music", "--quiet"}, Dir);
    ASSERT_TRUE(WaitForPartFile(Dir, false));
    kill(Show.Pid, Signal);
    EXPECT_EQ(Show.Wait(10), 128 + Signal);
    EXPECT_EQ(kvtest::ReadFile(Dir + "/keep.mkv"), Old);
    EXPECT_TRUE(PartFiles(Dir).empty());
    EXPECT_NE(Show.Err().find("before the first recorded frame"), std::string::npos) << Show.Err();
  }
  fs::remove_all(Dir);
}

// Two recordings to one path at once: each writes its own temporary file,
// both end well, and the path holds one whole recording.
TEST(Faults, TwoRecordingsToOnePathBothSucceed) {
  REQUIRE_ASSETS();
  const std::string Dir = AssetFolder();
  RunningShow First({"--seed", "1", "--record", "s.mkv", "--end", "2", "--no-music", "--quiet"}, Dir);
  RunningShow Second({"--seed", "2", "--scale", "2", "--record", "s.mkv", "--end", "2", "--no-music", "--quiet"}, Dir);
  EXPECT_EQ(First.Wait(), 0);
  EXPECT_EQ(Second.Wait(), 0);
  const VideoCheck V = CheckVideo(Dir + "/s.mkv");
  ASSERT_TRUE(V.Opened);
  EXPECT_EQ(V.ReadErrors, 0);
  EXPECT_EQ(V.VideoPackets, 49);  // frames drawn at 0.04 .. 1.96 s
  EXPECT_TRUE((V.Width == 640 && V.Height == 480) || (V.Width == 1280 && V.Height == 960)) << V.Width;
  EXPECT_TRUE(PartFiles(Dir).empty());
  fs::remove_all(Dir);
}

// Targets that cannot be written are refused before the first frame: a
// folder where the video should go (the frame dump beside it stays empty),
// and a name too long for the file system. A name just short enough works.
TEST(Faults, TargetsAreCheckedBeforeAnyFrame) {
  REQUIRE_ASSETS();
  const std::string Dir = AssetFolder();
  fs::create_directory(Dir + "/adir.mp4");
  kvtest::ChildResult R =
      Nerith({"--seed", "1", "--record", "adir.mp4", "--dump-frames", "seen", "--end", "2", "--quiet"}, Dir);
  EXPECT_EQ(R.ExitCode, 1);
  EXPECT_EQ(R.Err, "[Nerith]Record -> cannot create \"adir.mp4\": " + std::string(std::strerror(EISDIR)) + "\n");
  EXPECT_TRUE(fs::is_empty(Dir + "/seen"));
  EXPECT_TRUE(PartFiles(Dir).empty());

  const std::string TooLong = std::string(252, 'n') + ".mkv";  // 256
  R = Nerith({"--seed", "1", "--record", TooLong, "--end", "0.2", "--quiet"}, Dir);
  EXPECT_EQ(R.ExitCode, 1);
  EXPECT_NE(R.Err.find(std::strerror(ENAMETOOLONG)), std::string::npos) << R.Err;
  EXPECT_TRUE(PartFiles(Dir).empty());

  const std::string Longest = std::string(251, 'n') + ".mkv";  // 255 characters
  R = Nerith({"--seed", "1", "--record", Longest, "--end", "0.2", "--quiet"}, Dir);
  EXPECT_EQ(R.ExitCode, 0) << R.Err;
  const VideoCheck V = CheckVideo(Dir + "/" + Longest);
  EXPECT_TRUE(V.Opened);
  EXPECT_EQ(V.VideoPackets, 4);  // 0.04 .. 0.16 s
  fs::remove_all(Dir);
}

// The window destroyed from outside, and the X server gone: one error line
// of ours (not Xlib's dump), KVR_ERR.txt, exit 1. Each run has its own
// server (Xvfb picks a free display).
TEST(Faults, LostWindowOrXServerEndsWithOneLine) {
  REQUIRE_ASSETS();
  if (std::system("command -v Xvfb >/dev/null && command -v xdotool >/dev/null") != 0)
    GTEST_SKIP() << "needs Xvfb and xdotool";
  const std::string Dir = AssetFolder();
  // $1: what is done to the running show ("windowclose" or "killserver").
  const std::string Script = R"(
exec 5>display
Xvfb -displayfd 5 -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 & server=$!
for i in $(seq 100); do [ -s display ] && break; sleep 0.1; done
export DISPLAY=:$(cat display)
SDL_AUDIODRIVER=dummy "$0" --window --no-music --seed 1 2>show.err & show=$!
window=$(timeout 20 xdotool search --sync --name Tarnwick | head -n 1)
sleep 0.5
if [ "$1" = windowclose ]; then xdotool windowclose "$window"; else kill "$server"; fi
wait $show; status=$?
kill $server 2>/dev/null; wait $server 2>/dev/null
exit $status
)";
  for (const char* Action : {"windowclose", "killserver"}) {
    SCOPED_TRACE(Action);
    fs::remove(Dir + "/KVR_ERR.txt");
    const kvtest::ChildResult R =
        kvtest::RunChild({"/bin/sh", "-c", Script, kvtest::NerithExe(), Action}, Dir, {"KELVRA_NO_MESSAGEBOX=1"}, 60);
    EXPECT_EQ(R.ExitCode, 1) << R.Err;
    const std::string Err = kvtest::ReadFile(Dir + "/show.err");
    EXPECT_EQ(Lines(Err), 1u) << Err;
    EXPECT_EQ(Err.rfind("[TKelvra]", 0), 0u) << Err;
    EXPECT_EQ(kvtest::ReadFile(Dir + "/KVR_ERR.txt"), Err.substr(0, Err.size() - 1) + "\r\n");
  }
  fs::remove_all(Dir);
}

// --- a hostile folder ----------------------------------------------------------

namespace {
constexpr uid_t Nobody = 65534;

void BecomeNobody() {
  if (setgroups(0, nullptr) != 0 || setgid(Nobody) != 0 || setuid(Nobody) != 0) _exit(125);
}

// What another user does in the folder, as that user in a child: Act, and
// then (returns at once) Keep until the child is killed. Returns its pid
// once Act is done.
pid_t AsNobody(const std::function<void()>& Act, const std::function<void()>& Keep = nullptr) {
  int Ready[2];
  if (pipe(Ready) != 0) return -1;
  const pid_t Pid = fork();
  if (Pid == 0) {
    BecomeNobody();
    Act();
    if (write(Ready[1], "r", 1) == 1 && Keep) Keep();
    _exit(0);
  }
  close(Ready[1]);
  char Byte;
  if (read(Ready[0], &Byte, 1) != 1) ADD_FAILURE() << "the other user's part failed";
  close(Ready[0]);
  if (!Keep) waitpid(Pid, nullptr, 0);
  return Pid;
}

// Whether nobody may run the show from its build folder (not so in a
// checkout under a private home folder).
bool NobodyCanRun() {
  const pid_t Pid = fork();
  if (Pid == 0) {
    BecomeNobody();
    _exit(access(kvtest::NerithExe().c_str(), X_OK) == 0 && access(kvtest::AssetDir().c_str(), X_OK) == 0 ? 0 : 1);
  }
  int Status = 1;
  waitpid(Pid, &Status, 0);
  return WIFEXITED(Status) && WEXITSTATUS(Status) == 0;
}

const std::string BadLogoLine = "[TBufferKv]LoadStreamImage -> Stream Image format not supported... (GFX/nerith.png)";
}  // namespace

// KVR_ERR.txt where someone else controls the folder: a link to a root-only
// file is replaced, never written through; a FIFO is left alone at once; a
// full disk leaves no empty log. The stderr line always comes first.
TEST(HostileFolder, ErrorLogIsReplacedNeverFollowedNorWaitedFor) {
  REQUIRE_ASSETS();
  const std::string Dir = AssetFolder();
  const std::vector<std::string> Run = {"--headless", "--seed", "1", "--end", "0.1"};
  Replace(Dir + "/GFX/nerith.png", "junk");
  ReplaceByFifo(Dir + "/KVR_ERR.txt");
  kvtest::ChildResult R = Nerith(Run, Dir, 20);
  EXPECT_EQ(R.ExitCode, 1);
  EXPECT_EQ(R.Err.rfind(BadLogoLine + "\nKVR_ERR.txt is not a regular file", 0), 0u) << R.Err;
  fs::remove(Dir + "/KVR_ERR.txt");
  {
    SmallDisk Disk(64 << 10);
    if (Disk.Mounted) {
      fs::copy(Dir, Disk.Dir, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
      Replace(Disk.Dir + "/fill", std::string(64 << 10, 'f'));  // as much as fits
      R = Nerith(Run, Disk.Dir, 20);
      EXPECT_EQ(R.Err, BadLogoLine + "\nKVR_ERR.txt was not written: " + std::strerror(ENOSPC) + "\n");
      EXPECT_FALSE(fs::exists(Disk.Dir + "/KVR_ERR.txt"));  // not an empty one
    }
  }
  if (geteuid() != 0) GTEST_SKIP() << "the link case needs root: a root-only file and a folder of nobody's";
  const std::string Victim = kvtest::MakeTempDir("kvvictim") + "/secret";
  kvtest::WriteFile(Victim, "root only");
  chmod(Victim.c_str(), 0600);
  ASSERT_EQ(chown(Dir.c_str(), Nobody, Nobody), 0);
  AsNobody([&] { symlink(Victim.c_str(), (Dir + "/KVR_ERR.txt").c_str()); });
  R = Nerith(Run, Dir, 20);
  EXPECT_EQ(R.Err, BadLogoLine + "\n");
  EXPECT_TRUE(kvtest::ReadFile(Victim) == "root only");
  EXPECT_EQ(kvtest::ReadFile(Dir + "/KVR_ERR.txt"), BadLogoLine + "\r\n");
  fs::remove_all(Dir);
  fs::remove_all(fs::path(Victim).parent_path());
}

// Another user swaps each new temporary file for a link to a root-only file
// the moment it appears: root's recording never goes into that file, and
// the target does not become the link.
TEST(HostileFolder, SwappedTemporaryFileIsNeverWrittenThrough) {
  REQUIRE_ASSETS();
  if (geteuid() != 0) GTEST_SKIP() << "needs root: the swap is made by nobody in a folder root records into";
  const std::string Dir = AssetFolder();
  const std::string Victim = kvtest::MakeTempDir("kvvictim") + "/secret";
  kvtest::WriteFile(Victim, "root only");
  chmod(Dir.c_str(), 0777);
  int Watch = -1;
  const pid_t Swapper = AsNobody(
      [&] {
        Watch = inotify_init1(IN_CLOEXEC);
        inotify_add_watch(Watch, Dir.c_str(), IN_CREATE);
      },
      [&] {
        alignas(inotify_event) char Events[4096];
        for (ssize_t Got; (Got = read(Watch, Events, sizeof Events)) > 0;)
          for (char* P = Events; P < Events + Got; P += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(P)->len) {
            const std::string Name = reinterpret_cast<inotify_event*>(P)->name;
            if (Name.size() < 5 || Name.compare(Name.size() - 5, 5, ".part") != 0) continue;
            if (rename((Dir + "/" + Name).c_str(), (Dir + "/moved" + Name).c_str()) == 0)
              symlink(Victim.c_str(), (Dir + "/" + Name).c_str());
          }
      });
  const kvtest::ChildResult R = Nerith({"--seed", "1", "--record", "out.mp4", "--end", "1", "--no-music", "--quiet"}, Dir);
  kill(Swapper, SIGKILL);
  waitpid(Swapper, nullptr, 0);
  EXPECT_TRUE(kvtest::ReadFile(Victim) == "root only") << R.Err;
  EXPECT_FALSE(fs::is_symlink(Dir + "/out.mp4")) << R.Err;
  fs::remove_all(Dir);
  fs::remove_all(fs::path(Victim).parent_path());
}

// Started with standard error closed, the recording must not get
// descriptor 2: the progress lines would be written into the video.
TEST(HostileFolder, ClosedStandardErrorIsNotTheVideo) {
  REQUIRE_ASSETS();
  const std::string Dir = AssetFolder();
  RunningShow Show({"--seed", "1", "--record", "c.mp4", "--end", "1", "--no-music"}, Dir, 0, [] { close(2); });
  EXPECT_EQ(Show.Wait(), 0);
  const VideoCheck V = CheckVideo(Dir + "/c.mp4");
  EXPECT_TRUE(V.Opened);
  EXPECT_EQ(V.ReadErrors, 0);
  EXPECT_EQ(V.VideoPackets, 24);
  EXPECT_NE(kvtest::ReadFile(Dir + "/c.mp4").substr(0, 7), "nerith:");
  fs::remove_all(Dir);
}

// A closed terminal (SIGHUP), a reader of standard error that went away
// (a closed pipe) and a folder renamed during the run: each run ends with
// its exit status and no temporary file anywhere.
TEST(HostileFolder, HangupClosedPipeAndRenamedFolderLeaveNoTemporaryFile) {
  REQUIRE_ASSETS();
  const std::string Dir = AssetFolder();
  const std::vector<std::string> Long = {"--seed", "1", "--end", "30", "--no-music", "--record"};
  auto Args = [&](const std::string& Target, bool Quiet) {
    std::vector<std::string> A = Long;
    A.push_back(Target);
    if (Quiet) A.push_back("--quiet");
    return A;
  };
  RunningShow Hup(Args("h.mkv", true), Dir);
  ASSERT_TRUE(WaitForPartFile(Dir, true));
  kill(Hup.Pid, SIGHUP);
  EXPECT_EQ(Hup.Wait(), 129);
  EXPECT_TRUE(PartFiles(Dir).empty());

  int Pipe[2];
  ASSERT_EQ(pipe(Pipe), 0);
  close(Pipe[0]);  // nobody reads: the first progress line meets a closed pipe
  RunningShow Piped(Args("p.mkv", false), Dir, 0, [&] { dup2(Pipe[1], 2); });
  close(Pipe[1]);
  EXPECT_EQ(Piped.Wait(), 141);
  EXPECT_TRUE(PartFiles(Dir).empty());

  fs::create_directory(Dir + "/van");
  RunningShow Moved(Args("van/v.mkv", true), Dir);
  ASSERT_TRUE(WaitForPartFile(Dir + "/van", true));
  fs::rename(Dir + "/van", Dir + "/van2");
  kill(Moved.Pid, SIGTERM);
  EXPECT_EQ(Moved.Wait(), 143);
  EXPECT_TRUE(PartFiles(Dir + "/van2").empty());
  fs::remove_all(Dir);
}

// An existing target keeps its mode, and its owner when root records; a
// FIFO is refused, not replaced; another user's file in a sticky folder is
// refused before the first frame.
TEST(HostileFolder, TargetsKeepTheirModeAndOwner) {
  REQUIRE_ASSETS();
  const std::string Dir = AssetFolder();
  const bool Root = geteuid() == 0;
  const std::vector<std::string> Short = {"--seed", "1", "--end", "0.2", "--no-music", "--quiet", "--record"};
  auto Record = [&](const std::string& Target) {
    std::vector<std::string> A = Short;
    A.push_back(Target);
    return Nerith(A, Dir);
  };
  for (const mode_t Mode : {0600, 0444}) {
    kvtest::WriteFile(Dir + "/m.mkv", "old");
    chmod((Dir + "/m.mkv").c_str(), Mode);
    if (Root) {
      ASSERT_EQ(chown((Dir + "/m.mkv").c_str(), Nobody, Nobody), 0);
    }
    EXPECT_EQ(Record("m.mkv").ExitCode, 0);
    struct stat Info = {};
    stat((Dir + "/m.mkv").c_str(), &Info);
    EXPECT_EQ(Info.st_mode & 07777, Mode);
    EXPECT_GT(Info.st_size, 3);
    if (Root) {
      EXPECT_EQ(Info.st_uid, Nobody);
    }
  }
  ReplaceByFifo(Dir + "/f.mkv");
  const kvtest::ChildResult R = Record("f.mkv");
  EXPECT_EQ(R.ExitCode, 1);
  EXPECT_EQ(R.Err, "[Nerith]Record -> cannot create \"f.mkv\": not a regular file\n");
  EXPECT_TRUE(fs::is_fifo(Dir + "/f.mkv"));

  if (!Root || !NobodyCanRun()) GTEST_SKIP() << "the sticky folder case needs root and a show nobody may run";
  chmod(Dir.c_str(), 01777);
  kvtest::WriteFile(Dir + "/s.mkv", "root's");
  RunningShow Show({"--seed", "1", "--record", "s.mkv", "--dump-frames", "seen", "--end", "1", "--no-music", "--quiet"},
                   Dir, 0, BecomeNobody);
  EXPECT_EQ(Show.Wait(), 1);
  EXPECT_EQ(Show.Err().rfind("[Nerith]Record -> cannot replace \"s.mkv\"", 0), 0u) << Show.Err();
  EXPECT_TRUE(fs::is_empty(Dir + "/seen"));
  EXPECT_EQ(kvtest::ReadFile(Dir + "/s.mkv"), "root's");
  fs::remove_all(Dir);
}

// Names are shown with their control characters escaped: a newline cannot
// forge a second line in KVR_ERR.txt, an escape sequence cannot clear the
// terminal. A dump folder that is a dangling link says so.
TEST(HostileFolder, MessagesNameFilesSafelyAndExactly) {
  REQUIRE_ASSETS();
  const std::string Dir = AssetFolder();
  kvtest::ChildResult R = Nerith({"--seed", "1", "--end", "0.2", "--record", "a\nb\x1b[2J/x.mkv"}, Dir, 20);
  const std::string Line = "[Nerith]Record -> cannot create \"a\\nb\\x1b[2J/x.mkv\": " + std::string(std::strerror(ENOENT)) +
                           " (the folder \"a\\nb\\x1b[2J\")";
  EXPECT_EQ(R.Err, Line + "\n");
  EXPECT_EQ(kvtest::ReadFile(Dir + "/KVR_ERR.txt"), Line + "\r\n");

  fs::create_symlink("nowhere", Dir + "/dangling");
  R = Nerith({"--headless", "--seed", "1", "--end", "0.2", "--dump-frames", "dangling"}, Dir, 20);
  EXPECT_EQ(R.ExitCode, 1);
  EXPECT_NE(R.Err.find("dangling"), std::string::npos) << R.Err;
  fs::remove_all(Dir);
}

// On a terminal the progress line is cut to $COLUMNS; where the terminal
// cannot redraw a line (TERM=dumb) it prints plain lines instead.
TEST(HostileFolder, ProgressFitsTheTerminal) {
  REQUIRE_ASSETS();
  const std::string Exe = kvtest::NerithExe();
  for (const char* Term : {"xterm", "dumb"}) {
    SCOPED_TRACE(Term);
    termios Raw = {};
    cfmakeraw(&Raw);  // no \n to \r\n: the show's own bytes
    int Terminal = -1;
    const pid_t Pid = forkpty(&Terminal, nullptr, &Raw, nullptr);
    if (Pid == 0) {
      setenv("TERM", Term, 1);
      setenv("COLUMNS", "40", 1);
      execl(Exe.c_str(), Exe.c_str(), "--headless", "--seed", "1", "--end", "2", nullptr);
      _exit(127);
    }
    ASSERT_GT(Pid, 0);
    std::string Out;
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    char Chunk[512];
    for (pollfd P = {Terminal, POLLIN, 0}; std::chrono::steady_clock::now() < Deadline;) {
      if (poll(&P, 1, 100) <= 0) continue;
      const ssize_t Got = read(Terminal, Chunk, sizeof Chunk);
      if (Got <= 0) break;  // EIO: the show has ended
      Out.append(Chunk, size_t(Got));
    }
    close(Terminal);
    if (std::chrono::steady_clock::now() >= Deadline) kill(Pid, SIGKILL);
    int Status = 0;
    waitpid(Pid, &Status, 0);
    EXPECT_EQ(Status, 0) << Out;
    if (std::string(Term) == "dumb") {
      EXPECT_EQ(Out.find('\r'), std::string::npos) << Out;
      EXPECT_NE(Out.find("nerith: 50% (frame "), std::string::npos) << Out;
    } else {
      ASSERT_NE(Out.find("\rnerith: 100%"), std::string::npos) << Out;
      for (size_t At = 0, End; At < Out.size(); At = End + 1) {
        End = std::min(Out.find('\r', At), Out.find('\n', At));
        if (End == std::string::npos) End = Out.size();
        EXPECT_LE(End - At, 39u) << Out.substr(At, End - At);
      }
    }
  }
}
