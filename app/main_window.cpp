#include "app/main_window.h"

#include <thread>

#include "app/install_location.h"
#include "app/painting.h"
#include "install/messages.h"
#include "install/worker.h"

HWND ChooseButton = nullptr;
HWND InstallButton = nullptr;
HWND StatusLabel = nullptr;
HWND PercentLabel = nullptr;
HWND ProgressBar = nullptr;
UniqueFont BodyFont;
UniqueFont TitleFont;
UniqueFont SmallFont;
UniqueFont ButtonFont;
int ProgressPercent = 0;

namespace {

constexpr int kWindowWidth = 620;
constexpr int kWindowHeight = 430;
constexpr DWORD kWindowStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr COLORREF kControlBackground = RGB(255, 255, 255);
constexpr COLORREF kControlText = RGB(38, 67, 55);
constexpr UINT kCloseDelayMs = 1000;

constexpr wchar_t kTextChoose[] = L"选择";
constexpr wchar_t kTextInstall[] = L"立即安装";
constexpr wchar_t kTextInstalling[] = L"正在安装";
constexpr wchar_t kTextInstalled[] = L"安装完成";
constexpr wchar_t kTextReady[] = L"准备安装";
constexpr wchar_t kTextNoThread[] = L"安装失败：无法启动安装线程";

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

UniqueFont MakeFont(int height, int weight) {
    return UniqueFont{CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                  OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                                  DEFAULT_PITCH, L"Microsoft YaHei UI")};
}

HWND CreateChild(HWND parent, const wchar_t* control_class, const wchar_t* text, int id,
                 DWORD style, int x, int y, int width, int height) {
    return CreateWindowExW(0, control_class, text, style, x, y, width, height, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
}

void CreateControls(HWND window) {
    BodyFont = MakeFont(17, FW_NORMAL);
    TitleFont = MakeFont(28, FW_BOLD);
    SmallFont = MakeFont(15, FW_NORMAL);
    ButtonFont = MakeFont(17, FW_BOLD);

    const std::wstring directory = DefaultInstallDir();
    InstallDirEdit = CreateChild(window, L"EDIT", directory.c_str(), IDC_INSTALL_DIR,
                                 kChild | ES_AUTOHSCROLL, 86, 183, 350, 28);
    ChooseButton = CreateChild(window, L"BUTTON", kTextChoose, IDC_CHOOSE, kChild | BS_OWNERDRAW,
                               452, 180, 82, 32);
    InstallButton = CreateChild(window, L"BUTTON", kTextInstall, IDC_INSTALL, kChild | BS_OWNERDRAW,
                                204, 268, 212, 44);
    StatusLabel =
        CreateChild(window, L"STATIC", kTextReady, IDC_STATUS, kChild | SS_LEFT, 72, 328, 390, 24);
    PercentLabel = CreateChild(window, L"STATIC", nullptr, IDC_PERCENT, kChild | SS_OWNERDRAW, 470,
                               328, 78, 24);
    ProgressBar = CreateChild(window, L"STATIC", nullptr, IDC_PROGRESS, kChild | SS_OWNERDRAW, 72,
                              356, 460, 12);

    const auto body_font = reinterpret_cast<WPARAM>(BodyFont.get());
    for (HWND control :
         {InstallDirEdit, ChooseButton, InstallButton, StatusLabel, PercentLabel, ProgressBar}) {
        SendMessageW(control, WM_SETFONT, body_font, TRUE);
    }
    const auto button_font = reinterpret_cast<WPARAM>(ButtonFont.get());
    SendMessageW(ChooseButton, WM_SETFONT, button_font, TRUE);
    SendMessageW(InstallButton, WM_SETFONT, button_font, TRUE);
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

void ShowBusy(bool busy) {
    const bool completed = InstallCompleted;
    const BOOL enabled = !(busy || completed);
    EnableWindow(InstallDirEdit, enabled);
    EnableWindow(ChooseButton, enabled);
    EnableWindow(InstallButton, enabled);
    SetWindowTextW(InstallButton, busy        ? kTextInstalling
                                  : completed ? kTextInstalled
                                              : kTextInstall);
}

LRESULT ControlColours(HDC dc) {
    static const UniqueBrush ControlBackgroundBrush{CreateSolidBrush(kControlBackground)};
    SetBkColor(dc, kControlBackground);
    SetTextColor(dc, kControlText);
    return reinterpret_cast<LRESULT>(ControlBackgroundBrush.get());
}

}  // namespace

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            CreateControls(window);
            return 0;
        case WM_DESTROY:
            BodyFont.reset();
            TitleFont.reset();
            SmallFont.reset();
            ButtonFont.reset();
            PostQuitMessage(0);
            return 0;
        case WM_PAINT:
            PaintMainWindow(window);
            return 0;
        case WM_ERASEBKGND:
            return 1;  // painting covers the whole client area
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (!item) break;
            if (item->CtlID == IDC_PROGRESS || item->CtlID == IDC_PERCENT) {
                DrawProgressControl(*item);
                return TRUE;
            }
            if (item->CtlID == IDC_CHOOSE || item->CtlID == IDC_INSTALL) {
                DrawRoundButton(*item);
                return TRUE;
            }
            break;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_CHOOSE && !InstallRunning) {
                BrowseInstallDir(window);
                return 0;
            }
            if (LOWORD(wParam) == IDC_INSTALL && !InstallRunning) {
                StartInstall();
                return 0;
            }
            break;
        case WM_TIMER:
            if (wParam != CLOSE_TIMER_ID) break;
            KillTimer(window, CLOSE_TIMER_ID);
            DestroyWindow(window);
            return 0;
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC:
            return ControlColours(reinterpret_cast<HDC>(wParam));
        case WM_APP_STATUS:
            SetWindowTextW(StatusLabel, TakeStatusText(lParam)->c_str());
            return 0;
        case WM_APP_PROGRESS:
            ProgressPercent = static_cast<int>(static_cast<DWORD>(wParam));
            InvalidateRect(PercentLabel, nullptr, FALSE);
            InvalidateRect(ProgressBar, nullptr, FALSE);
            return 0;
        case WM_APP_BUSY:
            ShowBusy(wParam != 0);
            return 0;
        case WM_APP_FINISHED:
            SetTimer(window, CLOSE_TIMER_ID, kCloseDelayMs, nullptr);
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void RegisterMainWindowClass(HINSTANCE instance) {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = MainWindowProc;
    window_class.hInstance = instance;
    window_class.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kAppIconId));
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    window_class.lpszClassName = kMainWindowClass;
    RegisterClassW(&window_class);
}

HWND CreateMainWindow(HINSTANCE instance) {
    const int x = (GetSystemMetrics(SM_CXSCREEN) - kWindowWidth) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - kWindowHeight) / 2;
    return CreateWindowExW(0, kMainWindowClass, kMainWindowTitle, kWindowStyle, x, y, kWindowWidth,
                           kWindowHeight, nullptr, nullptr, instance, nullptr);
}
