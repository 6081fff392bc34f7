// Decoding and playback: files the tests write themselves go through the
// decoders, the decoder thread, the ring and the mixer; the mixer is pulled
// by hand (the dummy SDL device plays silence meanwhile), so every frame that
// would reach the sound card is checked.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <chrono>
#include <random>
#include <thread>

#include "KvTest.h"
#include "MusicFiles.h"
#include "engine/core/Sound.h"
#include "engine/audio/AudioOutput.h"
#include "engine/audio/Decoder.h"
#include "engine/music/MidiSoundFont.h"
#include "engine/audio/MusicStream.h"
#include "engine/audio/RingBuffer.h"

namespace {

using soundtest::ModFramesPerPass;

// Everything a decoder gives until its end (at most Limit frames).
std::vector<int16_t> DecodeAll(KvDecoder& D, size_t Limit = 10'000'000) {
  std::vector<int16_t> Out;
  std::vector<int16_t> Chunk(3000 * 2);
  size_t N;
  while (Out.size() / 2 < Limit && (N = D.Decode(Chunk.data(), 3000)) > 0)
    Out.insert(Out.end(), Chunk.begin(), Chunk.begin() + N * 2);
  return Out;
}

bool Silent(const int16_t* P, size_t Samples) {
  for (size_t I = 0; I < Samples; ++I)
    if (P[I] != 0) return false;
  return true;
}

double Rms(const std::vector<int16_t>& P, size_t From, size_t To) {
  double Sum = 0;
  for (size_t I = From; I < To; ++I) Sum += double(P[I]) * P[I];
  return std::sqrt(Sum / double(To - From));
}

// One pass of the test module: the square wave sounds through all 64 rows,
// then libopenmpt's end-of-song fade (a fifth of a second at most) brings it
// down instead of cutting it off with a click.
void ExpectOnePassAndFade(const std::vector<int16_t>& Out) {
  const size_t Frames = Out.size() / 2;
  ASSERT_GE(Frames, ModFramesPerPass);
  EXPECT_LE(Frames, ModFramesPerPass + 44100 / 5);
  const size_t Half = ModFramesPerPass;  // in samples: the first half of the pass
  EXPECT_GT(Rms(Out, 0, Half), 1000.0);
  EXPECT_GT(Rms(Out, Half, ModFramesPerPass * 2), 1000.0);
  if (Frames > ModFramesPerPass + 200) {
    EXPECT_LT(Rms(Out, Out.size() - 200, Out.size()), Rms(Out, 0, Half) / 2);
  }
}

class SoundPlaybackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    KvAudioSetDeviceMixing(false);
    Dir = kvtest::MakeTempDir("soundplay");
  }
  void TearDown() override { KvAudioSetDeviceMixing(true); }

  std::string Write(const std::string& Name, const std::string& Bytes) {
    kvtest::WriteFile(Dir + "/" + Name, Bytes);
    return Dir + "/" + Name;
  }

  // Pulls the mixer until Frames frames were delivered or the music ended.
  // Only delivered frames are kept: the decoder is waited for before every
  // block, so an underrun on a slow machine does not count as music.
  std::vector<int16_t> Pull(KvMusicStream* S, size_t Frames) {
    std::vector<int16_t> Out;
    int16_t Block[1024 * 2];
    int EmptyPulls = 0;  // a stream that never says it finished must not hang the test
    while (Out.size() / 2 < Frames && !S->Finished() && EmptyPulls < 100) {
      const size_t Want = std::min<size_t>(1024, Frames - Out.size() / 2);
      EXPECT_TRUE(S->WaitBuffered(Want, 10000));
      const size_t Got = KvAudioMixForTest(Block, Want);
      EXPECT_TRUE(Silent(Block + Got * 2, (Want - Got) * 2));
      Out.insert(Out.end(), Block, Block + Got * 2);
      if (Got == 0 && !S->Playing()) break;
      EmptyPulls = Got == 0 ? EmptyPulls + 1 : 0;
    }
    return Out;
  }

  std::string Dir;
};

