#include "app/main_window.h"

#include <thread>

#include "app/install_location.h"
#include "app/layout.h"
#include "app/painting.h"
#include "install/messages.h"
#include "install/worker.h"

UniqueGdi<HFONT> BodyFont;
UniqueGdi<HFONT> TitleFont;
UniqueGdi<HFONT> SmallFont;
UniqueGdi<HFONT> ButtonFont;
int ProgressPercent = 0;

namespace {

// The controls the window changes; set while it creates them. (MainWindow and InstallDirEdit,
// which the worker uses too, live with the worker messages.)
HWND ChooseButton = nullptr;
HWND InstallButton = nullptr;
HWND StatusLabel = nullptr;
HWND PercentLabel = nullptr;
HWND ProgressBar = nullptr;
// The edit box's and the status line's background, with the fonts' lifetime.
UniqueGdi<HBRUSH> ControlBackgroundBrush;

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

UniqueGdi<HFONT> MakeFont(int height, int weight) {
    return UniqueGdi<HFONT>{CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE,
                                        DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                        CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Microsoft YaHei UI")};
}

HWND CreateChild(HWND parent, const wchar_t* controlClass, const wchar_t* text, int id, DWORD style,
                 const RECT& rect) {
    return CreateWindowExW(0, controlClass, text, style, rect.left, rect.top,
                           rect.right - rect.left, rect.bottom - rect.top, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
}

LRESULT OnCreate(HWND window) {
    BodyFont = MakeFont(17, FW_NORMAL);
    TitleFont = MakeFont(28, FW_BOLD);
    SmallFont = MakeFont(15, FW_NORMAL);
    ButtonFont = MakeFont(17, FW_BOLD);
    ControlBackgroundBrush.reset(CreateSolidBrush(kControlBackground));

    const std::wstring directory = DefaultInstallDir();
    InstallDirEdit = CreateChild(window, L"EDIT", directory.c_str(), IDC_INSTALL_DIR,
                                 kChild | ES_AUTOHSCROLL, kInstallDirRect);
    ChooseButton =
        CreateChild(window, L"BUTTON", kTextChoose, IDC_CHOOSE, kChild | BS_OWNERDRAW, kChooseRect);
    InstallButton = CreateChild(window, L"BUTTON", kTextInstall, IDC_INSTALL, kChild | BS_OWNERDRAW,
                                kInstallRect);
    StatusLabel =
        CreateChild(window, L"STATIC", kTextReady, IDC_STATUS, kChild | SS_LEFT, kStatusRect);
    PercentLabel =
        CreateChild(window, L"STATIC", nullptr, IDC_PERCENT, kChild | SS_OWNERDRAW, kPercentRect);
    ProgressBar =
        CreateChild(window, L"STATIC", nullptr, IDC_PROGRESS, kChild | SS_OWNERDRAW, kProgressRect);

    const auto bodyFont = reinterpret_cast<WPARAM>(BodyFont.get());
    for (HWND control :
         {InstallDirEdit, ChooseButton, InstallButton, StatusLabel, PercentLabel, ProgressBar}) {
        SendMessageW(control, WM_SETFONT, bodyFont, TRUE);
    }
    const auto buttonFont = reinterpret_cast<WPARAM>(ButtonFont.get());
    SendMessageW(ChooseButton, WM_SETFONT, buttonFont, TRUE);
    SendMessageW(InstallButton, WM_SETFONT, buttonFont, TRUE);
    return 0;
}

LRESULT OnDestroy() {
    BodyFont.reset();
    TitleFont.reset();
    SmallFont.reset();
    ButtonFont.reset();
    ControlBackgroundBrush.reset();
    PostQuitMessage(0);
    return 0;
}

void StartInstall() {
    // Marked here, before the worker exists, so that a second click arriving before the
    // worker's first step cannot start a second run.
    InstallRunning = true;
    try {
        std::thread(InstallWorker).detach();
    } catch (...) {  // no thread (std::system_error), or no memory for one
        InstallRunning = false;
        SetWindowTextW(StatusLabel, kTextNoThread);
    }
}

// Buttons pressed while a run is on do nothing (they are disabled then, too).
bool OnCommand(HWND window, int id) {
    if (InstallRunning) return false;
    if (id == IDC_CHOOSE) BrowseInstallDir(window);
    if (id == IDC_INSTALL) StartInstall();
    return id == IDC_CHOOSE || id == IDC_INSTALL;
}

bool OnDrawItem(const DRAWITEMSTRUCT* item) {
    if (!item) return false;
    if (item->CtlID == IDC_PROGRESS || item->CtlID == IDC_PERCENT) {
        DrawProgressControl(*item);
        return true;
    }
    if (item->CtlID == IDC_CHOOSE || item->CtlID == IDC_INSTALL) {
        DrawRoundButton(*item);
        return true;
    }
    return false;
}

bool OnTimer(HWND window, UINT_PTR id) {
    if (id != CLOSE_TIMER_ID) return false;
    KillTimer(window, CLOSE_TIMER_ID);
    DestroyWindow(window);
    return true;
}

LRESULT OnControlColour(HDC dc) {
    SetBkColor(dc, kControlBackground);
    SetTextColor(dc, kControlText);
    return reinterpret_cast<LRESULT>(ControlBackgroundBrush.get());
}

LRESULT OnStatus(LPARAM text) {
    SetWindowTextW(StatusLabel, TakeStatusText(text)->c_str());
    return 0;
}

LRESULT OnProgress(WPARAM percent) {
    ProgressPercent = static_cast<int>(static_cast<DWORD>(percent));
    InvalidateRect(PercentLabel, nullptr, FALSE);
    InvalidateRect(ProgressBar, nullptr, FALSE);
    return 0;
}

// Inputs are disabled during a run and stay so after a complete one.
LRESULT OnBusy(bool busy) {
    const bool completed = InstallCompleted;
    const BOOL enabled = !(busy || completed);
    EnableWindow(InstallDirEdit, enabled);
    EnableWindow(ChooseButton, enabled);
    EnableWindow(InstallButton, enabled);
    SetWindowTextW(InstallButton, busy        ? kTextInstalling
                                  : completed ? kTextInstalled
                                              : kTextInstall);
    return 0;
}

LRESULT OnFinished(HWND window) {
    SetTimer(window, CLOSE_TIMER_ID, kCloseDelayMs, nullptr);
    return 0;
}

}  // namespace

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return OnCreate(window);
        case WM_DESTROY:
            return OnDestroy();
        case WM_PAINT:
            PaintMainWindow(window);
            return 0;
        case WM_ERASEBKGND:
            return 1;  // painting covers the whole client area
        case WM_DRAWITEM:
            if (OnDrawItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam))) return TRUE;
            break;
        case WM_COMMAND:
            if (OnCommand(window, LOWORD(wParam))) return 0;
            break;
        case WM_TIMER:
            if (OnTimer(window, wParam)) return 0;
            break;
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC:
            return OnControlColour(reinterpret_cast<HDC>(wParam));
        case WM_APP_STATUS:
            return OnStatus(lParam);
        case WM_APP_PROGRESS:
            return OnProgress(wParam);
        case WM_APP_BUSY:
            return OnBusy(wParam != 0);
        case WM_APP_FINISHED:
            return OnFinished(window);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void RegisterMainWindowClass(HINSTANCE instance) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kAppIconId));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kMainWindowClass;
    RegisterClassW(&windowClass);
}

HWND CreateMainWindow(HINSTANCE instance) {
    const int x = (GetSystemMetrics(SM_CXSCREEN) - kWindowWidth) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - kWindowHeight) / 2;
    return CreateWindowExW(0, kMainWindowClass, kMainWindowTitle, kWindowStyle, x, y, kWindowWidth,
                           kWindowHeight, nullptr, nullptr, instance, nullptr);
}
