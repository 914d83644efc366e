#include "support/status_window.h"

#include "install/messages.h"

namespace {
constexpr wchar_t kClassName[] = L"VexaStatusWindow";
}

StatusWindow::StatusWindow() {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = kClassName;
    RegisterClassW(&window_class);  // fails harmlessly once the class exists
    window_ = CreateWindowExW(0, kClassName, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    MainWindow = window_;
}

StatusWindow::~StatusWindow() {
    TakeStatusTexts();
    MainWindow = nullptr;
    DestroyWindow(window_);
}

std::vector<std::wstring> StatusWindow::TakeStatusTexts() {
    std::vector<std::wstring> texts;
    MSG msg;
    while (window_ && PeekMessageW(&msg, window_, WM_APP_STATUS, WM_APP_STATUS, PM_REMOVE)) {
        if (const auto text = TakeStatusText(msg.lParam)) texts.push_back(*text);
    }
    return texts;
}
