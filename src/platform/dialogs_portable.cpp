// Dialogs where the module has no window system to show them in: nothing appears, and the
// callers carry on as if the user had dismissed the box at once.
#include "platform/dialogs.h"

int32_t showAboutBox(void) { return 0; }

void showMessageDialog(const char* templateName) { (void)templateName; }
