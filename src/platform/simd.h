// The vector instruction sets the pixel loops run on, and which of them this processor and its
// system offer. A run takes one set for all its loops, chosen at Prepare; every set gives the
// same bits, a wider one only takes more pixels, texels or samples per instruction.
//
// Code for a set other than the compiler's baseline is compiled inside a target region (see
// platform/simd_target_begin.h), only on x86 (VELORUND_X86), and runs only when chosen.
#pragma once

#include <cstdint>

#if defined(__x86_64__) || (defined(__i386__) && defined(__SSE2__))
#define VELORUND_X86 1
#endif

enum class SimdLevel : int32_t {
    Portable,  // plain C++: no vector instructions
    Sse2,      // 128-bit lanes, part of every x86-64 processor
    Avx2,      // 256-bit lanes
    Avx512,    // 512-bit lanes (the F, BW, DQ and VL sets)
};
constexpr int32_t kSimdLevels = 4;

// The widest set the processor and the system's saving of vector registers support; Portable
// off x86.
SimdLevel processorSimdLevel(void);

// The level of a name ("portable", "sse2", "avx2", "avx512"); false for any other.
bool simdLevelNamed(const char* name, SimdLevel* level);
const char* simdLevelName(SimdLevel level);
