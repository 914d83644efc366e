#include "support/status_window.h"

#include "install/messages.h"

StatusWindow::StatusWindow() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.lpszClassName = L"VexaStatusWindow";
    RegisterClassW(&windowClass);  // fails harmlessly once the class exists
    window_.reset(CreateWindowExW(0, windowClass.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 10, 10,
                                  nullptr, nullptr, nullptr, nullptr));
}

StatusWindow::~StatusWindow() {
    TakeMessages();
}

std::vector<Posted> StatusWindow::TakeMessages() {
    std::vector<Posted> posted;
    MSG msg;
    while (PeekMessageW(&msg, window_.get(), WM_APP_STATUS, WM_APP_FINISHED, PM_REMOVE)) {
        posted.push_back({msg.message, msg.wParam, {}});
        if (msg.message == WM_APP_STATUS) posted.back().text = *TakeStatusText(msg.lParam);
    }
    return posted;
}

std::vector<std::wstring> StatusWindow::TakeStatusTexts() {
    std::vector<std::wstring> texts;
    for (const Posted& message : TakeMessages())
        if (message.message == WM_APP_STATUS) texts.push_back(message.text);
    return texts;
}
