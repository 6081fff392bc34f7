// What the fuzz targets share: a failed check ends the run (the fuzzer then
// keeps the input), and the music targets' walk through an opened decoder.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>

#include "engine/audio/Decoder.h"

inline void Check(bool Condition) {
  if (!Condition) std::abort();
}

// A refused input must come with a one-line reason; an accepted one is
// played by Play, rewound and played again.
inline int PlayOpenedDecoder(std::unique_ptr<KvDecoder> D, const std::string& Error, void (*Play)(KvDecoder&)) {
  if (!D) {
    Check(!Error.empty() && Error.find('\n') == std::string::npos);
    return 0;
  }
  Play(*D);
  if (D->Rewind()) Play(*D);
  return 0;
}
