// Stands in for Windows PowerShell in the tests and the demo, where the real one cannot run.
// It accepts exactly the two commands the program sends:
//
//   powershell.exe -NoProfile -ExecutionPolicy Bypass -Command "$ErrorActionPreference='Stop';
//   Expand-Archive -LiteralPath 'ARCHIVE' -DestinationPath 'DESTINATION' -Force"
//
// (on one line), and does what Expand-Archive -Force does with errors turned into terminating
// ones: it unpacks a zip archive's stored and deflated entries into the destination, creating
// folders and replacing files, and ends with exit code 1 at the first error; and the
// uninstaller's removal of its own file (the script of uninstall/self_removal.cpp, with the
// uninstaller's and its folder's paths as literals), which it carries out as that script does:
// up to 100 tries 100 ms apart to delete the file, then the folder when it is empty. Exit code 2
// means that the command line had neither shape, that it was given a console window, or that it
// was not started in the system directory. It is never part of the installer.
//
// Environment variables let a test see the installer through other endings:
//   VEXA_POWERSHELL_STANDIN_WAIT_FOR           wait until this file exists, at most a minute
//                                              (a test looks at the window while it unpacks)
//   VEXA_POWERSHELL_STANDIN_EXIT_CODE          end with that code at once, unpacking nothing
//   VEXA_POWERSHELL_STANDIN_REMOVE_DESTINATION remove the destination and end with 0
//   VEXA_POWERSHELL_STANDIN_STARTED            create this file first (a test sees the start)
//   VEXA_POWERSHELL_STANDIN_HOLD_MS            after unpacking, keep the unpacked Vexa盒子.exe
//                                              open without sharing for that long, as a
//                                              scanner does with a file just written: from a
//                                              copy of this program that outlives this one
#include <windows.h>

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::wstring_view kCommandHead =
    L"powershell.exe -NoProfile -ExecutionPolicy Bypass -Command \"$ErrorActionPreference='Stop'; "
    L"Expand-Archive -LiteralPath ";
constexpr std::wstring_view kCommandMiddle = L" -DestinationPath ";
constexpr std::wstring_view kCommandTail = L" -Force\"";
constexpr std::wstring_view kRemovalHead =
    L"powershell.exe -NoProfile -ExecutionPolicy Bypass -Command "
    L"\"$ErrorActionPreference='SilentlyContinue'; $f=";
constexpr std::wstring_view kRemovalMiddle = L"; $d=";
constexpr std::wstring_view kRemovalTail =
    L"; for ($i=0; $i -lt 100 -and (Test-Path -LiteralPath $f); $i++) "
    L"{ Remove-Item -LiteralPath $f -Force; Start-Sleep -Milliseconds 100 }; "
    L"if (-not (Get-ChildItem -LiteralPath $d -Force)) { Remove-Item -LiteralPath $d -Force }\"";

constexpr int kExitFailed = 1;
constexpr int kExitBadCommand = 2;

// ---- The command line ----------------------------------------------------------------------

// PowerShell takes any of these as a single quote.
bool IsSingleQuote(wchar_t c) {
    return c == L'\'' || c == L'\u2018' || c == L'\u2019' || c == L'\u201A' || c == L'\u201B';
}

bool Expect(std::wstring_view& rest, std::wstring_view piece) {
    if (!rest.starts_with(piece)) return false;
    rest.remove_prefix(piece.size());
    return true;
}

// A single-quoted literal at the start of rest: any single quote opens and closes it, two in a
// row inside it stand for one (the second).
std::optional<std::wstring> ReadLiteral(std::wstring_view& rest) {
    if (rest.empty() || !IsSingleQuote(rest[0])) return std::nullopt;
    std::wstring value;
    for (size_t i = 1; i < rest.size(); ++i) {
        if (!IsSingleQuote(rest[i])) {
            value += rest[i];
        } else if (i + 1 < rest.size() && IsSingleQuote(rest[i + 1])) {
            value += rest[++i];
        } else {
            rest.remove_prefix(i + 1);
            return value;
        }
    }
    return std::nullopt;
}

struct Command {
    bool removal = false;      // the uninstaller's removal; otherwise Expand-Archive
    std::wstring archive;      // or the uninstaller
    std::wstring destination;  // or its folder
};

// The command line when it has the shape head, literal, middle, literal, tail.
std::optional<Command> ParseShape(std::wstring_view line, std::wstring_view head,
                                  std::wstring_view middle, std::wstring_view tail) {
    if (!Expect(line, head)) return std::nullopt;
    std::optional<std::wstring> first = ReadLiteral(line);
    if (!first || !Expect(line, middle)) return std::nullopt;
    std::optional<std::wstring> second = ReadLiteral(line);
    if (!second || line != tail) return std::nullopt;
    return Command{false, *first, *second};
}

