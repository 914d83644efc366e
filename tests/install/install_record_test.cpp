#include "install/install_record.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/owners.h"
#include "install/zip_listing.h"
#include "support/test_files.h"
#include "support/test_server.h"

namespace {

// Only what stays inside the install folder may be removed.
TEST(IsRemovablePath, TakesOnlyPlainPathsInsideTheFolder) {
    const struct {
        std::wstring path;
        bool removable;
    } cases[] = {{L"Vexa盒子.exe", true},
                 {L"data\\深层\\文件.txt", true},
                 {L"data/a b.txt", true},
                 {L"", false},
                 {L"..\\up.txt", false},
                 {L"data\\..\\..\\up.txt", false},
                 {L"data\\.\\a.txt", false},
                 {L"data\\\\a.txt", false},
                 {L"\\root.txt", false},
                 {L"/root.txt", false},
                 {L"\\\\server\\share\\a", false},
                 {L"C:\\Windows\\a.dll", false},
                 {L"C:a.dll", false},
                 {L"a.txt:stream", false},
                 {L"data\\. .\\a.txt", false},
                 {L"trailing.", false},
                 {L"trailing ", false},
                 {std::wstring(L"a\0b", 3), false},
                 {L"a\tb", false}};
    for (const auto& c : cases)
        EXPECT_EQ(IsRemovablePath(c.path), c.removable) << Narrow(c.path);
}

// One path a line after the heading; every install adds what it brought, each path once.
TEST(InstallRecord, KeepsWhatEveryInstallAddedEachPathOnce) {
    std::vector<std::wstring> paths = {L"old"};
    EXPECT_TRUE(ParseInstallRecord(FormatInstallRecord({L"a.txt", L"深层\\b"}), paths));
    EXPECT_EQ(paths, (std::vector<std::wstring>{L"a.txt", L"深层\\b"}));
    for (const std::string& text :
         {std::string("VexaBoxInstaller installed files 2\na\n"), std::string("a\n"),
          std::string("VexaBoxInstaller installed files 1\na\x01\n"),
          std::string("VexaBoxInstaller installed files 1\na\0b\n", 39),
          std::string("VexaBoxInstaller installed files 1\na")}) {
        EXPECT_FALSE(ParseInstallRecord(text, paths)) << testing::PrintToString(text);
    }
    EXPECT_EQ(paths.size(), 2u) << "left untouched";

    const ScratchDir scratch;
    EXPECT_TRUE(ReadInstallRecord(scratch.Path()).empty());
    ASSERT_TRUE(AddToInstallRecord(scratch.Path(), {L"Vexa盒子.exe", L"data\\a.txt", L"..\\x"}));
    ASSERT_TRUE(AddToInstallRecord(scratch.Path(), {L"DATA\\A.TXT", L"data\\b.txt"}));
    EXPECT_EQ(ReadInstallRecord(scratch.Path()),
              (std::vector<std::wstring>{L"Vexa盒子.exe", L"data\\a.txt", L"data\\b.txt"}));
    EXPECT_EQ(ListTree(scratch.Path()), L"VexaBoxInstaller.installed-files\n");
}

std::vector<std::wstring> Listed(const std::string& zip, bool& ok) {
    const UniqueHandle file{
        ValidHandle(CreateFileW(TestZipPath(zip).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr))};
    std::vector<std::wstring> names = {L"untouched"};
    ok = ListZipFiles(file.get(), names);
    return names;
}

// The files a package holds, as Expand-Archive names them; folders are not files.
TEST(ListZipFiles, NamesTheFilesOfTheCentralDirectory) {
    wchar_t legacy[16] = {};
    MultiByteToWideChar(CP_ACP, 0, "caf\xE9.txt", -1, legacy, 16);
    const struct {
        std::string zip;
        std::vector<std::wstring> names;  // {L"untouched"}: no archive
    } cases[] = {
        {"package.zip",
         {L"Vexa盒子.exe", L"readme.txt", L"data\\深层\\文件.txt", L"data\\big.bin", L"empty.txt",
          L"O'Brien [1] $x ‘’.txt"}},
        {"legacy-names.zip", {legacy}},
        {"truncated.zip", {L"untouched"}},
        {"page.zip", {L"untouched"}},
    };
    for (const auto& c : cases) {
        bool ok = false;
        EXPECT_EQ(Listed(c.zip, ok), c.names) << c.zip;
        EXPECT_EQ(ok, c.names.front() != L"untouched") << c.zip;
    }
    bool ok = false;
    const std::vector<std::wstring> many = Listed("many-entries.zip", ok);
    EXPECT_TRUE(ok);
    ASSERT_EQ(many.size(), 65536u);
    EXPECT_EQ(many.back(), L"f\\65535");
}

}  // namespace
