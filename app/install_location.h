#pragma once
// Where the client goes: always a folder of its own, inside the directory the user chooses.

#include <windows.h>

#include <functional>
#include <string>

#include "install/install_folder.h"

// D:\ when drive D exists (of any kind), else the first fixed drive from C to Z, else C:\;
// completed by ComposeInstallDir. Never empty.
std::wstring DefaultInstallDir();

// The drive root DefaultInstallDir builds on, given the drive queries. driveType answers like
// GetDriveTypeW for a root such as "E:\"; logicalDrives like GetLogicalDrives.
std::wstring ChooseInstallRoot(const std::function<UINT(const std::wstring& root)>& driveType,
                               const std::function<DWORD()>& logicalDrives);

// The text trimmed, without trailing separators (a three-character drive root keeps its
// backslash), and ending in kDedicatedFolderName (ASCII letters compared without case). Empty
// only when the text is empty after trimming.
std::wstring ComposeInstallDir(const std::wstring& text);

// The directory as one absolute path, so that unpacking, the search, the shortcut and the
// launch all mean the same folder. A fully qualified directory (a drive letter, a colon and a
// separator, or two separators first) is returned as given; any other is made absolute with
// GetFullPathNameW, and returned as given when that fails.
std::wstring AbsoluteInstallDir(const std::wstring& dir);

// The directory a run uses for the text of the edit box: composed, the default when the text is
// blank, made absolute.
std::wstring CompleteInstallDir(const std::wstring& text);

// Shows the folder picker: the chosen file-system folder, composed; empty when the picker was
// cancelled or the choice is a virtual folder. Runs on the window's thread.
std::wstring BrowseInstallDir(HWND owner);
