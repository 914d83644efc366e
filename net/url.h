#pragma once
// Taking http:// and https:// URLs apart, resolving redirect targets and naming origins.

#include <windows.h>
#include <winhttp.h>

#include <string>

struct UrlParts {
    INTERNET_SCHEME scheme = INTERNET_SCHEME_HTTP;  // INTERNET_SCHEME_HTTP or _HTTPS
    INTERNET_PORT port = 0;                         // as written, or the scheme's default
    std::wstring host;
    std::wstring path_with_query;  // path, query and fragment, as written
};

// Splits an http:// or https:// URL with WinHttpCrackUrl. On false, parts is not to be used.
bool SplitUrl(const std::wstring& url, UrlParts& parts);

// The URL that a Location value leads to from the current URL, resolved the way a browser
// resolves a relative reference. An absolute http:// or https:// value is taken unchanged.
std::wstring ResolveRedirectTarget(const std::wstring& location, const UrlParts& current);

// Scheme, host and, unless it is the scheme's default, port: "https://host:8443". Empty when
// the URL cannot be split.
std::wstring UrlOrigin(const std::wstring& url);
