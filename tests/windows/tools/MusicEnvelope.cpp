// music_envelope: decodes a music file with the engine's decoder for it (the
// same source built natively and for Windows) and prints its length and its
// loudness envelope, so the two builds' decodes can be compared:
//
//   music_envelope FILE
//   -> "frames N", then the RMS of each 50 ms window (2205 frames, left and
//      right together), one per line
//
// Exit status 0, or 1 with the decoder's error on standard error.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/audio/Decoder.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: music_envelope FILE\n");
    return 1;
  }
  std::string Error;
  std::unique_ptr<KvDecoder> Decoder = KvOpenMusicFile(argv[1], false, Error);
  if (!Decoder) {
    std::fprintf(stderr, "music_envelope: %s\n", Error.c_str());
    return 1;
  }
  constexpr size_t Window = KvMixRate / 20;
  std::vector<int16_t> Block(4096 * 2);
  std::vector<double> Rms;
  double Sum = 0;
  size_t InWindow = 0, Frames = 0;
  for (size_t Got; (Got = Decoder->Decode(Block.data(), 4096)) > 0;) {
    for (size_t I = 0; I < Got; ++I) {
      const double L = Block[I * 2], R = Block[I * 2 + 1];
      Sum += L * L + R * R;
      if (++InWindow == Window) {
        Rms.push_back(std::sqrt(Sum / (2.0 * Window)));
        Sum = 0;
        InWindow = 0;
      }
    }
    Frames += Got;
  }
  std::printf("frames %zu\n", Frames);
  for (double V : Rms) std::printf("%.3f\n", V);
  return 0;
}
