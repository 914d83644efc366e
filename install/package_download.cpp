#include "install/package_download.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string_view>

#include "common/error_text.h"
#include "common/text.h"
#include "net/http_get.h"

namespace fs = std::filesystem;

namespace {

constexpr wchar_t kTextDownloading[] = L"正在下载安装包...";
constexpr wchar_t kTextReconnecting[] = L"网络中断，正在重新连接...";
constexpr wchar_t kTextNoSpace[] = L"磁盘空间不足";
constexpr wchar_t kTextWriteFailed[] = L"无法写入下载文件";

constexpr wchar_t kPartialSuffix[] = L".partial";
// Beside the partial file: what it is a part of. There is one record, so one partial download
// at most is kept.
constexpr wchar_t kRecordName[] = L"VexaBoxInstaller.partial-download";
constexpr char kRecordHeading[] = "VexaBoxInstaller partial download 1";
constexpr DWORD kRecordLimit = 64 << 10;
constexpr DWORD kFileChunk = DWORD{1} << 20;

// What a partial file is a part of, one line each.
struct PartialRecord {
    std::wstring address;      // the package address it was downloaded for
    std::wstring file;         // its name in the temporary folder
    std::wstring validator;    // what a request for the rest carries in If-Range
    std::uint64_t length = 0;  // the whole package's length
};

// The state of one download.
struct Transfer {
    UniqueHandle file;          // the partial file, written by this process alone
    std::uint64_t held = 0;     // the bytes in it
    std::uint64_t total = 0;    // the whole package's announced length; 0: none
    std::wstring validator;     // the package's strong ETag or Last-Modified; empty: none
    std::wstring url;           // what a request for the rest goes to
    bool reconnecting = false;  // "reconnecting" is shown until bytes flow again
};

// How one request of a download ended.
enum class Outcome {
    kComplete,  // the package is whole
    kStopped,   // stopped here: no room on the disk, or the file cannot be written
    kRefused,   // a request for the whole package was answered with an error
    kUnusable,  // a request for the rest was answered with anything but the rest
    kBroken,    // no answer, or a body that broke off
};

fs::path RecordPath(const std::wstring& archive) {
    return fs::path(archive).parent_path() / kRecordName;
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

std::string ReadSmallFile(const fs::path& path) {
    const UniqueHandle file{ValidHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                    nullptr, OPEN_EXISTING, 0, nullptr))};
    std::string text(kRecordLimit, '\0');
    DWORD read = 0;
    if (!file || !ReadFile(file.get(), text.data(), kRecordLimit, &read, nullptr)) return {};
    text.resize(read);
    return text;
}

bool WriteAll(HANDLE file, std::string_view bytes) {
    DWORD written = 0;
    return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

bool ParseRecord(const std::string& text, PartialRecord& record) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(Utf8ToWide(text.substr(start, end - start)));
    std::wstring_view length = lines.size() == 5 ? lines[4] : L"";
    if (start != text.size() || lines.size() != 5 || lines[0] != Utf8ToWide(kRecordHeading) ||
        !ReadNumber(length, record.length) || !length.empty()) {
        return false;
    }
    record.address = lines[1];
    record.file = lines[2];
    record.validator = lines[3];
    // Only a partial file of the temporary folder itself is ever deleted for a record.
    return record.file.find_first_of(L"\\/:") == std::wstring::npos &&
           record.file.ends_with(kPartialSuffix);
}

// Writes what the partial file is a part of beside it, or removes the record when the download
// could not be picked up in a later run.
void KeepRecord(const PackageDownload& download, const Transfer& t) {
    const fs::path path = RecordPath(download.archive);
    const std::wstring file = fs::path(PartialPath(download.archive)).filename().wstring();
    const bool oneLineEach =
        (download.packageAddress + file + t.validator).find_first_of(L"\r\n") == std::wstring::npos;
    if (t.validator.empty() || t.total == 0 || !oneLineEach) {
        DeleteFileW(path.c_str());
        return;
    }
    const std::string text = std::string(kRecordHeading) + "\n" +
                             WideToUtf8(download.packageAddress) + "\n" + WideToUtf8(file) + "\n" +
                             WideToUtf8(t.validator) + "\n" + std::to_string(t.total) + "\n";
    const UniqueHandle record{ValidHandle(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr))};
    if (!record || !WriteAll(record.get(), text)) DeleteFileW(path.c_str());
}

