// Runs a fuzz target over every file of a seed folder (or the files named on
// the command line), so the seeds are exercised by every build, not only by
// clang's libFuzzer builds. Exit 0 when every input ran through.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size);

static bool RunFile(const std::filesystem::path& Path) {
  std::ifstream In(Path, std::ios::binary);
  if (!In) {
    std::fprintf(stderr, "cannot open %s\n", Path.c_str());
    return false;
  }
  std::vector<uint8_t> Bytes((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(Bytes.data(), Bytes.size());
  return true;
}

int main(int argc, char** argv) {
  int Count = 0;
  bool Ok = true;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path Arg(argv[i]);
    if (std::filesystem::is_directory(Arg)) {
      std::vector<std::filesystem::path> Files;
      for (const auto& Entry : std::filesystem::directory_iterator(Arg))
        if (Entry.is_regular_file()) Files.push_back(Entry.path());
      std::sort(Files.begin(), Files.end());
      for (const auto& F : Files) Ok = RunFile(F) && Ok, ++Count;
    } else {
      Ok = RunFile(Arg) && Ok, ++Count;
    }
  }
  std::printf("%d seed inputs run\n", Count);
  return Ok && Count > 0 ? 0 : 1;
}
