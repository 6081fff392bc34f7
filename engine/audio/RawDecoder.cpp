// KvOpenRawDecoder: headerless 16-bit stereo 44100 Hz little-endian PCM.
//
// The format has nothing to probe, so it is read directly: every four bytes
// are one frame, a short tail of fewer than four bytes is dropped.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "../core/RegularFile.h"
#include "Decoder.h"

namespace {

class KvRawDecoder : public KvDecoder {
 public:
  explicit KvRawDecoder(FILE* F) : File(F) {}
  ~KvRawDecoder() override { std::fclose(File); }

  size_t Decode(int16_t* Out, size_t MaxFrames) override {
    Bytes.resize(MaxFrames * 4);
    const size_t Got = std::fread(Bytes.data(), 1, Bytes.size(), File) / 4;
    for (size_t I = 0; I < Got * 2; ++I) {
      const uint16_t V = static_cast<uint16_t>(Bytes[I * 2] | Bytes[I * 2 + 1] << 8);
      Out[I] = static_cast<int16_t>(V);
    }
    return Got;
  }

  bool Rewind() override { return std::fseek(File, 0, SEEK_SET) == 0; }

 private:
  FILE* File;
  std::vector<uint8_t> Bytes;
};

}  // namespace

std::unique_ptr<KvDecoder> KvOpenRawDecoder(const std::string& FileName, std::string& ErrorText) {
  FILE* F = KvOpenRegularFileStream(FileName, ErrorText);
  if (!F) return nullptr;
  return std::make_unique<KvRawDecoder>(F);
}
