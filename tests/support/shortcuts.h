#pragma once
// The current user's desktop, and shortcut files read back through the shell-link object.
// COM must be initialised on the calling thread.

#include <windows.h>
#include <shlobj.h>

#include <string>

// The known folder's path; empty when the lookup gives none.
std::wstring KnownFolder(const KNOWNFOLDERID& folder);
// The desktop folder as the known-folder lookup gives it; empty when it gives none.
std::wstring DesktopPath();

struct SavedShortcut {
    std::wstring target, workingDirectory, description;
};

// What a shortcut file holds; empty fields when it cannot be loaded. The target is read from
// the item id list: GetPath goes through an ANSI copy under Wine and loses Chinese characters.
SavedShortcut LoadShortcut(const std::wstring& path);
