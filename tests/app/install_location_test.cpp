#include "app/install_location.h"

#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>

#include "install/messages.h"
#include "support/test_files.h"
#include "support/test_server.h"

namespace {

const std::wstring kFolder = DedicatedFolderName;

TEST(ComposeInstallDir, EndsInTheDedicatedFolderOnce) {
    const struct {
        std::wstring input, expected;
    } cases[] = {
        {L"D:\\", L"D:\\" + kFolder},
        {L"D:\\Games\\", L"D:\\Games\\" + kFolder},
        {L"  D:\\Games  ", L"D:\\Games\\" + kFolder},
        {L"\t\r\nD:\\Games\r\n", L"D:\\Games\\" + kFolder},
        {L"D:\\Games\\" + kFolder + L"\\\\", L"D:\\Games\\" + kFolder},
        {L"D:\\Games\\VEXA游戏盒子", L"D:\\Games\\VEXA游戏盒子"},
        {L"d:/games/vexa游戏盒子/", L"d:/games/vexa游戏盒子"},
        {L"C:\\\\\\", L"C:\\" + kFolder},
        {L"E:/apps//", L"E:/apps\\" + kFolder},
        {L"D:", L"D:" + kFolder},
        {L"D:" + kFolder, L"D:" + kFolder},
        {L"/", L"/" + kFolder},
        {L"   ", L""},
        {L"", L""},
        // Only ASCII letters are compared without case; other characters must match exactly.
        {L"D:\\Vexa游戏盒子2", L"D:\\Vexa游戏盒子2\\" + kFolder},
        {L"D:\\Ｖexa游戏盒子", L"D:\\Ｖexa游戏盒子\\" + kFolder},
        {L"D:\\游戏盒子", L"D:\\游戏盒子\\" + kFolder},
        {L"D:\\" + kFolder + L"\\sub", L"D:\\" + kFolder + L"\\sub\\" + kFolder},
        // A relative name, and characters that mean something to a shell, are kept as typed.
        {kFolder, kFolder},
        {L"D:\\It's [x] $y & ‘z’", L"D:\\It's [x] $y & ‘z’\\" + kFolder},
        {L"D:\\My Games \\", L"D:\\My Games \\" + kFolder},
        // Network paths: the server name is part of the root, never a folder of the install.
        {L"\\\\server\\share\\", L"\\\\server\\share\\" + kFolder},
        {L"\\\\server\\share\\" + kFolder + L"\\", L"\\\\server\\share\\" + kFolder},
        {L"\\\\" + kFolder, L"\\\\" + kFolder + L"\\" + kFolder},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ComposeInstallDir(c.input), c.expected) << Narrow(c.input);
    }
}

TEST(ChooseInstallRoot, PrefersDriveDThenTheFirstFixedDrive) {
    using Drives = std::map<wchar_t, UINT>;
    const struct {
        Drives drives;
        std::wstring expected;
    } cases[] = {
        {{{L'C', DRIVE_FIXED}, {L'D', DRIVE_FIXED}}, L"D:\\"},
        {{{L'C', DRIVE_FIXED}, {L'D', DRIVE_CDROM}}, L"D:\\"},
        {{{L'C', DRIVE_FIXED}, {L'D', DRIVE_REMOTE}}, L"D:\\"},
        {{{L'C', DRIVE_FIXED}, {L'D', DRIVE_REMOVABLE}}, L"D:\\"},
        {{{L'D', DRIVE_UNKNOWN}}, L"D:\\"},
        {{{L'C', DRIVE_FIXED}}, L"C:\\"},
        {{{L'C', DRIVE_FIXED}, {L'E', DRIVE_FIXED}}, L"C:\\"},
        {{{L'E', DRIVE_FIXED}}, L"E:\\"},
        {{{L'A', DRIVE_FIXED}, {L'B', DRIVE_FIXED}, {L'Z', DRIVE_FIXED}}, L"Z:\\"},
        {{{L'C', DRIVE_CDROM}, {L'E', DRIVE_REMOTE}, {L'F', DRIVE_FIXED}}, L"F:\\"},
        {{{L'C', DRIVE_REMOTE}, {L'E', DRIVE_REMOVABLE}}, L"C:\\"},
        {{}, L"C:\\"},
    };
    for (const auto& c : cases) {
        const auto driveType = [&](const std::wstring& root) -> UINT {
            EXPECT_EQ(root.size(), 3u);
            const auto found = c.drives.find(root[0]);
            return found == c.drives.end() ? DRIVE_NO_ROOT_DIR : found->second;
        };
        const auto logicalDrives = [&] {
            DWORD mask = 0;
            for (const auto& [letter, type] : c.drives)
                mask |= 1u << (letter - L'A');
            return mask;
        };
        EXPECT_EQ(ChooseInstallRoot(driveType, logicalDrives), c.expected) << c.drives.size();
    }
}

