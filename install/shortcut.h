#pragma once
// The client's shortcuts on the user's desktop and in the Start menu, and the directory part of a
// path.

#include <string>

// Saves "Vexa盒子.lnk" on the current user's desktop: target exePath, working directory its
// folder, description "Vexa盒子". COM must be initialised on the calling thread. On failure the
// error text (when given) becomes "无法获取桌面路径", "无法创建快捷方式对象" or
// "桌面快捷方式创建失败"; on success it is left untouched.
bool CreateDesktopShortcut(const std::wstring& exePath, std::wstring* error);

// The same shortcut in the user's Start menu programs (FOLDERID_Programs).
bool CreateStartMenuShortcut(const std::wstring& exePath);

// Deletes both shortcuts, each only when it still leads into the folder; true when neither
// leading there is left. COM must be initialised on the calling thread.
bool RemoveShortcutsInto(const std::wstring& folder);

// The path without its last element and the separators before it, never cutting into the root:
// "D:\a.exe" gives "D:\", "D:a.exe" gives "D:", "a.exe" gives "".
std::wstring ParentDirectory(const std::wstring& path);
