// VELORUND_SIMD read and handed to the module.
#include "hostapp/simd_choice.h"

#include <cstdlib>

#include "platform/simd.h"
#include "run/dispatcher.h"

namespace hostapp {

std::string chooseSimdFromEnvironment() {
    const char* name = std::getenv("VELORUND_SIMD");
    if (!name || !*name) return "";
    SimdLevel level;
    if (!simdLevelNamed(name, &level))
        return std::string("VELORUND_SIMD=") + name + " names no instruction set (portable, sse2, avx2 or avx512)";
    setRunSimd(level);
    return "";
}

}  // namespace hostapp