TEST(SoundRingTest, FramesComeOutInOrderAcrossTheWrap) {
  KvRingBuffer Ring(1000);
  EXPECT_EQ(Ring.Capacity(), 1024u);
  std::mt19937 Gen(7);
  std::vector<int16_t> In = soundtest::NoisePcm(50000, 2, 3), Out;
  size_t Written = 0;
  std::vector<int16_t> Buf(700 * 2);
  while (Out.size() < In.size()) {
    const size_t W = std::min<size_t>(Gen() % 700, In.size() / 2 - Written);
    const size_t Free = Ring.FreeFrames();
    const size_t Put = Ring.Write(In.data() + Written * 2, W);
    EXPECT_EQ(Put, std::min(W, Free));
    Written += Put;
    const size_t R = Ring.Read(Buf.data(), Gen() % 700);
    Out.insert(Out.end(), Buf.begin(), Buf.begin() + R * 2);
  }
  EXPECT_EQ(Out, In);
  EXPECT_EQ(Ring.Read(Buf.data(), 10), 0u);
}

TEST(SoundDecoderTest, RawAndWavDecodeToTheirExactSamples) {
  const std::string Dir = kvtest::MakeTempDir("sounddec");
  const std::vector<int16_t> Pcm = soundtest::NoisePcm(20000, 2, 11);
  std::string Error;
  // RAW: a three-byte tail is no whole frame and is dropped.
  kvtest::WriteFile(Dir + "/a.raw", soundtest::RawBytes(Pcm) + "abc");
  auto Raw = KvOpenRawDecoder(Dir + "/a.raw", Error);
  ASSERT_TRUE(Raw) << Error;
  EXPECT_EQ(DecodeAll(*Raw), Pcm);
  ASSERT_TRUE(Raw->Rewind());
  EXPECT_EQ(DecodeAll(*Raw), Pcm);

  kvtest::WriteFile(Dir + "/a.wav", soundtest::WavBytes(Pcm, 2, 44100));
  auto Wav = KvOpenStreamDecoder(Dir + "/a.wav", Error);
  ASSERT_TRUE(Wav) << Error;
  EXPECT_EQ(DecodeAll(*Wav), Pcm);
  ASSERT_TRUE(Wav->Rewind());
  EXPECT_EQ(DecodeAll(*Wav), Pcm);
}

TEST(SoundDecoderTest, MonoAt22050IsResampledToStereo44100) {
  const std::string Dir = kvtest::MakeTempDir("sounddec");
  // 1 s of a 441 Hz mono sine at 22050 Hz.
  std::vector<int16_t> Mono(22050);
  for (size_t I = 0; I < Mono.size(); ++I)
    Mono[I] = static_cast<int16_t>(std::lround(10000 * std::sin(2 * M_PI * 441 * double(I) / 22050)));
  kvtest::WriteFile(Dir + "/m.wav", soundtest::WavBytes(Mono, 1, 22050));
  std::string Error;
  auto D = KvOpenStreamDecoder(Dir + "/m.wav", Error);
  ASSERT_TRUE(D) << Error;
  const std::vector<int16_t> Out = DecodeAll(*D);
  // Twice as many frames, give or take the resampler's filter edge.
  EXPECT_NEAR(double(Out.size() / 2), 44100.0, 64.0);
  size_t Crossings = 0;
  for (size_t I = 2; I < Out.size(); I += 2) {
    EXPECT_EQ(Out[I], Out[I + 1]);  // the same on both channels
    if ((Out[I - 2] < 0) != (Out[I] < 0)) ++Crossings;
  }
  EXPECT_NEAR(double(Crossings), 882.0, 4.0);  // 441 periods, two crossings each
}

