#include "install/messages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "support/status_window.h"

// Counts the blocks this program has allocated and not yet freed, to see that a status text
// whose post fails is freed.
namespace {
std::atomic<long> liveBlocks{0};
}
void* operator new(size_t size) {
    if (void* block = std::malloc(size ? size : 1)) {
        ++liveBlocks;
        return block;
    }
    throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
    if (block) --liveBlocks;
    std::free(block);
}
void operator delete(void* block, size_t) noexcept {
    operator delete(block);
}

namespace {

TEST(ProgressCallback, PostsSeventyPercentOfTheShare) {
    const struct {
        std::uint64_t received, total;
        std::vector<WPARAM> posted;
    } cases[] = {
        {123456, 0, {}},                          // no announced length: nothing
        {0, 1000, {0}},         {35, 100, {24}},  // 24.5 truncates
        {100, 100, {70}},       {3'000'000'000ull, 6'000'000'000ull, {35}},  // in 64 bits
        {130, 100, {91}},   // more than announced: above 70...
        {150, 100, {100}},  // ...never above 100
        {1ull << 40, 1, {100}},
    };
    StatusWindow window;
    for (const auto& c : cases) {
        ProgressCallback(c.received, c.total);
        std::vector<WPARAM> posted;
        for (const Posted& message : window.TakeMessages()) {
            EXPECT_EQ(message.message, WM_APP_PROGRESS);
            posted.push_back(message.wParam);
        }
        EXPECT_EQ(posted, c.posted) << c.received << " of " << c.total;
    }
}

TEST(PostStatus, HandsTheWindowACopyThatItFreesWhenThePostFails) {
    HWND gone = nullptr;
    {
        StatusWindow window;
        std::wstring text = L"正在连接服务器...";
        PostStatus(text);
        text = L"changed";
        EXPECT_EQ(window.TakeStatusTexts(), std::vector<std::wstring>{L"正在连接服务器..."});
        gone = MainWindow;
    }
    MainWindow = gone;  // destroyed: every post to it fails
    const long before = liveBlocks;
    PostStatus(std::wstring(200, L'长'));  // too long for the small-string buffer
    EXPECT_EQ(liveBlocks, before);
    MainWindow = nullptr;
}

}  // namespace
