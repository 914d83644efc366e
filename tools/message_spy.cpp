// A hook DLL for the end-to-end tests. Hooked into the installer's window thread, it appends
// every worker message the window takes from its queue, and every text given to the status
// line or the install button, to the UTF-8 file named by the environment variable
// VEXA_MESSAGE_SPY_LOG of the installer's process:
//   busy 1 / progress 75 / finished / status 正在下载安装包... / button 正在安装
// and every text given to the edit box (the window writes back the directory a run uses):
//   directory D:\Vexa游戏盒子
// When the window is destroyed it notes how long after it took WM_APP_FINISHED from its queue it
// took the message that destroyed it (not the time of destruction itself: without a window
// manager Wine waits two seconds to hide a window), whether the edit box, the choose and the
// install button were enabled, and the button's text:
//   closed 1003 000 安装完成
// With VEXA_MESSAGE_SPY_COUNT set it writes, instead of each progress message, three lines when
// the window takes WM_APP_FINISHED: how many progress messages the download brought (from its
// status text up to 70), how often the window drew the bar, and the longest wait in
// milliseconds from the download's status text to its first step or between two steps:
//   progress-count 71 / draw-count 71 / progress-gap 312
#include <windows.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "app/layout.h"
#include "common/owners.h"
#include "install/messages.h"

namespace {

long ProgressCount = 0;
long DrawCount = 0;
ULONGLONG FinishedAt = 0;
ULONGLONG LastTakenAt = 0;
// While the download runs: when its status text or its last step came (0 otherwise), and the
// longest wait for the next step.
ULONGLONG LastStepAt = 0;
ULONGLONG LongestStepGap = 0;

bool CountOnly() {
    return GetEnvironmentVariableW(L"VEXA_MESSAGE_SPY_COUNT", nullptr, 0) > 0;
}

void Append(const std::wstring& line) {
    wchar_t path[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"VEXA_MESSAGE_SPY_LOG", path, MAX_PATH)) return;
    const std::wstring text = line + L"\n";
    char utf8[4096];
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                          utf8, sizeof(utf8), nullptr, nullptr);
    const UniqueHandle file{
        ValidHandle(CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr))};
    if (!file) return;
    DWORD written = 0;
    WriteFile(file.get(), utf8, static_cast<DWORD>(bytes), &written, nullptr);
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK
    SpyGetMessage(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && wParam == PM_REMOVE) {
        const MSG& msg = *reinterpret_cast<const MSG*>(lParam);
        LastTakenAt = GetTickCount64();
        static const bool countOnly = CountOnly();
        if (countOnly) {
            if (msg.message == WM_APP_PROGRESS && LastStepAt) {
                ++ProgressCount;
                LongestStepGap = std::max(LongestStepGap, LastTakenAt - LastStepAt);
                LastStepAt = msg.wParam < kProgressDownloaded ? LastTakenAt : 0;
            }
            if (msg.message == WM_APP_FINISHED) {
                Append(L"progress-count " + std::to_wstring(ProgressCount));
                Append(L"draw-count " + std::to_wstring(DrawCount));
                Append(L"progress-gap " + std::to_wstring(LongestStepGap));
            }
        } else if (msg.message == WM_APP_PROGRESS) {
            Append(L"progress " + std::to_wstring(msg.wParam));
        }
        if (msg.message == WM_APP_BUSY) Append(L"busy " + std::to_wstring(msg.wParam));
        if (msg.message == WM_APP_FINISHED) {
            FinishedAt = LastTakenAt;
            Append(L"finished");
        }
        if (msg.message == WM_APP_STATUS && msg.lParam == 0) Append(L"status-null");
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

extern "C" __declspec(dllexport) LRESULT CALLBACK
    SpyCallWindow(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const CWPSTRUCT& call = *reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (call.message == WM_DRAWITEM && call.wParam == kProgressId) ++DrawCount;
        if (call.message == WM_DESTROY && GetDlgItem(call.hwnd, kInstallId)) {
            std::wstring line = L"closed " + std::to_wstring(LastTakenAt - FinishedAt) + L" ";
            for (const int id : {kInstallDirId, kChooseId, kInstallId})
                line += IsWindowEnabled(GetDlgItem(call.hwnd, id)) ? L'1' : L'0';
            wchar_t button[64] = {};
            GetWindowTextW(GetDlgItem(call.hwnd, kInstallId), button,
                           static_cast<int>(std::size(button)));
            Append(line + L" " + button);
        }
        if (call.message == WM_SETTEXT && call.lParam) {
            const int id = GetDlgCtrlID(call.hwnd);
            const auto* text = reinterpret_cast<const wchar_t*>(call.lParam);
            if (id == kStatusId && std::wstring_view(text) == L"正在下载安装包...") {
                LastStepAt = GetTickCount64();
            }
            if (id == kStatusId) Append(std::wstring(L"status ") + text);
            if (id == kInstallId) Append(std::wstring(L"button ") + text);
            if (id == kInstallDirId) Append(std::wstring(L"directory ") + text);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