UniqueHandle OpenPartial(const std::wstring& path, DWORD disposition) {
    return UniqueHandle{ValidHandle(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                                FILE_SHARE_READ, nullptr, disposition,
                                                FILE_ATTRIBUTE_NORMAL, nullptr))};
}

bool MoveTo(HANDLE file, std::uint64_t offset) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) != FALSE;
}

// Adds the file's first `size` bytes to the hash.
bool HashFile(HANDLE file, std::uint64_t size, Sha256* hash) {
    if (!hash) return MoveTo(file, size);
    const auto buffer = std::make_unique_for_overwrite<char[]>(kFileChunk);
    if (!MoveTo(file, 0)) return false;
    for (std::uint64_t left = size; left > 0;) {
        DWORD read = 0;
        const auto asked = static_cast<DWORD>(std::min<std::uint64_t>(left, kFileChunk));
        if (!ReadFile(file, buffer.get(), asked, &read, nullptr) || read != asked) return false;
        hash->Add(std::string_view(buffer.get(), read));
        left -= read;
    }
    return true;
}

// Takes up the partial file that an earlier run left for this package address, hashed as far
// as it goes. Whatever else a run left behind is deleted: another address's partial download,
// and a partial file that no record vouches for or that is not shorter than its package.
void PickUpPartial(const PackageDownload& download, Sha256* hash, Transfer& t) {
    const fs::path recordPath = RecordPath(download.archive);
    const std::wstring partialPath = PartialPath(download.archive);
    PartialRecord record;
    const bool readable = ParseRecord(ReadSmallFile(recordPath), record);
    if (readable && record.address == download.packageAddress &&
        record.file == fs::path(partialPath).filename().wstring()) {
        UniqueHandle file = OpenPartial(partialPath, OPEN_EXISTING);
        LARGE_INTEGER size{};
        if (file && GetFileSizeEx(file.get(), &size) && size.QuadPart > 0 &&
            static_cast<std::uint64_t>(size.QuadPart) < record.length &&
            HashFile(file.get(), static_cast<std::uint64_t>(size.QuadPart), hash)) {
            t.file = std::move(file);
            t.held = static_cast<std::uint64_t>(size.QuadPart);
            t.total = record.length;
            t.validator = record.validator;
            return;
        }
    }
    if (hash) hash->Restart();
    if (readable) DeleteFileW((recordPath.parent_path() / record.file).c_str());
    DeleteFileW(partialPath.c_str());
    DeleteFileW(recordPath.c_str());
}

// Empties the partial file: what it holds cannot be continued.
bool StartOver(Transfer& t, Sha256* hash) {
    t.held = 0;
    t.validator.clear();
    if (hash) hash->Restart();
    return !t.file || (MoveTo(t.file.get(), 0) && SetEndOfFile(t.file.get()));
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
    if (t.total == 0) return true;
    const std::uint64_t toCome = t.total > t.held ? t.total - t.held : 0;
    std::uint64_t tempFree = 0, installFree = 0;
    std::wstring tempRoot, installRoot;
    if (!FreeSpace(fs::path(download.archive).parent_path(), tempFree, tempRoot) ||
        !FreeSpace(download.installDir, installFree, installRoot)) {
        return true;
    }
    if (EqualIgnoringAsciiCase(tempRoot, installRoot)) {
        return tempFree >= toCome && tempFree - toCome >= t.total;
    }
    return tempFree >= toCome && installFree >= t.total;
}

