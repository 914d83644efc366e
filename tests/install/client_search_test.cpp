#include "install/client_search.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/test_files.h"
#include "support/test_server.h"

namespace fs = std::filesystem;

namespace {

// Builds a tree below root: names ending in a backslash are folders, the others files.
void MakeTree(const fs::path& root, const std::vector<std::wstring>& names) {
    for (const std::wstring& name : names) {
        if (name.ends_with(L'\\')) {
            fs::create_directories(root / name);
        } else {
            WriteWholeFile(root / name, "MZ");
        }
    }
}

TEST(FindClientExecutable, FindsARegularFileByEitherNameAtAnyDepth) {
    const struct {
        std::vector<std::wstring> tree;
        std::wstring expected;  // below the install directory; empty: none
    } cases[] = {
        {{L"Quorin.exe", L"Vexa盒子.exe"}, L"Vexa盒子.exe"},
        {{L"Quorin.exe", L"readme.txt"}, L"Quorin.exe"},
        {{L"bin\\Quorin.exe", L"Vexa盒子.exe"}, L"Vexa盒子.exe"},
        // At the top the name is spelled as listed, whatever the case on disk.
        {{L"QUORIN.exe"}, L"Quorin.exe"},
        {{L"Vexa盒子\\Vexa盒子.exe"}, L"Vexa盒子\\Vexa盒子.exe"},
        {{L"a\\b\\c\\d\\QUORIN.EXE"}, L"a\\b\\c\\d\\QUORIN.EXE"},
        {{L"x\\vexa盒子.EXE"}, L"x\\vexa盒子.EXE"},
        // Names that differ in more than the case of ASCII letters.
        {{L"x\\Vexa盒孑.exe", L"x\\Quorin.exe.bak", L"x\\Quorin .exe", L"x\\MyQuorin.exe",
          L"x\\Ｑuorin.exe", L"Quorin.ex", L"Quorin.lnk"},
         L""},
        // A folder named like the executable is no client, at the top or below.
        {{L"Vexa盒子.exe\\", L"Quorin.exe\\readme.txt"}, L""},
        {{L"Vexa盒子.exe\\", L"Quorin.exe\\bin\\Quorin.exe"}, L"Quorin.exe\\bin\\Quorin.exe"},
        {{L"a\\Quorin.exe\\", L"a\\Vexa盒子.exe\\b\\"}, L""},
        {{}, L""},
    };
    for (const auto& c : cases) {
        const ScratchDir scratch;
        const std::wstring installDir = scratch / L"Vexa游戏盒子";
        fs::create_directories(installDir);
        MakeTree(installDir, c.tree);
        std::wstring exePath = L"before";
        std::wstring error = L"untouched";
        ASSERT_TRUE(FindClientExecutable(installDir, exePath, &error)) << Narrow(c.tree.at(0));
        EXPECT_EQ(error, L"untouched");
        const std::wstring expected = c.expected.empty() ? L"" : installDir + L"\\" + c.expected;
        EXPECT_EQ(exePath, expected) << (c.tree.empty() ? "" : Narrow(c.tree[0]));
    }
}

TEST(FindClientExecutable, TakesTheFirstHitOfTheWalk) {
    const ScratchDir scratch;
    const std::wstring installDir = scratch / L"Vexa游戏盒子";
    MakeTree(installDir, {L"one\\Quorin.exe", L"two\\Vexa盒子.exe"});
    std::wstring exePath;
    ASSERT_TRUE(FindClientExecutable(installDir, exePath, nullptr));
    // Which folder the system lists first is its own affair; either file is a right answer.
    EXPECT_TRUE(exePath == installDir + L"\\one\\Quorin.exe" ||
                exePath == installDir + L"\\two\\Vexa盒子.exe")
        << Narrow(exePath);
}

TEST(FindClientExecutable, AddsNoSecondSeparator) {
    const ScratchDir scratch;
    MakeTree(scratch.Path(), {L"Vexa游戏盒子\\Quorin.exe"});
    const std::wstring installDir = scratch / L"Vexa游戏盒子\\";
    std::wstring exePath;
    ASSERT_TRUE(FindClientExecutable(installDir, exePath, nullptr));
    EXPECT_EQ(exePath, installDir + L"Quorin.exe");
}

// Wine cannot make a linked folder (CreateSymbolicLinkW succeeds without making one, reparse
// points cannot be set): the decision is tested on the values a directory entry carries.
TEST(IsLinkedFolder, SkipsSymbolicLinksAndJunctionsOnly) {
    constexpr DWORD kFolder = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    constexpr DWORD kCloudFiles = 0x9000601A;  // a cloud-sync client's placeholder folder
    EXPECT_TRUE(IsLinkedFolder(kFolder, IO_REPARSE_TAG_SYMLINK));
    EXPECT_TRUE(IsLinkedFolder(kFolder, IO_REPARSE_TAG_MOUNT_POINT));
    EXPECT_FALSE(IsLinkedFolder(kFolder, kCloudFiles));
    EXPECT_FALSE(IsLinkedFolder(FILE_ATTRIBUTE_DIRECTORY, IO_REPARSE_TAG_SYMLINK));
    EXPECT_FALSE(IsLinkedFolder(FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_SYMLINK));
}

TEST(FindClientExecutable, TellsAnUnreadableDirectoryFromAnEmptyOne) {
    const ScratchDir scratch;
    WriteWholeFile(scratch / L"a file", "not a folder");
    const std::wstring unreadable[] = {
        scratch / L"missing",
        scratch / L"a file",
        L"Q:\\no such drive",
    };
    for (const std::wstring& installDir : unreadable) {
        std::wstring exePath = L"before";
        std::wstring error = L"before";
        EXPECT_FALSE(FindClientExecutable(installDir, exePath, &error)) << Narrow(installDir);
        EXPECT_EQ(error, L"无法读取安装目录");
        EXPECT_EQ(exePath, L"before");
        EXPECT_FALSE(FindClientExecutable(installDir, exePath, nullptr));
    }
}

}  // namespace
