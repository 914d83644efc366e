#include "net/http_get.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <cwchar>
#include <new>

#include "common/error_text.h"
#include "common/owners.h"
#include "common/text.h"
#include "net/url.h"

namespace {

constexpr wchar_t kUserAgent[] = L"DudaVedDownloader/1.0";
constexpr wchar_t kFixedHeaders[] = L"Accept: */*\r\nAccept-Language: zh-CN,zh;q=0.9\r\n";
constexpr int kResolveTimeoutMs = 15000;
constexpr int kConnectTimeoutMs = 15000;
constexpr int kSendTimeoutMs = 30000;
constexpr int kReceiveTimeoutMs = 30000;
constexpr int kRedirectLimit = 5;  // the fifth redirect response fails the call
constexpr DWORD kLocationUnits = 4096;
constexpr DWORD kContentLengthUnits = 64;
// The package's buffer is reserved from the announced length, up to this much; a server that
// announces more gets a vector that grows as the data really arrives.
constexpr std::uint64_t kReservationCap = std::uint64_t{1} << 30;
// The longest document (configuration, settings, a link service's answer) that is read.
constexpr std::uint64_t kDocumentLimit = std::uint64_t{1} << 20;
// A synchronous read may wait until its buffer is full. Each read asks for about what arrived in
// kReadSeconds at the pace of the read before, within kMinRead and kMaxRead: a fast line is read
// in large pieces, and on a slow one no read holds the progress still for long.
constexpr DWORD kMinRead = DWORD{8} << 10;
constexpr DWORD kMaxRead = DWORD{1} << 20;
constexpr double kReadSeconds = 0.1;
// How far ahead of twice what was received the buffer is zeroed, within the room reserved.
constexpr size_t kZeroAhead = size_t{16} << 20;

constexpr wchar_t kTextInvalidUrl[] = L"下载地址无效";
constexpr wchar_t kTextInitFailed[] = L"网络初始化失败";
constexpr wchar_t kTextConnectFailed[] = L"连接服务器失败";
constexpr wchar_t kTextRequestFailed[] = L"创建下载请求失败";
constexpr wchar_t kTextNoResponse[] = L"服务器无响应";
constexpr wchar_t kTextServerError[] = L"服务器返回错误：";
constexpr wchar_t kTextTooManyRedirects[] = L"下载重定向次数过多";
constexpr wchar_t kTextIncomplete[] = L"下载数据不完整";

std::wstring HeaderBlock(const std::wstring& extraHeaders) {
    std::wstring block = kFixedHeaders + extraHeaders;
    if (!block.ends_with(L"\r\n")) block += L"\r\n";
    return block;
}

// Whether an attempt may carry the caller's extra lines, which may hold a credential: the first
// does, and so does a redirect to the same host and port unless it leaves HTTPS for plain HTTP.
bool MayCarryExtraHeaders(const UrlParts& original, const UrlParts& attempt) {
    return EqualIgnoringAsciiCase(attempt.host, original.host) && attempt.port == original.port &&
           !(original.scheme == INTERNET_SCHEME_HTTPS && attempt.scheme == INTERNET_SCHEME_HTTP);
}

// What goes into the request line: a fragment is the client's own and never sent.
std::wstring RequestTarget(const UrlParts& parts) {
    return parts.path_with_query.substr(0, parts.path_with_query.find(L'#'));
}

bool FailWithStatus(std::wstring* error, DWORD status) {
    return Fail(error, kTextServerError + std::to_wstring(status));
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

// documentLimit is 0 for the package, whose announced length is reserved up front. A document
// longer than its limit, or announced as longer, is not read on: it comes back empty, like a
// document that holds nothing.
bool ReadBody(HINTERNET request, std::vector<char>& body, std::wstring* error,
              const ProgressFunction& progress, const BodyFunction& pieces,
              std::uint64_t documentLimit) {
    std::uint64_t total = 0;
    std::wstring lengthText;
    if (QueryHeaderText(request, WINHTTP_QUERY_CONTENT_LENGTH, kContentLengthUnits, lengthText)) {
        total = ParseLength(lengthText);
    }
    const auto tooLong = [&](std::uint64_t length) {
        return documentLimit != 0 && length > documentLimit;
    };
    if (tooLong(total)) {
        body.clear();
        return true;
    }

    std::vector<char> data;
    try {
        // The announced length, and room for the read that finds the end.
        if (documentLimit == 0 && total > 0) {
            data.reserve(static_cast<size_t>(std::min(total, kReservationCap) + kMinRead));
        }
    } catch (const std::bad_alloc&) {
        // Not enough memory to take the server at its word: grow as the data arrives.
    }
    // Reads go straight into the buffer, whose size runs ahead of what was received. Within the
    // room already there it grows to twice what was received and kZeroAhead more: zeroed piece
    // by piece ahead of each read, or even in sixteen equal stretches, it cost a tenth of the
    // throughput with another download running at the same time, and zeroed in one go, a
    // server announcing more than it sends would have all of that in memory.
    size_t received = 0;
    DWORD paced = kMinRead;
    for (;;) {
        const DWORD asked = ReadSize(paced, received, total);
        if (data.size() < received + asked) {
            data.resize(
                std::max(received + asked, std::min(data.capacity(), 2 * received + kZeroAhead)));
        }
        char* const start = data.data() + received;
        DWORD read = 0;
        const auto began = std::chrono::steady_clock::now();
        if (!WinHttpReadData(request, start, asked, &read)) return Fail(error, kTextIncomplete);
        if (read == 0) break;
        paced = PacedReadSize(read, std::chrono::steady_clock::now() - began);
        received += read;
        if (tooLong(received)) {
            body.clear();
            return true;
        }
        if (pieces) pieces(std::string_view(start, read));
        if (progress) progress(received, total);
    }
    // WinHTTP ends a body that breaks off before its announced length without any error.
    if (received < total) return Fail(error, kTextIncomplete);
    data.resize(received);
    body.swap(data);
    return true;
}

bool Get(const std::wstring& url, std::vector<char>& body, std::wstring* error,
         const ProgressFunction& progress, const std::wstring& extraHeaders,
         const BodyFunction& pieces, std::uint64_t documentLimit) {
    const std::wstring fixedHeaders = HeaderBlock(L"");
    const std::wstring allHeaders = HeaderBlock(extraHeaders);
    std::wstring current = url;
    UrlParts original;
    int redirects = 0;
    for (;;) {
        UrlParts parts;
        if (!SplitUrl(current, parts)) return Fail(error, kTextInvalidUrl);
        if (redirects == 0) original = parts;

        const UniqueInternet session{WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                                 WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS,
                                                 0)};
        if (!session) return Fail(error, kTextInitFailed);
        WinHttpSetTimeouts(session.get(), kResolveTimeoutMs, kConnectTimeoutMs, kSendTimeoutMs,
                           kReceiveTimeoutMs);

        const UniqueInternet connection{
            WinHttpConnect(session.get(), parts.host.c_str(), parts.port, 0)};
        if (!connection) return Fail(error, kTextConnectFailed);

        const DWORD flags = parts.scheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
        const UniqueInternet request{
            WinHttpOpenRequest(connection.get(), L"GET", RequestTarget(parts).c_str(), nullptr,
                               WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags)};
        if (!request) return Fail(error, kTextRequestFailed);
        // WinHTTP would carry the extra lines along on the redirects it follows itself: such a
        // request brings every redirect back here, where the lines are sent only where they
        // belong.
        DWORD noRedirects = WINHTTP_DISABLE_REDIRECTS;
        if (!extraHeaders.empty() &&
            !WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &noRedirects,
                              sizeof(noRedirects))) {
            return Fail(error, kTextRequestFailed);
        }

        const std::wstring& headers =
            redirects == 0 || MayCarryExtraHeaders(original, parts) ? allHeaders : fixedHeaders;
        if (!WinHttpSendRequest(request.get(), headers.c_str(), static_cast<DWORD>(headers.size()),
                                WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
            !WinHttpReceiveResponse(request.get(), nullptr)) {
            return Fail(error, kTextNoResponse);
        }

        const DWORD status = QueryStatusCode(request.get());
        if (status < 200) return Fail(error, kTextNoResponse);
        if (status >= 300 && status <= 399) {
            // A redirect without a usable target is an answer, but not the document.
            std::wstring location;
            if (!QueryHeaderText(request.get(), WINHTTP_QUERY_LOCATION, kLocationUnits, location)) {
                return FailWithStatus(error, status);
            }
            if (++redirects >= kRedirectLimit) return Fail(error, kTextTooManyRedirects);
            current = ResolveRedirectTarget(location, parts);
            continue;  // this attempt's handles close here, request first
        }
        if (status >= 400) return FailWithStatus(error, status);
        return ReadBody(request.get(), body, error, progress, pieces, documentLimit);
    }
}

}  // namespace

bool HttpGet(const std::wstring& url, std::vector<char>& body, std::wstring* error,
             const ProgressFunction& progress, const std::wstring& extraHeaders,
             const BodyFunction& pieces) {
    return Get(url, body, error, progress, extraHeaders, pieces, 0);
}

bool HttpGetText(const std::wstring& url, std::string& text, std::wstring* error,
                 const std::wstring& extraHeaders) {
    std::vector<char> body;
    if (!Get(url, body, error, {}, extraHeaders, {}, kDocumentLimit)) return false;
    text.assign(body.begin(), body.end());
    return true;
}
