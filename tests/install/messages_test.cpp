#include "install/messages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

// Counts the blocks this program has allocated and not yet freed, to see that a status text
// whose post fails is freed.
namespace {
std::atomic<long> live_blocks{0};
}
void* operator new(size_t size) {
    if (void* block = std::malloc(size ? size : 1)) {
        ++live_blocks;
        return block;
    }
    throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
    if (block) {
        --live_blocks;
        std::free(block);
    }
}
void operator delete(void* block, size_t) noexcept {
    operator delete(block);
}

namespace {

// A real window that is never shown; the tests read what was posted to it.
class HiddenWindow : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSW window_class{};
        window_class.lpfnWndProc = DefWindowProcW;
        window_class.hInstance = GetModuleHandleW(nullptr);
        window_class.lpszClassName = L"VexaMessagesTest";
        RegisterClassW(&window_class);
        window_ = CreateWindowExW(0, L"VexaMessagesTest", L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(window_, nullptr);
        MainWindow = window_;
    }
    void TearDown() override {
        DrainMessages();
        DestroyWindow(window_);
        MainWindow = nullptr;
    }

    std::vector<MSG> DrainMessages() {
        std::vector<MSG> messages;
        MSG msg;
        while (PeekMessageW(&msg, window_, WM_APP_STATUS, WM_APP_FINISHED, PM_REMOVE)) {
            if (msg.message == WM_APP_STATUS) TakeStatusText(msg.lParam);
            messages.push_back(msg);
        }
        return messages;
    }

    std::vector<int> PostedPercents() {
        std::vector<int> percents;
        for (const MSG& msg : DrainMessages()) {
            EXPECT_EQ(msg.message, WM_APP_PROGRESS);
            EXPECT_EQ(msg.lParam, 0);
            percents.push_back(static_cast<int>(msg.wParam));
        }
        return percents;
    }

    HWND window_ = nullptr;
};

TEST_F(HiddenWindow, ProgressCallbackPostsSeventyPercentOfTheShare) {
    const struct {
        std::uint64_t received, total;
        std::vector<int> posted;
    } cases[] = {
        {0, 0, {}},  // no announced length: nothing
        {123456, 0, {}},
        {0, 1000, {0}},
        {35, 100, {24}},  // 24.5 truncates
        {100, 100, {70}},
        {1000, 1000, {70}},
        // 64-bit arithmetic: 3 GB of 6 GB, and 5 GiB of 7 GiB.
        {3'000'000'000ull, 6'000'000'000ull, {35}},
        {5ull << 30, 7ull << 30, {50}},
        // More than announced: above 70, never above 100.
        {150, 100, {100}},
        {130, 100, {91}},
        {1ull << 40, 1, {100}},
    };
    for (const auto& c : cases) {
        ProgressCallback(c.received, c.total);
        EXPECT_EQ(PostedPercents(), c.posted) << c.received << " of " << c.total;
    }
}

TEST_F(HiddenWindow, PostStatusHandsTheWindowItsOwnCopy) {
    std::wstring text = L"正在连接服务器...";
    PostStatus(text);
    text = L"changed";
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, window_, WM_APP_STATUS, WM_APP_STATUS, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 0u);
    const auto posted = TakeStatusText(msg.lParam);
    ASSERT_NE(posted, nullptr);
    EXPECT_EQ(*posted, L"正在连接服务器...");
}

TEST_F(HiddenWindow, PostStatusFreesTheTextWhenThePostFails) {
    HWND gone = CreateWindowExW(0, L"VexaMessagesTest", L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
    DestroyWindow(gone);
    MainWindow = gone;
    const std::wstring text(200, L'长');  // too long for the small-string buffer
    const long before = live_blocks;
    PostStatus(text);
    EXPECT_EQ(live_blocks, before);
    MainWindow = window_;
}

}  // namespace
