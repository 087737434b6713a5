// velorund-module-time MODULE WIDTHxHEIGHT [RUNS]: times whole filter runs of a built plug-in
// module, loaded by its path, through the in-process host on a generated 8-bit RGB document,
// first on every processor the process may use and then on one (the module takes its threads
// from the process's affinity). Each run is timed from the first selector call to the host's
// last hand-over, not the document's copy; prints every run and the median, in seconds. Since
// the module is loaded by path, one build of this program times any build of the module.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench_documents.h"
#include "hostapp/host.h"

using namespace hostapp;

int main(int argc, char** argv) {
    int32_t width = 0, height = 0;
    if (argc < 3 || std::sscanf(argv[2], "%dx%d", &width, &height) != 2 || width <= 0 || height <= 0) {
        std::fprintf(stderr, "usage: %s MODULE WIDTHxHEIGHT [RUNS]\n", argv[0]);
        return 2;
    }
    int32_t runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    HMODULE module = LoadLibraryA(argv[1]);
    // Through a pointer-sized integer: the address has the entry point's type, not FARPROC's.
    auto entry = module ? reinterpret_cast<PluginEntryProc>(
                              reinterpret_cast<uintptr_t>(GetProcAddress(module, "PluginMain")))
                        : nullptr;
    if (!entry) {
        std::fprintf(stderr, "cannot load PluginMain from %s (error %lu)\n", argv[1], GetLastError());
        return 1;
    }

    const Document source = benchDocument(width, height, 8, false);
    DWORD_PTR all = 0, system = 0;
    GetProcessAffinityMask(GetCurrentProcess(), &all, &system);
    InProcessHost host(entry);
    for (DWORD_PTR processors : {all, all & (~all + 1)}) {
        SetProcessAffinityMask(GetCurrentProcess(), processors);
        std::vector<double> seconds;
        for (int32_t run = 0; run < runs; run++) {
            Document doc = source;
            auto begun = std::chrono::steady_clock::now();
            RunOutcome outcome = host.runFilter(doc);
            seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count());
            if (outcome.result != 0) {
                std::fprintf(stderr, "the run ended with %d at selector %d\n", outcome.result, outcome.endedAt);
                return 1;
            }
        }
        std::printf("%d x %d 8-bit RGB, %d processor(s):", width, height, __builtin_popcountll(processors));
        for (double s : seconds) std::printf(" %.3f", s);
        std::sort(seconds.begin(), seconds.end());
        std::printf(" s, median %.3f s\n", seconds[seconds.size() / 2]);
    }
    FreeLibrary(module);
    return 0;
}
