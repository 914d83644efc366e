#include "install/extraction.h"

#include <windows.h>

#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>
#include <vector>

namespace {

constexpr std::wstring_view kTextCannotCreateDir = L"无法创建安装目录";
constexpr std::wstring_view kTextCannotStart = L"无法启动系统解压组件";
constexpr std::wstring_view kTextExtractFailed = L"解压失败，请确认安装包是 zip 格式";

constexpr std::wstring_view kCommandStart =
    L"powershell.exe -NoProfile -ExecutionPolicy Bypass -Command \"";
constexpr std::wstring_view kCommandStop = L"$ErrorActionPreference='Stop'; ";
constexpr std::wstring_view kCommandExpand = L"Expand-Archive -LiteralPath ";
constexpr std::wstring_view kCommandDestination = L" -DestinationPath ";
constexpr std::wstring_view kCommandEnd = L" -Force\"";
constexpr std::wstring_view kPowerShellBelowSystem = L"\\WindowsPowerShell\\v1.0\\powershell.exe";

template <auto Close>
struct Closer {
    template <class T>
    void operator()(T handle) const noexcept {
        if (handle) Close(handle);
    }
};
using UniqueHandle = std::unique_ptr<void, Closer<&CloseHandle>>;

bool Fail(std::wstring* error, std::wstring_view text) {
    if (error) error->assign(text);
    return false;
}

// PowerShell ends a single-quoted literal at any of these, and reads two in a row as one.
bool IsPowerShellSingleQuote(wchar_t c) {
    return c == L'\'' || c == L'\u2018' || c == L'\u2019' || c == L'\u201A' || c == L'\u201B';
}

// The system's own PowerShell by full path: without it CreateProcessW would look in the
// installer's folder first, where anyone could have put a powershell.exe.
std::wstring SystemPowerShellPath() {
    const UINT units = GetSystemDirectoryW(nullptr, 0);
    if (units == 0) return {};
    std::wstring path(units, L'\0');
    const UINT written = GetSystemDirectoryW(path.data(), units);
    if (written == 0 || written >= units) return {};
    path.resize(written);
    path += kPowerShellBelowSystem;
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

std::wstring ExtractionCommandLine(const std::wstring& archivePath,
                                   const std::wstring& destinationDir) {
    std::wstring command(kCommandStart);
    command += kCommandStop;
    command += kCommandExpand;
    command += QuotePowerShellLiteral(archivePath);
    command += kCommandDestination;
    command += QuotePowerShellLiteral(destinationDir);
    command += kCommandEnd;
    return command;
}

bool ExtractPackage(const std::wstring& archivePath, const std::wstring& destinationDir,
                    std::wstring* error) {
    std::error_code failure;
    std::filesystem::create_directories(destinationDir, failure);
    if (failure) return Fail(error, kTextCannotCreateDir);

    const std::wstring application = SystemPowerShellPath();
    if (application.empty()) return Fail(error, kTextCannotStart);
    const std::wstring command = ExtractionCommandLine(archivePath, destinationDir);
    // CreateProcessW may write into its command line.
    std::vector<wchar_t> buffer(command.begin(), command.end());
    buffer.push_back(L'\0');

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(application.c_str(), buffer.data(), nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process)) {
        return Fail(error, kTextCannotStart);
    }
    const UniqueHandle processHandle{process.hProcess};
    const UniqueHandle threadHandle{process.hThread};

    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    if (exitCode != 0) return Fail(error, kTextExtractFailed);
    return true;
}
