// The installer as deployment tools and package managers start it: /S, and /D= last.

#include <windows.h>

#include <gtest/gtest.h>

#include "e2e/installer_fixture.h"

namespace {

// The same steps as a click, no window and no message box; the client is not started. The exit
// code is the ending's number: 0 when the client was installed and its shortcut made.
TEST_F(Installer, SilentlyInstallsWithoutAWindowAndEndsWithTheEndingsNumber) {
    const fs::path root = installRoot_ / L"Program Files" / L"我的 游戏";
    const fs::path folder = root / L"Vexa游戏盒子";
    std::unique_ptr<InstallerWindow> window;
    const struct {
        const char* name;
        std::function<void()> arrange;
        std::wstring arguments;
        int exitCode;
        std::wstring logged;  // the last line of the run's log
    } cases[] = {
        {"into /D=", [&] { ServePackage("client-top.zip"); }, L"/S /D=" + root.wstring() + L"  ", 0,
         L"ended 0 (completed): 安装完成"},
        // Without /D=, into the install that Apps & features lists.
        {"into the listed install", [&] { fs::remove(folder / L"Vexa盒子.exe"); }, L"/S", 0,
         L"ended 0 (completed): 安装完成"},
        {"a download that fails", [&] { ServePackage("client-top.zip", R"(, "status": 404)"); },
         L"/S /D=" + root.wstring(), 4,
         L"ended 4 (download failed): 下载失败：服务器返回错误：404"},
        {"beside an installer's window", [&] { window = Start(); }, L"/S", 14,
         L"ended 14: another installer runs"},
        // The uninstaller that asks brings that window to the front and removes nothing.
        {"an uninstall beside it", [] {}, L"/uninstall", 14, L"ended 14: another installer runs"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.arrange();
        bool windowSeen = true;
        EXPECT_EQ(RunToEnd(BuildPath("app/VexaBoxInstaller.exe"), c.arguments, &windowSeen),
                  c.exitCode);
        EXPECT_FALSE(windowSeen);
        EXPECT_EQ(LastRunLog().back(), c.logged);
        if (c.exitCode == 0) {
            EXPECT_TRUE(LastRunLogged(L"install directory " + folder.wstring()));
            const std::wstring exe = (folder / L"Vexa盒子.exe").wstring();
            EXPECT_EQ(LoadShortcut(ShortcutPath()).target, exe);
            EXPECT_EQ(LoadShortcut(StartMenuShortcutPath()).target, exe);
            EXPECT_EQ(AppsEntryValues()[L"InstallLocation"], folder.wstring());
            EXPECT_FALSE(fs::exists(folder / L"client-started.txt")) << "the client was started";
        }
    }
}

}  // namespace
