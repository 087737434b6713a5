// The module's description for hosts, as bytes: the plug-in property list (PiPL) that names
// the filter, its menu category, entry point, image modes, enable expression and filter cases,
// and the scripting terminology (AETE) that names its one event. Both are built from the
// readable lists in plugin_description.cpp and written into the module's resource script by
// velorund-plugin-description.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// How each PiPL property stores its data length. The format stores the unpadded length and
// readers round it up to 4 to find the next property; some hosts step by the stored length as
// it is, and for them every length is stored rounded up, the zero padding becoming part of the
// property.
enum class PropertyLengths { Unpadded, RoundedUp };

std::vector<uint8_t> piplBytes(PropertyLengths lengths);
std::vector<uint8_t> aeteBytes();

// The resource script (resources/plugin_description.rc) that holds both resources: the PiPL
// with rounded-up lengths when VELORUND_STRICT_HOSTS is defined, the standard one otherwise.
std::string pluginDescriptionScript();
