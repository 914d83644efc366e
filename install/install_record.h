#pragma once
// The install folder's record of what every install of ours unpacked into it, across versions,
// so that an uninstall removes those files and keeps what the client or the user added.

#include <string>
#include <string_view>
#include <vector>

// Beside the files it names, in the install folder.
inline constexpr wchar_t kInstallRecordName[] = L"VexaBoxInstaller.installed-files";

// Whether a path from the record may be removed: a relative path that stays inside the install
// folder. Not a rooted or drive-qualified one, none with a parent step, a "." or an empty step
// (or one that Windows would cut down to nothing or to another name, such as ". ." or "a."), no
// colon (a stream) and no control character.
bool IsRemovablePath(std::wstring_view relative);

// The record's text: a heading line, then one path a line, UTF-8; and back. Parsing fails for a
// text with another heading or a line with a control character; every path comes back, also one
// that IsRemovablePath refuses.
std::string FormatInstallRecord(const std::vector<std::wstring>& paths);
bool ParseInstallRecord(std::string_view text, std::vector<std::wstring>& paths);

// The paths recorded in the directory; empty when there is no readable record (never through a
// link).
std::vector<std::wstring> ReadInstallRecord(const std::wstring& directory);

// Adds the paths that IsRemovablePath allows to the directory's record, after what it held
// already, each path once (compared as the file system compares names). False when the record
// cannot be written.
bool AddToInstallRecord(const std::wstring& directory, const std::vector<std::wstring>& paths);
