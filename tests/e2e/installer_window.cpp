#include "e2e/installer_window.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "app/layout.h"
#include "support/test_files.h"
#include "support/test_server.h"
#include "test_config.h"

namespace {

HWND FindWindowOf(DWORD processId) {
    for (HWND window = FindWindowW(kMainWindowClass, nullptr); window;
         window = FindWindowExW(nullptr, window, kMainWindowClass, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && IsWindowVisible(window)) return window;
    }
    return nullptr;
}

// The pixels of a device context's area, read through a 32-bit bitmap.
Screenshot ReadPixels(HDC source, int x, int y, int width, int height) {
    Screenshot shot{width, height, std::vector<COLORREF>(static_cast<size_t>(width * height))};
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(info.bmiHeader), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const UniqueMemoryDc memory{CreateCompatibleDC(source)};
    const UniqueGdi<HBITMAP> bitmap{
        CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0)};
    const SelectedObject selected(memory.get(), bitmap.get());
    BitBlt(memory.get(), 0, 0, width, height, source, x, y, SRCCOPY);
    GdiFlush();
    const auto* bgra = static_cast<const BYTE*>(bits);
    for (size_t i = 0; i < shot.pixels.size(); ++i)
        shot.pixels[i] = RGB(bgra[4 * i + 2], bgra[4 * i + 1], bgra[4 * i]);
    return shot;
}

}  // namespace

COLORREF Screenshot::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return CLR_INVALID;
    return pixels[static_cast<size_t>(y * width + x)];
}

Screenshot Screenshot::Part(const RECT& rect) const {
    Screenshot part{rect.right - rect.left, rect.bottom - rect.top, {}};
    for (int y = rect.top; y < rect.bottom; ++y)
        for (int x = rect.left; x < rect.right; ++x)
            part.pixels.push_back(At(x, y));
    return part;
}

