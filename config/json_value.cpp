#include "config/json_value.h"

#include <cstdint>
#include <string_view>

#include "common/text.h"

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

bool IsJsonSpace(unsigned char byte) {
    return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\v' || byte == '\f' ||
           byte == '\r';
}

bool IsHighSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads exactly four hex digits at pos. Written out by hand because the library parsers also
// take signs, prefixes and leading blanks.
bool ReadHex4(std::string_view text, size_t pos, char32_t& unit) {
    if (pos > text.size() || text.size() - pos < 4) return false;
    unit = 0;
    for (size_t i = pos; i < pos + 4; ++i) {
        const int digit = HexDigitValue(text[i]);
        if (digit < 0) return false;
        unit = unit * 16 + static_cast<char32_t>(digit);
    }
    return true;
}

// Decodes the \u escape whose digits start at pos (just behind the 'u') and returns the
// position behind what it consumed. Without four hex digits the 'u' stands for itself and the
// bytes after it are read as ordinary string bytes, so that a stray backslash in a careless
// document loses no more than itself.
size_t DecodeUnicodeEscape(std::string_view text, size_t pos, std::string& out) {
    char32_t unit = 0;
    if (!ReadHex4(text, pos, unit)) {
        out += 'u';
        return pos;
    }
    pos += 4;
    if (IsHighSurrogate(unit)) {
        char32_t low = 0;
        if (pos + 2 <= text.size() && text[pos] == '\\' && text[pos + 1] == 'u' &&
            ReadHex4(text, pos + 2, low) && IsLowSurrogate(low)) {
            AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
            return pos + 6;
        }
        AppendUtf8(out, kReplacementCharacter);
        return pos;
    }
    AppendUtf8(out, IsLowSurrogate(unit) ? kReplacementCharacter : unit);
    return pos;
}

// The string that starts just behind the opening quote at pos, decoded, up to the closing
// quote or the end of the text.
std::string ReadString(std::string_view text, size_t pos) {
    std::string value;
    while (pos < text.size()) {
        const char c = text[pos++];
        if (c == '"') break;
        if (c != '\\') {
            value += c;
            continue;
        }
        if (pos == text.size()) break;
        const char escaped = text[pos++];
        switch (escaped) {
            case 'n':
                value += '\n';
                break;
            case 'r':
                value += '\r';
                break;
            case 't':
                value += '\t';
                break;
            case 'b':
                value += '\b';
                break;
            case 'f':
                value += '\f';
                break;
            case 'u':
                pos = DecodeUnicodeEscape(text, pos, value);
                break;
            default:  // \" \\ \/ and any other byte: the byte itself
                value += escaped;
                break;
        }
    }
    return value;
}

std::string_view TrimJsonSpace(std::string_view value) {
    while (!value.empty() && IsJsonSpace(static_cast<unsigned char>(value.front())))
        value.remove_prefix(1);
    while (!value.empty() && IsJsonSpace(static_cast<unsigned char>(value.back())))
        value.remove_suffix(1);
    return value;
}

// The trimmed string value of the key's first quoted occurrence, or empty.
std::string ValueOfKey(std::string_view document, const std::string& key) {
    const std::string pattern = '"' + key + '"';
    const size_t found = document.find(pattern);
    if (found == std::string_view::npos) return {};
    const size_t behind = found + pattern.size();
    if (behind >= document.size()) return {};
    size_t pos = document.find(':', behind);
    if (pos == std::string_view::npos) return {};
    ++pos;
    while (pos < document.size() && IsJsonSpace(static_cast<unsigned char>(document[pos])))
        ++pos;
    if (pos == document.size() || document[pos] != '"') return {};
    const std::string value = ReadString(document, pos + 1);
    return std::string(TrimJsonSpace(value));
}

}  // namespace

std::wstring JsonStringValue(const std::string& document, const std::vector<std::string>& keys) {
    for (const std::string& key : keys) {
        const std::string value = ValueOfKey(document, key);
        if (!value.empty()) return Utf8ToWide(value);
    }
    return {};
}
