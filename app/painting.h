#pragma once
// The window's own look: header band, card, edit frame, progress bar and round buttons.

#include <windows.h>

#include "app/layout.h"
#include "app/main_window.h"

// One of the window's fonts (layout.h).
UniqueGdi<HFONT> MakeFont(const FontSpec& font);

void PaintMainWindow(HWND window, const MainWindowState& state);
// The progress bar and the percent label, drawn off-screen and copied in one piece.
void DrawProgressControl(const DRAWITEMSTRUCT& item, const MainWindowState& state);
void DrawRoundButton(const DRAWITEMSTRUCT& item, const MainWindowState& state);
