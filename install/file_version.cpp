#include "install/file_version.h"

#include <windows.h>

#include <cwchar>
#include <vector>

namespace {

std::wstring StringOf(std::vector<BYTE>& info, const std::wstring& block, const wchar_t* name) {
    void* text = nullptr;
    UINT units = 0;
    const std::wstring path = block + name;
    if (!VerQueryValueW(info.data(), path.c_str(), &text, &units) || !text || units == 0) {
        return {};
    }
    // The length counts the terminating zero, which some resources leave out.
    const auto* value = static_cast<const wchar_t*>(text);
    return std::wstring(value, wcsnlen(value, units));
}

}  // namespace

VersionStrings ReadVersionStrings(const std::wstring& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    std::vector<BYTE> info(size);
    if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, info.data())) return {};
    struct Translation {
        WORD language, codePage;
    };
    Translation* translations = nullptr;
    UINT bytes = 0;
    if (!VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translations), &bytes) ||
        bytes < sizeof(Translation)) {
        return {};
    }
    wchar_t block[64];
    swprintf(block, 64, L"\\StringFileInfo\\%04x%04x\\", translations[0].language,
             translations[0].codePage);
    return {StringOf(info, block, L"ProductVersion"), StringOf(info, block, L"CompanyName")};
}
