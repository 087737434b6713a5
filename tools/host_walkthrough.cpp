// velorund-walkthrough: loads the module into the in-process host, runs one filter run on a
// generated document, tells stage by stage what the host saw, and saves the warped document as
// an RGBA portable arbitrary map.
#include <cstdio>
#include <string>

#include "run/dispatcher.h"
#include "hostapp/host.h"

using namespace hostapp;

static const char* selectorName(int32_t selector) {
    static const char* const names[] = {"About", "Parameters", "Prepare", "Start", "Continue", "Finish"};
    return selector >= 0 && selector <= 5 ? names[selector] : "unknown";
}

int main(int argc, char** argv) {
    Document doc = makeDocument(512, 512, 8, ColourModel::Rgb, true);
    // A colour ramp under dark grid lines every 32 pixels, so the warp's curves show.
    for (int32_t y = 0; y < doc.height; y++)
        for (int32_t x = 0; x < doc.width; x++) {
            bool line = x % 32 < 2 || y % 32 < 2;
            setSampleValue(doc, x, y, 0, line ? 20 : x / 2);
            setSampleValue(doc, x, y, 1, line ? 20 : y / 2);
            setSampleValue(doc, x, y, 2, line ? 20 : 128);
            setSampleValue(doc, x, y, 3, 255);
        }
    const DocumentSamples before = doc.samples;

    InProcessHost host(PluginMain);
    printf("Velorund walkthrough: a 512 x 512 8-bit RGB layer with transparency\n");
    host.about();

    RunOutcome run = host.runFilter(doc);
    // The log lists a selector after the calls the module made during it.
    int32_t advances = 0;
    std::string reports;
    for (const HostEvent& e : host.log()) {
        if (e.call == HostCall::AdvanceState) advances++;
        if (e.call == HostCall::Progress) reports += " " + std::to_string(e.a) + "/" + std::to_string(e.b);
        if (e.call != HostCall::Selector) continue;
        printf("%-10s -> result %d", selectorName(e.a), e.b);
        if (advances) printf(", advanceState x %d", advances);
        if (!reports.empty()) printf(", progress%s", reports.c_str());
        printf("\n");
        advances = 0;
        reports.clear();
    }
    printf("bufferSpace asked at Prepare: %d bytes\n", host.record().bufferSpace);
    printf("buffer requests: %d, buffers live after the run: %d, left behind: %d\n",
           host.bufferMemory().requests, host.bufferMemory().liveBlocks, run.buffersLeftBehind);
    printf("handles live (globals and parameter block): %d\n", host.handleMemory().liveBlocks);
    printf("run result %d after %d Continue call(s); document %s\n", run.result, run.continueCalls,
           doc.samples == before ? "unchanged" : "warped");

    const char* path = argc > 1 ? argv[1] : "walkthrough-disc.pam";
    FILE* out = fopen(path, "wb");
    if (!out) {
        fprintf(stderr, "cannot write %s\n", path);
        return 1;
    }
    fprintf(out, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n", doc.width, doc.height);
    fwrite(doc.samples.data(), 1, doc.samples.size(), out);
    fclose(out);
    printf("warped document saved as %s\n", path);
    return run.result == 0 && host.protocolErrors() == 0 ? 0 : 1;
}
