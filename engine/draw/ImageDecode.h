// Picture decoding for TBufferKv::LoadFromStream, without the buffer: turns
// the bytes of a PNG, JPEG or BMP picture into 8-bit RGB, or says why not.
// LoadFromStream reports a failure through TBufferKv::Error (which ends the
// program); the fuzz target and tests call KvDecodePicture directly.
//
// Public (<kelvra/draw/ImageDecode.h>): a program can decode pictures on
// threads of its own and hand them to TBufferKv::LoadPicture afterwards (the
// show loads its pictures so). Calls on several threads at once are safe;
// each such thread calls KvDecodeThreadDone before it ends.
//
// Depends on: libpng, libjpeg-turbo, SDL2 (its BMP reader).
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <vector>

enum class KvPictureFormat { Unknown, Jpeg, Bmp, Png };

// The format named by the first bytes of the data (Count may be anything;
// fewer bytes than a signature never match it): JPEG FF D8, else BMP "BM",
// else the 8-byte PNG signature.
KvPictureFormat KvDetectPictureFormat(const uint8_t* Head, size_t Count);

// A decoded picture: Width x Height pixels, 3 bytes each (R, G, B), row by
// row with no padding. Transparent pixels are already composited over black.
struct KvPicture {
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<uint8_t> Rgb;
};

// Decodes the picture that starts at Stream's current position. On success
// Out holds it (1 .. KvMaxPictureSide per side, at most KvMaxPicturePixels)
// and the result is true; on failure the result is false and Error holds the
// message of the engine's error line ("Stream Image format not supported...",
// "Error loading PNG from Stream...", the too-large message, ...). In every
// case the stream is put back where it was (when it can tell its position)
// and its error flags are cleared.
bool KvDecodePicture(std::istream& Stream, KvPicture& Out, std::string& Error);

// The same over bytes in memory.
bool KvDecodePicture(const uint8_t* Data, size_t Size, KvPicture& Out, std::string& Error);

// A thread of the program's own that decoded pictures calls this before it
// ends: the BMP decoder (SDL) keeps per-thread error state that only its
// own threads free by themselves.
void KvDecodeThreadDone();
