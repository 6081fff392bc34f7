// Helpers of the asset tests: where the generated files are, independent
// decoders for them (libpng, libjpeg, a bitmap reader, a colon-counting mesh
// reader written from the file format's rules), and running the generator.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace assettest {

// The folder holding GFX/, ASC/ and SND/ as the build generated them, and the
// generator. Empty when the build was configured without the generator.
std::string AssetDir();
std::string GeneratorExe();
std::string Slurp(const std::string& Path);  // whole file; empty if unreadable

struct Picture {
  int W = 0, H = 0;
  std::vector<uint8_t> Rgb;  // rows top to bottom, 3 bytes per pixel
  const uint8_t* At(int X, int Y) const { return &Rgb[(size_t(Y) * W + X) * 3]; }
  bool Black(int X, int Y) const {
    const uint8_t* P = At(X, Y);
    return P[0] == 0 && P[1] == 0 && P[2] == 0;
  }
};
// Decoders; each returns false with a reason when the data is not a valid
// picture of its format.
bool DecodePng(const std::string& Bytes, Picture& Out, std::string& Why);
bool DecodeJpeg(const std::string& Bytes, Picture& Out, std::string& Why);
bool DecodeBmp(const std::string& Bytes, Picture& Out, std::string& Why);

struct MeshData {
  std::vector<float> X, Y, Z;
  std::vector<int> A, B, C;
};
// Reads a mesh exactly as the show's loader does: by counting colons.
bool ReadMeshByColons(const std::string& Text, MeshData& Out, std::string& Why);

// Runs a command line through the shell; returns its exit status (or -1).
int RunCommand(const std::string& CommandLine);
// A fresh empty folder under the system's temporary folder.
std::string TempDir(const std::string& Prefix);

}  // namespace assettest
