#pragma once
// The contract between the install worker and the window: the two flags both see, the four
// messages the worker side posts to the window, and the helpers that post them.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

inline constexpr UINT WM_APP_STATUS = WM_APP + 1;    // lParam: std::wstring*, the window frees it
inline constexpr UINT WM_APP_PROGRESS = WM_APP + 2;  // wParam: percent 0..100
inline constexpr UINT WM_APP_BUSY = WM_APP + 3;      // wParam: 1 when a run starts, 0 when it ends
inline constexpr UINT WM_APP_FINISHED = WM_APP + 4;  // success: the window closes one second later

// Written by the worker (and by the window when it starts a run), read by the window.
extern std::atomic<bool> InstallRunning;
extern std::atomic<bool> InstallCompleted;

// Posts a copy of the text as WM_APP_STATUS to the window.
void PostStatus(HWND window, std::wstring_view text);

// Posts the percent as WM_APP_PROGRESS to the window.
void PostProgress(HWND window, int percent);

// Takes ownership of the text carried by a WM_APP_STATUS message.
inline std::unique_ptr<std::wstring> TakeStatusText(LPARAM lParam) {
    return std::unique_ptr<std::wstring>(reinterpret_cast<std::wstring*>(lParam));
}

// The progress bar's marks: the download moves it from 0 up to kProgressDownloaded, the worker
// posts the others as it passes them.
inline constexpr int kProgressDownloaded = 70;
inline constexpr int kProgressSaved = 75;
inline constexpr int kProgressUnpacked = 90;
inline constexpr int kProgressDone = 100;

// Called as a download goes on with the bytes held so far and the whole length (0: unknown).
using ProgressFunction = std::function<void(std::uint64_t received, std::uint64_t total)>;

// Download progress as percents of the bar, for one download: received * kProgressDownloaded /
// total percent, at most kProgressDone, handed to `post` only when it is above the last percent
// it was given, so that the bar never moves back (a download that starts again from zero holds
// it until it passes); nothing when the total is unknown (0).
ProgressFunction DownloadProgress(std::function<void(int percent)> post);
