#pragma once
// The installer's one window: its class, controls, fonts and window procedure.

#include <windows.h>

#include "common/owners.h"

inline constexpr UINT_PTR CLOSE_TIMER_ID = 1;
inline constexpr wchar_t kMainWindowTitle[] = L"Vexa盒子安装器";

// The window's fonts, made when it creates its controls and deleted when it is destroyed; used
// on the window thread only, by the window and its painting.
extern UniqueGdi<HFONT> BodyFont;
extern UniqueGdi<HFONT> TitleFont;
extern UniqueGdi<HFONT> SmallFont;
extern UniqueGdi<HFONT> ButtonFont;
// What the percent label and the progress bar show.
extern int ProgressPercent;

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

void RegisterMainWindowClass(HINSTANCE instance);

// The window, centred on the screen; its controls exist when this returns.
HWND CreateMainWindow(HINSTANCE instance);
