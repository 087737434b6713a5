// velorund-log-check: the exhaustive check of the sampler's logarithm. For every float from 0.5
// to 2048 (the range of minor radii the sampler can give, and then some), the level of detail
// the sampler forms, on its own and in the vector lanes of each instruction set this processor
// has, is compared with the C library's logarithm rounded to float, times log2(e). Prints the
// inputs checked and the differences found; exits 1 on any difference.
//   velorund-log-check
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/simd.h"
#include "sampling/level_of_detail.h"

namespace {

uint32_t bitsOf(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

// The level of detail as the sampler always formed it: the C library's logarithm.
float referenceLod(float minor) { return static_cast<float>(static_cast<double>(logFloat(minor)) * kLog2OfE); }

// Differences between the lanes of N and the reference, for 16 radii from bits `first`.
template <int N>
VELORUND_LANE_INLINE int32_t lanesDiffer(uint32_t first) {
    int32_t differ = 0;
    for (uint32_t at = first; at < first + 16; at += N) {
        typename Lanes<N>::F minor;
        for (int32_t i = 0; i < N; i++) {
            uint32_t bits = at + static_cast<uint32_t>(i);
            std::memcpy(&minor[i], &bits, sizeof bits);
        }
        typename Lanes<N>::F lod = lodOfRadiusLanes<N>(minor);
        for (int32_t i = 0; i < N; i++) differ += bitsOf(lod[i]) != bitsOf(referenceLod(minor[i]));
    }
    return differ;
}

int32_t lanesDiffer4(uint32_t first) { return lanesDiffer<4>(first); }
#include "platform/simd_avx2_begin.h"
int32_t lanesDiffer8(uint32_t first) { return lanesDiffer<8>(first); }
#include "platform/simd_target_end.h"
#include "platform/simd_avx512_begin.h"
int32_t lanesDiffer8Wide(uint32_t first) { return lanesDiffer<8>(first); }
#include "platform/simd_target_end.h"

}  // namespace

int main() {
    const uint32_t low = bitsOf(kFastLogLow), high = bitsOf(kFastLogHigh);
    const SimdLevel simd = processorSimdLevel();
    int64_t inputs = 0, differences = 0;
    for (uint32_t first = low; first < high; first += 16) {
        for (uint32_t bits = first; bits < first + 16; bits++) {
            float minor;
            std::memcpy(&minor, &bits, sizeof minor);
            differences += bitsOf(lodOfRadius(minor)) != bitsOf(referenceLod(minor));
        }
        inputs += 16;
        differences += lanesDiffer4(first);
        if (simd >= SimdLevel::Avx2) differences += lanesDiffer8(first);
        if (simd >= SimdLevel::Avx512) differences += lanesDiffer8Wide(first);
    }
    std::printf("%lld radii from %g to %g checked alone and in the lanes of sse2%s%s: %lld differ\n",
                static_cast<long long>(inputs), static_cast<double>(kFastLogLow), static_cast<double>(kFastLogHigh),
                simd >= SimdLevel::Avx2 ? ", avx2" : "", simd >= SimdLevel::Avx512 ? ", avx512" : "",
                static_cast<long long>(differences));
    return differences == 0 ? 0 : 1;
}
