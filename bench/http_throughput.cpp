// Download throughput of HttpGet against the fastest this platform layer allows: a minimal
// WinHTTP loop that reads straight into a buffer allocated once for the announced length.
// The two run alternately, ROUNDS times each, on the same URL.
// Usage: http_throughput.exe URL ROUNDS
#include <windows.h>
#include <winhttp.h>

#include <cstdint>

#include "bench/bench_support.h"
#include "common/owners.h"
#include "net/http_get.h"
#include "net/url.h"

namespace {

// Bytes per second, or 0 when the download failed.
double WithHttpGet(const std::wstring& url, std::uint64_t& bytes) {
    const LARGE_INTEGER start = Now();
    std::vector<char> body;
    std::uint64_t calls = 0;
    const bool ok = HttpGet(
        url, body, nullptr, [&](std::uint64_t, std::uint64_t) { ++calls; }, L"");
    const LARGE_INTEGER end = Now();
    bytes = body.size();
    return ok && calls > 0 ? static_cast<double>(bytes) / Seconds(start, end) : 0;
}

double WithMinimalLoop(const std::wstring& url, std::uint64_t& bytes) {
    const LARGE_INTEGER start = Now();
    UrlParts parts;
    if (!SplitUrl(url, parts)) return 0;
    UniqueInternet session{WinHttpOpen(L"bench", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                       WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0)};
    UniqueInternet connection{WinHttpConnect(session.get(), parts.host.c_str(), parts.port, 0)};
    UniqueInternet request{WinHttpOpenRequest(connection.get(), L"GET",
                                              parts.path_with_query.c_str(), nullptr,
                                              WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0)};
    if (!request ||
        !WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, nullptr, 0, 0, 0) ||
        !WinHttpReceiveResponse(request.get(), nullptr)) {
        return 0;
    }
    DWORD length = 0;
    DWORD size = sizeof(length);
    WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, &length, &size, WINHTTP_NO_HEADER_INDEX);
    const auto buffer = std::make_unique<char[]>(length);
    DWORD got = 0;
    while (got < length) {
        DWORD read = 0;
        if (!WinHttpReadData(request.get(), buffer.get() + got,
                             std::min<DWORD>(length - got, 1 << 20), &read) ||
            read == 0) {
            break;
        }
        got += read;
    }
    const LARGE_INTEGER end = Now();
    bytes = got;
    return got == length ? static_cast<double>(got) / Seconds(start, end) : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 2;
    const std::wstring url = argv[1];
    const int rounds = _wtoi(argv[2]);
    std::vector<double> ours, minimal;
    std::uint64_t bytes = 0, minimalBytes = 0;
    for (int i = 0; i < rounds; ++i) {
        ours.push_back(WithHttpGet(url, bytes));
        minimal.push_back(WithMinimalLoop(url, minimalBytes));
    }
    const double ratio = Median(ours) / Median(minimal);
    const bool complete = bytes == minimalBytes && bytes > 0;
    PrintRow("Download, HttpGet (median of " + std::to_string(rounds) + ")",
             Format("%.1f MB/s", Median(ours) / 1e6));
    PrintRow("Download, minimal WinHTTP loop (median of " + std::to_string(rounds) + ")",
             Format("%.1f MB/s", Median(minimal) / 1e6));
    PrintRow("Download, HttpGet / minimal loop", Format("%.3f", ratio), ">= 0.95",
             complete && ratio >= 0.95);
    return complete ? 0 : 1;
}
