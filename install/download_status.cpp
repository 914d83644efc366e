#include "install/download_status.h"

#include <cmath>
#include <cwchar>

namespace {

constexpr double kMebibyte = 1048576.0;
constexpr double kGibibyte = 1073741824.0;
constexpr std::uint64_t kMostMinutes = 99;
constexpr std::uint64_t kMostHours = 999;
// How much longer than the figure shown the rest must look before the figure rises: the rate of
// a steady line wanders by a few percent from one window to the next.
constexpr double kRise = 1.1;

std::wstring OneDecimal(double value, const wchar_t* unit) {
    wchar_t text[32];
    swprintf(text, 32, L"%.1f %ls", std::floor(value * 10 + 0.5) / 10, unit);
    return text;
}

}  // namespace

std::wstring SizeText(std::uint64_t bytes) {
    const double mebibytes = std::floor(static_cast<double>(bytes) / kMebibyte * 10 + 0.5) / 10;
    if (mebibytes < 1000) return OneDecimal(mebibytes, L"MB");
    return OneDecimal(static_cast<double>(bytes) / kGibibyte, L"GB");
}

std::wstring TimeLeftText(std::uint64_t minutesLeft) {
    if (minutesLeft < 1) return L"剩余不到 1 分钟";
    if (minutesLeft <= kMostMinutes) return L"剩余约 " + std::to_wstring(minutesLeft) + L" 分钟";
    const std::uint64_t hours = (minutesLeft + 59) / 60;
    if (hours > kMostHours) return {};
    return L"剩余约 " + std::to_wstring(hours) + L" 小时";
}

std::wstring DownloadStatusText(std::uint64_t held, std::uint64_t total,
                                std::optional<std::uint64_t> minutesLeft) {
    std::wstring text = std::wstring(kTextDownloading) + L" " + SizeText(held);
    if (total == 0) return text;
    text += L" / " + SizeText(total);
    const std::wstring left = minutesLeft ? TimeLeftText(*minutesLeft) : L"";
    if (!left.empty()) text += L"，" + left;
    return text;
}

void AddSample(DownloadEstimate& estimate, std::uint64_t held, std::chrono::milliseconds at) {
    auto& samples = estimate.samples;
    if (!samples.empty() && held < samples.back().held) RestartEstimate(estimate);
    samples.push_back({held, at});
    // The oldest kept is the last one at least a window old, so that the window is always full.
    while (samples.size() > 2 && at - samples[1].at >= DownloadEstimate::kRateWindow)
        samples.pop_front();
}

void RestartEstimate(DownloadEstimate& estimate) {
    estimate.samples.clear();
    estimate.shown.reset();
}

std::optional<std::uint64_t> MinutesLeft(DownloadEstimate& estimate, std::uint64_t total) {
    const auto& samples = estimate.samples;
    if (total == 0 || samples.size() < 2) return std::nullopt;
    const auto& first = samples.front();
    const auto& last = samples.back();
    const auto flowed = last.at - first.at;
    if (flowed < DownloadEstimate::kFirstEstimate || last.held <= first.held) return std::nullopt;
    const double rate =
        static_cast<double>(last.held - first.held) / std::chrono::duration<double>(flowed).count();
    const double seconds = total > last.held ? static_cast<double>(total - last.held) / rate : 0;
    // Under a minute is a figure of its own: 0.
    auto minutes = seconds < 60 ? 0 : static_cast<std::uint64_t>(std::ceil(seconds / 60));
    if (estimate.shown && minutes > *estimate.shown &&
        seconds <= static_cast<double>(*estimate.shown) * 60 * kRise) {
        minutes = *estimate.shown;
    }
    estimate.shown = minutes;
    return minutes;
}
