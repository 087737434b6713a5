// Whether the tests run under the address sanitizer, where a filter run takes some ten times
// longer: the longest tests then take a sample of their cases that still reaches every path.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kUnderSanitizers = true;
#else
inline constexpr bool kUnderSanitizers = false;
#endif
