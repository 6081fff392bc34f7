// KvMusicStream: one piece of music being decoded ahead of playback.
//
// A decoder thread fills a ring of about three seconds; the mixer (on SDL's
// audio thread) reads it while the stream holds one of its voices. The mixer
// owns the voices (AudioOutput.h: KvAudioPlay, KvAudioStop): a stream knows
// nothing of it and only offers its frames through Read. Nothing the show's
// thread calls waits for decoding.
//
// Depends on: Decoder.h, RingBuffer.h.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "Decoder.h"
#include "RingBuffer.h"

struct KvMusicStream {
 public:
  // Starts decoding an opened decoder (KvOpenDecoder) on a thread of its own.
  KvMusicStream(std::unique_ptr<KvDecoder> D, bool Loop);
  // Ends the thread. The mixer must have let go of the stream first
  // (KvAudioRemove).
  ~KvMusicStream();

  // Before a voice is taken: a stream that played to its end starts again
  // at the beginning; otherwise it continues where it stopped.
  void RestartIfEnded();
  // Drops the next Frames frames of music, so that the next Play starts that
  // much later in the piece. Only while not playing; does not wait for the
  // decoder (it drops the rest as it decodes them).
  void Skip(size_t Frames);
  // Only while not playing: the next Play starts Frame frames from the
  // piece's beginning. The decoder rewinds and drops up to there on its
  // thread; nothing here waits.
  void SeekTo(size_t Frame);
  bool Playing() const { return Voice.load(std::memory_order_acquire) >= 0; }
  // True once a non-looping stream has been played to its last frame.
  bool Finished() const { return Ended.load(std::memory_order_acquire); }
  // Ends the decoder thread for good (library close); idempotent.
  void Halt();

  // Mixer side (under the device lock).
  size_t Read(int16_t* Out, size_t Frames) {
    const size_t Got = Ring.Read(Out, Frames);
    Position.fetch_add(int64_t(Got), std::memory_order_relaxed);
    return Got;
  }
  // The music frame the next Read starts at (skips counted in).
  int64_t MusicPosition() const { return Position.load(std::memory_order_relaxed); }
  // The decoder is done and the ring is empty.
  bool Exhausted() const {
    return AtEnd.load(std::memory_order_acquire) && Ring.BufferedFrames() == 0;
  }
  void MarkEnded() { Ended.store(true, std::memory_order_release); }
  std::atomic<int> Voice{-1};  // mixer slot, -1 without a voice; set by the mixer

  // Test hook: waits (polling) until Frames frames are buffered or the
  // decoder is done; false on timeout.
  bool WaitBuffered(size_t Frames, int TimeoutMs) const;

  static constexpr size_t RingFrames = 131072;  // 2.97 s at 44100 Hz
  static constexpr size_t ChunkFrames = 4096;   // decoded per step

 private:
  void Run();

  std::unique_ptr<KvDecoder> Decoder;
  const bool Loop;
  KvRingBuffer Ring;
  std::mutex Lock;  // guards Quit and Restart, pairs with Wake
  std::condition_variable Wake;
  bool Quit = false;
  bool Restart = false;
  size_t SkipLeft = 0;  // frames the decoder thread still drops (under Lock)
  std::atomic<bool> AtEnd{false};  // decoder thread wrote its last frame
  std::atomic<bool> Ended{false};  // mixer played that last frame
  std::atomic<int64_t> Position{0};
  std::thread Thread;
};
