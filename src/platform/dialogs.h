// The module's modal windows: the about box and the message boxes made from its dialog
// templates, their dialog procedures, their placement on screen and the maker's web page.
// Where there is no window system the portable layer has the same entry points and shows
// nothing. Window, message and parameter types are spelled without the system's headers, so
// the core never sees them; on Windows they have the dialog procedure's exact layout.
#pragma once

#include <cstdint>

typedef void* DialogWindow;  // the dialog's window handle

// Shows the about box unless it is already up; returns 0.
int32_t showAboutBox(void);

// Shows the message box of the named template; a template the module lacks shows nothing.
void showMessageDialog(const char* templateName);

// Places a dialog horizontally centred over its parent (the desktop when it has none), moved
// left by the caption height and a third of the free height from the top, kept on the screen.
void centreDialog(DialogWindow dialog);

// Asks the shell to open the maker's home page; a failure is not reported.
void openMakerSite(void);

// The dialog procedures of the about box and of the message boxes.
intptr_t aboutDialogProc(DialogWindow dialog, uint32_t message, uintptr_t wParam, intptr_t lParam);
intptr_t messageDialogProc(DialogWindow dialog, uint32_t message, uintptr_t wParam, intptr_t lParam);

// An exported dialog procedure for a settings dialog the module carries no template for: no
// path of the filter shows it. It behaves as a message box would.
extern "C" intptr_t DissolveProc(DialogWindow dialog, uint32_t message, uintptr_t wParam, intptr_t lParam);

// The maker's home page, opened from the about box (and named in the COMPLAIN_BRACKWATER box).
inline constexpr char kMakerSiteAddress[] = "https://brackwater.example/velorund/";