TEST(AbsoluteInstallDir, LeavesFullyQualifiedDirectoriesAsTheyAre) {
    const ScratchDir scratch;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(scratch.Path());
    const struct {
        std::wstring dir, expected;
    } cases[] = {
        {L"D:/games//" + kFolder, L"D:/games//" + kFolder},
        {L"C:\\a\\..\\" + kFolder, L"C:\\a\\..\\" + kFolder},
        {L"\\\\server\\share\\" + kFolder, L"\\\\server\\share\\" + kFolder},
        {L"//server/share/" + kFolder, L"//server/share/" + kFolder},
        {L"Games\\" + kFolder, scratch / (L"Games\\" + kFolder)},
        {L"Games/./x/../" + kFolder, scratch / (L"Games\\" + kFolder)},
        {L"\\" + kFolder, L"C:\\" + kFolder},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AbsoluteInstallDir(c.dir), c.expected) << Narrow(c.dir);
    std::filesystem::current_path(previous);
}

// The plain test run has no drive D in its prefix; scripts/with-drive-d runs the DriveD tests
// with one and names its target in VEXA_DRIVE_D.
TEST(DefaultInstallDir, UsesDriveCWhenThereIsNoDriveD) {
    if (std::getenv("VEXA_DRIVE_D")) GTEST_SKIP() << "drive D is present in this run";
    ASSERT_EQ(GetDriveTypeW(L"D:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
    EXPECT_EQ(DefaultInstallDir(), L"C:\\" + kFolder);
}

TEST(DriveD, DefaultInstallDirIsOnDriveD) {
    if (!std::getenv("VEXA_DRIVE_D")) GTEST_SKIP() << "runs under scripts/with-drive-d";
    ASSERT_NE(GetDriveTypeW(L"D:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
    EXPECT_EQ(DefaultInstallDir(), L"D:\\" + kFolder);
}

// The picker, answered by a helper thread as a user would: it waits for the dialog on the test's
// thread and presses a button. The picker starts at the desktop, so OK there chooses the
// desktop's folder. (Wine's shell keeps the desktop folder it first saw for the whole process,
// so the tests cannot point it elsewhere in between.)
class FolderPicker : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        owner_ = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(owner_, nullptr);
        InstallDirEdit = CreateWindowExW(0, L"EDIT", L"before", WS_CHILD, 0, 0, 50, 20, owner_,
                                         nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(InstallDirEdit, nullptr);
    }
    void TearDown() override {
        DestroyWindow(owner_);
        InstallDirEdit = nullptr;
        CoUninitialize();
    }

    // Runs the picker and presses the button in it; false when no picker with the installer's
    // title showed up.
    bool PickAndPress(int button) {
        bool seen = false;
        std::thread helper([&, thread = GetCurrentThreadId()] {
            for (int tries = 0; tries < 400 && !seen; ++tries) {
                HWND dialog = FindPicker(thread);
                if (dialog) {
                    seen = true;
                    PostMessageW(dialog, WM_COMMAND, button, 0);
                } else {
                    Sleep(25);
                }
            }
        });
        BrowseInstallDir(owner_);
        helper.join();
        return seen;
    }

    std::wstring EditText() const {
        wchar_t text[1024] = {};
        GetWindowTextW(InstallDirEdit, text, 1024);
        return text;
    }

    static HWND FindPicker(DWORD thread) {
        struct Search {
            HWND dialog = nullptr;
            bool titled = false;
        } search;
        EnumThreadWindows(
            thread,
            [](HWND window, LPARAM data) -> BOOL {
                auto& found = *reinterpret_cast<Search*>(data);
                wchar_t name[32] = {};
                GetClassNameW(window, name, 32);
                if (std::wstring(name) != L"#32770" || !IsWindowVisible(window)) return TRUE;
                found.dialog = window;
                EnumChildWindows(
                    window,
                    [](HWND child, LPARAM titled) -> BOOL {
                        wchar_t text[64] = {};
                        GetWindowTextW(child, text, 64);
                        if (std::wstring(text) == L"选择盒子安装位置") {
                            *reinterpret_cast<bool*>(titled) = true;
                        }
                        return TRUE;
                    },
                    reinterpret_cast<LPARAM>(&found.titled));
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.titled ? search.dialog : nullptr;
    }

    HWND owner_ = nullptr;
};

TEST_F(FolderPicker, CancelLeavesTheDirectoryAsItWas) {
    ASSERT_TRUE(PickAndPress(IDCANCEL));
    EXPECT_EQ(EditText(), L"before");
}

TEST_F(FolderPicker, AChosenFolderGetsTheDedicatedFolder) {
    wchar_t* desktop = nullptr;
    ASSERT_HRESULT_SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Desktop, 0, nullptr, &desktop));
    const std::wstring expected = std::wstring(desktop) + L"\\" + kFolder;
    CoTaskMemFree(desktop);
    ASSERT_TRUE(PickAndPress(IDOK));
    EXPECT_EQ(EditText(), expected);
}

}  // namespace
