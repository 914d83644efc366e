#pragma once
// What the log says of a request: where it went and how, what came back, never what a header
// carried or a query string held (signed addresses carry their signature there), nor user
// information in a URL or a proxy's credentials.

#include <windows.h>

#include <cstdint>
#include <string>

#include "net/session.h"
#include "net/url.h"

// Scheme, host, port and path: "https://cdn.example.com:443/a/box.zip".
std::wstring LoggedUrl(const UrlParts& parts);

// A redirect's target as host and path; empty when it is no URL.
std::wstring LoggedTarget(const std::wstring& url);

// "straight", "through proxy HOST:PORT" or "by the machine's WinHTTP setting", with " (PAC)"
// when a PAC file gave the route, or " (PAC failed: <error>)" when none could be had; any user
// information before an "@" in the proxy's text is left out.
std::wstring LoggedRoute(const ProxyRoute& route);

// A WinHTTP or socket error's number and, when it is one a download meets, its name:
// "12007 ERROR_WINHTTP_NAME_NOT_RESOLVED".
std::wstring ErrorName(DWORD error);

// One request's line: "GET <LoggedUrl> <LoggedRoute>: <outcome>, <bytes> bytes, <ms> ms".
void LogRequest(const UrlParts& parts, const ProxyRoute& route, const std::wstring& outcome,
                std::uint64_t bytes, std::uint64_t milliseconds);