// A closed decoder's resampler serves the next decoder on the thread, set
// up again for its rates: what comes out must not depend on what was
// decoded before (a half-converted tail, another rate's filter).
TEST(SoundDecoderTest, ResamplerHandedOnGivesWhatAFreshOneGives) {
  const std::string Dir = kvtest::MakeTempDir("sounddec");
  kvtest::WriteFile(Dir + "/a.wav", soundtest::WavBytes(soundtest::NoisePcm(9000, 1, 3), 1, 22050));
  kvtest::WriteFile(Dir + "/b.wav", soundtest::WavBytes(soundtest::NoisePcm(7000, 2, 4), 2, 48000));
  std::string Error;
  auto DecodeFile = [&](const std::string& Name, bool Partly) {
    auto D = KvOpenStreamDecoder(Dir + "/" + Name, Error);
    EXPECT_TRUE(D) << Error;
    if (!D) return std::vector<int16_t>();
    if (Partly) {  // stop in the middle, with the resampler holding a tail
      int16_t Some[333 * 2];
      D->Decode(Some, 333);
      return std::vector<int16_t>();
    }
    return DecodeAll(*D);
  };
  const std::vector<int16_t> A = DecodeFile("a.wav", false);
  ASSERT_GT(A.size(), 30000u);
  EXPECT_EQ(DecodeFile("a.wav", false), A);  // the same rates again
  DecodeFile("a.wav", true);
  EXPECT_EQ(DecodeFile("a.wav", false), A);  // after one left half-way
  const std::vector<int16_t> B = DecodeFile("b.wav", false);
  EXPECT_EQ(DecodeFile("a.wav", false), A);  // after other rates
  DecodeFile("a.wav", true);
  EXPECT_EQ(DecodeFile("b.wav", false), B);
}

TEST(SoundDecoderTest, Mp3DecodesToTheEncodedLengthAndTone) {
  const std::string Dir = kvtest::MakeTempDir("sounddec");
  const std::vector<int16_t> Sine = soundtest::SinePcm(44100, 1000.0, 12000.0);
  kvtest::WriteFile(Dir + "/s.mp3", soundtest::Mp3Bytes(Sine));
  std::string Error;
  auto D = KvOpenStreamDecoder(Dir + "/s.mp3", Error);
  ASSERT_TRUE(D) << Error;
  const std::vector<int16_t> Out = DecodeAll(*D);
  // The encoder's delay and padding are in the info frame: FFmpeg trims them.
  EXPECT_EQ(Out.size(), Sine.size());
  ASSERT_GE(Out.size(), Sine.size() / 2);
  const size_t From = 4410 * 2, To = Out.size() - 4410 * 2;
  EXPECT_NEAR(Rms(Out, From, To), 12000.0 / std::sqrt(2.0), 600.0);
  // The decoded tone lines up with the original sample for sample.
  double Err = 0;
  for (size_t I = From; I < To; ++I) Err += double(Out[I] - Sine[I]) * (Out[I] - Sine[I]);
  EXPECT_LT(std::sqrt(Err / double(To - From)), 600.0);
}

TEST(SoundDecoderTest, DamagedMp3MiddleIsSkippedNotTheRest) {
  const std::string Dir = kvtest::MakeTempDir("sounddec");
  const std::vector<int16_t> Sine = soundtest::SinePcm(44100 * 2, 1000.0, 12000.0);
  std::string Bytes = soundtest::Mp3Bytes(Sine);
  // About a tenth of the file, in the middle, overwritten with noise.
  std::mt19937 Gen(5);
  const size_t From = Bytes.size() / 2, Len = Bytes.size() / 10;
  for (size_t I = From; I < From + Len; ++I) Bytes[I] = static_cast<char>(Gen());
  kvtest::WriteFile(Dir + "/d.mp3", Bytes);
  std::string Error;
  auto D = KvOpenStreamDecoder(Dir + "/d.mp3", Error);
  ASSERT_TRUE(D) << Error;
  const std::vector<int16_t> Out = DecodeAll(*D);
  // Most of the music survives, including the part after the damage.
  EXPECT_GT(Out.size(), Sine.size() * 3 / 4);
  EXPECT_LE(Out.size(), Sine.size() + 1152 * 2);
  EXPECT_NEAR(Rms(Out, Out.size() - 8820, Out.size() - 2000), 12000.0 / std::sqrt(2.0), 1200.0);
}

TEST(SoundDecoderTest, ModuleRendersOnePassThenEnds) {
  const std::string Dir = kvtest::MakeTempDir("sounddec");
  kvtest::WriteFile(Dir + "/t.mod", soundtest::ModBytes());
  std::string Error;
  auto Once = KvOpenModuleDecoder(Dir + "/t.mod", false, Error);
  ASSERT_TRUE(Once) << Error;
  const std::vector<int16_t> Out = DecodeAll(*Once);
  ExpectOnePassAndFade(Out);

  auto Looped = KvOpenModuleDecoder(Dir + "/t.mod", true, Error);
  ASSERT_TRUE(Looped) << Error;
  const std::vector<int16_t> Long = DecodeAll(*Looped, ModFramesPerPass * 3);
  ASSERT_GE(Long.size() / 2, ModFramesPerPass * 3);
  EXPECT_GT(Rms(Long, ModFramesPerPass * 4, ModFramesPerPass * 6), 1000.0);
}

