// The DLL entry point: keeps the module's instance handle for loading its dialog templates.
#include <windows.h>

#include "platform/module_state.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reason;
    (void)reserved;
    moduleInstance = instance;
    return TRUE;
}
