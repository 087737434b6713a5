// The vector instruction set a program built with the module lets its runs use. VELORUND_SIMD
// names the widest ("portable", "sse2", "avx2" or "avx512", the narrowest first); without it
// runs take the processor's widest. Every set gives the same bits: the choice is there to run
// and time each of them. The module reads no environment itself: the programs that carry it
// (the command-line tool, the GIMP plug-in, the benchmarks, the Windows test runner) call this
// before their first run.
#pragma once

#include <string>

namespace hostapp {

// Sets the module's widest set from VELORUND_SIMD; returns the problem, leaving the default,
// when the variable names no set.
std::string chooseSimdFromEnvironment();

}  // namespace hostapp
