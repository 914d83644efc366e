#include "app/install_location.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "support/test_files.h"
#include "support/test_server.h"

namespace {

const std::wstring kFolder = kDedicatedFolderName;

TEST(ComposeInstallDir, EndsInTheDedicatedFolderOnce) {
    ExpectEach(
        ComposeInstallDir,
        {{L"D:\\", L"D:\\" + kFolder},
         {L"\t\r\n D:\\Games\\ \r\n", L"D:\\Games\\" + kFolder},
         {L"D:\\Games\\" + kFolder + L"\\\\", L"D:\\Games\\" + kFolder},
         {L"d:/games/vexa游戏盒子/", L"d:/games/vexa游戏盒子"},
         {L"C:\\\\\\", L"C:\\" + kFolder},
         {L"D:", L"D:" + kFolder},
         {L"/", L"/" + kFolder},
         {L"   ", L""},
         // Only ASCII letters are compared without case; other characters must match exactly.
         {L"D:\\Vexa游戏盒子2", L"D:\\Vexa游戏盒子2\\" + kFolder},
         {L"D:\\Ｖexa游戏盒子", L"D:\\Ｖexa游戏盒子\\" + kFolder},
         {L"D:\\" + kFolder + L"\\sub", L"D:\\" + kFolder + L"\\sub\\" + kFolder},
         // The server name is part of a network path's root, never a folder of the install.
         {L"\\\\server\\share\\" + kFolder + L"\\", L"\\\\server\\share\\" + kFolder},
         {L"\\\\" + kFolder, L"\\\\" + kFolder + L"\\" + kFolder}});
}

TEST(ChooseInstallRoot, PrefersDriveDThenTheFirstFixedDrive) {
    const struct {
        std::map<wchar_t, UINT> drives;
        std::wstring expected;
    } cases[] = {{{{L'C', DRIVE_FIXED}, {L'D', DRIVE_CDROM}}, L"D:\\"},
                 {{{L'D', DRIVE_UNKNOWN}}, L"D:\\"},
                 {{{L'C', DRIVE_FIXED}, {L'E', DRIVE_FIXED}}, L"C:\\"},
                 {{{L'A', DRIVE_FIXED}, {L'B', DRIVE_FIXED}, {L'Z', DRIVE_FIXED}}, L"Z:\\"},
                 {{{L'C', DRIVE_CDROM}, {L'E', DRIVE_REMOTE}, {L'F', DRIVE_FIXED}}, L"F:\\"},
                 {{}, L"C:\\"}};
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
    ExpectEach(AbsoluteInstallDir, {{L"D:/games//" + kFolder, L"D:/games//" + kFolder},
                                    {L"C:\\a\\..\\" + kFolder, L"C:\\a\\..\\" + kFolder},
                                    {L"//server/share/" + kFolder, L"//server/share/" + kFolder},
                                    {L"Games/./x/../" + kFolder, scratch / (L"Games\\" + kFolder)},
                                    {L"\\" + kFolder, L"C:\\" + kFolder}});
    std::filesystem::current_path(previous);
}

}  // namespace
