// The browser build has no picture decoders: its pictures come decoded from
// the asset pack, which draw/PictureLoad.cpp looks in first. Anything else
// asked of the decoder gets the engine's format error, saying why.
#include "../../draw/ImageDecode.h"

bool KvDecodePicture(const uint8_t*, size_t, KvPicture& Out, std::string& Error) {
  Out = KvPicture();
  Error = "Stream Image format not supported... (the browser build has no picture decoders)";
  return false;
}

void KvDecodeThreadDone() {}
