// TInputKv and the scan-code table.
#include <gtest/gtest.h>

#include <SDL_scancode.h>

#include <unistd.h>

#include <cstdlib>
#include <map>

#include "FaultDevice.h"
#include "KvTest.h"
#include "engine/core/Errors.h"
#include "engine/core/Input.h"
#include "engine/core/Kelvra.h"
#include "engine/platform/headless/HeadlessTestHooks.h"
#include "engine/platform/sdl/SdlDevice.h"

namespace {

TEST(KeyTable, PcScanCodesOfTheMainBlock) {
  EXPECT_EQ(KvKeyFromSdlScancode(SDL_SCANCODE_ESCAPE), 1);
  // 1 .. 9, 0 are 2 .. 11.
  const SDL_Scancode Digits[] = {SDL_SCANCODE_1, SDL_SCANCODE_2, SDL_SCANCODE_3, SDL_SCANCODE_4, SDL_SCANCODE_5,
                                 SDL_SCANCODE_6, SDL_SCANCODE_7, SDL_SCANCODE_8, SDL_SCANCODE_9, SDL_SCANCODE_0};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(KvKeyFromSdlScancode(Digits[i]), 2 + i);
  // The three letter rows run left to right from Q = 16, A = 30, Z = 44.
  const char* Rows[] = {"QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};
  const int First[] = {16, 30, 44};
  for (int r = 0; r < 3; ++r)
    for (int i = 0; Rows[r][i]; ++i)
      EXPECT_EQ(KvKeyFromSdlScancode(SDL_SCANCODE_A + (Rows[r][i] - 'A')), First[r] + i) << Rows[r][i];
  EXPECT_EQ(KvKeyFromSdlScancode(SDL_SCANCODE_SPACE), 57);
  EXPECT_EQ(KvKeyFromSdlScancode(SDL_SCANCODE_RETURN), 28);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(KvKeyFromSdlScancode(SDL_SCANCODE_F1 + i), 59 + i);
  EXPECT_EQ(KvKeyFromSdlScancode(SDL_SCANCODE_F11), 0x57);
  EXPECT_EQ(KvKeyFromSdlScancode(SDL_SCANCODE_F12), 0x58);
  // Extended keys carry the top bit.
  EXPECT_EQ(KvKeyFromSdlScancode(SDL_SCANCODE_UP), 0xC8);
  EXPECT_EQ(KvKeyFromSdlScancode(SDL_SCANCODE_DOWN), 0xD0);
  EXPECT_EQ(KvKeyFromSdlScancode(SDL_SCANCODE_LEFT), 0xCB);
  EXPECT_EQ(KvKeyFromSdlScancode(SDL_SCANCODE_RIGHT), 0xCD);
  EXPECT_EQ(KvKeyFromSdlScancode(SDL_SCANCODE_RCTRL), 0x9D);
  EXPECT_EQ(KvKeyFromSdlScancode(SDL_SCANCODE_KP_ENTER), 0x9C);
  // Unmapped and out of range.
  EXPECT_EQ(KvKeyFromSdlScancode(SDL_SCANCODE_UNKNOWN), 0);
  EXPECT_EQ(KvKeyFromSdlScancode(SDL_SCANCODE_AUDIONEXT), 0);
  EXPECT_EQ(KvKeyFromSdlScancode(-1), 0);
  EXPECT_EQ(KvKeyFromSdlScancode(SDL_NUM_SCANCODES), 0);
}

TEST(KeyTable, NoTwoKeysShareACode) {
  std::map<int, int> Seen;
  for (int Code = 0; Code < SDL_NUM_SCANCODES; ++Code) {
    const int Key = KvKeyFromSdlScancode(Code);
    if (!Key) continue;
    // The ISO key left of Enter is the PC's backslash: the one shared code.
    if (Code == SDL_SCANCODE_NONUSHASH) continue;
    EXPECT_TRUE(Seen.emplace(Key, Code).second) << "code " << Key << " from " << Code << " and " << Seen[Key];
  }
  EXPECT_GT(Seen.size(), 100u);
}

class InputOnFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    kvtest::InstallFaultDeviceFactory(32);
    Display.reset(new TSelfKelvra(32, 32, "input"));
    Device = kvtest::LastFaultDevice();
  }
  void TearDown() override {
    Display.reset();
    kvtest::ResetDeviceFactory();
  }
  void SetKey(uint8_t Key, uint8_t Value) {
    uint8_t State[256] = {};
    State[Key] = Value;
    Device->SetKeyState(State);
  }
  std::unique_ptr<TKelvra> Display;
  std::shared_ptr<kvtest::FaultDevice> Device;
};

TEST_F(InputOnFaults, DownExactlyWhenTheStateByteIs80) {
  TInputKv Input(Display.get());
  EXPECT_EQ(Input.Window, Display->Window);
  EXPECT_FALSE(Input.HasJoystick);
  EXPECT_EQ(Input.JoyButtonCount, 0);
  SetKey(1, 0x80);
  EXPECT_TRUE(Input.KeyDown(1));
  EXPECT_FALSE(Input.KeyDown(2));
  SetKey(1, 0x81);  // other top-bit values are not "down"
  EXPECT_FALSE(Input.KeyDown(1));
  SetKey(1, 0xFF);
  EXPECT_FALSE(Input.KeyDown(1));
  SetKey(0xC8, 0x80);
  EXPECT_TRUE(Input.KeyDown(0xC8));
}

TEST_F(InputOnFaults, LostKeyboardAnswersFalseThenRecovers) {
  TInputKv Input(Display.get());
  SetKey(1, 0x80);
  const int Before = Device->KeyboardReads();
  Device->FailKeyboardReads(1);
  EXPECT_FALSE(Input.KeyDown(1));                      // lost: not down this time
  EXPECT_EQ(Device->KeyboardReads() - Before, 2);     // and read again
  EXPECT_TRUE(Input.KeyDown(1));                       // the next call sees the real state
}

TEST(InputOnHeadless, HeadlessKeysReachKeyDown) {
  auto D = kvtest::MakeDisplay(32);
  TInputKv Input(D.get());
  EXPECT_FALSE(Input.KeyDown(1));
  KvHeadlessSetKey(*D->DirectDraw, 1, true);
  EXPECT_TRUE(Input.KeyDown(1));
  KvHeadlessSetKey(*D->DirectDraw, 1, false);
  EXPECT_FALSE(Input.KeyDown(1));
  KvSetDeviceFactory(nullptr);
}

TEST(InputDeathTest, NoDisplayIsAFatalInputError) {
  const std::string Dir = kvtest::MakeTempDir("kvinput");
  EXPECT_EXIT(
      {
        if (chdir(Dir.c_str()) != 0) std::_Exit(99);
        TInputKv Input(nullptr);
      },
      ::testing::ExitedWithCode(KvFatalExitCode), "\\[TInputKv\\]DIObject -> Error creating object\\.\\.\\.");
  EXPECT_EQ(kvtest::ReadFile(Dir + "/KVR_ERR.txt"), "[TInputKv]DIObject -> Error creating object...\r\n");
}

}  // namespace
