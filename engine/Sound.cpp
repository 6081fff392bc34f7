// TSoundKv: music playback on the engine's audio library (engine/audio/).
//
// The steps reported on failure keep the names of the calls of the sound
// library the engine was first written for, so the error log reads
// the same: "FSOUND_SetOutput", "FSOUND_SetMixer", "FSOUND_Init" for the
// library set-up, "FMUSIC_LoadSong" for modules and MIDI, "FSOUND_Stream_OpenFile" for
// streams, "Create" for the object's own checks.
#include "Sound.h"

#include <sys/stat.h>

#include <cctype>

#include "Errors.h"
#include "Kelvra.h"
#include "audio/AudioOutput.h"
#include "audio/MusicStream.h"

int16_t SoundCount = 0;
const float MinFmodVersion = 3.31f;
const float KvSoundPlayerVersion = 3.31f;

namespace {

const char* const ModuleTypes[] = {".MOD", ".S3M", ".XM", ".IT"};
const char* const MidiTypes[] = {".MID", ".RMI"};
const char* const StreamTypes[] = {".RAW", ".WAV", ".MP2", ".MP3", ".OGG", ".WMA", ".ASF"};

template <size_t N>
bool InList(const std::string& Ext, const char* const (&List)[N]) {
  for (const char* Item : List)
    if (Ext == Item) return true;
  return false;
}

// The extension from the last dot of the file's own name on, dot included,
// in upper case; empty when the name has no dot (a dot in a folder name does
// not count).
std::string UpperExtension(const std::string& FileName) {
  const size_t Dot = FileName.find_last_of(".");
  const size_t Slash = FileName.find_last_of("/\\");
  if (Dot == std::string::npos || (Slash != std::string::npos && Dot < Slash)) return "";
  std::string Ext = FileName.substr(Dot);
  for (char& C : Ext) C = static_cast<char>(std::toupper(static_cast<unsigned char>(C)));
  return Ext;
}

// An existing file that is not a folder.
bool FileExists(const std::string& FileName) {
  struct stat St;
  return stat(FileName.c_str(), &St) == 0 && !S_ISDIR(St.st_mode);
}

}  // namespace

std::unique_ptr<KvDecoder> KvOpenMusicFile(const std::string& FileName, bool Loop, std::string& ErrorText) {
  if (!FileExists(FileName)) {
    ErrorText = "File not found...";
    return nullptr;
  }
  const std::string Ext = UpperExtension(FileName);
  if (InList(Ext, ModuleTypes)) return KvOpenModuleDecoder(FileName, Loop, ErrorText);
  if (Ext == ".RAW") return KvOpenRawDecoder(FileName, ErrorText);
  if (InList(Ext, MidiTypes)) return KvOpenMidiDecoder(FileName, Loop, ErrorText);
  if (InList(Ext, StreamTypes)) return KvOpenStreamDecoder(FileName, ErrorText);
  ErrorText = Ext == ".SGT" ? std::string("DirectMusic segments (.SGT) are not supported by this player...")
                            : std::string("File type not supported...");
  return nullptr;
}

TSoundKv::TSoundKv(TKelvra* Display, const std::string& FileName, bool Loop) {
  if (KvSoundPlayerVersion < MinFmodVersion)
    Error("Create", "Wrong FMOD version, get the latest at www.fmod.org...");
  // The engine's message, then which file it was about.
  auto FileError = [&](const char* Step, const std::string& Message) { Error(Step, Message + " (" + FileName + ")"); };
  if (!FileExists(FileName)) FileError("Create", "File not found...");
  Window = Display ? Display->Window : 0;

  std::string Text;
  if (SoundCount == 0) {
    if (!KvAudioSetOutput(Text)) Error("FSOUND_SetOutput", Text);
    // (Choosing the driver, FSOUND_SetDriver(0), is the default device; SDL does
    // that when the device is opened, and its result was never looked at.)
    if (!KvAudioSetMixer(Text)) Error("FSOUND_SetMixer", Text);
    if (!KvAudioInit(64, Text) && !KvAudioInit(32, Text) && !KvAudioInit(16, Text))
      Error("FSOUND_Init", "No audio output device could be opened (" + Text +
                               "); start with --no-music to run the show without music...");
  }

  const std::string Ext = UpperExtension(FileName);
  if (InList(Ext, ModuleTypes)) {
    Song = KvMusicStream::Open(FileName, KvMusicKind::Module, Loop, Text);
    if (!Song) FileError("FMUSIC_LoadSong", Text);
  } else if (InList(Ext, MidiTypes)) {
    Song = KvMusicStream::Open(FileName, KvMusicKind::Midi, Loop, Text);
    if (!Song) FileError("FMUSIC_LoadSong", Text);
  } else if (Ext == ".SGT") {
    FileError("FMUSIC_LoadSong", "DirectMusic segments (.SGT) are not supported by this player...");
  } else if (InList(Ext, StreamTypes)) {
    Stream = KvMusicStream::Open(FileName, Ext == ".RAW" ? KvMusicKind::Raw : KvMusicKind::Stream,
                                 Loop, Text);
    if (!Stream) FileError("FSOUND_Stream_OpenFile", Text);
  } else {
    FileError("Create", "File type not supported...");
  }
  ++SoundCount;
  Counted = true;
}

TSoundKv::~TSoundKv() { Release(); }

// Frees the music and, for the last sound object, closes the library. An
// object that failed during its construction was never counted and does not
// uncount itself (Error then closes the library on its own).
void TSoundKv::Release() {
  if (Counted) {
    --SoundCount;
    Counted = false;
  }
  delete Stream;
  delete Song;
  Stream = nullptr;
  Song = nullptr;
  if (SoundCount == 0 && KvAudioLibraryOpen()) KvAudioClose();
}

void TSoundKv::Play() {
  if (Stream)
    Stream->Play();
  else if (Song)
    Song->Play();
}

void TSoundKv::Stop() {
  if (Stream)
    Stream->Stop();
  else if (Song)
    Song->Stop();
}

void TSoundKv::Skip(uint32_t Milliseconds) {
  const size_t Frames = size_t(uint64_t(Milliseconds) * KvMixRate / 1000);
  if (Stream)
    Stream->Skip(Frames);
  else if (Song)
    Song->Skip(Frames);
}

void TSoundKv::Error(const std::string& Step, const std::string& Message) {
  Release();
  // Other sound objects may still be alive: the library goes down anyway,
  // before the program ends.
  if (KvAudioLibraryOpen()) KvAudioClose();
  FatalError(KvErrorLine("[SoundKv]", Step, Message).c_str());
}
