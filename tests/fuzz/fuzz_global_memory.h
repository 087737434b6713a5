// The host fuzzer's global memory: tracked blocks, all given back when the module is unloaded.
#pragma once

#include <cstddef>

size_t liveGlobalBlocks();
void unloadGlobalMemory();