TEST(SoundDecoderTest, MidiFilesAreCheckedBeforeFluidSynthSeesThem) {
  const std::string Smf = soundtest::MidiBytes();
  const auto Bytes = [](const std::string& S) { return std::vector<uint8_t>(S.begin(), S.end()); };
  std::vector<uint8_t> Out;
  std::string Error;
  ASSERT_TRUE(KvUnwrapMidi(Bytes(Smf), Out, Error)) << Error;
  EXPECT_EQ(Out, Bytes(Smf));
  // Odd and even data lengths, behind a padded chunk.
  for (const std::string& Inner : {Smf, Smf + std::string("MTrk\0\0\0\0", 8) + "x"}) {
    const std::string Wrapped = soundtest::RmiBytes(Inner);
    const bool Whole = Inner.size() == Smf.size();
    EXPECT_EQ(KvUnwrapMidi(Bytes(Wrapped), Out, Error), Whole) << Error;
    if (Whole) {
      EXPECT_EQ(Out, Bytes(Smf));
    }
  }
  const std::string Header = Smf.substr(0, 14);
  const std::string NoData = "RIFF\x04\0\0\0RMID";
  for (const std::string& Bad : {Smf.substr(0, Smf.size() - 1), Header, Header + "MTr", NoData,
                                 soundtest::RmiBytes(Smf).substr(0, 40), std::string("RIFF\x04\0\0\0WAVE", 12),
                                 std::string(100, 'x'), std::string()}) {
    SCOPED_TRACE(Bad.size());
    Error.clear();
    EXPECT_FALSE(KvUnwrapMidi(Bytes(Bad), Out, Error));
    EXPECT_FALSE(Error.empty());
  }
}

TEST(SoundDecoderTest, MidiAndRmiRenderTheSameNoteThenEnd) {
  ASSERT_FALSE(KvFindSoundFont(KvSoundFontCandidates()).empty())
      << "no General MIDI soundfont installed (scripts/install-deps.sh installs timgm6mb-soundfont)";
  const std::string Dir = kvtest::MakeTempDir("sounddec");
  kvtest::WriteFile(Dir + "/t.mid", soundtest::MidiBytes());
  kvtest::WriteFile(Dir + "/t.rmi", soundtest::RmiBytes(soundtest::MidiBytes()));
  std::string Error;
  auto Mid = KvOpenMidiDecoder(Dir + "/t.mid", false, Error);
  ASSERT_TRUE(Mid) << Error;
  auto Rmi = KvOpenMidiDecoder(Dir + "/t.rmi", false, Error);
  ASSERT_TRUE(Rmi) << Error;
  const std::vector<int16_t> Out = DecodeAll(*Mid);
  EXPECT_EQ(DecodeAll(*Rmi), Out);
  // The piece lasts 1 s; the note's release may ring on a little after it.
  const size_t Frames = Out.size() / 2;
  EXPECT_GE(Frames, size_t(44100 * 0.99));
  EXPECT_LE(Frames, size_t(44100 * 3));
  const double Note = Rms(Out, 2 * 2205, 2 * 19845);  // 0.05 .. 0.45 s
  EXPECT_GT(Note, 500.0);
  EXPECT_LT(Rms(Out, Out.size() - 2 * 2205, Out.size()), Note / 20);
  // Rewound, it plays again (the reverb's state carries over, so the
  // samples are not bit for bit the first pass).
  ASSERT_TRUE(Mid->Rewind());
  const std::vector<int16_t> Again = DecodeAll(*Mid);
  EXPECT_NEAR(double(Again.size()), double(Out.size()), 4096.0 * 2);
  EXPECT_NEAR(Rms(Again, 2 * 2205, 2 * 19845), Note, Note * 0.02);
}

