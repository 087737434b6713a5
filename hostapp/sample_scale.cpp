// Sample copies between the 0..65535 scale of outside images and the host's 16-bit scale.
#include "hostapp/sample_scale.h"

#include <cstring>

namespace hostapp {

void copySamples(uint8_t* to, const uint8_t* from, size_t count, int32_t bits, uint16_t (*convert)(uint16_t)) {
    if (bits != 16) {
        if (to != from) memcpy(to, from, count * static_cast<size_t>(bits / 8));
        return;
    }
    for (size_t i = 0; i < count; i++) {
        uint16_t v;
        memcpy(&v, from + 2 * i, 2);
        v = convert(v);
        memcpy(to + 2 * i, &v, 2);
    }
}

}  // namespace hostapp
