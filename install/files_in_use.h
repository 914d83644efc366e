#pragma once
// Files that another process holds: a client still running from the install folder, and a
// scanner that opened a file just written.

#include <windows.h>

#include <functional>
#include <string>

inline constexpr wchar_t kTextFilesInUse[] = L"Vexa盒子正在运行，请先退出";

// Whether a failure to open a file for writing is another process's hold on it: a sharing or a
// lock violation. Access denied is not (a read-only file, or no rights): unpacking over such a
// file fails as it always would.
bool IsHolderFailure(DWORD failure);

// Walks the directory once (WalkFolder; links are not entered), except the entry at `except`
// (when given). True when no file is held by another process so that it could not be replaced:
// each is opened for writing, sharing everything and truncating nothing, until the first that
// fails with IsHolderFailure. With judgeOwners, every entry must also pass
// MayStayInInstallFolder for the user this process runs as. A directory that does not exist holds
// none. On failure the error text (when given) becomes "Vexa盒子正在运行，请先退出",
// "安装目录属于其他用户", or "无法打开安装目录" when a folder could not be listed.
bool CheckFolderContents(const std::wstring& directory, bool judgeOwners,
                         const std::wstring& except, std::wstring* error);

// Calls attempt, which reports failure through GetLastError, again while it fails the way a file
// that another process holds for a moment makes it fail (a sharing violation, or access denied),
// for up to 10 s, waiting 100 ms at first and twice as long each time. Its last result.
bool RetryWhileHeld(const std::function<bool()>& attempt);
