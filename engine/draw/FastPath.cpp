// Processor test, path selection and the engine-wide row copy.
//
// The test runs once, the first time anything asks (before the first
// drawing): SSE2 is part of x86-64, so MmxAvailable is always true there;
// so it is on 64-bit ARM, whose NEON runs the SSE2 kernels through SIMDe,
// and in a WebAssembly build with SIMD, where emscripten's SSE2 headers map
// the SSE2 kernels onto wasm's 128-bit vectors; AVX2 is asked of the
// processor with CPUID. ARM builds leave the AVX2 kernels out: SIMDe would
// run each 256-bit step as two NEON ones, and its gathers a lane at a time.
// KELVRA_REFERENCE=1 in the environment starts the engine on the reference
// kernels.
#include "FastPath.h"

#include <cstdlib>
#include <cstring>

#include "RowKernels.h"

#if defined(__x86_64__) || defined(_M_X64) || defined(__aarch64__) || (defined(__EMSCRIPTEN__) && defined(__SSE2__))
bool MmxAvailable = true;
#else
bool MmxAvailable = false;
#endif

namespace {

// The rows FastMove copies never overlap, and memcpy is already the widest
// copy the C library knows for this processor.
void WideMove(const void* Source, void* Dest, uint32_t ByteCount) { std::memcpy(Dest, Source, ByteCount); }

bool DetectAvx2() {
#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

KvPath BestPath() {
  if (KvHasAvx2()) return KvPath::Avx2;
  return MmxAvailable ? KvPath::Sse2 : KvPath::Reference;
}

bool ReferenceRequested() {
  const char* Value = std::getenv("KELVRA_REFERENCE");
  return Value && std::strcmp(Value, "1") == 0;
}

KvPath& CurrentPath() {
  static KvPath Path = ReferenceRequested() ? KvPath::Reference : BestPath();
  return Path;
}

}  // namespace

void (*FastMove)(const void* Source, void* Dest, uint32_t ByteCount) = WideMove;

bool KvHasAvx2() {
  static const bool Has = DetectAvx2();
  return Has;
}

KvPath KvActivePath() { return CurrentPath(); }

void KvForcePath(KvPath Path) {
  if (Path == KvPath::Avx2 && !KvHasAvx2()) Path = KvPath::Sse2;
  if (Path == KvPath::Sse2 && !MmxAvailable) Path = KvPath::Reference;
  CurrentPath() = Path;
}

void KvForceReference(bool On) { CurrentPath() = On ? KvPath::Reference : BestPath(); }

const char* KvPathName(KvPath Path) {
  switch (Path) {
    case KvPath::Avx2:
      return "AVX2";
    case KvPath::Sse2:
#if defined(__aarch64__)
      return "SSE2 on NEON";
#else
      return "SSE2";
#endif
    default:
      return "reference";
  }
}

void EndMmx() {
  // The AVX2 kernels leave the upper halves of the ymm registers dirty only
  // inside their own calls (the compiler ends each with vzeroupper); this is
  // the explicit end of the wide state the callers' contract asks for.
  if (CurrentPath() == KvPath::Avx2) kv::Avx2EndState();
}
