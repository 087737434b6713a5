// Module-wide values that live outside the globals block: the instance handle through which
// dialog templates are loaded, and whether the about box is up.
#pragma once

#include <cstdint>

extern void* moduleInstance;  // set when the system loads the module
extern uint8_t aboutBoxOpen;  // set while the about box is up
