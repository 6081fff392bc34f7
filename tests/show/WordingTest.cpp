// The tree's wording: a short list of words and phrases stays out of every
// name and comment, so that the code reads in this project's own terms. The
// words are put together from pieces below, so that this file does not trip
// over itself.
// Names are split into their words (PngThing -> Png, Thing; ALL_CAPS ->
// ALL, CAPS), so a word hidden inside a longer one ("Specular",
// "perspective") is not a hit.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The words of one line: runs of letters and digits, split further where a
// lower-case letter meets an upper-case one and before the last capital of
// an upper-case run that goes on in lower case ("PNGFile" -> PNG, File).
std::vector<std::string> Words(const std::string& Line) {
  std::vector<std::string> Out;
  std::string Word;
  const auto Flush = [&] {
    for (char& C : Word) C = char(std::tolower(static_cast<unsigned char>(C)));
    if (!Word.empty()) Out.push_back(Word);
    Word.clear();
  };
  for (size_t I = 0; I < Line.size(); ++I) {
    const unsigned char C = static_cast<unsigned char>(Line[I]);
    if (!std::isalnum(C)) {
      Flush();
      continue;
    }
    if (!Word.empty() && std::isupper(C)) {
      const unsigned char Prev = static_cast<unsigned char>(Word.back());
      const bool NextLower = I + 1 < Line.size() && std::islower(static_cast<unsigned char>(Line[I + 1]));
      if (std::islower(Prev) || std::isdigit(Prev) || (std::isupper(Prev) && NextLower)) Flush();
    }
    Word += char(C);
  }
  Flush();
  return Out;
}

TEST(Wording, WordsAreSplitAtNameBoundaries) {
  EXPECT_EQ(Words("PngThing PNGFile ALL_CAPS x2Y"),
            (std::vector<std::string>{"png", "thing", "png", "file", "all", "caps", "x2", "y"}));
}

TEST(Wording, NoNameOrCommentUsesAListedWordOrPhrase) {
  const std::string Stem = std::string("spe") + "c";
  const std::set<std::string> Banned = {Stem, Stem + "s", Stem + "ified", Stem + "ification",
                                        Stem + "ifications"};
  // Names of outside libraries that we cannot rename.
  const std::set<std::string> Foreign = {"SDL_AudioSp" + std::string("ec")};
  // Phrases, matched in lower case with single spaces.
  const std::vector<std::string> Phrases = {"the 3d " + std::string("part"), "exactly as " + std::string("designed"),
                                            "first written " + std::string("for")};
  const std::set<std::string> Kinds = {".cpp", ".h", ".c", ".md", ".sh", ".cmake", ".txt", ".py"};
  const fs::path Root = KV_SOURCE_DIR;
  std::vector<fs::path> Files = {Root / "CMakeLists.txt", Root / "README.md", Root / "test.sh", Root / "play.sh"};
  for (const char* Folder : {"engine", "show", "tools", "tests", "fuzz", "bench", "scripts", "docs"}) {
    std::error_code Ec;
    for (auto It = fs::recursive_directory_iterator(Root / Folder, Ec); !Ec && It != fs::recursive_directory_iterator();
         It.increment(Ec))
      if (It->is_regular_file() && Kinds.count(It->path().extension().string())) Files.push_back(It->path());
  }
  ASSERT_GT(Files.size(), 50u);
  std::ostringstream Hits;
  for (const fs::path& File : Files) {
    std::ifstream In(File);
    std::string Line;
    for (int Number = 1; std::getline(In, Line); ++Number) {
      for (const std::string& Name : Foreign)
        for (size_t At; (At = Line.find(Name)) != std::string::npos;) Line.erase(At, Name.size());
      bool Hit = false;
      for (const std::string& W : Words(Line)) Hit = Hit || Banned.count(W) > 0;
      std::string Lower;
      for (char C : Line)
        if (!(C == ' ' && !Lower.empty() && Lower.back() == ' '))
          Lower += char(std::tolower(static_cast<unsigned char>(C)));
      for (const std::string& P : Phrases) Hit = Hit || Lower.find(P) != std::string::npos;
      if (Hit) Hits << File.lexically_relative(Root).string() << ":" << Number << ": " << Line << "\n";
    }
  }
  EXPECT_EQ(Hits.str(), "");
}

}  // namespace
