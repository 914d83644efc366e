#include "install/download_target.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/test_files.h"
#include "support/test_server.h"

namespace fs = std::filesystem;

namespace {

const std::wstring kDefault = L"Ruvirud.uro.zip";

TEST(PackageFileName, TakesTheLastSegmentBeforeTheFirstQuestionMark) {
    ExpectEach(PackageFileName,
               {{L"https://cdn.example.com/files/Box.ZIP?x=1", L"Box.ZIP"},
                {L"https://cdn.example.com/box.zip?token=a/b/c.zip?d", L"box.zip"},
                {L"https://cdn.example.com/files/box?name=a/b.zip", kDefault},
                {L"https://cdn.example.com/files/", kDefault},
                {L"https://cdn.example.com:8443", kDefault},  // the port's colon: no file name
                {L"https://cdn.example.com", L"cdn.example.com.zip"},
                {L"https://cdn.example.com/a\\b\\box.zip", L"box.zip"},
                {L"https://cdn.example.com/盒子 1.0.tar.gz", L"盒子 1.0.tar.gz.zip"},
                {L"https://cdn.example.com/box.zip.", kDefault},
                {L"https://cdn.example.com/box.zip ", kDefault},
                {L"", kDefault},
                {L"..", kDefault},
                // Not one plain file in the temporary directory.
                {L"https://cdn.example.com/C:evil.zip", kDefault},
                {L"https://cdn.example.com/a|b<c>\".zip", kDefault},
                {L"https://cdn.example.com/a\tb.zip", kDefault},
                {L"https://cdn.example.com/con.tar.zip", kDefault},
                {L"https://cdn.example.com/aux .zip", kDefault},
                {L"https://cdn.example.com/COM².zip", kDefault},
                {L"https://cdn.example.com/lpt9.zip", kDefault},
                {L"https://cdn.example.com/CONOUT$.zip", kDefault},
                {L"https://cdn.example.com/my.con.zip", L"my.con.zip"},
                {L"https://c.example/" + std::wstring(96, L'a') + L".zip",
                 std::wstring(96, L'a') + L".zip"},
                {L"https://c.example/" + std::wstring(97, L'a') + L".zip", kDefault}});
}

TEST(SavePackageFile, WritesExactlyTheBodyOrReportsThePath) {
    const ScratchDir scratch;
    const std::wstring path = scratch / L"下载 [1] it's.zip";
    WriteWholeFile(path, std::string(100000, 'o'));
    std::string bytes(3 << 20, 'x');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 7) % 256);
    std::wstring error = L"untouched";
    ASSERT_TRUE(SavePackageFile(path, {bytes.begin(), bytes.end()}, &error));
    EXPECT_EQ(error, L"untouched");
    EXPECT_TRUE(ReadWholeFile(path) == bytes);
    // A shorter body leaves nothing of the longer one behind.
    ASSERT_TRUE(SavePackageFile(path, {'P', 'K'}, nullptr));
    EXPECT_EQ(ReadWholeFile(path), "PK");

    fs::create_directories(scratch / L"a folder.zip");
    for (const std::wstring& unwritable :
         {scratch / L"missing folder\\box.zip", scratch / L"a folder.zip", std::wstring()}) {
        EXPECT_FALSE(SavePackageFile(unwritable, {'P', 'K'}, &error)) << Narrow(unwritable);
        EXPECT_EQ(error, L"无法写入下载文件");
    }
    EXPECT_EQ(ListTree(scratch.Path()), L"a folder.zip\\\n下载 [1] it's.zip\n");
}

}  // namespace
