#pragma once
// A real window that is never shown, standing in for the installer's window: while it lives it
// is MainWindow, and a test takes back what was posted to it.

#include <windows.h>

#include <string>
#include <vector>

#include "common/owners.h"

struct Posted {
    UINT message;
    WPARAM wParam;
    std::wstring text;  // of a WM_APP_STATUS message
};

struct StatusWindow {
    StatusWindow();
    ~StatusWindow();

    // The worker messages posted since the last call, in order; taken off the queue.
    std::vector<Posted> TakeMessages();
    // The texts among them.
    std::vector<std::wstring> TakeStatusTexts();
    UniqueWindow window_;
};
