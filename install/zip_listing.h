#pragma once
// What a zip package holds, read from its central directory: the names of the files that
// Expand-Archive unpacks from it, so that an uninstall knows what the install brought. Nothing
// is unpacked here.

#include <windows.h>

#include <string>
#include <vector>

// The file names in the central directory of the zip archive open as `archive` (read through
// the handle, whose file pointer moves), zip64 archives included. Names are decoded as
// Expand-Archive decodes them: UTF-8 when the entry says so, the system's code page otherwise;
// slashes become backslashes, and folder entries (ending in a separator) are left out. False
// when the file is no zip archive or its directory cannot be read; names is then left untouched.
bool ListZipFiles(HANDLE archive, std::vector<std::wstring>& names);
