#include "net/http_get.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <cwchar>
#include <initializer_list>
#include <memory>

#include "common/error_text.h"
#include "common/log.h"
#include "common/owners.h"
#include "common/text.h"
#include "net/request_log.h"
#include "net/session.h"
#include "net/url.h"

namespace {

constexpr wchar_t kFixedHeaders[] = L"Accept: */*\r\nAccept-Language: zh-CN,zh;q=0.9\r\n";
// WinHTTP followed ten redirects of the kinds it follows by itself in a row, and the installer
// counted the others, which came back to it: the fifth of those failed the call.
constexpr int kPlatformRedirectLimit = 10;
constexpr int kCountedRedirectLimit = 5;
constexpr DWORD kLocationUnits = 4096;
constexpr DWORD kHeaderValueUnits = 1024;
// The longest document (configuration, settings, a link service's answer) that is read.
constexpr std::uint64_t kDocumentLimit = std::uint64_t{1} << 20;
// A synchronous read may wait until its buffer is full. Each read asks for about what arrived in
// kReadSeconds at the pace of the read before, within kMinRead and kMaxRead: a fast line is read
// in large pieces, and on a slow one no read holds the progress still for long.
constexpr DWORD kMinRead = DWORD{8} << 10;
constexpr DWORD kMaxRead = DWORD{1} << 20;
constexpr double kReadSeconds = 0.1;

constexpr wchar_t kTextInvalidUrl[] = L"下载地址无效";
constexpr wchar_t kTextInitFailed[] = L"网络初始化失败";
constexpr wchar_t kTextConnectFailed[] = L"连接服务器失败";
constexpr wchar_t kTextRequestFailed[] = L"创建下载请求失败";
constexpr wchar_t kTextNoResponse[] = L"服务器无响应";
constexpr wchar_t kTextServerError[] = L"服务器返回错误：";
constexpr wchar_t kTextTooManyRedirects[] = L"下载重定向次数过多";

// The fixed lines, then each block of the caller's lines, each ending in CR LF.
std::wstring HeaderBlock(std::initializer_list<const std::wstring*> blocks) {
    std::wstring block = kFixedHeaders;
    for (const std::wstring* lines : blocks) {
        block += *lines;
        if (!block.ends_with(L"\r\n")) block += L"\r\n";
    }
    return block;
}

// Whether an attempt may carry the caller's keyed lines, which may hold a credential: the first
// does, and so does a redirect to the same host and port unless it leaves HTTPS for plain HTTP.
bool MayCarryKey(const UrlParts& original, const UrlParts& attempt) {
    return EqualIgnoringAsciiCase(attempt.host, original.host) && attempt.port == original.port &&
           !(original.scheme == INTERNET_SCHEME_HTTPS && attempt.scheme == INTERNET_SCHEME_HTTP);
}

// What goes into the request line: a fragment is the client's own and never sent.
std::wstring RequestTarget(const UrlParts& parts) {
    return parts.path_with_query.substr(0, parts.path_with_query.find(L'#'));
}

DWORD QueryStatusCode(HINTERNET request) {
    DWORD status = 0;
    DWORD size = sizeof(status);
    WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
    return status;
}

// A header value up to its first zero unit, or false when it is absent or does not fit.
bool QueryHeaderText(HINTERNET request, DWORD query, DWORD units, std::wstring& value) {
    std::vector<wchar_t> area(units);
    DWORD size = units * sizeof(wchar_t);
    if (!WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, area.data(), &size,
                             WINHTTP_NO_HEADER_INDEX)) {
        return false;
    }
    // A value that fills the whole area has no room for its terminating zero: it does not fit.
    const DWORD written = size / sizeof(wchar_t);
    if (written >= units) return false;
    value.assign(area.data(), wcsnlen(area.data(), written));
    return true;
}

// Decimal digits after leading white space, up to the first other character.
std::uint64_t ParseLength(std::wstring_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || text[i] == L'\t'))
        ++i;
    std::uint64_t value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        const unsigned digit = static_cast<unsigned>(text[i] - L'0');
        if (value > (UINT64_MAX - digit) / 10) return UINT64_MAX;
        value = value * 10 + digit;
    }
    return value;
}

// What arrives in kReadSeconds at the pace of the read before.
DWORD PacedReadSize(DWORD read, std::chrono::steady_clock::duration took) {
    const double seconds = std::chrono::duration<double>(took).count();
    const double size = seconds > 0 ? read / seconds * kReadSeconds : kMaxRead;
    return static_cast<DWORD>(std::clamp(size, double{kMinRead}, double{kMaxRead}));
}

// With an announced length a read asks for no more than is left of it, but for kMinRead at
// least: the read that finds the end, or what a server sends beyond what it announced.
DWORD ReadSize(DWORD paced, std::uint64_t received, std::uint64_t total) {
    if (total == 0) return paced;
    const std::uint64_t left = total > received ? total - received : 0;
    return static_cast<DWORD>(std::clamp<std::uint64_t>(left, kMinRead, paced));
}

