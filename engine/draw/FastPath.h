// Processor test and the engine-wide row copy.
//
// Public (<kelvra/draw/FastPath.h>): a program with inner loops of its own
// (the show's rasterizers) copies rows with FastMove, ends a run of them
// with EndMmx, and follows the same reference switch as the engine.
// FastMove is never null: it starts as a plain copy.
//
// MmxAvailable is true on every x86-64 processor (SSE2 is part of the
// architecture) and on every 64-bit ARM one (the SSE2 kernels run on NEON,
// through SIMDe); KvHasAvx2 says whether the AVX2 kernels may run. Setting the
// environment variable KELVRA_REFERENCE=1 (or calling KvForceReference) makes
// every drawing routine take its plain reference path, so both can be timed
// and compared.
#pragma once

#include <cstddef>
#include <cstdint>

enum class KvPath { Reference, Sse2, Avx2 };

extern bool MmxAvailable;
// Copies ByteCount bytes; the regions never overlap.
extern void (*FastMove)(const void* Source, void* Dest, uint32_t ByteCount);
// Ends use of the wide registers (vzeroupper after AVX2; nothing otherwise).
void EndMmx();

bool KvHasAvx2();
// The widest path the drawing routines use now.
KvPath KvActivePath();
// Force a path (tests and benchmarks). A path the processor lacks falls back
// to the next narrower one.
void KvForcePath(KvPath Path);
void KvForceReference(bool On);
// A path's name for reports, with the instructions it runs on here:
// "reference", "SSE2", "AVX2", "SSE2 on NEON".
const char* KvPathName(KvPath Path);
