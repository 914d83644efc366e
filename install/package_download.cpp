#include "install/package_download.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>

#include "common/error_text.h"
#include "common/log.h"
#include "common/text.h"
#include "install/download_status.h"
#include "install/partial_download.h"
#include "net/http_get.h"

namespace fs = std::filesystem;

namespace {

constexpr wchar_t kTextReconnecting[] = L"网络中断，正在重新连接...";
constexpr wchar_t kTextNoSpace[] = L"磁盘空间不足";
constexpr wchar_t kTextWriteFailed[] = L"无法写入下载文件";

constexpr auto kStatusInterval = std::chrono::seconds(1);

// The state of one download.
struct Transfer {
    PartialDownload partial;    // the file so far, and what it is a part of
    std::wstring url;           // what a request for the rest goes to
    bool askWhole = false;      // the server cannot send the rest: the next request asks for all
    bool reconnecting = false;  // "reconnecting" is shown until bytes flow again
    // The status line: what it shows, since when, and the estimate behind its time left.
    std::chrono::steady_clock::time_point began = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point posted = began;
    std::wstring shown = kTextDownloading;
    DownloadEstimate estimate;
};

// The download's line, at most once a second and only when it changes; at once when bytes flow
// again after a break, which it replaces.
void ShowDownload(Transfer& t, const StatusFunction& status) {
    const auto now = std::chrono::steady_clock::now();
    AddSample(t.estimate, t.partial.held,
              std::chrono::duration_cast<std::chrono::milliseconds>(now - t.began));
    if (!t.reconnecting && now - t.posted < kStatusInterval) return;
    const std::wstring text = DownloadStatusText(t.partial.held, t.partial.total,
                                                 MinutesLeft(t.estimate, t.partial.total));
    if (text == t.shown) return;
    status(text);
    t.shown = text;
    t.posted = now;
    t.reconnecting = false;
}

// How one request of a download ended.
enum class Outcome {
    kComplete,  // the package is whole
    kStopped,   // stopped here: no room on the disk, or the file cannot be written
    kRefused,   // answered with an error, or with a success that is not the package
    kChanged,   // the rest came from another version of the package
    kUnusable,  // a request for the rest was answered with something else, of the same version
    kBusy,      // the server could not answer now: a 5xx, 408 or 429
    kGone,      // the address no longer serves it: 403, 404 or 410 (an expired signed address)
    kBroken,    // no answer, or a body that broke off
};

Outcome OutcomeOfStatus(DWORD status) {
    if (status >= 500 || status == 408 || status == 429) return Outcome::kBusy;
    if (status == 403 || status == 404 || status == 410) return Outcome::kGone;
    return Outcome::kRefused;
}

bool ReadNumber(std::wstring_view& text, std::uint64_t& value) {
    size_t digits = 0;
    value = 0;
    for (; digits < text.size() && text[digits] >= L'0' && text[digits] <= L'9'; ++digits) {
        const unsigned digit = static_cast<unsigned>(text[digits] - L'0');
        if (value > (UINT64_MAX - digit) / 10) return false;
        value = value * 10 + digit;
    }
    text.remove_prefix(digits);
    return digits > 0;
}

bool Skip(std::wstring_view& text, wchar_t c) {
    if (text.empty() || text.front() != c) return false;
    text.remove_prefix(1);
    return true;
}

// Whether a 206 comes from the version held: a cache or an edge node may answer the range of a
// newer package without honouring If-Range.
bool IsSameVersion(const ResponseHead& head, const std::wstring& validator) {
    return validator.starts_with(L'"') ? head.etag == validator : head.lastModified == validator;
}

// Whether a 206 answer is the rest of the package: "bytes <held>-<total - 1>/<total>", as long
// as it announces.
bool IsTheRest(const ResponseHead& head, std::uint64_t held, std::uint64_t total) {
    std::wstring_view range = head.contentRange;
    std::uint64_t first = 0, last = 0, whole = 0;
    constexpr std::wstring_view kUnit = L"bytes ";
    if (!range.starts_with(kUnit)) return false;
    range.remove_prefix(kUnit.size());
    return ReadNumber(range, first) && Skip(range, L'-') && ReadNumber(range, last) &&
           Skip(range, L'/') && ReadNumber(range, whole) && range.empty() && first == held &&
           whole == total && last + 1 == total && head.length == total - held;
}

// What a request for the rest may carry in If-Range: a strong ETag, else Last-Modified. A body
// without an announced length is never continued: its bytes cannot be counted against it.
std::wstring ValidatorOf(const ResponseHead& head) {
    if (head.length == 0) return {};
    return head.etag.starts_with(L'"') ? head.etag : head.lastModified;
}

bool WriteAll(HANDLE file, std::string_view bytes) {
    DWORD written = 0;
    return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

bool MoveTo(HANDLE file, std::uint64_t offset) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) != FALSE;
}

