#include "install/install_folder.h"

#include <windows.h>
#include <sddl.h>

#include <filesystem>
#include <system_error>
#include <vector>

#include "common/error_text.h"
#include "common/text.h"

namespace fs = std::filesystem;

namespace {

constexpr wchar_t kTextCannotCreateDir[] = L"无法创建安装目录";

}  // namespace

bool EndsInDedicatedFolder(std::wstring_view directory) {
    while (!directory.empty() && (directory.back() == L'\\' || directory.back() == L'/'))
        directory.remove_suffix(1);
    const size_t separator = directory.find_last_of(L"\\/:");
    const std::wstring_view last =
        separator == std::wstring_view::npos ? directory : directory.substr(separator + 1);
    return EqualIgnoringAsciiCase(last, kDedicatedFolderName);
}

std::wstring CurrentUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    const UniqueHandle owned{token};
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size);
    if (size == 0 || !GetTokenInformation(token, TokenUser, user.data(), size, &size)) return {};
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &text)) {
        return {};
    }
    const UniqueLocalMem<wchar_t> ownedText{text};
    return text;
}

UniqueLocalMem<void> InstallFolderSecurity() {
    const std::wstring user = CurrentUserSid();
    if (user.empty()) return {};
    // P: protected, nothing inherited from above. OICI: handed on to files and folders inside.
    const std::wstring sddl =
        L"D:P(A;OICI;FA;;;" + user + L")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
        return {};
    }
    return UniqueLocalMem<void>{descriptor};
}

bool CreateInstallFolder(const std::wstring& directory, std::wstring* error) {
    fs::path level(directory);
    if (!level.has_filename()) level = level.parent_path();  // a trailing separator
    // The levels that are missing, innermost first, up to the first that is a folder.
    std::vector<fs::path> missing;
    for (;; level = level.parent_path()) {
        std::error_code failure;
        const fs::file_status status = fs::status(level, failure);
        if (fs::is_directory(status)) break;
        if (status.type() != fs::file_type::not_found || !level.has_relative_path()) {
            return Fail(error, kTextCannotCreateDir);
        }
        missing.push_back(level);
    }
    if (missing.empty()) return true;
    const UniqueLocalMem<void> descriptor = InstallFolderSecurity();
    if (!descriptor) return Fail(error, kTextCannotCreateDir);
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor.get(), FALSE};
    for (auto created = missing.rbegin(); created != missing.rend(); ++created) {
        // Another process may just have made it: a folder there is all that counts.
        std::error_code ignored;
        if (!CreateDirectoryW(created->c_str(), &attributes) &&
            !fs::is_directory(*created, ignored)) {
            return Fail(error, kTextCannotCreateDir);
        }
    }
    return true;
}
