#pragma once
// The installer's one window: its class, controls, fonts and window procedure.

#include <windows.h>

#include "app/gdi.h"

inline constexpr int IDC_INSTALL_DIR = 1001;
inline constexpr int IDC_CHOOSE = 1002;
inline constexpr int IDC_INSTALL = 1003;
inline constexpr int IDC_PROGRESS = 1004;
inline constexpr int IDC_STATUS = 1005;
inline constexpr int IDC_PERCENT = 1006;
inline constexpr UINT_PTR CLOSE_TIMER_ID = 1;
inline constexpr int kAppIconId = 101;
inline constexpr wchar_t kMainWindowClass[] = L"BoxVexaDownloaderWindow";
inline constexpr wchar_t kMainWindowTitle[] = L"Vexa盒子安装器";

// Set while the window creates its controls; used on the window thread only. (MainWindow and
// InstallDirEdit, which the worker uses too, live with the worker messages.)
extern HWND ChooseButton;
extern HWND InstallButton;
extern HWND StatusLabel;
extern HWND PercentLabel;
extern HWND ProgressBar;
extern UniqueFont BodyFont;
extern UniqueFont TitleFont;
extern UniqueFont SmallFont;
extern UniqueFont ButtonFont;
extern int ProgressPercent;

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

void RegisterMainWindowClass(HINSTANCE instance);

// The window, centred on the screen; its controls exist when this returns.
HWND CreateMainWindow(HINSTANCE instance);
