// The PowerShell stand-in itself, run directly on archives made by Python's zipfile.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/test_files.h"
#include "support/test_server.h"
#include "test_config.h"

namespace fs = std::filesystem;

namespace {

constexpr DWORD kFailed = 1;
constexpr DWORD kBadCommand = 2;

const std::wstring kHead =
    L"powershell.exe -NoProfile -ExecutionPolicy Bypass -Command \"$ErrorActionPreference='Stop'; "
    L"Expand-Archive -LiteralPath ";

std::wstring Quote(const std::wstring& text) {
    std::wstring quoted = L"'";
    for (const wchar_t c : text) {
        if (c == L'\'') quoted += c;
        quoted += c;
    }
    return quoted + L"'";
}

std::wstring Command(const std::wstring& archive, const std::wstring& destination) {
    return kHead + Quote(archive) + L" -DestinationPath " + Quote(destination) + L" -Force\"";
}

// Runs the stand-in as built with the command line; its exit code, or -1 when it did not run.
long RunStandIn(const std::wstring& commandLine) {
    const std::wstring program =
        WindowsPathOfHost(std::string(kTestBuildDir) + "/tools/powershell.exe");
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), buffer.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &process)) {
        return -1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0xFFFF;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<long>(code);
}

TEST(PowerShellStandIn, UnpacksStoredAndDeflatedEntriesWithUtf8Names) {
    const ScratchDir scratch;
    const std::wstring destination = scratch / L"new\\Vexa游戏盒子";
    ASSERT_EQ(RunStandIn(Command(TestZipPath("package.zip"), destination)), 0);
    EXPECT_EQ(ListTree(destination),
              L"O'Brien [1] $x ‘’.txt\nVexa盒子.exe\ndata\\\ndata\\big.bin\ndata\\深层\\\n"
              L"data\\深层\\文件.txt\nempty folder\\\nempty.txt\nreadme.txt\n");
    EXPECT_EQ(ReadWholeFile(destination + L"\\Vexa盒子.exe"), "MZ client version 1");
    EXPECT_EQ(ReadWholeFile(destination + L"\\O'Brien [1] $x ‘’.txt"), "odd name");
    EXPECT_EQ(ReadWholeFile(destination + L"\\data\\深层\\文件.txt"), "第一版");
    EXPECT_EQ(fs::file_size(destination + L"\\data\\big.bin"), 12000u * 32);
    EXPECT_EQ(fs::file_size(destination + L"\\empty.txt"), 0u);

    // Again over the same files: replaced, and files of no entry stay.
    WriteWholeFile(destination + L"\\Vexa盒子.exe", "changed");
    WriteWholeFile(destination + L"\\mine.txt", "mine");
    ASSERT_EQ(RunStandIn(Command(TestZipPath("update.zip"), destination)), 0);
    EXPECT_EQ(ReadWholeFile(destination + L"\\Vexa盒子.exe"),
              "MZ client version 2, longer than before");
    EXPECT_EQ(ReadWholeFile(destination + L"\\data\\深层\\文件.txt"), "第二版");
    EXPECT_EQ(ReadWholeFile(destination + L"\\mine.txt"), "mine");
}

TEST(PowerShellStandIn, AcceptsOtherValidArchives) {
    const ScratchDir scratch;
    EXPECT_EQ(RunStandIn(Command(TestZipPath("commented.zip"), scratch / L"commented")), 0);
    EXPECT_EQ(ListTree(scratch / L"commented"), L"Vexa盒子.exe\nreadme.txt\n");
    EXPECT_EQ(RunStandIn(Command(TestZipPath("PACKAGE-UPPER.ZIP"), scratch / L"upper")), 0);
    EXPECT_EQ(ReadWholeFile(scratch / L"upper\\Vexa盒子.exe"), "MZ client version 1");
    EXPECT_EQ(RunStandIn(Command(TestZipPath("empty.zip"), scratch / L"empty\\deep")), 0);
    EXPECT_TRUE(fs::is_directory(scratch / L"empty\\deep"));
}

