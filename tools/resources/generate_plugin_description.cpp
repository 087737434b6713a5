// velorund-plugin-description: writes the resource script that holds the module's PiPL and AETE
// (resources/plugin_description.rc) to the given path, or to standard output.
#include <cstdio>
#include <string>

#include "plugin_description.h"

int main(int argc, char** argv) {
    std::FILE* out = argc > 1 ? std::fopen(argv[1], "wb") : stdout;
    if (!out) {
        std::fprintf(stderr, "velorund-plugin-description: cannot write %s\n", argv[1]);
        return 1;
    }
    std::string script = pluginDescriptionScript();
    bool written = std::fwrite(script.data(), 1, script.size(), out) == script.size();
    if (out != stdout) written = std::fclose(out) == 0 && written;
    return written ? 0 : 1;
}
