// The host's 16-bit scale (0..32768) and the 0..65535 scale of image files and photo editors,
// shared by the front ends that fill documents from outside images and take the results back.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hostapp {

// The host's 16-bit scale and back, in integer arithmetic; 0 and full map onto each other and a
// value comes back within one step.
inline uint16_t toHostScale(uint16_t v) { return static_cast<uint16_t>((v * 32768u + 32767u) / 65535u); }
inline uint16_t fromHostScale(uint16_t h) {
    uint32_t v = (h * 65535u + 16384u) / 32768u;
    return static_cast<uint16_t>(v > 65535u ? 65535u : v);
}

// Copies count samples of the given bits per sample (8, 16 or 32), converting 16-bit ones with
// convert. to may be from, which converts in place.
void copySamples(uint8_t* to, const uint8_t* from, size_t count, int32_t bits, uint16_t (*convert)(uint16_t));

}  // namespace hostapp
