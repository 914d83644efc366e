#include "install/download_status.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <vector>

#include "support/test_server.h"

using namespace std::chrono_literals;

namespace {

constexpr std::uint64_t kMiB = 1 << 20;

TEST(DownloadStatusText, GivesSizesAndTheTimeLeftInTheirUnits) {
    const struct {
        std::uint64_t held, total;
        std::optional<std::uint64_t> minutes;
        std::wstring text;
    } cases[] = {
        {12 * kMiB + kMiB / 3, 256 * kMiB, 3,
         L"正在下载安装包... 12.3 MB / 256.0 MB，剩余约 3 分钟"},
        {0, 1000, std::nullopt, L"正在下载安装包... 0.0 MB / 0.0 MB"},
        {kMiB * 999 + kMiB * 9 / 10, 1000 * kMiB, 0,
         L"正在下载安装包... 999.9 MB / 1.0 GB，剩余不到 1 分钟"},
        {1288 * kMiB, 2560 * kMiB, 99, L"正在下载安装包... 1.3 GB / 2.5 GB，剩余约 99 分钟"},
        {kMiB, 2 * kMiB, 100, L"正在下载安装包... 1.0 MB / 2.0 MB，剩余约 2 小时"},
        {kMiB, 2 * kMiB, 59940, L"正在下载安装包... 1.0 MB / 2.0 MB，剩余约 999 小时"},
        {kMiB, 2 * kMiB, 59941, L"正在下载安装包... 1.0 MB / 2.0 MB"},  // no line can promise it
        {12 * kMiB + kMiB / 3, 0, 3, L"正在下载安装包... 12.3 MB"},     // no length announced
    };
    for (const auto& c : cases)
        EXPECT_EQ(DownloadStatusText(c.held, c.total, c.minutes), c.text) << Narrow(c.text);
}

// Samples once a second at the rates given, from a made-up clock; the minutes left after each.
std::vector<std::optional<std::uint64_t>> Estimate(const std::vector<std::uint64_t>& perSecond,
                                                   std::uint64_t total) {
    DownloadEstimate estimate;
    std::vector<std::optional<std::uint64_t>> minutes;
    std::uint64_t held = 0;
    for (size_t second = 0; second < perSecond.size(); ++second) {
        held += perSecond[second];
        AddSample(estimate, held, std::chrono::milliseconds(1000 * second));
        minutes.push_back(MinutesLeft(estimate, total));
    }
    return minutes;
}

// A smoothed rate: nothing before 3 s of bytes, minutes that never go up under a steady rate
// (a little noise included), the new rate within 20 s after it halves, and a stall that counts
// until the bytes have flowed again for a while.
TEST(DownloadEstimate, StaysSteadyAndFollowsARealChangeOfRate) {
    const std::uint64_t kRate = 200 << 10;   // 200 KiB/s
    const std::uint64_t total = 256 * kMiB;  // about 21 minutes at that rate
    const auto steady = [&](size_t seconds, std::uint64_t rate, bool noise = false) {
        std::vector<std::uint64_t> rates;
        for (size_t i = 0; i < seconds; ++i)
            rates.push_back(noise ? rate + (i % 3 == 0 ? rate / 25 : 0) - rate / 50 : rate);
        return rates;
    };

    std::vector<std::optional<std::uint64_t>> minutes = Estimate(steady(60, kRate, true), total);
    for (size_t s = 0; s < 3; ++s)
        EXPECT_FALSE(minutes[s]) << s;
    ASSERT_TRUE(minutes[3]);
    EXPECT_EQ(*minutes[3], 22u);
    for (size_t s = 4; s < minutes.size(); ++s)
        EXPECT_LE(minutes[s], minutes[s - 1]) << s;
    EXPECT_EQ(*minutes.back(), 21u);
    EXPECT_EQ(Estimate(steady(5, kRate), 40 * kRate)[4], 0u);  // 35 s: under a minute

    // Halved after 30 s: at the new rate, 256 MiB less 6 MiB take 41 minutes.
    std::vector<std::uint64_t> halving = steady(30, kRate);
    for (const std::uint64_t rate : steady(40, kRate / 2))
        halving.push_back(rate);
    minutes = Estimate(halving, total);
    for (size_t s = 30 + 20; s < minutes.size(); ++s) {
        const double left = (total - 30 * kRate - (s - 29) * kRate / 2) / (kRate / 2.0) / 60;
        EXPECT_NEAR(static_cast<double>(*minutes[s]), left, 1.0) << s;
    }

    // Stalled for 30 s after 20 s, then steady again: slower meanwhile, and back within 20 s.
    std::vector<std::uint64_t> stall = steady(20, kRate);
    for (int i = 0; i < 30; ++i)
        stall.push_back(0);
    for (const std::uint64_t rate : steady(30, kRate))
        stall.push_back(rate);
    minutes = Estimate(stall, total);
    EXPECT_GT(*minutes[50], *minutes[19]);
    EXPECT_EQ(*minutes[70], std::ceil((total - 41.0 * kRate) / kRate / 60));  // 41 s of bytes

    // A break that is waited out begins the estimate afresh.
    DownloadEstimate estimate;
    AddSample(estimate, 0, 0ms);
    AddSample(estimate, 4 * kRate, 4000ms);
    EXPECT_TRUE(MinutesLeft(estimate, total));
    RestartEstimate(estimate);
    AddSample(estimate, 4 * kRate, 20000ms);
    AddSample(estimate, 6 * kRate, 22000ms);
    EXPECT_FALSE(MinutesLeft(estimate, total));
}

}  // namespace
