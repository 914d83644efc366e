#pragma once
// Base addresses from the configuration documents, tidied so that a relative path can be
// appended to them.

#include <string>
#include <string_view>

// Trimmed, and its part before the first '?' ending in '/' (unless nothing is left); the query
// follows unchanged.
std::wstring NormalizeBaseUrl(const std::wstring& url);

// The base with path appended to its part before the first '?'; the query follows unchanged.
std::wstring AppendToBasePath(const std::wstring& base, std::wstring_view path);
