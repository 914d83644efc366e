#include "common/log.h"

#include <windows.h>

#include <cwchar>
#include <mutex>
#include <string>

#include "common/owners.h"
#include "common/text.h"

namespace {

constexpr wchar_t kLogName[] = L"VexaBoxInstaller.log";
constexpr wchar_t kOldLogName[] = L"VexaBoxInstaller.old.log";
constexpr ULONGLONG kTurnOver = ULONGLONG{1} << 20;

// The process's log file, written by one thread at a time.
std::mutex LogLock;
UniqueHandle LogFile;

void Write(std::wstring_view line) {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    wchar_t stamp[32];
    swprintf(stamp, 32, L"%04u-%02u-%02u %02u:%02u:%02u.%03u ", now.wYear, now.wMonth, now.wDay,
             now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    std::wstring text = stamp;
    for (const wchar_t c : line)
        text += c < 0x20 || c == 0x7F ? L' ' : c;
    text += L"\r\n";
    const std::string utf8 = WideToUtf8(text);
    DWORD written = 0;
    // One write a line: lines of two writers never mix.
    WriteFile(LogFile.get(), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

}  // namespace

void BeginLog(std::wstring_view heading) {
    const std::lock_guard<std::mutex> locked(LogLock);
    LogFile.reset();
    const std::wstring folder = TempDirectory();
    if (folder.empty()) return;
    const std::wstring path = folder + kLogName;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
        (ULONGLONG{data.nFileSizeHigh} << 32 | data.nFileSizeLow) > kTurnOver) {
        MoveFileExW(path.c_str(), (folder + kOldLogName).c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    // Appended to by this process and others alike.
    LogFile = OpenFileItself(path.c_str(), FILE_APPEND_DATA,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_ALWAYS);
    if (LogFile) Write(heading);
}

void Log(std::wstring_view line) {
    const std::lock_guard<std::mutex> locked(LogLock);
    if (LogFile) Write(line);
}
