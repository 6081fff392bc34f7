// TSoundKv failures: each runs in a death-test child inside a fresh folder,
// then the parent reads the KVR_ERR.txt the child left behind. A hook that
// FatalError runs first prints the audio library's state, so the tests see
// whether the library was set up and whether it was closed before the end.
#include <gtest/gtest.h>
extern "C" {
#include <libavutil/error.h>
}
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <sys/stat.h>

#include "KvTest.h"
#include "MusicFiles.h"
#include "engine/core/Errors.h"
#include "engine/core/Sound.h"
#include "engine/audio/AudioOutput.h"
#include "engine/music/MidiSoundFont.h"

namespace {

uint32_t SetupsBefore = 0;  // the library's set-up count when the child began

void ReportAudioState(const char*) {
  std::fprintf(stderr, "audio-setups=%u audio-open=%d\n", KvAudioLibrarySetups() - SetupsBefore,
               KvAudioLibraryOpen() ? 1 : 0);
}

// Runs in the child: makes sound objects for Files in Dir, in order, on the
// given SDL audio driver. Ends with exit code 0 when all of them succeed.
void CreateSounds(const std::string& Dir, const char* Driver, const std::vector<std::string>& Files) {
  setenv("SDL_AUDIODRIVER", Driver, 1);
  if (chdir(Dir.c_str()) != 0) std::_Exit(99);
  KvSetRestoreDesktopHook(ReportAudioState);
  SetupsBefore = KvAudioLibrarySetups();
  std::vector<TSoundKv*> Live;
  for (const std::string& F : Files) Live.push_back(new TSoundKv(nullptr, F, false));
  std::_Exit(0);
}

class SoundErrorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The child is a plain fork, so it sees this Dir. No thread of the
    // audio library outlives its objects, so nothing else is running here.
    GTEST_FLAG_SET(death_test_style, "fast");
    Dir = kvtest::MakeTempDir("sounderr");
  }
  std::string Log() { return kvtest::ReadFile(Dir + "/KVR_ERR.txt"); }
  std::string Dir;
};

TEST_F(SoundErrorTest, MissingFileFailsBeforeTheLibraryIsTouched) {
  EXPECT_EXIT(CreateSounds(Dir, "dummy", {"nothing.mp3"}), ::testing::ExitedWithCode(KvFatalExitCode),
              "audio-setups=0 audio-open=0");
  EXPECT_EQ(Log(), "[SoundKv]Create -> File not found... (nothing.mp3)\r\n");

  // A folder is no file, whatever its name says.
  ASSERT_EQ(mkdir((Dir + "/folder.mp3").c_str(), 0755), 0);
  std::remove((Dir + "/KVR_ERR.txt").c_str());
  EXPECT_EXIT(CreateSounds(Dir, "dummy", {"folder.mp3"}), ::testing::ExitedWithCode(KvFatalExitCode),
              "audio-setups=0 audio-open=0");
  EXPECT_EQ(Log(), "[SoundKv]Create -> File not found... (folder.mp3)\r\n");
}

TEST_F(SoundErrorTest, UnknownOrMissingExtensionFailsAfterSetUp) {
  const std::string Wav = soundtest::WavBytes(soundtest::NoisePcm(100, 2, 1), 2, 44100);
  // A real WAV, but the name decides; a dot in a folder name is no extension.
  ASSERT_EQ(mkdir((Dir + "/snd.mp3").c_str(), 0755), 0);
  for (const std::string Name : {"music", "music.txt", "music.mp3.bak", "snd.mp3/music"}) {
    SCOPED_TRACE(Name);
    kvtest::WriteFile(Dir + "/" + Name, Wav);
    std::remove((Dir + "/KVR_ERR.txt").c_str());
    EXPECT_EXIT(CreateSounds(Dir, "dummy", {Name}), ::testing::ExitedWithCode(KvFatalExitCode),
                "audio-setups=1 audio-open=0");
    EXPECT_EQ(Log(), "[SoundKv]Create -> File type not supported... (" + Name + ")\r\n");
  }
}

TEST_F(SoundErrorTest, CorruptStreamReportsFfmpegsText) {
  kvtest::WriteFile(Dir + "/bad.mp3", std::string(3000, 'x'));
  kvtest::WriteFile(Dir + "/empty.wav", "");
  for (const std::string Name : {"bad.mp3", "empty.wav"}) {
    SCOPED_TRACE(Name);
    std::remove((Dir + "/KVR_ERR.txt").c_str());
    EXPECT_EXIT(CreateSounds(Dir, "dummy", {Name}), ::testing::ExitedWithCode(KvFatalExitCode),
                "audio-setups=1 audio-open=0");
    const std::string Line = Log();
    const std::string Head = "[SoundKv]FSOUND_Stream_OpenFile -> ";
    ASSERT_EQ(Line.compare(0, Head.size(), Head), 0) << Line;
    ASSERT_GE(Line.size(), Head.size() + 2);
    // FFmpeg's words, then the file they are about.
    const std::string Tail = " (" + Name + ")\r\n";
    ASSERT_GE(Line.size(), Head.size() + Tail.size());
    ASSERT_EQ(Line.substr(Line.size() - Tail.size()), Tail) << Line;
    const std::string Message = Line.substr(Head.size(), Line.size() - Head.size() - Tail.size());
    // One of FFmpeg's own descriptions of a file it cannot use.
    std::set<std::string> Texts;
    for (int Code : {AVERROR_INVALIDDATA, AVERROR_EOF, AVERROR_STREAM_NOT_FOUND,
                     AVERROR_DECODER_NOT_FOUND, AVERROR_DEMUXER_NOT_FOUND, AVERROR(EINVAL)}) {
      char Text[AV_ERROR_MAX_STRING_SIZE] = {};
      av_strerror(Code, Text, sizeof(Text));
      Texts.insert(Text);
    }
    EXPECT_TRUE(Texts.count(Message)) << Message;
  }
}

