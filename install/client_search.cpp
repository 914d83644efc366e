#include "install/client_search.h"

#include <windows.h>

#include <filesystem>
#include <system_error>

#include "common/error_text.h"
#include "common/text.h"
#include "install/folder_walk.h"

namespace fs = std::filesystem;

namespace {

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
    return outcome == Outcome::kFound || Fail(error, kTextCannotReadFolder);
}

}  // namespace

bool FindClientExecutable(const std::wstring& installDir, std::wstring& exePath,
                          std::wstring* error) {
    // The usual layout, the executable at the top, costs two lookups and no walk.
    for (const wchar_t* name : kClientExecutableNames) {
        const Outcome outcome = Examine(fs::path(installDir) / name, exePath);
        if (outcome != Outcome::kGoOn) return Finish(outcome, error);
    }

    // A walk finds nothing in a folder that is gone; the search cannot read it.
    const DWORD folder = GetFileAttributesW(installDir.c_str());
    if (folder == INVALID_FILE_ATTRIBUTES || !(folder & FILE_ATTRIBUTE_DIRECTORY)) {
        return Fail(error, kTextCannotReadFolder);
    }
    std::wstring found;
    const bool walked = WalkFolder(installDir, [&](const FolderEntry& entry) {
        const bool file = !(entry.attributes & FILE_ATTRIBUTE_DIRECTORY) && !entry.IsLink();
        if (file && IsClientName(fs::path(entry.path).filename().native())) found = entry.path;
        return found.empty();
    });
    if (!walked) return Fail(error, kTextCannotReadFolder);
    exePath = found;
    return true;
}
