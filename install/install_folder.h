#pragma once
// The install folder, private to the user who installs: the folder levels the installer
// creates get a descriptor of their own instead of what a drive root would hand down.

#include <string>
#include <string_view>

#include "common/owners.h"

// The folder every install directory ends in.
inline constexpr wchar_t kDedicatedFolderName[] = L"Vexa游戏盒子";

// Whether the directory's last element is kDedicatedFolderName (ASCII letters compared without
// case), trailing separators aside.
bool EndsInDedicatedFolder(std::wstring_view directory);

// The user this process runs as, in SDDL's string form; empty when it cannot be read.
std::wstring CurrentUserSid();

// A protected descriptor (nothing inherited): full control for the installing user, SYSTEM and
// Administrators, read and execute for Users, each handed on to files and folders inside.
// Empty when it cannot be built.
UniqueLocalMem<void> InstallFolderSecurity();

// Creates the directory and its missing parents, each with InstallFolderSecurity(); levels that
// exist keep theirs. On failure (no descriptor, a file in the way, a level that cannot be made)
// the error text (when given) becomes "无法创建安装目录"; on success it is left untouched.
bool CreateInstallFolder(const std::wstring& directory, std::wstring* error);
