#include "common/text.h"

#include <windows.h>

#include <algorithm>
#include <string_view>

namespace {

bool IsTrimmed(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

}  // namespace

std::wstring Utf8ToWide(const std::string& bytes) {
    if (bytes.empty()) return {};
    const int length = static_cast<int>(bytes.size());
    const int units = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), length, nullptr, 0);
    if (units <= 0) return {};
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), length, wide.data(), units);
    return wide;
}

std::string WideToUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, utf8.data(), bytes, nullptr, nullptr);
    return utf8;
}

std::wstring PercentEncode(const std::wstring& text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const unsigned char byte : WideToUtf8(text)) {
        if (IsUnreserved(byte)) {
            encoded += static_cast<char>(byte);
        } else {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 0x0F];
        }
    }
    return Utf8ToWide(encoded);
}

std::wstring TrimWide(const std::wstring& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsTrimmed(text[begin]))
        ++begin;
    while (end > begin && IsTrimmed(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

bool SamePath(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::wstring PathKey(std::wstring_view path) {
    std::wstring key(path);
    if (!key.empty()) {
        LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, path.data(),
                      static_cast<int>(path.size()), key.data(), static_cast<int>(key.size()),
                      nullptr, nullptr, 0);
    }
    std::replace(key.begin(), key.end(), L'/', L'\\');
    return key;
}

std::wstring TempDirectory() {
    wchar_t area[MAX_PATH + 1] = {};
    const DWORD units = GetTempPathW(MAX_PATH + 1, area);
    return units > 0 && units <= MAX_PATH ? std::wstring(area, units) : L"";
}

bool IsPathInside(std::wstring_view path, std::wstring_view folder) {
    while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/'))
        folder.remove_suffix(1);
    return !folder.empty() && path.size() > folder.size() + 1 &&
           (path[folder.size()] == L'\\' || path[folder.size()] == L'/') &&
           SamePath(path.substr(0, folder.size()), folder);
}

bool EqualIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) {
    const auto lower = [](wchar_t c) {
        return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
    };
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}
