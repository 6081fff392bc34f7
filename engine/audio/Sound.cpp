// TSoundKv: music playback on the engine's audio library (engine/audio/).
//
// The steps a failure reports are the engine's fixed names for the stages
// of starting music, kept the same so that logs compare across versions:
// "FSOUND_SetOutput", "FSOUND_SetMixer", "FSOUND_Init" for the library
// set-up, "FMUSIC_LoadSong" for modules and MIDI, "FSOUND_Stream_OpenFile"
// for streams, "Create" for the object's own checks. The bookkeeping shared
// with the browser's player is in SoundObject.cpp.
#include "../core/Sound.h"

#include "AudioOutput.h"
#include "Decoder.h"
#include "HeardMusic.h"
#include "MusicStream.h"

TSoundKv::TSoundKv(TKelvra* Display, const std::string& FileName, bool Loop) {
  BeginCreate(Display);
  // The engine's message, then which file it was about.
  auto FileError = [&](const char* Step, const std::string& Message) { Error(Step, Message + " (" + FileName + ")"); };
  if (!KvMusicFileExists(FileName)) FileError("Create", "File not found...");

  std::string Text;
  if (SoundCount == 0) {
    if (!KvAudioSetOutput(Text)) Error("FSOUND_SetOutput", Text);
    // (Choosing the driver, FSOUND_SetDriver(0), is the default device; SDL does
    // that when the device is opened, and its result was never looked at.)
    if (!KvAudioSetMixer(Text)) Error("FSOUND_SetMixer", Text);
    if (!KvAudioInit(64, Text) && !KvAudioInit(32, Text) && !KvAudioInit(16, Text))
      Error("FSOUND_Init", "No audio output device could be opened (" + Text + ")");
  }

  const KvMusicKind Kind = KvMusicKindOf(FileName);
  if (Kind == KvMusicKind::Unknown) FileError("Create", "File type not supported...");
  const bool IsSong = Kind == KvMusicKind::Module || Kind == KvMusicKind::Midi || Kind == KvMusicKind::Segment;
  std::unique_ptr<KvDecoder> Decoder = KvOpenDecoder(FileName, Kind, Loop, Text);
  if (!Decoder) FileError(IsSong ? "FMUSIC_LoadSong" : "FSOUND_Stream_OpenFile", Text);
  KvMusicStream* Music = new KvMusicStream(std::move(Decoder), Loop);
  KvAudioAdd(Music);
  (IsSong ? Song : Stream) = Music;
  CountIn();
}

// Frees the music and, for the last sound object, closes the library.
void TSoundKv::Release() {
  CountOut();
  for (KvMusicStream** Music : {&Stream, &Song}) {
    if (!*Music) continue;
    KvAudioRemove(*Music);
    delete *Music;
    *Music = nullptr;
  }
  if (SoundCount == 0 && KvAudioLibraryOpen()) KvAudioClose();
}

void TSoundKv::CloseAfterError() {
  if (KvAudioLibraryOpen()) KvAudioClose();
}

void TSoundKv::Play() {
  if (KvMusicStream* Music = Stream ? Stream : Song) KvAudioPlay(Music);
}

void TSoundKv::Stop() {
  if (KvMusicStream* Music = Stream ? Stream : Song) KvAudioStop(Music);
}

void TSoundKv::Seek(uint32_t Milliseconds) {
  const size_t Frames = size_t(uint64_t(Milliseconds) * KvMixRate / 1000);
  if (KvMusicStream* Music = Stream ? Stream : Song) Music->SeekTo(Frames);
}

void TSoundKv::Skip(uint32_t Milliseconds) {
  const size_t Frames = size_t(uint64_t(Milliseconds) * KvMixRate / 1000);
  if (KvMusicStream* Music = Stream ? Stream : Song) Music->Skip(Frames);
}

bool TSoundKv::HeardMs(double& Ms) {
  double Frame = 0;
  if (!(Stream || Song) || !KvHeardMusicFrame(KvHeardNowUs(), Frame)) return false;
  Ms = Frame * 1000.0 / KvMixRate;
  return true;
}
