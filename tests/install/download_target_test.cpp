#include "install/download_target.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/test_files.h"
#include "support/test_server.h"

namespace fs = std::filesystem;

namespace {

const std::wstring kDefault = L"Ruvirud.uro.zip";

TEST(PackageFileName, TakesTheLastSegmentBeforeTheQuery) {
    const struct {
        std::wstring url, expected;
    } cases[] = {
        {L"https://cdn.example.com/files/box-1.2.zip", L"box-1.2.zip"},
        {L"https://cdn.example.com/files/Box.ZIP?x=1", L"Box.ZIP"},
        {L"https://cdn.example.com/files/box.zip?token=a/b/c.zip", L"box.zip"},
        {L"https://cdn.example.com/files/box?name=a/b.zip", kDefault},
        {L"https://cdn.example.com/files/", kDefault},
        {L"https://cdn.example.com/files/box", kDefault},
        // The colon before the port makes the host name no file name.
        {L"https://cdn.example.com:8443", kDefault},
        {L"https://cdn.example.com", L"cdn.example.com.zip"},
        {L"https://cdn.example.com/a\\b\\box.zip", L"box.zip"},
        {L"https://cdn.example.com/box.zip#part", L"box.zip#part.zip"},
        {L"https://cdn.example.com/%E7%9B%92%E5%AD%90.zip", L"%E7%9B%92%E5%AD%90.zip"},
        {L"https://cdn.example.com/盒子 1.0.zip", L"盒子 1.0.zip"},
        {L"https://cdn.example.com/box.tar.gz", L"box.tar.gz.zip"},
        {L"https://cdn.example.com/box.exe", L"box.exe.zip"},
        {L"https://cdn.example.com/box.zip.", kDefault},
        {L"https://cdn.example.com/box.zip ", kDefault},
        {L"", kDefault},
        {L"?", kDefault},
        {L"box.zip", L"box.zip"},
        {L"..", kDefault},
        {L"https://cdn.example.com/.", kDefault},
        {L"https://cdn.example.com/.zip", L".zip"},
        // Not a plain file name in the temporary directory.
        {L"https://cdn.example.com/C:evil.zip", kDefault},
        {L"C:evil.zip", kDefault},
        {L"https://cdn.example.com/a|b.zip", kDefault},
        {L"https://cdn.example.com/a\"b.zip", kDefault},
        {L"https://cdn.example.com/a<b>.zip", kDefault},
        {L"https://cdn.example.com/a*.zip", kDefault},
        {L"https://cdn.example.com/a\tb.zip", kDefault},
        {std::wstring(L"https://cdn.example.com/a\0b.zip", 31), kDefault},
        {L"https://cdn.example.com/CON.zip", kDefault},
        {L"https://cdn.example.com/con.tar.zip", kDefault},
        {L"https://cdn.example.com/Nul.", kDefault},
        {L"https://cdn.example.com/aux .zip", kDefault},
        {L"https://cdn.example.com/COM1.zip", kDefault},
        {L"https://cdn.example.com/lpt9.zip", kDefault},
        {L"https://cdn.example.com/COM².zip", kDefault},
        {L"https://cdn.example.com/CONOUT$.zip", kDefault},
        {L"https://cdn.example.com/COM10.zip", L"COM10.zip"},
        {L"https://cdn.example.com/CONSOLE.zip", L"CONSOLE.zip"},
        {L"https://cdn.example.com/my.con.zip", L"my.con.zip"},
        {L"https://cdn.example.com/" + std::wstring(96, L'a') + L".zip",
         std::wstring(96, L'a') + L".zip"},
        {L"https://cdn.example.com/" + std::wstring(97, L'a') + L".zip", kDefault},
        {L"https://cdn.example.com/" + std::wstring(296, L'盒') + L".zip", kDefault},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PackageFileName(c.url), c.expected) << Narrow(c.url);
    }
}

TEST(TempDownloadPath, PlacesTheNameInTheTemporaryDirectory) {
    wchar_t temp[MAX_PATH + 1] = {};
    ASSERT_GT(GetTempPathW(MAX_PATH + 1, temp), 0u);
    const std::wstring directory = temp;
    ASSERT_EQ(directory.back(), L'\\');
    EXPECT_EQ(TempDownloadPath(L"box.zip"), directory + L"box.zip");
    EXPECT_EQ(TempDownloadPath(kDefault), directory + kDefault);
    EXPECT_EQ(TempDownloadPath(L"盒子 1.0.zip"), directory + L"盒子 1.0.zip");
}

TEST(SavePackageFile, WritesExactlyTheBodyAndReplacesAnOldFile) {
    const ScratchDir scratch;
    const std::wstring path = scratch / L"下载 [1] it's.zip";
    WriteWholeFile(path, std::string(100000, 'o'));

    std::string bytes;
    for (int i = 0; i < 3 * 1024 * 1024; ++i)
        bytes += static_cast<char>((i * 7) % 256);
    bytes += "\r\n\n\x1a\0end";
    const std::vector<char> body(bytes.begin(), bytes.end());
    std::wstring error = L"untouched";
    ASSERT_TRUE(SavePackageFile(path, body, &error));
    EXPECT_EQ(error, L"untouched");
    EXPECT_EQ(ReadWholeFile(path), bytes);

    // A shorter body leaves nothing of the longer one behind; an empty body an empty file.
    ASSERT_TRUE(SavePackageFile(path, {'P', 'K'}, nullptr));
    EXPECT_EQ(ReadWholeFile(path), "PK");
    ASSERT_TRUE(SavePackageFile(path, {}, &error));
    EXPECT_TRUE(fs::exists(path));
    EXPECT_EQ(fs::file_size(path), 0u);
    EXPECT_EQ(error, L"untouched");
}

TEST(SavePackageFile, ReportsAPathItCannotWrite) {
    const ScratchDir scratch;
    fs::create_directories(scratch / L"a folder.zip");
    const std::wstring paths[] = {
        scratch / L"missing folder\\box.zip",
        scratch / L"a folder.zip",
        scratch / L"bad<name>.zip",
        L"",
    };
    const std::vector<char> body = {'P', 'K', 3, 4};
    for (const std::wstring& path : paths) {
        std::wstring error = L"before";
        EXPECT_FALSE(SavePackageFile(path, body, &error)) << Narrow(path);
        EXPECT_EQ(error, L"无法写入下载文件") << Narrow(path);
        EXPECT_FALSE(SavePackageFile(path, body, nullptr));
    }
    EXPECT_EQ(ListTree(scratch.Path()), L"a folder.zip\\\n");
}

}  // namespace