std::optional<Command> ParseCommand(std::wstring_view line) {
    if (std::optional<Command> removal =
            ParseShape(line, kRemovalHead, kRemovalMiddle, kRemovalTail)) {
        removal->removal = true;
        return removal;
    }
    return ParseShape(line, kCommandHead, kCommandMiddle, kCommandTail);
}

// What the uninstaller's script does.
int RemoveUninstaller(const Command& command) {
    for (int i = 0;
         i < 100 && GetFileAttributesW(command.archive.c_str()) != INVALID_FILE_ATTRIBUTES; ++i) {
        DeleteFileW(command.archive.c_str());
        Sleep(100);
    }
    std::error_code failure;
    if (fs::is_empty(command.destination, failure) && !failure) {
        RemoveDirectoryW(command.destination.c_str());
    }
    return 0;
}

// ---- The zip archive -----------------------------------------------------------------------

struct Entry {
    std::wstring name;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint32_t crc = 0;
    std::uint32_t packedSize = 0;
    std::uint32_t size = 0;
    std::uint32_t localOffset = 0;
};

class Reader {
public:
    explicit Reader(const std::vector<unsigned char>& bytes) : bytes_(bytes) {}
    bool Has(std::uint64_t offset, std::uint64_t count) const {
        return offset <= bytes_.size() && count <= bytes_.size() - offset;
    }
    std::uint16_t U16(std::uint64_t at) const {
        return static_cast<std::uint16_t>(bytes_[at] | bytes_[at + 1] << 8);
    }
    std::uint32_t U32(std::uint64_t at) const {
        return static_cast<std::uint32_t>(U16(at)) | static_cast<std::uint32_t>(U16(at + 2)) << 16;
    }
    const unsigned char* At(std::uint64_t at) const { return bytes_.data() + at; }
    std::uint64_t Size() const { return bytes_.size(); }

private:
    const std::vector<unsigned char>& bytes_;
};

constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint16_t kFlagEncrypted = 1 << 0;
constexpr std::uint16_t kFlagUtf8 = 1 << 11;
constexpr std::uint16_t kMethodStored = 0;
constexpr std::uint16_t kMethodDeflated = 8;

