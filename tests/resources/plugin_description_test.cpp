// The module's resource script holds exactly what its generator writes from the PiPL and AETE
// field lists (the bytes themselves are checked in the built module, under wine).
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "plugin_description.h"

TEST(PluginDescription, ResourceScriptIsWhatTheGeneratorWrites) {
    std::ifstream file(VELORUND_PLUGIN_DESCRIPTION_RC, std::ios::binary);
    ASSERT_TRUE(file) << VELORUND_PLUGIN_DESCRIPTION_RC;
    std::ostringstream committed;
    committed << file.rdbuf();
    EXPECT_EQ(committed.str(), pluginDescriptionScript())
        << "regenerate with build/native/tools/velorund-plugin-description resources/plugin_description.rc";
}
