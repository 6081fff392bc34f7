// Start-up pictures: the frame buffer Screen and the picture buffers of
// AssetTable.h, all in system memory, loaded once and kept for the whole run.
//
// Depends on: TBufferKv (creation, LoadPicture, LoadFromFile),
// KvDecodePicture (engine/draw/ImageDecode.h), AssetPath (Main.cpp).
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <memory>
#include <thread>
#include <vector>

#include <kelvra/core/RegularFile.h>
#include <kelvra/draw/ImageDecode.h>

#include "RunClock.h"
#include "Show.h"

#define NERITH_ASSET_Picture(Name, File) TBufferKv* Name = nullptr;
#include "AssetTable.h"

namespace {

struct PictureSlot {
  TBufferKv** Global;
  const char* File;  // under the asset folder; AssetPath makes it a real path
};

// Load order. A failing file ends the program through the loader's error;
// the buffers made before it stay in their globals for Shutdown to free.
const PictureSlot PictureTable[] = {
#define NERITH_ASSET_Picture(Name, File) {&Name, File},
#include "AssetTable.h"
};

// Decoding is most of the pictures' start-up time and needs no display, so
// the files are decoded on two threads first. A file that could not be read
// or decoded is then loaded again the plain way, in table order, which
// reports it exactly as a plain load would.
struct DecodedPicture {
  bool Ok = false;
  KvPicture Picture;
};

#ifndef __EMSCRIPTEN__
void DecodeFile(const std::string& Path, DecodedPicture& Out) {
  std::vector<uint8_t> Bytes;
  std::string Ignored;
  Out.Ok = KvReadRegularFile(Path, Bytes, Ignored) && KvDecodePicture(Bytes.data(), Bytes.size(), Out.Picture, Ignored);
}

// Two threads decode; the show's thread only waits, so that a stop signal
// ends the start at once whatever file is being decoded. The threads then
// are left running: the process ends without waiting for them.
void DecodeAhead(std::vector<DecodedPicture>& Decoded) {
  struct Shared {
    std::atomic<size_t> NextFile{0};
    std::mutex Lock;
    std::condition_variable Done;
    int Running = 2;
  };
  auto State = std::make_shared<Shared>();
  auto Work = [State, &Decoded] {
    for (size_t i; (i = State->NextFile.fetch_add(1)) < Decoded.size();)
      DecodeFile(AssetPath(PictureTable[i].File), Decoded[i]);
    KvDecodeThreadDone();
    std::lock_guard<std::mutex> L(State->Lock);
    --State->Running;
    State->Done.notify_all();
  };
  std::thread First(Work), Second(Work);
  std::unique_lock<std::mutex> L(State->Lock);
  while (!State->Done.wait_for(L, std::chrono::milliseconds(50), [&] { return State->Running == 0; }))
    if (StopSignalNumber() != 0) {
      L.unlock();
      First.detach();
      Second.detach();
      EndStartInterrupted();
    }
  L.unlock();
  First.join();
  Second.join();
}
#else
// The browser build has neither the decoders nor a second thread: its
// pictures come already decoded from the asset pack, through LoadFromFile.
void DecodeAhead(std::vector<DecodedPicture>&) {}
#endif

}  // namespace

void LoadPictures() {
  constexpr size_t Count = sizeof(PictureTable) / sizeof(PictureTable[0]);
  std::vector<DecodedPicture> Decoded(Count);
  DecodeAhead(Decoded);

  Screen = new TBufferKv(Display, DisplayWidth, DisplayHeight, false);
  for (size_t i = 0; i < Count; ++i) {
    const PictureSlot& Slot = PictureTable[i];
    // Stored before loading so that a buffer whose load fails is still
    // reachable from its global.
    *Slot.Global = new TBufferKv(Display, 1, 1, false);
    if (Decoded[i].Ok)
      (*Slot.Global)->LoadPicture(Decoded[i].Picture, false);
    else
      (*Slot.Global)->LoadFromFile(AssetPath(Slot.File), false);
    Decoded[i].Picture = KvPicture{};  // the decoded bytes are not kept
  }
}
