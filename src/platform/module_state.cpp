// Storage of the module-wide values.
#include "platform/module_state.h"

void* moduleInstance = nullptr;
uint8_t aboutBoxOpen = 0;
