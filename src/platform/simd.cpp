// The processor's vector instruction sets, read from cpuid, and the system's support for their
// registers, read from XCR0.
#include "platform/simd.h"

#include <cstring>

#if defined(VELORUND_X86)
#include <cpuid.h>
#endif

namespace {

const char* const kNames[kSimdLevels] = {"portable", "sse2", "avx2", "avx512"};

#if defined(VELORUND_X86)
// The register state the system saves on a thread switch (XCR0): bit 1 the 128-bit registers,
// bit 2 their upper halves, bits 5 to 7 the mask registers and the 512-bit state.
uint64_t savedRegisterState() {
    uint32_t low, high;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return static_cast<uint64_t>(high) << 32 | low;
}
#endif

}  // namespace

SimdLevel processorSimdLevel(void) {
#if defined(VELORUND_X86)
    constexpr uint32_t kOsSavesState = 1u << 27, kAvx = 1u << 28;  // cpuid 1, ecx
    constexpr uint32_t kAvx2 = 1u << 5;  // cpuid 7, ebx, and AVX-512 F, DQ, BW and VL
    constexpr uint32_t kAvx512 = 1u << 16 | 1u << 17 | 1u << 30 | 1u << 31;
    constexpr uint64_t kVectorState = 0x6, kAvx512State = 0xE6;
    uint32_t eax, ebx, ecx, edx;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return SimdLevel::Sse2;
    if (!(ecx & kOsSavesState) || !(ecx & kAvx)) return SimdLevel::Sse2;
    uint64_t state = savedRegisterState();
    if ((state & kVectorState) != kVectorState) return SimdLevel::Sse2;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) || !(ebx & kAvx2)) return SimdLevel::Sse2;
    bool avx512 = (ebx & kAvx512) == kAvx512 && (state & kAvx512State) == kAvx512State;
    return avx512 ? SimdLevel::Avx512 : SimdLevel::Avx2;
#else
    return SimdLevel::Portable;
#endif
}

bool simdLevelNamed(const char* name, SimdLevel* level) {
    for (int32_t i = 0; i < kSimdLevels; i++) {
        if (name && std::strcmp(name, kNames[i]) == 0) {
            *level = static_cast<SimdLevel>(i);
            return true;
        }
    }
    return false;
}

const char* simdLevelName(SimdLevel level) {
    int32_t i = static_cast<int32_t>(level);
    return i >= 0 && i < kSimdLevels ? kNames[i] : "";
}
