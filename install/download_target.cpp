#include "install/download_target.h"

#include <filesystem>
#include <string_view>

#include "common/text.h"

namespace {

constexpr wchar_t kZipExtension[] = L".zip";
constexpr size_t kMaxNameUnits = 100;

// Windows opens a device instead of a file for these names, whatever extension follows them,
// and also when spaces stand between the name and the extension.
bool IsDeviceName(std::wstring_view name) {
    std::wstring_view stem = name.substr(0, name.find(L'.'));
    while (!stem.empty() && stem.back() == L' ')
        stem.remove_suffix(1);
    static constexpr const wchar_t* kFixed[] = {L"CON", L"PRN",    L"AUX",
                                                L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* device : kFixed) {
        if (EqualIgnoringAsciiCase(stem, device)) return true;
    }
    if (stem.size() != 4) return false;
    const std::wstring_view port = stem.substr(0, 3);
    if (!EqualIgnoringAsciiCase(port, L"COM") && !EqualIgnoringAsciiCase(port, L"LPT")) {
        return false;
    }
    const wchar_t digit = stem[3];
    // The superscript digits count as port numbers too.
    return (digit >= L'0' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' ||
           digit == L'\u00B3';
}

// A name that CreateFileW takes as one plain file in the directory it is joined to.
bool IsSafeFileName(std::wstring_view name) {
    if (name.empty() || name.size() > kMaxNameUnits) return false;
    if (name == L"." || name == L"..") return false;
    for (const wchar_t c : name) {
        if (c < 0x20 || std::wstring_view(L"<>:\"/\\|?*").find(c) != std::wstring_view::npos) {
            return false;
        }
    }
    if (name.back() == L'.' || name.back() == L' ') return false;
    return !IsDeviceName(name);
}

}  // namespace

std::wstring PackageFileName(const std::wstring& url) {
    std::wstring_view kept(url);
    kept = kept.substr(0, kept.find(L'?'));
    const size_t separator = kept.find_last_of(L"/\\");
    std::wstring name(separator == std::wstring_view::npos ? kept : kept.substr(separator + 1));
    if (name.find(L'.') == std::wstring::npos || !IsSafeFileName(name)) {
        name = kDefaultPackageFileName;
    }
    const std::wstring_view zip = kZipExtension;
    const bool endsInZip =
        name.size() >= zip.size() &&
        EqualIgnoringAsciiCase(std::wstring_view(name).substr(name.size() - zip.size()), zip);
    if (!endsInZip) name += zip;
    return name;
}

std::wstring TempDownloadPath(const std::wstring& fileName) {
    return (std::filesystem::path(TempDirectory()) / fileName).wstring();
}
