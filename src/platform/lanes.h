// Vector lanes for the pixel loops, in the compiler's vector types: N floats or 32-bit integers
// (F, I), and the doubles of N lanes as two halves of N / 2 (Wide). A loop written on lanes is
// a template over N, always inlined into a function of a target region
// (platform/simd_*_begin.h), where N is a register's width: 4 for SSE2, 8 for AVX2 and for
// AVX-512, whose 512-bit registers did not pay on the processor measured (the loops gather and
// scatter lane by lane, and twice the lanes took more than twice the time). Wider types than a
// register are avoided: compilers split their comparisons into single elements.
//
// Every operation is the scalar one, lane by lane, with the same rounding: a sum, product or
// quotient is rounded once, conversions between float and double round as the casts do, and
// nothing is fused (-ffp-contract=off). A loop in lanes therefore gives the bits of the scalar
// loop it mirrors, whatever N is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#define VELORUND_LANE_INLINE [[gnu::always_inline]] inline
// The same for a lambda inside such a loop: left out of line (unoptimised builds do), it would be
// compiled for the baseline and pass its wider vectors in a different way than its caller expects.
#define VELORUND_LANE_LAMBDA __attribute__((always_inline))

// The compiler's vector of Bytes / sizeof(T) elements of T.
template <typename T, int Bytes>
struct VectorOf {
    typedef T type __attribute__((vector_size(Bytes)));
};

template <int N>
struct Lanes {
    static_assert(N == 4 || N == 8);
    using F = typename VectorOf<float, 4 * N>::type;
    using I = typename VectorOf<int32_t, 4 * N>::type;
    using D = typename VectorOf<double, 4 * N>::type;   // N / 2 doubles
    using L = typename VectorOf<int64_t, 4 * N>::type;  // their masks
    using HalfF = typename VectorOf<float, 2 * N>::type;
    using HalfI = typename VectorOf<int32_t, 2 * N>::type;

    // The doubles of N lanes: lanes 0 .. N/2 - 1 in lo, the rest in hi.
    struct Wide {
        D lo, hi;
    };
    struct WideMask {
        L lo, hi;
    };

