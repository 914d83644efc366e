#include "install/install_record.h"

#include <windows.h>

#include <algorithm>
#include <unordered_set>

#include "common/owners.h"
#include "common/text.h"

namespace {

constexpr char kHeading[] = "VexaBoxInstaller installed files 1";
// Far beyond any package's list: a record longer than this is none of ours.
constexpr DWORD kLongestRecord = DWORD{64} << 20;

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// A step that names an entry of its own as it is written: Windows drops trailing dots and spaces.
bool IsPlainStep(std::wstring_view step) {
    return !step.empty() && step.back() != L'.' && step.back() != L' ';
}

std::wstring RecordPath(const std::wstring& directory) {
    return directory + L"\\" + kInstallRecordName;
}

}  // namespace

bool IsRemovablePath(std::wstring_view relative) {
    if (relative.empty() || IsSeparator(relative.front())) return false;
    if (std::any_of(relative.begin(), relative.end(),
                    [](wchar_t c) { return c < 0x20 || c == L':'; })) {
        return false;
    }
    for (size_t start = 0; start <= relative.size();) {
        size_t end = start;
        while (end < relative.size() && !IsSeparator(relative[end]))
            ++end;
        if (!IsPlainStep(relative.substr(start, end - start))) return false;
        start = end + 1;
    }
    return true;
}

std::string FormatInstallRecord(const std::vector<std::wstring>& paths) {
    std::string text = std::string(kHeading) + "\n";
    for (const std::wstring& path : paths)
        text += WideToUtf8(path) + "\n";
    return text;
}

bool ParseInstallRecord(std::string_view text, std::vector<std::wstring>& paths) {
    if (!text.starts_with(std::string(kHeading) + "\n")) return false;
    text.remove_prefix(sizeof(kHeading));
    if (!text.empty() && text.back() != '\n') return false;
    if (std::any_of(text.begin(), text.end(), [](char c) {
            return c != '\n' && (static_cast<unsigned char>(c) < 0x20 || c == 0x7F);
        })) {
        return false;
    }
    std::vector<std::wstring> found;
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string_view::npos;
         start = end + 1) {
        found.push_back(Utf8ToWide(std::string(text.substr(start, end - start))));
    }
    paths = std::move(found);
    return true;
}

std::vector<std::wstring> ReadInstallRecord(const std::wstring& directory) {
    const UniqueHandle file =
        OpenFileItself(RecordPath(directory).c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    LARGE_INTEGER size{};
    std::vector<std::wstring> paths;
    if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart > kLongestRecord) return paths;
    std::string text(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &read, nullptr) &&
        read == text.size()) {
        ParseInstallRecord(text, paths);
    }
    return paths;
}

bool AddToInstallRecord(const std::wstring& directory, const std::vector<std::wstring>& paths) {
    std::vector<std::wstring> all = ReadInstallRecord(directory);
    std::unordered_set<std::wstring> known;
    for (const std::wstring& path : all)
        known.insert(PathKey(path));
    for (const std::wstring& path : paths) {
        if (IsRemovablePath(path) && known.insert(PathKey(path)).second) all.push_back(path);
    }
    const std::string text = FormatInstallRecord(all);
    // Written anew beside the old one, which it then replaces: a record is never half written.
    const std::wstring path = RecordPath(directory);
    const std::wstring fresh = path + L".new";
    DeleteFileW(fresh.c_str());
    {
        const UniqueHandle file = OpenFileItself(fresh.c_str(), GENERIC_WRITE, 0, CREATE_NEW);
        DWORD written = 0;
        if (!file ||
            !WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written,
                       nullptr) ||
            written != text.size()) {
            DeleteFileW(fresh.c_str());
            return false;
        }
    }
    return MoveFileExW(fresh.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}
