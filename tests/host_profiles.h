// The hosts users really have, as settings of the in-process host: each profile differs from the
// default host in what it hands the filter or how. Whole runs under every profile must give the
// default host's bits (the pinned digests of pinned_runs.h), leak nothing and end with the
// rectangles empty; the native tests run every profile, the Windows test runner runs them with
// the built modules under wine.
#pragma once

#include <vector>

#include "hostapp/host.h"

namespace profiles {

struct NamedProfile {
    const char* name;
    hostapp::HostSettings settings;
};

inline std::vector<NamedProfile> hostProfiles() {
    using namespace hostapp;
    std::vector<NamedProfile> list;
    auto add = [&](const char* name, void (*change)(HostSettings&)) {
        HostSettings settings;
        change(settings);
        list.push_back({name, settings});
    };
    add("default", [](HostSettings&) {});
    add("parameters not kept", [](HostSettings& s) { s.profile.keepParameters = false; });
    add("neither parameters nor data slot kept", [](HostSettings& s) {
        s.profile.keepParameters = false;
        s.profile.keepDataSlot = false;
    });
    add("no handle suite", [](HostSettings& s) { s.handles.offered = false; });
    add("no buffer suite", [](HostSettings& s) { s.buffers.offered = false; });
    add("buffer suite version 1", [](HostSettings& s) { s.buffers.version = 1; });
    add("handle suite without setSizeProc", [](HostSettings& s) { s.handles.nullProc = 3; });
    add("filterCase 0", [](HostSettings& s) { s.profile.setsFilterCase = false; });
    add("haveMask without mask data", [](HostSettings& s) { s.profile.maskWithoutData = true; });
    add("layer plane counts 0", [](HostSettings& s) { s.profile.setsLayerPlanes = false; });
    add("no displayPixels, progressProc or abortProc", [](HostSettings& s) {
        s.offerDisplayPixels = false;
        s.profile.offerProgress = false;
        s.profile.offerAbort = false;
    });
    add("result preset to 1", [](HostSettings& s) { s.resultBeforeCall = 1; });
    add("output holding the current pixels", [](HostSettings& s) { s.profile.outputFill = OutputFill::CurrentPixels; });
    add("rows stored bottom-up", [](HostSettings& s) { s.profile.rowOrder = RowOrder::BottomUp; });
    add("requests clipped to the filter rectangle", [](HostSettings& s) { s.profile.clipToFilterRect = true; });
    add("padded rows", [](HostSettings& s) { s.profile.rowPadding = 36; });
    return list;
}

}  // namespace profiles
