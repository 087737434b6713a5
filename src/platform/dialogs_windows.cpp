// The module's modal windows on Windows: the about box and the message boxes, made from the
// templates in the module's resources, placed by centreDialog, and the maker's web page opened
// through the shell.
//
// Dialogs are created without an owner window. The module carries no isolation manifest (the
// resource ID an isolation-aware module would activate), so no activation context is pushed:
// the dialogs run in the host process's default context and use only standard controls.
#include <windows.h>

#include <shellapi.h>

#include "platform/dialogs.h"
#include "platform/module_state.h"

constexpr WORD kWebsiteButton = 5;

static HWND windowOf(DialogWindow dialog) { return static_cast<HWND>(dialog); }

static INT_PTR runDialog(const char* templateName, DLGPROC procedure) {
    return DialogBoxParamA(static_cast<HINSTANCE>(moduleInstance), templateName, nullptr, procedure, 0);
}

int32_t showAboutBox(void) {
    if (!aboutBoxOpen) runDialog("ABOUTBOX", reinterpret_cast<DLGPROC>(aboutDialogProc));
    return 0;
}

// A template the resources do not hold makes DialogBoxParamA fail at once: nothing is shown and
// the caller goes on as if the box had been dismissed.
void showMessageDialog(const char* templateName) {
    runDialog(templateName, reinterpret_cast<DLGPROC>(messageDialogProc));
}

void centreDialog(DialogWindow dialog) {
    HWND window = windowOf(dialog);

    // The reference area: the parent's client rectangle in screen coordinates, or the desktop's.
    HWND reference = GetParent(window);
    if (!reference) reference = GetDesktopWindow();
    RECT area;
    GetClientRect(reference, &area);
    POINT topLeft = {area.left, area.top};
    POINT bottomRight = {area.right, area.bottom};
    ClientToScreen(reference, &topLeft);
    ClientToScreen(reference, &bottomRight);

    // Shift left by the caption height, or by two thirds of it without a system menu.
    int32_t shift = GetSystemMetrics(SM_CYCAPTION);
    if (!(GetWindowLongA(window, GWL_STYLE) & WS_SYSMENU)) shift -= shift / 3;

    RECT outer;
    GetWindowRect(window, &outer);
    int32_t width = outer.right - outer.left;
    int32_t height = outer.bottom - outer.top;
    int32_t freeWidth = bottomRight.x - topLeft.x - width;
    int32_t freeHeight = bottomRight.y - topLeft.y - height;

    // Horizontally centred, a third of the free height from the top, kept on the screen.
    int32_t x = topLeft.x + (freeWidth > 0 ? freeWidth : 0) / 2 - shift;
    int32_t screenWidth = GetSystemMetrics(SM_CXSCREEN);
    if (x + width > screenWidth) x = screenWidth - width > 0 ? screenWidth - width : 0;
    int32_t y = topLeft.y + (freeHeight > 0 ? freeHeight : 0) / 3;
    int32_t screenHeight = GetSystemMetrics(SM_CYSCREEN);
    if (y + height > screenHeight) y = screenHeight - height > 0 ? screenHeight - height : 0;

    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void openMakerSite(void) { ShellExecuteA(nullptr, "open", kMakerSiteAddress, nullptr, nullptr, SW_SHOWNORMAL); }

intptr_t aboutDialogProc(DialogWindow dialog, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    (void)lParam;
    HWND window = windowOf(dialog);
    switch (message) {
        case WM_INITDIALOG:
            centreDialog(dialog);
            aboutBoxOpen = 1;
            return 0;
        case WM_ERASEBKGND: {
            RECT client;
            GetClientRect(window, &client);
            FillRect(reinterpret_cast<HDC>(wParam), &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
            return 1;
        }
        case WM_CLOSE:
            EndDialog(window, 1);
            aboutBoxOpen = 0;
            return 1;
        case WM_COMMAND: {
            WORD control = LOWORD(wParam);
            WORD notification = HIWORD(wParam);
            if (control == kWebsiteButton) {
                if (notification == 0) {
                    openMakerSite();
                    EndDialog(window, kWebsiteButton);
                    aboutBoxOpen = 0;
                }
                return 1;
            }
            // Enter and Esc arrive as commands of controls 1 and 2 and close the box.
            if (notification == 0) EndDialog(window, control);
            aboutBoxOpen = 0;
            return 1;
        }
        default:
            return 0;
    }
}

intptr_t messageDialogProc(DialogWindow dialog, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    (void)lParam;
    switch (message) {
        case WM_INITDIALOG:
            centreDialog(dialog);
            return 0;
        case WM_COMMAND:
            if (HIWORD(wParam) == 0) EndDialog(windowOf(dialog), LOWORD(wParam));
            return 1;
        default:
            return 0;
    }
}

extern "C" intptr_t DissolveProc(DialogWindow dialog, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return messageDialogProc(dialog, message, wParam, lParam);
}
