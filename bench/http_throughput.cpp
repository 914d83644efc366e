// Download throughput of HttpGet against the fastest this platform layer allows: a minimal
// WinHTTP loop that reads straight into a buffer allocated once for the announced length.
// The two run in PAIRS pairs on the same URL, after one pair that is not counted, and each pair
// gives one ratio: a machine that drifts between pairs moves both halves of a pair alike, so
// the median ratio holds.
// Then the package check as a build with a pinned key makes it: the download hashed as its
// bytes arrive and the signature verified after the last byte, timed apart, in CHECKS runs.
// Usage: http_throughput.exe URL PAIRS CHECKS PUBLIC_KEY_DER SIGNATURE_FILE
#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "bench_support.h"
#include "common/owners.h"
#include "install/package_signature.h"
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

struct CheckFigures {
    bool verified = false;
    double download_ms = 0, hashing_ms = 0, verify_ms = 0;
};

// One download as the worker makes it with a key pinned: hashed piece by piece, then verified.
CheckFigures WithPackageCheck(const std::wstring& url, const std::string& key,
                              const std::wstring& signature) {
    CheckFigures figures;
    Sha256 hash;
    LARGE_INTEGER hashing{};
    const LARGE_INTEGER start = Now();
    std::vector<char> body;
    const bool ok = HttpGet(
        url, body, nullptr, [](std::uint64_t, std::uint64_t) {}, L"",
        [&](std::string_view piece) {
            const LARGE_INTEGER before = Now();
            hash.Add(piece);
            hashing.QuadPart += Now().QuadPart - before.QuadPart;
        });
    const LARGE_INTEGER downloaded = Now();
    figures.verified = ok && VerifyPackageSignature(hash, signature, key, nullptr);
    figures.download_ms = Seconds(start, downloaded) * 1000;
    figures.hashing_ms = Seconds({}, hashing) * 1000;
    figures.verify_ms = Seconds(downloaded, Now()) * 1000;
    return figures;
}

std::string ReadFile(const wchar_t* path) {
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 6) return 2;
    const std::wstring url = argv[1];
    const int pairs = _wtoi(argv[2]);
    const int checks = _wtoi(argv[3]);
    const std::string key = ReadFile(argv[4]);
    const std::string signatureText = ReadFile(argv[5]);
    const std::wstring signature(signatureText.begin(), signatureText.end());
    std::vector<double> ours, minimal, ratios;
    std::uint64_t bytes = 0, minimalBytes = 0;
    bool complete = pairs > 0;
    // A first pair, not counted, warms the server's file cache and Wine's network code.
    WithHttpGet(url, bytes);
    WithMinimalLoop(url, minimalBytes);
    for (int pair = 0; pair < pairs; ++pair) {
        // The order alternates, so that neither always runs right after the other's download.
        double oursSpeed = 0, minimalSpeed = 0;
        if (pair % 2 == 0) {
            oursSpeed = WithHttpGet(url, bytes);
            minimalSpeed = WithMinimalLoop(url, minimalBytes);
        } else {
            minimalSpeed = WithMinimalLoop(url, minimalBytes);
            oursSpeed = WithHttpGet(url, bytes);
        }
        complete = complete && oursSpeed > 0 && minimalSpeed > 0 && bytes == minimalBytes;
        ours.push_back(oursSpeed / 1e6);
        minimal.push_back(minimalSpeed / 1e6);
        ratios.push_back(minimalSpeed > 0 ? oursSpeed / minimalSpeed : 0);
    }
    const std::string of = " (median of " + std::to_string(pairs) + " pairs, lowest .. highest)";
    PrintRow("Download, HttpGet" + of, MedianAndRange(ours, "%.1f") + " MB/s");
    PrintRow("Download, minimal WinHTTP loop" + of, MedianAndRange(minimal, "%.1f") + " MB/s");
    PrintRow("Download, HttpGet / minimal loop within a pair" + of, MedianAndRange(ratios, "%.3f"),
             ">= 0.95", complete && Median(ratios) >= 0.95);

    std::vector<double> download, hashing, verify, share;
    bool verified = checks > 0;
    for (int run = 0; run < checks; ++run) {
        const CheckFigures figures = WithPackageCheck(url, key, signature);
        verified = verified && figures.verified;
        download.push_back(figures.download_ms);
        hashing.push_back(figures.hashing_ms);
        verify.push_back(figures.verify_ms);
        share.push_back((figures.hashing_ms + figures.verify_ms) / figures.download_ms);
    }
    const std::string ofChecks =
        " (median of " + std::to_string(checks) + " downloads, lowest .. highest)";
    PrintRow("Package check, signature of the download", verified ? "verified" : "FAILED",
             "verified", verified);
    PrintRow("Package check, download with the hashing" + ofChecks,
             MedianAndRange(download, "%.0f") + " ms");
    PrintRow("Package check, SHA-256 taken as the bytes arrive" + ofChecks,
             MedianAndRange(hashing, "%.0f") + " ms");
    PrintRow("Package check, signature verified after the last byte" + ofChecks,
             MedianAndRange(verify, "%.1f") + " ms");
    PrintRow("Package check, hashing and verifying / download" + ofChecks,
             MedianAndRange(share, "%.3f"));
    return complete && verified ? 0 : 1;
}
