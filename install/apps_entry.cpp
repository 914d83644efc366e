#include "install/apps_entry.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cwchar>

#include "common/owners.h"
#include "common/text.h"
#include "install/file_version.h"
#include "install/folder_walk.h"
#include "install/install_folder.h"

namespace {

constexpr wchar_t kInstallLocation[] = L"InstallLocation";

bool SetText(HKEY key, const wchar_t* name, const std::wstring& value) {
    return value.empty() ||
           RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) ==
               ERROR_SUCCESS;
}

bool SetNumber(HKEY key, const wchar_t* name, DWORD value) {
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof(value)) == ERROR_SUCCESS;
}

// The size of the folder's files in KiB, rounded up, as a DWORD holds it.
DWORD FolderKiB(const std::wstring& directory) {
    std::uint64_t bytes = 0;
    WalkFolder(directory, [&](const FolderEntry& entry) {
        if (!(entry.attributes & FILE_ATTRIBUTE_DIRECTORY) && !entry.IsLink()) bytes += entry.size;
        return true;
    });
    return static_cast<DWORD>(std::min<std::uint64_t>((bytes + 1023) / 1024, MAXDWORD));
}

std::wstring Today() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    wchar_t date[16];
    swprintf(date, 16, L"%04u%02u%02u", now.wYear, now.wMonth, now.wDay);
    return date;
}

std::wstring InstallLocationOfEntry() {
    wchar_t location[MAX_PATH * 4] = {};
    DWORD size = sizeof(location);
    if (RegGetValueW(HKEY_CURRENT_USER, kAppsEntryKey, kInstallLocation, RRF_RT_REG_SZ, nullptr,
                     location, &size) != ERROR_SUCCESS) {
        return {};
    }
    return location;
}

}  // namespace

bool RegisterInstall(const std::wstring& directory, const std::wstring& clientExe) {
    const std::wstring uninstaller = directory + L"\\" + kUninstallerName;
    const bool placed = CopyFileW(ThisProgram().c_str(), uninstaller.c_str(), FALSE) != FALSE;
    RegDeleteTreeW(HKEY_CURRENT_USER, kAppsEntryKey);
    HKEY created = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kAppsEntryKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &created, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const UniqueRegKey key{created};
    const std::wstring uninstall = L"\"" + uninstaller + L"\" " + kUninstallSwitch;
    VersionStrings version;
    if (!clientExe.empty()) version = ReadVersionStrings(clientExe);
    const bool written =
        SetText(key.get(), L"DisplayName", kDisplayName) &&
        SetText(key.get(), kInstallLocation, directory) &&
        SetText(key.get(), L"UninstallString", uninstall) &&
        SetText(key.get(), L"QuietUninstallString", uninstall + L" " + kQuietSwitch) &&
        SetNumber(key.get(), L"NoModify", 1) && SetNumber(key.get(), L"NoRepair", 1) &&
        SetNumber(key.get(), L"EstimatedSize", FolderKiB(directory)) &&
        SetText(key.get(), L"InstallDate", Today()) &&
        SetText(key.get(), L"DisplayIcon", clientExe) &&
        SetText(key.get(), L"DisplayVersion", version.productVersion) &&
        SetText(key.get(), L"Publisher", version.companyName);
    return placed && written;
}

std::wstring RegisteredInstallDir() {
    const std::wstring location = InstallLocationOfEntry();
    const DWORD attributes = GetFileAttributesW(location.c_str());
    const bool folder =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    return folder && EndsInDedicatedFolder(location) ? location : L"";
}

bool RemoveAppsEntryFor(const std::wstring& directory) {
    const std::wstring location = InstallLocationOfEntry();
    if (location.empty() || !SamePath(location, directory)) return true;
    const LSTATUS removed = RegDeleteTreeW(HKEY_CURRENT_USER, kAppsEntryKey);
    return removed == ERROR_SUCCESS || removed == ERROR_FILE_NOT_FOUND;
}

std::wstring ThisProgram() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD written =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (written == 0) return {};
        if (written < path.size()) {
            path.resize(written);
            return path;
        }
        path.resize(path.size() * 2);
    }
}