// Empties the partial file: what it holds cannot be continued.
bool StartOver(Transfer& t, Sha256* hash) {
    t.partial.held = 0;
    t.partial.validator.clear();
    t.askWhole = false;
    RestartEstimate(t.estimate);
    if (hash) hash->Restart();
    return !t.partial.file ||
           (MoveTo(t.partial.file.get(), 0) && SetEndOfFile(t.partial.file.get()));
}

// Free bytes for this user on the disk of the folder, or of its nearest parent that exists,
// and that disk's root.
bool FreeSpace(fs::path folder, std::uint64_t& free, std::wstring& root) {
    std::error_code ignored;
    while (!fs::is_directory(folder, ignored)) {
        if (!folder.has_relative_path()) return false;
        folder = folder.parent_path();
    }
    ULARGE_INTEGER available{};
    std::wstring volume(MAX_PATH + 1, L'\0');
    if (!GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr) ||
        !GetVolumePathNameW(folder.c_str(), volume.data(), static_cast<DWORD>(volume.size()))) {
        return false;
    }
    free = available.QuadPart;
    root = volume.c_str();
    return true;
}

// Whether the temporary folder's disk takes what is still to come, and the install directory's
// the package once more, unpacked (both together when they are one disk). A disk that cannot
// be asked is left to the writes.
bool HasRoom(const PackageDownload& download, const Transfer& t) {
    if (t.partial.total == 0) return true;
    const std::uint64_t toCome =
        t.partial.total > t.partial.held ? t.partial.total - t.partial.held : 0;
    std::uint64_t tempFree = 0, installFree = 0;
    std::wstring tempRoot, installRoot;
    if (!FreeSpace(fs::path(download.archive).parent_path(), tempFree, tempRoot) ||
        !FreeSpace(download.installDir, installFree, installRoot)) {
        return true;
    }
    if (EqualIgnoringAsciiCase(tempRoot, installRoot)) {
        return tempFree >= toCome && tempFree - toCome >= t.partial.total;
    }
    return tempFree >= toCome && installFree >= t.partial.total;
}

// One request: for the rest of the package when bytes of it are held and it has a validator,
// for the whole package otherwise.
Outcome Attempt(const ProxySettings& proxies, const PackageDownload& download, Transfer& t,
                Sha256* hash, const StatusFunction& status, const ProgressFunction& progress,
                std::wstring* error) {
    const bool ranged = t.partial.held > 0 && !t.partial.validator.empty() && !t.askWhole;
    HeaderLines lines;
    if (ranged) {
        lines.everyHop = L"Range: bytes=" + std::to_wstring(t.partial.held) + L"-\r\nIf-Range: " +
                         t.partial.validator;
        Log(L"asking for the rest from byte " + std::to_wstring(t.partial.held) + L" of " +
            std::to_wstring(t.partial.total) + L", If-Range " +
            (t.partial.validator.starts_with(L'"') ? L"ETag " : L"Last-Modified ") +
            t.partial.validator);
    }
    DWORD answer = 0;
    std::optional<Outcome> decided;
    const auto stop = [&](std::wstring* sinkError, const wchar_t* text) {
        decided = Outcome::kStopped;
        return Fail(sinkError, text);
    };
    const auto onHead = [&](const ResponseHead& head, std::wstring* sinkError) {
        answer = head.status;
        if (head.status >= 400) return true;  // the call fails with the status
        if (ranged && head.status == 206) {
            if (!IsSameVersion(head, t.partial.validator))
                decided = Outcome::kChanged;
            else if (!IsTheRest(head, t.partial.held, t.partial.total) ||
                     !MoveTo(t.partial.file.get(), t.partial.held)) {
                decided = Outcome::kUnusable;
            }
            if (decided) return false;
            Log(L"the rest follows from byte " + std::to_wstring(t.partial.held));
        } else if (head.status != 200) {
            // A 204, or a range that was not asked for, is no package.
            decided = ranged ? Outcome::kUnusable : Outcome::kRefused;
            return FailWithStatus(sinkError, head.status);
        } else {
            if (!StartOver(t, hash)) return stop(sinkError, kTextWriteFailed);
            t.partial.total = head.length;
            t.partial.validator = ValidatorOf(head);
        }
        t.url = head.url;
        if (!HasRoom(download, t)) return stop(sinkError, kTextNoSpace);
        if (!t.partial.file) t.partial.file = CreatePartial(download.archive);
        if (!t.partial.file) return stop(sinkError, kTextWriteFailed);
        RecordPartial(download.archive, download.packageAddress, t.partial.validator,
                      t.partial.total);
        return true;
    };
    const auto onPiece = [&](std::string_view piece, std::wstring* sinkError) {
        if (!WriteAll(t.partial.file.get(), piece)) return stop(sinkError, kTextWriteFailed);
        if (hash) hash->Add(piece);
        t.partial.held += piece.size();
        ShowDownload(t, status);
        if (progress) progress(t.partial.held, t.partial.total);
        return true;
    };
    const BodySink sink{onHead, onPiece};
    if (HttpGet(proxies, t.url, lines, sink, error)) return Outcome::kComplete;
    if (decided) return *decided;
    // Another answer to a request for the rest (416, say): the whole package, from the same
    // server, before the bytes held are given up.
    if (answer >= 400 && ranged && OutcomeOfStatus(answer) == Outcome::kRefused) {
        return Outcome::kUnusable;
    }
    return answer >= 400 ? OutcomeOfStatus(answer) : Outcome::kBroken;
}

}  // namespace

