// Vector operations on 128-bit lanes, for loops that keep one item (a kernel's 5 x 5 read, a
// pyramid window) in each 128-bit lane of a vector: SSE2's one lane (lane_ops_sse2) and AVX2's
// two (lane_ops_avx2). Every operation works within lanes, so a loop written on them once gives
// each item the arithmetic a lone 128-bit vector would. A loop includes its body inside a
// namespace that takes one set with a using-directive, the AVX2 one inside an AVX2 region.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/simd.h"

#if defined(VELORUND_X86)
#include <immintrin.h>

namespace lane_ops_sse2 {
constexpr int kLanes = 1;  // 128-bit lanes in a vector
using Ints = __m128i;
using Floats = __m128;
template <typename V, typename T>
inline V loadLanes(const T* const* rows, int32_t offset) {
    return reinterpret_cast<V>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[0] + offset)));
}
inline Ints zeroInts() { return _mm_setzero_si128(); }
inline Floats zeroFloats() { return _mm_setzero_ps(); }
template <int Bytes>
inline Ints bytesRight(Ints v) { return _mm_srli_si128(v, Bytes); }
inline Ints unpackLow8(Ints a, Ints b) { return _mm_unpacklo_epi8(a, b); }
inline Ints unpackLow16(Ints a, Ints b) { return _mm_unpacklo_epi16(a, b); }
inline Ints madd16(Ints a, Ints b) { return _mm_madd_epi16(a, b); }
inline Ints add32(Ints a, Ints b) { return _mm_add_epi32(a, b); }
inline Ints and32(Ints a, Ints b) { return _mm_and_si128(a, b); }
// The low 32 bits of each lane's product: SSE2 multiplies 32-bit lanes two at a time, and the
// low half of a product is the same for signed and unsigned lanes.
inline Ints multiply32(Ints a, Ints b) {
    Ints even = _mm_mul_epu32(a, b);
    Ints odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
    return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                              _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
}
template <int Bits>
inline Ints shiftRight16(Ints v) { return _mm_srli_epi16(v, Bits); }
template <int Bits>
inline Ints shiftLeft32(Ints v) { return _mm_slli_epi32(v, Bits); }
template <int Bits>
inline Ints shiftRightSigned32(Ints v) { return _mm_srai_epi32(v, Bits); }
inline Ints splat16(int16_t v) { return _mm_set1_epi16(v); }
inline Ints splat32(int32_t v) { return _mm_set1_epi32(v); }
template <int Element>
inline Ints broadcast32(Ints v) { return _mm_shuffle_epi32(v, Element * 0x55); }
template <int Element>
inline Floats broadcastFloat(Floats v) { return _mm_shuffle_ps(v, v, Element * 0x55); }
inline Ints packSigned32(Ints a, Ints b) { return _mm_packs_epi32(a, b); }
inline Ints reverse32(Ints v) { return _mm_shuffle_epi32(v, _MM_SHUFFLE(0, 1, 2, 3)); }
inline Floats scaleInts(Ints v, float scale) { return _mm_mul_ps(_mm_cvtepi32_ps(v), _mm_set1_ps(scale)); }
inline void storeFloats(float* out, Floats v) { _mm_storeu_ps(out, v); }
inline Floats asFloats(Ints v) { return _mm_castsi128_ps(v); }
inline Floats addFloats(Floats a, Floats b) { return _mm_add_ps(a, b); }
inline Floats multiplyFloats(Floats a, Floats b) { return _mm_mul_ps(a, b); }
// The bytes of the two 4-byte texels at byte B of each lane (a at B, b at B + 4) as the 16-bit
// lanes [a0 b0 a1 b1 a2 b2 a3 b3], and of one texel as [a0 0 a1 0 a2 0 a3 0].
template <int B>
inline Ints widenTexelPair(Ints t) {
    return _mm_unpacklo_epi8(_mm_unpacklo_epi8(_mm_srli_si128(t, B), _mm_srli_si128(t, B + 4)), _mm_setzero_si128());
}
template <int B>
inline Ints widenTexel(Ints t) {
    return _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_srli_si128(t, B), _mm_setzero_si128()), _mm_setzero_si128());
}
inline Ints sub32(Ints a, Ints b) { return _mm_sub_epi32(a, b); }
inline Ints xor32(Ints a, Ints b) { return _mm_xor_si128(a, b); }
inline Ints packUnsigned16(Ints a, Ints b) { return _mm_packus_epi16(a, b); }
inline Ints truncateFloats(Floats v) { return _mm_cvttps_epi32(v); }
inline Floats splatFloat(float v) { return _mm_set1_ps(v); }
inline Floats minFloats(Floats a, Floats b) { return _mm_min_ps(a, b); }
inline Floats maxFloats(Floats a, Floats b) { return _mm_max_ps(a, b); }
inline Floats floatsOf(Ints v) { return _mm_cvtepi32_ps(v); }
// The first `Bytes` bytes of each 128-bit lane to out[lane].
template <size_t Bytes, typename V>
inline void storeLanes(uint8_t* const* out, V v) {
    uint8_t bytes[16];
    std::memcpy(bytes, &v, sizeof bytes);
    std::memcpy(out[0], bytes, Bytes);
}
}  // namespace lane_ops_sse2

