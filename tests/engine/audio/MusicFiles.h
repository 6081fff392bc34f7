// Music files made by the tests themselves: WAV and RAW written byte by byte,
// MP3 through libmp3lame, a one-pattern ProTracker module with a synthesized
// sample.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace soundtest {

// Interleaved 16-bit frames from a seeded generator (Channels per frame).
std::vector<int16_t> NoisePcm(size_t Frames, int Channels, uint32_t Seed);
// A sine of Hz at Amplitude, the same on both channels (stereo).
std::vector<int16_t> SinePcm(size_t Frames, double Hz, double Amplitude, int Rate = 44100);

// RIFF WAVE, PCM 16-bit, the header written field by field.
std::string WavBytes(const std::vector<int16_t>& Pcm, int Channels, int Rate);
// Headerless little-endian 16-bit samples.
std::string RawBytes(const std::vector<int16_t>& Pcm);
// MP3 at 128 kbit/s with the encoder's gapless information frame.
std::string Mp3Bytes(const std::vector<int16_t>& StereoPcm, int Rate = 44100);

// A four-channel ProTracker module ("M.K."): one order, one pattern of 64
// rows, speed set to 1 tick per row on row 0 at the default tempo 125, and a
// looped square-wave sample started on channel 1, row 0. At 44100 Hz a tick
// lasts 44100 * 2.5 / 125 = 882 frames, so one pass is 64 * 882 frames.
std::string ModBytes();
constexpr size_t ModFramesPerPass = 64 * 882;

// A one-track Standard MIDI File (format 0, 480 ticks per quarter, 120 beats
// per minute, so a tick is 1/960 s): piano (program 0) holds middle C at
// velocity 100 from tick 0 to MidiNoteTicks, then rests until the end of
// track at MidiLengthTicks.
constexpr uint32_t MidiNoteTicks = 480;    // 0.5 s
constexpr uint32_t MidiLengthTicks = 960;  // 1.0 s
std::string MidiBytes();
// Smf inside a RIFF "RMID" wrapper, after an odd-sized "LIST" chunk (so the
// reader must skip a chunk and its pad byte).
std::string RmiBytes(const std::string& Smf);

}  // namespace soundtest
