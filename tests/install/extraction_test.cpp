#include "install/extraction.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "support/test_files.h"
#include "support/test_server.h"
#include "test_config.h"

namespace fs = std::filesystem;

namespace {

// What package.zip holds (tools/make_test_zips.py).
constexpr wchar_t kPackageTree[] =
    L"O'Brien [1] $x ‘’.txt\nVexa盒子.exe\ndata\\\ndata\\big.bin\ndata\\深层\\\n"
    L"data\\深层\\文件.txt\nempty folder\\\nempty.txt\nreadme.txt\n";

// A copy of a prepared archive at a path of the test's choosing.
std::wstring PlaceZip(std::string_view name, const fs::path& path) {
    fs::create_directories(path.parent_path());
    fs::copy_file(TestZipPath(name), path, fs::copy_options::overwrite_existing);
    return path.wstring();
}

TEST(ExtractPackage, UnpacksIntoANewDirectoryWhateverThePathsHold) {
    const ScratchDir scratch;
    const std::wstring archive =
        PlaceZip("package.zip", scratch / L"下载 it's ‘a’ [1] $(x)\\p.zip");
    // Every quote PowerShell knows (the stand-in reads them as it does): a path that ended its
    // literal early would run the rest as code.
    const std::wstring destination =
        scratch / L"D' ; exit 0 ;'\\Tom’s [x] $HOME ‚b‛\\deep\\Vexa游戏盒子";
    std::wstring error = L"untouched";
    ASSERT_TRUE(ExtractPackage(archive, destination, &error));
    EXPECT_EQ(error, L"untouched");
    EXPECT_EQ(ListTree(destination), kPackageTree);
    EXPECT_EQ(ReadWholeFile(destination + L"\\data\\深层\\文件.txt"), "第一版");
    EXPECT_EQ(ReadWholeFile(archive), ReadWholeFile(TestZipPath("package.zip")));
    // Nothing was written anywhere but the destination and its missing parents: the archive's
    // folder and file, the destination's four levels and the package's nine entries.
    const std::wstring tree = ListTree(scratch.Path());
    EXPECT_EQ(std::count(tree.begin(), tree.end(), L'\n'), 15) << Narrow(tree);
}

// PowerShell's exit code decides: anything but 0 is a failed unpacking, and the archive stays.
TEST(ExtractPackage, ReportsAnyNonZeroExitCode) {
    const ScratchDir scratch;
    const struct {
        const char* archive;
        std::wstring exitCode;  // the stand-in's, when set; otherwise it unpacks
    } cases[] = {{"page.zip", L""},
                 {"truncated.zip", L""},
                 {"damaged.zip", L""},
                 {"package.uro", L""},
                 {"package.zip", L"2"},
                 {"package.zip", L"7"},
                 {"package.zip", L"4294967295"}};
    for (const auto& c : cases) {
        const std::wstring archive = PlaceZip(c.archive, scratch / Widen(c.archive));
        const std::wstring destination = scratch / (Widen(c.archive) + L" " + c.exitCode + L" out");
        const Finally exitCode = SetVariables({{L"VEXA_POWERSHELL_STANDIN_EXIT_CODE", c.exitCode}});
        std::wstring error = L"before";
        EXPECT_FALSE(ExtractPackage(archive, destination, &error)) << c.archive;
        EXPECT_EQ(error, L"解压失败，请确认安装包是 zip 格式") << c.archive;
        EXPECT_TRUE(fs::is_directory(destination)) << c.archive;  // made before PowerShell starts
        EXPECT_TRUE(fs::exists(archive)) << c.archive;
    }
}

TEST(ExtractPackage, RunsTheSystemPowerShellOnly) {
    const ScratchDir scratch;
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    {
        const std::wstring powerShell =
            std::wstring(system) + L"\\WindowsPowerShell\\v1.0\\powershell.exe";
        ASSERT_TRUE(MoveFileW(powerShell.c_str(), (powerShell + L".aside").c_str()));
        const Finally back(
            [&] { MoveFileW((powerShell + L".aside").c_str(), powerShell.c_str()); });
        std::wstring error;
        EXPECT_FALSE(ExtractPackage(TestZipPath("package.zip"), scratch / L"gone", &error));
        EXPECT_EQ(error, L"无法启动系统解压组件");
    }
    // Windows looks in the program's own folder first for a command without a full path; a
    // powershell.exe planted there (beside a downloaded installer, say) must not run.
    // trust_ca.exe ends with exit code 2 on this command line, and unpacks nothing.
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const fs::path planted = fs::path(self).parent_path() / L"powershell.exe";
    fs::copy_file(WindowsPathOfHost(std::string(kTestBuildDir) + "/tools/trust_ca.exe"), planted,
                  fs::copy_options::overwrite_existing);
    std::wstring error;
    EXPECT_TRUE(ExtractPackage(TestZipPath("package.zip"), scratch / L"here", &error))
        << Narrow(error);
    fs::remove(planted);
    EXPECT_EQ(ListTree(scratch / L"here"), kPackageTree);
}

}  // namespace
