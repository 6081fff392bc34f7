// KvOpenMidiDecoder: Standard MIDI files (".MID") and RIFF MIDI (".RMI",
// the same file inside a RIFF "RMID" wrapper) through FluidSynth with a
// General MIDI soundfont.
//
// The file's structure (header, tracks inside the file) is checked here before
// FluidSynth sees it, because FluidSynth's player parses the file only once it
// is playing and would just fall silent on a damaged one. The synth renders
// straight to 44100 Hz stereo s16 on the decoder thread; no FluidSynth audio
// driver is made. A piece that is not looped ends when its last event has
// played and the last note has died away; a looped one starts again right
// after its last event (MusicStream rewinds it).
//
// Depends on: libfluidsynth, a General MIDI soundfont (MidiSoundFont.h).
#include <fluidsynth.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "../audio/Decoder.h"
#include "MidiSoundFont.h"

namespace {

uint32_t BigEndian32(const uint8_t* P) { return uint32_t(P[0]) << 24 | uint32_t(P[1]) << 16 | uint32_t(P[2]) << 8 | P[3]; }
uint32_t LittleEndian32(const uint8_t* P) { return uint32_t(P[3]) << 24 | uint32_t(P[2]) << 16 | uint32_t(P[1]) << 8 | P[0]; }

// FluidSynth reports through a global log function; the last error of the
// opening thread is kept for the error line, everything else is dropped so
// the show's terminal stays quiet.
thread_local std::string LastFluidError;
void KeepFluidError(int, const char* Message, void*) { LastFluidError = Message ? Message : ""; }
void DropFluidMessage(int, const char*, void*) {}

void SilenceFluidLog() {
  static std::once_flag Once;
  std::call_once(Once, [] {
    fluid_set_log_function(FLUID_PANIC, KeepFluidError, nullptr);
    fluid_set_log_function(FLUID_ERR, KeepFluidError, nullptr);
    fluid_set_log_function(FLUID_WARN, DropFluidMessage, nullptr);
    fluid_set_log_function(FLUID_INFO, DropFluidMessage, nullptr);
    fluid_set_log_function(FLUID_DBG, DropFluidMessage, nullptr);
  });
}

// Longest note tail rendered after the last event of a piece that is not
// looped: notes still sounding after this are cut.
constexpr size_t MaxTailFrames = 5 * KvMixRate;
// FluidSynth's internal block length: its player advances once per block.
constexpr size_t SynthBlock = 64;
// Largest sample of a block that counts as silence (FluidSynth dithers its
// 16-bit output by about one step).
constexpr int SilentPeak = 4;
// FluidSynth's default gain (0.2) leaves a single instrument very quiet next
// to the other music types; 0.5 still leaves room for many voices at once.
constexpr double SynthGain = 0.5;

class KvFluidDecoder : public KvDecoder {
 public:
  KvFluidDecoder(std::vector<uint8_t> Midi, bool Loop) : Smf(std::move(Midi)), Looped(Loop) {}
  ~KvFluidDecoder() override {
    if (Player) delete_fluid_player(Player);
    if (Synth) delete_fluid_synth(Synth);
    if (Settings) delete_fluid_settings(Settings);
  }

  bool Open(const std::string& SoundFont, std::string& ErrorText) {
    LastFluidError.clear();
    Settings = new_fluid_settings();
    if (!Settings) return Fail("FluidSynth could not make its settings", ErrorText);
    fluid_settings_setnum(Settings, "synth.sample-rate", double(KvMixRate));
    fluid_settings_setnum(Settings, "synth.gain", SynthGain);
    Synth = new_fluid_synth(Settings);
    if (!Synth) return Fail("FluidSynth could not make a synthesizer", ErrorText);
    if (fluid_synth_sfload(Synth, SoundFont.c_str(), 1) == FLUID_FAILED)
      return Fail("the soundfont " + SoundFont + " could not be loaded", ErrorText);
    return StartPlayer(ErrorText);
  }

  // Renders in steps of the synth's own block, so the end of the piece is
  // found to the block, not to the caller's chunk.
  size_t Decode(int16_t* Out, size_t MaxFrames) override {
    size_t Done = 0;
    while (Done < MaxFrames && !Ended) {
      const size_t Step = std::min(MaxFrames - Done, SynthBlock);
      if (!PieceOver && PlayedToEnd()) PieceOver = true;
      // A looped piece starts again at once: no tail (the caller rewinds).
      if (PieceOver && Looped) break;
      if (PieceOver && (Tail >= MaxTailFrames || fluid_synth_get_active_voice_count(Synth) == 0)) {
        Ended = true;
        break;
      }
      int16_t* Block = Out + Done * 2;
      if (fluid_synth_write_s16(Synth, int(Step), Block, 0, 2, Block, 1, 2) != FLUID_OK) {
        Ended = true;
        break;
      }
      if (PieceOver) {
        // Released voices stay counted long after they are inaudible; a
        // block at the level of the output's dither ends the piece.
        Tail += Step;
        int Peak = 0;
        for (size_t I = 0; I < Step * 2; ++I) Peak = std::max(Peak, std::abs(int(Block[I])));
        if (Peak <= SilentPeak) {
          Ended = true;
          break;
        }
      }
      Done += Step;
    }
    return Done;
  }

