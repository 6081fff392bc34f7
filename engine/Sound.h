// TSoundKv: plays one piece of music.
//
// Streams (".RAW" ".WAV" ".MP2" ".MP3" ".OGG" ".WMA" ".ASF") are decoded with
// FFmpeg, modules (".MOD" ".S3M" ".XM" ".IT") with libopenmpt, on a decoder
// thread of their own; SDL2 plays the result at 44100 Hz stereo. The audio
// library is set up by the first sound object and closed by the last.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class TKelvra;
struct KvMusicStream;  // the decoder + output behind one sound object

class TSoundKv {
 public:
  TSoundKv(TKelvra* Display, const std::string& FileName, bool Loop);
  virtual ~TSoundKv();

  void Play();
  void Stop();
  [[noreturn]] void Error(const std::string& Step, const std::string& Message);

  uint32_t Window = 0;
  KvMusicStream* Stream = nullptr;  // set for stream types
  KvMusicStream* Song = nullptr;    // set for module types
};

// Number of live sound objects; the library is open while it is above 0.
extern int16_t SoundCount;
extern const float MinFmodVersion;
