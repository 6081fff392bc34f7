// MusicTrack: the show's music as the sound track of a recording.
//
// The music is decoded by the engine's own decoders (the ones a live run
// plays through), resampled once from the mixing rate to the audio
// encoder's rate and sample format, and placed on the recording's time
// line: its first sample sounds at StartSeconds (negative: the music is
// already that far in when the recording begins). Before it and after its
// end the track is silent, so it can be read for as long as the video runs.
//
// Depends on: engine/audio/Decoder.h, libswresample.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "VideoFile.h"

class MusicTrack {
 public:
  MusicTrack();
  ~MusicTrack();
  // Opens FileName for output in Format. false with Error on failure.
  bool Open(const std::string& FileName, const AudioInput& Format, std::string* Error);
  // Where the music's first sample goes; before the first Read.
  void Place(double StartSeconds);
  // The next Samples samples of the track into Planes (one pointer per
  // plane of the format, each with room for Samples samples).
  bool Read(uint8_t* const* Planes, int Samples);

 private:
  struct State;
  std::unique_ptr<State> S;
};
