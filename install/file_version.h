#pragma once
// What a program's version resource says of it.

#include <string>

struct VersionStrings {
    std::wstring productVersion;  // ProductVersion; empty when the resource has none
    std::wstring companyName;     // CompanyName; likewise
};

// The strings of the file's version resource, in the first language it lists; empty ones when
// the file has no such resource (or no file is there).
VersionStrings ReadVersionStrings(const std::wstring& path);
