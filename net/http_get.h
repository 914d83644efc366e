#pragma once
// The one HTTP GET of the installer: WinHTTP, synchronous, redirects followed here, the body
// handed on piece by piece as it arrives.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "net/session.h"

// What the final response says before its body.
struct ResponseHead {
    DWORD status = 0;
    std::uint64_t length = 0;  // Content-Length; 0 when none was announced
    std::wstring url;          // the URL that answered, after every redirect
    std::wstring etag;         // the header values as sent; empty when absent
    std::wstring lastModified;
    std::wstring contentRange;
};

// Where a response's body goes. head runs once for the final response (status 200 or above),
// before anything else of it is judged; piece runs after every read, with the bytes read. Either
// returning false stops the call, which then fails with the error text it set (or none).
struct BodySink {
    std::function<bool(const ResponseHead& head, std::wstring* error)> head;
    std::function<bool(std::string_view piece, std::wstring* error)> piece;
};

// Header lines a call adds to the fixed ones, separated by CR LF (the last CR LF may be left out).
struct HeaderLines {
    // May hold a credential: only to the first URL's host and port, never from HTTPS to HTTP.
    std::wstring keyed{};
    // What the caller asks of the document (Range, If-Range): on every request, to any host.
    std::wstring everyHop{};
};

// Fetches an http:// or https:// URL, following redirects, each request along the route that the
// proxy settings give its URL; when a proxy cannot be reached, that request goes straight to the
// server instead. Redirects are counted as WinHTTP counted those it followed by itself: up to
// ten 301, 302, 303, 307 and 308 in a row (but for a step from HTTPS down to plain HTTP), and
// four of any other kind in all; one more of either fails with "下载重定向次数过多". True when
// the final response's body arrived whole: as long as it announced, or until the server ended
// it; a byte more than announced fails with "下载数据不完整". On failure the error text (when
// given) is set.
bool HttpGet(const ProxySettings& proxies, const std::wstring& url, const HeaderLines& lines,
             const BodySink& sink, std::wstring* error);

// The failure text of a body that broke off, or ran past its announced length.
inline constexpr wchar_t kTextDownloadIncomplete[] = L"下载数据不完整";

// Fails (see Fail) with the text for a response of that status: "服务器返回错误：<status>".
bool FailWithStatus(std::wstring* error, DWORD status);

// A small document (configuration, settings, a link service's answer), its body as bytes in a
// string. A body longer than 1 MiB, or announced as longer, is not read: the text comes back
// empty, as from a document that holds nothing. On failure text is left untouched.
bool HttpGetText(const ProxySettings& proxies, const std::wstring& url, std::string& text,
                 std::wstring* error, const std::wstring& extraHeaders);
