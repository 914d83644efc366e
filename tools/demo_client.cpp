// The client that the demo and the test packages carry in place of the real one. It notes how
// it was started (client-started.txt beside itself: its own path, the current directory and
// the show command it was given), then shows a small window saying it was installed. With the
// environment variable VEXA_CLIENT_EXIT_AT_ONCE set it ends right after the note.
#include <windows.h>

#include <string>

#include "common/owners.h"

namespace {

constexpr wchar_t kClass[] = L"VexaDemoClient";
constexpr wchar_t kTitle[] = L"Vexa盒子";
constexpr wchar_t kMessage[] = L"Vexa盒子 已安装，欢迎使用！";

void NoteStart() {
    wchar_t module[MAX_PATH] = {}, current[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    GetCurrentDirectoryW(MAX_PATH, current);
    std::wstring notePath = module;
    notePath.resize(notePath.find_last_of(L'\\') + 1);
    notePath += L"client-started.txt";
    STARTUPINFOW startup{};
    GetStartupInfoW(&startup);
    const std::wstring text = std::wstring(module) + L"\n" + current + L"\nshow " +
                              std::to_wstring(startup.wShowWindow) + L"\n";
    char utf8[2 * MAX_PATH * 4];
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                          utf8, sizeof(utf8), nullptr, nullptr);
    const UniqueHandle file{
        ValidHandle(CreateFileW(notePath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr))};
    if (!file) return;
    DWORD written = 0;
    WriteFile(file.get(), utf8, static_cast<DWORD>(bytes), &written, nullptr);
}

LRESULT CALLBACK ClientProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            RECT client;
            GetClientRect(window, &client);
            {
                const UniqueGdi<HBRUSH> green{CreateSolidBrush(RGB(20, 134, 96))};
                FillRect(dc, &client, green.get());
                const UniqueGdi<HFONT> font{CreateFontW(
                    26, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Microsoft YaHei UI")};
                const SelectedObject selected(dc, font.get());
                SetBkMode(dc, TRANSPARENT);
                SetTextColor(dc, RGB(255, 255, 255));
                DrawTextW(dc, kMessage, -1, &client, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
            }
            EndPaint(window, &paint);
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    NoteStart();
    if (GetEnvironmentVariableW(L"VEXA_CLIENT_EXIT_AT_ONCE", nullptr, 0) > 0) return 0;
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ClientProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kClass;
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, kClass, kTitle, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 60,
                                  60, 420, 200, nullptr, nullptr, instance, nullptr);
    ShowWindow(window, show);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
