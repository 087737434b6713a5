// velorund_windows_runner: module_runner COMMAND MODULE [STRICT_MODULE]
//   runs          the pinned whole filter runs, compared with the native build's digests
//   simd          the pinned runs through the module's code linked into the runner, on the sets
//                 VELORUND_SIMD allows and then on every set the processor has (MODULE unused)
//   profiles      the pinned runs under every host profile of tests/host_profiles.h
//   resources     the PiPL, AETE, dialog templates, bitmaps and icon in the module
//   about         the About selector's box on a display
//   strict-hosts  the PiPL of MODULE and STRICT_MODULE through a usual and a strict reader
// Exits 0 when every check held.
#include <cstring>

#include "runner.h"

static int failures = 0;

bool checkFailed(const char* file, int line, const char* what) {
    std::fprintf(stderr, "  %s:%d: check failed: %s\n", file, line, what);
    failures++;
    return false;
}

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s runs|simd|profiles|resources|about|strict-hosts MODULE [STRICT_MODULE]\n",
                     argv[0]);
        return 2;
    }
    const char* command = argv[1];
    LoadedModule module{LoadLibraryA(argv[2]), nullptr};
    if (!module.handle) {
        std::fprintf(stderr, "cannot load %s (error %lu)\n", argv[2], GetLastError());
        return 1;
    }
    // Through a pointer-sized integer: the address has the entry point's type, not FARPROC's.
    module.entry = reinterpret_cast<PluginEntryProc>(
        reinterpret_cast<uintptr_t>(GetProcAddress(module.handle, "PluginMain")));
    if (!module.entry) {
        std::fprintf(stderr, "%s exports no PluginMain\n", argv[2]);
        return 1;
    }

    if (std::strcmp(command, "runs") == 0) checkPinnedRuns(module);
    else if (std::strcmp(command, "simd") == 0) checkInstructionSets();
    else if (std::strcmp(command, "profiles") == 0) checkHostProfiles(module);
    else if (std::strcmp(command, "resources") == 0) checkResources(module);
    else if (std::strcmp(command, "about") == 0) checkAboutBox(module);
    else if (std::strcmp(command, "strict-hosts") == 0 && argc > 3) checkStrictHostsModule(module, argv[3]);
    else {
        std::fprintf(stderr, "unknown command %s\n", command);
        return 2;
    }

    FreeLibrary(module.handle);
    std::printf("%s: %s\n", command, failures ? "FAILED" : "passed");
    return failures ? 1 : 0;
}
