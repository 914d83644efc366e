#include "support/test_files.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

#include "common/owners.h"
#include "install/folder_walk.h"
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
    path_ = fs::temp_directory_path() / (L"vexa-test-" + std::to_wstring(GetCurrentProcessId()) +
                                         L"-" + std::to_wstring(++counter));
    fs::remove_all(path_);
    fs::create_directories(path_);
}

ScratchDir::~ScratchDir() {
    RemoveTree(path_);
}

std::string ReadWholeFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const fs::path& path, std::string_view bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::wstring ListTree(const fs::path& root) {
    std::vector<std::wstring> names;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        names.push_back(entry.path().lexically_relative(root).wstring() +
                        (entry.is_directory() ? L"\\" : L""));
    }
    std::sort(names.begin(), names.end());
    std::wstring list;
    for (const std::wstring& name : names)
        list += name + L'\n';
    return list;
}

namespace {

// Runs a host program as Wine starts a Linux program, in the folder, and waits until the
// condition holds: its handles cannot be waited on, and its exit code does not come back.
bool RunOnHost(std::wstring commandLine, const fs::path& folder,
               const std::function<bool()>& done) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    UniqueProcess started;
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &started.info)) {
        return false;
    }
    for (int tries = 0; tries < 500; ++tries) {
        if (done()) return true;
        Sleep(20);
    }
    return false;
}

bool Exists(const fs::path& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

bool MakeHostLink(const fs::path& folder, const std::string& target, const std::string& link) {
    const fs::path made = folder / Widen(link);
    return RunOnHost(L"/bin/ln -s \"" + Widen(target) + L"\" \"" + Widen(link) + L"\"", folder,
                     [&] { return Exists(made); });
}

bool RemoveTree(const fs::path& path) {
    // The library's remove_all follows a Unix link under Wine, and may never end there.
    bool links = false;
    WalkFolder(path.wstring(), [&](const FolderEntry& entry) { return !(links = entry.IsLink()); });
    std::error_code failed;
    if (!links) fs::remove_all(path, failed);
    if (!links && !failed && !Exists(path)) return true;
    return RunOnHost(L"/bin/rm -rf \"" + path.filename().wstring() + L"\"", path.parent_path(),
                     [&] { return !Exists(path); });
}

Finally SetVariables(const std::map<std::wstring, std::wstring>& variables) {
    for (const auto& [name, value] : variables)
        SetEnvironmentVariableW(name.c_str(), value.c_str());
    return Finally([variables] {
        for (const auto& [name, value] : variables)
            SetEnvironmentVariableW(name.c_str(), nullptr);
    });
}

namespace {

constexpr wchar_t kConnections[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
constexpr wchar_t kConnectionSettings[] = L"DefaultConnectionSettings";

void AppendNumber(std::string& blob, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        blob += static_cast<char>(value >> shift & 0xFF);
}

}  // namespace

Finally SetInternetOptions(unsigned flags, const std::string& proxy, const std::string& bypass,
                           const std::string& pac) {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kConnections, kConnectionSettings);
    if (flags != 0) {
        // A version, a counter, the flags (0x1: a direct connection is allowed too), then each
        // text after its length.
        std::string blob;
        AppendNumber(blob, 0x46);
        AppendNumber(blob, 1);
        AppendNumber(blob, flags | 0x1);
        for (const std::string* text : {&proxy, &bypass, &pac}) {
            AppendNumber(blob, static_cast<std::uint32_t>(text->size()));
            blob += *text;
        }
        blob.append(32, '\0');
        RegSetKeyValueW(HKEY_CURRENT_USER, kConnections, kConnectionSettings, REG_BINARY,
                        blob.data(), static_cast<DWORD>(blob.size()));
    }
    return Finally(
        [] { RegDeleteKeyValueW(HKEY_CURRENT_USER, kConnections, kConnectionSettings); });
}