// One request: for the rest of the package when bytes of it are held and it has a validator,
// for the whole package otherwise.
Outcome Attempt(const ProxySettings& proxies, const PackageDownload& download, Transfer& t,
                Sha256* hash, const StatusFunction& status, const ProgressFunction& progress,
                std::wstring* error) {
    const bool ranged = t.held > 0 && !t.validator.empty();
    const std::wstring headers =
        ranged ? L"Range: bytes=" + std::to_wstring(t.held) + L"-\r\nIf-Range: " + t.validator
               : std::wstring();
    DWORD answer = 0;
    bool stopped = false, unusable = false;
    const auto stop = [&](std::wstring* sinkError, const wchar_t* text) {
        stopped = true;
        return Fail(sinkError, text);
    };
    const BodySink sink{[&](const ResponseHead& head, std::wstring* sinkError) {
                            answer = head.status;
                            if (head.status >= 400) return true;  // the call fails with the status
                            if (ranged && head.status == 206) {
                                unusable = !IsTheRest(head, t.held, t.total) ||
                                           !MoveTo(t.file.get(), t.held);
                                if (unusable) return false;
                            } else {
                                if (!StartOver(t, hash)) return stop(sinkError, kTextWriteFailed);
                                t.total = head.length;
                                t.validator = ValidatorOf(head);
                                t.url = head.url;
                            }
                            if (!HasRoom(download, t)) return stop(sinkError, kTextNoSpace);
                            if (!t.file)
                                t.file = OpenPartial(PartialPath(download.archive), CREATE_ALWAYS);
                            if (!t.file) return stop(sinkError, kTextWriteFailed);
                            KeepRecord(download, t);
                            return true;
                        },
                        [&](std::string_view piece, std::wstring* sinkError) {
                            if (!WriteAll(t.file.get(), piece))
                                return stop(sinkError, kTextWriteFailed);
                            if (hash) hash->Add(piece);
                            t.held += piece.size();
                            if (t.reconnecting) status(kTextDownloading);
                            t.reconnecting = false;
                            if (progress) progress(t.held, t.total);
                            return true;
                        }};
    if (HttpGet(proxies, t.url, headers, sink, error)) return Outcome::kComplete;
    if (stopped) return Outcome::kStopped;
    if (unusable || (ranged && answer >= 400)) return Outcome::kUnusable;
    return answer >= 400 ? Outcome::kRefused : Outcome::kBroken;
}

}  // namespace

std::wstring PartialPath(const std::wstring& archive) {
    return archive + kPartialSuffix;
}

bool DownloadPackage(const ProxySettings& proxies, const PackageDownload& download,
                     const StatusFunction& status, const ProgressFunction& progress, Sha256* hash,
                     UniqueHandle& partial, std::wstring* error) {
    status(kTextDownloading);
    Transfer t;
    t.url = download.url;
    PickUpPartial(download, hash, t);
    // A download goes on after a failure only once it has held a byte of the package.
    bool resuming = t.held > 0;
    size_t resumptions = 0;
    for (;;) {
        const Outcome outcome = Attempt(proxies, download, t, hash, status, progress, error);
        resuming = resuming || t.held > 0;
        if (outcome == Outcome::kComplete) {
            partial = std::move(t.file);
            return true;
        }
        if (outcome == Outcome::kStopped || outcome == Outcome::kRefused || !resuming) return false;
        // The server cannot continue: the whole package again, at once.
        if (outcome == Outcome::kUnusable) {
            if (!StartOver(t, hash)) return Fail(error, kTextWriteFailed);
            continue;
        }
        // Without a validator the rest might come from another version of the package.
        if (t.validator.empty() && !StartOver(t, hash)) return Fail(error, kTextWriteFailed);
        if (resumptions == download.waits.size()) return false;
        status(kTextReconnecting);
        t.reconnecting = true;
        Sleep(static_cast<DWORD>(download.waits[resumptions++].count()));
    }
}

bool KeepAsArchive(const std::wstring& archive, UniqueHandle& partial, UniqueHandle& held,
                   std::wstring* error) {
    // The new name follows the record's fixed part; the record's own size counts one unit of it.
    std::vector<std::uint64_t> area(
        (sizeof(FILE_RENAME_INFO) + archive.size() * sizeof(wchar_t)) / sizeof(std::uint64_t) + 1);
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(area.data());
    rename->ReplaceIfExists = TRUE;
    rename->FileNameLength = static_cast<DWORD>(archive.size() * sizeof(wchar_t));
    std::copy(archive.begin(), archive.end(), rename->FileName);
    // Renamed through the handle that wrote it: nobody else could change it in between.
    const bool renamed = SetFileInformationByHandle(partial.get(), FileRenameInfo, rename,
                                                    static_cast<DWORD>(area.size() * 8)) != FALSE;
    partial.reset();
    if (!renamed) return Fail(error, kTextWriteFailed);
    DeleteFileW(RecordPath(archive).c_str());
    held.reset(ValidHandle(CreateFileW(archive.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
    if (!held) return Fail(error, kTextWriteFailed);
    return true;
}

void DiscardDownload(const std::wstring& archive, UniqueHandle& partial) {
    partial.reset();
    DeleteFileW(PartialPath(archive).c_str());
    DeleteFileW(RecordPath(archive).c_str());
}
