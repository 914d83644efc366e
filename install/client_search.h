#pragma once
// Finding the client's executable in the unpacked tree.

#include <windows.h>

#include <string>

// The executable's possible names; at the top of the tree the first wins.
inline constexpr const wchar_t* kClientExecutableNames[] = {L"Vexa盒子.exe", L"Quorin.exe"};

// Looks for a regular file bearing one of kClientExecutableNames (ASCII letters compared without
// case): first directly in installDir, in the order of the names, then anywhere in the tree in
// walk order (WalkFolder: folders that deny access are skipped, links are neither entered nor
// taken for the client).
// Returns true when the search could read the tree; exePath is then the file's full path, or
// empty when there is none. Returns false when a filesystem error stopped the search: exePath
// is left untouched and the error text (when given) becomes "无法读取安装目录".
bool FindClientExecutable(const std::wstring& installDir, std::wstring& exePath,
                          std::wstring* error);
