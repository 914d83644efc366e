#include "install/extraction.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include "support/test_files.h"
#include "support/test_server.h"
#include "test_config.h"

namespace fs = std::filesystem;

namespace {

constexpr wchar_t kCannotCreate[] = L"无法创建安装目录";
constexpr wchar_t kCannotStart[] = L"无法启动系统解压组件";
constexpr wchar_t kNotZip[] = L"解压失败，请确认安装包是 zip 格式";

// What package.zip holds (tools/make_test_zips.py).
constexpr wchar_t kPackageTree[] =
    L"O'Brien [1] $x ‘’.txt\n"
    L"Vexa盒子.exe\n"
    L"data\\\n"
    L"data\\big.bin\n"
    L"data\\深层\\\n"
    L"data\\深层\\文件.txt\n"
    L"empty folder\\\n"
    L"empty.txt\n"
    L"readme.txt\n";

std::string BigBody() {
    std::string body;
    char line[64];
    for (int i = 0; i < 12000; ++i) {
        std::snprintf(line, sizeof(line), "line %06d of the client data\r\n", i);
        body += line;
    }
    return body;
}

std::wstring PrefixLines(const std::wstring& prefix, const std::wstring& lines) {
    std::wstring result;
    size_t start = 0;
    while (start < lines.size()) {
        const size_t end = lines.find(L'\n', start) + 1;
        result += prefix + lines.substr(start, end - start);
        start = end;
    }
    return result;
}

std::set<std::wstring> TopLevelNames(const fs::path& folder) {
    std::set<std::wstring> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().wstring());
    return names;
}

std::wstring InstalledPowerShell() {
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    return std::wstring(system) + L"\\WindowsPowerShell\\v1.0\\powershell.exe";
}

// A copy of a prepared archive at a path of the test's choosing.
std::wstring PlaceZip(std::string_view name, const fs::path& path) {
    fs::create_directories(path.parent_path());
    fs::copy_file(TestZipPath(name), path, fs::copy_options::overwrite_existing);
    return path.wstring();
}

