#pragma once
// The downloaded package on disk: its name, its place in the temporary directory, the write.

#include <string>
#include <vector>

// The name used when the address gives no usable one.
inline constexpr wchar_t kDefaultPackageFileName[] = L"Ruvirud.uro";

// The last segment of the address before any "?", or kDefaultPackageFileName when that segment
// has no dot or is not a safe plain Windows file name; always ending in ".zip" (any case), the
// only extension the unpacker accepts.
std::wstring PackageFileName(const std::wstring& url);

// The file name in the user's temporary directory.
std::wstring TempDownloadPath(const std::wstring& fileName);

// Writes the bytes to the path, replacing any file there. On failure the error text (when
// given) becomes "无法写入下载文件"; on success it is left untouched.
bool SavePackageFile(const std::wstring& path, const std::vector<char>& body, std::wstring* error);
