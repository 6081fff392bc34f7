// Every crafted file of tests/engine/hostile/make_hostile_files.py goes through the
// engine's own loader in a child process, as the show would meet it in its
// folders. The child either ends with the engine's one error line and exit
// status 1, or loads the file (and, for music, decodes all of it) and exits
// 0; which one is written in the manifest ("either" where both are fair).
// A crash, a sanitizer report, a second line, a hang (alarm) or a peak
// memory use above the bound below fails the test.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "KvTest.h"
#include "engine/core/Errors.h"
#include "engine/core/Sound.h"
#include "engine/audio/Decoder.h"
#include "engine/draw/BufferKv.h"
#include "engine/draw/ImageDecode.h"
#include "show/3d/Mesh.h"
#include "show/3d/Object3D.h"
#include "show/Show.h"

namespace {

struct Entry {
  std::string Kind, Expect, Path, Why, Pixels;
};

void PrintTo(const Entry& E, std::ostream* Out) { *Out << E.Kind << " " << E.Expect << " " << E.Path; }

std::vector<Entry> ReadManifest() {
  std::vector<Entry> Entries;
  std::ifstream In(std::string(KV_HOSTILE_DIR) + "/manifest.tsv");
  std::string Line;
  while (std::getline(In, Line)) {
    std::vector<std::string> F;
    std::stringstream S(Line);
    for (std::string Field; std::getline(S, Field, '\t');) F.push_back(Field);
    if (F.size() < 4) continue;
    Entry E{F[0], F[1], F[2], F[3], F.size() > 4 ? F[4] : ""};
    if (E.Path[0] != '/') E.Path = std::string(KV_HOSTILE_DIR) + "/" + E.Path;
    Entries.push_back(E);
  }
  return Entries;
}

// Peak memory a child may reach: the largest picture the loader accepts
// (64 M pixels: 192 MB of RGB and a 256 MB surface at 32 bits) with room for
// the program itself and the sanitizers' shadow.
constexpr long MaxChildKb = 900L * 1024;

// Decodes a music file to its end (at most ten minutes), rewinds and decodes
// a little more; the decoder must never hand out more than asked for.
void DecodeAll(KvDecoder& D) {
  std::vector<int16_t> Out(4096 * 2);
  for (int Pass = 0; Pass < 2; ++Pass) {
    size_t Total = 0;
    for (size_t Got; Total < 600u * KvMixRate && (Got = D.Decode(Out.data(), 4096)) > 0;) {
      if (Got > 4096) std::_Exit(4);
      Total += Got;
    }
    if (!D.Rewind()) break;
  }
}

[[noreturn]] void LoadInChild(const Entry& E, const std::string& Dir) {
  if (chdir(Dir.c_str()) != 0) std::_Exit(99);
  alarm(60);  // a hang ends the child by SIGALRM
  if (E.Kind == "picture") {
    auto Display = kvtest::MakeDisplay(32);
    TBufferKv B(Display.get(), 1, 1, false);
    B.LoadFromFile(E.Path, false);
  } else if (E.Kind == "mesh") {
    InitSinCos();
    SetLight(0, 0, 1);
    SetAssetRoot("");
    LoadMesh(E.Path);
    MeshWork.SpinX = 11;
    TransformObject(MeshWork);
  } else if (E.Kind == "music" || E.Kind == "module") {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    {
      TSoundKv Sound(nullptr, E.Path, false);
    }
    std::string Error;
    auto D = E.Kind == "music" ? KvOpenStreamDecoder(E.Path, Error) : KvOpenModuleDecoder(E.Path, false, Error);
    if (!D) std::_Exit(5);  // the engine took it, the decoder alone must too
    DecodeAll(*D);
  } else {
    std::_Exit(98);
  }
  rusage Usage{};
  getrusage(RUSAGE_SELF, &Usage);
  if (Usage.ru_maxrss > MaxChildKb) {
    std::fprintf(stderr, "peak memory %ld KB\n", Usage.ru_maxrss);
    std::_Exit(3);
  }
  std::_Exit(0);
}

// The engine's error line: "[Tag]Step -> Message", one line and nothing else.
const char* const OneErrorLine = "^\\[[A-Za-z]+\\][^\n]* -> [^\n]+\n$";

std::vector<uint8_t> HexBytes(const std::string& Hex) {
  std::vector<uint8_t> Out;
  for (size_t i = 0; i + 1 < Hex.size(); i += 2) Out.push_back(uint8_t(std::stoi(Hex.substr(i, 2), nullptr, 16)));
  return Out;
}

class HostileFile : public ::testing::TestWithParam<Entry> {
 protected:
  // A plain fork: the child must see this test's folder. The parent runs no
  // threads of its own (the audio library's live only in the children).
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "fast"); }
};

