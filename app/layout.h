#pragma once
// The installer window's names and geometry, written once for window creation, painting and
// the tests: control ids, and rectangles in client pixels (left, top, right, bottom).

#include <windows.h>

inline constexpr wchar_t kMainWindowClass[] = L"BoxVexaDownloaderWindow";
inline constexpr int kAppIconId = 101;

inline constexpr int kInstallDirId = 1001;
inline constexpr int kChooseId = 1002;
inline constexpr int kInstallId = 1003;
inline constexpr int kProgressId = 1004;
inline constexpr int kStatusId = 1005;
inline constexpr int kPercentId = 1006;

// The client area the layout is drawn for: what Windows 10's frame leaves of a window of
// 620 x 430. The window is made from it, so that the layout holds on any frame.
inline constexpr int kClientWidth = 604;
inline constexpr int kClientHeight = 391;

// The window's fonts, all Microsoft YaHei UI: cell height and weight.
struct FontSpec {
    int height, weight;
};
inline constexpr FontSpec kBodyFont{17, FW_NORMAL};  // the controls, the status line among them
inline constexpr FontSpec kTitleFont{28, FW_BOLD};
inline constexpr FontSpec kSmallFont{15, FW_NORMAL};
inline constexpr FontSpec kButtonFont{17, FW_BOLD};

inline constexpr RECT kInstallDirRect{86, 183, 436, 211};
inline constexpr RECT kChooseRect{452, 180, 534, 212};
inline constexpr RECT kInstallRect{204, 268, 416, 312};
inline constexpr RECT kStatusRect{72, 328, 462, 352};
inline constexpr RECT kPercentRect{470, 328, 548, 352};
inline constexpr RECT kProgressRect{72, 356, 532, 368};

// A painted band that reaches across the client area and ends rightMargin pixels before its
// right edge.
struct Band {
    int left, top, rightMargin, bottom;
    RECT In(int clientWidth) const { return {left, top, clientWidth - rightMargin, bottom}; }
};

inline constexpr Band kHeaderBand{0, 0, 0, 108};
inline constexpr POINT kIconOrigin{34, 28};
inline constexpr int kIconSize = 36;
inline constexpr Band kTitleBand{82, 22, 34, 58};
inline constexpr Band kSubtitleBand{84, 58, 34, 86};
inline constexpr Band kCardBand{42, 120, 42, 382};
inline constexpr RECT kFieldLabelRect{72, 144, 240, 170};
// The frame around the borderless edit box and the choose button.
inline constexpr Band kEditFrameBand{72, 176, 72, 216};
inline constexpr Band kHintBand{72, 228, 72, 254};
// The track behind the progress bar, on its row.
inline constexpr Band kTrackBand{kProgressRect.left, kProgressRect.top, kProgressRect.left,
                                 kProgressRect.bottom};
// The corner ellipse of the bar and its track: how far a rounded end reaches into them.
inline constexpr int kBarCorner = 6;
