// Fuzz target of the picture loader: any bytes through the decoding path of
// TBufferKv::LoadFromStream. KvDecodePicture reports a failure instead of
// ending the process, so damaged input is an ordinary, expected outcome here;
// only a crash, a sanitizer report or a broken promise below is a finding.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "engine/draw/BufferKv.h"
#include "engine/draw/ImageDecode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  // Put the picture behind a prefix so the stream does not start at 0: the
  // loader must read from the current position and return there.
  std::string Bytes = "prefix";
  Bytes.append(reinterpret_cast<const char*>(Data), Size);
  std::istringstream Stream(Bytes);
  Stream.seekg(6);

  KvPicture Picture;
  std::string Error;
  const bool Ok = KvDecodePicture(Stream, Picture, Error);

  if (!Stream.good() || Stream.tellg() != std::streampos(6)) std::abort();
  if (Ok) {
    const int64_t W = Picture.Width, H = Picture.Height;
    if (W < 1 || H < 1 || W > KvMaxPictureSide || H > KvMaxPictureSide || W * H > KvMaxPicturePixels) std::abort();
    if (Picture.Rgb.size() != size_t(W * H * 3) || !Error.empty()) std::abort();
  } else if (Error.empty() || Picture.Width != 0 || !Picture.Rgb.empty()) {
    std::abort();
  }
  return 0;
}