// The header's value, or an empty text when it is absent or too long to be one we use.
std::wstring HeaderValue(HINTERNET request, DWORD query) {
    std::wstring value;
    QueryHeaderText(request, query, kHeaderValueUnits, value);
    return value;
}

// What a body's reading came to, for the log: the bytes handed on, and what ended it early
// (empty: nothing did).
struct BodyRead {
    std::uint64_t bytes = 0;
    std::wstring cut;
};

// Hands the body on as it arrives, each read straight into one buffer.
bool ReadBody(HINTERNET request, std::uint64_t total, const BodySink& sink, BodyRead& body,
              std::wstring* error) {
    const auto buffer = std::make_unique_for_overwrite<char[]>(kMaxRead);
    const std::wstring announced = std::to_wstring(total) + L" announced";
    std::uint64_t received = 0;
    DWORD paced = kMinRead;
    for (;;) {
        const DWORD asked = ReadSize(paced, received, total);
        DWORD read = 0;
        const auto began = std::chrono::steady_clock::now();
        if (!WinHttpReadData(request, buffer.get(), asked, &read)) {
            body.cut = L"then error " + ErrorName(GetLastError());
            return Fail(error, kTextDownloadIncomplete);
        }
        if (read == 0) break;
        paced = PacedReadSize(read, std::chrono::steady_clock::now() - began);
        received += read;
        // A length announced beside a chunked body does not end it: what comes beyond the length
        // is not handed on, so that it never reaches a disk that was checked for the length.
        const bool beyond = total > 0 && received > total;
        if (beyond) read -= static_cast<DWORD>(received - total);
        body.bytes += read;
        if (read > 0 && sink.piece && !sink.piece(std::string_view(buffer.get(), read), error)) {
            body.cut = L"then stopped";
            return false;
        }
        if (beyond) {
            body.cut = L"then more than the " + announced;
            return Fail(error, kTextDownloadIncomplete);
        }
    }
    // WinHTTP ends a body that breaks off before its announced length without any error.
    if (received < total) {
        body.cut = L"then an end short of the " + announced;
        return Fail(error, kTextDownloadIncomplete);
    }
    return true;
}

// One request's handles, closed in the reverse order of their opening.
struct Exchange {
    UniqueInternet session, connection, request;
    void Close() {
        request.reset();
        connection.reset();
        session.reset();
    }
};

