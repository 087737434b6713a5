// Dialogs where the module has no window system to show them in: nothing appears, and the
// callers carry on as if the user had dismissed the box at once.
#include "platform/dialogs.h"

int32_t showAboutBox(void) { return 0; }

void showMessageDialog(const char* templateName) { (void)templateName; }

void centreDialog(DialogWindow dialog) { (void)dialog; }

void openMakerSite(void) {}

intptr_t aboutDialogProc(DialogWindow, uint32_t, uintptr_t, intptr_t) { return 0; }

intptr_t messageDialogProc(DialogWindow, uint32_t, uintptr_t, intptr_t) { return 0; }

extern "C" intptr_t DissolveProc(DialogWindow, uint32_t, uintptr_t, intptr_t) { return 0; }
