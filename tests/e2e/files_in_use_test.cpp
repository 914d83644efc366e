// Never a half install: a client still running stops a run before it changes anything, a
// scanner's lock is waited out or ends the run, and the client checked is the client started.

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "app/layout.h"
#include "e2e/installer_fixture.h"

namespace {

constexpr wchar_t kInUse[] = L"安装失败：Vexa盒子正在运行，请先退出";

class FilesInUse : public Installer {
public:
    // An earlier install: the client and a file of its data.
    void InstallEarlierClient() {
        fs::create_directories(InstallDir());
        fs::copy_file(BuildPath("tools/demo_client.exe"), InstallDir() / L"Vexa盒子.exe");
        WriteWholeFile(InstallDir() / L"readme.txt", "version 0\n");
    }
    // Starts the earlier install's client, which stays open until the test ends.
    void StartEarlierClient() {
        ASSERT_TRUE(StartDetached((InstallDir() / L"Vexa盒子.exe").wstring(), L"client", client_));
        ASSERT_TRUE(WaitUntil([&] { return ClientStarted(); }, 20s));
    }
    void TearDown() override {
        if (client_.info.hProcess) {
            TerminateProcess(client_.info.hProcess, 0);
            WaitForSingleObject(client_.info.hProcess, 10000);
        }
        Installer::TearDown();
    }

