#include "install/shortcut.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>

#include "common/owners.h"
#include "support/shortcuts.h"
#include "support/test_files.h"

namespace fs = std::filesystem;

namespace {

class DesktopShortcut : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(apartment_.Initialized());
        for (const auto& entry : fs::directory_iterator(desktop_))  // what others left there
            if (entry.path().extension() == L".lnk") fs::remove_all(entry.path());
        WriteWholeFile(exe_, "MZ");
    }
    void TearDown() override { fs::remove_all(shortcut_); }

    const ComApartment apartment_;
    const std::wstring desktop_ = DesktopPath();
    const std::wstring shortcut_ = desktop_ + L"\\Vexa盒子.lnk";
    const ScratchDir scratch_;
    const std::wstring folder_ = scratch_ / L"O'Brien’s [x] $y\\Vexa游戏盒子\\bin";
    const std::wstring exe_ = folder_ + L"\\Quorin.exe";
};

TEST_F(DesktopShortcut, GoesWhereverTheDesktopHasBeenMoved) {
    const std::wstring moved = scratch_ / L"桌面 moved";
    fs::create_directories(moved);
    {
        const wchar_t* kFolders =
            L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
        const auto setDesktop = [&](const std::wstring& folder) {
            RegSetKeyValueW(HKEY_CURRENT_USER, kFolders, L"Desktop", REG_EXPAND_SZ, folder.c_str(),
                            static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
        };
        setDesktop(moved);
        const Finally back([&] { setDesktop(L"%USERPROFILE%\\Desktop"); });
        ASSERT_TRUE(CreateDesktopShortcut(exe_, nullptr));
    }
    EXPECT_FALSE(fs::exists(shortcut_));
    const SavedShortcut saved = LoadShortcut(moved + L"\\Vexa盒子.lnk");
    EXPECT_EQ(saved.target, exe_);
    EXPECT_EQ(saved.workingDirectory, folder_);
}

TEST_F(DesktopShortcut, NamesWhatFailed) {
    std::wstring error = L"before";
    {
        ASSERT_TRUE(MoveFileW(desktop_.c_str(), (desktop_ + L".aside").c_str()));
        const Finally back([&] { MoveFileW((desktop_ + L".aside").c_str(), desktop_.c_str()); });
        EXPECT_FALSE(CreateDesktopShortcut(exe_, &error));
        EXPECT_EQ(error, L"无法获取桌面路径");
    }
    bool created = true;
    std::thread([&] { created = CreateDesktopShortcut(exe_, &error); }).join();  // no COM there
    EXPECT_FALSE(created);
    EXPECT_EQ(error, L"无法创建快捷方式对象");

    fs::create_directories(fs::path(shortcut_) / L"inside");
    EXPECT_FALSE(CreateDesktopShortcut(exe_, &error));
    EXPECT_EQ(error, L"桌面快捷方式创建失败");
    EXPECT_TRUE(fs::is_directory(fs::path(shortcut_) / L"inside"));
}

}  // namespace
