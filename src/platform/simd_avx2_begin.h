// Opens an AVX2 region: every function defined from here to platform/simd_target_end.h is
// compiled for AVX2. A file includes its headers before the region, so the inline functions
// they define stay on the baseline and no copy of them built for AVX2 can stand in for the
// baseline's. x86 only; the region's code runs only when a run chose AVX2.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
// GCC 12 takes the intrinsics' undefined upper lanes for uninitialised values.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC push_options
#pragma GCC target("avx2")
#endif
