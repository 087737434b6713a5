// Invariant checks. VELORUND_CHECK states something the code relies on and that no host, file
// or user can make false: in the native and sanitizer builds (VELORUND_CHECKS defined) a false
// check prints where it failed and aborts, so a test that breaks an invariant fails loudly; in
// the release module it compiles away. What a host or a file can really send is not an
// invariant: the code guards against that and reports it through the host's result code.
#pragma once

#if defined(VELORUND_CHECKS)
#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void velorundCheckFailed(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    std::abort();
}

#define VELORUND_CHECK(condition) \
    ((condition) ? static_cast<void>(0) : velorundCheckFailed(#condition, __FILE__, __LINE__))
#else
#define VELORUND_CHECK(condition) static_cast<void>(sizeof(condition))
#endif
