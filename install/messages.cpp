#include "install/messages.h"

#include <algorithm>
#include <cstdint>

std::atomic<bool> InstallRunning{false};
std::atomic<bool> InstallCompleted{false};

void PostStatus(HWND window, std::wstring_view text) {
    auto posted = std::make_unique<std::wstring>(text);
    if (PostMessageW(window, WM_APP_STATUS, 0, reinterpret_cast<LPARAM>(posted.get()))) {
        posted.release();  // the window owns it now
    }
}

void PostProgress(HWND window, int percent) {
    PostMessageW(window, WM_APP_PROGRESS, static_cast<WPARAM>(percent), 0);
}

ProgressFunction DownloadProgress(std::function<void(int percent)> post) {
    // Only a higher percent is posted: one message per read would keep the window's queue so
    // full that it never came round to painting the bar.
    return
        [post = std::move(post), posted = -1](std::uint64_t received, std::uint64_t total) mutable {
            if (total == 0) return;
            // Clamped before narrowing: a server that sends far more than it announced must not
            // wrap the percent around to a small number.
            const auto percent = static_cast<int>(
                std::min<std::uint64_t>(received * kProgressDownloaded / total, kProgressDone));
            if (percent <= posted) return;
            posted = percent;
            post(percent);
        };
}
