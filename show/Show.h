// The show's globals and its frame loop.
//
//   Main.cpp       configuration, asset paths, InitShow, EndFrame (pacing,
//                  trails, frame outputs), Shutdown
//   CommandLine.cpp  the options (Options.h)
//   FrameOutput.h  where finished frames go; RunClock.h the run's clock
//   Pictures.cpp   the picture globals and LoadPictures
//   Effects2D.cpp  starfield and sprite swarm
//   Timeline.cpp   the prelude and the fourteen scenes
//   3d/            meshes, transform, face rendering, rasterizers
#pragma once

#include <cstdint>
#include <string>

#include <kelvra/core/Input.h>
#include <kelvra/core/Kelvra.h>
#include <kelvra/core/Sound.h>
#include <kelvra/core/Timer.h>
#include <kelvra/draw/BufferKv.h>
#include <kelvra/draw/PixelFormat.h>

// Configuration (the values the show is designed for; the command line may
// change UseFullScreen, DisplayDepth and UseMusic).
extern int32_t DisplayWidth;   // 640
extern int32_t DisplayHeight;  // 480
extern int32_t DisplayDepth;   // 32
extern bool PresentWait;       // false
extern bool UseFullScreen;     // true
extern bool UseMusic;          // true

// Engine objects, created once by InitShow / LoadPictures.
extern TKelvra* Display;
extern TBufferKv* Screen;
extern TSoundKv* Sound;
extern TTimerKv* Timer;
extern TInputKv* Input;

// Pictures, one global per Picture row of AssetTable.h.
#define NERITH_ASSET_Picture(Name, File) extern TBufferKv* Name;
#include "AssetTable.h"

// Frame state.
extern uint32_t FrameCount;
extern bool TrailsOn;
extern uint8_t TrailPos;
extern const int8_t TrailOffsets[18];

struct TFontType {
  std::string Name;
  int32_t Size = 0;
};
extern TFontType Fonts[2];

// Random(N): uniform 0 .. N-1 from the generator seeded in InitShow.
int32_t Random(int32_t N);
void SeedRandom(uint32_t Seed);
// The generator's state as it stands, and put back (the seek's snapshots).
uint32_t RandomGeneratorState();
void SetRandomGeneratorState(uint32_t State);

// A show path as written ("GFX/nerith.png", or "GFX\nerith.png") turned into a path of this
// system: backslashes become '/', prefixed with the asset folder found at
// start (AssetSearch.h: the current folder, beside the executable, or
// ../share/nerith from it).
std::string AssetPath(const std::string& ShowPath);
void SetAssetRoot(const std::string& Root);
// The soundtrack to play, live and when recording: the --music file, or
// the show's own soundtrack (the Music row of AssetTable.h).
std::string ShowMusicPath();

void InitShow();
// The prelude's music cue: plays the music (or, while catching up to
// --start, keeps it for the switch to the live clock) and tells the frame
// outputs its show time.
void StartMusic();
void LoadPictures();
void SelectFont(uint8_t Index);
// Called exactly once at the end of every frame; may end the program.
void EndFrame();
[[noreturn]] void Shutdown();
// A stop signal came while starting (loader threads may still run): frees
// what exists, removes unfinished files and exits 128 + the signal's number
// without running static destructors.
[[noreturn]] void EndStartInterrupted();
void RunTimeline();

// The scene the timeline is in (0: prelude, 1 .. 14); the benchmark report
// of EndFrame counts frames and times per scene by it.
extern int32_t CurrentScene;
