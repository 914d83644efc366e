// The package's download seen through the real installer: kept for the next run when the
// window closes, picked up there, verified whole when it was picked up, and everything through
// the user's proxy.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "app/layout.h"
#include "e2e/installer_fixture.h"
#include "install/download_status.h"

namespace {

const std::string kETag = R"(, "etag": "\"e2e\"")";

bool Has(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Closing the window during the download ends the process at once; the next run asks only for
// the bytes after those the first one left, and completes. The server holds the body halfway
// until the window is closed.
TEST_F(Installer, ClosingTheWindowDuringADownloadKeepsItForTheNextRun) {
    const fs::path partial = kTemp / L"client-top.zip.partial";
    ServePackage("client-top.zip", kETag + HeldAfter(40000));
    {
        auto installer = Start();
        installer->Click(kInstallId);
        ASSERT_TRUE(WaitUntil([&] { return LastProgress(installer->Trace()) > 0; }, 20s));
        PostMessageW(installer->Window(), WM_CLOSE, 0, 0);
        EXPECT_EQ(installer->WaitForExit(3s), 0);
        ReleaseHold(HoldName());
    }
    EXPECT_FALSE(fs::exists(InstallDir()));
    const auto held = fs::file_size(partial);
    ASSERT_GT(held, 0u);

    ServePackage("client-top.zip", kETag);
    auto installer = Start();  // the second run
    installer->Click(kInstallId);
    ASSERT_TRUE(installer->WaitForLine(L"finished", 20s));
    const auto requests = RequestHeads(base_ + "files/");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(Has(requests[1], "Range: bytes=" + std::to_string(held) + "-"));
    EXPECT_TRUE(Has(requests[1], "If-Range: \"e2e\""));
    EXPECT_FALSE(fs::exists(partial));
    EXPECT_TRUE(WaitUntil([&] { return ClientStarted(); }, 10s));
}

// Through the user's fixed proxy in Internet Options: the configuration over HTTPS in a tunnel,
// the settings and the package as absolute requests, and nothing else.
TEST_F(Installer, InstallsThroughTheUsersProxy) {
    ServePackage("client-top.zip");
    const Finally restored = SetInternetOptions(0x2, "127.0.0.2:" + std::to_string(kTestProxyPort));
    const size_t before = ProxyHeads().size();
    auto installer = Start();
    installer->Click(kInstallId);
    ASSERT_TRUE(installer->WaitForLine(L"finished", 30s));
    std::vector<std::string> requests;
    const auto heads = ProxyHeads();
    for (size_t i = before; i < heads.size(); ++i)
        requests.push_back(heads[i].at(0));
    EXPECT_EQ(requests, (std::vector<std::string>{
                            "CONNECT localhost:" + std::to_string(kTestHttpsPort) + " HTTP/1.1",
                            "GET " + kHttp + base_ + "api/setting HTTP/1.1",
                            "GET " + PackageUrl("client-top.zip") + " HTTP/1.1"}));
    EXPECT_TRUE(WaitUntil([&] { return ClientStarted(); }, 10s));
}

}  // namespace

namespace {

// Milliseconds since midnight of a log line's time stamp ("2026-12-08 08:36:43.961 ...").
long StampOf(const std::wstring& line) {
    return ((std::stol(line.substr(11, 2)) * 60 + std::stol(line.substr(14, 2))) * 60 +
            std::stol(line.substr(17, 2))) *
               1000 +
           std::stol(line.substr(20, 3));
}

// On a slow line (3 MiB at about 200 KB/s) the status line tells how much of how much has
// arrived and, after its first 3 s, about how long the rest takes: the texts in order, their
// figures never going down, at most one a second.
TEST_F(Installer, TellsTheSizeAndTheTimeLeftOnASlowLine) {
    ServePackage("client-large.zip", R"(, "chunk_delay_ms": 5)");
    const std::wstring total =
        L" / " + SizeText(fs::file_size(BuildPath("tools/packages/client-large.zip")));
    auto installer = Start();
    installer->Click(kInstallId);
    ASSERT_TRUE(installer->WaitForLine(L"finished", 120s));
    const std::wstring prefix = L"status 正在下载安装包... ";
    std::vector<std::wstring> texts;
    for (const std::wstring& line : installer->Trace())
        if (line.starts_with(prefix)) texts.push_back(line.substr(prefix.size()));
    ASSERT_GE(texts.size(), 5u);
    double before = 0;
    for (const std::wstring& text : texts) {
        EXPECT_EQ(text.substr(text.find(L" / "), total.size()), total) << Narrow(text);
        const double held = std::stod(text.substr(0, text.find(L" MB")));
        EXPECT_GE(held, before) << Narrow(text);
        before = held;
    }
    EXPECT_EQ(texts.front().find(L"剩余"), std::wstring::npos) << "no time before 3 s";
    EXPECT_TRUE(texts.back().ends_with(L"，剩余不到 1 分钟")) << Narrow(texts.back());
    long last = -1;
    for (const std::wstring& line : LastRunLog(true)) {
        if (line.find(prefix) == std::wstring::npos) continue;
        if (last >= 0) {
            EXPECT_GE(StampOf(line) - last, 990) << Narrow(line);
        }
        last = StampOf(line);
    }
}

}  // namespace
