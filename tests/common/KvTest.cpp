// Helpers shared by every test area.
#include "KvTest.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>
#include <png.h>
extern "C" {
#include <libavformat/avformat.h>
}

#include "engine/core/Platform.h"
#include "engine/platform/headless/HeadlessDevice.h"

namespace kvtest {

std::unique_ptr<TKelvra> MakeDisplay(int Depth, int Width, int Height) {
  KvSetDeviceFactory([Depth] { return KvMakeHeadlessDevice(Depth); });
  return std::make_unique<TSelfKelvra>(Width, Height, "kelvra test");
}

std::string MakeTempDir(const std::string& Prefix) {
  std::string Pattern = (std::filesystem::temp_directory_path() / (Prefix + "-XXXXXX")).string();
  std::vector<char> Buffer(Pattern.begin(), Pattern.end());
  Buffer.push_back('\0');
  if (!mkdtemp(Buffer.data())) return std::string();
  return std::string(Buffer.data());
}

std::string ReadFile(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  std::ostringstream Out;
  Out << In.rdbuf();
  return Out.str();
}

void WriteFile(const std::string& Path, const std::string& Bytes) {
  std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
  Out.write(Bytes.data(), std::streamsize(Bytes.size()));
}

int StartChild(const std::vector<std::string>& Argv, const std::string& WorkDir, const std::vector<std::string>& Env,
               const std::string& OutPath, const std::string& ErrPath, bool OwnGroup) {
  if (Argv.empty()) return -1;
  const pid_t Pid = fork();
  if (Pid != 0) return Pid;
  if (OwnGroup) setpgid(0, 0);
  if (!WorkDir.empty() && chdir(WorkDir.c_str()) != 0) _exit(126);
  const int OutFd = open(OutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const int ErrFd = ErrPath == OutPath ? OutFd : open(ErrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const int NullFd = open("/dev/null", O_RDONLY);
  dup2(NullFd, 0);
  dup2(OutFd, 1);
  dup2(ErrFd, 2);
  for (const std::string& Entry : Env) putenv(strdup(Entry.c_str()));
  std::vector<char*> Args;
  for (const std::string& A : Argv) Args.push_back(const_cast<char*>(A.c_str()));
  Args.push_back(nullptr);
  execvp(Args[0], Args.data());
  _exit(127);
}

ChildResult RunChild(const std::vector<std::string>& Argv, const std::string& WorkDir,
                     const std::vector<std::string>& Env, int TimeoutSeconds) {
  ChildResult Result;
  if (Argv.empty()) return Result;
  const std::string OutDir = MakeTempDir("kvchild");
  const std::string OutPath = OutDir + "/out", ErrPath = OutDir + "/err";
  const pid_t Pid = StartChild(Argv, WorkDir, Env, OutPath, ErrPath);
  if (Pid < 0) return Result;
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(TimeoutSeconds);
  int Status = 0;
  for (;;) {
    const pid_t Done = waitpid(Pid, &Status, WNOHANG);
    if (Done == Pid) break;
    if (std::chrono::steady_clock::now() > Deadline) {
      kill(Pid, SIGKILL);
      waitpid(Pid, &Status, 0);
      Result.ExitCode = -1;
      Result.Out = ReadFile(OutPath);
      Result.Err = ReadFile(ErrPath) + "\n[killed after timeout]";
      std::filesystem::remove_all(OutDir);
      return Result;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  Result.ExitCode = WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status);
  Result.Out = ReadFile(OutPath);
  Result.Err = ReadFile(ErrPath);
  std::filesystem::remove_all(OutDir);
  return Result;
}

std::string NerithExe() { return KV_NERITH_EXE; }
std::string AssetDir() { return std::string(KV_BINARY_DIR) + "/bin"; }

uint32_t GetPixel(const TBufferKv& B, int X, int Y) {
  const uint8_t* P = B.Rows[size_t(Y)] + size_t(X) * B.BytesPerPixel;
  switch (B.BytesPerPixel) {
    case 2:
      return uint32_t(P[0]) | uint32_t(P[1]) << 8;
    case 3:
      return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16;
    default:
      return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24;
  }
}

bool AssetsPresent() {
  const std::string Dir = AssetDir();
  for (const char* File : {
#define NERITH_ASSET_Picture(Name, File) File,
#define NERITH_ASSET_Mesh(Name, File) File,
#define NERITH_ASSET_Music(Name, File) File,
#include "show/AssetTable.h"
       })
    if (!std::filesystem::is_regular_file(Dir + "/" + File)) return false;
  return true;
}

void FillRandom(TBufferKv& B, uint32_t Seed, bool Any32) {
  std::mt19937 Rng(Seed);
  for (int y = 0; y < B.Height; ++y) {
    uint8_t* P = B.Rows[size_t(y)];
    for (int x = 0; x < B.Width; ++x, P += B.BytesPerPixel) {
      uint32_t V = Rng();
      if (B.Depth == 15) V &= 0x7FFF;
      if (B.Depth == 24 || (B.Depth == 32 && !Any32)) V &= 0xFFFFFF;
      for (int i = 0; i < B.BytesPerPixel; ++i) P[i] = uint8_t(V >> (8 * i));
    }
  }
}

void ExpectGeometry(const TBufferKv& B, int Width, int Height) {
  EXPECT_EQ(B.Width, Width);
  EXPECT_EQ(B.Height, Height);
  EXPECT_EQ(B.HalfWidth, Width / 2);
  EXPECT_EQ(B.HalfHeight, Height / 2);
  EXPECT_EQ(B.MaxX, Width - 1);
  EXPECT_EQ(B.MaxY, Height - 1);
  ASSERT_EQ(B.Rows.size(), size_t(Height));
  for (int y = 0; y < Height; ++y) EXPECT_EQ(B.Rows[size_t(y)], B.Bits + size_t(y) * size_t(B.Pitch));
}

uint64_t Checksum(const TBufferKv& B) {
  uint64_t Hash = 1469598103934665603ull;
  const size_t RowBytes = size_t(B.Width) * B.BytesPerPixel;
  for (int y = 0; y < B.Height; ++y) {
    const uint8_t* P = B.Rows[size_t(y)];
    for (size_t i = 0; i < RowBytes; ++i) Hash = (Hash ^ P[i]) * 1099511628211ull;
  }
  return Hash;
}

}  // namespace kvtest

namespace kvtest {
std::vector<uint8_t> ReadPngRgb(const std::string& Path, int* Width, int* Height) {
  png_image Image;
  std::memset(&Image, 0, sizeof Image);
  Image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&Image, Path.c_str())) return {};
  Image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> Pixels(PNG_IMAGE_SIZE(Image));
  if (!png_image_finish_read(&Image, nullptr, Pixels.data(), 0, nullptr)) return {};
  if (Width) *Width = int(Image.width);
  if (Height) *Height = int(Image.height);
  return Pixels;
}

AVFormatContext* OpenMediaFile(const std::string& Path) {
  AVFormatContext* In = nullptr;
  if (avformat_open_input(&In, Path.c_str(), nullptr, nullptr) < 0) return nullptr;
  if (avformat_find_stream_info(In, nullptr) < 0) avformat_close_input(&In);
  return In;
}

int ForEachPacket(AVFormatContext* In, const std::function<void(AVPacket*)>& Visit) {
  AVPacket* Packet = av_packet_alloc();
  int Errors = 0;
  for (;;) {
    const int R = av_read_frame(In, Packet);
    if (R == AVERROR_EOF) break;
    if (R < 0) {
      ++Errors;
      break;
    }
    Visit(Packet);
    av_packet_unref(Packet);
  }
  av_packet_free(&Packet);
  return Errors;
}
}  // namespace kvtest