TEST_F(SoundPlaybackTest, TwoObjectsShareOneLibraryUntilBothAreGone) {
  const std::string A = Write("a.wav", soundtest::WavBytes(soundtest::NoisePcm(500, 2, 1), 2, 44100));
  const std::string B = Write("b.MOD", soundtest::ModBytes());
  for (bool FirstGoesFirst : {true, false}) {
    SCOPED_TRACE(FirstGoesFirst);
    const uint32_t Setups = KvAudioLibrarySetups();
    ASSERT_FALSE(KvAudioLibraryOpen());
    auto* First = new TSoundKv(nullptr, A, false);
    EXPECT_TRUE(KvAudioLibraryOpen());
    EXPECT_EQ(KvAudioLibrarySetups(), Setups + 1);
    EXPECT_EQ(KvAudioVoiceCount(), 64);
    EXPECT_NE(First->Stream, nullptr);
    EXPECT_EQ(First->Song, nullptr);
    auto* Second = new TSoundKv(nullptr, B, true);
    EXPECT_EQ(KvAudioLibrarySetups(), Setups + 1);  // set-up skipped
    EXPECT_EQ(SoundCount, 2);
    EXPECT_EQ(Second->Stream, nullptr);
    EXPECT_NE(Second->Song, nullptr);
    First->Play();
    Second->Play();
    delete (FirstGoesFirst ? First : Second);
    EXPECT_TRUE(KvAudioLibraryOpen());
    EXPECT_EQ(SoundCount, 1);
    delete (FirstGoesFirst ? Second : First);
    EXPECT_FALSE(KvAudioLibraryOpen());
    EXPECT_EQ(SoundCount, 0);
  }
}

TEST_F(SoundPlaybackTest, LowerCaseMp3PlaysThroughTheMixer) {
  const std::vector<int16_t> Sine = soundtest::SinePcm(22050, 1000.0, 12000.0);
  const std::string Path = Write("tune.mp3", soundtest::Mp3Bytes(Sine));
  TSoundKv Sound(nullptr, Path, false);
  ASSERT_NE(Sound.Stream, nullptr);
  int16_t Block[512 * 2];
  EXPECT_EQ(KvAudioMixForTest(Block, 512), 0u);  // loaded but silent
  EXPECT_TRUE(Silent(Block, 1024));
  Sound.Play();
  const std::vector<int16_t> Out = Pull(Sound.Stream, 1'000'000);
  EXPECT_TRUE(Sound.Stream->Finished());
  EXPECT_FALSE(Sound.Stream->Playing());
  EXPECT_EQ(Out.size(), Sine.size());
  EXPECT_NEAR(Rms(Out, 2205 * 2, Out.size() - 2205 * 2), 12000.0 / std::sqrt(2.0), 600.0);
}

TEST_F(SoundPlaybackTest, WavPlaysOnceStopsAndResumesWhereItWas) {
  const std::vector<int16_t> Pcm = soundtest::NoisePcm(10000, 2, 5);
  TSoundKv Sound(nullptr, Write("n.wav", soundtest::WavBytes(Pcm, 2, 44100)), false);
  Sound.Play();
  std::vector<int16_t> Out = Pull(Sound.Stream, 3000);
  Sound.Stop();
  // Stopped: nothing is taken from the stream.
  int16_t Block[1024 * 2];
  EXPECT_EQ(KvAudioMixForTest(Block, 1024), 0u);
  EXPECT_TRUE(Silent(Block, 2048));
  EXPECT_FALSE(Sound.Stream->Playing());
  Sound.Play();
  const std::vector<int16_t> Rest = Pull(Sound.Stream, 1'000'000);
  Out.insert(Out.end(), Rest.begin(), Rest.end());
  EXPECT_EQ(Out, Pcm);
  EXPECT_TRUE(Sound.Stream->Finished());
  EXPECT_EQ(KvAudioMixForTest(Block, 1024), 0u);
  EXPECT_TRUE(Silent(Block, 2048));

  // Played out: Play starts over from the first frame.
  Sound.Play();
  const std::vector<int16_t> Again = Pull(Sound.Stream, 1'000'000);
  EXPECT_EQ(Again, Pcm);
}

