#include "install/shortcut.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "support/shortcuts.h"
#include "support/test_files.h"
#include "support/test_server.h"

namespace fs = std::filesystem;

namespace {

TEST(ParentDirectory, DropsTheLastElementButNeverTheRoot) {
    const struct {
        std::wstring path, expected;
    } cases[] = {
        {L"D:\\Vexa游戏盒子\\Vexa盒子.exe", L"D:\\Vexa游戏盒子"},
        {L"D:\\Vexa游戏盒子\\bin\\Quorin.exe", L"D:\\Vexa游戏盒子\\bin"},
        {L"D:\\a.exe", L"D:\\"},
        {L"D:\\dir\\\\a.exe", L"D:\\dir"},
        {L"D:\\dir\\", L"D:\\dir"},
        {L"D:\\", L"D:\\"},
        {L"D:a.exe", L"D:"},
        {L"a.exe", L""},
        {L"", L""},
        {L"D:/games/box/Quorin.exe", L"D:/games/box"},
        {L"\\\\server\\share\\box\\Quorin.exe", L"\\\\server\\share\\box"},
        {L"\\\\server\\share\\Quorin.exe", L"\\\\server\\share"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParentDirectory(c.path), c.expected) << Narrow(c.path);
    }
}

class DesktopShortcut : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        desktop_ = DesktopPath();
        ASSERT_FALSE(desktop_.empty());
        shortcut_ = desktop_ + L"\\Vexa盒子.lnk";
        ASSERT_FALSE(fs::exists(shortcut_));
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(shortcut_, ignored);
        CoUninitialize();
    }

    std::wstring desktop_;
    std::wstring shortcut_;
    ScratchDir scratch_;
};

TEST_F(DesktopShortcut, PointsAtTheExecutableAndItsFolder) {
    const std::wstring executables[] = {
        scratch_ / L"Vexa游戏盒子\\Vexa盒子.exe",
        scratch_ / L"O'Brien’s [x] $y\\Vexa游戏盒子\\bin\\Quorin.exe",
    };
    for (const std::wstring& exe : executables) {
        WriteWholeFile(exe, "MZ");
        std::wstring error = L"untouched";
        ASSERT_TRUE(CreateDesktopShortcut(exe, &error)) << Narrow(exe);
        EXPECT_EQ(error, L"untouched");
        const SavedShortcut saved = LoadShortcut(shortcut_);
        EXPECT_EQ(saved.target, exe);
        EXPECT_EQ(saved.workingDirectory, ParentDirectory(exe));
        EXPECT_EQ(saved.description, L"Vexa盒子");
    }
    // Saved again under the same name each time: one shortcut, no numbered second one.
    int shortcuts = 0;
    for (const auto& entry : fs::directory_iterator(desktop_)) {
        if (entry.path().extension() == L".lnk") ++shortcuts;
    }
    EXPECT_EQ(shortcuts, 1);
}

TEST_F(DesktopShortcut, ReportsAFolderInTheWay) {
    fs::create_directories(fs::path(shortcut_) / L"inside");
    const std::wstring exe = scratch_ / L"Vexa游戏盒子\\Vexa盒子.exe";
    WriteWholeFile(exe, "MZ");
    std::wstring error = L"before";
    EXPECT_FALSE(CreateDesktopShortcut(exe, &error));
    EXPECT_EQ(error, L"桌面快捷方式创建失败");
    EXPECT_FALSE(CreateDesktopShortcut(exe, nullptr));
    EXPECT_TRUE(fs::is_directory(fs::path(shortcut_) / L"inside"));
}

TEST_F(DesktopShortcut, ReportsAThreadWithoutCom) {
    const std::wstring exe = scratch_ / L"Vexa游戏盒子\\Vexa盒子.exe";
    WriteWholeFile(exe, "MZ");
    bool result = true;
    std::wstring error = L"before";
    std::thread([&] { result = CreateDesktopShortcut(exe, &error); }).join();
    EXPECT_FALSE(result);
    EXPECT_EQ(error, L"无法创建快捷方式对象");
    EXPECT_FALSE(fs::exists(shortcut_));
}

TEST_F(DesktopShortcut, GoesWhereverTheDesktopHasBeenMoved) {
    const std::wstring moved = scratch_ / L"桌面 moved";
    fs::create_directories(moved);
    const std::wstring exe = scratch_ / L"Vexa游戏盒子\\Vexa盒子.exe";
    WriteWholeFile(exe, "MZ");
    {
        const DesktopRedirect redirect(moved);
        ASSERT_TRUE(redirect.Done());
        ASSERT_TRUE(CreateDesktopShortcut(exe, nullptr));
    }
    EXPECT_FALSE(fs::exists(shortcut_));
    EXPECT_EQ(ListTree(moved), L"Vexa盒子.lnk\n");
    EXPECT_EQ(LoadShortcut(moved + L"\\Vexa盒子.lnk").target, exe);
}

TEST_F(DesktopShortcut, ReportsADesktopThatCannotBeFound) {
    const std::wstring exe = scratch_ / L"Vexa游戏盒子\\Vexa盒子.exe";
    WriteWholeFile(exe, "MZ");
    const MovedAside away(desktop_);
    ASSERT_TRUE(away.Moved());
    std::wstring error = L"before";
    EXPECT_FALSE(CreateDesktopShortcut(exe, &error));
    EXPECT_EQ(error, L"无法获取桌面路径");
    EXPECT_FALSE(CreateDesktopShortcut(exe, nullptr));
    EXPECT_FALSE(fs::exists(shortcut_));
}

}  // namespace
