#pragma once
// The install as Windows lists it in Settings › Apps (and Programs and Features, and winget):
// one entry of ours under the current user's Uninstall key, and the uninstaller it names, a copy
// of this program in the install folder.

#include <string>

// The entry's key below HKEY_CURRENT_USER.
inline constexpr wchar_t kAppsEntryKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VexaBox";
// The product's name as the entry, and the uninstaller's questions, show it.
inline constexpr wchar_t kDisplayName[] = L"Vexa盒子";
inline constexpr wchar_t kUninstallerName[] = L"VexaBoxUninstaller.exe";
// The uninstaller is this program started with this switch; with kQuietSwitch after it, quiet.
inline constexpr wchar_t kUninstallSwitch[] = L"/uninstall";
inline constexpr wchar_t kQuietSwitch[] = L"/S";

// Puts a copy of this program into the directory as the uninstaller, and writes the entry anew
// (a reinstall leaves one entry, without what an older one said): DisplayName "Vexa盒子",
// InstallLocation, UninstallString (the uninstaller's path in quotes and the switch) and
// QuietUninstallString (and kQuietSwitch), NoModify and NoRepair 1, EstimatedSize (the folder's
// files in KiB), InstallDate (YYYYMMDD, today), and, when the client was found (clientExe not
// empty), DisplayIcon and the DisplayVersion and Publisher of its version resource, each left
// out when the resource has none. False when the uninstaller or the entry could not be written.
bool RegisterInstall(const std::wstring& directory, const std::wstring& clientExe);

// The entry's InstallLocation when it names a folder that exists and ends in
// kDedicatedFolderName; empty otherwise.
std::wstring RegisteredInstallDir();

// Deletes the entry when its InstallLocation is the directory; one that names another install
// stays. True when no entry for the directory is left.
bool RemoveAppsEntryFor(const std::wstring& directory);

// The path of this program's file; empty when it cannot be had.
std::wstring ThisProgram();
