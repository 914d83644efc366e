#include "install/client_search.h"

#include <windows.h>

#include <filesystem>
#include <memory>
#include <system_error>

#include "config/text.h"

namespace fs = std::filesystem;

namespace {

constexpr std::wstring_view kTextCannotRead = L"无法读取安装目录";

struct FindCloser {
    void operator()(HANDLE find) const noexcept { FindClose(find); }
};

// The folder's reparse tag comes with its directory entry; plain entries, the most, need no
// look at it.
bool IsLinkedFolderOnDisk(const fs::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    const DWORD folderLink = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & folderLink) != folderLink) {
        return false;
    }
    WIN32_FIND_DATAW entry{};
    const HANDLE find = FindFirstFileW(path.c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return false;
    const std::unique_ptr<void, FindCloser> owned{find};
    return IsLinkedFolder(entry.dwFileAttributes, entry.dwReserved0);
}

bool IsClientName(std::wstring_view name) {
    for (const std::wstring_view client : ClientExecutableNames) {
        if (EqualIgnoringAsciiCase(name, client)) return true;
    }
    return false;
}

bool Fail(std::wstring* error) {
    if (error) error->assign(kTextCannotRead);
    return false;
}

enum class Kind { kRegularFile, kOther, kMissing, kError };

// The entry's type, following links. An entry that does not exist (or has just vanished) is
// missing, not an error.
Kind KindOf(const fs::path& path) {
    std::error_code failure;
    const fs::file_status status = fs::status(path, failure);
    if (status.type() == fs::file_type::not_found) return Kind::kMissing;
    if (failure) return Kind::kError;
    return status.type() == fs::file_type::regular ? Kind::kRegularFile : Kind::kOther;
}

}  // namespace

bool IsLinkedFolder(DWORD attributes, DWORD reparseTag) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           (reparseTag == IO_REPARSE_TAG_SYMLINK || reparseTag == IO_REPARSE_TAG_MOUNT_POINT);
}

bool FindClientExecutable(const std::wstring& installDir, std::wstring& exePath,
                          std::wstring* error) {
    // The usual layout, the executable at the top, costs two lookups and no walk.
    for (const std::wstring_view name : ClientExecutableNames) {
        const fs::path candidate = fs::path(installDir) / name;
        switch (KindOf(candidate)) {
            case Kind::kRegularFile:
                exePath = candidate.wstring();
                return true;
            case Kind::kError:
                return Fail(error);
            case Kind::kOther:
            case Kind::kMissing:
                break;
        }
    }

    std::error_code failure;
    fs::recursive_directory_iterator walk(installDir, fs::directory_options::skip_permission_denied,
                                          failure);
    if (failure) return Fail(error);
    for (const fs::recursive_directory_iterator end; walk != end;) {
        const fs::path& path = walk->path();
        if (IsClientName(path.filename().native())) {
            switch (KindOf(path)) {
                case Kind::kRegularFile:
                    exePath = path.wstring();
                    return true;
                case Kind::kError:
                    return Fail(error);
                case Kind::kOther:
                case Kind::kMissing:
                    break;
            }
        }
        // Linked folders are listed but not entered; this library cannot tell a junction or a
        // directory link from a plain folder, the directory entry can.
        if (IsLinkedFolderOnDisk(path)) walk.disable_recursion_pending();
        walk.increment(failure);
        if (failure) return Fail(error);
    }
    exePath.clear();
    return true;
}
