// The package's download seen through the real installer: kept for the next run when the
// window closes, picked up there, verified whole when it was picked up, and everything through
// the user's proxy.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "app/layout.h"
#include "e2e/installer_fixture.h"

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
    ServePackage("client-top.zip", kETag + HeldAfter(100000));
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

// With a key pinned, a package that was picked up after a break is verified whole: the same
// package goes on to completion, one whose second half changed meanwhile is refused, and
// nothing of it is kept.
TEST_F(Installer, APickedUpPackageIsVerifiedWhole) {
    const std::string package = "signing/client-publisher.zip";
    const std::string half = ", \"send\": " + std::to_string(fs::file_size(BuildPath(package)) / 2);
    const std::string signature = ReadWholeFile(BuildPath(package + ".sig"));
    const struct {
        std::string rest;  // the file whose second half the request for the rest gets
        bool verifies;
    } cases[] = {{package, true}, {"signing/package-changed.zip", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rest);
        const std::string row = name_ + (c.verifies ? "-same" : "-changed");
        UseBackEnd(row);
        UseInstallRoot(row);
        ServePackage(package, "", signature);
        SetRoute(base_ + "files/" + package,
                 "[" + BodyFile(package) + kETag + half + "}, " + BodyFile(c.rest) + kETag + "}]");
        auto installer = Start({}, BuildPath("tests/pinned/VexaBoxInstaller.exe"));
        installer->Click(kInstallId);
        ASSERT_TRUE(installer->WaitForLine(c.verifies ? L"finished" : L"button 立即安装", 30s));
        EXPECT_EQ(installer->Text(kStatusId),
                  c.verifies ? L"安装完成" : L"安装失败：安装包签名校验失败");
        EXPECT_EQ(installer->WaitForExit(c.verifies ? 10s : 0s), c.verifies ? 0 : -1);
        EXPECT_TRUE(installer->WaitForLine(L"status 网络中断，正在重新连接...", 0ms));
        EXPECT_EQ(RequestCount(base_ + "files/"), 2);
        EXPECT_FALSE(fs::exists(kTemp / L"client-publisher.zip.partial"));
        EXPECT_FALSE(fs::exists(kTemp / L"client-publisher.zip"));
        EXPECT_EQ(fs::exists(InstallDir()), c.verifies);
    }
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
