#include "install/messages.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The calls of one download, in turn: a percent is handed on when it is above the last one.
TEST(DownloadProgress, GivesSeventyPercentOfTheShareOncePerPercent) {
    const struct {
        std::uint64_t received, total;
        std::vector<int> posted;
    } cases[] = {{123456, 0, {}},  // no announced length: nothing
                 {0, 1000, {0}},
                 {14, 1000, {}},                              // 0 again
                 {35, 100, {24}},                             // 24.5 truncates
                 {3'000'000'000ull, 6'000'000'000ull, {35}},  // in 64 bits
                 {100, 100, {70}},
                 {20, 100, {}},      // started again from zero: held at 70
                 {130, 100, {91}},   // more than announced: above 70...
                 {150, 100, {100}},  // ...never above 100
                 {1ull << 40, 1, {}}};
    std::vector<int> posted;
    const ProgressFunction progress =
        DownloadProgress([&](int percent) { posted.push_back(percent); });
    for (const auto& c : cases) {
        progress(c.received, c.total);
        EXPECT_EQ(posted, c.posted) << c.received << " of " << c.total;
        posted.clear();
    }
}

// Posted without a window, the message goes to this thread's own queue.
TEST(PostStatus, HandsTheWindowACopy) {
    std::wstring text = L"正在连接服务器...";
    PostStatus(nullptr, text);
    text = L"changed";
    MSG message{};
    ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_APP_STATUS, WM_APP_STATUS, PM_REMOVE));
    EXPECT_EQ(*TakeStatusText(message.lParam), L"正在连接服务器...");
}

}  // namespace
