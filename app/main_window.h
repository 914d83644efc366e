#pragma once
// The installer's one window: its class, its state, its controls and its window procedure.

#include <windows.h>

#include "common/owners.h"

inline constexpr UINT_PTR kCloseTimerId = 1;
inline constexpr wchar_t kMainWindowTitle[] = L"Vexa盒子安装器";

// An off-screen picture of one owner-drawn control, made once with the window: the percent
// label and the bar are drawn on every step of a download, and under Wine a new memory device
// context and bitmap cost about a millisecond each time.
struct Canvas {
    UniqueGdi<HBITMAP> bitmap;
    UniqueMemoryDc dc;  // holds the bitmap selected; deleted first
};

// All the window keeps: its controls, the GDI objects it made, and what the bar shows.
// The window procedure makes it on WM_NCCREATE, reaches it through the window handle and frees
// it on WM_NCDESTROY; only the window's thread touches it.
struct MainWindowState {
    HWND installDirEdit = nullptr;
    HWND chooseButton = nullptr;
    HWND installButton = nullptr;
    HWND statusLabel = nullptr;
    HWND percentLabel = nullptr;
    HWND progressBar = nullptr;
    UniqueGdi<HFONT> bodyFont;
    UniqueGdi<HFONT> titleFont;
    UniqueGdi<HFONT> smallFont;
    UniqueGdi<HFONT> buttonFont;
    UniqueGdi<HBRUSH> controlBackground;  // behind the edit box's and the status line's text
    Canvas percentCanvas;
    Canvas barCanvas;
    int progressPercent = 0;  // what the percent label and the progress bar show
};

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

bool RegisterMainWindowClass(HINSTANCE instance);

// The window, centred on the screen, with its controls; null when it or a control could not be
// made.
HWND CreateMainWindow(HINSTANCE instance);
