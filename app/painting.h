#pragma once
// The window's own look: header band, card, edit frame, progress bar and round buttons.

#include <windows.h>

void PaintMainWindow(HWND window);
// The progress bar and the percent label, drawn off-screen and copied in one piece.
void DrawProgressControl(const DRAWITEMSTRUCT& item);
void DrawRoundButton(const DRAWITEMSTRUCT& item);
