#include "install/messages.h"

#include <gtest/gtest.h>

#include "support/status_window.h"

namespace {

// The calls of one download, in turn: a percent is posted when it is above the last one.
TEST(ProgressCallback, PostsSeventyPercentOfTheShareOncePerPercent) {
    const struct {
        std::uint64_t received, total;
        std::vector<WPARAM> posted;
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
    StatusWindow window;
    const ProgressFunction progress = ProgressCallback(window.Handle());
    for (const auto& c : cases) {
        progress(c.received, c.total);
        std::vector<WPARAM> posted;
        for (const Posted& message : window.TakeMessages()) {
            EXPECT_EQ(message.message, WM_APP_PROGRESS);
            posted.push_back(message.wParam);
        }
        EXPECT_EQ(posted, c.posted) << c.received << " of " << c.total;
    }
}

TEST(PostStatus, HandsTheWindowACopy) {
    StatusWindow window;
    std::wstring text = L"正在连接服务器...";
    PostStatus(window.Handle(), text);
    text = L"changed";
    EXPECT_EQ(window.TakeStatusTexts(), std::vector<std::wstring>{L"正在连接服务器..."});
}

}  // namespace
