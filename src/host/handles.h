// Handle memory for the globals and the parameter block. The host's handle procedures are used
// when the suite is usable; otherwise a handle is made from global memory in the host's own
// shape: a 12-byte block whose first eight bytes are the master pointer to a zero-filled data
// block and whose last four bytes are the tag O, T, O, F.
#pragma once

#include <cstdint>

#include "host/host_api.h"

// True when the suite can be used: version exactly 1, at least eight procedures, and the new,
// dispose, get-size and set-size procedures present.
bool handleProcsUsable(const HandleProcs* procs);

Handle newHandle(const HandleProcs* procs, int32_t size);
void disposeHandle(const HandleProcs* procs, Handle handle);

// The address of the handle's data block, or null.
Ptr lockHandle(const HandleProcs* procs, Handle handle, bool moveHigh);
void unlockHandle(const HandleProcs* procs, Handle handle);
