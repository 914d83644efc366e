#pragma once
// Text across the installer's borders: UTF-8 from the network and back, percent-encoded query
// values, trimming, and the one case-insensitive comparison.

#include <string>
#include <string_view>

// UTF-8 bytes to UTF-16 and back; malformed sequences and lone surrogates become U+FFFD. NUL
// units are kept.
std::wstring Utf8ToWide(const std::string& bytes);
std::string WideToUtf8(const std::wstring& text);

// The UTF-8 bytes of the text with every byte outside A-Z a-z 0-9 - . _ ~ written as %XX.
std::wstring PercentEncode(const std::wstring& text);

// Removes spaces, tabs, carriage returns and line feeds from both ends.
std::wstring TrimWide(const std::wstring& text);

// Equal when the letters A-Z and a-z are taken without regard to case; every other unit must
// match exactly (no locale-dependent folding).
bool EqualIgnoringAsciiCase(std::wstring_view a, std::wstring_view b);

// Whether two paths name the same file as the file system compares names: without regard to
// case, as NTFS's own upper-case table folds it.
bool SamePath(std::wstring_view a, std::wstring_view b);

// A path as a key for sets of paths that the file system takes for the same: upper case
// (invariant), backslashes.
std::wstring PathKey(std::wstring_view path);

// The user's temporary folder as GetTempPathW gives it, ending in a separator; empty when it
// cannot be had.
std::wstring TempDirectory();

// Whether the path lies below the folder: the folder, a separator, then more (names compared as
// SamePath does; either separator counts).
bool IsPathInside(std::wstring_view path, std::wstring_view folder);
