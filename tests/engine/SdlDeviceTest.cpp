// The SDL device on SDL's dummy video driver, which can save every shown
// frame as a BMP file: the whole path from a frame buffer through the
// streaming texture to the window is read back here, at every depth.
#include <gtest/gtest.h>

#include <SDL.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "KvTest.h"
#include "engine/core/Errors.h"
#include "engine/core/Kelvra.h"
#include "engine/draw/BufferKv.h"
#include "engine/draw/PixelFormat.h"

namespace {

class SdlDummy : public ::testing::Test {
 protected:
  void SetUp() override {
    char Cwd[4096];
    ASSERT_NE(getcwd(Cwd, sizeof Cwd), nullptr);
    SavedCwd = Cwd;
    Dir = kvtest::MakeTempDir("kvsdl");
    ASSERT_EQ(chdir(Dir.c_str()), 0);
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_VIDEO_DUMMY_SAVE_FRAMES", "1", 1);
    KvSetDeviceFactory(nullptr);  // the SDL device
  }
  void TearDown() override {
    Display.reset();
    unsetenv("SDL_VIDEO_DUMMY_SAVE_FRAMES");
    unsetenv("SDL_VIDEODRIVER");
    FullScreenActive = false;
    if (chdir(SavedCwd.c_str()) != 0) ADD_FAILURE() << "cannot go back to " << SavedCwd;
    std::filesystem::remove_all(Dir);
  }

  // The newest saved frame: its pixel at (X, Y) as R, G, B.
  bool ShownPixel(int X, int Y, uint8_t* R, uint8_t* G, uint8_t* B, int* W, int* H) {
    std::string Newest;
    for (const auto& Entry : std::filesystem::directory_iterator(Dir))
      if (Entry.path().extension() == ".bmp" && Entry.path().string() > Newest) Newest = Entry.path().string();
    if (Newest.empty()) return false;
    SDL_Surface* Loaded = SDL_LoadBMP(Newest.c_str());
    if (!Loaded) return false;
    SDL_Surface* Rgb = SDL_ConvertSurfaceFormat(Loaded, SDL_PIXELFORMAT_RGB24, 0);
    SDL_FreeSurface(Loaded);
    if (!Rgb) return false;
    *W = Rgb->w;
    *H = Rgb->h;
    const uint8_t* P = static_cast<const uint8_t*>(Rgb->pixels) + Y * Rgb->pitch + X * 3;
    *R = P[0];
    *G = P[1];
    *B = P[2];
    SDL_FreeSurface(Rgb);
    return true;
  }

  std::string SavedCwd, Dir;
  std::unique_ptr<TKelvra> Display;
};

TEST_F(SdlDummy, FramesReachTheWindowUnconvertedAtEveryDepth) {
  for (int Depth : {15, 16, 24, 32}) {
    SCOPED_TRACE(Depth);
    Display.reset();
    Display.reset(new TSelfFullKelvra(640, 480, Depth, "sdl test"));
    ASSERT_EQ(Display->Depth, Depth);
    TBufferKv Frame(Display.get(), 640, 480, false);
    ASSERT_EQ(Frame.BytesPerPixel, Depth == 24 ? 3 : Depth == 32 ? 4 : 2);
    // Left half one colour, right half another: the scaling keeps the split.
    Frame.Clear(PackColorDepth(Depth, 255, 175, 132));
    const uint32_t Right = PackColorDepth(Depth, 16, 96, 200);
    for (int y = 0; y < 480; ++y)
      for (int x = 320; x < 640; ++x)
        for (int i = 0; i < Frame.BytesPerPixel; ++i)
          Frame.Rows[size_t(y)][x * Frame.BytesPerPixel + i] = uint8_t(Right >> (8 * i));
    Frame.Present(false);
    ASSERT_TRUE(Display->ProcessMessage());

    uint8_t R = 0, G = 0, B = 0;
    int W = 0, H = 0;
    ASSERT_TRUE(ShownPixel(10, 10, &R, &G, &B, &W, &H));
    // The expected colours are the depth's own expansion; SDL may round
    // its 5- and 6-bit expansion one step differently.
    uint8_t ER = 0, EG = 0, EB = 0;
    UnpackColorDepth(Depth, PackColorDepth(Depth, 255, 175, 132), ER, EG, EB);
    EXPECT_NEAR(R, ER, 1);
    EXPECT_NEAR(G, EG, 1);
    EXPECT_NEAR(B, EB, 1);
    ASSERT_TRUE(ShownPixel(W - 10, H - 10, &R, &G, &B, &W, &H));
    UnpackColorDepth(Depth, Right, ER, EG, EB);
    EXPECT_NEAR(R, ER, 1);
    EXPECT_NEAR(G, EG, 1);
    EXPECT_NEAR(B, EB, 1);
    // 4:3 on the dummy's 4:3 desktop: the picture fills the screen.
    EXPECT_EQ(W * 3, H * 4);
  }
}

TEST_F(SdlDummy, WindowedUsesTheDesktopFormat) {
  Display.reset(new TSelfKelvra(640, 480, "sdl window"));
  // The dummy desktop is XRGB8888: 4 bytes count 32 bits.
  EXPECT_EQ(Display->Depth, 32);
  EXPECT_FALSE(FullScreenActive);
  TBufferKv Frame(Display.get(), 640, 480, false);
  Frame.Clear(0x00204080);
  Frame.Present(false);
  uint8_t R = 0, G = 0, B = 0;
  int W = 0, H = 0;
  ASSERT_TRUE(ShownPixel(320, 240, &R, &G, &B, &W, &H));
  EXPECT_EQ(W, 640);
  EXPECT_EQ(H, 480);
  EXPECT_EQ(R, 0x20);
  EXPECT_EQ(G, 0x40);
  EXPECT_EQ(B, 0x80);
}

TEST_F(SdlDummy, CloseRequestQueuesBehindOtherMessages) {
  Display.reset(new TSelfKelvra(320, 240, "sdl messages"));
  while (SDL_PollEvent(nullptr)) SDL_PumpEvents(), SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  SDL_Event E{};
  E.type = SDL_KEYDOWN;
  E.key.keysym.scancode = SDL_SCANCODE_A;
  SDL_PushEvent(&E);
  E = SDL_Event{};
  E.type = SDL_MOUSEMOTION;  // high-rate input is not queued as a message
  for (int i = 0; i < 50; ++i) SDL_PushEvent(&E);
  E = SDL_Event{};
  E.type = SDL_KEYUP;
  E.key.keysym.scancode = SDL_SCANCODE_A;
  SDL_PushEvent(&E);
  E = SDL_Event{};
  E.type = SDL_QUIT;
  SDL_PushEvent(&E);
  EXPECT_TRUE(Display->ProcessMessage());   // key down
  EXPECT_TRUE(Display->ProcessMessage());   // key up
  EXPECT_FALSE(Display->ProcessMessage());  // the close request
  EXPECT_TRUE(Display->ProcessMessage());   // nothing left
}

}  // namespace
