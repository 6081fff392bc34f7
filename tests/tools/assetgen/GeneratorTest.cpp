// The generator itself: every file the show opens, with its exact name;
// the same bytes on every run; clear failures for bad command lines and
// unwritable folders.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "AssetTestUtil.h"

using namespace assettest;
namespace fs = std::filesystem;

namespace {

// Every row of the show's asset table.
const char* const kShowFiles[] = {
#define NERITH_ASSET_Picture(Name, File) File,
#define NERITH_ASSET_Mesh(Name, File) File,
#define NERITH_ASSET_Music(Name, File) File,
#include "show/AssetTable.h"
};

class Generator : public ::testing::Test {
 protected:
  void SetUp() override {
    if (GeneratorExe().empty()) GTEST_SKIP() << "the build was configured without the asset generator (NERITH_ASSETS=OFF)";
  }
  static std::string Quote(const std::string& S) { return "'" + S + "'"; }
};

// The build reads the table as text to know what the generator writes; a
// row it could not read would leave a file out of the build's list.
TEST(AssetTable, BuildListsEveryRowInOrder) {
  std::vector<std::string> Listed;
  std::istringstream In(KV_BUILD_ASSET_NAMES);
  for (std::string Name; std::getline(In, Name, ',');) Listed.push_back(Name);
  EXPECT_EQ(Listed, std::vector<std::string>(std::begin(kShowFiles), std::end(kShowFiles)));
}

TEST_F(Generator, WritesEveryFileTheShowOpensUnderItsExactName) {
  for (const char* Name : kShowFiles) {
    fs::path P = fs::path(AssetDir()) / Name;
    EXPECT_TRUE(fs::is_regular_file(P)) << Name;
    // The exact spelling, case included, is what the folder lists.
    bool Listed = false;
    for (const auto& E : fs::directory_iterator(P.parent_path()))
      if (E.path().filename() == P.filename()) Listed = true;
    EXPECT_TRUE(Listed) << Name;
  }
}

// A second run of the generator writes the same bytes as the build's run,
// the desktop icons included.
TEST_F(Generator, IsDeterministic) {
  std::string Dir = TempDir("assetgen");
  ASSERT_FALSE(Dir.empty());
  ASSERT_EQ(RunCommand(Quote(GeneratorExe()) + " " + Quote(Dir) + " --icons " + Quote(Dir + "/icons") + " --quiet"), 0);
  for (const char* Name : kShowFiles) {
    std::string A = Slurp(AssetDir() + "/" + Name), B = Slurp(Dir + "/" + Name);
    EXPECT_FALSE(B.empty()) << Name;
    EXPECT_TRUE(A == B) << Name << " differs between two runs";
  }
  for (const char* Name : {"icon_48.png", "icon_64.png", "icon_128.png", "icon_256.png"}) {
    std::string A = Slurp(std::string(KV_BINARY_DIR) + "/icons/" + Name), B = Slurp(Dir + "/icons/" + Name);
    EXPECT_FALSE(B.empty()) << Name;
    EXPECT_TRUE(A == B) << Name << " differs between two runs";
  }
  fs::remove_all(Dir);
}

TEST_F(Generator, PartialRunsWriteOnlyTheirPart) {
  std::string Dir = TempDir("assetgen");
  ASSERT_FALSE(Dir.empty());
  ASSERT_EQ(RunCommand(Quote(GeneratorExe()) + " " + Quote(Dir) + " --no-music --quiet"), 0);
  EXPECT_TRUE(fs::is_regular_file(fs::path(Dir) / "GFX/nerith.png"));
  EXPECT_TRUE(fs::is_regular_file(fs::path(Dir) / "ASC/TW.asc"));
  EXPECT_FALSE(fs::exists(fs::path(Dir) / "SND/Nerith.mp3"));
  fs::remove_all(Dir);
}

TEST_F(Generator, FailsClearlyOnBadCommandLinesAndUnwritableFolders) {
  std::string Dir = TempDir("assetgen");
  ASSERT_FALSE(Dir.empty());
  const std::string Exe = Quote(GeneratorExe());
  EXPECT_EQ(RunCommand(Exe + " 2>/dev/null"), 2);
  EXPECT_EQ(RunCommand(Exe + " " + Quote(Dir) + " --bogus 2>/dev/null"), 2);
  // An output "folder" that is a regular file cannot be written into.
  const std::string Blocker = Dir + "/not-a-folder";
  { std::ofstream(Blocker) << "x"; }
  const std::string Log = Dir + "/err.txt";
  EXPECT_EQ(RunCommand(Exe + " " + Quote(Blocker) + " --no-music --quiet 2>" + Quote(Log)), 1);
  std::string Err = Slurp(Log);
  EXPECT_NE(Err.find("assetgen: "), std::string::npos) << Err;
  EXPECT_NE(Err.find("not-a-folder"), std::string::npos) << Err;
  fs::remove_all(Dir);
}

}  // namespace
