// Fuzz target of the tracker-module path: any bytes through our libopenmpt
// glue (load from memory, the error text, repeat count), then one pass of
// rendering, a rewind and a little more. A refusal must come with a one-line
// reason. Rendering is capped per input: a valid module may play for hours.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "FuzzCheck.h"
#include "engine/audio/Decoder.h"

namespace {

constexpr size_t CapFrames = 1 << 12;

void RenderSome(KvDecoder& D) {
  static int16_t Out[2048 * 2];
  size_t Total = 0;
  while (Total < CapFrames) {
    const size_t Got = D.Decode(Out, 2048);
    Check(Got <= 2048);
    if (Got == 0) break;
    Total += Got;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size == 0) return 0;
  // The first byte picks looping or one pass, as the engine's two callers do.
  const bool Loop = Data[0] & 1;
  std::string Error;
  auto D = KvOpenModuleDecoder(std::vector<uint8_t>(Data + 1, Data + Size), Loop, Error);
  return PlayOpenedDecoder(std::move(D), Error, RenderSome);
}
