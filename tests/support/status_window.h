#pragma once
// A real window that is never shown, standing in for the installer's window: while it lives it
// is MainWindow, and a test reads back the status texts posted to it.

#include <windows.h>

#include <string>
#include <vector>

class StatusWindow {
public:
    StatusWindow();
    ~StatusWindow();
    StatusWindow(const StatusWindow&) = delete;
    StatusWindow& operator=(const StatusWindow&) = delete;

    // The texts of the WM_APP_STATUS messages posted since the last call, in order; the
    // messages are taken off the queue and their texts freed.
    std::vector<std::wstring> TakeStatusTexts();

private:
    HWND window_ = nullptr;
};