  // A new player on the kept bytes: FluidSynth's own seek is applied only
  // while a player is still running, and a finished one may not be.
  bool Rewind() override {
    delete_fluid_player(Player);
    Player = nullptr;
    fluid_synth_system_reset(Synth);
    Tail = 0;
    PieceOver = Ended = false;
    std::string Ignored;
    return StartPlayer(Ignored);
  }

 private:
  bool StartPlayer(std::string& ErrorText) {
    Player = new_fluid_player(Synth);
    if (!Player) return Fail("FluidSynth could not make a MIDI player", ErrorText);
    if (fluid_player_add_mem(Player, Smf.data(), Smf.size()) != FLUID_OK)
      return Fail("FluidSynth did not take the MIDI data", ErrorText);
    fluid_player_set_loop(Player, 1);
    if (fluid_player_play(Player) != FLUID_OK) return Fail("FluidSynth could not start the MIDI player", ErrorText);
    return true;
  }

  // FluidSynth's player reports itself done only seconds after the last
  // event; the tick count says it first.
  bool PlayedToEnd() {
    if (fluid_player_get_status(Player) == FLUID_PLAYER_DONE) return true;
    const int Total = fluid_player_get_total_ticks(Player);
    return Total > 0 && fluid_player_get_current_tick(Player) >= Total;
  }

  bool Fail(const std::string& What, std::string& ErrorText) {
    ErrorText = What;
    if (!LastFluidError.empty()) ErrorText += " (" + LastFluidError + ")";
    return false;
  }

  std::vector<uint8_t> Smf;
  const bool Looped;
  fluid_settings_t* Settings = nullptr;
  fluid_synth_t* Synth = nullptr;
  fluid_player_t* Player = nullptr;
  size_t Tail = 0;  // frames rendered after the player finished
  bool PieceOver = false;  // the last event has played
  bool Ended = false;      // and, unless looped, the notes have died away
};

}  // namespace

bool KvUnwrapMidi(const std::vector<uint8_t>& File, std::vector<uint8_t>& Smf, std::string& ErrorText) {
  const uint8_t* Begin = File.data();
  size_t Size = File.size();
  if (Size >= 4 && std::memcmp(Begin, "RIFF", 4) == 0) {
    if (Size < 12 || std::memcmp(Begin + 8, "RMID", 4) != 0) {
      ErrorText = "RIFF file is not RIFF MIDI (no RMID form)";
      return false;
    }
    // Chunks after the form type; each is padded to an even length.
    size_t At = 12;
    bool Found = false;
    while (At + 8 <= Size) {
      const uint32_t Length = LittleEndian32(Begin + At + 4);
      if (Length > Size - At - 8) break;
      if (std::memcmp(Begin + At, "data", 4) == 0) {
        Begin += At + 8;
        Size = Length;
        Found = true;
        break;
      }
      At += 8 + size_t(Length) + (Length & 1);
    }
    if (!Found) {
      ErrorText = "RIFF MIDI file holds no complete data chunk";
      return false;
    }
  }
  if (Size < 14 || std::memcmp(Begin, "MThd", 4) != 0) {
    ErrorText = "Not a MIDI file (no MThd header)";
    return false;
  }
  const uint32_t HeaderLength = BigEndian32(Begin + 4);
  const unsigned Format = unsigned(Begin[8]) << 8 | Begin[9];
  const unsigned Division = unsigned(Begin[12]) << 8 | Begin[13];
  if (HeaderLength < 6 || HeaderLength > Size - 8 || Format > 2 || Division == 0) {
    ErrorText = "Damaged MIDI header";
    return false;
  }
  // Every chunk must lie inside the file and at least one must be a track.
  size_t At = 8 + size_t(HeaderLength);
  int Tracks = 0;
  while (At < Size) {
    if (Size - At < 8 || BigEndian32(Begin + At + 4) > Size - At - 8) {
      ErrorText = "Truncated MIDI file (a chunk runs past the end)";
      return false;
    }
    if (std::memcmp(Begin + At, "MTrk", 4) == 0) ++Tracks;
    At += 8 + size_t(BigEndian32(Begin + At + 4));
  }
  if (Tracks == 0) {
    ErrorText = "MIDI file has no track";
    return false;
  }
  Smf.assign(Begin, Begin + Size);
  return true;
}

std::unique_ptr<KvDecoder> KvOpenMidiDecoder(const std::string& FileName, bool Loop, std::string& ErrorText) {
  std::vector<uint8_t> File;
  if (!KvReadWholeFile(FileName, File, ErrorText)) return nullptr;
  std::vector<uint8_t> Smf;
  if (!KvUnwrapMidi(File, Smf, ErrorText)) return nullptr;
  const std::string SoundFont = KvFindSoundFont(KvSoundFontCandidates());
  if (SoundFont.empty()) {
    ErrorText = KvMissingSoundFontText();
    return nullptr;
  }
  SilenceFluidLog();
  auto Decoder = std::make_unique<KvFluidDecoder>(std::move(Smf), Loop);
  if (!Decoder->Open(SoundFont, ErrorText)) return nullptr;
  return Decoder;
}
