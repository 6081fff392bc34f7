// KvMusicStream: the decoder thread and the play state of one piece of music.
#include "MusicStream.h"

#include <algorithm>
#include <chrono>
#include <vector>

KvMusicStream::KvMusicStream(std::unique_ptr<KvDecoder> D, bool L)
    : Decoder(std::move(D)), Loop(L), Ring(RingFrames) {
  Thread = std::thread(&KvMusicStream::Run, this);
}

KvMusicStream::~KvMusicStream() { Halt(); }

void KvMusicStream::Halt() {
  {
    std::lock_guard<std::mutex> G(Lock);
    Quit = true;
  }
  Wake.notify_all();
  if (Thread.joinable()) Thread.join();
}

void KvMusicStream::RestartIfEnded() {
  if (Playing()) return;
  if (Ended.load(std::memory_order_acquire)) {
    // Played out: start again from the beginning. The decoder thread is idle
    // at its end, so clearing AtEnd here cannot race with a last write.
    {
      std::lock_guard<std::mutex> G(Lock);
      Restart = true;
      AtEnd.store(false, std::memory_order_release);
      Ended.store(false, std::memory_order_release);
      Position.store(0, std::memory_order_relaxed);
    }
    Wake.notify_all();
  }
}

void KvMusicStream::Skip(size_t Frames) {
  if (Playing()) return;
  // Without a voice nobody else reads the ring; the decoder thread writes
  // only under Lock, so what is buffered now and what it drops later add up
  // to exactly Frames.
  std::vector<int16_t> Scrap(ChunkFrames * 2);
  Position.fetch_add(int64_t(Frames), std::memory_order_relaxed);
  std::lock_guard<std::mutex> G(Lock);
  while (Frames > 0) {
    const size_t Got = Ring.Read(Scrap.data(), std::min(Frames, ChunkFrames));
    if (Got == 0) break;
    Frames -= Got;
  }
  SkipLeft += Frames;
}

void KvMusicStream::SeekTo(size_t Frame) {
  if (Playing()) return;
  std::vector<int16_t> Scrap(ChunkFrames * 2);
  {
    std::lock_guard<std::mutex> G(Lock);
    while (Ring.Read(Scrap.data(), ChunkFrames) > 0) {
    }
    Restart = true;
    SkipLeft = Frame;
    Position.store(int64_t(Frame), std::memory_order_relaxed);
    AtEnd.store(false, std::memory_order_release);
    Ended.store(false, std::memory_order_release);
  }
  Wake.notify_all();
}

// Decodes chunk by chunk into the ring, sleeping while the ring is full. A
// looping stream rewinds at its end, unless a whole pass gave nothing (an
// empty file would otherwise spin).
void KvMusicStream::Run() {
  std::vector<int16_t> Chunk(ChunkFrames * 2);
  size_t Have = 0;  // frames in Chunk
  size_t Sent = 0;  // of them already in the ring
  bool PassHadFrames = false;
  std::unique_lock<std::mutex> L(Lock);
  while (!Quit) {
    if (Restart) {
      Restart = false;
      L.unlock();
      const bool Rewound = Decoder->Rewind();
      L.lock();
      Have = Sent = 0;
      PassHadFrames = false;
      if (!Rewound) AtEnd.store(true, std::memory_order_release);
      continue;
    }
    if (AtEnd.load(std::memory_order_relaxed)) {
      Wake.wait(L);
      continue;
    }
    if (Sent == Have) {
      L.unlock();
      size_t N = Decoder->Decode(Chunk.data(), ChunkFrames);
      if (N == 0 && Loop && PassHadFrames && Decoder->Rewind()) {
        PassHadFrames = false;
        N = Decoder->Decode(Chunk.data(), ChunkFrames);
      }
      L.lock();
      if (Restart) continue;  // decoded before a seek: from the old position
      if (N == 0) {
        AtEnd.store(true, std::memory_order_release);
        continue;
      }
      PassHadFrames = true;
      Have = N;
      Sent = 0;
    }
    if (SkipLeft > 0) {
      const size_t Drop = std::min(SkipLeft, Have - Sent);
      SkipLeft -= Drop;
      Sent += Drop;
      continue;
    }
    Sent += Ring.Write(Chunk.data() + Sent * 2, Have - Sent);
    // The mixer takes about 1024 frames per 23 ms; a short nap keeps the ring
    // topped up without a wake-up call from the audio thread.
    if (Sent < Have) Wake.wait_for(L, std::chrono::milliseconds(20));
  }
}

bool KvMusicStream::WaitBuffered(size_t Frames, int TimeoutMs) const {
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  while (Ring.BufferedFrames() < Frames && !AtEnd.load(std::memory_order_acquire)) {
    if (std::chrono::steady_clock::now() > Deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
