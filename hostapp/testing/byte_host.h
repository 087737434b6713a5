// A host and its document made from a string of bytes, so that a fuzzer can try hosts nobody
// wrote by hand: the document's size (1 to 4096 a side), depth, colour model, transparency,
// selection and samples; what the FilterRecord says about it (imageMode, planes, filterCase,
// haveMask, the layer plane counts); the host's suites (offered or not, their version and count,
// a null procedure, a refused request), its procedures, its profile (row order and padding,
// output fill, clipping), its scripted failures; and the selector calls in any order. Whatever
// the bytes, the record never lies about the samples the host hands out: the depth is the
// document's, and a float mode gets a float document.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "hostapp/host.h"

namespace hostapp {

// The record's description of the document, as the host fills it in after binding.
struct RecordFields {
    int16_t imageMode = 0;
    int16_t planes = 0;
    int16_t filterCase = 0;
    bool haveMask = false;
    int16_t inLayerPlanes = 0;
    int16_t outLayerPlanes = 0;
};

enum class HostStep : uint8_t { About, Selector, Advance, WholeRun };

struct ScriptStep {
    HostStep step;
    int16_t selector;  // for HostStep::Selector, any value
};

struct ByteHost {
    Document document;
    HostSettings settings;
    bool describesOwnWay = false;  // false: the record as the host fills it from the document
    RecordFields fields;
    int32_t threads = 1;
    std::vector<ScriptStep> script;  // always ends with a whole run
};

// Largest number of pixels a document from bytes has: a run stays short enough to fuzz.
constexpr int32_t kByteHostMaxPixels = 1 << 10;

ByteHost byteHost(const uint8_t* data, size_t size);

// The host's settings, with the record's own description of the document hooked in.
HostSettings settingsOf(ByteHost& host);

// Plays the script in the player's loaded module, the player made with settingsOf(host).
// Returns the outcome of the closing whole run.
RunOutcome playByteHost(InProcessHost& player, const ByteHost& host);

}  // namespace hostapp