    const fs::path powerShellStarted_ = kTemp / L"vexa-e2e-powershell-started";
    UniqueProcess client_;
};

// A client still running from the earlier install stops the run before it changes anything:
// before the first request, or, started while the package downloads (the server holds the body
// halfway until then), right before the unpacking. The earlier install stays as it was.
TEST_F(FilesInUse, AClientStillRunningStopsTheRunBeforeItChangesAnything) {
    for (const bool duringTheDownload : {false, true}) {
        SCOPED_TRACE(duringTheDownload ? "during the download" : "before any request");
        UseBackEnd(name_ + (duringTheDownload ? "-during" : "-before"));
        UseInstallRoot(name_ + (duringTheDownload ? "-during" : "-before"));
        InstallEarlierClient();
        const std::string before = TreeWithContents(InstallDir());
        if (!duringTheDownload) StartEarlierClient();
        ServePackage("client-top.zip", HeldAfter(40000));
        fs::remove(powerShellStarted_);
        const int requests = RequestCount(base_);
        auto installer =
            Start({{L"VEXA_POWERSHELL_STANDIN_STARTED", powerShellStarted_.wstring()}});
        installer->Click(kInstallId);
        if (duringTheDownload) {
            ASSERT_TRUE(WaitUntil([&] { return LastProgress(installer->Trace()) > 0; }, 20s));
            StartEarlierClient();
        }
        ReleaseHold(HoldName());
        ASSERT_TRUE(installer->WaitForLine(L"button 立即安装", 60s));
        EXPECT_EQ(installer->Text(kStatusId), kInUse);
        EXPECT_EQ(LastProgress(installer->Trace()), duringTheDownload ? 75 : 0);
        EXPECT_EQ(RequestCount(base_) > requests, duringTheDownload);
        EXPECT_FALSE(fs::exists(powerShellStarted_));
        TerminateProcess(client_.info.hProcess, 0);
        WaitForSingleObject(client_.info.hProcess, 10000);
        fs::remove(InstallDir() / L"client-started.txt");
        EXPECT_EQ(TreeWithContents(InstallDir()), before);
    }
}

// A lock on the new client right after the unpacking, as a scanner takes one: a short one is
// waited out, at the publisher check or at the start; one that outlasts the waits fails that step,
// and the run is not complete. While it lasts, the install folder stays held, as it was checked:
// nobody can move it away (and put another in its place) before the client has started; a move
// that succeeds while the client is still locked is one that the installer allowed.
TEST_F(FilesInUse, AScannersLockIsWaitedOutForTenSeconds) {
    const std::wstring pinned = BuildPath("tests/pinned/VexaBoxInstaller.exe");
    const std::wstring plain = BuildPath("app/VexaBoxInstaller.exe");
    const struct {
        const char* name;
        std::wstring program;
        const wchar_t* holdMs;
        std::wstring status;
    } cases[] = {{"lifts", plain, L"2000", L"安装完成"},
                 {"stays", plain, L"12000", L"安装完成，但无法启动 Vexa盒子"},
                 {"stays-pinned", pinned, L"12000", L"安装失败：客户端签名校验失败"}};
    const auto locked = [](const fs::path& file) {
        return !UniqueHandle{
                   ValidHandle(CreateFileW(file.c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, OPEN_EXISTING, 0, nullptr))} &&
               GetLastError() == ERROR_SHARING_VIOLATION;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UseBackEnd(name_ + "-" + c.name);
        UseInstallRoot(name_ + "-" + c.name);
        const std::string package = "signing/client-publisher.zip";
        ServePackage(package, "", ReadWholeFile(BuildPath(package + ".sig")));
        auto installer = Start({{L"VEXA_POWERSHELL_STANDIN_HOLD_MS", c.holdMs}}, c.program);
        installer->Click(kInstallId);
        const bool completes = c.status == L"安装完成";
        if (completes) {
            ASSERT_TRUE(installer->WaitForLine(L"progress 90", 20s));
            const fs::path away = installRoot_ / L"moved away";
            int attempts = 0;
            bool movedBeforeTheStart = false;
            for (; locked(InstallDir() / L"Vexa盒子.exe") && !movedBeforeTheStart; ++attempts) {
                if (MoveFileW(InstallDir().c_str(), away.c_str())) {
                    movedBeforeTheStart = locked(away / L"Vexa盒子.exe");
                    MoveFileW(away.c_str(), InstallDir().c_str());
                }
            }
            EXPECT_GT(attempts, 0);
            EXPECT_FALSE(movedBeforeTheStart);
        }
        ASSERT_TRUE(installer->WaitForLine(completes ? L"finished" : L"button 立即安装", 40s));
        EXPECT_EQ(installer->Text(kStatusId), c.status);
        EXPECT_EQ(WaitUntil([&] { return ClientStarted(); }, completes ? 10s : 0s), completes);
        const std::vector<std::wstring> trace = installer->Trace();
        EXPECT_EQ(std::count(trace.begin(), trace.end(), L"status 安装完成"), completes ? 1 : 0);
        EXPECT_EQ(installer->WaitForExit(completes ? 10s : 0s), completes ? 0 : -1);
    }
}

// With a publisher pinned, the client checked is the client started: from the check until the
// start nobody can move it aside and put another program in its place. An attacker tries just
// that, over and over, from the moment the installer holds the file as it holds a checked client
// (readers may open it, nobody may delete it); the program it would put in place is the
// PowerShell stand-in, which leaves a file when it starts.
TEST_F(FilesInUse, TheCheckedClientIsHeldUntilItHasStarted) {
    const std::string package = "signing/client-publisher.zip";
    ServePackage(package, "", ReadWholeFile(BuildPath(package + ".sig")));
    const fs::path exe = InstallDir() / L"Vexa盒子.exe";
    // The scanner's lock after the unpacking gives the attacker time to be there first.
    auto installer = Start({{L"VEXA_POWERSHELL_STANDIN_HOLD_MS", L"2000"},
                            {L"VEXA_POWERSHELL_STANDIN_STARTED", powerShellStarted_.wstring()}},
                           BuildPath("tests/pinned/VexaBoxInstaller.exe"));
    installer->Click(kInstallId);
    ASSERT_TRUE(installer->WaitForLine(L"progress 90", 20s));
    fs::remove(powerShellStarted_);
    std::atomic<bool> stop{false};
    bool sawCheckedHold = false, replaced = false;
    std::thread attacker([&] {
        const auto opens = [&](DWORD access) {
            return static_cast<bool>(UniqueHandle{ValidHandle(CreateFileW(
                exe.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                nullptr, OPEN_EXISTING, 0, nullptr))});
        };
        while (!stop && !replaced) {
            const bool readable = opens(GENERIC_READ), deletable = opens(DELETE);
            sawCheckedHold = sawCheckedHold || (readable && !deletable);
            if (sawCheckedHold && deletable &&
                MoveFileExW(exe.c_str(), (exe.wstring() + L".moved").c_str(), 0)) {
                replaced = CopyFileW(BuildPath("tools/powershell.exe").c_str(), exe.c_str(), TRUE);
            }
            Sleep(1);
        }
    });
    const bool finished = installer->WaitForLine(L"finished", 30s);
    stop = true;
    attacker.join();
    ASSERT_TRUE(finished) << Narrow(installer->Text(kStatusId));
    EXPECT_TRUE(sawCheckedHold);
    EXPECT_TRUE(WaitUntil([&] { return ClientStarted(); }, 10s));
    EXPECT_FALSE(fs::exists(powerShellStarted_)) << "the program put in place was started";
}

}  // namespace
