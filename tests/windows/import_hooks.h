// Replaces entries of a loaded module's import address table, so the runner can watch (and
// stand in for) the system calls the module makes: its global memory, its dialog results and
// its requests to the shell.
#pragma once

#include <windows.h>

// Points the module's import of `dll`!`function` at `replacement`; returns the address it held,
// or null when the module does not import that function.
void* hookImport(HMODULE module, const char* dll, const char* function, void* replacement);
