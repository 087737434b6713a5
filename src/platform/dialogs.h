// The module's modal windows: the about box and the message boxes made from its dialog
// templates. Where there are no such windows the portable layer shows nothing.
#pragma once

#include <cstdint>

// Shows the about box unless it is already up; returns 0.
int32_t showAboutBox(void);

// Shows the message box of the named template; a template the module lacks shows nothing.
void showMessageDialog(const char* templateName);
