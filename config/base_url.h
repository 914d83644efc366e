#pragma once
// Base addresses from the configuration documents, tidied so that a relative path can be
// appended to them.

#include <string>
#include <string_view>

// Trimmed, and its path (the part before the first '?' or '#') ending in '/', unless nothing is
// left; the query and the fragment follow unchanged.
std::wstring NormalizeBaseUrl(const std::wstring& url);

// The base with path appended to its path (the part before the first '?' or '#'); the query and
// the fragment follow unchanged.
std::wstring AppendToBasePath(const std::wstring& base, std::wstring_view path);
