// Download throughput of HttpGet against the fastest this platform layer allows: a minimal
// WinHTTP loop that reads straight into a buffer allocated (and zeroed, as a vector's is) once
// for the announced length. The two download the same URL at the same time, in PAIRS pairs
// after one that is not counted, and each pair gives one ratio: of the bytes each had received
// when the first of them was done. One download after another varies by a fifth on this kind
// of machine (under Wine every read is a round trip between the program and wineserver, at the
// scheduler's mercy), so the two halves of a sequential pair do not meet the same machine;
// downloading at once, they do.
// Then the package check as a build with a pinned key makes it: the download hashed as its
// bytes arrive and the signature verified after the last byte, timed apart, in CHECKS runs.
// Usage: http_throughput.exe URL PAIRS CHECKS PUBLIC_KEY_DER SIGNATURE_FILE
#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <thread>
#include <utility>

#include "bench_support.h"
#include "common/owners.h"
#include "install/package_signature.h"
#include "net/http_get.h"
#include "net/url.h"

namespace {

// When each read ended, in seconds from the pair's start, and the bytes received by then.
using Samples = std::vector<std::pair<double, std::uint64_t>>;

bool WithHttpGet(const std::wstring& url, LARGE_INTEGER zero, Samples& samples) {
    std::vector<char> body;
    return HttpGet(
        url, body, nullptr,
        [&](std::uint64_t received, std::uint64_t) {
            samples.emplace_back(Seconds(zero, Now()), received);
        },
        L"");
}

bool WithMinimalLoop(const std::wstring& url, LARGE_INTEGER zero, Samples& samples) {
    UrlParts parts;
    if (!SplitUrl(url, parts)) return false;
    UniqueInternet session{WinHttpOpen(L"bench", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                       WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0)};
    UniqueInternet connection{WinHttpConnect(session.get(), parts.host.c_str(), parts.port, 0)};
    UniqueInternet request{WinHttpOpenRequest(connection.get(), L"GET",
                                              parts.path_with_query.c_str(), nullptr,
                                              WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0)};
    if (!request ||
        !WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, nullptr, 0, 0, 0) ||
        !WinHttpReceiveResponse(request.get(), nullptr)) {
        return false;
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
        samples.emplace_back(Seconds(zero, Now()), got);
    }
    return length > 0 && got == length;
}

// The bytes received by the time given.
double ReceivedBy(const Samples& samples, double time) {
    double received = 0;
    for (const auto& [at, bytes] : samples) {
        if (at > time) break;
        received = static_cast<double>(bytes);
    }
    return received;
}

struct PairFigures {
    bool complete = false;
    double ours = 0, minimal = 0;  // MB/s until the first was done
};

// Both downloads at once, each on a thread of its own; which thread starts first alternates.
PairFigures RunPair(const std::wstring& url, bool oursFirst) {
    Samples ours, minimal;
    ours.reserve(1 << 16);  // no allocation of the bench's own while the downloads run
    minimal.reserve(1 << 16);
    bool oursDone = false, minimalDone = false;
    // Both threads wait for one event, set once both exist.
    const UniqueHandle start{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    LARGE_INTEGER zero{};
    const auto run = [&](std::function<void()> download) {
        return std::thread([&start, download] {
            WaitForSingleObject(start.get(), INFINITE);
            download();
        });
    };
    const std::function<void()> downloads[] = {
        [&] { oursDone = WithHttpGet(url, zero, ours); },
        [&] { minimalDone = WithMinimalLoop(url, zero, minimal); }};
    std::thread first = run(downloads[oursFirst ? 0 : 1]);
    std::thread second = run(downloads[oursFirst ? 1 : 0]);
    zero = Now();
    SetEvent(start.get());
    first.join();
    second.join();
    PairFigures figures;
    if (!oursDone || !minimalDone || ours.empty() || minimal.empty()) return figures;
    const double done = std::min(ours.back().first, minimal.back().first);
    figures.complete = done > 0;
    figures.ours = ReceivedBy(ours, done) / done / 1e6;
    figures.minimal = ReceivedBy(minimal, done) / done / 1e6;
    return figures;
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
    bool complete = pairs > 0;
    RunPair(url, true);  // warms the server's file cache and Wine's network code; not counted
    for (int pair = 0; pair < pairs; ++pair) {
        const PairFigures figures = RunPair(url, pair % 2 == 0);
        complete = complete && figures.complete;
        ours.push_back(figures.ours);
        minimal.push_back(figures.minimal);
        ratios.push_back(figures.minimal > 0 ? figures.ours / figures.minimal : 0);
    }
    const std::string of = " (median of " + std::to_string(pairs) + " pairs, lowest .. highest)";
    PrintRow("Download at the same time, HttpGet" + of, MedianAndRange(ours, "%.1f") + " MB/s");
    PrintRow("Download at the same time, minimal WinHTTP loop" + of,
             MedianAndRange(minimal, "%.1f") + " MB/s");
    PrintRow("Download at the same time, HttpGet / minimal loop" + of,
             MedianAndRange(ratios, "%.3f"), ">= 0.97", complete && Median(ratios) >= 0.97);

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
