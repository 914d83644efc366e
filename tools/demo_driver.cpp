// Drives the installer's window from outside for the demo, as a user would.
//   demo_driver.exe wait-window CLASS TIMEOUT_MS   ends with 0 once a visible window of CLASS
//   exists demo_driver.exe click CLASS CONTROL_ID         clicks the control with the mouse
//   demo_driver.exe wait-status TIMEOUT_MS TEXT... ends with 0 once the status line starts with
//                                                  one of the texts (a step, or any later one)
//   demo_driver.exe close CLASS                    asks the window to close
#include <windows.h>

#include <cwchar>
#include <iterator>
#include <string>

#include "app/layout.h"

namespace {

HWND FindVisible(const wchar_t* windowClass) {
    HWND window = FindWindowW(windowClass, nullptr);
    return window && IsWindowVisible(window) ? window : nullptr;
}

void ClickAt(int x, int y) {
    INPUT inputs[3] = {};
    inputs[0].type = INPUT_MOUSE;
    inputs[0].mi.dx = MulDiv(x, 65536, GetSystemMetrics(SM_CXSCREEN));
    inputs[0].mi.dy = MulDiv(y, 65536, GetSystemMetrics(SM_CYSCREEN));
    inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    inputs[1].type = INPUT_MOUSE;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    inputs[2].type = INPUT_MOUSE;
    inputs[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(3, inputs, sizeof(INPUT));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"wait-window" && argc == 4) {
        for (int waited = 0; waited <= _wtoi(argv[3]); waited += 100) {
            if (FindVisible(argv[2])) return 0;
            Sleep(100);
        }
        return 1;
    }
    if (command == L"click" && argc == 4) {
        HWND window = FindVisible(argv[2]);
        HWND control = window ? GetDlgItem(window, _wtoi(argv[3])) : nullptr;
        if (!control) return 1;
        RECT rect;
        GetWindowRect(control, &rect);
        ClickAt((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
        return 0;
    }
    if (command == L"wait-status" && argc >= 4) {
        for (int waited = 0; waited <= _wtoi(argv[2]); waited += 20) {
            wchar_t status[256] = {};
            if (HWND window = FindVisible(kMainWindowClass)) {
                GetWindowTextW(GetDlgItem(window, kStatusId), status,
                               static_cast<int>(std::size(status)));
            }
            for (int i = 3; i < argc; ++i) {
                if (wcsncmp(status, argv[i], wcslen(argv[i])) == 0) return 0;
            }
            Sleep(20);
        }
        return 1;
    }
    if (command == L"close" && argc == 3) {
        HWND window = FindVisible(argv[2]);
        return window && PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 1;
    }
    return 2;
}
