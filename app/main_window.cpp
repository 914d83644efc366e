#include "app/main_window.h"

#include <algorithm>
#include <new>
#include <string>
#include <thread>

#include "app/install_location.h"
#include "app/install_pins.h"
#include "app/layout.h"
#include "app/painting.h"
#include "install/apps_entry.h"
#include "install/messages.h"
#include "install/worker.h"

namespace {

constexpr DWORD kWindowStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr COLORREF kControlBackground = RGB(255, 255, 255);
constexpr COLORREF kControlText = RGB(38, 67, 55);
constexpr UINT kCloseDelayMs = 1000;

constexpr wchar_t kTextChoose[] = L"选择";
constexpr wchar_t kTextInstall[] = L"立即安装";
constexpr wchar_t kTextInstalling[] = L"正在安装";
constexpr wchar_t kTextInstalled[] = L"安装完成";
constexpr wchar_t kTextReady[] = L"准备安装";
constexpr wchar_t kTextNoThread[] = L"安装失败：无法启动安装线程";

MainWindowState* StateOf(HWND window) {
    return reinterpret_cast<MainWindowState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

HWND CreateChild(HWND parent, const wchar_t* controlClass, const wchar_t* text, int id, DWORD style,
                 const RECT& rect) {
    return CreateWindowExW(0, controlClass, text, style, rect.left, rect.top,
                           rect.right - rect.left, rect.bottom - rect.top, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
}

Canvas MakeCanvas(HDC screen, const RECT& rect) {
    Canvas canvas;
    canvas.bitmap.reset(
        CreateCompatibleBitmap(screen, rect.right - rect.left, rect.bottom - rect.top));
    canvas.dc.reset(CreateCompatibleDC(screen));
    SelectObject(canvas.dc.get(), canvas.bitmap.get());
    return canvas;
}

std::wstring WindowText(HWND control) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)), L'\0');
    text.resize(static_cast<size_t>(
        GetWindowTextW(control, text.data(), static_cast<int>(text.size() + 1))));
    return text;
}

// -1 fails the window's creation: a window without all its controls, or without the pictures
// of the bar and the percent, is of no use.
LRESULT OnCreate(HWND window, MainWindowState& state) {
    state.bodyFont = MakeFont(kBodyFont);
    state.titleFont = MakeFont(kTitleFont);
    state.smallFont = MakeFont(kSmallFont);
    state.buttonFont = MakeFont(kButtonFont);
    state.controlBackground.reset(CreateSolidBrush(kControlBackground));

    // An update goes where the install it updates is.
    std::wstring directory = RegisteredInstallDir();
    if (directory.empty()) directory = DefaultInstallDir();
    state.installDirEdit = CreateChild(window, L"EDIT", directory.c_str(), kInstallDirId,
                                       kChild | ES_AUTOHSCROLL, kInstallDirRect);
    state.chooseButton =
        CreateChild(window, L"BUTTON", kTextChoose, kChooseId, kChild | BS_OWNERDRAW, kChooseRect);
    state.installButton = CreateChild(window, L"BUTTON", kTextInstall, kInstallId,
                                      kChild | BS_OWNERDRAW, kInstallRect);
    state.statusLabel =
        CreateChild(window, L"STATIC", kTextReady, kStatusId, kChild | SS_LEFT, kStatusRect);
    state.percentLabel =
        CreateChild(window, L"STATIC", nullptr, kPercentId, kChild | SS_OWNERDRAW, kPercentRect);
    state.progressBar =
        CreateChild(window, L"STATIC", nullptr, kProgressId, kChild | SS_OWNERDRAW, kProgressRect);

    const WindowDc screen(nullptr);
    state.percentCanvas = MakeCanvas(screen.get(), kPercentRect);
    state.barCanvas = MakeCanvas(screen.get(), kProgressRect);
    for (const Canvas* canvas : {&state.percentCanvas, &state.barCanvas})
        if (!canvas->dc || !canvas->bitmap) return -1;
    const HWND controls[] = {state.installDirEdit, state.chooseButton, state.installButton,
                             state.statusLabel,    state.percentLabel, state.progressBar};
    for (const HWND control : controls)
        if (!control) return -1;
    const auto bodyFont = reinterpret_cast<WPARAM>(state.bodyFont.get());
    for (const HWND control : controls)
        SendMessageW(control, WM_SETFONT, bodyFont, TRUE);
    const auto buttonFont = reinterpret_cast<WPARAM>(state.buttonFont.get());
    SendMessageW(state.chooseButton, WM_SETFONT, buttonFont, TRUE);
    SendMessageW(state.installButton, WM_SETFONT, buttonFont, TRUE);
    return 0;
}

// The run's directory is completed and shown here, on the window's thread, before the worker
// starts: the worker only posts.
void StartInstall(HWND window, const MainWindowState& state) {
    // Marked here, before the worker exists, so that a second click arriving before the
    // worker's first step cannot start a second run.
    InstallRunning = true;
    try {
        const std::wstring directory = CompleteInstallDir(WindowText(state.installDirEdit));
        SetWindowTextW(state.installDirEdit, directory.c_str());
        std::thread(InstallWorker, window, directory, kInstallPins).detach();
    } catch (...) {  // no thread (std::system_error), or no memory for one
        InstallRunning = false;
        SetWindowTextW(state.statusLabel, kTextNoThread);
    }
}

// Buttons pressed while a run is on do nothing (they are disabled then, too).
bool OnCommand(HWND window, const MainWindowState& state, int id) {
    if (InstallRunning) return false;
    if (id == kChooseId) {
        const std::wstring chosen = BrowseInstallDir(window);
        if (!chosen.empty()) SetWindowTextW(state.installDirEdit, chosen.c_str());
    }
    if (id == kInstallId) StartInstall(window, state);
    return id == kChooseId || id == kInstallId;
}

