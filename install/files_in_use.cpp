#include "install/files_in_use.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <system_error>

#include "common/error_text.h"
#include "common/owners.h"

namespace fs = std::filesystem;

namespace {

constexpr wchar_t kTextInUse[] = L"Vexa盒子正在运行，请先退出";
constexpr auto kFirstWait = std::chrono::milliseconds(100);
constexpr auto kLongestRetry = std::chrono::seconds(10);

// Whether another process holds the file so that it could not be written. Any other failure (a
// read-only file, no rights) is not a holder's: unpacking over it fails as it always would.
bool IsHeld(const fs::path& file) {
    const UniqueHandle opened{ValidHandle(CreateFileW(
        file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr))};
    const DWORD failure = opened ? ERROR_SUCCESS : GetLastError();
    return failure == ERROR_SHARING_VIOLATION || failure == ERROR_LOCK_VIOLATION;
}

}  // namespace

bool CheckNothingInUse(const std::wstring& directory, std::wstring* error) {
    // Folders that cannot be listed, and linked folders, are not walked into: what they hold is
    // not unpacked over.
    std::error_code failure;
    fs::recursive_directory_iterator walk(directory, fs::directory_options::skip_permission_denied,
                                          failure);
    for (; !failure && walk != fs::recursive_directory_iterator(); walk.increment(failure)) {
        std::error_code ignored;
        if (walk->is_regular_file(ignored) && IsHeld(walk->path())) return Fail(error, kTextInUse);
    }
    return true;
}

bool RetryWhileHeld(const std::function<bool()>& attempt) {
    const auto deadline = std::chrono::steady_clock::now() + kLongestRetry;
    for (auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(kFirstWait);;
         wait *= 2) {
        if (attempt()) return true;
        const DWORD failure = GetLastError();
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if ((failure != ERROR_SHARING_VIOLATION && failure != ERROR_ACCESS_DENIED) ||
            left.count() <= 0) {
            return false;
        }
        Sleep(static_cast<DWORD>(std::min(wait, left).count()));
    }
}
