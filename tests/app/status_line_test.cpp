#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/layout.h"
#include "app/painting.h"
#include "install/download_status.h"
#include "support/test_server.h"

namespace {

constexpr std::uint64_t kMiB = 1 << 20;

// Every text the status line shows while the package downloads fits it at the window's own
// font, on one line: the label breaks a longer text at a space and cuts off the rest.
TEST(StatusLine, HoldsTheLongestDownloadTextsOnOneLine) {
    const std::wstring texts[] = {
        L"正在下载安装包... 9999.9 MB / 9999.9 MB，剩余约 99 分钟",
        DownloadStatusText(999 * kMiB, 1000 * kMiB, 99),
        DownloadStatusText(999 * kMiB, 9999 * 1024 * kMiB, 999 * 60),
        DownloadStatusText(9999 * 1024 * kMiB, 9999 * 1024 * kMiB, 0),
        L"网络中断，正在重新连接...",
    };
    const UniqueGdi<HFONT> font = MakeFont(kBodyFont);
    const WindowDc screen(nullptr);
    const SelectedObject selected(screen.get(), font.get());
    const int width = kStatusRect.right - kStatusRect.left;
    const int height = kStatusRect.bottom - kStatusRect.top;
    for (const std::wstring& text : texts) {
        RECT single{0, 0, width, height};
        DrawTextW(screen.get(), text.c_str(), -1, &single, DT_CALCRECT | DT_SINGLELINE);
        RECT broken{0, 0, width, height};
        DrawTextW(screen.get(), text.c_str(), -1, &broken, DT_CALCRECT | DT_WORDBREAK);
        EXPECT_LE(single.right, width) << Narrow(text);
        EXPECT_EQ(broken.bottom, single.bottom) << Narrow(text);
        EXPECT_LE(single.bottom, height) << Narrow(text);
    }
}

}  // namespace
