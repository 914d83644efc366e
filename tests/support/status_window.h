#pragma once
// A real window that is never shown, standing in for the installer's window: a test posts to it
// and takes back what was posted.

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
    HWND Handle() const { return window_.get(); }
    UniqueWindow window_;
};