std::wstring DecodeName(const unsigned char* bytes, int length, bool utf8) {
    // Names without the UTF-8 flag are in the format's original code page, 437.
    const UINT codePage = utf8 ? CP_UTF8 : 437;
    const char* text = reinterpret_cast<const char*>(bytes);
    const int units = MultiByteToWideChar(codePage, 0, text, length, nullptr, 0);
    std::wstring name(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(codePage, 0, text, length, name.data(), units);
    return name;
}

// The central directory's entries, or nothing when the bytes are not a zip archive this
// stand-in understands (archives of the zip64 extension included).
std::optional<std::vector<Entry>> ReadDirectory(const Reader& zip) {
    if (zip.Size() < 22) return std::nullopt;
    std::uint64_t end = zip.Size() - 22;
    const std::uint64_t lowest = zip.Size() > 22 + 0xFFFF ? zip.Size() - 22 - 0xFFFF : 0;
    while (zip.U32(end) != kEndSignature || end + 22 + zip.U16(end + 20) != zip.Size()) {
        if (end == lowest) return std::nullopt;
        --end;
    }
    const std::uint16_t count = zip.U16(end + 10);
    const std::uint32_t directorySize = zip.U32(end + 12);
    const std::uint32_t directoryOffset = zip.U32(end + 16);
    if (count == 0xFFFF || directoryOffset == 0xFFFFFFFF) return std::nullopt;
    if (!zip.Has(directoryOffset, directorySize) ||
        std::uint64_t{directoryOffset} + directorySize > end) {
        return std::nullopt;
    }

    std::vector<Entry> entries;
    std::uint64_t at = directoryOffset;
    for (std::uint16_t i = 0; i < count; ++i) {
        if (!zip.Has(at, 46) || zip.U32(at) != kCentralSignature) return std::nullopt;
        Entry entry;
        entry.flags = zip.U16(at + 8);
        entry.method = zip.U16(at + 10);
        entry.crc = zip.U32(at + 16);
        entry.packedSize = zip.U32(at + 20);
        entry.size = zip.U32(at + 24);
        const std::uint16_t nameLength = zip.U16(at + 28);
        const std::uint16_t extraLength = zip.U16(at + 30);
        const std::uint16_t commentLength = zip.U16(at + 32);
        entry.localOffset = zip.U32(at + 42);
        if (!zip.Has(at + 46, nameLength)) return std::nullopt;
        entry.name = DecodeName(zip.At(at + 46), nameLength, entry.flags & kFlagUtf8);
        if (entry.packedSize == 0xFFFFFFFF || entry.size == 0xFFFFFFFF) return std::nullopt;
        entries.push_back(entry);
        at += 46 + nameLength + extraLength + commentLength;
    }
    return entries;
}

// The entry's unpacked bytes, or nothing when they cannot be had or do not match the checksum.
std::optional<std::vector<unsigned char>> ReadData(const Reader& zip, const Entry& entry) {
    const std::uint64_t local = entry.localOffset;
    if (!zip.Has(local, 30) || zip.U32(local) != kLocalSignature) return std::nullopt;
    const std::uint64_t start = local + 30 + zip.U16(local + 26) + zip.U16(local + 28);
    if (!zip.Has(start, entry.packedSize)) return std::nullopt;
    if (entry.flags & kFlagEncrypted) return std::nullopt;
    // Deflate packs at most about 1032 to 1: a larger announced size is a damaged header, and
    // must not make us reserve gigabytes.
    if (entry.size > std::uint64_t{entry.packedSize} * 1032 + 1024) return std::nullopt;

    std::vector<unsigned char> data(entry.size);
    if (entry.method == kMethodStored) {
        if (entry.packedSize != entry.size) return std::nullopt;
        std::copy_n(zip.At(start), entry.size, data.begin());
    } else if (entry.method == kMethodDeflated) {
        z_stream stream{};
        if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return std::nullopt;
        stream.next_in = const_cast<Bytef*>(zip.At(start));
        stream.avail_in = entry.packedSize;
        // One spare byte: a stream that holds more than announced must not end cleanly.
        data.resize(entry.size + 1);
        stream.next_out = data.data();
        stream.avail_out = static_cast<uInt>(data.size());
        const int result = inflate(&stream, Z_FINISH);
        const uLong produced = stream.total_out;
        inflateEnd(&stream);
        if (result != Z_STREAM_END || produced != entry.size) return std::nullopt;
        data.resize(entry.size);
    } else {
        return std::nullopt;
    }
    if (crc32(0, data.data(), static_cast<uInt>(data.size())) != entry.crc) return std::nullopt;
    return data;
}

// ---- The destination -----------------------------------------------------------------------

// The entry's place below the destination, or nothing when its name would leave the
// destination (a parent step, a rooted or drive-qualified name) or names nothing.
std::optional<fs::path> PlaceOf(const fs::path& destination, std::wstring_view name) {
    if (name.empty() || name[0] == L'/' || name[0] == L'\\') return std::nullopt;
    if (name.find(L':') != std::wstring_view::npos) return std::nullopt;
    fs::path place = destination;
    size_t start = 0;
    while (start <= name.size()) {
        size_t stop = name.find_first_of(L"/\\", start);
        if (stop == std::wstring_view::npos) stop = name.size();
        const std::wstring_view part = name.substr(start, stop - start);
        start = stop + 1;
        if (part.empty() || part == L".") continue;
        // Windows drops trailing dots and spaces, so ". ." or "..." may mean the parent too.
        if (part.find_first_not_of(L". ") == std::wstring_view::npos) return std::nullopt;
        place /= part;
    }
    if (place == destination) return std::nullopt;
    return place;
}

bool WriteEntryFile(const fs::path& place, const std::vector<unsigned char>& data) {
    std::error_code failure;
    if (fs::is_directory(place, failure)) return false;
    std::ofstream file(place, std::ios::binary | std::ios::out | std::ios::trunc);
    if (!file) return false;
    file.write(reinterpret_cast<const char*>(data.data()),
               static_cast<std::streamsize>(data.size()));
    file.close();
    return static_cast<bool>(file);
}

constexpr wchar_t kHolding[] = L"VEXA_POWERSHELL_STANDIN_HOLDING_MS";

// Hands the client, open without sharing, to a copy of this program that keeps it for the
// time given and then ends, and leaves it to that copy.
void HoldClient(const fs::path& destination, const wchar_t* milliseconds) {
    SECURITY_ATTRIBUTES inherited{sizeof(inherited), nullptr, TRUE};
    const HANDLE client = CreateFileW((destination / L"Vexa盒子.exe").c_str(), GENERIC_READ, 0,
                                      &inherited, OPEN_EXISTING, 0, nullptr);
    if (client == INVALID_HANDLE_VALUE) return;
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine = L"powershell.exe";
    SetEnvironmentVariableW(kHolding, milliseconds);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION holder{};
    if (CreateProcessW(self, commandLine.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr,
                       nullptr, &startup, &holder)) {
        CloseHandle(holder.hThread);
        CloseHandle(holder.hProcess);
    }
    CloseHandle(client);
}

int Fail(const wchar_t* what, const std::wstring& subject) {
    std::fwprintf(stderr, L"Expand-Archive: %ls: %ls\n", what, subject.c_str());
    return kExitFailed;
}

bool IsZipExtension(const fs::path& path) {
    const std::wstring extension = path.extension().wstring();
    return extension.size() == 4 && extension[0] == L'.' && (extension[1] | 0x20) == L'z' &&
           (extension[2] | 0x20) == L'i' && (extension[3] | 0x20) == L'p';
}

int ExpandArchive(const Command& command) {
    const fs::path archive(command.archive);
    const fs::path destination(command.destination);
    std::error_code failure;
    if (!fs::is_regular_file(archive, failure)) return Fail(L"no such archive", command.archive);
    if (!IsZipExtension(archive)) return Fail(L"not a .zip file", command.archive);

    std::ifstream file(archive, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)),
                                           std::istreambuf_iterator<char>());
    if (!file.good() && !file.eof()) return Fail(L"cannot read", command.archive);
    const Reader zip(bytes);
    const std::optional<std::vector<Entry>> entries = ReadDirectory(zip);
    if (!entries) return Fail(L"not a valid zip archive", command.archive);

    std::vector<fs::path> places;
    for (const Entry& entry : *entries) {
        std::optional<fs::path> place = PlaceOf(destination, entry.name);
        if (!place) return Fail(L"entry outside the destination", entry.name);
        places.push_back(*place);
    }

    fs::create_directories(destination, failure);
    if (failure || !fs::is_directory(destination, failure)) {
        return Fail(L"cannot create", command.destination);
    }
    for (size_t i = 0; i < entries->size(); ++i) {
        const Entry& entry = (*entries)[i];
        const fs::path& place = places[i];
        const bool isFolder = entry.name.back() == L'/' || entry.name.back() == L'\\';
        fs::create_directories(isFolder ? place : place.parent_path(), failure);
        if (failure) return Fail(L"cannot create a folder for", entry.name);
        if (isFolder) continue;
        const std::optional<std::vector<unsigned char>> data = ReadData(zip, entry);
        if (!data) return Fail(L"damaged or unsupported entry", entry.name);
        if (!WriteEntryFile(place, *data)) return Fail(L"cannot write", place.wstring());
    }
    return 0;
}

}  // namespace