TEST_F(SoundErrorTest, DataNoModuleTypeClaimsIsRefusedInOneLine) {
  // Named like an XM, but no module type recognises the header.
  kvtest::WriteFile(Dir + "/bad.xm", "Extended Module: this is not really one");
  EXPECT_EXIT(CreateSounds(Dir, "dummy", {"bad.xm"}), ::testing::ExitedWithCode(KvFatalExitCode),
              "audio-setups=1 audio-open=0");
  EXPECT_EQ(Log(), "[SoundKv]FMUSIC_LoadSong -> not a module type libopenmpt reads (bad.xm)\r\n");
}

TEST_F(SoundErrorTest, SegmentsAreRefusedClearly) {
  kvtest::WriteFile(Dir + "/tune.sgt", "RIFF\x04\0\0\0DMSG");
  EXPECT_EXIT(CreateSounds(Dir, "dummy", {"tune.sgt"}), ::testing::ExitedWithCode(KvFatalExitCode), "audio-open=0");
  EXPECT_EQ(Log(), "[SoundKv]FMUSIC_LoadSong -> DirectMusic segments (.SGT) are not supported by this player... (tune.sgt)\r\n");
}

TEST_F(SoundErrorTest, DamagedMidiOrNoSoundFontGivesOneLineSayingWhat) {
  const std::string Smf = soundtest::MidiBytes();
  kvtest::WriteFile(Dir + "/cut.mid", Smf.substr(0, Smf.size() - 3));
  EXPECT_EXIT(CreateSounds(Dir, "dummy", {"cut.mid"}), ::testing::ExitedWithCode(KvFatalExitCode), "audio-open=0");
  EXPECT_EQ(Log(), "[SoundKv]FMUSIC_LoadSong -> Truncated MIDI file (a chunk runs past the end) (cut.mid)\r\n");

  kvtest::WriteFile(Dir + "/good.rmi", soundtest::RmiBytes(Smf));
  std::remove((Dir + "/KVR_ERR.txt").c_str());
  EXPECT_EXIT(
      {
        KvSetSoundFontCandidatesForTest({Dir + "/none.sf2", Dir});
        CreateSounds(Dir, "dummy", {"good.rmi"});
      },
      ::testing::ExitedWithCode(KvFatalExitCode), "audio-open=0");
  const std::string Line = Log();
  EXPECT_EQ(Line, "[SoundKv]FMUSIC_LoadSong -> " + KvMissingSoundFontText() + " (good.rmi)\r\n");
  EXPECT_NE(Line.find("soundfont"), std::string::npos);
  EXPECT_NE(Line.find("fluid-soundfont-gm"), std::string::npos);
}

// The engine names no program's option; the program's own hint ends the line.
TEST_F(SoundErrorTest, NoAudioDeviceEndsWithTheProgramsHint) {
  kvtest::WriteFile(Dir + "/music.wav", soundtest::WavBytes(soundtest::NoisePcm(100, 2, 1), 2, 44100));
  EXPECT_EXIT(
      {
        KvAddErrorHint("FSOUND_Init -> No audio output device", "go on without music");
        KvAddErrorHint("FSOUND_Init -> something else", "never this");
        CreateSounds(Dir, "nonexistent", {"music.wav"});
      },
      ::testing::ExitedWithCode(KvFatalExitCode), "audio-setups=1 audio-open=0");
  const std::string Line = Log();
  EXPECT_EQ(Line.rfind("[SoundKv]FSOUND_Init -> No audio output device could be opened (", 0), 0u) << Line;
  EXPECT_EQ(Line.find("--"), std::string::npos) << Line;
  const std::string End = "); go on without music\r\n";
  ASSERT_GE(Line.size(), End.size());
  EXPECT_EQ(Line.substr(Line.size() - End.size()), End) << Line;
}

TEST_F(SoundErrorTest, FailingSecondObjectClosesTheLibraryOfTheFirst) {
  kvtest::WriteFile(Dir + "/good.wav", soundtest::WavBytes(soundtest::NoisePcm(100, 2, 1), 2, 44100));
  kvtest::WriteFile(Dir + "/bad.mp3", std::string(3000, 'x'));
  EXPECT_EXIT(CreateSounds(Dir, "dummy", {"good.wav", "bad.mp3"}),
              ::testing::ExitedWithCode(KvFatalExitCode), "audio-setups=1 audio-open=0");
  EXPECT_EQ(Log().rfind("[SoundKv]FSOUND_Stream_OpenFile -> ", 0), 0u) << Log();
  // And the good file alone is fine.
  EXPECT_EXIT(CreateSounds(Dir, "dummy", {"good.wav"}), ::testing::ExitedWithCode(0), "");
}

}  // namespace
