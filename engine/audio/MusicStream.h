// KvMusicStream: one piece of music being decoded ahead of playback.
//
// A decoder thread fills a ring of about three seconds; the mixer (on SDL's
// audio thread) reads it while the stream holds a voice. Play takes a voice
// and continues from where the last Stop left off (the very first Play starts
// at the beginning, and so does a Play after a non-looping stream ran out).
// Nothing the show's thread calls waits for decoding.
//
// Depends on: Decoder.h, RingBuffer.h, AudioOutput.h.
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

enum class KvMusicKind { Raw, Stream, Module, Midi };

struct KvMusicStream {
 public:
  // Opens FileName (every check of the file happens here) and starts the
  // decoder thread. Null with the decoder's error text on failure.
  static KvMusicStream* Open(const std::string& FileName, KvMusicKind Kind, bool Loop,
                             std::string& ErrorText);
  ~KvMusicStream();  // gives the voice back, ends the thread

  void Play();
  void Stop();
  // Drops the next Frames frames of music, so that the next Play starts that
  // much later in the piece. Only while not playing; does not wait for the
  // decoder (it drops the rest as it decodes them).
  void Skip(size_t Frames);
  bool Playing() const { return Voice.load(std::memory_order_acquire) >= 0; }
  // True once a non-looping stream has been played to its last frame.
  bool Finished() const { return Ended.load(std::memory_order_acquire); }
  // Ends the decoder thread for good (library close); idempotent.
  void Halt();

  // Mixer side (under the device lock).
  size_t Pull(int16_t* Out, size_t Frames) { return Ring.Read(Out, Frames); }
  // The decoder is done and the ring is empty.
  bool Exhausted() const {
    return AtEnd.load(std::memory_order_acquire) && Ring.BufferedFrames() == 0;
  }
  void MarkEnded() { Ended.store(true, std::memory_order_release); }
  std::atomic<int> Voice{-1};  // mixer slot, -1 without a voice

  // Test hook: waits (polling) until Frames frames are buffered or the
  // decoder is done; false on timeout.
  bool WaitBuffered(size_t Frames, int TimeoutMs) const;

  static constexpr size_t RingFrames = 131072;  // 2.97 s at 44100 Hz
  static constexpr size_t ChunkFrames = 4096;   // decoded per step

 private:
  KvMusicStream(std::unique_ptr<KvDecoder> D, bool L);
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
  std::thread Thread;
};
