#pragma once
// The downloaded package on disk: its name and its place in the temporary directory.

#include <string>

// The name used when the address gives no usable one.
inline constexpr wchar_t kDefaultPackageFileName[] = L"Ruvirud.uro";

// The last segment of the address before any "?", or kDefaultPackageFileName when that segment
// has no dot or is not a safe plain Windows file name; always ending in ".zip" (any case), the
// only extension the unpacker accepts.
std::wstring PackageFileName(const std::wstring& url);

// The file name in the user's temporary directory.
std::wstring TempDownloadPath(const std::wstring& fileName);
