// Start-up pictures: the frame buffer Screen and the thirteen picture
// buffers, all in system memory, loaded once and kept for the whole run.
//
// Depends on: TBufferKv (creation, LoadFromFile), AssetPath (Main.cpp).
#include "Show.h"

TBufferKv* LogoPic = nullptr;
TBufferKv* GradientPic = nullptr;
TBufferKv* BallPic = nullptr;
TBufferKv* FirePic = nullptr;
TBufferKv* BackdropPic = nullptr;
TBufferKv* StarPic = nullptr;
TBufferKv* WaterPic = nullptr;
TBufferKv* TitlePic = nullptr;
TBufferKv* CodePic = nullptr;
TBufferKv* GfxPic = nullptr;
TBufferKv* MusicPic = nullptr;
TBufferKv* GroupPic = nullptr;
TBufferKv* GroupPicM = nullptr;

namespace {

struct PictureSlot {
  TBufferKv** Global;
  const char* File;  // as the show names it; AssetPath makes it a real path
};

// Load order. A failing file ends the program through the loader's error;
// the buffers made before it stay in their globals for Shutdown to free.
const PictureSlot PictureTable[13] = {
    {&LogoPic, "GFX\\nerith.png"},    {&GradientPic, "GFX\\gradiente.png"}, {&BallPic, "GFX\\ball.png"},
    {&FirePic, "GFX\\fire11.jpg"},    {&BackdropPic, "GFX\\mp056.jpg"},     {&StarPic, "GFX\\star.bmp"},
    {&WaterPic, "GFX\\water.jpg"},    {&TitlePic, "GFX\\tw_nr.png"},        {&CodePic, "GFX\\code.png"},
    {&GfxPic, "GFX\\gfx.png"},        {&MusicPic, "GFX\\music.png"},        {&GroupPic, "GFX\\corvel.png"},
    {&GroupPicM, "GFX\\corvel_M.png"},
};

}  // namespace

void LoadPictures() {
  Screen = new TBufferKv(Display, DisplayWidth, DisplayHeight, false);
  for (const PictureSlot& Slot : PictureTable) {
    // Stored before loading so that a buffer whose load fails is still
    // reachable from its global.
    *Slot.Global = new TBufferKv(Display, 1, 1, false);
    (*Slot.Global)->LoadFromFile(AssetPath(Slot.File), false);
  }
}
