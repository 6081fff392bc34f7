// MP3 encoding with libmp3lame (see Music.h).
#include <lame/lame.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "Music.h"

namespace assetgen {

std::vector<unsigned char> EncodeMp3(const std::vector<float>& Interleaved, int Kbps) {
  lame_global_flags* Gf = lame_init();
  if (!Gf) throw std::runtime_error("libmp3lame could not be initialised");
  struct Closer {
    lame_global_flags* G;
    ~Closer() { lame_close(G); }
  } Close{Gf};
  lame_set_in_samplerate(Gf, 44100);
  lame_set_out_samplerate(Gf, 44100);
  lame_set_num_channels(Gf, 2);
  lame_set_mode(Gf, JOINT_STEREO);
  lame_set_VBR(Gf, vbr_off);
  lame_set_brate(Gf, Kbps);
  lame_set_quality(Gf, 2);
  // No Xing/LAME tag frame: it would need the file rewritten after the fact.
  lame_set_bWriteVbrTag(Gf, 0);
  if (lame_init_params(Gf) < 0) throw std::runtime_error("libmp3lame rejected the encoder settings");

  const size_t Frames = Interleaved.size() / 2;
  const size_t Chunk = 8192;
  std::vector<unsigned char> Out;
  std::vector<unsigned char> Buf(Chunk * 5 / 4 + 7200);
  std::vector<float> L(Chunk), R(Chunk);
  for (size_t Pos = 0; Pos < Frames; Pos += Chunk) {
    size_t N = std::min(Chunk, Frames - Pos);
    // lame's float interface takes samples scaled like 16-bit integers.
    for (size_t I = 0; I < N; ++I) {
      L[I] = Interleaved[(Pos + I) * 2] * 32767.0f;
      R[I] = Interleaved[(Pos + I) * 2 + 1] * 32767.0f;
    }
    int Got = lame_encode_buffer_float(Gf, L.data(), R.data(), int(N), Buf.data(), int(Buf.size()));
    if (Got < 0) throw std::runtime_error("libmp3lame failed encoding (code " + std::to_string(Got) + ")");
    Out.insert(Out.end(), Buf.begin(), Buf.begin() + Got);
  }
  int Got = lame_encode_flush(Gf, Buf.data(), int(Buf.size()));
  if (Got < 0) throw std::runtime_error("libmp3lame failed flushing (code " + std::to_string(Got) + ")");
  Out.insert(Out.end(), Buf.begin(), Buf.begin() + Got);
  return Out;
}

}  // namespace assetgen
