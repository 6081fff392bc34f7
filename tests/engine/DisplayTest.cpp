// Display object, frame buffers and presenting through the headless and the
// fault-injecting devices: geometry, Clear, the lost-surface and busy paths,
// Present read back pixel for pixel, and the message pump.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "FaultDevice.h"
#include "KvTest.h"
#include "engine/core/Errors.h"
#include "engine/core/Kelvra.h"
#include "engine/draw/BufferKv.h"
#include "engine/draw/PixelFormat.h"
#include "engine/platform/headless/HeadlessDevice.h"
#include "engine/platform/headless/HeadlessTestHooks.h"

namespace {

const int Depths[] = {15, 16, 24, 32};

int BytesOf(int Depth) { return Depth == 24 ? 3 : Depth == 32 ? 4 : 2; }

class DeviceScope {
 public:
  ~DeviceScope() { kvtest::ResetDeviceFactory(); }
};

// --- depth ------------------------------------------------------------------

TEST(Display, WindowedTakesTheDesktopDepth) {
  DeviceScope Scope;
  for (int Depth : Depths) {
    auto D = kvtest::MakeDisplay(Depth);
    EXPECT_EQ(D->Depth, Depth);
    EXPECT_EQ(DesktopDepth, Depth);
    EXPECT_FALSE(D->FullScreen);
    EXPECT_FALSE(FullScreenActive);
  }
}

TEST(Display, FullScreenTakesTheRequestedDepth) {
  DeviceScope Scope;
  for (int Depth : Depths) {
    KvSetDeviceFactory([] { return KvMakeHeadlessDevice(32); });
    TSelfFullKelvra D(640, 480, Depth, "test");
    EXPECT_EQ(D.Depth, Depth);
    EXPECT_TRUE(D.FullScreen);
    EXPECT_TRUE(FullScreenActive);
  }
  FullScreenActive = false;
}

TEST(DisplayDeathTest, UnsupportedDepthsEndTheProgramWithTheLogLine) {
  const std::string Dir = kvtest::MakeTempDir("kvdepth");
  ASSERT_FALSE(Dir.empty());
  const std::string Expected = "Desktop color depth not supported \\(only 15,16,24,32bit\\)";
  EXPECT_EXIT(
      {
        if (chdir(Dir.c_str()) != 0) std::_Exit(99);
        KvSetDeviceFactory([] { return KvMakeHeadlessDevice(8); });
        TSelfKelvra D(640, 480, "test");
      },
      ::testing::ExitedWithCode(KvFatalExitCode), "\\[TSelfKelvra\\]Create -> " + Expected);
  EXPECT_EQ(kvtest::ReadFile(Dir + "/KVR_ERR.txt"),
            "[TSelfKelvra]Create -> Desktop color depth not supported (only 15,16,24,32bit)\r\n");
  EXPECT_EXIT(
      {
        if (chdir(Dir.c_str()) != 0) std::_Exit(99);
        KvSetDeviceFactory([] { return KvMakeHeadlessDevice(32); });
        TSelfFullKelvra D(640, 480, 8, "test");
      },
      ::testing::ExitedWithCode(KvFatalExitCode), "\\[TSelfFullKelvra\\]Create -> " + Expected);
  // The second failure replaced the first one's line.
  EXPECT_EQ(kvtest::ReadFile(Dir + "/KVR_ERR.txt"),
            "[TSelfFullKelvra]Create -> Desktop color depth not supported (only 15,16,24,32bit)\r\n");
}

// Display set-up steps carry the base class's tag in both forms; the forms'
// own steps (window class, window, depth check) carry theirs.
TEST(DisplayDeathTest, SetUpFailuresCarryTheBaseTag) {
  const std::string Dir = kvtest::MakeTempDir("kvsetup");
  const auto RefusingScreen = [](bool FullScreen) {
    KvSetDeviceFactory([] {
      auto Device = std::make_shared<kvtest::FaultDevice>(KvMakeHeadlessDevice(32));
      Device->FailCreateScreen(KVERR_INVALIDMODE);
      return Device;
    });
    if (FullScreen)
      TSelfFullKelvra D(640, 480, 16, "test");
    else
      TSelfKelvra D(640, 480, "test");
  };
  EXPECT_EXIT(
      {
        if (chdir(Dir.c_str()) != 0) std::_Exit(99);
        RefusingScreen(true);
      },
      ::testing::ExitedWithCode(KvFatalExitCode), "");
  EXPECT_EQ(kvtest::ReadFile(Dir + "/KVR_ERR.txt"), std::string("[TKelvra]SetDisplayMode -> ") + KvResultText(KVERR_INVALIDMODE) + "\r\n");
  EXPECT_EXIT(
      {
        if (chdir(Dir.c_str()) != 0) std::_Exit(99);
        RefusingScreen(false);
      },
      ::testing::ExitedWithCode(KvFatalExitCode), "");
  EXPECT_EQ(kvtest::ReadFile(Dir + "/KVR_ERR.txt"), std::string("[TKelvra]CreateSurface -> ") + KvResultText(KVERR_INVALIDMODE) + "\r\n");
  // A second full-screen display while the first lives: the class's own step.
  EXPECT_EXIT(
      {
        if (chdir(Dir.c_str()) != 0) std::_Exit(99);
        KvSetDeviceFactory([] { return KvMakeHeadlessDevice(32); });
        TSelfFullKelvra First(640, 480, 32, "test");
        TSelfFullKelvra Second(640, 480, 32, "test");
      },
      ::testing::ExitedWithCode(KvFatalExitCode), "");
  EXPECT_EQ(kvtest::ReadFile(Dir + "/KVR_ERR.txt"), "[TSelfFullKelvra]RegisterClass -> Error registering window class...\r\n");
}

// --- buffer geometry ---------------------------------------------------------

TEST(Buffer, GeometryEdgeCasesAtEveryDepth) {
  DeviceScope Scope;
  for (int Depth : Depths) {
    SCOPED_TRACE(Depth);
    auto D = kvtest::MakeDisplay(Depth);
    TBufferKv One(D.get(), 1, 1, false);
    kvtest::ExpectGeometry(One, 1, 1);
    EXPECT_EQ(One.BytesPerPixel, BytesOf(Depth));

    TBufferKv Wide(D.get(), 641, 3, false);
    kvtest::ExpectGeometry(Wide, 641, 3);
    // The pitch rule: Pitch div Width is the byte size of the depth.
    EXPECT_EQ(Wide.Pitch / Wide.Width, BytesOf(Depth));
    EXPECT_EQ(Wide.BitsPerPixel, BytesOf(Depth) * 8);

    TBufferKv Screen(D.get(), 640, 480, false);
    EXPECT_EQ(Screen.Pitch / Screen.Width, BytesOf(Depth));
    EXPECT_EQ(Screen.Depth, Depth);
    EXPECT_EQ(Screen.EdgeX[0].size(), 480u);

    // Video memory asked for: still a working buffer of the same layout.
    TBufferKv Video(D.get(), 17, 5, true);
    EXPECT_EQ(Video.Pitch / Video.Width, BytesOf(Depth));
    EXPECT_EQ(Video.HasScratchRow, Video.InVideoMemory);
  }
}

// --- Clear -------------------------------------------------------------------

bool AllBytes(const TBufferKv& B, uint8_t Value) {
  for (int y = 0; y < B.Height; ++y)
    for (int i = 0; i < B.Width * B.BytesPerPixel; ++i)
      if (B.Rows[size_t(y)][i] != Value) return false;
  return true;
}

TEST(Buffer, ClearFillsEveryByteAtEveryDepth) {
  DeviceScope Scope;
  for (int Depth : Depths) {
    SCOPED_TRACE(Depth);
    auto D = kvtest::MakeDisplay(Depth);
    TBufferKv B(D.get(), 37, 11, false);
    EXPECT_TRUE(AllBytes(B, 0));  // created cleared
    kvtest::FillRandom(B, 7);
    B.Clear(0);
    EXPECT_TRUE(AllBytes(B, 0));
    // White of the depth: every byte of every pixel FF.
    const uint32_t White = Depth == 15 ? 0x7FFF : Depth == 16 ? 0xFFFF : Depth == 24 ? 0xFFFFFF : 0xFFFFFFFF;
    B.Clear(White);
    if (Depth == 15) {
      for (int y = 0; y < B.Height; ++y)
        for (int x = 0; x < B.Width; ++x) ASSERT_EQ(kvtest::GetPixel(B, x, y), 0x7FFFu);
    } else {
      EXPECT_TRUE(AllBytes(B, 0xFF));
    }
    // A value whose bytes differ lands byte for byte (24: B, G, R order).
    B.Clear(PackColorDepth(Depth, 255, 175, 132));
    for (int y = 0; y < B.Height; ++y)
      for (int x = 0; x < B.Width; ++x)
        ASSERT_EQ(kvtest::GetPixel(B, x, y), PackColorDepth(Depth, 255, 175, 132));
    if (Depth == 24) {
      EXPECT_EQ(B.Bits[0], 0x84);
      EXPECT_EQ(B.Bits[1], 0xAF);
      EXPECT_EQ(B.Bits[2], 0xFF);
    }
  }
}

// --- lost and busy, through the fault device ----------------------------------

class Faults : public ::testing::Test {
 protected:
  void Make(bool FullScreen, int Depth = 32) {
    Display.reset();  // one full-screen display at a time
    kvtest::InstallFaultDeviceFactory(Depth);
    if (FullScreen)
      Display.reset(new TSelfFullKelvra(64, 48, Depth, "faults"));
    else
      Display.reset(new TSelfKelvra(64, 48, "faults"));
    Device = kvtest::LastFaultDevice();
    ASSERT_TRUE(Device);
  }
  void TearDown() override {
    Display.reset();
    Device.reset();
    FullScreenActive = false;
    kvtest::ResetDeviceFactory();
  }
  std::unique_ptr<TKelvra> Display;
  std::shared_ptr<kvtest::FaultDevice> Device;
};

TEST_F(Faults, ClearRepeatsWhileBusyThenFills) {
  Make(false);
  TBufferKv B(Display.get(), 20, 10, false);
  Device->ResetCounts();
  Device->Inject(kvtest::FaultOp::ColorFill, {KVERR_WASSTILLDRAWING, KVERR_WASSTILLDRAWING, KVERR_WASSTILLDRAWING});
  B.Clear(0x123456);
  EXPECT_EQ(Device->Calls(kvtest::FaultOp::ColorFill), 4);
  EXPECT_EQ(Device->PassedThrough(kvtest::FaultOp::ColorFill), 1);
  EXPECT_EQ(Device->Restores(), 0);
  EXPECT_EQ(kvtest::GetPixel(B, 19, 9), 0x123456u);
}

TEST_F(Faults, ClearRestoresAndSkipsOnceWhenLost) {
  for (bool FullScreen : {false, true}) {
    SCOPED_TRACE(FullScreen);
    Make(FullScreen);
    TBufferKv B(Display.get(), 20, 10, false);
    B.Clear(0x00ABCDEF);
    uint8_t* const Bits = B.Bits;
    const std::vector<uint8_t*> Rows = B.Rows;
    Device->ResetCounts();
    Device->Inject(kvtest::FaultOp::ColorFill, {KVERR_SURFACELOST});
    B.Clear(0);
    EXPECT_EQ(Device->Calls(kvtest::FaultOp::ColorFill), 1);  // not repeated
    EXPECT_EQ(kvtest::GetPixel(B, 5, 5), 0x00ABCDEFu);         // skipped
    // Restored: own surface, primary, and the back surface only in a window.
    ASSERT_EQ(Device->Restores(), FullScreen ? 2 : 3);
    EXPECT_EQ(Device->RestoredSurfaces()[0], B.Surface.get());
    EXPECT_EQ(Device->RestoredSurfaces()[1], Display->PrimarySurface.get());
    if (!FullScreen) {
      EXPECT_EQ(Device->RestoredSurfaces()[2], Display->BackSurface.get());
    }
    EXPECT_FALSE(B.Surface->Lost);
    EXPECT_EQ(B.Bits, Bits);
    EXPECT_EQ(B.Rows, Rows);
    // The next call fills normally.
    B.Clear(0x11);
    EXPECT_EQ(kvtest::GetPixel(B, 5, 5), 0x11u);
  }
}

TEST_F(Faults, DisplayClearsRestoreTheScreenWhenLost) {
  for (bool FullScreen : {false, true}) {
    SCOPED_TRACE(FullScreen);
    Make(FullScreen);
    Device->ResetCounts();
    Device->Inject(kvtest::FaultOp::ColorFill, {KVERR_SURFACELOST});
    Display->ClearBack(0x55);
    ASSERT_EQ(Device->Restores(), FullScreen ? 1 : 2);
    EXPECT_EQ(Device->RestoredSurfaces()[0], Display->PrimarySurface.get());
    EXPECT_EQ(Device->Calls(kvtest::FaultOp::ColorFill), 1);
    EXPECT_EQ(Display->BackSurface->Pixels[0], 0);  // skipped

    Device->ResetCounts();
    Device->Inject(kvtest::FaultOp::ColorFill, {KVERR_WASSTILLDRAWING, KVERR_SURFACELOST});
    Display->ClearScreen(0x66);
    EXPECT_EQ(Device->Calls(kvtest::FaultOp::ColorFill), 2);
    EXPECT_EQ(Device->Restores(), FullScreen ? 1 : 2);

    Device->ResetCounts();
    Device->Inject(kvtest::FaultOp::ColorFill, {KVERR_WASSTILLDRAWING});
    Display->ClearScreen(0x77);
    EXPECT_EQ(Device->Calls(kvtest::FaultOp::ColorFill), 2);
    EXPECT_EQ(Display->PrimarySurface->Pixels[0], 0x77);
    // Any other failure is dropped silently, without a repeat.
    Device->ResetCounts();
    Device->Inject(kvtest::FaultOp::ColorFill, {KVERR_GENERIC});
    Display->ClearBack(0x88);
    EXPECT_EQ(Device->Calls(kvtest::FaultOp::ColorFill), 1);
    EXPECT_EQ(Device->Restores(), 0);
  }
}

TEST_F(Faults, PresentSkipsLostFramesAndRepeatsBusyOnes) {
  Make(true);
  TBufferKv B(Display.get(), 64, 48, false);
  KvDevice& Inner = Device->Inner();
  B.Clear(0x010203);
  Device->ResetCounts();
  // Two lost results in a row: two frames skipped, two restores, no error.
  Device->Inject(kvtest::FaultOp::Present, {KVERR_SURFACELOST, KVERR_SURFACELOST});
  B.Present(false);
  B.Present(false);
  EXPECT_EQ(KvHeadlessPresentCount(Inner), 0u);
  EXPECT_EQ(Device->Restores(), 4);  // own surface + primary, twice (full-screen)
  // Busy twice: the same frame is offered until it is taken.
  Device->Inject(kvtest::FaultOp::Present, {KVERR_WASSTILLDRAWING, KVERR_WASSTILLDRAWING});
  B.Present(false);
  EXPECT_EQ(Device->Calls(kvtest::FaultOp::Present), 5);
  EXPECT_EQ(KvHeadlessPresentCount(Inner), 1u);
  KvFrameCopy Frame;
  ASSERT_TRUE(KvHeadlessLastFrame(Inner, &Frame));
  EXPECT_EQ(Frame.Pixels[0], 0x03);
  // Another failure: skipped without a repeat or a restore.
  Device->ResetCounts();
  Device->Inject(kvtest::FaultOp::Present, {KVERR_GENERIC});
  B.Present(false);
  EXPECT_EQ(Device->Calls(kvtest::FaultOp::Present), 1);
  EXPECT_EQ(Device->Restores(), 0);
  EXPECT_EQ(KvHeadlessPresentCount(Inner), 1u);
}

// --- presenting ----------------------------------------------------------------

TEST(Present, HeadlessFrameMatchesTheBufferAtEveryDepth) {
  DeviceScope Scope;
  for (int Depth : Depths) {
    for (bool FullScreen : {false, true}) {
      SCOPED_TRACE(Depth * 10 + FullScreen);
      std::unique_ptr<TKelvra> D;
      if (FullScreen) {
        KvSetDeviceFactory([] { return KvMakeHeadlessDevice(32); });
        D.reset(new TSelfFullKelvra(640, 480, Depth, "present"));
      } else {
        D = kvtest::MakeDisplay(Depth);
      }
      TBufferKv B(D.get(), 640, 480, false);
      kvtest::FillRandom(B, 1000u + uint32_t(Depth));
      B.Present(false);
      KvFrameCopy Frame;
      ASSERT_TRUE(KvHeadlessLastFrame(*D->DirectDraw, &Frame));
      ASSERT_EQ(Frame.Width, 640);
      ASSERT_EQ(Frame.Height, 480);
      EXPECT_EQ(Frame.Depth, Depth);
      const int Bpp = BytesOf(Depth);
      int Bad = 0;
      for (int y = 0; y < 480 && Bad == 0; ++y)
        if (std::memcmp(Frame.Pixels.get() + size_t(y) * Frame.Pitch, B.Rows[size_t(y)], size_t(640 * Bpp)) != 0)
          Bad = y + 1;
      EXPECT_EQ(Bad, 0) << "first differing row " << Bad - 1;
    }
    FullScreenActive = false;
  }
}

TEST(Present, FramePngHoldsTheColours) {
  DeviceScope Scope;
  // The PNG writer expands to 8-bit RGB; its output is checked by size here
  // and by colour through the frame copy it was given.
  auto D = kvtest::MakeDisplay(16);
  TBufferKv B(D.get(), 8, 4, false);
  B.Clear(PackColorDepth(16, 255, 0, 0));
  B.Present(false);
  KvFrameCopy Frame;
  ASSERT_TRUE(KvHeadlessLastFrame(*D->DirectDraw, &Frame));
  const std::string Dir = kvtest::MakeTempDir("kvpng");
  ASSERT_TRUE(KvWriteFramePng(Frame, Dir + "/f.png"));
  const std::string Png = kvtest::ReadFile(Dir + "/f.png");
  ASSERT_GT(Png.size(), 24u);
  EXPECT_EQ(Png.substr(1, 3), "PNG");
  // IHDR width and height, big-endian at bytes 16 and 20.
  EXPECT_EQ(uint8_t(Png[19]), 8);
  EXPECT_EQ(uint8_t(Png[23]), 4);
  EXPECT_FALSE(KvWriteFramePng(Frame, Dir + "/no/such/folder/f.png"));
}

// --- message pump ----------------------------------------------------------------

TEST(Messages, OneMessagePerCallAndQuitBehindOthers) {
  DeviceScope Scope;
  auto D = kvtest::MakeDisplay(32);
  EXPECT_TRUE(D->ProcessMessage());  // nothing pending
  KvHeadlessPostMessage(*D->DirectDraw, KvMessage{KvMessageKind::Other, 1});
  KvHeadlessPostMessage(*D->DirectDraw, KvMessage{KvMessageKind::Other, 2});
  D->DirectDraw->PostQuit();  // the close request, behind the two
  KvHeadlessPostMessage(*D->DirectDraw, KvMessage{KvMessageKind::Other, 3});
  EXPECT_TRUE(D->ProcessMessage());
  EXPECT_TRUE(D->ProcessMessage());
  EXPECT_FALSE(D->ProcessMessage());
  EXPECT_TRUE(D->ProcessMessage());  // the one after the quit waited its turn
  EXPECT_TRUE(D->ProcessMessage());
  EXPECT_FALSE(ProcessMessage(nullptr));
}

TEST_F(Faults, FaultDeviceMessagesKeepTheirOrder) {
  Make(false);
  Device->QueueMessage(KvMessage{KvMessageKind::Other, 9});
  Device->PostQuit();
  EXPECT_TRUE(Display->ProcessMessage());
  EXPECT_FALSE(Display->ProcessMessage());
  EXPECT_TRUE(Display->ProcessMessage());
}

}  // namespace
