// The PowerShell stand-in, as far as a wrong stand-in would hide a fault of the installer: it
// must refuse any command line but the installer's one, and read its literals as PowerShell
// reads them.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/owners.h"
#include "support/test_files.h"
#include "support/test_server.h"
#include "test_config.h"

namespace {

const std::wstring kHead =
    L"powershell.exe -NoProfile -ExecutionPolicy Bypass -Command \"$ErrorActionPreference='Stop'; "
    L"Expand-Archive -LiteralPath ";

// Runs the stand-in as built with the command line; its exit code, or -1 when it did not run.
long RunStandIn(const std::wstring& commandLine) {
    const std::wstring program =
        WindowsPathOfHost(std::string(kTestBuildDir) + "/tools/powershell.exe");
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    UniqueProcess process;
    if (!CreateProcessW(program.c_str(), buffer.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &process.info)) {
        return -1;
    }
    WaitForSingleObject(process.info.hProcess, INFINITE);
    DWORD code = 0xFFFF;
    GetExitCodeProcess(process.info.hProcess, &code);
    return static_cast<long>(code);
}

TEST(PowerShellStandIn, ReadsLiteralsAsPowerShellDoes) {
    const ScratchDir scratch;
    // Every kind of single quote closes a literal, and two in a row stand for one.
    CopyFileW(TestZipPath("commented.zip").c_str(), (scratch / L"it's ‘a’ ‚b‛.zip").c_str(), TRUE);
    const std::wstring archive = L"'" + scratch / L"it''s ‘‘a’’ ‚‚b‛‛.zip" + L"’";
    const std::wstring destination = L"‚" + scratch / L"‛‛out''" + L"‛";
    ASSERT_EQ(RunStandIn(kHead + archive + L" -DestinationPath " + destination + L" -Force\""), 0);
    EXPECT_EQ(ListTree(scratch / L"‛out'"), L"Vexa盒子.exe\nreadme.txt\n");
}

TEST(PowerShellStandIn, RefusesAnyOtherCommandLine) {
    const ScratchDir scratch;
    const std::wstring archive = L"'" + TestZipPath("package.zip") + L"'";
    const std::wstring destination = L"'" + scratch / L"out" + L"'";
    const std::wstring good = kHead + archive + L" -DestinationPath " + destination + L" -Force\"";
    ASSERT_EQ(RunStandIn(good), 0);
    const std::wstring bad[] = {
        good + L" ",
        L"pwsh.exe" + good.substr(14),
        kHead + archive + L" -DestinationPath " + destination + L"\"",
        kHead + L"\"" + TestZipPath("package.zip") + L"\" -DestinationPath " + destination +
            L" -Force\"",
        kHead + archive + L" -DestinationPath 'unterminated -Force\"",
        kHead + archive + L"  -DestinationPath " + destination + L" -Force\"",
        L"",
    };
    for (const std::wstring& line : bad)
        EXPECT_EQ(RunStandIn(line), 2) << Narrow(line);
}

}  // namespace
