// Opens an AVX-512 region (the F, BW, DQ and VL sets): every
// function defined from here to platform/simd_target_end.h is compiled for it. As with the AVX2
// region, headers come before it; x86 only.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f,avx512bw,avx512vl,avx512dq"))), apply_to = function)
#else
// GCC 12 takes the intrinsics' undefined upper lanes for uninitialised values.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vl,avx512dq")
#endif