TEST_F(SoundPlaybackTest, LoopedStreamRepeatsSampleForSample) {
  const size_t N = 3000;
  const std::vector<int16_t> Pcm = soundtest::NoisePcm(N, 2, 9);
  for (const std::string Name : {"l.wav", "l.RAW"}) {
    SCOPED_TRACE(Name);
    const std::string Bytes = Name == "l.wav" ? soundtest::WavBytes(Pcm, 2, 44100) : soundtest::RawBytes(Pcm);
    TSoundKv Sound(nullptr, Write(Name, Bytes), true);
    Sound.Play();
    const std::vector<int16_t> Out = Pull(Sound.Stream, N * 5 + 123);
    ASSERT_EQ(Out.size(), (N * 5 + 123) * 2);
    size_t Mismatches = 0;
    for (size_t I = 0; I < Out.size(); ++I) Mismatches += Out[I] != Pcm[I % (N * 2)];
    EXPECT_EQ(Mismatches, 0u);
    EXPECT_TRUE(Sound.Stream->Playing());
    EXPECT_FALSE(Sound.Stream->Finished());
  }
}

TEST_F(SoundPlaybackTest, ModuleLoopsOrEndsAsAsked) {
  const std::string Path = Write("t.mod", soundtest::ModBytes());
  {
    TSoundKv Once(nullptr, Path, false);
    Once.Play();
    const std::vector<int16_t> Out = Pull(Once.Song, ModFramesPerPass * 3);
    ExpectOnePassAndFade(Out);
    EXPECT_TRUE(Once.Song->Finished());
  }
  TSoundKv Looped(nullptr, Path, true);
  Looped.Play();
  const std::vector<int16_t> Out = Pull(Looped.Song, ModFramesPerPass * 2 + 5000);
  ASSERT_EQ(Out.size() / 2, ModFramesPerPass * 2 + 5000);
  EXPECT_GT(Rms(Out, ModFramesPerPass * 2, Out.size()), 1000.0);  // sounding in the second pass
  EXPECT_TRUE(Looped.Song->Playing());
}

TEST_F(SoundPlaybackTest, MidiPlaysThroughTheMixerOnceOrLooped) {
  const std::string Smf = soundtest::MidiBytes();
  {
    TSoundKv Once(nullptr, Write("tune.RMI", soundtest::RmiBytes(Smf)), false);
    ASSERT_NE(Once.Song, nullptr);
    EXPECT_EQ(Once.Stream, nullptr);
    Once.Play();
    const std::vector<int16_t> Out = Pull(Once.Song, 44100 * 10);
    EXPECT_TRUE(Once.Song->Finished());
    EXPECT_LT(Out.size() / 2, size_t(44100 * 3));
    EXPECT_GT(Rms(Out, 2 * 2205, 2 * 19845), 500.0);
  }
  TSoundKv Looped(nullptr, Write("tune.mid", Smf), true);
  Looped.Play();
  const std::vector<int16_t> Out = Pull(Looped.Song, 44100 * 3);
  ASSERT_EQ(Out.size() / 2, size_t(44100 * 3));
  // Each pass starts right after the last one's final event, at 1 s and
  // 2 s, without waiting for the note's release to die away.
  EXPECT_GT(Rms(Out, 2 * (44100 + 2205), 2 * (44100 + 19845)), 500.0);
  EXPECT_GT(Rms(Out, 2 * (88200 + 2205), 2 * (88200 + 19845)), 500.0);
  EXPECT_TRUE(Looped.Song->Playing());
}

TEST_F(SoundPlaybackTest, TwoPlayingStreamsAreMixed) {
  const std::vector<int16_t> A = soundtest::NoisePcm(4000, 2, 21);
  const std::vector<int16_t> B = soundtest::NoisePcm(2500, 2, 22);
  TSoundKv SoundA(nullptr, Write("a.wav", soundtest::WavBytes(A, 2, 44100)), false);
  TSoundKv SoundB(nullptr, Write("b.wav", soundtest::WavBytes(B, 2, 44100)), false);
  SoundA.Play();
  SoundB.Play();
  ASSERT_TRUE(SoundA.Stream->WaitBuffered(4000, 10000));
  ASSERT_TRUE(SoundB.Stream->WaitBuffered(2500, 10000));
  std::vector<int16_t> Out(4000 * 2);
  EXPECT_EQ(KvAudioMixForTest(Out.data(), 4000), 4000u);
  for (size_t I = 0; I < Out.size(); ++I) {
    const int32_t Sum = A[I] + (I < B.size() ? B[I] : 0);
    ASSERT_EQ(Out[I], std::max(-32768, std::min(32767, Sum))) << I;
  }
  EXPECT_TRUE(SoundB.Stream->Finished());
}

}  // namespace

