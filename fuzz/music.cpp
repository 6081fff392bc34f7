// Fuzz target of the sampled-music path: any bytes through our FFmpeg reader
// (the same one that reads files), the probe restricted to the engine's stream
// types, the codec and the resampler, then decoding, a rewind and more
// decoding. A refusal must come with FFmpeg's text; a decoder must hand out
// no more frames than asked for. Output is capped per input so that a tiny
// file at a very low sample rate cannot stall the run.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "FuzzCheck.h"
#include "engine/audio/Decoder.h"

namespace {

constexpr size_t CapFrames = 1 << 15;  // about 0.7 s of output per pass

void DecodeSome(KvDecoder& D) {
  static int16_t Out[4096 * 2 + 2];
  Out[4096 * 2] = 0x1234;  // a guard after the space a call may write
  Out[4096 * 2 + 1] = 0x5678;
  size_t Total = 0;
  // Odd chunk sizes too: the pending tail of one frame must carry across.
  for (size_t Ask : {size_t(1), size_t(333), size_t(4096)}) {
    const size_t Got = D.Decode(Out, Ask);
    Check(Got <= Ask);
    Total += Got;
    if (Got == 0) return;
  }
  while (Total < CapFrames) {
    const size_t Got = D.Decode(Out, 4096);
    Check(Got <= 4096);
    if (Got == 0) break;
    Total += Got;
  }
  Check(Out[4096 * 2] == 0x1234 && Out[4096 * 2 + 1] == 0x5678);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  std::string Error;
  auto D = KvOpenStreamDecoder(std::vector<uint8_t>(Data, Data + Size), Error);
  return PlayOpenedDecoder(std::move(D), Error, DecodeSome);
}