#include "platform/simd_avx2_begin.h"
namespace lane_ops_avx2 {
constexpr int kLanes = 2;
using Ints = __m256i;
using Floats = __m256;
template <typename V, typename T>
inline V loadLanes(const T* const* rows, int32_t offset) {
    __m256i v = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(rows[1] + offset),
                                    reinterpret_cast<const __m128i*>(rows[0] + offset));
    return reinterpret_cast<V>(v);
}
inline Ints zeroInts() { return _mm256_setzero_si256(); }
inline Floats zeroFloats() { return _mm256_setzero_ps(); }
template <int Bytes>
inline Ints bytesRight(Ints v) { return _mm256_srli_si256(v, Bytes); }
inline Ints unpackLow8(Ints a, Ints b) { return _mm256_unpacklo_epi8(a, b); }
inline Ints unpackLow16(Ints a, Ints b) { return _mm256_unpacklo_epi16(a, b); }
inline Ints madd16(Ints a, Ints b) { return _mm256_madd_epi16(a, b); }
inline Ints add32(Ints a, Ints b) { return _mm256_add_epi32(a, b); }
inline Ints and32(Ints a, Ints b) { return _mm256_and_si256(a, b); }
inline Ints multiply32(Ints a, Ints b) { return _mm256_mullo_epi32(a, b); }
template <int Bits>
inline Ints shiftRight16(Ints v) { return _mm256_srli_epi16(v, Bits); }
template <int Bits>
inline Ints shiftLeft32(Ints v) { return _mm256_slli_epi32(v, Bits); }
template <int Bits>
inline Ints shiftRightSigned32(Ints v) { return _mm256_srai_epi32(v, Bits); }
inline Ints splat16(int16_t v) { return _mm256_set1_epi16(v); }
inline Ints splat32(int32_t v) { return _mm256_set1_epi32(v); }
template <int Element>
inline Ints broadcast32(Ints v) { return _mm256_shuffle_epi32(v, Element * 0x55); }
template <int Element>
inline Floats broadcastFloat(Floats v) { return _mm256_shuffle_ps(v, v, Element * 0x55); }
inline Ints packSigned32(Ints a, Ints b) { return _mm256_packs_epi32(a, b); }
inline Ints reverse32(Ints v) { return _mm256_shuffle_epi32(v, _MM_SHUFFLE(0, 1, 2, 3)); }
inline Floats scaleInts(Ints v, float scale) {
    return _mm256_mul_ps(_mm256_cvtepi32_ps(v), _mm256_set1_ps(scale));
}
inline void storeFloats(float* out, Floats v) { _mm256_storeu_ps(out, v); }
inline Floats asFloats(Ints v) { return _mm256_castsi256_ps(v); }
inline Floats addFloats(Floats a, Floats b) { return _mm256_add_ps(a, b); }
inline Floats multiplyFloats(Floats a, Floats b) { return _mm256_mul_ps(a, b); }
// widenTexelPair and widenTexel as one byte shuffle each.
template <int B>
inline Ints widenTexelPair(Ints t) {
    const __m128i pick = _mm_setr_epi8(B, -1, B + 4, -1, B + 1, -1, B + 5, -1, B + 2, -1, B + 6, -1, B + 3, -1, B + 7, -1);
    return _mm256_shuffle_epi8(t, _mm256_broadcastsi128_si256(pick));
}
template <int B>
inline Ints widenTexel(Ints t) {
    const __m128i pick = _mm_setr_epi8(B, -1, -1, -1, B + 1, -1, -1, -1, B + 2, -1, -1, -1, B + 3, -1, -1, -1);
    return _mm256_shuffle_epi8(t, _mm256_broadcastsi128_si256(pick));
}
inline Ints sub32(Ints a, Ints b) { return _mm256_sub_epi32(a, b); }
inline Ints xor32(Ints a, Ints b) { return _mm256_xor_si256(a, b); }
inline Ints packUnsigned16(Ints a, Ints b) { return _mm256_packus_epi16(a, b); }
inline Ints truncateFloats(Floats v) { return _mm256_cvttps_epi32(v); }
inline Floats splatFloat(float v) { return _mm256_set1_ps(v); }
inline Floats minFloats(Floats a, Floats b) { return _mm256_min_ps(a, b); }
inline Floats maxFloats(Floats a, Floats b) { return _mm256_max_ps(a, b); }
inline Floats floatsOf(Ints v) { return _mm256_cvtepi32_ps(v); }
template <size_t Bytes, typename V>
inline void storeLanes(uint8_t* const* out, V v) {
    uint8_t bytes[32];
    std::memcpy(bytes, &v, sizeof bytes);
    std::memcpy(out[0], bytes, Bytes);
    std::memcpy(out[1], bytes + 16, Bytes);
}
}  // namespace lane_ops_avx2
#include "platform/simd_target_end.h"

#endif
