#include "app/install_location.h"

#include <shlobj.h>

#include "common/owners.h"
#include "common/text.h"

namespace {

constexpr wchar_t kPickerTitle[] = L"选择盒子安装位置";

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

bool IsAsciiLetter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// Length of the root name: "D:", or "\\server" (also "\\?" and "\\." of device paths).
size_t RootNameLength(std::wstring_view text) {
    if (text.size() >= 2 && IsAsciiLetter(text[0]) && text[1] == L':') return 2;
    if (text.size() >= 3 && IsSeparator(text[0]) && IsSeparator(text[1]) && !IsSeparator(text[2])) {
        size_t end = 3;
        while (end < text.size() && !IsSeparator(text[end]))
            ++end;
        return end;
    }
    return 0;
}

// The last element after the root; empty when the text ends at its root or in a separator.
std::wstring_view LastElement(std::wstring_view text) {
    size_t start = RootNameLength(text);
    while (start < text.size() && IsSeparator(text[start]))
        ++start;
    const std::wstring_view rest = text.substr(start);
    const size_t separator = rest.find_last_of(L"\\/");
    return separator == std::wstring_view::npos ? rest : rest.substr(separator + 1);
}

std::wstring DriveRoot(wchar_t letter) {
    return {letter, L':', L'\\'};
}

}  // namespace

std::wstring ChooseInstallRoot(const std::function<UINT(const std::wstring& root)>& driveType,
                               const std::function<DWORD()>& logicalDrives) {
    if (driveType(DriveRoot(L'D')) != DRIVE_NO_ROOT_DIR) return DriveRoot(L'D');
    const DWORD mask = logicalDrives();
    for (wchar_t letter = L'C'; letter <= L'Z'; ++letter) {
        if ((mask >> (letter - L'A')) & 1) {
            if (driveType(DriveRoot(letter)) == DRIVE_FIXED) return DriveRoot(letter);
        }
    }
    return DriveRoot(L'C');
}

std::wstring DefaultInstallDir() {
    const std::wstring root = ChooseInstallRoot(
        [](const std::wstring& drive) { return GetDriveTypeW(drive.c_str()); }, GetLogicalDrives);
    return ComposeInstallDir(root);
}

std::wstring ComposeInstallDir(const std::wstring& text) {
    std::wstring dir = TrimWide(text);
    while (dir.size() > 3 && IsSeparator(dir.back()))
        dir.pop_back();
    if (dir.empty()) return dir;
    if (EqualIgnoringAsciiCase(LastElement(dir), kDedicatedFolderName)) return dir;
    const bool bareDrive = dir.size() == 2 && IsAsciiLetter(dir[0]) && dir[1] == L':';
    if (!bareDrive && !IsSeparator(dir.back())) dir += L'\\';
    dir += kDedicatedFolderName;
    return dir;
}

std::wstring AbsoluteInstallDir(const std::wstring& dir) {
    const bool driveRooted =
        dir.size() >= 3 && IsAsciiLetter(dir[0]) && dir[1] == L':' && IsSeparator(dir[2]);
    const bool network = dir.size() >= 2 && IsSeparator(dir[0]) && IsSeparator(dir[1]);
    if (driveRooted || network) return dir;
    const DWORD units = GetFullPathNameW(dir.c_str(), 0, nullptr, nullptr);
    if (units == 0) return dir;
    std::wstring absolute(units, L'\0');
    const DWORD written = GetFullPathNameW(dir.c_str(), units, absolute.data(), nullptr);
    if (written == 0 || written >= units) return dir;
    absolute.resize(written);
    return absolute;
}

std::wstring CompleteInstallDir(const std::wstring& text) {
    std::wstring dir = ComposeInstallDir(text);
    if (dir.empty()) dir = DefaultInstallDir();
    return AbsoluteInstallDir(dir);
}

std::wstring BrowseInstallDir(HWND owner) {
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.lpszTitle = kPickerTitle;
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    const UniqueCoTaskMem<ITEMIDLIST> chosen{SHBrowseForFolderW(&info)};
    if (!chosen) return {};
    wchar_t path[MAX_PATH] = {};  // the size SHGetPathFromIDListW writes into
    if (!SHGetPathFromIDListW(chosen.get(), path)) return {};
    std::wstring dir = ComposeInstallDir(path);
    if (dir.empty()) dir = DefaultInstallDir();
    return dir;
}