TEST_P(HostileFile, RefusedWithOneLineOrLoadedSafely) {
  const Entry& E = GetParam();
  SCOPED_TRACE(E.Path + ": " + E.Why);
  ASSERT_TRUE(std::filesystem::exists(E.Path));
  const std::string Dir = kvtest::MakeTempDir("kvhostile");
  const std::string Log = Dir + "/KVR_ERR.txt";
  if (E.Expect == "refused") {
    EXPECT_EXIT(LoadInChild(E, Dir), ::testing::ExitedWithCode(KvFatalExitCode), OneErrorLine);
  } else if (E.Expect == "loads") {
    EXPECT_EXIT(LoadInChild(E, Dir), ::testing::ExitedWithCode(0), "^$");
  } else {
    ASSERT_EQ(E.Expect, "either");
    const auto ZeroOrFatal = [](int Status) {
      return WIFEXITED(Status) && (WEXITSTATUS(Status) == 0 || WEXITSTATUS(Status) == KvFatalExitCode);
    };
    EXPECT_EXIT(LoadInChild(E, Dir), ZeroOrFatal, "^$|^\\[[A-Za-z]+\\][^\n]* -> [^\n]+\n$");
  }
  // The log holds the same one line, or nothing when the file loaded.
  const std::string Line = kvtest::ReadFile(Log);
  if (E.Expect == "refused") {
    EXPECT_EQ(Line.find("\r\n"), Line.size() - 2) << Line;
  } else if (E.Expect == "loads") {
    EXPECT_EQ(Line, "");
  }
  std::filesystem::remove_all(Dir);

  // Valid pictures: the pixels the recipe meant.
  if (!E.Pixels.empty()) {
    const size_t C1 = E.Pixels.find(','), C2 = E.Pixels.find(',', C1 + 1);
    const std::string Bytes = kvtest::ReadFile(E.Path);
    KvPicture Picture;
    std::string Error;
    ASSERT_TRUE(KvDecodePicture(reinterpret_cast<const uint8_t*>(Bytes.data()), Bytes.size(), Picture, Error))
        << Error;
    EXPECT_EQ(Picture.Width, std::stoi(E.Pixels.substr(0, C1)));
    EXPECT_EQ(Picture.Height, std::stoi(E.Pixels.substr(C1 + 1, C2 - C1 - 1)));
    EXPECT_EQ(Picture.Rgb, HexBytes(E.Pixels.substr(C2 + 1)));
  }
}

std::string NameOf(const ::testing::TestParamInfo<Entry>& Info) {
  std::string Name = std::filesystem::path(Info.param.Path).filename().string();
  if (Info.param.Path.find("/fuzz/corpus/") != std::string::npos) Name = "seed_" + Name;
  for (char& C : Name)
    if (!std::isalnum(static_cast<unsigned char>(C))) C = '_';
  return Name;
}

INSTANTIATE_TEST_SUITE_P(Crafted, HostileFile, ::testing::ValuesIn(ReadManifest()), NameOf);

// The recipe keeps its promise of at least 40 broken files over every kind.
TEST(HostileFiles, EveryKindIsCovered) {
  int Bad = 0;
  std::map<std::string, int> PerKind;
  for (const Entry& E : ReadManifest())
    if (E.Why.rfind("valid", 0) != 0) ++Bad, ++PerKind[E.Kind];
  EXPECT_GE(Bad, 40);
  for (const char* Kind : {"picture", "mesh", "music", "module"}) EXPECT_GE(PerKind[Kind], 5) << Kind;
}

}  // namespace
