#include "install/extraction.h"

#include <windows.h>

#include <vector>

#include "common/error_text.h"
#include "common/log.h"
#include "common/owners.h"
#include "install/install_folder.h"

namespace {

constexpr wchar_t kTextCannotStart[] = L"无法启动系统解压组件";
constexpr wchar_t kTextExtractFailed[] = L"解压失败，请确认安装包是 zip 格式";

constexpr wchar_t kCommandStart[] =
    L"powershell.exe -NoProfile -ExecutionPolicy Bypass -Command \"";
constexpr wchar_t kCommandEnd[] = L"\"";
constexpr wchar_t kCommandStop[] = L"$ErrorActionPreference='Stop'; ";
constexpr wchar_t kCommandExpand[] = L"Expand-Archive -LiteralPath ";
constexpr wchar_t kCommandDestination[] = L" -DestinationPath ";
constexpr wchar_t kCommandForce[] = L" -Force";
constexpr wchar_t kPowerShellBelowSystem[] = L"\\WindowsPowerShell\\v1.0\\powershell.exe";

// PowerShell ends a single-quoted literal at any of these, and reads two in a row as one.
bool IsPowerShellSingleQuote(wchar_t c) {
    return c == L'\'' || c == L'\u2018' || c == L'\u2019' || c == L'\u201A' || c == L'\u201B';
}

std::wstring SystemDirectory() {
    const UINT units = GetSystemDirectoryW(nullptr, 0);
    if (units == 0) return {};
    std::wstring path(units, L'\0');
    const UINT written = GetSystemDirectoryW(path.data(), units);
    if (written == 0 || written >= units) return {};
    path.resize(written);
    return path;
}

}  // namespace

std::wstring QuotePowerShellLiteral(const std::wstring& text) {
    std::wstring quoted;
    quoted.reserve(text.size() + 2);
    quoted += L'\'';
    for (const wchar_t c : text) {
        if (IsPowerShellSingleQuote(c)) quoted += c;
        quoted += c;
    }
    quoted += L'\'';
    return quoted;
}

bool StartPowerShell(const std::wstring& script, UniqueProcess& process) {
    // The system's own PowerShell by full path: without it CreateProcessW would look in the
    // installer's folder first, where anyone could have put a powershell.exe. It works in the
    // system directory, not in the installer's (usually Downloads) or the install folder.
    const std::wstring system = SystemDirectory();
    if (system.empty()) return false;
    const std::wstring application = system + kPowerShellBelowSystem;
    const std::wstring command = kCommandStart + script + kCommandEnd;
    // CreateProcessW may write into its command line.
    std::vector<wchar_t> buffer(command.begin(), command.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    return CreateProcessW(application.c_str(), buffer.data(), nullptr, nullptr, FALSE,
                          CREATE_NO_WINDOW, nullptr, system.c_str(), &startup,
                          &process.info) != FALSE;
}

bool ExtractPackage(const std::wstring& archivePath, const std::wstring& destinationDir,
                    std::wstring* error) {
    if (!CreateInstallFolder(destinationDir, error)) return false;
    const std::wstring script =
        kCommandStop + (kCommandExpand + QuotePowerShellLiteral(archivePath)) +
        kCommandDestination + QuotePowerShellLiteral(destinationDir) + kCommandForce;
    UniqueProcess powerShell;
    if (!StartPowerShell(script, powerShell)) {
        Log(L"PowerShell did not start: error " + std::to_wstring(GetLastError()));
        return Fail(error, kTextCannotStart);
    }
    WaitForSingleObject(powerShell.info.hProcess, INFINITE);
    DWORD exitCode = 1;
    GetExitCodeProcess(powerShell.info.hProcess, &exitCode);
    Log(L"PowerShell ended with exit code " + std::to_wstring(exitCode));
    if (exitCode != 0) return Fail(error, kTextExtractFailed);
    return true;
}
