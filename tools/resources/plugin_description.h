// The module's description for hosts, as bytes: the plug-in property list (PiPL) that names
// the filter, its menu category, entry point, image modes, enable expression and filter cases,
// and the scripting terminology (AETE) that names its one event. Both are built from the
// readable lists in plugin_description.cpp and written into the module's resource script by
// velorund-plugin-description.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

std::vector<uint8_t> piplBytes();
std::vector<uint8_t> aeteBytes();

// The resource script (resources/plugin_description.rc) that holds both resources.
std::string pluginDescriptionScript();