TEST(PowerShellStandIn, FailsLikeExpandArchiveWithErrorsStopping) {
    const ScratchDir scratch;
    WriteWholeFile(scratch / L"a file", "in the way");
    const struct {
        std::wstring archive, destination;
    } cases[] = {
        {scratch / L"missing.zip", scratch / L"out1"},
        {TestZipPath("package.uro"), scratch / L"out2"},
        {TestZipPath("package.zip.txt"), scratch / L"out3"},
        {TestZipPath("page.zip"), scratch / L"out4"},
        {TestZipPath("truncated.zip"), scratch / L"out5"},
        {TestZipPath("damaged.zip"), scratch / L"out6"},
        {TestZipPath("bzip2.zip"), scratch / L"out7"},
        {scratch.Path().wstring(), scratch / L"out8"},
        {TestZipPath("package.zip"), scratch / L"a file"},
        {TestZipPath("package.zip"), scratch / L"a file\\below"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RunStandIn(Command(c.archive, c.destination)), kFailed) << Narrow(c.archive);
    }
    EXPECT_EQ(ListTree(scratch.Path()).find(L"Vexa盒子.exe"), std::wstring::npos);
}

TEST(PowerShellStandIn, RefusesEntriesThatLeaveTheDestination) {
    const char* archives[] = {"escape-parent.zip", "escape-backslash.zip", "escape-nested.zip",
                              "escape-rooted.zip", "escape-drive.zip",     "escape-dots.zip"};
    for (const char* name : archives) {
        const ScratchDir scratch;
        const std::wstring destination = scratch / L"a\\b\\Vexa游戏盒子";
        EXPECT_EQ(RunStandIn(Command(TestZipPath(name), destination)), kFailed) << name;
        EXPECT_FALSE(fs::exists(scratch / L"a\\b\\escaped.txt")) << name;
        EXPECT_FALSE(fs::exists(scratch / L"a\\escaped.txt")) << name;
        EXPECT_FALSE(fs::exists(L"C:\\drive.txt")) << name;
        EXPECT_FALSE(fs::exists(L"C:\\rooted.txt")) << name;
    }
}

TEST(PowerShellStandIn, ReadsLiteralsAsPowerShellDoes) {
    const ScratchDir scratch;
    // Every kind of single quote closes a literal, and two in a row stand for one.
    const std::wstring archive = scratch / L"it's ‘a’ ‚b‛.zip";
    fs::copy_file(TestZipPath("commented.zip"), archive);
    const std::wstring quotedArchive = L"'" + scratch / L"it''s ‘‘a’’ ‚‚b‛‛.zip" + L"’";
    const std::wstring quotedDestination = L"‚" + scratch / L"‛‛out''" + L"‛";
    ASSERT_EQ(RunStandIn(kHead + quotedArchive + L" -DestinationPath " + quotedDestination +
                         L" -Force\""),
              0);
    EXPECT_EQ(ListTree(scratch / L"‛out'"), L"Vexa盒子.exe\nreadme.txt\n");
}

TEST(PowerShellStandIn, RefusesAnyOtherCommandLine) {
    const ScratchDir scratch;
    const std::wstring archive = Quote(TestZipPath("package.zip"));
    const std::wstring destination = Quote(scratch / L"out");
    const std::wstring good = kHead + archive + L" -DestinationPath " + destination + L" -Force\"";
    ASSERT_EQ(RunStandIn(good), 0);
    const std::wstring bad[] = {
        good + L" ",
        good.substr(0, good.size() - 1),
        L"pwsh.exe" + good.substr(14),
        L"\"powershell.exe\"" + good.substr(14),
        kHead + archive + L" -DestinationPath " + destination + L"\"",
        kHead + L"\"" + TestZipPath("package.zip") + L"\" -DestinationPath " + destination +
            L" -Force\"",
        kHead + archive + L" -DestinationPath " + L"'unterminated -Force\"",
        kHead + archive + L"  -DestinationPath " + destination + L" -Force\"",
        kHead + archive + L" -DestinationPath " + destination + L"x -Force\"",
        L"",
    };
    for (const std::wstring& line : bad) {
        EXPECT_EQ(RunStandIn(line), kBadCommand) << Narrow(line);
    }
}

}  // namespace
