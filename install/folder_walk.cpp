#include "install/folder_walk.h"

#include <string_view>
#include <vector>

#include "common/owners.h"

namespace {

// One folder's listing, under way.
struct Listing {
    std::wstring path, relative;
    UniqueFind find;
    WIN32_FIND_DATAW entry{};
};

// Starts the listing; ERROR_SUCCESS, or why it could not be started.
DWORD OpenListing(Listing& listing) {
    const std::wstring pattern = listing.path + L"\\*";
    listing.find.reset(
        ValidHandle(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &listing.entry,
                                     FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH)));
    return listing.find ? ERROR_SUCCESS : GetLastError();
}

// A folder that vanished meanwhile, or holds nothing at all.
bool IsGone(DWORD failure) {
    return failure == ERROR_FILE_NOT_FOUND || failure == ERROR_PATH_NOT_FOUND;
}

bool IsDotEntry(std::wstring_view name) {
    return name == L"." || name == L"..";
}

}  // namespace

bool IsLinkTag(DWORD reparseTag) {
    return reparseTag == 0 || IsReparseTagNameSurrogate(reparseTag);
}

bool IsLinkEntry(DWORD attributes, DWORD reparseTag) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsLinkTag(reparseTag);
}

bool WalkFolder(const std::wstring& root, const std::function<bool(const FolderEntry&)>& visit) {
    std::wstring top = root;
    while (top.size() > 3 && (top.back() == L'\\' || top.back() == L'/'))
        top.pop_back();
    std::vector<Listing> open;
    open.push_back({top, L"", {}, {}});
    if (const DWORD failure = OpenListing(open.back())) return IsGone(failure);
    bool fresh = true;  // the entry of the listing on top has not been looked at yet
    while (!open.empty()) {
        Listing& listing = open.back();
        if (!fresh && !FindNextFileW(listing.find.get(), &listing.entry)) {
            if (GetLastError() != ERROR_NO_MORE_FILES) return false;
            open.pop_back();
            continue;
        }
        fresh = false;
        const WIN32_FIND_DATAW& found = listing.entry;
        if (IsDotEntry(found.cFileName)) continue;
        FolderEntry entry;
        entry.path = listing.path + L"\\" + found.cFileName;
        entry.relative =
            listing.relative.empty() ? found.cFileName : listing.relative + L"\\" + found.cFileName;
        entry.attributes = found.dwFileAttributes;
        entry.reparseTag =
            (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? found.dwReserved0 : 0;
        entry.size = (std::uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
        if (!visit(entry)) return true;
        if (!entry.IsFolder()) continue;
        Listing inner{entry.path, entry.relative, {}, {}};
        const DWORD failure = OpenListing(inner);
        if (failure == ERROR_SUCCESS) {
            open.push_back(std::move(inner));
            fresh = true;
        } else if (failure != ERROR_ACCESS_DENIED && !IsGone(failure)) {
            return false;
        }
    }
    return true;
}
