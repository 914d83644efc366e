#include "app/painting.h"

#include <iterator>
#include <string>

#include "app/layout.h"
#include "common/owners.h"

namespace {

constexpr COLORREF kClientBackground = RGB(246, 248, 247);
constexpr COLORREF kHeaderFill = RGB(20, 134, 96);
constexpr COLORREF kTitleText = RGB(255, 255, 255);
constexpr COLORREF kSubtitleText = RGB(220, 246, 236);
constexpr COLORREF kCardFill = RGB(255, 255, 255);
constexpr COLORREF kCardBorder = RGB(219, 229, 224);
constexpr COLORREF kLabelText = RGB(42, 67, 57);
constexpr COLORREF kEditFrameFill = RGB(250, 252, 251);
constexpr COLORREF kEditFrameBorder = RGB(218, 228, 223);
constexpr COLORREF kHintText = RGB(121, 91, 36);
constexpr COLORREF kProgressTrack = RGB(228, 238, 233);
constexpr COLORREF kProgressFill = RGB(28, 151, 108);
constexpr COLORREF kOwnerDrawnBackground = RGB(255, 255, 255);

constexpr wchar_t kSubtitle[] = L"自动下载最新版，安装完成后创建桌面快捷方式";
constexpr wchar_t kFieldLabel[] = L"安装位置";
constexpr wchar_t kHint[] = L"默认安装到 Vexa游戏盒子 专用目录";

constexpr UINT kLineLeft = DT_SINGLELINE | DT_VCENTER;
constexpr UINT kLineCentered = DT_SINGLELINE | DT_VCENTER | DT_CENTER;
constexpr UINT kLineRight = DT_SINGLELINE | DT_VCENTER | DT_RIGHT;

struct ButtonColors {
    COLORREF fill, fillPressed, border, text;
};
constexpr ButtonColors kChooseButton{RGB(236, 246, 241), RGB(223, 239, 232), RGB(183, 218, 202),
                                     RGB(28, 126, 92)};
constexpr ButtonColors kInstallButton{RGB(28, 145, 104), RGB(22, 122, 87), RGB(28, 145, 104),
                                      RGB(255, 255, 255)};
constexpr ButtonColors kDisabledButton{RGB(224, 228, 226), RGB(224, 228, 226), RGB(208, 216, 212),
                                       RGB(136, 148, 143)};

void FillSolid(HDC dc, const RECT& rect, COLORREF colour) {
    const UniqueGdi<HBRUSH> brush{CreateSolidBrush(colour)};
    FillRect(dc, &rect, brush.get());
}

void DrawLine(HDC dc, HFONT font, COLORREF colour, RECT rect, const wchar_t* text, UINT format) {
    const SelectedObject selected(dc, font);
    SetTextColor(dc, colour);
    DrawTextW(dc, text, -1, &rect, format);
}

// A rounded rectangle; without a border colour it is drawn with the stock null pen.
void DrawRounded(HDC dc, const RECT& rect, int corner, COLORREF fill, const COLORREF* border) {
    const UniqueGdi<HBRUSH> brush{CreateSolidBrush(fill)};
    const UniqueGdi<HPEN> pen{border ? CreatePen(PS_SOLID, 1, *border) : nullptr};
    const SelectedObject selectedBrush(dc, brush.get());
    const SelectedObject selectedPen(
        dc, pen ? static_cast<HGDIOBJ>(pen.get()) : GetStockObject(NULL_PEN));
    RoundRect(dc, rect.left, rect.top, rect.right, rect.bottom, corner, corner);
}

}  // namespace

UniqueGdi<HFONT> MakeFont(const FontSpec& font) {
    return UniqueGdi<HFONT>{CreateFontW(font.height, 0, 0, 0, font.weight, FALSE, FALSE, FALSE,
                                        DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                        CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Microsoft YaHei UI")};
}

void PaintMainWindow(HWND window, const MainWindowState& state) {
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    const int w = client.right;

    FillSolid(dc, client, kClientBackground);
    FillSolid(dc, kHeaderBand.In(w), kHeaderFill);
    SetBkMode(dc, TRANSPARENT);
    if (const HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kAppIconId))) {
        DrawIconEx(dc, kIconOrigin.x, kIconOrigin.y, icon, kIconSize, kIconSize, 0, nullptr,
                   DI_NORMAL);
    }
    DrawLine(dc, state.titleFont.get(), kTitleText, kTitleBand.In(w), kMainWindowTitle, kLineLeft);
    DrawLine(dc, state.smallFont.get(), kSubtitleText, kSubtitleBand.In(w), kSubtitle, kLineLeft);

    DrawRounded(dc, kCardBand.In(w), 10, kCardFill, &kCardBorder);
    DrawLine(dc, state.smallFont.get(), kLabelText, kFieldLabelRect, kFieldLabel, kLineLeft);
    DrawRounded(dc, kEditFrameBand.In(w), 7, kEditFrameFill, &kEditFrameBorder);
    DrawLine(dc, state.smallFont.get(), kHintText, kHintBand.In(w), kHint, kLineCentered);
    DrawRounded(dc, kTrackBand.In(w), kBarCorner, kProgressTrack, nullptr);

    EndPaint(window, &paint);
}

void DrawProgressControl(const DRAWITEMSTRUCT& item, const MainWindowState& state) {
    const int w = item.rcItem.right - item.rcItem.left;
    const int h = item.rcItem.bottom - item.rcItem.top;
    const Canvas& canvas = item.CtlID == kPercentId ? state.percentCanvas : state.barCanvas;
    const HDC dc = canvas.dc.get();

    FillSolid(dc, {0, 0, w, h}, kOwnerDrawnBackground);
    SetBkMode(dc, TRANSPARENT);
    if (item.CtlID == kPercentId) {
        const std::wstring text = std::to_wstring(state.progressPercent) + L"%";
        DrawLine(dc, state.bodyFont.get(), kLabelText, {0, 0, w, h}, text.c_str(), kLineRight);
    } else {
        DrawRounded(dc, {0, 0, w, h}, kBarCorner, kProgressTrack, nullptr);
        const int fill = MulDiv(w, state.progressPercent, 100);
        if (fill > 0) DrawRounded(dc, {0, 0, fill, h}, kBarCorner, kProgressFill, nullptr);
    }
    BitBlt(item.hDC, item.rcItem.left, item.rcItem.top, w, h, dc, 0, 0, SRCCOPY);
}

void DrawRoundButton(const DRAWITEMSTRUCT& item, const MainWindowState& state) {
    const ButtonColors& colours = (item.itemState & ODS_DISABLED) ? kDisabledButton
                                  : item.CtlID == kChooseId       ? kChooseButton
                                                                  : kInstallButton;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    DrawRounded(item.hDC, item.rcItem, 8, pressed ? colours.fillPressed : colours.fill,
                &colours.border);

    wchar_t text[64] = {};
    GetWindowTextW(item.hwndItem, text, static_cast<int>(std::size(text)));
    SetBkMode(item.hDC, TRANSPARENT);
    DrawLine(item.hDC, state.buttonFont.get(), colours.text, item.rcItem, text, kLineCentered);
}
