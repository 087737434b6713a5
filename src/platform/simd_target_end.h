// Closes the target region a platform/simd_*_begin.h opened.
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#pragma GCC diagnostic pop
#endif
