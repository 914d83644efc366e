// Download throughput of the installer's package download (HttpGet, straight into the partial
// file) against the fastest this platform layer allows: a minimal WinHTTP loop that reads up to
// 1 MiB at a time into one buffer and writes it to a file. The two download the same URL at the
// same time, in PAIRS pairs after one that is not counted, and each pair gives one ratio: of the
// bytes each had received when the first of them was done. One download after another varies by
// a fifth on this kind of machine (under Wine every read is a round trip between the program and
// wineserver, at the scheduler's mercy), so the two halves of a sequential pair do not meet the
// same machine; downloading at once, they do.
// Then the package check as a build with a pinned key makes it: the download hashed as its bytes
// arrive and the signature verified after the last byte, in CHECKS runs; the hash's own share is
// timed over the same bytes apart. And the download cut once at half, picked up where it broke
// off, against an uncut one, in CUTS pairs.
// Usage: http_throughput.exe URL PAIRS CHECKS PUBLIC_KEY_DER SIGNATURE_FILE PACKAGE CUTS
//   PACKAGE is the host path of the package that URL serves.
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
#include "install/package_download.h"
#include "install/package_signature.h"
#include "net/url.h"
#include "support/test_server.h"

namespace fs = std::filesystem;

namespace {

// When each read ended, in seconds from the pair's start, and the bytes received by then.
using Samples = std::vector<std::pair<double, std::uint64_t>>;

std::wstring TempFile(const wchar_t* name) {
    return (fs::temp_directory_path() / name).wstring();
}

// The installer's own download, into the temporary folder; waits are the resumptions' (none:
// a break is a failure).
bool WithPackageDownload(const std::wstring& url, Sha256* hash, Samples* samples,
                         LARGE_INTEGER zero, std::vector<std::chrono::milliseconds> waits = {}) {
    PackageDownload download{url, url, TempFile(L"vexa-bench-ours.zip"),
                             fs::temp_directory_path().wstring(), std::move(waits)};
    UniqueHandle partial;
    const bool ok = DownloadPackage(
        {}, download, [](std::wstring_view) {},
        [&](std::uint64_t received, std::uint64_t) {
            if (samples) samples->emplace_back(Seconds(zero, Now()), received);
        },
        hash, partial, nullptr);
    DiscardDownload(download.archive, partial);
    return ok;
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
    const std::wstring path = TempFile(L"vexa-bench-minimal.zip");
    const UniqueHandle file{ValidHandle(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr))};
    if (!request || !file ||
        !WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, nullptr, 0, 0, 0) ||
        !WinHttpReceiveResponse(request.get(), nullptr)) {
        return false;
    }
    DWORD length = 0;
    DWORD size = sizeof(length);
    WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, &length, &size, WINHTTP_NO_HEADER_INDEX);
    constexpr DWORD kBuffer = DWORD{1} << 20;
    const auto buffer = std::make_unique_for_overwrite<char[]>(kBuffer);
    DWORD got = 0;
    while (got < length) {
        DWORD read = 0, written = 0;
        if (!WinHttpReadData(request.get(), buffer.get(), std::min(length - got, kBuffer), &read) ||
            read == 0 || !WriteFile(file.get(), buffer.get(), read, &written, nullptr)) {
            break;
        }
        got += read;
        samples.emplace_back(Seconds(zero, Now()), got);
    }
    DeleteFileW(path.c_str());
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
        [&] { oursDone = WithPackageDownload(url, nullptr, &ours, zero); },
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
// The hash alone is timed over the package's bytes in memory.
CheckFigures WithPackageCheck(const std::wstring& url, const std::string& key,
                              const std::wstring& signature, const std::string& bytes) {
    CheckFigures figures;
    Sha256 hash;
    const LARGE_INTEGER start = Now();
    const bool ok = WithPackageDownload(url, &hash, nullptr, start);
    const LARGE_INTEGER downloaded = Now();
    figures.verified = ok && VerifyPackageSignature(hash, signature, key, nullptr);
    figures.download_ms = Seconds(start, downloaded) * 1000;
    figures.verify_ms = Seconds(downloaded, Now()) * 1000;
    Sha256 apart;
    const LARGE_INTEGER hashing = Now();
    for (size_t at = 0; at < bytes.size(); at += 1 << 20)
        apart.Add(std::string_view(bytes).substr(at, 1 << 20));
    figures.hashing_ms = Seconds(hashing, Now()) * 1000;
    return figures;
}

constexpr char kCutPath[] = "/bench/cut/package.zip";

// Milliseconds for one download of the package, or -1 when it failed. A cut one gets half the
// package, then the rest to a request for it, after the installer's first wait of 1 s.
double TimedDownload(const std::wstring& url, const std::string& package, std::uint64_t size,
                     bool cut) {
    const std::string file = R"("body_file": )" + JsonText(package) + R"(, "etag": "\"bench\"")";
    SetRoute(kCutPath,
             "[{" + file + ", \"send\": " + std::to_string(size / 2) + "}, {" + file + "}]");
    const LARGE_INTEGER start = Now();
    const bool ok = WithPackageDownload(cut ? HttpUrl(kCutPath) : url, nullptr, nullptr, start,
                                        {std::chrono::seconds(1)});
    return ok ? Seconds(start, Now()) * 1000 : -1;
}

std::string ReadFile(const wchar_t* path) {
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 8) return 2;
    const std::wstring url = argv[1];
    const int pairs = _wtoi(argv[2]);
    const int checks = _wtoi(argv[3]);
    const std::string key = ReadFile(argv[4]);
    const std::string signatureText = ReadFile(argv[5]);
    const std::wstring signature(signatureText.begin(), signatureText.end());
    const std::string package = Narrow(argv[6]);
    const std::string bytes = ReadFile(Widen("Z:" + package).c_str());
    const int cuts = _wtoi(argv[7]);
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
        const CheckFigures figures = WithPackageCheck(url, key, signature, bytes);
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
    PrintRow("Package check, SHA-256 of the package's bytes, timed apart" + ofChecks,
             MedianAndRange(hashing, "%.0f") + " ms");
    PrintRow("Package check, signature verified after the last byte" + ofChecks,
             MedianAndRange(verify, "%.1f") + " ms");
    PrintRow("Package check, hashing and verifying / download" + ofChecks,
             MedianAndRange(share, "%.3f"));

    std::vector<double> cutMs, uncutMs, extra;
    bool resumed = cuts > 0;
    for (int pair = 0; pair < cuts; ++pair) {
        for (const bool cut : {pair % 2 == 0, pair % 2 != 0}) {
            const double ms = TimedDownload(url, package, bytes.size(), cut);
            resumed = resumed && ms > 0;
            (cut ? cutMs : uncutMs).push_back(ms);
        }
        extra.push_back(cutMs.back() - uncutMs.back() - 1000);
    }
    const std::string ofCuts = " (median of " + std::to_string(cuts) + ", lowest .. highest)";
    PrintRow("Download cut once at half and picked up" + ofCuts,
             resumed ? MedianAndRange(cutMs, "%.0f") + " ms" : "FAILED", "completes", resumed);
    PrintRow("Download uncut" + ofCuts, MedianAndRange(uncutMs, "%.0f") + " ms");
    PrintRow("Download cut once, minus uncut, minus the 1 s wait before the request for the rest" +
                 ofCuts,
             MedianAndRange(extra, "%+.0f") + " ms",
             Format("< half an uncut download (%.0f ms)", Median(uncutMs) / 2),
             resumed && Median(extra) < Median(uncutMs) / 2);
    return complete && verified && resumed ? 0 : 1;
}
