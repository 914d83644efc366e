#include "install/client_search.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/test_files.h"
#include "support/test_server.h"

namespace fs = std::filesystem;

namespace {

TEST(FindClientExecutable, FindsARegularFileByEitherNameAtAnyDepth) {
    const struct {
        std::vector<std::wstring> tree;   // names ending in a backslash are folders
        std::vector<std::wstring> found;  // below the install directory: any of these; none: ""
    } cases[] = {
        {{L"Quorin.exe", L"Vexa盒子.exe"}, {L"Vexa盒子.exe"}},
        {{L"bin\\Quorin.exe", L"QUORIN.exe"}, {L"Quorin.exe"}},  // at the top: spelled as listed
        {{L"Vexa盒子\\Vexa盒子.exe", L"readme.txt"}, {L"Vexa盒子\\Vexa盒子.exe"}},
        {{L"a\\b\\c\\d\\QUORIN.EXE"}, {L"a\\b\\c\\d\\QUORIN.EXE"}},
        {{L"x\\vexa盒子.EXE"}, {L"x\\vexa盒子.EXE"}},
        {{L"one\\Quorin.exe", L"two\\Vexa盒子.exe"}, {L"one\\Quorin.exe", L"two\\Vexa盒子.exe"}},
        // Names that differ in more than the case of ASCII letters.
        {{L"x\\Vexa盒孑.exe", L"x\\Quorin.exe.bak", L"x\\MyQuorin.exe", L"x\\Ｑuorin.exe",
          L"Quorin.ex"},
         {L""}},
        // A folder named like the executable is no client, at the top or below.
        {{L"Vexa盒子.exe\\", L"Quorin.exe\\readme.txt"}, {L""}},
        {{L"a\\Quorin.exe\\", L"a\\Vexa盒子.exe\\bin\\Quorin.exe"},
         {L"a\\Vexa盒子.exe\\bin\\Quorin.exe"}}};
    for (const auto& c : cases) {
        const ScratchDir scratch;
        const std::wstring installDir = scratch / L"Vexa游戏盒子";
        fs::create_directories(installDir);
        for (const std::wstring& name : c.tree) {
            if (name.ends_with(L'\\')) {
                fs::create_directories(installDir + L"\\" + name);
            } else {
                WriteWholeFile(installDir + L"\\" + name, "MZ");
            }
        }
        std::wstring exePath = L"before";
        std::wstring error = L"untouched";
        ASSERT_TRUE(FindClientExecutable(installDir, exePath, &error)) << Narrow(c.tree.at(0));
        EXPECT_EQ(error, L"untouched");
        bool expected = false;
        for (const std::wstring& found : c.found)
            expected |= exePath == (found.empty() ? L"" : installDir + L"\\" + found);
        EXPECT_TRUE(expected) << Narrow(c.tree.at(0)) << " found " << Narrow(exePath);
    }
    // A client behind a linked folder is somewhere else: the search does not go there.
    const ScratchDir scratch;
    WriteWholeFile(scratch / L"elsewhere\\Quorin.exe", "MZ");
    fs::create_directories(scratch / L"Vexa游戏盒子");
    ASSERT_TRUE(MakeHostLink(scratch / L"Vexa游戏盒子", "../elsewhere", "linked"));
    std::wstring behindLink = L"before";
    EXPECT_TRUE(FindClientExecutable(scratch / L"Vexa游戏盒子", behindLink, nullptr));
    EXPECT_EQ(behindLink, L"");
    // A directory gone meanwhile stops the search.
    std::wstring exePath = L"before";
    std::wstring error;
    EXPECT_FALSE(FindClientExecutable(scratch / L"gone", exePath, &error));
    EXPECT_EQ(error, L"无法读取安装目录");
    EXPECT_EQ(exePath, L"before");
}

}  // namespace