int wmain() {
    wchar_t holding[16] = {};
    if (GetEnvironmentVariableW(kHolding, holding, 16)) {
        Sleep(static_cast<DWORD>(_wtoi(holding)));  // the inherited handle closes as this ends
        return 0;
    }
    wchar_t started[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"VEXA_POWERSHELL_STANDIN_STARTED", started, MAX_PATH)) {
        std::ofstream(fs::path(started)).put('1');
    }
    wchar_t gate[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"VEXA_POWERSHELL_STANDIN_WAIT_FOR", gate, MAX_PATH)) {
        for (int waited = 0; waited < 60000 && GetFileAttributesW(gate) == INVALID_FILE_ATTRIBUTES;
             waited += 20) {
            Sleep(20);
        }
    }
    const std::optional<Command> command = ParseCommand(GetCommandLineW());
    // Started without CREATE_NO_WINDOW, PowerShell would show the user a console window.
    if (!command || GetConsoleWindow()) {
        std::fwprintf(stderr, L"powershell stand-in: unexpected command line: %ls\n",
                      GetCommandLineW());
        return kExitBadCommand;
    }
    // The installer starts it in the system directory, never in a folder of its own.
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    std::error_code failure;
    if (!fs::equivalent(fs::current_path(), system, failure)) {
        std::fwprintf(stderr, L"powershell stand-in: started in %ls\n", fs::current_path().c_str());
        return kExitBadCommand;
    }
    if (command->removal) return RemoveUninstaller(*command);
    wchar_t code[16] = {};
    if (GetEnvironmentVariableW(L"VEXA_POWERSHELL_STANDIN_EXIT_CODE", code, 16)) {
        return static_cast<int>(std::wcstoul(code, nullptr, 10));
    }
    if (GetEnvironmentVariableW(L"VEXA_POWERSHELL_STANDIN_REMOVE_DESTINATION", nullptr, 0)) {
        std::error_code ignored;
        fs::remove_all(command->destination, ignored);
        return 0;
    }
    const int result = ExpandArchive(*command);
    wchar_t hold[16] = {};
    if (result == 0 && GetEnvironmentVariableW(L"VEXA_POWERSHELL_STANDIN_HOLD_MS", hold, 16)) {
        HoldClient(command->destination, hold);
    }
    return result;
}
