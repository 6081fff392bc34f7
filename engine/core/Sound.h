// TSoundKv: plays one piece of music.
//
// Streams (".RAW" ".WAV" ".MP2" ".MP3" ".OGG" ".WMA" ".ASF") are decoded with
// FFmpeg (".RAW" is headerless 16-bit stereo 44100 Hz little-endian PCM),
// modules (".MOD" ".S3M" ".XM" ".IT") with libopenmpt, MIDI (".MID", and
// ".RMI", MIDI in a RIFF wrapper) with FluidSynth and a General MIDI
// soundfont, each on a decoder thread of its own; SDL2 plays the result at
// 44100 Hz stereo. The audio library is set up by the first sound object and
// closed by the last. ".SGT" (DirectMusic segments) is a module type this
// player does not support: it fails at creation with a clear message.
//
// Every failure ends the program through Error ("[SoundKv]" Step " -> "
// Message, see Errors.h); all of them happen in the constructor. Play and Stop
// never fail and never wait for decoding.
//
// Depends on: Errors.h, Kelvra.h (the display's Window), audio/ (decoders,
// ring, SDL output).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class TKelvra;
struct KvMusicStream;  // the decoder + output behind one sound object

class TSoundKv {
 public:
  // Checks the file, sets the library up when no other sound object lives,
  // and opens the file (probe, codec, first frame): the music is then loaded
  // and silent. Loop true repeats the music forever; false stops at its end.
  TSoundKv(TKelvra* Display, const std::string& FileName, bool Loop);
  virtual ~TSoundKv();

  // Starts playing from the current position (the first Play, and a Play
  // after a non-looping piece ran out, start at the beginning).
  void Play();
  // Pauses; the next Play continues from here.
  void Stop();
  // While stopped: moves the position Milliseconds further into the music
  // (a live run started at --start T hears the music from there).
  void Skip(uint32_t Milliseconds);
  // While stopped: the next Play starts Milliseconds from the music's
  // beginning, at the sample a player counting from the start would reach
  // (a seek of the show).
  void Seek(uint32_t Milliseconds);
  // Where the music is as the listener hears it: milliseconds into the piece
  // (skips counted in), the output's latency taken off, smoothed between the
  // output's reports and never stepping back. False when no music is heard
  // now (stopped, ended, not yet out of the device) or the output cannot
  // say: then there is no music to follow.
  bool HeardMs(double& Ms);
  // Releases the object, closes the library if it may be open, reports the
  // line through FatalError. Never returns.
  [[noreturn]] void Error(const std::string& Step, const std::string& Message);

  uint32_t Window = 0;
  KvMusicStream* Stream = nullptr;  // set for stream types
  KvMusicStream* Song = nullptr;    // set for module types

 private:
  // The bookkeeping every player shares (SoundObject.cpp): the version check
  // and the display's window at the start of construction, the count of
  // live objects at its end and at release.
  void BeginCreate(TKelvra* Display);
  void CountIn();
  bool CountOut();  // true when the object had been counted
  // The player's own part: frees the music, and the library with the last
  // object (Sound.cpp natively, platform/web/WebSound.cpp in the browser).
  void Release();
  // After Release on a failure: the library goes down even while other
  // objects live, before the program ends.
  void CloseAfterError();
  bool Counted = false;  // included in SoundCount (construction completed)
};

// Number of live sound objects; the library is open while it is above 0.
extern int16_t SoundCount;
// Lowest player version accepted, and the version of this player. The check
// keeps the shape of the classic player start-up; the player is built in, so it
// always passes.
extern const float MinFmodVersion;     // 3.31
extern const float KvSoundPlayerVersion;
