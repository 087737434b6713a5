// The About selector on a display: the about box appears with its caption, horizontally centred
// on the screen less the caption height and a third of the free height from the top; Esc ends
// it with 2 without a word to the shell; the website button asks the shell to open the maker's
// page and ends it with 5. The result code stays as the host set it. A watcher thread finds the
// box and presses the key or the button.
#include <string>
#include <vector>

#include "hostapp/host.h"
#include "import_hooks.h"
#include "platform/dialogs.h"
#include "runner.h"

namespace {

// What the module asked of the system, through its imports.
BOOL(WINAPI* systemEndDialog)(HWND, INT_PTR) = nullptr;
std::vector<INT_PTR> dialogResults;
std::vector<std::string> shellRequests;

BOOL WINAPI recordingEndDialog(HWND dialog, INT_PTR result) {
    dialogResults.push_back(result);
    return systemEndDialog(dialog, result);
}

// Stands in for the shell, so no browser starts: records the request and reports success.
HINSTANCE WINAPI recordingShellExecute(HWND, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR folder, INT show) {
    shellRequests.push_back(std::string(verb ? verb : "") + " " + (file ? file : "") + " " +
                            (parameters ? parameters : "-") + " " + (folder ? folder : "-") + " " +
                            std::to_string(show));
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));
}

// Finds the box, checks where it sits, and presses Esc (when `argument` is not null) or the
// website button.
DWORD WINAPI watchAboutBox(void* argument) {
    const bool pressEscape = argument != nullptr;
    HWND box = nullptr;
    for (int32_t tries = 0; tries < 200 && !(box && IsWindowVisible(box)); tries++) {
        Sleep(50);
        box = FindWindowA("#32770", "About Velorund");
    }
    if (!CHECK(box && IsWindowVisible(box), "no window captioned \"About Velorund\" appeared")) return 0;
    Sleep(300);  // let it paint

    // Where it must sit: centred across the screen, moved left by the caption height (the box
    // has a system menu), a third of the free height down.
    RECT outer;
    GetWindowRect(box, &outer);
    int32_t width = outer.right - outer.left, height = outer.bottom - outer.top;
    int32_t x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2 - GetSystemMetrics(SM_CYCAPTION);
    int32_t y = (GetSystemMetrics(SM_CYSCREEN) - height) / 3;
    CHECK(outer.left == x && outer.top == y, "the about box sits at (%ld, %ld), not at (%d, %d)", outer.left,
          outer.top, x, y);

    if (pressEscape) PostMessageA(box, WM_KEYDOWN, VK_ESCAPE, 0);
    else PostMessageA(GetDlgItem(box, 5), BM_CLICK, 0, 0);

    // A box that does not close would hold the runner for good.
    for (int32_t tries = 0; tries < 200 && IsWindow(box); tries++) Sleep(50);
    if (IsWindow(box)) {
        checkFailed(__FILE__, __LINE__, "the about box did not close");
        ExitProcess(1);
    }
    return 0;
}

}  // namespace

void checkAboutBox(const LoadedModule& module) {
    systemEndDialog = reinterpret_cast<BOOL(WINAPI*)(HWND, INT_PTR)>(
        hookImport(module.handle, "USER32.dll", "EndDialog", reinterpret_cast<void*>(recordingEndDialog)));
    bool shellHooked = hookImport(module.handle, "SHELL32.dll", "ShellExecuteA",
                                  reinterpret_cast<void*>(recordingShellExecute)) != nullptr;
    if (!CHECK(systemEndDialog && shellHooked, "the module imports no EndDialog or ShellExecuteA")) return;

    hostapp::HostSettings settings;
    settings.resultBeforeCall = 77;
    hostapp::InProcessHost host(module.entry, settings);
    for (bool escape : {true, false}) {
        dialogResults.clear();
        shellRequests.clear();
        HANDLE watcher = CreateThread(nullptr, 0, watchAboutBox, reinterpret_cast<void*>(static_cast<INT_PTR>(escape)), 0,
                                      nullptr);
        int16_t result = host.about();
        WaitForSingleObject(watcher, INFINITE);
        CloseHandle(watcher);

        CHECK(result == 77, "About changed the result code to %d", result);
        CHECK(host.dataSlot() == 0, "About created the globals");
        const char* how = escape ? "Esc" : "the website button";
        CHECK(dialogResults == std::vector<INT_PTR>{escape ? 2 : 5}, "%s: the box ended %zu time(s), first with %lld",
              how, dialogResults.size(), dialogResults.empty() ? -1LL : static_cast<long long>(dialogResults[0]));
        std::string expected = std::string("open ") + kMakerSiteAddress + " - - 1";
        CHECK(escape ? shellRequests.empty() : shellRequests == std::vector<std::string>{expected},
              "%s: %zu request(s) to the shell, first \"%s\"", how, shellRequests.size(),
              shellRequests.empty() ? "" : shellRequests[0].c_str());
    }
}
