// The program's entry: the installer's window and its message loop; without a window, the silent
// install; as the copy in the install folder, the uninstaller.

#include <windows.h>
#include <commctrl.h>

#include "app/command_line.h"
#include "app/layout.h"
#include "app/main_window.h"
#include "app/silent_install.h"
#include "app/uninstall_prompts.h"
#include "common/log.h"
#include "common/owners.h"
#include "install/log_heading.h"
#include "install/worker.h"

namespace {

// One installer at a time in a logon session: two would download into the same temporary file
// and unpack into the same folder.
constexpr wchar_t kOneInstallerMutex[] = L"Local\\VexaBoxInstaller.OneAtATime";
// How long a second start waits for the first one's window, which may still be in the making.
constexpr int kFirstWindowWaitMs = 5000;
constexpr int kFirstWindowPollMs = 50;

// Brings the first installer's window to the front, restored if it was minimised.
void ShowFirstInstaller() {
    for (int waited = 0; waited < kFirstWindowWaitMs; waited += kFirstWindowPollMs) {
        if (const HWND first = FindWindowW(kMainWindowClass, nullptr)) {
            if (IsIconic(first)) ShowWindow(first, SW_RESTORE);
            SetForegroundWindow(first);
            return;
        }
        Sleep(kFirstWindowPollMs);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR arguments, int show) {
    // Installers are started from Downloads, where other files may have been planted: from
    // here on DLLs come from the system directory only. WinHTTP, the common controls and the
    // other DLLs that are not among Windows' known DLLs are delay-loaded, so they are first
    // loaded after this.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);

    const Invocation invocation = ParseCommandLine(arguments ? arguments : L"");
    const bool quiet = invocation.mode == Invocation::Mode::kSilentInstall ||
                       invocation.mode == Invocation::Mode::kQuietUninstall;
    // Held until the process ends, which releases it. An uninstall waits for no installer
    // either: it would remove what is being installed.
    const UniqueHandle oneAtATime{CreateMutexW(nullptr, FALSE, kOneInstallerMutex)};
    if (oneAtATime && GetLastError() == ERROR_ALREADY_EXISTS) {
        if (!quiet) ShowFirstInstaller();
        if (invocation.mode == Invocation::Mode::kWindow) return 0;
        // Whoever started this one learns that nothing was done.
        BeginLog(LogHeading(quiet ? L"started quietly" : L"uninstall", L""));
        Log(L"ended 14: another installer runs");
        return static_cast<int>(InstallEnding::kAlreadyRunning);
    }
    switch (invocation.mode) {
        case Invocation::Mode::kSilentInstall:
            return RunSilentInstall(invocation.directory);
        case Invocation::Mode::kUninstall:
        case Invocation::Mode::kQuietUninstall:
            return RunUninstaller(quiet);
        case Invocation::Mode::kWindow:
            break;
    }

    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    const ComApartment apartment;  // the folder picker runs on this thread

    if (!RegisterMainWindowClass(instance)) return 1;
    const HWND window = CreateMainWindow(instance);
    if (!window) return 1;
    if (const HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(kAppIconId))) {
        SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    }
    ShowWindow(window, show);
    UpdateWindow(window);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