Screenshot ExpectedText(const std::wstring& text, const RECT& area, int height, int weight,
                        COLORREF colour, COLORREF background, UINT format) {
    const SIZE size{area.right - area.left, area.bottom - area.top};
    RECT rect{0, 0, size.cx, size.cy};
    const WindowDc screen(nullptr);
    const UniqueMemoryDc memory{CreateCompatibleDC(screen.get())};
    const UniqueGdi<HBITMAP> bitmap{CreateCompatibleBitmap(screen.get(), size.cx, size.cy)};
    const SelectedObject selected(memory.get(), bitmap.get());
    const UniqueGdi<HBRUSH> brush{CreateSolidBrush(background)};
    FillRect(memory.get(), &rect, brush.get());
    const UniqueGdi<HFONT> font{CreateFontW(
        height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
        CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Microsoft YaHei UI")};
    const SelectedObject selectedFont(memory.get(), font.get());
    SetBkMode(memory.get(), TRANSPARENT);
    SetTextColor(memory.get(), colour);
    DrawTextW(memory.get(), text.c_str(), -1, &rect, format);
    return ReadPixels(memory.get(), 0, 0, size.cx, size.cy);
}

InstallerWindow::InstallerWindow(const std::wstring& program,
                                 const std::map<std::wstring, std::wstring>& env, Spy spy) {
    static std::atomic<int> counter{0};
    tracePath_ = (std::filesystem::temp_directory_path() /
                  (L"vexa-trace-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                   std::to_wstring(++counter) + L".log"))
                     .wstring();
    DeleteFileW(tracePath_.c_str());
    auto variables = env;
    variables[L"VEXA_MESSAGE_SPY_LOG"] = tracePath_;
    bool started = false;
    {
        const Finally set = SetVariables(variables);
        started = StartDetached(program, L"\"" + program + L"\"", process_);
    }
    if (!started) throw std::runtime_error("cannot start the installer: " + Narrow(program));
    // Found, and on the screen: Wine shows a window a moment after it says it is visible.
    if (!WaitUntil(
            [&] {
                window_ = FindWindowOf(ProcessId());
                return window_ && Capture().At(10, 10) == RGB(20, 134, 96);
            },
            std::chrono::seconds(20))) {
        throw std::runtime_error("the installer's window did not appear");
    }
    spy_.reset(LoadLibraryW(BuildPath("tools/message_spy.dll").c_str()));
    const auto hook = [&](int kind, const char* name) {
        const auto procedure =
            reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(spy_.get(), name)));
        return SetWindowsHookExW(kind, procedure, spy_.get(),
                                 GetWindowThreadProcessId(window_, nullptr));
    };
    messageHook_.reset(spy_ ? hook(WH_GETMESSAGE, "SpyGetMessage") : nullptr);
    if (spy == Spy::kAllMessages) {
        callHook_.reset(spy_ ? hook(WH_CALLWNDPROC, "SpyCallWindow") : nullptr);
    }
    if (!messageHook_ || (spy == Spy::kAllMessages && !callHook_)) {
        throw std::runtime_error("cannot hook the installer");
    }
}

InstallerWindow::~InstallerWindow() {
    callHook_.reset();
    messageHook_.reset();
    if (WaitForSingleObject(process_.info.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.info.hProcess, 1);
        WaitForSingleObject(process_.info.hProcess, 5000);
    }
    DeleteFileW(tracePath_.c_str());
}

std::wstring InstallerWindow::Text(int id) const {
    wchar_t text[512] = {};
    DWORD_PTR length = 0;
    SendMessageTimeoutW(GetDlgItem(window_, id), WM_GETTEXT, std::size(text),
                        reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &length);
    return text;
}

void InstallerWindow::SetInstallDir(const std::wstring& directory) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(GetDlgItem(window_, kInstallDirId), WM_SETTEXT, 0,
                        reinterpret_cast<LPARAM>(directory.c_str()), SMTO_ABORTIFHUNG, 5000,
                        &result);
}

namespace {

// Moves the mouse to the point, then sends the button events in turn, each at that point again.
// A button event without a point of its own goes wherever the pointer is by then, and under Wine
// the pointer can move in between: a window that reads its display events late (one just shown,
// on a busy machine) turns the pointer position it was shown under into a mouse move of its own,
// and that move, arriving after ours, took the press and the release to the edit box under the
// old position. A real click under Wine carries its point too.
void Mouse(POINT point, const std::vector<DWORD>& buttons) {
    INPUT at{INPUT_MOUSE, {}};
    at.mi.dx = MulDiv(point.x, 65536, GetSystemMetrics(SM_CXSCREEN));
    at.mi.dy = MulDiv(point.y, 65536, GetSystemMetrics(SM_CYSCREEN));
    at.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    std::vector<INPUT> inputs(1 + buttons.size(), at);
    for (size_t i = 0; i < buttons.size(); ++i)
        inputs[i + 1].mi.dwFlags |= buttons[i];
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

}  // namespace

POINT InstallerWindow::Center(int id) const {
    const HWND control = GetDlgItem(window_, id);
    RECT rect;
    GetWindowRect(control, &rect);
    const POINT center{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    // A window that an earlier test's installer left may still cover the spot for a while.
    WaitUntil([&] { return WindowFromPoint(center) == control; }, std::chrono::seconds(5));
    return center;
}

void InstallerWindow::Click(int id, int times) {
    std::vector<DWORD> buttons;
    for (int i = 0; i < times; ++i)
        buttons.insert(buttons.end(), {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP});
    Mouse(Center(id), buttons);
}

// Off the centre where Click() goes: a press there soon after a click would be a double click.
void InstallerWindow::Press(int id) {
    const POINT center = Center(id);
    Mouse({center.x - 3 * GetSystemMetrics(SM_CXDOUBLECLK), center.y}, {MOUSEEVENTF_LEFTDOWN});
}

void InstallerWindow::Release() {
    Mouse({0, 0}, {MOUSEEVENTF_LEFTUP});
}

std::vector<std::wstring> InstallerWindow::Trace() const {
    std::ifstream file(std::filesystem::path(tracePath_), std::ios::binary);
    std::vector<std::wstring> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(Widen(line));
    return lines;
}

bool InstallerWindow::WaitForLine(const std::wstring& line, std::chrono::milliseconds timeout,
                                  int times) const {
    return WaitUntil(
        [&] {
            const std::vector<std::wstring> trace = Trace();
            return std::count(trace.begin(), trace.end(), line) >= times;
        },
        timeout);
}

int InstallerWindow::WaitForExit(std::chrono::milliseconds timeout) const {
    DWORD code = 0;
    if (WaitForSingleObject(process_.info.hProcess, static_cast<DWORD>(timeout.count())) !=
            WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process_.info.hProcess, &code)) {
        return -1;
    }
    return static_cast<int>(code);
}

Screenshot InstallerWindow::Capture() const {
    RECT client{};
    GetClientRect(window_, &client);
    POINT origin{0, 0};
    ClientToScreen(window_, &origin);
    const WindowDc screen(nullptr);
    return ReadPixels(screen.get(), origin.x, origin.y, client.right, client.bottom);
}
