#pragma once
// The real installer, driven from outside as a user would drive it: started as its own process,
// its window found by class, the edit box filled, the buttons clicked with the mouse, and what
// its window handles recorded by a message hook (tools/message_spy.dll).

#include <windows.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/owners.h"
#include "support/programs.h"

// Pixels as RGB() values, row by row.
struct Screenshot {
    int width = 0, height = 0;
    std::vector<COLORREF> pixels;
    COLORREF At(int x, int y) const;
    Screenshot Part(const RECT& rect) const;
    bool operator==(const Screenshot&) const = default;
};

// A line of text as the installer must draw it into a rectangle of that size over a background
// colour, drawn here: in Microsoft YaHei UI of that height and weight.
Screenshot ExpectedText(const std::wstring& text, const RECT& area, int height, int weight,
                        COLORREF colour, COLORREF background, UINT format);

// What the message spy is hooked into: every message of the window's thread, or only those it
// takes from its queue. Under Wine a hook on the sent messages slows the window itself: with it,
// the installer's window took 15 to 25 ms instead of 3 to 4 to disable its inputs at the start of
// a run. A measure of the window's answers hooks only the queue; the trace then lacks the texts
// (status, button, directory), the repaints and the progress count.
enum class Spy { kAllMessages, kQueueOnly };

class InstallerWindow {
public:
    // Starts the program with these variables added to this process's environment.
    InstallerWindow(const std::wstring& program, const std::map<std::wstring, std::wstring>& env,
                    Spy spy = Spy::kAllMessages);
    ~InstallerWindow();

    HWND Window() const { return window_; }
    HANDLE Process() const { return process_.info.hProcess; }
    DWORD ProcessId() const { return process_.info.dwProcessId; }
    std::wstring Text(int id) const;
    bool Enabled(int id) const { return IsWindowEnabled(GetDlgItem(window_, id)) != FALSE; }

    void SetInstallDir(const std::wstring& directory);
    void Click(int id, int times = 1);
    // Holds the mouse button down over the control; Release() lets it go over the screen's
    // corner instead, so that nothing is clicked.
    void Press(int id);
    void Release();

    // Lines the message spy wrote so far ("busy 1", "status ...", "progress 70", ...).
    std::vector<std::wstring> Trace() const;
    // Waits until the trace holds the line (that many times); false after the time-out.
    bool WaitForLine(const std::wstring& line, std::chrono::milliseconds timeout,
                     int times = 1) const;
    // Waits for the process to end; its exit code, or -1 after the time-out.
    int WaitForExit(std::chrono::milliseconds timeout) const;

    // The screen over the window's client area.
    Screenshot Capture() const;

private:
    POINT Center(int id) const;

    UniqueProcess process_;
    HWND window_ = nullptr;
    std::wstring tracePath_;
    UniqueModule spy_;
    UniqueHook messageHook_, callHook_;
};