// Opens one request's handles along the route and sends it. Null when the response's head has
// arrived; otherwise the text of the stage that failed, GetLastError telling why.
const wchar_t* Send(const UrlParts& parts, const ProxyRoute& route, const std::wstring& headers,
                    Exchange& exchange) {
    exchange.session = OpenSession(route);
    if (!exchange.session) return kTextInitFailed;
    exchange.connection.reset(
        WinHttpConnect(exchange.session.get(), parts.host.c_str(), parts.port, 0));
    if (!exchange.connection) return kTextConnectFailed;
    const DWORD flags = parts.scheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    exchange.request.reset(
        WinHttpOpenRequest(exchange.connection.get(), L"GET", RequestTarget(parts).c_str(), nullptr,
                           WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
    if (!exchange.request) return kTextRequestFailed;
    // WinHTTP would follow redirects itself, carrying the extra lines along to any host, and
    // through the same proxy: every redirect comes back here, where each target is judged and
    // routed on its own. No connection is kept for another request: Wine keeps one pool for
    // every session in the process and hands a tunnel through a proxy to any origin.
    DWORD features = WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_KEEP_ALIVE;
    if (!WinHttpSetOption(exchange.request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &features,
                          sizeof(features))) {
        return kTextRequestFailed;
    }
    if (!WinHttpSendRequest(exchange.request.get(), headers.c_str(),
                            static_cast<DWORD>(headers.size()), WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !WinHttpReceiveResponse(exchange.request.get(), nullptr)) {
        return kTextNoResponse;
    }
    return nullptr;
}

// A proxy that cannot be reached: its name does not resolve, or its port refuses.
bool ProxyIsGone(const ProxyRoute& route, DWORD failure) {
    return route.accessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY &&
           (failure == ERROR_WINHTTP_NAME_NOT_RESOLVED || failure == ERROR_WINHTTP_CANNOT_CONNECT);
}

// The kinds of redirect that WinHTTP follows by itself, unless they lead from HTTPS to plain HTTP.
bool IsPlatformRedirect(DWORD status, const UrlParts& from, const std::wstring& target) {
    const bool kind =
        status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
    return kind && !(from.scheme == INTERNET_SCHEME_HTTPS && target.starts_with(L"http://"));
}

}  // namespace

bool FailWithStatus(std::wstring* error, DWORD status) {
    return Fail(error, kTextServerError + std::to_wstring(status));
}

bool HttpGet(const ProxySettings& proxies, const std::wstring& url, const HeaderLines& lines,
             const BodySink& sink, std::wstring* error) {
    const std::wstring withoutKey = HeaderBlock({&lines.everyHop});
    const std::wstring withKey = HeaderBlock({&lines.keyed, &lines.everyHop});
    std::wstring current = url;
    UrlParts original;
    bool first = true;
    int platformRedirects = 0, countedRedirects = 0;
    for (;;) {
        UrlParts parts;
        if (!SplitUrl(current, parts)) return Fail(error, kTextInvalidUrl);
        if (first) original = parts;
        const std::wstring& headers = first || MayCarryKey(original, parts) ? withKey : withoutKey;
        first = false;
        ProxyRoute route = ChooseProxyRoute(proxies, current);
        auto began = std::chrono::steady_clock::now();
        const auto logged = [&](const std::wstring& outcome, std::uint64_t bytes = 0) {
            LogRequest(parts, route, outcome, bytes,
                       std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - began)
                           .count());
        };
        Exchange exchange;
        const wchar_t* failed = Send(parts, route, headers, exchange);
        DWORD failure = failed ? GetLastError() : ERROR_SUCCESS;
        // A proxy that is gone leaves the request to go straight to the server, once.
        if (failed && ProxyIsGone(route, failure)) {
            logged(L"error " + ErrorName(failure) + L", the proxy is gone");
            exchange.Close();
            route = {WINHTTP_ACCESS_TYPE_NO_PROXY};
            began = std::chrono::steady_clock::now();
            failed = Send(parts, route, headers, exchange);
            failure = failed ? GetLastError() : ERROR_SUCCESS;
        }
        if (failed) {
            logged(L"error " + ErrorName(failure));
            return Fail(error, failed);
        }
        HINTERNET request = exchange.request.get();

        const DWORD status = QueryStatusCode(request);
        const std::wstring answer = L"status " + std::to_wstring(status);
        if (status < 200) {
            logged(answer);
            return Fail(error, kTextNoResponse);
        }
        if (status >= 300 && status <= 399) {
            // A redirect without a usable target is an answer, but not the document.
            std::wstring location;
            const bool located =
                QueryHeaderText(request, WINHTTP_QUERY_LOCATION, kLocationUnits, location);
            logged(answer);
            if (!located) return FailWithStatus(error, status);
            current = ResolveRedirectTarget(location, parts);
            Log(L"redirect to " + LoggedTarget(current));
            // A redirect that came back to the installer started WinHTTP's count afresh.
            const bool platform = IsPlatformRedirect(status, parts, current);
            platformRedirects = platform ? platformRedirects + 1 : 0;
            countedRedirects += platform ? 0 : 1;
            if (platformRedirects > kPlatformRedirectLimit ||
                countedRedirects >= kCountedRedirectLimit) {
                return Fail(error, kTextTooManyRedirects);
            }
            continue;  // this attempt's handles close here, request first
        }

        ResponseHead head;
        head.status = status;
        head.length = ParseLength(HeaderValue(request, WINHTTP_QUERY_CONTENT_LENGTH));
        head.url = current;
        head.etag = HeaderValue(request, WINHTTP_QUERY_ETAG);
        head.lastModified = HeaderValue(request, WINHTTP_QUERY_LAST_MODIFIED);
        head.contentRange = HeaderValue(request, WINHTTP_QUERY_CONTENT_RANGE);
        if (sink.head && !sink.head(head, error)) {
            logged(answer + L", not read");
            return false;
        }
        if (status >= 400) {
            logged(answer);
            return FailWithStatus(error, status);
        }
        BodyRead body;
        const bool whole = ReadBody(request, head.length, sink, body, error);
        logged(body.cut.empty() ? answer : answer + L", " + body.cut, body.bytes);
        return whole;
    }
}

bool HttpGetText(const ProxySettings& proxies, const std::wstring& url, std::string& text,
                 std::wstring* error, const std::wstring& extraHeaders) {
    std::string body;
    bool tooLong = false;
    const BodySink sink{[&](const ResponseHead& head, std::wstring*) {
                            tooLong = head.status < 400 && head.length > kDocumentLimit;
                            return !tooLong;
                        },
                        [&](std::string_view piece, std::wstring*) {
                            tooLong = body.size() + piece.size() > kDocumentLimit;
                            if (!tooLong) body += piece;
                            return !tooLong;
                        }};
    // A document too long to read stops the call without an error text of its own: it reads as
    // one that holds nothing.
    if (!HttpGet(proxies, url, {extraHeaders}, sink, error) && !tooLong) return false;
    if (tooLong) body.clear();
    text.swap(body);
    return true;
}
