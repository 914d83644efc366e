#include "install/client_search.h"

#include <windows.h>

#include <filesystem>
#include <system_error>

#include "common/error_text.h"
#include "common/owners.h"
#include "common/text.h"

namespace fs = std::filesystem;

namespace {

constexpr wchar_t kTextCannotRead[] = L"无法读取安装目录";

// The folder's reparse tag comes with its directory entry; plain entries, the most, need no
// look at it.
bool IsLinkedFolderOnDisk(const fs::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    const DWORD folderLink = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & folderLink) != folderLink) {
        return false;
    }
    WIN32_FIND_DATAW entry{};
    const UniqueFind find{ValidHandle(FindFirstFileW(path.c_str(), &entry))};
    return find && IsLinkedFolder(entry.dwFileAttributes, entry.dwReserved0);
}

bool IsClientName(std::wstring_view name) {
    for (const wchar_t* client : kClientExecutableNames) {
        if (EqualIgnoringAsciiCase(name, client)) return true;
    }
    return false;
}

enum class Outcome { kGoOn, kFound, kFailed };

// A regular file ends the search with its path; an entry whose type cannot be read ends it
// with a failure. An entry that does not exist (or has just vanished) lets it go on.
Outcome Examine(const fs::path& path, std::wstring& exePath) {
    std::error_code failure;
    const fs::file_status status = fs::status(path, failure);
    if (status.type() == fs::file_type::not_found) return Outcome::kGoOn;
    if (failure) return Outcome::kFailed;
    if (status.type() != fs::file_type::regular) return Outcome::kGoOn;
    exePath = path.wstring();
    return Outcome::kFound;
}

bool Finish(Outcome outcome, std::wstring* error) {
    return outcome == Outcome::kFound || Fail(error, kTextCannotRead);
}

}  // namespace

bool IsLinkedFolder(DWORD attributes, DWORD reparseTag) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           (reparseTag == IO_REPARSE_TAG_SYMLINK || reparseTag == IO_REPARSE_TAG_MOUNT_POINT);
}

bool FindClientExecutable(const std::wstring& installDir, std::wstring& exePath,
                          std::wstring* error) {
    // The usual layout, the executable at the top, costs two lookups and no walk.
    for (const wchar_t* name : kClientExecutableNames) {
        const Outcome outcome = Examine(fs::path(installDir) / name, exePath);
        if (outcome != Outcome::kGoOn) return Finish(outcome, error);
    }

    std::error_code failure;
    fs::recursive_directory_iterator walk(installDir, fs::directory_options::skip_permission_denied,
                                          failure);
    if (failure) return Fail(error, kTextCannotRead);
    for (const fs::recursive_directory_iterator end; walk != end;) {
        const fs::path& path = walk->path();
        if (IsClientName(path.filename().native())) {
            const Outcome outcome = Examine(path, exePath);
            if (outcome != Outcome::kGoOn) return Finish(outcome, error);
        }
        // Linked folders are listed but not entered; this library cannot tell a junction or a
        // directory link from a plain folder, the directory entry can.
        if (IsLinkedFolderOnDisk(path)) walk.disable_recursion_pending();
        walk.increment(failure);
        if (failure) return Fail(error, kTextCannotRead);
    }
    exePath.clear();
    return true;
}
