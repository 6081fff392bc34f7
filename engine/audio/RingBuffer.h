// KvRingBuffer: single-producer single-consumer ring of stereo 16-bit frames.
//
// The decoder thread writes, the audio callback (or a test pulling the mixer
// by hand) reads. Neither side ever blocks or locks: the two positions are
// free-running 64-bit counters (they never wrap in practice) published with
// release stores and read with acquire loads, so a frame is always complete
// in memory before the reader can see it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

class KvRingBuffer {
 public:
  // Capacity is rounded up to a power of two frames (at least 2).
  explicit KvRingBuffer(size_t CapacityFrames);

  size_t Capacity() const { return Mask + 1; }

  // Producer side: copies at most Frames frames from In (interleaved L R),
  // returns how many went in (less when the ring is full).
  size_t Write(const int16_t* In, size_t Frames);
  size_t FreeFrames() const;

  // Consumer side: copies at most Frames frames to Out, returns how many.
  size_t Read(int16_t* Out, size_t Frames);
  size_t BufferedFrames() const;

 private:
  size_t Mask;
  std::unique_ptr<uint32_t[]> Data;  // one frame = L | R << 16, little or big endian alike
  alignas(64) std::atomic<uint64_t> WritePos{0};
  alignas(64) std::atomic<uint64_t> ReadPos{0};
};
