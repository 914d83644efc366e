#pragma once
// The uninstaller's own file cannot be deleted while it runs: the system's PowerShell, started
// just before it ends, deletes it as soon as it can, and then the install folder if nothing else
// is left in it.

#include <string>

// What PowerShell runs: up to 100 times, 100 ms apart, it tries to delete the uninstaller while
// it is there, then removes the folder when it is empty.
std::wstring SelfRemovalScript(const std::wstring& uninstaller, const std::wstring& folder);

// Starts that script, without a window, and does not wait for it. False when PowerShell cannot
// be started.
bool StartSelfRemoval(const std::wstring& uninstaller, const std::wstring& folder);
