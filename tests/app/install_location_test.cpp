#include "app/install_location.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>

#include "common/owners.h"
#include "install/messages.h"
#include "support/shortcuts.h"
#include "support/test_files.h"
#include "support/test_server.h"

namespace {

const std::wstring kFolder = DedicatedFolderName;

TEST(ComposeInstallDir, EndsInTheDedicatedFolderOnce) {
    ExpectEach(
        ComposeInstallDir,
        {
            {L"D:\\", L"D:\\" + kFolder},
            {L"\t\r\n D:\\Games\\ \r\n", L"D:\\Games\\" + kFolder},
            {L"D:\\Games\\" + kFolder + L"\\\\", L"D:\\Games\\" + kFolder},
            {L"d:/games/vexa游戏盒子/", L"d:/games/vexa游戏盒子"},
            {L"C:\\\\\\", L"C:\\" + kFolder},
            {L"E:/apps//", L"E:/apps\\" + kFolder},
            {L"D:", L"D:" + kFolder},
            {L"D:" + kFolder, L"D:" + kFolder},
            {L"/", L"/" + kFolder},
            {L"   ", L""},
            // Only ASCII letters are compared without case; other characters must match exactly.
            {L"D:\\Vexa游戏盒子2", L"D:\\Vexa游戏盒子2\\" + kFolder},
            {L"D:\\Ｖexa游戏盒子", L"D:\\Ｖexa游戏盒子\\" + kFolder},
            {L"D:\\" + kFolder + L"\\sub", L"D:\\" + kFolder + L"\\sub\\" + kFolder},
            {L"D:\\It's [x] $y & ‘z’", L"D:\\It's [x] $y & ‘z’\\" + kFolder},
            // The server name is part of a network path's root, never a folder of the install.
            {L"\\\\server\\share\\" + kFolder + L"\\", L"\\\\server\\share\\" + kFolder},
            {L"\\\\" + kFolder, L"\\\\" + kFolder + L"\\" + kFolder},
        });
}

TEST(ChooseInstallRoot, PrefersDriveDThenTheFirstFixedDrive) {
    const struct {
        std::map<wchar_t, UINT> drives;
        std::wstring expected;
    } cases[] = {
        {{{L'C', DRIVE_FIXED}, {L'D', DRIVE_CDROM}}, L"D:\\"},
        {{{L'D', DRIVE_UNKNOWN}}, L"D:\\"},
        {{{L'C', DRIVE_FIXED}, {L'E', DRIVE_FIXED}}, L"C:\\"},
        {{{L'E', DRIVE_FIXED}}, L"E:\\"},
        {{{L'A', DRIVE_FIXED}, {L'B', DRIVE_FIXED}, {L'Z', DRIVE_FIXED}}, L"Z:\\"},
        {{{L'C', DRIVE_CDROM}, {L'E', DRIVE_REMOTE}, {L'F', DRIVE_FIXED}}, L"F:\\"},
        {{{L'C', DRIVE_REMOTE}, {L'E', DRIVE_REMOVABLE}}, L"C:\\"},
        {{}, L"C:\\"},
    };
    for (const auto& c : cases) {
        DWORD mask = 0;
        for (const auto& drive : c.drives)
            mask |= 1u << (drive.first - L'A');
        const auto driveType = [&](const std::wstring& root) -> UINT {
            const auto found = root.substr(1) == L":\\" ? c.drives.find(root[0]) : c.drives.end();
            return found == c.drives.end() ? DRIVE_NO_ROOT_DIR : found->second;
        };
        EXPECT_EQ(ChooseInstallRoot(driveType, [&] { return mask; }), c.expected);
    }
}

TEST(AbsoluteInstallDir, LeavesFullyQualifiedDirectoriesAsTheyAre) {
    const ScratchDir scratch;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(scratch.Path());
    ExpectEach(AbsoluteInstallDir,
               {
                   {L"D:/games//" + kFolder, L"D:/games//" + kFolder},
                   {L"C:\\a\\..\\" + kFolder, L"C:\\a\\..\\" + kFolder},
                   {L"//server/share/" + kFolder, L"//server/share/" + kFolder},
                   {L"Games/./x/../" + kFolder, scratch / (L"Games\\" + kFolder)},
                   {L"\\" + kFolder, L"C:\\" + kFolder},
               });
    std::filesystem::current_path(previous);
}

// The plain test run has no drive D in its prefix; scripts/with-drive-d runs the DriveD tests
// with one and names its target in VEXA_DRIVE_D.
TEST(DefaultInstallDir, UsesDriveCWhenThereIsNoDriveD) {
    if (std::getenv("VEXA_DRIVE_D")) GTEST_SKIP() << "drive D is present in this run";
    EXPECT_EQ(DefaultInstallDir(), L"C:\\" + kFolder);
}

TEST(DriveD, DefaultInstallDirIsOnDriveD) {
    if (!std::getenv("VEXA_DRIVE_D")) GTEST_SKIP() << "runs under scripts/with-drive-d";
    EXPECT_EQ(DefaultInstallDir(), L"D:\\" + kFolder);
}

// The picker's dialog, once it shows the installer's title.
HWND FindPicker() {
    const HWND dialog = FindWindowW(L"#32770", nullptr);
    return dialog && FindWindowExW(dialog, nullptr, nullptr, L"选择盒子安装位置") ? dialog
                                                                                  : nullptr;
}

// The picker answered by a helper thread as a user would. It starts at the desktop, so OK
// chooses the desktop's folder. (Wine's shell keeps the desktop folder it first saw for the
// whole process, so the test cannot point it elsewhere.)
TEST(BrowseInstallDir, PutsAChosenFolderWithTheDedicatedOneIntoTheEditBox) {
    const ComApartment apartment;
    const UniqueWindow owner{CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPED, 0, 0, 100, 100,
                                             nullptr, nullptr, nullptr, nullptr)};
    InstallDirEdit = CreateWindowExW(0, L"EDIT", L"before", WS_CHILD, 0, 0, 50, 20, owner.get(),
                                     nullptr, nullptr, nullptr);
    const auto editText = [] {
        wchar_t text[1024] = {};
        GetWindowTextW(InstallDirEdit, text, 1024);
        return std::wstring(text);
    };
    for (const int button : {IDCANCEL, IDOK}) {
        bool seen = false;
        std::thread helper([&] {
            for (int tries = 0; tries < 400 && !seen; ++tries) {
                if (HWND dialog = FindPicker()) {
                    seen = true;
                    PostMessageW(dialog, WM_COMMAND, button, 0);
                }
                Sleep(25);
            }
        });
        BrowseInstallDir(owner.get());
        helper.join();
        ASSERT_TRUE(seen) << "no picker with the installer's title";
        EXPECT_EQ(editText(), button == IDOK ? DesktopPath() + L"\\" + kFolder : L"before");
    }
    InstallDirEdit = nullptr;
}

}  // namespace