namespace {

// The SDL device itself drives the mixer here (the dummy driver consumes in
// real time): a short piece played through it ends by itself, Stop and Play
// in between do not disturb it, and destroying a playing looped piece is safe.
TEST(SoundDeviceTest, DummyDevicePlaysAPieceToItsEnd) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  KvAudioSetDeviceMixing(true);
  const std::string Dir = kvtest::MakeTempDir("sounddev");
  kvtest::WriteFile(Dir + "/s.wav", soundtest::WavBytes(soundtest::NoisePcm(4410, 2, 3), 2, 44100));
  kvtest::WriteFile(Dir + "/l.wav", soundtest::WavBytes(soundtest::NoisePcm(2000, 2, 4), 2, 44100));
  TSoundKv Short(nullptr, Dir + "/s.wav", false);
  auto* Looped = new TSoundKv(nullptr, Dir + "/l.wav", true);
  Looped->Play();
  Short.Play();
  for (int I = 0; I < 20; ++I) {
    Short.Stop();
    Short.Play();
  }
  for (int Ms = 0; Ms < 10000 && !Short.Stream->Finished(); ++Ms)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_TRUE(Short.Stream->Finished());
  EXPECT_FALSE(Short.Stream->Playing());
  EXPECT_TRUE(Looped->Stream->Playing());
  delete Looped;
  EXPECT_TRUE(KvAudioLibraryOpen());
}

}  // namespace

// Skip (a live run started at --start T): the music then starts that far
// in, sample for sample, whether the skipped part is already in the ring
// (1 s) or partly still to be decoded (5 s, more than the ring holds).
TEST_F(SoundPlaybackTest, SkipStartsTheMusicLaterSampleForSample) {
  const size_t N = 44100 * 6;
  const std::vector<int16_t> Pcm = soundtest::NoisePcm(N, 2, 11);
  const std::string Path = Write("s.wav", soundtest::WavBytes(Pcm, 2, 44100));
  for (uint32_t Ms : {1000u, 5000u}) {
    SCOPED_TRACE(Ms);
    TSoundKv Sound(nullptr, Path, false);
    ASSERT_TRUE(Sound.Stream->WaitBuffered(100000, 10000));
    Sound.Skip(Ms);
    Sound.Play();
    const std::vector<int16_t> Out = Pull(Sound.Stream, 1'000'000);
    const size_t From = size_t(Ms) * 441 / 10 * 2;
    EXPECT_TRUE(Out == std::vector<int16_t>(Pcm.begin() + long(From), Pcm.end()));
  }
}

// Seek (a seek of the show): after some music was heard, back or on to a
// point counted from the start, sample for sample, also when the stream
// had played out.
TEST_F(SoundPlaybackTest, SeekPlaysFromThatSampleOfThePiece) {
  const size_t N = 44100 * 6;
  const std::vector<int16_t> Pcm = soundtest::NoisePcm(N, 2, 13);
  TSoundKv Sound(nullptr, Write("k.wav", soundtest::WavBytes(Pcm, 2, 44100)), false);
  for (uint32_t Ms : {5000u, 1000u, 0u, 4000u}) {
    SCOPED_TRACE(Ms);
    Sound.Play();
    Pull(Sound.Stream, 44100 / 2);
    Sound.Stop();
    Sound.Seek(Ms);
    Sound.Play();
    const std::vector<int16_t> Out = Pull(Sound.Stream, 1'000'000);
    Sound.Stop();
    const size_t From = size_t(Ms) * 441 / 10 * 2;
    EXPECT_TRUE(Out == std::vector<int16_t>(Pcm.begin() + long(From), Pcm.end())) << Out.size() << " samples";
  }
}
