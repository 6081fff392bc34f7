// KvDecoder: turns one music file into 44100 Hz stereo 16-bit frames.
//
// Public (<kelvra/audio/Decoder.h>): for programs that want the music's
// samples rather than its playback (the show's recorder, through
// KvOpenMusicFile). TSoundKv plays through the same decoders.
//
//   KvOpenRawDecoder     ".RAW": headerless 16-bit stereo 44100 Hz little-endian PCM
//   KvOpenStreamDecoder  sampled files through FFmpeg (libavformat, libavcodec,
//                        libswresample)
//   KvOpenModuleDecoder  tracker modules through libopenmpt
//   KvOpenMidiDecoder    MIDI files (plain or in a RIFF wrapper) through FluidSynth
//
// Every opener does all of its checking up front (file read, probe, codec
// open, first frame decoded) so that a bad file is reported when the music
// object is made, never later on the decoder thread. On failure they return
// null and put the library's own description of the failure in ErrorText.
// A decoder is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

constexpr int KvMixRate = 44100;   // every decoder delivers this rate
constexpr int KvMixChannels = 2;   // interleaved left, right
// Sample rates a sampled file may have (the stream decoder refuses others).
constexpr int KvMinStreamRate = 1000;
constexpr int KvMaxStreamRate = 768000;

class KvDecoder {
 public:
  virtual ~KvDecoder() = default;
  // Writes at most MaxFrames frames to Out (2 * MaxFrames samples); returns the
  // number written, 0 only at the end of the music. A damaged stretch in the
  // middle is skipped, not reported.
  virtual size_t Decode(int16_t* Out, size_t MaxFrames) = 0;
  // Back to the first frame; false when that is impossible (the music then
  // simply ends).
  virtual bool Rewind() = 0;
};

// The whole file, or false with the system's reason in ErrorText.
bool KvReadWholeFile(const std::string& FileName, std::vector<uint8_t>& Data, std::string& ErrorText);

std::unique_ptr<KvDecoder> KvOpenRawDecoder(const std::string& FileName, std::string& ErrorText);
std::unique_ptr<KvDecoder> KvOpenStreamDecoder(const std::string& FileName, std::string& ErrorText);
// Loop true makes the module repeat forever (the module's own restart
// position decides where it continues); false ends it after one pass.
std::unique_ptr<KvDecoder> KvOpenModuleDecoder(const std::string& FileName, bool Loop,
                                               std::string& ErrorText);
// The same over a file's bytes in memory (the fuzz targets' way in).
std::unique_ptr<KvDecoder> KvOpenStreamDecoder(std::vector<uint8_t> Bytes, std::string& ErrorText);
std::unique_ptr<KvDecoder> KvOpenModuleDecoder(const std::vector<uint8_t>& Bytes, bool Loop,
                                               std::string& ErrorText);
// Loop as for modules. Fails when the file is not MIDI, is damaged, or no
// General MIDI soundfont is installed (MidiSoundFont.h).
std::unique_ptr<KvDecoder> KvOpenMidiDecoder(const std::string& FileName, bool Loop, std::string& ErrorText);

// A Standard MIDI File from File: File itself, or the "data" chunk of a RIFF
// "RMID" wrapper. Checks the header, that every chunk lies inside the file
// and that one of them is a track; false with a reason otherwise.
bool KvUnwrapMidi(const std::vector<uint8_t>& File, std::vector<uint8_t>& Smf, std::string& ErrorText);

// The music types, told apart by the file's extension (MusicFile.cpp holds
// the lists): the one place that TSoundKv and KvOpenMusicFile ask. Segment
// is DirectMusic's ".SGT", known and refused.
enum class KvMusicKind { Raw, Stream, Module, Midi, Segment, Unknown };
KvMusicKind KvMusicKindOf(const std::string& FileName);
// The decoder for a file of a playable kind (Raw, Stream, Module or Midi).
std::unique_ptr<KvDecoder> KvOpenDecoder(const std::string& FileName, KvMusicKind Kind, bool Loop,
                                         std::string& ErrorText);

// The decoder the player uses for FileName, chosen as TSoundKv chooses it:
// for programs that want the music's samples rather than playback (the
// show's recorder).
std::unique_ptr<KvDecoder> KvOpenMusicFile(const std::string& FileName, bool Loop, std::string& ErrorText);

// An existing file that is not a folder.
bool KvMusicFileExists(const std::string& FileName);
