// KvRingBuffer: lock-free single-producer single-consumer frame ring.
#include "RingBuffer.h"

#include <cstring>

KvRingBuffer::KvRingBuffer(size_t CapacityFrames) {
  size_t Cap = 2;
  while (Cap < CapacityFrames) Cap <<= 1;
  Mask = Cap - 1;
  Data.reset(new uint32_t[Cap]());
}

size_t KvRingBuffer::FreeFrames() const {
  const uint64_t W = WritePos.load(std::memory_order_relaxed);
  const uint64_t R = ReadPos.load(std::memory_order_acquire);
  return Capacity() - static_cast<size_t>(W - R);
}

size_t KvRingBuffer::BufferedFrames() const {
  const uint64_t W = WritePos.load(std::memory_order_acquire);
  const uint64_t R = ReadPos.load(std::memory_order_relaxed);
  return static_cast<size_t>(W - R);
}

// Frames are copied as whole 32-bit words with memcpy, so the two channels of a
// frame always travel together and no aliasing rule is bent.
size_t KvRingBuffer::Write(const int16_t* In, size_t Frames) {
  const uint64_t W = WritePos.load(std::memory_order_relaxed);
  const uint64_t R = ReadPos.load(std::memory_order_acquire);
  const size_t Free = Capacity() - static_cast<size_t>(W - R);
  if (Frames > Free) Frames = Free;
  const size_t Start = static_cast<size_t>(W) & Mask;
  const size_t First = Frames < Capacity() - Start ? Frames : Capacity() - Start;
  std::memcpy(&Data[Start], In, First * 4);
  std::memcpy(&Data[0], In + First * 2, (Frames - First) * 4);
  WritePos.store(W + Frames, std::memory_order_release);
  return Frames;
}

size_t KvRingBuffer::Read(int16_t* Out, size_t Frames) {
  const uint64_t R = ReadPos.load(std::memory_order_relaxed);
  const uint64_t W = WritePos.load(std::memory_order_acquire);
  const size_t Avail = static_cast<size_t>(W - R);
  if (Frames > Avail) Frames = Avail;
  const size_t Start = static_cast<size_t>(R) & Mask;
  const size_t First = Frames < Capacity() - Start ? Frames : Capacity() - Start;
  std::memcpy(Out, &Data[Start], First * 4);
  std::memcpy(Out + First * 2, &Data[0], (Frames - First) * 4);
  ReadPos.store(R + Frames, std::memory_order_release);
  return Frames;
}