    // Lanes from memory and back; `count` of them when fewer than N are there, the others 0.
    template <typename T, typename E>
    VELORUND_LANE_INLINE static T load(const E* p) {
        static_assert(sizeof(T) == N * sizeof(E));
        T v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    template <typename T, typename E>
    VELORUND_LANE_INLINE static T loadSome(const E* p, int32_t count) {
        if (count == N) return load<T>(p);
        E lanes[N] = {};
        std::memcpy(lanes, p, sizeof(E) * static_cast<size_t>(count));
        return load<T>(lanes);
    }
    template <typename T, typename E>
    VELORUND_LANE_INLINE static void store(E* p, T v) {
        static_assert(sizeof(T) == N * sizeof(E));
        std::memcpy(p, &v, sizeof v);
    }
    template <typename T, typename E>
    VELORUND_LANE_INLINE static void storeSome(E* p, T v, int32_t count) {
        if (count == N) return store(p, v);
        E lanes[N];
        store(lanes, v);
        std::memcpy(p, lanes, sizeof(E) * static_cast<size_t>(count));
    }

    // 0, 1, .. N - 1.
    template <size_t... K>
    VELORUND_LANE_INLINE static I indices(std::index_sequence<K...>) {
        return I{static_cast<int32_t>(K)...};
    }
    VELORUND_LANE_INLINE static I laneIndex() { return indices(std::make_index_sequence<N>{}); }

    // a where the mask is set, else b; masks are all ones or all zeros per lane, so the sign
    // tells (one blend where the set has one).
    VELORUND_LANE_INLINE static F select(I mask, F a, F b) { return mask < 0 ? a : b; }
    VELORUND_LANE_INLINE static I select(I mask, I a, I b) { return mask < 0 ? a : b; }
    VELORUND_LANE_INLINE static D select(L mask, D a, D b) { return mask < 0 ? a : b; }
    VELORUND_LANE_INLINE static Wide select(WideMask mask, Wide a, Wide b) {
        return {select(mask.lo, a.lo, b.lo), select(mask.hi, a.hi, b.hi)};
    }

    VELORUND_LANE_INLINE static F toFloat(I v) { return __builtin_convertvector(v, F); }
    // Truncation toward zero; lanes outside the int32 range must have been kept out.
    VELORUND_LANE_INLINE static I truncate(F v) { return __builtin_convertvector(v, I); }
    VELORUND_LANE_INLINE static F fabs(F v) { return reinterpret_cast<F>(reinterpret_cast<I>(v) & 0x7FFFFFFF); }
    VELORUND_LANE_INLINE static Wide wideAbs(Wide v) {
        constexpr int64_t kMagnitude = 0x7FFFFFFFFFFFFFFF;
        return {reinterpret_cast<D>(reinterpret_cast<L>(v.lo) & kMagnitude),
                reinterpret_cast<D>(reinterpret_cast<L>(v.hi) & kMagnitude)};
    }

    // Whether any lane, or every lane, of a mask is set.
    VELORUND_LANE_INLINE static bool any(I mask) {
        uint64_t words[N / 2];
        std::memcpy(words, &mask, sizeof words);
        uint64_t all = 0;
        for (uint64_t w : words) all |= w;
        return all != 0;
    }
    VELORUND_LANE_INLINE static bool all(I mask) { return !any(~mask); }

    // Between N floats or integers and their doubles: the halves of a vector and back.
    template <typename T, size_t... K>
    VELORUND_LANE_INLINE static auto lowHalf(T v, std::index_sequence<K...>) {
        return __builtin_shufflevector(v, v, K...);
    }
    template <typename T, size_t... K>
    VELORUND_LANE_INLINE static auto highHalf(T v, std::index_sequence<K...>) {
        return __builtin_shufflevector(v, v, (K + N / 2)...);
    }
    template <typename T, size_t... K>
    VELORUND_LANE_INLINE static auto joined(T lo, T hi, std::index_sequence<K...>) {
        return __builtin_shufflevector(lo, hi, K...);
    }
    static constexpr auto kHalf = std::make_index_sequence<N / 2>{};
    static constexpr auto kWhole = std::make_index_sequence<N>{};
    VELORUND_LANE_INLINE static Wide widen(F v) {
        return {__builtin_convertvector(lowHalf(v, kHalf), D), __builtin_convertvector(highHalf(v, kHalf), D)};
    }
    VELORUND_LANE_INLINE static Wide widen(I v) {
        return {__builtin_convertvector(lowHalf(v, kHalf), D), __builtin_convertvector(highHalf(v, kHalf), D)};
    }
    VELORUND_LANE_INLINE static F narrow(Wide v) {
        return joined(__builtin_convertvector(v.lo, HalfF), __builtin_convertvector(v.hi, HalfF), kWhole);
    }
    // Truncation toward zero of doubles inside the int32 range.
    VELORUND_LANE_INLINE static I truncate(Wide v) {
        return joined(__builtin_convertvector(v.lo, HalfI), __builtin_convertvector(v.hi, HalfI), kWhole);
    }
    VELORUND_LANE_INLINE static WideMask widenMask(I m) {
        return {__builtin_convertvector(lowHalf(m, kHalf), L), __builtin_convertvector(highHalf(m, kHalf), L)};
    }
    // `count` doubles from memory, the others 0.
    VELORUND_LANE_INLINE static Wide loadWide(const double* p, int32_t count) {
        double lanes[N];
        if (count < N) {
            for (int32_t i = 0; i < N; i++) lanes[i] = i < count ? p[i] : 0.0;
            p = lanes;
        }
        Wide v;
        std::memcpy(&v.lo, p, sizeof v.lo);
        std::memcpy(&v.hi, p + N / 2, sizeof v.hi);
        return v;
    }
    VELORUND_LANE_INLINE static I narrowMask(WideMask m) {
        return joined(__builtin_convertvector(m.lo, HalfI), __builtin_convertvector(m.hi, HalfI), kWhole);
    }

    // Float pairs (x, y) held as the 64-bit lanes of `pairs`, split into N x and N y lanes.
    VELORUND_LANE_INLINE static void deinterleave(Wide pairs, F* x, F* y) {
        F lo = reinterpret_cast<F>(pairs.lo), hi = reinterpret_cast<F>(pairs.hi);
        if constexpr (N == 4) {
            *x = __builtin_shufflevector(lo, hi, 0, 2, 4, 6);
            *y = __builtin_shufflevector(lo, hi, 1, 3, 5, 7);
        } else {
            *x = __builtin_shufflevector(lo, hi, 0, 2, 4, 6, 8, 10, 12, 14);
            *y = __builtin_shufflevector(lo, hi, 1, 3, 5, 7, 9, 11, 13, 15);
        }
    }

    // The channels of N four-channel samples (rows[i] the i-th, each four floats) as four
    // vectors of N lanes.
    VELORUND_LANE_INLINE static void transpose4(const float* const* rows, F* channels) {
        using F4 = typename VectorOf<float, 16>::type;
        auto row = [&](int32_t i) VELORUND_LANE_LAMBDA {
            F4 v;
            std::memcpy(&v, rows[i], sizeof v);
            return v;
        };
        if constexpr (N == 4) {
            F4 r0 = row(0), r1 = row(1), r2 = row(2), r3 = row(3);
            F4 t0 = __builtin_shufflevector(r0, r1, 0, 4, 1, 5), t1 = __builtin_shufflevector(r0, r1, 2, 6, 3, 7);
            F4 t2 = __builtin_shufflevector(r2, r3, 0, 4, 1, 5), t3 = __builtin_shufflevector(r2, r3, 2, 6, 3, 7);
            channels[0] = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
            channels[1] = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
            channels[2] = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
            channels[3] = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
        } else {
            // Samples i and i + 4 share a vector, the 4 x 4 transposition done in each half.
            F a = __builtin_shufflevector(row(0), row(4), 0, 1, 2, 3, 4, 5, 6, 7);
            F b = __builtin_shufflevector(row(1), row(5), 0, 1, 2, 3, 4, 5, 6, 7);
            F c = __builtin_shufflevector(row(2), row(6), 0, 1, 2, 3, 4, 5, 6, 7);
            F d = __builtin_shufflevector(row(3), row(7), 0, 1, 2, 3, 4, 5, 6, 7);
            F t0 = __builtin_shufflevector(a, b, 0, 8, 1, 9, 4, 12, 5, 13);
            F t1 = __builtin_shufflevector(a, b, 2, 10, 3, 11, 6, 14, 7, 15);
            F t2 = __builtin_shufflevector(c, d, 0, 8, 1, 9, 4, 12, 5, 13);
            F t3 = __builtin_shufflevector(c, d, 2, 10, 3, 11, 6, 14, 7, 15);
            channels[0] = __builtin_shufflevector(t0, t2, 0, 1, 8, 9, 4, 5, 12, 13);
            channels[1] = __builtin_shufflevector(t0, t2, 2, 3, 10, 11, 6, 7, 14, 15);
            channels[2] = __builtin_shufflevector(t1, t3, 0, 1, 8, 9, 4, 5, 12, 13);
            channels[3] = __builtin_shufflevector(t1, t3, 2, 3, 10, 11, 6, 7, 14, 15);
        }
    }

    // Arithmetic and comparisons of wide lanes, each half as the scalar operation.
    VELORUND_LANE_INLINE friend Wide operator+(Wide a, Wide b) { return {a.lo + b.lo, a.hi + b.hi}; }
    VELORUND_LANE_INLINE friend Wide operator-(Wide a, Wide b) { return {a.lo - b.lo, a.hi - b.hi}; }
    VELORUND_LANE_INLINE friend Wide operator*(Wide a, Wide b) { return {a.lo * b.lo, a.hi * b.hi}; }
    VELORUND_LANE_INLINE friend Wide operator/(Wide a, Wide b) { return {a.lo / b.lo, a.hi / b.hi}; }
    VELORUND_LANE_INLINE friend Wide operator+(Wide a, double b) { return {a.lo + b, a.hi + b}; }
    VELORUND_LANE_INLINE friend Wide operator-(Wide a, double b) { return {a.lo - b, a.hi - b}; }
    VELORUND_LANE_INLINE friend Wide operator*(Wide a, double b) { return {a.lo * b, a.hi * b}; }
    VELORUND_LANE_INLINE friend Wide operator-(double a, Wide b) { return {a - b.lo, a - b.hi}; }
    VELORUND_LANE_INLINE friend Wide operator/(double a, Wide b) { return {a / b.lo, a / b.hi}; }
    VELORUND_LANE_INLINE friend WideMask operator>(Wide a, double b) { return {a.lo > b, a.hi > b}; }
    VELORUND_LANE_INLINE friend WideMask operator>(Wide a, Wide b) { return {a.lo > b.lo, a.hi > b.hi}; }
    VELORUND_LANE_INLINE friend WideMask operator<(Wide a, double b) { return {a.lo < b, a.hi < b}; }
    VELORUND_LANE_INLINE friend WideMask operator~(WideMask m) { return {~m.lo, ~m.hi}; }
};
