#include "install/log_heading.h"

#include <windows.h>

#include "install/apps_entry.h"
#include "install/file_version.h"

namespace {

// GetVersionEx tells a program without a manifest of Windows 8 at most; ntdll tells the truth.
std::wstring WindowsVersion() {
    using GetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    const auto get = reinterpret_cast<GetVersion>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    if (!get || get(&version) != 0) return L"unknown";
    return std::to_wstring(version.dwMajorVersion) + L"." +
           std::to_wstring(version.dwMinorVersion) + L"." + std::to_wstring(version.dwBuildNumber);
}

std::wstring InterfaceLanguage() {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    const LCID language = MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT);
    return LCIDToLocaleName(language, name, LOCALE_NAME_MAX_LENGTH, 0) > 0
               ? name
               : std::to_wstring(GetUserDefaultUILanguage());
}

}  // namespace

std::wstring LogHeading(std::wstring_view run, std::wstring_view more) {
    std::wstring version = ReadVersionStrings(ThisProgram()).productVersion;
    if (version.empty()) version = L"(no version)";
    std::wstring heading = L"VexaBoxInstaller " + version + L" " + std::wstring(run) +
                           L", Windows " + WindowsVersion() + L", UI language " +
                           InterfaceLanguage();
    if (!more.empty()) heading += L", " + std::wstring(more);
    return heading;
}