bool OnDrawItem(const DRAWITEMSTRUCT* item, const MainWindowState& state) {
    if (!item) return false;
    if (item->CtlID == kProgressId || item->CtlID == kPercentId) {
        DrawProgressControl(*item, state);
        return true;
    }
    if (item->CtlID == kChooseId || item->CtlID == kInstallId) {
        DrawRoundButton(*item, state);
        return true;
    }
    return false;
}

bool OnTimer(HWND window, UINT_PTR id) {
    if (id != kCloseTimerId) return false;
    KillTimer(window, kCloseTimerId);
    DestroyWindow(window);
    return true;
}

LRESULT OnControlColour(HDC dc, const MainWindowState& state) {
    SetBkColor(dc, kControlBackground);
    SetTextColor(dc, kControlText);
    return reinterpret_cast<LRESULT>(state.controlBackground.get());
}

LRESULT OnStatus(const MainWindowState& state, LPARAM text) {
    SetWindowTextW(state.statusLabel, TakeStatusText(text)->c_str());
    return 0;
}

// Each step is drawn at once, through the window's device context: under Wine a child window's
// own paint cycle costs about a millisecond, which the window would spend twice on every step of
// a download. The percent's digits are drawn again, and of the bar only the columns between the
// old and the new end of its fill, with the rounding of the old end. The drawing itself still
// goes through WM_DRAWITEM.
LRESULT OnProgress(HWND window, MainWindowState& state, WPARAM percent) {
    const int previous = state.progressPercent;
    state.progressPercent = static_cast<int>(static_cast<DWORD>(percent));
    const int width = kProgressRect.right - kProgressRect.left;
    const auto end = [&](int value) { return std::clamp(MulDiv(width, value, 100), 0, width); };
    const int from = std::min(end(previous), end(state.progressPercent));
    const int to = std::max(end(previous), end(state.progressPercent));
    const RECT changed{kProgressRect.left + std::max(0, from - kBarCorner), kProgressRect.top,
                       kProgressRect.left + std::min(width, to + kBarCorner), kProgressRect.bottom};
    const WindowDc dc(window);
    const struct {
        HWND control;
        int id;
        RECT rect, drawn;
    } steps[] = {{state.percentLabel, kPercentId, kPercentRect, kPercentRect},
                 {state.progressBar, kProgressId, kProgressRect, changed}};
    for (const auto& step : steps) {
        SelectClipRgn(dc.get(), nullptr);
        IntersectClipRect(dc.get(), step.drawn.left, step.drawn.top, step.drawn.right,
                          step.drawn.bottom);
        DRAWITEMSTRUCT item{};
        item.CtlType = ODT_STATIC;
        item.CtlID = static_cast<UINT>(step.id);
        item.itemAction = ODA_DRAWENTIRE;
        item.hwndItem = step.control;
        item.hDC = dc.get();
        item.rcItem = step.rect;
        SendMessageW(window, WM_DRAWITEM, static_cast<WPARAM>(step.id),
                     reinterpret_cast<LPARAM>(&item));
    }
    return 0;
}

// Inputs are disabled during a run and stay so after a complete one.
LRESULT OnBusy(const MainWindowState& state, bool busy) {
    const bool completed = InstallCompleted;
    const BOOL enabled = !(busy || completed);
    EnableWindow(state.installDirEdit, enabled);
    EnableWindow(state.chooseButton, enabled);
    EnableWindow(state.installButton, enabled);
    SetWindowTextW(state.installButton, busy        ? kTextInstalling
                                        : completed ? kTextInstalled
                                                    : kTextInstall);
    return 0;
}

LRESULT OnFinished(HWND window) {
    SetTimer(window, kCloseTimerId, kCloseDelayMs, nullptr);
    return 0;
}

// The state's whole life: made before anything else reaches the window, freed after the last
// message; FALSE from WM_NCCREATE fails the window's creation.
LRESULT OnStateLifetime(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* state = new (std::nothrow) MainWindowState;
        if (!state) return FALSE;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
    } else {
        delete StateOf(window);
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE || message == WM_NCDESTROY) {
        return OnStateLifetime(window, message, wParam, lParam);
    }
    MainWindowState* const state = StateOf(window);
    if (!state) return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
        case WM_CREATE:
            return OnCreate(window, *state);
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_PAINT:
            PaintMainWindow(window, *state);
            return 0;
        case WM_ERASEBKGND:
            return 1;  // painting covers the whole client area
        case WM_DRAWITEM:
            if (OnDrawItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam), *state)) return TRUE;
            break;
        case WM_COMMAND:
            if (OnCommand(window, *state, LOWORD(wParam))) return 0;
            break;
        case WM_TIMER:
            if (OnTimer(window, wParam)) return 0;
            break;
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC:
            return OnControlColour(reinterpret_cast<HDC>(wParam), *state);
        case WM_APP_STATUS:
            return OnStatus(*state, lParam);
        case WM_APP_PROGRESS:
            return OnProgress(window, *state, wParam);
        case WM_APP_BUSY:
            return OnBusy(*state, wParam != 0);
        case WM_APP_FINISHED:
            return OnFinished(window);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool RegisterMainWindowClass(HINSTANCE instance) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kAppIconId));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kMainWindowClass;
    return RegisterClassW(&windowClass) != 0;
}

HWND CreateMainWindow(HINSTANCE instance) {
    RECT frame{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&frame, kWindowStyle, FALSE, 0);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    return CreateWindowExW(0, kMainWindowClass, kMainWindowTitle, kWindowStyle, x, y, width, height,
                           nullptr, nullptr, instance, nullptr);
}
