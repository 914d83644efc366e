#include "install/zip_listing.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace {

constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kZip64EndSignature = 0x06064b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint16_t kFlagUtf8 = 1 << 11;
constexpr std::uint64_t kEndSize = 22;
constexpr std::uint64_t kLongestComment = 0xFFFF;
constexpr std::uint64_t kLocatorSize = 20;
constexpr std::uint64_t kZip64EndSize = 56;
constexpr std::uint64_t kCentralEntrySize = 46;
// A directory larger than this is no package's: 64 MiB is a million entries with long names.
constexpr std::uint64_t kLongestDirectory = std::uint64_t{64} << 20;

std::uint64_t Little(std::string_view bytes, size_t at, int width) {
    std::uint64_t value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)]);
    return value;
}

bool ReadAt(HANDLE file, std::uint64_t offset, std::uint64_t size, std::string& bytes) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    bytes.assign(static_cast<size_t>(size), '\0');
    DWORD read = 0;
    return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) &&
           ReadFile(file, bytes.data(), static_cast<DWORD>(size), &read, nullptr) && read == size;
}

// Where the central directory lies and how many entries it holds, from the end records.
struct Directory {
    std::uint64_t offset = 0, size = 0, entries = 0;
};

// The end record is the last one whose comment reaches exactly to the end; a zip64 archive puts
// the real figures in a record of its own, which a locator just before the end record names.
bool FindDirectory(std::string_view tail, std::uint64_t tailStart, Directory& directory) {
    if (tail.size() < kEndSize) return false;
    size_t end = tail.size() - kEndSize;
    while (Little(tail, end, 4) != kEndSignature ||
           end + kEndSize + Little(tail, end + 20, 2) != tail.size()) {
        if (end == 0) return false;
        --end;
    }
    directory = {Little(tail, end + 16, 4), Little(tail, end + 12, 4), Little(tail, end + 10, 2)};
    const bool zip64 = directory.entries == 0xFFFF || directory.size == 0xFFFFFFFF ||
                       directory.offset == 0xFFFFFFFF;
    if (!zip64) return true;
    if (end < kLocatorSize || Little(tail, end - kLocatorSize, 4) != kZip64LocatorSignature) {
        return false;
    }
    const std::uint64_t record = Little(tail, end - kLocatorSize + 8, 8);
    if (record < tailStart || record - tailStart + kZip64EndSize > end - kLocatorSize) return false;
    const size_t at = static_cast<size_t>(record - tailStart);
    if (Little(tail, at, 4) != kZip64EndSignature) return false;
    directory = {Little(tail, at + 48, 8), Little(tail, at + 40, 8), Little(tail, at + 32, 8)};
    return true;
}

std::wstring DecodeName(std::string_view bytes, bool utf8) {
    const UINT codePage = utf8 ? CP_UTF8 : CP_ACP;
    const int length = static_cast<int>(bytes.size());
    const int units = MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
    std::wstring name(static_cast<size_t>(std::max(units, 0)), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), length, name.data(), units);
    std::replace(name.begin(), name.end(), L'/', L'\\');
    return name;
}

bool ReadNames(std::string_view directory, std::uint64_t entries,
               std::vector<std::wstring>& names) {
    size_t at = 0;
    for (std::uint64_t i = 0; i < entries; ++i) {
        if (directory.size() - at < kCentralEntrySize ||
            Little(directory, at, 4) != kCentralSignature) {
            return false;
        }
        const auto flags = static_cast<std::uint16_t>(Little(directory, at + 8, 2));
        const size_t nameLength = Little(directory, at + 28, 2);
        const size_t rest =
            nameLength + Little(directory, at + 30, 2) + Little(directory, at + 32, 2);
        if (directory.size() - at - kCentralEntrySize < rest) return false;
        const std::wstring name =
            DecodeName(directory.substr(at + kCentralEntrySize, nameLength), flags & kFlagUtf8);
        if (!name.empty() && name.back() != L'\\') names.push_back(name);
        at += kCentralEntrySize + rest;
    }
    return true;
}

}  // namespace

bool ListZipFiles(HANDLE archive, std::vector<std::wstring>& names) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(archive, &size)) return false;
    const auto archiveSize = static_cast<std::uint64_t>(size.QuadPart);
    const std::uint64_t tailSize =
        std::min(archiveSize, kEndSize + kLongestComment + kZip64EndSize + kLocatorSize);
    std::string tail, directoryBytes;
    Directory directory;
    std::vector<std::wstring> found;
    if (!ReadAt(archive, archiveSize - tailSize, tailSize, tail) ||
        !FindDirectory(tail, archiveSize - tailSize, directory) ||
        directory.size > kLongestDirectory || directory.offset > archiveSize ||
        directory.size > archiveSize - directory.offset ||
        !ReadAt(archive, directory.offset, directory.size, directoryBytes) ||
        !ReadNames(directoryBytes, directory.entries, found)) {
        return false;
    }
    names = std::move(found);
    return true;
}
