#include "install/partial_download.h"

#include <windows.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <memory>
#include <string_view>
#include <vector>

#include "common/text.h"

namespace fs = std::filesystem;

namespace {

constexpr wchar_t kPartialSuffix[] = L".partial";
// Beside the partial file: what it is a part of. There is one record, so one partial download
// at most is kept.
constexpr wchar_t kRecordName[] = L"VexaBoxInstaller.partial-download";
constexpr char kRecordHeading[] = "VexaBoxInstaller partial download 1";
constexpr DWORD kRecordLimit = 64 << 10;
constexpr DWORD kFileChunk = DWORD{1} << 20;

// What a partial file is a part of, one line each in the record.
struct PartialRecord {
    std::wstring address;      // the package address it was downloaded for
    std::wstring file;         // its name in the temporary folder
    std::wstring validator;    // what a request for the rest carries in If-Range
    std::uint64_t length = 0;  // the whole package's length
};

fs::path RecordPath(const std::wstring& archive) {
    return fs::path(archive).parent_path() / kRecordName;
}

std::wstring PartialName(const std::wstring& archive) {
    return fs::path(PartialPath(archive)).filename().wstring();
}

std::string ReadRecordText(const fs::path& path) {
    const UniqueHandle file =
        OpenFileItself(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    std::string text(kRecordLimit, '\0');
    DWORD read = 0;
    if (!file || !ReadFile(file.get(), text.data(), kRecordLimit, &read, nullptr)) return {};
    text.resize(read);
    return text;
}

// A line of text: no control character, a zero least of all (a path is cut there).
bool IsPlainLine(std::string_view line) {
    return std::none_of(line.begin(), line.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

bool ParseRecord(const std::string& text, PartialRecord& record) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    if (start != text.size() || lines.size() != 5 || lines[0] != kRecordHeading ||
        !std::all_of(lines.begin(), lines.end(), IsPlainLine)) {
        return false;
    }
    const std::string& length = lines[4];
    const auto [end, failure] =
        std::from_chars(length.data(), length.data() + length.size(), record.length);
    if (length.empty() || failure != std::errc() || end != length.data() + length.size()) {
        return false;
    }
    record.address = Utf8ToWide(lines[1]);
    record.file = Utf8ToWide(lines[2]);
    record.validator = Utf8ToWide(lines[3]);
    // Only a partial file of the temporary folder itself is ever deleted for a record.
    return record.file.find_first_of(L"\\/:") == std::wstring::npos &&
           record.file.ends_with(kPartialSuffix);
}

UniqueHandle OpenPartial(const std::wstring& archive, DWORD disposition) {
    return OpenFileItself(PartialPath(archive).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                          FILE_SHARE_READ, disposition);
}

// Adds the file's bytes up to `size` to the hash (when given), and leaves it open there.
bool HashUpTo(HANDLE file, std::uint64_t size, Sha256* hash) {
    LARGE_INTEGER position{};
    if (!hash) {
        position.QuadPart = static_cast<LONGLONG>(size);
        return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) != FALSE;
    }
    if (!SetFilePointerEx(file, position, nullptr, FILE_BEGIN)) return false;
    const auto buffer = std::make_unique_for_overwrite<char[]>(kFileChunk);
    for (std::uint64_t left = size; left > 0;) {
        DWORD read = 0;
        const auto asked = static_cast<DWORD>(std::min<std::uint64_t>(left, kFileChunk));
        if (!ReadFile(file, buffer.get(), asked, &read, nullptr) || read != asked) return false;
        hash->Add(std::string_view(buffer.get(), read));
        left -= read;
    }
    return true;
}

}  // namespace

std::wstring PartialPath(const std::wstring& archive) {
    return archive + kPartialSuffix;
}

PartialDownload PickUpPartial(const std::wstring& archive, const std::wstring& packageAddress,
                              Sha256* hash) {
    const fs::path recordPath = RecordPath(archive);
    PartialRecord record;
    const bool readable = ParseRecord(ReadRecordText(recordPath), record);
    if (readable && record.address == packageAddress && record.file == PartialName(archive)) {
        PartialDownload partial{OpenPartial(archive, OPEN_EXISTING)};
        LARGE_INTEGER size{};
        if (partial.file && GetFileSizeEx(partial.file.get(), &size) && size.QuadPart > 0 &&
            static_cast<std::uint64_t>(size.QuadPart) < record.length &&
            HashUpTo(partial.file.get(), static_cast<std::uint64_t>(size.QuadPart), hash)) {
            partial.held = static_cast<std::uint64_t>(size.QuadPart);
            partial.total = record.length;
            partial.validator = record.validator;
            return partial;
        }
    }
    if (hash) hash->Restart();
    if (readable) DeleteFileW((recordPath.parent_path() / record.file).c_str());
    DeleteFileW(PartialPath(archive).c_str());
    DeleteFileW(recordPath.c_str());
    return {};
}

UniqueHandle CreatePartial(const std::wstring& archive) {
    // Whatever stands there goes first, a link as a link: a new file is made, never an old one
    // truncated through a link.
    DeleteFileW(PartialPath(archive).c_str());
    return OpenPartial(archive, CREATE_NEW);
}

void RecordPartial(const std::wstring& archive, const std::wstring& packageAddress,
                   const std::wstring& validator, std::uint64_t total) {
    const std::wstring file = PartialName(archive);
    const std::string text = std::string(kRecordHeading) + "\n" + WideToUtf8(packageAddress) +
                             "\n" + WideToUtf8(file) + "\n" + WideToUtf8(validator) + "\n" +
                             std::to_string(total) + "\n";
    PartialRecord readBack;
    if (validator.empty() || total == 0 || !ParseRecord(text, readBack)) {
        return ForgetPartial(archive);
    }
    const fs::path path = RecordPath(archive);
    DeleteFileW(path.c_str());
    const UniqueHandle record = OpenFileItself(path.c_str(), GENERIC_WRITE, 0, CREATE_NEW);
    DWORD written = 0;
    if (!record ||
        !WriteFile(record.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size()) {
        DeleteFileW(path.c_str());
    }
}

void ForgetPartial(const std::wstring& archive) {
    DeleteFileW(RecordPath(archive).c_str());
}

void RemoveLeftDownload(const std::wstring& folder) {
    const fs::path recordPath = fs::path(folder) / kRecordName;
    PartialRecord record;
    if (ParseRecord(ReadRecordText(recordPath), record)) {
        DeleteFileW((recordPath.parent_path() / record.file).c_str());
    }
    DeleteFileW(recordPath.c_str());
}
