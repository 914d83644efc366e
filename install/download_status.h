#pragma once
// What the status line says while the package downloads: how much has arrived of how much, and,
// once a rate is known, about how long the rest takes. The estimate is a pure function of
// (bytes, time) samples.

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

// The download's own text, with which every line of it begins.
inline constexpr wchar_t kTextDownloading[] = L"正在下载安装包...";

// The download's line: "正在下载安装包... 12.3 MB / 256.0 MB，剩余约 3 分钟"; without a length
// "正在下载安装包... 12.3 MB"; the time left left out while unknown (minutesLeft empty).
std::wstring DownloadStatusText(std::uint64_t held, std::uint64_t total,
                                std::optional<std::uint64_t> minutesLeft);

// A size with one decimal (1 MB is 1,048,576 bytes): "12.3 MB", from 1,000 MB on "1.2 GB".
std::wstring SizeText(std::uint64_t bytes);

// "剩余不到 1 分钟" under a minute, "剩余约 N 分钟" up to 99, "剩余约 N 小时" beyond (N rounded
// up); empty beyond 999 hours, which no line can promise.
std::wstring TimeLeftText(std::uint64_t minutesLeft);

// The rate behind the time left: the bytes of the last kRateWindow, since bytes last began to
// flow.
struct DownloadEstimate {
    static constexpr std::chrono::milliseconds kRateWindow{10000};
    static constexpr std::chrono::milliseconds kFirstEstimate{3000};
    struct Sample {
        std::uint64_t held;
        std::chrono::milliseconds at;
    };
    std::deque<Sample> samples;          // oldest first, the first as bytes began to flow
    std::optional<std::uint64_t> shown;  // the minutes last given
};

// Adds a sample: the bytes held at that time (measured from any fixed point). A sample with
// fewer bytes than the one before (a download that starts again) begins the estimate afresh.
void AddSample(DownloadEstimate& estimate, std::uint64_t held, std::chrono::milliseconds at);

// Forgets every sample: bytes stopped flowing (a break that is waited out).
void RestartEstimate(DownloadEstimate& estimate);

// The minutes left of the total, rounded up (0 under a minute), once bytes have flowed for
// kFirstEstimate; empty before, or without a rate or a total. Under a steady rate it never goes
// up: it rises above what it last gave only when the rest would take a tenth longer than that.
std::optional<std::uint64_t> MinutesLeft(DownloadEstimate& estimate, std::uint64_t total);