bool DownloadPackage(const ProxySettings& proxies, const PackageDownload& download,
                     const StatusFunction& status, const ProgressFunction& progress, Sha256* hash,
                     UniqueHandle& partial, std::wstring* error) {
    status(kTextDownloading);
    Transfer t;
    t.partial = PickUpPartial(download.archive, download.packageAddress, hash);
    t.url = download.url;
    if (t.partial.held > 0) {
        Log(L"the last run's download holds " + std::to_wstring(t.partial.held) + L" of " +
            std::to_wstring(t.partial.total) + L" bytes");
    }
    // A download goes on after a failure only once it has held a byte of the package.
    bool resuming = t.partial.held > 0;
    size_t resumptions = 0;
    for (;;) {
        const Outcome outcome = Attempt(proxies, download, t, hash, status, progress, error);
        resuming = resuming || t.partial.held > 0;
        switch (outcome) {
            case Outcome::kComplete:
                if (t.partial.total > 0 && t.partial.held != t.partial.total) {
                    return Fail(error, kTextDownloadIncomplete);
                }
                partial = std::move(t.partial.file);
                return true;
            case Outcome::kChanged:  // the whole package again, at once
                Log(L"the rest is of another version: the whole package again");
                if (!StartOver(t, hash)) return Fail(error, kTextWriteFailed);
                continue;
            case Outcome::kUnusable:
                Log(L"the answer is not the rest: asking for the whole package");
                t.askWhole = true;
                continue;
            case Outcome::kGone:
                // The address that delivered the package (an edge host's signed address, say)
                // is asked no more: the package address again, with its redirects afresh.
                if (!resuming || t.url == download.url) return false;
                Log(L"the address that delivered it serves it no more: the package address again");
                t.url = download.url;
                continue;
            case Outcome::kBusy:
            case Outcome::kBroken:
                if (!resuming) return false;
                break;
            case Outcome::kStopped:
            case Outcome::kRefused:
                return false;
        }
        // All that was announced arrived, and more still came: the server cannot be trusted to
        // send the rest.
        if (t.partial.total > 0 && t.partial.held >= t.partial.total) return false;
        // Without a validator the rest might come from another version of the package.
        if (t.partial.validator.empty() && !StartOver(t, hash)) {
            return Fail(error, kTextWriteFailed);
        }
        if (resumptions == download.waits.size()) {
            Log(L"no resumption left");
            return false;
        }
        Log((outcome == Outcome::kBusy ? L"the server is busy at byte " : L"broke off at byte ") +
            std::to_wstring(t.partial.held) + L": waiting " +
            std::to_wstring(download.waits[resumptions].count()) + L" ms");
        status(kTextReconnecting);
        t.shown = kTextReconnecting;
        t.reconnecting = true;
        RestartEstimate(t.estimate);
        Sleep(static_cast<DWORD>(download.waits[resumptions++].count()));
    }
}

bool KeepAsArchive(const std::wstring& archive, UniqueHandle& partial, UniqueHandle& held,
                   std::wstring* error) {
    // FILE_RENAME_INFO ends in the new name, of which its own size already holds one unit.
    std::vector<std::uint64_t> area(
        (sizeof(FILE_RENAME_INFO) + archive.size() * sizeof(wchar_t)) / sizeof(std::uint64_t) + 1);
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(area.data());
    rename->ReplaceIfExists = TRUE;
    rename->FileNameLength = static_cast<DWORD>(archive.size() * sizeof(wchar_t));
    std::copy(archive.begin(), archive.end(), rename->FileName);
    // Renamed through the handle that wrote it: nobody else could change it in between.
    const bool renamed = SetFileInformationByHandle(
                             partial.get(), FileRenameInfo, rename,
                             static_cast<DWORD>(area.size() * sizeof(std::uint64_t))) != FALSE;
    partial.reset();
    if (!renamed) return Fail(error, kTextWriteFailed);
    ForgetPartial(archive);
    held.reset(ValidHandle(CreateFileW(archive.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
    if (!held) return Fail(error, kTextWriteFailed);
    return true;
}

void DiscardDownload(const std::wstring& archive, UniqueHandle& partial) {
    partial.reset();
    DeleteFileW(PartialPath(archive).c_str());
    ForgetPartial(archive);
}
