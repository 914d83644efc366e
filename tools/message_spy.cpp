// A hook DLL for the end-to-end tests. Hooked into the installer's window thread, it appends
// every worker message the window takes from its queue, and every text given to the status
// line or the install button, to the UTF-8 file named by the environment variable
// VEXA_MESSAGE_SPY_LOG of the installer's process:
//   busy 1 / progress 75 / finished / status 正在下载安装包... / button 正在安装
// and the directory the worker writes back into the edit box: directory D:\Vexa游戏盒子
#include <windows.h>

#include <string>

namespace {

constexpr UINT kAppStatus = WM_APP + 1;
constexpr UINT kAppProgress = WM_APP + 2;
constexpr UINT kAppBusy = WM_APP + 3;
constexpr UINT kAppFinished = WM_APP + 4;
constexpr int kInstallDirId = 1001;
constexpr int kInstallButtonId = 1003;
constexpr int kStatusLabelId = 1005;
constexpr int kProgressBarId = 1004;

long progress_count = 0;
long draw_count = 0;

bool CountOnly() { return GetEnvironmentVariableW(L"VEXA_MESSAGE_SPY_COUNT", nullptr, 0) > 0; }

void Append(const std::wstring& line) {
    wchar_t path[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"VEXA_MESSAGE_SPY_LOG", path, MAX_PATH)) return;
    const std::wstring text = line + L"\n";
    char utf8[4096];
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                          utf8, sizeof(utf8), nullptr, nullptr);
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, utf8, static_cast<DWORD>(bytes), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK
    SpyGetMessage(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && wParam == PM_REMOVE) {
        const MSG& msg = *reinterpret_cast<const MSG*>(lParam);
        static const bool count_only = CountOnly();
        if (count_only) {
            if (msg.message == kAppProgress) ++progress_count;
            if (msg.message == kAppFinished) {
                Append(L"progress-count " + std::to_wstring(progress_count));
                Append(L"draw-count " + std::to_wstring(draw_count));
            }
        } else if (msg.message == kAppProgress) {
            Append(L"progress " + std::to_wstring(msg.wParam));
        }
        if (msg.message == kAppBusy) Append(L"busy " + std::to_wstring(msg.wParam));
        if (msg.message == kAppFinished) Append(L"finished");
        if (msg.message == kAppStatus && msg.lParam == 0) Append(L"status-null");
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

extern "C" __declspec(dllexport) LRESULT CALLBACK
    SpyCallWindow(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const CWPSTRUCT& call = *reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (call.message == WM_DRAWITEM && call.wParam == kProgressBarId) ++draw_count;
        if (call.message == WM_SETTEXT && call.lParam) {
            const int id = GetDlgCtrlID(call.hwnd);
            const auto* text = reinterpret_cast<const wchar_t*>(call.lParam);
            if (id == kStatusLabelId) Append(std::wstring(L"status ") + text);
            if (id == kInstallButtonId) Append(std::wstring(L"button ") + text);
            if (id == kInstallDirId) Append(std::wstring(L"directory ") + text);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
