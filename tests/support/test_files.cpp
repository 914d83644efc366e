#include "support/test_files.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>
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
    path_ = fs::temp_directory_path() / (L"vexa-test-" + std::to_wstring(GetCurrentProcessId()) +
                                         L"-" + std::to_wstring(++counter));
    fs::remove_all(path_);
    fs::create_directories(path_);
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
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

Finally SetVariables(const std::map<std::wstring, std::wstring>& variables) {
    for (const auto& [name, value] : variables)
        SetEnvironmentVariableW(name.c_str(), value.c_str());
    return Finally([variables] {
        for (const auto& [name, value] : variables)
            SetEnvironmentVariableW(name.c_str(), nullptr);
    });
}
