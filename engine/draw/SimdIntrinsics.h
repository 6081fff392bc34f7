// The SSE2 and SSSE3 intrinsics of the engine's vector kernels, on every
// processor that can run them:
//   x86-64       the compiler's own headers (SSSE3 functions still need the
//                processor test and a target("ssse3") attribute)
//   WebAssembly  emscripten's SSE2 header, with -msimd128 -msse2
//                and WebAssembly's own 128-bit operations (KV_SIMD_WASM)
//                for loops better written in them than in SSE2's names
//   64-bit ARM   SIMDe's implementations on NEON, which every aarch64
//                processor has. SIMDe is asked for nothing approximate (no
//                SIMDE_FAST_* switch), so each intrinsic gives the x86 bits.
// KV_SIMD_SSE2 says the SSE2 kernels can be built here; KV_SIMD_SSSE3 that
// the SSSE3 ones can, and KV_SIMD_SSSE3_ALWAYS that they need no processor
// test.
// Public (<kelvra/draw/SimdIntrinsics.h>): a program's own vector loops,
// the show's rasterizers among them, include it in place of <emmintrin.h>.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>
#define KV_SIMD_SSE2 1
#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#include <tmmintrin.h>
#define KV_SIMD_SSSE3 1
#endif
#elif defined(__aarch64__)
#define SIMDE_ENABLE_NATIVE_ALIASES
#include <simde/x86/ssse3.h>
#define KV_SIMD_SSE2 1
#define KV_SIMD_SSSE3 1
#define KV_SIMD_SSSE3_ALWAYS 1
#endif

#if defined(__wasm_simd128__)
#include <wasm_simd128.h>
#define KV_SIMD_WASM 1
#endif