TEST(QuotePowerShellLiteral, DoublesEverySingleQuoteCharacter) {
    const struct {
        std::wstring text, expected;
    } cases[] = {
        {L"", L"''"},
        {L"D:\\O'Brien", L"'D:\\O''Brien'"},
        {L"'", L"''''"},
        {L"D:\\Tom’s Games", L"'D:\\Tom’’s Games'"},
        {L"‘a’ ‚b‛ 'c'", L"'‘‘a’’ ‚‚b‛‛ ''c'''"},
        {L"C:\\a b\\[x]\\$env:TEMP\\\"q\"\\“d”\\盒子",
         L"'C:\\a b\\[x]\\$env:TEMP\\\"q\"\\“d”\\盒子'"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(QuotePowerShellLiteral(c.text), c.expected) << Narrow(c.text);
    }
}

TEST(ExtractionCommandLine, HasTheFixedShape) {
    EXPECT_EQ(ExtractionCommandLine(L"C:\\Temp\\pkg.zip", L"D:\\Vexa游戏盒子"),
              L"powershell.exe -NoProfile -ExecutionPolicy Bypass -Command "
              L"\"$ErrorActionPreference='Stop'; Expand-Archive -LiteralPath 'C:\\Temp\\pkg.zip' "
              L"-DestinationPath 'D:\\Vexa游戏盒子' -Force\"");
    EXPECT_EQ(ExtractionCommandLine(L"C:\\it's.zip", L"D:\\O’Brien"),
              L"powershell.exe -NoProfile -ExecutionPolicy Bypass -Command "
              L"\"$ErrorActionPreference='Stop'; Expand-Archive -LiteralPath 'C:\\it''s.zip' "
              L"-DestinationPath 'D:\\O’’Brien' -Force\"");
}

TEST(ExtractPackage, UnpacksIntoANewDirectoryWhateverThePathsHoldAndKeepsTheArchive) {
    const ScratchDir scratch;
    const std::wstring archiveFolder = L"下载 it's ‘a’ ‚b‛ [1] $(x)";
    const std::wstring archive = PlaceZip("package.zip", scratch / (archiveFolder + L"\\pkg.zip"));
    // Quotes of every kind: a path that ended its literal early would run the rest as code.
    const std::wstring destinationTop = L"D' ; exit 0 ;'";
    const std::wstring below = L"Tom’s Games [x] $HOME\\deep\\er\\Vexa游戏盒子";
    const std::wstring destination = scratch / (destinationTop + L"\\" + below);
    std::wstring error = L"untouched";
    ASSERT_TRUE(ExtractPackage(archive, destination, &error));
    EXPECT_EQ(error, L"untouched");
    EXPECT_EQ(ListTree(destination), kPackageTree);
    EXPECT_EQ(ReadWholeFile(destination + L"\\Vexa盒子.exe"), "MZ client version 1");
    EXPECT_EQ(ReadWholeFile(destination + L"\\data\\深层\\文件.txt"), "第一版");
    EXPECT_EQ(ReadWholeFile(destination + L"\\data\\big.bin"), BigBody());
    EXPECT_EQ(ReadWholeFile(archive), ReadWholeFile(TestZipPath("package.zip")));

    // Nothing was written anywhere but the destination and its missing parents.
    EXPECT_EQ(TopLevelNames(scratch.Path()),
              (std::set<std::wstring>{archiveFolder, destinationTop}));
    EXPECT_EQ(ListTree(scratch / archiveFolder), L"pkg.zip\n");
    const std::wstring parents =
        L"Tom’s Games [x] $HOME\\\n"
        L"Tom’s Games [x] $HOME\\deep\\\n"
        L"Tom’s Games [x] $HOME\\deep\\er\\\n"
        L"Tom’s Games [x] $HOME\\deep\\er\\Vexa游戏盒子\\\n";
    EXPECT_EQ(ListTree(scratch / destinationTop),
              parents + PrefixLines(below + L"\\", kPackageTree));
}

TEST(ExtractPackage, ReplacesFilesOfAnEarlierInstallAndKeepsTheOthers) {
    const ScratchDir scratch;
    const std::wstring destination = scratch / L"Vexa游戏盒子";
    ASSERT_TRUE(ExtractPackage(TestZipPath("package.zip"), destination, nullptr));
    WriteWholeFile(destination + L"\\user settings.ini", "kept");
    WriteWholeFile(destination + L"\\readme.txt", "edited by the user");

    const std::wstring update = PlaceZip("update.zip", scratch / L"update.zip");
    std::wstring error;
    ASSERT_TRUE(ExtractPackage(update, destination, &error)) << Narrow(error);
    EXPECT_EQ(ReadWholeFile(destination + L"\\Vexa盒子.exe"),
              "MZ client version 2, longer than before");
    EXPECT_EQ(ReadWholeFile(destination + L"\\data\\深层\\文件.txt"), "第二版");
    EXPECT_EQ(ReadWholeFile(destination + L"\\readme.txt"), "edited by the user");
    EXPECT_EQ(ReadWholeFile(destination + L"\\user settings.ini"), "kept");
    EXPECT_EQ(ReadWholeFile(destination + L"\\data\\big.bin"), BigBody());
}

TEST(ExtractPackage, ReportsAnArchiveThatIsNoUsableZip) {
    const ScratchDir scratch;
    const char* archives[] = {"page.zip", "truncated.zip", "damaged.zip", "package.uro"};
    for (const char* name : archives) {
        const std::wstring archive = PlaceZip(name, scratch / Widen(name));
        const std::wstring destination = scratch / (Widen(name) + L" install");
        std::wstring error = L"before";
        EXPECT_FALSE(ExtractPackage(archive, destination, &error)) << name;
        EXPECT_EQ(error, kNotZip) << name;
        EXPECT_FALSE(ExtractPackage(archive, destination, nullptr)) << name;
        EXPECT_TRUE(fs::is_directory(destination)) << name;  // made before PowerShell starts
        EXPECT_TRUE(fs::exists(archive)) << name;
    }
    std::wstring error;
    EXPECT_FALSE(ExtractPackage(scratch / L"missing.zip", scratch / L"missing install", &error));
    EXPECT_EQ(error, kNotZip);
}

TEST(ExtractPackage, ReportsADestinationThatCannotBeCreated) {
    const ScratchDir scratch;
    WriteWholeFile(scratch / L"a file", "in the way");
    const std::wstring destinations[] = {
        scratch / L"a file",
        scratch / L"a file\\Vexa游戏盒子",
        scratch / L"bad|name\\Vexa游戏盒子",
        L"Q:\\no such drive\\Vexa游戏盒子",
        L"",
    };
    for (const std::wstring& destination : destinations) {
        std::wstring error = L"before";
        EXPECT_FALSE(ExtractPackage(TestZipPath("package.zip"), destination, &error))
            << Narrow(destination);
        EXPECT_EQ(error, kCannotCreate) << Narrow(destination);
        EXPECT_FALSE(ExtractPackage(TestZipPath("package.zip"), destination, nullptr));
    }
    EXPECT_EQ(ListTree(scratch.Path()), L"a file\n");
    EXPECT_EQ(ReadWholeFile(scratch / L"a file"), "in the way");
}

TEST(ExtractPackage, ReportsAMissingPowerShell) {
    const ScratchDir scratch;
    {
        const MovedAside away(InstalledPowerShell());
        ASSERT_TRUE(away.Moved()) << "the stand-in is not installed in the prefix";
        std::wstring error = L"before";
        EXPECT_FALSE(ExtractPackage(TestZipPath("package.zip"), scratch / L"Vexa游戏盒子", &error));
        EXPECT_EQ(error, kCannotStart);
    }
    std::wstring error;
    EXPECT_TRUE(ExtractPackage(TestZipPath("package.zip"), scratch / L"Vexa游戏盒子", &error))
        << Narrow(error);
}

// Windows looks in the program's own folder first for a command without a full path; a
// powershell.exe planted there (beside a downloaded installer, say) must not run.
TEST(ExtractPackage, RunsTheSystemPowerShellNotOneBesideTheProgram) {
    wchar_t self[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    const fs::path planted = fs::path(self).parent_path() / L"powershell.exe";
    ASSERT_FALSE(fs::exists(planted));
    // trust_ca.exe ends with exit code 2 on any other command line, and unpacks nothing.
    const std::wstring impostor =
        WindowsPathOfHost(std::string(kTestBuildDir) + "/tools/trust_ca.exe");
    ASSERT_TRUE(CopyFileW(impostor.c_str(), planted.c_str(), TRUE));
    struct Remove {
        fs::path path;
        ~Remove() { DeleteFileW(path.c_str()); }
    } removeAtEnd{planted};

    const ScratchDir scratch;
    std::wstring error;
    EXPECT_TRUE(ExtractPackage(TestZipPath("package.zip"), scratch / L"Vexa游戏盒子", &error))
        << Narrow(error);
    EXPECT_EQ(ListTree(scratch / L"Vexa游戏盒子"), kPackageTree);
}

}  // namespace
