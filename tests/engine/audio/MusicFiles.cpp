// Music files for the sound tests (see MusicFiles.h).
#include "MusicFiles.h"

#include <lame/lame.h>

#include <cmath>
#include <random>
#include <stdexcept>

namespace soundtest {

namespace {

void Put16(std::string& S, uint32_t V) {
  S += static_cast<char>(V & 0xFF);
  S += static_cast<char>((V >> 8) & 0xFF);
}
void Put32(std::string& S, uint32_t V) {
  Put16(S, V & 0xFFFF);
  Put16(S, V >> 16);
}
void Put16BigEndian(std::string& S, uint32_t V) {
  S += static_cast<char>((V >> 8) & 0xFF);
  S += static_cast<char>(V & 0xFF);
}

}  // namespace

namespace {
void Put32BigEndian(std::string& S, uint32_t V) {
  Put16BigEndian(S, V >> 16);
  Put16BigEndian(S, V & 0xFFFF);
}
}  // namespace

std::string MidiBytes() {
  std::string Track;
  // delta 0: tempo 500000 us per quarter (FF 51 03), piano, note on C4.
  Track += std::string("\x00\xFF\x51\x03\x07\xA1\x20", 7);
  Track += std::string("\x00\xC0\x00", 3);
  Track += std::string("\x00\x90\x3C\x64", 4);
  // delta 480 as a variable-length quantity (0x83 0x60): note off.
  Track += std::string("\x83\x60\x80\x3C\x40", 5);
  // delta 480: end of track (FF 2F 00).
  Track += std::string("\x83\x60\xFF\x2F\x00", 5);
  std::string S = "MThd";
  Put32BigEndian(S, 6);
  Put16BigEndian(S, 0);    // format 0
  Put16BigEndian(S, 1);    // one track
  Put16BigEndian(S, 480);  // ticks per quarter note
  S += "MTrk";
  Put32BigEndian(S, uint32_t(Track.size()));
  return S + Track;
}

std::string RmiBytes(const std::string& Smf) {
  std::string Body = "RMID";
  Body += "LIST";
  Put32(Body, 5);
  Body += std::string("INFOx", 5) + '\0';  // odd length, one pad byte
  Body += "data";
  Put32(Body, uint32_t(Smf.size()));
  Body += Smf;
  if (Smf.size() & 1) Body += '\0';
  std::string S = "RIFF";
  Put32(S, uint32_t(Body.size()));
  return S + Body;
}

std::vector<int16_t> NoisePcm(size_t Frames, int Channels, uint32_t Seed) {
  std::mt19937 Gen(Seed);
  std::uniform_int_distribution<int> Dist(-32768, 32767);
  std::vector<int16_t> Pcm(Frames * static_cast<size_t>(Channels));
  for (int16_t& S : Pcm) S = static_cast<int16_t>(Dist(Gen));
  return Pcm;
}

std::vector<int16_t> SinePcm(size_t Frames, double Hz, double Amplitude, int Rate) {
  std::vector<int16_t> Pcm(Frames * 2);
  for (size_t I = 0; I < Frames; ++I) {
    const double V = Amplitude * std::sin(2.0 * M_PI * Hz * static_cast<double>(I) / Rate);
    Pcm[I * 2] = Pcm[I * 2 + 1] = static_cast<int16_t>(std::lround(V));
  }
  return Pcm;
}

std::string RawBytes(const std::vector<int16_t>& Pcm) {
  std::string S;
  for (int16_t V : Pcm) Put16(S, static_cast<uint16_t>(V));
  return S;
}

std::string WavBytes(const std::vector<int16_t>& Pcm, int Channels, int Rate) {
  const uint32_t DataSize = static_cast<uint32_t>(Pcm.size() * 2);
  std::string S = "RIFF";
  Put32(S, 36 + DataSize);
  S += "WAVEfmt ";
  Put32(S, 16);
  Put16(S, 1);  // PCM
  Put16(S, static_cast<uint32_t>(Channels));
  Put32(S, static_cast<uint32_t>(Rate));
  Put32(S, static_cast<uint32_t>(Rate * Channels * 2));  // bytes per second
  Put16(S, static_cast<uint32_t>(Channels * 2));         // block align
  Put16(S, 16);
  S += "data";
  Put32(S, DataSize);
  return S + RawBytes(Pcm);
}

std::string Mp3Bytes(const std::vector<int16_t>& StereoPcm, int Rate) {
  lame_global_flags* Lame = lame_init();
  lame_set_in_samplerate(Lame, Rate);
  lame_set_out_samplerate(Lame, Rate);
  lame_set_num_channels(Lame, 2);
  lame_set_brate(Lame, 128);
  lame_set_bWriteVbrTag(Lame, 1);  // the info frame carries delay and padding
  if (lame_init_params(Lame) < 0) throw std::runtime_error("lame_init_params");
  const int Frames = static_cast<int>(StereoPcm.size() / 2);
  std::vector<unsigned char> Out(static_cast<size_t>(Frames) * 5 / 4 + 7200 + 16384);
  int Size = lame_encode_buffer_interleaved(Lame, const_cast<short*>(StereoPcm.data()), Frames,
                                            Out.data(), static_cast<int>(Out.size()));
  if (Size < 0) throw std::runtime_error("lame_encode_buffer_interleaved");
  const int Tail = lame_encode_flush(Lame, Out.data() + Size, static_cast<int>(Out.size()) - Size);
  if (Tail < 0) throw std::runtime_error("lame_encode_flush");
  Size += Tail;
  // The encoder left room for the info frame at the start; fill it in.
  unsigned char Tag[4096];
  const size_t TagSize = lame_get_lametag_frame(Lame, Tag, sizeof(Tag));
  if (TagSize > 0 && TagSize <= static_cast<size_t>(Size)) std::copy(Tag, Tag + TagSize, Out.begin());
  lame_close(Lame);
  return std::string(Out.begin(), Out.begin() + Size);
}

std::string ModBytes() {
  std::string S(20, '\0');
  S.replace(0, 9, "sound.mod");
  // Sample 1: 64 bytes (32 words), full volume, looped over its whole length.
  std::string Header(22, '\0');
  Header.replace(0, 6, "square");
  Put16BigEndian(Header, 32);  // length in words
  Header += '\0';              // finetune
  Header += static_cast<char>(64);
  Put16BigEndian(Header, 0);   // loop start
  Put16BigEndian(Header, 32);  // loop length
  S += Header;
  for (int I = 1; I < 31; ++I) {
    std::string Empty(30, '\0');
    Empty[29] = 1;  // loop length 1 word: the "no loop" of ProTracker
    S += Empty;
  }
  S += static_cast<char>(1);    // one order
  S += static_cast<char>(127);  // restart byte (unused)
  S += std::string(128, '\0');  // order table: pattern 0
  S += "M.K.";
  // Pattern 0: row 0, channel 1: period 428, sample 1, effect F01 (speed 1).
  std::string Pattern(64 * 4 * 4, '\0');
  const int Period = 428;
  const int Sample = 1;
  Pattern[0] = static_cast<char>((Sample & 0xF0) | (Period >> 8));
  Pattern[1] = static_cast<char>(Period & 0xFF);
  Pattern[2] = static_cast<char>(((Sample & 0x0F) << 4) | 0xF);
  Pattern[3] = 0x01;
  S += Pattern;
  for (int I = 0; I < 64; ++I) S += static_cast<char>(I < 32 ? 100 : -100);
  return S;
}

}  // namespace soundtest
