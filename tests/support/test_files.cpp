#include "support/test_files.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include "support/test_server.h"
#include "test_config.h"

namespace fs = std::filesystem;

std::wstring WindowsPathOfHost(std::string_view hostPath) {
    std::wstring path = L"Z:" + Widen(hostPath);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

std::wstring TestZipPath(std::string_view name) {
    return WindowsPathOfHost(std::string(kTestBuildDir) + "/test-zips/" + std::string(name));
}

ScratchDir::ScratchDir() {
    static std::atomic<int> counter{0};
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    path_ = fs::path(temp) / (L"vexa-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(++counter));
    fs::remove_all(path_);
    fs::create_directories(path_);
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::wstring ScratchDir::operator/(std::wstring_view relative) const {
    return (path_ / relative).wstring();
}

std::string ReadWholeFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const fs::path& path, std::string_view bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::wstring ListTree(const fs::path& root) {
    std::vector<std::wstring> names;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        std::wstring name = entry.path().lexically_relative(root).wstring();
        if (entry.is_directory()) name += L'\\';
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    std::wstring list;
    for (const std::wstring& name : names)
        list += name + L'\n';
    return list;
}

MovedAside::MovedAside(fs::path original)
    : original_(std::move(original)), aside_(original_.wstring() + L".moved-aside") {
    moved_ = MoveFileExW(original_.c_str(), aside_.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

MovedAside::~MovedAside() {
    if (moved_) MoveFileExW(aside_.c_str(), original_.c_str(), MOVEFILE_REPLACE_EXISTING);
}

namespace {
constexpr wchar_t kShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

bool SetDesktopValue(DWORD type, const std::wstring& value) {
    return RegSetKeyValueW(HKEY_CURRENT_USER, kShellFolders, L"Desktop", type, value.c_str(),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) ==
           ERROR_SUCCESS;
}
}  // namespace

DesktopRedirect::DesktopRedirect(const std::wstring& folder) {
    wchar_t value[1024] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CURRENT_USER, kShellFolders, L"Desktop",
                     RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, &previousType_, value,
                     &size) != ERROR_SUCCESS) {
        return;
    }
    previous_ = value;
    done_ = SetDesktopValue(REG_SZ, folder);
}

DesktopRedirect::~DesktopRedirect() {
    if (done_) SetDesktopValue(previousType_, previous_);
}
