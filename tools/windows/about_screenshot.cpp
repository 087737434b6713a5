// velorund-about-screenshot MODULE BITMAP: opens the plug-in module's about box through its About
// selector in the in-process host, saves the screen around the box as a 24-bit bitmap file once it
// has painted, and closes it with Esc. about_screenshot.sh runs it under wine on a virtual
// desktop and turns the bitmap into the README's picture.
#include <windows.h>

#include <cstdint>
#include <cstdio>

#include "hostapp/host.h"

namespace {

const char* bitmapPath = nullptr;

// A 24-bit bitmap file of a screen rectangle.
bool saveScreenshot(const RECT& area, const char* path) {
    const int32_t width = area.right - area.left, height = area.bottom - area.top;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP shot = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, shot);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    GdiFlush();
    info.bmiHeader.biSizeImage = ((width * 3 + 3) & ~3u) * height;
    BITMAPFILEHEADER file{0x4D42, 0, 0, 0, sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
    file.bfSize = file.bfOffBits + info.bmiHeader.biSizeImage;
    FILE* out = std::fopen(path, "wb");
    if (out) {
        std::fwrite(&file, sizeof file, 1, out);
        std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out);
        std::fwrite(bits, 1, info.bmiHeader.biSizeImage, out);
        std::fclose(out);
    }
    SelectObject(memory, old);
    DeleteObject(shot);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return out != nullptr;
}

// Waits for the box, lets it paint, saves the screen around it and presses Esc.
DWORD WINAPI shootAboutBox(void*) {
    HWND box = nullptr;
    for (int32_t tries = 0; tries < 200 && !(box && IsWindowVisible(box)); tries++) {
        Sleep(50);
        box = FindWindowA("#32770", "About Velorund");
    }
    if (!box) {
        std::fprintf(stderr, "no window captioned \"About Velorund\" appeared\n");
        ExitProcess(1);
    }
    Sleep(300);
    RECT outer;
    GetWindowRect(box, &outer);
    const bool saved = saveScreenshot({outer.left - 12, outer.top - 12, outer.right + 12, outer.bottom + 12}, bitmapPath);
    PostMessageA(box, WM_KEYDOWN, VK_ESCAPE, 0);
    if (!saved) std::fprintf(stderr, "cannot write %s\n", bitmapPath);
    return saved ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s MODULE BITMAP\n", argv[0]);
        return 2;
    }
    HMODULE module = LoadLibraryA(argv[1]);
    // Through a pointer-sized integer: the address has the entry point's type, not FARPROC's.
    auto entry = module ? reinterpret_cast<PluginEntryProc>(reinterpret_cast<uintptr_t>(GetProcAddress(module, "PluginMain")))
                        : nullptr;
    if (!entry) {
        std::fprintf(stderr, "cannot load PluginMain from %s (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    bitmapPath = argv[2];
    HANDLE shooter = CreateThread(nullptr, 0, shootAboutBox, nullptr, 0, nullptr);
    hostapp::InProcessHost host(entry);
    host.about();
    WaitForSingleObject(shooter, INFINITE);
    DWORD result = 1;
    GetExitCodeThread(shooter, &result);
    CloseHandle(shooter);
    FreeLibrary(module);
    return static_cast<int>(result);
}
