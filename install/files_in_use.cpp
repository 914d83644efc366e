#include "install/files_in_use.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <chrono>

#include "common/error_text.h"
#include "common/log.h"
#include "common/owners.h"
#include "common/text.h"
#include "install/folder_check.h"
#include "install/folder_walk.h"
#include "install/install_folder.h"

namespace {

constexpr auto kFirstWait = std::chrono::milliseconds(100);
constexpr auto kLongestRetry = std::chrono::seconds(10);
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Whether another process holds the file so that it could not be written.
bool IsHeld(const std::wstring& file) {
    const UniqueHandle opened{
        ValidHandle(CreateFileW(file.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT, nullptr))};
    return !opened && IsHolderFailure(GetLastError());
}

// Whether the entry itself, never what it leads to, may stay in the install folder. One that
// vanished meanwhile may; one whose descriptor this user may not read may not.
bool MayStay(const FolderEntry& entry, PSID user) {
    const UniqueHandle opened{ValidHandle(
        CreateFileW(entry.path.c_str(), READ_CONTROL, kShareAll, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr))};
    if (!opened) return GetLastError() != ERROR_ACCESS_DENIED;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(opened.get(), SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr,
                        nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const UniqueLocalMem<void> owned{descriptor};
    return MayStayInInstallFolder(descriptor, user);
}

}  // namespace

bool IsHolderFailure(DWORD failure) {
    return failure == ERROR_SHARING_VIOLATION || failure == ERROR_LOCK_VIOLATION;
}

bool CheckFolderContents(const std::wstring& directory, bool judgeOwners,
                         const std::wstring& except, std::wstring* error) {
    PSID user = nullptr;
    if (judgeOwners && !ConvertStringSidToSidW(CurrentUserSid().c_str(), &user)) {
        return Fail(error, kTextFolderOfOtherUser);
    }
    const UniqueLocalMem<void> ownedUser{user};
    const wchar_t* found = nullptr;
    const bool walked = WalkFolder(directory, [&](const FolderEntry& entry) {
        if (!except.empty() && SamePath(entry.path, except)) return true;
        if (user && !MayStay(entry, user)) {
            found = kTextFolderOfOtherUser;
            Log(L"of another account, or others may change it: " + entry.path);
        }
        const bool file = !(entry.attributes & FILE_ATTRIBUTE_DIRECTORY) && !entry.IsLink();
        if (!found && file && IsHeld(entry.path)) {
            found = kTextFilesInUse;
            Log(L"in use: " + entry.path);
        }
        return !found;
    });
    if (!walked) {
        Log(L"the folder could not be listed: " + directory);
        return Fail(error, kTextCannotOpenFolder);
    }
    if (found) return Fail(error, found);
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
