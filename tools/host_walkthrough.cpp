// velorund-walkthrough: loads the module into the in-process host, runs one filter run on a
// generated document and tells, call by call, what the host saw.
#include <cstdio>

#include "host/dispatcher.h"
#include "hostapp/host.h"

using namespace hostapp;

static const char* selectorName(int32_t selector) {
    static const char* const names[] = {"About", "Parameters", "Prepare", "Start", "Continue", "Finish"};
    return selector >= 0 && selector <= 5 ? names[selector] : "unknown";
}

int main() {
    Document doc = makeDocument(512, 512, 8, ColourModel::Rgb, true);
    for (int32_t y = 0; y < doc.height; y++)
        for (int32_t x = 0; x < doc.width; x++) {
            setSampleValue(doc, x, y, 0, x / 2);
            setSampleValue(doc, x, y, 1, y / 2);
            setSampleValue(doc, x, y, 2, 128);
            setSampleValue(doc, x, y, 3, 255);
        }
    std::vector<uint8_t> before = doc.samples;

    InProcessHost host(PluginMain);
    printf("Velorund walkthrough: a 512 x 512 8-bit RGB layer with transparency\n");
    host.about();

    RunOutcome run = host.runFilter(doc);
    for (const HostEvent& e : host.log()) {
        if (e.call == HostCall::Selector)
            printf("%-10s -> result %d\n", selectorName(e.a), e.b);
        else if (e.call == HostCall::AdvanceState)
            printf("  advanceState #%d -> %d\n", e.a, e.b);
        else if (e.call == HostCall::Progress)
            printf("  progress %d / %d\n", e.a, e.b);
    }
    printf("bufferSpace asked at Prepare: %d bytes\n", host.record().bufferSpace);
    printf("parameter block held by the host: %s\n", host.record().parameters ? "yes" : "no");
    printf("buffer requests: %d, buffers live after the run: %d, left behind: %d\n",
           host.bufferMemory().requests, host.bufferMemory().liveBlocks, run.buffersLeftBehind);
    printf("handles live (globals and parameter block): %d\n", host.handleMemory().liveBlocks);
    printf("run result %d after %d Continue calls; document %s\n", run.result, run.continueCalls,
           doc.samples == before ? "unchanged (the warp is not part of the module yet)" : "changed");
    return run.result == 0 && host.protocolErrors() == 0 ? 0 : 1;
}
