#pragma once
// Finding the client's executable in the unpacked tree.

#include <windows.h>

#include <string>

// The executable's possible names; at the top of the tree the first wins.
inline constexpr const wchar_t* kClientExecutableNames[] = {L"Vexa盒子.exe", L"Quorin.exe"};

// Whether the search lists a folder without entering it: a symbolic link or a junction. Other
// reparse points (those of a cloud-sync client, say) mark ordinary folders.
bool IsLinkedFolder(DWORD attributes, DWORD reparseTag);

// Looks for a regular file bearing one of kClientExecutableNames (ASCII letters compared without
// case): first directly in installDir, in the order of the names, then anywhere in the tree in
// walk order (folders that deny access are skipped, linked folders are not entered).
// Returns true when the search could read the tree; exePath is then the file's full path, or
// empty when there is none. Returns false when a filesystem error stopped the search: exePath
// is left untouched and the error text (when given) becomes "无法读取安装目录".
bool FindClientExecutable(const std::wstring& installDir, std::wstring& exePath,
                          std::wstring* error);
